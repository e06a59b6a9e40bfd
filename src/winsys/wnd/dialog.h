#pragma once
// Dialogs built from dialog resources: modal dialog boxes ended by EndDialog, and
// modeless or child dialogs. Main thread only.

#include "winsys/wnd/hwnd_view.h"

// The head of the program's dialog resources; each record is linked in front of
// it by a static initialiser of its own.
extern SWELL_DialogResourceIndex* SWELL_curmodule_dialogresource_head;

// The first record of the list whose id is resid, or null.
SWELL_DialogResourceIndex* SWELL_FindDialogResource(SWELL_DialogResourceIndex* head, const char* resid);

// Runs the dialog modally; the value given to EndDialog, or -1 when the resource is
// missing, is a child dialog, or the window cannot be made.
int SWELL_DialogBox(SWELL_DialogResourceIndex* head, const char* resid, HWND parent, DLGPROC dlgproc, LPARAM param);
// Ends a modal dialog box; on any other dialog it only records the result.
void EndDialog(HWND hwnd, int result);

// A modeless dialog (hidden until shown) or, for a child resource with a parent,
// a child dialog inside the parent; its view, or null. Ids 0x400000 to 0x40000F
// make a top-level window without a resource: bit 0x1 resizable, 0x2 without
// miniaturize button, 0x4 without close button.
HWND SWELL_CreateDialog(SWELL_DialogResourceIndex* head, const char* resid, HWND parent, DLGPROC dlgproc,
                        LPARAM param);
