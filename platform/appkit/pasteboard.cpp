#include "platform/appkit/NSPasteboard.h"

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/Presenter.h"

#include <map>
#include <cstring>
#include <memory>

const char* const NSStringPboardType = "NSStringPboardType";
const char* const NSDragPboard = "Apple CFPasteboard drag";

namespace {
const char* const kGeneral = "Apple CFPasteboard general";

NSPresenter* presenter() { return NSApplication::sharedApplication()->presenter(); }
}  // namespace

NSPasteboard* NSPasteboard::generalPasteboard() { return pasteboardWithName(kGeneral); }

NSPasteboard* NSPasteboard::pasteboardWithName(const std::string& name)
{
  // Pasteboards live as long as the process, as the platform's do.
  static auto* boards = new std::map<std::string, NSPasteboard*>;
  NSPasteboard*& b = (*boards)[name];
  if (!b) b = new NSPasteboard(name);
  return b;
}

bool NSPasteboard::isShared() const
{
  NSPresenter* p = presenter();
  if (!p) return false;
  if (mName == kGeneral) return p->sharesClipboard();
  return mName != NSDragPboard && p->sharesNamedPasteboards();
}

bool NSPasteboard::heldElsewhere() const
{
  if (!isShared()) return false;
  return mName == kGeneral ? !presenter()->ownsClipboard() : !presenter()->ownsPasteboard(mName);
}

NSPasteboard::Entry* NSPasteboard::entry(const std::string& type)
{
  for (Entry& e : mEntries)
    if (e.type == type) return &e;
  return nullptr;
}

NSInteger NSPasteboard::declareTypes(const std::vector<std::string>& types, NSObject*)
{
  mEntries.clear();
  for (const std::string& t : types)
    if (!entry(t)) mEntries.push_back(Entry{t, false, {}});
  if (isShared())
  {
    if (mName == kGeneral) presenter()->setClipboardText(nullptr);
    else presenter()->takePasteboard(mName);
  }
  return ++mChangeCount;
}

std::vector<std::string> NSPasteboard::types()
{
  std::vector<std::string> out;
  if (heldElsewhere())
  {
    std::string text;
    if (mName != kGeneral) presenter()->pasteboardTypes(mName, &out);
    else if (presenter()->clipboardText(&text)) out.push_back(NSStringPboardType);
    return out;
  }
  for (const Entry& e : mEntries) out.push_back(e.type);
  return out;
}

bool NSPasteboard::setData(const std::vector<uint8_t>& bytes, const std::string& type)
{
  Entry* e = entry(type);
  if (!e) return false;
  e->bytes = bytes;
  e->set = true;
  if (!isShared()) return true;
  if (mName != kGeneral) presenter()->offerPasteboardData(mName, type, bytes);
  else if (type == NSStringPboardType)
  {
    const std::string text(bytes.begin(), bytes.end());
    presenter()->setClipboardText(&text);
  }
  else
    presenter()->setClipboardData(type, bytes);
  return true;
}

bool NSPasteboard::setString(const std::string& utf8, const std::string& type)
{
  return setData(std::vector<uint8_t>(utf8.begin(), utf8.end()), type);
}

// Each string followed by a NUL: a list of paths cannot hold one.
bool NSPasteboard::setPropertyList(const std::vector<std::string>& list, const std::string& type)
{
  std::vector<uint8_t> bytes;
  for (const std::string& s : list)
  {
    bytes.insert(bytes.end(), s.begin(), s.begin() + (std::ptrdiff_t)strnlen(s.c_str(), s.size()));
    bytes.push_back(0);
  }
  return setData(bytes, type);
}

std::optional<std::vector<std::string>> NSPasteboard::propertyListForType(const std::string& type)
{
  std::optional<std::vector<uint8_t>> bytes = dataForType(type);
  if (!bytes) return std::nullopt;
  std::vector<std::string> list;
  size_t from = 0;
  for (size_t i = 0; i < bytes->size(); ++i)
    if ((*bytes)[i] == 0)
    {
      list.emplace_back((const char*)bytes->data() + from, i - from);
      from = i + 1;
    }
  return list;
}

std::optional<std::vector<uint8_t>> NSPasteboard::dataForType(const std::string& type)
{
  const bool elsewhere = heldElsewhere();
  if (elsewhere && mName != kGeneral)
  {
    std::vector<uint8_t> bytes;
    if (!presenter()->pasteboardData(mName, type, &bytes)) return std::nullopt;
    return bytes;
  }
  if (elsewhere && type == NSStringPboardType)
  {
    std::string text;
    if (!presenter()->clipboardText(&text)) return std::nullopt;
    return std::vector<uint8_t>(text.begin(), text.end());
  }
  Entry* e = entry(type);
  if (!e || !e->set) return std::nullopt;
  return e->bytes;
}

std::optional<std::string> NSPasteboard::stringForType(const std::string& type)
{
  std::optional<std::vector<uint8_t>> bytes = dataForType(type);
  if (!bytes) return std::nullopt;
  return std::string(bytes->begin(), bytes->end());
}
