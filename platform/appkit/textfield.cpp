#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSTableView.h"

#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSWindow.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

// ---- character sets and formatters ----

void NSMutableCharacterSet::addCharactersInString(const std::string& text)
{
  const std::u16string u = AKUTF16(text);
  for (size_t i = 0; i < u.size(); ++i)
  {
    char32_t c = u[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < u.size()) c = 0x10000 + ((c - 0xD800) << 10) + (u[++i] - 0xDC00);
    mChars.insert(c);
  }
}

bool NSFormatter::isPartialStringValid(const std::string&, std::string*, std::string*) { return true; }

bool NSFormatter::getObjectValue(std::string* object, const std::string& string, std::string*)
{
  if (object) *object = string;
  return true;
}

// ---- NSControl ----

NSCell::~NSCell()
{
  AKRelease(mFont);
  AKRelease(mTextColor);
}

NSControl::NSControl(NSRect frame) : NSView(frame), mCell(new NSCell) {}

NSControl::~NSControl()
{
  AKRelease(mFont);
  AKRelease(mFormatter);
  AKRelease(mCell);
}

void NSControl::setStringValue(const std::string& value)
{
  mString = value;
  setNeedsDisplay(true);
}

int NSControl::intValue() const { return atoi(mString.c_str()); }

double NSControl::doubleValue() const { return strtod(mString.c_str(), nullptr); }

void NSControl::setDoubleValue(double value)
{
  char buf[64];
  snprintf(buf, sizeof buf, "%g", value);
  setStringValue(buf);
}

void NSControl::sizeToFit()
{
  const CGFloat w = std::ceil((mFont ? AKMeasureText(mString, mFont) : 0) + 4);
  setFrameSize(NSMakeSize(w, frame().size.height));
}

bool NSControl::sendAction(SEL action)
{
  if (!action) return false;
  retain();
  bool done = false;
  if (NSResponder* t = dynamic_cast<NSResponder*>(mTarget)) done = t->tryToPerform(action, this);
  else
    for (NSView* v = superview(); v && !done; v = v->superview()) done = v->performAction(action, this);
  release();
  return done;
}

void NSControl::setFont(NSFont* font)
{
  AKAssign(mFont, font);
  setNeedsDisplay(true);
}

void NSControl::setAlignment(NSTextAlignment a)
{
  mAlignment = a;
  setNeedsDisplay(true);
}

void NSControl::setFormatter(NSFormatter* f) { AKAssign(mFormatter, f); }

void NSControl::setEnabled(bool on)
{
  mEnabled = on;
  setNeedsDisplay(true);
}

// ---- NSTextField ----

NSTextField::NSTextField(NSRect frame)
  : NSControl(frame),
    mTextColor(AKRetain(NSColor::colorWithCalibratedRed(0, 0, 0, 1))),
    mBackgroundColor(AKRetain(NSColor::colorWithCalibratedRed(1, 1, 1, 1)))
{
  setFont(NSFont::systemFontOfSize(13));
}

NSTextField::~NSTextField()
{
  AKRelease(mTextColor);
  AKRelease(mBackgroundColor);
}

void NSTextField::setStringValue(const std::string& value)
{
  NSControl::setStringValue(value);
  const NSUInteger n = AKUTF16(value).size();
  if (mSelStart > n) mSelStart = n;
  if (mSelStart + mSelLength > n) mSelLength = n - mSelStart;
}

void NSTextField::setBordered(bool on)
{
  mBordered = on;
  setNeedsDisplay(true);
}

void NSTextField::setDrawsBackground(bool on)
{
  mDrawsBackground = on;
  setNeedsDisplay(true);
}

void NSTextField::setTextColor(NSColor* c)
{
  AKAssign(mTextColor, c);
  setNeedsDisplay(true);
}

void NSTextField::setBackgroundColor(NSColor* c)
{
  AKAssign(mBackgroundColor, c);
  setNeedsDisplay(true);
}

