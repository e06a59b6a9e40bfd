#pragma once
// The unit of saved state: values appended in native byte order, no padding,
// read back by position. Every read returns the next position or -1.

#include "base/heapbuf.h"
#include "base/wdlstring.h"

#include <cstdint>
#include <cstring>
#include <type_traits>

class ByteChunk
{
public:
  explicit ByteChunk(int granul = 4096) : mBytes(granul) {}

  template <class T>
  int PutValue(const T* pVal)
  {
    static_assert(std::is_trivially_copyable<T>::value, "plain values only");
    return PutBytes(pVal, (int)sizeof(T));
  }

  template <class T>
  int GetValue(T* pVal, int startPos) const
  {
    static_assert(std::is_trivially_copyable<T>::value, "plain values only");
    if (!Fits(startPos, (int)sizeof(T))) return -1;
    memcpy(pVal, mBytes.Get() + startPos, sizeof(T));
    return startPos + (int)sizeof(T);
  }

  // Appends raw bytes; returns the new size (unchanged when the buffer cannot grow).
  int PutBytes(const void* pBuf, int size)
  {
    const int n = Size();
    if (size <= 0) return n;
    if (!mBytes.ResizeOK(n + size, false)) return Size();
    if (pBuf) memcpy(mBytes.Get() + n, pBuf, (size_t)size);
    else memset(mBytes.Get() + n, 0, (size_t)size);
    return Size();
  }
  int PutBytes(const ByteChunk* pRHS) { return pRHS ? PutBytes(pRHS->Data(), pRHS->Size()) : Size(); }

  // Copies size bytes at startPos into pBuf; -1 when they are not all there.
  int GetBytes(void* pBuf, int size, int startPos) const
  {
    if (size < 0 || !Fits(startPos, size)) return -1;
    if (size) memcpy(pBuf, mBytes.Get() + startPos, (size_t)size);
    return startPos + size;
  }

  // An int32 byte count, then the bytes without a terminating zero.
  int PutText(const char* str)
  {
    if (!str) str = "";
    const int32_t len = (int32_t)strlen(str);
    PutValue(&len);
    return PutBytes(str, len);
  }

  // A negative count, or one running past the end, is refused with -1 and
  // leaves pStr alone. A zero byte inside the text ends it early.
  int GetText(WDL_String* pStr, int startPos) const
  {
    int32_t len = 0;
    const int strStartPos = GetValue(&len, startPos);
    if (strStartPos < 0 || len < 0 || !Fits(strStartPos, len)) return -1;
    if (pStr) pStr->Set(len ? (const char*)mBytes.Get() + strStartPos : "", len);
    return strStartPos + len;
  }

  int PutFlag(bool flag)
  {
    const uint8_t b = flag ? 1 : 0;
    return PutValue(&b);
  }
  int GetFlag(bool* pFlag, int startPos) const
  {
    uint8_t b = 0;
    const int pos = GetValue(&b, startPos);
    if (pos >= 0 && pFlag) *pFlag = b != 0;
    return pos;
  }

  void Clear() { mBytes.Resize(0, true); }
  int Size() const { return mBytes.GetSize(); }
  // New bytes are zero; returns the size reached.
  int Resize(int newSize)
  {
    const int n = Size();
    if (newSize < 0) newSize = 0;
    mBytes.Resize(newSize, true);
    if (Size() > n) memset(mBytes.Get() + n, 0, (size_t)(Size() - n));
    return Size();
  }
  uint8_t* Data() const { return Size() ? mBytes.Get() : nullptr; }

  bool IsEqual(const ByteChunk* pRHS) const
  {
    return pRHS && pRHS->Size() == Size() && (!Size() || !memcmp(pRHS->Data(), Data(), (size_t)Size()));
  }

private:
  bool Fits(int pos, int size) const { return pos >= 0 && size >= 0 && (long long)pos + size <= Size(); }

  WDL_TypedBuf<uint8_t> mBytes;
};
