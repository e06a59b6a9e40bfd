// The control factories as the walk reaches them: parameters, rectangles, sending
// records and the lookups that route incoming MIDI back to the controls.

#include "UiTestSupport.h"
#include "config/ParamIds.h"

#include <gtest/gtest.h>

namespace {

std::string in(const std::string& layerName, const std::string& element)
{
  return "<layer name=\"" + layerName + "\" id=\"1\">" + element + "</layer>";
}
std::string copies(const std::string& element) { return "<multilayer create=\"2\" name=\"tb\">" + element + "</multilayer>"; }

}  // namespace

// Channel keys and sub-keys of the CC and NRPN controls, by layer and copy.
TEST(FactoriesTest, ChannelKeysAndSubKeys)
{
  const std::string ccButton =
      "<buttoncontrol type=\"ccButton\" name=\"Dist\" imageId=\"BUTTON_BLCK_ID\" paramId=\"kAmpDistSw\" "
      "position=\"0,0,0,0\" valueBounds=\"0,0,127,1\" ccNumber=\"80\" channel=\"7\"/>";
  const std::string nrpnButton =
      "<buttoncontrol type=\"msbLsbButton\" name=\"Gate\" imageId=\"BUTTON_BLCK_ID\" paramId=\"kAmpGateSw\" "
      "position=\"0,0,0,0\" valueBounds=\"0,0,127,1\" ccNumber=\"6\" msbValue=\"5\" lsbValue=\"2\" lsbControl=\"9\" "
      "channel=\"7\"/>";
  const std::string ccMenu =
      "<menucontrol type=\"ccMenu\" name=\"Type\" paramId=\"kFilterType\" position=\"0,0,60,0\" "
      "valueBounds=\"0,0,4\" valueList=\"four\" ccNumber=\"81\" channel=\"7\"/>";
  const std::string ccKnob = "<knobcontrol type=\"ccKnob\" name=\"K\" imageId=\"KNOB_ID127\" paramId=\"%s\" "
                             "position=\"0,0,0,0\" valueBounds=\"64,0,127,1\" ccNumber=\"%d\" channel=\"7\"/>";
  const std::string slider = "<slidercontrol type=\"ccSliderHor\" name=\"S\" imageId=\"BTN_18x18_ID\" "
                             "paramId=\"kAmpLevel\" position=\"0,0,0,0\" length=\"100\" valueBounds=\"100,0,127\" "
                             "ccNumber=\"7\" channel=\"7\"/>";
  auto knob = [&](const char* param, int cc) {
    char text[512];
    snprintf(text, sizeof text, ccKnob.c_str(), param, cc);
    return std::string(text);
  };
  const struct
  {
    const char* name;
    std::string doc;
    int param;
    int channelKey, subKey;
    const char* paramName;
  } cases[] = {
    {"CC button, copy 1", copies(ccButton), kAmpDistSw + 1, 2, 0, "[2] Dist"},
    {"CC button on the mini mixer", in("miniMixer", ccButton), kAmpDistSw, 7, 0, "Dist"},
    {"CC button on a settings part", in("additionalSettingsPart3", ccButton), kAmpDistSw, 0, 0, "Dist"},
    {"NRPN button on a settings part", in("additionalSettingsPart3", nrpnButton), kAmpGateSw, 7, 0, "Gate"},
    {"NRPN button, copy 0", copies(nrpnButton), kAmpGateSw, 1, 0, "[1] Gate"},
    {"CC menu on the settings page", in("multiModeSettingsPage1", ccMenu), kFilterType, 7, 1, "Type"},
    {"CC menu, copy 0", copies(ccMenu), kFilterType, 1, 0, "[1] Type"},
    {"CC knob for the wave", in("page", knob("kOsc1DWGSWave", 30)), kOsc1DWGSWave, 0, 2, "K"},
    {"CC knob", in("page", knob("kEQHiFreq", 30)), kEQHiFreq, 0, 0, "K"},
    {"CC knob on a mixer", in("multiModeMixer", knob("kEQHiFreq", 30)), kEQHiFreq, 7, 1, "K"},
    {"CC knob, copy 1", copies(knob("kFilterCutoff", 74)), kFilterCutoff + 1, 2, 0, "[2] K"},
    {"CC slider on a mixer", in("miniMixer2", slider), kAmpLevel, 7, 0, "S"},
  };
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.name);
    EditorConfig e(uiDocument(c.doc), sysexDocument());
    ControlAction* a = e.action(c.param);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->channelKey, c.channelKey);
    EXPECT_EQ(a->subKey, c.subKey);
    EXPECT_STREQ(e.param(c.param)->GetNameForHost(), c.paramName);
    IControl* control = e.control(c.param);
    ASSERT_NE(control, nullptr);
    if (a->actionType == kActionNRPN)
      EXPECT_EQ(e.config.nrpnControls().findControl(c.channelKey, 5, 2, 9, c.subKey), control);
    else
      EXPECT_EQ(e.config.ccControls().findControl(c.channelKey, a->ccNumber, c.subKey), control);
  }
}

