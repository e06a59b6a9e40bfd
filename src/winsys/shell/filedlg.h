#pragma once
// Modal file choosers (save, open one or several files, choose a folder) on the
// kit's file panels, and MessageBox on its alerts. Main thread only; each call
// returns when the user (or a test's script) has answered.

#include "winsys/shell/window_hooks.h"

#include <string>
#include <vector>

const int MB_OK = 0, MB_OKCANCEL = 1, MB_ABORTRETRYIGNORE = 2, MB_YESNOCANCEL = 3, MB_YESNO = 4,
          MB_RETRYCANCEL = 5;
// IDOK and IDCANCEL come with the message numbers.
const int IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7;

// The custom part of the next file dialog only: the dialog resource id from the
// list, run by the procedure. The list is kept for later templates.
void BrowseFile_SetTemplate(const char* dlgid, DLGPROC dlgProc, SWELL_DialogResourceIndex* head);

// extlist: pairs of NUL-terminated texts (a description, then patterns "*.ext"
// separated by ';'), ended by an empty text; null or empty allows any file.
// True when a path was chosen and fn holds it whole, ended by a NUL. A path that
// does not fit in fnsize - 1 bytes answers false with fn empty (a path cut short
// names another file). With fnsize < 1 nothing is written and a choice answers true.
bool BrowseForSaveFile(const char* text, const char* initialdir, const char* initialfile, const char* extlist,
                       char* fn, int fnsize);
// As BrowseForSaveFile for a folder.
bool BrowseForDirectory(const char* text, const char* initialdir, char* fn, int fnsize);
// A malloc'd block the caller frees: one path followed by two NULs; or, for several
// files chosen with allowmul, a NUL, each path followed by a NUL, then a NUL.
// Null when cancelled.
char* BrowseForFiles(const char* text, const char* initialdir, const char* initialfile, bool allowmul,
                     const char* extlist);

// hwnd is not used. The answer is IDOK, IDCANCEL, IDYES, IDNO or IDRETRY; 0 for a
// type outside MB_OK, MB_OKCANCEL, MB_YESNOCANCEL, MB_YESNO, MB_RETRYCANCEL (flag
// bits included), which shows nothing.
int MessageBox(HWND hwnd, const char* text, const char* caption, int type);

// The extensions an extension list allows ("*.txt;*.TXT" gives txt and TXT;
// "*.*" and patterns without a '.' give none).
std::vector<std::string> extensionsFromList(const char* extlist);
