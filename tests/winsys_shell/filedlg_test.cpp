#include "shell_test_util.h"

#include "winsys/shell/filedlg.h"
#include "winsys/shell/menus.h"

#include <cstdlib>
#include <cstring>

namespace {

std::string list(std::initializer_list<const char*> texts)
{
  std::string s;
  for (const char* t : texts) s.append(t).push_back('\0');
  s.push_back('\0');
  return s;
}

class FileDialogs : public ShellTest
{
};

TEST_F(FileDialogs, ExtensionListsGiveTheExtensionsOfEveryPattern)
{
  struct Case
  {
    std::string extlist;
    std::vector<std::string> want;
  };
  const std::string longExt = std::string(40, 'x');
  const Case cases[] = {
      {list({}), {}},
      {list({"Text", "*.txt;*.TXT"}), {"txt", "TXT"}},
      {list({"All", "*.*"}), {}},
      {list({"None", "README"}), {}},
      {list({"Banks", "*.dvl", "Dumps", "*.syx;*.mid"}), {"dvl", "syx", "mid"}},
      {list({"Empty patterns end the scan", "", "Never", "*.no"}), {}},
      {list({"Archive", "*.tar.gz;*.zip"}), {"tar.gz", "zip"}},
      {list({"Long", ("*." + longExt).c_str()}), {std::string(31, 'x')}},
      {list({"Trailing", "*.a;"}), {"a"}},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(testing::PrintToString(c.extlist));
    EXPECT_EQ(extensionsFromList(c.extlist.c_str()), c.want);
  }
  EXPECT_TRUE(extensionsFromList(nullptr).empty());
}

TEST_F(FileDialogs, SaveFileOpensWhereTheInitialFileSaysAndGivesWholePathsOnly)
{
  struct Case
  {
    const char* initialdir;
    const char* initialfile;
    const char* answer;  // null: cancelled
    int fnsize;
    bool result;
    const char* fn;  // what the buffer holds afterwards
    const char* shownDir;
    std::string shownFile;
  };
  const std::string longFile = "/" + std::string(3000, 'a');
  const std::string longAnswer = "/" + std::string(2999, 'b');
  const Case cases[] = {
      {"/home/ada", "bank.dvl", "/home/ada/x.dvl", 64, true, "/home/ada/x.dvl", "/home/ada", "bank.dvl"},
      {"/home/ada", "/srv/banks/b.dvl", "/srv/banks/b.dvl", 64, true, "/srv/banks/b.dvl", "/srv/banks", "b.dvl"},
      {"/home/ada", "/root.dvl", "/root.dvl", 64, true, "/root.dvl", "/", "root.dvl"},
      {"", "", "/a", 64, true, "/a", "", ""},
      {nullptr, nullptr, "/a", 64, true, "/a", "", ""},
      {"/d", "f", nullptr, 64, false, "guard", "/d", "f"},
      // A path that does not fit is no path: false, and nothing to read in fn.
      {"/d", "f", "/d/long-name", 5, false, "", "/d", "f"},
      {"/d", "f", "/d/x", 1, false, "", "/d", "f"},
      {"/d", "f", "/d/x", 5, true, "/d/x", "/d", "f"},
      {"/d", "f", "/d/x", 0, true, "guard", "/d", "f"},
      {"/d", "f", "/d/\xC3\xA9t\xC3\xA9", 8, false, "", "/d", "f"},
      {"/d", "f", "/d/\xC3\xA9t\xC3\xA9", 9, true, "/d/\xC3\xA9t\xC3\xA9", "/d", "f"},
      {"", longFile.c_str(), "/x", 64, true, "/x", "/", std::string(2046, 'a')},  // the initial file cut to 2047 bytes
      {"/d", "f", longAnswer.c_str(), 4096, true, longAnswer.c_str(), "/d", "f"},  // a long path comes whole
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(std::string(c.answer ? c.answer : "(cancel)") + " " + std::to_string(c.fnsize));
    if (c.answer) script->answerPanel(c.answer);
    else script->cancelPanel();
    char fn[4096];
    strcpy(fn, "guard");
    const std::string ext = list({"Banks", "*.dvl"});
    EXPECT_EQ(BrowseForSaveFile("Save Bank", c.initialdir, c.initialfile, ext.c_str(), fn, c.fnsize), c.result);
    EXPECT_STREQ(fn, c.fn);
    ASSERT_FALSE(script->panelsShown.empty());
    const auto& shown = script->panelsShown.back();
    EXPECT_FALSE(shown.open);
    EXPECT_EQ(shown.title, "Save Bank");
    EXPECT_EQ(shown.directory, c.shownDir);
    EXPECT_EQ(shown.file, c.shownFile);
    EXPECT_EQ(shown.types, std::vector<std::string>{"dvl"});
  }
}

TEST_F(FileDialogs, DirectoryWritesNothingIntoABufferOfNoBytes)
{
  struct Case
  {
    const char* answer;
    int fnsize;
    bool result;
    const char* fn;
  };
  const Case cases[] = {
      {"/srv/banks", 64, true, "/srv/banks"}, {"/srv/banks", 11, true, "/srv/banks"},
      {"/srv/banks", 10, false, ""},          {"/srv/banks", 1, false, ""},
      {"/srv/banks", 0, true, "guard"},       {"/srv/banks", -1, true, "guard"}, {nullptr, 64, false, "guard"},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(std::to_string(c.fnsize));
    if (c.answer) script->answerPanel(c.answer);
    else script->cancelPanel();
    char fn[64];
    strcpy(fn, "guard");
    EXPECT_EQ(BrowseForDirectory("Folder", "/srv", fn, c.fnsize), c.result);
    EXPECT_STREQ(fn, c.fn);
    const auto& shown = script->panelsShown.back();
    EXPECT_TRUE(shown.open);
    EXPECT_TRUE(shown.canChooseDirectories);
    EXPECT_FALSE(shown.canChooseFiles);
    EXPECT_TRUE(shown.canCreateDirectories);
    EXPECT_FALSE(shown.allowsMultiple);
    EXPECT_EQ(shown.directory, "/srv");
    EXPECT_EQ(shown.file, "");
  }
  script->answerPanel("/x");
  EXPECT_TRUE(BrowseForDirectory("Folder", "/srv", nullptr, 64));
}

TEST_F(FileDialogs, OpenFilesReturnsTheDoublyTerminatedList)
{
  struct Case
  {
    bool allowmul;
    std::vector<std::string> answer;  // empty: cancelled
    std::string want;                 // the block up to and with its final NUL; empty: null
  };
  const Case cases[] = {
      {true, {"/a/one.syx", "/b/two.syx"}, std::string("\0/a/one.syx\0/b/two.syx\0\0", 24)},
      {true, {"/a/one.syx"}, std::string("/a/one.syx\0\0", 12)},
      {false, {"/a/one.syx", "/b/two.syx"}, std::string("/a/one.syx\0\0", 12)},
      {false, {"/a/one.syx"}, std::string("/a/one.syx\0\0", 12)},
      {true, {}, ""},
      {false, {"/" + std::string(2999, 'c')}, "/" + std::string(2999, 'c') + std::string("\0\0", 2)},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(testing::PrintToString(c.want));
    if (c.answer.empty()) script->cancelPanel();
    else script->answerPanelWithPaths(c.answer);
    const std::string ext = list({"Dumps", "*.syx;*.mid"});
    char* got = BrowseForFiles("Import", "/home", "/a/start.syx", c.allowmul, ext.c_str());
    if (c.want.empty())
      EXPECT_EQ(got, nullptr);
    else
    {
      ASSERT_NE(got, nullptr);
      EXPECT_EQ(std::string(got, c.want.size()), c.want);
    }
    free(got);
    const auto& shown = script->panelsShown.back();
    EXPECT_EQ(shown.allowsMultiple, c.allowmul);
    EXPECT_EQ(shown.directory, "/a");
    EXPECT_EQ(shown.file, "start.syx");
    EXPECT_EQ(shown.types, (std::vector<std::string>{"syx", "mid"}));
  }
}

NSView* gCustom = nullptr;
std::vector<std::string> gCreated;
HMENU gModalMenu = nullptr, gFocusMenu = nullptr;

// The custom part and the modal menu, seen from inside the run.
class PanelWatcher : public NSModalAnswers
{
public:
  NSMenuItem* menuChoice(NSMenu*, NSPoint, NSView*) override { return nullptr; }
  NSInteger panelAnswer(NSSavePanel* panel, std::string* path) override
  {
    accessory.push_back(panel->accessoryView());
    // The menu goes after the run: what it was is kept.
    NSMenu* m = NSApp->mainMenu();
    mainMenu.push_back(m ? m->title() + (m == SWELL_MenuOf(gModalMenu) ? " (the original)" : "") + " " +
                               std::to_string(m->numberOfItems() ? m->itemAtIndex(0)->tag() : -1)
                         : "none");
    *path = "/chosen";
    return NSOKButton;
  }
  NSInteger alertAnswer(NSAlert*) override { return NSAlertFirstButtonReturn; }
  std::vector<NSView*> accessory;
  std::vector<std::string> mainMenu;
};

TEST_F(FileDialogs, TemplateAndModalMenuApplyToOneRunEach)
{
  PanelWatcher watcher;
  NSModalAnswers* previous = NSApp->scriptedAnswers();
  NSApp->setModalAnswers(&watcher);
  gCustom = new NSView(NSMakeRect(0, 0, 100, 40));
  gCreated.clear();
  gModalMenu = CreatePopupMenuEx("Modal");
  SWELL_Menu_AddMenuItem(gModalMenu, "Quit", 9, 0);
  gFocusMenu = CreatePopupMenu();
  SWELL_WindowHooks hooks = SWELL_GetWindowHooks();
  hooks.createDialog = [](SWELL_DialogResourceIndex*, const char* id, HWND, DLGPROC, LPARAM) {
    gCreated.push_back(id);
    return SWELL_HWNDOfObject(gCustom);
  };
  hooks.defaultModalWindowMenu = []() { return gModalMenu; };
  hooks.getFocus = []() { return (HWND)0x1234; };
  hooks.getMenu = [](HWND h) { return h == (HWND)0x1234 ? gFocusMenu : nullptr; };
  SWELL_SetWindowHooks(&hooks);

  DLGPROC proc = [](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; };
  BrowseFile_SetTemplate("IDD_EXTRA", proc, nullptr);
  char fn[32];
  EXPECT_TRUE(BrowseForSaveFile("a", "", "", nullptr, fn, sizeof(fn)));
  EXPECT_TRUE(BrowseForDirectory("b", "", fn, sizeof(fn)));
  NSApp->setModalAnswers(previous);

  EXPECT_EQ(gCreated, std::vector<std::string>{"IDD_EXTRA"});
  ASSERT_EQ(watcher.accessory.size(), 2u);
  EXPECT_EQ(watcher.accessory[0], gCustom);
  EXPECT_EQ(watcher.accessory[1], nullptr);
  // The custom part is told it goes, once.
  EXPECT_EQ(sent, (std::vector<LoggedMsg>{{SWELL_HWNDOfObject(gCustom), WM_DESTROY, 0, 0}}));
  // Each run shows a copy of the modal menu; afterwards the focused window's menu.
  EXPECT_EQ(watcher.mainMenu, (std::vector<std::string>{"Modal 9", "Modal 9"}));
  EXPECT_EQ(SWELL_GetCurrentMenu(), gFocusMenu);
  NSApp->setMainMenu(nullptr);
  DestroyMenu(gModalMenu);
  DestroyMenu(gFocusMenu);
  EXPECT_EQ(gCustom->retainCount(), 1);
  gCustom->release();
}

TEST_F(FileDialogs, MessageBoxButtonSetsAndAnswers)
{
  struct Case
  {
    int type;
    int press;  // the button index pressed; -1: no alert may show
    int result;
    std::vector<std::string> buttons;
  };
  const Case cases[] = {
      {MB_OK, 0, IDOK, {"OK"}},
      {MB_OKCANCEL, 0, IDOK, {"OK", "Cancel"}},
      {MB_OKCANCEL, 1, IDCANCEL, {"OK", "Cancel"}},
      {MB_YESNOCANCEL, 0, IDYES, {"Yes", "Cancel", "No"}},
      {MB_YESNOCANCEL, 1, IDCANCEL, {"Yes", "Cancel", "No"}},
      {MB_YESNOCANCEL, 2, IDNO, {"Yes", "Cancel", "No"}},
      {MB_YESNO, 0, IDYES, {"Yes", "No"}},
      {MB_YESNO, 1, IDNO, {"Yes", "No"}},
      {MB_RETRYCANCEL, 0, IDRETRY, {"Retry", "Cancel"}},
      {MB_RETRYCANCEL, 1, IDCANCEL, {"Retry", "Cancel"}},
      {MB_ABORTRETRYIGNORE, -1, 0, {}},
      {0x30, -1, 0, {}},  // MB_OK with an icon flag is compared as a whole
      {7, -1, 0, {}},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(std::to_string(c.type) + " " + std::to_string(c.press));
    const size_t before = script->alertsShown.size();
    if (c.press >= 0) script->pressAlertButton(c.press);
    EXPECT_EQ(MessageBox(nullptr, "100% sure? %s %n", "Title %d", c.type), c.result);
    if (c.press < 0)
    {
      EXPECT_EQ(script->alertsShown.size(), before);
      continue;
    }
    ASSERT_EQ(script->alertsShown.size(), before + 1);
    const auto& shown = script->alertsShown.back();
    EXPECT_EQ(shown.buttons, c.buttons);
    EXPECT_EQ(shown.message, "Title %d");
    EXPECT_EQ(shown.informative, "100% sure? %s %n");
  }
  script->pressAlertButton(0);
  EXPECT_EQ(MessageBox(nullptr, nullptr, nullptr, MB_OK), IDOK);
  EXPECT_EQ(script->alertsShown.back().message, "");
}

}  // namespace
