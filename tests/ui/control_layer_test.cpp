#include "gui/GuiTestUtil.h"
#include "ui/ControlLayer.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

namespace {

// A layer with one child per id, each child with one control, all shown or
// hidden as the test sets them.
struct Tree
{
  explicit Tree(std::initializer_list<int> ids) : root(new ControlLayer(100, "root"))
  {
    for (int id : ids)
    {
      ControlLayer* child = new ControlLayer(id, "child" + std::to_string(id));
      child->controls.Add(new RecordingControl(nullptr, IRECT(id, 0, id + 1, 1)));
      root->children.Add(child);
      byId[id] = child;
    }
  }
  // Each child visible or not, as given, without going through Hide.
  void setVisible(int id, bool visible) { byId.at(id)->visible = visible; }
  bool visible(int id) const { return byId.at(id)->visible; }

  std::unique_ptr<ControlLayer> root;
  std::map<int, ControlLayer*> byId;
};

}  // namespace

TEST(ControlLayerTest, FreshLayer)
{
  ControlLayer layer(7, "page");
  EXPECT_EQ(layer.id, 7);
  EXPECT_EQ(layer.name, "page");
  EXPECT_FALSE(layer.visible);
  EXPECT_EQ(layer.selectedChildId, 0);
  EXPECT_FALSE(layer.ignoreHiddenWhenUpdatingScreen);
  EXPECT_EQ(layer.controls.GetSize(), 0);
  EXPECT_EQ(layer.children.GetSize(), 0);
}

// For each case: the children, which start visible, the selection, and what each
// child is afterwards: 'S' shown, 'H' hidden; children not listed keep their state.
TEST(ControlLayerTest, ShowMultiLayersBands)
{
  const struct
  {
    std::vector<int> children;
    int selected;
    std::map<int, char> after;
  } cases[] = {
    {{0, 10, 20, 30, 35, 40, 200}, 30, {{30, 'S'}, {0, 'H'}, {35, 'H'}, {200, 'H'}}},
    {{0, 10, 12, 20, 70, 150, 250, 300}, 12, {{12, 'S'}, {0, 'H'}, {10, 'H'}, {70, 'H'}, {150, 'H'}, {250, 'H'}}},
    {{0, 1, 10, 200, 300}, 5, {}},
    {{0, 190, 195, 199, 250, 150}, 195, {{195, 'S'}, {0, 'H'}, {190, 'H'}, {199, 'H'}}},
    {{0, 3, 10, 150, 200, 299, 300}, 250, {{0, 'S'}, {3, 'S'}, {200, 'S'}, {299, 'S'}}},
    {{-4, 0, 99, 100, 105, 108, 109, 110, 210, 300}, 109,
     {{109, 'S'}, {-4, 'H'}, {0, 'H'}, {100, 'H'}, {105, 'H'}, {108, 'H'}, {210, 'H'}}},
    {{-2, 5, 300, 310, 250}, 310, {{310, 'S'}, {-2, 'H'}, {5, 'H'}, {300, 'H'}}},
    {{-1, 15, 19, 25}, 15, {{15, 'S'}, {-1, 'H'}, {19, 'H'}}},
  };
  for (const auto& c : cases)
  {
    ControlLayer root(0, "root");
    std::map<int, ControlLayer*> byId;
    for (int id : c.children)
    {
      ControlLayer* child = new ControlLayer(id, "c");
      child->visible = true;
      root.children.Add(child);
      byId[id] = child;
    }
    root.showMultiLayers(c.selected);
    EXPECT_EQ(root.selectedChildId, c.selected);
    for (int id : c.children)
    {
      const auto it = c.after.find(id);
      const bool expected = it == c.after.end() ? true : it->second == 'S';
      EXPECT_EQ(byId[id]->visible, expected) << "selected " << c.selected << ", child " << id;
    }
  }
}

TEST(ControlLayerTest, ShowMultiLayersHidesWhatWasShownBefore)
{
  Tree t({0, 10, 11, 20, 30, 31, 70});
  t.root->showMultiLayers(30);
  t.root->showMultiLayers(10);
  EXPECT_TRUE(t.visible(10));
  EXPECT_TRUE(t.visible(30));  // 10-19 leaves 20 to 69 alone
  EXPECT_FALSE(t.visible(11));
  EXPECT_FALSE(t.visible(70));
  t.root->showMultiLayers(31);
  EXPECT_TRUE(t.visible(31));
  EXPECT_FALSE(t.visible(30));
  EXPECT_TRUE(t.visible(10));
  // No matching child: every affected child is hidden.
  t.root->showMultiLayers(35);
  EXPECT_FALSE(t.visible(30));
  EXPECT_FALSE(t.visible(31));
}

