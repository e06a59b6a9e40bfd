#include "gui/IGraphicsStructs.h"
#include "gui/IPopupMenu.h"

#include <gtest/gtest.h>

#include <string>

TEST(IRECTTest, OnlyAllZeroIsEmpty)
{
  EXPECT_TRUE(IRECT().Empty());
  EXPECT_TRUE(IRECT(0, 0, 0, 0).Empty());
  EXPECT_FALSE(IRECT(0, 0, 0, 1).Empty());
  EXPECT_FALSE(IRECT(5, 5, 5, 5).Empty());
}

TEST(IRECTTest, ContainsIsHalfOpen)
{
  const IRECT r(10, 20, 30, 40);
  struct Case
  {
    int x, y;
    bool in;
  } cases[] = {{10, 20, true}, {29, 39, true}, {30, 20, false}, {10, 40, false}, {9, 25, false}, {15, 19, false}};
  for (const Case& c : cases) EXPECT_EQ(r.Contains(c.x, c.y), c.in) << c.x << "," << c.y;
  // The empty rectangle contains nothing, not even its own corner.
  EXPECT_FALSE(IRECT().Contains(0, 0));
}

TEST(IRECTTest, IntersectsCountsTouchingRightAndBottomEdges)
{
  const IRECT a(10, 10, 20, 20);
  EXPECT_TRUE(a.Intersects(IRECT(20, 10, 30, 20)));   // a.R == other.L
  EXPECT_TRUE(a.Intersects(IRECT(10, 20, 20, 30)));   // a.B == other.T
  EXPECT_FALSE(a.Intersects(IRECT(0, 10, 10, 20)));   // a.L == other.R
  EXPECT_FALSE(a.Intersects(IRECT(10, 0, 20, 10)));   // a.T == other.B
  EXPECT_TRUE(a.Intersects(IRECT(15, 15, 16, 16)));
  EXPECT_FALSE(a.Intersects(IRECT()));
  EXPECT_FALSE(IRECT().Intersects(a));
}

TEST(IRECTTest, UnionTakesTheOtherWhenEmpty)
{
  const IRECT a(10, 10, 20, 20), b(5, 15, 12, 30);
  EXPECT_EQ(a.Union(b), IRECT(5, 10, 20, 30));
  EXPECT_EQ(IRECT().Union(b), b);
  EXPECT_EQ(a.Union(IRECT()), a);
  // A rectangle with some zeros is not empty and takes part.
  EXPECT_EQ(a.Union(IRECT(0, 0, 0, 5)), IRECT(0, 0, 20, 20));
}

TEST(IRECTTest, MidPointsTruncateInFloat)
{
  EXPECT_EQ(IRECT(0, 0, 5, 7).MW(), 2);
  EXPECT_EQ(IRECT(0, 0, 5, 7).MH(), 3);
  EXPECT_EQ(IRECT(-5, -7, 0, 0).MW(), -2);  // -2.5 truncates toward zero
  EXPECT_EQ(IRECT(-5, -7, 0, 0).MH(), -3);
}

// A face name longer than the style holds is cut, never overrun; frames divide the
// bitmap along their axis.
TEST(ValueTypesTest, LongFaceNamesAndFrameSizes)
{
  IText longName;
  longName.SetFont("A face name far longer than thirty-one characters");
  EXPECT_EQ(std::string(longName.mFont), "A face name far longer than thi");
  const IBitmap strip(nullptr, 40, 100, 5, false), row(nullptr, 100, 40, 5, true);
  EXPECT_EQ(strip.FrameWidth(), 40);
  EXPECT_EQ(strip.FrameHeight(), 20);
  EXPECT_EQ(row.FrameWidth(), 20);
  EXPECT_EQ(row.FrameHeight(), 40);
}

namespace {

std::string texts(const IPopupMenu& menu)
{
  std::string s;
  for (int i = 0; i < menu.GetNItems(); ++i) s += std::string(menu.GetItemText(i)) + "|";
  return s;
}

}  // namespace

