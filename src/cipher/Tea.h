#pragma once
// The block cipher of the configuration resources: TEA, 32 cycles, 8-byte blocks
// under a 128-bit key given as four 32-bit words.

class Tea
{
public:
  // One 8-byte block in place, its two words stored most significant byte first.
  // The plug-in only ever deciphers; the encipher tool makes the resources.
  static void simpledecrypt(unsigned char* block, unsigned int* key);
  static void simpleencrypt(unsigned char* block, unsigned int* key);

  // One block given as two words in host order.
  static void decryptTea(unsigned int* v, unsigned int* key);
  static void encryptTea(unsigned int* v, unsigned int* key);

  // Enciphers *length bytes and a trailing block that records the length; the
  // buffer must hold ((*length + 7) / 8) * 8 + 8 bytes. *length becomes the
  // enciphered size. Words in host order.
  static bool encryptBlock(unsigned char* data, unsigned int* length, unsigned int* key);
  // Undoes encryptBlock: *length is the enciphered size (a multiple of 8, at
  // least 8) and becomes the original length. Refuses, leaving data and *length
  // untouched, a size that cannot come from encryptBlock or a recorded length
  // that does not fit before the length block.
  static bool decryptBlock(unsigned char* data, unsigned int* length, unsigned int* key);

  // The bytes as characters on standard output, then a line break.
  static void printBuffer(unsigned char* data, int length);
};
