// The real editor on an X server, at its normal size and at the other two: every
// shown control of every page (at the other sizes the first of each kind on a
// page) worked from the same state by X events sent to the editor's window
// (press, motion with the button held, release, a click on the entry of the menu
// window, keys typed into a text entry) and through the GUI framework's own mouse
// entry points, as the headless sweep works it. Both must end alike: value, page,
// menu, entry, jobs and the bytes sent.

#include "SweepSupport.h"
#include "librarian/PatchLibrarian.h"
#include "librarian/view/LibrarianViewControl.h"
#include "platform/appkit/ModalScript.h"
#include "raster/lice.h"
#include "X11Session.h"

#include <X11/X.h>

#include <map>

namespace {

using Bytes = std::vector<unsigned char>;

// What working a control left behind.
struct Outcome
{
  double value = 0;
  std::string page;      // shown layers and their selected children
  bool menu = false;     // a menu was shown
  bool entry = false;    // a text entry opened
  std::string text;      // the parameter's display text
  size_t jobs = 0;       // jobs started
  std::vector<Bytes> sent;
  bool operator==(const Outcome& o) const
  {
    return value == o.value && page == o.page && menu == o.menu && entry == o.entry && jobs == o.jobs &&
           sent == o.sent;
  }
};

std::string describe(const Outcome& o)
{
  std::ostringstream s;
  s << "value " << o.value << ", menu " << o.menu << ", entry " << o.entry << ", text '" << o.text << "', jobs "
    << o.jobs << ", page " << o.page << ", sent" << hexOf(o.sent);
  return s.str();
}

// Menu rows as the screen's menu windows lay them out: 20 high, separators 8,
// inside a padding of 4.
const int kRow = 20, kSeparator = 8, kPad = 4;

int rowCentre(const std::vector<NSModalScript::ShownItem>& items, int index)
{
  int y = kPad;
  for (int i = 0; i < index; ++i) y += items[(size_t)i].separator ? kSeparator : kRow;
  return y + kRow / 2;
}

// The entry both paths choose: the first enabled, unchecked entry of the top menu
// that is no submenu, among the first rows (so that it lies in the first column).
int chosenIndex(const std::vector<NSModalScript::ShownItem>& items)
{
  for (int i = 0; i < (int)items.size() && rowCentre(items, i) - kRow / 2 < 600; ++i)
    if (!items[i].separator && items[i].enabled && !items[i].hasSubmenu && items[i].state == 0) return i;
  return -1;
}

const char* const kTypedHeadless = "Tidal 7";
const char* const kTypedX = "Reef 42";

class X11ControlSweep : public X11SessionTest<>
{
protected:
  std::unique_ptr<DataFolder> data;
  std::unique_ptr<EditorUnderTest> e;
  NSWindow* window = nullptr;
  IGraphicsCocoa_vDavrel_64_au* view = nullptr;
  unsigned long xid = 0;
  NSRunLoop* loop = nullptr;
  int barrier = 0;
  std::vector<std::string> faults;

  bool until(const std::function<bool()>& done, double seconds = 5.0)
  {
    return loop->runUntil(done, loop->now() + seconds);
  }

  void open(const char* size)
  {
    data.reset(new DataFolder);
    ASSERT_TRUE(writeEditorSize(*data, size));
    e = makeSweptEditor(*data);
    loop = NSRunLoop::currentRunLoop();
    view = openSweepWindow(*e, &window);
    xid = AKX11WindowOf(window);
    ASSERT_NE(xid, 0u);
    ASSERT_TRUE(until([&] { return driver->viewable(xid) && window->displayCount() > 0; }));
    e->finishStartUpScan();
    ASSERT_EQ(e->patchLibrarian->patchFiles.size(), 2u);
    e->takeSent();
  }

  void close()
  {
    if (!e) return;
    closeSweepWindow(*e, window);
    e.reset();
    data.reset();
  }
  void TearDown() override
  {
    close();
    X11SessionTest::TearDown();
  }

  void enter(const PageState& page)
  {
    enterPage(*e, page);
    loop->runOnce();
    flush();
  }

  // Drops what was sent so far, buffered short messages too.
  void flush()
  {
    runAudioBlock(*e);
    e->takeSent();
  }

  // Every X event sent so far has been handled: a motion to a point of its own
  // comes through last.
  bool settle()
  {
    const int px = 1 + (++barrier % 2);
    driver->motion(xid, px, 1);
    if (until([&] { return view->prevX() == px - 2 && view->prevY() == 1 - 3; }, 2.0)) return true;
    broken = true;  // the events do not come through, or not where they were sent
    return false;
  }
  bool broken = false;
  int lastPressX = -100, lastPressY = -100;

