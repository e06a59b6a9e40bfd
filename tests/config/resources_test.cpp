#include "TestFiles.h"
#include "config/BundleResources.h"

#include <gtest/gtest.h>

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

// A bundle folder with a resources folder inside.
class TempBundle
{
public:
  const std::string& root() const { return mFolder.path(); }
  void write(const std::string& name, const std::string& bytes) { writeWholeFile(mFolder.file(name), bytes); }

private:
  TempFolder mFolder{"davrel-bundle"};
};

std::string pattern(size_t n)
{
  std::string s(n, 0);
  for (size_t i = 0; i < n; ++i) s[i] = (char)('A' + i % 23);
  return s;
}

}  // namespace

TEST(BundleResources, DefaultRootIsTheFolderOfTheRunningBinary)
{
  char exe[PATH_MAX];
  ASSERT_NE(realpath("/proc/self/exe", exe), nullptr);
  std::string folder(exe);
  folder.erase(folder.rfind('/'));
  EXPECT_EQ(BundleResources::defaultRoot(), folder);
  EXPECT_EQ(BundleResources().root(), folder);
}

TEST(BundleResources, NamesStayInsideTheBundle)
{
  BundleResources bundle("/b");
  EXPECT_EQ(bundle.pathOf("resources/sysex.tea"), "/b/resources/sysex.tea");
  EXPECT_EQ(bundle.pathOf("resources/img/knob-25.png"), "/b/resources/img/knob-25.png");
  EXPECT_EQ(bundle.pathOf("..x/a..b"), "/b/..x/a..b");
  for (const char* refused : {"", "/etc/passwd", "..", "../x", "resources/../../x", "a/.."})
    EXPECT_EQ(bundle.pathOf(refused), "") << refused;
  EXPECT_EQ(bundle.pathOf(nullptr), "");
}

TEST(BundleResources, LoadsTheGeneratedResources)
{
  BundleResources bundle(DAVREL_TEST_BUNDLE_DIR);
  for (const char* name : {"resources/sysex.tea", "resources/uiconfig.tea"})
  {
    struct stat st;
    ASSERT_EQ(stat((std::string(DAVREL_TEST_BUNDLE_DIR) + "/" + name).c_str(), &st), 0) << name;
    LoadedResource r = bundle.LoadFile(100, name);
    ASSERT_TRUE(r.data) << r.problem;
    EXPECT_EQ(r.size, (int)st.st_size);
    EXPECT_EQ(bundle.loadedSize(), (int)st.st_size);
    EXPECT_EQ(r.size % 8, 0) << "the tool writes whole blocks";
  }
}

TEST(BundleResources, DataIsFollowedByZerosToTheBlockEnd)
{
  TempBundle t;
  BundleResources bundle(t.root());
  for (size_t n : {0u, 1u, 800u, 803u})
  {
    const std::string bytes = pattern(n);
    t.write("resources/r.tea", bytes);
    LoadedResource r = bundle.LoadFile(0, "resources/r.tea");
    ASSERT_TRUE(r.data) << r.problem;
    ASSERT_EQ(r.size, (int)n);
    EXPECT_EQ(bundle.loadedSize(), (int)n);
    EXPECT_EQ(std::string((const char*)r.data.get(), n), bytes);
    for (size_t i = n; i < (n + 7) / 8 * 8; ++i) EXPECT_EQ(r.data[i], 0) << n << " at " << i;
  }
}

// Longer resources used to be cut at the limit and read as if whole.
TEST(BundleResources, ResourcesAboveTheLimitAreRefusedWhole)
{
  TempBundle t;
  BundleResources bundle(t.root());
  t.write("resources/limit.tea", pattern(BundleResources::kMaxResourceSize));
  LoadedResource atLimit = bundle.LoadFile(0, "resources/limit.tea");
  ASSERT_TRUE(atLimit.data);
  EXPECT_EQ(atLimit.size, 4096000);
  EXPECT_EQ(bundle.loadedSize(), 4096000);

  t.write("resources/over.tea", pattern(BundleResources::kMaxResourceSize + 1));
  LoadedResource over = bundle.LoadFile(0, "resources/over.tea");
  EXPECT_FALSE(over.data);
  EXPECT_EQ(over.size, 0);
  EXPECT_EQ(bundle.loadedSize(), 0);
  EXPECT_EQ(over.problem, "is larger than 4096000 bytes");
}

TEST(BundleResources, MissingResources)
{
  TempBundle t;
  BundleResources bundle(t.root());
  LoadedResource missing = bundle.LoadFile(0, "resources/none.tea");
  EXPECT_FALSE(missing.data);
  EXPECT_EQ(missing.problem, "not found in " + t.root());

  LoadedResource folder = bundle.LoadFile(0, "resources");
  EXPECT_FALSE(folder.data) << "a folder is no resource";

  LoadedResource outside = bundle.LoadFile(0, "../etc/passwd");
  EXPECT_FALSE(outside.data);
  EXPECT_EQ(outside.problem, "not a resource name");

  EXPECT_FALSE(BundleResources("/nonexistent-davrel-bundle").LoadFile(0, "resources/sysex.tea").data);
}
