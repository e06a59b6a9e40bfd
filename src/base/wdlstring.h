#pragma once
// A growable, zero-terminated text.

#include "heapbuf.h"
#include <cstdarg>
#include <cstdio>

class WDL_String
{
public:
  explicit WDL_String(int granul = 1024) : m_hb(granul) {}
  WDL_String(const char* initial, int maxlen = 0) : m_hb(1024) { if (initial) Set(initial, maxlen); }
  WDL_String(const WDL_String& s) : m_hb(s.m_hb.GetGranul()) { Set(s.Get()); }
  WDL_String& operator=(const WDL_String& s)
  {
    if (this != &s) Set(s.Get());
    return *this;
  }

  // Never null: an empty string reads as "".
  const char* Get() const
  {
    const char* p = (const char*)m_hb.Get();
    return p ? p : "";
  }
  char* GetWritable() { return (char*)m_hb.Get(); }
  int GetLength() const
  {
    const char* p = (const char*)m_hb.Get();
    return p ? (int)strlen(p) : 0;
  }

  // maxlen > 0 copies at most maxlen bytes of str (stopping at its zero).
  void Set(const char* str, int maxlen = 0)
  {
    if (!str) str = "";
    const int len = LimitedLength(str, maxlen);
    char* p = (char*)m_hb.Resize(len + 1, true);
    if (!p || m_hb.GetSize() != len + 1) return;
    memmove(p, str, (size_t)len);
    p[len] = 0;
  }

  void Append(const char* str, int maxlen = 0)
  {
    if (!str) return;
    const int len = LimitedLength(str, maxlen);
    if (!len) return;
    const int old = GetLength();
    // str may point into our own buffer, which the resize can move.
    const char* base = (const char*)m_hb.Get();
    const bool inside = base && str >= base && str < base + m_hb.GetSize();
    const long long off = inside ? str - base : 0;
    char* p = (char*)m_hb.Resize(old + len + 1, false);
    if (!p || m_hb.GetSize() != old + len + 1) return;
    if (inside) str = p + off;
    memmove(p + old, str, (size_t)len);
    p[old + len] = 0;
  }

  void Insert(const char* str, int position, int maxlen = 0)
  {
    if (!str) return;
    const int old = GetLength();
    if (position < 0) position = 0;
    if (position > old) position = old;
    const int len = LimitedLength(str, maxlen);
    if (!len) return;
    WDL_String copy;
    copy.Set(str, len);
    char* p = (char*)m_hb.Resize(old + len + 1, false);
    if (!p || m_hb.GetSize() != old + len + 1) return;
    memmove(p + position + len, p + position, (size_t)(old - position + 1));
    memcpy(p + position, copy.Get(), (size_t)len);
  }

  void DeleteSub(int position, int len)
  {
    const int old = GetLength();
    if (position < 0 || position >= old || len <= 0) return;
    if (len > old - position) len = old - position;
    char* p = GetWritable();
    memmove(p + position, p + position + len, (size_t)(old - position - len + 1));
    m_hb.Resize(old - len + 1, false);
  }

  // Cuts the text to at most newlen characters (never lengthens it).
  void SetLen(int newlen)
  {
    if (newlen < 0) newlen = 0;
    if (newlen >= GetLength()) return;
    GetWritable()[newlen] = 0;
    m_hb.Resize(newlen + 1, false);
  }

  void SetFormatted(int maxlen, const char* fmt, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 3, 4)))
#endif
  {
    va_list ap;
    va_start(ap, fmt);
    Set("");
    AppendV(maxlen, fmt, ap);
    va_end(ap);
  }

  void AppendFormatted(int maxlen, const char* fmt, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 3, 4)))
#endif
  {
    va_list ap;
    va_start(ap, fmt);
    AppendV(maxlen, fmt, ap);
    va_end(ap);
  }

private:
  static int LimitedLength(const char* s, int maxlen)
  {
    if (maxlen <= 0) return (int)strlen(s);
    int n = 0;
    while (n < maxlen && s[n]) ++n;
    return n;
  }

  void AppendV(int maxlen, const char* fmt, va_list ap)
  {
    if (maxlen <= 0) return;
    const int old = GetLength();
    char* p = (char*)m_hb.Resize(old + maxlen + 1, false);
    if (!p || m_hb.GetSize() != old + maxlen + 1) return;
    int n = vsnprintf(p + old, (size_t)maxlen + 1, fmt, ap);
    if (n < 0) n = 0;
    if (n > maxlen) n = maxlen;
    p[old + n] = 0;
    m_hb.Resize(old + n + 1, false);
  }

  WDL_HeapBuf m_hb;
};
