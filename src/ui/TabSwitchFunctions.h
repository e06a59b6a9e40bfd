#pragma once
// Puts the layer tree into the state of a main page and of a timbre: which page
// and timbre copy are shown, which overlays and buttons appear, which zones of the
// sound page are shown or greyed by the switches that govern them, and the step
// texts of the sequence page. Stateless: everything it reads and writes belongs to
// the editor, reached through PageHost.

#include "ui/DisplayLines.h"

class ControlLayer;
class IControl;
struct IMidiMsg;

// What the page switching needs of the editor controller.
class PageHost
{
public:
  virtual ~PageHost() = default;
  // A layer of the configuration or one of the controller's overlays, by name.
  virtual ControlLayer* layerNamed(const char* name) = 0;
  // The first control bound to the parameter, or null.
  virtual IControl* firstControlOf(int paramIdx) = 0;
  virtual double paramValue(int paramIdx) = 0;
  virtual bool timbre1LockActive() = 0;
  virtual bool timbre2LockActive() = 0;
  virtual bool sharedLockActive() = 0;
  virtual bool patchSearchActive() = 0;
  virtual bool hardwareChangeInProgress() = 0;
  virtual bool midiOutSet() = 0;
  virtual void setCurrentPart(int timbre) = 0;
  virtual void sendMidiMsgAndLog(IMidiMsg* msg) = 0;
  virtual void displaySequenceValues(int sequence, const DisplayLines::StepTexts& texts) = 0;
  // The librarian page: programs can be dragged from the view to a slot.
  virtual void allowLibrarianDrag() = 0;
  // Selects the program in the librarian's view and upper bank, redraws the view
  // and refreshes its upper column.
  virtual void selectLibrarianProgram(int slot) = 0;
  // The controller's parameter dispatch (for the current bank).
  virtual void runParamChange(int paramIdx) = 0;
  // Hides the progress indicator and its layer.
  virtual void hideProgress() = 0;
};

class TabSwitchFunctions
{
public:
  void mainTabSwitch(PageHost* host, int page, int timbre);
  void quickTabSwitch(PageHost* host, int timbre);
  static std::string getValueString(double value) { return DisplayLines::getValueString(value); }

private:
  void soundPageZones(PageHost* host, int timbre);
  void sequenceSteps(PageHost* host, int timbre);
  void releaseLocksButton(PageHost* host, int timbre);
};
