// The walk over the user-interface configuration: layers it builds itself, every
// control it hands to a factory with the element's attributes.

#include "ui/EditorUIConfig.h"

#include "config/ParamIds.h"

#include "gui/IControls.h"
#include "gui/IGraphics.h"
#include "ui/ControlAction.h"
#include "ui/ControlLayer.h"
#include "plug/IPlugBase.h"

#include <tinyxml2.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sstream>

using tinyxml2::XMLElement;
using tinyxml2::XMLNode;

namespace {

const char* const kLayerElements[] = {"layer",          "eg2layer",        "lfo1layer",
                                      "lfo2layer",      "voicelayer",      "osccontrollayer",
                                      "modseq1layer",   "modseq2layer",    "modseq3layer"};

bool isLayerElement(const char* name)
{
  for (const char* l : kLayerElements)
    if (strcmp(l, name) == 0) return true;
  return false;
}

std::string text(const XMLElement* e, const char* attribute)
{
  const char* t = e->Attribute(attribute);
  return t ? t : "";
}

int integer(const XMLElement* e, const char* attribute)
{
  const tinyxml2::XMLAttribute* a = e->FindAttribute(attribute);
  int v = 0;
  return a && a->QueryIntValue(&v) == tinyxml2::XML_SUCCESS ? v : 0;
}

// A number list read into n slots that start at 0, so a short list gives zeros.
template <int N>
struct Numbers
{
  int v[N] = {};
  Numbers(const XMLElement* e, const char* attribute)
  {
    if (const char* t = e->Attribute(attribute)) UIConfigManager::getCSValues(t, v, N);
  }
  int operator[](int i) const { return v[i]; }
};

// valueDisplay: two integers split at ':', else both -1. A piece that is no number
// reads 0 as a C conversion gives; one beyond the integers keeps its -1.
Numbers<2> valueDisplay(const XMLElement* e)
{
  Numbers<2> vd(e, "nonexistent");
  vd.v[0] = vd.v[1] = -1;
  std::vector<std::string> pieces;
  UIConfigManager::Tokenize(text(e, "valueDisplay"), pieces, ":");
  if (pieces.size() == 2)
    for (int i = 0; i < 2; ++i)
    {
      errno = 0;
      const long v = strtol(pieces[(size_t)i].c_str(), nullptr, 10);
      if (errno != ERANGE && v >= INT_MIN && v <= INT_MAX) vd.v[i] = (int)v;
    }
  return vd;
}

}  // namespace

void EditorUIConfig::processXMLElement(XMLNode* node, ControlLayer* layer, int channel)
{
  // Siblings by a loop, children by recursion: the depth is that of the layer tree.
  for (; node; node = node->NextSibling())
    if (XMLElement* e = node->ToElement()) walkElement(e, layer, channel);
}

int EditorUIConfig::resolveParamId(const char* paramId, int c) const
{
  if (!paramId || !*paramId) return -1;
  std::vector<std::string> pieces;
  Tokenize(paramId, pieces, "+");
  if (pieces.empty()) return -1;
  const int id = getParamByName(pieces[0]);
  if (id < 0) return -1;
  int offset = 0;
  if (pieces.size() > 1)
  {
    std::istringstream in(pieces[1]);
    if (!(in >> offset) || !in.eof())
    {
      configProblem(std::string("CONFIG READER: parameter offset in ") + paramId + " is no number!");
      return -1;
    }
  }
  // A huge offset in the text must not wrap into another parameter's id.
  const long long moved = (long long)id + (c >= 0 ? c : 0) + offset;
  if (moved < 0 || moved > INT_MAX)
  {
    configProblem(std::string("CONFIG READER: parameter offset in ") + paramId + " is out of range!");
    return -1;
  }
  return (int)moved;
}

void EditorUIConfig::enterLayer(ControlLayer* layer, ControlLayer* parent)
{
  if (parent)
    parent->children.Add(layer);
  else if (graphics())
    graphics()->AttachLayer(layer);
  mLayerMap[layer->name] = layer;
}

