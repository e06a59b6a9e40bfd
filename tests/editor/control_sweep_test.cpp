// Every control a user can reach, on every page and timbre, worked through the
// mouse path as a user works it: a press at its centre, a drag for knobs and
// sliders, a menu entry chosen where a menu opens. Each must do something (its
// value, a page, a menu, a job or a message), redraw, leave the page alone unless
// it is a page control, send the bytes its action record says, open its value
// list with the current value checked, and a click must never reach a control of
// a hidden layer.

#include "SweepSupport.h"
#include "librarian/PatchLibrarian.h"
#include "platform/appkit/ModalScript.h"
#include "platform/appkit/Presenter.h"
#include "ui/ControlAction.h"
#include "raster/lice.h"

#include <algorithm>
#include <cmath>

namespace {

using Bytes = std::vector<unsigned char>;

class Sweep : public ::testing::Test
{
protected:
  DataFolder data;
  std::unique_ptr<EditorUnderTest> e;
  NSWindow* window = nullptr;
  IGraphicsCocoa_vDavrel_64_au* view = nullptr;

  void SetUp() override
  {
    e = makeSweptEditor(data);
    if (!NSApplication::exists()) NSApplication::setPresenter(AKMakeHeadlessPresenter());
    NSApplication::sharedApplication();
    view = openSweepWindow(*e, &window);
    NSRunLoop::currentRunLoop()->runOnce();
    e->takeSent();
  }
  void TearDown() override
  {
    closeSweepWindow(*e, window);
    e.reset();
  }

  void drawAll()
  {
    IRECT all(0, 0, e->graphics->Width(), e->graphics->Height());
    e->graphics->IsDirty(&all);
    e->graphics->Draw(&all);
  }

  // Goes to the page, a right click on it and its menu entry last.
  void enter(const PageState& page)
  {
    enterPage(*e, page);
    if (page.entry)
    {
      NSModalScript script;
      script.answerMenu([&](NSMenu* m) -> NSMenuItem* {
        for (NSMenuItem* item : m->itemArray())
          if (item->title() == page.entry) return item;
        ADD_FAILURE() << "no menu entry " << page.entry;
        return nullptr;
      });
      IMouseMod left(true), right(false, true);
      e->graphics->OnMouseDown(page.rightX, page.rightY, &left);
      e->graphics->OnMouseUp(page.rightX, page.rightY, &left);
      e->graphics->OnMouseDown(page.rightX, page.rightY, &right);
      e->graphics->OnMouseUp(page.rightX, page.rightY, &right);
      NSRunLoop::currentRunLoop()->runOnce();
      // A box opens typing: the typing ends (as by Escape), so the controls are worked beside the box.
      if (view->textField()) view->endUserInput();
    }
    drawAll();
    e->takeSent();
  }

  std::vector<LICE_PixelValue> pixels(const IRECT& r)
  {
    LICE_IBitmap* bm = e->graphics->GetDrawBitmap();
    std::vector<LICE_PixelValue> px;
    for (int y = std::max(r.T, 0); y < std::min(r.B, bm->getHeight()); ++y)
      for (int x = std::max(r.L, 0); x < std::min(r.R, bm->getWidth()); ++x)
        px.push_back(bm->getBits()[(size_t)y * bm->getRowSpan() + x]);
    return px;
  }

