#pragma once
// Controls, the one-line text field with its in-place editing, formatters that
// accept or refuse each edit, character sets, and cells.

#include "platform/appkit/NSView.h"

#include <set>

class NSColor;
class NSFont;
class NSTextField;

class NSCharacterSet : public NSObject
{
public:
  bool characterIsMember(char32_t c) const { return mChars.count(c) != 0; }

protected:
  std::set<char32_t> mChars;
};

class NSMutableCharacterSet : public NSCharacterSet
{
public:
  // The characters of the UTF-8 text.
  void addCharactersInString(const std::string& text);
};

class NSFormatter : public NSObject
{
public:
  // Asked before each edit of a field with the text it would then hold; false
  // refuses the edit. A replacement text or an error may be proposed.
  virtual bool isPartialStringValid(const std::string& partial, std::string* newEditingString, std::string* error);
  virtual std::string stringForObjectValue(const std::string& value) { return value; }
  virtual bool getObjectValue(std::string* object, const std::string& string, std::string* error);
};

enum NSTextAlignment
{
  NSLeftTextAlignment = 0,
  NSRightTextAlignment = 1,
  NSCenterTextAlignment = 2,
  NSJustifiedTextAlignment = 3,
  NSNaturalTextAlignment = 4
};

enum NSLineBreakMode
{
  NSLineBreakByWordWrapping = 0,
  NSLineBreakByCharWrapping = 1,
  NSLineBreakByClipping = 2,
  NSLineBreakByTruncatingHead = 3,
  NSLineBreakByTruncatingTail = 4,
  NSLineBreakByTruncatingMiddle = 5
};

enum NSFocusRingType
{
  NSFocusRingTypeDefault = 0,
  NSFocusRingTypeNone = 1,
  NSFocusRingTypeExterior = 2
};

// Draws one value in a frame of a view. A table hands its data cell the text, font,
// colour and alignment of each cell it shows just before it asks the cell to draw.
class NSCell : public NSObject
{
public:
  NSLineBreakMode lineBreakMode() const { return mLineBreakMode; }
  void setLineBreakMode(NSLineBreakMode mode) { mLineBreakMode = mode; }
  bool allowsEditingTextAttributes() const { return mAllowsAttributes; }
  void setAllowsEditingTextAttributes(bool on) { mAllowsAttributes = on; }
  const std::string& stringValue() const { return mText; }
  void setStringValue(const std::string& text) { mText = text; }
  NSFont* font() const { return mFont; }
  void setFont(NSFont* font) { AKAssign(mFont, font); }  // retained
  NSColor* textColor() const { return mTextColor; }
  void setTextColor(NSColor* colour) { AKAssign(mTextColor, colour); }  // retained
  NSTextAlignment alignment() const { return mAlignment; }
  void setAlignment(NSTextAlignment a) { mAlignment = a; }

  // The whole cell: here just its interior.
  virtual void drawWithFrame(NSRect frame, NSView* controlView) { drawInteriorWithFrame(frame, controlView); }
  // The plain cell shows nothing.
  virtual void drawInteriorWithFrame(NSRect, NSView*) {}
  // The colour a selected cell's background would take. Tables here fill their
  // selected rows themselves (highlightSelectionInClipRect), so no cell asks for
  // one: nil.
  virtual NSColor* highlightColorWithFrame(NSRect, NSView*) { return nullptr; }

protected:
  ~NSCell() override;

private:
  NSLineBreakMode mLineBreakMode = NSLineBreakByClipping;
  bool mAllowsAttributes = false;
  std::string mText;
  NSFont* mFont = nullptr;
  NSColor* mTextColor = nullptr;
  NSTextAlignment mAlignment = NSLeftTextAlignment;
};

// A cell of text: one line at the cell's alignment, 2 points in from its sides,
// centred in its height, not clipped.
class NSTextFieldCell : public NSCell
{
public:
  void drawInteriorWithFrame(NSRect frame, NSView* controlView) override;
};

class NSTextFieldDelegate
{
public:
  virtual ~NSTextFieldDelegate() = default;
  // Editing ended (Return, Tab, or the field lost the focus); the notification's
  // object is the field.
  virtual void controlTextDidEndEditing(NSNotification*) {}
  virtual void controlTextDidChange(NSNotification*) {}
};

// A combo box tells its delegate when its list opens and when the user picked an
// item from it; the notification's object is the combo box.
class NSComboBoxDelegate : public NSTextFieldDelegate
{
public:
  virtual void comboBoxWillPopUp(NSNotification*) {}
  virtual void comboBoxSelectionDidChange(NSNotification*) {}
};

class NSControl : public NSView
{
public:
  explicit NSControl(NSRect frame);
  const std::string& stringValue() const { return mString; }
  virtual void setStringValue(const std::string& value);
  int intValue() const;
  virtual double doubleValue() const;
  virtual void setDoubleValue(double value);
  NSFont* font() const { return mFont; }
  virtual void setFont(NSFont* font);  // retained
  NSTextAlignment alignment() const { return mAlignment; }
  void setAlignment(NSTextAlignment a);
  NSFormatter* formatter() const { return mFormatter; }
  void setFormatter(NSFormatter* f);  // retained
  NSCell* cell() const { return mCell; }
  bool isEnabled() const { return mEnabled; }
  void setEnabled(bool on);
  // The action goes to the target, or without one up the superview chain to the
  // first view that performs it.
  NSObject* target() const { return mTarget; }
  void setTarget(NSObject* target) { mTarget = target; }  // not retained
  SEL action() const { return mAction; }
  void setAction(SEL action) { mAction = action; }
  // Sent by controls that tell a second click apart (tables); none by default.
  SEL doubleAction() const { return mDoubleAction; }
  void setDoubleAction(SEL action) { mDoubleAction = action; }
  // The width the text needs (at least 0), the height unchanged.
  virtual void sizeToFit();
  // True when some responder performed the action.
  bool sendAction() { return sendAction(mAction); }
  bool sendAction(SEL action);

protected:
  ~NSControl() override;
  NSObject* mTarget = nullptr;
  SEL mAction, mDoubleAction;
  std::string mString;
  NSFont* mFont = nullptr;
  NSTextAlignment mAlignment = NSNaturalTextAlignment;
  NSFormatter* mFormatter = nullptr;
  NSCell* mCell;
  bool mEnabled = true;
};

