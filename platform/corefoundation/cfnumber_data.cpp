#include "platform/corefoundation/cfobject.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

struct NumberValue
{
  bool isFloat = false;
  long long i = 0;
  double d = 0;
};

bool ReadNumber(CFNumberType type, const void* p, NumberValue* v)
{
  switch (type)
  {
    case kCFNumberSInt8Type: { int8_t x; memcpy(&x, p, 1); v->i = x; return true; }
    case kCFNumberSInt16Type: { int16_t x; memcpy(&x, p, 2); v->i = x; return true; }
    case kCFNumberSInt32Type: { int32_t x; memcpy(&x, p, 4); v->i = x; return true; }
    case kCFNumberSInt64Type: { int64_t x; memcpy(&x, p, 8); v->i = x; return true; }
    case kCFNumberFloat32Type: { float x; memcpy(&x, p, 4); v->isFloat = true; v->d = x; return true; }
    case kCFNumberFloat64Type: { double x; memcpy(&x, p, 8); v->isFloat = true; v->d = x; return true; }
    default: return false;
  }
}

template <class T>
bool StoreIntegral(const NumberValue& v, void* p)
{
  bool exact;
  T out;
  if (v.isFloat)
  {
    const double t = std::trunc(v.d);
    const bool inRange = std::isfinite(v.d) && t >= (double)INT64_MIN && t < 9223372036854775808.0;
    const long long ll = inRange ? (long long)t : 0;
    out = (T)ll;
    exact = inRange && (double)ll == v.d && (long long)out == ll;
  }
  else
  {
    out = (T)v.i;
    exact = (long long)out == v.i;
  }
  memcpy(p, &out, sizeof(T));
  return exact;
}

}  // namespace

struct __CFNumber : __CFType
{
  __CFNumber(CFNumberType t, const NumberValue& v) : __CFType(kCFNumberTypeID), type(t), value(v) {}
  bool Equal(const __CFType& other) const override
  {
    const NumberValue& o = static_cast<const __CFNumber&>(other).value;
    if (!value.isFloat && !o.isFloat) return value.i == o.i;
    const double a = value.isFloat ? value.d : (double)value.i;
    const double b = o.isFloat ? o.d : (double)o.i;
    return a == b;
  }
  CFHashCode Hash() const override { return value.isFloat ? (CFHashCode)(long long)value.d : (CFHashCode)value.i; }
  std::string Describe() const override
  {
    char buf[64];
    if (value.isFloat) snprintf(buf, sizeof(buf), "%.17g", value.d);
    else snprintf(buf, sizeof(buf), "%lld", value.i);
    return buf;
  }

  CFNumberType type;
  NumberValue value;
};

CFTypeID CFNumberGetTypeID() { return kCFNumberTypeID; }

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType theType, const void* valuePtr)
{
  NumberValue v;
  if (!valuePtr || !ReadNumber(theType, valuePtr, &v)) return nullptr;
  return new __CFNumber(theType, v);
}

CFNumberType CFNumberGetType(CFNumberRef number)
{
  const __CFNumber* n = CFCast<__CFNumber>(number, kCFNumberTypeID);
  return n ? n->type : 0;
}

Boolean CFNumberIsFloatType(CFNumberRef number)
{
  const __CFNumber* n = CFCast<__CFNumber>(number, kCFNumberTypeID);
  return n && n->value.isFloat;
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr)
{
  const __CFNumber* n = CFCast<__CFNumber>(number, kCFNumberTypeID);
  if (!n || !valuePtr) return false;
  const NumberValue& v = n->value;
  switch (theType)
  {
    case kCFNumberSInt8Type: return StoreIntegral<int8_t>(v, valuePtr);
    case kCFNumberSInt16Type: return StoreIntegral<int16_t>(v, valuePtr);
    case kCFNumberSInt32Type: return StoreIntegral<int32_t>(v, valuePtr);
    case kCFNumberSInt64Type: return StoreIntegral<int64_t>(v, valuePtr);
    case kCFNumberFloat32Type:
    {
      const double d = v.isFloat ? v.d : (double)v.i;
      const float f = (float)d;
      memcpy(valuePtr, &f, 4);
      return (double)f == d || std::isnan(d);
    }
    case kCFNumberFloat64Type:
    {
      const double d = v.isFloat ? v.d : (double)v.i;
      memcpy(valuePtr, &d, 8);
      return v.isFloat || (long long)d == v.i;
    }
    default: return false;
  }
}

struct __CFData : __CFType
{
  explicit __CFData(std::vector<UInt8> b) : __CFType(kCFDataTypeID), bytes(std::move(b)) {}
  bool Equal(const __CFType& other) const override { return bytes == static_cast<const __CFData&>(other).bytes; }
  CFHashCode Hash() const override { return (CFHashCode)bytes.size(); }
  std::string Describe() const override
  {
    std::string s = "<";
    char buf[4];
    for (size_t i = 0; i < bytes.size(); ++i)
    {
      if (i && i % 4 == 0) s += ' ';
      snprintf(buf, sizeof(buf), "%02x", bytes[i]);
      s += buf;
    }
    return s + ">";
  }

  std::vector<UInt8> bytes;
};

CFTypeID CFDataGetTypeID() { return kCFDataTypeID; }

CFDataRef CFDataCreate(CFAllocatorRef, const UInt8* bytes, CFIndex length)
{
  if (length < 0 || (length > 0 && !bytes)) return nullptr;
  return new __CFData(std::vector<UInt8>(bytes, bytes + length));
}

CFIndex CFDataGetLength(CFDataRef data)
{
  const __CFData* d = CFCast<__CFData>(data, kCFDataTypeID);
  return d ? (CFIndex)d->bytes.size() : 0;
}

const UInt8* CFDataGetBytePtr(CFDataRef data)
{
  const __CFData* d = CFCast<__CFData>(data, kCFDataTypeID);
  return d && !d->bytes.empty() ? d->bytes.data() : nullptr;
}

void CFDataGetBytes(CFDataRef data, CFRange range, UInt8* buffer)
{
  const __CFData* d = CFCast<__CFData>(data, kCFDataTypeID);
  if (!d || !buffer || range.location < 0 || range.length < 0 ||
      range.location + range.length > (CFIndex)d->bytes.size())
    return;
  if (range.length) memcpy(buffer, d->bytes.data() + range.location, (size_t)range.length);
}
