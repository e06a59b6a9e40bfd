#include "shell_test_util.h"

#include "platform/appkit/NSPasteboard.h"
#include "platform/appkit/NSWorkspace.h"
#include "winsys/kernel.h"
#include "winsys/shell/clipboard.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

class Clipboard : public ShellTest
{
protected:
  void SetUp() override
  {
    ShellTest::SetUp();
    OpenClipboard(nullptr);  // the text format takes id 1 before anything else registers
    CloseClipboard();
    // Both pasteboards start empty.
    NSPasteboard::generalPasteboard()->declareTypes({}, nullptr);
    board()->declareTypes({}, nullptr);
  }
  static NSPasteboard* board() { return NSPasteboard::pasteboardWithName("SWELL_APP"); }

  static HANDLE block(const std::string& bytes)
  {
    HANDLE h = GlobalAlloc(0, (int)bytes.size());
    memcpy(GlobalLock(h), bytes.data(), bytes.size());
    GlobalUnlock(h);
    return h;
  }
  static std::string bytesOf(HANDLE h) { return std::string((const char*)GlobalLock(h), (size_t)GlobalSize(h)); }
};

TEST_F(Clipboard, FormatsAreRegisteredOnce)
{
  EXPECT_EQ(RegisterClipboardFormat("SWELL__CF_TEXT"), CF_TEXT);
  const UINT a = RegisterClipboardFormat("com.example.bank");
  EXPECT_GT(a, CF_TEXT);
  EXPECT_EQ(RegisterClipboardFormat("com.example.bank"), a);
  EXPECT_EQ(RegisterClipboardFormat("com.example.other"), a + 1);
  EXPECT_EQ(RegisterClipboardFormat(nullptr), 0u);
}

// Registrations are the process's: in a fresh one, a private format registered
// before any OpenClipboard leaves id 1 to text.
TEST(ClipboardFresh, TextKeepsIdOneWhateverRegistersFirst)
{
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::_Exit(RegisterClipboardFormat("com.example.bank") == CF_TEXT ||
                         RegisterClipboardFormat("SWELL__CF_TEXT") != CF_TEXT),
              ::testing::ExitedWithCode(0), "");
}

TEST_F(Clipboard, WritesLandOnThePasteboardTheirFormatsChoose)
{
  const UINT bank = RegisterClipboardFormat("com.example.bank");
  const UINT unknown = 4000;
  const std::string binary("\x00\x01\xF0\x7F\x00", 5);
  struct Case
  {
    const char* what;
    std::vector<std::pair<UINT, std::string>> set;
    std::vector<std::string> general, priv;  // types after CloseClipboard
  };
  const Case cases[] = {
      {"text and a private format go together to the general pasteboard",
       {{CF_TEXT, std::string("h\xC3\xA9llo\0junk", 11)}, {bank, binary}},
       {NSStringPboardType, "com.example.bank"},
       {}},
      {"a private format alone goes to SWELL_APP", {{bank, binary}}, {}, {"com.example.bank"}},
      {"unregistered ids are left out", {{unknown, "x"}, {bank, binary}}, {}, {"com.example.bank"}},
      {"nothing declared leaves the pasteboards alone", {{unknown, "x"}}, {}, {}},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.what);
    NSPasteboard::generalPasteboard()->declareTypes({}, nullptr);
    board()->declareTypes({}, nullptr);
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    for (const auto& s : c.set) SetClipboardData(s.first, block(s.second));
    CloseClipboard();
    EXPECT_EQ(NSPasteboard::generalPasteboard()->types(), c.general);
    EXPECT_EQ(board()->types(), c.priv);
  }
  EXPECT_FALSE(NSPasteboard::generalPasteboard()->stringForType(NSStringPboardType));
  // The text stops at its first NUL; the data keeps every byte.
  ASSERT_TRUE(OpenClipboard(nullptr));
  SetClipboardData(CF_TEXT, block(std::string("h\xC3\xA9llo\0junk", 11)));
  SetClipboardData(bank, block(binary));
  CloseClipboard();
  EXPECT_EQ(*NSPasteboard::generalPasteboard()->stringForType(NSStringPboardType), "h\xC3\xA9llo");
  const auto data = NSPasteboard::generalPasteboard()->dataForType("com.example.bank");
  ASSERT_TRUE(data);
  EXPECT_EQ(std::string(data->begin(), data->end()), binary);
}

