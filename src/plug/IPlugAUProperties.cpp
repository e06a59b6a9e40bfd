// Properties and host parameters of the Audio Unit adapter.

#include "plug/IPlugAU.h"

#include "gui/IGraphics.h"
#include "platform/carbon/Gestalt.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

CFStringRef MakeCFString(const char* text)
{
  CFStringRef s = CFStringCreateWithCString(nullptr, text ? text : "", kCFStringEncodingUTF8);
  // Texts that are not valid UTF-8 still reach the host, as far as they are ASCII.
  if (!s)
  {
    std::string ascii;
    for (const char* p = text; p && *p; ++p)
      if ((unsigned char)*p < 0x80) ascii += *p;
    s = CFStringCreateWithCString(nullptr, ascii.c_str(), kCFStringEncodingUTF8);
  }
  return s;
}

template <class T>
void Put(void* pData, const T& value)
{
  memcpy(pData, &value, sizeof(T));
}

template <class T>
T Get(const void* pData)
{
  T value;
  memcpy(&value, pData, sizeof(T));
  return value;
}

}  // namespace

// ---- fast parameter procedures ----

OSStatus IPlugAU::GetParamProc(void* pPlug, AudioUnitParameterID paramID, AudioUnitScope scope, AudioUnitElement,
                               AudioUnitParameterValue* pValue)
{
  if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidProperty;
  IPlugAU* _this = static_cast<IPlugAU*>(pPlug);
  if (!_this || !pValue) return paramErr;
  WDL_MutexLock lock(&_this->mMutex);
  IParam* pParam = paramID <= 0x7fffffffu ? _this->GetParam((int)paramID) : nullptr;
  if (!pParam) return kAudioUnitErr_InvalidElement;
  *pValue = (AudioUnitParameterValue)pParam->Value();
  return noErr;
}

OSStatus IPlugAU::SetParamProc(void* pPlug, AudioUnitParameterID paramID, AudioUnitScope scope, AudioUnitElement,
                               AudioUnitParameterValue value, UInt32)
{
  if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidProperty;
  IPlugAU* _this = static_cast<IPlugAU*>(pPlug);
  if (!_this) return paramErr;
  WDL_MutexLock lock(&_this->mMutex);
  IParam* pParam = paramID <= 0x7fffffffu ? _this->GetParam((int)paramID) : nullptr;
  if (!pParam) return kAudioUnitErr_InvalidElement;
  pParam->Set(value);
  if (IGraphics* pGraphics = _this->GetGUI()) pGraphics->SetParameterFromPlug((int)paramID, value, false);
  _this->OnParamChange((int)paramID);
  return noErr;
}

// ---- properties ----

OSStatus IPlugAU::GetParameterInfo(int paramIdx, AudioUnitParameterInfo* pInfo)
{
  memset(pInfo, 0, sizeof(AudioUnitParameterInfo));
  IParam* pParam = GetParam(paramIdx);
  pInfo->flags = kAudioUnitParameterFlag_CFNameRelease | kAudioUnitParameterFlag_HasCFNameString |
                 kAudioUnitParameterFlag_IsReadable;
  if (pParam->GetIsMeta()) pInfo->flags |= kAudioUnitParameterFlag_IsElementMeta;
  if (pParam->GetCanAutomate()) pInfo->flags |= kAudioUnitParameterFlag_IsWritable;

  const char* name = pParam->GetNameForHost();
  // Cut to the record's field; longer names travel whole in the name string.
  const size_t n = strnlen(name, sizeof(pInfo->name) - 1);
  memcpy(pInfo->name, name, n);
  pInfo->name[n] = 0;
  pInfo->cfNameString = MakeCFString(name);

  switch (pParam->Type())
  {
    case kTypeBool: pInfo->unit = kAudioUnitParameterUnit_Boolean; break;
    case kTypeInt:
    case kTypeEnum: pInfo->unit = kAudioUnitParameterUnit_Indexed; break;
    default:
    {
      const char* label = pParam->GetLabelForHost();
      if (label && *label)
      {
        pInfo->unit = kAudioUnitParameterUnit_CustomUnit;
        pInfo->unitName = MakeCFString(label);
      }
      else pInfo->unit = kAudioUnitParameterUnit_Generic;
    }
  }

  double vMin, vMax;
  pParam->GetBounds(&vMin, &vMax);
  pInfo->minValue = (AudioUnitParameterValue)vMin;
  pInfo->maxValue = (AudioUnitParameterValue)vMax;
  pInfo->defaultValue = (AudioUnitParameterValue)pParam->Value();

  const char* group = pParam->GetParamGroupForHost();
  if (group && *group)
  {
    int clumpIdx = -1;
    for (int i = 0; i < mParamGroups.GetSize(); ++i)
      if (!strcmp(mParamGroups.Get(i), group)) clumpIdx = i;
    if (clumpIdx < 0)
    {
      mParamGroups.Add(group);
      clumpIdx = mParamGroups.GetSize() - 1;
    }
    pInfo->clumpID = (UInt32)clumpIdx + 1;
    pInfo->flags |= kAudioUnitParameterFlag_HasClump;
  }
  return noErr;
}

