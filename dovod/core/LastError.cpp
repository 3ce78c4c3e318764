#include "dovod/LastError.h"

namespace dovod {

LastError& last_error() {
  thread_local LastError record;
  return record;
}

void set_last_error(ErrorCode code, unsigned long system_error, const char* message) {
  LastError& record = last_error();
  record.code = code;
  record.system_error = system_error;
  record.message = message;
}

void clear_last_error() { set_last_error(ErrorCode::None, 0, nullptr); }

}  // namespace dovod
