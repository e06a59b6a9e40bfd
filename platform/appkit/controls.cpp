#include "platform/appkit/NSButton.h"

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSWindow.h"

#include <algorithm>
#include <cmath>

namespace {

NSColor* textColour(bool enabled) { return enabled ? AKGray(0) : AKGray(0.55); }

}  // namespace

// ---- NSButton ----

NSButton::NSButton(NSRect frame) : NSControl(frame) { setFont(NSFont::systemFontOfSize(13)); }

NSButton::~NSButton()
{
  AKRelease(mImage);
  AKRelease(mButtonCell);
  AKRelease(mTitleColour);
}

void NSButton::setCell(NSButtonCell* cell)
{
  AKAssign(mButtonCell, cell);
  setNeedsDisplay(true);
}

void NSButtonCell::drawWithFrame(NSRect frame, NSView* controlView)
{
  if (NSButton* b = dynamic_cast<NSButton*>(controlView)) b->drawBezelAndTitle(frame);
}

NSColor* NSColor::controlTextColor() { return AKGray(0); }

NSColor* NSButton::textColor() const { return mTitleColour ? mTitleColour : NSColor::controlTextColor(); }

void NSButton::setTextColor(NSColor* colour)
{
  AKAssign(mTitleColour, colour);
  setNeedsDisplay(true);
}

void NSButton::setButtonType(NSButtonType type)
{
  mType = type;
  setNeedsDisplay(true);
}

void NSButton::setState(NSInteger state)
{
  mState = state < 0 ? NSMixedState : (state ? NSOnState : NSOffState);
  setNeedsDisplay(true);
}

void NSButton::setImagePosition(NSCellImagePosition p)
{
  mImagePosition = p;
  setNeedsDisplay(true);
}

void NSButton::setImage(NSImage* image)
{
  AKAssign(mImage, image);
  setNeedsDisplay(true);
}

void NSButton::sizeToFit()
{
  const bool box = mType == NSSwitchButton || mType == NSRadioButton;
  const CGFloat w = std::ceil((mFont ? AKMeasureText(mString, mFont) : 0) + (box ? 18 : 24));
  setFrameSize(NSMakeSize(w, frame().size.height));
}

// The tracking of a real button ends with the press; the press is the click here.
void NSButton::mouseDown(NSEvent*) { performClick(this); }

void NSButton::performClick(NSObject*)
{
  if (!mEnabled) return;
  switch (mType)
  {
    case NSSwitchButton:
    case NSPushOnPushOffButton:
    case NSToggleButton:
    case NSOnOffButton:
      setState(mState == NSOnState ? NSOffState : NSOnState);
      break;
    case NSRadioButton:
      setState(NSOnState);
      break;
    default:
      break;
  }
  sendAction();
}

void NSButton::drawRect(NSRect)
{
  if (mButtonCell) mButtonCell->drawWithFrame(bounds(), this);
  else drawBezelAndTitle(bounds());
}

void NSButton::drawBezelAndTitle(NSRect b)
{
  const CGFloat base = AKCentredBaseline(mFont, b.size.height);
  if (mType == NSSwitchButton || mType == NSRadioButton)
  {
    const CGFloat s = std::min<CGFloat>(12, b.size.height);
    const bool boxRight = mImagePosition == NSImageRight;
    const NSRect box = NSMakeRect(boxRight ? std::max<CGFloat>(1, b.size.width - s - 1) : 1,
                                  std::floor((b.size.height - s) / 2), s, s);
    AKGray(1)->setFill();
    NSColor::fillRect(box);
    AKFrameRect(box, AKGray(0.35));
    if (mState != NSOffState)
    {
      AKGray(mEnabled ? 0.1 : 0.5)->setFill();
      if (mState == NSMixedState) NSColor::fillRect(NSMakeRect(box.origin.x + 3, box.origin.y + s / 2 - 1, s - 6, 2));
      else NSColor::fillRect(NSMakeRect(box.origin.x + 3, box.origin.y + 3, s - 6, s - 6));
    }
    AKDrawTextLine(mString, mFont, NSMakePoint(boxRight ? 1 : s + 5, base), mEnabled ? textColor() : textColour(false));
    return;
  }
  AKGray(mState == NSOnState && mType != NSMomentaryPushInButton ? 0.8 : 0.93)->setFill();
  NSColor::fillRect(b);
  AKFrameRect(b, AKGray(0.45));
  const CGFloat w = AKMeasureText(mString, mFont);
  AKDrawTextLine(mString, mFont, NSMakePoint(std::floor((b.size.width - w) / 2), base),
                 mEnabled ? textColor() : textColour(false));
}

// ---- NSPopUpButton ----

NSPopUpButton::NSPopUpButton(NSRect frame) : NSControl(frame), mMenu(new NSMenu)
{
  setFont(NSFont::systemFontOfSize(13));
}