UInt32 IPlugAU::GetChannelLayoutTags(AudioUnitScope scope, AudioUnitElement element, AudioChannelLayoutTag* pTags)
{
  BusChannels* pBus = GetBus(scope == kAudioUnitScope_Input ? kAudioUnitScope_Output : scope, element);
  if (!pBus) return 0;
  if (pTags) pTags[0] = GetTagForNumChannels(pBus->mNPlugChannels);
  return 1;
}

AudioChannelLayoutTag IPlugAU::GetTagForNumChannels(int numChannels)
{
  switch (numChannels)
  {
    case 1: return kAudioChannelLayoutTag_Mono;
    case 2: return kAudioChannelLayoutTag_Stereo;
    default: return kAudioChannelLayoutTag_Unknown;
  }
}

void IPlugAU::MakeDefaultASBD(AudioStreamBasicDescription* pASBD, double sampleRate, int nChannels, bool interleaved)
{
  memset(pASBD, 0, sizeof(AudioStreamBasicDescription));
  pASBD->mSampleRate = sampleRate;
  pASBD->mFormatID = kAudioFormatLinearPCM;
  pASBD->mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked;
  if (!interleaved) pASBD->mFormatFlags |= kAudioFormatFlagIsNonInterleaved;
  const UInt32 bytes = (UInt32)sizeof(AudioSampleType) * (interleaved ? (UInt32)nChannels : 1u);
  pASBD->mBytesPerPacket = bytes;
  pASBD->mFramesPerPacket = 1;
  pASBD->mBytesPerFrame = bytes;
  pASBD->mChannelsPerFrame = (UInt32)nChannels;
  pASBD->mBitsPerChannel = 8 * sizeof(AudioSampleType);
}

