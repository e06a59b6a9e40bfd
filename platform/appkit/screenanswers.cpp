#include "platform/appkit/ScreenAnswers.h"

#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSMenu.h"
#include "platform/appkit/NSPanel.h"
#include "platform/appkit/NSRunLoop.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/Presenter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <dirent.h>
#include <functional>
#include <strings.h>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace {

const CGFloat kItemHeight = 20, kSeparatorHeight = 8, kMenuPad = 4;

void fill(NSColor* c, NSRect r)
{
  c->setFill();
  NSColor::fillRect(r);
}

NSFont* uiFont() { return NSFont::systemFontOfSize(13); }

// Text in a flipped view: the top of the line at y.
void text(const std::string& s, CGFloat x, CGFloat top, NSColor* c, NSFont* font = nullptr)
{
  if (!font) font = uiFont();
  if (!font) return;
  AKDrawTextLine(s, font, NSMakePoint(x, top + CTFontGetAscent(font->ctFont())), c);
}

class FlippedView : public NSView
{
public:
  using NSView::NSView;
  bool isFlipped() const override { return true; }
};

// ---- menus ----

class MenuView;

struct MenuTracking
{
  NSSize screen{1920, 1080};       // menus are laid out and placed to stay on it
  std::vector<NSWindow*> windows;  // the open menu and its open submenus, retained
  std::vector<MenuView*> views;
  NSMenuItem* chosen = nullptr;
  bool done = false;
  void openSubmenu(size_t level, NSMenu* menu, NSPoint topLeft);
  void closeFrom(size_t level);
};

CGFloat heightOf(NSMenuItem* item) { return item->isSeparatorItem() ? kSeparatorHeight : kItemHeight; }

// Where each item of a menu lies in its view (flipped): one column while the menu
// fits the height given, else as many columns of that height as it takes, so that
// every item of a long menu (128 keys, 128 controllers) stays within reach.
struct MenuLayout
{
  std::vector<NSRect> items;
  NSSize size;
};

MenuLayout layoutMenu(NSMenu* menu, CGFloat columnWidth, CGFloat maxHeight)
{
  MenuLayout l;
  CGFloat x = 0, y = kMenuPad, tallest = y;
  for (NSMenuItem* item : menu->itemArray())
  {
    const CGFloat h = heightOf(item);
    if (y > kMenuPad && y + h + kMenuPad > maxHeight)
    {
      x += columnWidth;
      y = kMenuPad;
    }
    l.items.push_back(NSMakeRect(x, y, columnWidth, h));
    y += h;
    tallest = std::max(tallest, y);
  }
  l.size = NSMakeSize(x + columnWidth, tallest + kMenuPad);
  return l;
}

class MenuView : public FlippedView
{
public:
  MenuView(NSRect frame, NSMenu* menu, MenuLayout layout, MenuTracking* t, size_t level)
    : FlippedView(frame), mMenu(menu), mLayout(std::move(layout)), mTracking(t), mLevel(level)
  {
  }
  bool isOpaque() const override { return true; }

  NSInteger itemAt(NSPoint p) const
  {
    for (size_t i = 0; i < mLayout.items.size(); ++i)
    {
      const NSRect& r = mLayout.items[i];
      if (p.y >= r.origin.y && p.y < NSMaxY(r) && p.x >= r.origin.x && p.x < NSMaxX(r)) return (NSInteger)i;
    }
    return -1;
  }

  NSRect rectOf(NSInteger index) const { return mLayout.items[(size_t)index]; }

  void highlight(NSInteger index)
  {
    if (index == mHighlight) return;
    mHighlight = index;
    setNeedsDisplay(true);
    NSMenuItem* item = mMenu->itemAtIndex(index);
    mTracking->closeFrom(mLevel + 1);
    if (item && item->hasSubmenu() && item->isEnabled())
    {
      const NSRect f = window()->frame(), r = rectOf(index);
      mTracking->openSubmenu(mLevel + 1, item->submenu(),
                             NSMakePoint(f.origin.x + NSMaxX(r) - 2, NSMaxY(f) - r.origin.y + kMenuPad));
    }
  }

  void mouseMoved(NSEvent* e) override { highlight(itemAt(convertPoint(e->locationInWindow(), nullptr))); }
  void mouseDragged(NSEvent* e) override { mouseMoved(e); }
  void mouseDown(NSEvent* e) override { mouseMoved(e); }
  void mouseUp(NSEvent* e) override
  {
    const NSInteger i = itemAt(convertPoint(e->locationInWindow(), nullptr));
    choose(i);
  }

