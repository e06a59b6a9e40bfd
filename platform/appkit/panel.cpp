#include "platform/appkit/NSPanel.h"

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSView.h"

NSSavePanel* NSSavePanel::savePanel()
{
  NSSavePanel* p = new NSSavePanel;
  p->autorelease();
  return p;
}

NSSavePanel::~NSSavePanel() { AKRelease(mAccessory); }

void NSSavePanel::setAccessoryView(NSView* view) { AKAssign(mAccessory, view); }

NSInteger NSSavePanel::runModalForDirectory(const std::string& directory, const std::string& file)
{
  mDirectory = directory;
  mFile = file;
  mFilename.clear();
  mFilenames.clear();
  retain();
  std::vector<std::string> paths;
  const NSInteger answer = NSApplication::sharedApplication()->modalAnswers()->panelAnswers(this, &paths);
  if (answer == NSOKButton)
  {
    for (const std::string& p : paths)
      if (!p.empty()) mFilenames.push_back(p);
    // Only an open panel that allows it returns more than one.
    const NSOpenPanel* open = dynamic_cast<const NSOpenPanel*>(this);
    if (mFilenames.size() > 1 && !(open && open->allowsMultipleSelection())) mFilenames.resize(1);
    if (!mFilenames.empty()) mFilename = mFilenames.front();
  }
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
