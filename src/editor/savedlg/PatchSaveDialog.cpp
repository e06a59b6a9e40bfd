#include "editor/savedlg/PatchSaveDialog.h"

#include "winsys/dlgbuild/builder.h"
#include "winsys/wnd/dialog.h"
#include "winsys/wnd/wnd.h"

namespace {

const SWELL_DlgResourceControlRec kPatchSaveControls[] = {
    {"__SWELL_LABEL", -1, "Bank Name", 0, 10, 10, 200, 8, 0},
    {"__SWELL_EDIT", 0, "", IDC_BANKNAME, 10, 20, 200, 12, WS_TABSTOP},
    {"__SWELL_BUTTON", 0, "&Cancel", IDCANCEL, 160, 60, 50, 14, 0},
    {"__SWELL_BUTTON", 0, "&OK    ", IDC_BANKNAME_OK, 100, 60, 50, 14, 0},
};

// Links the record in front of the program's list when the program starts.
struct Registration
{
  Registration()
  {
    __swell_dlg_helper_IDD_PATCH_SAVE._next = SWELL_curmodule_dialogresource_head;
    SWELL_curmodule_dialogresource_head = &__swell_dlg_helper_IDD_PATCH_SAVE;
  }
};

struct Prompt
{
  std::string text;
  bool ok = false;
};

LRESULT PatchSaveProc(HWND h, UINT msg, WPARAM wp, LPARAM lp)
{
  Prompt* p = (Prompt*)GetWindowLong(h, GWL_USERDATA);
  switch (msg)
  {
    case WM_INITDIALOG:
      SetWindowLong(h, GWL_USERDATA, lp);
      p = (Prompt*)lp;
      SetDlgItemText(h, IDC_BANKNAME, p->text.c_str());
      return 1;
    case WM_COMMAND:
      if ((wp & 0xFFFF) == IDC_BANKNAME_OK)
      {
        char buf[1024];
        GetDlgItemText(h, IDC_BANKNAME, buf, sizeof buf);
        p->text = buf;
        p->ok = true;
        EndDialog(h, IDOK);
      }
      else if ((wp & 0xFFFF) == IDCANCEL)
        EndDialog(h, IDCANCEL);
      return 0;
  }
  return 0;
}

}  // namespace

SWELL_DialogResourceIndex __swell_dlg_helper_IDD_PATCH_SAVE{
    (const char*)(intptr_t)IDD_PATCH_SAVE, "Enter Bank Name", 12, SWELL__dlg_cf__IDD_PATCH_SAVE, 396, 144, nullptr};

namespace {
Registration gRegistration;
}

void SWELL__dlg_cf__IDD_PATCH_SAVE(HWND view, int flags)
{
  SWELL_MakeSetCurParms(1.8f, 1.8f, 0, 0, view, false, (flags & 8) == 0);
  SWELL_GenerateDialogFromList(kPatchSaveControls, (int)(sizeof kPatchSaveControls / sizeof kPatchSaveControls[0]));
}

std::string PromptForBankName(HWND parent, const std::string& suggested)
{
  Prompt p;
  p.text = suggested;
  const int r = SWELL_DialogBox(SWELL_curmodule_dialogresource_head, (const char*)(intptr_t)IDD_PATCH_SAVE, parent,
                                PatchSaveProc, (LPARAM)&p);
  return r == IDOK && p.ok ? p.text : std::string();
}

std::string PromptForBankSavePath(HWND parent, const std::string& suggestedName, const std::string& folder,
                                  const char* extension)
{
  std::string name = PromptForBankName(parent, suggestedName);
  // A name is a file name in the folder: a '/' typed into it must not reach
  // another folder.
  for (char& c : name)
    if (c == '/') c = '-';
  if (name.empty() || name == "." || name == "..") return std::string();
  std::string ext = extension && *extension ? std::string(".") + extension : std::string();
  if (ext.size() && (name.size() < ext.size() || name.compare(name.size() - ext.size(), ext.size(), ext) != 0))
    name += ext;
  std::string path = folder;
  if (!path.empty() && path.back() != '/') path += '/';
  return path + name;
}
