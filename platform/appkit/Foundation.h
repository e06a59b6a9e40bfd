#pragma once
// The base of the window kit: reference-counted objects, autorelease pools,
// geometry in points, selectors named by text, notifications.
//
// Objects are made with new (one reference, as alloc/init gives) and given back
// with release; the last release deletes. autorelease hands a reference to the
// innermost pool, which the run loop drains after each turn.
//
// Threads: every object of the kit is touched on the main thread only (see
// NSRunLoop::postToMainThread for handing work over from other threads).

#include "platform/coregraphics/coregraphics.h"

#include <cstring>
#include <string>

typedef long NSInteger;
typedef unsigned long NSUInteger;
typedef double NSTimeInterval;
typedef CGPoint NSPoint;
typedef CGSize NSSize;
typedef CGRect NSRect;

inline NSPoint NSMakePoint(CGFloat x, CGFloat y) { return NSPoint{x, y}; }
inline NSSize NSMakeSize(CGFloat w, CGFloat h) { return NSSize{w, h}; }
inline NSRect NSMakeRect(CGFloat x, CGFloat y, CGFloat w, CGFloat h) { return CGRectMake(x, y, w, h); }
inline CGFloat NSMinX(const NSRect& r) { return r.origin.x; }
inline CGFloat NSMinY(const NSRect& r) { return r.origin.y; }
inline CGFloat NSMaxX(const NSRect& r) { return r.origin.x + r.size.width; }
inline CGFloat NSMaxY(const NSRect& r) { return r.origin.y + r.size.height; }
inline CGFloat NSWidth(const NSRect& r) { return r.size.width; }
inline CGFloat NSHeight(const NSRect& r) { return r.size.height; }
inline bool NSIsEmptyRect(const NSRect& r) { return !(r.size.width > 0 && r.size.height > 0); }
inline bool NSEqualPoints(NSPoint a, NSPoint b) { return a.x == b.x && a.y == b.y; }
inline bool NSEqualRects(const NSRect& a, const NSRect& b)
{
  return a.origin.x == b.origin.x && a.origin.y == b.origin.y && a.size.width == b.size.width &&
         a.size.height == b.size.height;
}
// Left and bottom edges inside, right and top edges outside.
inline bool NSPointInRect(NSPoint p, const NSRect& r)
{
  return p.x >= NSMinX(r) && p.x < NSMaxX(r) && p.y >= NSMinY(r) && p.y < NSMaxY(r);
}
NSRect NSIntersectionRect(const NSRect& a, const NSRect& b);  // empty (all zero) when they do not meet
NSRect NSUnionRect(const NSRect& a, const NSRect& b);         // an empty rectangle does not count
bool NSContainsRect(const NSRect& outer, const NSRect& inner);

// A selector: the name of a message, compared by its text ("OnMenuSelection:").
struct SEL
{
  const char* name = nullptr;
  SEL() = default;
  constexpr SEL(const char* n) : name(n) {}
  explicit operator bool() const { return name && *name; }
  bool operator==(const SEL& o) const { return name == o.name || (name && o.name && strcmp(name, o.name) == 0); }
  bool operator!=(const SEL& o) const { return !(*this == o); }
};

class NSObject
{
public:
  NSObject();
  NSObject(const NSObject&) = delete;
  NSObject& operator=(const NSObject&) = delete;

  NSObject* retain()
  {
    ++mRetainCount;
    return this;
  }
  // The last release deletes the object.
  void release();
  // Gives a reference to the innermost autorelease pool.
  NSObject* autorelease();
  int retainCount() const { return mRetainCount; }

  // Objects alive in the kit, for leak checks in tests.
  static long liveObjects();

  // A table keyed by objects (the window layer's handles) marks the objects it
  // holds; the one watcher is told when a marked object goes, before its memory
  // can be reused for another. Main thread.
  void setDeallocWatched() { mDeallocWatched = true; }
  static void setDeallocWatcher(void (*watcher)(NSObject*));

protected:
  virtual ~NSObject();  // dealloc

private:
  int mRetainCount = 1;
  bool mDeallocWatched = false;
};

// Retains and returns the object (null stays null).
template <class T>
T* AKRetain(T* o)
{
  if (o) o->retain();
  return o;
}
// Releases and clears the pointer.
template <class T>
void AKRelease(T*& o)
{
  if (o) o->release();
  o = nullptr;
}
// Keeps a retained reference in a field: retains the new one before releasing the old.
template <class T>
void AKAssign(T*& field, T* value)
{
  if (value) value->retain();
  if (field) field->release();
  field = value;
}
template <class T>
T* AKAutorelease(T* o)
{
  if (o) o->autorelease();
  return o;
}

// A pool as a scope: objects autoreleased while it is the innermost pool are
// released when it goes (or on drain).
class NSAutoreleasePool
{
public:
  NSAutoreleasePool();
  ~NSAutoreleasePool();
  NSAutoreleasePool(const NSAutoreleasePool&) = delete;
  NSAutoreleasePool& operator=(const NSAutoreleasePool&) = delete;
  void drain();

private:
  size_t mMark;
};

class NSNotification : public NSObject
{
public:
  NSNotification(const char* name, NSObject* object) : mName(name), mObject(AKRetain(object)) {}
  const std::string& name() const { return mName; }
  NSObject* object() const { return mObject; }

protected:
  ~NSNotification() override { AKRelease(mObject); }

private:
  std::string mName;
  NSObject* mObject;
};

// UTF-8 and UTF-16 text, as the kit's texts (UTF-8) and event characters (UTF-16) meet.
std::u16string AKUTF16(const std::string& utf8);
std::string AKUTF8(const std::u16string& utf16);
// One code point as UTF-16: one unit, or a surrogate pair above U+FFFF.
std::u16string AKUTF16(char32_t c);

// ---- activities ----
// What an activity asks of the system while it is held. Nothing here throttles a
// program in the background or puts the machine to sleep under it, so the kit only
// keeps count of what is held; the option values are the platform's.
typedef unsigned long long NSActivityOptions;
const NSActivityOptions NSActivityIdleSystemSleepDisabled = 1ULL << 20;
const NSActivityOptions NSActivityLatencyCritical = 0xFF00000000ULL;

// The process's information: here only its activities. Main thread, as the kit.
class NSProcessInfo : public NSObject
{
public:
  static NSProcessInfo* processInfo();
  // A new activity (one reference, the caller's), held until endActivity.
  NSObject* beginActivityWithOptions(NSActivityOptions options, const char* reason);
  // Ends an activity begun here; the caller still releases its reference.
  void endActivity(NSObject* activity);
  // Activities begun and not ended, for tests.
  int heldActivities() const { return mHeld; }

private:
  int mHeld = 0;
};
