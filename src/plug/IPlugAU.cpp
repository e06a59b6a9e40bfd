// The Audio Unit adapter: construction, the component entry and its dispatch,
// busses and connections.

#include "plug/IPlugAU.h"

#include "gui/IGraphics.h"

#include <cstring>
#include <vector>

IPlugAU::IPlugAU(IPlugInstanceInfo, int nParams, const char* channelIOStr, int nPresets, const char* effectName,
                 const char* productName, const char* mfrName, int vendorVersion, int uniqueID, int mfrID, int latency,
                 bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst, int)
  : IPlugBase(nParams, channelIOStr, nPresets, effectName, productName, mfrName, vendorVersion, uniqueID, mfrID,
              latency, plugDoesMidi, plugDoesChunks, plugIsInst, kAPIAU)
{
}

IPlugAU::~IPlugAU()
{
  mRenderNotify.Empty(true);
  mInBuses.Empty(true);
  mOutBuses.Empty(true);
  mInBusConnections.Empty(true);
  mPropertyListeners.Empty(true);
}

void IPlugAU::initialize(IPlugInstanceInfo instanceInfo, int nAutomatableParams, int nParams, const char* channelIOStr,
                         int nPresets, const char* effectName, const char* productName, const char* mfrName,
                         int vendorVersion, int uniqueID, int mfrID, int latency, bool plugDoesMidi,
                         bool plugDoesChunks, bool plugIsInst, int plugScChans)
{
  IPlugBase::initialize(nAutomatableParams, nParams, channelIOStr, nPresets, effectName, productName, mfrName,
                        vendorVersion, uniqueID, mfrID, latency, plugDoesMidi, plugDoesChunks, plugIsInst);
  mHostCallbacks = HostCallbackInfo{nullptr, nullptr, nullptr, nullptr};
  mParamDisplayStr[0] = 0;
  mOSXBundleID.Set(instanceInfo.mBundleID.Get());
  mCocoaViewFactoryClassName.Set(instanceInfo.mCocoaViewFactoryClassName.Get());

  const int nInputs = NInChannels(), nOutputs = NOutChannels();
  // A side chain cannot hold more channels than there are inputs.
  const int nSideChain = plugScChans < nInputs ? plugScChans : nInputs;
  auto addInBus = [this](int nPlugChannels, int startIdx) {
    mInBusConnections.Add(new InputBusConnection);
    BusChannels* pBus = new BusChannels;
    pBus->mNPlugChannels = nPlugChannels;
    pBus->mPlugChannelStartIdx = startIdx;
    mInBuses.Add(pBus);
  };
  if (nSideChain > 0)
  {
    addInBus(nInputs - nSideChain, 0);
    addInBus(nSideChain, nInputs - nSideChain);
    SetInputBusLabel(0, "main input");
    SetInputBusLabel(1, "aux input");
  }
  else if (nInputs)
  {
    addInBus(nInputs, 0);
    SetInputBusLabel(0, "input");
    SetInputBusLabel(1, "aux input");
  }

  if (IsInst())
  {
    const int nOutBuses = (nOutputs + 1) / 2;
    for (int k = 0; k < nOutBuses; ++k)
    {
      BusChannels* pBus = new BusChannels;
      pBus->mNPlugChannels = nOutputs - 2 * k < 2 ? nOutputs - 2 * k : 2;
      pBus->mPlugChannelStartIdx = 2 * k;
      mOutBuses.Add(pBus);
      char label[32];
      snprintf(label, sizeof(label), "output %i", k + 1);
      SetOutputBusLabel(k, label);
    }
  }
  else
  {
    BusChannels* pBus = new BusChannels;
    pBus->mNPlugChannels = nOutputs;
    mOutBuses.Add(pBus);
    SetOutputBusLabel(0, "output");
  }

  AssessInputConnections();
  SetBlockSize(1024);
}

// ---- busses ----

