#include "gui/IGraphicsCocoa.h"

#include "gui/IControl.h"
#include "gui/IGraphicsMac.h"
#include "gui/IGraphicsMacMapping.h"
#include "gui/IPopupMenu.h"
#include "plug/IParam.h"
#include "plug/IPlugBase.h"

#include <cmath>
#include <cstdlib>

using namespace MacMapping;

// ---- the view ----

IGraphicsCocoa_vDavrel_64_au::IGraphicsCocoa_vDavrel_64_au() : NSView(NSMakeRect(0, 0, 0, 0)) {}

IGraphicsCocoa_vDavrel_64_au::IGraphicsCocoa_vDavrel_64_au(IGraphicsMac* graphics)
  : NSView(NSMakeRect(0, 0, graphics->Width(), graphics->Height())), mGraphics(graphics)
{
  const double interval = 1.0 / (double)graphics->FPS();
  mTimer = NSTimer::timerWithTimeInterval(interval, this, &IGraphicsCocoa_vDavrel_64_au::onTimer, nullptr, true);
  NSRunLoop::currentRunLoop()->addTimer(mTimer, kCFRunLoopCommonModes);
  // The run loop holds the timer from here on.
  mTimer->release();
}

IGraphicsCocoa_vDavrel_64_au::~IGraphicsCocoa_vDavrel_64_au() { AKRelease(mTextFieldView); }

void IGraphicsCocoa_vDavrel_64_au::killTimer()
{
  if (!mTimer) return;
  NSTimer* t = mTimer;
  mTimer = nullptr;
  t->invalidate();
}

void IGraphicsCocoa_vDavrel_64_au::onTimer(NSTimer* timer)
{
  if (timer != mTimer || !mGraphics) return;
  IRECT r;
  if (mGraphics->IsDirty(&r)) setNeedsDisplayInRect(ViewRectOf(r, mGraphics->Height()));
}

void IGraphicsCocoa_vDavrel_64_au::drawRect(NSRect rect)
{
  if (!mGraphics) return;
  IRECT r = GraphicsRectOf(rect, mGraphics->Height());
  // The window system also asks for parts of the view on its own (the area a menu
  // uncovered, a text field's redraw), between two ticks of the timer. The drawing
  // pass cleans every control, drawn or not, so a control that changed since the
  // last tick and lies outside that part would never reach the screen: its area
  // is asked for again, and drawn whole, in a pass of its own.
  IRECT dirty;
  if (mGraphics->IsDirty(&dirty) && dirty.Union(r) != r)
    setNeedsDisplayInRect(ViewRectOf(dirty, mGraphics->Height()));
  mGraphics->Draw(&r);
}

void IGraphicsCocoa_vDavrel_64_au::viewDidMoveToWindow()
{
  if (NSWindow* w = window())
  {
    w->makeFirstResponder(this);
    w->setAcceptsMouseMovedEvents(true);
  }
}

void IGraphicsCocoa_vDavrel_64_au::removeFromSuperview()
{
  retain();
  if (mTextFieldView) endUserInput();
  if (mGraphics)
  {
    IGraphicsMac* g = mGraphics;
    mGraphics = nullptr;
    g->CloseWindow();
  }
  NSView::removeFromSuperview();
  release();
}

bool IGraphicsCocoa_vDavrel_64_au::getMouseXY(NSEvent* e, int* x, int* y)
{
  if (!mGraphics) return false;
  const NSPoint p = convertPoint(e->locationInWindow(), nullptr);
  MousePoint(p.x, p.y, mGraphics->Height(), x, y);
  mPrevX = *x;
  mPrevY = *y;
  return true;
}

