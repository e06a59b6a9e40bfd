#include "winsys/shell/filedlg.h"

#include "platform/appkit/NSPanel.h"
#include "platform/appkit/NSView.h"
#include "winsys/msgloop/runloop_misc.h"
#include "winsys/shell/menus.h"

#include <cstdlib>
#include <cstring>

namespace {

// The template of the next file dialog's custom part.
SWELL_DialogResourceIndex* gTemplateHead = nullptr;
const char* gTemplateId = nullptr;
DLGPROC gTemplateProc = nullptr;

const size_t kPathMax = 2047;  // of the initial file's text

// The chosen path as the layer's texts are made (UTF-8, else ASCII), whole: a path
// cut short names another file.
std::string converted(const std::string& path)
{
  std::vector<char> buf(path.size() * 2 + 1);
  SWELL_CStringThroughCFString(path.c_str(), buf.data(), (int)buf.size());
  return buf.data();
}

// The path into fn when it fits whole; otherwise fn is left empty and the answer
// is false, as no path was given. A buffer of no bytes wants none: true.
bool copyOut(const std::string& path, char* fn, int fnsize)
{
  if (!fn || fnsize < 1) return true;
  if (path.size() > (size_t)fnsize - 1)
  {
    fn[0] = 0;
    return false;
  }
  memcpy(fn, path.c_str(), path.size() + 1);
  return true;
}

// What the common steps set up around a panel's run and take down after it.
class PanelRun
{
public:
  PanelRun(NSSavePanel* panel, const char* title) : mPanel(panel)
  {
    panel->setTitle(title ? title : "");
    if (gTemplateProc && gTemplateId)
    {
      const SWELL_WindowHooks& hooks = SWELL_GetWindowHooks();
      if (hooks.createDialog)
        mCustom = hooks.createDialog(gTemplateHead, gTemplateId, SWELL_HWNDOfObject(panel), gTemplateProc, 0);
      if (NSView* v = dynamic_cast<NSView*>(SWELL_ObjectOfHWND(mCustom)))
        if (!panel->accessoryView()) panel->setAccessoryView(v);
      gTemplateId = nullptr;
      gTemplateProc = nullptr;
    }
  }

  // Step 4: the modal window menu for the time of the run.
  void enterMenu()
  {
    const SWELL_WindowHooks& hooks = SWELL_GetWindowHooks();
    HMENU modal = hooks.defaultModalWindowMenu ? hooks.defaultModalWindowMenu() : nullptr;
    if (modal) mMenu = SWELL_DuplicateMenu(modal);
    SWELL_SetCurrentMenu(mMenu);
    mMenuEntered = true;
  }

  ~PanelRun()
  {
    if (mMenuEntered)
    {
      SWELL_SetCurrentMenu(GetMenu(SWELL_HookGetFocus()));
      if (mMenu) DestroyMenu(mMenu);
    }
    if (mCustom) SWELL_HookSendMessage(mCustom, WM_DESTROY, 0, 0);
    mPanel->setAccessoryView(nullptr);
  }

private:
  NSSavePanel* mPanel;
  HWND mCustom = nullptr;
  HMENU mMenu = nullptr;
  bool mMenuEntered = false;
};

// Splits initialfile (cut to 2047 bytes) into folder and file; a folder found in it
// wins over initialdir.
void initialPlace(const char* initialdir, const char* initialfile, std::string* folder, std::string* file)
{
  folder->assign(initialdir ? initialdir : "");
  file->clear();
  if (!initialfile || !*initialfile) return;
  std::string f(initialfile, strnlen(initialfile, kPathMax));
  const size_t slash = f.rfind('/');
  if (slash == std::string::npos)
  {
    *file = f;
    return;
  }
  *folder = slash == 0 ? std::string("/") : f.substr(0, slash);
  *file = f.substr(slash + 1);
}

}  // namespace

std::vector<std::string> extensionsFromList(const char* extlist)
{
  std::vector<std::string> out;
  out.reserve(30);
  if (!extlist) return out;
  while (*extlist)
  {
    extlist += strlen(extlist) + 1;  // the description
    if (!*extlist) break;
    const char* p = extlist;
    for (;;)
    {
      while (*p && *p != '.') ++p;
      if (!*p) break;
      ++p;
      char buf[32];
      size_t n = 0;
      while (n < sizeof(buf) - 1 && p[n]) buf[n] = p[n], ++n;
      buf[n] = 0;
      if (char* semi = strchr(buf, ';')) *semi = 0;
      if (buf[0] && buf[0] != '*') out.push_back(buf);
      while (*p && *p != ';') ++p;
      if (!*p) break;
      ++p;
    }
    extlist += strlen(extlist) + 1;
  }
  return out;
}

void BrowseFile_SetTemplate(const char* dlgid, DLGPROC dlgProc, SWELL_DialogResourceIndex* head)
{
  gTemplateHead = head;
  gTemplateId = dlgid;
  gTemplateProc = dlgProc;
}