int IPlugAU::NHostChannelsConnected(WDL_PtrList<BusChannels>* pBuses, int excludeIdx)
{
  bool init = false;
  int nCh = 0;
  const int n = pBuses->GetSize();
  for (int i = 0; i < n; ++i)
  {
    const int nHostChannels = pBuses->Get(i)->mNHostChannels;
    if (i != excludeIdx && nHostChannels >= 0)
    {
      nCh += nHostChannels;
      init = true;
    }
  }
  return init ? nCh : -1;
}

bool IPlugAU::CheckLegalIO()
{
  const int nIn = NHostChannelsConnected(&mInBuses);
  const int nOut = NHostChannelsConnected(&mOutBuses);
  return (!nIn && !nOut) || LegalIO(nIn, nOut);
}

bool IPlugAU::CheckLegalIO(AudioUnitScope scope, int busIdx, int nChannels)
{
  int nIn, nOut;
  if (scope == kAudioUnitScope_Input)
  {
    const int others = NHostChannelsConnected(&mInBuses, busIdx);
    nIn = (others > 0 ? others : 0) + nChannels;
    nOut = mActive ? NHostChannelsConnected(&mOutBuses) : -1;
  }
  else
  {
    nIn = mActive ? NHostChannelsConnected(&mInBuses) : -1;
    const int others = NHostChannelsConnected(&mOutBuses, busIdx);
    nOut = (others > 0 ? others : 0) + nChannels;
  }
  return LegalIO(nIn, nOut);
}

const char* IPlugAU::AUInputTypeStr(int type)
{
  switch (type)
  {
    case eDirectFastProc: return "DirectFastProc";
    case eDirectNoFastProc: return "DirectNoFastProc";
    case eRenderCallback: return "RenderCallback";
    default: return "NotConnected";
  }
}

void IPlugAU::AssessInputConnections()
{
  WDL_MutexLock lock(&mMutex);
  SetInputChannelConnections(0, NInChannels(), false);
  const int nIn = mInBuses.GetSize();
  for (int i = 0; i < nIn; ++i)
  {
    BusChannels* pInBus = mInBuses.Get(i);
    InputBusConnection* pConn = mInBusConnections.Get(i);
    if (pConn->mUpstreamRenderProc && pConn->mUpstreamObj) pConn->mInputType = eDirectFastProc;
    else if (pConn->mUpstreamUnit) pConn->mInputType = eDirectNoFastProc;
    else if (pConn->mUpstreamRenderCallback.inputProc) pConn->mInputType = eRenderCallback;
    else pConn->mInputType = eNotConnected;

    pInBus->mConnected = pConn->mInputType != eNotConnected;
    if (!pInBus->mConnected) continue;
    if (pInBus->mNHostChannels < 0) pInBus->mNHostChannels = pInBus->mNPlugChannels;
    const int start = pInBus->mPlugChannelStartIdx;
    const int nHost = pInBus->mNHostChannels;
    const int rest = pInBus->mNPlugChannels - nHost;
    SetInputChannelConnections(start, nHost, true);
    SetInputChannelConnections(start + nHost, rest > 0 ? rest : 0, false);
  }
}

void IPlugAU::ClearConnections()
{
  for (int i = 0; i < mInBuses.GetSize(); ++i)
  {
    mInBuses.Get(i)->mConnected = false;
    mInBuses.Get(i)->mNHostChannels = -1;
  }
  for (int i = 0; i < mOutBuses.GetSize(); ++i)
  {
    mOutBuses.Get(i)->mConnected = false;
    mOutBuses.Get(i)->mNHostChannels = -1;
  }
  for (int i = 0; i < mInBusConnections.GetSize(); ++i) *mInBusConnections.Get(i) = InputBusConnection();
}

IPlugAU::BusChannels* IPlugAU::GetBus(AudioUnitScope scope, AudioUnitElement busIdx)
{
  if (busIdx > 0x7fffffffu) return nullptr;
  if (scope == kAudioUnitScope_Global || scope == kAudioUnitScope_Output) return mOutBuses.Get((int)busIdx);
  if (scope == kAudioUnitScope_Input) return mInBuses.Get((int)busIdx);
  return nullptr;
}

void IPlugAU::ResizeGraphics(int, int)
{
  if (GetGUI()) OnWindowResize();
}

// ---- the component entry ----

