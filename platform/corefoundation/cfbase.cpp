#include "platform/corefoundation/cfobject.h"

#include <cstdlib>

void* CFAllocatorAllocate(CFAllocatorRef, CFIndex size, CFOptionFlags)
{
  return size > 0 ? malloc((size_t)size) : nullptr;
}

void CFAllocatorDeallocate(CFAllocatorRef, void* ptr) { free(ptr); }

CFTypeRef CFRetain(CFTypeRef cf)
{
  __CFType* t = (__CFType*)cf;
  if (t && !t->immortal) t->retainCount.fetch_add(1, std::memory_order_relaxed);
  return cf;
}

void CFRelease(CFTypeRef cf)
{
  __CFType* t = (__CFType*)cf;
  if (!t || t->immortal) return;
  if (t->retainCount.fetch_sub(1, std::memory_order_acq_rel) == 1) delete t;
}

CFIndex CFGetRetainCount(CFTypeRef cf)
{
  const __CFType* t = (const __CFType*)cf;
  return t ? t->retainCount.load(std::memory_order_relaxed) : 0;
}

CFTypeID CFGetTypeID(CFTypeRef cf)
{
  const __CFType* t = (const __CFType*)cf;
  return t ? t->typeID : 0;
}

Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2)
{
  if (cf1 == cf2) return true;
  const __CFType* a = (const __CFType*)cf1;
  const __CFType* b = (const __CFType*)cf2;
  if (!a || !b || a->typeID != b->typeID) return false;
  return a->Equal(*b);
}

CFHashCode CFHash(CFTypeRef cf)
{
  const __CFType* t = (const __CFType*)cf;
  return t ? t->Hash() : 0;
}

CFStringRef CFCopyDescription(CFTypeRef cf)
{
  const __CFType* t = (const __CFType*)cf;
  return t ? CFStringCreateFromText(t->Describe()) : nullptr;
}
