#pragma once
// The application log: every message goes to the debugger output, and to the file
// "VornFirmwareUpdate.log" in the user's Documents folder once that file is open (only with the
// log option). Failures are silent: the debugger output still gets every line.

#include <functional>
#include <string>
#include <string_view>

namespace vorn {

inline constexpr std::wstring_view kLogFileName = L"VornFirmwareUpdate.log";

// printf-style with a wide format; "%s" takes a wide string.
void LogMessage(const wchar_t* format, ...);

// Opens or creates the log file (closing one already open) and appends to it from now on; a new
// file starts with the byte-order mark. Does nothing when the path is empty or cannot be opened.
void OpenLogFile(const std::wstring& path);

// With the log option: opens the log file in the Documents folder and writes the run's header
// (the local date and time in brackets between empty lines).
void OpenApplicationLog();

// Where each line goes besides the file; the debugger output unless a test replaces it. An empty
// function restores the debugger output.
using LogLineSink = std::function<void(std::wstring_view line)>;
void SetLogLineSinkForTesting(LogLineSink sink);

// Closes the log file, so that a test starts from "no file open".
void CloseLogFileForTesting();

}  // namespace vorn
