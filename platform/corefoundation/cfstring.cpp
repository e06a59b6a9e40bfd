#include "platform/corefoundation/cfobject.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>

namespace {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
// Gives the length in UTF-16 units, or -1.
CFIndex UTF16Length(const std::string& s)
{
  CFIndex units = 0;
  const size_t n = s.size();
  for (size_t i = 0; i < n;)
  {
    const unsigned char c = (unsigned char)s[i];
    int extra;
    uint32_t cp;
    if (c < 0x80) { extra = 0; cp = c; }
    else if (c >= 0xC2 && c <= 0xDF) { extra = 1; cp = c & 0x1F; }
    else if (c >= 0xE0 && c <= 0xEF) { extra = 2; cp = c & 0x0F; }
    else if (c >= 0xF0 && c <= 0xF4) { extra = 3; cp = c & 0x07; }
    else return -1;
    if (extra && i + (size_t)extra >= n) return -1;
    for (int k = 1; k <= extra; ++k)
    {
      const unsigned char cc = (unsigned char)s[i + (size_t)k];
      if ((cc & 0xC0) != 0x80) return -1;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
      return -1;
    units += cp >= 0x10000 ? 2 : 1;
    i += (size_t)extra + 1;
  }
  return units;
}

bool IsASCII(const std::string& s)
{
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

bool Representable(const std::string& s, CFStringEncoding encoding)
{
  if (encoding == kCFStringEncodingUTF8) return true;
  if (encoding == kCFStringEncodingASCII) return IsASCII(s);
  return false;
}

const std::string kEmpty;

// One printf conversion of the format at i (just past the '%'), appended to out.
void FormatOne(const std::string& fmt, size_t& i, va_list& args, std::string& out)
{
  const size_t n = fmt.size();
  const size_t start = i - 1;
  std::string spec = "%";
  while (i < n && strchr("-+ #0", fmt[i])) spec += fmt[i++];
  if (i < n && fmt[i] == '*') { spec += std::to_string(va_arg(args, int)); ++i; }
  else while (i < n && fmt[i] >= '0' && fmt[i] <= '9') spec += fmt[i++];
  if (i < n && fmt[i] == '.')
  {
    spec += fmt[i++];
    if (i < n && fmt[i] == '*') { spec += std::to_string(va_arg(args, int)); ++i; }
    else while (i < n && fmt[i] >= '0' && fmt[i] <= '9') spec += fmt[i++];
  }
  std::string len;
  while (i < n && strchr("hlLqjzt", fmt[i])) len += fmt[i++];
  if (i >= n)
  {
    out.append(fmt, start, std::string::npos);
    return;
  }
  const char conv = fmt[i++];

  auto emit = [&](auto value, const char* convText) {
    const std::string f = spec + convText;
    const int size = snprintf(nullptr, 0, f.c_str(), value);
    if (size <= 0) return;
    std::string buf((size_t)size + 1, '\0');
    snprintf(&buf[0], buf.size(), f.c_str(), value);
    out.append(buf.data(), (size_t)size);
  };
  const char convText[2] = {conv, 0};

  switch (conv)
  {
    case '@':
    {
      const __CFType* o = va_arg(args, const __CFType*);
      const std::string d = o ? o->Describe() : "(null)";
      emit(d.c_str(), "s");
      break;
    }
    case 'd':
    case 'i':
      if (len == "l") emit(va_arg(args, long), (std::string("l") + conv).c_str());
      else if (len == "ll" || len == "q") emit(va_arg(args, long long), (std::string("ll") + conv).c_str());
      else if (len == "z") emit((long long)va_arg(args, ssize_t), (std::string("ll") + conv).c_str());
      else if (len == "j") emit((long long)va_arg(args, intmax_t), (std::string("ll") + conv).c_str());
      else if (len == "t") emit((long long)va_arg(args, ptrdiff_t), (std::string("ll") + conv).c_str());
      else if (len == "h") emit((int)(short)va_arg(args, int), convText);
      else if (len == "hh") emit((int)(signed char)va_arg(args, int), convText);
      else emit(va_arg(args, int), convText);
      break;
    case 'u':
    case 'o':
    case 'x':
    case 'X':
      if (len == "l") emit(va_arg(args, unsigned long), (std::string("l") + conv).c_str());
      else if (len == "ll" || len == "q") emit(va_arg(args, unsigned long long), (std::string("ll") + conv).c_str());
      else if (len == "z") emit((unsigned long long)va_arg(args, size_t), (std::string("ll") + conv).c_str());
      else if (len == "j") emit((unsigned long long)va_arg(args, uintmax_t), (std::string("ll") + conv).c_str());
      else if (len == "t") emit((unsigned long long)va_arg(args, ptrdiff_t), (std::string("ll") + conv).c_str());
      else if (len == "h") emit((unsigned)(unsigned short)va_arg(args, unsigned), convText);
      else if (len == "hh") emit((unsigned)(unsigned char)va_arg(args, unsigned), convText);
      else emit(va_arg(args, unsigned), convText);
      break;
    case 'c': emit(va_arg(args, int), "c"); break;
    case 's':
    {
      const char* s = va_arg(args, const char*);
      emit(s ? s : "(null)", "s");
      break;
    }
    case 'p': emit(va_arg(args, void*), "p"); break;
    case 'f':
    case 'F':
    case 'e':
    case 'E':
    case 'g':
    case 'G':
    case 'a':
    case 'A':
      if (len == "L") emit(va_arg(args, long double), (std::string("L") + conv).c_str());
      else emit(va_arg(args, double), convText);
      break;
    case 'n': (void)va_arg(args, void*); break;  // writes through a pointer: never honoured
    default: out.append(fmt, start, i - start); break;
  }
}

}  // namespace

bool __CFString::Equal(const __CFType& other) const { return utf8 == static_cast<const __CFString&>(other).utf8; }
CFHashCode __CFString::Hash() const { return (CFHashCode)std::hash<std::string>()(utf8); }

const std::string& CFStringText(CFStringRef str)
{
  const __CFString* s = CFCast<__CFString>(str, kCFStringTypeID);
  return s ? s->utf8 : kEmpty;
}

CFStringRef CFStringCreateFromText(std::string text) { return new __CFString(std::move(text)); }

CFTypeID CFStringGetTypeID() { return kCFStringTypeID; }

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* cStr, CFStringEncoding encoding)
{
  if (!cStr) return nullptr;
  std::string s(cStr);
  if (encoding == kCFStringEncodingUTF8 ? UTF16Length(s) < 0 : !Representable(s, encoding)) return nullptr;
  return new __CFString(std::move(s));
}

CFStringRef CFStringCreateCopy(CFAllocatorRef, CFStringRef str)
{
  const __CFString* s = CFCast<__CFString>(str, kCFStringTypeID);
  return s ? new __CFString(s->utf8) : nullptr;
}

CFStringRef CFStringCreateWithFormatAndArguments(CFAllocatorRef, CFDictionaryRef, CFStringRef format, va_list arguments)
{
  const __CFString* f = CFCast<__CFString>(format, kCFStringTypeID);
  if (!f) return nullptr;
  std::string out;
  va_list args;
  va_copy(args, arguments);
  const std::string& fmt = f->utf8;
  for (size_t i = 0; i < fmt.size();)
  {
    if (fmt[i] != '%') { out += fmt[i++]; continue; }
    ++i;
    if (i < fmt.size() && fmt[i] == '%') { out += '%'; ++i; continue; }
    FormatOne(fmt, i, args, out);
  }
  va_end(args);
  return new __CFString(std::move(out));
}

CFStringRef CFStringCreateWithFormat(CFAllocatorRef alloc, CFDictionaryRef formatOptions, CFStringRef format, ...)
{
  va_list ap;
  va_start(ap, format);
  CFStringRef s = CFStringCreateWithFormatAndArguments(alloc, formatOptions, format, ap);
  va_end(ap);
  return s;
}

CFIndex CFStringGetLength(CFStringRef str)
{
  const CFIndex n = UTF16Length(CFStringText(str));
  return n < 0 ? 0 : n;
}

Boolean CFStringGetCString(CFStringRef str, char* buffer, CFIndex bufferSize, CFStringEncoding encoding)
{
  if (!buffer || bufferSize <= 0) return false;
  buffer[0] = 0;
  const __CFString* s = CFCast<__CFString>(str, kCFStringTypeID);
  if (!s || !Representable(s->utf8, encoding) || (CFIndex)s->utf8.size() + 1 > bufferSize) return false;
  memcpy(buffer, s->utf8.c_str(), s->utf8.size() + 1);
  return true;
}

const char* CFStringGetCStringPtr(CFStringRef str, CFStringEncoding encoding)
{
  const __CFString* s = CFCast<__CFString>(str, kCFStringTypeID);
  return s && Representable(s->utf8, encoding) ? s->utf8.c_str() : nullptr;
}

CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding)
{
  if (length < 0) return 0;
  return encoding == kCFStringEncodingUTF8 ? length * 3 : length;
}

