#pragma once
// The bank-name dialog "Enter Bank Name": a label, the name field, Cancel and OK.
// The editor's save-as asks for a bank's name with it.

#include "winsys/wnd/hwnd_view.h"

#include <string>

enum
{
  IDD_PATCH_SAVE = 10014,
  IDC_BANKNAME = 10013,
  IDC_BANKNAME_OK = 10006
};

// The dialog resource's create function: its four controls into view.
void SWELL__dlg_cf__IDD_PATCH_SAVE(HWND view, int flags);
// Its record, linked into the program's dialog resources at start-up.
extern SWELL_DialogResourceIndex __swell_dlg_helper_IDD_PATCH_SAVE;

// Runs the dialog modally over parent (may be null) with the field holding
// suggested; the name typed when OK was pressed, or an empty text when cancelled.
std::string PromptForBankName(HWND parent, const std::string& suggested);

// The save-as path of the editor: folder/name.extension for the name typed into
// the dialog, or an empty text when cancelled or no name was given.
std::string PromptForBankSavePath(HWND parent, const std::string& suggestedName, const std::string& folder,
                                  const char* extension);