bool IGraphicsCocoa_vDavrel_64_au::endEntryForPress(int x, int y)
{
  if (!mTextFieldView || !mGraphics) return true;
  retain();
  IControl* target = nullptr;
  bool cancels = false;
  {
    IPlugBase* plug = mGraphics->GetPlug();
    WDL_MutexLock lock(plug ? &plug->mMutex : nullptr);
    mGraphics->ReleaseMouseCapture();
    target = mGraphics->GetMouseControlIdx(x, y, false);
    cancels = target && target->GetCancelsTextEntry();
  }
  // A box's Cancel drops the typed text; any other press applies it, as the loss of
  // the focus does.
  if (cancels)
    endUserInput();
  else if (NSWindow* w = window())
    w->makeFirstResponder(this);
  if (mTextFieldView) endUserInput();
  // Applying may have taken the control away (its box closed): a press meant for it
  // must not reach what lay beneath.
  const bool goOn = mGraphics && mGraphics->GetMouseControlIdx(x, y, false) == target;
  release();
  return goOn;
}

void IGraphicsCocoa_vDavrel_64_au::mouseDown(NSEvent* e)
{
  int x, y;
  if (!getMouseXY(e, &x, &y) || !endEntryForPress(x, y)) return;
  IMouseMod ms = ModsOf(e->modifierFlags(), false);
  if (e->clickCount() > 1)
    mGraphics->OnMouseDblClick(x, y, &ms);
  else
    mGraphics->OnMouseDown(x, y, &ms);
}

void IGraphicsCocoa_vDavrel_64_au::mouseUp(NSEvent* e)
{
  int x, y;
  if (!getMouseXY(e, &x, &y)) return;
  IMouseMod ms = ModsOf(e->modifierFlags(), false);
  mGraphics->OnMouseUp(x, y, &ms);
}

void IGraphicsCocoa_vDavrel_64_au::mouseDragged(NSEvent* e)
{
  int x, y;
  if (!getMouseXY(e, &x, &y) || mTextFieldView) return;
  IMouseMod ms = ModsOf(e->modifierFlags(), false);
  mGraphics->OnMouseDrag(x, y, &ms);
}

void IGraphicsCocoa_vDavrel_64_au::mouseMoved(NSEvent* e)
{
  int x, y;
  if (!getMouseXY(e, &x, &y)) return;
  IMouseMod ms = ModsOf(e->modifierFlags(), false);
  mGraphics->OnMouseOver(x, y, &ms);
}

void IGraphicsCocoa_vDavrel_64_au::rightMouseDown(NSEvent* e)
{
  int x, y;
  if (!getMouseXY(e, &x, &y) || !endEntryForPress(x, y)) return;
  IMouseMod ms = ModsOf(e->modifierFlags(), true);
  mGraphics->OnMouseDown(x, y, &ms);
}

void IGraphicsCocoa_vDavrel_64_au::rightMouseUp(NSEvent* e)
{
  int x, y;
  if (!getMouseXY(e, &x, &y)) return;
  IMouseMod ms = ModsOf(e->modifierFlags(), true);
  mGraphics->OnMouseUp(x, y, &ms);
}

void IGraphicsCocoa_vDavrel_64_au::rightMouseDragged(NSEvent* e)
{
  int x, y;
  if (!getMouseXY(e, &x, &y) || mTextFieldView) return;
  IMouseMod ms = ModsOf(e->modifierFlags(), true);
  mGraphics->OnMouseDrag(x, y, &ms);
}

void IGraphicsCocoa_vDavrel_64_au::scrollWheel(NSEvent* e)
{
  if (!mGraphics) return;
  if (mTextFieldView) endUserInput();
  int x, y;
  if (!getMouseXY(e, &x, &y)) return;
  IMouseMod ms = ModsOf(e->modifierFlags(), false);
  mGraphics->OnMouseWheel(x, y, &ms, (int)e->deltaY());
}

