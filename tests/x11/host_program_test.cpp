// davrel-host itself: --screenshot writes the editor's surface headless, --window
// shows it on the X server until the window manager closes it.

#include "TestFiles.h"
#include "platform/appkit/testing/X11TestDriver.h"
#include "raster/lice.h"
#include "raster/lice_png.h"

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

std::string ReadWholeFile(const std::string& path)
{
  const std::vector<uint8_t> bytes = readWholeFile(path);
  return std::string(bytes.begin(), bytes.end());
}

// Starts the host with the arguments and extra environment; its output goes to the file.
pid_t startHost(const std::vector<std::string>& args, const std::vector<std::string>& env, const std::string& out)
{
  std::vector<std::string> all = {DAVREL_HOST_PROGRAM};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  std::vector<std::string> envs;
  for (char** e = environ; *e; ++e)
    if (strncmp(*e, "DISPLAY=", 8) != 0 && strncmp(*e, "DAVREL_PRESENTER=", 17) != 0) envs.push_back(*e);
  envs.insert(envs.end(), env.begin(), env.end());
  std::vector<char*> envp;
  for (std::string& e : envs) envp.push_back(&e[0]);
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// The editor's window once it is shown (up to 30 s), or 0.
unsigned long editorWindow(AKX11Driver& driver)
{
  unsigned long window = 0;
  for (int i = 0; i < 3000 && !(window && driver.viewable(window)); ++i)
  {
    window = driver.findWindow("Quiet Harbor Sound: Davrel Editor");
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return window;
}

// The exit status, or -1 when it did not end within the time (it is then killed).
int waitHost(pid_t pid, double seconds)
{
  for (int i = 0; i < (int)(seconds * 100); ++i)
  {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return -1;
}

}  // namespace

TEST(HostProgram, ScreenshotWritesTheEditorsSurface)
{
  TempFolder dir;
  const std::string png = dir.file("editor.png"), out = dir.file("out.txt");
  const pid_t pid = startHost({"--screenshot", png, "--frames", "3"}, {"DAVREL_PRESENTER=headless"}, out);
  ASSERT_GT(pid, 0);
  ASSERT_EQ(waitHost(pid, 60), 0) << ReadWholeFile(out);
  LICE_IBitmap* shot = LICE_LoadPNG(png.c_str(), nullptr);
  ASSERT_NE(shot, nullptr);
  EXPECT_EQ(shot->getWidth(), 1500);
  EXPECT_EQ(shot->getHeight(), 667);
  // The editor's pages were drawn, not an empty surface: a row across the sound
  // page passes through many colours.
  std::set<unsigned> colours;
  for (int x = 0; x < 1500; ++x) colours.insert((unsigned)LICE_GetPixel(shot, x, 200));
  EXPECT_GT(colours.size(), 20u);
  delete shot;
}

// Runs the host with `args` on a fresh X server, waits for its editor window, leaves
// it shown for `shownMs` and closes it through the window manager; the host must
// then end cleanly. `said` is what it wrote. The manager's title bar comes onto the
// screen (a border left of a window at the left edge may lie off it), and the window
// lies wholly on it where it fits.
void showAndClose(const std::vector<std::string>& args, const std::string& dataDir, int shownMs,
                  std::string* said, int width = 1920, int height = 1080)
{
  AKXvfb server;
  std::string error;
  ASSERT_TRUE(server.start(&error, width, height)) << error;
  TempFolder dir;
  const std::string out = dir.file("out.txt");
  std::vector<std::string> env = {"DISPLAY=" + server.display()};
  if (!dataDir.empty()) env.push_back("DAVREL_DATA_DIR=" + dataDir);
  const pid_t pid = startHost(args, env, out);
  ASSERT_GT(pid, 0);
  AKX11Driver driver(server.display());
  ASSERT_TRUE(driver.ok());
  const unsigned long window = editorWindow(driver);
  ASSERT_NE(window, 0u) << ReadWholeFile(out);
  int fx = -1, fy = -1, x = -1, y = -1, w = 0, h = 0;
  for (int i = 0; i < 1000 && !(driver.frame(window, &fx, &fy) && fy >= 0); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_GE(fy, 0) << "the frame at " << fx << "," << fy;
  EXPECT_TRUE(driver.geometry(window, &x, &y, &w, &h) && x >= 0 && y >= 0 && (w > width || x + w <= width) &&
              (h > height || y + h <= height))
      << w << "x" << h << " at " << x << "," << y;
  std::this_thread::sleep_for(std::chrono::milliseconds(shownMs));
  driver.requestClose(window);
  const int status = waitHost(pid, 30);
  *said = ReadWholeFile(out);
  EXPECT_EQ(status, 0) << *said;
}

// At size large too, wider than the room right of where it used to go, and on a
// screen smaller than the editor.
TEST(HostProgram, AWindowStaysOpenUntilTheWindowManagerClosesIt)
{
  TempFolder data;
  ASSERT_TRUE(writeWholeFile(data.file("Davrel Editor UI.txt"), std::string("normal\nlarge\n")));
  for (const auto& [width, height] : {std::pair{1920, 1080}, std::pair{1280, 800}})
  {
    SCOPED_TRACE(height);
    std::string said;
    ASSERT_NO_FATAL_FAILURE(showAndClose({"--window"}, data.path(), 0, &said, width, height));
    EXPECT_NE(said.find("editor open: 1875x833 on x11"), std::string::npos) << said;
    EXPECT_NE(said.find("editor window closed by the user"), std::string::npos) << said;
  }
}

// A host keeps rendering while its editor is shown: the editor's audio callback
// drives the MIDI clock, puts the activity indicators out and starts the requests
// it leaves pending, so the render loop must go on behind --show.
TEST(HostProgram, TheRenderLoopGoesOnWhileTheEditorIsShown)
{
  TempFolder data;
  std::string said;
  // 0.3 s at 48 kHz in blocks of 256 is 56 blocks; a loaded machine may give fewer.
  ASSERT_NO_FATAL_FAILURE(showAndClose({"--stopped", "--blocks", "0", "--show"}, data.path(), 300, &said));
  const size_t at = said.find("rendered ");
  ASSERT_NE(at, std::string::npos) << said;
  EXPECT_GT(atol(said.c_str() + at + 9), 5) << said;
}
