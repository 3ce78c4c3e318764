// The check of the embedded images before anything is offered: the build's own images pass, and
// every kind of damage is refused with its reason.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "app/FirmwareIntegrity.h"

namespace vorn::testing {
namespace {

using dovod::Bytes;

Bytes embedded(int id) {
  FirmwareImage image;
  if (!LoadFirmwareResource(id, image)) return {};
  return Bytes(image.data, image.data + image.size);
}

// `bytes` as if it were resource `id`.
std::string check(int id, const Bytes& bytes) {
  FirmwareImage image;
  image.data = bytes.data();
  image.size = static_cast<std::uint32_t>(bytes.size());
  image.packetCount = image.size / kPacketSize;
  return CheckFirmwareImage(id, image);
}

TEST(FirmwareIntegrity, TheEmbeddedImagesAreTheRecordedOnes) {
  for (int id : {kFirmwareSentSecond, kFirmwareSentFirst}) {
    SCOPED_TRACE(id);
    FirmwareImage image;
    ASSERT_TRUE(LoadFirmwareResource(id, image));
    EXPECT_EQ(CheckFirmwareImage(id, image), "");
  }
  ASSERT_EQ(RecordedFirmwareImages().size(), 2u);
  EXPECT_EQ(RecordedFirmwareImages()[0].size, 62608u);
  EXPECT_EQ(RecordedFirmwareImages()[1].size, 121216u);
}

TEST(FirmwareIntegrity, ADamagedImageIsRefusedWithItsReason) {
  const Bytes image2000 = embedded(kFirmwareSentSecond);
  const Bytes image2001 = embedded(kFirmwareSentFirst);
  ASSERT_EQ(image2000.size(), 62608u);
  ASSERT_EQ(image2001.size(), 121216u);

  auto changed = [](Bytes bytes, const std::function<void(Bytes&)>& damage) {
    damage(bytes);
    return bytes;
  };
  // One more record of segment data, with the segment record's length to match.
  auto longer_segment = [](Bytes& b) {
    const std::size_t block = 16 * (2 + 3893);
    b.insert(b.begin() + static_cast<std::ptrdiff_t>(block), 16, 0);
    b[16 + 8] = static_cast<dovod::Byte>(b[16 + 8] + 16);  // 62284 + 16: no carry out of the low byte
  };
  struct Case {
    const char* name;
    int id;
    Bytes bytes;
    std::string reason;
  };
  const Case cases[] = {
      {"cut by one byte", kFirmwareSentFirst, changed(image2001, [](Bytes& b) { b.pop_back(); }),
       "size 121215 is not a whole number of 16-byte records"},
      {"cut by one record", kFirmwareSentSecond, changed(image2000, [](Bytes& b) { b.resize(b.size() - 16); }),
       "ends before its end record"},
      {"a flipped byte in the segment data", kFirmwareSentFirst,
       changed(image2001, [](Bytes& b) { b[16 * 100 + 5] ^= 0x40; }), "digest mismatch"},
      {"a flipped byte in the block data", kFirmwareSentSecond,
       changed(image2000, [](Bytes& b) { b[b.size() - 16 * 2] ^= 0x01; }), "digest mismatch"},
      {"a broken header", kFirmwareSentSecond, changed(image2000, [](Bytes& b) { b[2] = 'Z'; }),
       "record 0: image is not for this keyboard"},
      {"a broken segment record", kFirmwareSentFirst, changed(image2001, [](Bytes& b) { b[16 + 12] = 1; }),
       "record 1: malformed segment record"},
      {"no end record", kFirmwareSentFirst, changed(image2001, [](Bytes& b) { b[b.size() - 16] = 0x00; }),
       "record 7575: malformed end record"},
      {"a record after the end", kFirmwareSentSecond,
       changed(image2000, [](Bytes& b) { b.insert(b.end(), 16, 0); }), "record 3913: record after the end record"},
      {"2001 in place of 2000", kFirmwareSentSecond, image2001, "holds image 2001"},
      {"2000 in place of 2001", kFirmwareSentFirst, image2000, "holds image 2000"},
      {"a well-formed image of another size", kFirmwareSentSecond, changed(image2000, longer_segment),
       "size 62624, recorded 62608"},
      {"an id the build did not record", 2002, image2000, "no size and digest recorded for it"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(check(c.id, c.bytes), c.reason);
  }
}

}  // namespace
}  // namespace vorn::testing
