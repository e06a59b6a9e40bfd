#include "StateFile.h"

#include "plug/Base64.h"

#include <tinyxml2.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

namespace {

std::string Text(CFStringRef s)
{
  const char* p = CFStringGetCStringPtr(s, kCFStringEncodingUTF8);
  return p ? p : "";
}

bool WriteValue(tinyxml2::XMLDocument& doc, tinyxml2::XMLElement* parent, CFTypeRef v, std::string* error)
{
  const CFTypeID t = CFGetTypeID(v);
  if (t == CFStringGetTypeID())
  {
    parent->InsertNewChildElement("string")->SetText(Text((CFStringRef)v).c_str());
  }
  else if (t == CFNumberGetTypeID())
  {
    if (CFNumberIsFloatType((CFNumberRef)v))
    {
      double d = 0;
      CFNumberGetValue((CFNumberRef)v, kCFNumberFloat64Type, &d);
      char buf[40];
      snprintf(buf, sizeof(buf), "%.17g", d);
      parent->InsertNewChildElement("real")->SetText(buf);
    }
    else
    {
      int64_t i = 0;
      CFNumberGetValue((CFNumberRef)v, kCFNumberSInt64Type, &i);
      parent->InsertNewChildElement("integer")->SetText((int64_t)i);
    }
  }
  else if (t == CFDataGetTypeID())
  {
    WDL_String b64;
    const CFIndex n = CFDataGetLength((CFDataRef)v);
    if (n > 0x7fffffff / 2)
    {
      *error = "data too large";
      return false;
    }
    Base64Encode(CFDataGetBytePtr((CFDataRef)v), (int)n, &b64);
    parent->InsertNewChildElement("data")->SetText(b64.Get());
  }
  else if (t == CFArrayGetTypeID())
  {
    tinyxml2::XMLElement* a = parent->InsertNewChildElement("array");
    for (CFIndex i = 0; i < CFArrayGetCount((CFArrayRef)v); ++i)
      if (!WriteValue(doc, a, CFArrayGetValueAtIndex((CFArrayRef)v, i), error)) return false;
  }
  else if (t == CFDictionaryGetTypeID())
  {
    tinyxml2::XMLElement* d = parent->InsertNewChildElement("dict");
    const CFIndex n = CFDictionaryGetCount((CFDictionaryRef)v);
    std::vector<const void*> keys((size_t)n), values((size_t)n);
    CFDictionaryGetKeysAndValues((CFDictionaryRef)v, keys.data(), values.data());
    for (CFIndex i = 0; i < n; ++i)
    {
      if (CFGetTypeID(keys[(size_t)i]) != CFStringGetTypeID())
      {
        *error = "dictionary key is not a string";
        return false;
      }
      d->InsertNewChildElement("key")->SetText(Text((CFStringRef)keys[(size_t)i]).c_str());
      if (!WriteValue(doc, d, values[(size_t)i], error)) return false;
    }
  }
  else
  {
    *error = "value of a type a property list cannot hold";
    return false;
  }
  return true;
}

// Strict: whole groups of four, padding only at the end.
bool DecodeBase64(const char* text, std::vector<UInt8>* out)
{
  std::string s;
  for (const char* p = text; *p; ++p)
    if (!strchr(" \t\r\n", *p)) s += *p;
  if (s.size() % 4) return false;
  size_t pad = 0;
  while (pad < 2 && pad < s.size() && s[s.size() - 1 - pad] == '=') ++pad;
  for (size_t i = 0; i < s.size() - pad; ++i)
    if (!isalnum((unsigned char)s[i]) && s[i] != '+' && s[i] != '/') return false;
  const int n = (int)(s.size() / 4 * 3 - pad);
  out->assign((size_t)n, 0);
  return Base64Decode(s.c_str(), out->data(), n) == n;
}

CFPropertyListRef ReadValue(const tinyxml2::XMLElement* e, std::string* error)
{
  const std::string name = e->Name();
  const char* text = e->GetText() ? e->GetText() : "";
  if (name == "string")
  {
    CFStringRef s = CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
    if (!s) *error = "string that is not UTF-8";
    return s;
  }
  if (name == "integer")
  {
    errno = 0;
    char* end = nullptr;
    const long long v = strtoll(text, &end, 10);
    if (!*text || *end || errno)
    {
      *error = std::string("bad integer \"") + text + "\"";
      return nullptr;
    }
    const int64_t i = v;
    return CFNumberCreate(nullptr, kCFNumberSInt64Type, &i);
  }
  if (name == "real")
  {
    char* end = nullptr;
    const double d = strtod(text, &end);
    if (!*text || *end)
    {
      *error = std::string("bad real \"") + text + "\"";
      return nullptr;
    }
    return CFNumberCreate(nullptr, kCFNumberFloat64Type, &d);
  }
  if (name == "data")
  {
    std::vector<UInt8> bytes;
    if (!DecodeBase64(text, &bytes))
    {
      *error = "bad data text";
      return nullptr;
    }
    return CFDataCreate(nullptr, bytes.data(), (CFIndex)bytes.size());
  }
  if (name == "array")
  {
    CFMutableArrayRef a = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
    for (const tinyxml2::XMLElement* c = e->FirstChildElement(); c; c = c->NextSiblingElement())
    {
      CFPropertyListRef v = ReadValue(c, error);
      if (!v)
      {
        CFRelease(a);
        return nullptr;
      }
      CFArrayAppendValue(a, v);
      CFRelease(v);
    }
    return a;
  }
  if (name == "dict")
  {
    CFMutableDictionaryRef d =
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    for (const tinyxml2::XMLElement* k = e->FirstChildElement(); k; k = k->NextSiblingElement())
    {
      const tinyxml2::XMLElement* v = k->NextSiblingElement();
      CFStringRef key = strcmp(k->Name(), "key") ? nullptr
                                                 : CFStringCreateWithCString(nullptr, k->GetText() ? k->GetText() : "",
                                                                             kCFStringEncodingUTF8);
      CFPropertyListRef value = key && v ? ReadValue(v, error) : nullptr;
      if (!key || !value || CFDictionaryContainsKey(d, key))
      {
        if (error->empty()) *error = key ? (value ? "key given twice" : "key without value") : "expected a key";
        if (key) CFRelease(key);
        if (value) CFRelease(value);
        CFRelease(d);
        return nullptr;
      }
      CFDictionarySetValue(d, key, value);
      CFRelease(key);
      CFRelease(value);
      k = v;
    }
    return d;
  }
  *error = "unknown element <" + name + ">";
  return nullptr;
}

}  // namespace

