#pragma once
// What the librarian asks of the editor controller. The controller implements it;
// every operation has a harmless default so that the librarian also runs alone.

#include <cstdint>
#include <string>

class LibrarianHost
{
public:
  virtual ~LibrarianHost() {}

  // A program handed to the controller's system-exclusive entry as if the hardware had
  // sent it (from-device): one cut out of an all-programs dump from the hardware, which
  // goes on into the request that asked for it, or one of the librarian's own for its
  // selected slot. True when it was taken. Called on the thread that runs
  // loadFromChunk (or the librarian's edit), without any librarian lock held.
  virtual bool feedSysExFromLibrarian(const uint8_t* /*msg*/, int /*size*/) { return false; }

  // The all-programs dump has been taken apart (or refused): the controller clears
  // its allPatchesDumpInProgress.
  virtual void allPatchesDumpFinished() {}

  // The save chooser: returns the chosen full path, or an empty text when cancelled.
  virtual std::string promptForSavePath(const std::string& /*suggestedName*/, const std::string& /*folder*/,
                                        const char* /*extension*/)
  {
    return std::string();
  }

  // The folder and the file name of the bank shown in the upper column, after a save.
  virtual void setUpperBankFolder(const std::string& /*folder*/) {}
  virtual void setUpperBankName(const std::string& /*name*/) {}
  // A bank file could not be written (errorNumber: the errno the write failed with;
  // the writer logs the system's words); the user is told.
  virtual void bankWriteFailed(const std::string& /*path*/, int /*errorNumber*/) {}
};
