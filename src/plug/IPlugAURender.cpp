// The render procedure of the Audio Unit adapter, its scratch buffers, and
// host time. All of it runs on the host's audio thread and allocates nothing.

#include "plug/IPlugAU.h"

#include <climits>
#include <cmath>
#include <cstring>

namespace {

// Values from the host are truncated toward zero; one beyond an int's range (a
// session of many hours, a damaged value) is held at its end, and NaN gives 0.
int HostInt(double v)
{
  if (!(v == v)) return 0;
  if (v >= (double)INT_MAX) return INT_MAX;
  if (v <= (double)INT_MIN) return INT_MIN;
  return (int)v;
}

int HostInt(UInt32 v) { return v > (UInt32)INT_MAX ? INT_MAX : (int)v; }

// Only a finite tempo above 0 counts: the editor divides by it.
bool UsableTempo(double tempo) { return tempo > 0.0 && std::isfinite(tempo); }

}  // namespace

void IPlugAU::SetBlockSize(int blockSize)
{
  const int nIn = NInChannels() * blockSize, nOut = NOutChannels() * blockSize;
  mInScratchBuf.Resize(nIn);
  mOutScratchBuf.Resize(nOut);
  if (mInScratchBuf.GetSize()) memset(mInScratchBuf.Get(), 0, (size_t)mInScratchBuf.GetSize() * sizeof(AudioSampleType));
  if (mOutScratchBuf.GetSize())
    memset(mOutScratchBuf.Get(), 0, (size_t)mOutScratchBuf.GetSize() * sizeof(AudioSampleType));
  IPlugBase::SetBlockSize(blockSize);
}

OSStatus IPlugAU::RenderProc(void* pPlug, AudioUnitRenderActionFlags* pFlags, const AudioTimeStamp* pTimestamp,
                             UInt32 outputBusIdx, UInt32 nFrames, AudioBufferList* pOutBufList)
{
  IPlugAU* _this = static_cast<IPlugAU*>(pPlug);
  if (!_this) return paramErr;
  return _this->DoRender(pFlags, pTimestamp, outputBusIdx, nFrames, pOutBufList);
}

void IPlugAU::Notify(AudioUnitRenderActionFlags flag, const AudioTimeStamp* pTimestamp, UInt32 outputBusIdx,
                     UInt32 nFrames, AudioBufferList* pOutBufList)
{
  for (int i = 0; i < mRenderNotify.GetSize(); ++i)
  {
    const AURenderCallbackStruct* pRN = mRenderNotify.Get(i);
    AudioUnitRenderActionFlags flags = flag;
    pRN->inputProc(pRN->inputProcRefCon, &flags, pTimestamp, outputBusIdx, nFrames, pOutBufList);
  }
}

OSStatus IPlugAU::PullInputs(const AudioTimeStamp* pTimestamp, UInt32 nFrames)
{
  const int nIn = mInBuses.GetSize();
  for (int i = 0; i < nIn; ++i)
  {
    BusChannels* pInBus = mInBuses.Get(i);
    InputBusConnection* pConn = mInBusConnections.Get(i);
    if (!pInBus->mConnected) continue;

    // Only as many buffers as the bus has channels, whatever the host set.
    int n = pInBus->mNHostChannels < pInBus->mNPlugChannels ? pInBus->mNHostChannels : pInBus->mNPlugChannels;
    if (n > kMaxBusChannels) n = kMaxBusChannels;
    if (n < 1) continue;
    const int start = pInBus->mPlugChannelStartIdx;
    AudioBufferListStorage<kMaxBusChannels> storage;
    AudioBufferList* pList = &storage.list;
    pList->mNumberBuffers = (UInt32)n;
    for (int c = 0; c < n; ++c)
    {
      AudioBuffer& b = pList->mBuffers[c];
      b.mNumberChannels = 1;
      b.mDataByteSize = nFrames * sizeof(AudioSampleType);
      b.mData = nullptr;
    }

    AudioUnitRenderActionFlags flags = 0;
    OSStatus r = noErr;
    switch (pConn->mInputType)
    {
      case eDirectFastProc:
        r = pConn->mUpstreamRenderProc(pConn->mUpstreamObj, &flags, pTimestamp, (UInt32)pConn->mUpstreamBusIdx, nFrames,
                                       pList);
        break;
      case eDirectNoFastProc:
        r = AudioUnitRender(pConn->mUpstreamUnit, &flags, pTimestamp, (UInt32)pConn->mUpstreamBusIdx, nFrames, pList);
        break;
      case eRenderCallback:
        for (int c = 0; c < n; ++c) pList->mBuffers[c].mData = mInScratchBuf.Get() + (start + c) * (int)nFrames;
        r = pConn->mUpstreamRenderCallback.inputProc(pConn->mUpstreamRenderCallback.inputProcRefCon, &flags, pTimestamp,
                                                     (UInt32)i, nFrames, pList);
        break;
      default: break;
    }
    if (r != noErr) return r;

    const int got = (int)pList->mNumberBuffers < n ? (int)pList->mNumberBuffers : n;
    for (int c = 0; c < n; ++c)
    {
      AudioSampleType* pData = (AudioSampleType*)pList->mBuffers[c].mData;
      // A source that gave no samples for a channel gives silence there.
      if (c >= got || !pData || pList->mBuffers[c].mDataByteSize < nFrames * sizeof(AudioSampleType))
      {
        pData = mInScratchBuf.Get() + (start + c) * (int)nFrames;
        memset(pData, 0, nFrames * sizeof(AudioSampleType));
      }
      AttachInputBuffers(start + c, 1, &pData, (int)nFrames);
    }
  }
  return noErr;
}

