#pragma once
// An ordered, growable list of pointers it may own.

#include "heapbuf.h"

template <class PTRTYPE>
class WDL_PtrList
{
public:
  explicit WDL_PtrList(int granul = 4096) : m_hb(granul) {}
  ~WDL_PtrList() {}

  WDL_PtrList(const WDL_PtrList&) = delete;
  WDL_PtrList& operator=(const WDL_PtrList&) = delete;

  PTRTYPE** GetList() const { return (PTRTYPE**)m_hb.Get(); }
  int GetSize() const { return m_hb.GetSize() / (int)sizeof(PTRTYPE*); }

  PTRTYPE* Get(int index) const
  {
    if (index < 0 || index >= GetSize()) return nullptr;
    return GetList()[index];
  }
  PTRTYPE* operator[](int index) const { return Get(index); }
  PTRTYPE* GetLast() const { return Get(GetSize() - 1); }

  int Find(const PTRTYPE* p) const
  {
    PTRTYPE** l = GetList();
    const int n = GetSize();
    for (int i = 0; i < n; ++i)
      if (l[i] == p) return i;
    return -1;
  }

  // Returns the item added, or null when the list could not grow.
  PTRTYPE* Add(PTRTYPE* item)
  {
    const int s = GetSize();
    m_hb.Resize((s + 1) * (int)sizeof(PTRTYPE*), false);
    if (GetSize() != s + 1) return nullptr;
    GetList()[s] = item;
    return item;
  }

  PTRTYPE* Set(int index, PTRTYPE* item)
  {
    if (index < 0 || index >= GetSize()) return nullptr;
    return GetList()[index] = item;
  }

  PTRTYPE* Insert(int index, PTRTYPE* item)
  {
    const int s = GetSize();
    if (index < 0) index = 0;
    if (index > s) index = s;
    m_hb.Resize((s + 1) * (int)sizeof(PTRTYPE*), false);
    if (GetSize() != s + 1) return nullptr;
    PTRTYPE** l = GetList();
    memmove(l + index + 1, l + index, (size_t)(s - index) * sizeof(PTRTYPE*));
    l[index] = item;
    return item;
  }

  void Delete(int index, bool wantDelete = false, void (*delfunc)(void*) = nullptr)
  {
    const int s = GetSize();
    if (index < 0 || index >= s) return;
    PTRTYPE** l = GetList();
    PTRTYPE* item = l[index];
    memmove(l + index, l + index + 1, (size_t)(s - index - 1) * sizeof(PTRTYPE*));
    m_hb.Resize((s - 1) * (int)sizeof(PTRTYPE*), false);
    if (wantDelete) Dispose(item, delfunc);
  }

  bool DeletePtr(const PTRTYPE* p, bool wantDelete = false, void (*delfunc)(void*) = nullptr)
  {
    const int i = Find(p);
    if (i < 0) return false;
    Delete(i, wantDelete, delfunc);
    return true;
  }

  // With wantDelete the items go from the last to the first, the list shrinking after each.
  void Empty(bool wantDelete = false, void (*delfunc)(void*) = nullptr)
  {
    if (wantDelete)
    {
      for (int i = GetSize() - 1; i >= 0; --i)
      {
        PTRTYPE* item = GetList()[i];
        m_hb.Resize(i * (int)sizeof(PTRTYPE*), false);
        Dispose(item, delfunc);
      }
    }
    m_hb.Resize(0, false);
  }

private:
  static void Dispose(PTRTYPE* item, void (*delfunc)(void*))
  {
    if (!item) return;
    if (delfunc) delfunc((void*)item);
    else delete item;
  }

  WDL_HeapBuf m_hb;
};
