#include "platform/appkit/NSPanel.h"

#include "platform/appkit/NSApplication.h"

NSSavePanel* NSSavePanel::savePanel()
{
  NSSavePanel* p = new NSSavePanel;
  p->autorelease();
  return p;
}

NSInteger NSSavePanel::runModalForDirectory(const std::string& directory, const std::string& file)
{
  mDirectory = directory;
  mFile = file;
  mFilename.clear();
  retain();
  std::string path;
  const NSInteger answer = NSApplication::sharedApplication()->modalAnswers()->panelAnswer(this, &path);
  if (answer == NSOKButton && !path.empty()) mFilename = path;
  release();
  return answer == NSOKButton && !mFilename.empty() ? NSOKButton : NSCancelButton;
}

NSOpenPanel* NSOpenPanel::openPanel()
{
  NSOpenPanel* p = new NSOpenPanel;
  p->autorelease();
  return p;
}

NSInteger NSOpenPanel::runModalForDirectory(const std::string& directory, const std::string& file,
                                            const std::vector<std::string>& types)
{
  mTypes = types;
  return NSSavePanel::runModalForDirectory(directory, file);
}

NSInteger NSAlert::runModal()
{
  if (mButtons.empty()) mButtons.push_back("OK");
  retain();
  NSInteger answer = NSApplication::sharedApplication()->modalAnswers()->alertAnswer(this);
  if (answer < NSAlertFirstButtonReturn || answer >= NSAlertFirstButtonReturn + (NSInteger)mButtons.size())
    answer = NSAlertFirstButtonReturn;
  release();
  return answer;
}
