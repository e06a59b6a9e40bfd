// The drawing pass and the input dispatch of the graphics object. Everything here
// runs on the main thread and holds the plug-in's mutex while it reads and changes
// controls and layers, so values, texts and layer visibility written by the MIDI
// threads (under the same mutex) never change in the middle of a pass or an event.

#include "gui/IGraphics.h"

#include "gui/IControl.h"
#include "plug/IPlugBase.h"
#include "ui/ControlLayer.h"

namespace {

WDL_Mutex* plugMutex(IPlugBase* plug) { return plug ? &plug->mMutex : nullptr; }

}  // namespace

IControl* IGraphics::FindInputControl(int x, int y)
{
  // A grey control of a layer still answers its point (its own handlers ignore the
  // input), so nothing below it reacts to a click on it; a grey plain control is
  // passed over and the control below it gets the event.
  for (int i = mLayers.GetSize() - 1; i >= 0; --i)
    if (IControl* hit = mLayers.Get(i)->isHit(x, y)) return hit;
  for (int i = mControls.GetSize() - 1; i >= 0; --i)
  {
    IControl* control = mControls.Get(i);
    if (!control->IsHidden() && !control->IsGrayed() && control->IsHit(x, y)) return control;
  }
  return nullptr;
}

bool IGraphics::IsDirty(IRECT* area)
{
  WDL_MutexLock lock(plugMutex(mPlug));
  // What other threads handed over without the mutex reaches the controls first.
  if (mPlug) mPlug->OnIdle();
  bool dirty = false;
  // The background (index 0) is never collected.
  for (int i = 1; i < mControls.GetSize(); ++i)
    if (mControls.Get(i)->AddDirtyArea(area)) dirty = true;
  for (int i = 0; i < mLayers.GetSize(); ++i)
    if (mLayers.Get(i)->isDirty(area)) dirty = true;
  return dirty;
}

bool IGraphics::Draw(IRECT* area)
{
  WDL_MutexLock lock(plugMutex(mPlug));
  const int n = mControls.GetSize();
  if (!n && !mLayers.GetSize()) return true;

  if (mStrict)
  {
    // Set even without plain controls, so the layers draw into the area asked for.
    mDrawRECT = *area;
    if (n)
    {
      mControls.Get(0)->Draw(this);
      for (int i = 1; i < n; ++i)
      {
        IControl* control = mControls.Get(i);
        if (!control->IsHidden() && area->Intersects(control->GetRECT())) control->Draw(this);
        control->SetClean();
      }
    }
  }
  else if (n)
  {
    IControl* background = mControls.Get(0);
    if (background->IsDirty())
    {
      mDrawRECT = background->GetRECT();
      for (int i = 0; i < n; ++i)
      {
        IControl* control = mControls.Get(i);
        if (i == 0 || !control->IsHidden()) control->Draw(this);
        control->SetClean();
      }
    }
    else
    {
      for (int i = 1; i < n; ++i)
      {
        IControl* dirty = mControls.Get(i);
        if (!dirty->IsDirty()) continue;
        mDrawRECT = dirty->GetRECT();
        for (int j = 0; j < n; ++j)
        {
          IControl* control = mControls.Get(j);
          if (control->IsHidden()) continue;
          // The control's rectangle meets the draw rectangle (the test is not
          // symmetric at the right and bottom edges).
          if (j == i || control->GetRECT().Intersects(mDrawRECT)) control->Draw(this);
        }
        dirty->SetClean();
      }
    }
  }

  for (int i = 0; i < mLayers.GetSize(); ++i) mLayers.Get(i)->Draw(this, &mDrawRECT);
  return DrawScreen(&mDrawRECT);
}

void IGraphics::OnMouseDown(int x, int y, IMouseMod* mod)
{
  WDL_MutexLock lock(plugMutex(mPlug));
  ReleaseMouseCapture();
  IControl* control = FindInputControl(x, y);
  if (!control) return;
  mMouseCapture = control;
  mMouseX = x;
  mMouseY = y;
  control->OnMouseDown(x, y, mod);
  const int paramIdx = control->ParamIdx();
  if (paramIdx >= 0 && mPlug) mPlug->BeginInformHostOfParamChange(paramIdx);
}

void IGraphics::OnMouseUp(int x, int y, IMouseMod* mod)
{
  WDL_MutexLock lock(plugMutex(mPlug));
  // The pressed control gets the release even when it has greyed meanwhile, so its
  // gesture ends.
  IControl* control = mMouseCapture ? mMouseCapture : FindInputControl(x, y);
  ReleaseMouseCapture();
  if (!control) return;
  control->OnMouseUp(x, y, mod);
  const int paramIdx = control->ParamIdx();
  if (paramIdx >= 0 && mPlug) mPlug->EndInformHostOfParamChange(paramIdx);
}

