// Faders and knobs: the stock controls whose value follows the mouse's movement.

#include "gui/IControls.h"

#include "gui/IGraphics.h"

#include <cmath>

// ---- fader ----

IFaderControl::IFaderControl(IPlugBase* plug, int x, int y, int length, int paramIdx, const IBitmap* handle,
                             EDirection direction, bool onlyHandle)
  : IControl(plug, IRECT(), paramIdx, IChannelBlend::kBlendNone),
    mLen(length),
    mHandleHeadroom(0),
    mHandleBitmap(handle ? *handle : IBitmap()),
    mDirection(direction),
    mOnlyHandle(onlyHandle)
{
  const int w = mHandleBitmap.W, h = mHandleBitmap.H;
  if (direction == kHorizontal)
  {
    mRECT = mTargetRECT = IRECT(x, y, x + length, y + h);
    mHandleHeadroom = w;
  }
  else
  {
    mRECT = mTargetRECT = IRECT(x, y, x + w, y + length);
    mHandleHeadroom = h;
  }
}

IRECT IFaderControl::GetHandleRECT(double value) const
{
  if (value < 0.0) value = mValue;
  const int travel = mLen - mHandleHeadroom;
  if (mDirection == kHorizontal)
  {
    const int offset = (int)(value * (double)travel);
    return IRECT(mRECT.L + offset, mRECT.T, mRECT.L + offset + mHandleBitmap.W, mRECT.T + mHandleBitmap.H);
  }
  const int offset = (int)((double)travel * (1.0 - value));
  return IRECT(mRECT.L, mRECT.T + offset, mRECT.L + mHandleBitmap.W, mRECT.T + offset + mHandleBitmap.H);
}

bool IFaderControl::Draw(IGraphics* graphics)
{
  IRECT handle = GetHandleRECT();
  return graphics->DrawBitmap(&mHandleBitmap, &handle, 1, &mBlend);
}

bool IFaderControl::IsHit(int x, int y)
{
  if (mOnlyHandle) return GetHandleRECT().Contains(x, y);
  return mTargetRECT.Contains(x, y);
}

void IFaderControl::SnapToMouse(int x, int y)
{
  const int travel = mLen - mHandleHeadroom;
  // A handle that fills the whole track cannot move: the value stays.
  if (travel > 0)
  {
    if (mDirection == kHorizontal)
      mValue = (double)(x - mRECT.L - mHandleHeadroom / 2) / (double)travel;
    else
      mValue = 1.0 - (double)(y - mRECT.T - mHandleHeadroom / 2) / (double)travel;
  }
  SetDirty(true);
}

void IFaderControl::OnMouseDown(int x, int y, IMouseMod* mod)
{
  if (mGrayed) return;
  if (mod && mod->R)
  {
    PromptUserInput();
    return;
  }
  SnapToMouse(x, y);
}

void IFaderControl::OnMouseDrag(int x, int y, int, int, IMouseMod*)
{
  if (!mGrayed) SnapToMouse(x, y);
}

// ---- knobs ----

IKnobControl::IKnobControl(IPlugBase* plug, const IRECT& rect, int paramIdx, EDirection direction, double gearing,
                           IChannelBlend::EBlendMethod blendMethod)
  : IControl(plug, rect, paramIdx, blendMethod), mDirection(direction), mGearing(gearing)
{
}

void IKnobControl::OnMouseDrag(int, int, int dX, int dY, IMouseMod* mod)
{
  if (mGrayed) return;
  double gearing = mGearing;
  if (mod && (mod->C || mod->S)) gearing *= 10.0;
  // A knob with no extent along its direction, or no gearing, does not turn.
  const int extent = mDirection == kHorizontal ? mRECT.R - mRECT.L : mRECT.T - mRECT.B;
  if (extent == 0 || gearing == 0.0) return;
  const int d = mDirection == kHorizontal ? dX : dY;
  // Vertically the extent is negative: moving up raises the value.
  mValue += (double)d / (double)extent / gearing;
  SetDirty(true);
}

