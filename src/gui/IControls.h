#pragma once
// The framework's stock controls, each with its own drawing and mouse behaviour:
// panels, bitmap frames, switches, radio groups, faders, knobs in four drawing
// styles, overlays, text, captions, links and a file selector.
//
// Threads: as IControl. Mouse and drawing calls come on the main thread under the
// plug-in's mutex; ITextControl::SetTextFromPlug may come from any thread.

#include "base/heapbuf.h"
#include "base/wdlstring.h"
#include "gui/IControl.h"
#include "gui/IGraphics.h"

enum EDirection
{
  kVertical = 0,
  kHorizontal = 1
};

class IPanelControl : public IControl
{
public:
  IPanelControl(IPlugBase* plug, const IRECT& rect, const IColor* color);
  bool Draw(IGraphics* graphics) override;

protected:
  IColor mColor;
};

class IBitmapControl : public IControl
{
public:
  // Occupies (x, y, x + W, y + H / N).
  IBitmapControl(IPlugBase* plug, int x, int y, int paramIdx, const IBitmap* bitmap,
                 IChannelBlend::EBlendMethod blendMethod = IChannelBlend::kBlendNone);
  bool Draw(IGraphics* graphics) override;

  // The 1-based frame a value shows: the nearest of the bitmap's frames.
  static int FrameOfValue(const IBitmap& bitmap, double value);
  const IBitmap& GetIBitmap() const { return mBitmap; }

protected:
  IBitmap mBitmap;
};

// Each click steps to the next frame's value and wraps from the last to the first.
class ISwitchControl : public IBitmapControl
{
public:
  ISwitchControl(IPlugBase* plug, int x, int y, int paramIdx, const IBitmap* bitmap,
                 IChannelBlend::EBlendMethod blendMethod = IChannelBlend::kBlendNone);
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  void OnMouseDblClick(int x, int y, IMouseMod* mod) override;

protected:
  void Step();
};

// A click asks for the value through the parameter's menu or the text entry.
class ISwitchPopUpControl : public ISwitchControl
{
public:
  // Prompting is on: asking is all the control does.
  ISwitchPopUpControl(IPlugBase* plug, int x, int y, int paramIdx, const IBitmap* bitmap,
                      IChannelBlend::EBlendMethod blendMethod = IChannelBlend::kBlendNone);
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
};

// A switch that is on only while the button is held: the release sets it back to 0,
// wherever the pointer then is.
class IContactControl : public ISwitchControl
{
public:
  IContactControl(IPlugBase* plug, int x, int y, int paramIdx, const IBitmap* bitmap,
                  IChannelBlend::EBlendMethod blendMethod = IChannelBlend::kBlendNone);
  void OnMouseUp(int x, int y, IMouseMod* mod) override;
};

// Below 0.5 it draws nothing and is hit only inside its target area; from 0.5 on it
// draws its bitmap and is hit anywhere inside its rectangle. The hit area follows
// the value as last drawn.
class IBitmapOverlayControl : public ISwitchControl
{
public:
  IBitmapOverlayControl(IPlugBase* plug, int x, int y, int paramIdx, const IBitmap* bitmap,
                        const IRECT& targetArea,
                        IChannelBlend::EBlendMethod blendMethod = IChannelBlend::kBlendNone);
  bool Draw(IGraphics* graphics) override;

protected:
  IRECT mTargetArea;
};

// Toggles between 0 and 1 and draws nothing.
class IInvisibleSwitchControl : public IControl
{
public:
  IInvisibleSwitchControl(IPlugBase* plug, const IRECT& rect, int paramIdx);
  bool Draw(IGraphics* graphics) override;
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
};

// A row or column of buttons from a two-frame bitmap (frame 1 off, frame 2 on),
// spread evenly over the rectangle; the value is the chosen button's share of
// 0..1. A group of one button holds 0.
class IRadioButtonsControl : public IControl
{
public:
  IRadioButtonsControl(IPlugBase* plug, const IRECT& rect, int paramIdx, int nButtons, const IBitmap* bitmap,
                       EDirection direction = kVertical, bool reverse = false);
  bool Draw(IGraphics* graphics) override;
  // Nothing when grey; the right button asks for the value; else the first button
  // under the point is chosen, and the value is pushed even when none is.
  void OnMouseDown(int x, int y, IMouseMod* mod) override;