TEST(PopupMenuTest, InsertionPositions)
{
  IPopupMenu menu;
  menu.AddItem("a");
  menu.AddItem("b");
  menu.AddItem("c");
  menu.AddItem("first", -5);
  EXPECT_EQ(texts(menu), "first|a|b|c|");
  menu.AddItem("last", 99);
  EXPECT_EQ(texts(menu), "first|a|b|c|last|");
  menu.AddItem("before-b", 2);
  EXPECT_EQ(texts(menu), "first|a|before-b|b|c|last|");
  menu.AddItem("appended", -1);
  EXPECT_EQ(texts(menu), "first|a|before-b|b|c|last|appended|");
  IPopupMenuItem* sep = menu.AddSeparator(0);
  ASSERT_NE(sep, nullptr);
  EXPECT_EQ(sep->GetFlags(), IPopupMenuItem::kSeparator);
  EXPECT_STREQ(menu.GetItemText(0), "");
}

TEST(PopupMenuTest, ItemsAndSubmenus)
{
  IPopupMenu menu;
  IPopupMenuItem* plain = menu.AddItem("plain", -1, IPopupMenuItem::kDisabled | IPopupMenuItem::kIndented);
  EXPECT_FALSE(plain->GetEnabled());
  EXPECT_EQ(plain->GetSubmenu(), nullptr);
  IPopupMenu* sub = new IPopupMenu;
  sub->AddItem("inner");
  IPopupMenuItem* parent = menu.AddItem("parent", sub);
  EXPECT_EQ(parent->GetSubmenu(), sub);
  EXPECT_EQ(parent->GetFlags(), 0);
  EXPECT_EQ(menu.GetItem(1), parent);
  EXPECT_EQ(menu.GetItem(2), nullptr);
  EXPECT_EQ(menu.GetItem(-1), nullptr);
  EXPECT_STREQ(menu.GetItemText(7), "");
  // The item owns its submenu: the sanitiser reports a leak or double free otherwise.
}

TEST(PopupMenuTest, PrefixModes)
{
  IPopupMenu menu;
  for (int i = 0; i < 12; ++i) menu.AddItem("x");
  WDL_String s;
  const struct
  {
    int prefix;
    int index;
    const char* text;
  } cases[] = {{0, 0, "x"}, {1, 0, "1: x"}, {1, 11, "12: x"}, {2, 2, "03: x"}, {3, 11, "012: x"}};
  for (const auto& c : cases)
  {
    menu.SetPrefix(c.prefix);
    menu.GetDisplayText(c.index, &s);
    EXPECT_STREQ(s.Get(), c.text) << c.prefix;
  }
  menu.SetPrefix(4);
  EXPECT_EQ(menu.GetPrefix(), 3);
  menu.SetPrefix(-1);
  EXPECT_EQ(menu.GetPrefix(), 3);
}

TEST(PopupMenuTest, Checking)
{
  IPopupMenu menu;
  for (int i = 0; i < 5; ++i) menu.AddItem("x", -1, IPopupMenuItem::kChecked);
  EXPECT_EQ(menu.GetChosenItemIdx(), -1);
  menu.CheckItemAlone(2);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(menu.IsItemChecked(i), i == 2) << i;
  menu.CheckItemAlone(7);
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(menu.IsItemChecked(i)) << i;
  EXPECT_TRUE(menu.CheckItem(4, true));
  EXPECT_TRUE(menu.IsItemChecked(4));
  EXPECT_FALSE(menu.CheckItem(5, true));
  EXPECT_FALSE(menu.CheckItem(-1, true));
  EXPECT_FALSE(menu.IsItemChecked(9));
  // Checking keeps the other flags.
  IPopupMenuItem* item = menu.AddItem("y", -1, IPopupMenuItem::kDisabled);
  item->SetChecked(true);
  EXPECT_EQ(item->GetFlags(), IPopupMenuItem::kDisabled | IPopupMenuItem::kChecked);
  item->SetChecked(false);
  EXPECT_EQ(item->GetFlags(), IPopupMenuItem::kDisabled);
}