IKnobLineControl::IKnobLineControl(IPlugBase* plug, const IRECT& rect, int paramIdx, const IColor* color,
                                   double innerRadius, double outerRadius, double minAngle, double maxAngle,
                                   EDirection direction, double gearing)
  : IKnobControl(plug, rect, paramIdx, direction, gearing, IChannelBlend::kBlendClobber),
    mColor(color ? *color : COLOR_BLACK),
    mMinAngle((float)minAngle),
    mMaxAngle((float)maxAngle),
    mInnerRadius((float)innerRadius),
    mOuterRadius((float)outerRadius)
{
  if (mOuterRadius == 0.0f) mOuterRadius = 0.5f * (float)rect.W();
}

bool IKnobLineControl::Draw(IGraphics* graphics)
{
  const double angle = mMinAngle + mValue * (mMaxAngle - mMinAngle);
  const float s = (float)sin(angle), c = (float)cos(angle);
  const float cx = (float)(mRECT.L + mRECT.R) * 0.5f, cy = (float)(mRECT.T + mRECT.B) * 0.5f;
  return graphics->DrawLine(&mColor, cx + s * mInnerRadius, cy - c * mInnerRadius, cx + s * mOuterRadius,
                            cy - c * mOuterRadius, &mBlend, true);
}

IKnobRotaterControl::IKnobRotaterControl(IPlugBase* plug, int x, int y, int paramIdx, const IBitmap* bitmap,
                                         double minAngle, double maxAngle, int yOffsetZeroDeg, EDirection direction,
                                         double gearing, IChannelBlend::EBlendMethod blendMethod)
  : IKnobControl(plug, IRECT(x, y, x + (bitmap ? bitmap->W : 0), y + (bitmap ? bitmap->H : 0)), paramIdx, direction,
                 gearing, blendMethod),
    mBitmap(bitmap ? *bitmap : IBitmap()),
    mMinAngle(minAngle),
    mMaxAngle(maxAngle),
    mYOffset(yOffsetZeroDeg)
{
}

bool IKnobRotaterControl::Draw(IGraphics* graphics)
{
  const int cx = (mRECT.L + mRECT.R) / 2, cy = (mRECT.T + mRECT.B) / 2;
  const double angle = mMinAngle + mValue * (mMaxAngle - mMinAngle);
  return graphics->DrawRotatedBitmap(&mBitmap, cx, cy, angle, mYOffset, &mBlend);
}

IKnobMultiControl::IKnobMultiControl(IPlugBase* plug, int x, int y, int paramIdx, const IBitmap* bitmap,
                                     EDirection direction, double gearing, IChannelBlend::EBlendMethod blendMethod)
  : IKnobControl(plug,
                 IRECT(x, y, x + (bitmap ? bitmap->W : 0),
                       y + (bitmap && bitmap->N > 0 ? bitmap->H / bitmap->N : 0)),
                 paramIdx, direction, gearing, blendMethod),
    mBitmap(bitmap ? *bitmap : IBitmap())
{
}

bool IKnobMultiControl::Draw(IGraphics* graphics)
{
  return graphics->DrawBitmap(&mBitmap, &mRECT, IBitmapControl::FrameOfValue(mBitmap, mValue), &mBlend);
}

IKnobRotatingMaskControl::IKnobRotatingMaskControl(IPlugBase* plug, int x, int y, int paramIdx, const IBitmap* base,
                                                   const IBitmap* mask, const IBitmap* top, double minAngle,
                                                   double maxAngle, EDirection direction, double gearing,
                                                   IChannelBlend::EBlendMethod blendMethod)
  : IKnobControl(plug, IRECT(x, y, x + (base ? base->W : 0), y + (base ? base->H : 0)), paramIdx, direction, gearing,
                 blendMethod),
    mBase(base ? *base : IBitmap()),
    mMask(mask ? *mask : IBitmap()),
    mTop(top ? *top : IBitmap()),
    mMinAngle(minAngle),
    mMaxAngle(maxAngle)
{
}

bool IKnobRotatingMaskControl::Draw(IGraphics* graphics)
{
  const double angle = mMinAngle + mValue * (mMaxAngle - mMinAngle);
  // The knob's angles are radians, like every other knob's; the mask drawing takes
  // degrees.
  return graphics->DrawRotatedMask(&mBase, &mMask, &mTop, mRECT.L, mRECT.T, angle * 180.0 / M_PI, &mBlend);
}