TEST(FactoriesTest, ButtonsAndRadio)
{
  EditorConfig e(uiDocument(
                     "<buttoncontrol type=\"ccButton\" name=\"Dist\" imageId=\"BUTTON_BLCK_ID\" paramId=\"kAmpDistSw\" "
                     "position=\"10,20,0,0\" valueBounds=\"1,0,127\" ccNumber=\"80\"/>"
                     "<radio name=\"Timbre\" imageId=\"BG_ID_TIMBRE_PROTECTOR\" paramId=\"kQuickTab\" buttons=\"2\" "
                     "position=\"40,8\"/>"
                     "<switch name=\"Link\" imageId=\"BUTTON_BLCK_ID\" paramId=\"kLayerLinker\" position=\"4,4\" "
                     "valueBounds=\"1,0,1\"/>"
                     "<multiFx type=\"Switch\" name=\"Led\" imageId=\"BUTTON_BLCK_ID\" paramId=\"kLayerLinker\" "
                     "position=\"4,40\" valueBounds=\"0\"/>"
                     "<autooff name=\"Go\" imageId=\"BTN_18x18_ID\" paramId=\"kRandomize\" position=\"8,8\"/>"),
                 sysexDocument());
  ControlAction* cc = e.action(kAmpDistSw);
  ASSERT_NE(cc, nullptr);
  EXPECT_EQ(cc->actionType, kActionCCSwitch);
  EXPECT_EQ(cc->offValue, 0);
  EXPECT_EQ(cc->onValue, 127);
  EXPECT_EQ(e.param(kAmpDistSw)->Value(), 1.0);
  // BUTTON_BLCK_ID: two frames of 20 x 20.
  EXPECT_EQ(e.control(kAmpDistSw)->GetRECT(), IRECT(10, 20, 30, 40));

  ControlAction* radio = e.action(kQuickTab);
  ASSERT_NE(radio, nullptr);
  EXPECT_EQ(radio->actionType, kActionNone);
  EXPECT_TRUE(e.param(kQuickTab)->GetIsMeta());
  EXPECT_EQ(e.param(kQuickTab)->GetMax(), 1.0);
  EXPECT_EQ(e.control(kQuickTab)->GetRECT(), IRECT(40, 8, 140, 48));  // half of 200 x 40

  // The switch without MIDI leaves the record it finds alone.
  ControlAction* link = e.action(kLayerLinker);
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->controls.size(), 1u);
  EXPECT_EQ(e.graphics.NControls(), 5);
  EXPECT_EQ(e.action(kRandomize)->actionType, kActionNone);
}

