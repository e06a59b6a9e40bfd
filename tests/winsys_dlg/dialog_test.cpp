// Dialog boxes and dialog resources: the modal run ended by EndDialog with scripted
// input, results recorded before the run, modeless and child dialogs, the special
// ids of SWELL_CreateDialog.

#include "../winsys_wnd/wnd_test_util.h"

#include "platform/appkit/ModalScript.h"
#include "platform/appkit/NSButton.h"
#include "platform/appkit/NSPanel.h"
#include "platform/appkit/NSTableView.h"
#include "platform/appkit/NSTextField.h"
#include "winsys/shell/filedlg.h"
#include "winsys/wnd/dialog.h"
#include "winsys/wnd/toplevel.h"

namespace {

const int kField = 10, kOK = 1;

// A field and an OK button, as a dialog's create function makes them.
void MakeFieldAndButton(HWND view, int)
{
  AddControl(view, new NSTextField(NSMakeRect(10, 10, 150, 22)), kField);
  NSButton* b = AddControl(view, new NSButton(NSMakeRect(10, 50, 80, 24)), kOK);
  b->setTitle("OK");
  b->setTarget(SWELL_WindowView(view));
  b->setAction("onSwellCommand:");
}

SWELL_DialogResourceIndex gChild{(const char*)30, nullptr, SWELL_DLG_CHILD | SWELL_DLG_FLIPPED, nullptr, 50, 40,
                                 nullptr};
SWELL_DialogResourceIndex gNamed{(const char*)20, "Name It", SWELL_DLG_FLIPPED, MakeFieldAndButton, 200, 90, &gChild};
SWELL_DialogResourceIndex gZero{(const char*)0, "Zero", 0, nullptr, 60, 30, nullptr};

struct DialogRun
{
  std::string text;
  HWND dialog = nullptr;
  bool endInInit = false;
  int endValue = 0;
};
DialogRun* gRun = nullptr;

LRESULT NameProc(HWND h, UINT msg, WPARAM wp, LPARAM lp)
{
  RecordingProc(h, msg, wp, lp);
  if (msg == WM_INITDIALOG)
  {
    gRun->dialog = h;
    if (gRun->endInInit) EndDialog(h, gRun->endValue);
    return 1;
  }
  if (msg == WM_COMMAND && (wp & 0xFFFF) == kOK)
  {
    char buf[256];
    GetDlgItemText(h, kField, buf, sizeof buf);
    gRun->text = buf;
    EndDialog(h, kOK);
  }
  else if (msg == WM_COMMAND && (wp & 0xFFFF) == IDCANCEL)
    EndDialog(h, IDCANCEL);
  return 0;
}

class Dialogs : public WndTest
{
protected:
  void SetUp() override
  {
    WndTest::SetUp();
    gRun = &run;
  }
  void TearDown() override
  {
    gRun = nullptr;
    NSApp->setKeyWindow(nullptr);
    WndTest::TearDown();
  }
  DialogRun run;
};

TEST_F(Dialogs, ModalRunEndsWithTheButtonAndTheTypedText)
{
  struct Case
  {
    std::function<void()> input;
    int want;
    std::string text;
    size_t destroys = 1;
  } cases[] = {
      {[] {
         NSModalScript::type("Night Pads 2");
         PostClick(gRun->dialog, kOK);
       },
       kOK, "Night Pads 2"},
      // The close box: WM_CLOSE unanswered becomes IDCANCEL, which ends it.
      {[] { SWELL_WindowView(gRun->dialog)->window()->performClose(nullptr); }, IDCANCEL, ""},
      // Destroyed without EndDialog: the run ends too, with the result recorded so far.
      {[] {
         EndDialog(SWELL_HWND(SWELL_WindowView(gRun->dialog)->window()), 9);
       },
       9, ""},
      {[] { DestroyWindow(gRun->dialog); }, 0, ""},
      // Ended while a box over it runs: with that value once its loop has control again.
      {[] {
         const HWND outer = gRun->dialog;
         NSRunLoop::postToMainThread([outer] {
           EndDialog(outer, 5);
           EndDialog(gRun->dialog, IDCANCEL);
           NSRunLoop::postToMainThread([outer] { EndDialog(outer, 9); });
         });
         EXPECT_EQ(SWELL_DialogBox(&gNamed, (const char*)20, nullptr, NameProc, 0), IDCANCEL);
       },
       5, "", 2},
  };
  for (Case& c : cases)
  {
    run = DialogRun();
    NSRunLoop::postToMainThread(c.input);
    const size_t before = NSApp->windows().size();
    EXPECT_EQ(SWELL_DialogBox(&gNamed, (const char*)20, nullptr, NameProc, 0), c.want);
    EXPECT_EQ(run.text, c.text);
    EXPECT_EQ(NSApp->modalWindow(), nullptr);
    EXPECT_EQ(NSApp->windows().size(), before);  // the box is gone
    EXPECT_EQ(log.only(WM_DESTROY).size(), c.destroys);
    log.msgs.clear();
  }
}

TEST_F(Dialogs, EndedDuringInitialisationIsNeverShown)
{
  run.endInInit = true;
  run.endValue = 5;
  EXPECT_EQ(SWELL_DialogBox(&gNamed, (const char*)20, nullptr,
                            [](HWND h, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
                              if (msg == WM_DESTROY && SWELL_WindowView(h)->window()->isVisible())
                                gRun->text = "shown";
                              return NameProc(h, msg, wp, lp);
                            },
                            0),
            5);
  EXPECT_NE(run.text, "shown");
  const auto d = log.only(WM_DESTROY);
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d[0].hwnd, run.dialog);
}

