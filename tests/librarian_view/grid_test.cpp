// The librarian grid with a stand-in controller: geometry, hit tests, keys, drag and
// drop, copy and paste, rename.

#include "ViewTestSupport.h"

#include "config/ParamIds.h"

#include <memory>
#include <random>

#include "raster/lice.h"

namespace {

// A librarian over two banks on disk, the upper (seeds from 1000) and the lower
// (seeds from 2000), with a third lower bank to switch to (seeds from 3000).
struct GridFixture : ::testing::Test
{
  TempDataDir data;
  FakeViewHost host;
  RecordingPlug plug{16};
  PatchLibrarian lib{&host};
  std::unique_ptr<LibrarianViewControl> grid;
  int upperIndex = -1, lowerIndex = -1, otherIndex = -1;
  static constexpr int kX = 24, kY = 96;

  void SetUp() override
  {
    writeBankFile(data.patches + "/Upper.syx", 1000);
    writeBankFile(data.patches + "/Lower.syx", 2000);
    writeBankFile(data.patches + "/Other.syx", 3000);
    lib.loadPatchesFromFilesystem(data.patches);
    ASSERT_EQ(lib.patchFiles.size(), 3u);
    for (size_t i = 0; i < 3; ++i)
    {
      const std::string& n = lib.patchFiles[i]->fileName;
      (n == "Upper.syx" ? upperIndex : n == "Lower.syx" ? lowerIndex : otherIndex) = (int)i;
    }
    lib.upperFileIndex = upperIndex;
    lib.lowerFileIndex = lowerIndex;
    host.lib = &lib;
    makeGrid(1.0);
  }
  void makeGrid(double scale)
  {
    IBitmap none;
    grid.reset(new LibrarianViewControl(&plug, &host, kX, kY, -1, &none, IRECT(kX, kY, kX + 1180, kY + 490), &lib,
                                        scale));
    host.grid = grid.get();
  }
  // The centre of a slot.
  std::pair<int, int> at(int column, int slot) const
  {
    const IRECT r = grid->slotRect(column, slot);
    return {(r.L + r.R) / 2, (r.T + r.B) / 2};
  }
  const PatchBytes& upperBytes(int slot) { return lib.patchFiles[(size_t)upperIndex]->patches[(size_t)slot].messages[0].bytes; }
  const LibrarianPatch& upper(int slot) { return lib.patchFiles[(size_t)upperIndex]->patches[(size_t)slot]; }
  const LibrarianPatch& bankSlot(int bank, int slot) { return lib.patchFiles[(size_t)bank]->patches[(size_t)slot]; }
};

TEST_F(GridFixture, GeometryFollowsTheScale)
{
  struct Case
  {
    double scale;
    int w, h, dragW, firstLeft, step, lowerTop;
  };
  // Slot width 97 at 1.0 and 98 s elsewhere; 30 s between columns; the lower bank's top.
  const Case cases[] = {{0.75, 73, 12, 72, 22, 95, 229}, {1.0, 97, 16, 97, 30, 127, 303}, {1.25, 122, 20, 121, 37, 159, 379}};
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.scale);
    makeGrid(c.scale);
    EXPECT_EQ(grid->slotWidth, c.dragW);
    EXPECT_EQ(grid->slotHeight, c.h);
    const IRECT first = grid->slotRect(0, 0);
    EXPECT_EQ(first, IRECT(kX + c.firstLeft, kY + 1, kX + c.firstLeft + c.w, kY + 1 + c.h));
    // Column by column: slot 17 is row 1 of column 1.
    EXPECT_EQ(grid->slotRect(0, 17), IRECT(first.L + c.step, first.T + c.h, first.L + c.step + c.w, first.T + 2 * c.h));
    EXPECT_EQ(grid->slotRect(1, 0).T, kY + c.lowerTop);
    EXPECT_EQ(grid->slotRect(1, 127).L, first.L + 7 * c.step);
  }
}