TEST(FactoriesTest, MenuTexts)
{
  const struct
  {
    const char* name;
    std::string element;
    int param;
    bool built;
    std::vector<std::string> texts;
  } cases[] = {
    {"drop menu, four texts",
     "<dropMenu type=\"dropSelection\" name=\"D\" paramId=\"kUserInterfaceSize\" bounds=\"0,0,50,13\" "
     "valueBounds=\"0,0,4\" valueList=\"four\"/>",
     kUserInterfaceSize, true, {"a", "b", "c", "d"}},
    {"drop menu, three texts for four values",
     "<dropMenu type=\"dropSelection\" name=\"D\" paramId=\"kUserInterfaceSize\" bounds=\"0,0,50,13\" "
     "valueBounds=\"0,0,4\" valueList=\"three\"/>",
     kUserInterfaceSize, false, {}},
    {"drop menu, no list, no numbers",
     "<dropMenu type=\"dropSelection\" name=\"D\" paramId=\"kUserInterfaceSize\" bounds=\"0,0,50,13\" "
     "valueBounds=\"0,0,4\" valueDisplay=\"1:4\"/>",
     kUserInterfaceSize, false, {}},
    {"CC menu, numbers",
     "<menucontrol type=\"ccMenu\" name=\"M\" paramId=\"kFilterType\" position=\"0,0,60,0\" valueBounds=\"0,0,12\" "
     "valueDisplay=\"-6:6\" ccNumber=\"9\"/>",
     kFilterType, true, {"-6", "-5", "-4", "-3", "-2", "-1", "0", "1", "2", "3", "4", "5"}},
    {"CC menu, one display number only",
     "<menucontrol type=\"ccMenu\" name=\"M\" paramId=\"kFilterType\" position=\"0,0,60,0\" valueBounds=\"0,0,12\" "
     "valueDisplay=\"6\" ccNumber=\"9\"/>",
     kFilterType, false, {}},
    // Numbers count on past the largest integer; one beyond the integers keeps its -1.
    {"CC menu, display numbers at the top of the integers",
     "<menucontrol type=\"ccMenu\" name=\"M\" paramId=\"kFilterType\" position=\"0,0,60,0\" valueBounds=\"0,0,3\" "
     "valueDisplay=\"2147483646:2147483647\" ccNumber=\"9\"/>",
     kFilterType, true, {"2147483646", "2147483647", "2147483648"}},
    {"CC menu, a display number beyond the integers",
     "<menucontrol type=\"ccMenu\" name=\"M\" paramId=\"kFilterType\" position=\"0,0,60,0\" valueBounds=\"0,0,3\" "
     "valueDisplay=\"4294967301:6\" ccNumber=\"9\"/>",
     kFilterType, true, {"-1", "0", "1"}},
    {"effect menu, numbers",
     "<multiFx type=\"Menu\" name=\"F\" paramId=\"kDummyParam01\" position=\"0,0,60,13\" valueBounds=\"0,0,3\" "
     "valueDisplay=\"1:3\" visible=\"1\"/>",
     kDummyParam01, true, {"1", "2", "3"}},
    {"text menu",
     "<dropMenu type=\"textSelection\" name=\"T\" paramId=\"kControlDisplayPatch\" bounds=\"0,0,60,13\"/>",
     kControlDisplayPatch, true, {"----"}},
  };
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.name);
    EditorConfig e(uiDocument(c.element), sysexDocument());
    IParam* p = e.param(c.param);
    EXPECT_EQ(e.graphics.NControls(), c.built ? 1 : 0);
    if (!c.built)
    {
      EXPECT_EQ(e.action(c.param), nullptr);
      continue;
    }
    ASSERT_EQ(p->GetNDisplayTexts(), (int)c.texts.size());
    for (size_t i = 0; i < c.texts.size(); ++i) EXPECT_STREQ(p->GetDisplayText((int)i), c.texts[i].c_str());
    EXPECT_EQ(e.graphics.GetControl(0)->GetPromptDisabled(), c.param == kControlDisplayPatch);
  }
  // The parameter keeps its four values when the menu is refused.
  EditorConfig e(uiDocument(cases[1].element), sysexDocument());
  EXPECT_EQ(e.param(kUserInterfaceSize)->GetMax(), 3.0);
}

TEST(FactoriesTest, PortMenuWithoutPortsHasNoValuesButACaption)
{
  EditorConfig e(uiDocument("<layer name=\"l\" id=\"1\"><dropMenu type=\"deviceSelection\" paramId=\"kDeviceInSelection\" "
                            "bounds=\"10,10,100,15\" inputDev=\"1,0\"/></layer>"),
                 sysexDocument());
  IParam* p = e.param(kDeviceInSelection);
  EXPECT_STREQ(p->GetNameForHost(), "Device Selection");
  EXPECT_EQ(p->GetNDisplayTexts(), (int)e.plug.getExternalMIDIInNames().size());
  // On the window whatever the layer.
  EXPECT_EQ(e.graphics.NControls(), 1);
  ASSERT_NE(e.layer("l"), nullptr);
  EXPECT_EQ(e.layer("l")->controls.GetSize(), 0);
}