void EditorUIConfig::walkElement(XMLElement* e, ControlLayer* layer, int c)
{
  const char* element = e->Name();
  const std::string image = text(e, "imageId");
  const int id = resolveParamId(e->Attribute("paramId"), c);
  const std::string group = text(e, "paramGroup");
  const int chan = integer(e, "channel");

  if (isLayerElement(element))
  {
    const char* name = e->Attribute("name");
    if (!name)
      configProblem(std::string("CONFIG READER: ") + element + " without a name is skipped with its children!");
    else
    {
      ControlLayer* own = new ControlLayer(integer(e, "id"), name);
      enterLayer(own, layer);
      processXMLElement(e->FirstChild(), own, c);
      own->setIgnoreHiddenWhenUpdatingScreen(text(e, "overlay") == "true");
    }
  }
  else if (strcmp(element, "multilayer") == 0)
  {
    const int create = integer(e, "create");
    const std::string name = text(e, "name");
    for (int i = 0; i < create; ++i)
    {
      ControlLayer* own = new ControlLayer(i, name + std::to_string(i));
      processXMLElement(e->FirstChild(), own, i);
      enterLayer(own, layer);
    }
  }
  else if (strcmp(element, "patchBrowser") == 0)
  {
    const Numbers<4> b(e, "bounds");
    IBitmap bitmap = getImageByName(graphics(), image);
    const int x = (int)(b[0] * scale()), y = (int)(b[1] * scale());
    const IRECT rect(x, y, x + (int)(b[2] * scale()), y + (int)(b[3] * scale()));
    // The grid is always the librarian area's control, whatever the element names.
    if (IControl* view = createLibrarianView(x, y, kLibrarianArea, &bitmap, rect))
    {
      mLibrarianGrid = view;
      placeControl(view, layer);
    }
  }
  else if (strcmp(element, "background") == 0)
  {
    const Numbers<2> p(e, "position");
    IBitmap bitmap = getImageByName(graphics(), image);
    placeControl(new IBitmapControl(graphics() ? graphics()->GetPlug() : nullptr, (int)(p[0] * scale()),
                                    (int)(p[1] * scale()), -1, &bitmap),
                 layer);
  }
  else if (strcmp(element, "display") == 0)
  {
    const Numbers<4> b(e, "bounds");
    const Numbers<2> size(e, "displaySize");
    createControlDisplay("Display", id, b[0], b[1], b[2], b[3], c, layer, group, size[0]);
  }
  else if (strcmp(element, "switch") == 0)
  {
    const Numbers<2> p(e, "position");
    const Numbers<3> vb(e, "valueBounds");
    createBoolControl(text(e, "name"), id, vb[0], p[0], p[1], image, c, layer, group);
  }
  else if (strcmp(element, "autooff") == 0)
  {
    const Numbers<2> p(e, "position");
    createSwitchControl(text(e, "name"), id, 0, p[0], p[1], image, c, layer, group);
  }
  else if (strcmp(element, "radio") == 0)
  {
    const Numbers<2> p(e, "position");
    createRadioControl(text(e, "name"), id, p[0], p[1], image, integer(e, "buttons"), c, layer, group);
  }
  else if (strcmp(element, "dropMenu") == 0)
  {
    const std::string name = text(e, "name"), type = text(e, "type");
    const std::vector<std::string>& list = getValueList(text(e, "valueList"));
    const Numbers<4> b(e, "bounds");
    const Numbers<2> inputDev(e, "inputDev");
    const Numbers<3> vb(e, "valueBounds");
    if (type == "textSelection")
      createDropDownMenu(name, id, b[0], b[1], b[2], b[3], c, layer, group);
    else if (type == "deviceSelection")
      createMIDIDeviceSelectionControl("MIDI Setup", id, b[0], b[1], b[2], b[3], inputDev[0], c, layer, group);
    else if (type == "nameSelection")
      createNameDisplay(name, id, b[0], b[1], b[2], b[3], integer(e, "nameLen"), c, layer, group);
    else if (type == "dropSelection")
      createDropDownMenu2(name, id, b[0], b[1], b[2], b[3], vb[0], vb[1], vb[2], list, c, layer, group);
  }
  else if (strcmp(element, "multiFx") == 0)
  {
    const std::string name = text(e, "name"), type = text(e, "type");
    const std::vector<std::string>& list = getValueList(text(e, "valueList"));
    if (type == "Knob")
    {
      const Numbers<2> p(e, "position");
      const Numbers<4> vb(e, "valueBounds");
      createNoValKnobControl(name, id, p[0], p[1], image, vb[0], vb[1], vb[2], vb[3], c, layer, group);
    }
    else if (type == "Menu")
    {
      const Numbers<4> p(e, "position");
      const Numbers<3> vb(e, "valueBounds");
      const Numbers<2> vd = valueDisplay(e);
      createNoValDropDown(name, id, p[0], p[1], p[2], p[3], vb[0], vb[1], vb[2], vd[0], vd[1], integer(e, "visible"),
                          list, c, layer, group, integer(e, "white") != 0);
    }
    else if (type == "Switch")
    {
      const Numbers<2> p(e, "position");
      const Numbers<1> vb(e, "valueBounds");
      createNoValBoolControl(name, id, p[0], p[1], image, vb[0], c, layer, group);
    }
  }
  else if (strcmp(element, "knobcontrol") == 0 || strcmp(element, "buttoncontrol") == 0 ||
           strcmp(element, "menucontrol") == 0 || strcmp(element, "slidercontrol") == 0)
  {
    walkControlElement(e, id, image, group, chan, layer, c);
  }
  else if (strcmp(element, "valueLists") != 0)
    configProblem(std::string("CONFIG READER: element ") + element + " creates nothing!");

  // The part rule, for every element that names a parameter with a record.
  if (IParam* param = paramAt(id))
    if (ControlAction* action = static_cast<ControlAction*>(param->GetControlAction()))
      action->part = c >= 0 ? c : chan - 1;
}

