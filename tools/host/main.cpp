// davrel-host: loads the plug-in bundle and drives it as an Audio Unit host
// would. --smoke prints the plug-in's identity and parameter counts; the full
// run opens an instance, reads and sets properties, initialises, renders blocks
// while reporting tempo, transport and position, sends MIDI, saves the state to
// a file, restores it into a fresh instance (with its MIDI ports off) and checks
// it came back.

#include "EditorWindow.h"
#include "PortNames.h"
#include "TestHost.h"

#include "config/ParamIds.h"
#include "platform/corefoundation/CoreFoundation.h"
#include "plug/IPlugUtilities.h"

#include <algorithm>
#include <cmath>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

struct Options
{
  bool smoke = false;
  std::string bundle = DAVREL_PLUGIN_BUNDLE;
  double rate = 48000.0;
  int block = 256;
  int blocks = 8;
  double tempo = 120.0;
  bool playing = true;
  // --set, --run, --shot, --play and --stop in the order given: a parameter
  // change, seconds of the render loop and the editor's timer turning in real time
  // (seconds -1 marks a --set), the editor's window written to a PNG file, or the
  // host's transport started or stopped (seconds -2 and -3).
  struct Step
  {
    UInt32 id;
    float value;
    double seconds;
    std::string shot;
  };
  std::vector<Step> steps;
  std::string in, out, log;
  bool listPorts = false;
  std::vector<std::vector<UInt8>> midi;
  std::string save, restore;
  std::string screenshot;
  bool window = false;
  int frames = 5;
  int scan = 0;  // rounds of load, open, close and unload
};

// The port listing's bound: a server that takes no clients is not waited for.
const int kListingMs = 5000;

void Usage(const char* argv0)
{
  fprintf(stderr,
          "usage: %s [--smoke] [--bundle DIR] [--rate HZ] [--block FRAMES] [--blocks N] [--tempo BPM] [--stopped]\n"
          "          [--in NAME] [--out NAME] [--list-ports] [--log FILE]\n"
          "          [--set ID=VALUE | --run SECONDS | --shot FILE.png | --show | --play | --stop]...\n"
          "          [--midi \"90 3C 64\"]...\n"
          "          [--save FILE] [--restore FILE]\n"
          "       %s [--bundle DIR] --screenshot FILE.png [--frames N]\n"
          "       %s [--bundle DIR] --window\n"
          "       %s [--bundle DIR] --scan N\n",
          argv0, argv0, argv0, argv0);
}

bool ParseHexBytes(const char* text, std::vector<UInt8>* bytes)
{
  bytes->clear();
  for (const char* p = text; *p;)
  {
    while (*p == ' ') ++p;
    if (!*p) break;
    char* end = nullptr;
    const long v = strtol(p, &end, 16);
    if (end == p || v < 0 || v > 255) return false;
    bytes->push_back((UInt8)v);
    p = end;
  }
  return !bytes->empty();
}

// ID=VALUE: a parameter number in decimal digits and a finite number, both whole.
bool ParseSet(const char* text, UInt32* id, float* value)
{
  const char* eq = strchr(text, '=');
  if (!eq || eq == text || eq - text > 9) return false;
  unsigned long n = 0;
  for (const char* p = text; p < eq; ++p)
  {
    if (*p < '0' || *p > '9') return false;
    n = n * 10 + (unsigned long)(*p - '0');
  }
  const char* start = eq + 1;
  char* end = nullptr;
  const double v = strtod(start, &end);
  if (end == start || *end || !std::isfinite(v) || v > 3.4e38 || v < -3.4e38) return false;
  *id = (UInt32)n;
  *value = (float)v;
  return true;
}

// What the editor's project state stores and the check instance gets back: the
// values of parameters 0 to 472 and the quick tab. The two ports are stored by
// name, but the check instance restores them turned off, so that it never talks
// to the synthesizer the first instance used. The others belong to the session
// (a request button, the page shown, an indicator) and are not expected back.
bool StoredInProjectState(UInt32 id) { return id < 473 || id == kQuickTab; }

// The port library's probing is put in the log once, as one line.
AudioUnit OpenQuietly(TestHost& host, std::string* error)
{
  static bool said = false;
  HeldStderr held;
  AudioUnit unit = host.Open(error);
  const std::string line = ProbeNoiseLine(held.Release());
  if (!line.empty() && !said)
  {
    printf("%s\n", line.c_str());
    said = true;
  }
  return unit;
}