  Outcome outcome(int id, size_t jobsBefore, bool menu, bool entry)
  {
    runAudioBlock(*e);
    Outcome o;
    o.value = e->GetParam(id)->Value();
    o.page = shownLayerSignature(e->graphics);
    o.menu = menu;
    o.entry = entry;
    const bool named = id == kPatchName || id == kPatchRename;
    const char* t = e->GetParam(id)->GetDisplayText(named ? 0 : (int)o.value);
    o.text = t ? t : "";
    o.jobs = e->jobs.size() - jobsBefore;
    o.sent = e->takeSent();
    return o;
  }

  // Puts the parameter and the page back as they were before a path worked it.
  void restore(const PageState& page, int id, double before, const std::string& home)
  {
    if (view->textField()) view->endUserInput();
    if (e->GetParam(id)->Value() != before)
    {
      e->userSets(id, before);
      e->graphics->SetParameterFromPlug(id, before, false);
    }
    if (pageAndOverlays(*e) != home) enter(page);
    loop->runOnce();
    flush();
  }

  static unsigned keysOf(const Gesture& g) { return (g.shift ? ShiftMask : 0) | (g.control ? ControlMask : 0); }

  Outcome headless(int id, const Gesture& g, std::vector<NSModalScript::ShownItem>* menuShown, bool* modal)
  {
    const size_t jobsBefore = e->jobs.size();
    flush();
    bool menu = false, entry = false;
    {
      NSModalScript script;
      script.onUnscripted = [&](const std::string&) { *modal = true; };
      script.answerMenu([&](NSMenu* m) -> NSMenuItem* {
        menu = true;
        *menuShown = NSModalScript::describe(m);
        const int i = chosenIndex(*menuShown);
        return i >= 0 ? m->itemAtIndex(i) : nullptr;
      });
      workHeadless(e->graphics, g);
      if (g.wheel)
      {
        loop->runOnce();
        return outcome(id, jobsBefore, false, false);
      }
      if (view->textField())
      {
        entry = true;
        NSModalScript::type(std::string(kTypedHeadless) + "\n");
        loop->runOnce();
      }
      if (!menu) script.cancelMenu();
      loop->runOnce();
    }
    return outcome(id, jobsBefore, menu, entry);
  }

  // Types the text by its keys (letters, digits, space, "\b" the backspace key)
  // and Return.
  void typeKeys(const std::string& text)
  {
    for (char ch : text)
    {
      if (ch == ' ') driver->key(xid, "space");
      else if (ch == '\b') driver->key(xid, "BackSpace");
      else if (ch >= 'A' && ch <= 'Z') driver->key(xid, std::string(1, ch), ShiftMask);
      else driver->key(xid, std::string(1, ch));
    }
    driver->key(xid, "Return");
  }

  // While a menu tracks, clicks the row of the entry (or presses Escape for none)
  // in its window on the server, once.
  NSTimer* answerMenuWindow(const std::vector<NSModalScript::ShownItem>& items, int index, bool* shown,
                            NSRect* frame)
  {
    NSTimer* t = NSTimer::timerWithAction(0.01, nullptr, [this, &items, index, shown, frame](NSTimer* timer) {
      for (NSWindow* w : NSApp->windows())
        if (w->level() == NSPopUpMenuWindowLevel && AKX11WindowOf(w))
        {
          const unsigned long m = AKX11WindowOf(w);
          if (!driver->viewable(m)) return;
          *shown = true;
          *frame = w->frame();
          if (index < 0 || (size_t)index >= items.size())
            driver->key(m, "Escape");
          else
          {
            const int y = rowCentre(items, index);
            driver->motion(m, 30, y);
            driver->click(m, 30, y);
          }
          timer->invalidate();
          return;
        }
    }, nullptr, true);
    loop->addTimer(t, kCFRunLoopCommonModes);
    return t;
  }