TEST_F(GridFixture, HitTestsAtSlotEdges)
{
  const IRECT r5 = grid->slotRect(0, 5), l40 = grid->slotRect(1, 40);
  struct Case
  {
    int column, x, y, slot;
  };
  const Case cases[] = {
      {0, r5.L, r5.T, 5},           {0, r5.R - 1, r5.B - 1, 5}, {0, r5.L, r5.B, 6},  // the next row begins at the bottom edge
      {0, r5.R, r5.T, -1},                                                            // the gap between columns
      {0, r5.L - 1, r5.T, -1},      {0, r5.L, r5.T - 1, 4},     {1, l40.L, l40.T, 40}, {1, l40.R - 1, l40.B - 1, 40},
      {1, l40.L, l40.T, 40},        {0, l40.L, l40.T, -1},      {1, r5.L, r5.T, -1},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(testing::Message() << c.column << " " << c.x << "," << c.y);
    EXPECT_EQ(grid->slotAt(c.column, c.x, c.y), c.slot);
  }
  // A left click replaces both selections; one outside every slot clears them.
  IMouseMod left(true);
  grid->OnMouseDown(l40.L, l40.T, &left);
  EXPECT_EQ(grid->upperSelected, -1);
  EXPECT_EQ(grid->lowerSelected, 40);
  EXPECT_EQ(grid->activeColumn, 1);
  EXPECT_EQ(lib.lowerSelectedSlot, 40);
  EXPECT_TRUE(host.grayed["saveChangesLayer"]);
  grid->OnMouseDown(r5.R, r5.T, &left);
  EXPECT_EQ(grid->upperSelected, -1);
  EXPECT_EQ(grid->lowerSelected, -1);
  grid->OnMouseDown(r5.L, r5.T, &left);
  EXPECT_EQ(grid->upperSelected, 5);
  EXPECT_EQ(grid->currentSlot, 5);
  EXPECT_EQ(lib.selectedSlot, 5);
  EXPECT_FALSE(host.grayed["saveChangesLayer"]);
  EXPECT_TRUE(host.hidden["patchRename"]);
  EXPECT_EQ(host.count("send"), 0);  // a click sends nothing
}

TEST_F(GridFixture, ArrowKeysMoveAndWrap)
{
  struct Case
  {
    int column, from, key, to;
  };
  const Case cases[] = {{0, 127, 2, 0}, {0, 0, 1, 127}, {0, 115, 4, 3}, {0, 3, 3, 115}, {0, 15, 2, 16},
                        {0, 16, 1, 15}, {1, 20, 3, 4},  {1, 112, 4, 0}, {1, 40, 2, 41}};
  for (const Case& c : cases)
  {
    SCOPED_TRACE(testing::Message() << c.from << " key " << c.key);
    host.calls.clear();
    const auto p = at(c.column, c.from);
    IMouseMod left(true);
    grid->OnMouseDown(p.first, p.second, &left);
    EXPECT_TRUE(grid->OnKeyDown(0, 0, c.key));
    EXPECT_EQ(grid->currentSlot, c.to);
    EXPECT_EQ(c.column ? grid->lowerSelected.load() : grid->upperSelected.load(), c.to);
    ASSERT_EQ(host.calls, std::vector<std::string>{"send " + std::to_string(c.to) + " " + std::to_string(c.column)});
  }
  host.calls.clear();
  EXPECT_FALSE(grid->OnKeyDown(0, 0, 0));  // space and every other key pass on
  EXPECT_FALSE(grid->OnKeyDown(0, 0, 5));
  EXPECT_TRUE(host.calls.empty());
}

TEST_F(GridFixture, DoubleClickSendsOnlyWithAnOutputPort)
{
  const auto p = at(1, 9);
  IMouseMod left(true);
  host.params[kDeviceOutSelection] = 0;
  grid->OnMouseDblClick(p.first, p.second, &left);
  EXPECT_EQ(host.count("send"), 0);
  host.params[kDeviceOutSelection] = 2;
  grid->OnMouseDblClick(p.first, p.second, &left);
  EXPECT_EQ(host.calls, std::vector<std::string>{"send 9 1"});
  EXPECT_EQ(grid->currentSlot, 9);
}