ComponentResult IPlugAU::IPlugAUEntry(ComponentParameters* params, void* pPlug)
{
  if (!params) return paramErr;
  IPlugAU* _this = static_cast<IPlugAU*>(pPlug);

  if (params->what == kComponentOpenSelect)
  {
    if (!ComponentHasArgs(params, 1)) return paramErr;
    ComponentInstance ci = ComponentArg<ComponentInstance>(params, 0);
    _this = MakePlug();  // under the factory's own mutex
    if (!_this) return badComponentInstance;
    // The instance is whole: its port lists are read beside the host's next steps.
    _this->ReadMidiPortListsAhead();
    _this->HostSpecificInit();
    _this->PruneUninitializedPresets();
    _this->mCI = ci;
    SetComponentInstanceStorage(ci, _this);
    return noErr;
  }
  if (!_this) return badComponentInstance;
  if (params->what == kComponentCloseSelect)
  {
    _this->ClearConnections();
    // What sends stops first; then a port thread still inside a JACK server that
    // does not answer (two seconds at most) leaves the instance kept (the port
    // layer's log says so), not freed under it, and sending nothing.
    _this->StopOwnSenders();
    if (!_this->StopMidiPortThreads()) return noErr;
    delete _this;
    return noErr;
  }

  WDL_MutexLock lock(&_this->mMutex);
  return _this->Dispatch(params);
}

