#include "winsys/shell/clipboard.h"

#include "platform/appkit/NSPasteboard.h"
#include "platform/appkit/NSWorkspace.h"
#include "winsys/kernel.h"
#include "winsys/msgloop/runloop_misc.h"

#include <algorithm>
#include <cstring>
#include <strings.h>
#include <string>
#include <vector>

namespace {

const char* const kTextFormatName = "SWELL__CF_TEXT";
const char* const kPrivateBoard = "SWELL_APP";

struct Pending
{
  UINT fmt;
  HANDLE data;
};

std::vector<std::string> m_clip_fmts;  // id = index + 1
std::vector<UINT> m_clip_curfmts;
std::vector<Pending> m_clipsPending;
std::vector<HANDLE> m_clip_recs;

std::string typeNameOf(const char* name)
{
  return strcmp(name, kTextFormatName) == 0 ? std::string(NSStringPboardType) : std::string(name);
}

// The registered type name of an id; null for an id never registered.
const std::string* nameOf(UINT fmt)
{
  return fmt >= 1 && fmt <= m_clip_fmts.size() ? &m_clip_fmts[fmt - 1] : nullptr;
}

UINT textFormat() { return RegisterClipboardFormat(kTextFormatName); }

// One block may stand for several formats: each is freed once.
void freePending()
{
  std::vector<HANDLE> freed;
  for (const Pending& p : m_clipsPending)
    if (std::find(freed.begin(), freed.end(), p.data) == freed.end())
    {
      GlobalFree(p.data);
      freed.push_back(p.data);
    }
  m_clipsPending.clear();
}

// Text as the platform's strings take it: UTF-8, else ASCII; and back.
std::string throughPlatformString(const std::string& text)
{
  std::vector<char> buf(text.size() * 4 + 32);
  SWELL_CStringThroughCFString(text.c_str(), buf.data(), (int)buf.size());
  return buf.data();
}

}  // namespace

UINT RegisterClipboardFormat(const char* name)
{
  if (!name) return 0;
  // Text keeps the id 1 callers pass as CF_TEXT, whatever is registered first.
  if (m_clip_fmts.empty()) m_clip_fmts.push_back(NSStringPboardType);
  const std::string type = typeNameOf(name);
  for (size_t i = 0; i < m_clip_fmts.size(); ++i)
    if (m_clip_fmts[i] == type) return (UINT)(i + 1);
  m_clip_fmts.push_back(type);
  return (UINT)m_clip_fmts.size();
}

BOOL OpenClipboard(HWND)
{
  freePending();
  textFormat();
  m_clip_curfmts.clear();
  NSPasteboard* board = NSPasteboard::pasteboardWithName(kPrivateBoard);
  for (const std::string& type : board->types())
  {
    auto it = std::find(m_clip_fmts.begin(), m_clip_fmts.end(), type);
    if (it == m_clip_fmts.end()) continue;
    const UINT id = (UINT)(it - m_clip_fmts.begin() + 1);
    if (std::find(m_clip_curfmts.begin(), m_clip_curfmts.end(), id) == m_clip_curfmts.end())
      m_clip_curfmts.push_back(id);
  }
  return TRUE;
}

void EmptyClipboard() { freePending(); }

HANDLE SetClipboardData(UINT fmt, HANDLE data)
{
  // Each block is owned once: a block set again, or one GetClipboardData handed
  // out, must not be freed twice; a block set for another format is written under
  // that one too.
  for (const Pending& p : m_clipsPending)
    if (p.fmt == fmt && p.data == data) return data;
  m_clip_recs.erase(std::remove(m_clip_recs.begin(), m_clip_recs.end(), data), m_clip_recs.end());
  m_clipsPending.push_back(Pending{fmt, data});
  return data;
}

BOOL CloseClipboard()
{
  for (HANDLE h : m_clip_recs) GlobalFree(h);
  m_clip_recs.clear();
  if (m_clipsPending.empty()) return TRUE;

  NSAutoreleasePool pool;
  const UINT text = textFormat();
  const bool hasText = std::any_of(m_clipsPending.begin(), m_clipsPending.end(),
                                   [text](const Pending& p) { return p.fmt == text; });
  NSPasteboard* board = hasText ? NSPasteboard::generalPasteboard() : NSPasteboard::pasteboardWithName(kPrivateBoard);
  std::vector<std::string> types;
  for (const Pending& p : m_clipsPending)
    if (const std::string* name = nameOf(p.fmt)) types.push_back(*name);
  if (!types.empty())
  {
    board->declareTypes(types, nullptr);
    for (const Pending& p : m_clipsPending)
    {
      const std::string* name = nameOf(p.fmt);
      if (!name) continue;
      const char* bytes = (const char*)GlobalLock(p.data);
      const int size = GlobalSize(p.data);
      if (bytes)
      {
        if (p.fmt == text)
          board->setString(throughPlatformString(std::string(bytes, strnlen(bytes, (size_t)size))), *name);
        else
          board->setData(std::vector<uint8_t>(bytes, bytes + size), *name);
      }
      GlobalUnlock(p.data);
    }
  }
  freePending();
  return TRUE;
}