void IGraphicsCocoa_vDavrel_64_au::keyDown(NSEvent* e)
{
  if (!mGraphics) return;
  // The field passes Escape on: it ends the entry and keeps the old text.
  if (mTextFieldView && e->keyCode() == kVK_Escape)
  {
    endUserInput();
    setNeedsDisplay(true);
    return;
  }
  if (e->keyCode() == kVK_Escape && mGraphics->OnEscape()) return;
  const int key = KeyOf(e->keyCode(), e->charactersIgnoringModifiers());
  if (key == kKeyDropped) return;
  if (key == kKeyNextResponder || !mGraphics->OnKeyDown(mPrevX, mPrevY, key)) NSResponder::keyDown(e);
}

// ---- popup menus ----

IGraphicsNSMenu_vDavrel_64_au::IGraphicsNSMenu_vDavrel_64_au(IPopupMenu* menu, NSView* receiver)
  : NSMenu(""), mIPopupMenu(menu)
{
  setAutoenablesItems(false);
  for (int i = 0; i < menu->GetNItems(); ++i)
  {
    IPopupMenuItem* item = menu->GetItem(i);
    WDL_String title;
    menu->GetDisplayText(i, &title);
    if (item->GetSubmenu())
    {
      NSMenuItem* entry = addItemWithTitle(title.Get(), SEL(), "");
      IGraphicsNSMenu_vDavrel_64_au* sub = new IGraphicsNSMenu_vDavrel_64_au(item->GetSubmenu(), receiver);
      setSubmenu(sub, entry);
      sub->release();
    }
    else if (item->GetIsSeparator())
      addItem(NSMenuItem::separatorItem());
    else
    {
      NSMenuItem* entry = addItemWithTitle(title.Get(), SEL("OnMenuSelection:"), "");
      if (item->GetFlags() & IPopupMenuItem::kIndented) entry->setIndentationLevel(1);
      entry->setState(item->GetChecked() ? NSOnState : NSOffState);
      entry->setEnabled(item->GetEnabled());
    }
  }
}

bool IGraphicsMenuRcvr_vDavrel_64_au::performAction(SEL action, NSObject* sender)
{
  if (action != SEL("OnMenuSelection:")) return false;
  nsMenuItem = dynamic_cast<NSMenuItem*>(sender);
  return true;
}

IPopupMenu* IGraphicsCocoa_vDavrel_64_au::createIPopupMenu(IPopupMenu* menu, NSRect rect)
{
  if (!menu) return nullptr;
  NSAutoreleasePool pool;
  IGraphicsMenuRcvr_vDavrel_64_au* receiver = new IGraphicsMenuRcvr_vDavrel_64_au(rect);
  receiver->autorelease();
  IGraphicsNSMenu_vDavrel_64_au* nsMenu = new IGraphicsNSMenu_vDavrel_64_au(menu, receiver);
  nsMenu->autorelease();

  NSWindow* w = window();
  NSPoint location = convertPointToBase(NSMakePoint(rect.origin.x, rect.origin.y - 4));
  if (w && w->screen() && w->screen()->respondsToBackingScaleFactor())
  {
    const float scale = (float)w->screen()->backingScaleFactor();
    location.x /= scale;
    location.y /= scale;
  }
  NSGraphicsContext* ctx = NSGraphicsContext::currentContext();
  NSEvent* event = NSEvent::otherEventWithType(NSApplicationDefined, location, 15, 0, w ? w->windowNumber() : 0, ctx,
                                               0, 0, 0);
  NSMenu::popUpContextMenu(nsMenu, event, receiver);

  NSMenuItem* chosen = receiver->MenuItem();
  IGraphicsNSMenu_vDavrel_64_au* chosenMenu =
      chosen ? dynamic_cast<IGraphicsNSMenu_vDavrel_64_au*>(chosen->menu()) : nullptr;
  IPopupMenu* result = chosenMenu ? chosenMenu->AssociatedIPopupMenu() : nullptr;
  const NSInteger index = chosenMenu ? chosenMenu->indexOfItem(chosen) : -1;
  if (result && index >= 0)
  {
    result->SetChosenItemIdx((int)index);
    return result;
  }
  return nullptr;
}

// ---- text entry ----