  int NButtons() const { return mRECTs.GetSize(); }
  // Null out of range.
  const IRECT* GetButtonRECT(int i) const { return i >= 0 && i < NButtons() ? mRECTs.Get() + i : nullptr; }
  // The button a value selects, clamped to the buttons.
  int ActiveButton() const;
  // The value of button i: i / (n - 1), and 0 for a group of one.
  double ValueOfButton(int i) const;

protected:
  WDL_TypedBuf<IRECT> mRECTs{8 * (int)sizeof(IRECT)};
  IBitmap mBitmap;
};

// A handle moved along a track; a click puts the handle's centre under the pointer.
class IFaderControl : public IControl
{
public:
  // Horizontal: (x, y, x + length, y + handle H), handle size W; vertical:
  // (x, y, x + handle W, y + length), handle size H.
  IFaderControl(IPlugBase* plug, int x, int y, int length, int paramIdx, const IBitmap* handle,
                EDirection direction = kVertical, bool onlyHandle = false);
  bool Draw(IGraphics* graphics) override;
  bool IsHit(int x, int y) override;
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  void OnMouseDrag(int x, int y, int dX, int dY, IMouseMod* mod) override;

  // The handle's rectangle at a value; a negative value means the current one.
  IRECT GetHandleRECT(double value = -1.0) const;
  int GetLength() const { return mLen; }
  int GetHandleHeadroom() const { return mHandleHeadroom; }
  EDirection GetDirection() const { return mDirection; }

protected:
  void SnapToMouse(int x, int y);

  int mLen, mHandleHeadroom;
  IBitmap mHandleBitmap;
  EDirection mDirection;
  bool mOnlyHandle;
};

// A knob turned by dragging: four times its extent covers the whole range at the
// default gearing, ten times finer with shift or control.
class IKnobControl : public IControl
{
public:
  static constexpr double kDefaultGearing = 4.0;

  IKnobControl(IPlugBase* plug, const IRECT& rect, int paramIdx, EDirection direction = kVertical,
               double gearing = kDefaultGearing, IChannelBlend::EBlendMethod blendMethod = IChannelBlend::kBlendNone);
  void OnMouseDrag(int x, int y, int dX, int dY, IMouseMod* mod) override;

  EDirection GetDirection() const { return mDirection; }
  double GetGearing() const { return mGearing; }

protected:
  EDirection mDirection;
  double mGearing;
};

// A line from the inner to the outer radius along the knob's angle (radians, 0 up,
// clockwise).
class IKnobLineControl : public IKnobControl
{
public:
  // An outer radius of 0 is half the rectangle's width.
  IKnobLineControl(IPlugBase* plug, const IRECT& rect, int paramIdx, const IColor* color, double innerRadius,
                   double outerRadius, double minAngle, double maxAngle, EDirection direction = kVertical,
                   double gearing = kDefaultGearing);
  bool Draw(IGraphics* graphics) override;

protected:
  IColor mColor;
  float mMinAngle, mMaxAngle, mInnerRadius, mOuterRadius;
};

// The bitmap rotated about the rectangle's centre by the knob's angle (radians).
class IKnobRotaterControl : public IKnobControl
{
public:
  // Occupies (x, y, x + W, y + H).
  IKnobRotaterControl(IPlugBase* plug, int x, int y, int paramIdx, const IBitmap* bitmap, double minAngle,
                      double maxAngle, int yOffsetZeroDeg = 0, EDirection direction = kVertical,
                      double gearing = kDefaultGearing,
                      IChannelBlend::EBlendMethod blendMethod = IChannelBlend::kBlendNone);
  bool Draw(IGraphics* graphics) override;

protected:
  IBitmap mBitmap;
  double mMinAngle, mMaxAngle;
  int mYOffset;
};

// A knob drawn as the frame of a multi-frame strip that its value selects.
class IKnobMultiControl : public IKnobControl
{
public:
  // Occupies (x, y, x + W, y + H / N).
  IKnobMultiControl(IPlugBase* plug, int x, int y, int paramIdx, const IBitmap* bitmap,
                    EDirection direction = kVertical, double gearing = kDefaultGearing,
                    IChannelBlend::EBlendMethod blendMethod = IChannelBlend::kBlendNone);
  bool Draw(IGraphics* graphics) override;
  const IBitmap& GetIBitmap() const { return mBitmap; }

protected:
  IBitmap mBitmap;
};

