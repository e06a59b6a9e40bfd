#include "TestPlug.h"

#include <gtest/gtest.h>

#include <string>

#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>

namespace {

struct ParamRow
{
  const char* what;
  std::function<void(IParam*)> init;
  IParamKind kind;
  double value, def, min, max, step, shape;
  int precision, nTexts;
  const char* display;      // GetDisplayForHost of the current value, with display texts
  const char* hostLabel;    // GetLabelForHost
};

// Every kind the editor makes, with the range, step, shape, texts and default
// each Init operation must leave (worked out by hand from the rules).
const std::vector<ParamRow>& ParamRows()
{
  static const std::vector<ParamRow> rows = {
      {"bool on", [](IParam* p) { p->InitBool("Arp On", true, "", "Timbre 1", -1, -1); },
       kTypeBool, 1, 1, 0, 1, 1, 1, 0, 2, "on", ""},
      {"bool off with label", [](IParam* p) { p->InitBool("Sync", false, "sw", "", -1, -1); },
       kTypeBool, 0, 0, 0, 1, 1, 1, 0, 2, "off", ""},
      {"enum of four", [](IParam* p) {
         p->InitEnum("Wave", 2, 4, "", "Timbre 1:OSC", -1, -1);
         const char* t[] = {"Saw", "Pulse", "Tri", "Sine"};
         for (int i = 0; i < 4; ++i) p->SetDisplayText(i, t[i]);
       },
       kTypeEnum, 2, 2, 0, 3, 1, 1, 0, 4, "Tri", ""},
      {"enum of one", [](IParam* p) { p->InitEnum("Solo", 0, 1, "", "", -1, -1); },
       kTypeEnum, 0, 0, 0, 1, 1, 1, 0, 0, "0", ""},
      {"enum of none", [](IParam* p) { p->InitEnum("Empty", 0, 0, "", "", -1, -1); },
       kTypeEnum, 0, 0, 0, 1, 1, 1, 0, 0, "0", ""},
      {"int", [](IParam* p) { p->InitInt("Transpose", 0, -12, 12, "semi", "Timbre 2", -1, -1); },
       kTypeInt, 0, 0, -12, 12, 1, 1, 0, 0, "0", "semi"},
      {"int of one value", [](IParam* p) { p->InitInt("Fixed", 5, 5, 5, "", "", -1, -1); },
       kTypeInt, 5, 5, 5, 6, 1, 1, 0, 0, "5", ""},
      {"int default outside", [](IParam* p) { p->InitInt("Wide", 200, 0, 127, "", "", -1, -1); },
       kTypeInt, 200, 200, 0, 127, 1, 1, 0, 0, "200", ""},
      {"double quarter step", [](IParam* p) { p->InitDouble("Cutoff", 0.5, 0.0, 1.0, 0.25, "", "", -1, -1); },
       kTypeDouble, 0.5, 0.5, 0, 1, 0.25, 1, 2, 0, "0.50", ""},
      {"double fine step", [](IParam* p) { p->InitDouble("Fine", -0.25, -1.0, 1.0, 0.001, "ct", "", -1, -1); },
       kTypeDouble, -0.25, -0.25, -1, 1, 0.001, 1, 3, 0, "-0.250", "ct"},
      {"double tiny step", [](IParam* p) { p->InitDouble("Tiny", 0.0, 0.0, 1.0, 0.0000001, "", "", -1, -1); },
       kTypeDouble, 0, 0, 0, 1, 0.0000001, 1, 6, 0, "0.000000", ""},
      {"double max below min", [](IParam* p) { p->InitDouble("Upside", 10.0, 10.0, 5.0, 1.0, "", "", -1, -1); },
       kTypeDouble, 10, 10, 10, 11, 1, 1, 0, 0, "10", ""},
      {"double shaped", [](IParam* p) {
         p->InitDouble("Env", 2.5, 0.0, 10.0, 0.5, "ms", "", -1, -1);
         p->SetShape(2.0);
       },
       kTypeDouble, 2.5, 2.5, 0, 10, 0.5, 2, 1, 0, "2.5", "ms"},
      {"double negated", [](IParam* p) {
         p->InitDouble("Detune", 3.0, -50.0, 50.0, 1.0, "", "", -1, -1);
         p->SetNegateDisplay();
       },
       kTypeDouble, 3, 3, -50, 50, 1, 1, 0, 0, "-3", ""},
      {"text", [](IParam* p) {
         p->InitEnum("Program Name", 0, 1, "", "Program", -1, -1);
         p->InitText();
         p->SetDisplayText(0, "Init Patch");
       },
       kTypeText, 0, 0, 0, 0, 1, 1, 0, 1, "Init Patch", ""},
      {"untouched", [](IParam*) {},
       kTypeNone, 0, 0, 0, 1, 1, 1, 0, 0, "0", ""},
  };
  return rows;
}

void ExpectRow(const IParam* p, const ParamRow& r, int idx)
{
  SCOPED_TRACE(testing::Message() << "param " << idx << ": " << r.what);
  EXPECT_EQ(p->Type(), r.kind);
  EXPECT_DOUBLE_EQ(p->Value(), r.value);
  EXPECT_DOUBLE_EQ(p->GetDefault(), r.def);
  EXPECT_DOUBLE_EQ(p->GetMin(), r.min);
  EXPECT_DOUBLE_EQ(p->GetMax(), r.max);
  EXPECT_DOUBLE_EQ(p->GetStep(), r.step);
  EXPECT_DOUBLE_EQ(p->GetShape(), r.shape);
  EXPECT_EQ(p->GetPrecision(), r.precision);
  EXPECT_EQ(p->GetNDisplayTexts(), r.nTexts);
  char text[IParam::kDisplayTextLen];
  p->GetDisplayForHost(text);
  EXPECT_STREQ(text, r.display);
  EXPECT_STREQ(p->GetLabelForHost(), r.hostLabel);
  const double n = p->GetNormalized();
  EXPECT_TRUE(n >= 0.0 && n <= 1.0) << n;
  EXPECT_FALSE(p->GetIsMeta());
  EXPECT_TRUE(p->GetCanAutomate());
  EXPECT_EQ(p->GetControlAction(), nullptr);
}

}  // namespace

