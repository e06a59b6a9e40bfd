#include "platform/corefoundation/CoreFoundation.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <unistd.h>

namespace {

// Releases at scope end.
struct CFHold
{
  explicit CFHold(CFTypeRef r) : ref(r) {}
  ~CFHold() { CFRelease(ref); }
  CFTypeRef ref;
};

CFStringRef Str(const char* s) { return CFStringCreateWithCString(nullptr, s, kCFStringEncodingUTF8); }

std::string Text(CFStringRef s)
{
  char buf[512];
  return CFStringGetCString(s, buf, sizeof(buf), kCFStringEncodingUTF8) ? buf : "<none>";
}

TEST(CFString, Utf8IsCheckedAndLengthCountsUtf16Units)
{
  struct Case { const char* bytes; long length; };
  const Case good[] = {{"", 0}, {"Davrel", 6}, {"\xC3\xA9t\xC3\xA9", 3}, {"\xE2\x82\xAC", 1}, {"\xF0\x9F\x98\x80", 2}};
  for (const auto& c : good)
  {
    CFStringRef s = Str(c.bytes);
    ASSERT_NE(s, nullptr) << c.bytes;
    EXPECT_EQ(CFStringGetLength(s), c.length) << c.bytes;
    EXPECT_EQ(Text(s), c.bytes);
    CFRelease(s);
  }
  // overlong, lone surrogate, cut short, above U+10FFFF, stray continuation
  const char* bad[] = {"\xC0\x80", "\xED\xA0\x80", "\xE2\x82", "\xF4\x90\x80\x80", "a\x80"};
  for (const char* b : bad) EXPECT_EQ(Str(b), nullptr) << (int)(unsigned char)b[0];
  EXPECT_EQ(CFStringCreateWithCString(nullptr, nullptr, kCFStringEncodingUTF8), nullptr);
  EXPECT_EQ(CFStringCreateWithCString(nullptr, "\xC3\xA9", kCFStringEncodingASCII), nullptr);
}

TEST(CFString, GetCStringNeedsRoomForTheZero)
{
  CFStringRef s = Str("abcd");
  CFHold h(s);
  char buf[8];
  memset(buf, 'x', sizeof(buf));
  EXPECT_FALSE(CFStringGetCString(s, buf, 4, kCFStringEncodingUTF8));
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(buf[1], 'x');  // nothing past the first byte written
  EXPECT_TRUE(CFStringGetCString(s, buf, 5, kCFStringEncodingUTF8));
  EXPECT_STREQ(buf, "abcd");
  CFStringRef accented = Str("\xC3\xA9");
  CFHold h2(accented);
  EXPECT_FALSE(CFStringGetCString(accented, buf, sizeof(buf), kCFStringEncodingASCII));
  EXPECT_EQ(CFStringGetCStringPtr(accented, kCFStringEncodingASCII), nullptr);
  EXPECT_STREQ(CFStringGetCStringPtr(accented, kCFStringEncodingUTF8), "\xC3\xA9");
}

TEST(CFString, CompareOrdersAndFoldsCaseOnRequest)
{
  struct Case { const char* a; const char* b; CFOptionFlags opt; CFComparisonResult want; };
  const Case cases[] = {
      {"Init", "Init", 0, kCFCompareEqualTo},       {"Init", "init", 0, kCFCompareLessThan},
      {"Init", "init", kCFCompareCaseInsensitive, kCFCompareEqualTo},
      {"abc", "abcd", 0, kCFCompareLessThan},       {"b", "abcd", 0, kCFCompareGreaterThan},
      {"", "", 0, kCFCompareEqualTo},
  };
  for (const auto& c : cases)
  {
    CFStringRef a = Str(c.a), b = Str(c.b);
    EXPECT_EQ(CFStringCompare(a, b, c.opt), c.want) << c.a << " vs " << c.b;
    CFRelease(a);
    CFRelease(b);
  }
}

TEST(CFString, FormatTakesPrintfConversionsAndObjects)
{
  CFStringRef name = Str("Init");
  CFStringRef s = CFStringCreateWithFormat(nullptr, nullptr, CFSTR("AUPreset:\npreset number = %d\npreset name = %@"), 3, name);
  EXPECT_EQ(Text(s), "AUPreset:\npreset number = 3\npreset name = Init");
  CFRelease(s);
  CFNumberRef n = nullptr;
  const int32_t v = -12;
  n = CFNumberCreate(nullptr, kCFNumberSInt32Type, &v);
  s = CFStringCreateWithFormat(nullptr, nullptr, CFSTR("[%5.2f|%-4s|%04x|%lld|%%|%@|%@|%*d|%c|%u]"), 3.14159, "ab", 0xbeef,
                               -5000000000LL, n, (CFTypeRef) nullptr, 3, 7, 'q', 4000000000u);
  EXPECT_EQ(Text(s), "[ 3.14|ab  |beef|-5000000000|%|-12|(null)|  7|q|4000000000]");
  CFRelease(s);
  CFRelease(n);
  CFRelease(name);
}

TEST(CFString, ConstantStringsAreSharedAndImmortal)
{
  CFStringRef a = CFSTR("version");
  CFStringRef b = CFSTR("version");
  EXPECT_EQ(a, b);
  const CFIndex before = CFGetRetainCount(a);
  CFRelease(a);
  CFRelease(a);
  EXPECT_EQ(CFGetRetainCount(a), before);
  EXPECT_EQ(Text(a), "version");
  CFStringRef c = Str("version");
  EXPECT_TRUE(CFEqual(a, c));
  EXPECT_EQ(CFHash(a), CFHash(c));
  CFRelease(c);
}

TEST(CFBase, RetainCountsAndNullsAreSafe)
{
  CFStringRef s = Str("x");
  EXPECT_EQ(CFGetRetainCount(s), 1);
  EXPECT_EQ(CFRetain(s), s);
  EXPECT_EQ(CFGetRetainCount(s), 2);
  CFRelease(s);
  EXPECT_EQ(CFGetRetainCount(s), 1);
  CFRelease(s);
  CFRelease(nullptr);
  EXPECT_EQ(CFRetain(nullptr), nullptr);
  EXPECT_EQ(CFGetTypeID(nullptr), 0u);
  EXPECT_FALSE(CFEqual(nullptr, CFSTR("a")));
  EXPECT_EQ(CFCopyDescription(nullptr), nullptr);
}

TEST(CFNumber, ValuesConvertAndReportLoss)
{
  const int32_t i32 = 300;
  CFNumberRef n = CFNumberCreate(nullptr, kCFNumberSInt32Type, &i32);
  CFHold h(n);
  EXPECT_EQ(CFNumberGetType(n), kCFNumberSInt32Type);
  EXPECT_FALSE(CFNumberIsFloatType(n));
  int32_t o32 = 0;
  EXPECT_TRUE(CFNumberGetValue(n, kCFNumberSInt32Type, &o32));
  EXPECT_EQ(o32, 300);
  int8_t o8 = 0;
  EXPECT_FALSE(CFNumberGetValue(n, kCFNumberSInt8Type, &o8));
  EXPECT_EQ(o8, (int8_t)300);
  double od = 0;
  EXPECT_TRUE(CFNumberGetValue(n, kCFNumberFloat64Type, &od));
  EXPECT_EQ(od, 300.0);

  const double d = 1.5;
  CFNumberRef f = CFNumberCreate(nullptr, kCFNumberFloat64Type, &d);
  CFHold hf(f);
  EXPECT_TRUE(CFNumberIsFloatType(f));
  EXPECT_FALSE(CFNumberGetValue(f, kCFNumberSInt32Type, &o32));
  EXPECT_EQ(o32, 1);
  float of = 0;
  EXPECT_TRUE(CFNumberGetValue(f, kCFNumberFloat32Type, &of));
  EXPECT_EQ(of, 1.5f);

  const double seven = 7.0;
  const int64_t seven64 = 7;
  CFNumberRef a = CFNumberCreate(nullptr, kCFNumberFloat64Type, &seven);
  CFNumberRef b = CFNumberCreate(nullptr, kCFNumberSInt64Type, &seven64);
  EXPECT_TRUE(CFEqual(a, b));
  CFRelease(a);
  CFRelease(b);
  EXPECT_EQ(CFNumberCreate(nullptr, 99, &i32), nullptr);
  EXPECT_EQ(CFNumberCreate(nullptr, kCFNumberSInt32Type, nullptr), nullptr);
  EXPECT_FALSE(CFNumberGetValue(n, 99, &o32));
}

TEST(CFData, BytesRangesAndEquality)
{
  const UInt8 bytes[] = {1, 2, 3, 4, 5};
  CFDataRef d = CFDataCreate(nullptr, bytes, 5);
  CFHold h(d);
  EXPECT_EQ(CFDataGetLength(d), 5);
  EXPECT_EQ(memcmp(CFDataGetBytePtr(d), bytes, 5), 0);
  UInt8 out[3] = {9, 9, 9};
  CFDataGetBytes(d, CFRangeMake(2, 3), out);
  EXPECT_EQ(out[0], 3);
  EXPECT_EQ(out[2], 5);
  UInt8 untouched[3] = {9, 9, 9};
  CFDataGetBytes(d, CFRangeMake(3, 3), untouched);
  EXPECT_EQ(untouched[0], 9);
  CFDataRef same = CFDataCreate(nullptr, bytes, 5);
  EXPECT_TRUE(CFEqual(d, same));
  CFRelease(same);
  CFDataRef empty = CFDataCreate(nullptr, nullptr, 0);
  EXPECT_EQ(CFDataGetLength(empty), 0);
  EXPECT_EQ(CFDataGetBytePtr(empty), nullptr);
  CFRelease(empty);
  EXPECT_EQ(CFDataCreate(nullptr, bytes, -1), nullptr);
  EXPECT_EQ(CFDataCreate(nullptr, nullptr, 3), nullptr);
}

int gRetains = 0, gReleases = 0;
const void* CountRetain(CFAllocatorRef, const void* v) { ++gRetains; return v; }
void CountRelease(CFAllocatorRef, const void*) { ++gReleases; }
Boolean SameFirstChar(const void* a, const void* b) { return *(const char*)a == *(const char*)b; }

TEST(CFArray, CallbacksOwnTheValues)
{
  CFStringRef s = Str("a");
  CFMutableArrayRef a = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
  CFArrayAppendValue(a, s);
  CFArrayAppendValue(a, s);
  EXPECT_EQ(CFGetRetainCount(s), 3);
  EXPECT_EQ(CFArrayGetCount(a), 2);
  EXPECT_EQ(CFArrayGetValueAtIndex(a, 1), s);
  EXPECT_EQ(CFArrayGetValueAtIndex(a, 2), nullptr);
  EXPECT_EQ(CFArrayGetValueAtIndex(a, -1), nullptr);
  CFArrayRemoveValueAtIndex(a, 0);
  EXPECT_EQ(CFGetRetainCount(s), 2);
  CFRelease(a);
  EXPECT_EQ(CFGetRetainCount(s), 1);
  CFRelease(s);

  gRetains = gReleases = 0;
  const CFArrayCallBacks cb = {0, CountRetain, CountRelease, nullptr, SameFirstChar};
  const char* vals[] = {"xa", "yb", "yc"};
  CFArrayRef c = CFArrayCreate(nullptr, (const void**)vals, 3, &cb);
  EXPECT_EQ(gRetains, 3);
  EXPECT_EQ(CFArrayGetFirstIndexOfValue(c, CFRangeMake(0, 3), "yz"), 1);
  EXPECT_EQ(CFArrayGetFirstIndexOfValue(c, CFRangeMake(2, 1), "yz"), 2);
  EXPECT_FALSE(CFArrayContainsValue(c, CFRangeMake(0, 3), "zz"));
  CFRelease(c);
  EXPECT_EQ(gReleases, 3);

  CFArrayRef plain = CFArrayCreate(nullptr, (const void**)vals, 3, nullptr);
  char copy[] = "yb";
  EXPECT_EQ(CFArrayGetFirstIndexOfValue(plain, CFRangeMake(0, 3), copy), kCFNotFound);
  EXPECT_EQ(CFArrayGetFirstIndexOfValue(plain, CFRangeMake(0, 3), vals[1]), 1);
  CFRelease(plain);
}

TEST(CFDictionary, KeysCompareByValueAndValuesAreOwned)
{
  CFMutableDictionaryRef d =
      CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  CFStringRef v1 = Str("one");
  CFStringRef v2 = Str("two");
  CFDictionarySetValue(d, CFSTR("name"), v1);
  EXPECT_EQ(CFGetRetainCount(v1), 2);
  CFStringRef otherKey = Str("name");
  EXPECT_EQ(CFDictionaryGetValue(d, otherKey), v1);
  CFDictionarySetValue(d, otherKey, v2);
  EXPECT_EQ(CFGetRetainCount(v1), 1);
  EXPECT_EQ(CFDictionaryGetCount(d), 1);
  CFDictionaryAddValue(d, CFSTR("name"), v1);
  EXPECT_EQ(CFDictionaryGetValue(d, CFSTR("name")), v2);
  CFDictionaryAddValue(d, CFSTR("type"), v1);
  EXPECT_EQ(CFDictionaryGetCount(d), 2);
  const void* got = nullptr;
  EXPECT_FALSE(CFDictionaryGetValueIfPresent(d, CFSTR("absent"), &got));
  EXPECT_EQ(got, nullptr);
  EXPECT_TRUE(CFDictionaryContainsKey(d, CFSTR("type")));

  const void* keys[2];
  const void* vals[2];
  CFDictionaryGetKeysAndValues(d, keys, vals);
  EXPECT_TRUE(CFEqual(keys[0], CFSTR("name")));
  EXPECT_EQ(vals[1], v1);

  const void* k2[] = {CFSTR("type"), CFSTR("name")};
  const void* v2s[] = {v1, v2};
  CFDictionaryRef e = CFDictionaryCreate(nullptr, k2, v2s, 2, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  EXPECT_TRUE(CFEqual(d, e));
  CFDictionaryRemoveValue(d, CFSTR("type"));
  EXPECT_FALSE(CFEqual(d, e));
  EXPECT_EQ(CFGetRetainCount(v1), 2);
  CFRelease(e);
  CFRelease(d);
  EXPECT_EQ(CFGetRetainCount(v1), 1);
  EXPECT_EQ(CFGetRetainCount(v2), 1);
  CFRelease(otherKey);
  CFRelease(v1);
  CFRelease(v2);
}

TEST(CFURL, PathsAreAbsoluteAndNormalised)
{
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
  struct Case { const char* in; std::string out; };
  const Case cases[] = {{"/a//b/./c/", "/a/b/c"}, {"/a/b/../c", "/a/c"}, {"/", "/"}, {"rel/x", std::string(cwd) + "/rel/x"}};
  for (const auto& c : cases)
  {
    CFStringRef p = Str(c.in);
    CFURLRef u = CFURLCreateWithFileSystemPath(nullptr, p, kCFURLPOSIXPathStyle, false);
    UInt8 buf[4200];
    ASSERT_TRUE(CFURLGetFileSystemRepresentation(u, true, buf, sizeof(buf)));
    EXPECT_EQ(std::string((char*)buf), c.out);
    CFStringRef back = CFURLCopyFileSystemPath(u, kCFURLPOSIXPathStyle);
    EXPECT_EQ(Text(back), c.out);
    CFRelease(back);
    CFRelease(u);
    CFRelease(p);
  }
  const char path[] = "/tmp/Davrel Editor.component";
  CFURLRef u = CFURLCreateFromFileSystemRepresentation(nullptr, (const UInt8*)path, strlen(path), true);
  EXPECT_EQ(Text(CFURLGetString(u)), "file:///tmp/Davrel%20Editor.component/");
  EXPECT_TRUE(CFURLHasDirectoryPath(u));
  UInt8 small[8];
  EXPECT_FALSE(CFURLGetFileSystemRepresentation(u, true, small, sizeof(small)));
  EXPECT_EQ(small[0], 0);
  CFRelease(u);
}

TEST(CFBundle, MainBundleWithoutInfoTakesTheProgramName)
{
  CFBundleRef main = CFBundleGetMainBundle();
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(Text(CFBundleGetIdentifier(main)), "test_platform");
  EXPECT_EQ(CFBundleGetBundleWithIdentifier(CFSTR("test_platform")), main);
  CFURLRef exe = CFBundleCopyExecutableURL(main);
  CFStringRef path = CFURLCopyFileSystemPath(exe, kCFURLPOSIXPathStyle);
  EXPECT_NE(Text(path).find("/test_platform"), std::string::npos);
  CFRelease(path);
  CFRelease(exe);
  EXPECT_EQ(CFBundleGetBundleWithIdentifier(CFSTR("org.davrel.nothing")), nullptr);
}

TEST(CFBundle, FolderWithInfoFileIsABundleFoundOnceItsCodeIsLoaded)
{
  CFStringRef folder = Str(DAVREL_FIXTURE_BUNDLE);
  CFURLRef url = CFURLCreateWithFileSystemPath(nullptr, folder, kCFURLPOSIXPathStyle, true);
  CFBundleRef b = CFBundleCreate(nullptr, url);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(CFBundleCreate(nullptr, url), b);
  EXPECT_EQ(Text(CFBundleGetIdentifier(b)), "org.davrel.tests.fixture");
  EXPECT_EQ(Text((CFStringRef)CFBundleGetValueForInfoDictionaryKey(b, CFSTR("FixtureNote"))), "a = b");
  EXPECT_EQ(CFBundleGetValueForInfoDictionaryKey(b, CFSTR("Missing")), nullptr);
  CFURLRef back = CFBundleCopyBundleURL(b);
  EXPECT_TRUE(CFEqual(back, url));
  CFRelease(back);

  const int* answer = (const int*)CFBundleGetDataPointerForName(b, CFSTR("fixtureAnswer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(*answer, 42);
  EXPECT_EQ(CFBundleGetDataPointerForName(b, CFSTR("noSuchSymbol")), nullptr);
  // Its code is loaded now, so the identifier finds it.
  EXPECT_EQ(CFBundleGetBundleWithIdentifier(CFSTR("org.davrel.tests.fixture")), b);

  CFStringRef none = Str("/nonexistent/folder");
  CFURLRef noneURL = CFURLCreateWithFileSystemPath(nullptr, none, kCFURLPOSIXPathStyle, true);
  EXPECT_EQ(CFBundleCreate(nullptr, noneURL), nullptr);
  CFRelease(noneURL);
  CFRelease(none);
  CFRelease(url);
  CFRelease(folder);
}

}  // namespace
