// State chunks, presets, and program and bank files of IPlugBase.

#include "plug/IPlugBase.h"

#include "base/filewrite.h"
#include "gui/IGraphics.h"
#include "plug/Base64.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

const char kUserPreset[] = "user preset";
// Marks a preset slot that no named pair has set; a pair carrying exactly this
// value therefore also keeps the current value.
const double kUnsetValue = 9.999e-8;

// ---- big-endian fields of the program and bank files ----

void PutBE32(ByteChunk* pChunk, int32_t v)
{
  const uint32_t u = (uint32_t)v;
  const uint8_t b[4] = {(uint8_t)(u >> 24), (uint8_t)(u >> 16), (uint8_t)(u >> 8), (uint8_t)u};
  pChunk->PutBytes(b, 4);
}

void PutBEFloat(ByteChunk* pChunk, float f)
{
  uint32_t u;
  memcpy(&u, &f, 4);
  PutBE32(pChunk, (int32_t)u);
}

void PutName28(ByteChunk* pChunk, const char* name)
{
  // Zero-padded and cut to the field, without a terminating zero when full.
  char field[28] = {};
  if (name) memcpy(field, name, strnlen(name, sizeof(field)));
  pChunk->PutBytes(field, (int)sizeof(field));
}

int32_t GetBE32(const unsigned char* p)
{
  return (int32_t)((uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | (uint32_t)p[3]);
}

float GetBEFloat(const unsigned char* p)
{
  const uint32_t u = (uint32_t)GetBE32(p);
  float f;
  memcpy(&f, &u, 4);
  return f;
}

// "CcnK", the byte size, the kind, the format version, the unique id, the
// plug-in version and the parameter (or program) count, all big-endian.
void PutFXHeader(ByteChunk* pChunk, int byteSize, const char* kind, int fxVersion, int uniqueID, int version, int count)
{
  pChunk->PutBytes("CcnK", 4);
  PutBE32(pChunk, byteSize);
  pChunk->PutBytes(kind, 4);
  PutBE32(pChunk, fxVersion);
  PutBE32(pChunk, uniqueID);
  PutBE32(pChunk, version);
  PutBE32(pChunk, count);
}

// The chunk whose big-endian size stands at sizeAt, its bytes right after;
// refused when the size is negative or runs past the file.
bool SizedChunkAt(const unsigned char* pData, int size, int sizeAt, ByteChunk* pOut)
{
  if (size < sizeAt + 4) return false;
  const int32_t chunkSize = GetBE32(pData + sizeAt);
  if (chunkSize < 0 || chunkSize > size - sizeAt - 4) return false;
  pOut->PutBytes(pData + sizeAt + 4, chunkSize);
  return pOut->Size() == chunkSize;
}

bool IsMagic(const unsigned char* p, const char* magic)
{
  return !memcmp(p, magic, 4);
}

// Header fields of a program ("fxp") and a bank ("fxb") file.
enum
{
  kFXPHeaderSize = 56,   // up to the chunk size or the first value
  kFXPChunkStart = 60,
  kFXBHeaderSize = 156,  // up to the chunk size or the first program
  kFXBChunkStart = 160
};

// Written beside the target, on the disk, and renamed over it, so a failure never
// leaves half a file.
bool WriteFileWhole(const char* path, const void* pData, int size)
{
  if (!path || !path[0] || size < 0) return false;
  return writeFileDurably(path, pData, (size_t)size, true) == 0;
}

bool ReadFileWhole(const char* path, ByteChunk* pOut)
{
  FILE* fp = fopen(path, "rb");
  if (!fp) return false;
  bool ok = fseek(fp, 0, SEEK_END) == 0;
  const long size = ok ? ftell(fp) : -1;
  // No program or bank file comes near this size.
  ok = ok && size >= 0 && size <= 0x40000000L && fseek(fp, 0, SEEK_SET) == 0;
  if (ok) ok = pOut->Resize((int)size) == (int)size;
  if (ok && size > 0) ok = fread(pOut->Data(), 1, (size_t)size, fp) == (size_t)size;
  fclose(fp);
  return ok;
}

}  // namespace

// ---- presets: free helpers ----

void IPreset::SetName(const char* name)
{
  snprintf(mName, kNameLen, "%s", name ? name : "");
}