void EditorUIConfig::walkControlElement(XMLElement* e, int id, const std::string& image, const std::string& group,
                                        int chan, ControlLayer* layer, int c)
{
  const int length = integer(e, "length");
  const int changingByte = integer(e, "changingByte");
  const std::string type = text(e, "type");
  const std::string name = text(e, "name");
  const Numbers<4> p(e, "position");
  const Numbers<4> vb(e, "valueBounds");
  LinkInfo link;
  getBiDirectLinkValues(text(e, "biDirectLink"), &link, c >= 0 ? c : 0);
  const Numbers<2> vd = valueDisplay(e);
  const std::vector<std::string>& list = getValueList(text(e, "valueList"));
  const int cc = integer(e, "ccNumber"), msb = integer(e, "msbValue"), lsb = integer(e, "lsbValue");
  const int lsbControl = integer(e, "lsbControl"), sysexIndex = integer(e, "sysexIndex");
  const int msgZeroVal = integer(e, "msgZeroVal"), color = integer(e, "color");
  const double d0 = vb[0], d1 = vb[1], d2 = vb[2], d3 = vb[3];

  if (type == "seKnob")
    createSysExKnobControl(name, id, p[0], p[1], image, d0, d1, d2, d3, msgZeroVal, sysexIndex, changingByte, c, link,
                           layer, group);
  else if (type == "seKnob2")
    createSysExKnobControl2(name, id, p[0], p[1], image, d0, d1, d2, d3, msgZeroVal, sysexIndex, changingByte, c,
                            link, layer, group);
  else if (type == "seSliderVer" || type == "seSliderHor")
    createSysExSliderControl(name, id, p[0], p[1], length, image, d0, d1, d2, d3, msgZeroVal, sysexIndex, changingByte,
                             c, link, layer, group, type == "seSliderHor" ? 1 : 0, false);
  else if (type == "seButton")
    createSysExBoolControl(name, id, p[0], p[1], image, d0, msgZeroVal, sysexIndex, changingByte, c, link, layer,
                           group);
  else if (type == "seMenu")
    createMultiSelectionSysExControl(name, id, p[0], p[1], p[2], 13, vb[0], vb[1], vb[2], vd[0], vd[1], list,
                                     msgZeroVal, color, sysexIndex, changingByte, c, layer, group);
  else if (type == "ccSliderVer" || type == "ccSliderHor")
    createCCSliderControl(cc, chan, name, id, p[0], p[1], length, image, d0, d1, d2, link, c, layer, group,
                          type == "ccSliderHor" ? 1 : 0, false);
  else if (type == "ccKnob")
    createCCKnobControl(cc, chan, name, id, p[0], p[1], image, d0, d1, d2, d3, link, c, layer, group);
  else if (type == "ccButton")
    createCCBoolControl(cc, chan, name, id, p[0], p[1], image, d0, d1, d2, link, c, layer, group);
  else if (type == "ccMenu")
    createMultiSelectionCCControl(cc, chan, name, id, p[0], p[1], p[2], 13, vb[0], vb[1], vb[2], vd[0], vd[1], list, c,
                                  layer, group);
  else if (type == "msbLsbKnob")
    createMsbLsbKnobControl(cc, msb, lsb, lsbControl, chan, name, id, p[0], p[1], image, d0, d1, d2, d3, link, c,
                            layer, group);
  else if (type == "msbLsbButton")
    createMsbLsbBoolControl(cc, msb, lsb, lsbControl, chan, name, id, p[0], p[1], image, d0, d1, d2, link, c, layer,
                            group);
  else if (type == "msbLsbMenu")
    createMsbLsbSelectionCCControl(cc, msb, lsb, lsbControl, chan, name, id, p[0], p[1], p[2], 13, vb[0], vb[1], vb[2],
                                   vd[0], vd[1], list, c, layer, group);
  else
    configProblem("CONFIG READER: control " + name + " of type \"" + type + "\" creates nothing!");
}
