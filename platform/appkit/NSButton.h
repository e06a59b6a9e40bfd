#pragma once
// Buttons: push buttons, check boxes and radio buttons. A click (button down and
// up inside it) or performClick sends the action; check boxes and radio buttons
// change their state first.

#include "platform/appkit/NSMenu.h"
#include "platform/appkit/NSTextField.h"

enum NSButtonType
{
  NSMomentaryLightButton = 0,
  NSPushOnPushOffButton = 1,
  NSToggleButton = 2,
  NSSwitchButton = 3,
  NSRadioButton = 4,
  NSMomentaryChangeButton = 5,
  NSOnOffButton = 6,
  NSMomentaryPushInButton = 7
};

// The states are those of menu items.

enum NSBezelStyle
{
  NSRoundedBezelStyle = 1,
  NSShadowlessSquareBezelStyle = 6
};

class NSButton : public NSControl
{
public:
  explicit NSButton(NSRect frame);

  const std::string& title() const { return mString; }
  void setTitle(const std::string& title) { setStringValue(title); }
  NSInteger bezelStyle() const { return mBezel; }
  void setBezelStyle(NSInteger style);
  NSButtonType buttonType() const { return mType; }
  void setButtonType(NSButtonType type);
  NSInteger state() const { return mState; }
  void setState(NSInteger state);
  bool allowsMixedState() const { return mAllowsMixed; }
  void setAllowsMixedState(bool on) { mAllowsMixed = on; }
  bool isHighlighted() const { return mHighlighted; }

  // As if clicked: the state moves on, then the action is sent.
  void performClick(NSObject* sender);

  void mouseDown(NSEvent* e) override;
  void mouseDragged(NSEvent* e) override;
  void mouseUp(NSEvent* e) override;
  void drawRect(NSRect dirtyRect) override;
  bool isOpaque() const override { return false; }
  bool acceptsFirstMouse(NSEvent*) override { return true; }

private:
  bool inside(NSEvent* e) const;

  NSInteger mBezel = NSRoundedBezelStyle;
  NSButtonType mType = NSMomentaryPushInButton;
  NSInteger mState = NSOffState;
  bool mAllowsMixed = false, mHighlighted = false, mTracking = false;
};
