// Key translation, shifted digits, cursors (built-in, resources, .cur files) and
// hiding the cursor with relative mouse movement.

#include "wnd_test_util.h"

#include "TestFiles.h"

#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSWorkspace.h"
#include "platform/appkit/X11Keys.h"
#include "platform/carbon/TextInputSources.h"
#include "winsys/msgloop/runloop_misc.h"
#include "winsys/wnd/keyboard.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

TEST(Keyboard, Translation)
{
  NSApplication::sharedApplication();
  struct Case
  {
    unsigned short code;
    NSUInteger mods;
    std::u16string chars;
    bool emulate;
    int want, wantFlags;
    int mode = 0;
  };
  const Case cases[] = {
      {76, 0, u"\x03", false, 0x800D, FVIRTKEY},  // keypad enter
      {51, 0, u"\x7f", false, 8, FVIRTKEY},
      {123, NSShiftKeyMask, u"", false, 0x25, FVIRTKEY | FSHIFT},
      {kVK_Tab, NSShiftKeyMask, u"\x19", false, 9, FVIRTKEY | FSHIFT},
      {kVK_ANSI_A, NSShiftKeyMask, u"a", false, 'A', FVIRTKEY | FSHIFT},
      {kVK_ANSI_1, NSShiftKeyMask, u"!", false, 33, 0},
      {kVK_ANSI_C, NSCommandKeyMask, u"c", false, 'C', FVIRTKEY | FCONTROL},
      {kVK_ANSI_C, NSControlKeyMask, u"c", false, 'C', FVIRTKEY | FLWIN},
      {kVK_ANSI_C, NSControlKeyMask, u"c", true, 'C', FVIRTKEY},
      {kVK_ANSI_C, NSAlternateKeyMask, u"c", false, 'C', FVIRTKEY | FALT},
      {0x3F, 0, u"", false, 0x3F + 1024, FVIRTKEY},  // no character, no table entry
      // Without characters, mode 1 asks the keyboard layout (shift dropped, no
      // virtual key); mode 0 and keys the layout has nothing for give the code.
      {kVK_ANSI_A, 0, u"", false, kVK_ANSI_A + 1024, FVIRTKEY},
      {kVK_ANSI_A, NSShiftKeyMask | NSCommandKeyMask, u"", false, 'a', FCONTROL, 1},
      {kVK_ANSI_Slash, NSShiftKeyMask, u"", false, '/', 0, 1},
      {kVK_Escape, 0, u"", false, 0x1B, 0, 1},
      {0x3F, 0, u"", false, 0x3F + 1024, FVIRTKEY, 1},
      {kVK_ANSI_B, NSShiftKeyMask, u"x", false, 'X', FVIRTKEY | FSHIFT, 1},  // characters come first
  };
  for (const Case& c : cases)
  {
    SWELL_EnableRightClickEmulate(c.emulate);
    NSEvent* e = NSEvent::keyEventWithType(NSKeyDown, c.mods, nullptr, c.chars, c.chars, c.code);
    int flags = -1;
    EXPECT_EQ(SWELL_MacKeyToWindowsKeyEx(e, &flags, c.mode), c.want) << c.code << " mode " << c.mode;
    EXPECT_EQ(flags, c.wantFlags) << c.code << " mode " << c.mode;
  }
  SWELL_EnableRightClickEmulate(false);
  EXPECT_EQ(SWELL_MacKeyToWindowsKey(nullptr, nullptr), 0);

  int out = 99;
  EXPECT_EQ(SWELL_KeyToASCII('2', FVIRTKEY | FSHIFT, &out), '@');
  EXPECT_EQ(out, 0);
  out = 99;
  EXPECT_EQ(SWELL_KeyToASCII('2', FSHIFT, &out), 0);
  EXPECT_EQ(out, 99);
}