NSPopUpButton::~NSPopUpButton() { AKRelease(mMenu); }

NSInteger NSPopUpButton::indexOfSelectedItem() const { return mSelected ? mMenu->indexOfItem(mSelected) : -1; }

void NSPopUpButton::selectItemAtIndex(NSInteger index)
{
  mSelected = mMenu->itemAtIndex(index);
  setNeedsDisplay(true);
}

void NSPopUpButton::removeAllItems()
{
  mMenu->removeAllItems();
  mSelected = nullptr;
  setNeedsDisplay(true);
}

void NSPopUpButton::removeItemAtIndex(NSInteger index)
{
  if (mSelected && mMenu->itemAtIndex(index) == mSelected) mSelected = nullptr;
  mMenu->removeItemAtIndex(index);
  // The first item stands selected when the selected one went, as a pop-up always shows one.
  if (!mSelected) mSelected = mMenu->itemAtIndex(0);
  setNeedsDisplay(true);
}

void NSPopUpButton::mouseDown(NSEvent* e)
{
  if (!mEnabled || !NSApplication::exists()) return;
  retain();
  NSWindow* w = window();
  const NSPoint at = w ? w->convertBaseToScreen(e ? e->locationInWindow() : NSMakePoint(0, 0)) : NSMakePoint(0, 0);
  NSMenuItem* chosen = AKRetain(NSApp->modalAnswers()->menuChoice(mMenu, at, this));
  if (chosen && chosen->menu() == mMenu && chosen->isEnabled() && !chosen->isSeparatorItem())
  {
    mSelected = chosen;
    setNeedsDisplay(true);
    sendAction();
  }
  AKRelease(chosen);
  release();
}

void NSPopUpButton::drawRect(NSRect)
{
  const NSRect b = bounds();
  AKGray(0.96)->setFill();
  NSColor::fillRect(b);
  AKFrameRect(b, AKGray(0.45));
  // The arrow at the right says a list opens here.
  AKGray(0.3)->setFill();
  const CGFloat cx = b.size.width - 10, cy = std::floor(b.size.height / 2);
  for (int i = 0; i < 4; ++i) NSColor::fillRect(NSMakeRect(cx - 3 + i, cy + 1 - i, 7 - 2 * i, 1));
  if (mSelected)
    AKDrawTextLine(mSelected->title(), mFont, NSMakePoint(5, AKCentredBaseline(mFont, b.size.height)),
                   textColour(mEnabled));
}

// ---- NSComboBox ----

NSComboBox::NSComboBox(NSRect frame) : NSTextField(frame) {}

std::string NSComboBox::itemObjectValueAtIndex(NSInteger index) const
{
  return index >= 0 && index < numberOfItems() ? mValues[(size_t)index] : std::string();
}

void NSComboBox::addItemWithObjectValue(const std::string& value) { mValues.push_back(value); }

void NSComboBox::insertItemWithObjectValue(const std::string& value, NSInteger index)
{
  if (index < 0) return;
  mValues.insert(mValues.begin() + std::min(index, numberOfItems()), value);
  if (mSelected >= index) ++mSelected;
}

void NSComboBox::removeItemAtIndex(NSInteger index)
{
  if (index < 0 || index >= numberOfItems()) return;
  mValues.erase(mValues.begin() + index);
  if (mSelected == index) mSelected = -1;
  else if (mSelected > index) --mSelected;
}

void NSComboBox::removeAllItems()
{
  mValues.clear();
  mSelected = -1;
}

void NSComboBox::selectItemAtIndex(NSInteger index)
{
  if (index < 0 || index >= numberOfItems())
  {
    mSelected = -1;
    return;
  }
  NSTextField::setStringValue(mValues[(size_t)index]);
  mSelected = index;
}

// Text set from outside no longer names the selected item.
void NSComboBox::setStringValue(const std::string& value)
{
  NSTextField::setStringValue(value);
  mSelected = -1;
}

void NSComboBox::drawRect(NSRect r)
{
  NSTextField::drawRect(r);
  const NSRect b = bounds();
  AKGray(0.3)->setFill();
  const CGFloat cx = b.size.width - 9, cy = std::floor(b.size.height / 2);
  for (int i = 0; i < 4; ++i) NSColor::fillRect(NSMakeRect(cx - 3 + i, cy + 1 - i, 7 - 2 * i, 1));
}

