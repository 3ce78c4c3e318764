#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "HidDescriptors.h"
#include "Source/ReportDescriptor.h"

namespace dovod {
namespace {

using namespace test_descriptors;

struct ExpectedCollection {
  std::uint16_t usage_page;
  std::uint16_t usage;
  std::vector<std::uint8_t> report_ids;
  unsigned input_items;
  unsigned output_items;
};

struct ExpectedReport {
  std::uint8_t id;
  unsigned input;
  unsigned output;
  unsigned feature;
};

struct GoodCase {
  const char* name;
  Bytes raw;
  bool numbered;
  std::vector<ExpectedCollection> collections;
  std::vector<ExpectedReport> reports;
};

class ReportDescriptorGood : public ::testing::TestWithParam<GoodCase> {};

TEST_P(ReportDescriptorGood, FindsCollectionsAndReportLengths) {
  const GoodCase& c = GetParam();
  const char* failure = "unset";
  auto parsed = ReportDescriptor::parse(c.raw, &failure);
  ASSERT_TRUE(parsed.has_value()) << failure;
  EXPECT_EQ(failure, nullptr);
  EXPECT_EQ(parsed->numbered(), c.numbered);

  ASSERT_EQ(parsed->collections().size(), c.collections.size());
  for (std::size_t i = 0; i < c.collections.size(); ++i) {
    const TopLevelCollection& got = parsed->collections()[i];
    const ExpectedCollection& want = c.collections[i];
    SCOPED_TRACE("collection " + std::to_string(i));
    EXPECT_EQ(got.usage_page, want.usage_page);
    EXPECT_EQ(got.usage, want.usage);
    EXPECT_EQ(got.type, 1);
    EXPECT_EQ(got.report_ids, want.report_ids);
    EXPECT_EQ(got.input_items, want.input_items);
    EXPECT_EQ(got.output_items, want.output_items);
  }

  ASSERT_EQ(parsed->reports().size(), c.reports.size());
  for (const ExpectedReport& want : c.reports) {
    SCOPED_TRACE("report " + std::to_string(want.id));
    const ReportLengths got = parsed->lengths(want.id);
    EXPECT_EQ(got.input, want.input);
    EXPECT_EQ(got.output, want.output);
    EXPECT_EQ(got.feature, want.feature);
  }
}

Bytes push_pop_descriptor() {
  // The push saves report size 8, count 6 and report id 0x12; the long collection changes all
  // three, and the pop brings them back for the last output item: 6 bytes of report 0x12.
  return cat({0x75, 0x08, 0x95, 0x06, 0x85, 0x12, 0xA4},  // sizes and id, Push
             collection(0xFF00, 0x0002, 0x11, 19),
             {0xB4},  // Pop
             {0x06, 0x00, 0xFF, 0x09, 0x03, 0xA1, 0x01, 0x09, 0x03, 0x91, 0x00, 0xC0});
}

Bytes extended_usage_descriptor() {
  // The global usage page says Generic Desktop, but the four-byte usage names page 0xFF00 itself.
  return {0x05, 0x01, 0x0B, 0x02, 0x00, 0x00, 0xFF, 0xA1, 0x01, 0x85, 0x11, 0x75, 0x08, 0x95, 0x13,
          0x09, 0x02, 0x81, 0x00, 0x09, 0x02, 0x91, 0x00, 0xC0};
}

Bytes long_item_descriptor() {
  return cat({0xFE, 0x03, 0x42, 0xAA, 0xBB, 0xCC}, maker_short_collection());
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReportDescriptorGood,
    ::testing::Values(
        GoodCase{"MakerShortAndLong", maker_receiver_descriptor(), true,
                 {{0xFF00, 1, {0x10}, 1, 1}, {0xFF00, 2, {0x11}, 1, 1}},
                 {{0x10, 7, 7, 0}, {0x11, 20, 20, 0}}},
        GoodCase{"MakerLongOnly", maker_long_collection(), true,
                 {{0xFF00, 2, {0x11}, 1, 1}},
                 {{0x11, 20, 20, 0}}},
        GoodCase{"PiecesOnPageFF43", piece_descriptor(), true,
                 {{0xFF43, 0x0602, {0x11}, 1, 1}, {0xFF43, 0x0604, {0x12}, 1, 1}},
                 {{0x11, 20, 20, 0}, {0x12, 20, 20, 0}}},
        GoodCase{"BootMouse", boot_mouse(), false,
                 {{0x0001, 0x0002, {0}, 2, 0}},
                 {{0, 3, 0, 0}}},
        GoodCase{"BootKeyboard", boot_keyboard(), false,
                 {{0x0001, 0x0006, {0}, 2, 1}},
                 {{0, 8, 1, 0}}},
        GoodCase{"KeyboardWithConsumerAndMakerCollections", composite_keyboard(), true,
                 {{0x0001, 0x0006, {0x01}, 2, 1},
                  {0x000C, 0x0001, {0x02}, 1, 0},
                  {0xFF00, 1, {0x10}, 1, 1},
                  {0xFF00, 2, {0x11}, 1, 1}},
                 {{0x01, 9, 2, 0}, {0x02, 3, 0, 0}, {0x10, 7, 7, 0}, {0x11, 20, 20, 0}}},
        GoodCase{"FeatureReport", feature_descriptor(), true,
                 {{0xFF00, 1, {0x05}, 0, 0}},
                 {{0x05, 0, 0, 33}}},
        GoodCase{"PushPopRestoresGlobals", push_pop_descriptor(), true,
                 {{0xFF00, 2, {0x11}, 1, 1}, {0xFF00, 3, {0x12}, 0, 1}},
                 {{0x11, 20, 20, 0}, {0x12, 0, 7, 0}}},
        GoodCase{"ExtendedUsage", extended_usage_descriptor(), true,
                 {{0xFF00, 2, {0x11}, 1, 1}},
                 {{0x11, 20, 20, 0}}},
        GoodCase{"LongItemSkipped", long_item_descriptor(), true,
                 {{0xFF00, 1, {0x10}, 1, 1}},
                 {{0x10, 7, 7, 0}}}),
    [](const auto& info) { return std::string(info.param.name); });

struct BadCase {
  const char* name;
  Bytes raw;
  const char* failure;
};

class ReportDescriptorBad : public ::testing::TestWithParam<BadCase> {};

TEST_P(ReportDescriptorBad, FailsCleanlyWithItsReason) {
  const BadCase& c = GetParam();
  const char* failure = nullptr;
  EXPECT_FALSE(ReportDescriptor::parse(c.raw, &failure).has_value());
  ASSERT_NE(failure, nullptr);
  EXPECT_STREQ(failure, c.failure);
}

Bytes nested(unsigned depth) {
  Bytes raw;
  for (unsigned i = 0; i < depth; ++i) raw.insert(raw.end(), {0x09, 0x01, 0xA1, 0x01});
  for (unsigned i = 0; i < depth; ++i) raw.push_back(0xC0);
  return raw;
}

Bytes pushes(unsigned count) {
  Bytes raw(count, 0xA4);
  return cat(raw, maker_short_collection());
}

// A valid descriptor padded with usage items (without data) to exactly `size` bytes.
Bytes padded_to(std::size_t size) {
  Bytes raw = maker_receiver_descriptor();
  raw.resize(size, 0x08);
  return raw;
}

Bytes cut(Bytes raw, std::size_t size) {
  raw.resize(size);
  return raw;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReportDescriptorBad,
    ::testing::Values(
        BadCase{"Empty", {}, "no top-level collection"},
        BadCase{"OnlyGlobals", {0x06, 0x00, 0xFF, 0x75, 0x08}, "no top-level collection"},
        BadCase{"TruncatedData", cut(maker_receiver_descriptor(), 2), "truncated item"},
        BadCase{"TruncatedFourByteItem", {0x07, 0x00, 0xFF}, "truncated item"},
        BadCase{"TruncatedLongItemHeader", {0xFE, 0x05}, "truncated long item"},
        BadCase{"TruncatedLongItemData", {0xFE, 0x05, 0x01, 0x00, 0x00}, "truncated long item"},
        BadCase{"TooLarge", padded_to(ReportDescriptor::kMaxSize + 1), "descriptor too large"},
        BadCase{"EndWithoutCollection", {0xC0}, "end collection without collection"},
        BadCase{"ExtraEnd", cat(maker_short_collection(), {0xC0}), "end collection without collection"},
        BadCase{"Unclosed", cut(maker_short_collection(), maker_short_collection().size() - 1),
                "unclosed collection"},
        BadCase{"TooDeep", nested(ReportDescriptor::kMaxCollectionDepth + 1),
                "collections nested too deeply"},
        BadCase{"PopWithoutPush", {0xB4}, "pop without push"},
        BadCase{"PushOverflow", pushes(ReportDescriptor::kMaxGlobalStack + 1), "push stack overflow"},
        BadCase{"ReportSizeTooLarge", {0x76, 0x01, 0x01}, "report size too large"},
        BadCase{"ReportCountTooLarge", {0x96, 0x01, 0x30}, "report count too large"},
        BadCase{"ReportCountHuge", {0x97, 0xFF, 0xFF, 0xFF, 0xFF}, "report count too large"},
        BadCase{"ReportIdZero", {0x85, 0x00}, "report id out of range"},
        BadCase{"ReportIdAbove255", {0x86, 0x00, 0x01}, "report id out of range"},
        BadCase{"UsagePageAbove16Bits", {0x07, 0x00, 0x00, 0x01, 0x00}, "usage page out of range"},
        BadCase{"InputOutsideCollection", {0x75, 0x08, 0x95, 0x01, 0x81, 0x02}, "main item outside a collection"},
        BadCase{"NumberedThenUnnumbered", mixed_ids(true), "mixes numbered and unnumbered reports"},
        BadCase{"UnnumberedThenNumbered", mixed_ids(false), "mixes numbered and unnumbered reports"},
        BadCase{"ReportTooLong", too_long_report(), "report too long"}),
    [](const auto& info) { return std::string(info.param.name); });

// The limits themselves are allowed: a refusal one step above them must not be one step early.
TEST(ReportDescriptorLimits, ValuesAtTheLimitsParse) {
  EXPECT_TRUE(ReportDescriptor::parse(padded_to(ReportDescriptor::kMaxSize)).has_value());
  EXPECT_TRUE(ReportDescriptor::parse(nested(ReportDescriptor::kMaxCollectionDepth)).has_value());
  EXPECT_TRUE(ReportDescriptor::parse(pushes(ReportDescriptor::kMaxGlobalStack)).has_value());

  // 256-bit fields, 512 of them: exactly kMaxReportBytes of input.
  const Bytes at_limit{0x85, 0x01, 0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x76, 0x00, 0x01,
                       0x96, 0x00, 0x02, 0x81, 0x02, 0xC0};
  auto parsed = ReportDescriptor::parse(at_limit);
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(parsed->lengths(0x01).input, ReportDescriptor::kMaxReportBytes + 1);
}

TEST(ReportDescriptorLimits, UnknownReportIdHasNoLengths) {
  auto parsed = ReportDescriptor::parse(maker_receiver_descriptor());
  ASSERT_TRUE(parsed.has_value());
  const ReportLengths none = parsed->lengths(0x42);
  EXPECT_EQ(none.input + none.output + none.feature, 0u);
}

}  // namespace
}  // namespace dovod
