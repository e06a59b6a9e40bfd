// The librarian grid on the editor built from the shipped configuration and
// artwork, at the three editor sizes: every slot of both banks lies on its cell of
// the artwork, inside the window, and a click on it selects it; the bank menus draw
// their captions clear of the grid's slots.

#include "EditorTestSupport.h"
#include "LibrarianTestSupport.h"
#include "config/ParamIds.h"
#include "gui/IControl.h"
#include "gui/IGraphics.h"
#include "hardware/DumpLayout.h"
#include "librarian/BankFormats.h"
#include "librarian/view/BankChooserMenus.h"
#include "librarian/view/BankEditPopupMenu.h"
#include "librarian/view/LibrarianViewControl.h"
#include "raster/lice.h"
#include "raster/lice_pixel.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

namespace {

class GridEditor : public RecordingEditor
{
public:
  LibrarianViewControl* grid() { return librarianView; }
  std::vector<IControl*> menus()
  {
    return {leftPatchPopupMenu, rightPatchPopupMenu, bankEditPopupMenu};
  }
  std::string caption(int i) { return static_cast<LibrarianMenuControl*>(menus()[(size_t)i])->caption(); }
};

void writeBank(const DataFolder& data, const std::string& file, const std::string& prefix)
{
  Bytes out;
  for (int i = 0; i < 128; ++i)
  {
    Bytes p = mkInitPatchData();
    writeProgramDumpName(prefix + std::to_string(i), p.data());
    out.insert(out.end(), p.begin(), p.end());
  }
  std::filesystem::create_directories(std::filesystem::path(data.file(file)).parent_path());
  writeFileBytes(data.file(file), out);
}

int red(LICE_IBitmap* b, int x, int y) { return LICE_PixelR(LICE_GetPixel(b, x, y)); }

}  // namespace

TEST(LibrarianGrid, EverySlotOfBothBanksSitsOnItsCellAndAClickSelectsIt)
{
  atEveryEditorSize<GridEditor>(
      [](const DataFolder& data) {
        writeBank(data, "Patches/Alpha.dvl", "Alpha ");
        writeBank(data, "Patches/Beta.dvl", "Beta ");
      },
      [](UnderTest<GridEditor>& e, const EditorSize&, const IRECT& window) {
    e.userSets(kShowLibrarian, 1);
    LibrarianViewControl* grid = e.grid();
    ASSERT_NE(grid, nullptr);
    // The configuration's grid names no parameter: the grid is the librarian area's all the same.
    EXPECT_EQ(grid->ParamIdx(), kLibrarianArea);

    e.graphics->PrepDraw();
    IRECT all = window;
    e.graphics->Draw(&all);
    LICE_IBitmap* shot = e.graphics->GetDrawBitmap();
    ASSERT_NE(shot, nullptr);

    // The field behind the cells is (22, 24, 28), the cells are lighter (34 and up).
    for (int column = 0; column < 2; ++column)
      for (int slot = 0; slot < 128; ++slot)
      {
        SCOPED_TRACE(testing::Message() << "column " << column << " slot " << slot);
        const IRECT r = grid->slotRect(column, slot);
        ASSERT_TRUE(r.L >= grid->GetRECT().L && r.R <= grid->GetRECT().R && r.T >= grid->GetRECT().T &&
                    r.B <= grid->GetRECT().B);
        ASSERT_TRUE(r.R <= window.R && r.B <= window.B);
        const int midY = (r.T + r.B) / 2;
        // The cell's right end carries no text; the gutter right of it is field.
        ASSERT_GE(red(shot, r.R - 4, midY), 30);
        ASSERT_LE(red(shot, r.R + 2, midY), 25);
        ASSERT_GE(red(shot, r.L + 2, r.T + 2), 30);
        // The slot's number ends two pixels or more before its name begins.
        for (int y = r.T; y < r.B; ++y) ASSERT_LE(std::max(red(shot, r.L - 1, y), red(shot, r.L - 2, y)), 60) << y;
      }

    IMouseMod left(true);
    for (int column = 0; column < 2; ++column)
      for (int slot = 0; slot < 128; ++slot)
      {
        SCOPED_TRACE(testing::Message() << "column " << column << " slot " << slot);
        const IRECT r = grid->slotRect(column, slot);
        const int x = (r.L + r.R) / 2, y = (r.T + r.B) / 2;
        ASSERT_EQ(e.graphics->GetMouseControlIdx(x, y), grid);
        e.graphics->OnMouseDown(x, y, &left);
        e.graphics->OnMouseUp(x, y, &left);
        ASSERT_EQ(column ? grid->lowerSelected.load() : grid->upperSelected.load(), slot);
        ASSERT_EQ(grid->activeColumn.load(), column);
      }

    // The menus: inside the window, reachable, on no slot, and captioned.
    for (size_t m = 0; m < 3; ++m)
    {
      IControl* menu = e.menus()[m];
      ASSERT_NE(menu, nullptr);
      const IRECT& r = menu->GetRECT();
      EXPECT_TRUE(r.R <= window.R && r.B <= window.B);
      EXPECT_EQ(e.graphics->GetMouseControlIdx((r.L + r.R) / 2, (r.T + r.B) / 2), menu);
      for (int column = 0; column < 2; ++column)
        for (int slot = 0; slot < 128; ++slot) ASSERT_FALSE(r.Intersects(grid->slotRect(column, slot))) << m;
      // Text is drawn: the caption's box holds light pixels.
      int light = 0;
      for (int y = r.T; y < r.B; ++y)
        for (int x = r.L; x < r.R; ++x) light += red(shot, x, y) > 150;
      EXPECT_GT(light, 20) << m;
    }
    EXPECT_NE(e.caption(0).find("Alpha"), std::string::npos) << e.caption(0);
    EXPECT_EQ(e.caption(1).find("LOWER: "), 0u) << e.caption(1);
    EXPECT_EQ(e.caption(1).find("(no bank)"), std::string::npos) << e.caption(1);
    EXPECT_EQ(e.caption(2), "BANK MENU");
  });
}