TEST_F(GridFixture, DropStoresTheLowerProgramAndFlagsUnsaved)
{
  grid->dragEnabled = true;
  const Bytes before = upperBytes(17);
  const LibrarianPatch& source = bankSlot(lowerIndex, 5);
  ASSERT_NE(source.messages[0].bytes, before);
  const auto from = at(1, 5), to = at(0, 17);
  IMouseMod left(true);
  grid->OnMouseDown(from.first, from.second, &left);
  // A quick hand: the first drag event arrives over lower slot 2; the program
  // dragged is still the one pressed.
  const auto early = at(1, 2);
  grid->OnMouseDrag(early.first, early.second, 0, -48, &left);
  EXPECT_TRUE(grid->dragging);
  EXPECT_EQ(grid->copySourceSlot, 5);
  grid->OnMouseDrag(to.first, to.second, 0, 0, &left);
  EXPECT_EQ(grid->dragRect.W(), grid->slotWidth);
  EXPECT_EQ(grid->dragRect.L, to.first - grid->slotWidth / 2);
  host.grayed["saveChangesLayer"] = true;
  grid->OnMouseUp(to.first, to.second, &left);
  EXPECT_FALSE(grid->dragging);
  EXPECT_EQ(upperBytes(17), source.messages[0].bytes);
  EXPECT_EQ(upper(17).name, source.name);
  EXPECT_EQ(host.count("unsaved 1"), 1);
  EXPECT_FALSE(host.grayed["saveChangesLayer"]);
  EXPECT_EQ(host.count("send"), 0);  // nothing goes to the hardware
}

TEST_F(GridFixture, DragsThatChangeNothing)
{
  IMouseMod left(true);
  struct Case
  {
    const char* what;
    bool enabled;
    int fromColumn, fromSlot;
    bool dropOutside;
  };
  const Case cases[] = {{"from the upper bank", true, 0, 3, false},
                        {"released outside", true, 1, 3, true},
                        {"before the page enabled dragging", false, 1, 3, false}};
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.what);
    host.calls.clear();
    grid->dragEnabled = c.enabled;
    const Bytes before = upperBytes(20);
    const auto from = at(c.fromColumn, c.fromSlot), to = at(0, 20);
    grid->OnMouseDown(from.first, from.second, &left);
    grid->OnMouseDrag(from.first, from.second, 0, 0, &left);
    const int x = c.dropOutside ? grid->slotRect(0, 0).L - 5 : to.first, y = c.dropOutside ? 2 : to.second;
    grid->OnMouseDrag(x, y, 0, 0, &left);
    grid->OnMouseUp(x, y, &left);
    EXPECT_EQ(upperBytes(20), before);
    EXPECT_EQ(host.count("unsaved"), 0);
    EXPECT_EQ(host.count("feed"), 0);
  }
}

TEST_F(GridFixture, PastePastesWhatWasCopied)
{
  const auto up = at(0, 9);
  // Before any copy a paste selects the slot and changes nothing.
  const Bytes before = upperBytes(9);
  grid->PasteSlotData(up.first, up.second);
  EXPECT_EQ(lib.selectedSlot, 9);
  EXPECT_EQ(upperBytes(9), before);
  EXPECT_EQ(host.count("unsaved"), 0);

  const Bytes copied = bankSlot(lowerIndex, 3).messages[0].bytes;
  const auto low = at(1, 3);
  grid->CopySlotData(low.first, low.second);
  EXPECT_EQ(grid->copyValid, lowerIndex);
  EXPECT_EQ(grid->lowerSelected, 3);
  // The lower column changes to another bank, then a rescan replaces every bank.
  lib.lowerFileIndex = otherIndex;
  grid->patchSelectionLowerChanged();
  lib.initBankFilesOnDiscard(data.patches);
  for (size_t i = 0; i < lib.patchFiles.size(); ++i)
    if (lib.patchFiles[i]->fileName == "Upper.syx") upperIndex = (int)i;
  lib.upperFileIndex = upperIndex;
  grid->PasteSlotData(up.first, up.second);
  EXPECT_EQ(upperBytes(9), copied);
  EXPECT_EQ(host.count("unsaved 1"), 1);

  // A copy between slots copies nothing: the paste then stores nothing but still flags.
  const IRECT r = grid->slotRect(1, 3);
  grid->CopySlotData(r.R + 1, r.T);
  const Bytes now = upperBytes(10);
  const auto up10 = at(0, 10);
  grid->PasteSlotData(up10.first, up10.second);
  EXPECT_EQ(upperBytes(10), now);
}

