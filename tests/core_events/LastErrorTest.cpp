#include <thread>

#include <gtest/gtest.h>

#include "dovod/LastError.h"

namespace dovod {
namespace {

TEST(LastError, IsPerThreadAndClearable) {
  set_last_error(ErrorCode::InvalidConfigItem, 5, "here");
  std::thread other([] {
    EXPECT_EQ(last_error().code, ErrorCode::None);
    set_last_error(ErrorCode::DeviceRemoved);
  });
  other.join();
  EXPECT_EQ(last_error().code, ErrorCode::InvalidConfigItem);
  EXPECT_EQ(last_error().system_error, 5u);
  clear_last_error();
  EXPECT_EQ(last_error().code, ErrorCode::None);
  EXPECT_EQ(last_error().message, nullptr);
}

}  // namespace
}  // namespace dovod
