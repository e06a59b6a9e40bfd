// The host's state dictionary: its keys, a round trip through the test host's
// file into a fresh instance, and refusals that change nothing.

#include "TestPlug.h"

#include "StateFile.h"
#include "TestHost.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

struct Dict
{
  explicit Dict(CFPropertyListRef d) : ref((CFMutableDictionaryRef)d) {}
  ~Dict() { if (ref) CFRelease(ref); }
  CFMutableDictionaryRef ref;
};

CFStringRef Key(const char* k) { return CFStringCreateWithCString(nullptr, k, kCFStringEncodingUTF8); }

void SetInt(CFMutableDictionaryRef d, const char* k, SInt32 v)
{
  CFStringRef key = Key(k);
  CFNumberRef n = CFNumberCreate(nullptr, kCFNumberSInt32Type, &v);
  CFDictionarySetValue(d, key, n);
  CFRelease(n);
  CFRelease(key);
}

void SetObj(CFMutableDictionaryRef d, const char* k, CFTypeRef v)
{
  CFStringRef key = Key(k);
  CFDictionarySetValue(d, key, v);
  CFRelease(key);
}

void Remove(CFMutableDictionaryRef d, const char* k)
{
  CFStringRef key = Key(k);
  CFDictionaryRemoveValue(d, key);
  CFRelease(key);
}

// A copy of the dictionary that can be changed.
CFMutableDictionaryRef Copy(CFDictionaryRef d)
{
  const CFIndex n = CFDictionaryGetCount(d);
  std::vector<const void*> k((size_t)n), v((size_t)n);
  CFDictionaryGetKeysAndValues(d, k.data(), v.data());
  CFMutableDictionaryRef c = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  for (CFIndex i = 0; i < n; ++i) CFDictionarySetValue(c, k[(size_t)i], v[(size_t)i]);
  return c;
}

std::string TempPath(const char* name) { return "/tmp/davrel-test-" + std::to_string(getpid()) + "-" + name; }

using State = AUFixture;

TEST_F(State, TheDictionaryHoldsIdentityNameAndChunk)
{
  Open();
  const double values[] = {0.25, 0.5, 0.75, 1.0};
  for (int i = 0; i < 4; ++i) plug->GetParam(i)->Set(values[i]);
  CFPropertyListRef state = nullptr;
  UInt32 size = sizeof(state);
  ASSERT_EQ(Get(kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state, &size), noErr);
  Dict d(state);
  ASSERT_EQ(CFGetTypeID(d.ref), CFDictionaryGetTypeID());
  EXPECT_EQ(CFDictionaryGetCount(d.ref), 6);
  const struct { const char* key; SInt32 want; } numbers[] = {
      {"version", 0x10203}, {"type", (SInt32)kTestType}, {"subtype", (SInt32)kTestSubType}, {"manufacturer", (SInt32)kTestMfr}};
  for (const auto& n : numbers)
  {
    SInt32 v = 0;
    EXPECT_TRUE(GetNumberFromDict(d.ref, n.key, &v, kCFNumberSInt32Type)) << n.key;
    EXPECT_EQ(v, n.want) << n.key;
  }
  char name[64] = "x";
  EXPECT_TRUE(GetStrFromDict(d.ref, "name", name));
  EXPECT_STREQ(name, "");
  ByteChunk chunk;
  ASSERT_TRUE(GetDataFromDict(d.ref, "data", &chunk));
  ASSERT_EQ(chunk.Size(), 32);
  EXPECT_EQ(memcmp(chunk.Data(), values, 32), 0);
  EXPECT_FALSE(GetDataFromDict(d.ref, "name", &chunk));
  EXPECT_EQ(chunk.Size(), 32);
  EXPECT_FALSE(GetStrFromDict(d.ref, "absent", name));
  EXPECT_STREQ(name, "");
}

