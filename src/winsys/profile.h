#pragma once
// Private profile files: "[section]" headers and "key=value" lines, read through a
// small per-process cache and rewritten whole through a temporary file.
//
// Every function may be called from any thread; one process-wide lock serialises
// them. Between processes, writers take turns through an exclusive lock on the
// file's folder and re-read the file under it, so two processes writing different
// keys of one file never lose each other's keys.

#include "winsys/swell-types.h"

// The value of app/key (blanks and one pair of matching quotes removed), else the
// default. With app null: the section names; with key null: the keys of app; both
// as NUL-separated lists ended by a double NUL. Returns the characters written
// (a list that was cut returns size - 2). Nothing is written when size < 1.
int GetPrivateProfileString(const char* app, const char* key, const char* defval, char* out, int size,
                            const char* file);
int GetPrivateProfileInt(const char* app, const char* key, int defval, const char* file);
// "key=value" texts of a section, NUL-separated, ended by a double NUL.
int GetPrivateProfileSection(const char* app, char* out, int size, const char* file);
// size bytes stored as hexadecimal pairs followed by a checksum pair; buffer is
// written only when the whole value reads and its checksum matches.
BOOL GetPrivateProfileStruct(const char* app, const char* key, void* buffer, int size, const char* file);

// A null key removes the section, a null value removes the key. FALSE when the
// arguments are unusable, the file is there but could not be read whole (it is
// then left as it is), or it could not be written back.
BOOL WritePrivateProfileString(const char* app, const char* key, const char* value, const char* file);
// Replaces the section with a list of NUL-ended "key=value" texts ended by an empty text.
BOOL WritePrivateProfileSection(const char* app, const char* strings, const char* file);
BOOL WritePrivateProfileStruct(const char* app, const char* key, const void* buffer, int size, const char* file);
