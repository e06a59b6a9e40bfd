#pragma once
// A plug-in and a graphics object that record what the base class asks of them.

#include "gui/IGraphics.h"
#include "tests/QuietPlug.h"

#include <atomic>
#include <string>
#include <vector>

struct ParamCall
{
  int idx;
  double value;
  bool mutexHeld;
};

class RecordingPlug : public QuietPlug
{
public:
  // The editor's set-up: no automatable parameters, 529 in the tail.
  static RecordingPlug* MakeEditorLike(int nParams = 529, int nPresets = 0, bool chunks = true)
  {
    RecordingPlug* p = new RecordingPlug(chunks);
    p->initialize(0, nParams, "2-2", nPresets, "Davrel Editor", "", "Quiet Harbor Sound", 0x20008, FourCC("dvrx"),
                  FourCC("QhS1"), 128, true, chunks, true);
    p->addNonAutomateParamCount(nParams);
    return p;
  }

  // A plug-in whose parameters are all automatable.
  static RecordingPlug* MakeAutomatable(int nParams, int nPresets, bool chunks, const char* io = "2-2")
  {
    RecordingPlug* p = new RecordingPlug(chunks);
    p->initialize(nParams, nParams, io, nPresets, "Davrel Editor", "", "Quiet Harbor Sound", 0x20008, FourCC("dvrx"),
                  FourCC("QhS1"), 128, true, chunks, true);
    return p;
  }

  explicit RecordingPlug(bool chunks = true)
    : QuietPlug(98, "2-2", 0, "Davrel Editor", "", "Quiet Harbor Sound", 0x20008, FourCC("dvrx"), FourCC("QhS1"), 128,
                true, chunks, true, kAPIAU)
  {
  }

  void Reset() override
  {
    IPlugBase::Reset();
    ++resets;
  }
  void OnParamChange(int idx) override
  {
    IPlugBase::OnParamChange(idx);
    changes.push_back({idx, GetParam(idx) ? GetParam(idx)->Value() : 0.0, mMutex.IsHeldByCaller()});
    ++inChange;
    if (inChange > maxInChange) maxInChange = inChange.load();
    --inChange;
  }
  void OnParamChange2(int idx) override
  {
    IPlugBase::OnParamChange2(idx);
    changes2.push_back({idx, GetParam(idx) ? GetParam(idx)->Value() : 0.0, mMutex.IsHeldByCaller()});
  }
  void PresetsChangedByHost() override { ++presetsChanged; }

  void InformHostOfParamChange(int idx, double normalized) override
  {
    informed.push_back({idx, normalized, mMutex.IsHeldByCaller()});
  }
  void InformHostOfProgramChange() override { ++programChanges; }
  double GetTempo() override { return tempo; }
  bool SendMidiMsg(IMidiMsg*) override { return true; }

  // Exposes the channel slots that processing reads and writes.
  double** InData() { return mInData.Get(); }
  double** OutData() { return mOutData.Get(); }
  double* InScratch(int ch) { return mInChannels.Get(ch)->mScratchBuf.Get(); }
  double* OutScratch(int ch) { return mOutChannels.Get(ch)->mScratchBuf.Get(); }
  const char* PreviousPath() const { return mPreviousPath.Get(); }

  std::vector<ParamCall> changes, changes2, informed;
  std::atomic<int> inChange{0}, maxInChange{0};
  int resets = 0, presetsChanged = 0, programChanges = 0;
  double tempo = 120.0;
};

class FakeGraphics : public IGraphics
{
public:
  struct Call
  {
    int idx;
    double value;
    bool normalized;
  };

  FakeGraphics(IPlugBase* pPlug, bool* pDeleted = nullptr) : IGraphics(pPlug, 1500, 667, 25), mDeleted(pDeleted) {}
  ~FakeGraphics() override
  {
    if (mDeleted) *mDeleted = true;
  }

  void PrepDraw() override { prepDrawsAfter = (int)calls.size(), ++prepDraws; }
  // Plain values are normalised and stored back, as the real graphics do.
  void SetParameterFromPlug(int idx, double value, bool normalized) override
  {
    if (!normalized)
    {
      IParam* pParam = mPlug->GetParam(idx);
      value = pParam->GetNormalized(value);
      pParam->SetNormalized(value);
    }
    calls.push_back({idx, value, normalized});
  }
  void PromptForFile(WDL_String* pFile, EFileAction action, WDL_String* pDir, char* extensions) override
  {
    lastAction = action;
    lastExtensions = extensions ? extensions : "";
    lastSuggested = pFile->Get();
    lastDir = pDir;
    pFile->Set(nextPath.c_str());
  }

  std::vector<Call> calls;
  int prepDraws = 0, prepDrawsAfter = -1;
  std::string nextPath, lastExtensions, lastSuggested;
  EFileAction lastAction = kFileOpen;
  WDL_String* lastDir = nullptr;

private:
  bool* mDeleted;
};
