#pragma once
// The value types that carry every MIDI message inside the plug-in: a short
// channel message with its sample offset, and a view on system-exclusive bytes
// that belong to someone else. Both live for the length of one call.

#include <cstdint>

struct IMidiMsg
{
  enum EStatusMsg : int
  {
    kNone = 0,
    kNoteOff = 8,
    kNoteOn = 9,
    kPolyAftertouch = 10,
    kControlChange = 11,
    kProgramChange = 12,
    kChannelAftertouch = 13,
    kPitchWheel = 14
  };

  // A controller number 0..127 as MIDI 1.0 numbers them.
  enum EControlChangeMsg : int
  {
    kModWheel = 1,
    kBreathController = 2,
    kFootController = 4,
    kPortamentoTime = 5,
    kDataEntryMSB = 6,
    kChannelVolume = 7,
    kBalance = 8,
    kPan = 10,
    kExpressionController = 11,
    kDataEntryLSB = 38,
    kSustainOnOff = 64,
    kPortamentoOnOff = 65,
    kSustenutoOnOff = 66,
    kSoftPedalOnOff = 67,
    kDataIncrement = 96,
    kDataDecrement = 97,
    kNRPNLSB = 98,
    kNRPNMSB = 99,
    kRPNLSB = 100,
    kRPNMSB = 101,
    kAllSoundOff = 120,
    kResetAllControllers = 121,
    kLocalControl = 122,
    kAllNotesOff = 123
  };

  int32_t mOffset;
  uint8_t mStatus, mData1, mData2;

  IMidiMsg(int offs = 0, uint8_t s = 0, uint8_t d1 = 0, uint8_t d2 = 0) : mOffset(offs), mStatus(s), mData1(d1), mData2(d2) {}

  // Builders overwrite all four fields. Arguments are not range-tested; the
  // channel is ORed in and computed values keep their low eight bits.
  void MakeNoteOnMsg(int noteNumber, int velocity, int offset, int channel = 0);
  void MakeNoteOffMsg(int noteNumber, int offset, int channel = 0, int velocity = 64);
  void MakePitchWheelMsg(double value, int channel = 0);
  void MakeProgramChangeMsg(double value, int channel = 0);
  void MakeControlChangeMsg(EControlChangeMsg idx, double value, int channel = 0);
  void Clear();

  // Parsers answer -1 (-1.0, or 0.0 for the pitch wheel) for another kind.
  int Channel() const { return mStatus & 0x0F; }
  EStatusMsg StatusMsg() const;
  int NoteNumber() const;
  int Velocity() const;
  int Program() const;
  double PitchWheel() const;
  EControlChangeMsg ControlChangeIdx() const { return (EControlChangeMsg)mData1; }
  double ControlChange(EControlChangeMsg idx) const;
  int MidiChannelIdx() const { return mStatus; }

  // One whole line of the console, after prefix: another thread's line never lands inside it.
  void LogMsg(const char* prefix = "") const;
};

struct ISysEx
{
  int32_t mOffset, mSize;
  const uint8_t* mData;

  ISysEx(int offs = 0, const uint8_t* pData = nullptr, int size = 0) : mOffset(offs), mSize(size), mData(pData) {}

  void Clear();
  void LogMsg(const char* prefix = "") const;
};

// "none", "unknown", "noteoff", "noteon " ... by the kind's value.
const char* StatusMsgStr(IMidiMsg::EStatusMsg msg);

// Two upper-case hex digits a byte, single blanks between; writes
// min(maxLen / 3, size) bytes so the text always fits. Returns str.
char* SysExStr(char* str, int maxLen, const uint8_t* pData, int size);