void NSTextField::selectText(NSObject*)
{
  mSelStart = 0;
  mSelLength = AKUTF16(mString).size();
  setNeedsDisplay(true);
}

void NSTextField::setSelectedRange(NSUInteger start, NSUInteger length)
{
  const NSUInteger n = AKUTF16(mString).size();
  mSelStart = std::min(start, n);
  mSelLength = std::min(length, n - mSelStart);
  setNeedsDisplay(true);
}

bool NSTextField::becomeFirstResponder()
{
  if (!mEditable || !mEnabled) return false;
  mEditingNow = true;
  // As on the platform, the whole text is selected when the field takes the focus.
  selectText(nullptr);
  return true;
}

bool NSTextField::resignFirstResponder()
{
  endEditing();
  return true;
}

void NSTextField::endEditing()
{
  if (!mEditingNow) return;
  mEditingNow = false;
  mSelStart = AKUTF16(mString).size();
  mSelLength = 0;
  setNeedsDisplay(true);
  if (!mDelegate) return;
  retain();
  NSNotification* n = new NSNotification("NSControlTextDidEndEditingNotification", this);
  mDelegate->controlTextDidEndEditing(n);
  n->release();
  release();
}

bool NSTextField::replaceSelection(const std::u16string& text)
{
  const std::u16string u = AKUTF16(mString);
  const size_t start = std::min<size_t>(mSelStart, u.size());
  const size_t len = std::min<size_t>(mSelLength, u.size() - start);
  const std::u16string candidate = u.substr(0, start) + text + u.substr(start + len);
  std::string accepted = AKUTF8(candidate);
  if (mFormatter)
  {
    std::string proposed, error;
    if (!mFormatter->isPartialStringValid(accepted, &proposed, &error))
    {
      if (proposed.empty())
      {
        ++mRefused;
        return false;
      }
      accepted = proposed;
    }
  }
  mString = accepted;
  mSelStart = std::min<NSUInteger>(start + text.size(), AKUTF16(mString).size());
  mSelLength = 0;
  setNeedsDisplay(true);
  didChangeText();
  if (mDelegate)
  {
    NSNotification* n = new NSNotification("NSControlTextDidChangeNotification", this);
    mDelegate->controlTextDidChange(n);
    n->release();
  }
  return true;
}

void NSTextField::keyDown(NSEvent* e)
{
  // Ending the edit may take the field out of its view and give it back.
  retain();
  editKey(e);
  release();
}

void NSTextField::editKey(NSEvent* e)
{
  if (!mEditingNow)
  {
    NSResponder::keyDown(e);
    return;
  }
  const NSUInteger length = AKUTF16(mString).size();
  const std::u16string& chars = e->characters();
  switch (e->keyCode())
  {
    case kVK_Return:
    case kVK_ANSI_KeypadEnter:
      if (insertsNewlines()) replaceSelection(u"\n");
      else endEditing();
      return;
    case kVK_Tab:
      endEditing();
      if (window() && window()->firstResponder() == this) window()->makeFirstResponder(nullptr);
      return;
    case kVK_Escape:
      // Up the chain: a dialog's window takes it as cancelling.
      NSResponder::keyDown(e);
      return;
    case kVK_Delete:
      if (!mSelLength && mSelStart > 0)
      {
        --mSelStart;
        mSelLength = 1;
      }
      if (mSelLength) replaceSelection(u"");
      return;
    case kVK_ForwardDelete:
      if (!mSelLength && mSelStart < length) mSelLength = 1;
      if (mSelLength) replaceSelection(u"");
      return;
    case kVK_LeftArrow:
      mSelStart = mSelLength ? mSelStart : (mSelStart ? mSelStart - 1 : 0);
      mSelLength = 0;
      setNeedsDisplay(true);
      return;
    case kVK_RightArrow:
      mSelStart = mSelLength ? mSelStart + mSelLength : std::min(length, mSelStart + 1);
      mSelLength = 0;
      setNeedsDisplay(true);
      return;
    case kVK_Home:
    case kVK_UpArrow:
      mSelStart = mSelLength = 0;
      setNeedsDisplay(true);
      return;
    case kVK_End:
    case kVK_DownArrow:
      mSelStart = length;
      mSelLength = 0;
      setNeedsDisplay(true);
      return;
    default:
      break;
  }
  if ((e->modifierFlags() & NSCommandKeyMask) && e->charactersIgnoringModifiers() == u"a")
  {
    selectText(nullptr);
    return;
  }
  std::u16string text;
  for (char16_t c : chars)
    if (c >= 0x20 && c != 0x7F && !(c >= 0xF700 && c <= 0xF8FF)) text.push_back(c);
  if (!text.empty()) replaceSelection(text);
}

