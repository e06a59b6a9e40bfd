// Which control answers a point or a parameter when several overlap: children
// before own controls, later children before earlier ones, later controls before
// earlier ones, at every level.

#include "gui/GuiTestUtil.h"
#include "ui/ControlLayer.h"

#include <gtest/gtest.h>

namespace {

RecordingControl* add(ControlLayer* layer, int param, const char* name)
{
  auto* c = new RecordingControl(nullptr, IRECT(0, 0, 10, 10), param, name);
  layer->controls.Add(c);
  return c;
}

}  // namespace

TEST(HitOrderTest, TopmostChildAndControlWinAtEveryLevel)
{
  // root: own a, b; children c1 (own c, d; children g1 (own e), g2 (own f)) and c2 (own h, i).
  ControlLayer root(0, "root");
  RecordingControl* a = add(&root, 7, "a");
  RecordingControl* b = add(&root, 7, "b");
  ControlLayer* c1 = new ControlLayer(1, "c1");
  ControlLayer* c2 = new ControlLayer(2, "c2");
  root.children.Add(c1);
  root.children.Add(c2);
  RecordingControl* c = add(c1, 7, "c");
  RecordingControl* d = add(c1, 7, "d");
  ControlLayer* g1 = new ControlLayer(3, "g1");
  ControlLayer* g2 = new ControlLayer(4, "g2");
  c1->children.Add(g1);
  c1->children.Add(g2);
  RecordingControl* e = add(g1, 7, "e");
  RecordingControl* f = add(g2, 7, "f");
  RecordingControl* h = add(c2, 7, "h");
  RecordingControl* i = add(c2, 7, "i");
  (void)a;
  (void)c;
  (void)e;
  (void)h;

  // For each case: which layers are visible and which controls hidden, and the
  // control both look-ups must answer.
  const struct
  {
    bool c1, c2, g1, g2;
    std::vector<RecordingControl*> hidden;
    IControl* expected;
  } cases[] = {
    {true, true, true, true, {}, i},          // the last child wins over the first
    {true, false, true, true, {}, f},         // in the first child, its last child
    {true, false, true, false, {}, e},        // then the earlier grandchild
    {true, false, false, false, {}, d},       // then the child's own last control
    {true, false, false, false, {d}, c},      // a hidden control is passed over
    {false, false, true, true, {}, b},        // a hidden child hides its children too
    {false, true, false, false, {i}, h},
    {false, false, false, false, {b}, a},
  };
  for (size_t n = 0; n < sizeof cases / sizeof cases[0]; ++n)
  {
    const auto& k = cases[n];
    SCOPED_TRACE(n);
    root.visible = true;
    c1->visible = k.c1;
    c2->visible = k.c2;
    g1->visible = k.g1;
    g2->visible = k.g2;
    for (RecordingControl* x : {a, b, c, d, e, f, h, i}) x->Hide(false);
    for (RecordingControl* x : k.hidden) x->Hide(true);
    EXPECT_EQ(root.isHit(5, 5), k.expected);
    // Looking up a parameter passes over hidden controls only by their layers.
    IControl* byParam = root.getControlFromParam(7);
    if (k.hidden.empty()) { EXPECT_EQ(byParam, k.expected); }
  }
  root.visible = false;
  EXPECT_EQ(root.isHit(5, 5), nullptr);
  EXPECT_EQ(root.getControlFromParam(7), nullptr);
}
