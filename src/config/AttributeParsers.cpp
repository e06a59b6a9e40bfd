// The small readers that turn attribute texts of the configuration into values.

#include "config/UIConfigManager.h"

#include <climits>
#include <sstream>

namespace {

// A hexadecimal number read the way an input stream reads one: an optional sign and
// 0x, then digits up to the first other character; 0 when there is none. whole tells
// whether the number took the whole token.
int readHex(const std::string& token, bool* whole)
{
  std::istringstream in(token);
  int v = 0;
  in >> std::hex >> v;
  *whole = !in.fail() && in.eof();
  return in.fail() ? 0 : v;
}

// A parameter id moved by a timbre offset; -1 for a missing id or a sum outside int.
int movedParam(int id, int offset)
{
  if (id < 0) return -1;
  const long long moved = (long long)id + offset;
  return moved < 0 || moved > INT_MAX ? -1 : (int)moved;
}

}  // namespace

void UIConfigManager::Tokenize(const std::string& text, std::vector<std::string>& tokens,
                               const std::string& delimiters)
{
  std::string::size_type start = text.find_first_not_of(delimiters, 0);
  std::string::size_type end = text.find_first_of(delimiters, start);
  while (start != std::string::npos)
  {
    tokens.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    start = text.find_first_not_of(delimiters, end);
    end = text.find_first_of(delimiters, start);
  }
}

void UIConfigManager::getCSValues(std::string text, int* values, int count)
{
  std::vector<std::string> tokens;
  Tokenize(text, tokens, ",");
  for (int i = 0; i < count && i < (int)tokens.size(); ++i)
  {
    std::istringstream in(tokens[(size_t)i]);
    int v;
    if (in >> v) values[i] = v;  // no number, or out of range: the slot keeps its value
  }
}

void UIConfigManager::getBiDirectLinkValues(std::string text, LinkInfo* link, int offset) const
{
  std::vector<std::string> tokens;
  Tokenize(text, tokens, ",");
  *link = LinkInfo();
  if (tokens.size() < 2) return;
  // Only a name that was found is moved to the timbre copy: a missing name moved by
  // the offset would become another parameter's id (-1 + 1 is parameter 0) and the
  // link would write that parameter.
  link->param1 = movedParam(getParamByName(tokens[0]), offset);
  link->param2 = movedParam(getParamByName(tokens[1]), offset);
  if (tokens.size() == 3)
  {
    std::istringstream in(tokens[2]);
    int v;
    if (in >> v) link->value = v;
  }
}

std::vector<int> UIConfigManager::convertStringSysextoVector(std::string text)
{
  std::vector<std::string> tokens;
  Tokenize(text, tokens, " ");
  std::vector<int> bytes;
  bytes.reserve(tokens.size());
  bool whole;
  for (const std::string& token : tokens) bytes.push_back(readHex(token, &whole));
  return bytes;
}

bool UIConfigManager::parseSysExTemplate(const std::string& text, std::vector<int>* bytes) const
{
  std::vector<std::string> tokens;
  Tokenize(text, tokens, " ");
  if (tokens.empty())
  {
    configProblem("CONFIG READER: SysEx template \"" + text + "\" is empty!");
    return false;
  }
  std::vector<int> parsed;
  parsed.reserve(tokens.size());
  for (const std::string& token : tokens)
  {
    bool whole;
    const int v = readHex(token, &whole);
    if (!whole)
    {
      configProblem("CONFIG READER: SysEx template \"" + text + "\" holds " + token + ", not a hexadecimal number!");
      return false;
    }
    if (v < 0 || v > 0x7F)
    {
      configProblem("CONFIG READER: SysEx template \"" + text + "\" holds " + token + ", not a data byte 00 to 7F!");
      return false;
    }
    parsed.push_back(v);
  }
  *bytes = std::move(parsed);
  return true;
}

const char* UIConfigManager::getParamGroup(int channel, std::string group)
{
  if (channel >= 0)
  {
    groupText = "Timbre " + std::to_string((long long)channel + 1);  // INT_MAX + 1 must not wrap
    if (!group.empty()) groupText += ":" + group;
    return groupText.c_str();
  }
  if (group.empty()) return "";
  groupText = group;
  return groupText.c_str();
}
