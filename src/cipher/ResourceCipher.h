#pragma once
// Whole configuration resources: a plain run of 8-byte TEA blocks with big-endian
// words, no header and no length; the text ends at its first zero byte.

#include <string>
#include <vector>

// The 16 key bytes built into the plug-in, and the same key as the four words the
// cipher takes (word i is bytes 4i to 4i+3, least significant first).
extern const unsigned char kResourceKeyBytes[16];
void resourceKeyWords(const unsigned char* keyBytes, unsigned int* words);

// Deciphers n bytes block by block. A last partial block is completed with zero
// bytes, as if the data were followed by zeros. The result holds all deciphered
// bytes, zeros included; a reader stops at the first zero.
std::string decipherResource(const unsigned char* data, int n, const unsigned int* key);

// Enciphers a text, padding its last block with zero bytes. A text holding a zero
// byte would end there when read back; such a text is refused (empty result and
// false).
bool encipherResource(const std::string& text, const unsigned int* key, std::vector<unsigned char>* out);
