#pragma once
// The per-thread error record. A failing library operation fills it and returns false or an empty
// result; the caller reads it afterwards. A successful operation leaves it alone unless its
// documentation says that it clears it.

#include "dovod/ErrorCode.h"

namespace dovod {

struct LastError {
  ErrorCode code = ErrorCode::None;
  unsigned long system_error = 0;
  const char* message = nullptr;  // a static text, or null
};

// The calling thread's record; each thread has its own.
LastError& last_error();

// Writes all three fields of the calling thread's record.
void set_last_error(ErrorCode code, unsigned long system_error = 0, const char* message = nullptr);

// Sets all three fields to zero, so that an empty result reads as "nothing there", not "failed".
void clear_last_error();

}  // namespace dovod