TEST_F(State, RefusedDictionariesChangeNothing)
{
  Open();
  for (int i = 0; i < 4; ++i) plug->GetParam(i)->Set(0.5);
  CFPropertyListRef state = nullptr;
  UInt32 size = sizeof(state);
  ASSERT_EQ(Get(kAudioUnitProperty_ClassInfo, 0, 0, &state, &size), noErr);
  Dict good(state);
  for (int i = 0; i < 4; ++i) plug->GetParam(i)->Set(0.125);

  const UInt8 shortData[] = {0, 0, 0, 0, 0, 0, 0xF0, 0x3F};  // one double (1.0) for four parameters
  CFDataRef shortChunk = CFDataCreate(nullptr, shortData, sizeof(shortData));
  struct Case
  {
    const char* what;
    std::function<void(CFMutableDictionaryRef)> edit;
  };
  const Case cases[] = {
      {"no version", [](CFMutableDictionaryRef d) { Remove(d, "version"); }},
      {"version not a number", [](CFMutableDictionaryRef d) { SetObj(d, "version", CFSTR("2.0.8")); }},
      {"no type", [](CFMutableDictionaryRef d) { Remove(d, "type"); }},
      {"wrong type", [](CFMutableDictionaryRef d) { SetInt(d, "type", (SInt32)MakeOSType("aufx")); }},
      {"wrong subtype", [](CFMutableDictionaryRef d) { SetInt(d, "subtype", (SInt32)MakeOSType("dvrx")); }},
      {"wrong manufacturer", [](CFMutableDictionaryRef d) { SetInt(d, "manufacturer", 1); }},
      {"no subtype", [](CFMutableDictionaryRef d) { Remove(d, "subtype"); }},
      {"no manufacturer", [](CFMutableDictionaryRef d) { Remove(d, "manufacturer"); }},
      {"no name", [](CFMutableDictionaryRef d) { Remove(d, "name"); }},
      {"name not a string", [](CFMutableDictionaryRef d) { SetInt(d, "name", 5); }},
      {"no data", [](CFMutableDictionaryRef d) { Remove(d, "data"); }},
      {"data not data", [](CFMutableDictionaryRef d) { SetObj(d, "data", CFSTR("AAAA")); }},
      {"data the plug-in cannot read", [shortChunk](CFMutableDictionaryRef d) { SetObj(d, "data", shortChunk); }},
  };
  for (const auto& c : cases)
  {
    CFMutableDictionaryRef bad = Copy(good.ref);
    c.edit(bad);
    EXPECT_EQ(Set(kAudioUnitProperty_ClassInfo, 0, 0, &bad, sizeof(bad)), kAudioUnitErr_InvalidPropertyValue) << c.what;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(plug->GetParam(i)->Value(), 0.125) << c.what << " " << i;
    CFRelease(bad);
  }
  CFRelease(shortChunk);
  CFStringRef notADict = CFSTR("state");
  EXPECT_EQ(Set(kAudioUnitProperty_ClassInfo, 0, 0, &notADict, sizeof(notADict)), kAudioUnitErr_InvalidPropertyValue);
  CFPropertyListRef none = nullptr;
  EXPECT_EQ(Set(kAudioUnitProperty_ClassInfo, 0, 0, &none, sizeof(none)), kAudioUnitErr_InvalidPropertyValue);

  // A chunk the plug-in refuses whole is not followed by a recall of the state as it
  // was: to a plug-in a recall is more than values (it may send to hardware).
  CFMutableDictionaryRef refused = Copy(good.ref);
  SetObj(refused, "name", CFSTR("no such preset"));
  plug->refuseWhole = true;
  plug->stateReads = 0;
  EXPECT_EQ(Set(kAudioUnitProperty_ClassInfo, 0, 0, &refused, sizeof(refused)), kAudioUnitErr_InvalidPropertyValue);
  EXPECT_EQ(plug->stateReads, 1);
  plug->refuseWhole = false;
  CFRelease(refused);

  // The plug-in's own refusal is reported, and the value it changed is put back.
  plug->refuseState = true;
  plug->stateReads = 0;
  EXPECT_EQ(Set(kAudioUnitProperty_ClassInfo, 0, 0, &good.ref, sizeof(good.ref)), kAudioUnitErr_InvalidPropertyValue);
  EXPECT_EQ(plug->GetParam(0)->Value(), 0.125);
  EXPECT_EQ(plug->stateReads, 2);

  // Another release's version is still read.
  CFMutableDictionaryRef older = Copy(good.ref);
  SetInt(older, "version", 0x10200);
  EXPECT_EQ(Set(kAudioUnitProperty_ClassInfo, 0, 0, &older, sizeof(older)), noErr);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(plug->GetParam(i)->Value(), 0.5);
  CFRelease(older);
}

