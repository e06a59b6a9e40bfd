#include "winsys/profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "TestFiles.h"

namespace {

void writeFileText(const std::string& path, const std::string& text)
{
  writeWholeFile(path, text.data(), text.size());
}

std::string readAll(const std::string& path)
{
  std::vector<uint8_t> b = readWholeFile(path);
  return std::string(b.begin(), b.end());
}

std::string get(const char* app, const char* key, const std::string& file, const char* def = "DEF")
{
  char buf[256];
  GetPrivateProfileString(app, key, def, buf, sizeof(buf), file.c_str());
  return buf;
}

struct Ino
{
  ino_t ino;
  long long mtime;
};
Ino inodeOf(const std::string& path)
{
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return {0, 0};
  return {st.st_ino, (long long)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec};
}

}  // namespace

TEST(Profile, ReadsValuesByTheLineRules)
{
  TempFolder dir;
  std::string f = dir.path() + "/a.ini";
  writeFileText(f,
                "junk before any section\n"
                "[Main]\n"
                "  plain=1\r\n"
                "spaced = two \n"
                "quoted=  \"hello world\"  \n"
                "mixed='x\"\n"
                "onequote=\"\n"
                "single='y'\n"
                "noequals\n"
                "=nokey\n"
                "[broken\n"
                "stillmain=yes\n"
                "[]\n"
                "ignored=1\n"
                "[main]\n"
                "after=case\n"
                "[ Other Name ]trailing\n"
                "k=v=w\n");
  struct Case
  {
    const char* app;
    const char* key;
    const char* want;
  } cases[] = {
      {"Main", "plain", "DEF"},  // [main] later replaced the earlier keys
      {"MAIN", "after", "case"},
      {"main", "stillmain", "DEF"},
      {"main", "ignored", "DEF"},
      {" Other Name ", "k", "v=w"},
      {"Other Name", "k", "DEF"},
  };
  for (const Case& c : cases) EXPECT_EQ(get(c.app, c.key, f), c.want) << c.app << "/" << c.key;

  writeFileText(f,
                "[s]\n"
                "spaced = two \n"
                "quoted=  \"hello world\"  \n"
                "mixed='x\"\n"
                "onequote=\"\n"
                "single='y'\n"
                "noequals\n"
                "=nokey\n"
                "[broken\n"
                "stillhere=yes\n");
  struct Case2
  {
    const char* key;
    const char* want;
  } cases2[] = {{"spaced ", "two"}, {"spaced", "DEF"},   {"quoted", "hello world"}, {"mixed", "'x\""},
                {"onequote", "\""}, {"single", "y"},     {"noequals", "DEF"},       {"", "DEF"},
                {"stillhere", "yes"}, {"STILLHERE", "yes"}};
  for (const Case2& c : cases2) EXPECT_EQ(get("s", c.key, f), c.want) << c.key;
}

TEST(Profile, ListsAndSmallBuffers)
{
  TempFolder dir;
  std::string f = dir.path() + "/l.ini";
  writeFileText(f, "[b]\nz=1\ny=2\n[A]\n");
  char buf[32];
  memset(buf, 'x', sizeof(buf));
  EXPECT_EQ(GetPrivateProfileString(nullptr, nullptr, nullptr, buf, sizeof(buf), f.c_str()), 3);
  EXPECT_EQ(std::string(buf, 5), std::string("A\0b\0\0", 5));
  memset(buf, 'x', sizeof(buf));
  EXPECT_EQ(GetPrivateProfileString(nullptr, nullptr, nullptr, buf, 3, f.c_str()), 1);
  EXPECT_EQ(std::string(buf, 4), std::string("A\0\0x", 4));
  EXPECT_EQ(GetPrivateProfileString("b", nullptr, nullptr, buf, sizeof(buf), f.c_str()), 3);
  EXPECT_EQ(std::string(buf, 5), std::string("y\0z\0\0", 5));
  EXPECT_EQ(GetPrivateProfileString("none", nullptr, nullptr, buf, sizeof(buf), f.c_str()), 0);
  EXPECT_EQ(std::string(buf, 2), std::string("\0\0", 2));

  // Buffers too small to hold anything are never written past, nor read.
  memset(buf, 'x', sizeof(buf));
  EXPECT_EQ(GetPrivateProfileString("b", "z", "d", buf, 0, f.c_str()), 0);
  EXPECT_EQ(buf[0], 'x');
  EXPECT_EQ(GetPrivateProfileString(nullptr, nullptr, nullptr, buf, 1, f.c_str()), 0);
  EXPECT_EQ(std::string(buf, 2), std::string("\0x", 2));
  EXPECT_EQ(GetPrivateProfileSection("b", buf, 1, f.c_str()), 0);
  EXPECT_EQ(GetPrivateProfileString("b", "z", "d", buf, 1, f.c_str()), 0);
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(GetPrivateProfileString("b", "nokey", "default", buf, 4, f.c_str()), 3);
  EXPECT_STREQ(buf, "def");
}

