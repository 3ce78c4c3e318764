#pragma once
// The options of the update application: all off at start, set only by the command line.

#include <cstdint>
#include <string>

namespace vorn {

struct AppOptions {
  bool force = false;        // offer the update whatever version the keyboard runs
  bool log = false;          // write the application log file
  bool skip_device = false;  // accepted for compatibility; nothing reads it
  std::wstring force_directory;
  std::int32_t fail_device = 0;
};

// The process-wide options.
AppOptions& Options();

// Applies the tokens of the command line (without the program name) in order; the last value of
// an option wins. False when there are no tokens.
bool ParseCommandLine(int count, const wchar_t* const* tokens, AppOptions& options = Options());

}  // namespace vorn
