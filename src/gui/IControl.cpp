#include "gui/IControl.h"

#include "gui/IControls.h"
#include "gui/IGraphics.h"
#include "plug/IPlugBase.h"

#include <cstring>

IControl::IControl(IPlugBase* plug, const IRECT& rect, int paramIdx, IChannelBlend::EBlendMethod blendMethod)
  : mPlug(plug), mRECT(rect), mTargetRECT(rect), mParamIdx(paramIdx), mBlend(blendMethod)
{
}

IControl::~IControl() = default;

void IControl::OnMouseDown(int, int, IMouseMod* mod)
{
  if (mGrayed) return;
  if (mod && mod->R) PromptUserInput();
}

void IControl::OnMouseUp(int, int, IMouseMod*) {}

void IControl::OnMouseDrag(int, int, int, int, IMouseMod*) {}

void IControl::OnMouseDblClick(int, int, IMouseMod*)
{
  if (mGrayed || !(mDefaultValue >= 0.0)) return;
  mValue = mDefaultValue;
  SetDirty(true);
}

void IControl::OnMouseWheel(int, int, IMouseMod* mod, int d)
{
  // A grey control takes no input, the wheel included.
  if (mGrayed) return;
  const bool fine = mod && (mod->C || mod->S);
  mValue += (double)d * (fine ? 0.001 : 0.01);
  SetDirty(true);
}

bool IControl::OnKeyDown(int, int, int) { return false; }

void IControl::OnMouseOver(int, int, IMouseMod*) {}

void IControl::OnMouseOut() {}

bool IControl::TakeRouteValue(double value)
{
  if (mDefaultValue < 0.0)
  {
    mDefaultValue = mValue = value;
    return false;
  }
  if (mValue == value) return false;
  mValue = value;
  return true;
}

void IControl::SetValueFromPlug(double value)
{
  if (!TakeRouteValue(value)) return;
  SetDirty(false);
  mRedraw = true;
}

void IControl::SetValueFromHardware(double value)
{
  WDL_MutexLock lock(mPlug ? &mPlug->mMutex : nullptr);
  // A first value also goes on to the plug-in: taken only as the default, the
  // hardware's setting would be shown but lost to the parameter, and the plug-in's
  // next push would put the control back.
  const bool first = mDefaultValue < 0.0;
  if (!TakeRouteValue(value) && !first) return;
  SetDirty2(true);
  mRedraw = true;
}

void IControl::TextFromTextEntry(const char*) {}

void IControl::Hide(bool hide)
{
  mHide = hide;
  mRedraw = true;
  SetDirty(false);
}

void IControl::GrayOut(bool gray)
{
  mGrayed = gray;
  mBlend.mWeight = gray ? kGrayedWeight : 1.0f;
  SetDirty(false);
}

bool IControl::IsHit(int x, int y) { return mTargetRECT.Contains(x, y); }

void IControl::SetDirty(bool pushParamToPlug) { MarkDirty(pushParamToPlug, false); }

void IControl::SetDirty2(bool pushParamToPlug) { MarkDirty(pushParamToPlug, true); }

void IControl::MarkDirty(bool push, bool fromHardware)
{
  // A value that is no number is taken as the low end, so NaN never reaches the plug-in.
  mValue = !(mValue >= mClampLo) ? mClampLo : (mClampHi < mValue ? mClampHi : mValue);
  mDirty = true;
  if (!push || !mPlug || mParamIdx < 0) return;
  if (fromHardware)
    mPlug->SetParameterFromGUI2(mParamIdx, mValue);
  else
    mPlug->SetParameterFromGUI(mParamIdx, mValue);
  UpdateDisplayControls();
}

void IControl::UpdateDisplayControls()
{
  const IParam* param = mPlug->GetParam(mParamIdx);
  if (!param) return;
  if (mValDisplayControl)
  {
    // Display entries run to 255 characters; the buffer holds them whole.
    char text[kDisplayBufferLen];
    param->GetDisplayForHost(param->Value(), false, text, true);
    mValDisplayControl->SetTextFromPlug(text);
  }
  if (mNameDisplayControl) mNameDisplayControl->SetTextFromPlug(param->GetNameForHost());
}

void IControl::SetClean()
{
  mDirty = mRedraw;
  mRedraw = false;
}

bool IControl::IsDirty() { return mDirty; }

void IControl::OnGUIIdle() {}

void IControl::SetAuxParamValueFromPlug(int auxIdx, double value)
{
  AuxParam* aux = GetAuxParam(auxIdx);
  if (!aux || aux->mValue == value) return;
  aux->mValue = value;
  SetDirty(false);
  mRedraw = true;
}

void IControl::SetParamValueFromPlug(int paramIdx, double value)
{
  if (mParamIdx == paramIdx) SetValueFromPlug(value);
  const int aux = AuxParamIdx(paramIdx);
  if (aux >= 0) SetAuxParamValueFromPlug(aux, value);
}

bool IControl::AddDirtyArea(IRECT* area)
{
  if (mHide && !mIgnoreHiddenWhenUpdating) return false;
  if (!IsDirty()) return false;
  *area = area->Union(mRECT);
  return true;
}

void IControl::SetValueFromUserInput(double value)
{
  if (mValue == value) return;
  mValue = value;
  SetDirty(true);
  mRedraw = true;
}

void IControl::PromptUserInput()
{
  if (mParamIdx < 0 || mDisablePrompt || !mPlug) return;
  IParam* param = mPlug->GetParam(mParamIdx);
  if (!param) return;
  IRECT rect = mRECT;
  if (!param->GetNDisplayTexts())
  {
    const int mw = mRECT.MW(), mh = mRECT.MH();
    rect = IRECT(mw - 15, mh - 8, mw + 15, mh + 8);
  }
  PromptUserInput(&rect);
}

void IControl::PromptUserInput(IRECT* rect)
{
  if (mParamIdx < 0 || mDisablePrompt || !mPlug || !rect) return;
  IGraphics* graphics = mPlug->GetGUI();
  if (!graphics) return;
  graphics->PromptUserInput(this, mPlug->GetParam(mParamIdx), rect);
  mRedraw = true;
}

void IControl::AddAuxParam(int paramIdx) { mAuxParams.Add(AuxParam{0.0, paramIdx}); }

IControl::AuxParam* IControl::GetAuxParam(int i)
{
  if (i < 0 || i >= mAuxParams.GetSize()) return nullptr;
  return mAuxParams.Get() + i;
}

int IControl::AuxParamIdx(int paramIdx) const
{
  const AuxParam* aux = mAuxParams.Get();
  for (int i = 0; i < mAuxParams.GetSize(); ++i)
    if (aux[i].mParamIdx == paramIdx) return i;
  return -1;
}

void IControl::SetAllAuxParamsFromGUI()
{
  if (!mPlug) return;
  for (int i = 0; i < mAuxParams.GetSize(); ++i)
  {
    const AuxParam aux = mAuxParams.Get()[i];
    mPlug->SetParameterFromGUI(aux.mParamIdx, aux.mValue);
  }
}
