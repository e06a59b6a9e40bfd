#include "plug/Hosts.h"

#include "plug/IPlugUtilities.h"

#include <cstdio>
#include <cstring>

int LookUpHost(const char* inHost)
{
  if (!inHost) return kHostUnknown;
  // Names longer than the buffer are cut before lower-casing.
  char cut[256];
  snprintf(cut, sizeof(cut), "%s", inHost);
  char host[256];
  ToLower(host, cut);

  // Order matters: "live" is found before "logic", for example.
  static const struct { const char* name; int host; } kHosts[] = {
      {"cubase", kHostCubase},         {"reaper", kHostReaper},         {"nuendo", kHostNuendo},
      {"cakewalk", kHostSonar},        {"samplitude", kHostSamplitude}, {"fruity", kHostFL},
      {"live", kHostAbletonLive},      {"melodyne", kHostMelodyneStudio}, {"vstmanlib", kHostVSTScanner},
      {"aulab", kHostAULab},           {"garageband", kHostGarageBand}, {"forte", kHostForte},
      {"chainer", kHostChainer},       {"audition", kHostAudition},     {"orion", kHostOrion},
      {"sawstudio", kHostSAWStudio},   {"logic", kHostLogic},           {"digital", kHostDigitalPerformer},
      {"audiomulch", kHostAudioMulch}, {"presonus", kHostStudioOne},    {"vst3plugintesthost", kHostVST3TestHost},
      {"protools", kHostProTools},     {"ardour", kHostArdour},         {"standalone", kHostStandalone},
  };
  for (const auto& h : kHosts)
    if (strstr(host, h.name)) return h.host;
  return kHostUnknown;
}

void GetHostNameStr(int host, char* str)
{
  static const char* const kNames[] = {"Unknown",   "Reaper",     "ProTools",  "Cubase",     "Nuendo",     "Sonar",
                                       "Vegas",     "FLStudio",   "Samplitude", "Live",      "Unknown",    "Unknown",
                                       "Unknown",   "VSTScanner", "AULab",     "Forte",      "Chainer",    "Audition",
                                       "Orion",     "Unknown",    "SAWStudio", "Logic",      "GarageBand", "DigitalPerformer",
                                       "Standalone", "AudioMulch", "StudioOne", "VST3PluginTestHost", "Ardour"};
  const char* name = host >= 1 && host <= kHostArdour ? kNames[host] : "Unknown";
  snprintf(str, kHostNameStrLen, "%s", name);
}