ComponentResult IPlugAU::Dispatch(ComponentParameters* params)
{
  auto args = [params](int n) { return ComponentHasArgs(params, n); };
  switch (params->what)
  {
    case kComponentCanDoSelect:
    {
      if (!args(1)) return paramErr;
      switch (ComponentArg<SInt16>(params, 0))
      {
        case kAudioUnitInitializeSelect:
        case kAudioUnitUninitializeSelect:
        case kAudioUnitGetPropertyInfoSelect:
        case kAudioUnitGetPropertySelect:
        case kAudioUnitSetPropertySelect:
        case kAudioUnitGetParameterSelect:
        case kAudioUnitSetParameterSelect:
        case kAudioUnitResetSelect:
        case kAudioUnitAddPropertyListenerSelect:
        case kAudioUnitRemovePropertyListenerSelect:
        case kAudioUnitRenderSelect:
        case kAudioUnitAddRenderNotifySelect:
        case kAudioUnitRemoveRenderNotifySelect:
        case kAudioUnitScheduleParametersSelect: return 1;
        default: return 0;
      }
    }
    case kComponentVersionSelect: return GetEffectVersion(false);

    case kAudioUnitInitializeSelect:
    {
      if (!CheckLegalIO()) return badComponentSelector;
      mActive = true;
      OnParamReset();
      OnActivate(true);
      return noErr;
    }
    case kAudioUnitUninitializeSelect:
    {
      mActive = false;
      OnActivate(false);
      return noErr;
    }
    case kAudioUnitGetPropertyInfoSelect:
    {
      if (!args(5)) return paramErr;
      UInt32 dataSize = 0;
      Boolean writeable = false;
      UInt32* pDataSize = ComponentArg<UInt32*>(params, 3);
      Boolean* pWriteable = ComponentArg<Boolean*>(params, 4);
      if (!pDataSize) pDataSize = &dataSize;
      if (!pWriteable) pWriteable = &writeable;
      *pWriteable = false;
      return GetProperty(ComponentArg<UInt32>(params, 0), ComponentArg<UInt32>(params, 1),
                         ComponentArg<UInt32>(params, 2), pDataSize, pWriteable, nullptr);
    }
    case kAudioUnitGetPropertySelect:
    {
      if (!args(5)) return paramErr;
      void* pData = ComponentArg<void*>(params, 3);
      UInt32* pDataSize = ComponentArg<UInt32*>(params, 4);
      UInt32 dataSize = 0;
      Boolean writeable = false;
      // Without the room of the destination nothing can be written safely.
      if (!pDataSize)
      {
        if (pData) return paramErr;
        pDataSize = &dataSize;
      }
      return GetProperty(ComponentArg<UInt32>(params, 0), ComponentArg<UInt32>(params, 1),
                         ComponentArg<UInt32>(params, 2), pDataSize, &writeable, pData);
    }
    case kAudioUnitSetPropertySelect:
    {
      if (!args(5)) return paramErr;
      UInt32 dataSize = ComponentArg<UInt32>(params, 4);
      return SetProperty(ComponentArg<UInt32>(params, 0), ComponentArg<UInt32>(params, 1),
                         ComponentArg<UInt32>(params, 2), &dataSize, ComponentArg<const void*>(params, 3));
    }
    case kAudioUnitGetParameterSelect:
    {
      if (!args(4)) return paramErr;
      return GetParamProc(this, ComponentArg<UInt32>(params, 0), ComponentArg<UInt32>(params, 1),
                          ComponentArg<UInt32>(params, 2), ComponentArg<AudioUnitParameterValue*>(params, 3));
    }
    case kAudioUnitSetParameterSelect:
    {
      if (!args(5)) return paramErr;
      return SetParamProc(this, ComponentArg<UInt32>(params, 0), ComponentArg<UInt32>(params, 1),
                          ComponentArg<UInt32>(params, 2), ComponentArg<AudioUnitParameterValue>(params, 3),
                          ComponentArg<UInt32>(params, 4));
    }
    case kAudioUnitResetSelect:
    {
      Reset();
      return noErr;
    }
    case kAudioUnitAddPropertyListenerSelect:
    {
      if (!args(3)) return paramErr;
      PropertyListener listener{ComponentArg<UInt32>(params, 0),
                                ComponentArg<AudioUnitPropertyListenerProc>(params, 1),
                                ComponentArg<void*>(params, 2)};
      for (int i = 0; i < mPropertyListeners.GetSize(); ++i)
      {
        const PropertyListener* pL = mPropertyListeners.Get(i);
        if (pL->mPropID == listener.mPropID && pL->mListenerProc == listener.mListenerProc) return noErr;
      }
      mPropertyListeners.Add(new PropertyListener(listener));
      return noErr;
    }
    case kAudioUnitRemovePropertyListenerSelect:
    case kAudioUnitRemovePropertyListenerWithUserDataSelect:
    {
      const bool withUserData = params->what == kAudioUnitRemovePropertyListenerWithUserDataSelect;
      if (!args(withUserData ? 3 : 2)) return paramErr;
      const UInt32 propID = ComponentArg<UInt32>(params, 0);
      const AudioUnitPropertyListenerProc proc = ComponentArg<AudioUnitPropertyListenerProc>(params, 1);
      void* userData = withUserData ? ComponentArg<void*>(params, 2) : nullptr;
      for (int i = 0; i < mPropertyListeners.GetSize(); ++i)
      {
        const PropertyListener* pL = mPropertyListeners.Get(i);
        if (pL->mPropID == propID && pL->mListenerProc == proc && (!withUserData || pL->mProcArgs == userData))
        {
          mPropertyListeners.Delete(i, true);
          break;
        }
      }
      return noErr;
    }
    case kAudioUnitRenderSelect:
    {
      if (!args(5)) return paramErr;
      return RenderProc(this, ComponentArg<AudioUnitRenderActionFlags*>(params, 0),
                        ComponentArg<const AudioTimeStamp*>(params, 1), ComponentArg<UInt32>(params, 2),
                        ComponentArg<UInt32>(params, 3), ComponentArg<AudioBufferList*>(params, 4));
    }
    case kAudioUnitAddRenderNotifySelect:
    {
      if (!args(2)) return paramErr;
      mRenderNotify.Add(
          new AURenderCallbackStruct{ComponentArg<AURenderCallback>(params, 0), ComponentArg<void*>(params, 1)});
      return noErr;
    }
    case kAudioUnitRemoveRenderNotifySelect:
    {
      if (!args(2)) return paramErr;
      const AURenderCallback proc = ComponentArg<AURenderCallback>(params, 0);
      for (int i = 0; i < mRenderNotify.GetSize(); ++i)
      {
        if (mRenderNotify.Get(i)->inputProc == proc)
        {
          mRenderNotify.Delete(i, true);
          break;
        }
      }
      return noErr;
    }
    case kAudioUnitScheduleParametersSelect:
    {
      if (!args(2)) return paramErr;
      const AudioUnitParameterEvent* pEvent = ComponentArg<const AudioUnitParameterEvent*>(params, 0);
      const UInt32 nEvents = ComponentArg<UInt32>(params, 1);
      for (UInt32 i = 0; pEvent && i < nEvents; ++i, ++pEvent)
      {
        if (pEvent->eventType != kParameterEvent_Immediate) continue;
        const OSStatus r = SetParamProc(this, pEvent->parameter, pEvent->scope, pEvent->element,
                                        pEvent->eventValues.immediate.value, pEvent->eventValues.immediate.bufferOffset);
        if (r != noErr) return r;
      }
      return noErr;
    }
    case kMusicDeviceMIDIEventSelect:
    {
      if (!args(4)) return paramErr;
      IMidiMsg msg(ComponentArg<int>(params, 3), ComponentArg<UInt8>(params, 0), ComponentArg<UInt8>(params, 1),
                   ComponentArg<UInt8>(params, 2));
      ProcessMidiMsg(&msg, false);
      return noErr;
    }
    case kMusicDeviceSysExSelect:
    {
      if (!args(2)) return paramErr;
      const UInt8* pData = ComponentArg<const UInt8*>(params, 0);
      const UInt32 length = ComponentArg<UInt32>(params, 1);
      ISysEx sysex(0, pData, pData && length <= 0x7fffffffu ? (int)length : 0);
      ProcessSysEx(&sysex, false);
      return noErr;
    }
    case kMusicDevicePrepareInstrumentSelect:
    case kMusicDeviceReleaseInstrumentSelect:
    case kMusicDeviceStopNoteSelect: return noErr;
    case kMusicDeviceStartNoteSelect:
    {
      if (!args(5)) return paramErr;
      NoteInstanceID* pNoteID = ComponentArg<NoteInstanceID*>(params, 2);
      const MusicDeviceNoteParams* pNote = ComponentArg<const MusicDeviceNoteParams*>(params, 4);
      // A pitch no id can hold (negative, too large, not a number) would make
      // the conversion undefined: it gives id 0.
      if (pNoteID && pNote)
      {
        const float pitch = pNote->mPitch;
        *pNoteID = pitch >= 0.0f && pitch < 4294967296.0f ? (NoteInstanceID)pitch : 0;
      }
      return noErr;
    }
    default: return badComponentSelector;
  }
}

