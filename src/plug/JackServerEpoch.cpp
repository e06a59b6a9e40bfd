#include "plug/JackServerEpoch.h"

#include "plug/JackClientSettle.h"

#include <jack/jack.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

// The epoch in the upper bits, whether it has ended in the lowest; constant-
// initialised, so objects that end after this file's statics may still ask.
std::atomic<unsigned> gEpoch{1u << 1};

const unsigned kEnded = 1;

// JACK's library frees every client of the process at an opening once it has seen
// a server go, and says so only through its error function ("still allocated"):
// that ends the current epoch, whichever server it was (ours were freed too). A
// "read fail" line says nothing about our clients: any client of the process, of
// any server or epoch, writes it. The function is the whole process's: ours passes
// every line on to the one set before it, and gives it back when the library is
// unloaded (ErrorFunction). Should another part of the process set its own after
// ours, we hear nothing: the epochs then end on what our own clients tell (their
// shutdown callbacks, NoteJackServerGone) and on the server check before each
// opening (CheckServerBeforeOpening).
void (*gErrorsBefore)(const char*) = nullptr;

void HearJackErrors(const char* message)
{
  if (strstr(message, "clients are still allocated")) gEpoch.fetch_or(kEnded);
  if (gErrorsBefore) gErrorsBefore(message);
  else fprintf(stderr, "%s\n", message);
}

// Set by the first instance, before it opens a client, once the library keeps
// itself loaded (KeepOwnCodeLoaded): whatever chains after ours, a later copy of
// this library among them, calls into mapped code for the life of the process. A
// library loaded and unloaded without an instance leaves the function alone.
// Given back at the process's end unless another part of it set its own since.
struct ErrorFunction
{
  ErrorFunction()
  {
    gErrorsBefore = jack_error_callback;
    jack_set_error_function(&HearJackErrors);
  }
  ~ErrorFunction()
  {
    if (jack_error_callback == &HearJackErrors) jack_set_error_function(gErrorsBefore);
  }
};

}  // namespace

void ListenToJackErrors()
{
  static ErrorFunction listening;
}

namespace {

// Made at its first use, never destroyed: objects of other files may call at any time.
std::shared_mutex& Calls()
{
  static std::shared_mutex* calls = new std::shared_mutex;
  return *calls;
}

// The socket the server of the process's clients listens on (JACK_DEFAULT_SERVER,
// else "default"), as jackd2 names it.
std::string ServerSocketPath()
{
  return "/dev/shm/jack_" + JackServerNameOfProcess() + "_" + std::to_string(getuid()) + "_0";
}

// Which socket the live epoch's server had when the epoch began: a server replaced
// has another, one that died refuses connections. Under the openings' lock.
struct ServerSocket
{
  bool known = false;
  dev_t dev = 0;
  ino_t ino = 0;
} gEpochSocket;

void NoteEpochSocket()
{
  struct stat st;
  gEpochSocket.known = stat(ServerSocketPath().c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
  gEpochSocket.dev = gEpochSocket.known ? st.st_dev : 0;
  gEpochSocket.ino = gEpochSocket.known ? st.st_ino : 0;
}

// Before an opening, which frees every client of the process once the library has
// seen its server go: the live epoch ends when its server's socket is gone, another,
// or refuses. Asks the socket alone, without waiting: a stopped server's backlog
// takes the connection. Under the openings' lock.
void CheckServerBeforeOpening()
{
  const unsigned now = gEpoch.load();
  if ((now & kEnded) || !gEpochSocket.known) return;
  const std::string path = ServerSocketPath();
  struct stat st;
  bool gone = stat(path.c_str(), &st) != 0 || st.st_dev != gEpochSocket.dev || st.st_ino != gEpochSocket.ino;
  if (!gone)
  {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    if (fd >= 0 && path.size() < sizeof addr.sun_path)
    {
      memcpy(addr.sun_path, path.c_str(), path.size());
      gone = connect(fd, (const sockaddr*)&addr, sizeof addr) != 0 && errno == ECONNREFUSED;
    }
    if (fd >= 0) close(fd);
  }
  if (gone) NoteJackServerGone(now >> 1);
}

} // namespace

std::string JackServerNameOfProcess()
{
  const char* name = getenv("JACK_DEFAULT_SERVER");
  return name && *name ? name : "default";
}

unsigned JackClientOpened()
{
  unsigned now = gEpoch.load();
  while ((now & kEnded) && !gEpoch.compare_exchange_weak(now, ((now >> 1) + 1) << 1))
  {
  }
  const bool began = now & kEnded;
  // The server of a new epoch, or of the first, as it is now.
  if (began || !gEpochSocket.known) NoteEpochSocket();
  return began ? (now >> 1) + 1 : now >> 1;
}

JackClientCall::JackClientCall() { Calls().lock_shared(); }
JackClientCall::~JackClientCall() { Calls().unlock_shared(); }
void BeginJackClientOpening()
{
  Calls().lock();
  CheckServerBeforeOpening();
}
void EndJackClientOpening() { Calls().unlock(); }

bool JackServerEpochLives(unsigned epoch) { return epoch == kNoJackEpoch || gEpoch.load() == epoch << 1; }

void NoteJackServerGone(unsigned epoch)
{
  unsigned expected = epoch << 1;
  gEpoch.compare_exchange_strong(expected, expected | kEnded);
}

void RetireJackClient(unsigned epoch, std::function<void()> close, std::function<void()> keep)
{
  if (!JackServerEpochLives(epoch))
  {
    keep();
    return;
  }
  // Decided again when its turn comes: the server may go meanwhile. No client is
  // opened while a closing runs, so the library frees none under it.
  CloseJackClientApart([epoch, close, keep] {
    if (!JackServerEpochLives(epoch))
    {
      keep();
      return;
    }
    WaitForJackNotificationsTakenIn();
    if (JackServerEpochLives(epoch))
      close();
    else
      keep();
  });
}

void KeepJackClientOfGoneServer(const void* holder)
{
  // Never destroyed: a static's destructor would free nothing anyway.
  static std::mutex* lock = new std::mutex;
  static std::vector<const void*>* kept = new std::vector<const void*>;
  std::lock_guard<std::mutex> l(*lock);
  kept->push_back(holder);
}