  Outcome overX(IControl* c, const Gesture& g, const std::vector<NSModalScript::ShownItem>& menuItems,
                const std::string& where)
  {
    const int id = c->ParamIdx();
    const size_t jobsBefore = e->jobs.size();
    flush();
    bool menu = false, entry = false;
    NSRect menuFrame = NSMakeRect(0, 0, 0, 0);
    NSTimer* t = answerMenuWindow(menuItems, chosenIndex(menuItems), &menu, &menuFrame);
    // Window pixel (px, py) lands on graphics (px - 2, py - 3).
    const int wx = g.x + 2, wy = g.y + 3;
    const unsigned button1 = Button1Mask | keysOf(g);
    if (g.wheel)
    {
      driver->press(xid, wx, wy, 4, keysOf(g));
      if (!settle()) faults.push_back(where + ": the wheel does not come through");
      t->invalidate();
      t->release();
      return outcome(id, jobsBefore, menu, false);
    }
    driver->press(xid, wx, wy, 1, keysOf(g));
    lastPressX = g.x, lastPressY = g.y;
    // The press arrives at the point the headless path presses (a menu opened by
    // the press has been answered by then).
    if (!until([&] { return view->prevX() == g.x && view->prevY() == g.y; }, 2.0))
      faults.push_back(where + ": the press arrived at " + std::to_string(view->prevX()) + "," +
                       std::to_string(view->prevY()));
    if (g.drags)
      for (int step = 1; step <= 8; ++step)
        driver->motion(xid, wx + g.dx * 5 * step, wy + g.dy * 5 * step, button1);
    driver->release(xid, wx + g.dx * 40, wy + g.dy * 40, 1, button1);
    if (!settle()) faults.push_back(where + ": a motion to window pixel 1,1 or 2,1 does not arrive 2 left, 3 up of it");
    if (view->textField())
    {
      entry = true;
      // The field lies over the control that opened it.
      const NSRect f = view->textField()->frame();
      const int fx = (int)(f.origin.x + f.size.width / 2);
      const int fy = e->graphics->Height() - (int)(f.origin.y + f.size.height / 2);
      if (!c->GetRECT().Contains(fx, fy))
        faults.push_back(where + ": the text entry's centre is at " + std::to_string(fx) + "," + std::to_string(fy));
      typeKeys(kTypedX);
      settle();
    }
    t->invalidate();
    t->release();
    loop->runOnce();
    // A menu opens on the screen just under the control, where it fits there.
    if (menu)
    {
      const int screenH = 1080;
      const NSRect w = window->frame();
      const int left = (int)w.origin.x, top = screenH - (int)NSMaxY(w);
      const IRECT& r = c->GetRECT();
      const int menuLeft = (int)menuFrame.origin.x, menuTop = screenH - (int)NSMaxY(menuFrame);
      if (top + r.B + 8 + (int)menuFrame.size.height < screenH &&
          (std::abs(menuLeft - (left + r.L)) > 1 || menuTop < top + r.B || menuTop > top + r.B + 8))
        faults.push_back(where + ": the menu opens at " + std::to_string(menuLeft) + "," + std::to_string(menuTop) +
                         ", the control's bottom left is at " + std::to_string(left + r.L) + "," +
                         std::to_string(top + r.B));
    }
    return outcome(id, jobsBefore, menu, entry);
  }