TEST(ControlLayerTest, EmptyLayer)
{
  ControlLayer layer(1, "empty");
  layer.visible = true;
  IRECT area(1, 2, 3, 4);
  EXPECT_FALSE(layer.isDirty(&area));
  EXPECT_EQ(area, IRECT(1, 2, 3, 4));
  EXPECT_EQ(layer.isHit(2, 3), nullptr);
  EXPECT_EQ(layer.getControlFromParam(0), nullptr);
  layer.Draw(nullptr, &area);
  layer.showMultiLayers(20);
  EXPECT_EQ(layer.selectedChildId, 20);
}

TEST(ControlLayerTest, ShowingShowsOnlyTheSelectedBranch)
{
  Tree t({0, 1, 1, 2});
  // Two children share id 1; the map keeps the last, so look at the list.
  t.root->selectedChildId = 1;
  ControlLayer* grandchild = new ControlLayer(4, "deep");
  grandchild->controls.Add(new RecordingControl(nullptr, IRECT(0, 0, 1, 1)));
  t.root->children.Get(1)->children.Add(grandchild);
  t.root->children.Get(1)->selectedChildId = 4;

  t.root->Hide(false);
  EXPECT_TRUE(t.root->visible);
  EXPECT_FALSE(t.root->children.Get(0)->visible);
  EXPECT_TRUE(t.root->children.Get(1)->visible);
  EXPECT_TRUE(t.root->children.Get(2)->visible);
  EXPECT_FALSE(t.root->children.Get(3)->visible);
  EXPECT_TRUE(grandchild->visible);
  EXPECT_FALSE(grandchild->controls.Get(0)->IsHidden());

  t.root->Hide(true);
  for (int i = 0; i < t.root->children.GetSize(); ++i) EXPECT_FALSE(t.root->children.Get(i)->visible);
  EXPECT_FALSE(grandchild->visible);
  EXPECT_TRUE(grandchild->controls.Get(0)->IsHidden());
  EXPECT_EQ(t.root->children.Get(1)->selectedChildId, 4);

  // No child matches: only the own controls show.
  t.root->selectedChildId = 9;
  t.root->controls.Add(new RecordingControl(nullptr, IRECT(0, 0, 1, 1)));
  t.root->Hide(false);
  EXPECT_FALSE(t.root->controls.Get(0)->IsHidden());
  for (int i = 0; i < t.root->children.GetSize(); ++i) EXPECT_FALSE(t.root->children.Get(i)->visible);
}

TEST(ControlLayerTest, HideMarksTheWholeSubtreeDirty)
{
  Tree t({0, 1});
  IRECT none;
  t.root->Draw(nullptr, &none);  // cleans everything
  t.root->Hide(true);
  for (auto& kv : t.byId) EXPECT_TRUE(kv.second->controls.Get(0)->IsDirty());
}

TEST(ControlLayerTest, GreyingAndRestoring)
{
  Tree t({0, 1, 2});
  t.root->controls.Add(new RecordingControl(nullptr, IRECT(0, 0, 1, 1)));
  t.root->selectedChildId = 1;
  t.root->GrayOut(true);
  EXPECT_TRUE(t.root->controls.Get(0)->IsGrayed());
  for (auto& kv : t.byId) EXPECT_TRUE(kv.second->controls.Get(0)->IsGrayed());
  t.root->GrayOut(false);
  EXPECT_FALSE(t.root->controls.Get(0)->IsGrayed());
  EXPECT_TRUE(t.byId[0]->controls.Get(0)->IsGrayed());
  EXPECT_FALSE(t.byId[1]->controls.Get(0)->IsGrayed());
  EXPECT_TRUE(t.byId[2]->controls.Get(0)->IsGrayed());
}

TEST(ControlLayerTest, GrayOutCustomZone)
{
  Tree t({9, 10, 12, 252, 253});
  t.root->controls.Add(new RecordingControl(nullptr, IRECT(0, 0, 1, 1)));
  for (int zone : {9, 253, 5, 300})
  {
    t.root->GrayOutCustomZone(true, zone);
    EXPECT_EQ(t.root->selectedChildId, zone);
    for (auto& kv : t.byId) EXPECT_FALSE(kv.second->controls.Get(0)->IsGrayed()) << zone;
  }
  t.root->GrayOutCustomZone(true, 12);
  t.root->GrayOutCustomZone(true, 252);
  EXPECT_TRUE(t.byId[12]->controls.Get(0)->IsGrayed());
  EXPECT_TRUE(t.byId[252]->controls.Get(0)->IsGrayed());
  EXPECT_FALSE(t.byId[10]->controls.Get(0)->IsGrayed());
  EXPECT_FALSE(t.root->controls.Get(0)->IsGrayed());
  t.root->GrayOutCustomZone(false, 12);
  EXPECT_FALSE(t.byId[12]->controls.Get(0)->IsGrayed());
}