OSStatus IPlugAU::GetProc(AudioUnitElement selector, UInt32* pDataSize, void* pData)
{
  void* proc;
  switch (selector)
  {
    case kAudioUnitRenderSelect: proc = (void*)(AudioUnitRenderProc)RenderProc; break;
    case kAudioUnitGetParameterSelect: proc = (void*)(AudioUnitGetParameterProc)GetParamProc; break;
    case kAudioUnitSetParameterSelect: proc = (void*)(AudioUnitSetParameterProc)SetParamProc; break;
    default: return kAudioUnitErr_InvalidElement;
  }
  if (pDataSize) *pDataSize = sizeof(void*);
  if (pData) memcpy(pData, &proc, sizeof(void*));
  return noErr;
}

// ---- the Carbon view component: it makes no view of its own ----

namespace {

struct CarbonViewRecord
{
  ComponentInstance mCI;
  IPlugAU* mPlug;
};

}  // namespace

ComponentResult IPlugAU::IPlugAUCarbonViewEntry(ComponentParameters* params, void* pView)
{
  if (!params) return paramErr;
  CarbonViewRecord* pRec = static_cast<CarbonViewRecord*>(pView);
  switch (params->what)
  {
    case kComponentOpenSelect:
    {
      if (!ComponentHasArgs(params, 1)) return paramErr;
      ComponentInstance ci = ComponentArg<ComponentInstance>(params, 0);
      SetComponentInstanceStorage(ci, new CarbonViewRecord{ci, nullptr});
      return noErr;
    }
    case kAudioUnitCarbonViewCreateSelect:
    {
      if (!pRec || !ComponentHasArgs(params, 6)) return badComponentSelector;
      AudioUnit editUnit = ComponentArg<AudioUnit>(params, 0);
      pRec->mPlug = static_cast<IPlugAU*>(GetComponentInstanceStorage(editUnit));
      if (!pRec->mPlug || !pRec->mPlug->GetGUI()) return badComponentSelector;
      void* control = pRec->mPlug->GetGUI()->OpenWindow(ComponentArg<void*>(params, 1), ComponentArg<void*>(params, 2), 0, 0);
      ControlRef* pOutControl = ComponentArg<ControlRef*>(params, 5);
      if (pOutControl) *pOutControl = static_cast<ControlRef>(control);
      return noErr;
    }
    case kComponentCloseSelect:
    {
      if (pRec && pRec->mPlug && pRec->mPlug->GetGUI()) pRec->mPlug->GetGUI()->CloseWindow();
      delete pRec;
      return noErr;
    }
    default: return badComponentSelector;
  }
}