IPreset* GetNextUninitializedPreset(WDL_PtrList<IPreset>* pPresets)
{
  const int n = pPresets ? pPresets->GetSize() : 0;
  for (int i = 0; i < n; ++i)
  {
    IPreset* pPreset = pPresets->Get(i);
    if (!pPreset->mInitialized) return pPreset;
  }
  return nullptr;
}

void MakeDefaultUserPresetName(WDL_PtrList<IPreset>* pPresets, char* str)
{
  int nDefaultNames = 0;
  const int n = pPresets ? pPresets->GetSize() : 0;
  for (int i = 0; i < n; ++i)
  {
    const IPreset* pPreset = pPresets->Get(i);
    if (pPreset && strstr(pPreset->mName, kUserPreset)) ++nDefaultNames;
  }
  snprintf(str, IPreset::kNameLen, "%s %d", kUserPreset, nDefaultNames + 1);
}

// ---- framework version header ----

void IPlugBase::InitChunkWithIPlugVer(ByteChunk* pChunk)
{
  pChunk->Clear();
  const int32_t magic = kIPlugVerMagic, ver = kIPlugVersion;
  pChunk->PutValue(&magic);
  pChunk->PutValue(&ver);
}

int IPlugBase::GetIPlugVerFromChunk(ByteChunk* pChunk, int* pPos)
{
  int32_t magic = 0, ver = 0;
  const int pos = pChunk->GetValue(&magic, *pPos);
  if (pos < 0 || magic != kIPlugVerMagic) return 0;
  *pPos = pChunk->GetValue(&ver, pos);
  return *pPos < 0 ? 0 : ver;
}

// ---- parameter serialisers ----

bool IPlugBase::SerializeParams(ByteChunk* pChunk)
{
  WDL_MutexLock lock(&mMutex);
  const int n = NAutomatableParams();
  const int want = pChunk->Size() + n * (int)sizeof(double);
  for (int i = 0; i < n; ++i)
  {
    const double v = GetParam(i)->Value();
    pChunk->PutValue(&v);
  }
  return pChunk->Size() == want;
}

int IPlugBase::ReadParamValues(ByteChunk* pChunk, int pos, int first, int n)
{
  for (int i = first; i < first + n && pos >= 0; ++i)
  {
    double v = 0.0;
    pos = pChunk->GetValue(&v, pos);
    if (pos < 0) v = 0.0;
    GetParam(i)->Set(v);
  }
  return pos;
}

int IPlugBase::UnserializeParams(ByteChunk* pChunk, int startPos)
{
  WDL_MutexLock lock(&mMutex);
  if (startPos < 0) return startPos;
  return ReadParamValues(pChunk, startPos, 0, NAutomatableParams());
}

bool IPlugBase::SerializeNonAutomatedParams(ByteChunk* pChunk, int n)
{
  WDL_MutexLock lock(&mMutex);
  const int tail = NonAutomatedParamCount();
  if (n > tail) n = tail;
  if (n < 1) return true;
  const int first = NonAutomatedStart();
  const int want = pChunk->Size() + n * (int)sizeof(double);
  for (int i = first; i < first + n; ++i)
  {
    const double v = GetParam(i)->Value();
    pChunk->PutValue(&v);
  }
  return pChunk->Size() == want;
}

int IPlugBase::UnserializeNonAutomatedParams(ByteChunk* pChunk, int startPos, int n)
{
  WDL_MutexLock lock(&mMutex);
  const int tail = NonAutomatedParamCount();
  if (n > tail) n = tail;
  if (startPos < 0 || n < 1) return startPos;
  return ReadParamValues(pChunk, startPos, NonAutomatedStart(), n);
}

bool IPlugBase::CompareState(const unsigned char* incomingState, int startPos)
{
  const int n = NAutomatableParams();
  for (int i = 0; i < n; ++i)
  {
    double d;
    memcpy(&d, incomingState + ((size_t)startPos + i) * sizeof(double), sizeof(double));
    const float stored = (float)d, current = (float)GetParam(i)->Value();
    if (!(std::fabs(stored - current) < 0.00001f)) return false;
  }
  return true;
}

// ---- presets ----

const char* IPlugBase::GetPresetName(int idx) const
{
  const IPreset* pPreset = mPresets.Get(idx);
  return pPreset ? pPreset->mName : "";
}

