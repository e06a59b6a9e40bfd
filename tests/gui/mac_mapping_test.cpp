// The plain computations of the editor's view, table by table.

#include "gui/IGraphicsMacMapping.h"
#include "platform/appkit/NSEvent.h"

#include <gtest/gtest.h>

using namespace MacMapping;

namespace {

std::u16string one(char16_t c) { return std::u16string(1, c); }

}  // namespace

// Every row of the key table, value by value: key codes first (arrows, space),
// then the character for any other code.
TEST(MacKeyTable, EveryKeyValue)
{
  struct Row
  {
    unsigned short code;
    std::u16string chars;
    int key;
  };
  std::vector<Row> rows = {
      {126, one(NSUpArrowFunctionKey), 1},   {125, one(NSDownArrowFunctionKey), 2},
      {123, one(NSLeftArrowFunctionKey), 3}, {124, one(NSRightArrowFunctionKey), 4},
      {49, u" ", 0},
      // The code decides before the character does.
      {126, u"q", 1}, {49, u"7", 0},
      // Characters the table does not know go to the next responder.
      {kVK_ANSI_5, u"%", kKeyNextResponder}, {kVK_ANSI_Minus, u"-", kKeyNextResponder},
      {kVK_Return, u"\r", kKeyNextResponder}, {kVK_ANSI_Grave, u"`", kKeyNextResponder},
      {0, one(0xE9), kKeyNextResponder},
      // Not exactly one character: dropped.
      {kVK_ANSI_A, u"", kKeyDropped}, {kVK_ANSI_A, u"ab", kKeyDropped}, {126, u"", kKeyDropped},
  };
  for (char16_t c = u'0'; c <= u'9'; ++c) rows.push_back({0, one(c), 5 + (c - u'0')});
  for (char16_t c = u'A'; c <= u'Z'; ++c) rows.push_back({0, one(c), 15 + (c - u'A')});
  for (char16_t c = u'a'; c <= u'z'; ++c) rows.push_back({0, one(c), 15 + (c - u'a')});
  for (const Row& r : rows)
    EXPECT_EQ(KeyOf(r.code, r.chars), r.key) << "code " << r.code << " char " << (r.chars.empty() ? 0 : (int)r.chars[0]);
}

TEST(MacModifiers, LeftAndRightButtons)
{
  struct Row
  {
    NSUInteger flags;
    bool right;
    bool L, R, S, C, A;
  };
  const Row rows[] = {
      {0, false, true, false, false, false, false},
      {0x20000, false, true, false, true, false, false},
      {0x40000, false, true, false, false, true, false},
      {0x80000, false, true, false, false, false, true},
      {0x100000, false, true, true, false, false, false},  // command-click: L and R
      {0x1E0000, false, true, true, true, true, true},
      {0, true, false, true, false, false, false},
      {0x100000, true, false, true, false, false, false},  // the right button ignores command
      {0xE0000, true, false, true, true, true, true},
  };
  for (const Row& r : rows)
  {
    const IMouseMod m = ModsOf(r.flags, r.right);
    EXPECT_EQ(m.L, r.L) << std::hex << r.flags;
    EXPECT_EQ(m.R, r.R) << std::hex << r.flags;
    EXPECT_EQ(m.S, r.S) << std::hex << r.flags;
    EXPECT_EQ(m.C, r.C) << std::hex << r.flags;
    EXPECT_EQ(m.A, r.A) << std::hex << r.flags;
  }
}

