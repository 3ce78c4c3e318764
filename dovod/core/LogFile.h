#pragma once
// The per-run log file: its folder and name, one record line per message line, and closing it
// for good when the disk refuses a write. Callers hold LogState::output_mutex.

#include <string>
#include <string_view>

#include "core/LogBuffer.h"

namespace dovod {

// Keeps errno, closes and forgets the file, and logs what failed.
void LogFpErrorAndClose(const char* operation, const char* where);

}  // namespace dovod

namespace dovod::log {

// The folder for log files ("xlog_corvane" in the temporary folder, created when missing), with
// trailing separator; empty when the temporary folder is unknown or its path too long, and (logged)
// when the folder is not a private one of the user's.
std::string log_folder();

// Opens this run's file, a new private one; logs why when it cannot.
void open_log_file();

// Writes the record's lines when a file is open.
void output_to_file(const LogRecord& record);

// Flushes an open file; `where` names the caller for the error line.
void flush_log_file(const char* where);

}  // namespace dovod::log
