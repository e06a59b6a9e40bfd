#pragma once
// Base64 with the RFC 4648 alphabet, for preset blobs in source form.

#include "base/wdlstring.h"

#include <cstdint>

// Appends the text of size bytes to pOut, padded with "=" or "==".
void Base64Encode(const uint8_t* pData, int size, WDL_String* pOut);
// Decodes text up to its first character outside the alphabet ("=" or the
// end) into pOut, which is zero-filled first; bytes beyond outSize are
// dropped. Returns the number of bytes the text held (may exceed outSize).
int Base64Decode(const char* text, uint8_t* pOut, int outSize);
