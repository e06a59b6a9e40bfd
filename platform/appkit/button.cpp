#include "platform/appkit/NSButton.h"

#include "platform/appkit/NSEvent.h"

#include <cmath>

NSButton::NSButton(NSRect frame) : NSControl(frame) { setFont(NSFont::systemFontOfSize(13)); }

void NSButton::setBezelStyle(NSInteger style)
{
  mBezel = style;
  setNeedsDisplay(true);
}

void NSButton::setButtonType(NSButtonType type)
{
  mType = type;
  setNeedsDisplay(true);
}

void NSButton::setState(NSInteger state)
{
  if (state == NSMixedState && !mAllowsMixed) state = NSOnState;
  mState = state;
  setNeedsDisplay(true);
}

void NSButton::performClick(NSObject*)
{
  if (!mEnabled) return;
  retain();
  if (mType == NSSwitchButton)
  {
    // Mixed goes to on; a three-state box passes through mixed from off.
    if (mState == NSOffState) setState(mAllowsMixed ? NSMixedState : NSOnState);
    else if (mState == NSMixedState) setState(NSOnState);
    else setState(NSOffState);
  }
  else if (mType == NSRadioButton)
    setState(NSOnState);
  else if (mType == NSPushOnPushOffButton || mType == NSToggleButton || mType == NSOnOffButton)
    setState(mState == NSOnState ? NSOffState : NSOnState);
  sendAction();
  release();
}

bool NSButton::inside(NSEvent* e) const
{
  const NSPoint p = convertPoint(e->locationInWindow(), nullptr);
  const NSRect b = bounds();
  return p.x >= 0 && p.y >= 0 && p.x < b.size.width && p.y < b.size.height;
}

void NSButton::mouseDown(NSEvent* e)
{
  if (!mEnabled) return;
  mTracking = true;
  mHighlighted = inside(e);
  setNeedsDisplay(true);
}

void NSButton::mouseDragged(NSEvent* e)
{
  if (!mTracking) return;
  const bool h = inside(e);
  if (h != mHighlighted)
  {
    mHighlighted = h;
    setNeedsDisplay(true);
  }
}

void NSButton::mouseUp(NSEvent* e)
{
  if (!mTracking) return;
  mTracking = false;
  mHighlighted = false;
  setNeedsDisplay(true);
  if (inside(e)) performClick(this);
}

void NSButton::drawRect(NSRect)
{
  const NSRect b = bounds();
  const bool box = mType == NSSwitchButton || mType == NSRadioButton;
  CGFloat textX = 0;
  if (box)
  {
    // The box (or radio mark) at the left, the title beside it.
    const CGFloat s = std::min<CGFloat>(12, b.size.height);
    const CGFloat y = std::floor((b.size.height - s) / 2);
    NSColor::colorWithCalibratedRed(0.45, 0.45, 0.45, 1)->setFill();
    NSColor::fillRect(NSMakeRect(0, y, s, s));
    NSColor::colorWithCalibratedRed(1, 1, 1, 1)->setFill();
    NSColor::fillRect(NSMakeRect(1, y + 1, s - 2, s - 2));
    if (mState != NSOffState)
    {
      NSColor::colorWithCalibratedRed(0.1, 0.1, 0.1, 1)->setFill();
      NSColor::fillRect(mState == NSMixedState ? NSMakeRect(3, y + s / 2 - 1, s - 6, 2)
                                               : NSMakeRect(3, y + 3, s - 6, s - 6));
    }
    textX = s + 4;
  }
  else
  {
    NSColor::colorWithCalibratedRed(0.55, 0.55, 0.55, 1)->setFill();
    NSColor::fillRect(b);
    const CGFloat g = mHighlighted ? 0.75 : 0.97;
    NSColor::colorWithCalibratedRed(g, g, g, 1)->setFill();
    NSColor::fillRect(NSMakeRect(1, 1, b.size.width - 2, b.size.height - 2));
  }
  if (!mFont || mString.empty()) return;
  const CGFloat ascent = CTFontGetAscent(mFont->ctFont()), descent = CTFontGetDescent(mFont->ctFont());
  const CGFloat baseline = std::floor((b.size.height - (ascent + descent)) / 2 + descent);
  const CGFloat w = AKMeasureText(mString, mFont);
  const CGFloat x = box ? textX : std::floor((b.size.width - w) / 2);
  const CGFloat grey = mEnabled ? 0 : 0.5;
  AKDrawTextLine(mString, mFont, NSMakePoint(x, baseline), NSColor::colorWithCalibratedRed(grey, grey, grey, 1));
}