OSStatus IPlugAU::DoRender(AudioUnitRenderActionFlags*, const AudioTimeStamp* pTimestamp, UInt32 outputBusIdx,
                           UInt32 nFrames, AudioBufferList* pOutBufList)
{
  if (!pTimestamp || !(pTimestamp->mFlags & kAudioTimeStampSampleTimeValid) || outputBusIdx >= (UInt32)NOutBuses() ||
      nFrames > (UInt32)GetBlockSize())
    return kAudioUnitErr_InvalidPropertyValue;
  // Host buffers too small for the block are refused before anything is written.
  if (!pOutBufList) return kAudioUnitErr_InvalidPropertyValue;
  for (UInt32 c = 0; c < pOutBufList->mNumberBuffers; ++c)
  {
    const AudioBuffer& b = pOutBufList->mBuffers[c];
    if (b.mData && b.mDataByteSize < nFrames * sizeof(AudioSampleType)) return kAudioUnitErr_InvalidPropertyValue;
  }

  // What this thread sends to the hardware port from here on takes no lock and makes no system call.
  MarkMidiRenderThread();
  Notify(kAudioUnitRenderAction_PreRender, pTimestamp, outputBusIdx, nFrames, pOutBufList);

  if (pTimestamp->mSampleTime != mRenderTimestamp)
  {
    const OSStatus r = PullInputs(pTimestamp, nFrames);
    if (r != noErr) return r;
    mRenderTimestamp = pTimestamp->mSampleTime;
  }

  BusChannels* pOutBus = mOutBuses.Get((int)outputBusIdx);
  const int start = pOutBus->mPlugChannelStartIdx;
  // Only as many host buffers as the bus has channels are served.
  const int nBuffers = (int)pOutBufList->mNumberBuffers < pOutBus->mNPlugChannels ? (int)pOutBufList->mNumberBuffers
                                                                                   : pOutBus->mNPlugChannels;
  const int nHost = pOutBus->mNHostChannels >= 0 ? pOutBus->mNHostChannels : pOutBus->mNPlugChannels;
  if (!pOutBus->mConnected || nHost != nBuffers)
  {
    const int nConnected = nHost < nBuffers ? nHost : nBuffers;
    SetOutputChannelConnections(start, nConnected, true);
    SetOutputChannelConnections(start + nConnected, pOutBus->mNPlugChannels - nConnected, false);
    pOutBus->mConnected = true;
  }
  for (int c = 0; c < nBuffers; ++c)
  {
    AudioBuffer& b = pOutBufList->mBuffers[c];
    if (!b.mData)
    {
      b.mData = mOutScratchBuf.Get() + (start + c) * (int)nFrames;
      b.mDataByteSize = nFrames * sizeof(AudioSampleType);
    }
    AudioSampleType* pData = (AudioSampleType*)b.mData;
    AttachOutputBuffers(start + c, 1, &pData);
  }

  int lastConnected = NOutBuses() - 1;
  for (int i = 0; i < NOutBuses(); ++i)
  {
    if (!mOutBuses.Get(i)->mConnected)
    {
      lastConnected = i - 1;
      break;
    }
  }
  if ((int)outputBusIdx == lastConnected)
  {
    for (int i = (int)outputBusIdx + 1; i < NOutBuses(); ++i)
    {
      const BusChannels* pLater = mOutBuses.Get(i);
      SetOutputChannelConnections(pLater->mPlugChannelStartIdx, pLater->mNPlugChannels, false);
    }
    if (IsBypassed()) PassThroughBuffers((AudioSampleType)0, (int)nFrames);
    else ProcessBuffers((AudioSampleType)0, (int)nFrames);
  }

  Notify(kAudioUnitRenderAction_PostRender, pTimestamp, outputBusIdx, nFrames, pOutBufList);
  return noErr;
}