  // Works every shown control of the pages (or the first of each kind on a page
  // when every is false) both ways; returns how many were compared.
  int sweep(const std::vector<PageState>& pages, bool every, const char* size)
  {
    int compared = 0;
    for (const PageState& page : pages)
    {
      enter(page);
      const std::string home = pageAndOverlays(*e);
      std::map<std::string, bool> kinds;
      for (const auto& shown : shownControls(e->graphics))
      {
        if (broken) return compared;
        IControl* c = shown.first;
        const int id = c->ParamIdx();
        if (id < 0) continue;
        if (pageAndOverlays(*e) != home) enter(page);
        const Gesture g = gestureOf(c, e->GetParam(id)->GetNormalized() > 0.99 ? 1 : -1);
        if (!sweptAt(e->graphics, c, g.x, g.y)) continue;
        const std::string where = std::string(size) + ", " + whereOf(*e, page.name, id, g.x, g.y);

        const double before = e->GetParam(id)->Value();
        const std::string start = shownLayerSignature(e->graphics);
        // A first headless pass shows the menu and leaves behind what working the
        // control leaves (the last value sent, a name typed before): then the
        // paths are compared, X first, each from the state the other left.
        std::vector<NSModalScript::ShownItem> items;
        bool modal = false;
        const Outcome first = headless(id, g, &items, &modal);
        if (modal) continue;  // dialogs and file panels are not driven here
        const std::string kind = std::string(typeid(*c).name()) + (g.dx ? "h" : "") + (first.menu ? "m" : "") +
                                 (first.entry ? "t" : "") + (first.page != start ? "p" : "");
        restore(page, id, before, home);
        const bool firstOfKind = !kinds[kind];
        if (!every && !firstOfKind) continue;
        kinds[kind] = true;
        // Knobs and faders are dragged plain, then (the first of their kind on the
        // page) finely with Shift and with Control, and turned by the wheel.
        static const struct { bool shift, control, wheel; const char* label; } kVariants[] = {
            {false, false, false, ""}, {true, false, false, " with Shift"},
            {false, true, false, " with Control"}, {false, false, true, " by the wheel"}};
        for (const auto& v : kVariants)
        {
          if (&v != kVariants && (!g.drags || !firstOfKind)) break;
          Gesture gk = g;
          gk.shift = v.shift, gk.control = v.control, gk.wheel = v.wheel;
          const std::string label = where + v.label;
          // A press within 4 pixels of the last one and 0.4 s is a double click:
          // the next press goes aside on the control, or waits.
          if (v.shift || v.control)
          {
            bool aside = false;
            for (int d : {4, -4, 8, -8})
              for (int axis : {0, 1})
              {
                const int px = g.x + (axis ? 0 : d), py = g.y + (axis ? d : 0);
                if (aside || std::max(std::abs(px - lastPressX), std::abs(py - lastPressY)) < 4 ||
                    e->graphics->GetMouseControlIdx(px, py) != c)
                  continue;
                gk.x = px, gk.y = py;
                aside = true;
              }
            if (!aside) loop->runFor(0.45);
          }
          // A control that loads another program changes what the page shows: it is
          // compared where the program allows.
          if (shownLayerSignature(e->graphics) != start || e->GetParam(id)->Value() != before) break;
          const Outcome x = overX(c, gk, items, label);
          restore(page, id, before, home);
          if (shownLayerSignature(e->graphics) != start || e->GetParam(id)->Value() != before) break;
          const Outcome h = headless(id, gk, &items, &modal);
          ++compared;
          Outcome hh = h;
          // Each path types its own name: each must be the program's.
          const bool named = h.entry && (id == kPatchName || id == kPatchRename);
          bool same = named ? h.text == kTypedHeadless && x.text == kTypedX : h.text == x.text;
          // The program steppers go on from the program the last press chose.
          if (id == kPatchUp || id == kPatchDown)
          {
            const int step = id == kPatchUp ? 1 : -1;
            auto program = [](const Outcome& o) { return o.sent.empty() ? -1000 : (int)o.sent.back().back(); };
            same = same && program(x) == (program(first) + step + 128) % 128 &&
                   program(h) == (program(x) + step + 128) % 128;
            hh.sent = x.sent;
          }
          if (!same || !(hh == x))
            faults.push_back(label + ":\n  headless: " + describe(h) + "\n  over X:   " + describe(x));
          restore(page, id, before, home);
        }
      }
    }
    return compared;
  }
};

const std::vector<PageState> kPages = sweepPages();

TEST_F(X11ControlSweep, EveryControlWorkedByXEventsEndsAsTheHeadlessPathEnds)
{
  for (const char* size : {"normal", "small", "large"})
  {
    open(size);
    if (HasFatalFailure()) return;
    const int compared = sweep(kPages, std::string(size) == "normal", size);
    EXPECT_GT(compared, std::string(size) == "normal" ? 300 : 40) << size;
    // What the server shows is what the editor drew, at the size's scale.
    loop->runFor(0.1);
    driver->sync();
    int width = 0, height = 0;
    std::vector<uint32_t> shown;
    ASSERT_TRUE(driver->read(xid, &width, &height, &shown));
    LICE_SysBitmap* b = window->backing();
    ASSERT_EQ(width, b->getWidth());
    ASSERT_EQ(height, b->getHeight());
    EXPECT_EQ(width, e->graphics->Width());
    EXPECT_EQ(height, e->graphics->Height());
    int differ = 0;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
      {
        const LICE_PixelValue p = b->getBits()[(size_t)y * b->getRowSpan() + x];
        differ += shown[(size_t)y * width + x] !=
                  ((uint32_t)LICE_PixelR(p) << 16 | (uint32_t)LICE_PixelG(p) << 8 | (uint32_t)LICE_PixelB(p));
      }
    EXPECT_EQ(differ, 0) << size;
    close();
  }
  expectNoFaults(faults);
}


// The librarian's grid by X events at each size: a click selects a slot, the down
// arrow key moves on from it, a double click sends the slot's program as the
// framework's double click does, and a right click opens the slot's menu as a
// window on the screen whose "Rename" entry, clicked, opens the rename box, where
// a name typed by keys becomes the slot's.
TEST_F(X11ControlSweep, TheLibrarianGridAnswersClicksKeysDoubleClicksAndItsMenuByXEvents)
{
  for (const char* size : {"normal", "small"})
  {
    SCOPED_TRACE(size);
    open(size);
    if (HasFatalFailure()) return;
    enter({"librarian", {{kShowLibrarian, 1}}});
    LibrarianViewControl* grid = e->librarianView;
    ASSERT_NE(grid, nullptr);
    auto centre = [&](int slot, int* x, int* y) {
      const IRECT r = grid->slotRect(0, slot);
      *x = (r.L + r.R) / 2;
      *y = (r.T + r.B) / 2;
    };
    int x, y;
    centre(5, &x, &y);
    ASSERT_EQ(e->graphics->GetMouseControlIdx(x, y), grid);
    driver->click(xid, x + 2, y + 3);
    EXPECT_TRUE(until([&] { return grid->currentSlot == 5; }));
    // The key goes to the control under the mouse, which has not moved.
    driver->key(xid, "Down");
    EXPECT_TRUE(until([&] { return grid->currentSlot == 6; })) << grid->currentSlot;

    // Double clicks, the framework's first (a press and release, then the
    // second press as a double click), then by X, from the same selection.
    centre(7, &x, &y);
    loop->runFor(0.5);  // no double click with the click before
    flush();
    size_t jobs = e->jobs.size();
    IMouseMod left(true);
    e->graphics->OnMouseDown(x, y, &left);
    e->graphics->OnMouseUp(x, y, &left);
    e->graphics->OnMouseDblClick(x, y, &left);
    e->graphics->OnMouseUp(x, y, &left);
    loop->runOnce();
    const Outcome h = outcome(kPatchSelection, jobs, false, false);
    EXPECT_GT(h.jobs + h.sent.size(), 0u);
    centre(5, &x, &y);
    e->graphics->OnMouseDown(x, y, &left);
    e->graphics->OnMouseUp(x, y, &left);
    centre(7, &x, &y);
    flush();
    jobs = e->jobs.size();
    driver->click(xid, x + 2, y + 3);
    driver->click(xid, x + 2, y + 3);
    EXPECT_TRUE(settle());
    const Outcome d = outcome(kPatchSelection, jobs, false, false);
    EXPECT_EQ(d.jobs, h.jobs);
    EXPECT_EQ(d.sent, h.sent);
    EXPECT_EQ(grid->currentSlot, 7);

    // The slot menu's entries, as the framework shows them.
    centre(9, &x, &y);
    std::vector<NSModalScript::ShownItem> items;
    {
      NSModalScript script;
      script.answerMenu([&](NSMenu* m) -> NSMenuItem* {
        items = NSModalScript::describe(m);
        return nullptr;
      });
      IMouseMod right(false, true);
      e->graphics->OnMouseDown(x, y, &right);
      e->graphics->OnMouseUp(x, y, &right);
    }
    int rename = -1;
    for (size_t i = 0; i < items.size(); ++i)
      if (items[i].title == "Rename") rename = (int)i;
    ASSERT_GE(rename, 0);
    ASSERT_FALSE(e->patchRenameLayer->visible);
    bool shown = false;
    NSRect frame;
    NSTimer* t = answerMenuWindow(items, rename, &shown, &frame);
    driver->press(xid, x + 2, y + 3, 3);
    driver->release(xid, x + 2, y + 3, 3, Button3Mask);
    EXPECT_TRUE(until([&] { return e->patchRenameLayer->visible; }));
    t->invalidate();
    t->release();
    EXPECT_TRUE(shown);
    // The rename box opens taking keys, the slot's name selected: what is typed
    // replaces it, and a slip is mended.
    ASSERT_NE(view->textField(), nullptr);
    typeKeys("Reef 4x\b2");
    EXPECT_TRUE(until([&] { return std::string(grid->slotText(0, 9)).rfind(kTypedX, 0) == 0; }))
        << grid->slotText(0, 9);
    EXPECT_EQ(view->textField(), nullptr);
    // Cancel clicked after typing keeps the name, and the click goes no further:
    // the slot under the button is not chosen.
    grid->renameSlot(0, 0);
    ASSERT_NE(view->textField(), nullptr);
    driver->key(xid, "x");
    const IRECT& c = e->renameButtons[1]->GetTargetRECT();
    driver->click(xid, (c.L + c.R) / 2 + 2, (c.T + c.B) / 2 + 3);
    EXPECT_TRUE(until([&] { return !e->patchRenameLayer->visible; }));
    EXPECT_TRUE(settle());
    EXPECT_EQ(std::string(grid->slotText(0, 9)).rfind(kTypedX, 0), 0u) << grid->slotText(0, 9);
    EXPECT_EQ(grid->upperSelected, 9);
    close();
  }
}

}  // namespace