  void choose(NSInteger i)
  {
    NSMenuItem* item = mMenu->itemAtIndex(i);
    if (!item || item->isSeparatorItem() || item->hasSubmenu() || !item->isEnabled()) return;
    mTracking->chosen = item;
    mTracking->done = true;
  }

  void keyDown(NSEvent* e) override
  {
    const NSInteger n = mMenu->numberOfItems();
    switch (e->keyCode())
    {
      case kVK_Escape: mTracking->done = true; return;
      case kVK_Return:
      case kVK_ANSI_KeypadEnter: choose(mHighlight); return;
      case kVK_DownArrow:
      case kVK_UpArrow:
      {
        const int step = e->keyCode() == kVK_DownArrow ? 1 : -1;
        NSInteger i = mHighlight;
        for (NSInteger k = 0; k < n; ++k)
        {
          i = (i + step + n) % n;
          if (!mMenu->itemAtIndex(i)->isSeparatorItem()) break;
        }
        highlight(i);
        return;
      }
      case kVK_LeftArrow:
        if (mLevel > 0) mTracking->closeFrom(mLevel);
        return;
      default: return;
    }
  }

  void drawRect(NSRect) override
  {
    const NSRect b = bounds();
    fill(AKGray(0.96), b);
    AKFrameRect(b, AKGray(0.6));
    for (NSInteger i = 0; i < mMenu->numberOfItems(); ++i)
    {
      NSMenuItem* item = mMenu->itemAtIndex(i);
      const NSRect r = rectOf(i);
      const CGFloat left = r.origin.x, y = r.origin.y, h = r.size.height, w = r.size.width;
      if (item->isSeparatorItem())
        fill(AKGray(0.8), NSMakeRect(left + 1, y + h / 2, w - 2, 1));
      else
      {
        const bool lit = i == mHighlight && item->isEnabled();
        if (lit) fill(NSColor::colorWithCalibratedRed(0.2, 0.45, 0.85, 1), NSMakeRect(left + 1, y, w - 2, h));
        NSColor* c = !item->isEnabled() ? AKGray(0.6) : (lit ? AKGray(1) : AKGray(0.1));
        if (item->state() == NSOnState) text("\xE2\x9C\x93", left + 6, y + 3, c);
        CGFloat x = left + 22 + 12 * item->indentationLevel();
        if (NSImage* image = item->image())
        {
          // An icon stands before the title, at most the row's height.
          const CGFloat side = std::min<CGFloat>(16, std::max(1, image->height()));
          const CGFloat wide = std::floor(side * image->width() / std::max(1, image->height()));
          image->drawInRect(NSMakeRect(x, y + std::floor((h - side) / 2), wide, side));
          x += wide + 4;
        }
        text(item->title(), x, y + 3, c);
        if (item->hasSubmenu()) text("\xE2\x96\xB8", left + w - 14, y + 3, c);
      }
    }
  }

private:
  NSMenu* mMenu;
  MenuLayout mLayout;
  MenuTracking* mTracking;
  size_t mLevel;
  NSInteger mHighlight = -1;
};

NSWindow* openMenuWindow(NSMenu* menu, NSPoint topLeft, MenuTracking* t, size_t level)
{
  CGFloat width = 80;
  for (NSMenuItem* item : menu->itemArray())
  {
    const NSImage* image = item->image();
    const CGFloat icon = image ? 20 + 16 * image->width() / std::max(1, image->height()) : 0;
    width = std::max(width, AKMeasureText(item->title(), uiFont()) + 50 + 12 * item->indentationLevel() + icon);
  }
  MenuLayout layout = layoutMenu(menu, std::ceil(width), t->screen.height);
  width = layout.size.width;
  const CGFloat height = layout.size.height;
  // On the screen whole: a menu that would run off an edge moves inside it.
  const CGFloat x = std::max<CGFloat>(0, std::min(topLeft.x, t->screen.width - width));
  const CGFloat y = std::max<CGFloat>(0, std::min(topLeft.y - height, t->screen.height - height));
  NSWindow* w = new NSWindow(NSMakeRect(x, y, width, height), NSBorderlessWindowMask, NSBackingStoreBuffered, false);
  w->setLevel(NSPopUpMenuWindowLevel);
  w->setAcceptsMouseMovedEvents(true);
  MenuView* v = new MenuView(NSMakeRect(0, 0, width, height), menu, std::move(layout), t, level);
  w->setContentView(v);
  v->release();
  w->orderFront(nullptr);
  t->windows.push_back(w);
  t->views.push_back(v);
  return w;
}