// The place of a port's name in the editor's own list, which is the value of its
// device parameter; -1 when the list lacks it. The editor read its list when it
// was made: a list read now may hold ports that came or went since, at other places.
int EditorPortIndex(AudioUnit unit, UInt32 param, const std::string& name)
{
  CFStringRef text = CFStringCreateWithCString(nullptr, name.c_str(), kCFStringEncodingUTF8);
  AudioUnitParameterValueFromString req = {param, text, -1.0f};
  UInt32 size = sizeof(req);
  const OSStatus r =
      AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterValueFromString, kAudioUnitScope_Global, 0, &req, &size);
  CFRelease(text);
  return r == noErr ? (int)req.outValue : -1;
}

void PrintPorts(FILE* to)
{
  MidiPortLists lists;
  if (!ListMidiPorts(&lists, kListingMs))
  {
    fprintf(to, "the MIDI ports could not be listed within %d ms\n", kListingMs);
    return;
  }
  for (const auto& n : lists.outputs) fprintf(to, "output: %s\n", n.c_str());
  for (const auto& n : lists.inputs) fprintf(to, "input: %s\n", n.c_str());
}

bool ParseArgs(int argc, char** argv, Options* o)
{
  for (int i = 1; i < argc; ++i)
  {
    const std::string a = argv[i];
    const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
    auto value = [&]() -> const char* { return next ? argv[++i] : nullptr; };
    if (a == "--smoke") o->smoke = true;
    else if (a == "--stopped") o->playing = false;
    else if (a == "--bundle" && next) o->bundle = value();
    else if (a == "--rate" && next) o->rate = atof(value());
    else if (a == "--block" && next) o->block = atoi(value());
    else if (a == "--blocks" && next) o->blocks = atoi(value());
    else if (a == "--tempo" && next) o->tempo = atof(value());
    else if (a == "--save" && next) o->save = value();
    else if (a == "--screenshot" && next) o->screenshot = value();
    else if (a == "--window") o->window = true;
    else if (a == "--frames" && next) o->frames = atoi(value());
    else if (a == "--restore" && next) o->restore = value();
    else if (a == "--in" && next) o->in = value();
    else if (a == "--out" && next) o->out = value();
    else if (a == "--log" && next) o->log = value();
    else if (a == "--list-ports") o->listPorts = true;
    else if (a == "--scan" && next) o->scan = atoi(value());
    else if (a == "--shot" && next) o->steps.push_back({0, 0.0f, -1.0, value()});
    else if (a == "--show") o->steps.push_back({0, 0.0f, -1.0, "-"});
    else if (a == "--play") o->steps.push_back({0, 0.0f, -2.0, std::string()});
    else if (a == "--stop") o->steps.push_back({0, 0.0f, -3.0, std::string()});
    else if (a == "--run" && next)
    {
      const double seconds = atof(value());
      if (!(seconds >= 0.0)) return false;
      o->steps.push_back({0, 0.0f, seconds, std::string()});
    }
    else if (a == "--set" && next)
    {
      const char* v = value();
      UInt32 id = 0;
      float number = 0.0f;
      if (!ParseSet(v, &id, &number))
      {
        fprintf(stderr, "--set %s: give ID=VALUE, a parameter number and a number (for example 522=1)\n", v);
        return false;
      }
      o->steps.push_back({id, number, -1.0, std::string()});
    }
    else if (a == "--midi" && next)
    {
      std::vector<UInt8> bytes;
      if (!ParseHexBytes(value(), &bytes)) return false;
      o->midi.push_back(bytes);
    }
    else return false;
  }
  return o->rate > 0.0 && o->block > 0 && o->blocks >= 0 && o->frames >= 0 && o->scan >= 0;
}

std::string Version(int v)
{
  char buf[kVersionStrLen];
  GetVersionStr(v, buf);
  return buf;
}

std::string Code(OSType c)
{
  char buf[5];
  FourCCStr((int)c, buf);
  return buf;
}

