#pragma once
// The plain settings file of the data folder: skin word, size word, notification
// word and two empty lines. Read once at start; rewritten whole by the size, skin
// and first-run settings, through a temporary file beside it and a rename, so a
// crash never leaves it empty.

#include <string>

struct EditorSettings
{
  static const int kLines = 5;
  std::string lines[kLines];

  // Reads up to three lines, each trimmed of trailing blanks, tabs, CR and LF.
  // False (lines untouched) when the file cannot be opened.
  bool read(const std::string& path);
  // Lines 1 to 5, a line feed after each of the first four. Refuses (false) when
  // the file does not exist already or cannot be replaced; the old file then stays.
  bool write(const std::string& path) const;

  // 0.75, 1.0 or 1.25 from line 2; 1.0 for any other word.
  double scale() const;
  // 1 for "black" on line 1, else 0.
  int skin() const;
  // The value the size control shows (0, 1, 2), or -1 for another word.
  int sizeIndex() const;
  // The value the skin control shows (0, 1), or -1 for another word.
  int skinControlValue() const;
  // Line 3 reads "no": the first-run notification is shown.
  bool showFirstRunNotice() const { return lines[2] == "no"; }
};
