#pragma once
// The host's project file for one unit's state: a property list (dictionaries,
// arrays, strings, integers, reals and data) written as XML.

#include "platform/corefoundation/CoreFoundation.h"

#include <string>

// Written beside the path and renamed over it; false (and error) on any failure.
bool WriteStateFile(const std::string& path, CFPropertyListRef plist, std::string* error);
// A new property list, or null (and error) for a missing, unreadable or malformed file.
CFPropertyListRef ReadStateFile(const std::string& path, std::string* error);
