#pragma once
// Files dropped on window views and dragged out of them. Main thread only.

#include "winsys/swell-types.h"

// DROPFILES: the header of a dropped-file block, the paths following at pFiles.
struct DROPFILES
{
  DWORD pFiles;
  POINT pt;
  BOOL fNC;
  BOOL fWide;
};

// Program-wide hooks, null unless the program sets them.
extern void (*SWELL_DDrop_onDragEnter)(HANDLE drop, POINT pt);
extern void (*SWELL_DDrop_onDragOver)(POINT pt);
extern void (*SWELL_DDrop_onDragLeave)();
extern const char* (*SWELL_DDrop_getDroppedFileTargetPath)(const char* firstType);

// A block of 16 + the paths with their NULs + 1 from GlobalAlloc (GlobalFree it), or null.
void* SWELL_MakeDropFiles(const char* const* paths, int n, POINT pt);

// The drag source's state: the file being dragged out and the callback that
// creates it at a destination path (set by the drag initiation).
void SWELL_SetDragSource(const char* path, void (*createAt)(const char* destPath));
// The name created in the folder (asking what to do when one of that name is
// there), or empty when nothing was created. Clears the drag-source state.
std::string SWELL_DoDragDrop(const char* folder);
void SWELL_FinishDragDrop();
