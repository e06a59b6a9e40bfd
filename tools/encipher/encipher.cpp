// davrel-encipher ROOT SOURCE.xml OUTPUT.tea
//
// Checks that SOURCE parses as XML with the root element ROOT, then writes it to
// OUTPUT enciphered block by block under the plug-in's resource key (big-endian
// words, the last block filled with zero bytes). The output is written beside its
// final name and renamed, so a failed run never leaves half a resource.

#include "cipher/ResourceCipher.h"

#include <tinyxml2.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

int fail(const std::string& text)
{
  fprintf(stderr, "davrel-encipher: %s\n", text.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv)
{
  if (argc != 4) return fail("usage: davrel-encipher ROOT SOURCE.xml OUTPUT.tea");
  const std::string root = argv[1], source = argv[2], output = argv[3];

  std::ifstream in(source, std::ios::binary);
  if (!in) return fail("cannot open " + source);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return fail("cannot read " + source);

  tinyxml2::XMLDocument doc(true, tinyxml2::PRESERVE_WHITESPACE);
  if (doc.Parse(text.c_str(), text.size()) != tinyxml2::XML_SUCCESS)
    return fail(source + " does not parse: " + (doc.ErrorStr() ? doc.ErrorStr() : "?"));
  if (!doc.FirstChildElement(root.c_str())) return fail(source + " has no root element " + root);

  unsigned int key[4];
  resourceKeyWords(kResourceKeyBytes, key);
  std::vector<unsigned char> blocks;
  if (!encipherResource(text, key, &blocks)) return fail(source + " holds a zero byte, which would end the text");

  const std::string temp = output + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return fail("cannot write " + temp);
    out.write((const char*)blocks.data(), (std::streamsize)blocks.size());
    out.close();
    if (!out) return fail("cannot write " + temp);
  }
  if (std::rename(temp.c_str(), output.c_str()) != 0)
  {
    std::remove(temp.c_str());
    return fail("cannot rename " + temp + " to " + output);
  }
  return 0;
}