OSStatus IPlugAU::GetProperty(AudioUnitPropertyID propID, AudioUnitScope scope, AudioUnitElement element,
                              UInt32* pDataSize, Boolean* pWriteable, void* pData)
{
  const UInt32 room = pData ? *pDataSize : 0;
  // Sets the size (and the writable flag); false when the data does not fit.
  auto answer = [&](UInt32 size, bool writeable) {
    *pDataSize = size;
    if (writeable) *pWriteable = true;
    return !pData || room >= size;
  };
  constexpr OSStatus kNoRoom = kAudioUnitErr_InvalidPropertyValue;
  const int nShown = NAutomatableParams();
  const bool global = scope == kAudioUnitScope_Global;

  switch (propID)
  {
    case kAudioUnitProperty_ClassInfo:
    {
      if (!answer(sizeof(CFPropertyListRef), true)) return kNoRoom;
      if (!pData) return noErr;
      CFPropertyListRef dict = nullptr;
      const OSStatus r = GetState(&dict);
      if (r == noErr) Put(pData, dict);
      return r;
    }
    case kAudioUnitProperty_MakeConnection:
    {
      if (!global && scope != kAudioUnitScope_Input) return kAudioUnitErr_InvalidProperty;
      return answer(sizeof(AudioUnitConnection), true) ? noErr : kNoRoom;
    }
    case kAudioUnitProperty_SampleRate:
    {
      if (!answer(sizeof(Float64), true)) return kNoRoom;
      if (pData) Put<Float64>(pData, GetSampleRate());
      return noErr;
    }
    case kAudioUnitProperty_ParameterList:
    {
      const int n = global ? nShown : 0;
      if (!answer((UInt32)n * sizeof(AudioUnitParameterID), false)) return kNoRoom;
      for (int i = 0; pData && i < n; ++i) Put<AudioUnitParameterID>((AudioUnitParameterID*)pData + i, (UInt32)i);
      return noErr;
    }
    case kAudioUnitProperty_ParameterInfo:
    {
      if (!global) return kAudioUnitErr_InvalidProperty;
      if (element >= (UInt32)nShown) return kAudioUnitErr_InvalidElement;
      if (!answer(sizeof(AudioUnitParameterInfo), false)) return kNoRoom;
      if (!pData) return noErr;
      AudioUnitParameterInfo info;
      GetParameterInfo((int)element, &info);
      Put(pData, info);
      return noErr;
    }
    case kAudioUnitProperty_FastDispatch:
    {
      if (!answer(sizeof(void*), false)) return kNoRoom;
      return GetProc(element, pDataSize, pData);
    }
    case kAudioUnitProperty_StreamFormat:
    {
      BusChannels* pBus = GetBus(scope, element);
      if (!pBus) return kAudioUnitErr_InvalidProperty;
      if (!answer(sizeof(AudioStreamBasicDescription), true)) return kNoRoom;
      if (!pData) return noErr;
      const int nChannels = pBus->mNHostChannels >= 0 ? pBus->mNHostChannels : pBus->mNPlugChannels;
      AudioStreamBasicDescription asbd;
      MakeDefaultASBD(&asbd, GetSampleRate(), nChannels, false);
      Put(pData, asbd);
      return noErr;
    }
    case kAudioUnitProperty_ElementCount:
    {
      if (!answer(sizeof(UInt32), false)) return kNoRoom;
      UInt32 n = 0;
      if (global) n = 1;
      else if (scope == kAudioUnitScope_Output) n = (UInt32)NOutBuses();
      else if (scope == kAudioUnitScope_Input) n = (UInt32)NInBuses();
      if (pData) Put(pData, n);
      return noErr;
    }
    case kAudioUnitProperty_Latency:
    case kAudioUnitProperty_TailTime:
    {
      if (!global) return kAudioUnitErr_InvalidProperty;
      if (!answer(sizeof(Float64), false)) return kNoRoom;
      const double rate = GetSampleRate();
      if (pData) Put<Float64>(pData, rate > 0.0 ? (double)GetLatency() / rate : 0.0);
      return noErr;
    }
    case kAudioUnitProperty_SupportedNumChannels:
    {
      if (!global) return kAudioUnitErr_InvalidProperty;
      const int n = NChannelIO();
      if (!answer((UInt32)n * sizeof(AUChannelInfo), false)) return kNoRoom;
      for (int i = 0; pData && i < n; ++i)
      {
        const ChannelIO* pIO = mChannelIO.Get(i);
        Put((AUChannelInfo*)pData + i, AUChannelInfo{(SInt16)pIO->mIn, (SInt16)pIO->mOut});
      }
      return noErr;
    }
    case kAudioUnitProperty_MaximumFramesPerSlice:
    {
      if (!global) return kAudioUnitErr_InvalidProperty;
      if (!answer(sizeof(UInt32), true)) return kNoRoom;
      if (pData) Put<UInt32>(pData, (UInt32)GetBlockSize());
      return noErr;
    }
    case kAudioUnitProperty_ParameterValueStrings:
    {
      if (!global) return kAudioUnitErr_InvalidProperty;
      if (element >= (UInt32)nShown) return kAudioUnitErr_InvalidElement;
      IParam* pParam = GetParam((int)element);
      const int n = pParam->GetNDisplayTexts();
      if (!n)
      {
        *pDataSize = 0;
        return kAudioUnitErr_InvalidProperty;
      }
      if (!answer(sizeof(CFArrayRef), false)) return kNoRoom;
      if (!pData) return noErr;
      CFMutableArrayRef names = CFArrayCreateMutable(kCFAllocatorDefault, n, &kCFTypeArrayCallBacks);
      for (int i = 0; i < n; ++i)
      {
        CFStringRef s = MakeCFString(pParam->GetDisplayText(i));
        CFArrayAppendValue(names, s);
        CFRelease(s);
      }
      Put<CFArrayRef>(pData, names);
      return noErr;
    }
    case kAudioUnitProperty_GetUIComponentList:
    {
      if (!GetGUI()) return kAudioUnitErr_InvalidProperty;
      if (!answer(sizeof(ComponentDescription), false)) return kNoRoom;
      if (pData)
        Put(pData, ComponentDescription{kAudioUnitCarbonViewComponentType, (OSType)GetUniqueID(), (OSType)GetMfrID(), 0, 0});
      return noErr;
    }
    case kAudioUnitProperty_AudioChannelLayout: return kAudioUnitErr_InvalidPropertyValue;
    case kAudioUnitProperty_BypassEffect:
    {
      if (!global) return kAudioUnitErr_InvalidProperty;
      if (!answer(sizeof(UInt32), true)) return kNoRoom;
      if (pData) Put<UInt32>(pData, IsBypassed() ? 1 : 0);
      return noErr;
    }
    case kAudioUnitProperty_LastRenderError:
    {
      if (!global) return kAudioUnitErr_InvalidProperty;
      if (!answer(sizeof(OSStatus), false)) return kNoRoom;
      if (pData) Put<OSStatus>(pData, noErr);
      return noErr;
    }
    case kAudioUnitProperty_SetRenderCallback:
    {
      if (!(global || scope == kAudioUnitScope_Input) || element >= (UInt32)NInBuses())
        return kAudioUnitErr_InvalidProperty;
      return answer(sizeof(AURenderCallbackStruct), true) ? noErr : kNoRoom;
    }
    case kAudioUnitProperty_FactoryPresets:
    {
      if (!answer(sizeof(CFArrayRef), false)) return kNoRoom;
      if (!pData) return noErr;
      const int n = NPresets();
      CFMutableArrayRef presets = CFArrayCreateMutable(kCFAllocatorDefault, n, &kCFAUPresetArrayCallBacks);
      if (!presets) return coreFoundationUnknownErr;
      for (int i = 0; i < n; ++i)
      {
        CFStringRef name = MakeCFString(GetPresetName(i));
        CFAUPresetRef pPreset = CFAUPresetCreate(kCFAllocatorDefault, i, name);
        if (pPreset)
        {
          CFArrayAppendValue(presets, pPreset);
          CFAUPresetRelease(pPreset);
        }
        CFRelease(name);
      }
      Put<CFArrayRef>(pData, presets);
      return noErr;
    }
    case kAudioUnitProperty_HostCallbacks:
    {
      if (!global) return kAudioUnitErr_InvalidProperty;
      return answer(sizeof(HostCallbackInfo), true) ? noErr : kNoRoom;
    }
    case kAudioUnitProperty_CurrentPreset:
    case kAudioUnitProperty_PresentPreset:
    {
      if (!answer(sizeof(AUPreset), true)) return kNoRoom;
      if (pData) Put(pData, AUPreset{GetCurrentPresetIdx(), MakeCFString(GetPresetName(GetCurrentPresetIdx()))});
      return noErr;
    }
    case kAudioUnitProperty_ElementName:
    {
      *pDataSize = sizeof(CFStringRef);
      if (!pData) return kAudioUnitErr_InvalidProperty;
      const char* label = nullptr;
      if (scope == kAudioUnitScope_Input)
        label = element < (UInt32)NInBuses() ? GetInputBusLabel((int)element) : nullptr;
      else if (scope == kAudioUnitScope_Output)
        label = element < (UInt32)NOutBuses() ? GetOutputBusLabel((int)element) : nullptr;
      else return kAudioUnitErr_InvalidScope;
      if (!label) return kAudioUnitErr_InvalidElement;
      if (room < sizeof(CFStringRef)) return kNoRoom;
      Put(pData, MakeCFString(label));
      return noErr;
    }
    case kAudioUnitProperty_CocoaUI:
    {
      SInt32 systemVersion = 0;
      if (!GetGUI() || Gestalt(gestaltSystemVersion, &systemVersion) != noErr || systemVersion < 0x1050)
        return kAudioUnitErr_InvalidProperty;
      if (!answer(sizeof(AudioUnitCocoaViewInfo), false)) return kNoRoom;
      if (!pData) return noErr;
      CFStringRef bundleID = MakeCFString(mOSXBundleID.Get());
      CFBundleRef bundle = CFBundleGetBundleWithIdentifier(bundleID);
      CFRelease(bundleID);
      // Without its bundle the view class cannot be found: no view to offer.
      CFURLRef url = bundle ? CFBundleCopyBundleURL(bundle) : nullptr;
      if (!url) return kAudioUnitErr_InvalidProperty;
      AudioUnitCocoaViewInfo info;
      info.mCocoaAUViewBundleLocation = url;
      info.mCocoaAUViewClass[0] = MakeCFString(mCocoaViewFactoryClassName.Get());
      Put(pData, info);
      return noErr;
    }
    case kAudioUnitProperty_SupportedChannelLayoutTags:
    {
      const bool answered = IsInst() && NOutBuses() != 1 &&
                            (scope == kAudioUnitScope_Output || (scope == kAudioUnitScope_Input && NInBuses() > 0));
      if (!answered) return kAudioUnitErr_InvalidProperty;
      if (!GetChannelLayoutTags(scope, element, nullptr)) return kAudioUnitErr_InvalidElement;
      if (!answer(sizeof(AudioChannelLayoutTag), true)) return kNoRoom;
      if (pData)
      {
        AudioChannelLayoutTag tag;
        GetChannelLayoutTags(scope, element, &tag);
        Put(pData, tag);
      }
      return noErr;
    }
    case kAudioUnitProperty_ParameterStringFromValue:
    {
      if (!answer(sizeof(AudioUnitParameterStringFromValue), false)) return kNoRoom;
      if (!global || !pData) return noErr;
      AudioUnitParameterStringFromValue req = Get<AudioUnitParameterStringFromValue>(pData);
      if (req.inParamID >= (UInt32)nShown) return kAudioUnitErr_InvalidElement;
      IParam* pParam = GetParam((int)req.inParamID);
      // No value given asks for the current one.
      const double value = req.inValue ? (double)*req.inValue : pParam->Value();
      pParam->GetDisplayForHost(value, false, mParamDisplayStr, true);
      req.outString = MakeCFString(mParamDisplayStr);
      Put(pData, req);
      return noErr;
    }
    case kAudioUnitProperty_ParameterIDName:
    {
      if (!answer(sizeof(AudioUnitParameterIDName), false)) return kNoRoom;
      if (!global || !pData) return noErr;
      AudioUnitParameterIDName req = Get<AudioUnitParameterIDName>(pData);
      if (req.inID >= (UInt32)nShown) return kAudioUnitErr_InvalidElement;
      char name[IParam::kNameLen];
      snprintf(name, sizeof(name), "%s", GetParam((int)req.inID)->GetNameForHost());
      // Any length below the full-name marker also asks for the full name.
      if (req.inDesiredLength >= 0 && req.inDesiredLength < IParam::kNameLen - 1) name[req.inDesiredLength] = 0;
      req.outName = MakeCFString(name);
      Put(pData, req);
      return noErr;
    }
    case kAudioUnitProperty_ParameterClumpName:
    {
      if (!answer(sizeof(AudioUnitParameterNameInfo), false)) return kNoRoom;
      if (!global || !pData) return noErr;
      AudioUnitParameterNameInfo req = Get<AudioUnitParameterNameInfo>(pData);
      if (req.inID < 1) return kAudioUnitErr_PropertyNotInUse;
      if (req.inID > (UInt32)mParamGroups.GetSize()) return kAudioUnitErr_InvalidElement;
      req.outName = MakeCFString(mParamGroups.Get((int)req.inID - 1));
      Put(pData, req);
      return noErr;
    }
    case kAudioUnitProperty_ParameterValueFromString:
    {
      if (!answer(sizeof(AudioUnitParameterValueFromString), false)) return kNoRoom;
      if (!global || !pData) return noErr;
      AudioUnitParameterValueFromString req = Get<AudioUnitParameterValueFromString>(pData);
      // Any parameter the unit sets for a host, hidden ones too: a host that knows a
      // port by its name finds its place in the unit's own port list this way.
      if (req.inParamID >= (UInt32)NParams()) return kAudioUnitErr_InvalidElement;
      IParam* pParam = GetParam((int)req.inParamID);
      const std::string typed = CFStringToUTF8(req.inString);
      const char* text = typed.c_str();
      if (!pParam->GetNDisplayTexts())
      {
        const double v = atof(text);
        req.outValue = (AudioUnitParameterValue)(pParam->GetNegateDisplay() ? -v : v);
      }
      else
      {
        int v;
        if (pParam->MapDisplayText(text, &v)) req.outValue = (AudioUnitParameterValue)v;
      }
      Put(pData, req);
      return noErr;
    }
    case kMusicDeviceProperty_InstrumentCount:
    {
      if (!global || !IsInst()) return kAudioUnitErr_InvalidProperty;
      if (!answer(sizeof(UInt32), false)) return kNoRoom;
      if (pData) Put<UInt32>(pData, 1);
      return noErr;
    }
    default: return kAudioUnitErr_InvalidProperty;
  }
}

