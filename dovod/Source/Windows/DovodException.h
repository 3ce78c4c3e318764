#pragma once
// Failures deep inside the Windows transport (binding a system function, walking SetupAPI's lists)
// travel up as this exception to the bus operation that started them, which turns it into the
// calling thread's LastError. It never leaves the library.

#include <exception>

#include "dovod/ErrorCode.h"
#include "dovod/LastError.h"

namespace dovod {

class DovodException : public std::exception {
 public:
  // `message` is a static text: it ends up in LastError, which outlives the exception.
  DovodException(const char* message, ErrorCode code, unsigned long system_error)
      : message_(message), code_(code), system_error_(system_error) {}

  const char* what() const noexcept override { return message_; }
  ErrorCode code() const { return code_; }
  unsigned long system_error() const { return system_error_; }

  void store_as_last_error() const { set_last_error(code_, system_error_, message_); }

 private:
  const char* message_;
  ErrorCode code_;
  unsigned long system_error_;
};

}  // namespace dovod
