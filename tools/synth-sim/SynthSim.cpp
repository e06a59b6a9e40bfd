#include "SynthSim.h"

#include "JackTestServer.h"

#include "plug/JackBufferOrder.h"
#include "plug/MidiPortSelect.h"

#include <jack/midiport.h>
#include <jack/thread.h>

#include <chrono>
#include <cmath>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <thread>

SimBytes MakeSimDump(int size, int seed)
{
  SimBytes d(size > 5 ? size : 5);
  for (size_t i = 0; i < d.size(); ++i) d[i] = (unsigned char)((i * 7 + seed) & 0x7F);
  const unsigned char head[] = {0xF0, 0x42, 0x30, 0x58};
  for (int i = 0; i < 4; ++i) d[i] = head[i];
  d.back() = 0xF7;
  return d;
}

namespace {

// JACK's library makes a client's process thread at an ordinary priority and gives it
// about a second to start; past that the activation fails with the thread still
// coming, and a client closed then is freed under it (the process crashes inside the
// library). A machine whose cores spin, as the restart rows make it, keeps a new
// ordinary thread waiting that long. So the threads made while a client of this
// process activates start at the lowest realtime priority where that is allowed (the
// library sets the process thread's own as it starts), and a thread a failed
// activation left is ended before anything closes its client.
thread_local bool tActivating = false;

int CreateJackThread(jack_native_thread_t* thread, const pthread_attr_t* attr, void* (*run)(void*), void* arg)
{
  const int r = pthread_create(thread, attr, run, arg);
  if (r == 0 && tActivating)
  {
    sched_param p{};
    p.sched_priority = 1;
    pthread_setschedparam(*thread, SCHED_FIFO, &p);
  }
  return r;
}

int Activate(jack_client_t* client)
{
  static std::once_flag creator;
  std::call_once(creator, [] { jack_set_thread_creator(&CreateJackThread); });
  tActivating = true;
  const int r = jack_activate(client);
  tActivating = false;
  if (r != 0) jack_client_kill_thread(client, jack_client_thread_id(client));
  return r;
}

}  // namespace

SynthSim::SynthSim(const std::string& clientName)
  : mClientName(JackClientName(clientName)), mRecorder([this](const SimMessage& m) {
      if (mEcho.load()) Send(m.bytes);
    })
{
}

SynthSim::~SynthSim()
{
  Close();
}

