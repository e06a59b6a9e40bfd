#include "gui/ICustomControls.h"

#include "gui/IGraphics.h"
#include "plug/IParam.h"
#include "plug/IPlugBase.h"
#include "ui/ControlLayer.h"

#include <algorithm>
#include <cstring>
#include <vector>

// ---- radio group ----

ICustomRadioButtonsControl::ICustomRadioButtonsControl(IPlugBase* plug, const IRECT& rect, int paramIdx, int count,
                                                       const IBitmap* bitmap, EDirection direction)
  : IRadioButtonsControl(plug, rect, paramIdx, count, bitmap, direction, false)
{
  mDisablePrompt = true;
  const int n = NButtons();
  if (mBitmap.mFramesAreHorizontal)
  {
    mButtonWidth = mBitmap.W / 2;
    mButtonHeight = n > 0 ? mBitmap.H / n : 0;
  }
  else
  {
    mButtonWidth = n > 0 ? mBitmap.W / n : 0;
    mButtonHeight = mBitmap.H / 2;
  }
  const int w = mButtonWidth, h = mButtonHeight;
  for (int i = 0; i < n; ++i)
  {
    IRECT& r = mRECTs.Get()[i];
    if (direction == kHorizontal)
    {
      const int hb = mBitmap.N > 0 ? (int)((double)mBitmap.H / (double)mBitmap.N) : 0;
      r = IRECT(rect.L + i * w, rect.T, rect.L + (i + 1) * w, rect.T + hb);
    }
    else
    {
      r = IRECT(rect.L, rect.T + i * h, rect.L + w, rect.T + (i + 1) * h);
    }
  }
}

bool ICustomRadioButtonsControl::Draw(IGraphics* graphics)
{
  mBlend.mWeight = 1.0f;
  const int active = mHighlightActive ? ActiveButton() : -1;
  for (int i = 0; i < NButtons(); ++i)
  {
    const int srcX = mBitmap.mFramesAreHorizontal ? 0 : i * mButtonWidth;
    const int srcY = mBitmap.mFramesAreHorizontal ? i * mButtonHeight : 0;
    graphics->DrawBitmap(&mBitmap, mRECTs.Get() + i, i == active ? 2 : 1, srcX, srcY, &mBlend);
  }
  return true;
}

void ICustomRadioButtonsControl::OnMouseDown(int x, int y, IMouseMod* mod)
{
  // A grey group is shown at full strength but takes no clicks.
  if (mGrayed) return;
  if (mod && mod->R && !mRightClickSelects)
  {
    SetDirty(true);
    return;
  }
  OnMouseDownCustom(x, y, mod);
  SetDirty(true);
}

void ICustomRadioButtonsControl::OnMouseDownCustom(int x, int y, IMouseMod* mod)
{
  if (mod && mod->R && !mRightClickSelects) return;
  const int last = mLastHitTestable >= 0 && mLastHitTestable < NButtons() ? mLastHitTestable : NButtons() - 1;
  for (int i = 0; i <= last; ++i)
  {
    if (mRECTs.Get()[i].Contains(x, y))
    {
      mValue = ValueOfButton(i);
      break;
    }
  }
  SetDirty(true);
}

void ICustomRadioButtonsControl::OnMouseDblClick(int, int, IMouseMod*) {}

void ICustomRadioButtonsControl::OnMouseOver(int, int, IMouseMod*) {}

void ICustomRadioButtonsControl::OnMouseOut() { SetDirty(false); }

// ---- progress overlay ----

ProgressIndicator::ProgressIndicator(ControlLayer* layer, IPlugBase* plug, int x, int y, int w, int h, int paramIdx,
                                     const IBitmap* bitmap, const IRECT& targetArea)
  : IBitmapOverlayControl(plug, x, y, paramIdx, bitmap, targetArea),
    mLayer(layer),
    mOverlay(bitmap ? *bitmap : IBitmap()),
    mDrawArea(x, y, x + w, y + h),
    mX(x),
    mY(y),
    mW(w),
    mH(h)
{
  if (!layer) return;
  layer->controls.Add(this);
  layer->setIgnoreHiddenWhenUpdatingScreen(true);
}

void ProgressIndicator::setText(const std::string& text)
{
  {
    std::lock_guard<std::mutex> lock(mTextLock);
    if (mText == text) return;
    mText = text;
  }
  SetDirty(false);
}

std::string ProgressIndicator::text() const
{
  std::lock_guard<std::mutex> lock(mTextLock);
  return mText;
}

void ProgressIndicator::setSecondText(const std::string& text)
{
  {
    std::lock_guard<std::mutex> lock(mTextLock);
    if (mSecondText == text) return;
    mSecondText = text;
  }
  SetDirty(false);
}

std::string ProgressIndicator::secondText() const
{
  std::lock_guard<std::mutex> lock(mTextLock);
  return mSecondText;
}

void ProgressIndicator::OnMouseDown(int, int, IMouseMod*) {}

void ProgressIndicator::OnMouseDblClick(int, int, IMouseMod*) {}

bool ProgressIndicator::Draw(IGraphics* graphics)
{
  graphics->DrawBitmap(&mOverlay, &mDrawArea, 0, &mBlend);
  std::string line = text(), second = secondText();
  if (mTextArea.W() <= 0) return true;
  // One line fills the band; two share it, a little smaller each.
  const int rows = second.empty() ? 1 : 2;
  const int h = mTextArea.H() / rows;
  IText font(std::max(8, rows == 1 ? h * 2 / 3 : h * 4 / 5), IColor(255, 230, 233, 237));
  std::string* lines[2] = {&line, &second};
  for (int i = 0; i < rows; ++i)
  {
    if (lines[i]->empty()) continue;
    IRECT area(mTextArea.L, mTextArea.T + i * h, mTextArea.R, mTextArea.T + (i + 1) * h);
    graphics->DrawIText(&font, &(*lines[i])[0], &area);
  }
  return true;
}