CFComparisonResult CFStringCompare(CFStringRef a, CFStringRef b, CFOptionFlags options)
{
  const std::string& x = CFStringText(a);
  const std::string& y = CFStringText(b);
  const bool fold = (options & kCFCompareCaseInsensitive) != 0;
  const size_t n = x.size() < y.size() ? x.size() : y.size();
  for (size_t i = 0; i < n; ++i)
  {
    unsigned char cx = (unsigned char)x[i], cy = (unsigned char)y[i];
    if (fold)
    {
      if (cx >= 'A' && cx <= 'Z') cx = (unsigned char)(cx + 32);
      if (cy >= 'A' && cy <= 'Z') cy = (unsigned char)(cy + 32);
    }
    if (cx != cy) return cx < cy ? kCFCompareLessThan : kCFCompareGreaterThan;
  }
  if (x.size() == y.size()) return kCFCompareEqualTo;
  return x.size() < y.size() ? kCFCompareLessThan : kCFCompareGreaterThan;
}

CFStringRef __CFStringMakeConstantString(const char* cStr)
{
  // Leaked on purpose: constant strings outlive every other object.
  static std::mutex* lock = new std::mutex;
  static std::map<std::string, __CFString*>* table = new std::map<std::string, __CFString*>;
  std::lock_guard<std::mutex> guard(*lock);
  const std::string key(cStr ? cStr : "");
  auto it = table->find(key);
  if (it != table->end()) return it->second;
  __CFString* s = new __CFString(key);
  s->immortal = true;
  table->emplace(key, s);
  return s;
}
