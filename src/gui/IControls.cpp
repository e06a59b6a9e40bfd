#include "gui/IControls.h"

#include "gui/IGraphics.h"
#include "plug/IPlugBase.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

IRECT frameRECT(int x, int y, const IBitmap* bitmap)
{
  return IRECT(x, y, x + (bitmap ? bitmap->W : 0), y + (bitmap && bitmap->N > 0 ? bitmap->H / bitmap->N : 0));
}

}  // namespace

IPanelControl::IPanelControl(IPlugBase* plug, const IRECT& rect, const IColor* color)
  : IControl(plug, rect, -1, IChannelBlend::kBlendNone), mColor(color ? *color : COLOR_BLACK)
{
}

bool IPanelControl::Draw(IGraphics* graphics) { return graphics->FillIRect(&mColor, &mRECT, &mBlend); }

// ---- bitmaps and switches ----

IBitmapControl::IBitmapControl(IPlugBase* plug, int x, int y, int paramIdx, const IBitmap* bitmap,
                               IChannelBlend::EBlendMethod blendMethod)
  : IControl(plug, frameRECT(x, y, bitmap), paramIdx, blendMethod), mBitmap(bitmap ? *bitmap : IBitmap())
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
  const bool drawn = graphics->DrawBitmap(&mBitmap, &mRECT, FrameOfValue(mBitmap, mValue), &mBlend);
  // Half weight alone barely shows on dark artwork: a greyed control is also
  // washed toward the pages' grey, which lowers its contrast and leaves the
  // (page-coloured) ground around it nearly as it was.
  if (drawn && mGrayed && mBitmap.W > 0)
  {
    static const IColor wash(255, 48, 52, 58);
    const IChannelBlend shade(IChannelBlend::kBlendNone, 0.55f);
    IRECT r = mRECT;
    graphics->FillIRect(&wash, &r, &shade);
  }
  return drawn;
}

ISwitchControl::ISwitchControl(IPlugBase* plug, int x, int y, int paramIdx, const IBitmap* bitmap,
                               IChannelBlend::EBlendMethod blendMethod)
  : IBitmapControl(plug, x, y, paramIdx, bitmap, blendMethod)
{
}

void ISwitchControl::Step()
{
  mValue += mBitmap.N < 2 ? 1.0 : 1.0 / (double)(mBitmap.N - 1);
  // The step past the last frame lands above 1 (plus rounding): back to the first.
  if (mValue > 1.001) mValue = 0.0;
  SetDirty(true);
}

void ISwitchControl::OnMouseDown(int, int, IMouseMod*)
{
  if (!mGrayed) Step();
}

void ISwitchControl::OnMouseDblClick(int, int, IMouseMod*)
{
  if (!mGrayed) Step();
}

ISwitchPopUpControl::ISwitchPopUpControl(IPlugBase* plug, int x, int y, int paramIdx, const IBitmap* bitmap,
                                         IChannelBlend::EBlendMethod blendMethod)
  : ISwitchControl(plug, x, y, paramIdx, bitmap, blendMethod)
{
  mDisablePrompt = false;
}

void ISwitchPopUpControl::OnMouseDown(int, int, IMouseMod*)
{
  if (mGrayed) return;
  PromptUserInput();
  SetDirty(true);
}

IContactControl::IContactControl(IPlugBase* plug, int x, int y, int paramIdx, const IBitmap* bitmap,
                                 IChannelBlend::EBlendMethod blendMethod)
  : ISwitchControl(plug, x, y, paramIdx, bitmap, blendMethod)
{
}

void IContactControl::OnMouseUp(int, int, IMouseMod*)
{
  mValue = 0.0;
  SetDirty(true);
}

IBitmapOverlayControl::IBitmapOverlayControl(IPlugBase* plug, int x, int y, int paramIdx, const IBitmap* bitmap,
                                             const IRECT& targetArea, IChannelBlend::EBlendMethod blendMethod)
  : ISwitchControl(plug, x, y, paramIdx, bitmap, blendMethod), mTargetArea(targetArea)
{
}

bool IBitmapOverlayControl::Draw(IGraphics* graphics)
{
  if (mValue < 0.5)
  {
    mTargetRECT = mTargetArea;
    return false;
  }
  mTargetRECT = mRECT;
  return IBitmapControl::Draw(graphics);
}

IInvisibleSwitchControl::IInvisibleSwitchControl(IPlugBase* plug, const IRECT& rect, int paramIdx)
  : IControl(plug, rect, paramIdx, IChannelBlend::kBlendClobber)
{
}

bool IInvisibleSwitchControl::Draw(IGraphics*) { return false; }

void IInvisibleSwitchControl::OnMouseDown(int, int, IMouseMod*)
{
  if (mGrayed) return;
  mValue = mValue < 0.5 ? 1.0 : 0.0;
  SetDirty(true);
}

// ---- radio buttons ----