// System-exclusive controls: tables, builders by parameter and lookup keys.
TEST(FactoriesTest, SysExControls)
{
  const std::string menu135 = "<menucontrol type=\"seMenu\" name=\"Src\" paramId=\"kVPatchSrc3\" position=\"0,0,60,0\" "
                              "valueBounds=\"0,0,4\" valueList=\"four\" sysexIndex=\"0\" changingByte=\"7\"/>";
  const std::string menu137 = "<menucontrol type=\"seMenu\" name=\"Src\" paramId=\"kVPatchSrc4\" position=\"0,0,60,0\" "
                              "valueBounds=\"0,0,4\" valueList=\"four\" sysexIndex=\"0\" changingByte=\"7\"/>";
  EditorConfig e(uiDocument(copies(menu135 + menu137) +
                            "<slidercontrol type=\"seSliderVer\" name=\"Sl\" imageId=\"BTN_18x18_ID\" "
                            "paramId=\"kMasterTune\" position=\"0,0,0,0\" length=\"80\" valueBounds=\"0,0,20,1\" "
                            "msgZeroVal=\"10\" sysexIndex=\"1\" changingByte=\"7\"/>"
                            "<buttoncontrol type=\"seButton\" name=\"B\" imageId=\"BUTTON_BLCK_ID\" "
                            "paramId=\"kArpOnOff\" position=\"0,0,0,0\" valueBounds=\"0\" sysexIndex=\"1\" "
                            "changingByte=\"7\"/>"
                            "<knobcontrol type=\"seKnob\" name=\"Short\" imageId=\"KNOB_ID127\" paramId=\"kArpGate\" "
                            "position=\"0,0,0,0\" valueBounds=\"0,0,10,1\" sysexIndex=\"2\" changingByte=\"7\"/>"
                            "<knobcontrol type=\"seKnob\" name=\"None\" imageId=\"KNOB_ID127\" paramId=\"kArpReso\" "
                            "position=\"0,0,0,0\" valueBounds=\"0,0,10,1\" sysexIndex=\"9\" changingByte=\"7\"/>"),
                 sysexDocument());
  // Copy 1: the two-byte builder moves byte 5 by two, the plain one by one.
  ControlAction* src3 = e.action(kVPatchSrc3 + 1);
  ControlAction* src4 = e.action(kVPatchSrc4 + 1);
  ASSERT_TRUE(src3 && src4);
  ASSERT_EQ(src3->sysExMessage.messages.size(), 5u);  // one more than the values
  EXPECT_EQ(src3->sysExMessage.messages[0][5], 2);
  EXPECT_EQ(src4->sysExMessage.messages[0][5], 1);
  EXPECT_EQ(src3->sysExMessage.messages[0][4], 0x20);
  EXPECT_EQ(e.config.sysExControls().findControl(0x58, 0x41, 0x20, 2, 0), src3->controls[0]);
  EXPECT_EQ(e.config.sysExControls().findControl(0x58, 0x41, 0x20, 1, 0), src4->controls[0]);

  // The slider counts from its message zero value; its values find their messages.
  ControlAction* slider = e.action(kMasterTune);
  ASSERT_EQ(slider->sysExMessage.messages.size(), 21u);
  EXPECT_EQ(slider->sysExMessage.messages[0][6], 10);
  EXPECT_EQ((*slider->sysExMessageForValue(20))[6], 30);
  // Fader length scaled like the position.
  EXPECT_EQ(e.control(kMasterTune)->GetRECT().H(), 80);

  ControlAction* button = e.action(kArpOnOff);
  EXPECT_EQ(button->actionType, kActionSysExSwitch);
  ASSERT_EQ(button->sysExMessage.messages.size(), 2u);
  EXPECT_EQ(button->sysExMessage.messages[1][6], 1);

  // A template too short for its value, or an index with no template: a knob that
  // sends nothing and is in no lookup, or no knob at all.
  ASSERT_NE(e.action(kArpGate), nullptr);
  EXPECT_TRUE(e.action(kArpGate)->sysExMessage.messages.empty());
  EXPECT_EQ(e.action(kArpReso), nullptr);
}

TEST(FactoriesTest, KnobParametersAndSharedRecords)
{
  EditorConfig e(uiDocument("<knobcontrol type=\"ccKnob\" name=\"Cut\" imageId=\"KNOB_ID127\" paramId=\"kFilterCutoff\" "
                            "position=\"10,10,0,0\" valueBounds=\"64,0,127,1\" ccNumber=\"74\"/>"
                            "<layer name=\"miniMixer\" id=\"1\"><slidercontrol type=\"ccSliderHor\" name=\"Cut\" "
                            "imageId=\"BTN_18x18_ID\" paramId=\"kFilterCutoff\" position=\"0,0,0,0\" length=\"50\" "
                            "valueBounds=\"64,0,127\" ccNumber=\"75\" channel=\"3\"/></layer>"
                            "<display paramId=\"kFilterCutoff\" bounds=\"0,0,20,10\" displaySize=\"1,0\"/>"),
                 sysexDocument());
  IParam* p = e.param(kFilterCutoff);
  EXPECT_EQ(p->GetMin(), 0.0);
  EXPECT_EQ(p->GetMax(), 127.0);
  EXPECT_EQ(p->GetDefault(), 64.0);
  ControlAction* a = e.action(kFilterCutoff);
  // One record for three controls; the display read last turns it silent.
  EXPECT_EQ(a->controls.size(), 3u);
  EXPECT_EQ(a->actionType, kActionNone);
  EXPECT_EQ(a->ccNumber, 75);
  // Both key paths stay registered.
  EXPECT_EQ(e.config.ccControls().findControl(0, 74, 0), a->controls[0]);
  EXPECT_EQ(e.config.ccControls().findControl(3, 75, 0), a->controls[1]);
}

