#include "plug/IPlugBase.h"

#include "base/KeepLoaded.h"

#include "gui/IGraphics.h"

#include <cstdio>
#include <cstring>

namespace {

void CopyName(char* dst, const char* src)
{
  snprintf(dst, IPlugBase::kNameLen, "%s", src ? src : "");
}

// Converts doubles to floats, or adds them to the floats already there.
void ToFloats(const double* src, float* dst, int n, bool accumulate)
{
  if (!src || !dst) return;
  if (accumulate)
    for (int i = 0; i < n; ++i) dst[i] += (float)src[i];
  else
    for (int i = 0; i < n; ++i) dst[i] = (float)src[i];
}

// Input channel i to output channel i below both counts; zeros in the other outputs.
template <class T>
void CopyInputsToOutputs(T** inputs, T** outputs, int nIn, int nOut, int nFrames)
{
  if (!outputs || nFrames < 1) return;
  for (int i = 0; i < nOut; ++i)
  {
    T* out = outputs[i];
    if (!out) continue;
    const T* in = (inputs && i < nIn) ? inputs[i] : nullptr;
    if (in) memmove(out, in, (size_t)nFrames * sizeof(T));
    else memset(out, 0, (size_t)nFrames * sizeof(T));
  }
}

void ZeroBuf(WDL_TypedBuf<double>& buf)
{
  if (buf.GetSize()) memset(buf.Get(), 0, (size_t)buf.GetSize() * sizeof(double));
}

// A slot that read the old scratch buffer (or belongs to an unconnected
// channel) follows it to the new one.
void ResizeScratch(WDL_TypedBuf<double>& buf, double** pSlot, bool connected, int blockSize)
{
  const double* old = buf.Get();
  buf.Resize(blockSize);
  ZeroBuf(buf);
  if (!connected || (old && *pSlot == old)) *pSlot = buf.Get();
}

}  // namespace

IPlugBase::IPlugBase(int, const char*, int, const char*, const char*, const char*, int vendorVersion, int uniqueID,
                     int mfrID, int latency, bool, bool plugDoesChunks, bool plugIsInst, EAPI plugAPI)
  : mUniqueID(uniqueID), mMfrID(mfrID), mVersion(vendorVersion), mAPI(plugAPI), mStateChunks(plugDoesChunks),
    mIsInst(plugIsInst), mLatency(latency), mInData(16 * (int)sizeof(double*)), mOutData(16 * (int)sizeof(double*))
{
  // A host may unload the library right after this instance closes, while threads
  // of it (the JACK owner's among them) end on their own: they keep their code.
  KeepOwnCodeLoaded();
}

void IPlugBase::initialize(int nAutomatableParams, int nParams, const char* channelIOStr, int nPresets,
                           const char* effectName, const char* productName, const char* mfrName, int, int, int, int,
                           bool, bool, bool)
{
  Trace(TRACELOC, "%s", CurrentTime());
  mNonAutomatedParamCount = nParams - nAutomatableParams;
  mPreviousPath.Set("");
  for (int i = 0; i < nParams; ++i) mParams.Add(new IParam);
  for (int i = 0; i < nPresets; ++i) mPresets.Add(new IPreset);
  CopyName(mEffectName, effectName);
  CopyName(mProductName, productName);
  CopyName(mMfrName, mfrName);
  ParseChannelIO(channelIOStr);
}

