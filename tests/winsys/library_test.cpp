#include "winsys/kernel.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

// Written by the test libraries' entry points (see testlib/testlib.cpp).
extern "C" {
char winsys_testlib_log[64];
int winsys_testlib_refuse;
}

namespace {

class Library : public ::testing::Test
{
protected:
  void SetUp() override
  {
    winsys_testlib_log[0] = 0;
    winsys_testlib_refuse = 0;
  }
  static std::string log() { return winsys_testlib_log; }
};

std::string realPath(const char* p)
{
  char buf[PATH_MAX];
  return realpath(p, buf) ? buf : "";
}

}  // namespace

TEST_F(Library, LoadingTwiceSharesOneInstanceAndAttachesOnce)
{
  HINSTANCE a = LoadLibrary(WINSYS_TESTLIB_ENTRY);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(log(), "AD");
  HINSTANCE b = LoadLibrary(WINSYS_TESTLIB_ENTRY);
  EXPECT_EQ(a, b);
  EXPECT_EQ(log(), "AD");
  EXPECT_TRUE(FreeLibrary(b));
  EXPECT_EQ(log(), "AD");
  auto answer = reinterpret_cast<int (*)()>(GetProcAddress(a, "winsys_testlib_answer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  EXPECT_TRUE(FreeLibrary(a));
  EXPECT_EQ(log(), "ADad");  // SWELL_dllMain's detach first, then DllMain's
  EXPECT_FALSE(FreeLibrary(a));  // gone
  EXPECT_EQ(GetProcAddress(a, "winsys_testlib_answer"), nullptr);
  EXPECT_EQ(log(), "ADad");
}

TEST_F(Library, RefusingEntryPointLeavesNothingLoaded)
{
  struct Case { int refuse; const char* logAfter; };
  const Case cases[] = {
    {1, "A"},    // SWELL_dllMain refuses: nothing more is called
    {2, "ADa"},  // DllMain refuses: SWELL_dllMain is told to detach
  };
  for (const Case& c : cases)
  {
    winsys_testlib_log[0] = 0;
    winsys_testlib_refuse = c.refuse;
    EXPECT_EQ(LoadLibrary(WINSYS_TESTLIB_ENTRY), nullptr) << c.refuse;
    EXPECT_EQ(log(), c.logAfter) << c.refuse;
  }
  // Nothing stayed loaded: the next load attaches afresh.
  winsys_testlib_log[0] = 0;
  winsys_testlib_refuse = 0;
  HINSTANCE h = LoadLibrary(WINSYS_TESTLIB_ENTRY);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(log(), "AD");
  EXPECT_TRUE(FreeLibrary(h));
}

TEST_F(Library, LibraryWithoutEntryPointsLoads)
{
  HINSTANCE h = LoadLibraryGlobals(WINSYS_TESTLIB_PLAIN, true);
  ASSERT_NE(h, nullptr);
  EXPECT_NE(GetProcAddress(h, "winsys_testlib_answer"), nullptr);
  EXPECT_EQ(GetProcAddress(h, "no_such_symbol"), nullptr);
  EXPECT_EQ(GetProcAddress(h, nullptr), nullptr);
  EXPECT_TRUE(FreeLibrary(h));
  EXPECT_EQ(log(), "");
}

TEST_F(Library, BadPathsLoadNothing)
{
  const char* paths[] = {nullptr, "", "/nonexistent/winsys_nothing.so", "/tmp"};
  for (const char* p : paths) EXPECT_EQ(LoadLibrary(p), nullptr) << (p ? p : "(null)");
  EXPECT_FALSE(FreeLibrary(nullptr));
  EXPECT_EQ(GetProcAddress(nullptr, "winsys_testlib_answer"), nullptr);
}

TEST_F(Library, ModuleFileNames)
{
  HINSTANCE h = LoadLibrary(WINSYS_TESTLIB_PLAIN);
  ASSERT_NE(h, nullptr);
  const std::string want = realPath(WINSYS_TESTLIB_PLAIN);
  char buf[8192];
  // Known before any symbol was looked up.
  EXPECT_EQ(GetModuleFileName(h, buf, sizeof(buf)), want.size());
  EXPECT_EQ(std::string(buf), want);

  struct Case { DWORD size; size_t len; };
  const Case cases[] = {{1, 0}, {5, 4}, {DWORD(want.size()), want.size() - 1}, {DWORD(want.size() + 1), want.size()}};
  for (const Case& c : cases)
  {
    memset(buf, 'x', sizeof(buf));
    EXPECT_EQ(GetModuleFileName(h, buf, c.size), c.len) << c.size;
    EXPECT_EQ(std::string(buf), want.substr(0, c.len)) << c.size;
  }
  buf[0] = 'x';
  EXPECT_EQ(GetModuleFileName(h, buf, 0), 0u);
  EXPECT_EQ(buf[0], 'x');
  EXPECT_EQ(GetModuleFileName(h, nullptr, 10), 0u);
  EXPECT_TRUE(FreeLibrary(h));
  EXPECT_EQ(GetModuleFileName(h, buf, sizeof(buf)), 0u);  // freed

  std::string exe = realPath("/proc/self/exe");
  exe = exe.substr(0, exe.rfind('/'));
  EXPECT_EQ(GetModuleFileName(nullptr, buf, sizeof(buf)), exe.size());
  EXPECT_EQ(std::string(buf), exe);
}

// A folder whose info file names an executable is that library's bundle: loading the
// folder loads the executable once, and the module's file is the folder.
TEST_F(Library, BundleFoldersLoadTheExecutableTheirInfoNames)
{
  TempFolder tmp("winsys-bundle");
  ASSERT_FALSE(tmp.path().empty());
  std::error_code ec;
  std::filesystem::copy_file(WINSYS_TESTLIB_ENTRY, tmp.file("good/code.so"), ec);
  ASSERT_FALSE(ec);
  struct Bundle
  {
    const char* folder;
    const char* info;  // null: no info file
  };
  const Bundle bundles[] = {
      {"good", "CFBundleIdentifier = com.example.winsys-good\nCFBundleExecutable = code.so\n"},
      {"missing", "CFBundleExecutable = code.so\n"},  // names a file that is not there
      {"noexe", "CFBundleIdentifier = com.example.winsys-noexe\n"},
      {"noinfo", nullptr},
  };
  for (const Bundle& b : bundles)
  {
    const std::string info = tmp.file(std::string(b.folder) + "/Info.txt");
    if (b.info) ASSERT_TRUE(writeWholeFile(info, b.info, strlen(b.info)));
    else std::filesystem::create_directories(tmp.path() + "/" + b.folder, ec);
  }
  for (const char* bad : {"missing", "noexe", "noinfo"})
    EXPECT_EQ(LoadLibrary((tmp.path() + "/" + bad).c_str()), nullptr) << bad;
  EXPECT_EQ(log(), "");

  const std::string folder = tmp.path() + "/good";
  HINSTANCE a = LoadLibrary(folder.c_str());
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(log(), "AD");
  HINSTANCE b = LoadLibrary((folder + "/").c_str());
  EXPECT_EQ(b, a) << "the same bundle, once";
  EXPECT_EQ(log(), "AD");
  auto answer = reinterpret_cast<int (*)()>(GetProcAddress(a, "winsys_testlib_answer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  char buf[8192];
  EXPECT_EQ(GetModuleFileName(a, buf, sizeof(buf)), realPath(folder.c_str()).size());
  EXPECT_EQ(std::string(buf), realPath(folder.c_str()));
  EXPECT_TRUE(FreeLibrary(b));
  EXPECT_EQ(log(), "AD");
  EXPECT_TRUE(FreeLibrary(a));
  EXPECT_EQ(log(), "ADad");
  EXPECT_FALSE(FreeLibrary(a));
}