// Parameters the host sees, and how many ids the unit answers at all.
void CountParameters(AudioUnit unit, UInt32* shown, UInt32* answered)
{
  UInt32 size = 0;
  Boolean writable = false;
  *shown = AudioUnitGetPropertyInfo(unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, &size,
                                    &writable) == noErr
               ? size / sizeof(AudioUnitParameterID)
               : 0;
  UInt32 n = 0;
  AudioUnitParameterValue v;
  while (n < 100000 && AudioUnitGetParameter(unit, n, kAudioUnitScope_Global, 0, &v) == noErr) ++n;
  *answered = n;
}

int Smoke(TestHost& host, const Options&)
{
  std::string error;
  AudioUnit unit = host.Open(&error);
  if (!unit)
  {
    fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  UInt32 shown = 0, answered = 0;
  CountParameters(unit, &shown, &answered);
  // One write, so that a library's own lines on standard error (the port layer's
  // threads are running) never land inside the block.
  const std::string block = "name: " + host.Name() + "\nversion: " + Version(CallComponentVersion(unit)) +
                            "\ntype: " + Code(host.Description().componentType) +
                            "\nunique id: " + Code(host.Description().componentSubType) +
                            "\nmaker id: " + Code(host.Description().componentManufacturer) +
                            "\nparameters shown to the host: " + std::to_string(shown) +
                            "\nparameters: " + std::to_string(answered) + "\n";
  fflush(stdout);
  if (write(STDOUT_FILENO, block.data(), block.size()) != (ssize_t)block.size()) return 1;
  host.Close(unit);
  return answered > 0 ? 0 : 1;
}

void PrintProperties(AudioUnit unit)
{
  UInt32 count = 0, size = sizeof(count);
  AudioUnitGetProperty(unit, kAudioUnitProperty_ElementCount, kAudioUnitScope_Input, 0, &count, &size);
  printf("input busses: %u\n", count);
  size = sizeof(count);
  AudioUnitGetProperty(unit, kAudioUnitProperty_ElementCount, kAudioUnitScope_Output, 0, &count, &size);
  printf("output busses: %u\n", count);
  for (AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output})
  {
    CFStringRef name = nullptr;
    size = sizeof(name);
    if (AudioUnitGetProperty(unit, kAudioUnitProperty_ElementName, scope, 0, &name, &size) == noErr)
    {
      printf("%s bus 0: \"%s\"\n", scope == kAudioUnitScope_Input ? "input" : "output",
             CFStringGetCStringPtr(name, kCFStringEncodingUTF8));
      CFRelease(name);
    }
  }
  AUChannelInfo layouts[8];
  size = sizeof(layouts);
  if (AudioUnitGetProperty(unit, kAudioUnitProperty_SupportedNumChannels, kAudioUnitScope_Global, 0, layouts, &size) ==
      noErr)
    for (UInt32 i = 0; i < size / sizeof(AUChannelInfo); ++i)
      printf("channel layout: %d-%d\n", layouts[i].inChannels, layouts[i].outChannels);
  Float64 latency = 0;
  size = sizeof(latency);
  AudioUnitGetProperty(unit, kAudioUnitProperty_Latency, kAudioUnitScope_Global, 0, &latency, &size);
  printf("latency: %.6f s\n", latency);
  CFArrayRef presets = nullptr;
  size = sizeof(presets);
  if (AudioUnitGetProperty(unit, kAudioUnitProperty_FactoryPresets, kAudioUnitScope_Global, 0, &presets, &size) ==
      noErr)
  {
    printf("factory presets: %ld\n", CFArrayGetCount(presets));
    CFRelease(presets);
  }
}