void IPlugBase::ParseChannelIO(const char* channelIOStr)
{
  if (!channelIOStr) return;
  int nInputs = 0, nOutputs = 0;
  for (const char* p = channelIOStr; p;)
  {
    int nIn = 0, nOut = 0;
    sscanf(p, "%d-%d", &nIn, &nOut);
    mChannelIO.Add(new ChannelIO(nIn, nOut));
    if (nIn > nInputs) nInputs = nIn;
    if (nOut > nOutputs) nOutputs = nOut;
    p = strchr(p, ' ');
    if (p) ++p;
  }

  mInData.Resize(nInputs);
  mOutData.Resize(nOutputs);
  if (mInData.GetSize() != nInputs || mOutData.GetSize() != nOutputs) return;
  for (int i = 0; i < nInputs; ++i)
  {
    mInData.Get()[i] = nullptr;
    InChannel* pIn = new InChannel;
    pIn->mSrc = mInData.Get() + i;
    mInChannels.Add(pIn);
  }
  for (int i = 0; i < nOutputs; ++i)
  {
    mOutData.Get()[i] = nullptr;
    OutChannel* pOut = new OutChannel;
    pOut->mDest = mOutData.Get() + i;
    mOutChannels.Add(pOut);
  }
}

IPlugBase::~IPlugBase()
{
  // No message from the hardware may reach a plug-in half torn down.
  StopMidiInput();
  delete mGraphics;
  mGraphics = nullptr;
  mParams.Empty(true);
  mPresets.Empty(true);
  mInChannels.Empty(true);
  mOutChannels.Empty(true);
  mChannelIO.Empty(true);
  mInputBusLabels.Empty(true);
  mOutputBusLabels.Empty(true);
  CloseMidiPorts();
}

int IPlugBase::NAutomatableParams() const
{
  const int n = NParams();
  int tail = mNonAutomatedParamCount;
  if (tail < 0) tail = 0;
  if (tail > n) tail = n;
  return n - tail;
}

// ---- default hooks ----

void IPlugBase::Reset()
{
  WDL_MutexLock lock(&mMutex);
}

void IPlugBase::OnParamChange(int)
{
  WDL_MutexLock lock(&mMutex);
}

void IPlugBase::OnParamChange2(int)
{
  WDL_MutexLock lock(&mMutex);
}

void IPlugBase::OnActivate(bool)
{
  WDL_MutexLock lock(&mMutex);
}

void IPlugBase::ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames)
{
  CopyInputsToOutputs(inputs, outputs, NInChannels(), NOutChannels(), nFrames);
}

void IPlugBase::ProcessSingleReplacing(float** inputs, float** outputs, int nFrames)
{
  CopyInputsToOutputs(inputs, outputs, NInChannels(), NOutChannels(), nFrames);
}

void IPlugBase::ProcessMidiMsg(IMidiMsg*, bool) {}

// ---- the port layer's entries that are the plug-in's own ----

void IPlugBase::MIDICallback(double timeStamp, std::vector<unsigned char>* message, void* userData)
{
  if (!userData) return;
  static_cast<IPlugBase*>(userData)->processMIDIInput(timeStamp, message, userData);
}

void IPlugBase::processMIDIInput(double timeStamp, std::vector<unsigned char>* message, void* userData)
{
  if (!userData) return;
  mMidiPorts.processMIDIInput(timeStamp, message, &mMidiPorts);
}

bool IPlugBase::SendMidiMsgs(WDL_TypedBuf<IMidiMsg>* pMsgs)
{
  bool all = true;
  const int n = pMsgs ? pMsgs->GetSize() : 0;
  for (int i = 0; i < n; ++i)
    if (!SendMidiMsg(pMsgs->Get() + i)) all = false;
  return all;
}

void IPlugBase::ProcessSysEx(ISysEx*, bool) {}

bool IPlugBase::MidiNoteName(int, char* noteName)
{
  if (noteName) noteName[0] = 0;
  return false;
}

bool IPlugBase::SerializeState(ByteChunk* pChunk)
{
  return SerializeParams(pChunk);
}

int IPlugBase::UnserializeState(ByteChunk* pChunk, int startPos)
{
  return UnserializeParams(pChunk, startPos);
}

void IPlugBase::SetLatency(int samples)
{
  mLatency = samples;
}

bool IPlugBase::SendMidiSysex(unsigned char*, int) { return false; }
bool IPlugBase::SendPatchSysex(unsigned char*, int) { return false; }
bool IPlugBase::SendMidiSysex2(std::vector<unsigned char>) { return false; }