TEST(ControlLayerTest, GrayOutUserArpFollowsTheStepCount)
{
  Tree t({1, 3, 4, 16, 252, 253, 300});
  for (bool gray : {true, false})
  {
    t.root->GrayOutUserArp(gray, 210, 3);
    EXPECT_EQ(t.root->selectedChildId, 210);
    for (int id : {4, 16, 252}) EXPECT_TRUE(t.byId[id]->controls.Get(0)->IsGrayed()) << id;
    for (int id : {1, 3, 253, 300}) EXPECT_FALSE(t.byId[id]->controls.Get(0)->IsGrayed()) << id;
  }
  // Outside 200..252 only the selection changes.
  t.root->GrayOutUserArp(true, 199, 0);
  EXPECT_EQ(t.root->selectedChildId, 199);
  EXPECT_FALSE(t.byId[1]->controls.Get(0)->IsGrayed());
}

TEST(ControlLayerTest, DirtyCollection)
{
  ControlLayer layer(0, "l");
  RecordingControl* first = new RecordingControl(nullptr, IRECT(10, 10, 20, 20));
  RecordingControl* second = new RecordingControl(nullptr, IRECT(30, 30, 40, 40));
  RecordingControl* empty = new RecordingControl(nullptr, IRECT());
  layer.controls.Add(first);
  layer.controls.Add(second);
  layer.controls.Add(empty);

  IRECT area;
  EXPECT_FALSE(layer.isDirty(&area));  // invisible, no ignore flag
  EXPECT_TRUE(area.Empty());

  layer.visible = true;
  EXPECT_TRUE(layer.isDirty(&area));
  EXPECT_EQ(area, IRECT(10, 10, 40, 40));

  // A dirty control with an empty rectangle counts without widening the area.
  first->SetClean();
  second->SetClean();
  area = IRECT();
  EXPECT_TRUE(layer.isDirty(&area));
  EXPECT_TRUE(area.Empty());

  // Hidden with the ignore flag: only the first control (made dirty by the hide)
  // contributes, the others are hidden without their own flag.
  layer.setIgnoreHiddenWhenUpdatingScreen(true);
  layer.Hide(true);
  area = IRECT();
  EXPECT_TRUE(layer.isDirty(&area));
  EXPECT_EQ(area, IRECT(10, 10, 20, 20));
  EXPECT_TRUE(first->GetUpdateWhenHidden());
  EXPECT_FALSE(second->GetUpdateWhenHidden());
}

TEST(ControlLayerTest, IgnoreFlagReachesEveryDescendant)
{
  Tree t({0, 1});
  ControlLayer* deep = new ControlLayer(2, "deep");
  t.byId[1]->children.Add(deep);
  t.byId[1]->ignoreHiddenWhenUpdatingScreen = true;
  t.root->setIgnoreHiddenWhenUpdatingScreen(true);
  EXPECT_TRUE(deep->ignoreHiddenWhenUpdatingScreen);
  EXPECT_TRUE(t.byId[0]->controls.Get(0)->GetUpdateWhenHidden());
  t.root->setIgnoreHiddenWhenUpdatingScreen(false);
  EXPECT_FALSE(t.byId[1]->ignoreHiddenWhenUpdatingScreen);
  EXPECT_FALSE(t.byId[0]->controls.Get(0)->GetUpdateWhenHidden());
}

