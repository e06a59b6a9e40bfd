// Loadable libraries on dlopen: one record a loaded shared object or bundle,
// counted.

#include "winsys/kernel.h"

#include "base/mutex.h"
#include "platform/corefoundation/CFBundle.h"
#include "platform/corefoundation/CFString.h"

#include <atomic>
#include <climits>
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

struct SWELL_HINSTANCE
{
  void* handle = nullptr;        // from dlopen
  CFBundleRef bundle = nullptr;  // the bundle folder it was loaded through, else null
  int refcnt = 1;
  SWELL_dllMain_proc SWELL_dllMain = nullptr;
  SWELL_DllMain_proc DllMain = nullptr;
  std::atomic<void*> lastSymbol{nullptr};  // last GetProcAddress hit
};

namespace {

constexpr size_t kMaxPath = 8192;

struct LoadedLibs
{
  WDL_Mutex mutex;
  // Keyed by the bundle, or without one by the dlopen handle: a library loaded
  // through its bundle and by its file is two instances.
  std::map<const void*, SWELL_HINSTANCE*> byHandle;

  // True when inst is a live record; looked up without touching *inst.
  bool holds(const SWELL_HINSTANCE* inst) const
  {
    for (const auto& kv : byHandle)
      if (kv.second == inst) return true;
    return false;
  }
};

// Never destroyed: libraries may be freed by other static destructors.
LoadedLibs& loadedLibs()
{
  static LoadedLibs* const s_loadedLibs = new LoadedLibs();
  return *s_loadedLibs;
}

const void* keyOf(const SWELL_HINSTANCE* inst)
{
  return inst->bundle ? (const void*)inst->bundle : inst->handle;
}

std::string urlPath(CFURLRef url)
{
  char buf[kMaxPath];
  if (!url || !CFURLGetFileSystemRepresentation(url, true, (UInt8*)buf, sizeof(buf))) return std::string();
  return buf;
}

// The bundle of a folder (one with an info file), or null.
CFBundleRef bundleOfFolder(const char* path)
{
  CFStringRef s = CFStringCreateWithCString(nullptr, path, kCFStringEncodingUTF8);
  if (!s) return nullptr;
  CFURLRef url = CFURLCreateWithFileSystemPath(nullptr, s, kCFURLPOSIXPathStyle, true);
  CFRelease(s);
  if (!url) return nullptr;
  CFBundleRef bundle = CFBundleCreate(nullptr, url);
  CFRelease(url);
  return bundle;
}

std::string modulePath(SWELL_HINSTANCE* inst)
{
  if (inst->bundle)
  {
    CFURLRef url = CFBundleCopyBundleURL(inst->bundle);
    std::string path = urlPath(url);
    if (url) CFRelease(url);
    return path;
  }
  link_map* lm = nullptr;
  if (dlinfo(inst->handle, RTLD_DI_LINKMAP, &lm) == 0 && lm && lm->l_name && *lm->l_name)
  {
    char real[PATH_MAX];
    return realpath(lm->l_name, real) ? std::string(real) : std::string(lm->l_name);
  }
  Dl_info info;
  void* sym = inst->lastSymbol.load();
  if (sym && dladdr(sym, &info) && info.dli_fname) return info.dli_fname;
  return std::string();
}

// The folder of the running program: what the main bundle is for a program
// that is not packaged as one.
std::string programFolder()
{
  char buf[kMaxPath];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  if (n <= 0) return std::string();
  std::string path(buf, size_t(n));
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash ? slash : 1);
}

}  // namespace