// The layout's characters agree with the X11 presenter's own key table, which
// names the key of every character it passes on.
TEST(Keyboard, LayoutAgreesWithThePresentersKeys)
{
  TISInputSourceRef source = TISCopyCurrentKeyboardInputSource();
  ASSERT_NE(source, nullptr);
  CFDataRef data = (CFDataRef)TISGetInputSourceProperty(source, kTISPropertyUnicodeKeyLayoutData);
  ASSERT_NE(data, nullptr);
  const UCKeyboardLayout* layout = (const UCKeyboardLayout*)CFDataGetBytePtr(data);
  ASSERT_NE(layout, nullptr);
  auto translate = [&](UInt16 code, UInt32 mods) -> int {
    UInt32 dead = 7;
    UniChar c[4] = {};
    UniCharCount n = 9;
    EXPECT_EQ(UCKeyTranslate(layout, code, kUCKeyActionDown, mods, LMGetKbdType(), 0, &dead, 4, &n, c), noErr);
    EXPECT_EQ(dead, 0u);
    return n ? (int)c[0] : 0;
  };
  int keys = 0;
  for (unsigned long sym = 0x20; sym < 0x7F; ++sym)
  {
    unsigned short code = 0;
    std::u16string chars;
    if (!AKMacKeyForX11Keysym(sym, std::string(1, (char)sym), &code, &chars) || code == 0xFFFF) continue;
    ++keys;
    const int plain = translate(code, 0), shifted = translate(code, kUCShiftKeyState);
    EXPECT_TRUE(chars[0] == plain || chars[0] == shifted) << (char)sym << " key " << code;
  }
  EXPECT_EQ(keys, 76);  // letters both ways, digits, space and the punctuation it names
  for (UInt16 code : {(UInt16)10, (UInt16)kVK_Delete, (UInt16)0x3F, (UInt16)0x7F})
    EXPECT_EQ(translate(code, 0), 0) << code;
  UInt32 dead = 0;
  UniChar c;
  UniCharCount n;
  EXPECT_EQ(UCKeyTranslate(layout, kVK_ANSI_A, kUCKeyActionDown, 0, 0, 0, &dead, 0, &n, &c), kUCOutputBufferTooSmall);
  EXPECT_EQ(UCKeyTranslate(layout, kVK_ANSI_A, kUCKeyActionUp, 0, 0, 0, &dead, 1, &n, &c), paramErr);
  EXPECT_EQ(UCKeyTranslate(nullptr, kVK_ANSI_A, kUCKeyActionDown, 0, 0, 0, &dead, 1, &n, &c), paramErr);
  CFRelease(source);
}

// A cursor file of one or more images: a 2 x 2 32-bit bitmap each, hot spot (1, 0).
std::vector<unsigned char> CurFile(int images)
{
  std::vector<unsigned char> f = {0, 0, 2, 0, (unsigned char)images, 0};
  const uint32_t size = 40 + 2 * 2 * 4 + 2 * 4;
  for (int i = 0; i < images; ++i)
  {
    const uint32_t offset = 6 + 16 * images + size * i;
    const unsigned char entry[16] = {2, 2, 0, 0, 1, 0, 0, 0, (unsigned char)size, 0, 0, 0,
                                     (unsigned char)offset, (unsigned char)(offset >> 8), 0, 0};
    f.insert(f.end(), entry, entry + 16);
  }
  for (int i = 0; i < images; ++i)
  {
    unsigned char hdr[40] = {40, 0, 0, 0, 2, 0, 0, 0, 4, 0, 0, 0, 1, 0, 32, 0};
    f.insert(f.end(), hdr, hdr + 40);
    for (int p = 0; p < 4; ++p)
    {
      const unsigned char px[4] = {0x10, 0x20, 0x30, 0xFF};  // B, G, R, A
      f.insert(f.end(), px, px + 4);
    }
    f.insert(f.end(), 8, 0);  // the mask rows
  }
  return f;
}

class Cursors : public ::testing::Test
{
protected:
  void SetUp() override
  {
    NSApplication::sharedApplication();
    ASSERT_FALSE(folder.path().empty());
    dir = folder.path();
    tempDir = dir + "/temp";
    mkdir(tempDir.c_str(), 0700);
    const char* old = getenv("TEMP");
    oldTemp = old ? old : "";
    hadTemp = old != nullptr;
    setenv("TEMP", tempDir.c_str(), 1);
  }
  void TearDown() override
  {
    if (hadTemp) setenv("TEMP", oldTemp.c_str(), 1);
    else unsetenv("TEMP");
    SWELL_SetCursorResourceFolder(nullptr);
  }
  void Write(const std::string& path, const std::vector<unsigned char>& bytes)
  {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
  }
  std::vector<std::string> TempEntries()
  {
    std::vector<std::string> names;
    DIR* d = opendir(tempDir.c_str());
    while (dirent* e = d ? readdir(d) : nullptr)
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    if (d) closedir(d);
    return names;
  }
  TempFolder folder{"davrel-cursor"};
  std::string dir, tempDir, oldTemp;
  bool hadTemp = false;
};

