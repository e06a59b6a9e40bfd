#pragma once
// The X11 presenter's side of the selections shared with other programs: the
// CLIPBOARD and the shared pasteboards (each a selection of its name), taken and
// offered through the desktop (AKX11Desktop), and another client's selection read as
// a type, in pieces too (INCR), each wait bounded. A hidden window of its own owns
// what we offer and receives what we ask for. Internal to the kit.

#include <X11/Xlib.h>

#include <chrono>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

class AKX11Desktop;

class AKX11Clipboard
{
public:
  AKX11Clipboard(Display* d, AKX11Desktop* desk);
  ~AKX11Clipboard();
  AKX11Clipboard(const AKX11Clipboard&) = delete;
  AKX11Clipboard& operator=(const AKX11Clipboard&) = delete;

  // The hidden window: never shown, it may also stand for a window in a question to
  // the manager.
  Window window() const { return mClipWindow; }

  // The clipboard's text (null: none) and data of other types; false when it could
  // not be taken.
  bool setClipboardText(const std::string* text);
  bool ownsClipboard() const { return mOwnClipboard; }
  void setClipboardData(const std::string& type, const std::vector<uint8_t>& bytes);
  bool clipboardText(std::string* text);

  bool takePasteboard(const std::string& name);
  void offerPasteboardData(const std::string& name, const std::string& type, const std::vector<uint8_t>& bytes);
  bool ownsPasteboard(const std::string& name) const { return mOwnBoards.count(atom(name)) != 0; }
  bool pasteboardTypes(const std::string& name, std::vector<std::string>* types);
  bool pasteboardData(const std::string& name, const std::string& type, std::vector<uint8_t>* bytes);

  // Takes the events of the hidden window and the requests for what it owns; false
  // for any other.
  bool handle(const XEvent& e);

  // The most bytes data sent in pieces may grow to.
  static void setPieceLimit(size_t bytes);

private:
  Atom atom(const std::string& name) const { return XInternAtom(mDisplay, name.c_str(), False); }
  void answerSelection(const XSelectionRequestEvent& r);
  bool takeSelection(Atom selection);
  bool readSelection(Atom selection, Atom target, int format, std::string* out);
  bool awaitInput(std::chrono::steady_clock::time_point deadline);
  bool takeProperty(int want, Atom* type, std::string* bytes);

  Display* mDisplay;
  AKX11Desktop* mDesk;
  Atom mClipboard, mIncr, mTargets, mClipProperty, mUtf8;
  Window mClipWindow;
  std::string mClipText;
  bool mClipHasText = false, mOwnClipboard = false;
  std::set<Atom> mOwnBoards;  // the shared pasteboards' selections we hold
};
