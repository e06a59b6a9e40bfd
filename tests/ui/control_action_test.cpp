// Create-or-rewrite of the sending records and the link partner.

#include "gui/GuiTestUtil.h"
#include "config/UIConfigManager.h"
#include "ui/ControlAction.h"

#include <gtest/gtest.h>

namespace {

// A manager bound to a plug-in of the editor's 529 parameters, with no resources.
struct Bound
{
  Bound() : graphics(&plug)
  {
    config.setResourceLoader([](int, const char*) { return LoadedResource(); });
    config.readUIConfig(&graphics, nullptr, nullptr, 0, 1.0);
  }
  ControlAction* action(int id) { return static_cast<ControlAction*>(plug.GetParam(id)->GetControlAction()); }

  RecordingPlug plug{529};
  HeadlessGraphics graphics;
  UIConfigManager config;
};

}  // namespace

TEST(ControlActionTest, FreshRecord)
{
  ControlAction a(kActionCC);
  EXPECT_EQ(a.lastValue, -1.0);
  EXPECT_EQ(a.part, -1);
  EXPECT_EQ(a.actionType, kActionCC);
  for (int field : {a.ccNumber, a.msbValue, a.valueOffset, a.lsbValue, a.channelKey, a.subKey, a.offValue, a.onValue})
    EXPECT_EQ(field, -1);
  EXPECT_TRUE(a.controls.empty());
  EXPECT_EQ(a.linkInfo.param1, -1);
  EXPECT_EQ(a.linkInfo.param2, -1);
  EXPECT_EQ(a.linkInfo.value, -1);
  EXPECT_EQ(a.valueLayer, nullptr);
  EXPECT_FALSE(a.sysExMessage.multiMessage);
  EXPECT_TRUE(a.sysExMessage.messages.empty());
}

// A second factory for the same parameter rewrites the type and keeps the rest.
TEST(ControlActionTest, CreateOrRewrite)
{
  Bound b;
  ControlAction* first = b.config.controlActionFor(24, kActionCC);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(b.action(24), first);
  first->controls.push_back(nullptr);
  first->lastValue = 12.0;
  first->ccNumber = 74;
  ControlAction* second = b.config.controlActionFor(24, kActionSysEx);
  EXPECT_EQ(second, first);
  EXPECT_EQ(second->actionType, kActionSysEx);
  EXPECT_EQ(second->controls.size(), 1u);
  EXPECT_EQ(second->lastValue, 12.0);
  EXPECT_EQ(b.config.controlActionCount(), 1);
  EXPECT_EQ(b.config.controlActionFor(-1, kActionCC), nullptr);
  EXPECT_EQ(b.config.controlActionFor(529, kActionCC), nullptr);
}

// For each case: the element's parameter, its link (ids as the walk hands them,
// already moved by the timbre copy) and copy, and what both records end with.
TEST(ControlActionTest, LinkPartner)
{
  const struct
  {
    const char* name;
    int id;
    LinkInfo link;
    int channel;
    int partner;  // -1: no partner record, and no link on the own record
    LinkInfo partnerLink;
  } cases[] = {
    {"top level", 315, {316, 315, -1}, -1, 316, {315, 315, -1}},
    {"first copy", 300, {310, 320, -1}, 0, 310, {300, 320, -1}},
    {"second copy", 301, {311, 321, -1}, 1, 311, {301, 321, -1}},
    {"no first", 315, {-1, 315, -1}, -1, -1, {}},
    {"no second", 315, {316, -1, -1}, -1, -1, {}},
    {"past the last parameter", 528, {529, 528, -1}, -1, -1, {}},
  };
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.name);
    Bound b;
    ControlAction* own = b.config.controlActionFor(c.id, kActionCC);
    b.config.recordLink(own, c.id, c.link, c.channel);
    if (c.partner < 0)
    {
      EXPECT_EQ(own->linkInfo.param1, -1);
      EXPECT_EQ(b.config.controlActionCount(), 1);
      continue;
    }
    EXPECT_EQ(own->linkInfo.param1, c.link.param1);
    EXPECT_EQ(own->linkInfo.param2, c.link.param2);
    ControlAction* partner = b.action(c.partner);
    ASSERT_NE(partner, nullptr);
    EXPECT_EQ(partner->actionType, kActionSysEx);  // placeholder until its own element
    EXPECT_EQ(partner->linkInfo.param1, c.partnerLink.param1);
    EXPECT_EQ(partner->linkInfo.param2, c.partnerLink.param2);
    EXPECT_EQ(partner->linkInfo.value, -1);
    // Its own element comes later: type rewritten, link kept.
    EXPECT_EQ(b.config.controlActionFor(c.partner, kActionNRPN), partner);
    EXPECT_EQ(partner->actionType, kActionNRPN);
    EXPECT_EQ(partner->linkInfo.param1, c.partnerLink.param1);
  }
}
