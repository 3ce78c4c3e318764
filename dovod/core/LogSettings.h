#pragma once
// The log's settings as the current user's registry gives them, and the process identity that
// names the log file.

#include <optional>
#include <string>
#include <string_view>

namespace dovod::log {

struct LogSettings {
  bool enabled = true;
  unsigned output = 6;  // 1 standard output, 2 debugger, 4 file
  unsigned console_level = 1;
  unsigned tag_level = 3;
  unsigned file_level = 4;
  std::optional<std::string> tags;  // "LogTags"; absent when missing, unreadable or too long
};

// Output bits.
constexpr unsigned kToStdout = 1;
constexpr unsigned kToDebugger = 2;
constexpr unsigned kToFile = 4;

// The longest "LogTags" value, terminating zero included.
constexpr std::size_t kMaxTagsBytes = 1024;

// "SOFTWARE\Corvane\xLog\dovod\" followed by the executable's file name.
std::string settings_key_for(std::string_view executable_path);

// Every missing or malformed value keeps its default.
LogSettings read_settings(std::string_view key);

// The file name without folder, cut at its first '.', letters and digits only, at most 19 of them.
std::string process_name_for(std::string_view executable_path);

}  // namespace dovod::log
