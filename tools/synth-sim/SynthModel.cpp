#include "SynthModel.h"

#include "SynthSim.h"

#include "hardware/SysexPacking.h"
#include "winsys/kernel.h"

#include <chrono>
#include <cstdio>
#include <cstring>

namespace
{
const int kGlobalSize = 235;

long long nowMs()
{
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool wellFormed(const SimBytes& m)
{
  if (m.size() < 6 || m.front() != 0xF0 || m.back() != 0xF7) return false;
  for (size_t i = 1; i + 1 < m.size(); ++i)
    if (m[i] & 0x80) return false;
  return true;
}
}  // namespace

SimBytes SynthModel::MakeProgram(int seed, uint8_t channelByte)
{
  uint8_t data[kProgramDataSize];
  char name[16];
  snprintf(name, sizeof name, "Prog %03d    ", seed % 1000);
  memcpy(data, name, kProgramNameLength);
  uint32_t x = 2463534242u + (uint32_t)seed * 747796405u;
  for (int d = kProgramNameLength; d < kProgramDataSize; ++d)
  {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    data[d] = (uint8_t)(x & 0xFF);
  }
  SimBytes msg(kProgramDumpSize);
  makeProgramDump(data, channelByte, msg.data());
  return msg;
}

SimBytes SynthModel::MakeGlobals(int channel, bool writeProtect)
{
  SimBytes g(kGlobalSize, 0);
  g[0] = 0xF0, g[1] = 0x42, g[2] = (uint8_t)(0x30 + channel), g[3] = 0x58, g[4] = 0x51, g[kGlobalSize - 1] = 0xF7;
  for (int i = 6; i < kGlobalSize - 1; ++i)
    if ((i - 5) % 8) g[(size_t)i] = (uint8_t)((i * 7) & 0x7F);
  g[5] = 0;
  g[6] = 27;   // master tune +27 (a signed byte; its sign bit is raw 5 bit 0)
  g[7] = 10;   // master transpose +10 (sign bit: raw 5 bit 1)
  g[11] = (uint8_t)((writeProtect ? 1 : 0) | 4);
  g[16] = (uint8_t)channel;
  g[21] = 0;
  g[25] = 0;
  return g;
}

SynthModel::SynthModel()
{
  for (int p = 0; p < 128; ++p) programs.push_back(MakeProgram(p));
  editBuffer = programs[0];
  globals = MakeGlobals(0, false);
}

SimBytes SynthModel::Reply(uint8_t function) const
{
  return {0xF0, 0x42, (uint8_t)(0x30 + globalChannel), 0x58, function, 0xF7};
}

SimAnswer SynthModel::DumpAnswer(const SimBytes& dump) const
{
  SimAnswer a;
  a.bytes = dump;
  a.dump = true;
  a.bytes[2] = (uint8_t)(0x30 + (faults.answerChannel >= 0 ? faults.answerChannel : globalChannel));
  if (faults.malformed) a.bytes[a.bytes.size() / 2] |= 0x80;
  if (faults.truncated)
  {
    a.bytes.resize(a.bytes.size() * 2 / 3);
    a.bytes.back() = 0xF7;
  }
  a.delayMs = faults.lateMs;
  return a;
}

std::vector<SimAnswer> SynthModel::Handle(const SimBytes& msg)
{
  std::lock_guard<std::mutex> l(lock);
  std::vector<SimAnswer> out;
  if (msg.empty()) return out;
  const uint8_t status = msg[0];
  if (status == (0xC0 | globalChannel) && msg.size() >= 2)
  {
    currentProgram = msg[1] & 0x7F;
    editBuffer = programs[(size_t)currentProgram];
    return out;
  }
  if (status != 0xF0) return out;
  // The universal device enquiry.
  if (msg.size() == 6 && msg[1] == 0x7E && msg[3] == 0x06 && msg[4] == 0x01)
  {
    if (!faults.silent)
    {
      SimAnswer a;
      a.bytes = {0xF0, 0x7E, (uint8_t)globalChannel, 0x06, 0x02, 0x42, 0x58, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0xF7};
      a.delayMs = faults.lateMs;
      out.push_back(a);
    }
    return out;
  }
  if (msg.size() < 6 || msg[1] != 0x42 || msg[3] != 0x58 || (msg[2] & 0xF0) != 0x30) return out;
  // Only messages on its own global channel reach it.
  if ((msg[2] & 0x0F) != globalChannel) return out;
  if (!wellFormed(msg))
  {
    ++badMessages;
    return out;
  }
  SimBytes reply;
  bool dump = false;
  SimBytes answer;
  switch (msg[4])
  {
    case 0x10:  // program dump request
      if (currentProgram == faults.silentProgram) return out;
      answer = editBuffer;
      dump = true;
      break;
    case 0x0E:  // global dump request
      if (faults.silentGlobals) return out;
      answer = globals;
      dump = true;
      break;
    case 0x1C:  // all-programs dump request
    {
      std::vector<uint8_t> data((size_t)kAllProgramDataSize);
      for (int p = 0; p < 128; ++p)
        if (sysexUnpack7(programs[(size_t)p].data() + 5, kProgramDumpSize - 6, data.data() + p * kProgramDataSize) < 0)
          return out;
      answer.assign((size_t)kAllProgramDumpSize, 0);
      answer[0] = 0xF0, answer[1] = 0x42, answer[2] = 0x30, answer[3] = 0x58, answer[4] = kSysexAllProgramDumpFunction;
      sysexPack7(data.data(), kAllProgramDataSize, answer.data() + 5);
      answer.back() = 0xF7;
      dump = true;
      break;
    }
    case 0x40:  // program dump into the edit buffer
      if (msg.size() != (size_t)kProgramDumpSize)
      {
        ++badMessages;
        reply = Reply(0x24);
        break;
      }
      editBuffer = msg;
      reply = Reply(0x23);
      break;
    case 0x51:  // global dump
      if (msg.size() != (size_t)kGlobalSize)
      {
        ++badMessages;
        reply = Reply(0x24);
        break;
      }
      globals = msg;
      globalChannel = globals[16] & 15;
      reply = Reply(0x23);
      break;
    case 0x11:  // program write request
      if (msg.size() != 8) return out;
      if (writeProtect())
      {
        ++refusedWrites;
        reply = Reply(0x22);
        break;
      }
      programs[msg[6] & 0x7F] = editBuffer;
      ++writes;
      reply = Reply(0x21);
      break;
    case 0x41:  // parameter change
      if (msg.size() == 10) parameters[msg[6] << 7 | msg[5]] = msg[7] | msg[8] << 7;
      return out;
    default:
      return out;
  }
  if (faults.silent) return out;
  for (int i = 0; i < faults.flood; ++i)
  {
    SimAnswer noise;
    noise.bytes = i % 3 == 2 ? SimBytes{0xF0, 0x43, 0x10, 0x01, (uint8_t)(i & 0x7F), 0xF7}
                             : SimBytes{(uint8_t)(0xB0 | ((globalChannel + 1 + i) & 15)), (uint8_t)(20 + i % 50), (uint8_t)(i & 0x7F)};
    noise.delayMs = faults.lateMs;
    out.push_back(noise);
  }
  if (dump)
  {
    ++requestsAnswered;
    if (faults.globalsAfterProgramRequest && msg[4] == 0x0E)
    {
      heldGlobals.push_back(DumpAnswer(answer));
      return out;
    }
    if (msg[4] == 0x10) out.insert(out.end(), heldGlobals.begin(), heldGlobals.end()), heldGlobals.clear();
    out.push_back(DumpAnswer(answer));
  }
  else if (!reply.empty())
  {
    SimAnswer a;
    a.bytes = reply;
    a.delayMs = faults.lateMs;
    out.push_back(a);
  }
  return out;
}

SimBytes SynthModel::SelectProgram(int program)
{
  std::lock_guard<std::mutex> l(lock);
  currentProgram = program & 0x7F;
  editBuffer = programs[(size_t)currentProgram];
  return {(uint8_t)(0xC0 | globalChannel), (uint8_t)currentProgram};
}

SimBytes SynthModel::EditParameter(int pl, int ph, int vl, int vh)
{
  std::lock_guard<std::mutex> l(lock);
  parameters[ph << 7 | pl] = vl | vh << 7;
  return {0xF0, 0x42, (uint8_t)(0x30 + globalChannel), 0x58, 0x41, (uint8_t)pl, (uint8_t)ph, (uint8_t)vl, (uint8_t)vh, 0xF7};
}

// ---- responder ------------------------------------------------------------------------

SimResponder::SimResponder(SynthSim& sim, SynthModel& model) : mSim(sim), mModel(model)
{
  mThread = std::thread([this] { Run(); });
  mSim.SetOnReceive([this](const SimMessage& m) { Take(m.bytes); });
}

void SimResponder::Take(const SimBytes& bytes)
{
  std::vector<SimAnswer> answers = mModel.Handle(bytes);
  if (answers.empty()) return;
  const double scale = SWELL_GetTimeScale();
  std::lock_guard<std::mutex> l(mLock);
  for (SimAnswer& a : answers) mQueue.emplace_back(nowMs() + (long long)(a.delayMs * scale), std::move(a));
  mCv.notify_all();
}

SimResponder::~SimResponder()
{
  mSim.SetOnReceive(nullptr);
  {
    std::lock_guard<std::mutex> l(mLock);
    mStop = true;
  }
  mCv.notify_all();
  mThread.join();
}

void SimResponder::SendNow(const SimBytes& bytes)
{
  std::lock_guard<std::mutex> l(mLock);
  SimAnswer a;
  a.bytes = bytes;
  mQueue.emplace_back(nowMs(), std::move(a));
  mCv.notify_all();
}

void SimResponder::Run()
{
  std::unique_lock<std::mutex> l(mLock);
  while (!mStop)
  {
    if (mQueue.empty())
    {
      mCv.wait(l);
      continue;
    }
    const long long due = mQueue.front().first;
    const long long now = nowMs();
    if (due > now)
    {
      mCv.wait_for(l, std::chrono::milliseconds(due - now));
      continue;
    }
    SimAnswer a = std::move(mQueue.front().second);
    mQueue.erase(mQueue.begin());
    int gone;
    bool paced;
    {
      std::lock_guard<std::mutex> ml(mModel.lock);
      gone = mModel.faults.goneAfterPieces;
      paced = mModel.faults.paced;
    }
    l.unlock();
    if (a.dump && gone >= 0)
    {
      // The cable is pulled in the middle of the dump: what went out stays unfinished.
      const size_t piece = 64;
      for (int k = 0; k < gone && (size_t)k * piece < a.bytes.size(); ++k)
      {
        const size_t from = (size_t)k * piece, to = std::min(a.bytes.size() - 1, from + piece);
        SimBytes part(a.bytes.begin() + (long)from, a.bytes.begin() + (long)to);
        mSim.Send(part);
      }
      mSim.WaitUntilSent(2000);
      mSim.Close();
      ++mClosures;
    }
    else if (mSim.IsOpen())
      mSim.Send(a.bytes, a.dump && paced ? SimPacing::Hardware() : SimPacing());
    l.lock();
  }
}
