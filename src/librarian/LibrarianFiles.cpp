#include "librarian/LibrarianFiles.h"

#include "plug/ByteChunk.h"

#include <Poco/Exception.h>
#include <Poco/File.h>
#include <Poco/FileStream.h>

#include <cstdlib>

std::string dataFolderPath()
{
  const char* env = getenv("DAVREL_DATA_DIR");
  std::string path = env && *env ? env : "/Library/Audio/Presets/Quiet Harbor Sound/Rudu Davrel Editor/";
  if (path.back() != '/') path += '/';
  return path;
}

std::string patchesFolderPath() { return dataFolderPath() + "Patches"; }

std::string convertedBanksFolderPath() { return dataFolderPath() + "Converted Banks/"; }

bool readWholeFile(const std::string& path, ByteChunk* chunk, std::string* error)
{
  chunk->Clear();
  try
  {
    Poco::File file(path);
    const Poco::File::FileSize size = file.getSize();
    if (size > (Poco::File::FileSize)kMaxBankFileSize)
    {
      if (error) *error = "larger than 1 MiB";
      return false;
    }
    Poco::FileInputStream in(path, std::ios::in | std::ios::binary);
    if (chunk->Resize((int)size) != (int)size)
    {
      if (error) *error = "out of memory";
      return false;
    }
    if (size) in.read((char*)chunk->Data(), (std::streamsize)size);
    // A file that grew or shrank since its size was taken is not read half.
    if ((Poco::File::FileSize)in.gcount() != size || in.peek() != std::char_traits<char>::eof())
    {
      chunk->Clear();
      if (error) *error = "changed while it was read";
      return false;
    }
    return true;
  }
  catch (const Poco::Exception& e)
  {
    chunk->Clear();
    if (error) *error = e.displayText();
  }
  catch (const std::exception& e)
  {
    chunk->Clear();
    if (error) *error = e.what();
  }
  return false;
}

bool writeFileAtomically(const std::string& path, const uint8_t* data, int size, bool replace, std::string* error)
{
  const std::string tmpPath = path + ".tmp";
  try
  {
    if (!replace && Poco::File(path).exists())
    {
      if (error) *error = "a file of that name exists";
      return false;
    }
    {
      Poco::FileOutputStream out(tmpPath, std::ios::out | std::ios::trunc | std::ios::binary);
      if (size > 0) out.write((const char*)data, size);
      out.close();
      if (!out.good()) throw Poco::WriteFileException(tmpPath);
    }
    Poco::File tmp(tmpPath);
    if ((int)tmp.getSize() != size) throw Poco::WriteFileException(tmpPath);
    tmp.renameTo(path, replace ? 0 : Poco::File::OPT_FAIL_ON_OVERWRITE);
    return true;
  }
  catch (const Poco::Exception& e)
  {
    if (error) *error = e.displayText();
  }
  catch (const std::exception& e)
  {
    if (error) *error = e.what();
  }
  try
  {
    Poco::File tmp(tmpPath);
    if (tmp.exists()) tmp.remove();
  }
  catch (...)
  {
  }
  return false;
}

std::string uniqueFilePath(const std::string& folder, const std::string& stem, const std::string& ext)
{
  std::string path = folder + stem + ext;
  for (int n = 2; Poco::File(path).exists(); ++n)
  {
    if (n > 9999) return std::string();
    path = folder + stem + " (" + std::to_string(n) + ")" + ext;
  }
  return path;
}

std::string fileExtension(const std::string& name)
{
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

std::string fileStem(const std::string& name)
{
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}
