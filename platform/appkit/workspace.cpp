#include "platform/appkit/NSWorkspace.h"

#include "platform/appkit/NSImage.h"

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/Presenter.h"

#include <cctype>
#include <cstdlib>
#include <strings.h>
#include <climits>
#include <cstdio>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

// ---- NSURL ----

NSURL* NSURL::URLWithString(const std::string& text)
{
  if (text.empty()) return nullptr;
  // scheme = ALPHA *( ALPHA / DIGIT / "+" / "-" / "." ) ":"
  size_t colon = text.find(':');
  if (colon == std::string::npos || colon == 0 || !isalpha((unsigned char)text[0])) return nullptr;
  for (size_t i = 1; i < colon; ++i)
  {
    const char c = text[i];
    if (!isalnum((unsigned char)c) && c != '+' && c != '-' && c != '.') return nullptr;
  }
  for (unsigned char c : text)
    if (c <= 0x20 || c == 0x7F) return nullptr;
  NSURL* u = new NSURL;
  u->mText = text;
  u->autorelease();
  return u;
}

NSURL* NSURL::fileURLWithPath(const std::string& path)
{
  if (path.empty()) return nullptr;
  std::string absolute = path;
  if (absolute[0] != '/')
  {
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof(cwd))) return nullptr;
    absolute = std::string(cwd) + "/" + path;
  }
  static const char* hex = "0123456789ABCDEF";
  std::string text = "file://";
  for (unsigned char c : absolute)
  {
    if (isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~')
      text.push_back((char)c);
    else
    {
      text.push_back('%');
      text.push_back(hex[c >> 4]);
      text.push_back(hex[c & 15]);
    }
  }
  NSURL* u = new NSURL;
  u->mText = text;
  u->mPath = absolute;
  u->mFile = true;
  u->autorelease();
  return u;
}

std::string NSURL::scheme() const
{
  const size_t colon = mText.find(':');
  return colon == std::string::npos ? std::string() : mText.substr(0, colon);
}

// ---- NSWorkspace ----

NSWorkspace* NSWorkspace::sharedWorkspace()
{
  static NSWorkspace* s = new NSWorkspace;
  return s;
}

void NSWorkspace::setOpener(Opener opener)
{
  mOpener = std::move(opener);
  mOpened.clear();
}

bool NSWorkspace::run(const std::vector<std::string>& argv)
{
  mOpened.push_back(argv);
  if (mOpener) return mOpener(argv);
  std::vector<std::string> program = argv;
  if (const char* opener = getenv("DAVREL_OPENER"))
    if (*opener && program[0] == "xdg-open") program[0] = opener;
  std::vector<char*> args;
  for (const std::string& a : program) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  // Started directly: the argument never meets a shell.
  if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0)
  {
    fprintf(stderr, "appkit: cannot start %s\n", args[0]);
    return false;
  }
  // The opener hands over to the desktop and ends; reap it without making the main thread wait.
  std::thread([pid]() {
    int status = 0;
    waitpid(pid, &status, 0);
  }).detach();
  return true;
}

bool NSWorkspace::openURL(NSURL* url)
{
  if (!url) return false;
  return run({"xdg-open", url->absoluteString()});
}

bool NSWorkspace::openFile(const std::string& path)
{
  NSURL* url = NSURL::fileURLWithPath(path);
  return url && run({"xdg-open", url->absoluteString()});
}

namespace {
// The program of an application name: "Name.app" is "Name".
std::string programOf(const std::string& application)
{
  const size_t n = application.size();
  if (n > 4 && strcasecmp(application.c_str() + n - 4, ".app") == 0) return application.substr(0, n - 4);
  return application;
}
}  // namespace

bool NSWorkspace::openFile(const std::string& path, const std::string& application, bool)
{
  if (application.empty() || strcasecmp(application.c_str(), "TextEdit.app") == 0) return openFile(path);
  const std::string program = programOf(application);
  // An absolute path, so a document named like an option stays a document.
  NSURL* document = NSURL::fileURLWithPath(path);
  return !program.empty() && document && run({program, document->path()});
}

bool NSWorkspace::launchApplication(const std::string& application)
{
  const std::string program = programOf(application);
  return !program.empty() && run({program});
}

bool NSWorkspace::selectFile(const std::string& path, const std::string&)
{
  struct stat st;
  std::string folder = path;
  if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
  {
    const size_t slash = path.rfind('/');
    folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  }
  return openFile(folder);
}

NSImage* NSWorkspace::iconForFiles(const std::vector<std::string>&)
{
  return new NSImage(32, 32, std::vector<uint32_t>(32 * 32, 0xFFE8E8E8u));
}

// ---- NSCursor ----

namespace {
NSCursor* gCurrentCursor = nullptr;
}

NSCursor* NSCursor::arrowCursor()
{
  static NSCursor* c = new NSCursor(AKCursorArrow);
  return c;
}

NSCursor* NSCursor::IBeamCursor()
{
  static NSCursor* c = new NSCursor(AKCursorIBeam);
  return c;
}

NSCursor* NSCursor::resizeUpCursor()
{
  static NSCursor* c = new NSCursor(AKCursorArrow);
  return c;
}

NSCursor* NSCursor::resizeUpDownCursor()
{
  static NSCursor* c = new NSCursor(AKCursorArrow);
  return c;
}

NSCursor* NSCursor::resizeLeftRightCursor()
{
  static NSCursor* c = new NSCursor(AKCursorArrow);
  return c;
}

NSCursor* NSCursor::openHandCursor()
{
  static NSCursor* c = new NSCursor(AKCursorArrow);
  return c;
}

// The presenters draw the arrow for the cursors they have no shape of.
NSCursor::NSCursor(NSImage* image, NSPoint hotSpot)
  : mKind(image ? AKCursorImage : AKCursorArrow), mImage(AKRetain(image)), mHotSpot(hotSpot)
{
}

NSCursor::~NSCursor()
{
  if (gCurrentCursor == this) gCurrentCursor = nullptr;
  AKRelease(mImage);
}

NSCursor* NSCursor::currentCursor() { return gCurrentCursor ? gCurrentCursor : arrowCursor(); }

void NSCursor::set()
{
  gCurrentCursor = this;
  if (!NSApplication::exists() || !NSApp->presenter()) return;
  if (mImage && mImage->width() > 0 && mImage->height() > 0)
    NSApp->presenter()->setImageCursor(mImage->width(), mImage->height(), mImage->pixels().data(), mHotSpot);
  else
    NSApp->presenter()->setCursor((AKCursorKind)mKind);
}

void NSCursor::hide()
{
  if (NSApplication::exists() && NSApp->presenter()) NSApp->presenter()->hideCursor();
}

void NSCursor::unhide()
{
  if (NSApplication::exists() && NSApp->presenter()) NSApp->presenter()->showCursor();
}