TEST_F(State, TheNameIsCutToFitAndStillChoosesItsPreset)
{
  const std::string name63 = std::string(61, 'n') + "\xC3\xA9";  // 63 bytes, ending in a two-byte character
  PlugSpec spec;
  spec.nPresets = 2;
  spec.setup = [name63](TestPlug* p) {
    p->MakeDefaultPreset("first", 1);
    p->GetParam(2)->Set(0.75);
    p->MakeDefaultPreset(name63.c_str(), 1);
    p->GetParam(2)->Set(0.0);
  };
  Open(spec);
  CFPropertyListRef state = nullptr;
  UInt32 size = sizeof(state);
  ASSERT_EQ(Get(kAudioUnitProperty_ClassInfo, 0, 0, &state, &size), noErr);
  Dict d(state);
  const std::string longName = name63 + std::string(200, 'x');
  CFStringRef s = CFStringCreateWithCString(nullptr, longName.c_str(), kCFStringEncodingUTF8);
  SetObj(d.ref, "name", s);
  CFRelease(s);
  // The cut name still chooses its preset; the chunk then sets the values.
  EXPECT_EQ(Set(kAudioUnitProperty_ClassInfo, 0, 0, &d.ref, sizeof(d.ref)), noErr);
  EXPECT_EQ(plug->GetCurrentPresetIdx(), 1);

  char buf[64];
  CFMutableDictionaryRef cut = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  const std::string splitName = std::string(62, 'a') + "\xC3\xA9" + "z";  // the cut would split the character
  PutStrInDict(cut, "name", splitName.c_str());
  ASSERT_TRUE(GetStrFromDict(cut, "name", buf, sizeof(buf)));
  EXPECT_EQ(std::string(buf), std::string(62, 'a'));
  CFRelease(cut);
}

TEST_F(State, APresetNameThatIsNotUtf8StillSavesAStateThatLoads)
{
  // 254 bytes and a two-byte character: the preset keeps 255 bytes, cut inside it.
  const std::string name = std::string(250, 'p') + "Lead\xC3\xA9";
  PlugSpec spec;
  spec.nPresets = 1;
  spec.setup = [name](TestPlug* p) { p->MakeDefaultPreset(name.c_str(), 1); };
  Open(spec);
  ASSERT_EQ(strlen(plug->GetPresetName(0)), 255u);
  plug->GetParam(1)->Set(0.625);
  CFPropertyListRef state = nullptr;
  UInt32 size = sizeof(state);
  ASSERT_EQ(Get(kAudioUnitProperty_ClassInfo, 0, 0, &state, &size), noErr);
  Dict d(state);
  char got[300];
  ASSERT_TRUE(GetStrFromDict(d.ref, "name", got, sizeof(got)));
  EXPECT_EQ(std::string(got), std::string(250, 'p') + "Lead");
  plug->GetParam(1)->Set(0.0);
  EXPECT_EQ(Set(kAudioUnitProperty_ClassInfo, 0, 0, &d.ref, sizeof(d.ref)), noErr);
  EXPECT_EQ(plug->GetParam(1)->Value(), 0.625);
}

TEST(StateFile, RoundTripsThroughAFileIntoAFreshInstanceOfTheRealPlugIn)
{
  TestHost host;
  std::string error;
  ASSERT_TRUE(host.LoadBundle(DAVREL_PLUGIN_BUNDLE, &error)) << error;
  AudioUnit a = host.Open(&error);
  ASSERT_NE(a, nullptr) << error;
  ASSERT_EQ(host.Prepare(a, 48000.0, 128), noErr);
  // Values the parameters hold without a configuration (whole steps), ids that
  // travel in the editor's chunk (0 to 472).
  const struct { UInt32 id; float value; } sets[] = {{0, 1.0f}, {7, 1.0f}, {20, 1.0f}};
  for (const auto& s : sets) ASSERT_EQ(AudioUnitSetParameter(a, s.id, kAudioUnitScope_Global, 0, s.value, 0), noErr);
  std::vector<float> l, r;
  ASSERT_EQ(host.Render(a, 128, &l, &r), noErr);
  const std::string path = TempPath("state.xml");
  ASSERT_EQ(host.SaveState(a, path, &error), noErr) << error;
  host.Close(a);

  AudioUnit b = host.Open(&error);
  ASSERT_NE(b, nullptr);
  AudioUnitParameterValue v = -1;
  AudioUnitGetParameter(b, 7, kAudioUnitScope_Global, 0, &v);
  EXPECT_EQ(v, 0.0f);
  ASSERT_EQ(host.RestoreState(b, path, &error), noErr) << error;
  for (const auto& s : sets)
  {
    ASSERT_EQ(AudioUnitGetParameter(b, s.id, kAudioUnitScope_Global, 0, &v), noErr);
    EXPECT_EQ(v, s.value) << s.id;
  }

  // The same file edited to name another component is refused and changes nothing.
  std::ifstream in(path);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string subtype = std::to_string((SInt32)MakeOSType("dvrx"));
  const size_t at = text.find(subtype);
  ASSERT_NE(at, std::string::npos);
  text.replace(at, subtype.size(), std::to_string((SInt32)MakeOSType("dvry")));
  const std::string other = TempPath("other.xml");
  std::ofstream(other) << text;
  AudioUnitSetParameter(b, 7, kAudioUnitScope_Global, 0, 0.0f, 0);
  EXPECT_EQ(host.RestoreState(b, other, &error), kAudioUnitErr_InvalidPropertyValue);
  AudioUnitGetParameter(b, 7, kAudioUnitScope_Global, 0, &v);
  EXPECT_EQ(v, 0.0f);

  // The file carries the editor's chunk: header word 1, the quick tab, then the
  // patch manager block with its two version words.
  const size_t data = text.find("<key>data</key>");
  ASSERT_NE(data, std::string::npos);
  const size_t open = text.find("<data>", data) + 6, close = text.find("</data>", data);
  std::string b64;
  for (char c : text.substr(open, close - open))
    if (!isspace((unsigned char)c)) b64 += c;
  // Base64 of 00 00 00 01 followed by the first bytes of the quick tab's double.
  EXPECT_EQ(b64.substr(0, 6), "AAAAAQ");
  EXPECT_GT(b64.size() * 3 / 4, 7680u);

  // With its ports turned off the state brings the values back; a chunk cut short
  // within the patch manager block is refused before the unit sees it.
  for (const auto& s : sets) AudioUnitSetParameter(b, s.id, kAudioUnitScope_Global, 0, 0.0f, 0);
  ASSERT_EQ(host.RestoreState(b, path, &error, TestHost::kPortsOff), noErr) << error;
  for (const auto& s : sets) EXPECT_EQ((AudioUnitGetParameter(b, s.id, kAudioUnitScope_Global, 0, &v), v), s.value);
  std::ifstream again(path);
  std::string cut((std::istreambuf_iterator<char>(again)), std::istreambuf_iterator<char>());
  cut.replace(cut.find("<data>", cut.find("<key>data</key>")) + 6, std::string::npos, b64.substr(0, 40) + "</data></dict></plist>\n");
  std::ofstream(other) << cut;
  EXPECT_EQ(host.RestoreState(b, other, &error, TestHost::kPortsOff), paramErr);
  EXPECT_NE(error.find("no editor chunk"), std::string::npos) << error;
  host.Close(b);
  remove(path.c_str());
  remove(other.c_str());
}