bool IPlugBase::RestorePreset(int idx)
{
  IPreset* pPreset = mPresets.Get(idx);
  if (!pPreset) return false;
  if (pPreset->mInitialized)
  {
    if (UnserializeStateOrKeep(&pPreset->mChunk, 0) < 1) return false;
  }
  else
  {
    char name[IPreset::kNameLen];
    MakeDefaultUserPresetName(&mPresets, name);
    pPreset->mChunk.Clear();
    if (!SerializeState(&pPreset->mChunk))
    {
      pPreset->mChunk.Clear();
      return false;
    }
    pPreset->mInitialized = true;
    pPreset->SetName(name);
  }
  mCurrentPresetIdx = idx;
  PresetsChangedByHost();
  RedrawParamControls();
  return true;
}

bool IPlugBase::RestorePreset(const char* name)
{
  if (!name || !name[0]) return false;
  const int n = NPresets();
  for (int i = 0; i < n; ++i)
    if (!strcmp(mPresets.Get(i)->mName, name)) return RestorePreset(i);
  return false;
}

// A state the plug-in refuses may have been half applied: the values it held
// before go back, so a refusal never leaves a mixed state behind.
int IPlugBase::UnserializeStateOrKeep(ByteChunk* pChunk, int startPos)
{
  ByteChunk before;
  const bool saved = SerializeState(&before);
  const int pos = UnserializeState(pChunk, startPos);
  if (pos < 1 && saved)
  {
    ByteChunk after;
    if (!SerializeState(&after) || !after.IsEqual(&before)) UnserializeState(&before, 0);
  }
  return pos;
}

IPreset* IPlugBase::NextPresetToMake(const char* name)
{
  IPreset* pPreset = GetNextUninitializedPreset(&mPresets);
  if (!pPreset) return nullptr;
  pPreset->mInitialized = true;
  pPreset->SetName(name);
  pPreset->mChunk.Clear();
  return pPreset;
}

void IPlugBase::MakeDefaultPreset(const char* name, int nPresets)
{
  for (int i = 0; i < nPresets; ++i)
  {
    IPreset* pPreset = NextPresetToMake(name ? name : "Empty");
    if (!pPreset) return;
    SerializeState(&pPreset->mChunk);
  }
}

void IPlugBase::EnsureDefaultPreset()
{
  MakeDefaultPreset("Empty", NPresets());
}

void IPlugBase::PruneUninitializedPresets()
{
  for (int i = 0; i < mPresets.GetSize();)
  {
    if (mPresets.Get(i)->mInitialized) ++i;
    else mPresets.Delete(i, true);
  }
}

void IPlugBase::ModifyCurrentPreset(const char* name)
{
  IPreset* pPreset = mPresets.Get(mCurrentPresetIdx);
  if (!pPreset) return;
  pPreset->mChunk.Clear();
  SerializeState(&pPreset->mChunk);
  if (name && name[0]) pPreset->SetName(name);
}

void IPlugBase::MakePreset(const char* name, ...)
{
  IPreset* pPreset = NextPresetToMake(name);
  if (!pPreset) return;
  va_list vp;
  va_start(vp, name);
  const int n = NAutomatableParams();
  for (int i = 0; i < n; ++i)
  {
    const IParamKind kind = GetParam(i)->Type();
    const double v = (kind == kTypeBool || kind == kTypeInt || kind == kTypeEnum) ? (double)va_arg(vp, int) : va_arg(vp, double);
    pPreset->mChunk.PutValue(&v);
  }
  va_end(vp);
}

void IPlugBase::MakePresetFromNamedParams(const char* name, int nParamsNamed, ...)
{
  IPreset* pPreset = NextPresetToMake(name);
  if (!pPreset) return;
  const int n = NAutomatableParams();
  WDL_TypedBuf<double> vals;
  vals.Resize(n);
  for (int i = 0; i < vals.GetSize(); ++i) vals.Get()[i] = kUnsetValue;

  va_list vp;
  va_start(vp, nParamsNamed);
  for (int i = 0; i < nParamsNamed; ++i)
  {
    const int paramIdx = va_arg(vp, int);
    // The kind of an unknown index is unknown, so its value cannot be read.
    if (paramIdx < 0 || paramIdx >= n || paramIdx >= vals.GetSize()) break;
    const IParamKind kind = GetParam(paramIdx)->Type();
    vals.Get()[paramIdx] =
        (kind == kTypeBool || kind == kTypeInt || kind == kTypeEnum) ? (double)va_arg(vp, int) : va_arg(vp, double);
  }
  va_end(vp);

  for (int i = 0; i < vals.GetSize(); ++i)
  {
    const double v = vals.Get()[i] == kUnsetValue ? GetParam(i)->Value() : vals.Get()[i];
    pPreset->mChunk.PutValue(&v);
  }
}