TEST(Param, EditorObjectHas529ParametersOfEveryKind)
{
  std::unique_ptr<RecordingPlug> plug(RecordingPlug::MakeEditorLike());
  ASSERT_EQ(plug->NParams(), 529);
  EXPECT_EQ(plug->NAutomatableParams(), 0);
  EXPECT_EQ(plug->NonAutomatedParamCount(), 529);
  const auto& rows = ParamRows();
  for (int i = 0; i < plug->NParams(); ++i) rows[i % rows.size()].init(plug->GetParam(i));
  for (int i = 0; i < plug->NParams(); ++i) ExpectRow(plug->GetParam(i), rows[i % rows.size()], i);
  EXPECT_EQ(plug->GetParam(529), nullptr);
  EXPECT_EQ(plug->GetParam(-1), nullptr);
}

TEST(Param, FreshParameterDefaults)
{
  IParam p;
  ExpectRow(&p, ParamRows().back(), 0);
  EXPECT_STREQ(p.GetNameForHost(), "");
  EXPECT_FALSE(p.GetNegateDisplay());
  EXPECT_EQ(p.GetTag1(), 0);
  EXPECT_EQ(p.GetTag2(), 0);
}

TEST(Param, InitStoresTextsAndTagsAndCutsLongOnes)
{
  IParam p;
  const std::string longName(80, 'n');
  p.InitInt(longName.c_str(), 0, 0, 10, "dB", "Timbre 1:Filter", 7, -3);
  EXPECT_EQ(strlen(p.GetNameForHost()), 54u);
  EXPECT_STREQ(p.GetParamGroupForHost(), "Timbre 1:Filter");
  EXPECT_STREQ(p.GetLabelForHost(), "dB");
  EXPECT_EQ(p.GetTag1(), 7);
  EXPECT_EQ(p.GetTag2(), -3);
  p.SetDisplayText(0, std::string(300, 't').c_str());
  EXPECT_EQ(strlen(p.GetDisplayText(0)), 255u);
}

TEST(Param, SecondInitKeepsFirstKindTakesNewRange)
{
  IParam p;
  p.InitInt("First", 1, 0, 10, "", "", -1, -1);
  p.InitDouble("Second", 0.5, -1.0, 1.0, 0.1, "", "", -1, -1);
  EXPECT_EQ(p.Type(), kTypeInt);
  EXPECT_STREQ(p.GetNameForHost(), "Second");
  EXPECT_DOUBLE_EQ(p.GetMin(), -1.0);
  EXPECT_DOUBLE_EQ(p.GetMax(), 1.0);
  EXPECT_EQ(p.GetPrecision(), 1);
}

