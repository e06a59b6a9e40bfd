#pragma once
// What the control sweeps (headless and over X) read of the editor's screen: the
// layers shown, the page with its overlays, and the controls a user can reach.

#include "config/ParamIds.h"
#include "editor/Davrel.h"
#include "gui/IControl.h"
#include "gui/IControls.h"
#include "gui/IGraphics.h"
#include "gui/IGraphicsCocoa.h"
#include "platform/appkit/AppKit.h"
#include "ui/ControlLayer.h"

#include "EditorTestSupport.h"
#include "LibrarianTestSupport.h"

#include <gtest/gtest.h>

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

// Each shown layer, children after their parent.
inline void forEachShownLayer(IGraphics* g, const std::function<void(ControlLayer*)>& visit)
{
  std::function<void(ControlLayer*)> walk = [&](ControlLayer* l) {
    if (!l->visible) return;
    visit(l);
    for (int i = 0; i < l->children.GetSize(); ++i) walk(l->children.Get(i));
  };
  for (int i = 0; i < g->NLayers(); ++i) walk(g->GetLayer(i));
}

// The shown layers by name with their selected children.
inline std::string shownLayerSignature(IGraphics* g)
{
  std::ostringstream s;
  forEachShownLayer(g, [&](ControlLayer* l) { s << l->name << ":" << l->selectedChildId << " "; });
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
  forEachShownLayer(g, [&](ControlLayer* l) {
    for (int i = 0; i < l->controls.GetSize(); ++i)
    {
      IControl* c = l->controls.Get(i);
      if (!c->IsHidden() && !c->IsGrayed()) out.push_back({c, l});
    }
  });
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

// Closes what an earlier click opened over the page, as its user would, then goes
// to the page.
inline void enterPage(EditorUnderTest& e, const PageState& page)
{
  if (e.aboutWindowLayer && e.aboutWindowLayer->visible) e.userSets(kExitAboutWindow, 1);
  if (e.firstRunNotificationLayer && e.firstRunNotificationLayer->visible) e.userSets(kFirstRunExit, 1);
  if (e.midiFilterSettingsLayer && e.midiFilterSettingsLayer->visible) e.userSets(kViewMIDIFilterSettings, 0);
  for (const auto& s : page.sets) e.userSets(s.first, s.second);
}

// Short messages wait for the next audio block while the output is buffered.
inline void runAudioBlock(EditorUnderTest& e)
{
  double* io[2] = {nullptr, nullptr};
  e.ProcessDoubleReplacing(io, io, 64);
}

// The editor's view in a window of its size, shown; closed by closeSweepWindow.
inline IGraphicsCocoa_vDavrel_64_au* openSweepWindow(EditorUnderTest& e, NSWindow** window)
{
  *window = new NSWindow(NSMakeRect(0, 0, e.graphics->Width(), e.graphics->Height()), NSTitledWindowMask,
                         NSBackingStoreBuffered, false);
  auto* view = static_cast<IGraphicsCocoa_vDavrel_64_au*>(e.graphics->OpenWindow((*window)->contentView()));
  (*window)->makeKeyAndOrderFront(nullptr);
  return view;
}

inline void closeSweepWindow(EditorUnderTest& e, NSWindow* window)
{
  e.graphics->CloseWindow();
  window->close();
  AKRelease(window);
  NSRunLoop::currentRunLoop()->runOnce();
}

// How a control is worked from its target's centre: knobs and faders by a drag
// of 8 steps of 5 pixels, up (horizontal faders right) for direction -1.
struct Gesture
{
  int x, y, dx = 0, dy = 0;
  bool drags = false;
  bool shift = false, control = false;
  bool wheel = false;  // a turn of the wheel up instead
};

inline Gesture gestureOf(IControl* c, int direction)
{
  // A button group is pressed on a button its parameter does not hold yet, as its
  // user would: what the parameter holds depends on the controls swept before it.
  if (auto* radio = dynamic_cast<IRadioButtonsControl*>(c))
    for (int i = 0; i < radio->NButtons(); ++i)
      if (radio->ValueOfButton(i) != c->GetPlug()->GetParam(c->ParamIdx())->GetNormalized())
      {
        const IRECT* b = radio->GetButtonRECT(i);
        return Gesture{(b->L + b->R) / 2, (b->T + b->B) / 2};
      }
  const IRECT& r = c->GetTargetRECT();
  Gesture g{(r.L + r.R) / 2, (r.T + r.B) / 2};
  auto* fader = dynamic_cast<IFaderControl*>(c);
  g.drags = fader || dynamic_cast<IKnobControl*>(c);
  if (!g.drags) return g;
  if (fader && fader->GetDirection() == kHorizontal) g.dx = -direction;
  else g.dy = direction;
  return g;
}

// The gesture through the framework's own mouse entry points.
inline void workHeadless(IGraphics* graphics, const Gesture& g)
{
  IMouseMod left(true, false, g.shift, g.control);
  if (g.wheel)
  {
    graphics->OnMouseWheel(g.x, g.y, &left, 1);
    return;
  }
  graphics->OnMouseDown(g.x, g.y, &left);
  if (g.drags)
    for (int step = 1; step <= 8; ++step) graphics->OnMouseDrag(g.x + g.dx * 5 * step, g.y + g.dy * 5 * step, &left);
  graphics->OnMouseUp(g.x + g.dx * 40, g.y + g.dy * 40, &left);
}

// Whether a sweep works the control at (x, y): a parameter's, shown and on top
// there, neither display text nor an indicator. A control of a hidden layer met
// there instead is handed back in hiddenHit.
inline bool sweptAt(IGraphics* g, IControl* c, int x, int y, IControl** hiddenHit = nullptr)
{
  const int id = c->ParamIdx();
  if (id < 0 || c->IsHidden() || c->IsGrayed() || !isShownControl(g, c)) return false;
  IControl* hit = g->GetMouseControlIdx(x, y);
  if (hit != c)
  {
    if (hiddenHit && hit && !isShownControl(g, hit)) *hiddenHit = hit;
    return false;  // covered by a shown control on top: that one is swept itself
  }
  if (dynamic_cast<ITextControl*>(c) && !dynamic_cast<ICaptionControl*>(c)) return false;
  return id != kMIDILed && id != kMIDILed + 1;
}

inline std::string whereOf(EditorUnderTest& e, const std::string& page, int id, int x, int y)
{
  std::ostringstream s;
  s << page << ": control of parameter " << id << " (" << e.GetParam(id)->GetNameForHost() << ") at " << x << ","
    << y;
  return s.str();
}

inline std::string hexOf(const std::vector<std::vector<unsigned char>>& messages)
{
  std::ostringstream s;
  for (const auto& m : messages)
  {
    s << " [";
    for (unsigned char b : m) s << std::hex << (int)b << std::dec << " ";
    s << "]";
  }
  return s.str();
}

inline void expectNoFaults(const std::vector<std::string>& faults)
{
  std::string all;
  for (const std::string& f : faults) all += f + "\n";
  EXPECT_TRUE(faults.empty()) << faults.size() << " faults:\n" << all;
}
