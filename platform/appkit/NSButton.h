#pragma once
// The standard controls: buttons (push, check box, radio), pop-up buttons, combo
// boxes, sliders and group boxes. Each keeps the state its callers read and
// draws itself plainly with the kit's drawing, so a dialog of them is legible on
// screen and in screenshots. A click changes the state first, then sends the
// control's action.

#include "platform/appkit/BoundedValue.h"
#include "platform/appkit/NSMenu.h"
#include "platform/appkit/NSTextField.h"

#include <vector>

class NSImage;

enum NSBezelStyle
{
  NSRoundedBezelStyle = 1,
  NSShadowlessSquareBezelStyle = 6
};

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

// Where a button's image (for check boxes and radio buttons, their box) sits
// beside its title.
enum NSCellImagePosition
{
  NSNoImage = 0,
  NSImageOnly = 1,
  NSImageLeft = 2,
  NSImageRight = 3,
  NSImageBelow = 4,
  NSImageAbove = 5,
  NSImageOverlaps = 6
};

class NSButton;

// What draws a button. The plain cell draws the bezel and title; a subclass may
// draw something else in the button's place.
class NSButtonCell : public NSCell
{
public:
  void drawWithFrame(NSRect frame, NSView* controlView) override;
  virtual bool isTransparent() const { return false; }
  virtual bool isOpaque() const { return true; }
};

class NSButton : public NSControl
{
public:
  explicit NSButton(NSRect frame);

  void setButtonType(NSButtonType type);
  NSButtonType buttonType() const { return mType; }
  const std::string& title() const { return mString; }
  void setTitle(const std::string& title) { setStringValue(title); }
  // NSOffState, NSOnState or NSMixedState.
  NSInteger state() const { return mState; }
  void setState(NSInteger state);
  bool allowsMixedState() const { return mAllowsMixed; }
  void setAllowsMixedState(bool on) { mAllowsMixed = on; }
  // NSImageRight puts a check box's or radio button's box after its title.
  NSCellImagePosition imagePosition() const { return mImagePosition; }
  void setImagePosition(NSCellImagePosition p);
  NSImage* image() const { return mImage; }
  void setImage(NSImage* image);  // retained; null removes it
  // Kept for callers that ask; every bezel is drawn alike.
  NSInteger bezelStyle() const { return mBezel; }
  void setBezelStyle(NSInteger style) { mBezel = style; }
  // As a click: the state moves on, then the action is sent.
  void performClick(NSObject* sender);
  // The title's width with room for the box or the bezel.
  void sizeToFit() override;
  // The title's colour (the TextColor category; the kit's titles hold one colour
  // over their whole length): the one set, else NSColor's controlTextColor.
  NSColor* textColor() const;
  void setTextColor(NSColor* colour);  // retained; null goes back to the controls' colour

  bool acceptsFirstMouse(NSEvent*) override { return true; }
  void mouseDown(NSEvent* e) override;
  // Through the button cell when one is set, else the plain drawing.
  void drawRect(NSRect dirtyRect) override;
  void drawBezelAndTitle(NSRect frame);
  // Retained; null goes back to the plain drawing.
  void setCell(NSButtonCell* cell);
  NSButtonCell* buttonCell() const { return mButtonCell; }
  bool isOpaque() const override { return !mButtonCell || mButtonCell->isOpaque(); }

protected:
  ~NSButton() override;

private:
  NSButtonType mType = NSMomentaryPushInButton;
  NSInteger mState = NSOffState;
  bool mAllowsMixed = false;
  NSImage* mImage = nullptr;
  NSInteger mBezel = 1;
  NSCellImagePosition mImagePosition = NSImageLeft;
  NSButtonCell* mButtonCell = nullptr;
  NSColor* mTitleColour = nullptr;
};

// A button showing the selected item of its menu; a click shows the menu and a
// chosen item becomes the selection.
class NSPopUpButton : public NSControl
{
public:
  explicit NSPopUpButton(NSRect frame);

