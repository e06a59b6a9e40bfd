// The host's state dictionary and the factory preset records.

#include "plug/IPlugAU.h"

#include <climits>
#include <cstring>
#include <new>
#include <string>

namespace {

CFStringRef Key(const char* key) { return CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8); }

// The value under key when it is of the given type, else null (Get rule).
CFTypeRef ValueOfType(CFDictionaryRef pDict, const char* key, CFTypeID type)
{
  if (!pDict || CFGetTypeID(pDict) != CFDictionaryGetTypeID()) return nullptr;
  CFStringRef k = Key(key);
  CFTypeRef v = CFDictionaryGetValue(pDict, k);
  CFRelease(k);
  return v && CFGetTypeID(v) == type ? v : nullptr;
}

void SetValue(CFMutableDictionaryRef pDict, const char* key, CFTypeRef value)
{
  CFStringRef k = Key(key);
  if (value)
  {
    CFDictionarySetValue(pDict, k, value);
    CFRelease(value);
  }
  CFRelease(k);
}

}  // namespace

void PutNumberInDict(CFMutableDictionaryRef pDict, const char* key, const void* pNumber, CFNumberType type)
{
  SetValue(pDict, key, CFNumberCreate(nullptr, type, pNumber));
}

void PutStrInDict(CFMutableDictionaryRef pDict, const char* key, const char* value)
{
  CFStringRef s = CFStringCreateWithCString(nullptr, value ? value : "", kCFStringEncodingUTF8);
  // A text that is not UTF-8 (a preset name cut inside a character, or read from a
  // program file) keeps its ASCII: without the key the host would save a state
  // that SetState then refuses.
  if (!s)
  {
    std::string ascii;
    for (const char* p = value; *p; ++p)
      if ((unsigned char)*p < 0x80) ascii += *p;
    s = CFStringCreateWithCString(nullptr, ascii.c_str(), kCFStringEncodingUTF8);
  }
  SetValue(pDict, key, s);
}

void PutDataInDict(CFMutableDictionaryRef pDict, const char* key, ByteChunk* pChunk)
{
  SetValue(pDict, key, CFDataCreate(nullptr, pChunk->Data(), pChunk->Size()));
}

bool GetNumberFromDict(CFDictionaryRef pDict, const char* key, void* pNumber, CFNumberType type)
{
  CFNumberRef n = (CFNumberRef)ValueOfType(pDict, key, CFNumberGetTypeID());
  return n && CFNumberGetValue(n, type, pNumber);
}

std::string CFStringToUTF8(CFStringRef s)
{
  if (!s) return std::string();
  if (const char* direct = CFStringGetCStringPtr(s, kCFStringEncodingUTF8)) return direct;
  const CFIndex size = CFStringGetMaximumSizeForEncoding(CFStringGetLength(s), kCFStringEncodingUTF8) + 1;
  if (size < 1) return std::string();
  std::string text((size_t)size, '\0');
  if (!CFStringGetCString(s, &text[0], size, kCFStringEncodingUTF8)) return std::string();
  text.resize(strlen(text.c_str()));
  return text;
}

bool GetStrFromDict(CFDictionaryRef pDict, const char* key, char* value, int maxLen)
{
  if (maxLen < 1) return false;
  value[0] = 0;
  CFStringRef s = (CFStringRef)ValueOfType(pDict, key, CFStringGetTypeID());
  if (!s) return false;
  const std::string whole = CFStringToUTF8(s);
  if (whole.empty() && CFStringGetLength(s) > 0) return false;  // no UTF-8 for it
  const char* text = whole.c_str();
  int n = (int)strnlen(text, (size_t)maxLen);
  if (n >= maxLen)
  {
    // Cut to fit, never inside a character.
    n = maxLen - 1;
    while (n > 0 && ((unsigned char)text[n] & 0xC0) == 0x80) --n;
  }
  memcpy(value, text, (size_t)n);
  value[n] = 0;
  return true;
}

bool GetDataFromDict(CFDictionaryRef pDict, const char* key, ByteChunk* pChunk)
{
  CFDataRef d = (CFDataRef)ValueOfType(pDict, key, CFDataGetTypeID());
  if (!d) return false;
  const CFIndex n = CFDataGetLength(d);
  if (n > INT_MAX) return false;
  if (pChunk->Resize((int)n) != (int)n) return false;
  if (n) memcpy(pChunk->Data(), CFDataGetBytePtr(d), (size_t)n);
  return true;
}

OSStatus IPlugAU::GetState(CFPropertyListRef* ppPropList)
{
  ComponentDescription cd;
  const OSStatus r = GetComponentInfo(mCI, &cd);
  if (r != noErr) return r;

  CFMutableDictionaryRef pDict =
      CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  const SInt32 version = GetEffectVersion(false);
  const SInt32 type = (SInt32)cd.componentType, subtype = (SInt32)cd.componentSubType;
  const SInt32 mfr = (SInt32)cd.componentManufacturer;
  PutNumberInDict(pDict, "version", &version, kCFNumberSInt32Type);
  PutNumberInDict(pDict, "type", &type, kCFNumberSInt32Type);
  PutNumberInDict(pDict, "subtype", &subtype, kCFNumberSInt32Type);
  PutNumberInDict(pDict, "manufacturer", &mfr, kCFNumberSInt32Type);
  PutStrInDict(pDict, "name", GetPresetName(GetCurrentPresetIdx()));

  ByteChunk chunk(4096);
  if (SerializeState(&chunk)) PutDataInDict(pDict, "data", &chunk);
  *ppPropList = pDict;
  return noErr;
}