bool SynthSim::Open(std::string* error)
{
  std::lock_guard<std::recursive_mutex> client(mClientLock);
  if (mClient) return true;
  jack_status_t status;
  mClient = jack_client_open(mClientName.c_str(), JackNoStartServer, &status);
  mGone.store(false);
  mGeneration = JackTestServer::Generation();
  if (!mClient)
  {
    if (error) *error = "cannot open JACK client " + mClientName + " (status " + std::to_string((int)status) + ")";
    return false;
  }
  // JACK renames a client whose name is taken; the ports must carry ours.
  mClientName = jack_get_client_name(mClient);
  mRate = jack_get_sample_rate(mClient);
  mPeriod = jack_get_buffer_size(mClient);
  mOut = jack_port_register(mClient, "MIDI Out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
  mIn = jack_port_register(mClient, "MIDI In", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
  if (!mOut || !mIn)
  {
    if (error) *error = "cannot register the MIDI ports of " + mClientName;
    Close();
    return false;
  }
  mOpenFrame = jack_frame_time(mClient);
  mOpenUsecs = jack_get_time();
  mRecorder.Start(mOpenFrame, mRate);
  jack_set_process_callback(mClient, &SynthSim::ProcessThunk, this);
  jack_set_xrun_callback(
      mClient, [](void* sim) { return static_cast<SynthSim*>(sim)->mXruns.fetch_add(1), 0; }, this);
  jack_on_info_shutdown(
      mClient, [](jack_status_t, const char*, void* sim) { static_cast<SynthSim*>(sim)->mGone.store(true); }, this);
  // Open before the first period: an echo of the first message must not be refused.
  mOpen.store(true);
  if (Activate(mClient) != 0)
  {
    if (error) *error = "cannot activate JACK client " + mClientName;
    Close();
    return false;
  }
  return true;
}

void SynthSim::Close()
{
  // A responder pulling the cable and the test's teardown may close at once.
  std::lock_guard<std::recursive_mutex> client(mClientLock);
  mOpen.store(false);
  if (mClient)
  {
    // Kept once its server went: JACK's library may have freed it. The recorder
    // below needs the process thread stopped, which the closing does.
    if (!mGone.load() && JackTestServer::Generation() == mGeneration)
    {
      jack_deactivate(mClient);
      jack_client_close(mClient);
    }
    mClient = nullptr;
    mOut = mIn = nullptr;
  }
  // The process thread has stopped: the recorder takes in what it left, then ends.
  mRecorder.Stop();
  std::lock_guard<std::mutex> l(mOutLock);
  mOutQueue.clear();
  mHaveNextAllowed = false;
}

bool SynthSim::Connect(const std::string& source, const std::string& destination)
{
  std::lock_guard<std::recursive_mutex> client(mClientLock);
  if (!mClient) return false;
  const int r = jack_connect(mClient, source.c_str(), destination.c_str());
  return r == 0 || r == EEXIST;
}

std::vector<std::string> SynthSim::FindPorts(const std::string& pattern) const
{
  std::vector<std::string> names;
  std::lock_guard<std::recursive_mutex> client(mClientLock);
  if (!mClient) return names;
  const char** ports = jack_get_ports(mClient, pattern.c_str(), JACK_DEFAULT_MIDI_TYPE, 0);
  for (const char** p = ports; p && *p; ++p) names.push_back(*p);
  if (ports) jack_free(ports);
  return names;
}

bool SynthSim::HasClient(const std::string& name) const
{
  std::lock_guard<std::recursive_mutex> client(mClientLock);
  if (!mClient) return false;
  char* uuid = jack_get_uuid_for_client_name(mClient, name.c_str());
  if (uuid) jack_free(uuid);
  return uuid != nullptr;
}

bool SynthSim::WaitForConnections(int outputs, int inputs, int timeoutMs) const
{
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;)
  {
    {
      std::lock_guard<std::recursive_mutex> client(mClientLock);
      if (mClient && jack_port_connected(mOut) == outputs && jack_port_connected(mIn) == inputs) return true;
    }
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

bool SynthSim::Send(const SimBytes& message, SimPacing pacing)
{
  if (!mOpen.load() || message.empty() || pacing.pieceBytes < 0 || pacing.pieceBytes > SimPacing::kMaxPieceBytes)
    return false;
  const int piece = pacing.pieceBytes ? pacing.pieceBytes : SimPacing::kMaxPieceBytes;
  const size_t count = (message.size() + piece - 1) / piece;
  std::lock_guard<std::mutex> l(mOutLock);
  for (size_t i = 0; i < count; ++i)
  {
    Piece p;
    p.bytes.assign(message.begin() + i * piece, message.begin() + std::min(message.size(), (i + 1) * piece));
    double gap = pacing.bytesPerSecond > 0 ? std::ceil(p.bytes.size() * mRate / pacing.bytesPerSecond) : 0.0;
    if (count > 1 && gap < mPeriod) gap = mPeriod;
    p.gapAfter = (jack_nframes_t)gap;
    mOutQueue.push_back(std::move(p));
  }
  return true;
}

bool SynthSim::WaitUntilSent(int timeoutMs) const
{
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;)
  {
    {
      std::lock_guard<std::mutex> l(mOutLock);
      if (mOutQueue.empty()) return true;
    }
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

int SynthSim::ProcessThunk(jack_nframes_t frames, void* self)
{
  return static_cast<SynthSim*>(self)->Process(frames);
}

int SynthSim::Process(jack_nframes_t frames)
{
  ReadIncoming(frames);
  WriteOutgoing(frames);
  return 0;
}

void SynthSim::ReadIncoming(jack_nframes_t frames)
{
  void* buf = jack_port_get_buffer(mIn, frames);
  TakeJackBuffer(buf);
  struct HandOn
  {
    void* buf;
    ~HandOn() { HandOnJackBuffer(buf); }
  } handOn{buf};
  // Arrival times count frames of the wall clock from the moment this cycle runs,
  // plus the event's offset in it. JACK's own frame count would lag after a lost
  // cycle (a timed driver counts on from an overrun, not across the time it lost),
  // and its cycle times follow a filtered estimate: on a loaded machine, what
  // arrived after a stall would seem early or late.
  const jack_time_t now = jack_get_time();
  const jack_nframes_t start =
      mOpenFrame + (jack_nframes_t)std::llround((double)(int64_t)(now - mOpenUsecs) * mRate / 1e6);
  if (mLastCycleUs != 0 && (long long)(now - mLastCycleUs) > mLongestCycleGapUs.load())
    mLongestCycleGapUs.store((long long)(now - mLastCycleUs));
  mLastCycleUs = now;
  const jack_nframes_t jackStart = jack_last_frame_time(mClient);
  const uint32_t n = jack_midi_get_event_count(buf);
  for (uint32_t i = 0; i < n; ++i)
  {
    jack_midi_event_t ev;
    if (jack_midi_event_get(&ev, buf, i) == 0)
      mRecorder.Push(ev.buffer, ev.size, start + ev.time, jackStart + ev.time,
                     (uint32_t)(jack_frames_to_time(mClient, jackStart + ev.time) - mOpenUsecs));
    if (i == 0 && mStallUs.load() > 0)
    {
      mStalling.store(true);
      std::this_thread::sleep_for(std::chrono::microseconds(mStallUs.exchange(0)));
      mStalling.store(false);
    }
  }
}

void SynthSim::WriteOutgoing(jack_nframes_t frames)
{
  void* buf = jack_port_get_buffer(mOut, frames);
  TakeJackBuffer(buf);
  struct HandOn
  {
    void* buf;
    ~HandOn() { HandOnJackBuffer(buf); }
  } handOn{buf};
  jack_midi_clear_buffer(buf);
  std::unique_lock<std::mutex> l(mOutLock, std::try_to_lock);
  if (!l.owns_lock()) return;
  const jack_nframes_t start = jack_last_frame_time(mClient);
  jack_nframes_t offset = 0;
  while (!mOutQueue.empty())
  {
    if (mHaveNextAllowed)
    {
      const int32_t wait = (int32_t)(mNextAllowed - start);
      if (wait >= (int32_t)frames) break;
      if (wait > (int32_t)offset) offset = (jack_nframes_t)wait;
    }
    Piece& p = mOutQueue.front();
    if (jack_midi_max_event_size(buf) < p.bytes.size()) break; // the rest waits for the next period
    if (jack_midi_event_write(buf, offset, p.bytes.data(), p.bytes.size()) != 0) break;
    mBytesSent.fetch_add((long long)p.bytes.size());
    mNextAllowed = start + offset + p.gapAfter;
    mHaveNextAllowed = p.gapAfter > 0;
    mOutQueue.pop_front();
  }
}

BusyJackClient::BusyJackClient(bool wanted)
{
  if (!wanted) return;
  jack_status_t status;
  mClient = jack_client_open(JackClientName("Busy Host").c_str(), JackNoStartServer, &status);
  if (!mClient) return;
  mHalfNs = (long long)jack_get_buffer_size(mClient) * 500000000LL / jack_get_sample_rate(mClient);
  jack_set_process_callback(mClient, &BusyJackClient::Process, this);
  Activate(mClient);
}

BusyJackClient::~BusyJackClient()
{
  if (mClient) jack_client_close(mClient);
}

int BusyJackClient::Process(jack_nframes_t, void* self)
{
  const auto end = std::chrono::steady_clock::now() + std::chrono::nanoseconds(static_cast<BusyJackClient*>(self)->mHalfNs);
  while (std::chrono::steady_clock::now() < end)
  {
  }
  return 0;
}