// ---- host time: each answer comes from a callback the host set, else a default ----

int IPlugAU::GetSamplePos()
{
  if (!mHostCallbacks.transportStateProc) return 0;
  Boolean playing = false, changed = false, looping = false;
  Float64 samplePos = 0.0, loopStart = 0.0, loopEnd = 0.0;
  if (mHostCallbacks.transportStateProc(mHostCallbacks.hostUserData, &playing, &changed, &samplePos, &looping,
                                        &loopStart, &loopEnd) != noErr)
    return 0;
  return HostInt(samplePos + 0.5);
}

double IPlugAU::GetTempo()
{
  if (mHostCallbacks.beatAndTempoProc)
  {
    Float64 currentBeat = 0.0, tempo = 0.0;
    if (mHostCallbacks.beatAndTempoProc(mHostCallbacks.hostUserData, &currentBeat, &tempo) == noErr &&
        UsableTempo(tempo))
      mTempo = tempo;
  }
  return mTempo;
}

void IPlugAU::GetTimeSig(int* pNum, int* pDenom)
{
  if (!mHostCallbacks.musicalTimeLocationProc) return;
  UInt32 sampleOffsetToNextBeat = 0, denom = 0;
  Float32 num = 0.0f;
  Float64 currentMeasureDownBeat = 0.0;
  if (mHostCallbacks.musicalTimeLocationProc(mHostCallbacks.hostUserData, &sampleOffsetToNextBeat, &num, &denom,
                                             &currentMeasureDownBeat) != noErr)
    return;
  if (pNum) *pNum = HostInt((double)num);
  if (pDenom) *pDenom = HostInt(denom);
}

void IPlugAU::GetTime(ITimeInfo* pTimeInfo)
{
  if (!pTimeInfo) return;
  if (mHostCallbacks.beatAndTempoProc)
  {
    Float64 currentBeat = 0.0, tempo = 0.0;
    if (mHostCallbacks.beatAndTempoProc(mHostCallbacks.hostUserData, &currentBeat, &tempo) == noErr)
    {
      if (UsableTempo(tempo)) pTimeInfo->mTempo = tempo;
      if (currentBeat > 0.0) pTimeInfo->mPPQPos = currentBeat;
    }
  }
  if (mHostCallbacks.transportStateProc)
  {
    Boolean playing = false, changed = false, looping = false;
    Float64 samplePos = 0.0, loopStart = 0.0, loopEnd = 0.0;
    if (mHostCallbacks.transportStateProc(mHostCallbacks.hostUserData, &playing, &changed, &samplePos, &looping,
                                          &loopStart, &loopEnd) == noErr)
    {
      if (samplePos > 0.0) pTimeInfo->mSamplePos = samplePos;
      if (loopStart > 0.0) pTimeInfo->mCycleStart = loopStart;
      if (loopEnd > 0.0) pTimeInfo->mCycleEnd = loopEnd;
      pTimeInfo->mTransportIsRunning = playing;
      pTimeInfo->mTransportLoopEnabled = looping;
    }
  }
  if (mHostCallbacks.musicalTimeLocationProc)
  {
    UInt32 sampleOffsetToNextBeat = 0, denom = 0;
    Float32 num = 0.0f;
    Float64 currentMeasureDownBeat = 0.0;
    if (mHostCallbacks.musicalTimeLocationProc(mHostCallbacks.hostUserData, &sampleOffsetToNextBeat, &num, &denom,
                                               &currentMeasureDownBeat) == noErr)
    {
      pTimeInfo->mNumerator = HostInt((double)num);
      pTimeInfo->mDenominator = HostInt(denom);
      if (currentMeasureDownBeat > 0.0) pTimeInfo->mLastBar = currentMeasureDownBeat;
    }
  }
}

// ---- nothing goes to the host ----

bool IPlugAU::SendMidiVST(IMidiMsg*) { return false; }
