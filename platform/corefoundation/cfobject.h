#pragma once
// Inside the object layer: every object is one of these, reference-counted.

#include "platform/corefoundation/CoreFoundation.h"

#include <atomic>
#include <string>
#include <vector>

enum CFTypeIDs : CFTypeID
{
  kCFStringTypeID = 7,
  kCFNumberTypeID,
  kCFDataTypeID,
  kCFArrayTypeID,
  kCFDictionaryTypeID,
  kCFURLTypeID,
  kCFBundleTypeID,
};

struct __CFType
{
  explicit __CFType(CFTypeID id) : typeID(id) {}
  virtual ~__CFType() = default;
  __CFType(const __CFType&) = delete;
  __CFType& operator=(const __CFType&) = delete;

  // Called only for two objects of the same type.
  virtual bool Equal(const __CFType& other) const { return this == &other; }
  virtual CFHashCode Hash() const { return (CFHashCode)(uintptr_t)this; }
  virtual std::string Describe() const = 0;

  const CFTypeID typeID;
  std::atomic<CFIndex> retainCount{1};
  bool immortal = false;
};

struct __CFString : __CFType
{
  explicit __CFString(std::string s) : __CFType(kCFStringTypeID), utf8(std::move(s)) {}
  bool Equal(const __CFType& other) const override;
  CFHashCode Hash() const override;
  std::string Describe() const override { return utf8; }

  std::string utf8;
};

// Type checks for the public calls: null when cf is not of the type.
template <class T>
inline const T* CFCast(CFTypeRef cf, CFTypeID id)
{
  const __CFType* t = (const __CFType*)cf;
  return t && t->typeID == id ? static_cast<const T*>(t) : nullptr;
}
template <class T>
inline T* CFCastMutable(const void* cf, CFTypeID id)
{
  return const_cast<T*>(CFCast<T>(cf, id));
}

// Text of a string object, "" for anything else.
const std::string& CFStringText(CFStringRef str);
CFStringRef CFStringCreateFromText(std::string text);
