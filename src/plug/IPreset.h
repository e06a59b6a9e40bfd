#pragma once
// One preset: a name and the state SerializeState wrote for it.

#include "base/ptrlist.h"
#include "plug/ByteChunk.h"

struct IPreset
{
  enum { kNameLen = 256 };  // with the terminating zero

  bool mInitialized = false;
  char mName[kNameLen] = "empty";
  ByteChunk mChunk;

  void SetName(const char* name);  // cut to fit
};

// The first preset in list order that is not initialised, or null.
IPreset* GetNextUninitializedPreset(WDL_PtrList<IPreset>* pPresets);
// "user preset N", N = 1 + the number of presets whose names contain "user preset";
// str holds IPreset::kNameLen bytes.
void MakeDefaultUserPresetName(WDL_PtrList<IPreset>* pPresets, char* str);
