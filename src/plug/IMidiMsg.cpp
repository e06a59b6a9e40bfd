#include "plug/IMidiMsg.h"

#include "base/log.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace {

// value x 127 truncated toward zero, kept defined for values no caller passes.
int Scale127(double value)
{
  const double v = value * 127.0;
  if (!(v > -1e9 && v < 1e9)) return 0;
  return (int)v;
}

}  // namespace

void IMidiMsg::MakeNoteOnMsg(int noteNumber, int velocity, int offset, int channel)
{
  mOffset = offset;
  mStatus = (uint8_t)(channel | (kNoteOn << 4));
  mData1 = (uint8_t)noteNumber;
  mData2 = (uint8_t)velocity;
}

void IMidiMsg::MakeNoteOffMsg(int noteNumber, int offset, int channel, int velocity)
{
  mOffset = offset;
  mStatus = (uint8_t)(channel | (kNoteOff << 4));
  mData1 = (uint8_t)noteNumber;
  mData2 = (uint8_t)velocity;
}

void IMidiMsg::MakePitchWheelMsg(double value, int channel)
{
  // Clamping the argument first gives the same bytes as clamping the result.
  double v = value;
  if (!(v == v)) v = 0.0;
  if (v < -1.0) v = -1.0;
  if (v > 1.0) v = 1.0;
  int i = (int)(v * 8192.0) + 8192;
  if (i > 16383) i = 16383;
  mOffset = 0;
  mStatus = (uint8_t)(channel | (kPitchWheel << 4));
  mData1 = (uint8_t)(i & 0x7F);
  mData2 = (uint8_t)(i >> 7);
}

void IMidiMsg::MakeProgramChangeMsg(double value, int channel)
{
  mOffset = 0;
  mStatus = (uint8_t)(channel | (kProgramChange << 4));
  mData1 = (uint8_t)Scale127(value);
  mData2 = 0xFF;  // never transmitted: a program change goes out with one data byte
}

void IMidiMsg::MakeControlChangeMsg(EControlChangeMsg idx, double value, int channel)
{
  mOffset = 0;
  mStatus = (uint8_t)(channel | (kControlChange << 4));
  mData1 = (uint8_t)idx;
  mData2 = (uint8_t)Scale127(value);
}

void IMidiMsg::Clear()
{
  mOffset = 0;
  mStatus = mData1 = mData2 = 0;
}

IMidiMsg::EStatusMsg IMidiMsg::StatusMsg() const
{
  if (mStatus < 0x80 || mStatus >= 0xF0) return kNone;
  return (EStatusMsg)(mStatus >> 4);
}

int IMidiMsg::NoteNumber() const
{
  switch (StatusMsg())
  {
    case kNoteOn:
    case kNoteOff:
    case kPolyAftertouch: return mData1;
    default: return -1;
  }
}

int IMidiMsg::Velocity() const
{
  switch (StatusMsg())
  {
    case kNoteOn:
    case kNoteOff: return mData2;
    default: return -1;
  }
}

int IMidiMsg::Program() const
{
  return (mStatus & 0xF0) == 0xC0 ? mData1 : -1;
}

double IMidiMsg::PitchWheel() const
{
  if ((mStatus & 0xF0) != 0xE0) return 0.0;
  const int val = (mData2 << 7) + mData1;
  return (double)(val - 8192) / 8192.0;
}

double IMidiMsg::ControlChange(EControlChangeMsg idx) const
{
  if ((mStatus & 0xF0) == 0xB0 && mData1 == (int)idx) return (double)mData2 / 127.0;
  return -1.0;
}

void IMidiMsg::LogMsg(const char* prefix) const
{
  ConsoleLog("%s(%s | %d | %d | %d)\n", prefix, StatusMsgStr(StatusMsg()), Channel() + 1, mData1, mData2);
}

void ISysEx::Clear()
{
  mOffset = mSize = 0;
  mData = nullptr;
}

void ISysEx::LogMsg(const char* prefix) const
{
  char str[3 * 32];
  SysExStr(str, (int)sizeof(str), mData, mSize);
  ConsoleLog("%s(%d : %s)\n", prefix, mSize, str);
}

const char* StatusMsgStr(IMidiMsg::EStatusMsg msg)
{
  static const char* const kNames[15] = {"none",    "unknown",    "unknown",       "unknown",       "unknown",
                                         "unknown", "unknown",    "unknown",       "noteoff",       "noteon ",
                                         "aftertouch", "controlchange", "programchange", "channelaftertouch", "pitchwheel"};
  const int i = (int)msg;
  return i >= 0 && i < 15 ? kNames[i] : "unknown";
}

char* SysExStr(char* str, int maxLen, const uint8_t* pData, int size)
{
  if (!str || maxLen < 1) return str;
  str[0] = 0;
  const int n = maxLen / 3 < size ? maxLen / 3 : size;
  if (!pData || n < 1) return str;
  char* p = str;
  for (int i = 0; i < n; ++i)
  {
    snprintf(p, 4, i ? " %02X" : "%02X", pData[i]);
    p += i ? 3 : 2;
  }
  return str;
}
