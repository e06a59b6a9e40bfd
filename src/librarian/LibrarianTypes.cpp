#include "librarian/LibrarianTypes.h"

#include <algorithm>

void LibrarianPatch::clone(LibrarianPatch& target) const
{
  target.name = name;
  target.messages.insert(target.messages.end(), messages.begin(), messages.end());
}

PatchFile* PatchFile::clone() const
{
  PatchFile* copy = new PatchFile;
  copy->patches = patches;
  copy->fileName = fileName;
  return copy;
}

void removeCharsFromString(std::string& str, const char* chars)
{
  if (!chars) return;
  for (const char* c = chars; *c; ++c) str.erase(std::remove(str.begin(), str.end(), *c), str.end());
}
