#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "Source/Linux/HidId.h"

namespace dovod {
namespace {

struct HidIdCase {
  const char* name;
  const char* text;
  std::optional<HidId> expected;
};

class HidIdParse : public ::testing::TestWithParam<HidIdCase> {};

TEST_P(HidIdParse, AcceptsTheKernelsFormOnlyAndNeverCutsAWideId) {
  const HidIdCase& c = GetParam();
  const std::optional<HidId> id = parse_hid_id(c.text);
  ASSERT_EQ(id.has_value(), c.expected.has_value()) << c.text;
  if (!id) return;
  EXPECT_EQ(id->bus_type, c.expected->bus_type);
  EXPECT_EQ(id->vendor_id, c.expected->vendor_id);
  EXPECT_EQ(id->product_id, c.expected->product_id);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, HidIdParse,
    ::testing::Values(HidIdCase{"Usb", "0003:00003A7C:0000C510", HidId{3, 0x3A7C, 0xC510}},
                      HidIdCase{"BluetoothLowerCase", "0005:00003a7c:0000b3f1", HidId{5, 0x3A7C, 0xB3F1}},
                      HidIdCase{"ShortFields", "3:3A7C:C510", HidId{3, 0x3A7C, 0xC510}},
                      HidIdCase{"VendorWiderThan16Bits", "0003:00013A7C:0000C510", std::nullopt},
                      HidIdCase{"ProductWiderThan16Bits", "0003:00003A7C:0001C510", std::nullopt},
                      HidIdCase{"FieldWiderThan32Bits", "0003:100003A7C:0000C510", std::nullopt},
                      HidIdCase{"Empty", "", std::nullopt},
                      HidIdCase{"TwoFields", "0003:00003A7C", std::nullopt},
                      HidIdCase{"FourFields", "0003:00003A7C:0000C510:0001", std::nullopt},
                      HidIdCase{"EmptyField", "0003::0000C510", std::nullopt},
                      HidIdCase{"NotHex", "0003:00003A7G:0000C510", std::nullopt},
                      HidIdCase{"Signed", "0003:-0003A7C:0000C510", std::nullopt},
                      HidIdCase{"Prefixed", "0003:0x3A7C:0000C510", std::nullopt},
                      HidIdCase{"TrailingSpace", "0003:00003A7C:0000C510 ", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace dovod
