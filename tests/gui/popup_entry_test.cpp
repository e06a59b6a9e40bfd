// Popup menus and text entries of the editor's view, answered and typed
// by a script.

#include "ViewTestUtil.h"

namespace {

class PopupTest : public ViewFixture
{
protected:
  IPopupMenu* show(IPopupMenu* menu)
  {
    IRECT r(10, 10, 40, 30);
    return g->CreateIPopupMenu(menu, &r);
  }
};

using EntryTest = ViewFixture;

}  // namespace

TEST_F(PopupTest, PrefixesCountSeparators)
{
  Open();
  IPopupMenu menu;
  menu.SetPrefix(2);
  menu.AddItem("Init");
  menu.AddSeparator();
  menu.AddItem("Load");
  script->chooseMenuItem({2});
  IPopupMenu* chosen = show(&menu);
  ASSERT_EQ(chosen, &menu);
  EXPECT_EQ(menu.GetChosenItemIdx(), 2);
  ASSERT_EQ(script->menusShown.size(), 1u);
  const auto& shown = script->menusShown[0];
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].title, "01: Init");
  EXPECT_TRUE(shown[1].separator);
  EXPECT_EQ(shown[2].title, "03: Load");
}

TEST_F(PopupTest, ASubmenuChoiceReturnsTheSubmenu)
{
  Open();
  IPopupMenu menu;
  menu.AddItem("Top");
  IPopupMenu* sub = new IPopupMenu;
  sub->AddItem("A");
  sub->AddItem("B");
  menu.AddItem("More", sub);
  menu.SetChosenItemIdx(-7);
  script->chooseMenuItem({1, 1});
  EXPECT_EQ(show(&menu), sub);
  EXPECT_EQ(sub->GetChosenItemIdx(), 1);
  EXPECT_EQ(menu.GetChosenItemIdx(), -7);
}

TEST_F(PopupTest, FlagsShowAsStateEnablingIndentAndSubmenus)
{
  Open();
  IPopupMenu menu;
  menu.AddItem("Checked off", -1, IPopupMenuItem::kDisabled | IPopupMenuItem::kChecked);
  menu.AddItem("Indented", -1, IPopupMenuItem::kIndented);
  IPopupMenu* sub = new IPopupMenu;
  sub->AddItem("x");
  IPopupMenuItem* withSub = menu.AddItem("Sub", sub);
  ASSERT_NE(withSub, nullptr);
  // A submenu entry stays one even with the separator flag: flags are not applied to it.
  IPopupMenuItem* subSeparator = new IPopupMenuItem("Sub2", IPopupMenuItem::kSeparator, new IPopupMenu);
  menu.AddItem(subSeparator);
  script->cancelMenu();
  EXPECT_EQ(show(&menu), nullptr);
  const auto& shown = script->menusShown.at(0);
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_EQ(shown[0].state, NSOnState);
  EXPECT_FALSE(shown[0].enabled);
  EXPECT_EQ(shown[1].indentation, 1);
  EXPECT_TRUE(shown[1].enabled);
  EXPECT_EQ(shown[1].state, NSOffState);
  EXPECT_TRUE(shown[2].hasSubmenu);
  EXPECT_TRUE(shown[3].hasSubmenu);
  EXPECT_FALSE(shown[3].separator);
}

TEST_F(PopupTest, ACancelledMenuChangesNothing)
{
  Open();
  plug->GetParam(4)->Set(1);
  IControl* c = new ToggleControl(plug, IRECT(120, 10, 160, 30), 4);
  g->AttachControl(c);
  IRECT r = c->GetRECT();
  script->cancelMenu();
  g->PromptUserInput(c, plug->GetParam(4), &r);
  EXPECT_EQ(plug->GetParam(4)->Int(), 1);
  const auto& shown = script->menusShown.at(0);
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[1].title, "Saw");
  EXPECT_EQ(shown[1].state, NSOnState);
  // A disabled item chosen does nothing either.
  IPopupMenu menu;
  menu.AddItem("off", -1, IPopupMenuItem::kDisabled);
  script->chooseMenuItem({0});
  EXPECT_EQ(show(&menu), nullptr);
  EXPECT_EQ(menu.GetChosenItemIdx(), -1);
}

TEST_F(PopupTest, TheChosenItemReachesTheControl)
{
  Open();
  IControl* c = new ToggleControl(plug, IRECT(120, 10, 160, 30), 4);
  g->AttachControl(c);
  IRECT r = c->GetRECT();
  script->chooseMenuItem({2});
  g->PromptUserInput(c, plug->GetParam(4), &r);
  EXPECT_EQ(plug->GetParam(4)->Int(), 2);
  // Shown 4 points below the control's lower edge, in screen coordinates: the
  // window is at (50, 50) and the control's view rectangle starts at y 100 - 1 - 30.
  ASSERT_EQ(script->menuLocations.size(), 1u);
  EXPECT_EQ(script->menuLocations[0].x, 50 + 120);
  EXPECT_EQ(script->menuLocations[0].y, 50 + (kH - 1 - 30) - 4);
}

TEST_F(PopupTest, TheTimerFiresWhileTheMenuTracks)
{
  Open();
  frame();
  knob->SetValueFromPlug(0.2);
  const long displays = window->displayCount();
  long displaysWhileTracking = -1;
  script->answerMenu([&](NSMenu* menu) {
    loop->runFor(0.05, NSEventTrackingRunLoopMode);
    displaysWhileTracking = window->displayCount();
    return menu->itemAtIndex(0);
  });
  IPopupMenu menu;
  menu.AddItem("One");
  EXPECT_EQ(show(&menu), &menu);
  EXPECT_EQ(displaysWhileTracking, displays + 1);
}

