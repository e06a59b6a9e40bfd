#pragma once
// The JACK server's life as this process's clients know it, answered in one place.
// Every JACK client of the port layer belongs to the epoch it was opened in. An
// epoch ends when its server goes (a client of the process finds it gone, or a
// client's shutdown callback says so), or when JACK's library frees every client
// of the process, which it does at the next opening once it has seen its server
// go, without a word to the clients it frees.
// The first client opened after that starts the next epoch. A client of an ended
// epoch is never called again, not even closed: the library crashes on one it
// has freed, and one it has not would wait for a server that is not there.

#include <functional>
#include <string>

// JACK's error function chained to ours from now on (ours passes every line on to
// the one it found): once, before the process's first client of ours opens. Only a
// library that keeps itself loaded may call it.
void ListenToJackErrors();

// Objects that are no JACK client (another interface of the port library): their
// epoch never ends.
const unsigned kNoJackEpoch = 0;

// Right after a JACK client was opened: the epoch it belongs to (a new one when
// the last has ended). Any thread.
unsigned JackClientOpened();

// The server this process's JACK clients open on: JACK_DEFAULT_SERVER, else
// "default", as JACK's library takes it. Any thread.
std::string JackServerNameOfProcess();

// Whether epoch lives: its server has not been seen to go. Any thread, no wait.
bool JackServerEpochLives(unsigned epoch);

// A client of epoch heard its server go. A late word of an epoch already ended
// changes nothing. Any thread, JACK's own included.
void NoteJackServerGone(unsigned epoch);

// Held around every call into a JACK client of the process that is open (a port
// opened, closed or connected, a listing), with the check of the client's epoch
// just before it: JACK's library frees every client of the process as it opens
// one once it has seen its server go, and RtMidi's closing of a port waits up to a
// second inside the call. Openings (JackClientOpening) hold it alone, so no client
// is freed under a call. Shared: calls never wait for each other. Any thread; not
// inside a JackClientOpening.
class JackClientCall
{
public:
  JackClientCall();
  ~JackClientCall();
  JackClientCall(const JackClientCall&) = delete;
  JackClientCall& operator=(const JackClientCall&) = delete;
};
// For JackClientOpening: taken alone before the opening, let go of after it.
void BeginJackClientOpening();
void EndJackClientOpening();

// Lets go of a JACK client of epoch: close runs on the closings' thread
// (JackClientSettle.h) when the epoch still lives as its turn comes, else keep,
// which hands what holds the client to KeepJackClientOfGoneServer. Any thread.
void RetireJackClient(unsigned epoch, std::function<void()> close, std::function<void()> keep);

// Keeps what holds a JACK client of an ended epoch (a port object, a look): never
// closed nor freed, only kept where a leak checker sees it held. A server restarted
// under a running program costs about 21 kB each time. Any thread.
void KeepJackClientOfGoneServer(const void* holder);
