// A library for the LoadLibrary tests. With entry points it appends a letter
// a call to the test program's winsys_testlib_log ('A'/'a': SWELL_dllMain
// attach/detach, 'D'/'d': DllMain) and refuses when winsys_testlib_refuse
// names the entry point (1: SWELL_dllMain, 2: DllMain).

#include <cstring>
#include <dlfcn.h>

extern "C" int winsys_testlib_answer()
{
  return 42;
}

#ifdef WINSYS_TESTLIB_ENTRY_POINTS
namespace {

int note(char c, int refuseCode)
{
  char* log = static_cast<char*>(dlsym(RTLD_DEFAULT, "winsys_testlib_log"));
  const int* refuse = static_cast<const int*>(dlsym(RTLD_DEFAULT, "winsys_testlib_refuse"));
  if (log)
  {
    const size_t n = strlen(log);
    if (n < 63)
    {
      log[n] = c;
      log[n + 1] = 0;
    }
  }
  return refuse && *refuse == refuseCode ? 0 : 1;
}

}  // namespace

extern "C" int SWELL_dllMain(void*, unsigned reason, void*)
{
  return note(reason ? 'A' : 'a', reason ? 1 : -1);
}

extern "C" signed char DllMain(void*, unsigned reason, void*)
{
  return static_cast<signed char>(note(reason ? 'D' : 'd', reason ? 2 : -1));
}
#endif
