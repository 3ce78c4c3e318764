// The image builder produces the package's record layout, and the bootloader's record checker
// takes exactly the well-formed images.

#include <gtest/gtest.h>

#include <string>

#include "firmware/ImageBuilder.h"
#include "firmware/RecordChecker.h"

namespace {

using firmware::Bytes;
using Verdict = firmware::RecordChecker::Verdict;

std::uint32_t get32(const Bytes& b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}

// Feeds a whole image; answers the verdict of the last record taken and how many were taken.
std::pair<Verdict, std::size_t> check(const Bytes& image, firmware::RecordChecker& checker) {
  const auto packets = firmware::cut_packets(image);
  Verdict v = checker.begin(packets.at(0));
  std::size_t taken = 1;
  while (v == Verdict::Accepted && taken < packets.size()) v = checker.next(packets[taken++]);
  return {v, taken};
}

struct StandardImage {
  const char* label;
  firmware::ImageSpec spec;
  std::size_t size;
  firmware::Byte selector;
  std::uint32_t address;
  std::uint32_t length;
  std::size_t used_in_last_data_record;
};

class StandardImages : public ::testing::TestWithParam<StandardImage> {};

TEST_P(StandardImages, HaveThePackageLayoutAndPassTheChecker) {
  const StandardImage& p = GetParam();
  const Bytes image = firmware::build_firmware_image(p.spec);
  ASSERT_EQ(image.size(), p.size);

  EXPECT_EQ(image[0], p.selector);
  EXPECT_EQ(image[1], 0x01);
  EXPECT_EQ(std::string(image.begin() + 2, image.begin() + 10), "QRX05_D0");
  for (int i = 10; i < 16; ++i) EXPECT_EQ(image[i], 0) << i;

  EXPECT_EQ(image[16], 0x01);
  EXPECT_EQ(get32(image, 17), p.address);
  EXPECT_EQ(get32(image, 21), p.length);

  const std::size_t data_records = (p.length + 15) / 16;
  const std::size_t last_data = 32 + (data_records - 1) * 16;
  for (std::size_t i = last_data + p.used_in_last_data_record; i < last_data + 16; ++i) EXPECT_EQ(image[i], 0) << i;

  const std::size_t block = 32 + data_records * 16;
  EXPECT_EQ(image[block], 0x02);
  EXPECT_EQ(get32(image, block + 5), 256u);
  const std::size_t end = block + 16 + 256;
  EXPECT_EQ(end + 16, image.size());
  EXPECT_EQ(image[end], 0x03);

  firmware::RecordChecker checker;
  const auto [verdict, taken] = check(image, checker);
  EXPECT_EQ(verdict, Verdict::Complete) << checker.reason();
  EXPECT_EQ(taken, image.size() / 16);
  EXPECT_EQ(checker.selector(), p.selector);
}

INSTANTIATE_TEST_SUITE_P(Package, StandardImages,
                         ::testing::Values(StandardImage{"second", firmware::second_image_spec(), 62608, 0x01,
                                                         0x0001F000, 62284, 12},
                                           StandardImage{"first", firmware::first_image_spec(), 121216, 0x02,
                                                         0x00050000, 120888, 8}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(ImageBuilder, IsDeterministicAndSeedsTheData) {
  EXPECT_EQ(firmware::build_firmware_image(firmware::first_image_spec()),
            firmware::build_firmware_image(firmware::first_image_spec()));
  firmware::ImageSpec other = firmware::first_image_spec();
  other.seed = 7;
  EXPECT_NE(firmware::build_firmware_image(other), firmware::build_firmware_image(firmware::first_image_spec()));
}

TEST(CutPackets, GivesWholeSixteenByteRecordsAndDropsATrailingPart) {
  Bytes image(16 * 3 + 5);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<firmware::Byte>(i);
  const auto packets = firmware::cut_packets(image);
  ASSERT_EQ(packets.size(), 3u);
  EXPECT_EQ(packets[2].front(), 32);
  EXPECT_EQ(packets[2].back(), 47);
  EXPECT_TRUE(firmware::cut_packets(Bytes(15)).empty());
}

// One record of a good small image changed; the checker must refuse the image at that record.
struct Damage {
  const char* label;
  std::size_t offset;
  firmware::Byte value;
};

class DamagedImages : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedImages, AreRefusedAtTheDamagedRecord) {
  firmware::ImageSpec spec;
  spec.selector = 0x02;
  spec.segment_address = 0x1000;
  spec.segment_length = 40;  // three data records, the last one with 8 bytes of padding
  spec.block_length = 32;
  Bytes image = firmware::build_firmware_image(spec);
  ASSERT_EQ(image.size(), 16u * (1 + 1 + 3 + 1 + 2 + 1));
  image[GetParam().offset] = GetParam().value;

  firmware::RecordChecker checker;
  const auto [verdict, taken] = check(image, checker);
  EXPECT_EQ(verdict, Verdict::Refused);
  EXPECT_EQ(taken, GetParam().offset / 16 + 1);
  EXPECT_FALSE(checker.reason().empty());
  EXPECT_FALSE(checker.complete());
}

INSTANTIATE_TEST_SUITE_P(
    Records, DamagedImages,
    ::testing::Values(Damage{"UnknownSelector", 0, 0x03}, Damage{"HeaderVersion", 1, 0x02},
                      Damage{"OtherProduct", 2, 'Z'}, Damage{"UnprintableName", 9, 0x07},
                      Damage{"NameAfterItsEnd", 14, 'A'}, Damage{"SegmentType", 16, 0x02},
                      Damage{"SegmentReserved", 16 + 12, 1}, Damage{"SegmentPadding", 4 * 16 + 9, 0xAA},
                      Damage{"BlockType", 5 * 16, 0x01}, Damage{"BlockLengthNotRecords", 5 * 16 + 8, 33},
                      Damage{"EndType", 8 * 16, 0x02}, Damage{"EndReserved", 8 * 16 + 15, 1}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(RecordChecker, RefusesARecordAfterTheEndAndAShortRecord) {
  firmware::ImageSpec spec;
  spec.segment_length = 16;
  spec.block_length = 16;
  const auto packets = firmware::cut_packets(firmware::build_firmware_image(spec));

  firmware::RecordChecker checker;
  ASSERT_EQ(checker.begin(packets[0]), Verdict::Accepted);
  for (std::size_t i = 1; i + 1 < packets.size(); ++i) ASSERT_EQ(checker.next(packets[i]), Verdict::Accepted) << i;
  ASSERT_EQ(checker.next(packets.back()), Verdict::Complete);
  EXPECT_EQ(checker.records(), packets.size());
  EXPECT_EQ(checker.next(packets.back()), Verdict::Refused);

  ASSERT_EQ(checker.begin(packets[0]), Verdict::Accepted);
  EXPECT_EQ(checker.next(Bytes(15, 0)), Verdict::Refused);
  EXPECT_EQ(checker.next(packets[1]), Verdict::Refused) << "a refused image takes nothing more";
  EXPECT_EQ(firmware::RecordChecker().next(packets[1]), Verdict::Refused) << "no image started";
}

TEST(RecordChecker, RefusesAZeroLengthSegment) {
  firmware::ImageSpec spec;
  spec.segment_length = 0;
  const auto packets = firmware::cut_packets(firmware::build_firmware_image(spec));
  firmware::RecordChecker checker;
  ASSERT_EQ(checker.begin(packets[0]), Verdict::Accepted);
  EXPECT_EQ(checker.next(packets[1]), Verdict::Refused);
}

}  // namespace