TEST_F(GridFixture, RenameOpensTheBoxOnlyForAProgram)
{
  IMouseMod left(true);
  const auto p = at(0, 12);
  grid->OnMouseDown(p.first, p.second, &left);
  grid->renameSlot(p.first, p.second);
  EXPECT_TRUE(grid->renaming);
  EXPECT_FALSE(host.renameClosed);
  EXPECT_EQ(host.displayEntries[std::make_pair((int)kPatchRename, 0)], upper(12).name);
  EXPECT_FALSE(host.hidden["patchRename"]);
  // Any mouse event ends the renaming state and hides the box.
  grid->OnMouseDown(p.first, p.second, &left);
  EXPECT_FALSE(grid->renaming);
  EXPECT_TRUE(host.hidden["patchRename"]);

  // An empty slot: the bank is short of 128, padded, and shows no box.
  lib.patchFiles[(size_t)upperIndex]->patches.resize(100);
  const auto e = at(0, 110);
  grid->OnMouseDown(e.first, e.second, &left);
  host.displayEntries.clear();
  grid->renameSlot(e.first, e.second);
  EXPECT_EQ(lib.patchFiles[(size_t)upperIndex]->patches.size(), 128u);
  EXPECT_TRUE(host.displayEntries.empty());
  EXPECT_TRUE(host.hidden["patchRename"]);
}

TEST_F(GridFixture, RightClickOpensTheMenuOfTheColumn)
{
  IMouseMod right(false, true), left(true);
  const auto u = at(0, 2), l = at(1, 2), before = at(0, 40);
  grid->OnMouseDown(before.first, before.second, &left);
  host.calls.clear();
  grid->OnMouseDown(u.first, u.second, &right);
  // The edit menu's "Program by Slot" fetches the current slot's program into the
  // selected slot: both are the slot right-clicked.
  EXPECT_EQ(grid->currentSlot, 2);
  EXPECT_EQ(lib.selectedSlot, 2);
  grid->OnMouseDown(l.first, l.second, &right);
  grid->OnMouseDown(2, 2, &right);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"editMenu " + std::to_string(u.first) + " " + std::to_string(u.second),
                                                  "copyMenu " + std::to_string(l.first) + " " + std::to_string(l.second),
                                                  "copyMenu 2 2"}));
}

TEST_F(GridFixture, ColumnsShowTheirBanksAndIgnoreBadIndices)
{
  EXPECT_EQ(std::string(grid->slotText(0, 0)), bankSlot(upperIndex, 0).name);
  EXPECT_EQ(std::string(grid->slotText(1, 127)), bankSlot(lowerIndex, 127).name);
  lib.lowerFileIndex = 7;  // no such bank: the texts stay
  grid->patchSelectionLowerChanged();
  EXPECT_EQ(std::string(grid->slotText(1, 127)), bankSlot(lowerIndex, 127).name);
  // Both columns on one bank: a change of the upper one shows in the lower one too.
  lib.lowerFileIndex = upperIndex;
  grid->patchSelectionLowerChanged();
  lib.patchFiles[(size_t)upperIndex]->patches[9].name = "Changed";
  grid->patchSelectionUpperChanged();
  EXPECT_EQ(std::string(grid->slotText(1, 9)), "Changed");
  // A list without any bank (a search that found nothing, an emptied bank folder)
  // empties the column: programs that are gone are not offered.
  host.searchActive = true;
  lib.lowerFileIndex = 0;
  grid->patchSelectionLowerChanged();
  for (int slot : {0, 127}) EXPECT_EQ(std::string(grid->slotText(1, slot)), "");
  lib.initBankFilesOnDiscard(data.patches + "/gone");
  grid->patchSelectionUpperChanged();
  for (int slot : {0, 127}) EXPECT_EQ(std::string(grid->slotText(0, slot)), "");
}

