#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Memory.h"

namespace dovod::testing {
namespace {

TEST(Memory, PrefaultKeepsTheContent) {
  std::vector<unsigned char> block(3 << 20);
  for (std::size_t i = 0; i < block.size(); i += 997) block[i] = static_cast<unsigned char>(i);
  bool done = platform::Memory::prefault(block.data() + 5, block.size() - 10);
#ifdef _WIN32
  EXPECT_FALSE(done);
#else
  EXPECT_TRUE(done);
#endif
  for (std::size_t i = 0; i < block.size(); i += 997) ASSERT_EQ(block[i], static_cast<unsigned char>(i)) << i;
  EXPECT_TRUE(platform::Memory::prefault(block.data(), 0) || !done);
}

}  // namespace
}  // namespace dovod::testing