TEST(Profile, SectionTextAtEverySize)
{
  TempFolder dir;
  std::string f = dir.path() + "/s.ini";
  writeFileText(f, "[s]\nbb= \"22\" \na=1\n");
  const std::string full("a=1\0bb=22\0", 10);
  char buf[32];
  memset(buf, 'x', sizeof(buf));
  EXPECT_EQ(GetPrivateProfileSection("s", buf, sizeof(buf), f.c_str()), 10);
  EXPECT_EQ(std::string(buf, 11), full + std::string("\0", 1));
  // Every smaller size: nothing is written at or past size, the answer leaves room
  // for the double NUL that ends it, and a value only goes in with room to spare.
  for (int size = 2; size <= 11; ++size)
  {
    memset(buf, 'x', sizeof(buf));
    int r = GetPrivateProfileSection("s", buf, size, f.c_str());
    EXPECT_EQ(buf[size], 'x') << size;
    ASSERT_LE(r, size - 2) << size;
    EXPECT_EQ(buf[r], 0) << size;
    EXPECT_TRUE(r == 0 || buf[r - 1] == 0 || buf[r + 1] == 0) << size;  // a double NUL ends it
  }
  memset(buf, 'x', sizeof(buf));
  EXPECT_EQ(GetPrivateProfileSection("s", buf, 11, f.c_str()), 9);
  EXPECT_EQ(std::string(buf, 10), std::string("a=1\0bb=2\0\0", 10));
  EXPECT_EQ(GetPrivateProfileSection("missing", buf, sizeof(buf), f.c_str()), 0);
  EXPECT_EQ(std::string(buf, 2), std::string("\0\0", 2));
}

TEST(Profile, IntegersAndStructs)
{
  TempFolder dir;
  std::string f = dir.path() + "/i.ini";
  writeFileText(f, "[n]\na=12abc\nb=\nc=abc\nd=-0\ne=0\nf=0x10\ng=-7\n");
  struct
  {
    const char* key;
    int want;
  } cases[] = {{"a", 12}, {"b", 99}, {"c", 99}, {"d", 99}, {"e", 0}, {"f", 0}, {"g", -7}, {"missing", 99}};
  for (auto& c : cases) EXPECT_EQ(GetPrivateProfileInt("n", c.key, 99, f.c_str()), c.want) << c.key;

  const unsigned char bytes[] = {0x01, 0x02, 0xFF};
  ASSERT_TRUE(WritePrivateProfileStruct("st", "k", bytes, 3, f.c_str()));
  EXPECT_EQ(get("st", "k", f), "0102FF02");
  unsigned char back[3] = {};
  EXPECT_TRUE(GetPrivateProfileStruct("st", "k", back, 3, f.c_str()));
  EXPECT_EQ(0, memcmp(back, bytes, 3));
  EXPECT_FALSE(GetPrivateProfileStruct("st", "k", back, 2, f.c_str()));  // wrong length
  // A value that fails its check leaves the caller's bytes (its defaults) alone.
  for (const char* bad : {"0102FF03", "0102FFg2", "01g2FF02"})
  {
    ASSERT_TRUE(WritePrivateProfileString("st", "bad", bad, f.c_str()));
    unsigned char kept[3] = {7, 8, 9};
    EXPECT_FALSE(GetPrivateProfileStruct("st", "bad", kept, 3, f.c_str())) << bad;
    EXPECT_EQ(kept[0] * 65536 + kept[1] * 256 + kept[2], 0x070809) << bad;
  }
  ASSERT_TRUE(WritePrivateProfileString("st", "lower", "0102ff02", f.c_str()));
  EXPECT_TRUE(GetPrivateProfileStruct("st", "lower", back, 3, f.c_str()));
}

