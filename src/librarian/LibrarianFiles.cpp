#include "librarian/LibrarianFiles.h"

#include "base/filewrite.h"
#include "librarian/LibrarianTypes.h"
#include "plug/ByteChunk.h"

#include <Poco/Exception.h>
#include <Poco/File.h>
#include <Poco/FileStream.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

ScanRead readScanCandidate(int dirFd, const char* name, int64_t listedSize, PatchBytes* out, std::string* error,
                           ScanArena* arena)
{
  *out = PatchBytes();
  // Not blocking: a named pipe with a bank's name must not stall the scan.
  const int fd = openat(dirFd, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return ScanRead::kRetry;
  struct stat st;
  bool sized = listedSize >= 0;
  if (sized)
  {
    // The listing sized it as a regular file: the read below notices any change since.
    st.st_mode = S_IFREG;
    st.st_size = (off_t)listedSize;
  }
  else
    sized = fstat(fd, &st) == 0;
  ScanRead result = ScanRead::kFailed;
  if (!sized)
    result = ScanRead::kRetry;
  else if (!S_ISREG(st.st_mode) || st.st_size < (off_t)kMinScannedFileSize)
    result = ScanRead::kSkipped;
  else if (st.st_size > (off_t)kMaxBankFileSize)
  {
    if (error) *error = "larger than 1 MiB";
  }
  else
  {
    // One byte more than the size asks for: a file that grew since fstat fills it,
    // one that shrank falls short; either way it is not read half.
    const int size = (int)st.st_size;
    uint8_t* data = nullptr;
    PatchBytes block;
    try
    {
      block = arena ? arena->allocate((size_t)size + 1, &data) : PatchBytes::allocate((size_t)size + 1, &data);
    }
    catch (const std::bad_alloc&)
    {
      if (error) *error = "out of memory";
    }
    if (data)
    {
      int got = 0;
      // Reading stops once the size is reached: a short read of a regular file is its end.
      while (got < size)
      {
        const ssize_t n = read(fd, data + got, (size_t)(size + 1 - got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0)
        {
          got = -1;
          if (error) *error = strerror(errno);
          break;
        }
        if (n == 0) break;
        got += (int)n;
      }
      if (got == size)
      {
        *out = block.slice(0, (size_t)size);
        result = ScanRead::kRead;
      }
      else if (got >= 0 && error)
        *error = "changed while it was read";
    }
  }
  close(fd);
  // What the listing saw may have been replaced since (a bank saved through a rename):
  // the file is asked about once more before it is given up.
  if (result == ScanRead::kFailed && listedSize >= 0) return readScanCandidate(dirFd, name, -1, out, error, arena);
  return result;
}

bool writeFileAtomically(const std::string& path, const uint8_t* data, int size, bool replace, std::string* error,
                         int* errorNumber)
{
  const int err = size < 0 ? EINVAL : writeFileDurably(path, data, (size_t)size, replace);
  if (errorNumber) *errorNumber = err;
  if (err && error)
    *error = err == EEXIST && !replace ? "a file of that name exists" : std::generic_category().message(err);
  return err == 0;
}

const char* writeFailureText(int errorNumber, const char* otherwise)
{
  switch (errorNumber)
  {
    case EROFS:
    case EACCES:
    case EPERM: return "Its folder is not writable";
    case ENOSPC:
    case EDQUOT: return "The disk is full";
    case ENOENT:
    case ENOTDIR: return "Its folder does not exist";
    default: return otherwise;
  }
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
