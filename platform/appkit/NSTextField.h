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

class NSCell : public NSObject
{
public:
  NSLineBreakMode lineBreakMode() const { return mLineBreakMode; }
  void setLineBreakMode(NSLineBreakMode mode) { mLineBreakMode = mode; }
  bool allowsEditingTextAttributes() const { return mAllowsAttributes; }
  void setAllowsEditingTextAttributes(bool on) { mAllowsAttributes = on; }

private:
  NSLineBreakMode mLineBreakMode = NSLineBreakByClipping;
  bool mAllowsAttributes = false;
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

class NSControl : public NSView
{
public:
  explicit NSControl(NSRect frame);
  const std::string& stringValue() const { return mString; }
  virtual void setStringValue(const std::string& value);
  int intValue() const;
  double doubleValue() const;
  NSFont* font() const { return mFont; }
  void setFont(NSFont* font);  // retained
  NSTextAlignment alignment() const { return mAlignment; }
  void setAlignment(NSTextAlignment a);
  NSFormatter* formatter() const { return mFormatter; }
  void setFormatter(NSFormatter* f);  // retained
  NSCell* cell() const { return mCell; }
  bool isEnabled() const { return mEnabled; }
  void setEnabled(bool on);

protected:
  ~NSControl() override;
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

private:
  // Replaces the selection with the text, when the formatter accepts the result.
  bool replaceSelection(const std::u16string& text);
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
