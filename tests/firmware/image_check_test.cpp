// The whole-image check that the tool applies before it sends anything, and the digest the build
// records.

#include <gtest/gtest.h>

#include <string>

#include "firmware/Crc32.h"
#include "firmware/ImageBuilder.h"
#include "firmware/ImageCheck.h"

namespace {

using firmware::Bytes;

TEST(Crc32, MatchesTheStandardCheckValue) {
  const std::string check = "123456789";
  EXPECT_EQ(firmware::Crc32(Bytes(check.begin(), check.end())), 0xCBF43926u);
  EXPECT_EQ(firmware::Crc32(Bytes{}), 0u);
  // One flipped bit anywhere changes it.
  Bytes image = firmware::build_firmware_image(firmware::second_image_spec());
  const std::uint32_t whole = firmware::Crc32(image);
  image[image.size() / 2] ^= 0x01;
  EXPECT_NE(firmware::Crc32(image), whole);
}

Bytes small_image() {
  firmware::ImageSpec spec;
  spec.segment_length = 20;  // two data records
  spec.block_length = 16;
  return firmware::build_firmware_image(spec);  // 1 + 1 + 2 + 1 + 1 + 1 records
}

TEST(CheckImageLayout, AcceptsTheBuildersImages) {
  EXPECT_EQ(firmware::CheckImageLayout(small_image()), "");
  EXPECT_EQ(firmware::CheckImageLayout(firmware::build_firmware_image(firmware::first_image_spec())), "");
  EXPECT_EQ(firmware::CheckImageLayout(firmware::build_firmware_image(firmware::second_image_spec())), "");
}

TEST(CheckImageLayout, NamesWhatIsWrongAndWhere) {
  const Bytes good = small_image();
  ASSERT_EQ(good.size(), 7u * 16);
  struct Case {
    const char* name;
    Bytes image;
    std::string reason;
  };
  auto with = [&](std::size_t offset, firmware::Byte value) {
    Bytes image = good;
    image[offset] = value;
    return image;
  };
  auto appended = [&](const Bytes& tail) {
    Bytes image = good;
    image.insert(image.end(), tail.begin(), tail.end());
    return image;
  };
  const Case cases[] = {
      {"empty", {}, "no records"},
      {"partial record", Bytes(good.begin(), good.end() - 1), "size 111 is not a whole number of 16-byte records"},
      {"end record cut off", Bytes(good.begin(), good.end() - 16), "ends before its end record"},
      {"header only", Bytes(good.begin(), good.begin() + 16), "ends before its end record"},
      {"broken header", with(1, 0x02), "record 0: unknown header version"},
      {"broken segment record", with(16 + 10, 0xFF), "record 1: malformed segment record"},
      {"padding not zero", with(3 * 16 + 15, 0xFF), "record 3: segment padding is not zero"},
      {"broken block record", with(4 * 16, 0x03), "record 4: malformed block record"},
      {"broken end record", with(6 * 16, 0x00), "record 6: malformed end record"},
      {"record after the end", appended(Bytes(16, 0)), "record 7: record after the end record"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(firmware::CheckImageLayout(c.image), c.reason);
  }
}

}  // namespace
