#pragma once
// One JACK server of the test bed, private to one test process. It takes the
// server name that tools/jack-testbed.sh also uses (DAVREL_JACK_SERVER, default
// davrel-test-0), held by that name's file lock for as long as the server runs, starts jackd on the dummy back
// end in userland and in synchronous mode (a late client delays the period and
// loses nothing, as on a cable), waits until the server takes clients, and points this
// process's JACK clients (RtMidi's among them) at it. The server gets SIGTERM
// when the process dies, so a crashed or timed-out test stops it too.
// The test's own JACK clients are closed before Stop; the port layer's JACK owner
// keeps its own until the process ends (the next server of the name takes over
// the registry entry a server stopped under them leaves).

#include <string>
#include <thread>
#include <sys/types.h>

class JackTestServer
{
public:
  JackTestServer() {}
  ~JackTestServer() { Stop(); }
  JackTestServer(const JackTestServer&) = delete;
  JackTestServer& operator=(const JackTestServer&) = delete;

  // Frames a period (at 48 kHz) for servers started after this; 256 unless set.
  void SetPeriodFrames(int frames) { mPeriodFrames = frames; }
  // Servers started after this stand still (SIGSTOP) for ms once they listen, as
  // one busy or swapped out at its start does; 0 unless set.
  void SetStartStoppedMs(int ms) { mStartStoppedMs = ms; }
  // jackd's verbose log (-v) in its log file, for servers started after this.
  void SetVerbose(bool verbose) { mVerbose = verbose; }
  // Servers started after this run asynchronously (no -S): a client killed with its
  // clients open stands the server still for no client time-out.
  void SetAsynchronous(bool async) { mAsynchronous = async; }
  // Servers started after this take name instead of the test bed's (a second server
  // beside it: SecondName()).
  void SetName(const std::string& name) { mWanted = name; }
  // Servers started after this are waited for until they listen, with no client of
  // this process: JACK's library keeps one server's graph for its whole process, so
  // a process with clients on one server has none on a second (a program of its own
  // takes them there).
  void SetListenOnly(bool listenOnly) { mListenOnly = listenOnly; }
  // Waits at most lockSeconds for the name's lock, then at most 10 s for the server.
  bool Start(std::string* error = nullptr, int lockSeconds = 120);
  // Stops the running server under its clients, as a user restarting it does, and
  // starts it again at once; no client of the process waits for it to take clients
  // (a program of another process that takes the first client says when it does).
  // The name stays held. False when jackd could not be started.
  bool Restart(std::string* error = nullptr);
  // Stops the running server under its clients and keeps the name held: no other
  // process's server takes its place until Restart or Stop.
  void Halt();
  // Stops the server by its process id and frees its name.
  void Stop();

  bool Running() const { return mPid > 0; }
  // The server's process id (-1 when none runs): a benchmark stops and continues it.
  pid_t Pid() const { return mPid; }
  const std::string& Name() const { return mName; }

  // Counts the servers this process stopped (or found dead and reaped), those it
  // only listened for aside: a client opened before the count changed may have been
  // freed by JACK's library, which frees every client of the process at the first
  // opening after their server went.
  static unsigned Generation();

  // The test bed's server name: DAVREL_JACK_SERVER, else davrel-test-0.
  static std::string ServerName();
  // The test bed's second server name, for a test of two servers at once:
  // DAVREL_JACK_SERVER2, else the first's with "-2".
  static std::string SecondName();
  // Where the lock, pid and log files of the server names live.
  static std::string StateDir();

private:
  bool Launch(std::string* error);
  bool LaunchOnce(std::string* error, bool* retry, bool probe = true);
  void StopServer();

  std::string mName, mWanted;
  // The client that found the server ready stays until Stop: one that closes at
  // once can upset the clients opening right after it.
  struct _jack_client* mProbe = nullptr;
  int mLockFd = -1;
  pid_t mPid = -1;
  int mPeriodFrames = 256;
  int mStartStoppedMs = 0;
  bool mVerbose = false;
  bool mAsynchronous = false;
  bool mListenOnly = false;
  std::thread mWaker;  // continues a server started stopped
};
