#include "base/KeepLoaded.h"

#include "base/log.h"

#include <dlfcn.h>
#include <link.h>

#include <atomic>
#include <mutex>
#include <string>

namespace {

bool Pin(std::string* why)
{
  Dl_info info;
  link_map* map = nullptr;
  if (!dladdr1((void*)&KeepOwnCodeLoaded, &info, (void**)&map, RTLD_DL_LINKMAP) || !map)
  {
    *why = "its file was not found";
    return false;
  }
  // The program itself is never unloaded.
  if (!map->l_name || !*map->l_name) return true;
  // The reference is never given back: the loader keeps the library to the end.
  if (dlopen(map->l_name, RTLD_NOW | RTLD_NODELETE)) return true;
  const char* e = dlerror();
  *why = std::string(map->l_name) + ": " + (e ? e : "no reason given");
  return false;
}

}  // namespace

bool KeepOwnCodeLoaded()
{
  static std::once_flag once;
  static bool kept = false;
  static std::string why;
  std::call_once(once, [] { kept = Pin(&why); });
  // Not a once_flag: the line may start the logger, which asks here again.
  static std::atomic<bool> said{false};
  if (!kept && !said.exchange(true))
    ConsoleLog("The plug-in cannot keep its library loaded (%s): a host that unloads it while a thread of it "
                 "still runs may crash\n",
               why.c_str());
  return kept;
}