class NSTextField : public NSControl
{
public:
  explicit NSTextField(NSRect frame);

  void setStringValue(const std::string& value) override;
  bool isEditable() const { return mEditable; }
  void setEditable(bool on) { mEditable = on; }
  void setBordered(bool on);
  bool isBordered() const { return mBordered; }
  void setDrawsBackground(bool on);
  bool drawsBackground() const { return mDrawsBackground; }
  void setTextColor(NSColor* c);        // retained
  void setBackgroundColor(NSColor* c);  // retained
  NSColor* textColor() const { return mTextColor; }
  NSColor* backgroundColor() const { return mBackgroundColor; }
  void setFocusRingType(NSFocusRingType t) { mFocusRing = t; }
  NSFocusRingType focusRingType() const { return mFocusRing; }
  void setDelegate(NSTextFieldDelegate* d) { mDelegate = d; }  // not retained
  NSTextFieldDelegate* delegate() const { return mDelegate; }

  // ---- editing ----
  bool isEditing() const { return mEditingNow; }
  // Caret and selection, in UTF-16 units of the text.
  NSUInteger selectionStart() const { return mSelStart; }
  NSUInteger selectionLength() const { return mSelLength; }
  void selectText(NSObject* sender);
  // Cut to the text.
  void setSelectedRange(NSUInteger start, NSUInteger length);
  // Edits refused by the formatter so far (the platform beeps).
  int refusedEdits() const { return mRefused; }

  bool acceptsFirstResponder() override { return mEditable && mEnabled; }
  bool becomeFirstResponder() override;
  bool resignFirstResponder() override;
  void keyDown(NSEvent* e) override;
  void mouseDown(NSEvent* e) override;
  void drawRect(NSRect dirtyRect) override;
  bool isOpaque() const override { return mDrawsBackground; }

protected:
  ~NSTextField() override;
  // What the field shows of its text: the text itself, or a stand-in of as many
  // UTF-16 units, so the caret and selection stay where they are.
  virtual std::string shownText() const { return mString; }
  // Return types a line break instead of ending the edit.
  virtual bool insertsNewlines() const { return false; }
  // Replaces the selection with the text, when the formatter accepts the result.
  bool replaceSelection(const std::u16string& text);
  // Told after typing changed the text, before the delegate hears of it.
  virtual void didChangeText() {}

private:
  void editKey(NSEvent* e);
  void endEditing();

  bool mEditable = true, mBordered = true, mDrawsBackground = true, mEditingNow = false;
  NSColor* mTextColor;
  NSColor* mBackgroundColor;
  NSFocusRingType mFocusRing = NSFocusRingTypeDefault;
  NSTextFieldDelegate* mDelegate = nullptr;
  NSUInteger mSelStart = 0, mSelLength = 0;
  int mRefused = 0;
};

// A field that hides what is typed: it shows a bullet for each character.
class NSSecureTextField : public NSTextField
{
public:
  explicit NSSecureTextField(NSRect frame) : NSTextField(frame) {}

protected:
  std::string shownText() const override;
};

// Several lines of text, edited in place like a field, where Return breaks the
// line. Alone it shows the lines from its top line on; as the document of a scroll
// view it is as tall as its lines when vertically resizable, and the scroll view
// scrolls it.
class NSTextView : public NSTextField
{
public:
  explicit NSTextView(NSRect frame) : NSTextField(frame) {}
  bool isFlipped() const override { return true; }
  // Shows the line holding the start of the range (UTF-16 units), as the last
  // line shown when it is below them: by scrolling the clip view it is the
  // document of, else by moving its own top line.
  void scrollRangeToVisible(NSUInteger start, NSUInteger length);
  NSInteger topLine() const { return mTopLine; }
  bool isVerticallyResizable() const { return mVerticallyResizable; }
  void setVerticallyResizable(bool on);
  // Kept for callers; the kit's text views never wrap, so nothing reads it.
  bool isHorizontallyResizable() const { return mHorizontallyResizable; }
  void setHorizontallyResizable(bool on) { mHorizontallyResizable = on; }
  // A vertically resizable view takes the height of its lines, at least that of
  // the clip view showing it; otherwise nothing changes.
  void sizeToFit() override;
  void setFrame(NSRect frame) override;
  void setStringValue(const std::string& value) override;
  void setFont(NSFont* font) override;
  void drawRect(NSRect dirtyRect) override;

protected:
  bool insertsNewlines() const override { return true; }
  // Grows with what was typed and, in a scroll view, keeps the caret's line shown.
  void didChangeText() override;

private:
  CGFloat fittedHeight() const;

  NSInteger mTopLine = 0;
  bool mVerticallyResizable = false, mHorizontallyResizable = false;
};