bool CocoaFormatter_vDavrel_64_au::isPartialStringValid(const std::string& partial, std::string*, std::string*)
{
  const std::u16string u = AKUTF16(partial);
  if (filterCharacterSet)
    for (char16_t c : u)
      if (!filterCharacterSet->characterIsMember(c)) return false;
  if (maxLength && (int)u.size() > maxLength) return false;
  if (maxValue) return atoi(partial.c_str()) <= maxValue;
  return true;
}

void IGraphicsCocoa_vDavrel_64_au::createTextEntry(IControl* control, IParam* param, IText* text, const char* str,
                                                  NSRect rect)
{
  if (!control || mTextFieldView) return;
  mTextFieldView = new NSTextField(rect);
  if (text)
  {
    if (NSFont* font = NSFont::fontWithName("Monaco", TextEntryFontSize(text->mSize))) mTextFieldView->setFont(font);
    const int align = TextEntryAlignment(text->mAlign);
    if (align >= 0) mTextFieldView->setAlignment((NSTextAlignment)align);
  }
  if (param)
  {
    NSMutableCharacterSet* set = new NSMutableCharacterSet;
    set->addCharactersInString(TextEntryCharacters(param->Type()));
    CocoaFormatter_vDavrel_64_au* formatter = new CocoaFormatter_vDavrel_64_au;
    formatter->setAcceptableCharacterSet(set);
    formatter->setMaximumLength(control->GetTextEntryLength());
    mTextFieldView->setFormatter(formatter);
    formatter->release();
    set->release();
  }
  mTextFieldView->cell()->setLineBreakMode(NSLineBreakByTruncatingTail);
  mTextFieldView->cell()->setAllowsEditingTextAttributes(false);
  mTextFieldView->setFocusRingType(NSFocusRingTypeNone);
  if (text)
  {
    const IColor& fg = text->mTextEntryFGColor;
    const IColor& bg = text->mTextEntryBGColor;
    mTextFieldView->setTextColor(
        NSColor::colorWithCalibratedRed(fg.R / 255.0, fg.G / 255.0, fg.B / 255.0, fg.A / 255.0));
    mTextFieldView->setBackgroundColor(
        NSColor::colorWithCalibratedRed(bg.R / 255.0, bg.G / 255.0, bg.B / 255.0, bg.A / 255.0));
  }
  mTextFieldView->setStringValue(str ? str : "");
  mTextFieldView->setBordered(false);
  mTextFieldView->setDelegate(this);
  addSubview(mTextFieldView);
  if (NSWindow* w = window())
  {
    w->makeKeyAndOrderFront(nullptr);
    w->makeFirstResponder(mTextFieldView);
  }
  mEdParam = param;
  mEdControl = control;
}

void IGraphicsCocoa_vDavrel_64_au::controlTextDidEndEditing(NSNotification*)
{
  if (!mTextFieldView) return;
  retain();
  std::string text = mTextFieldView->stringValue();
  if (mGraphics && mEdControl)
  {
    // The entry changes the control, its parameter and its display text, which the
    // MIDI threads change under the plug-in's mutex too.
    IPlugBase* plug = mGraphics->GetPlug();
    WDL_MutexLock lock(plug ? &plug->mMutex : nullptr);
    if (mEdParam)
      mGraphics->SetFromStringAfterPrompt(mEdControl, mEdParam, &text[0]);
    else
      mEdControl->TextFromTextEntry(text.c_str());
  }
  endUserInput();
  setNeedsDisplay(true);
  release();
}

void IGraphicsCocoa_vDavrel_64_au::endUserInput()
{
  if (!mTextFieldView) return;
  NSTextField* field = mTextFieldView;
  mTextFieldView = nullptr;
  mEdControl = nullptr;
  mEdParam = nullptr;
  field->setDelegate(nullptr);
  field->removeFromSuperview();
  if (NSWindow* w = window()) w->makeFirstResponder(this);
  NSCursor::arrowCursor()->set();
  field->release();
}