namespace {

struct Layout
{
  CGFloat x, baseline, ascent, descent;
};

Layout layoutOf(const NSTextField* f, const std::string& text)
{
  Layout l{2, 0, 0, 0};
  NSFont* font = f->font();
  if (!font) return l;
  l.ascent = CTFontGetAscent(font->ctFont());
  l.descent = CTFontGetDescent(font->ctFont());
  const NSRect b = f->bounds();
  l.baseline = AKCentredBaseline(font, b.size.height);
  const CGFloat w = AKMeasureText(text, font);
  if (f->alignment() == NSRightTextAlignment) l.x = b.size.width - 2 - w;
  else if (f->alignment() == NSCenterTextAlignment) l.x = std::floor((b.size.width - w) / 2);
  return l;
}

}  // namespace

void NSTextField::mouseDown(NSEvent* e)
{
  if (!mEditingNow)
  {
    NSResponder::mouseDown(e);
    return;
  }
  const NSPoint p = convertPoint(e->locationInWindow(), nullptr);
  const std::string shown = shownText();
  const Layout l = layoutOf(this, shown);
  const std::u16string u = AKUTF16(shown);
  NSUInteger best = 0;
  CGFloat bestDistance = 1e9;
  for (NSUInteger i = 0; i <= u.size(); ++i)
  {
    const CGFloat x = l.x + AKMeasureText(AKUTF8(u.substr(0, i)), mFont);
    if (std::fabs(x - p.x) < bestDistance)
    {
      bestDistance = std::fabs(x - p.x);
      best = i;
    }
  }
  mSelStart = best;
  mSelLength = 0;
  setNeedsDisplay(true);
}

void NSTextField::drawRect(NSRect)
{
  const NSRect b = bounds();
  if (mDrawsBackground && mBackgroundColor)
  {
    mBackgroundColor->setFill();
    NSColor::fillRect(b);
  }
  if (mBordered)
  {
    AKFrameRect(b, AKGray(0.55));
  }
  if (!mFont) return;
  const std::string shown = shownText();
  const Layout l = layoutOf(this, shown);
  const std::u16string u = AKUTF16(shown);
  const CGFloat selX = l.x + AKMeasureText(AKUTF8(u.substr(0, std::min<size_t>(mSelStart, u.size()))), mFont);
  if (mEditingNow && mSelLength)
  {
    const CGFloat selW = AKMeasureText(AKUTF8(u.substr(std::min<size_t>(mSelStart, u.size()), mSelLength)), mFont);
    NSColor::colorWithCalibratedRed(0.71, 0.84, 1.0, 1)->setFill();
    NSColor::fillRect(NSMakeRect(selX, l.baseline - l.descent, selW, l.ascent + l.descent));
  }
  AKDrawTextLine(shown, mFont, NSMakePoint(l.x, l.baseline), mTextColor);
  if (mEditingNow && !mSelLength)
  {
    mTextColor->setFill();
    NSColor::fillRect(NSMakeRect(std::floor(selX), l.baseline - l.descent, 1, l.ascent + l.descent));
  }
}

// ---- NSSecureTextField ----

std::string NSSecureTextField::shownText() const
{
  std::string bullets;
  for (size_t i = AKUTF16(mString).size(); i > 0; --i) bullets += "\u2022";
  return bullets;
}

// ---- NSTextView ----

