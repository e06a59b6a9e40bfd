// Page and timbre switching over the editor's own configuration, and the display
// lines it writes.

#include "UiTestSupport.h"
#include "ui/DisplayLines.h"
#include "ui/TabSwitchFunctions.h"

#include <gtest/gtest.h>

#include <map>

namespace {

// One editor per test, so no test sees another's switches or images.
struct Fresh
{
  RealEditor editor{1.0};
};

}  // namespace

// Every page, timbre and flag combination against the state table of the pages,
// written from the table rather than from the switching steps.
TEST(PageSwitchTest, StateTableForEveryPageTimbreAndFlag)
{
  Fresh f;
  RecordingPageHost host(&f.editor);
  ControlLayer* root = host.layerNamed("root");
  ASSERT_NE(root, nullptr);
  root->Hide(false);
  int combinations = 0;
  for (int page = 0; page <= 4; ++page)
    for (int t = 0; t <= 1; ++t)
      for (int unsaved = 0; unsaved <= 1; ++unsaved)
        for (int search = 0; search <= 1; ++search)
          for (double mode : {0.0, 1.0, 2.0})
            for (double velocity : {7.0, 8.0})
              for (int locks = 0; locks < 4; ++locks)
                for (double delaySync : {0.0, 1.0})
                {
                  host.set(kBankEditUnsaved, unsaved);
                  host.search = search;
                  host.set(kCommonMode, mode);
                  host.set(kMasterVelocityArea, velocity);
                  host.lock1 = locks == 1;
                  host.lock2 = locks == 2;
                  host.sharedLock = locks == 3;
                  host.set(kDelayFxTempoSync, delaySync);
                  host.firstControlOf(kDataType)->GrayOut(false);
                  host.progressHidden = 0;
                  // A search menu left over from an earlier visit to the librarian.
                  host.layerNamed("RightSearchPopupMenu")->Hide(false);

                  TabSwitchFunctions().mainTabSwitch(&host, page, t);
                  ++combinations;
                  SCOPED_TRACE(testing::Message() << "page " << page << " timbre " << t << " unsaved " << unsaved
                                                  << " search " << search << " mode " << mode << " velocity "
                                                  << velocity << " locks " << locks << " delay sync " << delaySync);
                  for (int i = 0; i < root->children.GetSize(); ++i)
                    ASSERT_EQ(root->children.Get(i)->visible, root->children.Get(i)->id == page);
                  const bool lib = page == 1;
                  ASSERT_EQ(host.shown("miniMixer"), page >= 2);
                  ASSERT_EQ(host.shown("BANKEDITMENU"), lib);
                  ASSERT_EQ(host.shown("saveChangesLayer"), lib);
                  ASSERT_EQ(host.shown("LeftPatchPopupMenu"), lib && !unsaved);
                  ASSERT_EQ(host.shown("keepBankOpenLayer"), lib && !unsaved);
                  ASSERT_EQ(host.shown("discardChangesLayerRight"), lib && unsaved);
                  ASSERT_EQ(host.shown("searchField"), lib && search);
                  ASSERT_EQ(host.shown("RightSearchPopupMenu"), lib && search);
                  ASSERT_EQ(host.shown("RightPatchPopupMenu"), lib && !search);
                  ASSERT_EQ(host.shown("midiSettingsButton"), page == 4);
                  ASSERT_EQ(host.shown("velocityLevelLayer"), page == 4);
                  if (page == 4) { ASSERT_EQ(host.greyed("velocityLevelLayer"), velocity < 8); }
                  ASSERT_EQ(host.shown("delayKnobLayer"), page == 2 && delaySync == 0.0);
                  ASSERT_EQ(host.shown("delayMenuLayer"), page == 2 && delaySync != 0.0);
                  ASSERT_TRUE(host.shown("timbreControlLayer"));
                  ASSERT_EQ(host.greyed("timbreControlLayer"), mode == 0.0 || page == 1 || page == 4);
                  ASSERT_EQ(host.greyed("splitPointLayer"), mode != 1.0);
                  ASSERT_EQ(host.shown("releaseAllLocksLayer"),
                            (t == 0 && locks == 1) || (t == 1 && locks == 2) || locks == 3);
                  ASSERT_EQ(host.greyedControl(kRandomize), page == 4 || page == 0);
                  ASSERT_FALSE(host.greyedControl(kControlLibrary));
                  ASSERT_EQ(host.greyedControl(kShowLibrarian), page == 4);
                  ASSERT_EQ(host.greyedControl(kGlobalSettings), lib);
                  ASSERT_EQ(host.greyedControl(kShowModSequence), page == 1 || page == 4);
                  ASSERT_EQ(host.greyedControl(kDataType), lib);
                  ASSERT_EQ(host.progressHidden, lib ? 1 : 0);
                  for (const char* copies : {"mainOscLayer", "modSequence"})
                  {
                    ControlLayer* l = host.layerNamed(copies);
                    if (l->visible)
                    {
                      for (int c = 0; c < 2; ++c) ASSERT_EQ(l->children.Get(c)->visible, c == t) << copies;
                    }
                  }
                }
  EXPECT_EQ(combinations, 1920);
}