void MenuTracking::openSubmenu(size_t level, NSMenu* menu, NSPoint topLeft)
{
  closeFrom(level);
  NSMenu::submenuWillOpen(menu);
  openMenuWindow(menu, topLeft, this, level);
}

void MenuTracking::closeFrom(size_t level)
{
  while (windows.size() > level)
  {
    NSWindow* w = windows.back();
    windows.pop_back();
    views.pop_back();
    w->close();
    w->release();
  }
}

// ---- buttons for alerts and panels ----

class ButtonView : public NSView
{
public:
  ButtonView(NSRect frame, const std::string& title, std::function<void()> action)
    : NSView(frame), mTitle(title), mAction(std::move(action))
  {
  }
  void mouseDown(NSEvent*) override
  {
    mPressed = true;
    setNeedsDisplay(true);
  }
  void mouseUp(NSEvent* e) override
  {
    mPressed = false;
    setNeedsDisplay(true);
    const NSPoint p = convertPoint(e->locationInWindow(), nullptr);
    if (NSPointInRect(p, bounds()) && mAction) mAction();
  }
  // The default button (Return presses it) is drawn filled with the accent colour, as
  // the platform draws it; the one the keyboard's focus is on (space presses it) has
  // a ring.
  void setDefault(bool on)
  {
    mDefault = on;
    setNeedsDisplay(true);
  }
  void setFocused(bool on)
  {
    mFocused = on;
    setNeedsDisplay(true);
  }
  void press()
  {
    if (mAction) mAction();
  }
  void drawRect(NSRect) override
  {
    const NSRect b = bounds();
    NSColor* accent = NSColor::colorWithCalibratedRed(0.2, 0.45, 0.85, 1);
    if (mDefault) fill(mPressed ? NSColor::colorWithCalibratedRed(0.13, 0.33, 0.68, 1) : accent, b);
    else fill(mPressed ? AKGray(0.75) : AKGray(0.92), b);
    AKFrameRect(b, mDefault ? NSColor::colorWithCalibratedRed(0.1, 0.3, 0.65, 1) : AKGray(0.55));
    if (mFocused)
    {
      for (CGFloat in : {2, 3})
        AKFrameRect(NSMakeRect(in, in, b.size.width - 2 * in, b.size.height - 2 * in), mDefault ? AKGray(1) : accent);
    }
    NSFont* f = uiFont();
    if (!f) return;
    const CGFloat w = AKMeasureText(mTitle, f);
    AKDrawTextLine(mTitle, f, NSMakePoint(std::floor((b.size.width - w) / 2), 7), mDefault ? AKGray(1) : AKGray(0.1));
  }

private:
  std::string mTitle;
  std::function<void()> mAction;
  bool mPressed = false, mDefault = false, mFocused = false;
};

// Runs the window as the application's modal one until done: meanwhile the other
// windows get no mouse and no keys. A run the session ends (the window closed, or a
// window it belongs to) counts as cancelling.
void runModal(NSWindow* w, const bool& done, const std::function<void()>& cancel,
              const std::function<void()>& shown = nullptr)
{
  if (shown) shown();
  NSApplication::sharedApplication()->runModalForWindow(w, [&done] { return done; });
  if (!done) cancel();
}

// A dialog of the kit belongs to the window that has the keyboard when it opens.
void makeDialog(NSWindow* win)
{
  win->setOwnerWindow(NSApp->keyWindow());
  win->setIsDialog(true);
}

// ---- alerts ----

const CGFloat kAlertMargin = 20, kAlertMinText = 360, kAlertMaxText = 560, kAlertButtonHeight = 26,
              kAlertButtonGap = 10, kAlertParagraphGap = 8, kAlertButtonsGap = 18, kTextAreaPad = 6, kScroller = 8;

NSFont* messageFont() { return NSFont::systemFontOfSize(15); }

CGFloat lineHeight(NSFont* font)
{
  if (!font) return 0;
  const CTFontRef f = font->ctFont();
  return std::ceil(CTFontGetAscent(f) + CTFontGetDescent(f) + std::max<CGFloat>(2, CTFontGetLeading(f)));
}

// Where the next UTF-8 character after i starts.
size_t nextCharacter(const std::string& s, size_t i)
{
  for (++i; i < s.size() && ((unsigned char)s[i] & 0xC0) == 0x80;) ++i;
  return i;
}