TEST_F(Cursors, BuiltInAndPlatformCursors)
{
  EXPECT_EQ(SWELL_LoadCursor((const char*)(intptr_t)-1003), nullptr);
  HCURSOR b = SWELL_LoadCursor((const char*)(intptr_t)-1006);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(SWELL_LoadCursor((const char*)(intptr_t)-1006), b) << "made once";
  HCURSOR m = SWELL_LoadCursor((const char*)(intptr_t)-1007);
  ASSERT_TRUE(m && m->image() && b->image());
  EXPECT_EQ(b->hotSpot().x, 8);
  // The mirrored image is the other read right to left; grey and alpha from the nibbles.
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
      ASSERT_EQ(m->image()->pixels()[y * 16 + x], b->image()->pixels()[y * 16 + 15 - x]);
  EXPECT_EQ(b->image()->pixels()[0], 0xFFFFFFFFu);             // ff: white, opaque
  EXPECT_EQ(b->image()->pixels()[16 * 2 + 2], 0xFF000000u);    // 0f: black, opaque
  EXPECT_EQ(b->image()->pixels()[16 + 1] >> 24, 0x88u);        // f8: alpha 8 of 15
  EXPECT_EQ(SWELL_LoadCursor((const char*)(intptr_t)-999), NSCursor::arrowCursor());

  SWELL_SetCursor(b);
  EXPECT_EQ(SWELL_GetLastSetCursor(), b);
  EXPECT_EQ(SWELL_GetCursor(), b);
  SWELL_SetCursor(nullptr);
  EXPECT_EQ(SWELL_GetLastSetCursor(), nullptr);
  EXPECT_EQ(SWELL_GetCursor(), NSCursor::arrowCursor());
}

TEST_F(Cursors, CursorFilesAndResources)
{
  Write(dir + "/hand.cur", CurFile(1));
  Write(dir + "/two.cur", CurFile(2));
  // Where a predictable temporary name would have been: left alone.
  Write(tempDir + "/swellcur0.ico", {1, 2, 3});

  HCURSOR one = SWELL_LoadCursorFromFile((dir + "/hand.cur").c_str());
  ASSERT_NE(one, nullptr);
  EXPECT_EQ(one->hotSpot().x, 1);
  EXPECT_EQ(one->hotSpot().y, 0);
  EXPECT_EQ(one->image()->pixels()[0], 0xFF302010u);
  one->release();
  // Two images are not read as a cursor: the plain image loader takes the file,
  // without the cursor's hot spot.
  HCURSOR two = SWELL_LoadCursorFromFile((dir + "/two.cur").c_str());
  ASSERT_NE(two, nullptr);
  EXPECT_EQ(two->hotSpot().x, 0);
  two->release();
  EXPECT_EQ(TempEntries(), std::vector<std::string>{"swellcur0.ico"}) << "the private copy is gone";

  // A bare name is looked for in the module's folder (here the test's).
  SWELL_SetCursorResourceFolder(dir.c_str());
  static SWELL_CursorResourceIndex missing{(const char*)501, "nothere", {0, 0}, nullptr, nullptr};
  static SWELL_CursorResourceIndex found{(const char*)501, "hand", {0, 0}, nullptr, &missing};
  SWELL_curmodule_cursorresource_head = &found;
  HCURSOR r = SWELL_LoadCursor((const char*)501);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(SWELL_LoadCursor((const char*)501), r);
  EXPECT_EQ(found.hotspot.x, 1) << "the file's hot spot goes to the record";
  SWELL_curmodule_cursorresource_head = &missing;
  EXPECT_EQ(SWELL_LoadCursor((const char*)501), nullptr);
  SWELL_curmodule_cursorresource_head = nullptr;
}

TEST_F(Cursors, HidingCountsAndMovesRelatively)
{
  SWELL_SetCursorPos(300, 400);
  POINT start;
  GetCursorPos(&start);
  EXPECT_EQ(SWELL_ShowCursor(false), -1);
  EXPECT_EQ(SWELL_ShowCursor(false), -2);
  EXPECT_EQ(SWELL_ShowCursor(true), -1);
  EXPECT_FALSE(SWELL_IsCursorVisible());
  // Relative mode: the position moves only by what the program says.
  EXPECT_TRUE(SWELL_SetCursorPos(10, 20));
  POINT p;
  GetCursorPos(&p);
  EXPECT_EQ(p.x, 10);
  EXPECT_EQ(p.y, 20);
  EXPECT_EQ(GetMessagePos(), (DWORD)(20 << 16 | 10));
  EXPECT_EQ(SWELL_ShowCursor(true), 0);
  EXPECT_TRUE(SWELL_IsCursorVisible());
}

}  // namespace
