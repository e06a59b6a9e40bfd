// The project state chunk: header word, the quick tab, the patch manager block,
// four normalized values and the values of parameters 0 to 472; and the recall
// that follows a read: ports by name, flags, the program sent to the hardware.

#include "editor/Davrel.h"

#include "config/ParamIds.h"
#include "editor/PatchManager.h"
#include "gui/IControl.h"
#include "gui/IGraphics.h"
#include "hardware/MIDIMessageManager.h"
#include "winsys/kernel.h"

#include <cmath>

namespace {

// What a chunk holds, read whole before any of it is applied.
struct RecalledState
{
  double quickTab = 0.0;
  ByteChunk snapshot;
  std::string names[Patch::kNames];
  double bankNormalized = 0.0, patchNormalized = 0.0;
  int paramsPos = -1;
};

}  // namespace

bool Davrel::SerializeState(ByteChunk* pChunk) { return SerializeState2(pChunk, true); }

int Davrel::UnserializeState(ByteChunk* pChunk, int startPos)
{
  const int pos = UnserializeState2(pChunk, startPos, true);
  // A refused chunk is reported as such: the host keeps its state invalid.
  return pos < 0 ? 0 : pos;
}

bool Davrel::SerializeState2(ByteChunk* chunk, bool withPatchManager)
{
  WDL_MutexLock lock(&mMutex);
  putBigEndian32(chunk, 1);
  const double quickTab = paramValue(kQuickTab);
  chunk->PutValue(&quickTab);
  SerializeParams(chunk);
  if (withPatchManager && patchManager)
  {
    const int devices[2][2] = {{kDeviceInSelection, Patch::kInName}, {kDeviceOutSelection, Patch::kOutName}};
    for (const auto& d : devices)
    {
      const IParam* p = GetParam(d[0]);
      const std::string name = devicePortName(d[0], p->Int());
      patchManager->names[d[1]] = name.empty() ? "Set Name" : name;
      setLibrarianViewDirty();
    }
    patchManager->saveAllToChunk(chunk);
    for (int id : {kDeviceInSelection, kDeviceOutSelection, kBankSelection, kPatchSelection})
    {
      const double n = GetParam(id)->GetNormalized();
      chunk->PutValue(&n);
    }
  }
  SerializeNonAutomatedParams(chunk, kStoredParams);
  return true;
}