// ---- the GUI road ----

void IPlugBase::SetParameterFromGUIImpl(int idx, double normalizedValue, bool fromHardware)
{
  WDL_MutexLock lock(&mMutex);
  IParam* pParam = GetParam(idx);
  if (!pParam) return;
  const double before = pParam->Value();
  pParam->SetNormalized(normalizedValue);
  InformHostOfParamChange(idx, normalizedValue);
  // A text parameter reports every edit, even one that leaves the value alone.
  if (pParam->Value() == before && pParam->Type() != kTypeText) return;
  if (fromHardware) OnParamChange2(idx);
  else OnParamChange(idx);
}

void IPlugBase::SetParameterFromGUI(int idx, double normalizedValue)
{
  SetParameterFromGUIImpl(idx, normalizedValue, false);
}

void IPlugBase::SetParameterFromGUI2(int idx, double normalizedValue)
{
  SetParameterFromGUIImpl(idx, normalizedValue, true);
}

void IPlugBase::AttachGraphics(IGraphics* pGraphics)
{
  if (!pGraphics) return;
  WDL_MutexLock lock(&mMutex);
  const int n = NParams();
  for (int i = 0; i < n; ++i) pGraphics->SetParameterFromPlug(i, GetParam(i)->GetNormalized(), true);
  pGraphics->PrepDraw();
  if (mGraphics != pGraphics) delete mGraphics;
  mGraphics = pGraphics;
}

void IPlugBase::RedrawParamControls()
{
  if (!mGraphics) return;
  const int n = NParams();
  for (int i = 0; i < n; ++i) mGraphics->SetParameterFromPlug(i, GetParam(i)->Value(), false);
}

void IPlugBase::OnParamReset()
{
  const int n = NAutomatableParams();
  for (int i = 0; i < n; ++i) OnParamChange(i);
  Reset();
}

void IPlugBase::DirtyParameters()
{
  WDL_MutexLock lock(&mMutex);
  const int n = NAutomatableParams();
  for (int i = 0; i < n; ++i) InformHostOfParamChange(i, GetParam(i)->GetNormalized());
}

// ---- identity, version, host ----

int IPlugBase::GetEffectVersion(bool decimal) const
{
  return decimal ? GetDecimalVersion(mVersion) : mVersion;
}

void IPlugBase::GetEffectVersionStr(char* str) const
{
  GetVersionStr(mVersion, str);
}

void IPlugBase::SetHost(const char* host, int version)
{
  mHost = LookUpHost(host);
  mHostVersion = version;
}

int IPlugBase::GetHostVersion(bool decimal)
{
  GetHost();
  return decimal ? GetDecimalVersion(mHostVersion) : mHostVersion;
}

void IPlugBase::GetHostVersionStr(char* str)
{
  GetHost();
  GetVersionStr(mHostVersion, str);
}

const char* IPlugBase::GetAPIString()
{
  switch (GetAPI())
  {
    case kAPIVST2: return "VST2";
    case kAPIVST3: return "VST3";
    case kAPIAU: return "AU";
    case kAPIRTAS: return "RTAS";
    case kAPIAAX: return "AAX";
    case kAPISA: return "Standalone";
    default: return "";
  }
}

double IPlugBase::GetSamplesPerBeat()
{
  const double tempo = GetTempo();
  return tempo > 0.0 ? mSampleRate * 60.0 / tempo : 0.0;
}

// ---- channels and buffers ----

bool IPlugBase::LegalIO(int nIn, int nOut) const
{
  const int n = mChannelIO.GetSize();
  for (int i = 0; i < n; ++i)
  {
    const ChannelIO* pIO = mChannelIO.Get(i);
    if ((nIn < 0 || nIn == pIO->mIn) && (nOut < 0 || nOut == pIO->mOut)) return true;
  }
  return false;
}

