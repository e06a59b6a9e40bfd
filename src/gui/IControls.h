#pragma once
// Stock controls the graphics object itself needs: a coloured panel, a bitmap
// showing the frame of its value (the background is one), and a line of text.

#include "base/wdlstring.h"
#include "gui/IControl.h"

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

protected:
  IBitmap mBitmap;
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
  // Main thread, or under the plug-in's mutex.
  const char* GetTextForPlug() const { return mStr.Get(); }

protected:
  WDL_String mStr;
};