TEST(Profile, WritesWholeFilesAndOnlyWhenSomethingChanged)
{
  TempFolder dir;
  std::string f = dir.path() + "/w.ini";
  EXPECT_FALSE(WritePrivateProfileString(nullptr, "k", "v", f.c_str()));
  EXPECT_FALSE(WritePrivateProfileString("s", "", "v", f.c_str()));
  ASSERT_TRUE(WritePrivateProfileString("s", "b", "2", f.c_str()));
  ASSERT_TRUE(WritePrivateProfileString("s", "a", "1", f.c_str()));
  ASSERT_TRUE(WritePrivateProfileString("R", "x", "y", f.c_str()));
  EXPECT_EQ(readAll(f), "[R]\nx=y\n\n[s]\na=1\nb=2\n\n");

  Ino before = inodeOf(f);
  ASSERT_TRUE(WritePrivateProfileString("S", "A", "1", f.c_str()));  // same value, other case
  Ino after = inodeOf(f);
  EXPECT_EQ(before.ino, after.ino);
  EXPECT_EQ(before.mtime, after.mtime);

  ASSERT_TRUE(WritePrivateProfileString("s", "a", nullptr, f.c_str()));
  ASSERT_TRUE(WritePrivateProfileString("s", "b", nullptr, f.c_str()));
  EXPECT_EQ(readAll(f), "[R]\nx=y\n\n[s]\n\n");
  ASSERT_TRUE(WritePrivateProfileString("s", nullptr, nullptr, f.c_str()));
  EXPECT_EQ(readAll(f), "[R]\nx=y\n\n");

  const char list[] = "k2=v2\0noequals\0k1=v1=more\0k2=later\0";
  ASSERT_TRUE(WritePrivateProfileSection("new", list, f.c_str()));
  EXPECT_EQ(readAll(f), "[new]\nk1=v1=more\nk2=later\n\n[R]\nx=y\n\n");  // names sort without case
  before = inodeOf(f);
  ASSERT_TRUE(WritePrivateProfileSection("absent", "\0", f.c_str()));  // empty list, no section: no write
  EXPECT_EQ(inodeOf(f).ino, before.ino);

  // No temporary files are left beside the file.
  int entries = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) ++entries, (void)e;
  EXPECT_EQ(entries, 1);

  // A write that cannot reach the disk says so and leaves nothing behind in memory.
  std::string nowhere = dir.path() + "/no/such/folder/x.ini";
  EXPECT_FALSE(WritePrivateProfileString("s", "k", "v", nowhere.c_str()));
  EXPECT_EQ(get("s", "k", nowhere), "DEF");
}

TEST(Profile, ReadsAgainWhenTheFileChangesAndKeepsNamesApart)
{
  TempFolder dir;
  std::string f = dir.path() + "/c.ini";
  writeFileText(f, "[s]\nk=1\n");
  EXPECT_EQ(get("s", "k", f), "1");
  // Same size, written within the same second: still seen.
  writeFileText(f, "[s]\nk=2\n");
  EXPECT_EQ(get("s", "k", f), "2");

  // File names differ in case: two files.
  std::string upper = dir.path() + "/C.ini";
  writeFileText(upper, "[s]\nk=upper\n");
  EXPECT_EQ(get("s", "k", upper), "upper");
  EXPECT_EQ(get("s", "k", f), "2");

  // More files than the cache holds, then back to the first.
  for (int i = 0; i < 40; ++i)
  {
    std::string g = dir.path() + "/many" + std::to_string(i) + ".ini";
    ASSERT_TRUE(WritePrivateProfileString("s", "i", std::to_string(i).c_str(), g.c_str()));
  }
  EXPECT_EQ(get("s", "i", dir.path() + "/many0.ini"), "0");
  EXPECT_EQ(get("s", "k", f), "2");

  // A long path is used whole.
  std::string deep = dir.path();
  while (deep.size() < 1100) deep += "/" + std::string(60, 'd');
  std::filesystem::create_directories(deep);
  std::string longFile = deep + "/long.ini";
  ASSERT_TRUE(WritePrivateProfileString("s", "k", "far", longFile.c_str()));
  EXPECT_EQ(readAll(longFile), "[s]\nk=far\n\n");
}

TEST(Profile, PreambleLimit)
{
  TempFolder dir;
  std::string f = dir.path() + "/p.ini";
  std::string text;
  while (text.size() <= 0x40000) text += std::string(99, 'x') + "\n";
  writeFileText(f, text + "[s]\nk=v\n");
  EXPECT_EQ(get("s", "k", f), "DEF");
  // What reads as no profile file is not replaced by one.
  EXPECT_FALSE(WritePrivateProfileString("t", "x", "1", f.c_str()));
  EXPECT_FALSE(WritePrivateProfileSection("t", "x=1\0", f.c_str()));
  EXPECT_EQ(readAll(f), text + "[s]\nk=v\n");
  // An empty header names no section: the text after it still counts.
  writeFileText(f, "[]\n" + text + "[s]\nk=v\n");
  EXPECT_EQ(get("s", "k", f), "DEF");
  writeFileText(f, std::string(1000, ';') + "\n[s]\nk=v\n");
  EXPECT_EQ(get("s", "k", f), "v");
  EXPECT_TRUE(WritePrivateProfileString("t", "x", "1", f.c_str()));
  EXPECT_EQ(readAll(f), "[s]\nk=v\n\n[t]\nx=1\n\n");
}

