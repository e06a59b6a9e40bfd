#pragma once
// Steps the control factories share.

#include "config/UIConfigManager.h"
#include "gui/IGraphicsStructs.h"
#include "ui/ControlAction.h"

#include <string>

class IParam;

// The element's parameter, or null with a console line: a factory given no
// parameter builds nothing rather than touch memory outside the list.
IParam* factoryParam(const UIConfigManager& config, int paramIdx, const std::string& name);

// The record of the parameter (created or rewritten to the type) with the control
// appended to it and stored in the parameter.
ControlAction* bindControl(UIConfigManager& config, int paramIdx, int actionType, IControl* control);

// "[n] name" in a timbre copy, else the name.
std::string timbreName(const std::string& name, int channel);

// The mixer layers take the element's channel attribute as their channel key; the
// NRPN buttons count eight further settings layers among them.
bool isMixerLayer(const ControlLayer* layer, bool withSettingsParts);

// Keys the record of a controller knob or menu: on a mixer layer by the element's
// channel attribute with sub-key 1, elsewhere by its timbre channel (from 1) with 0.
void setControllerKeys(ControlAction* action, const ControlLayer* layer, int channelAttr, int channel);

// The first text of the first value list of the container; false with a console
// line when the index names no container or it holds no template.
bool sysExTemplate(const UIConfigManager& config, int sysexIndex, const std::string& name, std::string* tmpl);

// Stores the built table in the record, with the value its first message stands
// for, and registers the control under the key bytes of that message. An empty
// table registers nothing.
void setSysExTable(UIConfigManager& config, ControlAction* action, const ControlActionSysExMessage& table,
                   const IParam* param, int changingByte, IControl* control, const std::string& name);

// The caption style of the menus and displays.
IText menuText(int size, const IColor& color, double scale);