ICommandButton::ICommandButton(IPlugBase* plug, const IRECT& rect, const std::string& caption,
                               std::function<void()> action)
  : IControl(plug, rect, -1), mCaption(caption), mAction(std::move(action))
{
}

void ICommandButton::OnMouseDown(int, int, IMouseMod*)
{
  if (mGrayed || !mAction) return;
  mAction();
}

bool ICommandButton::Draw(IGraphics* graphics)
{
  IRECT r = mRECT;
  if (mLit)
  {
    // The tab switches' look: a dark button with a lamp, orange while lit.
    const IColor body(255, 44, 48, 54), edge(255, 86, 93, 102);
    const IColor lamp = mLit() ? IColor(255, 255, 173, 0) : IColor(255, 90, 70, 40);
    graphics->FillIRect(&body, &r);
    graphics->DrawRect(&edge, &r);
    IRECT l(r.L + r.W() / 4, r.T + r.H() / 2 - 2, r.R - r.W() / 4, r.T + r.H() / 2 + 2);
    return graphics->FillIRect(&lamp, &l);
  }
  const IColor face(255, 70, 76, 86), edge(255, 120, 128, 140), ink(255, 235, 238, 242);
  graphics->FillIRect(&face, &r);
  graphics->DrawRect(&edge, &r);
  IText font(std::max(8, r.H() * 3 / 5), ink, "DejaVu Sans", IText::kStyleBold);
  std::string text = mCaption;
  return graphics->DrawIText(&font, &text[0], &r);
}

// ---- fitted caption ----


IFittedCaptionControl::IFittedCaptionControl(IPlugBase* plug, const IRECT& rect, int paramIdx, const IText* text,
                                             bool showParamLabel, const char* keptTail)
  : ICaptionControl(plug, rect, paramIdx, text, showParamLabel), mKeptTail(keptTail ? keptTail : "")
{
}

bool IFittedCaptionControl::Draw(IGraphics* graphics)
{
  ReadCaption();
  const IParam* param = mPlug ? mPlug->GetParam(mParamIdx) : nullptr;
  if (graphics && param && mStr.GetLength())
  {
    std::string text = mStr.Get(), tail;
    if (mShowParamLabel) tail = std::string(" ") + param->GetLabelForHost();
    const std::string marked = mKeptTail + tail;
    if (!mKeptTail.empty() && text.size() > marked.size() &&
        text.compare(text.size() - marked.size(), marked.size(), marked) == 0)
      tail = marked;
    text.resize(text.size() - tail.size());
    mStr.Set(FitTextToWidth(graphics, &mText, "", text, tail, mRECT.W()).c_str());
  }
  return DrawStr(graphics, true);
}

// ---- bitmap text ----

void DrawBitmapedText(IGraphics* graphics, IBitmap* font, IRECT* area, IText* style, IChannelBlend* blend,
                      const char* text, bool vCenter, bool wrap, int charWidth, int charHeight)
{
  if (!graphics || !font || !area || !text || !*text || charWidth < 1) return;
  const long long len = (long long)strlen(text);
  const long long textWidth = len * charWidth;
  const int top = vCenter ? area->T + (area->B - (area->T + charHeight)) / 2 : area->T;
  const int avail = (area->R - area->L) - 2 * charWidth;
  // No room for one character: nothing to lay out (and nothing to divide by).
  if (avail < charWidth) return;
  const bool centred = style && style->mAlign == IText::kAlignCenter;
  const long long firstColumn = centred ? area->L + (area->R - (area->L + textWidth)) / 2 : area->L + charWidth;

  long long perLine, extraLines;
  if (wrap && textWidth > avail)
  {
    perLine = avail / charWidth;
    extraLines = textWidth / avail;
  }
  else
  {
    perLine = wrap ? len : avail / charWidth;
    extraLines = 1;
  }
  if (perLine < 1) return;

  const unsigned char* p = (const unsigned char*)text;
  for (long long k = 0; k <= extraLines && *p; ++k)
  {
    const long long y = top + k * charHeight;
    long long x = firstColumn;
    for (long long i = 0; i < perLine && *p; ++i, ++p, x += charWidth)
    {
      // Codes are signed bytes: the blank, every code below it and every byte of
      // 128 or more show the first frame.
      const int frame = (int)(signed char)*p - 31;
      if (frame > font->N) continue;
      IRECT cell((int)x, (int)y, (int)x + charWidth, (int)y + charHeight);
      graphics->DrawBitmap(font, &cell, frame, blend);
    }
  }
}

IBitmapTextControl::IBitmapTextControl(IPlugBase* plug, const IRECT& rect, const IBitmap* font, const char* str,
                                       const IText* style, int charWidth, int charHeight)
  : IControl(plug, rect, -1, IChannelBlend::kBlendNone),
    mStr(str ? str : ""),
    mCharWidth(charWidth),
    mCharHeight(charHeight),
    mFont(font ? *font : IBitmap())
{
  if (style) mText = *style;
}

bool IBitmapTextControl::Draw(IGraphics* graphics)
{
  if (mStr.GetLength())
    DrawBitmapedText(graphics, &mFont, &mRECT, &mText, &mBlend, mStr.Get(), true, false, mCharWidth, mCharHeight);
  return true;
}

void IBitmapTextControl::SetTextFromPlug(const char* str)
{
  if (!str) str = "";
  WDL_MutexLock lock(mPlug ? &mPlug->mMutex : nullptr);
  if (strcmp(mStr.Get(), str) == 0) return;
  SetDirty(false);
  mStr.Set(str);
}