void IPlugBase::MakePresetFromChunk(const char* name, ByteChunk* pChunk)
{
  IPreset* pPreset = NextPresetToMake(name);
  if (pPreset && pChunk) pPreset->mChunk.PutBytes(pChunk);
}

void IPlugBase::MakePresetFromBlob(const char* name, const char* blob, int sizeOfChunk)
{
  ByteChunk presetChunk;
  presetChunk.Resize(sizeOfChunk);
  Base64Decode(blob, presetChunk.Data(), presetChunk.Size());
  MakePresetFromChunk(name, &presetChunk);
}

bool IPlugBase::SerializePresets(ByteChunk* pChunk)
{
  bool savedOK = true;
  const int n = NPresets();
  for (int i = 0; i < n && savedOK; ++i)
  {
    const IPreset* pPreset = mPresets.Get(i);
    const int before = pChunk->Size();
    pChunk->PutText(pPreset->mName);
    pChunk->PutFlag(pPreset->mInitialized);
    if (pPreset->mInitialized) pChunk->PutBytes(&pPreset->mChunk);
    const int want = before + 4 + (int)strlen(pPreset->mName) + 1 + (pPreset->mInitialized ? pPreset->mChunk.Size() : 0);
    savedOK = pChunk->Size() == want;
  }
  return savedOK;
}

int IPlugBase::UnserializePresets(ByteChunk* pChunk, int startPos)
{
  WDL_String name;
  const int n = NPresets();
  for (int i = 0; i < n && startPos >= 0; ++i)
  {
    IPreset* pPreset = mPresets.Get(i);
    startPos = pChunk->GetText(&name, startPos);
    if (startPos < 0) break;
    pPreset->SetName(name.Get());

    bool initialized = false;
    startPos = pChunk->GetFlag(&initialized, startPos);
    if (startPos < 0) break;
    pPreset->mInitialized = initialized;
    if (initialized)
    {
      startPos = UnserializeState(pChunk, startPos);
      if (startPos > 0)
      {
        // Each preset keeps the state in the plug-in's own current format.
        pPreset->mChunk.Clear();
        SerializeState(&pPreset->mChunk);
      }
    }
  }
  RestorePreset(mCurrentPresetIdx);
  return startPos;
}

bool IPlugBase::DumpPresetSrcCode(const char* filename, const char* paramEnumNames[])
{
  WDL_String text;
  const int n = NAutomatableParams();
  text.SetFormatted(64, "  MakePresetFromNamedParams(\"name\", %d", n);
  for (int i = 0; i < n; ++i)
  {
    const IParam* pParam = GetParam(i);
    char paramVal[32];
    switch (pParam->Type())
    {
      case kTypeBool: snprintf(paramVal, sizeof(paramVal), "%s", pParam->Bool() ? "true" : "false"); break;
      case kTypeInt:
      case kTypeEnum: snprintf(paramVal, sizeof(paramVal), "%d", pParam->Int()); break;
      default: snprintf(paramVal, sizeof(paramVal), "%.6f", pParam->Value()); break;
    }
    const char* enumName = (paramEnumNames && paramEnumNames[i]) ? paramEnumNames[i] : "";
    text.Append(",\n    ");
    text.Append(enumName);
    text.Append(", ");
    text.Append(paramVal);
  }
  text.Append(");\n");
  return WriteFileWhole(filename, text.Get(), text.GetLength());
}

bool IPlugBase::DumpPresetBlob(const char* filename)
{
  const IPreset* pPreset = mPresets.Get(mCurrentPresetIdx);
  if (!pPreset) return false;
  WDL_String text("MakePresetFromBlob(\"name\", \"");
  Base64Encode(pPreset->mChunk.Data(), pPreset->mChunk.Size(), &text);
  text.AppendFormatted(32, "\", %i);\n", pPreset->mChunk.Size());
  return WriteFileWhole(filename, text.Get(), text.GetLength());
}