  NSMenu* menu() const { return mMenu; }
  NSInteger numberOfItems() const { return mMenu->numberOfItems(); }
  NSMenuItem* itemAtIndex(NSInteger i) const { return mMenu->itemAtIndex(i); }
  // The index of the selected item, -1 when none.
  NSInteger indexOfSelectedItem() const;
  NSMenuItem* selectedItem() const { return mSelected; }
  // An index outside the menu clears the selection.
  void selectItemAtIndex(NSInteger index);
  void removeAllItems();
  void removeItemAtIndex(NSInteger index);

  bool acceptsFirstMouse(NSEvent*) override { return true; }
  void mouseDown(NSEvent* e) override;
  void drawRect(NSRect dirtyRect) override;

protected:
  ~NSPopUpButton() override;

private:
  NSMenu* mMenu;
  NSMenuItem* mSelected = nullptr;  // not retained; an item of mMenu or null
};

// An editable text field with a list of values to pick from.
class NSComboBox : public NSTextField
{
public:
  explicit NSComboBox(NSRect frame);

  NSInteger numberOfItems() const { return (NSInteger)mValues.size(); }
  const std::vector<std::string>& objectValues() const { return mValues; }
  // Empty for an index outside the list.
  std::string itemObjectValueAtIndex(NSInteger index) const;
  void addItemWithObjectValue(const std::string& value);
  // At the end when index is past it; nothing for a negative index.
  void insertItemWithObjectValue(const std::string& value, NSInteger index);
  void removeItemAtIndex(NSInteger index);
  void removeAllItems();
  NSInteger indexOfSelectedItem() const { return mSelected; }
  // Shows the item's value in the field; an index outside the list clears the selection.
  void selectItemAtIndex(NSInteger index);
  NSInteger numberOfVisibleItems() const { return mVisibleItems; }
  void setNumberOfVisibleItems(NSInteger n) { mVisibleItems = n; }

  void setStringValue(const std::string& value) override;
  void drawRect(NSRect dirtyRect) override;
  // A press on the arrow opens the list (telling an NSComboBoxDelegate first); an
  // item picked becomes the selection and the delegate is told. Elsewhere the
  // press edits the text.
  void mouseDown(NSEvent* e) override;

private:
  std::vector<std::string> mValues;
  NSInteger mSelected = -1;
  NSInteger mVisibleItems = 5;
};

// A slider, vertical when taller than wide (its minimum at the bottom); the value
// stays within the range.
class NSSlider : public NSControl
{
public:
  explicit NSSlider(NSRect frame);

  double doubleValue() const override { return mRange.value; }
  void setDoubleValue(double value) override;
  double minValue() const { return mRange.min; }
  double maxValue() const { return mRange.max; }
  void setMinValue(double v) { mRange.setMin(v); setDoubleValue(mRange.value); }
  void setMaxValue(double v) { mRange.setMax(v); setDoubleValue(mRange.value); }
  bool isVertical() const { return bounds().size.height > bounds().size.width; }

  bool acceptsFirstMouse(NSEvent*) override { return true; }
  void mouseDown(NSEvent* e) override;
  void mouseDragged(NSEvent* e) override;
  void drawRect(NSRect dirtyRect) override;

private:
  void trackTo(NSEvent* e);
  AKBoundedValue mRange{0, 0, 1};
};

// A titled frame around a group of controls.
class NSBox : public NSView
{
public:
  explicit NSBox(NSRect frame) : NSView(frame) {}
  const std::string& title() const { return mTitle; }
  void setTitle(const std::string& title);
  // Where the title sits on the top edge: left (the default) or centred.
  NSTextAlignment titleAlignment() const { return mTitleAlign; }
  void setTitleAlignment(NSTextAlignment a);
  // The title's colour (retained); null goes back to the default dark grey.
  NSColor* titleTextColor() const { return mTitleColour; }
  void setTitleTextColor(NSColor* colour);
  void drawRect(NSRect dirtyRect) override;

protected:
  ~NSBox() override;

private:
  std::string mTitle;
  NSTextAlignment mTitleAlign = NSLeftTextAlignment;
  NSColor* mTitleColour = nullptr;
};