TEST(MacCoordinates, DirtyAreasMouseAndDrawRects)
{
  // A dirty area {10, 20, 29, 39} in a 667-pixel-high window.
  const NSRect v = ViewRectOf(IRECT(10, 20, 29, 39), 667);
  EXPECT_EQ(v.origin.x, 10);
  EXPECT_EQ(v.origin.y, 627);
  EXPECT_EQ(v.size.width, 20);
  EXPECT_EQ(v.size.height, 20);
  EXPECT_EQ(GraphicsRectOf(v, 667), IRECT(10, 20, 30, 40));
  // Values are truncated.
  EXPECT_EQ(GraphicsRectOf(NSMakeRect(1.9, 2.9, 3.9, 4.9), 100), IRECT(1, 94, 4, 98));

  // The view's top-left pixel arrives at (-2, -3).
  int x = 0, y = 0;
  MousePoint(0, 667, 667, &x, &y);
  EXPECT_EQ(x, -2);
  EXPECT_EQ(y, -3);
  MousePoint(100.7, 600.2, 667, &x, &y);
  EXPECT_EQ(x, 98);
  EXPECT_EQ(y, 64);
}

TEST(MacMessageBox, ButtonsAndAnswers)
{
  std::string b[3];
  MessageBoxButtons(4, b);
  EXPECT_EQ(b[0], "Yes");
  EXPECT_EQ(b[1], "No");
  EXPECT_EQ(b[2], "");
  MessageBoxButtons(3, b);
  EXPECT_EQ(b[2], "Cancel");
  MessageBoxButtons(1, b);
  EXPECT_EQ(b[0], "OK");
  EXPECT_EQ(b[1], "Cancel");
  MessageBoxButtons(0, b);
  EXPECT_EQ(b[0], "OK");
  EXPECT_EQ(b[1], "");
  const int answers[][4] = {{4, 6, 7, 0}, {3, 6, 7, 2}, {1, 1, 2, 0}, {0, 1, 0, 0}, {17, 1, 0, 0}};
  for (const auto& a : answers)
    for (int pressed = 0; pressed < 3; ++pressed) EXPECT_EQ(MessageBoxAnswer(a[0], pressed), a[pressed + 1]);
  EXPECT_EQ(MessageBoxAnswer(3, 3), 0);
  EXPECT_EQ(MessageBoxAnswer(3, -1), 0);
}

TEST(MacTextEntry, CharacterSetsAlignmentAndSize)
{
  EXPECT_EQ(TextEntryCharacters(1), "0123456789-+");
  EXPECT_EQ(TextEntryCharacters(2), "0123456789-+");
  EXPECT_EQ(TextEntryCharacters(3), "0123456789-+");
  EXPECT_EQ(TextEntryCharacters(4), "0123456789.-+");
  EXPECT_EQ(TextEntryCharacters(0), "");
  EXPECT_EQ(TextEntryCharacters(9), "");
  const std::string text = TextEntryCharacters(5);
  for (char c : std::string("azAZ09 !\"#$%&/'+-*()[],.")) EXPECT_NE(text.find(c), std::string::npos) << c;
  for (char c : std::string("@:;<>=?_~{}|\\^`")) EXPECT_EQ(text.find(c), std::string::npos) << c;
  EXPECT_EQ(TextEntryAlignment(0), 0);
  EXPECT_EQ(TextEntryAlignment(1), 2);
  EXPECT_EQ(TextEntryAlignment(2), 1);
  EXPECT_EQ(TextEntryAlignment(3), -1);
  EXPECT_EQ(TextEntryFontSize(16), 14);
  EXPECT_EQ(TextEntryFontSize(12), 10);
}

TEST(MacOpenURL, OnlyTheSchemeMakesAWebAddress)
{
  EXPECT_TRUE(IsWebAddress("http://example.com"));
  EXPECT_TRUE(IsWebAddress("HTTPS://example.com/a?b"));
  EXPECT_FALSE(IsWebAddress("/home/user/http-notes.txt"));
  EXPECT_FALSE(IsWebAddress("my http://file"));
  EXPECT_FALSE(IsWebAddress("httpfoo"));
  EXPECT_FALSE(IsWebAddress("ftp://example.com"));
  EXPECT_FALSE(IsWebAddress(""));
  EXPECT_FALSE(IsWebAddress(nullptr));
}
