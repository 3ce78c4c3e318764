#include <cstdint>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "HidDescriptors.h"
#include "Source/ProtocolCollections.h"
#include "dovod/MakerValues.h"

namespace dovod {
namespace {

using namespace test_descriptors;

constexpr unsigned kReceiverPid = 0xC510;

struct AcceptCase {
  const char* name;
  Bytes raw;
  unsigned pid;
  std::map<std::uint8_t, unsigned> report_lengths;
  int piece_bits;
  int expected_pieces;
};

class ProtocolCollectionsAccept : public ::testing::TestWithParam<AcceptCase> {};

TEST_P(ProtocolCollectionsAccept, KeepsOnlyTheProtocolCollections) {
  const AcceptCase& c = GetParam();
  auto descriptor = ReportDescriptor::parse(c.raw);
  ASSERT_TRUE(descriptor.has_value());
  ProtocolRefusal refusal{ErrorCode::Mismatch, "stale"};
  auto found = find_protocol_collections(*descriptor, c.pid, refusal);
  ASSERT_TRUE(found.has_value()) << refusal.reason;
  EXPECT_EQ(refusal.code, ErrorCode::None);
  EXPECT_EQ(found->report_lengths, c.report_lengths);
  EXPECT_EQ(found->piece_bits, c.piece_bits);
  EXPECT_EQ(found->expected_pieces, c.expected_pieces);
  unsigned longest = 0;
  for (const auto& [id, length] : c.report_lengths) longest = std::max(longest, length);
  EXPECT_EQ(found->max_length, longest);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProtocolCollectionsAccept,
    ::testing::Values(
        AcceptCase{"ReceiverIsWhole", maker_receiver_descriptor(), kReceiverPid,
                   {{0x10, 7}, {0x11, 20}}, 3, 3},
        AcceptCase{"LongOnlyProductIsWhole", maker_long_collection(), maker::kLongReportOnlyPid,
                   {{0x11, 20}}, 2, 2},
        AcceptCase{"LongCollectionAloneIsAPiece", maker_long_collection(), maker::kKeyboardPid,
                   {{0x11, 20}}, 2, 3},
        AcceptCase{"BothPiecesOfFF43", piece_descriptor(), kReceiverPid,
                   {{0x11, 20}, {0x12, 20}}, 6, 6},
        AcceptCase{"OnePieceOfFF43", collection(0xFF43, 0x0602, 0x11, 19), kReceiverPid,
                   {{0x11, 20}}, 2, 6},
        AcceptCase{"KeyboardNodeKeepsProtocolReportsOnly", composite_keyboard(),
                   maker::kKeyboardPid, {{0x10, 7}, {0x11, 20}}, 3, 3},
        AcceptCase{"ForeignVendorCollectionBesideProtocol",
                   cat(collection(0xFF00, 0x0003, 0x20, 7), maker_receiver_descriptor()),
                   kReceiverPid, {{0x10, 7}, {0x11, 20}}, 3, 3}),
    [](const auto& info) { return std::string(info.param.name); });

struct RefuseCase {
  const char* name;
  Bytes raw;
  ErrorCode code;
  const char* reason;
};

class ProtocolCollectionsRefuse : public ::testing::TestWithParam<RefuseCase> {};

TEST_P(ProtocolCollectionsRefuse, RefusesWithCodeAndReason) {
  const RefuseCase& c = GetParam();
  auto descriptor = ReportDescriptor::parse(c.raw);
  ASSERT_TRUE(descriptor.has_value());
  ProtocolRefusal refusal;
  EXPECT_FALSE(find_protocol_collections(*descriptor, kReceiverPid, refusal).has_value());
  EXPECT_EQ(refusal.code, c.code);
  ASSERT_NE(refusal.reason, nullptr);
  EXPECT_STREQ(refusal.reason, c.reason);
}

constexpr ErrorCode kPage = ErrorCode::NotVendorUsagePage;
constexpr ErrorCode kLayout = ErrorCode::NotProtocolCollection;

// A short collection whose input report is 6 payload bytes and whose output report is 19.
Bytes mismatched_lengths() {
  return {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x10, 0x75, 0x08, 0x95, 0x06,
          0x09, 0x01, 0x81, 0x00, 0x95, 0x13, 0x09, 0x01, 0x91, 0x00, 0xC0};
}

Bytes two_input_items() {
  return {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x10, 0x75, 0x08, 0x95, 0x03,
          0x09, 0x01, 0x81, 0x00, 0x09, 0x01, 0x81, 0x00, 0x95, 0x06, 0x09, 0x01, 0x91, 0x00, 0xC0};
}

Bytes unnumbered() {
  return {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x06,
          0x09, 0x01, 0x81, 0x00, 0x09, 0x01, 0x91, 0x00, 0xC0};
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProtocolCollectionsRefuse,
    ::testing::Values(
        RefuseCase{"Mouse", boot_mouse(), kPage, "not vendor usage page"},
        RefuseCase{"Keyboard", boot_keyboard(), kPage, "not vendor usage page"},
        RefuseCase{"FF00Usage3", collection(0xFF00, 0x0003, 0x10, 6), kLayout,
                   "not a vexapp collection usage code"},
        RefuseCase{"FF43TwoPieceBits", collection(0xFF43, 0x0603, 0x11, 19), kLayout,
                   "not a vexapp collection usage code"},
        RefuseCase{"FF43PieceNotInSet", collection(0xFF43, 0x0408, 0x11, 19), kLayout,
                   "not a vexapp collection usage code"},
        RefuseCase{"FF43NoPieceBit", collection(0xFF43, 0x0600, 0x11, 19), kLayout,
                   "not a vexapp collection usage code"},
        RefuseCase{"MismatchedLengths", mismatched_lengths(), kLayout,
                   "mismatched input and output report sizes"},
        RefuseCase{"TwoInputItems", two_input_items(), kLayout, "not just a single button or value cap"},
        RefuseCase{"FeatureOnly", feature_descriptor(), kLayout, "not just a single button or value cap"},
        RefuseCase{"Unnumbered", unnumbered(), kLayout, "not just a single button or value cap"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace dovod