HINSTANCE LoadLibraryGlobals(const char* path, bool globals)
{
  if (!path || !*path) return nullptr;
  const int mode = RTLD_NOW | (globals ? RTLD_GLOBAL : RTLD_LOCAL);
  void* h = nullptr;
  CFBundleRef bundle = nullptr;
  struct stat st;
  if (stat(path, &st) == 0 && !S_ISDIR(st.st_mode))
    h = dlopen(path, mode);
  else
  {
    // A bundle folder loads the executable its info file names; a bundle without
    // one, or a name that is no bundle, is left to dlopen (its search path).
    bundle = bundleOfFolder(path);
    CFURLRef exe = bundle ? CFBundleCopyExecutableURL(bundle) : nullptr;
    if (exe)
    {
      const std::string file = urlPath(exe);
      CFRelease(exe);
      if (!file.empty()) h = dlopen(file.c_str(), mode);
      if (!h)
      {
        CFRelease(bundle);
        return nullptr;
      }
    }
    if (!h) h = dlopen(path, mode);
  }
  if (!h)
  {
    if (bundle) CFRelease(bundle);
    return nullptr;
  }

  LoadedLibs& libs = loadedLibs();
  WDL_MutexLock lock(&libs.mutex);
  auto it = libs.byHandle.find(bundle ? (const void*)bundle : h);
  if (it != libs.byHandle.end())
  {
    // Loaded already; the dlopen and bundle references above are returned by
    // this load's FreeLibrary.
    ++it->second->refcnt;
    return it->second;
  }
  SWELL_HINSTANCE* inst = new SWELL_HINSTANCE();
  inst->handle = h;
  inst->bundle = bundle;
  libs.byHandle[keyOf(inst)] = inst;

  auto swellMain = reinterpret_cast<SWELL_dllMain_proc>(dlsym(h, "SWELL_dllMain"));
  if (!swellMain) return inst;
  if (!swellMain(inst, 1, nullptr))
  {
    FreeLibrary(inst);
    return nullptr;
  }
  auto dllMain = reinterpret_cast<SWELL_DllMain_proc>(dlsym(h, "DllMain"));
  if (dllMain && !dllMain(inst, 1, nullptr))
  {
    swellMain(inst, 0, nullptr);
    FreeLibrary(inst);
    return nullptr;
  }
  inst->SWELL_dllMain = swellMain;
  inst->DllMain = dllMain;
  return inst;
}

HINSTANCE LoadLibrary(const char* path)
{
  return LoadLibraryGlobals(path, false);
}

void* GetProcAddress(HINSTANCE inst, const char* name)
{
  if (!inst || !name) return nullptr;
  LoadedLibs& libs = loadedLibs();
  WDL_MutexLock lock(&libs.mutex);
  if (!libs.holds(inst)) return nullptr;
  void* sym = dlsym(inst->handle, name);
  if (sym) inst->lastSymbol.store(sym);
  return sym;
}

BOOL FreeLibrary(HINSTANCE inst)
{
  if (!inst) return FALSE;
  LoadedLibs& libs = loadedLibs();
  WDL_MutexLock lock(&libs.mutex);
  if (!libs.holds(inst)) return FALSE;
  const bool last = --inst->refcnt == 0;
  if (last)
  {
    libs.byHandle.erase(keyOf(inst));
    if (inst->SWELL_dllMain)
    {
      inst->SWELL_dllMain(inst, 0, nullptr);
      if (inst->DllMain) inst->DllMain(inst, 0, nullptr);
    }
  }
  // Each load took one reference of its own to each.
  if (inst->bundle) CFRelease(inst->bundle);
  dlclose(inst->handle);
  if (last) delete inst;
  return TRUE;
}

DWORD GetModuleFileName(HINSTANCE inst, char* buf, DWORD size)
{
  if (!buf || size == 0) return 0;
  buf[0] = 0;
  std::string path;
  if (inst)
  {
    LoadedLibs& libs = loadedLibs();
    WDL_MutexLock lock(&libs.mutex);
    if (!libs.holds(inst)) return 0;
    path = modulePath(inst);
  }
  else
    path = programFolder();
  if (path.size() >= kMaxPath) return 0;
  lstrcpyn(buf, path.c_str(), size > DWORD(INT_MAX) ? INT_MAX : int(size));
  return DWORD(strlen(buf));
}