// A base image showing through a mask rotated by the knob's angle (radians), with a
// top image rotated alike.
class IKnobRotatingMaskControl : public IKnobControl
{
public:
  // Occupies (x, y, x + base W, y + base H).
  IKnobRotatingMaskControl(IPlugBase* plug, int x, int y, int paramIdx, const IBitmap* base, const IBitmap* mask,
                           const IBitmap* top, double minAngle, double maxAngle, EDirection direction = kVertical,
                           double gearing = kDefaultGearing,
                           IChannelBlend::EBlendMethod blendMethod = IChannelBlend::kBlendNone);
  bool Draw(IGraphics* graphics) override;

protected:
  IBitmap mBase, mMask, mTop;
  double mMinAngle, mMaxAngle;
};

class ITextControl : public IControl
{
public:
  // No parameter; the style is copied (the default style for none).
  ITextControl(IPlugBase* plug, const IRECT& rect, const IText* text, const char* str = "");
  bool Draw(IGraphics* graphics) override;

  // Any thread: replaces the text, and marks the control dirty when it changed,
  // under the plug-in's mutex, so the drawing pass never reads a text being replaced.
  void SetTextFromPlug(const char* str);
  // The same for a text whose first keptHead bytes say what happened ("Bank saved: "):
  // too wide for the control, the rest loses characters from its middle, never these.
  void SetTextFromPlug(const char* str, int keptHead);
  // Main thread, or under the plug-in's mutex.
  const char* GetTextForPlug() const { return mStr.Get(); }
  // The text as the last drawing pass showed it (after any shortening).
  const std::string& drawnText() const { return mDrawn; }

protected:
  // Draws the text, greyed when the control is, with inside clipped to the rectangle.
  bool DrawStr(IGraphics* graphics, bool inside);

  WDL_String mStr;
  int mKeptHead = -1;  // -1: drawn as it is
  std::string mDrawn;
};

// head + name + tail as it fits width in style: whole, or with the fewest characters
// of name replaced by an ellipsis from its middle, so that its start and its end both
// stay (names differ at either) and head and tail stay whole. Characters are cut
// whole, never inside a UTF-8 sequence.
std::string FitTextToWidth(IGraphics* graphics, IText* style, const std::string& head, const std::string& name,
                           const std::string& tail, int width);

// Shows the parameter's own current value (its display text or number), with its
// label when asked; a click asks for a new value once prompting is enabled.
class ICaptionControl : public ITextControl
{
public:
  ICaptionControl(IPlugBase* plug, const IRECT& rect, int paramIdx, const IText* text, bool showParamLabel);
  bool Draw(IGraphics* graphics) override;
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  void OnMouseDblClick(int x, int y, IMouseMod* mod) override;

protected:
  // The text to show: the parameter's display text, with its label when asked.
  void ReadCaption();

  bool mShowParamLabel;
};

// An invisible link: a click opens the address, or the backup address when the
// first cannot be opened.
class IURLControl : public IControl
{
public:
  // Absent texts are empty; each is kept whole.
  IURLControl(IPlugBase* plug, const IRECT& rect, const char* url, const char* backupURL = nullptr,
              const char* errMsgOnFailure = nullptr);
  bool Draw(IGraphics* graphics) override;
  void OnMouseDown(int x, int y, IMouseMod* mod) override;

protected:
  WDL_String mURL, mBackupURL, mErrMsg;
};

// A click asks for a file through the platform's panel and toggles the value; the
// plug-in then reads the chosen path.
class IFileSelectorControl : public IControl
{
public:
  enum EFileSelectorState
  {
    kFSNone = 0,
    kFSSelecting = 1,
    kFSDone = 2
  };

  // The bitmap, when given, is drawn from its top-left corner. Extensions are
  // separated by blanks.
  IFileSelectorControl(IPlugBase* plug, const IRECT& rect, int paramIdx, const IBitmap* bitmap, EFileAction action,
                       const char* dir = "", const char* extensions = "");
  bool Draw(IGraphics* graphics) override;
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  // Also true once after a selection ended, so the control is redrawn after it.
  bool IsDirty() override;

  void GetLastSelectedFileForPlug(WDL_String* file) const;
  void SetLastSelectedFileFromPlug(const char* file);
  EFileSelectorState GetState() const { return mState; }

protected:
  bool mBitmapShown;
  IBitmap mBitmap;
  WDL_String mDir, mFile, mExtensions;
  EFileAction mFileAction;
  EFileSelectorState mState = kFSNone;
};