// A file that is there but cannot be read (here: another user's, in a folder
// everyone may write) reads as empty and is never replaced by a write.
TEST(Profile, UnreadableFileIsNotWrittenOver)
{
  if (geteuid() != 0) GTEST_SKIP() << "needs to change user";
  TempFolder dir;
  ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
  const std::string f = dir.path() + "/private.ini";
  writeFileText(f, "[s]\nk=v\n");
  ASSERT_EQ(chmod(f.c_str(), 0600), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0)
  {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
    char buf[16];
    GetPrivateProfileString("s", "k", "none", buf, sizeof buf, f.c_str());
    if (strcmp(buf, "none") != 0) _exit(4);
    if (WritePrivateProfileString("s", "other", "1", f.c_str())) _exit(5);
    if (WritePrivateProfileSection("s", "other=1\0", f.c_str())) _exit(6);
    if (WritePrivateProfileString("s", nullptr, nullptr, f.c_str())) _exit(7);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "cannot change user here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(readAll(f), "[s]\nk=v\n");
}

// Processes writing different keys of one file at once lose none of them.
TEST(Profile, ConcurrentProcessesKeepEveryKey)
{
  TempFolder dir;
  std::string f = dir.path() + "/shared.ini";
  const int kProcs = 4, kKeys = 40;
  pid_t pids[kProcs];
  for (int p = 0; p < kProcs; ++p)
  {
    pids[p] = fork();
    ASSERT_GE(pids[p], 0);
    if (pids[p] == 0)
    {
      for (int k = 0; k < kKeys; ++k)
      {
        std::string key = "p" + std::to_string(p) + "k" + std::to_string(k);
        if (!WritePrivateProfileString("s", key.c_str(), "1", f.c_str())) _exit(1);
      }
      _exit(0);
    }
  }
  for (int p = 0; p < kProcs; ++p)
  {
    int status = 0;
    waitpid(pids[p], &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (int p = 0; p < kProcs; ++p)
    for (int k = 0; k < kKeys; ++k)
    {
      std::string key = "p" + std::to_string(p) + "k" + std::to_string(k);
      EXPECT_EQ(GetPrivateProfileInt("s", key.c_str(), 0, f.c_str()), 1) << key;
    }
}

TEST(Profile, TextsTheFileCannotGiveBackAreRefusedAndNothingIsWritten)
{
  TempFolder dir;
  std::string f = dir.path() + "/r.ini";
  ASSERT_TRUE(WritePrivateProfileString("s", "k", "v", f.c_str()));
  const std::string before = readAll(f);
  struct Case
  {
    const char *app, *key, *value;
  };
  const Case cases[] = {
      {"", "k", "v"},             // "[]" reads back as no section
      {"a]b", "k", "v"},          // the name ends at ']'
      {"a\nb", "k", "v"},
      {"s", "k\nx=1", "v"},       // would read back as a key of its own
      {"s", "k=x", "v"},
      {"s", " k", "v"},           // read back as "k"
      {"s", "[t]", "v"},          // read back as a section
      {"s", "k", "v\n[t]\nx=1"},  // would add a section
      {"s", "k", "v\r"},
  };
  for (const Case& c : cases)
  {
    EXPECT_FALSE(WritePrivateProfileString(c.app, c.key, c.value, f.c_str())) << c.app << "/" << c.key;
    EXPECT_EQ(readAll(f), before);
  }
  EXPECT_FALSE(WritePrivateProfileSection("s", "a=1\0b=2\n[t]\0", f.c_str()));
  EXPECT_FALSE(WritePrivateProfileSection("a]b", "a=1\0", f.c_str()));
  EXPECT_EQ(readAll(f), before);
  // Blanks inside, quotes and '=' in a value, '[' inside a key are carried back.
  ASSERT_TRUE(WritePrivateProfileString("s t[", "k[ ]", "a = \"b\"", f.c_str()));
  std::string alias = dir.path() + "/./r.ini";  // another name: read from the disk, not the cache
  EXPECT_EQ(get("s t[", "k[ ]", alias), "a = \"b\"");
}