// ---- notifications to the host ----

void SendAUEvent(AudioUnitEventType type, ComponentInstanceRecord* ci, int idx)
{
  AudioUnitEvent auEvent;
  memset(&auEvent, 0, sizeof(auEvent));
  auEvent.mEventType = type;
  auEvent.mArgument.mParameter.mAudioUnit = ci;
  auEvent.mArgument.mParameter.mParameterID = (AudioUnitParameterID)idx;
  auEvent.mArgument.mParameter.mScope = kAudioUnitScope_Global;
  auEvent.mArgument.mParameter.mElement = 0;
  AUEventListenerNotify(nullptr, nullptr, &auEvent);
}

void IPlugAU::BeginInformHostOfParamChange(int idx)
{
  SendAUEvent(kAudioUnitEvent_BeginParameterChangeGesture, mCI, idx);
}

void IPlugAU::InformHostOfParamChange(int idx, double)
{
  SendAUEvent(kAudioUnitEvent_ParameterValueChange, mCI, idx);
}

void IPlugAU::EndInformHostOfParamChange(int idx)
{
  SendAUEvent(kAudioUnitEvent_EndParameterChangeGesture, mCI, idx);
}

void IPlugAU::InformListeners(AudioUnitPropertyID propID, AudioUnitScope scope)
{
  // A listener may add or remove listeners from inside its call (the entry's
  // mutex is recursive). The ones registered now are called in order, each
  // once, and one removed meanwhile is no longer called.
  std::vector<PropertyListener> toCall;
  for (int i = 0; i < mPropertyListeners.GetSize(); ++i)
    if (mPropertyListeners.Get(i)->mPropID == propID) toCall.push_back(*mPropertyListeners.Get(i));
  for (const PropertyListener& l : toCall)
  {
    bool registered = false;
    for (int i = 0; i < mPropertyListeners.GetSize() && !registered; ++i)
    {
      const PropertyListener* pL = mPropertyListeners.Get(i);
      registered = pL->mPropID == propID && pL->mListenerProc == l.mListenerProc && pL->mProcArgs == l.mProcArgs;
    }
    if (registered) l.mListenerProc(l.mProcArgs, mCI, propID, scope, 0);
  }
}

void IPlugAU::InformHostOfProgramChange()
{
  InformListeners(kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global);
}

void IPlugAU::SetLatency(int samples)
{
  InformListeners(kAudioUnitProperty_Latency, kAudioUnitScope_Global);
  IPlugBase::SetLatency(samples);
}

// ---- host detection ----

int IPlugAU::GetHost()
{
  if (mHost == kHostUninit)
  {
    CFBundleRef mainBundle = CFBundleGetMainBundle();
    const std::string id = mainBundle ? CFStringToUTF8(CFBundleGetIdentifier(mainBundle)) : std::string();
    if (!id.empty()) SetHost(id.c_str(), 0);
    if (id.empty() || mHost == kHostUninit) SetHost("", 0);
  }
  return mHost;
}

void IPlugAU::HostSpecificInit()
{
  GetHost();
  OnHostIdentified();
}