  // Whether another shown control, grey ones too, meets the control's rectangle:
  // what is drawn there is not the control's alone.
  bool overlapped(IControl* c)
  {
    bool met = false;
    forEachShownLayer(e->graphics, [&](ControlLayer* l) {
      for (int i = 0; i < l->controls.GetSize(); ++i)
      {
        IControl* o = l->controls.Get(i);
        if (o != c && !o->IsHidden() && o->ParamIdx() >= 0 && o->GetRECT().Intersects(c->GetRECT())) met = true;
      }
    });
    return met;
  }
};

// The first enabled item that is not the checked one, down submenus.
NSMenuItem* otherItem(NSMenu* menu)
{
  for (NSMenuItem* item : menu->itemArray())
  {
    if (item->isSeparatorItem() || !item->isEnabled()) continue;
    if (item->hasSubmenu())
    {
      if (NSMenuItem* sub = otherItem(item->submenu())) return sub;
      continue;
    }
    if (item->state() == 0) return item;
  }
  return nullptr;
}

const char* const kTyped = "Tidal 7";

bool isPageControl(int id)
{
  switch (id)
  {
    case kMainPage: case kQuickTab: case kShowLibrarian: case kShowModSequence: case kGlobalSettings:
    case kLayerLinker: case kTimbreSelectTrigger: case kDisplayAboutWindow: case kExitAboutWindow:
    case kViewMIDIFilterSettings: case kPatchSearch: case kFirstRunExit:
    case kCommonMode:   // single mode has no second timbre to show
    case kPatchRename:  // the entered name closes the rename box
      return true;
    default:
      return false;
  }
}

// The message a record sends for the value, as it must appear on the wire: the
// channel the record's part (or the global channel) gives, the record's address.
// A knob's or slider's control change carries its value; a switch's its on or off
// value (a menu's values are spread over the data range, which is not checked).
bool recordSent(ControlAction* a, int value, bool plainValue, const std::vector<Bytes>& sent, std::string* why)
{
  auto statusOk = [](unsigned char s) { return (s & 0xF0) == 0xB0 && ((s & 0x0F) <= 1 || (s & 0x0F) == 15); };
  switch (a->actionType)
  {
    case kActionCC:
    case kActionCCSwitch:
    {
      const int data = a->actionType == kActionCCSwitch ? (value ? a->onValue : a->offValue)
                       : plainValue                     ? std::clamp(value, 0, 127)
                                                        : -1;
      for (const Bytes& m : sent)
        if (m.size() == 3 && statusOk(m[0]) && m[1] == a->ccNumber && (data < 0 || m[2] == data)) return true;
      *why = "no CC " + std::to_string(a->ccNumber) + " carrying " + std::to_string(data);
      return false;
    }
    case kActionNRPN:
      for (size_t i = 0; i + 2 < sent.size(); ++i)
        if (sent[i].size() == 3 && statusOk(sent[i][0]) && sent[i][1] == 99 && sent[i][2] == a->msbValue &&
            sent[i + 1] == Bytes{sent[i][0], 98, (unsigned char)a->lsbValue} && sent[i + 2].size() == 3 &&
            sent[i + 2][0] == sent[i][0] && sent[i + 2][1] == a->ccNumber)
          return true;
      *why = "no NRPN " + std::to_string(a->msbValue) + "/" + std::to_string(a->lsbValue);
      return false;
    case kActionSysEx:
    case kActionSysExSwitch:
    {
      std::vector<std::vector<int>> bodies;
      if (a->sysExMessage.multiMessage)
      {
        if (const auto* list = a->sysExMessagesForValue(value)) bodies = *list;
      }
      else if (const auto* body = a->sysExMessageForValue(value))
        bodies.push_back(*body);
      if (bodies.empty()) return true;  // the table sends nothing for this value
      for (std::vector<int> body : bodies)
      {
        Bytes want{0xF0};
        for (size_t i = 0; i < body.size(); ++i) want.push_back((unsigned char)(i == 1 ? 0x3F : body[i]));
        want.push_back(0xF7);
        bool found = false;
        for (const Bytes& m : sent)
        {
          // The limit switches' lock value is written over the table's.
          if (m.size() != want.size()) continue;
          bool same = true;
          for (size_t i = 0; i < m.size() && same; ++i) same = m[i] == want[i] || i == 7 || i == 8;
          found |= same && m[5] == want[5] && m[6] == want[6];
        }
        if (!found)
        {
          *why = "no system-exclusive message for value " + std::to_string(value);
          return false;
        }
      }
      return true;
    }
    default:
      return true;
  }
}

TEST_F(Sweep, EveryShownControlOnEveryPageDoesWhatItsUserExpects)
{
  // The rename box, reached as a user does: a right click on a slot of the grid.
  std::vector<PageState> pages = sweepPages();
  pages.insert(pages.end() - 1, {"librarian rename", {{kShowLibrarian, 1}, {kPatchSearch, 0}}, 100, 104, "Rename"});

  e->finishStartUpScan();
  ASSERT_EQ(e->patchLibrarian->patchFiles.size(), 2u);
  std::vector<std::string> faults;
  int worked = 0;
  for (const PageState& page : pages)
  {
    enter(page);
    const std::string home = shownLayerSignature(e->graphics);
    for (const auto& shown : shownControls(e->graphics))
    {
      IControl* c = shown.first;
      const int id = c->ParamIdx();
      if (id < 0) continue;  // backgrounds and pictures
      if (shownLayerSignature(e->graphics) != home) enter(page);
      const std::string start = pageAndOverlays(*e);
      const Gesture up = gestureOf(c, -1);
      const std::string where = whereOf(*e, page.name, id, up.x, up.y);
      IControl* hidden = nullptr;
      if (!sweptAt(e->graphics, c, up.x, up.y, &hidden))
      {
        if (hidden)
          faults.push_back(where + ": the click reaches a control of a hidden layer, parameter " +
                           std::to_string(hidden->ParamIdx()));
        continue;
      }
      if (id == kLibrarianArea) continue;  // the grid: its slots have their own tests

      const double before = e->GetParam(id)->Value();
      const size_t jobsBefore = e->jobs.size();
      e->showNameLine("");
      const std::string lineBefore = e->nameLine();
      const std::string nameBefore = e->GetParam(kPatchName)->GetDisplayText(0);
      IRECT all(0, 0, e->graphics->Width(), e->graphics->Height());
      drawAll();
      e->takeSent();

      const std::vector<LICE_PixelValue> shownBefore = pixels(c->GetRECT());
      const std::vector<LICE_PixelValue> screenBefore =
          isPageControl(id) ? pixels(all) : std::vector<LICE_PixelValue>();
      const double normalizedBefore = e->GetParam(id)->GetNormalized();
      int menus = 0, modals = 0, entries = 0;
      std::vector<NSModalScript::ShownItem> shownMenu;
      // Up first; a control already at its top is dragged down.
      for (int direction : {-1, 1})
      {
        NSModalScript script;
        script.onUnscripted = [&](const std::string&) { ++modals; };
        script.answerMenu([&](NSMenu* m) {
          ++menus;
          return otherItem(m);
        });
        workHeadless(e->graphics, gestureOf(c, direction));
        if (!script.menusShown.empty()) shownMenu = script.menusShown.front();
        // A name field opens a text entry: a name is typed and entered.
        if (view->textField())
        {
          ++entries;
          NSModalScript::type(std::string(kTyped) + "\n");
          NSRunLoop::currentRunLoop()->runOnce();
        }
        if (menus == 0) script.cancelMenu();  // an answer left over is dropped with the script
        NSRunLoop::currentRunLoop()->runOnce();
        if (!up.drags || e->GetParam(id)->Value() != before) break;
      }
      ++worked;
      runAudioBlock(*e);
      const double after = e->GetParam(id)->Value();
      const std::vector<Bytes> sent = e->takeSent();
      const bool changed = after != before;
      const bool pageMoved = pageAndOverlays(*e) != start;
      drawAll();
      // A page or overlay button shows its page; any other control shows its own
      // new value (a step too small for another frame aside).
      const bool redraws = isPageControl(id) ? pixels(all) != screenBefore
                           : std::abs(e->GetParam(id)->GetNormalized() - normalizedBefore) < 0.1 ||
                                 pixels(c->GetRECT()) != shownBefore || overlapped(c);

      if (entries && view->textField()) faults.push_back(where + ": the text entry stays open after Return");
      // A typed program name is the program's: it goes to the synthesizer with it.
      if (entries && id == kPatchName &&
          (std::string(e->GetParam(id)->GetDisplayText(0)) != kTyped ||
           std::count_if(e->jobs.begin() + (long)jobsBefore, e->jobs.end(),
                         [](const auto& j) { return j.kind == 'j' && !j.command; }) != (nameBefore != kTyped)))
        faults.push_back(where + ": the typed name is not the program's");
      if (!changed && !pageMoved && !menus && !modals && !entries && sent.empty() && e->jobs.size() == jobsBefore &&
          e->nameLine() == lineBefore)
        faults.push_back(where + ": nothing happens");
      // A menu of a value list shows the current value checked, once (the output
      // port's list is this test's stand-in).
      if (!shownMenu.empty() && e->GetParam(id)->GetNDisplayTexts() > 0 && id != kDeviceOutSelection)
      {
        std::vector<std::string> checked;
        std::function<void(const std::vector<NSModalScript::ShownItem>&)> walk = [&](const auto& items) {
          for (const auto& item : items)
          {
            if (item.state) checked.push_back(item.title);
            walk(item.submenu);
          }
        };
        walk(shownMenu);
        const char* current = e->GetParam(id)->GetDisplayText((int)before);
        if (checked.size() != 1 || !current || checked[0] != current)
          faults.push_back(where + ": the menu checks " + std::to_string(checked.size()) + " items (" +
                           (checked.empty() ? std::string() : checked[0]) + "), the value is " +
                           (current ? current : "?"));
      }
      if (changed && !redraws)
        faults.push_back(where + ": the value changed from " + std::to_string(before) + " to " +
                         std::to_string(after) + " but nothing redraws");
      // The rename box belongs to the librarian's selected slot.
      if (e->patchRenameLayer->visible && e->rootLayer->selectedChildId != 1)
        faults.push_back(where + ": the rename box stays open on page " +
                         std::to_string(e->rootLayer->selectedChildId));
      if (pageMoved && !isPageControl(id))
        faults.push_back(where + ": the page changed from " + start + " to " + pageAndOverlays(*e));
      // The host's tempo stands for the editor's while the override is on.
      const bool tempoFollowsHost = id == kArpTempo && e->GetParam(kOverrideTempo)->Value() == 1.0;
      if (changed && !tempoFollowsHost)
        if (ControlAction* a = static_cast<ControlAction*>(e->GetParam(id)->GetControlAction()))
        {
          std::string why;
          if (!recordSent(a, (int)after, e->GetParam(id)->GetNDisplayTexts() == 0, sent, &why))
            faults.push_back(where + ": " + why + "; sent" + hexOf(sent));
        }
    }
  }
  EXPECT_GT(worked, 350);  // the zones a random program shows vary the count
  expectNoFaults(faults);
}

}  // namespace