TEST(StateFile, MalformedFilesAreRefused)
{
  const std::string head = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
  const char* bodies[] = {
      "<dict><key>a</key></dict>",
      "<dict><key>a</key><integer>1</integer><key>a</key><integer>2</integer></dict>",
      "<dict><string>a</string><integer>1</integer></dict>",
      "<dict><key>a</key><integer>12x</integer></dict>",
      "<dict><key>a</key><integer></integer></dict>",
      "<dict><key>a</key><integer>99999999999999999999</integer></dict>",
      "<dict><key>a</key><real>1.5.2</real></dict>",
      "<dict><key>a</key><data>abc</data></dict>",
      "<dict><key>a</key><data>ab=c</data></dict>",
      "<dict><key>a</key><data>a$bc</data></dict>",
      "<dict><key>a</key><date>2020</date></dict>",
      "<dict/><dict/>",
      "",
  };
  const std::string path = TempPath("bad.xml");
  for (const char* body : bodies)
  {
    std::ofstream(path) << head << body << "</plist>";
    std::string error;
    CFPropertyListRef p = ReadStateFile(path, &error);
    EXPECT_EQ(p, nullptr) << body;
    EXPECT_FALSE(error.empty()) << body;
    if (p) CFRelease(p);
  }
  std::ofstream(path) << "not xml at all <";
  std::string error;
  EXPECT_EQ(ReadStateFile(path, &error), nullptr);
  EXPECT_EQ(ReadStateFile(path + ".absent", &error), nullptr);

  std::ofstream(path) << head
                      << "<dict><key>n</key><array><integer>-3</integer><real>0.5</real><string/></array>"
                         "<key>d</key><data>AAEC/w==</data></dict></plist>";
  CFPropertyListRef p = ReadStateFile(path, &error);
  ASSERT_NE(p, nullptr) << error;
  ByteChunk chunk;
  ASSERT_TRUE(GetDataFromDict((CFDictionaryRef)p, "d", &chunk));
  ASSERT_EQ(chunk.Size(), 4);
  EXPECT_EQ(chunk.Data()[3], 0xFF);
  const std::string again = TempPath("again.xml");
  ASSERT_TRUE(WriteStateFile(again, p, &error)) << error;
  CFPropertyListRef q = ReadStateFile(again, &error);
  EXPECT_TRUE(CFEqual(p, q));
  CFRelease(p);
  CFRelease(q);
  remove(path.c_str());
  remove(again.c_str());
}

}  // namespace