TEST(Param, InitTextAlwaysMakesATextParameter)
{
  IParam a, b, c;
  a.InitEnum("Name", 0, 1, "", "", -1, -1);
  a.InitText();
  b.InitBool("Flag", true, "", "", -1, -1);
  b.InitText();
  c.InitText();
  EXPECT_EQ(a.Type(), kTypeText);
  EXPECT_EQ(b.Type(), kTypeText);
  EXPECT_EQ(c.Type(), kTypeText);
  EXPECT_STREQ(a.GetNameForHost(), "Name");  // nothing else changes
  EXPECT_DOUBLE_EQ(b.Value(), 1.0);
}

TEST(Param, PrecisionFollowsTheStep)
{
  const struct { double step; int precision; } cases[] = {
      {1.0, 0}, {5.0, 0}, {0.5, 1}, {0.1, 1}, {0.25, 2}, {0.01, 2}, {0.001, 3}, {0.125, 3}, {0.0001, 4}, {0.0000001, 6}, {1.0 / 3.0, 6},
  };
  for (const auto& c : cases)
  {
    IParam p;
    p.InitDouble("x", 0.0, 0.0, 100.0, c.step, "", "", -1, -1);
    EXPECT_EQ(p.GetPrecision(), c.precision) << c.step;
  }
}

TEST(Param, SetNormalizedShapesSnapsAndLimits)
{
  const struct { double shape; IParamKind kind; double n, expected; } cases[] = {
      {1.0, kTypeInt, 0.5, 5.0},
      {2.0, kTypeInt, 0.5, 3.0},     // 2.5 before snapping, halves round up
      {1.0, kTypeInt, 0.04, 0.0},    // 0.4 snaps down
      {1.0, kTypeInt, 0.05, 1.0},    // 0.5 snaps up
      {1.0, kTypeInt, 1.0, 10.0},
      {1.0, kTypeInt, 0.0, 0.0},
      {2.0, kTypeDouble, 0.5, 2.5},  // doubles do not snap
  };
  for (const auto& c : cases)
  {
    IParam p;
    if (c.kind == kTypeInt) p.InitInt("x", 0, 0, 10, "", "", -1, -1);
    else p.InitDouble("x", 0.0, 0.0, 10.0, 1.0, "", "", -1, -1);
    p.SetShape(c.shape);
    p.SetNormalized(c.n);
    EXPECT_DOUBLE_EQ(p.Value(), c.expected) << c.shape << " " << c.n;
  }

  IParam d;
  d.InitDouble("d", 0.0, 0.0, 1.0, 0.25, "", "", -1, -1);
  d.SetNormalized(0.3);
  EXPECT_DOUBLE_EQ(d.Value(), 0.3);

  // A minimum that is not a multiple of the step can be snapped below it.
  IParam e;
  e.InitEnum("e", 0, 4, "", "", -1, -1);
  e.InitDouble("e", 0.3, 0.3, 3.3, 1.0, "", "", -1, -1);
  e.SetNormalized(0.0);
  EXPECT_DOUBLE_EQ(e.Value(), 0.0);
}

TEST(Param, NormalizedRoundTripOnTheCurve)
{
  IParam p;
  p.InitDouble("x", 0.0, -20.0, 60.0, 0.01, "", "", -1, -1);
  p.SetShape(3.0);
  for (double n = 0.0; n <= 1.0; n += 0.125)
  {
    p.SetNormalized(n);
    EXPECT_NEAR(p.GetNormalized(), n, 1e-12);
  }
  // Values outside the range are limited before normalising.
  EXPECT_DOUBLE_EQ(p.GetNormalized(100.0), 1.0);
  EXPECT_DOUBLE_EQ(p.GetNormalized(-100.0), 0.0);
}

TEST(Param, SetShapeIgnoresZero)
{
  IParam p;
  p.SetShape(2.0);
  p.SetShape(0.0);
  EXPECT_DOUBLE_EQ(p.GetShape(), 2.0);
}

