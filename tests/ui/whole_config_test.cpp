// The editor's own configuration, read the way the editor reads it: from the
// bundle the build makes, at the three editor sizes. Every control must be bound to
// a parameter that exists, every image and value list must resolve, and the pages
// must have the layers the page switching and the controller ask for.

#include "UiTestSupport.h"
#include "config/ParamIds.h"

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <set>

namespace {

// The parameters of the program and global dumps, which the pages must show: the
// sound parameters of both timbres, the timbre settings, the global settings, the
// program name, the common voice settings and the section locks.
std::vector<int> dumpParameters()
{
  std::vector<int> ids;
  for (int id = 0; id <= 97; ++id) ids.push_back(id);
  for (int id = kLfo1Waveform; id <= kSeq3Motion + 1; ++id) ids.push_back(id);
  for (int id = kTimbreTune; id <= kTimbreTranspose + 1; ++id) ids.push_back(id);
  for (int id = kOverrideTempo; id <= kMIDIFilterWriteProtect; ++id) ids.push_back(id);
  for (int id : {(int)kLockPartMIDIch, kLockPartMIDIch + 1, (int)kPatchName, (int)kCommonMode, (int)kCommonVoices,
                 (int)kCommonSplitPoint})
    ids.push_back(id);
  for (int id = kSectionLockOsc1; id <= kSectionLockGlobal; ++id)
    if (id != kSectionLockGlobal) ids.push_back(id);
  return ids;
}

std::vector<int> numbers(const tinyxml2::XMLElement* e, const char* attribute)
{
  std::vector<int> v(4, 0);
  if (const char* t = e->Attribute(attribute)) UIConfigManager::getCSValues(t, v.data(), 4);
  return v;
}

// Every attribute of every element checked against the tables; the first miss fails.
void checkElements(const tinyxml2::XMLElement* parent, const UIConfigManager& config, std::string* miss)
{
  for (const tinyxml2::XMLElement* e = parent->FirstChildElement(); e && miss->empty(); e = e->NextSiblingElement())
  {
    const std::string element = e->Name();
    if (element == "valueLists") continue;
    const std::string where = element + " " + (e->Attribute("name") ? e->Attribute("name") : "") + " at line " +
                              std::to_string(e->GetLineNum());
    if (const char* paramId = e->Attribute("paramId"))
    {
      std::vector<std::string> pieces;
      UIConfigManager::Tokenize(paramId, pieces, "+");
      if (pieces.empty() || config.getParamByName(pieces[0]) < 0) *miss = where + ": no parameter " + paramId;
    }
    else if (element != "background" && element != "patchBrowser" && element.find("layer") == std::string::npos)
      *miss = where + ": no paramId";
    if (const char* image = e->Attribute("imageId"))
    {
      ImageInfo info;
      if (!config.getImageInfoByName(image, &info)) *miss = where + ": no image " + image;
    }
    if (const char* list = e->Attribute("valueList"))
    {
      const std::vector<int> vb = numbers(e, "valueBounds");
      if ((int)config.getValueList(list).size() != vb[2] - vb[1])
        *miss = where + ": list " + list + " holds " + std::to_string(config.getValueList(list).size()) +
                " texts for " + std::to_string(vb[2] - vb[1]) + " values";
    }
    if (e->Attribute("sysexIndex"))
    {
      const SysExContainer* c = config.getSysExContainer(e->IntAttribute("sysexIndex"));
      std::vector<int> bytes;
      if (!c || c->values.empty() || c->values[0].empty() || !config.parseSysExTemplate(c->values[0][0], &bytes) ||
          (int)bytes.size() < 8 || e->IntAttribute("changingByte") < 1 ||
          e->IntAttribute("changingByte") > (int)bytes.size())
        *miss = where + ": no usable template at sysexIndex " + e->Attribute("sysexIndex");
    }
    if (element.find("layer") != std::string::npos) checkElements(e, config, miss);
  }
}

}  // namespace

TEST(WholeConfigTest, EveryElementResolves)
{
  RealEditor editor(1.0);
  tinyxml2::XMLDocument doc;
  ASSERT_EQ(doc.LoadFile(DAVREL_TEST_SOURCE_DIR "/resources/uiconfig.xml"), tinyxml2::XML_SUCCESS);
  std::string miss;
  checkElements(doc.FirstChildElement("uiconfig"), editor.config, &miss);
  EXPECT_EQ(miss, "");
}