// The lines of a text wrapped to a width: at its line ends, then between words, and
// inside a word wider than the width between its characters (at least one a line).
std::vector<std::string> wrapText(const std::string& text, NSFont* font, CGFloat width)
{
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size())
  {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line;
    for (size_t at = start; at < end;)
    {
      const size_t space = std::min(text.find(' ', at), end);
      std::string word = text.substr(at, space - at);
      at = space + 1;
      if (word.empty()) continue;
      if (!line.empty() && AKMeasureText(line + " " + word, font) <= width)
      {
        line += " " + word;
        continue;
      }
      if (!line.empty()) lines.push_back(line);
      // The longest head of the word that fits, found by halving between characters.
      while (AKMeasureText(word, font) > width)
      {
        std::vector<size_t> ends;
        for (size_t i = nextCharacter(word, 0); i < word.size(); i = nextCharacter(word, i)) ends.push_back(i);
        size_t lo = 0, hi = ends.size();  // heads ends[0 .. lo) fit
        while (lo < hi)
        {
          const size_t mid = (lo + hi) / 2;
          if (AKMeasureText(word.substr(0, ends[mid]), font) <= width) lo = mid + 1;
          else hi = mid;
        }
        const size_t cut = lo > 0 ? ends[lo - 1] : (ends.empty() ? word.size() : ends[0]);
        lines.push_back(word.substr(0, cut));
        word.erase(0, cut);
      }
      line = word;
    }
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

void drawLine(const AKAlertLayout::Line& l, CGFloat dy)
{
  text(l.text, l.rect.origin.x, l.rect.origin.y + dy, l.message ? AKGray(0.05) : AKGray(0.2),
       l.message ? messageFont() : uiFont());
}

// The alert's text that does not fit the screen, scrolled by the wheel and the keys;
// the bar at its right shows where the part shown lies in the whole.
class TextAreaView : public FlippedView
{
public:
  TextAreaView(NSRect frame, const AKAlertLayout& layout) : FlippedView(frame), mHeight(layout.textHeight)
  {
    for (const AKAlertLayout::Line& l : layout.lines)
      if (l.scrolls) mLines.push_back(l);
  }
  bool isOpaque() const override { return true; }
  void scrollBy(CGFloat dy)
  {
    mTop = std::max<CGFloat>(0, std::min(mTop + dy, mHeight - bounds().size.height));
    setNeedsDisplay(true);
  }
  void scrollWheel(NSEvent* e) override { scrollBy(-e->deltaY() * 3 * lineHeight(uiFont())); }
  void drawRect(NSRect) override
  {
    const NSRect b = bounds();
    fill(AKGray(0.98), b);
    for (const AKAlertLayout::Line& l : mLines)
      if (NSMaxY(l.rect) > mTop && l.rect.origin.y < mTop + b.size.height) drawLine(l, -mTop);
    const CGFloat track = b.size.height - 4, thumb = std::max<CGFloat>(12, track * b.size.height / mHeight);
    const CGFloat at = (track - thumb) * mTop / std::max<CGFloat>(1, mHeight - b.size.height);
    fill(AKGray(0.6), NSMakeRect(b.size.width - kScroller - 2, 2 + at, kScroller, thumb));
    AKFrameRect(b, AKGray(0.6));
  }

private:
  std::vector<AKAlertLayout::Line> mLines;
  CGFloat mHeight, mTop = 0;
};

class AlertView : public FlippedView
{
public:
  AlertView(NSRect frame, AKAlertLayout layout) : FlippedView(frame), mLayout(std::move(layout)) {}
  bool isOpaque() const override { return true; }
  void drawRect(NSRect) override
  {
    fill(AKGray(0.93), bounds());
    for (const AKAlertLayout::Line& l : mLayout.lines)
      if (!l.scrolls) drawLine(l, 0);
  }

private:
  AKAlertLayout mLayout;
};

class KeyWindow : public NSWindow
{
public:
  using NSWindow::NSWindow;
  bool canBecomeKeyWindow() const override { return true; }
  std::function<bool(NSEvent*)> keys;
  void keyDown(NSEvent* e) override
  {
    if (!keys || !keys(e)) NSWindow::keyDown(e);
  }
};

class ListView : public FlippedView
{
public:
  ListView(NSRect frame, std::function<void(size_t, bool)> picked) : FlippedView(frame), mPicked(std::move(picked)) {}
  std::vector<std::string> entries;
  std::vector<bool> folders;
  long selected = -1;
  bool isOpaque() const override { return true; }
  void mouseDown(NSEvent* e) override
  {
    const NSPoint p = convertPoint(e->locationInWindow(), nullptr);
    const long i = (long)(p.y / 18);
    if (i < 0 || i >= (long)entries.size()) return;
    selected = i;
    setNeedsDisplay(true);
    mPicked((size_t)i, e->clickCount() > 1);
  }
  void drawRect(NSRect) override
  {
    fill(AKGray(1), bounds());
    AKFrameRect(bounds(), AKGray(0.6));
    for (size_t i = 0; i < entries.size() && (CGFloat)i * 18 < bounds().size.height; ++i)
    {
      if ((long)i == selected) fill(NSColor::colorWithCalibratedRed(0.75, 0.85, 1, 1), NSMakeRect(1, i * 18.0, bounds().size.width - 2, 18));
      text(entries[i] + (folders[i] ? "/" : ""), 8, i * 18.0 + 2, AKGray(0.1));
    }
  }

private:
  std::function<void(size_t, bool)> mPicked;
};

std::string expandHome(const std::string& path)
{
  if (path == "~" || path.rfind("~/", 0) == 0)
  {
    const char* home = getenv("HOME");
    return std::string(home ? home : "") + path.substr(1);
  }
  return path;
}

}  // namespace