TEST(Param, OneEntryEnumNormalisesToZeroNotNaN)
{
  IParam p;
  p.InitEnum("Program Name", 0, 1, "", "", -1, -1);
  p.InitText();
  p.ResetDisplayTexts();
  p.SetDisplayText(0, "Init");
  ASSERT_DOUBLE_EQ(p.GetMax(), p.GetMin());
  EXPECT_EQ(p.GetNormalized(), 0.0);
  EXPECT_EQ(p.GetNormalized(3.0), 0.0);
  p.SetNormalized(0.7);
  EXPECT_EQ(p.Value(), 0.0);
  char text[IParam::kDisplayTextLen];
  p.GetDisplayForHost(1.0, true, text);
  EXPECT_STREQ(text, "Init");
}

TEST(Param, DisplayTextsFollowTheirValues)
{
  IParam p;
  p.InitEnum("e", 0, 10, "", "", -1, -1);
  EXPECT_DOUBLE_EQ(p.GetMax(), 9.0);
  p.ResetDisplayTexts();
  p.SetDisplayText(0, "A");
  p.SetDisplayText(1, "B");
  p.SetDisplayText(2, "C");
  EXPECT_DOUBLE_EQ(p.GetMax(), 2.0);  // the last value registered
  p.SetDisplayText(1, "b");           // rewriting an entry keeps the range
  EXPECT_DOUBLE_EQ(p.GetMax(), 2.0);
  EXPECT_STREQ(p.GetDisplayText(1), "b");
  EXPECT_STREQ(p.GetDisplayText(7), "");

  int v = -9;
  EXPECT_STREQ(p.GetDisplayTextAtIdx(2, &v), "C");
  EXPECT_EQ(v, 2);
  EXPECT_TRUE(p.MapDisplayText("b", &v));
  EXPECT_EQ(v, 1);
  v = 42;
  EXPECT_FALSE(p.MapDisplayText("B", &v));  // case counts
  EXPECT_FALSE(p.MapDisplayText("c", &v));
  EXPECT_EQ(v, 42);

  p.Set(2.7);
  char text[IParam::kDisplayTextLen];
  p.GetDisplayForHost(text);
  EXPECT_STREQ(text, "C");
  p.GetDisplayForHost(-0.5, false, text);
  EXPECT_STREQ(text, "A");                   // truncation toward zero
  p.GetDisplayForHost(1.0, true, text);     // normalised 1.0 is the value 2
  EXPECT_STREQ(text, "C");
  p.GetDisplayForHost(2.0, false, text, false);
  EXPECT_STREQ(text, "2");

  // Device names select their MIDI port by name: two long names that differ only
  // near their ends stay whole and apart.
  const std::string longA = std::string(200, 'n') + ":MIDI Out A", longB = std::string(200, 'n') + ":MIDI Out B";
  p.SetDisplayText(3, longA.c_str());
  p.SetDisplayText(4, longB.c_str());
  EXPECT_EQ(std::string(p.GetDisplayText(3)), longA);
  EXPECT_TRUE(p.MapDisplayText(longB.c_str(), &v));
  EXPECT_EQ(v, 4);
  p.GetDisplayForHost(4.0, false, text);
  EXPECT_EQ(std::string(text), longB);
}

TEST(Param, BoolShowsItsTextOrItsNumber)
{
  IParam p;
  p.InitBool("b", true, "unit", "", -1, -1);
  char text[IParam::kDisplayTextLen];
  p.GetDisplayForHost(text, true);
  EXPECT_STREQ(text, "on");
  p.GetDisplayForHost(text, false);
  EXPECT_STREQ(text, "1");
  EXPECT_STREQ(p.GetLabelForHost(), "");
  p.SetDisplayText(1, "");  // an empty entry lets the number and the label show
  p.GetDisplayForHost(text, true);
  EXPECT_STREQ(text, "1");
  EXPECT_STREQ(p.GetLabelForHost(), "unit");
}

