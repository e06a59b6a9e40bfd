#pragma once
// The host's editor window: asks the unit for its Cocoa view (property 31), makes
// the view with the named class of the plug-in's bundle, and shows it in a window
// of the window kit, as an Audio Unit host does.

#include "platform/appkit/AppKit.h"
#include "platform/appkit/Presenter.h"
#include "platform/audiounit/AUCocoaUIView.h"
#include "platform/audiounit/AudioUnit.h"

#include <string>

class TestHost;

class EditorWindow : public NSWindowDelegate
{
public:
  EditorWindow() = default;
  ~EditorWindow() override { Close(); }
  EditorWindow(const EditorWindow&) = delete;
  EditorWindow& operator=(const EditorWindow&) = delete;

  // False, with the reason, when the unit offers no view or the view cannot be made.
  bool Open(TestHost& host, AudioUnit unit, const std::string& title, std::string* error);
  // Takes the view out of the window (the editor closes its side) and closes it.
  void Close();

  NSWindow* window() const { return mWindow; }
  NSView* view() const { return mView; }
  bool closedByUser() const { return mClosedByUser; }

  // Where a window of the size goes: wholly on the main screen when it fits.
  static NSRect placeOnScreen(NSSize size);

  bool windowShouldClose(NSWindow*) override { return true; }
  void windowWillClose(NSWindow*) override;

private:
  AUCocoaUIBase* mFactory = nullptr;
  NSWindow* mWindow = nullptr;
  NSView* mView = nullptr;
  bool mClosedByUser = false, mClosing = false;
};