NSMenuItem* AKScreenAnswers::menuChoice(NSMenu* menu, NSPoint location, NSView*)
{
  NSApplication* app = NSApplication::sharedApplication();
  MenuTracking t;
  t.screen = mPresenter->screenSize();
  openMenuWindow(menu, location, &t, 0);
  app->setEventFilter([&t](NSEvent* e) {
    const NSEventType type = e->type();
    if (type == NSKeyDown)
    {
      t.views.back()->keyDown(e);
      return true;
    }
    const bool inMenuWindow = std::find(t.windows.begin(), t.windows.end(), e->window()) != t.windows.end();
    // A menu window that holds the pointer also gets presses outside its area.
    const NSPoint p = e->locationInWindow();
    const bool inMenu = inMenuWindow && p.x >= 0 && p.y >= 0 && p.x < e->window()->frame().size.width &&
                        p.y <= e->window()->frame().size.height;
    if (!inMenu && (type == NSLeftMouseDown || type == NSRightMouseDown))
    {
      t.done = true;  // a press outside every menu dismisses it
      return true;
    }
    return !inMenu && type != NSMouseMoved;
  });
  NSRunLoop* loop = NSRunLoop::currentRunLoop();
  while (!t.done) loop->runMode(NSEventTrackingRunLoopMode, loop->now() + 0.25);
  app->setEventFilter(nullptr);
  NSMenuItem* chosen = t.chosen;
  t.closeFrom(0);
  return chosen;
}

