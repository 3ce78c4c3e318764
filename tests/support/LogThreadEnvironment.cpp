// Every test program ends the library's log thread after its tests. Without this, the log's
// process-end hook would find a thread but no clean-up guard and end the process with exit code 0,
// hiding a failing run.

#include <gtest/gtest.h>

#include "core/LogTesting.h"

namespace {

class LogThreadEnvironment : public ::testing::Environment {
 public:
  void TearDown() override { dovod::log_testing::stop(); }
};

::testing::Environment* const log_thread_environment =
    ::testing::AddGlobalTestEnvironment(new LogThreadEnvironment);

}  // namespace
