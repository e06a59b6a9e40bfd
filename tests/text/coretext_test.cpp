#include "platform/coretext/coretext.h"
#include <gtest/gtest.h>
TEST(CoreText, Opens) {
  CTFontRef f = CTFontCreateWithName("NK57 Monospace", 13);
  ASSERT_TRUE(f);
  char ps[64];
  CTFontCopyPostScriptName(f, ps, 64);
  printf("%s asc %f desc %f lead %f\n", ps, CTFontGetAscent(f), CTFontGetDescent(f), CTFontGetLeading(f));
  CTLineRef l = CTLineCreateWithUTF8(f, "Hello", -1);
  printf("w %f\n", CTLineGetTypographicBounds(l, 0,0,0));
  CTLineRelease(l);
  CTFontRelease(f);
}