TEST_F(EntryTest, WithoutAViewOrAControlNoEntryOpens)
{
  IRECT r(10, 10, 60, 30);
  g->CreateTextEntry(toggle, toggle->GetText(), &r, "1", plug->GetParam(3));
  Open();
  g->CreateTextEntry(nullptr, toggle->GetText(), &r, "1", plug->GetParam(3));
  EXPECT_EQ(view->textField(), nullptr);
}

TEST_F(EntryTest, ADoubleEntryTakesSignDigitsAndPointAndRefusesLetters)
{
  Open();
  IRECT r(10, 10, 60, 30);
  IText style(16, COLOR_BLACK);
  style.mAlign = IText::kAlignFar;
  WheelControl* gain = new WheelControl(plug, IRECT(10, 60, 60, 80), 3);
  g->AttachControl(gain);
  g->CreateTextEntry(gain, &style, &r, "0.0", plug->GetParam(3));
  NSTextField* f = view->textField();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->font()->pointSize(), 14);
  EXPECT_EQ(f->alignment(), NSRightTextAlignment);
  EXPECT_EQ(window->firstResponder(), f);
  EXPECT_EQ(f->selectionLength(), 3u);  // the whole text, replaced by typing
  type("-2x.5");
  EXPECT_EQ(f->stringValue(), "-2.5");
  EXPECT_EQ(f->refusedEdits(), 1);
  type("\n");
  EXPECT_EQ(view->textField(), nullptr);
  EXPECT_DOUBLE_EQ(plug->GetParam(3)->Value(), -2.5);
  EXPECT_EQ(gain->pushesWithoutMutex, 0);
  EXPECT_EQ(window->firstResponder(), view);
}

TEST_F(EntryTest, AnIntEntryRefusesAPointAndTextBeyondTheLimit)
{
  Open();
  IRECT r(10, 10, 60, 30);
  g->CreateTextEntry(steps, steps->GetText(), &r, "3", plug->GetParam(2));
  NSTextField* f = view->textField();
  ASSERT_NE(f, nullptr);
  type("1.2");
  EXPECT_EQ(f->stringValue(), "12");
  EXPECT_EQ(f->refusedEdits(), 1);
  type("\b\b");
  EXPECT_EQ(f->stringValue(), "");
  EXPECT_EQ(steps->GetTextEntryLength(), 16);
  type("12345678901234567");
  EXPECT_EQ(f->stringValue(), "1234567890123456");
  EXPECT_EQ(f->refusedEdits(), 2);
  // Closed without applying.
  g->ForceEndUserEdit();
  EXPECT_EQ(view->textField(), nullptr);
  EXPECT_EQ(plug->GetParam(2)->Int(), 3);
}

TEST_F(EntryTest, AnEntryWithoutAParameterTakesAnyTextForTheControl)
{
  Open();
  IRECT r(100, 50, 150, 70);
  g->CreateTextEntry(other, other->GetText(), &r, "old", nullptr);
  NSTextField* f = view->textField();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->formatter(), nullptr);
  type("Nächste: @{x}");
  EXPECT_EQ(f->stringValue(), "Nächste: @{x}");
  type("\t");
  EXPECT_EQ(other->entered, "Nächste: @{x}");
  EXPECT_TRUE(other->enteredUnderMutex);
  EXPECT_EQ(view->textField(), nullptr);
}

TEST_F(EntryTest, OnlyOneEntryAtATimeAndDragsWaitWhileItIsOpen)
{
  Open();
  IRECT r(10, 10, 60, 30);
  g->CreateTextEntry(toggle, toggle->GetText(), &r, "1", plug->GetParam(2));
  NSTextField* first = view->textField();
  g->CreateTextEntry(knob, knob->GetText(), &r, "2", plug->GetParam(1));
  EXPECT_EQ(view->textField(), first);
  EXPECT_EQ(view->editControl(), toggle);
  EXPECT_EQ(view->editParam(), plug->GetParam(2));
}

// A click elsewhere, with either button, ends the entry and applies it; the wheel,
// Escape and a click on a control that cancels entries close it unapplied, and that
// control gets its click.
TEST_F(EntryTest, AClickElsewhereAppliesTheEntryTheWheelDropsIt)
{
  Open();
  other->SetCancelsTextEntry(true);
  IRECT r(10, 10, 60, 30);
  for (int way = 0; way < 5; ++way)
  {
    g->CreateTextEntry(steps, steps->GetText(), &r, "3", plug->GetParam(2));
    type("42");
    if (way == 0)
      wheel(150, 80, 1.0);
    else if (way == 1)
      type("\x1b");
    else if (way == 4)
    {
      mouse(NSRightMouseDown, 150, 90);
      mouse(NSRightMouseUp, 150, 90);
    }
    else
      click(way == 2 ? 120 : 150, way == 2 ? 60 : 90);
    EXPECT_EQ(view->textField(), nullptr) << way;
    EXPECT_EQ(plug->GetParam(2)->Int(), way >= 3 ? 42 : 3) << way;
    EXPECT_EQ(steps->pushesWithoutMutex, 0);
  }
  EXPECT_EQ(other->GetValue(), 1.0);
}

TEST_F(EntryTest, TheFieldIsDrawnOverTheControls)
{
  Open();
  IRECT r(10, 10, 60, 30);
  IText style(16, COLOR_BLACK);
  style.mTextEntryBGColor = IColor(255, 0, 0, 255);
  g->CreateTextEntry(steps, &style, &r, "", plug->GetParam(2));
  loop->runOnce();
  // Blue background where the red switch was; the caret is drawn in black.
  EXPECT_EQ(LICE_GetPixel(window->backing(), 50, 25) | 0xFF, LICE_MakePixel(0, 0, 255, 255));
}