AKAlertLayout AKLayoutAlert(const NSAlert* alert, NSSize screen)
{
  AKAlertLayout l;
  NSFont* fonts[2] = {messageFont(), uiFont()};
  const std::string* texts[2] = {&alert->messageText(), &alert->informativeText()};
  std::vector<CGFloat> widths;
  CGFloat row = -kAlertButtonGap;
  for (const std::string& b : alert->buttonTitles())
  {
    widths.push_back(std::ceil(std::max<CGFloat>(80, AKMeasureText(b, uiFont()) + 24)));
    row += widths.back() + kAlertButtonGap;
  }
  // As wide as the longest line asks, between the limits, and never narrower than
  // the buttons' row; a text that would not fit the screen's height widens it more.
  const CGFloat room = std::max<CGFloat>(kAlertMinText, screen.width - 4 * kAlertMargin);
  CGFloat natural = 0;
  for (int k = 0; k < 2; ++k)
    for (const std::string& line : wrapText(*texts[k], fonts[k], 1e9))
      natural = std::max(natural, std::ceil(AKMeasureText(line, fonts[k])) + 1);
  CGFloat width = std::max(row, std::min(std::max(natural, kAlertMinText), std::min(kAlertMaxText, room)));
  // Lays a text's lines out from y at x, wrapped to w; where the next one goes.
  const auto lay = [&](int k, CGFloat x, CGFloat y, CGFloat w, bool scrolls) {
    if (texts[k]->empty()) return y;
    const CGFloat h = lineHeight(fonts[k]);
    for (const std::string& line : wrapText(*texts[k], fonts[k], w))
    {
      l.lines.push_back({line, NSMakeRect(x, y, w, h), k == 0, scrolls});
      y += h;
    }
    return y;
  };
  const CGFloat tallest = screen.height - 2 * kAlertMargin;
  const CGFloat below = kAlertButtonsGap + kAlertButtonHeight + kAlertMargin;  // the buttons' part
  for (;;)
  {
    l.lines.clear();
    CGFloat y = lay(0, kAlertMargin, kAlertMargin, width, false);
    if (!texts[0]->empty() && !texts[1]->empty()) y += kAlertParagraphGap;
    y = lay(1, kAlertMargin, y, width, false);
    if (!l.lines.empty()) y += kAlertButtonsGap;
    l.size = NSMakeSize(width + 2 * kAlertMargin, y + kAlertButtonHeight + kAlertMargin);
    if (l.size.height <= tallest || width >= room) break;
    width = std::min(room, std::floor(width * 1.5));
  }
  if (l.size.height > tallest)
  {
    // The message stays above the area while that leaves it a few lines; else it
    // scrolls with the rest.
    const CGFloat least = 4 * lineHeight(uiFont()) + 2 * kTextAreaPad;
    l.lines.clear();
    CGFloat top = kAlertMargin;
    if (!texts[1]->empty())
    {
      const CGFloat end = texts[0]->empty() ? top : lay(0, kAlertMargin, top, width, false) + kAlertParagraphGap;
      if (end + least + below <= tallest) top = end;
      else l.lines.clear();
    }
    const bool messageStays = !l.lines.empty() || texts[0]->empty();
    const CGFloat inner = width - 2 * kTextAreaPad - kScroller;
    CGFloat y = messageStays ? kTextAreaPad : lay(0, kTextAreaPad, kTextAreaPad, inner, true);
    if (!messageStays && !texts[0]->empty() && !texts[1]->empty()) y += kAlertParagraphGap;
    l.textHeight = lay(1, kTextAreaPad, y, inner, true) + kTextAreaPad;
    l.textArea = NSMakeRect(kAlertMargin, top, width, std::max(least, tallest - below - top));
    l.size.height = NSMaxY(l.textArea) + below;
  }
  CGFloat x = l.size.width - kAlertMargin;
  for (const CGFloat w : widths)
  {
    x -= w;
    l.buttons.push_back(NSMakeRect(x, l.size.height - kAlertMargin - kAlertButtonHeight, w, kAlertButtonHeight));
    x -= kAlertButtonGap;
  }
  return l;
}

