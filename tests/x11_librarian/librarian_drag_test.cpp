// The real editor in an X11 window: a program dragged with the mouse from the lower
// bank onto the upper bank is stored there and marks the bank unsaved; the bank
// file on disk changes only when it is saved. The display no longer names the
// control last used.

#include "EditorTestSupport.h"
#include "LibrarianTestSupport.h"
#include "config/ParamIds.h"
#include "gui/IGraphicsMac.h"
#include "librarian/PatchLibrarian.h"
#include "librarian/view/LibrarianViewControl.h"
#include "platform/appkit/AppKit.h"
#include "platform/appkit/Presenter.h"
#include "platform/appkit/testing/X11TestDriver.h"
#include "X11Session.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

// Programs named after their bank, so the upper slot shows where its program came from.
Bytes namedBank(const char* prefix, uint32_t seed)
{
  std::vector<Bytes> dumps;
  for (int i = 0; i < 128; ++i)
  {
    char name[16];
    snprintf(name, sizeof(name), "%s %03d", prefix, i);
    dumps.push_back(testProgramDump(testProgramData(seed + (uint32_t)i, name)));
  }
  return concat(dumps);
}

using X11Librarian = X11SessionTest<>;

TEST_F(X11Librarian, ADraggedProgramIsStoredAndTheBankMarkedUnsaved)
{
  {
    DataFolder data;
    std::filesystem::create_directories(data.folder.path() + "/Patches");
    const std::string upperFile = data.folder.path() + "/Patches/A Upper.syx";
    writeFileBytes(upperFile, namedBank("Up", 100));
    writeFileBytes(data.folder.path() + "/Patches/B Lower.syx", namedBank("Low", 900));
    const Bytes onDisk = readFileBytes(upperFile);

    Davrel editor(editorInfo());
    PatchLibrarian* lib = editor.patchLibrarian;
    ASSERT_EQ(lib->patchFiles.size(), 2u);
    const int upper = lib->patchFiles[0]->fileName == "A Upper.syx" ? 0 : 1;
    lib->upperFileIndex = upper;
    lib->lowerFileIndex = 1 - upper;
    editor.updatePatchLibrarianView(2);
    editor.GetParam(kMainPage)->Set(1);
    editor.OnParamChange(kMainPage);
    LibrarianViewControl* grid = editor.librarianView;
    ASSERT_NE(grid, nullptr);
    ASSERT_TRUE(grid->dragEnabled);
    ASSERT_EQ(editor.GetParam(kBankEditUnsaved)->Value(), 0.0);

    IGraphicsMac* g = dynamic_cast<IGraphicsMac*>(editor.graphics);
    ASSERT_NE(g, nullptr);
    NSRunLoop* loop = NSRunLoop::currentRunLoop();
    auto until = [&](const std::function<bool()>& done) { return loop->runUntil(done, loop->now() + 10.0); };
    NSWindow* window =
        new NSWindow(NSMakeRect(0, 0, g->Width(), g->Height()), NSTitledWindowMask, NSBackingStoreBuffered, false);
    g->OpenWindow(window->contentView());
    window->makeKeyAndOrderFront(nullptr);
    const unsigned long xid = AKX11WindowOf(window);
    ASSERT_TRUE(until([&] { return driver->viewable(xid) && window->displayCount() > 0; }));

    // Window pixel (px, py) lands on graphics (px - 2, py - 3).
    const IRECT from = grid->slotRect(1, 5), to = grid->slotRect(0, 17);
    const int fx = (from.L + from.R) / 2 + 2, fy = (from.T + from.B) / 2 + 3;
    const int tx = (to.L + to.R) / 2 + 2, ty = (to.T + to.B) / 2 + 3;
    const unsigned button1 = 1u << 8;
    editor.displayParamChange(kExitAboutWindow, 0, false);
    ASSERT_EQ(editor.nameLine(), "Close About");
    // Large steps: the first drag event is rows away from the press.
    driver->press(xid, fx, fy, 1);
    for (int step = 1; step <= 8; ++step)
      driver->motion(xid, fx + (tx - fx) * step / 8, fy + (ty - fy) * step / 8, button1);
    ASSERT_TRUE(until([&] { return grid->dragging; }));
    driver->release(xid, tx, ty, 1, button1);
    ASSERT_TRUE(until([&] { return editor.GetParam(kBankEditUnsaved)->Value() == 1.0; }));

    const LibrarianPatch& stored = lib->patchFiles[(size_t)upper]->patches[17];
    const LibrarianPatch& source = lib->patchFiles[(size_t)(1 - upper)]->patches[5];
    // Names are stored as the dump holds them, padded to twelve characters.
    EXPECT_EQ(stored.name.rfind("Low 005", 0), 0u) << stored.name;
    ASSERT_FALSE(stored.messages.empty());
    EXPECT_EQ(stored.messages[0].bytes, source.messages[0].bytes);
    EXPECT_EQ(std::string(grid->slotText(0, 17)), stored.name);
    EXPECT_EQ(lib->patchFiles[(size_t)upper]->patches[16].name.rfind("Up 016", 0), 0u);
    EXPECT_EQ(readFileBytes(upperFile), onDisk);
    EXPECT_EQ(editor.nameLine() + editor.valueLine(), "");

    g->CloseWindow();
    window->close();
    AKRelease(window);
    loop->runOnce();
  }
}

}  // namespace
