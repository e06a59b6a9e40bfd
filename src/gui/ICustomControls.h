#pragma once
// The editor's own controls beside the stock set: its radio group, the progress
// overlay shown while data goes to or from the hardware, a caption that keeps
// inside its field, and text drawn from a bitmap font.
//
// Threads: as IControl; IBitmapTextControl::SetTextFromPlug may come from any thread.

#include "base/wdlstring.h"
#include "gui/IControls.h"

#include <functional>
#include <mutex>
#include <string>

class ControlLayer;

// The editor's radio group: one bitmap holds every button, off and on. With frames
// running vertically the off images lie side by side in the top half and the on
// images below them; with frames running horizontally the two states are the left
// and right halves and the buttons are stacked. The selection is always derived
// from the value; a group of one button holds 0.
class ICustomRadioButtonsControl : public IRadioButtonsControl
{
public:
  // direction kHorizontal lays the buttons side by side, anything else stacks them.
  ICustomRadioButtonsControl(IPlugBase* plug, const IRECT& rect, int paramIdx, int count, const IBitmap* bitmap,
                             EDirection direction);

  // Nothing when grey. A right click (or command-click) pushes the value unchanged;
  // a left click selects the button under the point and pushes the value twice.
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  void OnMouseDblClick(int x, int y, IMouseMod* mod) override;
  void OnMouseOver(int x, int y, IMouseMod* mod) override;
  void OnMouseOut() override;
  // Always at full strength, also while grey.
  bool Draw(IGraphics* graphics) override;

  // The selection step: the first button under the point takes the value; the value
  // is pushed in every case. Nothing with the right button.
  void OnMouseDownCustom(int x, int y, IMouseMod* mod);

  int ButtonWidth() const { return mButtonWidth; }
  int ButtonHeight() const { return mButtonHeight; }

protected:
  bool mRightClickSelects = false;
  bool mHighlightActive = true;
  int mButtonWidth = 0, mButtonHeight = 0;
  // Buttons past this index ignore clicks; -1: every button can be clicked.
  int mLastHitTestable = -1;
};

// The overlay over the editor during a transfer: it draws the top-left w x h part
// of its image at (x, y) and swallows the clicks in its rectangle, so the controls
// beneath cannot be used while its layer is shown.
class ProgressIndicator : public IBitmapOverlayControl
{
public:
  // Appends itself to the layer, which then owns it, and makes the layer's first
  // control count in the dirty area while hidden, so hiding the layer repaints.
  ProgressIndicator(ControlLayer* layer, IPlugBase* plug, int x, int y, int w, int h, int paramIdx,
                    const IBitmap* bitmap, const IRECT& targetArea);
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  void OnMouseDblClick(int x, int y, IMouseMod* mod) override;
  bool Draw(IGraphics* graphics) override;

  ControlLayer* GetLayer() const { return mLayer; }
  const IRECT& GetDrawArea() const { return mDrawArea; }
  // The line drawn in the overlay's box (a transfer's progress); any thread.
  void setText(const std::string& text);
  std::string text() const;
  // A second line under it (a transfer's count); the two share the line's height.
  void setSecondText(const std::string& text);
  std::string secondText() const;
  // Where the line goes, in window pixels.
  void setTextArea(const IRECT& area) { mTextArea = area; }

protected:
  ControlLayer* mLayer;
  IBitmap mOverlay;
  IRECT mDrawArea;
  int mX, mY, mW, mH;
  IRECT mTextArea;
  mutable std::mutex mTextLock;
  std::string mText, mSecondText;
};

// A captioned button without a parameter: a click runs the action (main thread,
// under the plug-in's mutex, like every input handler).
class ICommandButton : public IControl
{
public:
  ICommandButton(IPlugBase* plug, const IRECT& rect, const std::string& caption, std::function<void()> action);
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  bool Draw(IGraphics* graphics) override;
  const std::string& caption() const { return mCaption; }
  // A tab: lit while the test holds (its page is shown), drawn like the tab switches.
  void setLit(std::function<bool()> lit) { mLit = std::move(lit); }

private:
  std::string mCaption;
  std::function<void()> mAction;
  std::function<bool()> mLit;
};

// A caption for texts that can be longer than its field, such as a device's name.
// A text too wide for the rectangle loses characters from the middle of the
// parameter's display text for an ellipsis, while the kept tail (a mark the display
// text may end with) and the label stay whole; and the text is clipped to the
// rectangle, so the control draws nothing its redrawn area does not cover.
class IFittedCaptionControl : public ICaptionControl
{
public:
  IFittedCaptionControl(IPlugBase* plug, const IRECT& rect, int paramIdx, const IText* text, bool showParamLabel,
                        const char* keptTail);
  bool Draw(IGraphics* graphics) override;

private:
  std::string mKeptTail;
};

// Draws text from a bitmap font, one charWidth x charHeight cell a character: frame 1
// for the blank (and every code below it or above 127), frame c - 31 for code c.
// Inside the area one character of margin is kept on each side; a centred style
// centres the text on the area. Without wrap a text longer than a line goes on for
// one more line and the rest is not drawn; with wrap every line of it is drawn.
// Nothing is drawn without room for one character, nor for a character beyond the
// font's last frame.
void DrawBitmapedText(IGraphics* graphics, IBitmap* font, IRECT* area, IText* style, IChannelBlend* blend,
                      const char* text, bool vCenter, bool wrap, int charWidth, int charHeight);

class IBitmapTextControl : public IControl
{
public:
  IBitmapTextControl(IPlugBase* plug, const IRECT& rect, const IBitmap* font, const char* str = "",
                     const IText* style = nullptr, int charWidth = 6, int charHeight = 12);
  // Centred vertically, not wrapped.
  bool Draw(IGraphics* graphics) override;
  // Any thread: as ITextControl::SetTextFromPlug.
  void SetTextFromPlug(const char* str);
  const char* GetTextForPlug() const { return mStr.Get(); }

protected:
  WDL_String mStr;
  int mCharWidth, mCharHeight;
  IBitmap mFont;
};
