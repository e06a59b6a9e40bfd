#pragma once
// Audio data records: time stamps, buffer lists and stream formats.

#include "platform/corefoundation/MacTypes.h"

#include <cstddef>

// The sample type of the non-interleaved float streams units exchange.
typedef Float32 AudioSampleType;

struct AudioTimeStamp
{
  Float64 mSampleTime;
  UInt64 mHostTime;
  Float64 mRateScalar;
  UInt64 mWordClockTime;
  UInt32 mFlags;
  UInt32 mReserved;
};

enum : UInt32
{
  kAudioTimeStampSampleTimeValid = 1u << 0,
  kAudioTimeStampHostTimeValid = 1u << 1,
};

struct AudioBuffer
{
  UInt32 mNumberChannels;
  UInt32 mDataByteSize;
  void* mData;
};

// Variable length: mNumberBuffers entries follow from mBuffers on.
struct AudioBufferList
{
  UInt32 mNumberBuffers;
  AudioBuffer mBuffers[1];
};

// Room for a buffer list of up to N buffers, on the stack or in a member.
template <int N>
struct AudioBufferListStorage
{
  static_assert(N >= 1, "at least one buffer");
  union
  {
    AudioBufferList list;
    unsigned char bytes[offsetof(AudioBufferList, mBuffers) + N * sizeof(AudioBuffer)];
  };
  AudioBufferListStorage() : list() {}
  static constexpr int kCapacity = N;
};

struct AudioStreamBasicDescription
{
  Float64 mSampleRate;
  UInt32 mFormatID;
  UInt32 mFormatFlags;
  UInt32 mBytesPerPacket;
  UInt32 mFramesPerPacket;
  UInt32 mBytesPerFrame;
  UInt32 mChannelsPerFrame;
  UInt32 mBitsPerChannel;
  UInt32 mReserved;
};
static_assert(sizeof(AudioStreamBasicDescription) == 40, "stream format record");

enum : UInt32
{
  kAudioFormatLinearPCM = MakeOSType("lpcm"),
};

enum : UInt32
{
  kAudioFormatFlagIsFloat = 1u << 0,
  kAudioFormatFlagIsBigEndian = 1u << 1,
  kAudioFormatFlagIsSignedInteger = 1u << 2,
  kAudioFormatFlagIsPacked = 1u << 3,
  kAudioFormatFlagIsNonInterleaved = 1u << 5,
};

typedef UInt32 AudioChannelLayoutTag;
enum : UInt32
{
  kAudioChannelLayoutTag_Mono = (100u << 16) | 1,
  kAudioChannelLayoutTag_Stereo = (101u << 16) | 2,
  kAudioChannelLayoutTag_Unknown = 0xFFFF0000u,
};