void NSComboBox::mouseDown(NSEvent* e)
{
  const NSPoint p = e ? convertPoint(e->locationInWindow(), nullptr) : NSMakePoint(0, 0);
  if (!e || !mEnabled || !NSApplication::exists() || p.x < bounds().size.width - 18)
  {
    NSTextField::mouseDown(e);
    return;
  }
  // The delegate may take the box out of its window meanwhile.
  retain();
  NSComboBoxDelegate* d = dynamic_cast<NSComboBoxDelegate*>(delegate());
  auto tell = [&](const char* name, void (NSComboBoxDelegate::*f)(NSNotification*)) {
    if (!d) return;
    NSNotification* n = new NSNotification(name, this);
    (d->*f)(n);
    n->release();
  };
  tell("NSComboBoxWillPopUpNotification", &NSComboBoxDelegate::comboBoxWillPopUp);
  NSMenu* list = new NSMenu;
  for (const std::string& v : mValues) list->addItemWithTitle(v, SEL(), "");
  NSWindow* w = window();
  const NSPoint at = w ? w->convertBaseToScreen(e->locationInWindow()) : NSMakePoint(0, 0);
  NSMenuItem* chosen = AKRetain(NSApp->modalAnswers()->menuChoice(list, at, this));
  const NSInteger index = chosen && chosen->menu() == list ? list->indexOfItem(chosen) : -1;
  AKRelease(chosen);
  list->release();
  if (index >= 0 && index < numberOfItems())
  {
    selectItemAtIndex(index);
    setNeedsDisplay(true);
    tell("NSComboBoxSelectionDidChangeNotification", &NSComboBoxDelegate::comboBoxSelectionDidChange);
  }
  release();
}

// ---- NSSlider ----

NSSlider::NSSlider(NSRect frame) : NSControl(frame) {}

void NSSlider::setDoubleValue(double value)
{
  mRange.set(value);
  setNeedsDisplay(true);
}

// The track runs along the long side, 6 points in from each end.
void NSSlider::trackTo(NSEvent* e)
{
  if (!mEnabled || !e) return;
  const NSPoint p = convertPoint(e->locationInWindow(), nullptr);
  const bool vertical = isVertical();
  const NSSize size = bounds().size;
  const double span = std::max(1.0, (vertical ? size.height : size.width) - 12);
  const double t = std::max(0.0, std::min(1.0, ((vertical ? p.y : p.x) - 6) / span));
  setDoubleValue(mRange.min + t * (mRange.max - mRange.min));
  sendAction();
}

void NSSlider::mouseDown(NSEvent* e) { trackTo(e); }
void NSSlider::mouseDragged(NSEvent* e) { trackTo(e); }

void NSSlider::drawRect(NSRect)
{
  const bool vertical = isVertical();
  const NSSize size = bounds().size;
  // Drawn as the horizontal slider with its two axes swapped.
  auto place = [vertical](CGFloat along, CGFloat across, CGFloat length, CGFloat thickness) {
    return vertical ? NSMakeRect(across, along, thickness, length) : NSMakeRect(along, across, length, thickness);
  };
  const CGFloat span = std::max<CGFloat>(0, (vertical ? size.height : size.width) - 12);
  const CGFloat mid = std::floor((vertical ? size.width : size.height) / 2);
  AKGray(0.6)->setFill();
  NSColor::fillRect(place(6, mid - 1, span, 3));
  const CGFloat at = std::floor(6 + mRange.fraction() * span);
  const NSRect knob = place(at - 5, mid - 6, 11, 13);
  AKGray(mEnabled ? 0.97 : 0.85)->setFill();
  NSColor::fillRect(knob);
  AKFrameRect(knob, AKGray(0.35));
}

// ---- NSBox ----

void NSBox::setTitle(const std::string& title)
{
  mTitle = title;
  setNeedsDisplay(true);
}

NSBox::~NSBox() { AKRelease(mTitleColour); }

void NSBox::setTitleTextColor(NSColor* colour)
{
  AKAssign(mTitleColour, colour);
  setNeedsDisplay(true);
}

void NSBox::drawRect(NSRect)
{
  const NSRect b = bounds();
  NSFont* font = NSFont::systemFontOfSize(11);
  const CGFloat top = mTitle.empty() || !font ? b.size.height : b.size.height - 7;
  AKFrameRect(NSMakeRect(0, 0, b.size.width, top), AKGray(0.6));
  if (mTitle.empty() || !font) return;
  const CGFloat w = AKMeasureText(mTitle, font);
  const CGFloat x = mTitleAlign == NSCenterTextAlignment ? std::floor((b.size.width - w - 6) / 2) : 6;
  const NSRect label = NSMakeRect(x, b.size.height - 14, w + 6, 14);
  AKGray(0.93)->setFill();
  NSColor::fillRect(label);
  AKDrawTextLine(mTitle, font, NSMakePoint(x + 3, label.origin.y + 3), mTitleColour ? mTitleColour : AKGray(0.1));
}

void NSBox::setTitleAlignment(NSTextAlignment a)
{
  mTitleAlign = a;
  setNeedsDisplay(true);
}