TEST(Param, DisplayTextGapIsFilledNotOverrun)
{
  IParam p;
  p.InitEnum("e", 0, 2, "", "", -1, -1);
  p.SetDisplayText(3, "D");
  ASSERT_EQ(p.GetNDisplayTexts(), 4);
  EXPECT_DOUBLE_EQ(p.GetMax(), 3.0);
  for (int i = 0; i < 3; ++i)
  {
    int v = -1;
    EXPECT_STREQ(p.GetDisplayTextAtIdx(i, &v), "");
    EXPECT_EQ(v, i);
  }
  EXPECT_STREQ(p.GetDisplayText(3), "D");

  // Far beyond what the list can hold: refused, nothing changes.
  p.SetDisplayText(INT_MAX, "X");
  p.SetDisplayText(1 << 30, "X");
  EXPECT_EQ(p.GetNDisplayTexts(), 4);
  EXPECT_DOUBLE_EQ(p.GetMax(), 3.0);
}

TEST(Param, DisplayTextAtIdxOutsideTheListReadsNothing)
{
  IParam p;
  p.InitBool("b", false, "", "", -1, -1);
  const int idx[] = {2, 3, 1000, -1, INT_MIN};
  for (int i : idx)
  {
    int v = 77;
    EXPECT_STREQ(p.GetDisplayTextAtIdx(i, &v), "") << i;
    EXPECT_EQ(v, 77) << i;
  }
  EXPECT_STREQ(p.GetDisplayTextAtIdx(5, nullptr), "");
}

TEST(Param, NegativeValueAppendsAndKeepsTheRange)
{
  IParam p;
  p.InitEnum("Device Selection", 0, 3, "", "", -1, -1);
  p.SetDisplayText(0, "OFF");
  p.SetDisplayText(1, "Port A");
  p.SetDisplayText(2, "Port B");
  p.SetDisplayText(-1, "Port B");
  ASSERT_EQ(p.GetNDisplayTexts(), 4);
  EXPECT_DOUBLE_EQ(p.GetMax(), 2.0);
  EXPECT_DOUBLE_EQ(p.GetMin(), 0.0);
  int v = 0;
  EXPECT_STREQ(p.GetDisplayTextAtIdx(3, &v), "Port B");
  EXPECT_EQ(v, -1);
  EXPECT_STREQ(p.GetDisplayText(-1), "Port B");
  EXPECT_STREQ(p.GetDisplayText(0), "OFF");  // entries before it are untouched
  EXPECT_STREQ(p.GetDisplayText(2), "Port B");

  IParam empty;
  empty.SetDisplayText(-1, "first");
  EXPECT_EQ(empty.GetNDisplayTexts(), 1);
  EXPECT_DOUBLE_EQ(empty.GetMax(), 1.0);
}

TEST(Param, SetLimitsPlainValues)
{
  IParam p;
  p.InitInt("x", 0, 0, 127, "", "", -1, -1);
  p.Set(200.0);
  EXPECT_DOUBLE_EQ(p.Value(), 127.0);
  p.Set(-5.0);
  EXPECT_DOUBLE_EQ(p.Value(), 0.0);
  p.Set(NAN);
  EXPECT_DOUBLE_EQ(p.Value(), 0.0);
  p.Set(INFINITY);
  EXPECT_DOUBLE_EQ(p.Value(), 127.0);
}

TEST(Param, NumberFormNeverOutgrowsItsBuffer)
{
  IParam p;
  p.InitDouble("huge", 0.0, -1e300, 1e300, 0.5, "", "", -1, -1);
  char text[IParam::kDisplayTextLen];
  memset(text, 'x', sizeof(text));
  p.GetDisplayForHost(1e300, false, text);
  EXPECT_LE(strlen(text), (size_t)IParam::kMaxNumberLen);
  IParam q;
  q.InitInt("int", 0, INT_MIN, INT_MAX, "", "", -1, -1);
  q.GetDisplayForHost(-1e12, false, text);
  EXPECT_STREQ(text, "-1000000000000");
}

TEST(Param, BoundsAndGain)
{
  IParam p;
  p.InitDouble("gain", 20.0, -60.0, 20.0, 0.1, "dB", "", -1, -1);
  double lo = 0, hi = 0;
  p.GetBounds(&lo, &hi);
  EXPECT_DOUBLE_EQ(lo, -60.0);
  EXPECT_DOUBLE_EQ(hi, 20.0);
  EXPECT_NEAR(p.DBToAmp(), 10.0, 1e-9);  // 20 dB is a factor of ten
  p.Set(0.0);
  EXPECT_DOUBLE_EQ(p.DBToAmp(), 1.0);
}
