#pragma once
// The base of every control of the editor window: a rectangle that draws itself into
// the graphics object's draw bitmap, reacts to the input the graphics object routes to
// it, and holds one value in 0..1 bound to a plug-in parameter (or to none).
//
// Three value routes, kept apart:
// - from the plug-in: SetValueFromPlug only redraws;
// - from the user: SetValueFromUserInput and the mouse handlers end in SetDirty(true),
//   which pushes the value through IPlugBase::SetParameterFromGUI;
// - from the hardware: SetValueFromHardware ends in SetDirty2(true), which pushes it
//   through IPlugBase::SetParameterFromGUI2.
//
// Threads: mouse, key and drawing calls come on the main thread, which holds the
// plug-in's mutex (IPlugBase::mMutex) for each drawing pass and each input event.
// SetValueFromHardware may also be called from the MIDI threads and takes that mutex
// itself; any other change from those threads is made under it by the caller.

#include "base/heapbuf.h"
#include "gui/IGraphicsStructs.h"

class IGraphics;
class IPlugBase;
class ITextControl;

class IControl
{
public:
  struct AuxParam
  {
    double mValue;
    int mParamIdx;
  };

  // Grey controls draw at this weight.
  static constexpr float kGrayedWeight = 0.5f;
  // The longest text a display control is given: a parameter's display entry with
  // its terminating zero, or a number.
  static const int kDisplayBufferLen = 256;  // a parameter's longest display entry

  IControl(IPlugBase* plug, const IRECT& rect, int paramIdx = -1,
           IChannelBlend::EBlendMethod blendMethod = IChannelBlend::kBlendNone);
  virtual ~IControl();
  IControl(const IControl&) = delete;
  IControl& operator=(const IControl&) = delete;

  // ---- virtual operations ----
  // Nothing when grey; with the right button held, PromptUserInput().
  virtual void OnMouseDown(int x, int y, IMouseMod* mod);
  virtual void OnMouseUp(int x, int y, IMouseMod* mod);
  virtual void OnMouseDrag(int x, int y, int dX, int dY, IMouseMod* mod);
  // When not grey and a default is set: back to the default, pushed to the plug-in.
  virtual void OnMouseDblClick(int x, int y, IMouseMod* mod);
  // When not grey: value += d x 0.01, or d x 0.001 with shift or control; pushed.
  virtual void OnMouseWheel(int x, int y, IMouseMod* mod, int d);
  // True when the control took the key.
  virtual bool OnKeyDown(int x, int y, int key);
  virtual void OnMouseOver(int x, int y, IMouseMod* mod);
  virtual void OnMouseOut();
  // True when it drew.
  virtual bool Draw(IGraphics* graphics) = 0;
  virtual void SetValueFromPlug(double value);
  // Any thread: takes the plug-in's mutex.
  virtual void SetValueFromHardware(double value);
  virtual void TextFromTextEntry(const char* text);
  virtual void Hide(bool hide);
  virtual void GrayOut(bool gray);
  virtual bool IsHit(int x, int y);
  // Clamps the value, marks the control dirty and, with push, hands the value to
  // the plug-in as the user's and updates the display controls.
  virtual void SetDirty(bool pushParamToPlug = true);
  // The same for a value that came from the hardware.
  virtual void SetDirty2(bool pushParamToPlug);
  // Dirty again only when a redraw is pending.
  virtual void SetClean();
  virtual bool IsDirty();
  virtual void OnGUIIdle();
  virtual void SetAuxParamValueFromPlug(int auxIdx, double value);

  // ---- value from the user ----
  void SetValueFromUserInput(double value);
  void PromptUserInput();
  void PromptUserInput(IRECT* rect);

  // ---- shared by the graphics object and the layers ----
  // A value pushed for a parameter: taken as the control's own value when it is
  // bound to it, and as its aux param's when it follows it.
  void SetParamValueFromPlug(int paramIdx, double value);
  // Widens the area by the rectangle when the control is dirty and shown, or hidden
  // with its update-when-hidden flag; true when it counted.
  bool AddDirtyArea(IRECT* area);