void IPlugBase::SetInputChannelConnections(int idx, int n, bool connected)
{
  const int end = idx + n < NInChannels() ? idx + n : NInChannels();
  for (int i = idx < 0 ? 0 : idx; i < end; ++i)
  {
    InChannel* pIn = mInChannels.Get(i);
    pIn->mConnected = connected;
    if (!connected) *(pIn->mSrc) = pIn->mScratchBuf.Get();
  }
}

void IPlugBase::SetOutputChannelConnections(int idx, int n, bool connected)
{
  const int end = idx + n < NOutChannels() ? idx + n : NOutChannels();
  for (int i = idx < 0 ? 0 : idx; i < end; ++i)
  {
    OutChannel* pOut = mOutChannels.Get(i);
    pOut->mConnected = connected;
    if (!connected) *(pOut->mDest) = pOut->mScratchBuf.Get();
  }
}

bool IPlugBase::IsInChannelConnected(int chIdx) const
{
  const InChannel* pIn = mInChannels.Get(chIdx);
  return pIn && pIn->mConnected;
}

bool IPlugBase::IsOutChannelConnected(int chIdx) const
{
  const OutChannel* pOut = mOutChannels.Get(chIdx);
  return pOut && pOut->mConnected;
}

void IPlugBase::LimitToStereoIO()
{
  if (NInChannels() > 2) SetInputChannelConnections(2, NInChannels() - 2, false);
  if (NOutChannels() > 2) SetOutputChannelConnections(2, NOutChannels() - 2, true);
}

void IPlugBase::SetBlockSize(int blockSize)
{
  if (blockSize == mBlockSize) return;
  for (int i = 0; i < NInChannels(); ++i)
  {
    InChannel* pIn = mInChannels.Get(i);
    ResizeScratch(pIn->mScratchBuf, pIn->mSrc, pIn->mConnected, blockSize);
  }
  for (int i = 0; i < NOutChannels(); ++i)
  {
    OutChannel* pOut = mOutChannels.Get(i);
    ResizeScratch(pOut->mScratchBuf, pOut->mDest, pOut->mConnected, blockSize);
  }
  mBlockSize = blockSize;
}

void IPlugBase::ZeroScratchBuffers()
{
  for (int i = 0; i < NInChannels(); ++i) ZeroBuf(mInChannels.Get(i)->mScratchBuf);
  for (int i = 0; i < NOutChannels(); ++i) ZeroBuf(mOutChannels.Get(i)->mScratchBuf);
}

void IPlugBase::AttachInputBuffers(int idx, int n, double** ppData, int)
{
  const int end = idx + n < NInChannels() ? idx + n : NInChannels();
  for (int i = idx < 0 ? 0 : idx; i < end; ++i)
  {
    InChannel* pIn = mInChannels.Get(i);
    if (pIn->mConnected) *(pIn->mSrc) = *(ppData++);
  }
}

void IPlugBase::AttachInputBuffers(int idx, int n, float** ppData, int nFrames)
{
  const int end = idx + n < NInChannels() ? idx + n : NInChannels();
  for (int i = idx < 0 ? 0 : idx; i < end; ++i)
  {
    InChannel* pIn = mInChannels.Get(i);
    if (!pIn->mConnected) continue;
    double* pScratch = pIn->mScratchBuf.Get();
    if (nFrames > 0)
    {
      // Never past the scratch buffer, whatever frame count arrives.
      const int frames = nFrames < pIn->mScratchBuf.GetSize() ? nFrames : pIn->mScratchBuf.GetSize();
      const float* src = *(ppData++);
      if (src)
        for (int s = 0; s < frames; ++s) pScratch[s] = (double)src[s];
    }
    *(pIn->mSrc) = pScratch;
  }
}