TEST_F(Dialogs, RefusedResourcesAndRecordedResults)
{
  const size_t before = NSApp->windows().size();
  for (const char* id : {(const char*)30, (const char*)99})
    EXPECT_EQ(SWELL_DialogBox(&gNamed, id, nullptr, NameProc, 0), -1);
  EXPECT_EQ(NSApp->windows().size(), before);
  EXPECT_EQ(run.dialog, nullptr);

  // EndDialog on a window that is not the modal one only records the value.
  HWND v = SWELL_CreateDialog(&gNamed, (const char*)20, nullptr, NameProc, 0);
  ASSERT_TRUE(v);
  EndDialog(v, 7);
  EXPECT_TRUE(IsWindow(v));
  EndDialog(nullptr, 3);
  DestroyWindow(v);
}

TEST_F(Dialogs, CreateDialogForms)
{
  NSWindow* parentWindow;
  HWND parentView = Window(NSMakeRect(0, 0, 300, 300), 0, &parentWindow);
  struct Case
  {
    const char* id;
    NSObject* parent;
    bool child;
    NSUInteger style;  // of a top-level window
    NSSize size;
  } cases[] = {
      {(const char*)0x400001, parentWindow, false, 15, NSMakeSize(10, 10)},
      {(const char*)0x400006, parentWindow, false, 1, NSMakeSize(10, 10)},
      {(const char*)0x400000, SWELL_Object(parentView), true, 0, NSMakeSize(300, 200)},
      {(const char*)30, parentWindow, true, 0, NSMakeSize(50, 40)},  // into the window's content view
      {(const char*)30, nullptr, false, 7, NSMakeSize(50, 40)},
      {(const char*)0, nullptr, false, 0, NSMakeSize(10, 10)},  // no record of id 0 in this list
  };
  for (const Case& c : cases)
  {
    log.msgs.clear();
    HWND v = SWELL_CreateDialog(&gNamed, c.id, SWELL_HWND(c.parent), RecordingProc, 0);
    ASSERT_TRUE(v) << (uintptr_t)c.id;
    NSView* view = SWELL_WindowView(v);
    EXPECT_EQ(view->frame().size.width, c.size.width) << (uintptr_t)c.id;
    EXPECT_EQ(view->frame().size.height, c.size.height) << (uintptr_t)c.id;
    if (c.child)
    {
      EXPECT_EQ(view->superview(), (NSView*)SWELL_WindowView(parentView)) << (uintptr_t)c.id;
      EXPECT_EQ(SWELL_WindowView(v)->swellCreateWindowFlags(), 15u);
    }
    else
    {
      ASSERT_TRUE(dynamic_cast<Swell_vDavrel_64_modelesswindow*>(view->window())) << (uintptr_t)c.id;
      EXPECT_EQ(view->window()->styleMask(), c.style) << (uintptr_t)c.id;
      EXPECT_FALSE(view->window()->isVisible());
    }
    // Without a resource the procedure is the window procedure: WM_CREATE.
    const bool resource = c.id == (const char*)30;
    EXPECT_EQ(log.only(WM_CREATE).size(), resource ? 0u : 1u) << (uintptr_t)c.id;
    EXPECT_EQ(log.only(WM_INITDIALOG).size(), resource ? 1u : 0u) << (uintptr_t)c.id;
    DestroyWindow(v);
  }
  EXPECT_EQ(SWELL_CreateDialog(&gNamed, (const char*)77, nullptr, RecordingProc, 0), nullptr);
  // A record of id 0 is taken for id 0.
  HWND z = SWELL_CreateDialog(&gZero, nullptr, nullptr, RecordingProc, 0);
  EXPECT_EQ(SWELL_WindowView(z)->window()->title(), "Zero");
  DestroyWindow(z);
}

// A list in a scroll view, then a field: the list is the control that takes the keys.
void MakeListAndField(HWND view, int)
{
  NSScrollView* scroll = AddControl(view, new NSScrollView(NSMakeRect(10, 10, 150, 60)), 11);
  NSTableView* table = new NSTableView(NSMakeRect(0, 0, 150, 60));
  table->setTag(11);  // as the dialog builder tags a list
  scroll->setDocumentView(table);
  table->release();
  AddControl(view, new NSTextField(NSMakeRect(10, 80, 150, 22)), kField);
}
SWELL_DialogResourceIndex gList{(const char*)40, "List", SWELL_DLG_FLIPPED, MakeListAndField, 200, 120, nullptr};

