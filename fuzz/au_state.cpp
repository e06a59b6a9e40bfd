// The Audio Unit state dictionary as a host hands it back (SetState through the
// class-info property), built from the input through the platform stand-ins. A
// refused dictionary must leave every value as it was; no value may leave its range.
//
// Input: entries of a key byte (version, type, subtype, manufacturer, name, data, or
// a key text of a length byte and bytes), a kind byte and the value: 32- or 64-bit
// integer, 32- or 64-bit float (bytes as stored), text (a length byte and bytes),
// data (a 16-bit big-endian length and bytes), an empty dictionary or an empty array.
// A first byte of 0xFF hands the host's value over as a text instead of a dictionary.

#include "PlugValues.h"
#include "plug/IPlugAU.h"

#include "platform/audiounit/AudioUnit.h"
#include "platform/carbon/Components.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The plug-in's identity, channels and parameters as the editor sets them up, and a
// state chunk of the framework version header and every parameter value.
class StatePlug : public IPlugAU
{
public:
  explicit StatePlug(IPlugInstanceInfo info)
    : IPlugAU(info, 98, "2-2", 0, "Davrel Editor", "", "Quiet Harbor Sound", 0x20008, FourCC("dvrx"),
              FourCC("QhS1"), 128, true, true, true, 0)
  {
    initialize(info, 0, 529, "2-2", 0, "Davrel Editor", "", "Quiet Harbor Sound", 0x20008, FourCC("dvrx"),
               FourCC("QhS1"), 128, true, true, true, 0);
    addNonAutomateParamCount(529);
  }
  bool SerializeState(ByteChunk* pChunk) override
  {
    InitChunkWithIPlugVer(pChunk);
    return SerializeNonAutomatedParams(pChunk, NParams());
  }
  int UnserializeState(ByteChunk* pChunk, int startPos) override
  {
    int pos = startPos;
    if (GetIPlugVerFromChunk(pChunk, &pos) != kIPlugVersion) return -1;
    return UnserializeNonAutomatedParams(pChunk, pos, NParams());
  }
};

}  // namespace

IPlugAU* MakePlug()
{
  IPlugInstanceInfo info;
  info.mBundleID.Set("com.example.fuzz.Davrel Editor");
  info.mCocoaViewFactoryClassName.Set("Davrel_Fuzz_View");
  return new StatePlug(info);
}

namespace {

struct Reader
{
  const uint8_t* p;
  size_t left;
  bool Take(void* out, size_t n)
  {
    if (left < n) return false;
    memcpy(out, p, n);
    p += n;
    left -= n;
    return true;
  }
  int Byte()
  {
    uint8_t b;
    return Take(&b, 1) ? b : -1;
  }
  bool Text(size_t n, std::string* out)
  {
    if (left < n) return false;
    out->assign((const char*)p, n);
    out->resize(strnlen(out->c_str(), n));  // a C text ends at its first zero
    p += n;
    left -= n;
    return true;
  }
};

CFTypeRef Value(Reader& r)
{
  const int kind = r.Byte();
  union { int32_t i32; int64_t i64; float f32; double f64; } n;
  std::string text;
  switch (kind < 0 ? -1 : kind % 8)
  {
    case 0: return r.Take(&n.i32, 4) ? CFNumberCreate(nullptr, kCFNumberSInt32Type, &n.i32) : nullptr;
    case 1: return r.Take(&n.i64, 8) ? CFNumberCreate(nullptr, kCFNumberSInt64Type, &n.i64) : nullptr;
    case 2: return r.Take(&n.f32, 4) ? CFNumberCreate(nullptr, kCFNumberFloat32Type, &n.f32) : nullptr;
    case 3: return r.Take(&n.f64, 8) ? CFNumberCreate(nullptr, kCFNumberFloat64Type, &n.f64) : nullptr;
    case 4:
    {
      const int len = r.Byte();
      return len >= 0 && r.Text((size_t)len, &text) ? CFStringCreateWithCString(nullptr, text.c_str(), kCFStringEncodingUTF8)
                                                    : nullptr;
    }
    case 5:
    {
      const int hi = r.Byte(), lo = r.Byte();
      if (hi < 0 || lo < 0) return nullptr;
      const size_t len = std::min<size_t>((size_t)(hi << 8 | lo), r.left);
      CFDataRef d = CFDataCreate(nullptr, r.p, (CFIndex)len);
      r.p += len;
      r.left -= len;
      return d;
    }
    case 6:
      return CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    case 7: return CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
    default: return nullptr;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size > (1u << 20)) return 0;
  // One unit for the process, brought back to its first state before every input.
  static AudioUnit unit = [] {
    const ComponentDescription desc = {MakeOSType("aumu"), MakeOSType("dvrx"), MakeOSType("QhS1"), 0, 0};
    Component comp = RegisterComponent(&desc, IPlugAU::IPlugAUEntry, "Quiet Harbor Sound: Davrel Editor");
    AudioUnit u = nullptr;
    if (OpenAComponent(comp, &u) != noErr) abort();
    return u;
  }();
  IPlugAU* plug = static_cast<IPlugAU*>(GetComponentInstanceStorage(unit));
  static ByteChunk initial;
  if (!initial.Size() && !plug->SerializeState(&initial)) abort();
  if (plug->UnserializeState(&initial, 0) <= 0) abort();

  static const char* const kKeys[] = {"version", "type", "subtype", "manufacturer", "name", "data", "Name"};
  CFTypeRef state;
  Reader r{data, size};
  if (size && data[0] == 0xFF)
  {
    state = CFStringCreateWithCString(nullptr, "not a dictionary", kCFStringEncodingUTF8);
  }
  else
  {
    CFMutableDictionaryRef dict =
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    while (r.left)
    {
      const int k = r.Byte();
      std::string key;
      if (k % 8 < 7)
      {
        key = kKeys[k % 8];
      }
      else
      {
        const int len = r.Byte();
        if (len < 0 || !r.Text((size_t)len, &key)) break;
      }
      CFTypeRef value = Value(r);
      if (!value) break;
      CFStringRef cfKey = CFStringCreateWithCString(nullptr, key.c_str(), kCFStringEncodingUTF8);
      CFDictionarySetValue(dict, cfKey, value);
      CFRelease(cfKey);
      CFRelease(value);
    }
    state = dict;
  }

  const std::vector<double> before = ValuesInRange(plug);
  const OSStatus res = AudioUnitSetProperty(unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state,
                                            (UInt32)sizeof(state));
  if (res != noErr && ValuesInRange(plug) != before) abort();
  ValuesInRange(plug);
  CFRelease(state);
  return 0;
}