bool WriteStateFile(const std::string& path, CFPropertyListRef plist, std::string* error)
{
  std::string ignored;
  if (!error) error = &ignored;
  tinyxml2::XMLDocument doc;
  doc.InsertEndChild(doc.NewDeclaration("xml version=\"1.0\" encoding=\"UTF-8\""));
  tinyxml2::XMLElement* root = doc.NewElement("plist");
  root->SetAttribute("version", "1.0");
  doc.InsertEndChild(root);
  if (!WriteValue(doc, root, plist, error)) return false;
  const std::string tmp = path + ".tmp";
  if (doc.SaveFile(tmp.c_str()) != tinyxml2::XML_SUCCESS || rename(tmp.c_str(), path.c_str()) != 0)
  {
    remove(tmp.c_str());
    *error = "cannot write " + path;
    return false;
  }
  return true;
}

CFPropertyListRef ReadStateFile(const std::string& path, std::string* error)
{
  std::string ignored;
  if (!error) error = &ignored;
  error->clear();
  tinyxml2::XMLDocument doc;
  if (doc.LoadFile(path.c_str()) != tinyxml2::XML_SUCCESS)
  {
    *error = "cannot read " + path + ": " + (doc.ErrorStr() ? doc.ErrorStr() : "");
    return nullptr;
  }
  const tinyxml2::XMLElement* root = doc.RootElement();
  const tinyxml2::XMLElement* top = root && !strcmp(root->Name(), "plist") ? root->FirstChildElement() : nullptr;
  if (!top || top->NextSiblingElement())
  {
    *error = "not a property list with one value";
    return nullptr;
  }
  return ReadValue(top, error);
}
