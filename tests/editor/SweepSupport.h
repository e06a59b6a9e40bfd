#pragma once
// What the control sweeps (headless and over X) read of the editor's screen: the
// layers shown, the page with its overlays, and the controls a user can reach.

#include "config/ParamIds.h"
#include "editor/Davrel.h"
#include "gui/IControl.h"
#include "gui/IGraphics.h"
#include "ui/ControlLayer.h"

#include "EditorTestSupport.h"
#include "LibrarianTestSupport.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

// A page of the sweeps: the parameters a user sets to reach it, in order.
struct PageState
{
  const char* name;
  std::vector<std::pair<int, int>> sets;  // parameter, value
  // Then a right click at this point, choosing the menu entry of this title.
  int rightX = -1, rightY = -1;
  const char* entry = nullptr;
};

// Every page and overlay, each reached from the one before.
inline std::vector<PageState> sweepPages()
{
  return {
      {"mixer", {{kMainPage, 0}}},
      {"sound timbre 1", {{kMainPage, 2}, {kQuickTab, 0}}},
      {"sound timbre 2", {{kMainPage, 2}, {kQuickTab, 1}}},
      {"sequence timbre 1", {{kShowModSequence, 1}, {kQuickTab, 0}}},
      {"sequence timbre 2", {{kShowModSequence, 1}, {kQuickTab, 1}}},
      {"global settings", {{kShowModSequence, 0}, {kGlobalSettings, 1}}},
      {"MIDI filters", {{kViewMIDIFilterSettings, 1}}},
      {"librarian", {{kGlobalSettings, 0}, {kShowLibrarian, 1}}},
      {"librarian search", {{kShowLibrarian, 1}, {kPatchSearch, 1}}},
      {"about", {{kShowLibrarian, 0}, {kDisplayAboutWindow, 1}}},
  };
}

// The editor of a sweep: two banks in its data folder, so that the librarian's
// commands have programs to work on, an output port chosen, and the two timbres
// and the global settings on channels 1, 2 and 16.
inline std::unique_ptr<EditorUnderTest> makeSweptEditor(const DataFolder& data)
{
  std::filesystem::create_directories(data.file("Patches"));
  writeBankFile(data.file("Patches/Alpha.dvl"), 1);
  writeBankFile(data.file("Patches/Beta.dvl"), 2);
  std::unique_ptr<EditorUnderTest> e(new EditorUnderTest);
  e->GetParam(kDeviceOutSelection)->InitInt("out", 0, 0, 8);
  e->GetParam(kDeviceOutSelection)->Set(1);
  e->midiOutSet = true;
  e->GetParam(kMultiPartMIDICh)->Set(0);
  e->GetParam(kMultiPartMIDICh + 1)->Set(1);
  e->GetParam(kGlobalMidiChannel)->Set(15);
  e->sysexChannelByte = 0x3F;
  return e;
}

// The shown layers by name with their selected children.
inline std::string shownLayerSignature(IGraphics* g)
{
  std::ostringstream s;
  std::function<void(ControlLayer*)> walk = [&](ControlLayer* l) {
    if (!l->visible) return;
    s << l->name << ":" << l->selectedChildId << " ";
    for (int i = 0; i < l->children.GetSize(); ++i) walk(l->children.Get(i));
  };
  for (int i = 0; i < g->NLayers(); ++i) walk(g->GetLayer(i));
  return s.str();
}

// The page, the timbre copy and the overlays shown: what a control other than a
// page control leaves alone (zones inside a page follow their switches).
inline std::string pageAndOverlays(const Davrel& e)
{
  std::ostringstream s;
  for (ControlLayer* l : {e.rootLayer, e.mainOscLayer, e.modSequenceLayer})
    if (l) s << l->name << ":" << l->selectedChildId << " ";
  for (ControlLayer* l : {e.aboutWindowLayer, e.midiFilterSettingsLayer, e.patchRenameLayer,
                          e.firstRunNotificationLayer, e.patchLibrarianLayer, e.globalSettingsLayer,
                          e.multiModeMixerLayer})
    if (l && l->visible) s << l->name << " ";
  return s.str();
}

// Shown, enabled controls, each with the layer that holds it (null for the
// graphics object's own).
inline std::vector<std::pair<IControl*, ControlLayer*>> shownControls(IGraphics* g)
{
  std::vector<std::pair<IControl*, ControlLayer*>> out;
  for (int i = 0; i < g->NControls(); ++i)
  {
    IControl* c = g->GetControl(i);
    if (!c->IsHidden() && !c->IsGrayed()) out.push_back({c, nullptr});
  }
  std::function<void(ControlLayer*)> walk = [&](ControlLayer* l) {
    if (!l->visible) return;
    for (int i = 0; i < l->controls.GetSize(); ++i)
    {
      IControl* c = l->controls.Get(i);
      if (!c->IsHidden() && !c->IsGrayed()) out.push_back({c, l});
    }
    for (int i = 0; i < l->children.GetSize(); ++i) walk(l->children.Get(i));
  };
  for (int i = 0; i < g->NLayers(); ++i) walk(g->GetLayer(i));
  return out;
}

// Whether the control sits in a shown layer (or among the graphics object's own
// shown controls).
inline bool isShownControl(IGraphics* g, IControl* c)
{
  for (const auto& s : shownControls(g))
    if (s.first == c) return true;
  return false;
}
