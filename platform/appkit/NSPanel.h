#pragma once
// File panels and alerts: each asks the application's modal answer source (the
// presenter's own window, or a test's script) and returns when answered.

#include "platform/appkit/Foundation.h"

#include <string>
#include <vector>

class NSView;

enum : NSInteger
{
  NSCancelButton = 0,
  NSOKButton = 1,
  NSAlertFirstButtonReturn = 1000,
  NSAlertSecondButtonReturn = 1001,
  NSAlertThirdButtonReturn = 1002
};

class NSSavePanel : public NSObject
{
public:
  static NSSavePanel* savePanel();  // autoreleased
  virtual bool isOpenPanel() const { return false; }

  void setAllowedFileTypes(const std::vector<std::string>& types) { mTypes = types; }
  const std::vector<std::string>& allowedFileTypes() const { return mTypes; }
  void setAllowsOtherFileTypes(bool on) { mAllowsOther = on; }
  bool allowsOtherFileTypes() const { return mAllowsOther; }
  void setTitle(const std::string& title) { mTitle = title; }
  const std::string& title() const { return mTitle; }
  // A view shown below the panel's own part (retained); null removes it.
  void setAccessoryView(NSView* view);
  NSView* accessoryView() const { return mAccessory; }

  // NSOKButton when a path was chosen, else NSCancelButton.
  NSInteger runModalForDirectory(const std::string& directory, const std::string& file);
  const std::string& directory() const { return mDirectory; }
  const std::string& suggestedFile() const { return mFile; }
  // The chosen path; empty before a confirmed answer.
  const std::string& filename() const { return mFilename; }

protected:
  ~NSSavePanel() override;
  std::vector<std::string> mTypes;
  std::vector<std::string> mFilenames;
  NSView* mAccessory = nullptr;
  bool mAllowsOther = true;
  std::string mTitle, mDirectory, mFile, mFilename;
};

class NSOpenPanel : public NSSavePanel
{
public:
  static NSOpenPanel* openPanel();  // autoreleased
  bool isOpenPanel() const override { return true; }
  void setCanChooseFiles(bool on) { mFiles = on; }
  void setCanChooseDirectories(bool on) { mDirectories = on; }
  void setResolvesAliases(bool on) { mResolves = on; }
  bool canChooseFiles() const { return mFiles; }
  bool canChooseDirectories() const { return mDirectories; }
  bool resolvesAliases() const { return mResolves; }
  void setAllowsMultipleSelection(bool on) { mMultiple = on; }
  bool allowsMultipleSelection() const { return mMultiple; }
  void setCanCreateDirectories(bool on) { mCreates = on; }
  bool canCreateDirectories() const { return mCreates; }
  // Every chosen path, in the order chosen; empty before a confirmed answer.
  const std::vector<std::string>& filenames() const { return mFilenames; }
  NSInteger runModalForDirectory(const std::string& directory, const std::string& file,
                                 const std::vector<std::string>& types);

private:
  bool mFiles = true, mDirectories = false, mResolves = true, mMultiple = false, mCreates = false;
};

enum NSAlertStyle
{
  NSWarningAlertStyle = 0,
  NSInformationalAlertStyle = 1,
  NSCriticalAlertStyle = 2
};

class NSAlert : public NSObject
{
public:
  void setMessageText(const std::string& text) { mMessage = text; }
  void setInformativeText(const std::string& text) { mInformative = text; }
  const std::string& messageText() const { return mMessage; }
  const std::string& informativeText() const { return mInformative; }
  // The first button added is the default one.
  void addButtonWithTitle(const std::string& title) { mButtons.push_back(title); }
  const std::vector<std::string>& buttonTitles() const { return mButtons; }
  void setAlertStyle(NSAlertStyle s) { mStyle = s; }
  NSAlertStyle alertStyle() const { return mStyle; }
  // NSAlertFirstButtonReturn + the index of the button pressed. An alert without
  // buttons gets an "OK" one.
  NSInteger runModal();

private:
  std::string mMessage, mInformative;
  std::vector<std::string> mButtons;
  NSAlertStyle mStyle = NSWarningAlertStyle;
};