TEST_F(Clipboard, EmptyAndUnchangedCloses)
{
  const UINT bank = RegisterClipboardFormat("com.example.bank");
  OpenClipboard(nullptr);
  SetClipboardData(bank, block("first"));
  CloseClipboard();
  const NSInteger count = board()->changeCount();
  OpenClipboard(nullptr);
  SetClipboardData(bank, block("dropped"));
  EmptyClipboard();  // frees what was set: the sanitizer checks
  CloseClipboard();
  OpenClipboard(nullptr);
  CloseClipboard();
  EXPECT_EQ(board()->changeCount(), count);
  OpenClipboard(nullptr);
  HANDLE h = GetClipboardData(bank);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(bytesOf(h), "first");
  CloseClipboard();  // frees h

  // A block set twice, or handed out and set again, is freed once (the sanitizer checks).
  OpenClipboard(nullptr);
  HANDLE twice = block("twice");
  SetClipboardData(bank, twice);
  SetClipboardData(bank, twice);
  CloseClipboard();
  OpenClipboard(nullptr);
  HANDLE again = GetClipboardData(bank);
  ASSERT_NE(again, nullptr);
  SetClipboardData(bank, again);
  CloseClipboard();
  OpenClipboard(nullptr);
  HANDLE last = GetClipboardData(bank);
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(bytesOf(last), "twice");
  CloseClipboard();

  // One block under two formats is written under both, and freed once.
  const UINT other = RegisterClipboardFormat("com.example.other");
  OpenClipboard(nullptr);
  HANDLE shared = block("shared");
  SetClipboardData(bank, shared);
  SetClipboardData(other, shared);
  CloseClipboard();
  EXPECT_EQ(board()->types(), (std::vector<std::string>{"com.example.bank", "com.example.other"}));
  for (const char* type : {"com.example.bank", "com.example.other"})
  {
    const auto data = board()->dataForType(type);
    ASSERT_TRUE(data) << type;
    EXPECT_EQ(std::string(data->begin(), data->end()), "shared") << type;
  }
  OpenClipboard(nullptr);
  SetClipboardData(bank, block("dropped"));
  SetClipboardData(other, GetClipboardData(bank));  // a block handed out, set, then dropped
  EmptyClipboard();
  CloseClipboard();
}

TEST_F(Clipboard, ReadersSeeOtherProgramsTextAndOnlyPrivateFormatsInTheList)
{
  const UINT a = RegisterClipboardFormat("com.example.a");
  const UINT b = RegisterClipboardFormat("com.example.b");
  // Another program's text on the general pasteboard, our formats on SWELL_APP in
  // the pasteboard's order, with a type nobody registered between them.
  NSPasteboard::generalPasteboard()->declareTypes({NSStringPboardType}, nullptr);
  NSPasteboard::generalPasteboard()->setString("from elsewhere", NSStringPboardType);
  board()->declareTypes({"com.example.b", "org.unknown", "com.example.a"}, nullptr);
  board()->setData({1, 2}, "com.example.b");
  board()->setData({3}, "com.example.a");

  ASSERT_TRUE(OpenClipboard(nullptr));
  struct Step
  {
    UINT from, next;
  };
  const Step steps[] = {{0, b}, {b, a}, {a, 0}, {CF_TEXT, 0}, {999, 0}};
  for (const Step& s : steps) EXPECT_EQ(EnumClipboardFormats(s.from), s.next) << s.from;
  HANDLE text = GetClipboardData(CF_TEXT);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(bytesOf(text), std::string("from elsewhere\0", 15));
  HANDLE hb = GetClipboardData(b);
  ASSERT_NE(hb, nullptr);
  EXPECT_EQ(bytesOf(hb), std::string("\x01\x02", 2));
  EXPECT_EQ(GetClipboardData(999), nullptr);
  EXPECT_EQ(GetClipboardData(RegisterClipboardFormat("com.example.absent")), nullptr);
  CloseClipboard();

  // With nothing on SWELL_APP the list is empty.
  board()->declareTypes({}, nullptr);
  OpenClipboard(nullptr);
  EXPECT_EQ(EnumClipboardFormats(0), 0u);
  CloseClipboard();
}

std::string dropBlock(const std::vector<std::string>& paths, int x, int y, bool outside, bool terminated = true)
{
  std::string b(16, '\0');
  const uint32_t offset = 16;
  memcpy(&b[0], &offset, 4);
  memcpy(&b[4], &x, 4);
  memcpy(&b[8], &y, 4);
  b[12] = outside ? 1 : 0;
  for (const std::string& p : paths) b += p + std::string(1, '\0');
  if (terminated) b.push_back('\0');
  return b;
}

