#pragma once
// Web addresses and file URLs, opening them with the desktop's opener, and the
// cursor.

#include "platform/appkit/Foundation.h"

#include <functional>
#include <string>
#include <vector>

class NSURL : public NSObject
{
public:
  // Null for text that is not a URL: empty, without a scheme, or with a blank or a
  // control character in it. Autoreleased.
  static NSURL* URLWithString(const std::string& text);
  // A file URL of the path (made absolute against the working folder), with every
  // byte outside the unreserved set and "/" percent-encoded. Autoreleased; null
  // for an empty path.
  static NSURL* fileURLWithPath(const std::string& path);

  const std::string& absoluteString() const { return mText; }
  std::string scheme() const;
  bool isFileURL() const { return mFile; }
  // The file path of a file URL (decoded); empty otherwise.
  const std::string& path() const { return mPath; }

private:
  std::string mText, mPath;
  bool mFile = false;
};

class NSImage;

class NSWorkspace : public NSObject
{
public:
  typedef std::function<bool(const std::vector<std::string>& argv)> Opener;

  static NSWorkspace* sharedWorkspace();
  // Hands the URL to the desktop's opener: xdg-open with the URL as its one
  // argument, started directly (no shell ever sees it). True when it started.
  bool openURL(NSURL* url);
  bool openFile(const std::string& path);
  // The document with the application: a program named by a path, or by its name
  // without ".app" found on PATH, gets the document as its one argument; the
  // platform's text editor ("TextEdit.app") is the desktop's opener.
  bool openFile(const std::string& path, const std::string& application, bool deactivate);
  // Starts the application (a path, or a name without ".app" on PATH) with no
  // arguments. True when it started.
  bool launchApplication(const std::string& application);
  // Opens the folder that holds the path (or the path itself when it is a folder).
  bool selectFile(const std::string& path, const std::string& rootPath);
  // The image standing for the files in a drag (the kit has no file icons: a plain
  // light square, 32 x 32); retained for the caller.
  NSImage* iconForFiles(const std::vector<std::string>& paths);
  // Tests replace the opener to see what would run; null restores xdg-open (or
  // the program DAVREL_OPENER names, which runs in its place).
  void setOpener(Opener opener);
  // The argument lists the opener was given.
  const std::vector<std::vector<std::string>>& opened() const { return mOpened; }

private:
  bool run(const std::vector<std::string>& argv);
  Opener mOpener;
  std::vector<std::vector<std::string>> mOpened;
};

class NSCursor : public NSObject
{
public:
  static NSCursor* arrowCursor();
  static NSCursor* IBeamCursor();
  static NSCursor* resizeUpCursor();
  static NSCursor* resizeUpDownCursor();
  static NSCursor* resizeLeftRightCursor();
  static NSCursor* openHandCursor();
  // A cursor of the image (retained) with its hot spot (pixels from the top left).
  NSCursor(NSImage* image, NSPoint hotSpot);
  NSImage* image() const { return mImage; }
  NSPoint hotSpot() const { return mHotSpot; }
  static NSCursor* currentCursor();
  void set();
  static void hide();
  static void unhide();
  int kind() const { return mKind; }

protected:
  ~NSCursor() override;

private:
  explicit NSCursor(int kind) : mKind(kind) {}
  int mKind;
  NSImage* mImage = nullptr;
  NSPoint mHotSpot{0, 0};
};