int Davrel::UnserializeState2(ByteChunk* chunk, int startPos, bool withPatchManager)
{
  WDL_MutexLock lock(&mMutex);
  if (!chunk) return -1;

  // Read everything first: a chunk that is cut short, or not of this layout, is
  // refused whole, with the ports and parameters left as they are.
  RecalledState in;
  int32_t header = 0;
  int pos = getBigEndian32(chunk, startPos, &header);
  if (pos < 0 || header != 1) return -1;
  pos = chunk->GetValue(&in.quickTab, pos);
  if (pos >= 0) pos += NAutomatableParams() * (int)sizeof(double);
  if (pos >= 0 && withPatchManager)
  {
    pos = PatchManager::readBlock(chunk, pos, &in.snapshot, in.names);
    if (pos >= 0) pos += 2 * (int)sizeof(double);
    if (pos >= 0) pos = chunk->GetValue(&in.bankNormalized, pos);
    if (pos >= 0) pos = chunk->GetValue(&in.patchNormalized, pos);
  }
  if (pos < 0 || (long long)pos + kStoredParams * (long long)sizeof(double) > chunk->Size()) return -1;
  in.paramsPos = pos;

  recalling = true;
  setParamClamped(kQuickTab, in.quickTab);
  currentPart = paramInt(kQuickTab);
  UnserializeParams(chunk, pos - NAutomatableParams() * (int)sizeof(double));

  if (withPatchManager && patchManager)
  {
    patchManager->snapshot.Clear();
    patchManager->snapshot.PutBytes(&in.snapshot);
    for (int i = 0; i < Patch::kNames; ++i) patchManager->names[i] = in.names[i];
    const std::string& inName = patchManager->names[Patch::kInName];
    const std::string& outName = patchManager->names[Patch::kOutName];

    logLine("PROJECT RECALL: MIDI In device stored " + inName);
    midiInPortIndex = 1;
    setExternalMIDIIn(midiInPortIndex, inName.c_str());
    // Before the lists are read the name chosen is an entry the menu lacks yet.
    if (const int in = midiInPortIndex; in >= GetParam(kDeviceInSelection)->GetNDisplayTexts())
    {
      refreshMidiPortMenus();
      midiInPortIndex = in;
    }
    setParamClamped(kDeviceInSelection, midiInPortIndex);
    if (deviceInMenu) deviceInMenu->SetValueFromPlug(GetParam(kDeviceInSelection)->GetNormalized());
    if (midiInPortIndex >= 1) GetParam(kDeviceInSelection)->SetDisplayText(-1, inName.c_str());

    logLine("PROJECT RECALL: MIDI Out device stored " + outName);
    midiOutPortIndex = 1;
    setExternalMIDIOut(midiOutPortIndex, outName.c_str());
    if (const int out = midiOutPortIndex; out >= GetParam(kDeviceOutSelection)->GetNDisplayTexts())
    {
      refreshMidiPortMenus();
      midiOutPortIndex = out;
    }
    setParamClamped(kDeviceOutSelection, midiOutPortIndex);
    if (midiOutPortIndex >= 1) GetParam(kDeviceOutSelection)->SetDisplayText(-1, outName.c_str());
    midiOutSet = paramInt(kDeviceOutSelection) > 0;
    logLine(std::string("PROJECT RECALL: MIDI In device after checking devices ") +
            GetParam(kDeviceInSelection)->GetDisplayText(paramInt(kDeviceInSelection)));
    logLine(std::string("PROJECT RECALL: MIDI Out device after checking devices ") +
            GetParam(kDeviceOutSelection)->GetDisplayText(paramInt(kDeviceOutSelection)));

    GetParam(kBankSelection)->SetNormalized(in.bankNormalized);
    GetParam(kPatchSelection)->SetNormalized(in.patchNormalized);
    patchManager->bankSelection = paramInt(kBankSelection);
    patchManager->patchSelection = paramInt(kPatchSelection);
  }

  pos = UnserializeNonAutomatedParams(chunk, in.paramsPos, kStoredParams);
  // The recalled values reach the hardware as a whole program.
  forgetSentValues();
  // The flags follow the parameters as they now stand, not as they stood before.
  restoreFilterFlags();
  // The channel, Local Control and Master Keyboard likewise: snapped first, so each
  // flag below says what its parameter and its control say.
  for (int id : {kGlobalMidiChannel, kGlobalLocalControl, kMasterKeyboard}) snapToStep(id);

  sysexChannelByte = 0x30 + paramInt(kGlobalMidiChannel);
  logLine("PROJECT RECALL: hardware DeviceID " + std::to_string(paramInt(kGlobalMidiChannel)));
  if (patchManager)
  {
    const std::string& programName = patchManager->names[0];
    GetParam(kPatchName)->SetDisplayText(0, programName.c_str());
    knownProgramName = GetParam(kPatchName)->GetDisplayText(0);  // without the NULs that pad it
    logLine("PROJECT RECALL: Patch name " + std::string(programName.c_str()));
  }

  globalSent = false;
  if (midiOutSet)
  {
    SendPatchEditOffCommand();
    Sleep(50);
    sendGlobalWithProgram = true;
    // The gates keep incoming MIDI out only while the send job really runs; the
    // job clears them at its end. A send dropped while another job runs neither
    // leaves the editor deaf nor opens the gates of a running send.
    SenderJob send(kSendArrangementToDevice);
    send.atStart = [this] { prepareArrangementPush(); };
    startJob(send);
  }
  dawOffset = (int)(2 * paramValue(kAdjustDAWOffset) + GetBlockSize());
  logLine(std::string("PROJECT RECALL: MIDI In device after nonautomated params ") +
          GetParam(kDeviceInSelection)->GetDisplayText(paramInt(kDeviceInSelection)));
  logLine(std::string("PROJECT RECALL: MIDI Out device after nonautomated params ") +
          GetParam(kDeviceOutSelection)->GetDisplayText(paramInt(kDeviceOutSelection)));
  localControlOn = paramValue(kGlobalLocalControl) != 0.0;
  masterKeyboardOn = paramValue(kMasterKeyboard) == 1.0;
  freshStart = false;
  showNameLine("Project Data Recalled");
  pushToControls(kMainPage, 2.0);
  showStartPage();
  recalling = false;
  return pos;
}

void Davrel::snapToStep(int id)
{
  IParam* p = GetParam(id);
  if (!p || p->GetStep() <= 0.0) return;
  p->Set(p->GetMin() + std::round((p->Value() - p->GetMin()) / p->GetStep()) * p->GetStep());
}

void Davrel::restoreFilterFlags()
{
  // Values off the switches' steps (a chunk from elsewhere) are snapped first, so a
  // flag and the switch its user sees can never disagree.
  for (int i = 0; i < kFilterClasses; ++i)
  {
    snapToStep(kMIDIFilterDAWCCPassThrough + i);
    snapToStep(kMIDIFilterHWCCPassThrough + i);
  }
  for (int id : {kMIDIFilterTrackIncomingMIDI, kMIDIFilterToDAWBuffer, kSendMIDIClockPointer, kSendMIDIClockInfo})
    snapToStep(id);
  for (int i = 0; i < kFilterClasses; ++i)
  {
    dawFilterBlock[filterClassOf(i)] = paramValue(kMIDIFilterDAWCCPassThrough + i) != 1.0;
    hardwareFilterBlock[filterClassOf(i)] = paramValue(kMIDIFilterHWCCPassThrough + i) != 1.0;
  }
  ledTracksIncoming = paramValue(kMIDIFilterTrackIncomingMIDI) == 1.0;
  bufferedMidiOut = paramValue(kMIDIFilterToDAWBuffer) == 1.0;
  sendClockStartStop = paramValue(kSendMIDIClockPointer) == 1.0;
  sendClockTicks = paramValue(kSendMIDIClockInfo) == 1.0;
}
