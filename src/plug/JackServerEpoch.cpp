#include "plug/JackServerEpoch.h"

#include "plug/JackClientSettle.h"

#include <jack/jack.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <shared_mutex>
#include <vector>

namespace {

// The epoch in the upper bits, whether it has ended in the lowest; constant-
// initialised, so objects that end after this file's statics may still ask.
std::atomic<unsigned> gEpoch{1u << 1};

const unsigned kEnded = 1;

// JACK's library says through its error function, and only there, when a client's
// thread finds its server gone ("read fail", before the library marks the server
// as not running, which has the next opening free every client of the process),
// and that it freed the clients of a server it saw go ("still allocated"): either
// ends the current epoch. The first comes before any shutdown callback, and before
// anything can be freed. Every line still goes to the standard error, as the
// library's own function sends it.
void HearJackErrors(const char* message)
{
  if (strstr(message, "JackSocketClientChannel read fail") || strstr(message, "clients are still allocated"))
    gEpoch.fetch_or(kEnded);
  fprintf(stderr, "%s\n", message);
}

// Made at its first use, never destroyed: objects of other files may call at any time.
std::shared_mutex& Calls()
{
  static std::shared_mutex* calls = new std::shared_mutex;
  return *calls;
}

// Set as the library loads, before any client of the process is opened: the
// function is the whole process's (a host's own, had it one, is replaced).
const bool gListening = (jack_set_error_function(&HearJackErrors), true);

} // namespace

unsigned JackClientOpened()
{
  unsigned now = gEpoch.load();
  while ((now & kEnded) && !gEpoch.compare_exchange_weak(now, ((now >> 1) + 1) << 1))
  {
  }
  return (now & kEnded) ? (now >> 1) + 1 : now >> 1;
}

JackClientCall::JackClientCall() { Calls().lock_shared(); }
JackClientCall::~JackClientCall() { Calls().unlock_shared(); }
void BeginJackClientOpening() { Calls().lock(); }
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
