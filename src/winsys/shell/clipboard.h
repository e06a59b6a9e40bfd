#pragma once
// The Win32 clipboard on the kit's pasteboards, the reading of dropped-files
// blocks, and ShellExecute. Main thread only; the clipboard's lists are
// process-wide.
//
// Text (the format registered as "SWELL__CF_TEXT") has the id 1, CF_TEXT, whatever
// is registered first: the first registration of any name sets 1 aside for text.
// It lives on the general pasteboard, which is the desktop's clipboard under X11;
// other formats live on the private pasteboard "SWELL_APP". Memory handles are
// GlobalAlloc blocks.

#include "winsys/shell/window_hooks.h"

typedef HANDLE HDROP;

const UINT CF_TEXT = 1;

BOOL OpenClipboard(HWND hwnd);
// Writes what was set since OpenClipboard (all formats to the general pasteboard
// when text is among them, else to "SWELL_APP") and frees what GetClipboardData
// handed out. TRUE.
BOOL CloseClipboard();
void EmptyClipboard();
UINT RegisterClipboardFormat(const char* name);
// 0 gives the first format found on "SWELL_APP" at OpenClipboard; a format gives
// the one after it; 0 at the end.
UINT EnumClipboardFormats(UINT fmt);
// A block the layer owns until CloseClipboard; null when the format is not there.
HANDLE GetClipboardData(UINT fmt);
// The layer takes the block (also when the format is unknown), once: a block
// already set (for this format or another), or handed out by GetClipboardData, is
// not freed twice. Returns data.
HANDLE SetClipboardData(UINT fmt, HANDLE data);

// The DROPFILES block: offset 0 the file list's offset, 4 and 8 the drop point,
// 12 nonzero when dropped outside the client area; the list is NUL-terminated
// UTF-8 paths ended by an empty one. Reads never go past the block's GlobalSize.
// index 0xFFFFFFFF: the number of paths. Otherwise the length of path index
// (without a buffer), or of what was copied into buf (at most size - 1 bytes and a
// NUL); 0 when there is no such path or size is 0.
UINT DragQueryFile(HDROP drop, UINT index, char* buf, UINT size);
// TRUE when dropped inside the client area.
BOOL DragQueryPoint(HDROP drop, POINT* pt);
// The block belongs to whoever built it: nothing to do.
void DragFinish(HDROP drop);

// Opens a web or mail address ("http:", "https:", "mailto:", "file:"), a document,
// a folder or an application through the desktop's opener; the operation, the
// folder and the show command are ignored. No name ever reaches a shell.
BOOL ShellExecute(HWND hwnd, const char* operation, const char* file, const char* parameters,
                  const char* directory, int show);
