#include "plug/ByteChunk.h"

#include <gtest/gtest.h>

#include <cstdint>

TEST(ByteChunk, ValuesAreNativeOrderWithoutPadding)
{
  ByteChunk c;
  const int32_t i = 0x01020304;
  const double d = 1.5;
  c.PutValue(&i);
  c.PutFlag(true);
  c.PutValue(&d);
  ASSERT_EQ(c.Size(), 4 + 1 + 8);
  const uint8_t head[] = {0x04, 0x03, 0x02, 0x01, 0x01};
  EXPECT_EQ(memcmp(c.Data(), head, sizeof(head)), 0);

  int32_t ri = 0;
  bool rf = false;
  double rd = 0;
  int pos = c.GetValue(&ri, 0);
  pos = c.GetFlag(&rf, pos);
  pos = c.GetValue(&rd, pos);
  EXPECT_EQ(pos, c.Size());
  EXPECT_EQ(ri, i);
  EXPECT_TRUE(rf);
  EXPECT_EQ(rd, d);
  EXPECT_EQ(c.GetValue(&rd, pos), -1);
  EXPECT_EQ(c.GetValue(&ri, -4), -1);
  EXPECT_EQ(rd, d);  // a failed read leaves the value alone
}

TEST(ByteChunk, TextRoundTripAndRefusals)
{
  ByteChunk c;
  c.PutText("Davrel");
  c.PutText("");
  WDL_String s("x");
  int pos = c.GetText(&s, 0);
  EXPECT_EQ(pos, 10);
  EXPECT_STREQ(s.Get(), "Davrel");
  pos = c.GetText(&s, pos);
  EXPECT_EQ(pos, 14);  // a count of 0 advances by 4
  EXPECT_STREQ(s.Get(), "");

  struct Bad { int32_t count; int extra; };
  const Bad bad[] = {{-1, 10}, {INT32_MIN, 10}, {INT32_MAX, 10}, {11, 10}, {5, 0}};
  for (const Bad& b : bad)
  {
    ByteChunk h;
    h.PutValue(&b.count);
    h.PutBytes(nullptr, b.extra);
    WDL_String t("kept");
    EXPECT_EQ(h.GetText(&t, 0), -1) << b.count;
    EXPECT_STREQ(t.Get(), "kept");
  }
}

TEST(ByteChunk, ZeroInsideTextEndsIt)
{
  ByteChunk c;
  const int32_t n = 5;
  c.PutValue(&n);
  c.PutBytes("ab\0cd", 5);
  WDL_String s;
  EXPECT_EQ(c.GetText(&s, 0), 9);
  EXPECT_STREQ(s.Get(), "ab");
}

TEST(ByteChunk, PutBytesResizeClear)
{
  ByteChunk a, b;
  a.PutBytes("abc", 3);
  b.PutBytes(&a);
  b.PutBytes(&a);
  EXPECT_EQ(b.Size(), 6);
  EXPECT_EQ(memcmp(b.Data(), "abcabc", 6), 0);
  EXPECT_EQ(b.Resize(10), 10);
  EXPECT_EQ(b.Data()[9], 0);
  b.Clear();
  EXPECT_EQ(b.Size(), 0);
  EXPECT_EQ(b.Data(), nullptr);
  EXPECT_FALSE(a.IsEqual(&b));
}
