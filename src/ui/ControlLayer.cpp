#include "ui/ControlLayer.h"

#include "gui/IControl.h"

#include <utility>

ControlLayer::ControlLayer(int id_, std::string name_) : id(id_), name(std::move(name_)) {}

ControlLayer::~ControlLayer()
{
  controls.Empty(true);
  children.Empty(true);
}

namespace {

// Which children a selection of the id reaches; the 200-299 band shows them all.
bool affectedBy(int selected, int child)
{
  const bool perTimbre = child < 10;
  if (selected < 10) return false;
  if (selected < 20) return child <= 299 && !(child >= 20 && child <= 69);
  if (selected < 190)
  {
    const int band = selected / 10 * 10;
    return perTimbre || (child >= band && child <= band + 9) || (child >= 200 && child <= 299);
  }
  if (selected < 200) return perTimbre || (child >= 190 && child <= 199);
  if (selected < 300) return perTimbre || (child >= 200 && child <= 299);
  return perTimbre || child >= 300;
}

}  // namespace

void ControlLayer::showMultiLayers(int id_)
{
  selectedChildId = id_;
  const bool showAll = id_ >= 200 && id_ <= 299;
  for (int i = 0; i < children.GetSize(); ++i)
  {
    ControlLayer* child = children.Get(i);
    if (!affectedBy(id_, child->id)) continue;
    child->Hide(!showAll && child->id != id_);
  }
}

void ControlLayer::Hide(bool hide)
{
  visible = !hide;
  setControlsDirty();
  for (int i = 0; i < controls.GetSize(); ++i) controls.Get(i)->Hide(hide);
  for (int i = 0; i < children.GetSize(); ++i)
  {
    ControlLayer* child = children.Get(i);
    if (hide || child->id == selectedChildId) child->Hide(hide);
  }
}

void ControlLayer::setControlsDirty()
{
  for (int i = 0; i < controls.GetSize(); ++i) controls.Get(i)->SetDirty(false);
  for (int i = 0; i < children.GetSize(); ++i) children.Get(i)->setControlsDirty();
}

void ControlLayer::GrayOut(bool gray)
{
  for (int i = 0; i < controls.GetSize(); ++i) controls.Get(i)->GrayOut(gray);
  for (int i = 0; i < children.GetSize(); ++i)
  {
    ControlLayer* child = children.Get(i);
    if (gray || child->id == selectedChildId) child->GrayOut(gray);
  }
}

void ControlLayer::GrayOutCustomZone(bool gray, int zone)
{
  selectedChildId = zone;
  if (zone < 10 || zone > 252) return;
  for (int i = 0; i < children.GetSize(); ++i)
    if (children.Get(i)->id == zone) children.Get(i)->GrayOut(gray);
}

void ControlLayer::GrayOutUserArp(bool, int selected, int stepCount)
{
  selectedChildId = selected;
  if (selected < 200 || selected > 252) return;
  for (int i = 0; i < children.GetSize(); ++i)
  {
    ControlLayer* child = children.Get(i);
    child->GrayOut(child->id > stepCount && child->id <= 252);
  }
}

bool ControlLayer::isDirty(IRECT* area)
{
  if (!visible && !ignoreHiddenWhenUpdatingScreen) return false;
  bool dirty = false;
  for (int i = 0; i < controls.GetSize(); ++i)
    if (controls.Get(i)->AddDirtyArea(area)) dirty = true;
  for (int i = 0; i < children.GetSize(); ++i)
    if (children.Get(i)->isDirty(area)) dirty = true;
  return dirty;
}

void ControlLayer::Draw(IGraphics* graphics, IRECT* area)
{
  for (int i = 0; i < controls.GetSize(); ++i)
  {
    IControl* control = controls.Get(i);
    if (visible && !control->IsHidden() && area->Intersects(control->GetRECT())) control->Draw(graphics);
    control->SetClean();
  }
  for (int i = 0; i < children.GetSize(); ++i) children.Get(i)->Draw(graphics, area);
}

IControl* ControlLayer::isHit(int x, int y, bool skipGrayed)
{
  if (!visible) return nullptr;
  for (int i = children.GetSize() - 1; i >= 0; --i)
    if (IControl* hit = children.Get(i)->isHit(x, y, skipGrayed)) return hit;
  for (int i = controls.GetSize() - 1; i >= 0; --i)
  {
    IControl* control = controls.Get(i);
    if (control->IsHidden() || (skipGrayed && control->IsGrayed())) continue;
    if (control->IsHit(x, y)) return control;
  }
  return nullptr;
}

void ControlLayer::SetParameterFromPlug(int paramIdx, double value, bool normalized)
{
  for (int i = 0; i < controls.GetSize(); ++i) controls.Get(i)->SetParamValueFromPlug(paramIdx, value);
  for (int i = 0; i < children.GetSize(); ++i) children.Get(i)->SetParameterFromPlug(paramIdx, value, normalized);
}

IControl* ControlLayer::getControlFromParam(int paramIdx)
{
  if (!visible) return nullptr;
  for (int i = children.GetSize() - 1; i >= 0; --i)
    if (IControl* found = children.Get(i)->getControlFromParam(paramIdx)) return found;
  for (int i = controls.GetSize() - 1; i >= 0; --i)
    if (controls.Get(i)->ParamIdx() == paramIdx) return controls.Get(i);
  return nullptr;
}

void ControlLayer::setIgnoreHiddenWhenUpdatingScreen(bool ignore)
{
  ignoreHiddenWhenUpdatingScreen = ignore;
  for (int i = 0; i < children.GetSize(); ++i) children.Get(i)->setIgnoreHiddenWhenUpdatingScreen(ignore);
  if (IControl* first = controls.Get(0)) first->SetUpdateWhenHidden(ignore);
}