IRadioButtonsControl::IRadioButtonsControl(IPlugBase* plug, const IRECT& rect, int paramIdx, int nButtons,
                                           const IBitmap* bitmap, EDirection direction, bool reverse)
  : IControl(plug, rect, paramIdx, IChannelBlend::kBlendNone), mBitmap(bitmap ? *bitmap : IBitmap())
{
  const int n = nButtons > 0 ? nButtons : 0;
  if (!mRECTs.ResizeOK(n)) return;
  const int w = mBitmap.W;
  const int h = mBitmap.N > 0 ? (int)((double)mBitmap.H / (double)mBitmap.N) : 0;
  // One button has no gap to spread; it sits at the start (or, reversed, the end).
  const int span = direction == kHorizontal ? rect.W() - n * w : rect.H() - n * h;
  const int gap = n > 1 ? span / (n - 1) : 0;
  for (int i = 0; i < n; ++i)
  {
    IRECT& r = mRECTs.Get()[i];
    if (direction == kHorizontal)
    {
      const int l = reverse ? rect.R - i * (w + gap) - w : rect.L + i * (w + gap);
      r = IRECT(l, rect.T, l + w, rect.T + h);
    }
    else
    {
      const int t = reverse ? rect.B - i * (h + gap) - h : rect.T + i * (h + gap);
      r = IRECT(rect.L, t, rect.L + w, t + h);
    }
  }
}

int IRadioButtonsControl::ActiveButton() const
{
  const int n = NButtons();
  if (n < 1) return -1;
  const double j = (double)(n - 1) * mValue + 0.5;
  if (!(j >= 0.0)) return 0;
  return j >= (double)(n - 1) ? n - 1 : (int)j;
}

double IRadioButtonsControl::ValueOfButton(int i) const
{
  const int n = NButtons();
  return n > 1 ? (double)i / (double)(n - 1) : 0.0;
}

bool IRadioButtonsControl::Draw(IGraphics* graphics)
{
  const int active = ActiveButton();
  for (int i = 0; i < NButtons(); ++i)
    graphics->DrawBitmap(&mBitmap, mRECTs.Get() + i, i == active ? 2 : 1, &mBlend);
  return true;
}

void IRadioButtonsControl::OnMouseDown(int x, int y, IMouseMod* mod)
{
  if (mGrayed) return;
  if (mod && mod->R)
  {
    PromptUserInput();
    return;
  }
  for (int i = 0; i < NButtons(); ++i)
  {
    if (mRECTs.Get()[i].Contains(x, y))
    {
      mValue = ValueOfButton(i);
      break;
    }
  }
  SetDirty(true);
}

// ---- text ----

ITextControl::ITextControl(IPlugBase* plug, const IRECT& rect, const IText* text, const char* str)
  : IControl(plug, rect, -1, IChannelBlend::kBlendNone), mStr(str ? str : "")
{
  if (text) mText = *text;
}

namespace {

const char kEllipsis[] = "\xE2\x80\xA6";

int measuredWidth(IGraphics* graphics, IText* style, std::string text)
{
  IRECT r(0, 0, 0, 0);
  graphics->MeasureIText(style, &text[0], &r);
  return r.W();
}

}  // namespace

std::string FitTextToWidth(IGraphics* graphics, IText* style, const std::string& head, const std::string& name,
                           const std::string& tail, int width)
{
  if (!graphics || measuredWidth(graphics, style, head + name + tail) <= width) return head + name + tail;
  std::vector<size_t> starts;  // where each character begins, and the end
  for (size_t i = 0; i < name.size(); ++i)
    if (((unsigned char)name[i] & 0xC0) != 0x80) starts.push_back(i);
  const int n = (int)starts.size();
  starts.push_back(name.size());
  auto shortened = [&](int kept) {
    const int front = (kept + 1) / 2, back = kept - front;
    return head + name.substr(0, starts[(size_t)front]) + kEllipsis + name.substr(starts[(size_t)(n - back)]) + tail;
  };
  // Fewer characters never measure wider: the most that fit are found by halving.
  int lo = 0, hi = n - 1;
  while (lo < hi)
  {
    const int mid = (lo + hi + 1) / 2;
    if (measuredWidth(graphics, style, shortened(mid)) <= width)
      lo = mid;
    else
      hi = mid - 1;
  }
  return shortened(lo);
}

bool ITextControl::Draw(IGraphics* graphics) { return DrawStr(graphics, false); }

bool ITextControl::DrawStr(IGraphics* graphics, bool inside)
{
  if (!mStr.GetLength()) return false;
  IText dim;
  IText* style = &mText;
  if (mGrayed)
  {
    // Greyed: the ink is drawn toward a middle grey, so that its contrast drops.
    dim = mText;
    for (int* c : {&dim.mColor.R, &dim.mColor.G, &dim.mColor.B}) *c = (*c + 80 * 3) / 4;
    style = &dim;
  }
  mDrawn = mStr.Get();
  char* shown = mStr.GetWritable();
  std::vector<char> fitted;
  if (mKeptHead >= 0 && (size_t)mKeptHead < mDrawn.size())
  {
    mDrawn = FitTextToWidth(graphics, style, mDrawn.substr(0, (size_t)mKeptHead), mDrawn.substr((size_t)mKeptHead), "",
                            mRECT.W());
    fitted.assign(mDrawn.c_str(), mDrawn.c_str() + mDrawn.size() + 1);
    shown = fitted.data();
  }
  return inside ? graphics->DrawITextInside(style, shown, &mRECT) : graphics->DrawIText(style, shown, &mRECT);
}