// A desktop clipboard another program holds; counts how often its text is fetched,
// each fetch being a round trip to that program.
class ElsewhereClipboard : public NSPresenter
{
public:
  explicit ElsewhereClipboard(int* fetches) : mFetches(fetches) {}
  const char* name() const override { return "elsewhere"; }
  bool pollEvents() override { return false; }
  void waitForEvents(double) override {}
  void wake() override {}
  NSMenuItem* menuChoice(NSMenu*, NSPoint, NSView*) override { return nullptr; }
  NSInteger panelAnswer(NSSavePanel*, std::string*) override { return 0; }
  NSInteger alertAnswer(NSAlert*) override { return 0; }
  bool sharesClipboard() const override { return true; }
  bool ownsClipboard() const override { return false; }
  bool clipboardText(std::string* text) override
  {
    ++*mFetches;
    if (text) *text = "held elsewhere";
    return true;
  }

private:
  int* mFetches;
};

TEST_F(Clipboard, ReadingAnotherProgramsTextFetchesItOnce)
{
  int fetches = 0;
  NSApplication::shutdown();
  NSApplication::setPresenter(std::make_unique<ElsewhereClipboard>(&fetches));
  NSApplication::sharedApplication();
  ASSERT_TRUE(OpenClipboard(nullptr));
  HANDLE text = GetClipboardData(CF_TEXT);
  CloseClipboard();
  EXPECT_NE(text, nullptr);
  EXPECT_EQ(fetches, 1);
  NSApplication::shutdown();
  NSApplication::setPresenter(AKMakeHeadlessPresenter());
  NSApplication::sharedApplication();
}

TEST_F(Clipboard, DroppedFileListsAreReadWithinTheirBlock)
{
  HANDLE three = block(dropBlock({"/a/one.syx", "/b/two.mid", "/c/x"}, 12, -7, false));
  struct Case
  {
    UINT index;
    bool withBuffer;
    UINT size;
    UINT result;
    const char* text;  // what the buffer holds; null: untouched
  };
  const Case cases[] = {
      {0xFFFFFFFFu, false, 0, 3, nullptr}, {0, false, 0, 10, nullptr},   {1, true, 64, 10, "/b/two.mid"},
      {1, true, 5, 4, "/b/t"},             {2, true, 1, 0, ""},          {2, true, 0, 0, nullptr},
      {3, true, 64, 0, nullptr},           {3, false, 0, 0, nullptr},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(std::to_string(c.index) + " " + std::to_string(c.size));
    char buf[64];
    strcpy(buf, "guard");
    EXPECT_EQ(DragQueryFile(three, c.index, c.withBuffer ? buf : nullptr, c.size), c.result);
    EXPECT_STREQ(buf, c.text ? c.text : "guard");
  }
  POINT pt{};
  EXPECT_TRUE(DragQueryPoint(three, &pt));
  EXPECT_EQ(pt.x, 12);
  EXPECT_EQ(pt.y, -7);
  DragFinish(three);
  GlobalFree(three);

  // Blocks from elsewhere are read no further than they reach.
  struct Bad
  {
    const char* what;
    std::string bytes;
    UINT count;
  };
  std::string badOffset = dropBlock({"/a"}, 0, 0, true);
  const uint32_t far = 4096;
  memcpy(&badOffset[0], &far, 4);
  const Bad bad[] = {
      {"no end marker", dropBlock({"/a", "/b"}, 0, 0, true, false), 2},
      {"a path cut off", dropBlock({"/a"}, 0, 0, true, false) + "/cut", 1},
      {"an offset past the end", badOffset, 0},
      {"empty list", dropBlock({}, 0, 0, true), 0},
      {"shorter than its header", std::string(8, '\0'), 0},
  };
  for (const Bad& b : bad)
  {
    SCOPED_TRACE(b.what);
    HANDLE h = block(b.bytes);
    EXPECT_EQ(DragQueryFile(h, 0xFFFFFFFFu, nullptr, 0), b.count);
    char buf[8];
    DragQueryFile(h, b.count, buf, sizeof(buf));
    if (b.bytes.size() >= 16) { EXPECT_FALSE(DragQueryPoint(h, &pt)); }  // dropped outside
    GlobalFree(h);
  }
  EXPECT_EQ(DragQueryFile(nullptr, 0xFFFFFFFFu, nullptr, 0), 0u);
  EXPECT_FALSE(DragQueryPoint(nullptr, &pt));
}

std::string cwdFileURL(const std::string& relative)
{
  char cwd[4096];
  EXPECT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
  return NSURL::fileURLWithPath(std::string(cwd) + "/" + relative)->absoluteString();
}

