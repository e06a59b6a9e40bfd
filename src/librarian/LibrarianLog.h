#pragma once
// Every librarian log line goes through librarianLog. Until the editor's log file
// takes them, lines go to standard output; setLibrarianLogSink sends them elsewhere
// (null: lines are not even composed).


void librarianLog(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

using LibrarianLogSink = void (*)(const char* line);
void setLibrarianLogSink(LibrarianLogSink sink);
void librarianLogToStdout(const char* line);