// ---- program and bank files ----

bool IPlugBase::ReadChosenFile(const char* extension, ByteChunk* pOut)
{
  WDL_String file;
  return PromptForFile(&file, false, extension) && ReadFileWhole(file.Get(), pOut);
}

bool IPlugBase::PromptForFile(WDL_String* pFile, bool save, const char* extension)
{
  if (!mGraphics) return false;
  char ext[8];
  snprintf(ext, sizeof(ext), "%s", extension);
  mGraphics->PromptForFile(pFile, save ? kFileSave : kFileOpen, &mPreviousPath, ext);
  return pFile->GetLength() > 0;
}

bool IPlugBase::SaveProgramAsFXP(const char* defaultFileName)
{
  WDL_String file(defaultFileName ? defaultFileName : "");
  if (!PromptForFile(&file, true, "fxp")) return false;

  ByteChunk state;
  if (DoesStateChunks())
  {
    InitChunkWithIPlugVer(&state);
    if (!SerializeState(&state)) return false;
  }
  const int nParams = NAutomatableParams();
  const IPreset* pPreset = mPresets.Get(mCurrentPresetIdx);
  ByteChunk pgm;
  PutFXHeader(&pgm, DoesStateChunks() ? state.Size() + kFXPChunkStart : 0, DoesStateChunks() ? "FPCh" : "FxCk", 1,
              GetUniqueID(), GetEffectVersion(true), nParams);
  PutName28(&pgm, pPreset ? pPreset->mName : "");
  if (DoesStateChunks())
  {
    PutBE32(&pgm, state.Size());
    pgm.PutBytes(&state);
  }
  else
  {
    for (int i = 0; i < nParams; ++i) PutBEFloat(&pgm, (float)GetParam(i)->GetNormalized());
  }
  return WriteFileWhole(file.Get(), pgm.Data(), pgm.Size());
}

bool IPlugBase::SaveBankAsFXB(const char* defaultFileName)
{
  WDL_String file(defaultFileName ? defaultFileName : "");
  if (!PromptForFile(&file, true, "fxb")) return false;

  ByteChunk state;
  if (DoesStateChunks())
  {
    InitChunkWithIPlugVer(&state);
    if (!SerializePresets(&state)) return false;
  }
  const int nParams = NAutomatableParams();
  const int nPresets = NPresets();
  const uint8_t zeros[124] = {};
  ByteChunk bnk;
  PutFXHeader(&bnk, DoesStateChunks() ? state.Size() + kFXBChunkStart : 0, DoesStateChunks() ? "FBCh" : "FxBk", 2,
              GetUniqueID(), GetEffectVersion(true), nPresets);
  PutBE32(&bnk, mCurrentPresetIdx);
  bnk.PutBytes(zeros, (int)sizeof(zeros));
  if (DoesStateChunks())
  {
    PutBE32(&bnk, state.Size());
    bnk.PutBytes(&state);
  }
  else
  {
    for (int p = 0; p < nPresets; ++p)
    {
      IPreset* pPreset = mPresets.Get(p);
      PutFXHeader(&bnk, 0, "FxCk", 1, GetUniqueID(), GetEffectVersion(true), nParams);
      PutName28(&bnk, pPreset->mName);
      // The values the preset's chunk holds, one after the other; 0 where it runs out.
      int pos = 0;
      for (int i = 0; i < nParams; ++i)
      {
        double v = 0.0;
        if (pos >= 0) pos = pPreset->mChunk.GetValue(&v, pos);
        if (pos < 0) v = 0.0;
        PutBEFloat(&bnk, (float)GetParam(i)->GetNormalized(v));
      }
    }
  }
  return WriteFileWhole(file.Get(), bnk.Data(), bnk.Size());
}

bool IPlugBase::LoadProgramFromFXP()
{
  ByteChunk pgm;
  return ReadChosenFile("fxp", &pgm) && ReadProgram(pgm.Data(), pgm.Size());
}

