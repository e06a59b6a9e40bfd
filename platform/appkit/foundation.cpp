#include "platform/appkit/Foundation.h"

#include <algorithm>
#include <atomic>
#include <vector>

namespace {

std::atomic<long> gLive{0};
// Every autoreleased reference not yet given back; each pool owns the part past its mark.
std::vector<NSObject*>& poolStack()
{
  static std::vector<NSObject*>* s = new std::vector<NSObject*>;
  return *s;
}
int gPoolDepth = 0;

void drainTo(size_t mark)
{
  std::vector<NSObject*>& s = poolStack();
  // A release may autorelease more objects; they belong to this pool too.
  while (s.size() > mark)
  {
    NSObject* o = s.back();
    s.pop_back();
    o->release();
  }
}

}  // namespace

NSObject::NSObject() { ++gLive; }

namespace {
// Set by a table that may be filled from any thread.
std::atomic<void (*)(NSObject*)> gDeallocWatcher{nullptr};
}

void NSObject::setDeallocWatcher(void (*watcher)(NSObject*)) { gDeallocWatcher = watcher; }

NSObject::~NSObject()
{
  --gLive;
  if (mDeallocWatched)
    if (void (*watcher)(NSObject*) = gDeallocWatcher.load()) watcher(this);
}

long NSObject::liveObjects() { return gLive.load(); }

void NSObject::release()
{
  if (--mRetainCount == 0) delete this;
}

NSObject* NSObject::autorelease()
{
  poolStack().push_back(this);
  return this;
}

NSAutoreleasePool::NSAutoreleasePool() : mMark(poolStack().size()) { ++gPoolDepth; }

NSAutoreleasePool::~NSAutoreleasePool()
{
  drainTo(mMark);
  --gPoolDepth;
}

void NSAutoreleasePool::drain() { drainTo(mMark); }

// Objects autoreleased while no pool existed: the run loop gives them back at the
// start of an outermost turn.
void AKDrainStrayAutoreleased()
{
  if (gPoolDepth == 0) drainTo(0);
}

NSRect NSIntersectionRect(const NSRect& a, const NSRect& b)
{
  const CGFloat x0 = std::max(NSMinX(a), NSMinX(b)), y0 = std::max(NSMinY(a), NSMinY(b));
  const CGFloat x1 = std::min(NSMaxX(a), NSMaxX(b)), y1 = std::min(NSMaxY(a), NSMaxY(b));
  if (x1 <= x0 || y1 <= y0) return NSMakeRect(0, 0, 0, 0);
  return NSMakeRect(x0, y0, x1 - x0, y1 - y0);
}

NSRect NSUnionRect(const NSRect& a, const NSRect& b)
{
  if (NSIsEmptyRect(a)) return b;
  if (NSIsEmptyRect(b)) return a;
  const CGFloat x0 = std::min(NSMinX(a), NSMinX(b)), y0 = std::min(NSMinY(a), NSMinY(b));
  const CGFloat x1 = std::max(NSMaxX(a), NSMaxX(b)), y1 = std::max(NSMaxY(a), NSMaxY(b));
  return NSMakeRect(x0, y0, x1 - x0, y1 - y0);
}

bool NSContainsRect(const NSRect& outer, const NSRect& inner)
{
  return !NSIsEmptyRect(inner) && NSMinX(inner) >= NSMinX(outer) && NSMinY(inner) >= NSMinY(outer) &&
         NSMaxX(inner) <= NSMaxX(outer) && NSMaxY(inner) <= NSMaxY(outer);
}

std::u16string AKUTF16(const std::string& s)
{
  std::u16string out;
  for (size_t i = 0; i < s.size();)
  {
    const unsigned char c = (unsigned char)s[i];
    char32_t cp = c;
    int n = 1;
    if (c >= 0xF0 && i + 3 < s.size())
    {
      cp = (char32_t)(c & 7) << 18 | (char32_t)(s[i + 1] & 0x3F) << 12 | (char32_t)(s[i + 2] & 0x3F) << 6 |
           (char32_t)(s[i + 3] & 0x3F);
      n = 4;
    }
    else if (c >= 0xE0 && i + 2 < s.size())
    {
      cp = (char32_t)(c & 0xF) << 12 | (char32_t)(s[i + 1] & 0x3F) << 6 | (char32_t)(s[i + 2] & 0x3F);
      n = 3;
    }
    else if (c >= 0xC0 && i + 1 < s.size())
    {
      cp = (char32_t)(c & 0x1F) << 6 | (char32_t)(s[i + 1] & 0x3F);
      n = 2;
    }
    i += (size_t)n;
    out += AKUTF16(cp);
  }
  return out;
}

std::u16string AKUTF16(char32_t c)
{
  if (c < 0x10000) return std::u16string(1, (char16_t)c);
  c -= 0x10000;
  return {(char16_t)(0xD800 + (c >> 10)), (char16_t)(0xDC00 + (c & 0x3FF))};
}

std::string AKUTF8(const std::u16string& s)
{
  std::string out;
  for (size_t i = 0; i < s.size(); ++i)
  {
    char32_t cp = s[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000)
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[++i] - 0xDC00);
    if (cp < 0x80)
      out.push_back((char)cp);
    else if (cp < 0x800)
    {
      out.push_back((char)(0xC0 | (cp >> 6)));
      out.push_back((char)(0x80 | (cp & 0x3F)));
    }
    else if (cp < 0x10000)
    {
      out.push_back((char)(0xE0 | (cp >> 12)));
      out.push_back((char)(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back((char)(0x80 | (cp & 0x3F)));
    }
    else
    {
      out.push_back((char)(0xF0 | (cp >> 18)));
      out.push_back((char)(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back((char)(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back((char)(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}
