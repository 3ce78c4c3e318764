#pragma once
// The library's diagnostic log. Messages go to standard output, the debugger output and a per-run
// file in the temporary folder, as the current user's registry settings say. Safe from any thread;
// the file path never waits for the disk.

namespace dovod {

enum LogLevel : unsigned {
  LOG_ERROR = 0,
  LOG_WARNING = 1,
  LOG_INFO = 2,
  LOG_DEBUG = 3,
  LOG_VERBOSE = 4,
};

// Logs one printf-style message. `format` may begin with "-Name- " to give the message its own tag.
// False only when the message was meant for the file and the buffer had no room for it.
bool xLog(const char* tag, unsigned level, const char* function, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 4, 5)))
#endif
    ;

// Logs a failed check at level 0 and answers true when `ok` is false; nothing is aborted.
bool xAssert(bool ok, const char* expression, const char* file, int line);

}  // namespace dovod

// Checks a condition without aborting: `if (DOVOD_ASSERT(p != nullptr)) return false;`
#define DOVOD_ASSERT(cond) ::dovod::xAssert(static_cast<bool>(cond), #cond, __FILE__, __LINE__)