int Run(TestHost& host, const Options& o)
{
  std::string error;
  AudioUnit unit = OpenQuietly(host, &error);
  if (!unit)
  {
    fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  {
    UInt32 shown = 0, answered = 0;
    CountParameters(unit, &shown, &answered);
    for (const auto& s : o.steps)
      if (s.seconds == -1.0 && s.shot.empty() && s.id >= answered)
      {
        fprintf(stderr, "--set %u=%g: the plug-in has no parameter %u (its parameters are 0 to %u)\n", s.id,
                (double)s.value, s.id, answered - 1);
        host.Close(unit);
        return 2;
      }
  }
  printf("opened: %s %s\n", host.Name().c_str(), Version(CallComponentVersion(unit)).c_str());
  PrintProperties(unit);

  host.timeline.tempo = o.tempo;
  host.timeline.playing = o.playing;
  host.input = [](int channel, double t) { return (float)((channel + 1) * 0.001 * std::fmod(t, 100.0)); };
  OSStatus r = host.Prepare(unit, o.rate, o.block);
  printf("initialised at %.0f Hz, %d frames: %d\n", o.rate, o.block, (int)r);
  if (r != noErr) return 1;

  // Ports by name: the index in the editor's list is the device parameter's value.
  // The input first: choosing the output asks the synthesizer for its settings at
  // once, and the answer must find the input open.
  const struct
  {
    const std::string& name;
    UInt32 param;
    const char* what;
  } ports[] = {{o.in, 487, "input"}, {o.out, 486, "output"}};
  for (const auto& p : ports)
  {
    if (p.name.empty()) continue;
    // The plug-in's port thread reads the lists after it opened: its menus may
    // lack the ports a while.
    int index = EditorPortIndex(unit, p.param, p.name);
    for (int wait = 0; index < 1 && wait < 500; ++wait)
    {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      index = EditorPortIndex(unit, p.param, p.name);
    }
    if (index < 1)
    {
      fprintf(stderr, "no MIDI %s port named \"%s\"; the ports that exist:\n", p.what, p.name.c_str());
      PrintPorts(stderr);
      host.Close(unit);
      return 1;
    }
    r = AudioUnitSetParameter(unit, p.param, kAudioUnitScope_Global, 0, (float)index, 0);
    printf("MIDI %s \"%s\" selected: %d\n", p.what, p.name.c_str(), (int)r);
  }

  std::vector<float> left, right;
  // The editor's window, opened at the first --shot; its redraw timer turns with
  // the render loop from then on.
  std::unique_ptr<EditorWindow> editor;
  for (const auto& s : o.steps)
  {
    if (!s.shot.empty())
    {
      if (!editor)
      {
        editor.reset(new EditorWindow);
        if (!editor->Open(host, unit, host.Name(), &error))
        {
          fprintf(stderr, "%s\n", error.c_str());
          return 1;
        }
      }
      if (s.shot == "-")
      {
        // The window stays until it is closed; the ports keep working meanwhile,
        // and so does the render loop, on an audio thread of its own as a host's
        // is: the editor's clock, its activity indicators and the requests it
        // leaves to the audio callback run off it.
        printf("editor shown until its window is closed\n");
        fflush(stdout);
        std::atomic<bool> shown{true};
        OSStatus rendered = noErr;
        long n = 0;
        std::thread audio([&] {
          std::vector<float> l, r;
          const auto start = std::chrono::steady_clock::now();
          const auto blockTime = std::chrono::duration<double>(o.block / o.rate);
          while (shown && rendered == noErr)
          {
            rendered = host.Render(unit, o.block, &l, &r);
            ++n;
            std::this_thread::sleep_until(start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                      blockTime * n));
          }
        });
        NSApplication::sharedApplication()->run();
        shown = false;
        audio.join();
        printf("rendered %ld blocks while shown: %d\n", n, (int)rendered);
        if (rendered != noErr) return 1;
        continue;
      }
      NSRunLoop::currentRunLoop()->runFor(0.2);  // a few frames of the redraw timer
      if (!editor->window()->writePNG(s.shot)) return 1;
      printf("screenshot written: %s\n", s.shot.c_str());
      continue;
    }
    if (s.seconds >= 0.0)
    {
      // The render loop at the host's pace: one block per block's worth of time.
      const auto start = std::chrono::steady_clock::now();
      const auto blockTime = std::chrono::duration<double>(o.block / o.rate);
      long n = 0;
      while (std::chrono::steady_clock::now() - start < std::chrono::duration<double>(s.seconds))
      {
        if (host.Render(unit, o.block, &left, &right) != noErr) return 1;
        ++n;
        const auto due = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(blockTime * n);
        if (editor)
        {
          const double remaining = std::chrono::duration<double>(due - std::chrono::steady_clock::now()).count();
          if (remaining > 0) NSRunLoop::currentRunLoop()->runFor(remaining);
        }
        else
          std::this_thread::sleep_until(due);
      }
      printf("ran %.2f s: %ld blocks\n", s.seconds, n);
      continue;
    }
    if (s.seconds < -1.5)
    {
      host.timeline.playing = s.seconds > -2.5;
      printf("transport %s\n", host.timeline.playing ? "playing" : "stopped");
      continue;
    }
    r = AudioUnitSetParameter(unit, s.id, kAudioUnitScope_Global, 0, s.value, 0);
    AudioUnitParameterValue v = 0;
    AudioUnitGetParameter(unit, s.id, kAudioUnitScope_Global, 0, &v);
    printf("parameter %u set to %g: %d, reads %g\n", s.id, s.value, (int)r, v);
  }
  for (const auto& m : o.midi)
  {
    if (m[0] == 0xF0) r = MusicDeviceSysEx(unit, m.data(), (UInt32)m.size());
    else r = MusicDeviceMIDIEvent(unit, m[0], m.size() > 1 ? m[1] : 0, m.size() > 2 ? m[2] : 0, 0);
    printf("MIDI of %zu bytes sent: %d\n", m.size(), (int)r);
  }

  for (int b = 0; b < o.blocks; ++b)
  {
    const double beat = host.timeline.Beat(o.rate);
    r = host.Render(unit, o.block, &left, &right);
    printf("block %d at sample %.0f: tempo %.2f, beat %.3f, %s: %d\n", b, host.sampleTime - o.block,
           host.timeline.tempo, beat, host.timeline.playing ? "playing" : "stopped", (int)r);
    if (r != noErr) return 1;
  }

  std::string path = o.save;
  const bool tempFile = path.empty();
  if (tempFile) path = "/tmp/davrel-host-state-" + std::to_string(getpid()) + ".xml";
  r = host.SaveState(unit, path, &error);
  printf("state saved to %s: %d%s%s\n", path.c_str(), (int)r, error.empty() ? "" : " ", error.c_str());
  if (r != noErr) return 1;

  std::vector<AudioUnitParameterValue> before;
  UInt32 shown = 0, answered = 0;
  CountParameters(unit, &shown, &answered);
  for (UInt32 i = 0; i < answered; ++i)
  {
    AudioUnitParameterValue v = 0;
    AudioUnitGetParameter(unit, i, kAudioUnitScope_Global, 0, &v);
    before.push_back(v);
  }
  editor.reset();
  host.Close(unit);

  AudioUnit fresh = OpenQuietly(host, &error);
  if (!fresh || (r = host.Prepare(fresh, o.rate, o.block)) != noErr)
  {
    fprintf(stderr, "a second instance could not be %s: %s\n", fresh ? "prepared" : "opened",
            fresh ? std::to_string(r).c_str() : error.c_str());
    return 1;
  }
  r = host.RestoreState(fresh, o.restore.empty() ? path : o.restore, &error, TestHost::kPortsOff);
  printf("state restored into a new instance: %d%s%s\n", (int)r, error.empty() ? "" : " ", error.c_str());
  int mismatches = 0;
  if (o.restore.empty())
  {
    int stored = 0;
    for (UInt32 i = 0; i < before.size(); ++i)
    {
      if (!StoredInProjectState(i)) continue;
      ++stored;
      AudioUnitParameterValue v = 0;
      AudioUnitGetParameter(fresh, i, kAudioUnitScope_Global, 0, &v);
      if (v != before[i])
      {
        ++mismatches;
        printf("parameter %u came back as %g, saved as %g\n", i, v, before[i]);
      }
    }
    printf("stored parameters that came back different: %d of %d\n", mismatches, stored);
  }
  host.Close(fresh);
  if (tempFile) remove(path.c_str());
  printf("closed\n");
  return r == noErr && !mismatches ? 0 : 1;
}