  // ---- auxiliary parameters ----
  void AddAuxParam(int paramIdx);
  // Null out of range.
  AuxParam* GetAuxParam(int i);
  int NAuxParams() const { return mAuxParams.GetSize(); }
  // Position of the first record for the parameter, or -1.
  int AuxParamIdx(int paramIdx) const;
  void SetAllAuxParamsFromGUI();

  // ---- accessors ----
  IPlugBase* GetPlug() const { return mPlug; }
  const IRECT& GetRECT() const { return mRECT; }
  const IRECT& GetTargetRECT() const { return mTargetRECT; }
  void SetTargetArea(const IRECT& rect) { mTargetRECT = rect; }
  int ParamIdx() const { return mParamIdx; }
  double GetValue() const { return mValue; }
  void SetValue(double value) { mValue = value; }
  double GetDefaultValue() const { return mDefaultValue; }
  void SetDefaultValue(double value) { mDefaultValue = value; }
  void Clamp(double lo, double hi)
  {
    mClampLo = lo;
    mClampHi = hi;
  }
  bool IsHidden() const { return mHide; }
  bool IsGrayed() const { return mGrayed; }
  bool IsRedrawPending() const { return mRedraw; }
  IText* GetText() { return &mText; }
  void SetText(const IText& text) { mText = text; }
  const IChannelBlend& GetBlend() const { return mBlend; }
  int GetTextEntryLength() const { return mTextEntryLength; }
  void SetTextEntryLength(int length) { mTextEntryLength = length; }
  bool GetUpdateWhenHidden() const { return mIgnoreHiddenWhenUpdating; }
  void SetUpdateWhenHidden(bool on) { mIgnoreHiddenWhenUpdating = on; }
  bool GetPromptDisabled() const { return mDisablePrompt; }
  void DisablePrompt(bool disable) { mDisablePrompt = disable; }
  bool GetDblAsSingleClick() const { return mDblAsSingleClick; }
  void SetDblAsSingleClick(bool on) { mDblAsSingleClick = on; }
  bool GetMOWhenGrayed() const { return mMOWhenGrayed; }
  void SetMOWhenGrayed(bool on) { mMOWhenGrayed = on; }
  // A click on the control drops an open text entry instead of applying it (a box's
  // Cancel); the control still gets the click.
  bool GetCancelsTextEntry() const { return mCancelsTextEntry; }
  void SetCancelsTextEntry(bool on) { mCancelsTextEntry = on; }
  void SetValDisplayControl(ITextControl* control) { mValDisplayControl = control; }
  void SetNameDisplayControl(ITextControl* control) { mNameDisplayControl = control; }

protected:
  bool mHide = false;
  int mTextEntryLength = 16;
  // The dirty area is collected even while hidden.
  bool mIgnoreHiddenWhenUpdating = false;
  IText mText;
  IPlugBase* mPlug;
  IRECT mRECT;
  IRECT mTargetRECT;
  int mParamIdx;
  WDL_TypedBuf<AuxParam> mAuxParams{8 * (int)sizeof(AuxParam)};
  double mValue = 0.0;
  // Below 0: none yet; the first value from the plug-in becomes the default.
  double mDefaultValue = -1.0;
  double mClampLo = 0.0, mClampHi = 1.0;
  bool mDirty = true;
  bool mGrayed = false;
  // Keeps the control dirty for one more drawing pass.
  bool mRedraw = false;
  bool mDisablePrompt = true;
  bool mDblAsSingleClick = false;
  bool mMOWhenGrayed = false;
  bool mCancelsTextEntry = false;
  IChannelBlend mBlend;
  ITextControl* mValDisplayControl = nullptr;
  ITextControl* mNameDisplayControl = nullptr;

private:
  // The first value from the plug-in or the hardware becomes the default; true when
  // the value changed.
  bool TakeRouteValue(double value);
  void MarkDirty(bool push, bool fromHardware);
  void UpdateDisplayControls();
};