OSStatus IPlugAU::SetStreamFormat(AudioUnitScope scope, AudioUnitElement element, const AudioStreamBasicDescription* pASBD)
{
  BusChannels* pBus = GetBus(scope, element);
  if (!pBus) return kAudioUnitErr_InvalidProperty;
  pBus->mNHostChannels = 0;
  const int nHostChannels = pASBD->mChannelsPerFrame <= (UInt32)kMaxBusChannels ? (int)pASBD->mChannelsPerFrame : -1;
  const bool ok = nHostChannels > 0 && CheckLegalIO(scope, (int)element, nHostChannels) &&
                  pASBD->mFormatID == kAudioFormatLinearPCM &&
                  (pASBD->mFormatFlags & (kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked));
  if (ok)
  {
    pBus->mNHostChannels = nHostChannels;
    if (pASBD->mSampleRate > 0.0 && std::isfinite(pASBD->mSampleRate)) SetSampleRate(pASBD->mSampleRate);
  }
  AssessInputConnections();
  return ok ? noErr : kAudioUnitErr_InvalidProperty;
}

OSStatus IPlugAU::MakeConnection(const AudioUnitConnection* pConn)
{
  InputBusConnection* pInBusConn =
      pConn->destInputNumber <= 0x7fffffffu ? mInBusConnections.Get((int)pConn->destInputNumber) : nullptr;
  if (!pInBusConn) return kAudioUnitErr_InvalidProperty;
  *pInBusConn = InputBusConnection();

  bool negotiatedOK = true;
  if (AudioUnit src = pConn->sourceAudioUnit)
  {
    AudioStreamBasicDescription srcASBD;
    memset(&srcASBD, 0, sizeof(srcASBD));
    UInt32 size = sizeof(srcASBD);
    negotiatedOK = AudioUnitGetProperty(src, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output,
                                        pConn->sourceOutputNumber, &srcASBD, &size) == noErr;
    UInt32 setSize = sizeof(srcASBD);
    negotiatedOK &= SetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, pConn->destInputNumber,
                                &setSize, &srcASBD) == noErr;
    if (negotiatedOK)
    {
      pInBusConn->mUpstreamUnit = src;
      pInBusConn->mUpstreamBusIdx = (int)pConn->sourceOutputNumber;
      AudioUnitRenderProc srcRenderProc = nullptr;
      size = sizeof(srcRenderProc);
      if (AudioUnitGetProperty(src, kAudioUnitProperty_FastDispatch, kAudioUnitScope_Global, kAudioUnitRenderSelect,
                               &srcRenderProc, &size) == noErr &&
          srcRenderProc)
      {
        pInBusConn->mUpstreamRenderProc = srcRenderProc;
        pInBusConn->mUpstreamObj = GetComponentInstanceStorage(src);
      }
    }
  }
  AssessInputConnections();
  return negotiatedOK ? noErr : kAudioUnitErr_InvalidProperty;
}