TEST(FactoriesTest, DisplayStyles)
{
  const auto e_name = [](int param) {
    switch (param)
    {
      case 266: return "kSeq3Motion+1";
      case 267: return "kModSeq1Value01";
      case 314: return "kModSeq3Value16";
      case 315: return "kTimbreTune";
      default: return "kControlDisplayName";
    }
  };
  const struct
  {
    int param, kind;
    IColor colour;
    int size;
  } cases[] = {
    {266, 2, IColor(255, 0, 174, 255), 16}, {267, 2, IColor(225, 225, 225, 225), 16},
    {314, 2, IColor(225, 225, 225, 225), 16}, {315, 2, IColor(255, 0, 174, 255), 16},
    {495, 3, IColor(255, 50, 60, 70), 16},  {495, 1, IColor(255, 50, 60, 70), 15},
    {495, 0, IColor(255, 50, 60, 70), 14},  {495, 4, IColor(255, 50, 60, 70), 14},
  };
  for (const auto& c : cases)
  {
    EditorConfig e(uiDocument("<display paramId=\"" + std::string(e_name(c.param)) + "\" bounds=\"10,0,15,10\" displaySize=\"" +
                              std::to_string(c.kind) + ",0\"/>"),
                   sysexDocument(), 1.5);
    IControl* control = e.control(c.param);
    ASSERT_NE(control, nullptr) << c.param;
    EXPECT_EQ(control->GetText()->mColor, c.colour) << c.param << " " << c.kind;
    EXPECT_EQ(control->GetText()->mSize, (int)(c.size * 1.5));
    EXPECT_STREQ(control->GetText()->mFont, "NK57 Monospace");
    EXPECT_EQ(control->GetText()->mStyle, 0);
    EXPECT_EQ(control->GetText()->mAlign, 1);
    EXPECT_EQ(control->GetText()->mVAlign, 2);
    EXPECT_EQ(control->GetText()->mQuality, 3);
    EXPECT_EQ(control->GetRECT().L, 15);
    EXPECT_EQ(control->GetRECT().R, 37);
    EXPECT_TRUE(control->GetPromptDisabled());
  }
  EditorConfig names(uiDocument("<dropMenu type=\"nameSelection\" name=\"N\" paramId=\"kPatchName\" bounds=\"0,0,50,13\" nameLen=\"12\"/>"
                                "<dropMenu type=\"nameSelection\" name=\"S\" paramId=\"kPatchSearchString\" bounds=\"0,0,50,13\" nameLen=\"10\"/>"
                                "<dropMenu type=\"nameSelection\" name=\"R\" paramId=\"kPatchRename\" bounds=\"0,0,50,13\" nameLen=\"10\"/>"),
                     sysexDocument());
  EXPECT_STREQ(names.param(kPatchName)->GetDisplayText(0), "-- INIT --");
  EXPECT_EQ(names.control(kPatchName)->GetText()->mColor, IColor(255, 50, 60, 70));
  EXPECT_EQ(names.control(kPatchName)->GetTextEntryLength(), 12);
  EXPECT_FALSE(names.control(kPatchName)->GetPromptDisabled());
  EXPECT_STREQ(names.param(kPatchSearchString)->GetDisplayText(0), "search...");
  EXPECT_EQ(names.control(kPatchSearchString)->GetText()->mColor, IColor(255, 225, 225, 225));
  EXPECT_STREQ(names.param(kPatchRename)->GetDisplayText(0), "New Name");
  EXPECT_EQ(names.control(kPatchRename)->GetText()->mColor, IColor(255, 225, 225, 225));
  EXPECT_EQ(names.param(kPatchName)->Type(), kTypeText);
}