TEST(PageSwitchTest, LibrarianPageSelectsTheCurrentProgram)
{
  Fresh f;
  RecordingPageHost host(&f.editor);
  host.e->plug.GetParam(kCurrentPatch)->InitInt("Current Patch", 0, 0, 127);  // the controller makes it
  host.set(kCurrentPatch, 37);
  TabSwitchFunctions().mainTabSwitch(&host, 1, 0);
  EXPECT_EQ(host.selected, 37);
  EXPECT_EQ(host.drags, 1);
  EXPECT_EQ(host.changes, std::vector<int>{kCurrentBank});
}

// The zones of the sound page follow their switches, for both timbres.
TEST(PageSwitchTest, SoundPageZones)
{
  const struct
  {
    int lfo1Sync, lfo2Sync, assign, gate, wave;
    std::map<int, char> zones;  // 'S' shown, 'H' hidden, 'G' shown and greyed, 'E' shown and enabled
  } cases[] = {
    {1, 0, 0, 0, 0, {{11, 'S'}, {10, 'H'}, {20, 'S'}, {21, 'H'}, {60, 'S'}, {61, 'H'}, {30, 'E'}, {40, 'G'}, {50, 'E'}}},
    {0, 1, 1, 1, 5, {{10, 'S'}, {11, 'H'}, {21, 'S'}, {20, 'H'}, {61, 'S'}, {60, 'H'}, {30, 'G'}, {40, 'G'}, {50, 'G'}}},
    {0, 0, 2, 0, 3, {{10, 'S'}, {20, 'S'}, {60, 'S'}, {30, 'E'}, {40, 'E'}, {50, 'E'}}},
  };
  for (int t = 0; t <= 1; ++t)
    for (const auto& c : cases)
    {
      Fresh f;
  RecordingPageHost host(&f.editor);
      host.set(kLfo1TempoSync + t, c.lfo1Sync);
      host.set(kLfo2TempoSync + t, c.lfo2Sync);
      host.set(kVoiceAssign + t, c.assign);
      host.set(kAmpGateSw + t, c.gate);
      host.set(kOsc1Waveform + t, c.wave);
      TabSwitchFunctions().mainTabSwitch(&host, 2, t);
      ControlLayer* copy = host.layerNamed(t ? "mainOsc1" : "mainOsc0");
      for (const auto& z : c.zones)
        for (int i = 0; i < copy->children.GetSize(); ++i)
        {
          ControlLayer* zone = copy->children.Get(i);
          if (zone->id != z.first) continue;
          SCOPED_TRACE(testing::Message() << "timbre " << t << " zone " << z.first);
          EXPECT_EQ(zone->visible, z.second != 'H');
          if (z.second == 'G' || z.second == 'E') { EXPECT_EQ(zone->controls.Get(0)->IsGrayed(), z.second == 'G'); }
        }
      host.set(kLfo1TempoSync + t, 0);
      host.set(kLfo2TempoSync + t, 0);
      host.set(kVoiceAssign + t, 0);
      host.set(kAmpGateSw + t, 0);
      host.set(kOsc1Waveform + t, 0);
    }
}

TEST(PageSwitchTest, SequenceStepTextsAndZones)
{
  Fresh f;
  RecordingPageHost host(&f.editor);
  const int t = 1;
  host.set(kSeq1Step1 + t, 100);
  host.set(kSeq1Step1 + 2 + t, 0);
  host.set(kSeq1Step1 + 4 + t, 127);
  host.set(kSeq2Knob + t, 0);
  host.set(kSeq1Knob + t, 3);
  TabSwitchFunctions().mainTabSwitch(&host, 3, t);
  EXPECT_STREQ(host.lines.stepTexts[0]->GetTextForPlug(), "36");
  EXPECT_STREQ(host.lines.stepTexts[1]->GetTextForPlug(), "-64");
  EXPECT_STREQ(host.lines.stepTexts[2]->GetTextForPlug(), "63");
  ControlLayer* copy = host.layerNamed("modSeq1");
  for (int i = 0; i < copy->children.GetSize(); ++i)
  {
    ControlLayer* zone = copy->children.Get(i);
    EXPECT_TRUE(zone->visible) << zone->id;
    EXPECT_EQ(zone->controls.Get(0)->IsGrayed(), zone->id != 10) << zone->id;  // knobs 2 and 3 are 0
  }
  host.set(kSeq1Step1 + t, 0);
  host.set(kSeq1Step1 + 2 + t, 0);
  host.set(kSeq1Step1 + 4 + t, 0);
}

