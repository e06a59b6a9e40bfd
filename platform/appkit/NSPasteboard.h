#pragma once
// Pasteboards: named stores of typed data. The general pasteboard's text is the
// desktop's clipboard when the presenter shares one (X11: the CLIPBOARD
// selection); a pasteboard made by name is shared with the program's other
// processes when the presenter shares them (X11: a selection of that name, every
// type under its own target). The drag pasteboard, and every pasteboard when
// headless, lives in the process. Main thread only.

#include "platform/appkit/Foundation.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The type of UTF-8 text.
extern const char* const NSStringPboardType;
// The name of the pasteboard a drag carries its data on (in the process only).
extern const char* const NSDragPboard;

class NSPasteboard : public NSObject
{
public:
  static NSPasteboard* generalPasteboard();
  // The pasteboard of the name, made on first use; lives with the process.
  static NSPasteboard* pasteboardWithName(const std::string& name);
  const std::string& name() const { return mName; }

  // Clears the pasteboard and declares the types it will hold, in order; takes it
  // from other programs when it is shared. The new change count.
  NSInteger declareTypes(const std::vector<std::string>& types, NSObject* owner);
  // The types held, in order (for the general pasteboard while another program
  // holds the clipboard: the text type when it offers text; for a shared named one
  // another process holds: the types it offers).
  std::vector<std::string> types();
  // False for a type that was not declared.
  bool setString(const std::string& utf8, const std::string& type);
  bool setData(const std::vector<uint8_t>& bytes, const std::string& type);
  // A list of strings (file paths), kept as the type's data.
  bool setPropertyList(const std::vector<std::string>& list, const std::string& type);
  std::optional<std::vector<std::string>> propertyListForType(const std::string& type);
  // Nothing when the type is not held.
  std::optional<std::string> stringForType(const std::string& type);
  std::optional<std::vector<uint8_t>> dataForType(const std::string& type);
  NSInteger changeCount() const { return mChangeCount; }

private:
  explicit NSPasteboard(const std::string& name) : mName(name) {}
  bool isShared() const;
  // Shared, and taken by another program since we last declared types: reads ask it.
  bool heldElsewhere() const;
  struct Entry
  {
    std::string type;
    bool set = false;
    std::vector<uint8_t> bytes;
  };
  Entry* entry(const std::string& type);
  std::string mName;
  std::vector<Entry> mEntries;
  NSInteger mChangeCount = 0;
};
