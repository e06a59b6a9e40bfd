#include "gui/IControls.h"

#include "gui/IGraphics.h"
#include "plug/IPlugBase.h"

#include <cstring>

IPanelControl::IPanelControl(IPlugBase* plug, const IRECT& rect, const IColor* color)
  : IControl(plug, rect, -1, IChannelBlend::kBlendNone), mColor(color ? *color : COLOR_BLACK)
{
}

bool IPanelControl::Draw(IGraphics* graphics) { return graphics->FillIRect(&mColor, &mRECT, &mBlend); }

IBitmapControl::IBitmapControl(IPlugBase* plug, int x, int y, int paramIdx, const IBitmap* bitmap,
                               IChannelBlend::EBlendMethod blendMethod)
  : IControl(plug,
             IRECT(x, y, x + (bitmap ? bitmap->W : 0),
                   y + (bitmap && bitmap->N > 0 ? bitmap->H / bitmap->N : 0)),
             paramIdx, blendMethod),
    mBitmap(bitmap ? *bitmap : IBitmap())
{
}

int IBitmapControl::FrameOfValue(const IBitmap& bitmap, double value)
{
  const int n = bitmap.N;
  if (n < 2) return 1;
  const double j = (double)(n - 1) * value + 0.5;
  // NaN and values below 0 show the first frame.
  if (!(j >= 1.0)) return 1;
  if (j >= (double)n) return n;
  return (int)j + 1;
}

bool IBitmapControl::Draw(IGraphics* graphics)
{
  return graphics->DrawBitmap(&mBitmap, &mRECT, FrameOfValue(mBitmap, mValue), &mBlend);
}

ITextControl::ITextControl(IPlugBase* plug, const IRECT& rect, const IText* text, const char* str)
  : IControl(plug, rect, -1, IChannelBlend::kBlendNone), mStr(str ? str : "")
{
  if (text) mText = *text;
}

bool ITextControl::Draw(IGraphics* graphics)
{
  if (!mStr.GetLength()) return false;
  return graphics->DrawIText(&mText, mStr.GetWritable(), &mRECT);
}

void ITextControl::SetTextFromPlug(const char* str)
{
  if (!str) str = "";
  WDL_MutexLock lock(mPlug ? &mPlug->mMutex : nullptr);
  if (strcmp(mStr.Get(), str) == 0) return;
  SetDirty(false);
  mStr.Set(str);
}