NSInteger AKScreenAnswers::alertAnswer(NSAlert* alert)
{
  const std::vector<std::string>& buttons = alert->buttonTitles();
  const NSSize screen = mPresenter->screenSize();
  AKAlertLayout layout = AKLayoutAlert(alert, screen);
  const CGFloat w = layout.size.width, h = layout.size.height;
  // Centred across, a little above the middle, on the screen whole where it fits.
  const CGFloat x = std::max<CGFloat>(0, std::floor((screen.width - w) / 2));
  const CGFloat y = std::max<CGFloat>(0, std::floor(std::min((screen.height - h) / 2 + 100, screen.height - h)));
  KeyWindow* win = new KeyWindow(NSMakeRect(x, y, w, h), NSTitledWindowMask, NSBackingStoreBuffered, false);
  win->setTitle(alert->messageText());
  makeDialog(win);
  const std::vector<NSRect> places = layout.buttons;
  TextAreaView* area = NSIsEmptyRect(layout.textArea) ? nullptr : new TextAreaView(layout.textArea, layout);
  AlertView* v = new AlertView(NSMakeRect(0, 0, w, h), std::move(layout));
  win->setContentView(v);
  v->release();
  if (area)
  {
    v->addSubview(area);
    area->release();
  }
  bool done = false;
  NSInteger answer = NSAlertFirstButtonReturn;
  std::vector<ButtonView*> views;
  for (size_t i = 0; i < buttons.size(); ++i)
  {
    ButtonView* b = new ButtonView(places[i], buttons[i], [&, i]() {
      answer = NSAlertFirstButtonReturn + (NSInteger)i;
      done = true;
    });
    // The first is the default; the keyboard's focus starts on it.
    b->setDefault(i == 0);
    b->setFocused(i == 0);
    win->contentView()->addSubview(b);
    views.push_back(b);
    b->release();
  }
  size_t focused = 0;
  // The button that backs out: Escape presses it, and closing the alert's window
  // answers it. Without one, closing answers the only or last button; never a
  // button that goes ahead (such as "Replace", or "No" beside "Cancel").
  NSInteger backOut = -1;
  for (const char* title : {"Cancel", "Stop", "No"})
    for (size_t i = 0; backOut < 0 && i < buttons.size(); ++i)
      if (buttons[i] == title) backOut = (NSInteger)i;
  win->keys = [&](NSEvent* e) {
    if (e->keyCode() == kVK_Return || e->keyCode() == kVK_ANSI_KeypadEnter)
    {
      answer = NSAlertFirstButtonReturn;
      done = true;
      return true;
    }
    if (e->keyCode() == kVK_Escape && backOut >= 0)
    {
      answer = NSAlertFirstButtonReturn + backOut;
      done = true;
      return true;
    }
    if (e->keyCode() == kVK_Tab && !views.empty())
    {
      views[focused]->setFocused(false);
      const size_t n = views.size();
      focused = (e->modifierFlags() & NSShiftKeyMask) ? (focused + n - 1) % n : (focused + 1) % n;
      views[focused]->setFocused(true);
      return true;
    }
    if (e->keyCode() == kVK_Space && !views.empty())
    {
      views[focused]->press();
      return true;
    }
    if (!area) return false;
    const CGFloat line = lineHeight(uiFont()), page = area->bounds().size.height - line;
    switch (e->keyCode())
    {
      case kVK_UpArrow: area->scrollBy(-line); return true;
      case kVK_DownArrow: area->scrollBy(line); return true;
      case kVK_PageUp: area->scrollBy(-page); return true;
      case kVK_PageDown: area->scrollBy(page); return true;
      case kVK_Home: area->scrollBy(-1e9); return true;
      case kVK_End: area->scrollBy(1e9); return true;
      default: return false;
    }
  };
  runModal(win, done,
           [&]() { answer = NSAlertFirstButtonReturn + (backOut >= 0 ? backOut : (NSInteger)buttons.size() - 1); });
  win->keys = nullptr;
  win->close();
  win->release();
  return answer;
}