TEST(WholeConfigTest, EveryControlIsBoundAndEveryDumpParameterShown)
{
  RealEditor editor(1.0);
  std::set<int> shown;
  for (IControl* control : editor.allControls())
  {
    const int id = control->ParamIdx();
    if (id < 0) continue;  // backgrounds
    ASSERT_LT(id, kNumParams);
    shown.insert(id);
    // The controls without MIDI of the effect section keep no record; all others
    // are in their parameter's record.
    if (ControlAction* a = editor.action(id))
    {
      EXPECT_NE(std::find(a->controls.begin(), a->controls.end(), control), a->controls.end()) << id;
    }
    // An image that resolved gives a control a size.
    EXPECT_FALSE(control->GetRECT().W() <= 0 || control->GetRECT().H() <= 0) << "control of parameter " << id;
  }
  for (int id : dumpParameters()) EXPECT_TRUE(shown.count(id)) << "parameter " << id << " has no control";
  // Records that send: a MIDI address or a table for every value.
  for (int id = 0; id < kNumParams; ++id)
  {
    ControlAction* a = editor.action(id);
    if (!a) continue;
    if (a->actionType == kActionSysEx || a->actionType == kActionSysExSwitch)
    {
      const IParam* p = editor.plug.GetParam(id);
      for (int v = (int)p->GetMin(); v <= (int)p->GetMax(); ++v)
        EXPECT_NE(a->sysExMessageForValue(v), nullptr) << "parameter " << id << " value " << v;
    }
    if (a->actionType == kActionCC || a->actionType == kActionCCSwitch) { EXPECT_GE(a->ccNumber, 0) << id; }
    if (a->actionType == kActionNRPN) { EXPECT_GE(a->msbValue, 0) << id; }
  }
}

TEST(WholeConfigTest, LayersThePagesAndTheControllerNeed)
{
  RealEditor editor(1.0);
  for (const char* name :
       {"root", "multiModeMixer", "patchLibrarian", "mainOscLayer", "modSequence", "globalSettings", "aboutWindow",
        "firstRunNotification", "midiFilterSettings", "midiSettingsButton", "patchRename", "miniMixer",
        "timbreControlLayer", "delayKnobLayer", "delayMenuLayer", "velocityLevelLayer", "splitPointLayer",
        "saveChangesLayer", "releaseAllLocksLayer", "discardChangesLayerRight", "keepBankOpenLayer", "searchField"})
    EXPECT_NE(editor.config.getLayer(name), nullptr) << name;
  ControlLayer* root = editor.config.getLayer("root");
  ASSERT_NE(root, nullptr);
  ASSERT_GE(root->children.GetSize(), 5);
  for (int page = 0; page <= 4; ++page) EXPECT_EQ(root->children.Get(page)->id, page);
  EXPECT_EQ(root->children.Get(2), editor.config.getLayer("mainOscLayer"));
  EXPECT_EQ(root->children.Get(3), editor.config.getLayer("modSequence"));
  for (const char* page : {"mainOscLayer", "modSequence"})
  {
    ControlLayer* l = editor.config.getLayer(page);
    for (int t = 0; t < 2; ++t) EXPECT_EQ(l->children.Get(t)->id, t) << page;
  }
  // The zones the sound page selects, in both timbres.
  for (const char* copy : {"mainOsc0", "mainOsc1"})
  {
    std::set<int> zones;
    std::function<void(ControlLayer*)> walk = [&](ControlLayer* l) {
      for (int i = 0; i < l->children.GetSize(); ++i) zones.insert(l->children.Get(i)->id);
    };
    walk(editor.config.getLayer(copy));
    for (int zone : {10, 11, 20, 21, 30, 40, 50, 60, 61}) EXPECT_TRUE(zones.count(zone)) << copy << " zone " << zone;
  }
  // The display lines and step texts are text controls, first in their records.
  std::vector<int> texts = {kControlDisplayName, kControlDisplayValue, kControlDisplayCC, kControlDisplayTimbre,
                            kControlDisplayBuild};
  for (int id = kModSeq1Value01; id <= kModSeq3Value16; ++id) texts.push_back(id);
  for (int id : texts)
  {
    ControlAction* a = editor.action(id);
    ASSERT_TRUE(a && !a->controls.empty()) << id;
    EXPECT_NE(dynamic_cast<ITextControl*>(a->controls[0]), nullptr) << id;
  }
  // The controls the controller greys are there.
  for (int id : {kRandomize, kControlLibrary, kShowLibrarian, kGlobalSettings, kShowModSequence, kDataType})
    EXPECT_TRUE(editor.action(id) && !editor.action(id)->controls.empty()) << id;
}

// The editor comes up at each size without a missing parameter, image or list.
TEST(WholeConfigTest, StartsCleanAtEverySize)
{
  for (double scale : {0.75, 1.0, 1.25})
  {
    SCOPED_TRACE(scale);
    RealEditor editor(scale);
    for (const char* problem : {"NOT FOUND", "MISSING", "not defined", "cannot be loaded", "was not loaded",
                                "has no parameter", "holds no template", "no system-exclusive", "creates nothing"})
      EXPECT_EQ(editor.console.find(problem), std::string::npos) << problem << "\n" << editor.console;
    for (const std::string& line : editor.log) EXPECT_EQ(line.find("NOT FOUND"), std::string::npos) << line;
    EXPECT_GT(editor.config.controlActionCount(), 400);
  }
}