bool IPlugBase::ReadProgram(const unsigned char* pData, int size)
{
  const int nParams = NAutomatableParams();
  if (!pData || size < kFXPHeaderSize) return false;
  if (!IsMagic(pData, "CcnK") || GetBE32(pData + 12) != 1 || GetBE32(pData + 16) != GetUniqueID() ||
      GetBE32(pData + 24) != nParams)
    return false;

  if (IsMagic(pData + 8, "FPCh"))
  {
    ByteChunk state;
    if (!DoesStateChunks() || !SizedChunkAt(pData, size, kFXPHeaderSize, &state)) return false;
    int pos = 0;
    if (!GetIPlugVerFromChunk(&state, &pos)) return false;
    if (UnserializeStateOrKeep(&state, pos) < 1) return false;
    ModifyCurrentPreset();
  }
  else if (IsMagic(pData + 8, "FxCk"))
  {
    if ((long long)size < kFXPHeaderSize + 4LL * nParams) return false;
    for (int i = 0; i < nParams; ++i) GetParam(i)->SetNormalized(GetBEFloat(pData + kFXPHeaderSize + 4 * i));
    ModifyCurrentPreset();
    RestorePreset(GetCurrentPresetIdx());
  }
  else
  {
    return false;
  }
  InformHostOfProgramChange();
  return true;
}

bool IPlugBase::LoadBankFromFXB()
{
  ByteChunk bnk;
  return ReadChosenFile("fxb", &bnk) && ReadBank(bnk.Data(), bnk.Size());
}

bool IPlugBase::ReadBank(const unsigned char* pData, int size)
{
  const int nParams = NAutomatableParams();
  if (!pData || size < kFXBHeaderSize) return false;
  if (!IsMagic(pData, "CcnK") || GetBE32(pData + 16) != GetUniqueID()) return false;

  if (IsMagic(pData + 8, "FBCh"))
  {
    ByteChunk state;
    if (!DoesStateChunks() || !SizedChunkAt(pData, size, kFXBHeaderSize, &state)) return false;
    int pos = 0;
    GetIPlugVerFromChunk(&state, &pos);
    // A damaged preset block is refused whole: the presets and the current
    // state go back to what they were, and the host hears of no change.
    struct Kept
    {
      bool initialized;
      WDL_String name;
      ByteChunk chunk;
    };
    WDL_PtrList<Kept> kept;
    for (int i = 0; i < NPresets(); ++i)
    {
      const IPreset* pPreset = mPresets.Get(i);
      Kept* pKept = kept.Add(new Kept{pPreset->mInitialized, WDL_String(pPreset->mName), ByteChunk()});
      pKept->chunk.PutBytes(&pPreset->mChunk);
    }
    ByteChunk before;
    const bool saved = SerializeState(&before);
    const int currentIdx = mCurrentPresetIdx;
    const bool ok = UnserializePresets(&state, pos) >= 0;
    if (!ok)
    {
      for (int i = 0; i < kept.GetSize() && i < NPresets(); ++i)
      {
        IPreset* pPreset = mPresets.Get(i);
        const Kept* pKept = kept.Get(i);
        pPreset->mInitialized = pKept->initialized;
        pPreset->SetName(pKept->name.Get());
        pPreset->mChunk.Clear();
        pPreset->mChunk.PutBytes(&pKept->chunk);
      }
      mCurrentPresetIdx = currentIdx;
      if (saved) UnserializeState(&before, 0);
      RedrawParamControls();
    }
    kept.Empty(true);
    if (!ok) return false;
  }
  else if (IsMagic(pData + 8, "FxBk"))
  {
    const int32_t nPrograms = GetBE32(pData + 24);
    const int32_t currentPgm = GetBE32(pData + 28);
    const long long pgmSize = kFXPHeaderSize + 4LL * nParams;
    long long pos = kFXBHeaderSize;
    for (int p = 0; p < nPrograms; ++p, pos += pgmSize)
    {
      if (pos + pgmSize > size) break;
      const unsigned char* pPgm = pData + pos;
      if (!IsMagic(pPgm, "CcnK") || GetBE32(pPgm + 12) != 1 || !IsMagic(pPgm + 8, "FxCk") ||
          GetBE32(pPgm + 24) != nParams)
        break;
      if (!RestorePreset(p)) break;
      for (int i = 0; i < nParams; ++i) GetParam(i)->SetNormalized(GetBEFloat(pPgm + kFXPHeaderSize + 4 * i));
      char name[29];
      memcpy(name, pPgm + 28, 28);
      name[28] = 0;
      ModifyCurrentPreset(name);
    }
    RestorePreset(currentPgm);
  }
  else
  {
    return false;
  }
  InformHostOfProgramChange();
  return true;
}
