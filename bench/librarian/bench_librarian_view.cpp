// The librarian page's speed goals: opening the page with 2,000 banks (both chooser
// menus rebuilt from the tree, the bank edit menu refilled, both grid columns
// reloaded and the grid drawn) under 20 ms; a drag over the grid with a redraw per
// mouse move under 1 ms a step.

#include "gui/IControls.h"
#include "gui/IGraphics.h"
#include "librarian/LibrarianViewHost.h"
#include "librarian/PatchLibrarian.h"
#include "librarian/view/BankChooserMenus.h"
#include "librarian/view/BankEditPopupMenu.h"
#include "librarian/view/LibrarianViewControl.h"
#include "plug/IPlugBase.h"
#include "raster/lice.h"

#include "../gui/BenchPlug.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

class BenchHost : public LibrarianViewHost
{
public:
  LibrarianViewControl* grid = nullptr;
  IGraphics* graphics = nullptr;
  std::string folder[2], name[2], path[2];
  LibrarianViewControl* librarianViewControl() override { return grid; }
  IGraphics* librarianGraphics() override { return graphics; }
  std::string bankFolder(int c) override { return folder[c]; }
  std::string bankName(int c) override { return name[c]; }
  std::string bankPath(int c) override { return path[c]; }
  void setBankChoice(int c, const std::string& f, const std::string& n, const std::string& p) override
  {
    folder[c] = f;
    name[c] = n;
    path[c] = p;
  }
};

// 10 second-level folders of 4 third-level folders of 50 banks each: 2,000 banks
// in memory, shaped as the scan leaves them.
struct Page
{
  BenchPlug plug{8, false};
  BenchHost host;
  PatchLibrarian lib{&host};
  std::unique_ptr<IGraphics> g;
  LibrarianViewControl* grid = nullptr;
  std::unique_ptr<LeftPatchPopupMenu> left;
  std::unique_ptr<RightPatchPopupMenu> right;
  std::unique_ptr<BankEditPopupMenu> edit;

  Page()
  {
    for (int f = 0; f < 10; ++f)
    {
      FolderFiles* entry = new FolderFiles;
      SubFolderFiles sub;
      sub.name = "Folder " + std::to_string(f);
      for (int s = 0; s < 4; ++s)
      {
        SubFolderFiles2 sub2;
        sub2.name = "Set " + std::to_string(s);
        for (int b = 0; b < 50; ++b)
        {
          PatchFile* bank = new PatchFile;
          bank->fileName = "Bank " + std::to_string(b) + ".syx";
          bank->folderName = sub2.name;
          bank->pathFolders = {"Patches", sub.name, sub2.name};
          bank->patches.resize(128);
          for (int i = 0; i < 128; ++i)
          {
            bank->patches[(size_t)i].name = "Program " + std::to_string(i);
            bank->patches[(size_t)i].messages.push_back(PatchSysexMessage{std::vector<uint8_t>(297, 0x10)});
          }
          lib.patchFiles.push_back(bank);
          sub2.files.push_back(bank);
        }
        sub.subFolders.push_back(sub2);
      }
      entry->subFolders.push_back(sub);
      lib.folderTree.push_back(entry);
    }
    lib.folderTree.push_back(new FolderFiles{"Patches", {}, {}});
    lib.upperFileIndex = 1999;
    lib.lowerFileIndex = 1000;
    host.name[0] = "Bank 49.syx";
    host.folder[0] = "Set 3";
    host.path[0] = "Folder 9/Set 3/Bank 49.syx";
    host.name[1] = "Bank 0.syx";
    host.folder[1] = "Set 0";

    g.reset(new IGraphics(&plug, 1500, 667, 25));
    g->PrepDraw();
    host.graphics = g.get();
    // Control 0 is the background, which the dirty walk passes over.
    const IColor grey(255, 40, 40, 40);
    g->AttachControl(new IPanelControl(&plug, IRECT(0, 0, 1500, 667), &grey));
    // The grid's own background, as the configuration gives it.
    LICE_MemBitmap* bg = new LICE_MemBitmap(1180, 490);
    for (int y = 0; y < 490; ++y)
      for (int x = 0; x < 1180; ++x) bg->getBits()[y * bg->getRowSpan() + x] = LICE_MakePixel(x & 255, y & 255, 60, 255);
    IBitmap background(bg, 1180, 490);
    g->RetainBitmap(&background);
    grid = new LibrarianViewControl(&plug, &host, 24, 96, -1, &background, IRECT(24, 96, 1204, 586), &lib, 1.0);
    host.grid = grid;
    g->AttachControl(grid);
    left.reset(new LeftPatchPopupMenu(&plug, &lib, IRECT(414, 39, 829, 55), &host));
    right.reset(new RightPatchPopupMenu(&plug, &lib, IRECT(414, 342, 829, 360), &host));
    edit.reset(new BankEditPopupMenu(&plug, &lib, IRECT(861, 39, 940, 59), &host));
  }

  void draw()
  {
    IRECT area;
    if (g->IsDirty(&area)) g->Draw(&area);
    ++draws;
  }
  int draws = 0;
};

Page& page()
{
  static Page* p = new Page;  // one for the whole run
  return *p;
}

void BM_OpenLibrarianPage(benchmark::State& state)
{
  Page& p = page();
  for (auto _ : state)
  {
    p.left->refreshFolderStructure(&p.lib, &p.host, 0, p.host.name[0], p.host.folder[0]);
    p.right->refreshFolderStructure(&p.lib, &p.host, 0, p.host.name[1], p.host.folder[1]);
    p.edit->AddMenuItemsIn(&p.host);
    p.grid->dragEnabled = true;
    p.grid->patchSelectionUpperChanged();
    p.grid->patchSelectionLowerChanged();
    p.g->SetAllControlsDirty();
    p.draw();
    benchmark::DoNotOptimize(p.g->GetBits());
  }
  if (p.lib.upperFileIndex != 1999) state.SkipWithError("the upper bank was not found again");
}
BENCHMARK(BM_OpenLibrarianPage)->Unit(benchmark::kMillisecond);

void BM_DragStep(benchmark::State& state)
{
  Page& p = page();
  p.grid->dragEnabled = true;
  const IRECT from = p.grid->slotRect(1, 5);
  IMouseMod left(true);
  p.grid->OnMouseDown(from.L + 2, from.T + 2, &left);
  p.grid->OnMouseDrag(from.L + 2, from.T + 2, 0, 0, &left);
  p.draw();
  int step = 0;
  for (auto _ : state)
  {
    // Back and forth across the grid, one redraw a move.
    const int k = step++ % 200;
    const int x = 60 + (k < 100 ? k : 199 - k) * 10, y = 120 + (k < 100 ? k : 199 - k) * 4;
    p.grid->OnMouseDrag(x, y, 10, 4, &left);
    p.draw();
  }
  if (!p.grid->dragging) state.SkipWithError("no drag under way");
}
BENCHMARK(BM_DragStep)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
