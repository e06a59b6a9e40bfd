// The editor's state chunks for the editor_state seeds, apart from make_seeds.cpp
// because the editor's test support and the plug-in tests' test plug-in do not share
// one translation unit.

#include "EditorTestSupport.h"

#include "config/ParamIds.h"
#include "editor/PatchManager.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

std::vector<std::vector<uint8_t>> EditorStateSeeds()
{
  setenv("JACK_DEFAULT_SERVER", "davrel-fuzz-no-server", 1);
  DataFolder data;
  EditorUnderTest e;
  std::vector<std::vector<uint8_t>> out;
  auto save = [&] {
    ByteChunk c;
    if (!e.SerializeState(&c)) abort();
    out.emplace_back(c.Data(), c.Data() + c.Size());
  };
  save();
  // A project with its own program name, timbre, channel and filter settings.
  e.patchManager->names[0] = "Seed Lead";
  e.userSets(kQuickTab, 1);
  e.userSets(kGlobalMidiChannel, 5);
  e.userSets(kFilterCutoff, 99);
  e.userSets(kMIDIFilterDAWCCPassThrough, 1);
  e.userSets(kMasterKeyboard, 1);
  save();
  return out;
}
