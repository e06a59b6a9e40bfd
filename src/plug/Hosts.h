#pragma once
// Host applications the plug-in can tell apart by name or bundle identifier.

enum EHost
{
  kHostUninit = -1,
  kHostUnknown = 0,
  kHostReaper = 1,
  kHostProTools = 2,
  kHostCubase = 3,
  kHostNuendo = 4,
  kHostSonar = 5,
  kHostVegas = 6,
  kHostFL = 7,
  kHostSamplitude = 8,
  kHostAbletonLive = 9,
  kHostTracktion = 10,
  kHostNTracks = 11,
  kHostMelodyneStudio = 12,
  kHostVSTScanner = 13,
  kHostAULab = 14,
  kHostForte = 15,
  kHostChainer = 16,
  kHostAudition = 17,
  kHostOrion = 18,
  kHostBias = 19,
  kHostSAWStudio = 20,
  kHostLogic = 21,
  kHostGarageBand = 22,
  kHostDigitalPerformer = 23,
  kHostStandalone = 24,
  kHostAudioMulch = 25,
  kHostStudioOne = 26,
  kHostVST3TestHost = 27,
  kHostArdour = 28
};

// Host number for a name or bundle identifier, by lower-case substring; 0 when none matches.
int LookUpHost(const char* host);
enum { kHostNameStrLen = 19 };
// Display name of a host number; str holds kHostNameStrLen bytes.
void GetHostNameStr(int host, char* str);
