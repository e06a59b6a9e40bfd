#pragma once
// A numbered, named group of controls and child layers that is shown, hidden or
// greyed as one. The editor's surface is a tree of them: pages, per-timbre copies
// of a page and zones inside a page. Top-level layers sit in the graphics object's
// layer list, which draws them after its own controls and asks them first for the
// control under the mouse.
//
// Threads: no lock of its own. The drawing pass and the input dispatch hold the
// plug-in's mutex (IPlugBase::mMutex) on the main thread; every change from another
// thread (a value pushed by IGraphics::SetParameterFromPlug, the page switching run
// from OnParamChange2) is made under that mutex too.

#include "base/ptrlist.h"
#include "gui/IGraphicsStructs.h"

#include <string>

class IControl;
class IGraphics;

class ControlLayer
{
public:
  ControlLayer(int id, std::string name);
  // Deletes the own controls from the last to the first, then the children.
  ~ControlLayer();
  ControlLayer(const ControlLayer&) = delete;
  ControlLayer& operator=(const ControlLayer&) = delete;

  // Selects the child of this id within the band the id falls in: ids below 10 are
  // the per-timbre copies, 10-199 zones in bands of ten, 200-299 a group shown as a
  // whole, 300 and above a further group.
  void showMultiLayers(int id);

  // Shows or hides the layer with its own controls; showing shows only the children
  // whose id is the selected child id, hiding hides every child.
  void Hide(bool hide);
  // SetDirty(false) on every control of the subtree.
  void setControlsDirty();
  // Greys the own controls and every child; un-greying restores only the selected
  // children.
  void GrayOut(bool gray);
  void GrayOutCustomZone(bool gray, int zone);
  // The gray argument has no effect: the step count decides.
  void GrayOutUserArp(bool gray, int selected, int stepCount);
  // Widens the area by every dirty control of the subtree that is shown (or hidden
  // with its update-when-hidden flag); true when any was dirty.
  bool isDirty(IRECT* area);
  // Draws the shown controls that meet the area and cleans every control.
  void Draw(IGraphics* graphics, IRECT* area);
  // The topmost shown control under the point, children first; a grey control
  // counts unless skipGrayed is set (the input dispatch sets it: grey controls take
  // no input).
  IControl* isHit(int x, int y, bool skipGrayed = false);
  // Hands a normalized value to every control of the subtree bound to the parameter
  // or following it as an aux parameter, shown or not.
  void SetParameterFromPlug(int paramIdx, double value, bool normalized);
  IControl* getControlFromParam(int paramIdx);
  // For this layer and every descendant; also sets the update-when-hidden flag of
  // the first control of each.
  void setIgnoreHiddenWhenUpdatingScreen(bool ignore);

  int id;
  bool visible = false;
  WDL_PtrList<IControl> controls{32 * (int)sizeof(void*)};
  WDL_PtrList<ControlLayer> children{16 * (int)sizeof(void*)};
  std::string name;
  int selectedChildId = 0;
  bool ignoreHiddenWhenUpdatingScreen = false;
};
