#pragma once
// The configuration reader with the editor's element walk: every layer element
// becomes a ControlLayer, every control element reaches its factory.

#include "config/UIConfigManager.h"

struct IBitmap;
struct IRECT;

class EditorUIConfig : public UIConfigManager
{
public:
  void processXMLElement(tinyxml2::XMLNode* node, ControlLayer* layer, int channel) override;

  // The librarian grid made from the patchBrowser element (the last one), or null.
  IControl* librarianGrid() const { return mLibrarianGrid; }

protected:
  // The librarian supplies its grid; without it the element builds nothing.
  virtual IControl* createLibrarianView(int /*x*/, int /*y*/, int /*paramIdx*/, IBitmap* /*bitmap*/,
                                        const IRECT& /*rect*/)
  {
    return nullptr;
  }

private:
  void walkControlElement(tinyxml2::XMLElement* e, int id, const std::string& image, const std::string& group,
                          int chan, ControlLayer* layer, int c);
  void walkElement(tinyxml2::XMLElement* e, ControlLayer* layer, int c);
  int resolveParamId(const char* paramId, int c) const;
  void enterLayer(ControlLayer* layer, ControlLayer* parent);

  IControl* mLibrarianGrid = nullptr;
};