namespace {
CGFloat lineHeight(NSFont* font)
{
  return font ? std::ceil(CTFontGetAscent(font->ctFont()) + CTFontGetDescent(font->ctFont()) + 2) : 16;
}

NSInteger lineCount(const std::string& text) { return 1 + (NSInteger)std::count(text.begin(), text.end(), '\n'); }

// The clip view of the scroll view the text view is the document of, or null.
NSClipView* clipViewOf(const NSView* v)
{
  NSClipView* clip = dynamic_cast<NSClipView*>(v->superview());
  return clip && dynamic_cast<NSScrollView*>(clip->superview()) ? clip : nullptr;
}
}  // namespace

void NSTextView::scrollRangeToVisible(NSUInteger start, NSUInteger)
{
  const std::u16string u = AKUTF16(mString);
  const NSInteger line = (NSInteger)std::count(u.begin(), u.begin() + (long)std::min<size_t>(start, u.size()), u'\n');
  const CGFloat lh = lineHeight(mFont);
  if (NSClipView* clip = clipViewOf(this))
  {
    // The line's box, with the pad above the first line and below the last.
    const CGFloat top = line * lh, bottom = (line + 1) * lh + 2;
    const NSRect shown = clip->documentVisibleRect();
    if (top < shown.origin.y) clip->scrollToPoint(NSMakePoint(shown.origin.x, top));
    else if (bottom > shown.origin.y + shown.size.height)
      clip->scrollToPoint(NSMakePoint(shown.origin.x, bottom - shown.size.height));
    return;
  }
  const NSInteger shown = std::max<NSInteger>(1, (NSInteger)(bounds().size.height / lh));
  if (line < mTopLine) mTopLine = line;
  else if (line >= mTopLine + shown) mTopLine = line - shown + 1;
  setNeedsDisplay(true);
}

CGFloat NSTextView::fittedHeight() const
{
  // One point of pad above the first line and below the last, as drawn.
  CGFloat h = lineCount(mString) * lineHeight(mFont) + 2;
  if (NSClipView* clip = clipViewOf(this)) h = std::max(h, clip->bounds().size.height);
  return h;
}

void NSTextView::setVerticallyResizable(bool on)
{
  mVerticallyResizable = on;
  sizeToFit();
}

void NSTextView::sizeToFit()
{
  if (!mVerticallyResizable) return;
  NSRect f = frame();
  f.size.height = fittedHeight();
  NSTextField::setFrame(f);
  // Fewer lines may leave the clip view showing past the end.
  if (NSClipView* clip = clipViewOf(this)) clip->scrollToPoint(clip->documentVisibleRect().origin);
}

void NSTextView::setFrame(NSRect f)
{
  if (mVerticallyResizable) f.size.height = std::max(f.size.height, fittedHeight());
  NSTextField::setFrame(f);
}

void NSTextView::didChangeText()
{
  sizeToFit();
  if (clipViewOf(this)) scrollRangeToVisible(selectionStart(), 0);
}

void NSTextView::setStringValue(const std::string& value)
{
  NSTextField::setStringValue(value);
  sizeToFit();
}

void NSTextView::setFont(NSFont* font)
{
  NSTextField::setFont(font);
  sizeToFit();
}

void NSTextView::drawRect(NSRect)
{
  const NSRect b = bounds();
  if (backgroundColor())
  {
    backgroundColor()->setFill();
    NSColor::fillRect(b);
  }
  if (!mFont) return;
  const CGFloat lh = lineHeight(mFont);
  CGFloat y = 1 + CTFontGetAscent(mFont->ctFont());
  NSInteger line = 0;
  size_t from = 0;
  while (from <= mString.size() && y - lh < b.size.height)
  {
    size_t to = mString.find('\n', from);
    if (to == std::string::npos) to = mString.size();
    if (line++ >= mTopLine)
    {
      AKDrawTextLine(mString.substr(from, to - from), mFont, NSMakePoint(3, y), textColor());
      y += lh;
    }
    from = to + 1;
  }
}