TEST_F(Clipboard, ShellExecuteOpensAddressesDocumentsAndApplications)
{
  NSAutoreleasePool pool;
  NSWorkspace* ws = NSWorkspace::sharedWorkspace();
  struct Case
  {
    const char* file;
    const char* params;
    bool result;
    std::vector<std::string> argv;  // empty: nothing runs
  };
  const Case cases[] = {
      {"http://example.org/a?b=1", nullptr, true, {"xdg-open", "http://example.org/a?b=1"}},
      {"HTTPS://Example.org/", "", true, {"xdg-open", "HTTPS://Example.org/"}},
      {"mailto:ada@example.org", nullptr, true, {"xdg-open", "mailto:ada@example.org"}},
      {"file:///tmp/x.pdf", nullptr, true, {"xdg-open", "file:///tmp/x.pdf"}},
      {"http://bad address", nullptr, false, {}},  // not a URL: refused, not opened as a file
      {"ftp.txt", nullptr, true, {"xdg-open", cwdFileURL("ftp.txt")}},
      {"notepad", "/tmp/notes.txt", true, {"xdg-open", "file:///tmp/notes.txt"}},
      {"NOTEPAD.EXE", "/tmp/notes.txt", true, {"xdg-open", "file:///tmp/notes.txt"}},
      {"explorer.exe", "/srv/banks", true, {"xdg-open", "file:///srv/banks"}},
      {"/tmp/My Folder", "explorer.exe", true, {"xdg-open", "file:///tmp/My%20Folder"}},
      {"/opt/Synth Tool.app", nullptr, true, {"/opt/Synth Tool"}},
      {"editor", "/tmp/-rf", true, {"editor", "/tmp/-rf"}},
      {"editor", "-rf", true, {"editor", NSURL::fileURLWithPath("-rf")->path()}},
      {"", "", false, {}},
      {nullptr, nullptr, false, {}},
      {"explorer.exe", nullptr, false, {}},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(std::string(c.file ? c.file : "(null)") + " | " + (c.params ? c.params : "(null)"));
    ws->setOpener([](const std::vector<std::string>&) { return true; });
    EXPECT_EQ(ShellExecute(nullptr, "open", c.file, c.params, nullptr, 0), c.result ? TRUE : FALSE);
    if (c.argv.empty())
      EXPECT_TRUE(ws->opened().empty());
    else
      EXPECT_EQ(ws->opened(), std::vector<std::vector<std::string>>{c.argv});
  }
  ws->setOpener(nullptr);
}

// The opener and the applications are started directly: names full of shell
// syntax reach a recording program byte for byte, and nothing else runs.
TEST_F(Clipboard, NamesNeverMeetAShell)
{
  char dirTemplate[] = "/tmp/davrel-shell-XXXXXX";
  ASSERT_NE(mkdtemp(dirTemplate), nullptr);
  const std::string dir = dirTemplate;
  const std::string stub = dir + "/record", out = dir + "/args", marker = dir + "/ran";
  {
    std::ofstream s(stub);
    s << "#!/bin/sh\nprintf '%s\\0' \"$@\" > '" << out << ".part' && mv '" << out << ".part' '" << out << "'\n";
  }
  ASSERT_EQ(chmod(stub.c_str(), 0755), 0);
  const std::string hostile = "a b 'q' \"d\" ; touch " + marker + " ; $(touch " + marker + ") `touch " + marker + "` |&>";

  struct Case
  {
    std::string file, params;
    std::vector<std::string> want;
  };
  const Case cases[] = {
      {"http://x/$(touch%20" + marker + ");`id`", "", {"http://x/$(touch%20" + marker + ");`id`"}},
      {dir + "/" + hostile, "", {NSURL::fileURLWithPath(dir + "/" + hostile)->absoluteString()}},
      {stub, dir + "/" + hostile, {dir + "/" + hostile}},
      {stub + ".app", "", {""}},  // started with no arguments
  };
  setenv("DAVREL_OPENER", stub.c_str(), 1);
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.file);
    unlink(out.c_str());
    ASSERT_TRUE(ShellExecute(nullptr, "open", c.file.c_str(), c.params.c_str(), nullptr, 0));
    std::string got;
    for (int i = 0; i < 1000 && got.empty(); ++i)
    {
      std::ifstream f(out, std::ios::binary);
      if (f) got.assign(std::istreambuf_iterator<char>(f), {});
      else std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::string want;
    for (const std::string& a : c.want) want += a + std::string(1, '\0');
    EXPECT_EQ(got, want);
  }
  unsetenv("DAVREL_OPENER");
  struct stat st;
  EXPECT_NE(stat(marker.c_str(), &st), 0) << "a name was run by a shell";
  unlink(out.c_str());
  unlink(stub.c_str());
  rmdir(dir.c_str());
}

}  // namespace
