#include "winsys/msgloop/hwnd_table.h"

#include "platform/appkit/Foundation.h"

#include <map>
#include <mutex>
#include <unordered_map>

namespace {

// Handles count up from a value no caller reads as a special window (HWND_TOP,
// HWND_BOTTOM, HWND_TOPMOST...), in steps that keep them aligned as pointers are.
constexpr uintptr_t kFirstHandle = 0x10000, kHandleStep = 16;

struct Table
{
  std::mutex mutex;
  std::unordered_map<NSObject*, uintptr_t> handleOf;
  std::unordered_map<uintptr_t, NSObject*> objectOf;
  std::unordered_map<uintptr_t, std::map<int, LONG_PTR>> values;
  uintptr_t next = kFirstHandle;
};

// Never destroyed: objects may go during the exit of the process.
Table& table()
{
  static Table* t = new Table;
  return *t;
}

void forget(NSObject* o)
{
  Table& t = table();
  std::lock_guard<std::mutex> lock(t.mutex);
  auto it = t.handleOf.find(o);
  if (it == t.handleOf.end()) return;
  t.objectOf.erase(it->second);
  t.values.erase(it->second);
  t.handleOf.erase(it);
}

}  // namespace

HWND SWELL_HandleOfObject(NSObject* o)
{
  if (!o) return nullptr;
  Table& t = table();
  std::lock_guard<std::mutex> lock(t.mutex);
  auto it = t.handleOf.find(o);
  if (it != t.handleOf.end()) return (HWND)it->second;
  static const bool watching = (NSObject::setDeallocWatcher(forget), true);
  (void)watching;
  const uintptr_t h = t.next;
  t.next += kHandleStep;
  t.handleOf.emplace(o, h);
  t.objectOf.emplace(h, o);
  o->setDeallocWatched();
  return (HWND)h;
}

NSObject* SWELL_ObjectOfHandle(HWND h)
{
  if (!h) return nullptr;
  Table& t = table();
  std::lock_guard<std::mutex> lock(t.mutex);
  auto it = t.objectOf.find((uintptr_t)h);
  return it == t.objectOf.end() ? nullptr : it->second;
}

bool SWELL_GetHandleValue(HWND h, int key, LONG_PTR* value)
{
  Table& t = table();
  std::lock_guard<std::mutex> lock(t.mutex);
  auto it = t.values.find((uintptr_t)h);
  if (it == t.values.end()) return false;
  auto v = it->second.find(key);
  if (v == it->second.end()) return false;
  *value = v->second;
  return true;
}

bool SWELL_SetHandleValue(HWND h, int key, LONG_PTR value, LONG_PTR* old)
{
  Table& t = table();
  std::lock_guard<std::mutex> lock(t.mutex);
  *old = 0;
  if (!h || !t.objectOf.count((uintptr_t)h)) return false;
  LONG_PTR& slot = t.values[(uintptr_t)h][key];
  *old = slot;
  slot = value;
  return true;
}

size_t SWELL_HandleCount()
{
  Table& t = table();
  std::lock_guard<std::mutex> lock(t.mutex);
  return t.handleOf.size();
}