bool BrowseForSaveFile(const char* text, const char* initialdir, const char* initialfile, const char* extlist,
                       char* fn, int fnsize)
{
  NSAutoreleasePool pool;
  NSSavePanel* panel = NSSavePanel::savePanel();
  panel->setAccessoryView(nullptr);
  panel->setAllowedFileTypes(extensionsFromList(extlist));
  NSInteger answer;
  {
    PanelRun run(panel, text);
    std::string folder, file;
    initialPlace(initialdir, initialfile, &folder, &file);
    run.enterMenu();
    answer = panel->runModalForDirectory(folder, file);
  }
  if (answer != NSOKButton) return false;
  const std::string path = converted(panel->filename());
  if (path.empty()) return false;
  return copyOut(path, fn, fnsize);
}

bool BrowseForDirectory(const char* text, const char* initialdir, char* fn, int fnsize)
{
  NSAutoreleasePool pool;
  NSOpenPanel* panel = NSOpenPanel::openPanel();
  panel->setAllowsMultipleSelection(false);
  panel->setCanChooseFiles(false);
  panel->setCanCreateDirectories(true);
  panel->setCanChooseDirectories(true);
  panel->setResolvesAliases(true);
  NSInteger answer;
  {
    PanelRun run(panel, text);
    run.enterMenu();
    answer = panel->runModalForDirectory(initialdir ? initialdir : "", "", {});
  }
  if (answer != NSOKButton || panel->filenames().empty()) return false;
  return copyOut(converted(panel->filenames().front()), fn, fnsize);
}

char* BrowseForFiles(const char* text, const char* initialdir, const char* initialfile, bool allowmul,
                     const char* extlist)
{
  NSAutoreleasePool pool;
  NSOpenPanel* panel = NSOpenPanel::openPanel();
  panel->setAllowsMultipleSelection(allowmul);
  panel->setCanChooseFiles(true);
  panel->setCanChooseDirectories(false);
  panel->setResolvesAliases(true);
  NSInteger answer;
  {
    PanelRun run(panel, text);
    std::string folder, file;
    initialPlace(initialdir, initialfile, &folder, &file);
    run.enterMenu();
    answer = panel->runModalForDirectory(folder, file, extensionsFromList(extlist));
  }
  const std::vector<std::string>& names = panel->filenames();
  if (answer != NSOKButton || names.empty()) return nullptr;
  if (names.size() > 1 && allowmul)
  {
    size_t size = 1;
    char* buf = (char*)malloc(size);
    if (!buf) return nullptr;
    buf[0] = 0;
    for (const std::string& name : names)
    {
      const std::string path = converted(name);
      if (path.empty()) continue;
      char* grown = (char*)realloc(buf, size + path.size() + 1);
      if (!grown)
      {
        free(buf);
        return nullptr;
      }
      buf = grown;
      memcpy(buf + size, path.c_str(), path.size() + 1);
      size += path.size() + 1;
    }
    char* grown = (char*)realloc(buf, size + 1);
    if (!grown)
    {
      free(buf);
      return nullptr;
    }
    grown[size] = 0;
    return grown;
  }
  const std::string path = converted(names.front());
  char* buf = (char*)malloc(path.size() + 2);
  if (!buf) return nullptr;
  memcpy(buf, path.c_str(), path.size() + 1);
  buf[path.size() + 1] = 0;
  return buf;
}

int MessageBox(HWND, const char* text, const char* caption, int type)
{
  // Buttons in the order default, alternate, other, and what each answers.
  struct Set
  {
    int type;
    const char* buttons[3];
    int results[3];
  };
  static const Set sets[] = {
      {MB_OK, {"OK", "", ""}, {IDOK, 0, 0}},
      {MB_OKCANCEL, {"OK", "Cancel", ""}, {IDOK, IDCANCEL, 0}},
      {MB_YESNOCANCEL, {"Yes", "Cancel", "No"}, {IDYES, IDCANCEL, IDNO}},
      {MB_YESNO, {"Yes", "No", ""}, {IDYES, IDNO, 0}},
      {MB_RETRYCANCEL, {"Retry", "Cancel", ""}, {IDRETRY, IDCANCEL, 0}},
  };
  const Set* set = nullptr;
  for (const Set& s : sets)
    if (s.type == type) set = &s;
  if (!set) return 0;
  NSAutoreleasePool pool;
  NSAlert* alert = new NSAlert;
  alert->autorelease();
  // The text is shown as it is: no '%' in it is read as a format.
  alert->setMessageText(caption ? caption : "");
  alert->setInformativeText(text ? text : "");
  int count = 0;
  for (const char* b : set->buttons)
    if (*b) alert->addButtonWithTitle(b), ++count;
  const NSInteger index = alert->runModal() - NSAlertFirstButtonReturn;
  return index >= 0 && index < count ? set->results[index] : set->results[0];
}