LRESULT gInitAnswer = 0;
WPARAM gInitFocus = 0;
LRESULT InitProc(HWND h, UINT msg, WPARAM wp, LPARAM lp)
{
  RecordingProc(h, msg, wp, lp);
  if (msg != WM_INITDIALOG) return 0;
  gInitFocus = wp;
  return gInitAnswer;
}

// WM_INITDIALOG names the first control that takes the keys (a list through its
// scroll view); a dialog that answers non-zero gets the focus on it and becomes
// the key window when first shown, even without being activated.
TEST_F(Dialogs, InitialFocusAndFirstShow)
{
  struct Case
  {
    LRESULT answer;
    bool focusSelf, keyOnShow;
  } cases[] = {{1, false, true}, {0, false, false}, {0xBEEF, true, true}};
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.answer);
    NSApp->setKeyWindow(nullptr);
    gInitAnswer = c.answer;
    HWND v = SWELL_CreateDialog(&gList, (const char*)40, nullptr, InitProc, 0);
    ASSERT_TRUE(v);
    // The list's id names the list itself, not the scroll view around it.
    NSView* table = dynamic_cast<NSTableView*>(SWELL_Object(GetDlgItem(v, 11)));
    ASSERT_TRUE(table);
    EXPECT_EQ(gInitFocus, (WPARAM)SWELL_HWND(table));
    NSWindow* w = SWELL_WindowView(v)->window();
    if (c.answer)
    {
      EXPECT_EQ(w->firstResponder(), c.focusSelf ? (NSResponder*)SWELL_WindowView(v) : table);
    }
    ShowWindow(v, SW_SHOWNA);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->isKeyWindow(), c.keyOnShow);
    DestroyWindow(v);
  }
}

// The custom part of a file dialog: a child dialog shown below the panel's own part
// from the start, told it goes after the answer, and freed with the panel's hold.
TEST_F(Dialogs, FileDialogTemplateIsThePanelsAccessory)
{
  static SWELL_DialogResourceIndex extra{(const char*)50, nullptr, SWELL_DLG_CHILD | SWELL_DLG_FLIPPED,
                                         MakeFieldAndButton, 200, 40, nullptr};
  static HWND part;
  static bool hiddenAtInit;
  part = nullptr;
  hiddenAtInit = true;
  SWELL_InstallWindowHooks();  // the file dialog builds its part through them
  NSModalScript script;
  script.answerPanel("/tmp/bank.dvl");
  BrowseFile_SetTemplate((const char*)50,
                         [](HWND h, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
                           RecordingProc(h, msg, wp, lp);
                           if (msg == WM_INITDIALOG)
                           {
                             part = h;
                             hiddenAtInit = SWELL_WindowView(h)->isHidden();
                           }
                           return 0;
                         },
                         &extra);
  char fn[64];
  EXPECT_TRUE(BrowseForSaveFile("Save Bank", "/tmp", "", nullptr, fn, sizeof fn));
  EXPECT_STREQ(fn, "/tmp/bank.dvl");
  ASSERT_EQ(script.panelsShown.size(), 1u);
  EXPECT_TRUE(script.panelsShown[0].hasAccessory);
  ASSERT_TRUE(part);
  EXPECT_FALSE(hiddenAtInit);
  const std::vector<LoggedMsg> lifecycle = log.only({WM_INITDIALOG, WM_DESTROY});
  ASSERT_EQ(lifecycle.size(), 2u);
  EXPECT_EQ(lifecycle[0].hwnd, part);
  EXPECT_EQ(lifecycle[1], (LoggedMsg{part, WM_DESTROY, 0, 0}));
  EXPECT_FALSE(IsWindow(part)) << "the custom part outlived its panel";
}

TEST_F(Dialogs, ModelessDialogStaysOpenWhileTheLoopTurns)
{
  HWND v = SWELL_CreateDialog(&gNamed, (const char*)20, nullptr, NameProc, 0);
  ShowWindow(v, SW_SHOW);
  NSWindow* w = SWELL_WindowView(v)->window();
  NSRunLoop* loop = NSRunLoop::currentRunLoop();
  NSRunLoop::postToMainThread([] { NSModalScript::type("abc"); });
  for (int i = 0; i < 20; ++i) loop->runOnce();
  EXPECT_TRUE(IsWindow(v));
  EXPECT_TRUE(w->isVisible());
  char buf[32];
  GetDlgItemText(v, kField, buf, sizeof buf);
  EXPECT_STREQ(buf, "abc");
  // Its OK button's EndDialog only records: a modeless dialog is ended by DestroyWindow.
  PostClick(v, kOK);
  for (int i = 0; i < 5; ++i) loop->runOnce();
  EXPECT_EQ(run.text, "abc");
  EXPECT_TRUE(IsWindow(v));
  DestroyWindow(v);
  EXPECT_FALSE(IsWindow(v));
}

}  // namespace
