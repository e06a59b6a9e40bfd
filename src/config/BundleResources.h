#pragma once
// Files of the plug-in bundle: the folder that holds the plug-in's shared library
// also holds its resources, under the names the code uses ("resources/sysex.tea",
// "resources/img/knob-25.png").

#include <memory>
#include <string>

// A loaded resource: its bytes followed by zero bytes up to the next multiple of 8,
// so a reader of whole 8-byte blocks sees zeros after the data. No data means the
// load failed, and problem says why.
struct LoadedResource
{
  std::unique_ptr<unsigned char[]> data;
  int size = 0;
  std::string problem;
};

class BundleResources
{
public:
  // Larger resources are refused whole rather than cut short.
  static const int kMaxResourceSize = 4096000;

  // The bundle folder of the code running this: the folder of the shared library
  // (or executable) that contains this function.
  static std::string defaultRoot();

  BundleResources() : BundleResources(defaultRoot()) {}
  // An explicit bundle folder, for tests and tools.
  explicit BundleResources(std::string root) : mRoot(std::move(root)) {}

  const std::string& root() const { return mRoot; }

  // The file a resource name stands for, or empty for a name that could leave the
  // bundle (absolute, or with a ".." component) or is empty.
  std::string pathOf(const char* name) const;

  // Reads the whole resource. The id plays no part in finding it. Prints "failed to
  // open file" when the file exists but cannot be opened. Records the size read, or
  // 0 on failure, in loadedSize.
  LoadedResource LoadFile(int id, const char* name);

  // The size of the last resource read.
  int loadedSize() const { return mLoadedSize; }

private:
  std::string mRoot;
  int mLoadedSize = 0;
};
