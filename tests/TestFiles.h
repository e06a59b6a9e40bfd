#pragma once
// Temporary folders and whole-file reads and writes, shared by the test programs.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

// A fresh folder under the system's temporary folder, removed with everything in
// it when the object goes. path() is empty when the folder could not be made.
class TempFolder
{
public:
  explicit TempFolder(const std::string& prefix = "davrel-test")
  {
    std::error_code ec;
    std::string tmpl = (std::filesystem::temp_directory_path(ec) / (prefix + "-XXXXXX")).string();
    if (ec) tmpl = "/tmp/" + prefix + "-XXXXXX";
    if (mkdtemp(&tmpl[0])) mPath = tmpl;
  }
  ~TempFolder()
  {
    std::error_code ec;
    if (!mPath.empty()) std::filesystem::remove_all(mPath, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return mPath; }
  // The full path of a file inside, its folders made on the way.
  std::string file(const std::string& relative) const
  {
    const std::filesystem::path full = std::filesystem::path(mPath) / relative;
    std::error_code ec;
    std::filesystem::create_directories(full.parent_path(), ec);
    return full.string();
  }

private:
  std::string mPath;
};

inline bool writeWholeFile(const std::string& path, const void* data, size_t size)
{
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (size) out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  return out.good();
}

template <class Bytes>
bool writeWholeFile(const std::string& path, const Bytes& bytes)
{
  return writeWholeFile(path, bytes.data(), bytes.size());
}

inline std::vector<uint8_t> readWholeFile(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The temporary files that writes left in folder (names ending in ".tmp"), sorted.
inline std::vector<std::string> temporaryFilesIn(const std::string& folder)
{
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
    if (entry.path().extension() == ".tmp") names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}