OSStatus IPlugAU::SetState(CFPropertyListRef pPropList)
{
  ComponentDescription cd;
  const OSStatus r = GetComponentInfo(mCI, &cd);
  if (r != noErr) return r;

  // Every key is checked before anything changes.
  CFDictionaryRef pDict = (CFDictionaryRef)pPropList;
  SInt32 version, type, subtype, mfr;
  char presetName[64];
  if (!GetNumberFromDict(pDict, "version", &version, kCFNumberSInt32Type) ||
      !GetNumberFromDict(pDict, "type", &type, kCFNumberSInt32Type) ||
      !GetNumberFromDict(pDict, "subtype", &subtype, kCFNumberSInt32Type) ||
      !GetNumberFromDict(pDict, "manufacturer", &mfr, kCFNumberSInt32Type) ||
      !GetStrFromDict(pDict, "name", presetName, sizeof(presetName)))
    return kAudioUnitErr_InvalidPropertyValue;
  if ((OSType)type != cd.componentType || (OSType)subtype != cd.componentSubType ||
      (OSType)mfr != cd.componentManufacturer)
    return kAudioUnitErr_InvalidPropertyValue;
  ByteChunk chunk;
  if (!GetDataFromDict(pDict, "data", &chunk)) return kAudioUnitErr_InvalidPropertyValue;

  // A chunk the plug-in refuses leaves the state it had.
  ByteChunk before;
  const bool saved = SerializeState(&before);
  const int presetBefore = mCurrentPresetIdx;
  RestorePreset(presetName);
  if (UnserializeState(&chunk, 0) <= 0)
  {
    // Only a state that was half applied is put back: putting back a whole state is
    // a recall of its own, which a plug-in may answer with more than values.
    ByteChunk after;
    if (saved && (!SerializeState(&after) || !after.IsEqual(&before))) UnserializeState(&before, 0);
    mCurrentPresetIdx = presetBefore;
    RedrawParamControls();
    return kAudioUnitErr_InvalidPropertyValue;
  }
  RedrawParamControls();
  return noErr;
}

// ---- factory preset records ----

const CFArrayCallBacks kCFAUPresetArrayCallBacks = {kCFAUPreset_CurrentVersion, CFAUPresetArrayRetainCallBack,
                                                    CFAUPresetArrayReleaseCallBack,
                                                    CFAUPresetArrayCopyDescriptionCallBack,
                                                    CFAUPresetArrayEqualCallBack};

void CFAUPresetArrayCallBacks_Init(CFArrayCallBacks* pCallBacks)
{
  if (pCallBacks) *pCallBacks = kCFAUPresetArrayCallBacks;
}

CFAUPresetRef CFAUPresetCreate(CFAllocatorRef allocator, SInt32 presetNumber, CFStringRef presetName)
{
  void* mem = CFAllocatorAllocate(allocator, sizeof(CFAUPreset), 0);
  if (!mem) return nullptr;
  CFAUPreset* p = new (mem) CFAUPreset;
  p->auPreset.presetNumber = presetNumber;
  p->auPreset.presetName = presetName ? CFStringCreateCopy(nullptr, presetName) : nullptr;
  p->allocator = allocator;
  p->retainCount = 1;
  return p;
}

CFAUPresetRef CFAUPresetRetain(const void* pPreset)
{
  CFAUPreset* p = const_cast<CFAUPreset*>(static_cast<const CFAUPreset*>(pPreset));
  if (p)
  {
    if (p->auPreset.presetName) CFRetain(p->auPreset.presetName);
    ++p->retainCount;
  }
  return p;
}

void CFAUPresetRelease(const void* pPreset)
{
  CFAUPreset* p = const_cast<CFAUPreset*>(static_cast<const CFAUPreset*>(pPreset));
  if (!p || p->retainCount < 1) return;
  if (p->auPreset.presetName) CFRelease(p->auPreset.presetName);
  if (--p->retainCount == 0)
  {
    p->auPreset.presetNumber = 0;
    p->auPreset.presetName = nullptr;
    CFAllocatorRef allocator = p->allocator;
    p->~CFAUPreset();
    CFAllocatorDeallocate(allocator, p);
  }
}

const void* CFAUPresetArrayRetainCallBack(CFAllocatorRef, const void* pPreset) { return CFAUPresetRetain(pPreset); }

void CFAUPresetArrayReleaseCallBack(CFAllocatorRef, const void* pPreset) { CFAUPresetRelease(pPreset); }

CFStringRef CFAUPresetArrayCopyDescriptionCallBack(const void* pPreset)
{
  const CFAUPreset* p = static_cast<const CFAUPreset*>(pPreset);
  return CFStringCreateWithFormat(nullptr, nullptr, CFSTR("AUPreset:\npreset number = %d\npreset name = %@"),
                                  (int)p->auPreset.presetNumber, p->auPreset.presetName);
}

Boolean CFAUPresetArrayEqualCallBack(const void* pPreset1, const void* pPreset2)
{
  const CFAUPreset* a = static_cast<const CFAUPreset*>(pPreset1);
  const CFAUPreset* b = static_cast<const CFAUPreset*>(pPreset2);
  if (a->auPreset.presetNumber != b->auPreset.presetNumber) return false;
  // A record may have no name; the string compare must not be handed none.
  const CFStringRef x = a->auPreset.presetName, y = b->auPreset.presetName;
  if (!x || !y) return !x && !y;
  return CFStringCompare(x, y, 0) == kCFCompareEqualTo;
}
