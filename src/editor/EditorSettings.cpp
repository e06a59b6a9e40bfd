#include "editor/EditorSettings.h"

#include "base/filewrite.h"

#include <cstdio>
#include <unistd.h>

namespace {

void trimRight(std::string* s)
{
  while (!s->empty())
  {
    const char c = s->back();
    if (c != ' ' && c != '\n' && c != '\r' && c != '\t') break;
    s->pop_back();
  }
}

// One line with its line feed, or false at the end of the file.
bool readLine(FILE* f, std::string* line)
{
  line->clear();
  int c;
  bool any = false;
  while ((c = fgetc(f)) != EOF)
  {
    any = true;
    line->push_back((char)c);
    if (c == '\n') break;
  }
  return any;
}

}  // namespace

bool EditorSettings::read(const std::string& path)
{
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return false;
  std::string line;
  for (int i = 0; i < 3 && readLine(f, &line); ++i)
  {
    trimRight(&line);
    lines[i] = line;
  }
  fclose(f);
  return true;
}

bool EditorSettings::write(const std::string& path) const
{
  if (access(path.c_str(), F_OK) != 0) return false;
  std::string text;
  for (int i = 0; i < kLines; ++i)
  {
    text += lines[i];
    if (i < kLines - 1) text += '\n';
  }
  return writeFileDurably(path, text.data(), text.size(), true) == 0;
}

double EditorSettings::scale() const
{
  if (lines[1] == "small") return 0.75;
  if (lines[1] == "large") return 1.25;
  return 1.0;
}

int EditorSettings::skin() const { return lines[0] == "black" ? 1 : 0; }

int EditorSettings::sizeIndex() const
{
  if (lines[1] == "small") return 0;
  if (lines[1] == "normal") return 1;
  if (lines[1] == "large") return 2;
  return -1;
}

int EditorSettings::skinControlValue() const
{
  if (lines[0] == "normal") return 0;
  if (lines[0] == "black") return 1;
  return -1;
}