// The cached picture of the grid stands for the plain pass: for a seeded run of
// selections, reloads and drags, in passes over the whole grid or a part of it, both
// give the same pixels within the pass, whatever lay beneath before it.
TEST_F(GridFixture, CachedDrawingMatchesThePlainTwin)
{
  const int w = 1180, h = 490;
  LICE_MemBitmap* picture = new LICE_MemBitmap(w, h);
  std::mt19937 rng(7);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) picture->getBits()[y * picture->getRowSpan() + x] = (LICE_PixelValue)(rng() | 0xFF);
  IBitmap background(picture, w, h);
  const IRECT rect(kX, kY, kX + w, kY + h);
  struct Side
  {
    std::unique_ptr<HeadlessGraphics> g;
    LibrarianViewControl* grid;  // owned by g
  } sides[2];
  for (int i = 0; i < 2; ++i)
  {
    sides[i].g.reset(new HeadlessGraphics(&plug, 1500, 667));
    sides[i].g->PrepDraw();
    sides[i].g->SetStrictDrawing(true);
    sides[i].g->AttachControl(new IPanelControl(&plug, IRECT(0, 0, 1500, 667), &COLOR_TRANSPARENT));
    sides[i].grid = new LibrarianViewControl(&plug, &host, kX, kY, -1, &background, rect, &lib, 1.0);
    sides[i].g->AttachControl(sides[i].grid);
    sides[i].grid->drawCacheEnabled = i == 0;
    sides[i].grid->dragEnabled = true;
  }
  IMouseMod left(true);
  int cachedPasses = 0;
  for (int step = 0; step < 60; ++step)
  {
    const int action = (int)(rng() % 5), column = (int)(rng() % 2), slot = (int)(rng() % 128);
    const auto p = at(column, slot);
    // Every third pass covers only a part of the grid.
    IRECT area = rect;
    if (step % 3 == 2) area = IRECT(kX + 100 + (int)(rng() % 300), kY + 50, kX + 700, kY + 300 + (int)(rng() % 100));
    SCOPED_TRACE(testing::Message() << "step " << step << " action " << action);
    if (action == 2 && step % 2)
      lib.patchFiles[(size_t)upperIndex]->patches[(size_t)slot].name = "Renamed " + std::to_string(step);
    for (Side& s : sides)
    {
      switch (action)
      {
        case 0: s.grid->OnMouseDown(p.first, p.second, &left); break;
        case 1: s.grid->OnKeyDown(0, 0, 1 + slot % 4); break;
        case 2: s.grid->patchSelectionUpperChanged(); break;
        case 3: s.grid->OnMouseDrag(p.first, p.second, 1, 1, &left); break;
        default: s.grid->OnMouseUp(p.first, p.second, &left); break;
      }
      // Something else beneath each time: the grid covers it.
      LICE_FillRect(s.g->GetDrawBitmap(), 0, 0, 1500, 667, LICE_MakePixel(step * 4, 0, 255 - step, 255), 1.0f,
                    LICE_MODE_COPY);
      s.g->Draw(&area);
    }
    LICE_SysBitmap* a = sides[0].g->GetDrawBitmap();
    LICE_SysBitmap* b = sides[1].g->GetDrawBitmap();
    int differ = 0, fromPicture = 0;
    for (int y = area.T; y < area.B; ++y)
      for (int x = area.L; x < area.R; ++x)
      {
        const LICE_PixelValue pa = a->getBits()[y * a->getRowSpan() + x];
        if (pa != b->getBits()[y * b->getRowSpan() + x]) ++differ;
        if (pa == picture->getBits()[(y - kY) * picture->getRowSpan() + x - kX]) ++fromPicture;
      }
    ASSERT_EQ(differ, 0);
    ASSERT_GT(fromPicture, area.W() * area.H() / 2);  // the grid was drawn, not just left alone
    if (action == 4) ++cachedPasses;
  }
  EXPECT_GT(cachedPasses, 5);
  delete picture;
}

}  // namespace
