#include "EditorWindow.h"

#include "TestHost.h"

#include <algorithm>
#include <cmath>

NSRect EditorWindow::placeOnScreen(NSSize size)
{
  // 100 points in from the screen's corner when the window fits there; on an axis
  // where it does not, it is centred, and a window larger than the screen keeps its
  // left edge and its top on it. The window manager's title bar above the top is
  // brought onto the screen by the kit once the manager has framed the window.
  const NSRect screen = NSScreen::mainScreen()->frame();
  auto place = [](CGFloat wanted, CGFloat length, CGFloat room) {
    return wanted + length <= room ? wanted : std::floor((room - length) / 2);
  };
  const CGFloat x = std::max<CGFloat>(0, place(100, size.width, screen.size.width));
  const CGFloat y = std::min(place(100, size.height, screen.size.height), screen.size.height - size.height);
  return NSMakeRect(screen.origin.x + x, screen.origin.y + y, size.width, size.height);
}

bool EditorWindow::Open(TestHost& host, AudioUnit unit, const std::string& title, std::string* error)
{
  AudioUnitCocoaViewInfo info = {};
  UInt32 size = sizeof(info);
  if (AudioUnitGetProperty(unit, kAudioUnitProperty_CocoaUI, kAudioUnitScope_Global, 0, &info, &size) != noErr)
  {
    *error = "the unit offers no Cocoa view";
    return false;
  }
  const AUCocoaUIClass* cls = AUCocoaUIClassNamed(host.Bundle(), info.mCocoaAUViewClass[0]);
  if (info.mCocoaAUViewBundleLocation) CFRelease(info.mCocoaAUViewBundleLocation);
  if (info.mCocoaAUViewClass[0]) CFRelease(info.mCocoaAUViewClass[0]);
  if (!cls)
  {
    *error = "the view class is not in the bundle";
    return false;
  }
  mFactory = cls->make();
  NSView* view = mFactory ? static_cast<NSView*>(mFactory->uiViewForAudioUnit(unit, 0, 0)) : nullptr;
  if (!view)
  {
    *error = "the view factory made no view";
    return false;
  }
  mView = AKRetain(view);
  const NSRect frame = view->frame();
  mWindow = new NSWindow(placeOnScreen(frame.size), NSTitledWindowMask | NSClosableWindowMask,
                         NSBackingStoreBuffered, false);
  mWindow->setTitle(title);
  mWindow->setDelegate(this);
  mWindow->contentView()->addSubview(view);
  mWindow->makeKeyAndOrderFront(nullptr);
  return true;
}

void EditorWindow::windowWillClose(NSWindow*)
{
  if (!mClosing) mClosedByUser = true;
}

void EditorWindow::Close()
{
  mClosing = true;
  if (mView)
  {
    mView->removeFromSuperview();
    AKRelease(mView);
  }
  if (mWindow)
  {
    mWindow->setDelegate(nullptr);
    mWindow->close();
    AKRelease(mWindow);
  }
  delete mFactory;
  mFactory = nullptr;
}
