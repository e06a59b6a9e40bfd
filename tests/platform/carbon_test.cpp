#include "platform/carbon/Components.h"
#include "platform/carbon/Gestalt.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(Gestalt, ReportsTheSystemVersionAndRefusesUnknownSelectors)
{
  const struct { OSType sel; SInt32 want; } cases[] = {
      {gestaltSystemVersion, 0x1068}, {gestaltSystemVersionMajor, 10}, {gestaltSystemVersionMinor, 6}, {gestaltSystemVersionBugFix, 8}};
  for (const auto& c : cases)
  {
    SInt32 v = 0;
    EXPECT_EQ(Gestalt(c.sel, &v), noErr);
    EXPECT_EQ(v, c.want);
  }
  EXPECT_EQ(gestaltSystemVersion, 0x73797376u);
  SInt32 v = 5;
  EXPECT_EQ(Gestalt(MakeOSType("zzzz"), &v), gestaltUndefSelectorErr);
  EXPECT_EQ(v, 5);
  EXPECT_EQ(Gestalt(gestaltSystemVersion, nullptr), paramErr);
  EXPECT_EQ(ReplaceGestaltValue(MakeOSType("zzzz"), 9), noErr);
  EXPECT_EQ(Gestalt(MakeOSType("zzzz"), &v), noErr);
  EXPECT_EQ(v, 9);
}

struct Call
{
  SInt16 what;
  std::vector<uintptr_t> args;
  void* storage;
};
std::vector<Call> gCalls;
ComponentResult gOpenResult = noErr;
int gStorageTag = 0;

ComponentResult FakeEntry(ComponentParameters* p, void* storage)
{
  Call c{p->what, {}, storage};
  for (int i = 0; i < p->paramSize / (int)sizeof(uintptr_t); ++i) c.args.push_back(p->params[i]);
  gCalls.push_back(c);
  switch (p->what)
  {
    case kComponentOpenSelect:
      if (gOpenResult == noErr) SetComponentInstanceStorage(ComponentArg<ComponentInstance>(p, 0), &gStorageTag);
      return gOpenResult;
    case kComponentCanDoSelect: return ComponentArg<SInt16>(p, 0) == 5 ? 1 : 0;
    case kComponentVersionSelect: return 0x20008;
    case 7: return ComponentHasArgs(p, 2) && ComponentArg<Float32>(p, 1) == 0.25f ? noErr : paramErr;
    default: return noErr;
  }
}

TEST(Components, RegisterFindOpenCallClose)
{
  gCalls.clear();
  gOpenResult = noErr;
  const ComponentDescription desc = {MakeOSType("aumu"), MakeOSType("dvrx"), MakeOSType("QhS1"), 0, 0};
  Component c = RegisterComponent(&desc, FakeEntry, "Quiet Harbor Sound: Davrel Editor");
  ASSERT_NE(c, nullptr);
  ComponentDescription looking = {MakeOSType("aumu"), 0, MakeOSType("QhS1"), 0, 0};
  EXPECT_EQ(FindNextComponent(nullptr, &looking), c);
  EXPECT_EQ(FindNextComponent(c, &looking), nullptr);
  looking.componentSubType = MakeOSType("xxxx");
  EXPECT_EQ(FindNextComponent(nullptr, &looking), nullptr);

  ComponentInstance ci = nullptr;
  ASSERT_EQ(OpenAComponent(c, &ci), noErr);
  ASSERT_EQ(gCalls.size(), 1u);
  EXPECT_EQ(gCalls[0].what, kComponentOpenSelect);
  EXPECT_EQ(gCalls[0].args[0], (uintptr_t)ci);
  EXPECT_EQ(gCalls[0].storage, nullptr);
  EXPECT_EQ(GetComponentInstanceStorage(ci), &gStorageTag);

  ComponentDescription got = {};
  EXPECT_EQ(GetComponentInfo(ci, &got), noErr);
  EXPECT_EQ(got.componentSubType, MakeOSType("dvrx"));
  EXPECT_EQ(UnregisterComponent(c), validInstancesExist);

  EXPECT_EQ(CallComponentCanDo(ci, 5), 1);
  EXPECT_EQ(CallComponentCanDo(ci, 6), 0);
  EXPECT_EQ(CallComponentVersion(ci), 0x20008);
  EXPECT_EQ(CallComponent(ci, 7, {ComponentWord(-3), ComponentWord(0.25f)}), noErr);
  EXPECT_EQ(gCalls.back().storage, &gStorageTag);
  const Call& last = gCalls.back();
  ComponentParameters p = {};
  p.paramSize = 2 * sizeof(uintptr_t);
  p.params[0] = last.args[0];
  EXPECT_EQ(ComponentArg<SInt32>(&p, 0), -3);
  EXPECT_TRUE(ComponentHasArgs(&p, 2));
  EXPECT_FALSE(ComponentHasArgs(&p, 3));

  EXPECT_EQ(CloseComponent(ci), noErr);
  EXPECT_EQ(gCalls.back().what, kComponentCloseSelect);
  EXPECT_EQ(UnregisterComponent(c), noErr);
  EXPECT_EQ(UnregisterComponent(c), invalidComponentID);
}

TEST(Components, FailedOpenLeavesNoInstanceAndBadHandlesAreRefused)
{
  gOpenResult = -42;
  const ComponentDescription desc = {MakeOSType("aufx"), MakeOSType("fail"), MakeOSType("QhS1"), 0, 0};
  Component c = RegisterComponent(&desc, FakeEntry, "failing");
  ComponentInstance ci = reinterpret_cast<ComponentInstance>(1);
  EXPECT_EQ(OpenAComponent(c, &ci), -42);
  EXPECT_EQ(ci, nullptr);
  EXPECT_EQ(UnregisterComponent(c), noErr);
  gOpenResult = noErr;
  EXPECT_EQ(CallComponentVersion(nullptr), badComponentInstance);
  EXPECT_EQ(CloseComponent(nullptr), badComponentInstance);
  EXPECT_EQ(RegisterComponent(&desc, nullptr, "x"), nullptr);
  EXPECT_EQ(OpenAComponent(nullptr, &ci), invalidComponentID);
  EXPECT_EQ(badComponentSelector, (ComponentResult)0x80008002u);
}

}  // namespace