TEST(ControlLayerTest, DrawDrawsTheShownControlsInOrderAndCleansAll)
{
  std::vector<std::string> journal;
  ControlLayer layer(0, "l");
  layer.visible = true;
  layer.controls.Add(new RecordingControl(nullptr, IRECT(0, 0, 10, 10), -1, "a", &journal));
  layer.controls.Add(new RecordingControl(nullptr, IRECT(50, 50, 60, 60), -1, "outside", &journal));
  layer.controls.Add(new RecordingControl(nullptr, IRECT(5, 5, 15, 15), -1, "b", &journal));
  RecordingControl* hidden = new RecordingControl(nullptr, IRECT(0, 0, 10, 10), -1, "hidden", &journal);
  layer.controls.Add(hidden);
  hidden->Hide(true);
  ControlLayer* off = new ControlLayer(1, "off");
  off->controls.Add(new RecordingControl(nullptr, IRECT(0, 0, 10, 10), -1, "off", &journal));
  layer.children.Add(off);
  ControlLayer* on = new ControlLayer(2, "on");
  on->visible = true;
  on->controls.Add(new RecordingControl(nullptr, IRECT(0, 0, 10, 10), -1, "child", &journal));
  layer.children.Add(on);

  IRECT area(0, 0, 20, 20);
  layer.Draw(nullptr, &area);
  EXPECT_EQ(journal, (std::vector<std::string>{"a:draw", "b:draw", "child:draw"}));
  layer.Draw(nullptr, &area);
  IRECT dirty;
  layer.visible = true;
  EXPECT_FALSE(layer.isDirty(&dirty));
  EXPECT_FALSE(off->controls.Get(0)->IsDirty());

  // An empty area draws nothing.
  journal.clear();
  for (int i = 0; i < layer.controls.GetSize(); ++i) layer.controls.Get(i)->SetDirty(false);
  IRECT none;
  layer.Draw(nullptr, &none);
  EXPECT_TRUE(journal.empty());
}

TEST(ControlLayerTest, HitTestingTakesChildrenFirstAndTheLastFirst)
{
  ControlLayer layer(0, "l");
  RecordingControl* low = new RecordingControl(nullptr, IRECT(0, 0, 10, 10), -1, "low");
  RecordingControl* high = new RecordingControl(nullptr, IRECT(0, 0, 10, 10), -1, "high");
  layer.controls.Add(low);
  layer.controls.Add(high);
  ControlLayer* child = new ControlLayer(1, "child");
  RecordingControl* inChild = new RecordingControl(nullptr, IRECT(0, 0, 5, 5), -1, "child");
  child->controls.Add(inChild);
  layer.children.Add(child);

  EXPECT_EQ(layer.isHit(1, 1), nullptr);  // invisible
  layer.visible = true;
  EXPECT_EQ(layer.isHit(1, 1), high);
  child->visible = true;
  EXPECT_EQ(layer.isHit(1, 1), inChild);
  EXPECT_EQ(layer.isHit(7, 7), high);

  // A grey but visible control is still hit; the input dispatch asks to skip it.
  high->GrayOut(true);
  EXPECT_EQ(layer.isHit(7, 7), high);
  EXPECT_EQ(layer.isHit(7, 7, true), low);
  high->Hide(true);
  EXPECT_EQ(layer.isHit(7, 7), low);
  EXPECT_EQ(layer.isHit(70, 7), nullptr);
}

TEST(ControlLayerTest, ValuesReachHiddenControlsAndInvisibleChildren)
{
  ControlLayer layer(0, "l");
  RecordingControl* a = new RecordingControl(nullptr, IRECT(0, 0, 1, 1), 3);
  RecordingControl* aux = new RecordingControl(nullptr, IRECT(0, 0, 1, 1), 4);
  aux->AddAuxParam(3);
  a->Hide(true);
  layer.controls.Add(a);
  layer.controls.Add(aux);
  ControlLayer* child = new ControlLayer(1, "child");
  RecordingControl* b = new RecordingControl(nullptr, IRECT(0, 0, 1, 1), 3);
  child->controls.Add(b);
  layer.children.Add(child);

  layer.SetParameterFromPlug(3, 0.5, true);
  layer.SetParameterFromPlug(3, 0.75, false);
  EXPECT_EQ(a->GetValue(), 0.75);
  EXPECT_EQ(b->GetValue(), 0.75);
  EXPECT_EQ(aux->GetAuxParam(0)->mValue, 0.75);
  EXPECT_EQ(aux->GetValue(), 0.0);

  // Lookup by parameter: invisible layers give nothing, children come first.
  EXPECT_EQ(layer.getControlFromParam(3), nullptr);
  layer.visible = true;
  EXPECT_EQ(layer.getControlFromParam(3), a);  // hidden controls are found too
  child->visible = true;
  EXPECT_EQ(layer.getControlFromParam(3), b);
  EXPECT_EQ(layer.getControlFromParam(9), nullptr);
}

TEST(ControlLayerTest, DestructionOrder)
{
  std::vector<std::string> journal;
  {
    ControlLayer layer(0, "l");
    layer.controls.Add(new RecordingControl(nullptr, IRECT(), -1, "first", &journal));
    layer.controls.Add(new RecordingControl(nullptr, IRECT(), -1, "second", &journal));
    ControlLayer* child = new ControlLayer(1, "child");
    child->controls.Add(new RecordingControl(nullptr, IRECT(), -1, "child", &journal));
    layer.children.Add(child);
  }
  EXPECT_EQ(journal, (std::vector<std::string>{"second:deleted", "first:deleted", "child:deleted"}));
}