TEST(PageSwitchTest, TimbreSelectMessage)
{
  const struct
  {
    int page, timbre;
    bool outSet, hardware;
    std::vector<std::array<int, 3>> sent;
    int part;
  } cases[] = {
    {2, 1, true, false, {{0xB0 + 4, 95, 127}}, 1},
    {2, 0, true, false, {{0xB0 + 4, 95, 0}}, 0},
    {3, 1, false, false, {}, 1},
    {2, 1, true, true, {}, 1},
    {0, 1, true, false, {}, -1},
  };
  for (const auto& c : cases)
  {
    Fresh f;
  RecordingPageHost host(&f.editor);
    host.set(kGlobalMidiChannel, 4);
    TabSwitchFunctions().mainTabSwitch(&host, c.page, 0);
    host.outSet = c.outSet;
    host.hardwareChange = c.hardware;
    TabSwitchFunctions().quickTabSwitch(&host, c.timbre);
    EXPECT_EQ(host.sent, c.sent) << c.page << " " << c.timbre;
    EXPECT_EQ(host.currentPart, c.part);
  }
}

TEST(DisplayLinesTest, LinesAndValueStrings)
{
  Fresh f;
  RecordingPageHost host(&f.editor);
  DisplayLines& lines = host.lines;
  ASSERT_TRUE(lines.nameLine && lines.valueLine && lines.ccLine && lines.timbreLine && lines.buildLine);
  lines.displayText("Cutoff", "64", "CC 74");
  EXPECT_STREQ(lines.ccLine->GetTextForPlug(), "CC 74");
  lines.nameLine->SetClean();
  lines.displayText("Cutoff", "65", "CC 74");
  EXPECT_FALSE(lines.nameLine->IsDirty());  // same text: not dirty again
  EXPECT_TRUE(lines.valueLine->IsDirty());
  lines.displayText("", "", "");
  EXPECT_STREQ(lines.nameLine->GetTextForPlug(), "");

  DisplayLines::StepTexts texts;
  for (int k = 0; k < 16; ++k) texts[(size_t)k] = "s" + std::to_string(k);
  lines.displaySequence1Values(texts);
  DisplayLines::StepTexts other;
  other.fill("x");
  lines.displaySequence2Values(other);
  EXPECT_STREQ(lines.stepTexts[15]->GetTextForPlug(), "s15");
  EXPECT_STREQ(lines.stepTexts[16]->GetTextForPlug(), "x");
  EXPECT_STRNE(lines.stepTexts[32]->GetTextForPlug(), "x");

  for (auto [value, text] : std::vector<std::pair<double, const char*>>{
           {36.0, "36"}, {-64.0, "-64"}, {2.5, "2"}, {3.5, "4"}, {-0.4, "-0"}, {0.0, "0"}})
    EXPECT_EQ(DisplayLines::getValueString(value), text) << value;
}

// A display parameter whose first control is a knob gets no line, and writing to
// it changes nothing, rather than treating the knob as text.
TEST(DisplayLinesTest, FirstControlOfAnotherKindIsNoLine)
{
  EditorConfig e(uiDocument("<knobcontrol type=\"ccKnob\" name=\"K\" imageId=\"KNOB_ID127\" paramId=\"kControlDisplayName\" "
                            "position=\"0,0,0,0\" valueBounds=\"0,0,127,1\" ccNumber=\"9\"/>"
                            "<display paramId=\"kControlDisplayName\" bounds=\"0,0,20,10\" displaySize=\"1,0\"/>"
                            "<display paramId=\"kControlDisplayValue\" bounds=\"0,0,20,10\" displaySize=\"1,0\"/>"),
                 sysexDocument());
  DisplayLines lines;
  lines.bind(e.config);
  EXPECT_EQ(lines.nameLine, nullptr);
  ASSERT_NE(lines.valueLine, nullptr);
  lines.displayText("name", "value", "cc");
  EXPECT_STREQ(lines.valueLine->GetTextForPlug(), "value");
}