UINT EnumClipboardFormats(UINT fmt)
{
  if (!fmt) return m_clip_curfmts.empty() ? 0 : m_clip_curfmts.front();
  for (int i = (int)m_clip_curfmts.size() - 2; i >= 0; --i)
    if (m_clip_curfmts[(size_t)i] == fmt) return m_clip_curfmts[(size_t)i + 1];
  return 0;
}

HANDLE GetClipboardData(UINT fmt)
{
  const std::string* name = nameOf(fmt);
  if (!name) return nullptr;
  NSAutoreleasePool pool;
  HANDLE h = nullptr;
  if (fmt == textFormat())
  {
    std::optional<std::string> s = NSPasteboard::generalPasteboard()->stringForType(*name);
    if (!s) return nullptr;
    const std::string utf8 = throughPlatformString(*s);
    h = GlobalAlloc(0, (int)utf8.size() + 1);
    if (!h) return nullptr;
    memcpy(GlobalLock(h), utf8.c_str(), utf8.size() + 1);
    GlobalUnlock(h);
  }
  else
  {
    std::optional<std::vector<uint8_t>> data = NSPasteboard::pasteboardWithName(kPrivateBoard)->dataForType(*name);
    if (!data) return nullptr;
    h = GlobalAlloc(0, (int)data->size());
    if (!h) return nullptr;
    if (!data->empty()) memcpy(GlobalLock(h), data->data(), data->size());
    GlobalUnlock(h);
  }
  m_clip_recs.push_back(h);
  return h;
}

// ---- dropped files ----

namespace {

const size_t kDropHeader = 14;  // pFiles, x, y, fNC, fWide

// The block's file list, bounded by the block's size.
bool dropList(HDROP drop, const char** list, const char** end)
{
  const char* block = (const char*)drop;
  const int size = GlobalSize(drop);
  if (size < (int)kDropHeader) return false;
  uint32_t offset;
  memcpy(&offset, block, 4);
  *end = block + size;
  *list = offset < kDropHeader || offset >= (uint32_t)size ? *end : block + offset;
  return true;
}

}  // namespace

UINT DragQueryFile(HDROP drop, UINT index, char* buf, UINT size)
{
  if (!drop) return 0;
  const char *p, *end;
  if (!dropList(drop, &p, &end)) return 0;
  UINT n = 0;
  while (p < end && *p)
  {
    const char* nul = (const char*)memchr(p, 0, (size_t)(end - p));
    if (!nul) break;  // a path cut off by the block's end is no path
    if (n == index)
    {
      const size_t len = (size_t)(nul - p);
      if (!buf) return (UINT)len;
      if (size < 1) return 0;
      const size_t copied = std::min(len, (size_t)size - 1);
      memcpy(buf, p, copied);
      buf[copied] = 0;
      return (UINT)copied;
    }
    ++n;
    p = nul + 1;
  }
  return index == 0xFFFFFFFFu ? n : 0;
}

BOOL DragQueryPoint(HDROP drop, POINT* pt)
{
  if (!drop || GlobalSize(drop) < (int)kDropHeader) return FALSE;
  const char* block = (const char*)drop;
  if (pt)
  {
    memcpy(&pt->x, block + 4, 4);
    memcpy(&pt->y, block + 8, 4);
  }
  return block[12] == 0 ? TRUE : FALSE;
}

void DragFinish(HDROP) {}

// ---- shell execution ----

namespace {

bool sameText(const char* a, const char* b) { return a && strcasecmp(a, b) == 0; }

bool hasSchemePrefix(const char* s)
{
  static const char* const schemes[] = {"http://", "https://", "mailto:", "file:"};
  for (const char* scheme : schemes)
    if (strncasecmp(s, scheme, strlen(scheme)) == 0) return true;
  return false;
}

}  // namespace

BOOL ShellExecute(HWND, const char*, const char* file, const char* parameters, const char*, int)
{
  NSWorkspace* ws = NSWorkspace::sharedWorkspace();
  if (!ws) return FALSE;
  NSAutoreleasePool pool;
  if (file && hasSchemePrefix(file))
  {
    NSURL* url = NSURL::URLWithString(file);
    return url && ws->openURL(url) ? TRUE : FALSE;
  }
  std::string f = file ? file : "", params = parameters ? parameters : "";
  if (sameText(f.c_str(), "explorer.exe")) f.clear();
  else if (sameText(f.c_str(), "notepad.exe") || sameText(f.c_str(), "notepad")) f = "TextEdit.app";
  if (sameText(params.c_str(), "explorer.exe")) params.clear();

  if (!f.empty() && !params.empty()) return ws->openFile(params, f, true) ? TRUE : FALSE;
  const std::string target = !f.empty() ? f : params;
  if (target.empty()) return FALSE;
  if (target.size() >= 5 && strcasecmp(target.c_str() + target.size() - 4, ".app") == 0)
    return ws->launchApplication(target) ? TRUE : FALSE;
  return ws->openFile(target) ? TRUE : FALSE;
}