// A host's plug-in scan, rounds times: the library loaded as such a scan loads it
// (without RTLD_NODELETE), an instance opened and closed, and the library unloaded
// at once.
int Scan(const Options& o)
{
  using Clock = std::chrono::steady_clock;
  double longest = 0.0;
  for (int round = 0; round < o.scan; ++round)
  {
    TestHost host;
    std::string error;
    if (!host.LoadBundle(o.bundle, &error, TestHost::kUnloadable))
    {
      fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    AudioUnit unit = host.Open(&error);
    if (!unit)
    {
      fprintf(stderr, "round %d: %s\n", round + 1, error.c_str());
      return 1;
    }
    host.Close(unit);
    const auto start = Clock::now();
    host.Unload();
    longest = std::max(longest, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  printf("scanned %d times: loaded, opened, closed and unloaded; the longest unload took %.1f ms\n", o.scan,
         longest);
  return 0;
}

// Opens the editor in a window; with a file, lets the redraw timer run the frames
// and writes the window's pixels; without, keeps it open until it is closed.
int Editor(TestHost& host, const Options& o)
{
  std::string error;
  AudioUnit unit = host.Open(&error);
  if (!unit)
  {
    fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  int result = 0;
  {
    EditorWindow editor;
    if (!editor.Open(host, unit, host.Name(), &error))
    {
      fprintf(stderr, "%s\n", error.c_str());
      host.Close(unit);
      return 1;
    }
    NSApplication* app = NSApplication::sharedApplication();
    const NSRect frame = editor.view()->frame();
    printf("editor open: %dx%d on %s\n", (int)frame.size.width, (int)frame.size.height, app->presenter()->name());
    fflush(stdout);
    NSRunLoop* loop = NSRunLoop::currentRunLoop();
    if (!o.screenshot.empty())
    {
      // The view's timer ticks once a frame; run as long as that many frames take.
      const int fps = 25;
      loop->runFor((double)o.frames / fps + 0.001);
      if (!editor.window()->writePNG(o.screenshot)) result = 1;
      else printf("screenshot written: %s\n", o.screenshot.c_str());
    }
    else
    {
      app->run();
      printf("editor window closed%s\n", editor.closedByUser() ? " by the user" : "");
    }
  }
  host.Close(unit);
  return result;
}

}  // namespace

int main(int argc, char** argv)
{
  // Whole lines, each in one write: the plug-in's logger thread and the libraries'
  // standard error write beside them.
  setvbuf(stdout, nullptr, _IOLBF, 0);
  Options o;
  if (!ParseArgs(argc, argv, &o))
  {
    Usage(argv[0]);
    return 2;
  }
  if (o.listPorts)
  {
    MidiPortLists lists;
    if (!ListMidiPorts(&lists, kListingMs))
    {
      fprintf(stderr, "the MIDI ports could not be listed within %d ms\n", kListingMs);
      // The reading thread is still inside the JACK library: nothing of the
      // process's end may wait for it.
      fflush(stdout);
      _exit(1);
    }
    for (const auto& n : lists.outputs) printf("output: %s\n", n.c_str());
    for (const auto& n : lists.inputs) printf("input: %s\n", n.c_str());
    if (lists.outputs.size() == 1) printf("no output ports: %s\n", lists.whyNoOutputs.c_str());
    if (lists.inputs.size() == 1) printf("no input ports: %s\n", lists.whyNoInputs.c_str());
    return 0;
  }
  if (o.scan > 0) return Scan(o);
  if (!o.log.empty())
  {
    // The editor logs only to a log file that exists in its data folder; its log
    // lines and MIDI trace also go to standard output, which the file takes.
    const char* env = getenv("DAVREL_DATA_DIR");
    std::string folder = env && *env ? env : "/Library/Audio/Presets/Quiet Harbor Sound/Rudu Davrel Editor";
    for (size_t at = 1; at != std::string::npos; at = folder.find('/', at + 1))
      mkdir(folder.substr(0, at).c_str(), 0755);
    mkdir(folder.c_str(), 0755);
    const std::string logFile = folder + "/Davrel Editor LOG.txt";
    if (FILE* f = fopen(logFile.c_str(), "ab")) fclose(f);
    fflush(stdout);
    if (!freopen(o.log.c_str(), "w", stdout))
    {
      fprintf(stderr, "cannot write %s\n", o.log.c_str());
      return 1;
    }
    setvbuf(stdout, nullptr, _IOLBF, 0);
    fprintf(stderr, "log: %s (the editor's own log file: %s)\n", o.log.c_str(), logFile.c_str());
  }
  TestHost host;
  std::string error;
  if (!host.LoadBundle(o.bundle, &error))
  {
    fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  if (!o.screenshot.empty() || o.window) return Editor(host, o);
  return o.smoke ? Smoke(host, o) : Run(host, o);
}
