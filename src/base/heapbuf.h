#pragma once
// Growable heap buffers: the storage under every framework container.

#include <cstdlib>
#include <cstring>
#include <new>

class WDL_HeapBuf
{
public:
  explicit WDL_HeapBuf(int granul = 4096) : m_buf(nullptr), m_granul(granul > 0 ? granul : 4096), m_alloc(0), m_size(0), m_mas(0) {}
  ~WDL_HeapBuf() { free(m_buf); }

  WDL_HeapBuf(const WDL_HeapBuf& o) : WDL_HeapBuf(o.m_granul) { CopyFrom(&o, true); }
  WDL_HeapBuf& operator=(const WDL_HeapBuf& o)
  {
    if (this != &o) CopyFrom(&o, false);
    return *this;
  }

  void* Get() const { return m_size ? m_buf : nullptr; }
  int GetSize() const { return m_size; }
  int GetGranul() const { return m_granul; }
  int GetAllocated() const { return m_alloc; }
  void SetGranul(int granul) { if (granul > 0) m_granul = granul; }
  void SetMinAllocSize(int mas) { m_mas = mas > 0 ? mas : 0; }

  // Sets the used size. Growth past the allocation reallocates by the granularity
  // rule below; with resizedown a much smaller size gives memory back. On failure
  // the old buffer and size stay, so callers compare GetSize() afterwards.
  void* Resize(int newsize, bool resizedown = true)
  {
    if (newsize < 0) newsize = 0;
    if (newsize == m_size) return Get();

    const bool shrink = resizedown && newsize < m_size && newsize < m_alloc / 2 &&
                        newsize < m_alloc - 4 * m_granul;
    if (shrink || newsize > m_alloc)
    {
      long long newalloc = AllocFor(newsize);
      if (newalloc < m_mas) newalloc = m_mas;
      if (newalloc > 0x7fffffffLL) return m_size ? m_buf : nullptr;
      void* nb = newalloc > 0 ? realloc(m_buf, (size_t)newalloc) : nullptr;
      if (!nb && newalloc > 0)
      {
        nb = malloc((size_t)newalloc);
        if (!nb) return m_size ? m_buf : nullptr;
        if (m_buf)
        {
          memcpy(nb, m_buf, (size_t)(m_size < newsize ? m_size : newsize));
          free(m_buf);
        }
      }
      else if (newalloc == 0)
      {
        free(m_buf);
      }
      m_buf = nb;
      m_alloc = (int)newalloc;
    }
    m_size = newsize;
    return Get();
  }

  // Reserves room without changing the size.
  void Prealloc(int sz)
  {
    if (sz <= m_alloc) return;
    void* nb = realloc(m_buf, (size_t)sz);
    if (!nb) return;
    m_buf = nb;
    m_alloc = sz;
  }

  void CopyFrom(const WDL_HeapBuf* hb, bool exactCopyOfConfig = false)
  {
    if (exactCopyOfConfig)
    {
      m_granul = hb->m_granul;
      m_mas = hb->m_mas;
    }
    const int sz = hb->GetSize();
    Resize(sz, false);
    if (GetSize() == sz && sz > 0) memcpy(m_buf, hb->m_buf, (size_t)sz);
  }

private:
  long long AllocFor(int newsize) const
  {
    if (newsize == 0) return 0;
    long long g = newsize / 2;
    if (g < m_granul) g = m_granul;
    if (m_granul < 4096) return newsize + g;
    g &= ~4095LL;
    if (g < 4096) g = 4096;
    if (g > 4194304) g = 4194304;
    return ((newsize + g + 96) & ~4095LL) - 96;
  }

  void* m_buf;
  int m_granul;
  int m_alloc;
  int m_size;
  int m_mas;
};

// A heap buffer counted in elements of a plain type.
template <class T>
class WDL_TypedBuf
{
public:
  explicit WDL_TypedBuf(int granul = 4096) : m_hb(granul) {}

  T* Get() const { return (T*)m_hb.Get(); }
  int GetSize() const { return m_hb.GetSize() / (int)sizeof(T); }
  int GetGranul() const { return m_hb.GetGranul(); }
  void SetGranul(int granul) { m_hb.SetGranul(granul); }

  // Element counts beyond what an int byte size can hold are refused.
  T* Resize(int newsize, bool resizedown = true)
  {
    if (newsize < 0) newsize = 0;
    if ((long long)newsize * (long long)sizeof(T) > 0x7fffffffLL) return Get();
    return (T*)m_hb.Resize(newsize * (int)sizeof(T), resizedown);
  }
  // Reserves room for n elements without changing the size.
  void Prealloc(int n)
  {
    if (n > 0 && (long long)n * (long long)sizeof(T) <= 0x7fffffffLL) m_hb.Prealloc(n * (int)sizeof(T));
  }
  bool ResizeOK(int newsize, bool resizedown = true)
  {
    Resize(newsize, resizedown);
    return GetSize() == (newsize < 0 ? 0 : newsize);
  }

  T* Add(const T& val)
  {
    const int sz = GetSize();
    if (!ResizeOK(sz + 1, false)) return nullptr;
    T* p = Get() + sz;
    *p = val;
    return p;
  }
  T* Add(const T* vals, int n)
  {
    const int sz = GetSize();
    if (n <= 0) return Get() + sz;
    if (!ResizeOK(sz + n, false)) return nullptr;
    T* p = Get() + sz;
    if (vals) memcpy(p, vals, (size_t)n * sizeof(T));
    return p;
  }
  T* Insert(const T& val, int idx)
  {
    const int sz = GetSize();
    if (idx < 0) idx = 0;
    if (idx > sz) idx = sz;
    if (!ResizeOK(sz + 1, false)) return nullptr;
    T* p = Get();
    memmove(p + idx + 1, p + idx, (size_t)(sz - idx) * sizeof(T));
    p[idx] = val;
    return p + idx;
  }
  void Delete(int idx)
  {
    const int sz = GetSize();
    if (idx < 0 || idx >= sz) return;
    T* p = Get();
    memmove(p + idx, p + idx + 1, (size_t)(sz - idx - 1) * sizeof(T));
    Resize(sz - 1, false);
  }

  WDL_HeapBuf* GetHeapBuf() { return &m_hb; }
  const WDL_HeapBuf* GetHeapBuf() const { return &m_hb; }

private:
  WDL_HeapBuf m_hb;
};
