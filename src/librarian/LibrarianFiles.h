#pragma once
// Where the librarian's files live and how they are read and written. Every file is
// written to a temporary file beside it and renamed into place, so that neither a
// crash nor a power loss leaves half a bank.

#include <cstdint>
#include <string>

class ByteChunk;
class PatchBytes;
class ScanArena;

enum
{
  kMaxBankFileSize = 1 << 20,   // larger files are refused unread
  kMinScannedFileSize = 25001,  // smaller files are never opened by the scan
};

// The data folder with its closing "/": DAVREL_DATA_DIR when set, else the designed place.
std::string dataFolderPath();
// The bank root: the data folder followed by "Patches", no closing "/".
std::string patchesFolderPath();
// Where split source files go: the data folder followed by "Converted Banks/".
std::string convertedBanksFolderPath();

// Reads the whole file into chunk (replacing its contents). Refuses files over
// kMaxBankFileSize and files that change size under the read. False with a reason.
bool readWholeFile(const std::string& path, ByteChunk* chunk, std::string* error);

// The scan's read of a candidate bank file: one open, one size query and one read
// into a block of its own, which the bank's programs then share.
enum class ScanRead
{
  kSkipped,  // no regular file, or smaller than kMinScannedFileSize: not a bank, nothing to say
  kRead,     // *out holds the whole file
  kFailed,   // refused or unreadable, with a reason
  kRetry,    // could not be opened: the caller finds out why the slow way
};
// dirFd is an open folder that name lies in, or AT_FDCWD with a full path: the scan
// opens each folder once instead of looking up every file's whole path. listedSize is
// the size the folder listing found for a regular file (the file is not asked again),
// or -1. The bytes come from arena when one is given.
ScanRead readScanCandidate(int dirFd, const char* name, int64_t listedSize, PatchBytes* out, std::string* error,
                           ScanArena* arena = nullptr);

// Writes the bytes to path through a temporary file of its own beside it, on the disk
// before it replaces the file (writeFileDurably). With replace false an existing file
// is never touched and the write fails. False with a reason (the system's words) and
// the errno it came from; nothing is left behind on failure.
bool writeFileAtomically(const std::string& path, const uint8_t* data, int size, bool replace, std::string* error,
                         int* errorNumber = nullptr);
// Why a write failed, short enough for the display: the folder's or the disk's reason
// where the write's errno tells it, else otherwise.
const char* writeFailureText(int errorNumber, const char* otherwise);

// folder + stem + ext when no such file exists, else folder + stem + " (2)" + ext, " (3)", ...
// Empty when no free name is found.
std::string uniqueFilePath(const std::string& folder, const std::string& stem, const std::string& ext);

// The text after the last "." of a file name (empty without one), and the name up to it.
std::string fileExtension(const std::string& name);
std::string fileStem(const std::string& name);
