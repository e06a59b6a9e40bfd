#include "platform/corefoundation/cfobject.h"

#include <utility>

namespace {

const void* TypeRetain(CFAllocatorRef, const void* value) { return CFRetain(value); }
void TypeRelease(CFAllocatorRef, const void* value) { CFRelease(value); }
Boolean TypeEqual(const void* a, const void* b) { return CFEqual(a, b); }
CFHashCode TypeHash(const void* v) { return CFHash(v); }

std::string DescribeValue(CFStringRef (*copyDescription)(const void*), const void* v)
{
  if (copyDescription)
  {
    CFStringRef d = copyDescription(v);
    std::string s = CFStringText(d);
    CFRelease(d);
    return s;
  }
  char buf[32];
  snprintf(buf, sizeof(buf), "<%p>", v);
  return buf;
}

}  // namespace

const CFArrayCallBacks kCFTypeArrayCallBacks = {0, TypeRetain, TypeRelease, CFCopyDescription, TypeEqual};
const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks = {0, TypeRetain, TypeRelease, CFCopyDescription, TypeEqual, TypeHash};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks = {0, TypeRetain, TypeRelease, CFCopyDescription, TypeEqual};

struct __CFArray : __CFType
{
  explicit __CFArray(const CFArrayCallBacks* cb) : __CFType(kCFArrayTypeID)
  {
    if (cb) callBacks = *cb;
  }
  ~__CFArray() override
  {
    for (const void* v : values)
      if (callBacks.release) callBacks.release(kCFAllocatorDefault, v);
  }
  bool Same(const void* a, const void* b) const { return a == b || (callBacks.equal && callBacks.equal(a, b)); }
  bool Equal(const __CFType& other) const override
  {
    const __CFArray& o = static_cast<const __CFArray&>(other);
    if (o.values.size() != values.size()) return false;
    for (size_t i = 0; i < values.size(); ++i)
      if (!Same(values[i], o.values[i])) return false;
    return true;
  }
  CFHashCode Hash() const override { return (CFHashCode)values.size(); }
  std::string Describe() const override
  {
    std::string s = "(\n";
    for (size_t i = 0; i < values.size(); ++i)
      s += "    " + DescribeValue(callBacks.copyDescription, values[i]) + (i + 1 < values.size() ? ",\n" : "\n");
    return s + ")";
  }
  void Append(const void* v) { values.push_back(callBacks.retain ? callBacks.retain(kCFAllocatorDefault, v) : v); }

  CFArrayCallBacks callBacks = {0, nullptr, nullptr, nullptr, nullptr};
  std::vector<const void*> values;
};

CFTypeID CFArrayGetTypeID() { return kCFArrayTypeID; }

CFArrayRef CFArrayCreate(CFAllocatorRef, const void** values, CFIndex numValues, const CFArrayCallBacks* callBacks)
{
  if (numValues < 0 || (numValues > 0 && !values)) return nullptr;
  __CFArray* a = new __CFArray(callBacks);
  for (CFIndex i = 0; i < numValues; ++i) a->Append(values[i]);
  return a;
}

CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef, CFIndex capacity, const CFArrayCallBacks* callBacks)
{
  __CFArray* a = new __CFArray(callBacks);
  if (capacity > 0 && capacity < 65536) a->values.reserve((size_t)capacity);
  return a;
}

CFIndex CFArrayGetCount(CFArrayRef theArray)
{
  const __CFArray* a = CFCast<__CFArray>(theArray, kCFArrayTypeID);
  return a ? (CFIndex)a->values.size() : 0;
}

const void* CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx)
{
  const __CFArray* a = CFCast<__CFArray>(theArray, kCFArrayTypeID);
  if (!a || idx < 0 || idx >= (CFIndex)a->values.size()) return nullptr;
  return a->values[(size_t)idx];
}

void CFArrayAppendValue(CFMutableArrayRef theArray, const void* value)
{
  __CFArray* a = CFCastMutable<__CFArray>(theArray, kCFArrayTypeID);
  if (a) a->Append(value);
}

void CFArrayRemoveValueAtIndex(CFMutableArrayRef theArray, CFIndex idx)
{
  __CFArray* a = CFCastMutable<__CFArray>(theArray, kCFArrayTypeID);
  if (!a || idx < 0 || idx >= (CFIndex)a->values.size()) return;
  const void* v = a->values[(size_t)idx];
  a->values.erase(a->values.begin() + idx);
  if (a->callBacks.release) a->callBacks.release(kCFAllocatorDefault, v);
}

CFIndex CFArrayGetFirstIndexOfValue(CFArrayRef theArray, CFRange range, const void* value)
{
  const __CFArray* a = CFCast<__CFArray>(theArray, kCFArrayTypeID);
  if (!a || range.location < 0 || range.length < 0) return kCFNotFound;
  const CFIndex end = range.location + range.length;
  for (CFIndex i = range.location; i < end && i < (CFIndex)a->values.size(); ++i)
    if (a->Same(a->values[(size_t)i], value)) return i;
  return kCFNotFound;
}

Boolean CFArrayContainsValue(CFArrayRef theArray, CFRange range, const void* value)
{
  return CFArrayGetFirstIndexOfValue(theArray, range, value) != kCFNotFound;
}