void IPlugBase::AttachOutputBuffers(int idx, int n, double** ppData)
{
  const int end = idx + n < NOutChannels() ? idx + n : NOutChannels();
  for (int i = idx < 0 ? 0 : idx; i < end; ++i)
  {
    OutChannel* pOut = mOutChannels.Get(i);
    if (pOut->mConnected) *(pOut->mDest) = *(ppData++);
  }
}

void IPlugBase::AttachOutputBuffers(int idx, int n, float** ppData)
{
  const int end = idx + n < NOutChannels() ? idx + n : NOutChannels();
  for (int i = idx < 0 ? 0 : idx; i < end; ++i)
  {
    OutChannel* pOut = mOutChannels.Get(i);
    if (!pOut->mConnected) continue;
    *(pOut->mDest) = pOut->mScratchBuf.Get();
    pOut->mFDest = *(ppData++);
  }
}

void IPlugBase::ConvertOutputsToFloats(int nFrames, bool accumulate)
{
  for (int i = 0; i < NOutChannels(); ++i)
  {
    OutChannel* pOut = mOutChannels.Get(i);
    if (pOut->mConnected) ToFloats(*(pOut->mDest), pOut->mFDest, nFrames, accumulate);
  }
}

void IPlugBase::ProcessBuffers(double, int nFrames)
{
  ProcessDoubleReplacing(mInData.Get(), mOutData.Get(), nFrames);
}

void IPlugBase::ProcessBuffers(float, int nFrames)
{
  ProcessDoubleReplacing(mInData.Get(), mOutData.Get(), nFrames);
  ConvertOutputsToFloats(nFrames, false);
}

void IPlugBase::ProcessBuffersAccumulating(float, int nFrames)
{
  ProcessDoubleReplacing(mInData.Get(), mOutData.Get(), nFrames);
  ConvertOutputsToFloats(nFrames, true);
}

void IPlugBase::PassThroughBuffers(double, int nFrames)
{
  CopyInputsToOutputs(mInData.Get(), mOutData.Get(), NInChannels(), NOutChannels(), nFrames);
}

void IPlugBase::PassThroughBuffers(float, int nFrames)
{
  CopyInputsToOutputs(mInData.Get(), mOutData.Get(), NInChannels(), NOutChannels(), nFrames);
  ConvertOutputsToFloats(nFrames, false);
}

void IPlugBase::SetInputLabel(int idx, const char* label)
{
  if (InChannel* pIn = mInChannels.Get(idx)) pIn->mLabel.Set(label);
}

void IPlugBase::SetOutputLabel(int idx, const char* label)
{
  if (OutChannel* pOut = mOutChannels.Get(idx)) pOut->mLabel.Set(label);
}

void IPlugBase::SetInputBusLabel(int idx, const char* label)
{
  if (idx < 0 || idx > 1) return;
  mInputBusLabels.Delete(idx, true);
  const int n = mInputBusLabels.GetSize();
  mInputBusLabels.Insert(idx < n ? idx : n, new WDL_String(label));
}

void IPlugBase::SetOutputBusLabel(int idx, const char* label)
{
  if (idx < 0) return;
  mOutputBusLabels.Delete(idx, true);
  const int n = mOutputBusLabels.GetSize();
  mOutputBusLabels.Insert(idx < n ? idx : n, new WDL_String(label));
}

const char* IPlugBase::GetInputLabel(int idx) const
{
  const InChannel* pIn = mInChannels.Get(idx);
  return pIn ? pIn->mLabel.Get() : "";
}

const char* IPlugBase::GetOutputLabel(int idx) const
{
  const OutChannel* pOut = mOutChannels.Get(idx);
  return pOut ? pOut->mLabel.Get() : "";
}

const char* IPlugBase::GetInputBusLabel(int idx) const
{
  const WDL_String* pLabel = mInputBusLabels.Get(idx);
  return pLabel ? pLabel->Get() : "";
}

const char* IPlugBase::GetOutputBusLabel(int idx) const
{
  const WDL_String* pLabel = mOutputBusLabels.Get(idx);
  return pLabel ? pLabel->Get() : "";
}