NSInteger AKScreenAnswers::panelAnswer(NSSavePanel* panel, std::string* path)
{
  const CGFloat w = 520, h = 380;
  const NSSize screen = mPresenter->screenSize();
  KeyWindow* win = new KeyWindow(NSMakeRect((screen.width - w) / 2, (screen.height - h) / 2, w, h),
                                 NSTitledWindowMask | NSClosableWindowMask, NSBackingStoreBuffered, false);
  win->setTitle(panel->isOpenPanel() ? "Open" : "Save");
  makeDialog(win);
  FlippedView* content = new FlippedView(NSMakeRect(0, 0, w, h));
  win->setContentView(content);
  content->release();

  std::string folder = expandHome(panel->directory());
  if (folder.empty()) folder = "/";
  NSTextField* field = new NSTextField(NSMakeRect(12, 12, w - 24, 24));
  field->setStringValue((folder.back() == '/' ? folder : folder + "/") + panel->suggestedFile());
  content->addSubview(field);
  field->release();

  const std::vector<std::string> types = panel->allowedFileTypes();
  ListView* list = nullptr;
  std::function<void()> fillList;
  list = new ListView(NSMakeRect(12, 44, w - 24, h - 100), [&](size_t i, bool twice) {
    const std::string full = (folder.back() == '/' ? folder : folder + "/") + list->entries[i];
    if (list->folders[i] && twice)
    {
      folder = list->entries[i] == ".." ? folder.substr(0, folder.find_last_of('/', folder.size() - 2) + 1) : full + "/";
      if (folder.empty()) folder = "/";
      field->setStringValue(folder);
      fillList();
    }
    else
      field->setStringValue(full);
  });
  fillList = [&]() {
    list->entries.clear();
    list->folders.clear();
    list->selected = -1;
    std::vector<std::pair<std::string, bool>> found;
    if (DIR* d = opendir(folder.c_str()))
    {
      while (dirent* de = readdir(d))
      {
        const std::string n = de->d_name;
        if (n == "." || (n[0] == '.' && n != "..")) continue;
        struct stat st;
        const bool dir = stat(((folder.back() == '/' ? folder : folder + "/") + n).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        bool shown = dir || types.empty();
        for (const std::string& t : types)
          if (n.size() > t.size() && n.compare(n.size() - t.size(), t.size(), t) == 0 && n[n.size() - t.size() - 1] == '.')
            shown = true;
        if (shown) found.emplace_back(n, dir);
      }
      closedir(d);
    }
    std::sort(found.begin(), found.end());
    for (auto& f : found)
    {
      list->entries.push_back(f.first);
      list->folders.push_back(f.second);
    }
    list->setNeedsDisplay(true);
  };
  fillList();
  content->addSubview(list);
  list->release();

  bool done = false;
  NSInteger answer = NSCancelButton;
  auto confirm = [&]() {
    std::string chosen = expandHome(field->stringValue());
    if (const NSOpenPanel* open = dynamic_cast<const NSOpenPanel*>(panel))
    {
      // Only what is there, and of a kind the panel may choose: a folder it may not
      // choose is opened; the folder being shown ("name/") is one it may.
      if (chosen.size() > 1 && chosen.back() == '/') chosen.pop_back();
      struct stat st;
      if (chosen.empty() || stat(chosen.c_str(), &st) != 0) return;
      if (S_ISDIR(st.st_mode) && !open->canChooseDirectories())
      {
        folder = chosen == "/" ? chosen : chosen + "/";
        field->setStringValue(folder);
        fillList();
        return;
      }
      if (!S_ISDIR(st.st_mode) && !open->canChooseFiles()) return;
      *path = chosen;
      answer = NSOKButton;
      done = true;
      return;
    }
    if (chosen.empty() || chosen.back() == '/') return;
    // A name without one of the panel's types gets the first, as the platform's
    // panel gives it: a bank typed as "Night" is saved as "Night.dvl".
    const std::vector<std::string>& allowed = panel->allowedFileTypes();
    if (!allowed.empty())
    {
      const size_t slash = chosen.find_last_of('/');
      const std::string name = chosen.substr(slash == std::string::npos ? 0 : slash + 1);
      const size_t dot = name.rfind('.');
      const std::string ext = dot != std::string::npos && dot > 0 ? name.substr(dot + 1) : std::string();
      bool known = false;
      for (const std::string& t : allowed) known |= strcasecmp(t.c_str(), ext.c_str()) == 0;
      if (!known && (ext.empty() || !panel->allowsOtherFileTypes())) chosen += "." + allowed[0];
    }
    struct stat st;
    if (stat(chosen.c_str(), &st) == 0)
    {
      // A folder named is opened, not answered as the file to write.
      if (S_ISDIR(st.st_mode))
      {
        folder = chosen + "/";
        field->setStringValue(folder);
        fillList();
        return;
      }
      // Saving over a file asks first; the default answer keeps the file.
      const size_t slash = chosen.find_last_of('/');
      NSAlert* ask = new NSAlert;
      ask->setMessageText("\"" + chosen.substr(slash == std::string::npos ? 0 : slash + 1) + "\" already exists.");
      ask->setInformativeText("Do you want to replace it? Its contents will be lost.");
      ask->addButtonWithTitle("Cancel");
      ask->addButtonWithTitle("Replace");
      const NSInteger replace = alertAnswer(ask);
      ask->release();
      if (replace != NSAlertSecondButtonReturn)
      {
        // Back to the panel's field for another name.
        win->makeKeyAndOrderFront(nullptr);
        win->makeFirstResponder(field);
        return;
      }
    }
    *path = chosen;
    answer = NSOKButton;
    done = true;
  };
  ButtonView* ok = new ButtonView(NSMakeRect(w - 102, h - 44, 90, 28), panel->isOpenPanel() ? "Open" : "Save", confirm);
  ButtonView* cancel = new ButtonView(NSMakeRect(w - 202, h - 44, 90, 28), "Cancel", [&]() { done = true; });
  content->addSubview(ok);
  content->addSubview(cancel);
  ok->release();
  cancel->release();
  win->keys = [&](NSEvent* e) {
    if (e->keyCode() == kVK_Escape)
    {
      done = true;
      return true;
    }
    return false;
  };
  // Return in the field ends its editing: that confirms.
  struct FieldEnd : NSTextFieldDelegate
  {
    std::function<void()> f;
    void controlTextDidEndEditing(NSNotification*) override { f(); }
  } ending;
  ending.f = confirm;
  field->setDelegate(&ending);
  runModal(win, done, [&]() { done = true; }, [&]() { win->makeFirstResponder(field); });
  field->setDelegate(nullptr);
  win->keys = nullptr;
  win->close();
  win->release();
  return answer;
}
