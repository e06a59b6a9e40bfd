#pragma once
// An editor instance for tests: its own data folder, the hardware side's job
// starts and router entries recorded instead of run, the host's time line set by
// the test, and every byte it sends kept.

#include "TestFiles.h"
#include "editor/Davrel.h"
#include "gui/IControl.h"
#include "gui/IGraphics.h"
#include "hardware/MIDIMessageManager.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// Points the data folder at a fresh temporary one for the instances made while it lives.
struct DataFolder
{
  TempFolder folder{"davrel-editor"};
  DataFolder() { setenv("DAVREL_DATA_DIR", folder.path().c_str(), 1); }
  ~DataFolder() { unsetenv("DAVREL_DATA_DIR"); }
  std::string file(const std::string& name) const { return folder.path() + "/" + name; }
};

// The editor's three sizes as its settings file names them, with their scales.
struct EditorSize
{
  const char* name;
  double scale;
};
inline constexpr EditorSize kEditorSizes[] = {{"small", 0.75}, {"normal", 1.0}, {"large", 1.25}};

// Writes the settings file so that the editors made next open at this size.
inline bool writeEditorSize(const DataFolder& data, const char* size)
{
  return writeWholeFile(data.file("Davrel Editor UI.txt"), std::string("normal\n") + size + "\n");
}

// A left click at the centre of the control's clickable area, made only when the
// control is the one a click there reaches.
inline bool clickCentre(IGraphics* g, IControl* c)
{
  if (!c) return false;
  const IRECT& r = c->GetTargetRECT();
  const int x = (r.L + r.R) / 2, y = (r.T + r.B) / 2;
  if (g->GetMouseControlIdx(x, y) != c) return false;
  IMouseMod left(true);
  g->OnMouseDown(x, y, &left);
  g->OnMouseUp(x, y, &left);
  return true;
}

inline IPlugInstanceInfo editorInfo() { return DavrelInstanceInfo(); }

// The recording editor. Tests never make one of these, nor of a subclass, as it
// stands: they make UnderTest<...> of it (below), EditorUnderTest for this one.
class RecordingEditor : public Davrel
{
public:
  RecordingEditor() : Davrel(editorInfo())
  {
    onMidiSent = [this](const unsigned char* b, int n) {
      std::lock_guard<std::mutex> l(lock);
      sent.emplace_back(b, b + n);
    };
  }
  ~RecordingEditor() override
  {
    // Only UnderTest stops the threads early enough; anything else would race.
    if (midiMessageManager)
    {
      std::fputs("an editor of the tests was destroyed with its threads running: make it as UnderTest<...>\n",
                 stderr);
      std::abort();
    }
  }

  struct Job
  {
    char kind;  // 'j' a job started, 'r' the clock loop reset
    int command;
    int intArg;
    bool boolArg;
    bool operator==(const Job& o) const
    {
      return kind == o.kind && command == o.command && intArg == o.intArg && boolArg == o.boolArg;
    }
  };

  bool startJob(const SenderJob& job) override
  {
    jobs.push_back({'j', job.command, job.partIndex, job.requestTarget});
    if (workerIdle && job.atStart) job.atStart();
    return workerIdle;
  }
  void resetContinuousClock(bool stop) override { jobs.push_back({'r', 0, 0, stop}); }

  void routeMidiFromDevice(IMidiMsg* m) override { routed.push_back({m->mStatus, m->mData1, m->mData2, 1, 0}); }
  void routeMidiFromDAW(IMidiMsg* m, int part) override
  {
    routed.push_back({m->mStatus, m->mData1, m->mData2, 0, part});
  }
  void routeSysEx(ISysEx* s, bool fromDevice) override
  {
    routed.push_back({s->mData[0], s->mSize, 0, fromDevice ? 1 : 0, -1});
  }

  void GetTime(ITimeInfo* t) override
  {
    *t = ITimeInfo();
    t->mTempo = tempo;
    t->mTransportIsRunning = playing;
  }
  double GetTempo() override { return tempo; }

  std::vector<std::vector<unsigned char>> takeSent()
  {
    std::lock_guard<std::mutex> l(lock);
    auto s = sent;
    sent.clear();
    return s;
  }

  // Sets a parameter as the user's control does and runs the dispatch.
  void userSets(int id, double plain)
  {
    GetParam(id)->Set(plain);
    OnParamChange(id);
  }

  std::mutex lock;
  std::vector<std::vector<unsigned char>> sent;
  std::vector<Job> jobs;
  std::vector<std::vector<int>> routed;
  bool workerIdle = true;
  double tempo = 120.0;
  bool playing = false;
};

// The editor E as tests make it: its input and worker threads are stopped by the
// most derived destructor, so a job still running meets every override and member
// of E and its bases whole. Stopped in a base's destructor instead, the job would
// meet a subclass already gone and the object's virtual table changing under it.
template <class E = RecordingEditor>
class UnderTest final : public E
{
public:
  // As the plug-in's factory: the port lists are read once the editor is whole.
  template <class... A>
  explicit UnderTest(A&&... a) : E(std::forward<A>(a)...)
  {
    this->ReadMidiPortListsAhead();
  }
  ~UnderTest() override { this->stopThreads(); }
};
using EditorUnderTest = UnderTest<>;

// Runs body(editor, size, window) once for each editor size, on an editor of class E
// made after prepare(data) has written any further files into its fresh data folder.
// window is the whole window at that size, for Draw and bounds checks.
template <class E, class Prepare, class Body>
void atEveryEditorSize(Prepare prepare, Body body)
{
  for (const EditorSize& size : kEditorSizes)
  {
    SCOPED_TRACE(size.name);
    DataFolder data;
    ASSERT_TRUE(writeEditorSize(data, size.name));
    prepare(data);
    UnderTest<E> e;
    ASSERT_EQ(e.uiScale, size.scale);
    body(e, size, IRECT(0, 0, (int)(1500 * size.scale), (int)(667 * size.scale)));
  }
}