OSStatus IPlugAU::SetProperty(AudioUnitPropertyID propID, AudioUnitScope scope, AudioUnitElement element,
                              UInt32* pDataSize, const void* pData)
{
  // Listeners hear every attempt, before it is examined.
  InformListeners(propID, scope);

  // A value shorter than its property is refused, never read past.
  auto holds = [&](size_t size) { return pData && pDataSize && *pDataSize >= size; };
  constexpr OSStatus kBadValue = kAudioUnitErr_InvalidPropertyValue;
  const bool global = scope == kAudioUnitScope_Global;

  switch (propID)
  {
    case kAudioUnitProperty_ClassInfo:
    {
      if (!holds(sizeof(CFPropertyListRef))) return kBadValue;
      return SetState(Get<CFPropertyListRef>(pData));
    }
    case kAudioUnitProperty_MakeConnection:
    {
      if (!global && scope != kAudioUnitScope_Input) return kAudioUnitErr_InvalidProperty;
      if (!holds(sizeof(AudioUnitConnection))) return kBadValue;
      const AudioUnitConnection conn = Get<AudioUnitConnection>(pData);
      return MakeConnection(&conn);
    }
    case kAudioUnitProperty_SampleRate:
    {
      if (!holds(sizeof(Float64))) return kBadValue;
      const double rate = Get<Float64>(pData);
      if (!(rate > 0.0) || !std::isfinite(rate)) return kBadValue;
      SetSampleRate(rate);
      Reset();
      return noErr;
    }
    case kAudioUnitProperty_StreamFormat:
    {
      if (!holds(sizeof(AudioStreamBasicDescription))) return kBadValue;
      const AudioStreamBasicDescription asbd = Get<AudioStreamBasicDescription>(pData);
      return SetStreamFormat(scope, element, &asbd);
    }
    case kAudioUnitProperty_MaximumFramesPerSlice:
    {
      if (!holds(sizeof(UInt32))) return kBadValue;
      const UInt32 frames = Get<UInt32>(pData);
      if (frames < 1 || frames > kMaxBlockSize) return kBadValue;
      SetBlockSize((int)frames);
      Reset();
      return noErr;
    }
    case kAudioUnitProperty_BypassEffect:
    {
      if (!holds(sizeof(UInt32))) return kBadValue;
      const UInt32 bypass = Get<UInt32>(pData);
      mIsBypassed = bypass != 0;
      OnActivate(bypass == 0);
      Reset();
      return noErr;
    }
    case kAudioUnitProperty_SetRenderCallback:
    {
      if (scope != kAudioUnitScope_Input || element >= (UInt32)mInBusConnections.GetSize())
        return kAudioUnitErr_InvalidProperty;
      if (!holds(sizeof(AURenderCallbackStruct))) return kBadValue;
      const AURenderCallbackStruct cb = Get<AURenderCallbackStruct>(pData);
      InputBusConnection* pConn = mInBusConnections.Get((int)element);
      *pConn = InputBusConnection();
      if (cb.inputProc) pConn->mUpstreamRenderCallback = cb;
      AssessInputConnections();
      return noErr;
    }
    case kAudioUnitProperty_HostCallbacks:
    {
      if (!global) return kAudioUnitErr_InvalidProperty;
      if (!holds(sizeof(HostCallbackInfo))) return kBadValue;
      mHostCallbacks = Get<HostCallbackInfo>(pData);
      return noErr;
    }
    case kAudioUnitProperty_CurrentPreset:
    case kAudioUnitProperty_PresentPreset:
    {
      if (!holds(sizeof(AUPreset))) return kBadValue;
      RestorePreset(Get<AUPreset>(pData).presetNumber);
      return noErr;
    }
    case kAudioUnitProperty_OfflineRender:
    {
      if (!holds(sizeof(UInt32))) return kBadValue;
      mIsOffline = Get<UInt32>(pData) != 0;
      return noErr;
    }
    case kAudioUnitProperty_HostIdentifier:
    {
      if (!holds(sizeof(AUHostIdentifier))) return kBadValue;
      const AUHostIdentifier id = Get<AUHostIdentifier>(pData);
      const std::string name = CFStringToUTF8(id.hostName);
      const NumVersion v = id.hostVersion;
      const int version = (v.majorRev << 16) + ((v.minorAndBugRev & 0xF0) << 4) + (v.minorAndBugRev & 0x0F);
      SetHost(name.c_str(), version);
      OnHostIdentified();
      return noErr;
    }
    default: return kAudioUnitErr_InvalidProperty;
  }
}