void ITextControl::SetTextFromPlug(const char* str) { SetTextFromPlug(str, -1); }

void ITextControl::SetTextFromPlug(const char* str, int keptHead)
{
  if (!str) str = "";
  WDL_MutexLock lock(mPlug ? &mPlug->mMutex : nullptr);
  if (strcmp(mStr.Get(), str) == 0 && keptHead == mKeptHead) return;
  SetDirty(false);
  mStr.Set(str);
  mKeptHead = keptHead;
}

ICaptionControl::ICaptionControl(IPlugBase* plug, const IRECT& rect, int paramIdx, const IText* text,
                                 bool showParamLabel)
  : ITextControl(plug, rect, text, ""), mShowParamLabel(showParamLabel)
{
  mParamIdx = paramIdx;
}

bool ICaptionControl::Draw(IGraphics* graphics)
{
  ReadCaption();
  return ITextControl::Draw(graphics);
}

void ICaptionControl::ReadCaption()
{
  const IParam* param = mPlug ? mPlug->GetParam(mParamIdx) : nullptr;
  if (!param) return;
  // A display entry fills its whole buffer; the label is appended to a string
  // sized for both.
  char display[IParam::kDisplayTextLen];
  param->GetDisplayForHost(param->Value(), false, display, true);
  mStr.Set(display);
  if (mShowParamLabel)
  {
    mStr.Append(" ");
    mStr.Append(param->GetLabelForHost());
  }
}

void ICaptionControl::OnMouseDown(int, int, IMouseMod* mod)
{
  if (mGrayed) return;
  if (mod && (mod->L || mod->R)) PromptUserInput();
}

void ICaptionControl::OnMouseDblClick(int, int, IMouseMod*)
{
  if (!mGrayed) PromptUserInput();
}

// ---- link and file selector ----

IURLControl::IURLControl(IPlugBase* plug, const IRECT& rect, const char* url, const char* backupURL,
                         const char* errMsgOnFailure)
  : IControl(plug, rect, -1, IChannelBlend::kBlendNone), mURL(url), mBackupURL(backupURL), mErrMsg(errMsgOnFailure)
{
}

bool IURLControl::Draw(IGraphics*) { return false; }

void IURLControl::OnMouseDown(int, int, IMouseMod*)
{
  IGraphics* graphics = mPlug ? mPlug->GetGUI() : nullptr;
  if (mGrayed || !graphics) return;
  bool opened = false;
  if (mURL.GetLength()) opened = graphics->OpenURL(mURL.Get(), mErrMsg.Get(), nullptr, nullptr);
  if (!opened && mBackupURL.GetLength()) graphics->OpenURL(mBackupURL.Get(), mErrMsg.Get(), nullptr, nullptr);
}

IFileSelectorControl::IFileSelectorControl(IPlugBase* plug, const IRECT& rect, int paramIdx, const IBitmap* bitmap,
                                           EFileAction action, const char* dir, const char* extensions)
  : IControl(plug, rect, paramIdx, IChannelBlend::kBlendNone),
    mBitmapShown(bitmap != nullptr),
    mBitmap(bitmap ? *bitmap : IBitmap()),
    mDir(dir),
    mExtensions(extensions),
    mFileAction(action)
{
}

bool IFileSelectorControl::Draw(IGraphics* graphics)
{
  if (!mBitmapShown) return false;
  return graphics->DrawBitmap(&mBitmap, &mRECT, 0, 0, &mBlend);
}

void IFileSelectorControl::OnMouseDown(int, int, IMouseMod*)
{
  IGraphics* graphics = mPlug ? mPlug->GetGUI() : nullptr;
  if (mGrayed || !graphics) return;
  mState = kFSSelecting;
  SetDirty(false);
  // The panel takes the extensions as writable text; it gets a copy.
  std::string extensions(mExtensions.Get());
  graphics->PromptForFile(&mFile, mFileAction, &mDir, &extensions[0]);
  mValue += 1.0;
  if (mValue > 1.0) mValue = 0.0;
  mState = kFSDone;
  SetDirty(true);
}

bool IFileSelectorControl::IsDirty()
{
  if (mDirty) return true;
  if (mState == kFSDone)
  {
    mState = kFSNone;
    return true;
  }
  return false;
}

void IFileSelectorControl::GetLastSelectedFileForPlug(WDL_String* file) const
{
  if (file) file->Set(mFile.Get());
}

void IFileSelectorControl::SetLastSelectedFileFromPlug(const char* file) { mFile.Set(file); }