struct __CFDictionary : __CFType
{
  __CFDictionary(const CFDictionaryKeyCallBacks* kcb, const CFDictionaryValueCallBacks* vcb) : __CFType(kCFDictionaryTypeID)
  {
    if (kcb) keyCallBacks = *kcb;
    if (vcb) valueCallBacks = *vcb;
  }
  ~__CFDictionary() override
  {
    for (auto& e : entries) Drop(e);
  }
  void Drop(std::pair<const void*, const void*>& e)
  {
    if (keyCallBacks.release) keyCallBacks.release(kCFAllocatorDefault, e.first);
    if (valueCallBacks.release) valueCallBacks.release(kCFAllocatorDefault, e.second);
  }
  long Find(const void* key) const
  {
    for (size_t i = 0; i < entries.size(); ++i)
      if (entries[i].first == key || (keyCallBacks.equal && keyCallBacks.equal(entries[i].first, key))) return (long)i;
    return -1;
  }
  const void* RetainKey(const void* k) const { return keyCallBacks.retain ? keyCallBacks.retain(kCFAllocatorDefault, k) : k; }
  const void* RetainValue(const void* v) const
  {
    return valueCallBacks.retain ? valueCallBacks.retain(kCFAllocatorDefault, v) : v;
  }
  void Set(const void* key, const void* value, bool replace)
  {
    const long i = Find(key);
    if (i < 0)
    {
      entries.emplace_back(RetainKey(key), RetainValue(value));
      return;
    }
    if (!replace) return;
    const void* old = entries[(size_t)i].second;
    entries[(size_t)i].second = RetainValue(value);
    if (valueCallBacks.release) valueCallBacks.release(kCFAllocatorDefault, old);
  }
  bool Equal(const __CFType& other) const override
  {
    const __CFDictionary& o = static_cast<const __CFDictionary&>(other);
    if (o.entries.size() != entries.size()) return false;
    for (const auto& e : entries)
    {
      const long j = o.Find(e.first);
      if (j < 0) return false;
      const void* ov = o.entries[(size_t)j].second;
      if (ov != e.second && !(valueCallBacks.equal && valueCallBacks.equal(e.second, ov))) return false;
    }
    return true;
  }
  CFHashCode Hash() const override { return (CFHashCode)entries.size(); }
  std::string Describe() const override
  {
    std::string s = "{\n";
    for (const auto& e : entries)
      s += "    " + DescribeValue(keyCallBacks.copyDescription, e.first) + " = " +
           DescribeValue(valueCallBacks.copyDescription, e.second) + ";\n";
    return s + "}";
  }

  CFDictionaryKeyCallBacks keyCallBacks = {0, nullptr, nullptr, nullptr, nullptr, nullptr};
  CFDictionaryValueCallBacks valueCallBacks = {0, nullptr, nullptr, nullptr, nullptr};
  std::vector<std::pair<const void*, const void*>> entries;
};

CFTypeID CFDictionaryGetTypeID() { return kCFDictionaryTypeID; }

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef, const void** keys, const void** values, CFIndex numValues,
                                   const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks* valueCallBacks)
{
  if (numValues < 0 || (numValues > 0 && (!keys || !values))) return nullptr;
  __CFDictionary* d = new __CFDictionary(keyCallBacks, valueCallBacks);
  for (CFIndex i = 0; i < numValues; ++i) d->Set(keys[i], values[i], true);
  return d;
}

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef, CFIndex, const CFDictionaryKeyCallBacks* keyCallBacks,
                                                 const CFDictionaryValueCallBacks* valueCallBacks)
{
  return new __CFDictionary(keyCallBacks, valueCallBacks);
}

CFIndex CFDictionaryGetCount(CFDictionaryRef theDict)
{
  const __CFDictionary* d = CFCast<__CFDictionary>(theDict, kCFDictionaryTypeID);
  return d ? (CFIndex)d->entries.size() : 0;
}

Boolean CFDictionaryGetValueIfPresent(CFDictionaryRef theDict, const void* key, const void** value)
{
  const __CFDictionary* d = CFCast<__CFDictionary>(theDict, kCFDictionaryTypeID);
  const long i = d ? d->Find(key) : -1;
  if (i < 0) return false;
  if (value) *value = d->entries[(size_t)i].second;
  return true;
}

const void* CFDictionaryGetValue(CFDictionaryRef theDict, const void* key)
{
  const void* v = nullptr;
  return CFDictionaryGetValueIfPresent(theDict, key, &v) ? v : nullptr;
}

Boolean CFDictionaryContainsKey(CFDictionaryRef theDict, const void* key)
{
  return CFDictionaryGetValueIfPresent(theDict, key, nullptr);
}

void CFDictionarySetValue(CFMutableDictionaryRef theDict, const void* key, const void* value)
{
  __CFDictionary* d = CFCastMutable<__CFDictionary>(theDict, kCFDictionaryTypeID);
  if (d) d->Set(key, value, true);
}

void CFDictionaryAddValue(CFMutableDictionaryRef theDict, const void* key, const void* value)
{
  __CFDictionary* d = CFCastMutable<__CFDictionary>(theDict, kCFDictionaryTypeID);
  if (d) d->Set(key, value, false);
}

void CFDictionaryRemoveValue(CFMutableDictionaryRef theDict, const void* key)
{
  __CFDictionary* d = CFCastMutable<__CFDictionary>(theDict, kCFDictionaryTypeID);
  const long i = d ? d->Find(key) : -1;
  if (i < 0) return;
  auto e = d->entries[(size_t)i];
  d->entries.erase(d->entries.begin() + i);
  d->Drop(e);
}

void CFDictionaryGetKeysAndValues(CFDictionaryRef theDict, const void** keys, const void** values)
{
  const __CFDictionary* d = CFCast<__CFDictionary>(theDict, kCFDictionaryTypeID);
  if (!d) return;
  for (size_t i = 0; i < d->entries.size(); ++i)
  {
    if (keys) keys[i] = d->entries[i].first;
    if (values) values[i] = d->entries[i].second;
  }
}
