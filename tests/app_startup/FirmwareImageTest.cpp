#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "app/FirmwareImage.h"
#include "firmware/RecordChecker.h"

namespace vorn::testing {
namespace {

using dovod::Byte;
using dovod::Bytes;

std::uint32_t be32(const Byte* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

bool zero(const Byte* p, std::size_t from, std::size_t to) {
  for (std::size_t i = from; i < to; ++i)
    if (p[i] != 0) return false;
  return true;
}

struct EmbeddedImage {
  int id;
  std::uint32_t size;
  Byte selector;
  std::uint32_t segment_start;
  std::uint32_t segment_length;
  std::uint32_t segment_records;
};

class EmbeddedImages : public ::testing::TestWithParam<EmbeddedImage> {};

TEST_P(EmbeddedImages, HaveTheSizeAndRecordLayoutOfThePackage) {
  const EmbeddedImage& expected = GetParam();
  FirmwareImage image;
  ASSERT_TRUE(LoadFirmwareResource(expected.id, image));
  ASSERT_EQ(image.size, expected.size);
  EXPECT_EQ(image.packetCount, expected.size / 16);
  EXPECT_EQ(image.offset, 0u);
  ASSERT_EQ(expected.size / 16, 1 + 1 + expected.segment_records + 1 + 16 + 1);

  const Byte* header = image.data;
  EXPECT_EQ(header[0], expected.selector);
  EXPECT_EQ(header[1], 0x01);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(header + 2), 8), "QRX05_D0");
  EXPECT_TRUE(zero(header, 10, 16));

  const Byte* segment = image.data + 16;
  EXPECT_EQ(segment[0], 0x01);
  EXPECT_EQ(be32(segment + 1), expected.segment_start);
  EXPECT_EQ(be32(segment + 5), expected.segment_length);
  EXPECT_TRUE(zero(segment, 9, 16));
  // The last data record is zero-filled after the segment's end.
  const Byte* last_data = segment + 16 * expected.segment_records;
  EXPECT_TRUE(zero(last_data, expected.segment_length % 16, 16));
  EXPECT_FALSE(zero(segment + 16, 0, 16));

  const Byte* block = segment + 16 * (expected.segment_records + 1);
  EXPECT_EQ(block[0], 0x02);
  EXPECT_TRUE(zero(block, 1, 5));
  EXPECT_EQ(be32(block + 5), 256u);
  EXPECT_TRUE(zero(block, 9, 16));

  const Byte* end = image.data + image.size - 16;
  EXPECT_EQ(end[0], 0x03);
  EXPECT_TRUE(zero(end, 1, 16));

  // What the bootloader will make of it, record by record as the packets arrive.
  firmware::RecordChecker checker;
  FirmwareImage sender = image;
  Bytes packet = sender.nextPacket(1);
  ASSERT_EQ(checker.begin(packet), firmware::RecordChecker::Verdict::Accepted);
  for (std::uint32_t n = 1;; ++n) {
    sender.offset += 16;
    packet = sender.nextPacket(n + 1);
    if (packet.empty()) break;
    ASSERT_NE(checker.next(packet), firmware::RecordChecker::Verdict::Refused) << checker.reason();
  }
  EXPECT_TRUE(checker.complete());
  EXPECT_EQ(sender.offset, image.size);
}

INSTANTIATE_TEST_SUITE_P(Package, EmbeddedImages,
                         ::testing::Values(EmbeddedImage{2000, 62608, 0x01, 0x0001F000, 62284, 3893},
                                           EmbeddedImage{2001, 121216, 0x02, 0x00050000, 120888, 7556}),
                         [](const auto& info) { return "Resource" + std::to_string(info.param.id); });

TEST(EmbeddedImages, AreTheSameOnEveryLoad) {
  FirmwareImage a, b;
  ASSERT_TRUE(LoadFirmwareResource(kFirmwareSentFirst, a));
  ASSERT_TRUE(LoadFirmwareResource(kFirmwareSentFirst, b));
  EXPECT_EQ(a.data, b.data);  // in place, not copied
}

// A resource table of the test's own, standing in for the executable's.
struct FakeResources {
  Bytes bytes;
  bool found = true;
  bool mapped = true;
  platform::ModuleResource operator()(std::wstring_view type, int id) const {
    if (!found || type != L"FIRMWARE" || id != 7) return {};
    return {true, mapped ? bytes.data() : nullptr, static_cast<std::uint32_t>(bytes.size())};
  }
};

TEST(LoadFirmwareResource, MissingResourceLeavesTheImageAndEmptyOrUnmappableZeroesIt) {
  const Byte marker = 0xAA;
  const FirmwareImage before{99, &marker, 7, 32};
  auto expect_unchanged = [&](const FirmwareImage& image) {
    EXPECT_EQ(image.size, 99u);
    EXPECT_EQ(image.data, &marker);
    EXPECT_EQ(image.offset, 32u);
  };
  auto expect_zeroed = [](const FirmwareImage& image) {
    EXPECT_EQ(image.size, 0u);
    EXPECT_EQ(image.data, nullptr);
    EXPECT_EQ(image.packetCount, 0u);
    EXPECT_EQ(image.offset, 0u);
  };

  FirmwareImage image = before;
  EXPECT_FALSE(LoadFirmwareResource(2002, image));  // the real lookup: no such id
  expect_unchanged(image);
  image = before;
  EXPECT_FALSE(LoadFirmwareResource(7, image, FakeResources{{1, 2}, false, true}));
  expect_unchanged(image);

  image = before;
  EXPECT_FALSE(LoadFirmwareResource(7, image, FakeResources{{}, true, true}));
  expect_zeroed(image);
  image = before;
  EXPECT_FALSE(LoadFirmwareResource(7, image, FakeResources{Bytes(32, 1), true, false}));
  expect_zeroed(image);
}

TEST(FirmwareImagePackets, ComeFromTheOffsetAndNeverIncludeAPartialRecord) {
  Bytes bytes(40);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<Byte>(i);
  const FakeResources resources{bytes};  // the image points into it
  FirmwareImage image;
  ASSERT_TRUE(LoadFirmwareResource(7, image, std::cref(resources)));
  EXPECT_EQ(image.packetCount, 3u);  // two whole records and a partial one

  EXPECT_EQ(image.nextPacket(1), Bytes(bytes.begin(), bytes.begin() + 16));
  image.offset = 16;
  // The index only bounds the request: the bytes come from the offset.
  EXPECT_EQ(image.nextPacket(1), Bytes(bytes.begin() + 16, bytes.begin() + 32));
  EXPECT_EQ(image.nextPacket(3), Bytes(bytes.begin() + 16, bytes.begin() + 32));
  EXPECT_TRUE(image.nextPacket(4).empty());
  image.offset = 32;  // 8 bytes left
  EXPECT_TRUE(image.nextPacket(3).empty());
  image.offset = 48;  // beyond the end
  EXPECT_TRUE(image.nextPacket(3).empty());

  FirmwareImage empty;
  EXPECT_TRUE(empty.nextPacket(0).empty());
}

}  // namespace
}  // namespace vorn::testing
