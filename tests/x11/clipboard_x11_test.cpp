// The layer's clipboard on a real X server: text copied by the layer is read by
// another X client (xclip) and the reverse, through the CLIPBOARD selection.

#include "platform/appkit/NSRunLoop.h"
#include "platform/appkit/Presenter.h"
#include "platform/appkit/testing/X11TestDriver.h"
#include "winsys/kernel.h"
#include "winsys/shell/clipboard.h"

#include "X11Session.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {


class X11Clipboard : public ::testing::Test
{
protected:
  static void SetUpTestSuite() { X11Session::start(); }

  static void TearDownTestSuite() { X11Session::stop(); }

  void SetUp() override
  {
    ASSERT_TRUE(X11Session::up()) << X11Session::problem();
    ASSERT_EQ(access("/usr/bin/xclip", X_OK), 0) << "xclip is missing (tools/packages.sh installs it)";
    char dir[] = "/tmp/davrel-clip-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    folder = dir;
  }

  void TearDown() override
  {
    unlink((folder + "/in").c_str());
    unlink((folder + "/out").c_str());
    rmdir(folder.c_str());
  }

  // Starts xclip on the test's display with stdin and stdout on the files.
  pid_t xclip(const std::vector<std::string>& args, const std::string& in, const std::string& out)
  {
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, in.empty() ? "/dev/null" : in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, out.empty() ? "/dev/null" : out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    std::vector<std::string> argv{"/usr/bin/xclip", "-display", X11Session::server()->display(), "-selection", "clipboard"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> a;
    for (std::string& s : argv) a.push_back(&s[0]);
    a.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, a[0], &fa, nullptr, a.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    return rc == 0 ? pid : -1;
  }

  // The child's exit status while the run loop answers its selection requests.
  static int runUntilExit(pid_t pid) { return RunLoopUntilChildExits(pid, 10); }

  static void copy(const std::string& text)
  {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HANDLE h = GlobalAlloc(0, (int)text.size() + 1);
    memcpy(GlobalLock(h), text.c_str(), text.size() + 1);
    GlobalUnlock(h);
    SetClipboardData(CF_TEXT, h);
    CloseClipboard();
  }

  static std::string paste()
  {
    OpenClipboard(nullptr);
    HANDLE h = GetClipboardData(CF_TEXT);
    std::string text = h ? std::string((const char*)GlobalLock(h)) : std::string("(none)");
    CloseClipboard();
    return text;
  }

  std::string folder;
};

TEST_F(X11Clipboard, TextGoesBothWaysThroughTheClipboardSelection)
{
  const std::string texts[] = {
      "plain",
      "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC 100% ; $(echo no) `x` \"q\" 'q'\nsecond line\ttab",
      std::string(1200000, 'z'),  // past 1 MB xclip sends it in pieces (INCR)
  };
  for (const std::string& text : texts)
  {
    SCOPED_TRACE(text.substr(0, 40));
    // The layer's copy, read by another client.
    copy(text);
    const std::string out = folder + "/out";
    const pid_t reader = xclip({"-o"}, "", out);
    ASSERT_GT(reader, 0);
    EXPECT_EQ(runUntilExit(reader), 0);
    std::ifstream f(out, std::ios::binary);
    const std::string got((std::istreambuf_iterator<char>(f)), {});
    EXPECT_EQ(got, text);
    // Our own copy reads back without asking the server.
    EXPECT_EQ(paste(), text);

    // Another client's copy, read by the layer. xclip keeps the selection from a
    // process of its own once its first process has ended.
    const std::string other = "from xclip: " + text;
    {
      std::ofstream in(folder + "/in", std::ios::binary);
      in << other;
    }
    const pid_t writer = xclip({"-i"}, folder + "/in", "");
    ASSERT_GT(writer, 0);
    ASSERT_EQ(runUntilExit(writer), 0);
    // Until xclip's keeper holds the selection we may still see our own text.
    std::string read = paste();
    for (int i = 0; i < 200 && (read == text || read == "(none)"); ++i)
    {
      NSRunLoop::currentRunLoop()->runUntilDate(NSRunLoop::currentRunLoop()->now() + 0.02);
      read = paste();
    }
    EXPECT_EQ(read, other);
    OpenClipboard(nullptr);
    EXPECT_EQ(EnumClipboardFormats(0), 0u);  // the list holds only the private pasteboard's formats
    CloseClipboard();
  }
  // Taking the clipboard back ends xclip's keeper.
  copy("last");
  EXPECT_EQ(paste(), "last");
}

TEST_F(X11Clipboard, TextInPiecesOverTheBoundIsRefusedWhole)
{
  // Another client's copy, read by the layer once xclip's keeper holds it.
  auto offer = [&](const std::string& text) {
    {
      std::ofstream in(folder + "/in", std::ios::binary);
      in << text;
    }
    const pid_t writer = xclip({"-i"}, folder + "/in", "");
    ASSERT_GT(writer, 0);
    ASSERT_EQ(runUntilExit(writer), 0);
  };
  auto readOnceChangedFrom = [&](const std::string& before) {
    std::string read = paste();
    for (int i = 0; i < 200 && read == before; ++i)
    {
      NSRunLoop::currentRunLoop()->runUntilDate(NSRunLoop::currentRunLoop()->now() + 0.02);
      read = paste();
    }
    return read;
  };
  copy("ours");
  offer("small");
  ASSERT_EQ(readOnceChangedFrom("ours"), "small");
  const std::string big(1200000, 'z');  // sent in pieces (INCR)
  AKSetX11ClipboardPieceLimit(1000000);
  offer(big);
  EXPECT_EQ(readOnceChangedFrom("small"), "(none)");
  // The same transfer under a bound it fits. A read that takes longer than the
  // layer waits (a loaded machine) gives nothing; it is asked again, as a user would.
  AKSetX11ClipboardPieceLimit(2000000);
  EXPECT_EQ(readOnceChangedFrom("(none)"), big);
  AKSetX11ClipboardPieceLimit((size_t)256 << 20);
  copy("last");
}

}  // namespace