void IGraphics::OnMouseDrag(int x, int y, IMouseMod* mod)
{
  WDL_MutexLock lock(plugMutex(mPlug));
  // A control greyed during the drag still gets it and ignores it itself, so the
  // movement is followed and a later drag does not jump.
  IControl* control = mMouseCapture;
  if (!control) return;
  const int dX = x - mMouseX, dY = y - mMouseY;
  if (dX == 0 && dY == 0) return;
  mMouseX = x;
  mMouseY = y;
  control->OnMouseDrag(x, y, dX, dY, mod);
}

bool IGraphics::OnMouseDblClick(int x, int y, IMouseMod* mod)
{
  WDL_MutexLock lock(plugMutex(mPlug));
  ReleaseMouseCapture();
  IControl* control = FindInputControl(x, y);
  if (!control) return false;
  if (!control->GetDblAsSingleClick())
  {
    control->OnMouseDblClick(x, y, mod);
    return false;
  }
  mMouseCapture = control;
  mMouseX = x;
  mMouseY = y;
  control->OnMouseDown(x, y, mod);
  return true;
}

void IGraphics::OnMouseWheel(int x, int y, IMouseMod* mod, int d)
{
  WDL_MutexLock lock(plugMutex(mPlug));
  IControl* control = mMouseCapture ? mMouseCapture : FindInputControl(x, y);
  if (control) control->OnMouseWheel(x, y, mod, d);
}

bool IGraphics::OnMouseOver(int x, int y, IMouseMod* mod)
{
  if (!mHandleMouseOver) return false;
  WDL_MutexLock lock(plugMutex(mPlug));
  IControl* control = GetMouseControlIdx(x, y, true);
  if (!control) return true;
  mMouseX = x;
  mMouseY = y;
  control->OnMouseOver(x, y, mod);
  if (mMouseOver && mMouseOver != control) mMouseOver->OnMouseOut();
  mMouseOver = control;
  return true;
}

void IGraphics::OnMouseOut()
{
  WDL_MutexLock lock(plugMutex(mPlug));
  for (int i = 0; i < mControls.GetSize(); ++i) mControls.Get(i)->OnMouseOut();
  // A control inside a layer is not in the plain list; it leaves too.
  if (mMouseOver && mControls.Find(mMouseOver) < 0) mMouseOver->OnMouseOut();
  mMouseOver = nullptr;
}

bool IGraphics::OnKeyDown(int x, int y, int key)
{
  WDL_MutexLock lock(plugMutex(mPlug));
  if (mMouseCapture) return mMouseCapture->OnKeyDown(x, y, key);
  if (IControl* control = FindInputControl(x, y)) return control->OnKeyDown(x, y, key);
  return mKeyCatcher ? mKeyCatcher->OnKeyDown(x, y, key) : false;
}

bool IGraphics::OnEscape()
{
  WDL_MutexLock lock(plugMutex(mPlug));
  return mEscapeAction && mEscapeAction();
}

IControl* IGraphics::GetMouseControlIdx(int x, int y, bool mouseOver)
{
  WDL_MutexLock lock(plugMutex(mPlug));
  if (mMouseCapture) return mMouseCapture;
  if (!mouseOver) return FindInputControl(x, y);
  // Mouse-over also reaches grey plain controls that ask for it; it changes no value.
  for (int i = mLayers.GetSize() - 1; i >= 0; --i)
    if (IControl* hit = mLayers.Get(i)->isHit(x, y)) return hit;
  for (int i = mControls.GetSize() - 1; i >= 0; --i)
  {
    IControl* control = mControls.Get(i);
    if (control->IsHidden() || (control->IsGrayed() && !control->GetMOWhenGrayed())) continue;
    if (control->IsHit(x, y)) return control;
  }
  return nullptr;
}

int IGraphics::GetParamIdxForPTAutomation(int x, int y)
{
  WDL_MutexLock lock(plugMutex(mPlug));
  IControl* control = mMouseCapture ? mMouseCapture : FindInputControl(x, y);
  mLastClickedParam = control ? control->ParamIdx() : -1;
  return mLastClickedParam;
}

int IGraphics::GetLastClickedParamForPTAutomation()
{
  const int param = mLastClickedParam;
  mLastClickedParam = -1;
  return param;
}
