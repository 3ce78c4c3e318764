// The rules every platform's HID device shares, run over a scripted channel.
#include <future>
#include <map>
#include <ostream>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "FakeHidDevice.h"

namespace dovod {
namespace {

using namespace test;
using std::chrono::milliseconds;

constexpr const char* kPath = "\\\\?\\hid#vid_1234&pid_c52b&mi_02&col01#7&1&0&0000#{4d1e55b2}";

// One collection: every report id it has maps to its output report length, as a collection of
// the maker's protocol on Windows has.
HidLayout single_collection() {
  HidLayout layout;
  layout.vendor_id = 0x1234;
  layout.product_id = 0xC52B;
  layout.report_lengths = {{0x11, 20}};
  layout.output_length = 20;
  layout.input_length = 20;
  layout.piece_bits = 2;
  layout.expected_pieces = 2;
  return layout;
}

class HidDeviceTest : public ::testing::Test {
 protected:
  std::shared_ptr<FakeHidDevice> make(HidLayout layout = single_collection(),
                                      milliseconds limit = HidDevice::kWriteLimit) {
    return std::make_shared<FakeHidDevice>(bus, std::move(layout), kPath, limit);
  }

  std::shared_ptr<FakeHidBusLink> bus = std::make_shared<FakeHidBusLink>();
};

Bytes padded(std::initializer_list<Byte> head, std::size_t length) {
  Bytes report(head);
  report.resize(length, 0);
  return report;
}

// --- the report that goes out -------------------------------------------------------------------

struct ShapeCase {
  const char* name;
  std::map<std::uint8_t, unsigned> report_lengths;
  unsigned output_length;
  Bytes given;
  Bytes sent;  // empty when nothing may reach the channel
  ErrorCode code;
};

void PrintTo(const ShapeCase& c, std::ostream* os) { *os << c.name; }

class HidDeviceShape : public HidDeviceTest, public ::testing::WithParamInterface<ShapeCase> {};

TEST_P(HidDeviceShape, ChoosesTheReportIdAndPadsOrRefuses) {
  const ShapeCase& c = GetParam();
  HidLayout layout = single_collection();
  layout.report_lengths = c.report_lengths;
  layout.output_length = c.output_length;
  WriteLog writes;
  auto device = make(layout);
  ASSERT_TRUE(writes.subscribe(device, Direct));
  ASSERT_TRUE(device->open());

  const Bytes callers_copy = c.given;
  EXPECT_EQ(device->write(callers_copy, false), c.code == ErrorCode::None);
  EXPECT_EQ(callers_copy, c.given);
  ASSERT_EQ(writes.entries().size(), 1u);
  EXPECT_EQ(writes.entries()[0].code, c.code);
  EXPECT_EQ(writes.entries()[0].report, c.sent);
  if (c.code != ErrorCode::None) {
    EXPECT_EQ(last_error().code, c.code);
  }

  auto channel = device->channel();
  if (c.sent.empty()) {
    EXPECT_TRUE(channel->written.empty());
  } else {
    ASSERT_EQ(channel->written.size(), 1u);
    EXPECT_EQ(channel->written[0], c.sent);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, HidDeviceShape,
    ::testing::Values(
        ShapeCase{"SevenBytesBecomeTwenty", {{0x11, 20}}, 20, {0x10, 0xFF, 1, 2, 3, 4, 5},
                  padded({0x11, 0xFF, 1, 2, 3, 4, 5}, 20), ErrorCode::None},
        ShapeCase{"ExactLengthKeepsItsBytes", {{0x11, 20}}, 20, Bytes(20, 0xAB), [] {
                    Bytes r(20, 0xAB);
                    r[0] = 0x11;
                    return r;
                  }(), ErrorCode::None},
        ShapeCase{"OneByteTooLong", {{0x11, 20}}, 20, Bytes(21, 0x11), {}, ErrorCode::WriteExceedsCollectionSize},
        ShapeCase{"Empty", {{0x11, 20}}, 20, {}, {}, ErrorCode::WriteTooShort},
        // No id known: the caller's first byte goes out as given.
        ShapeCase{"NoIdKeepsTheFirstByte", {}, 20, {0x42, 0xFF, 1}, padded({0x42, 0xFF, 1}, 20), ErrorCode::None},
        // Ids are tried in ascending order, not by length.
        ShapeCase{"LowestFittingId", {{0x05, 20}, {0x10, 7}}, 20, {0x10, 0xFF, 1}, padded({0x05, 0xFF, 1}, 20),
                  ErrorCode::None},
        ShapeCase{"LongerThanEveryId", {{0x10, 7}, {0x11, 20}}, 20, Bytes(21, 0x10), {},
                  ErrorCode::WriteExceedsCollectionSize}),
    [](const auto& info) { return std::string(info.param.name); });

// --- how a write ends ---------------------------------------------------------------------------

struct OutcomeCase {
  const char* name;
  HidChannel::WriteResult answer;
  ErrorCode code;
  unsigned system_error;
  bool removal;
};

void PrintTo(const OutcomeCase& c, std::ostream* os) { *os << c.name; }

class HidDeviceWriteOutcome : public HidDeviceTest, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(HidDeviceWriteOutcome, OneOnWriteWithTheCodeAndTheLimitGivenToThePlatform) {
  const OutcomeCase& c = GetParam();
  WriteLog writes;
  auto device = make(single_collection(), milliseconds(25));
  device->prepare = [&](FakeHidChannel& channel) { channel.write_answer = c.answer; };
  ASSERT_TRUE(writes.subscribe(device, Direct));
  ASSERT_TRUE(device->open());

  EXPECT_EQ(device->write({0x11, 0xFF, 0x01}, false), c.code == ErrorCode::None);
  ASSERT_EQ(writes.entries().size(), 1u);
  EXPECT_EQ(writes.entries()[0].code, c.code);
  EXPECT_EQ(writes.entries()[0].system_error, c.system_error);
  EXPECT_EQ(writes.entries()[0].report.empty(), c.code != ErrorCode::None);
  if (c.code != ErrorCode::None) {
    EXPECT_EQ(last_error().code, c.code);
    EXPECT_EQ(last_error().system_error, c.system_error);
  }
  ASSERT_EQ(device->channel()->limits.size(), 1u);
  EXPECT_EQ(device->channel()->limits[0], milliseconds(25));

  EXPECT_EQ(device->removed(), c.removal);
  EXPECT_EQ(bus->removed().size(), c.removal ? 1u : 0u);
  if (c.removal) {
    EXPECT_EQ(bus->removed()[0], std::make_pair(std::string(kPath), std::uint64_t{7}));
    device->close();
    EXPECT_FALSE(device->open());
    EXPECT_EQ(last_error().code, ErrorCode::DeviceRemoved);
  }
}

using WriteKind = HidChannel::WriteKind;

INSTANTIATE_TEST_SUITE_P(
    Table, HidDeviceWriteOutcome,
    ::testing::Values(OutcomeCase{"Taken", {WriteKind::Ok}, ErrorCode::None, 0, false},
                      OutcomeCase{"TimedOut", {WriteKind::TimedOut}, ErrorCode::WriteTimedOut, 0, false},
                      OutcomeCase{"Failed", {WriteKind::Failed, 5}, ErrorCode::WriteFailed, 5, false},
                      OutcomeCase{"Gone", {WriteKind::Gone, 31}, ErrorCode::WriteDeviceGone, 31, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HidDeviceTest, AWriteThatCannotOpenSaysSoOnceWithTheOpensError) {
  WriteLog writes;
  auto device = make();
  device->open_failure = LastError{ErrorCode::OpenFailed, 5, nullptr};
  ASSERT_TRUE(writes.subscribe(device, Direct));
  EXPECT_FALSE(device->write({0x11, 0xFF}, false));
  ASSERT_EQ(writes.entries().size(), 1u);
  EXPECT_EQ(writes.entries()[0].code, ErrorCode::OpenFailed);
  EXPECT_EQ(writes.entries()[0].system_error, 5u);
  EXPECT_EQ(last_error().code, ErrorCode::OpenFailed);

  // Nothing was learnt from the failed open: the next one still checks the device.
  device->open_failure.reset();
  ASSERT_TRUE(device->open());
  EXPECT_EQ(device->validations, 1);
}

TEST_F(HidDeviceTest, CloseWaitsUntilAWriteUnderWayLetsGoOfTheHandle) {
  auto device = make();
  device->prepare = [](FakeHidChannel& channel) { channel.hold_writes = true; };
  ASSERT_TRUE(device->open());
  auto channel = device->channel();
  auto writer = std::async(std::launch::async, [&] {
    const bool ok = device->write({0x11, 0xFF}, false);
    return std::make_pair(ok, last_error());
  });
  ASSERT_TRUE(channel->wait_for_write_entered());

  device->close();
  EXPECT_EQ(channel->writes_let_go, 1);
  ASSERT_EQ(writer.wait_for(kBound), std::future_status::ready);
  const auto [ok, failed] = writer.get();
  EXPECT_FALSE(ok);
  EXPECT_EQ(failed.code, ErrorCode::WriteFailed);
  EXPECT_EQ(failed.system_error, FakeHidChannel::kStopError);
  channel.reset();
  EXPECT_EQ(device->released->count(), 1);
}

// --- the read thread ----------------------------------------------------------------------------

TEST_F(HidDeviceTest, AFailedReadIsReportedAndReadingGoesOn) {
  ReadLog reads;
  auto device = make();
  ASSERT_TRUE(reads.subscribe(device, Direct));
  ASSERT_TRUE(device->open());
  auto channel = device->channel();
  channel->simulate_read_failure(5);
  const Bytes reply = padded({0x11, 0xFF, 0x81}, 20);
  channel->simulate_report(reply);

  ASSERT_TRUE(reads.wait_for(2));
  const auto got = reads.entries();
  EXPECT_TRUE(got[0].report.empty());
  EXPECT_EQ(got[0].error, 5u);
  EXPECT_EQ(got[0].length, 20u);
  EXPECT_EQ(got[1].report, reply);
  EXPECT_EQ(got[1].error, 0u);
  EXPECT_EQ(got[1].length, 20u);
  EXPECT_FALSE(device->removed());
  EXPECT_TRUE(bus->removed().empty());
}

TEST_F(HidDeviceTest, ReadsThatFailAtOnceEndInARemovalInsteadOfSpinning) {
  ReadLog reads;
  auto device = make();
  ASSERT_TRUE(reads.subscribe(device, Direct));
  ASSERT_TRUE(device->open());
  device->channel()->fail_every_read(6);

  // The thread gives up after a run of failures; one that never does keeps reporting them.
  ASSERT_TRUE(reads.wait_until([](const std::vector<ReadEntry>& got) { return !got.empty() && got.back().length == 0; }));
  device->close();
  EXPECT_TRUE(device->removed());
  EXPECT_EQ(bus->removed().size(), 1u);
  const auto got = reads.entries();
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got.back().length, 0u);  // the removal's own event
  for (const ReadEntry& e : got) {
    EXPECT_TRUE(e.report.empty());
    EXPECT_EQ(e.error, 6u);
  }
}

TEST_F(HidDeviceTest, RemovalDuringAReadIsAnnouncedOnceAndTheDeviceNeverOpensAgain) {
  ReadLog reads;
  WriteLog writes;
  auto device = make();
  ASSERT_TRUE(reads.subscribe(device, Direct));
  ASSERT_TRUE(writes.subscribe(device, Direct));
  ASSERT_TRUE(device->open());
  device->channel()->simulate_removal(1167);

  ASSERT_TRUE(reads.wait_for(1));
  const auto got = reads.entries();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_TRUE(got[0].report.empty());
  EXPECT_EQ(got[0].error, 1167u);
  EXPECT_EQ(got[0].length, 0u);
  EXPECT_TRUE(device->removed());
  ASSERT_EQ(bus->removed().size(), 1u);

  device->close();
  EXPECT_FALSE(device->open());
  EXPECT_EQ(last_error().code, ErrorCode::DeviceRemoved);
  EXPECT_FALSE(device->write({0x11, 0xFF}, false));
  ASSERT_EQ(writes.entries().size(), 1u);
  EXPECT_EQ(writes.entries()[0].code, ErrorCode::DeviceRemoved);
  EXPECT_EQ(device->opens, 1);
  EXPECT_EQ(bus->removed().size(), 1u);
}

TEST_F(HidDeviceTest, RemovalFoundByAWriteAndTheReadThreadAtOnceIsAnnouncedOnce) {
  ReadLog reads;
  auto device = make();
  device->prepare = [](FakeHidChannel& channel) { channel.hold_writes = true; };
  ASSERT_TRUE(reads.subscribe(device, Direct));
  ASSERT_TRUE(device->open());
  auto channel = device->channel();
  auto writer = std::async(std::launch::async, [&] {
    device->write({0x11, 0xFF}, true);
    return last_error();
  });
  ASSERT_TRUE(channel->wait_for_write_entered());

  channel->simulate_removal(1167);
  channel->release_write({HidChannel::WriteKind::Gone, 1167});
  ASSERT_EQ(writer.wait_for(kBound), std::future_status::ready);
  EXPECT_EQ(writer.get().code, ErrorCode::WriteDeviceGone);
  ASSERT_TRUE(reads.wait_for(1));
  device->close();
  EXPECT_EQ(reads.entries().size(), 1u);
  EXPECT_EQ(bus->removed().size(), 1u);
  EXPECT_TRUE(device->removed());
}

TEST_F(HidDeviceTest, OneReadThreadHoweverManySubscribeAndANewOneForEachOpen) {
  ReadLog first, second;
  auto device = make();
  ASSERT_TRUE(first.subscribe(device, Direct));
  ASSERT_TRUE(device->open());
  ASSERT_TRUE(second.subscribe(device, Direct));
  ASSERT_TRUE(device->open());
  auto channel = device->channel();
  channel->simulate_report(padded({0x11, 0x01}, 20));
  ASSERT_TRUE(first.wait_for(1));
  ASSERT_TRUE(second.wait_for(1));
  device->close();
  std::set<std::thread::id> threads(channel->reader_ids.begin(), channel->reader_ids.end());
  EXPECT_EQ(threads.size(), 1u);

  ASSERT_TRUE(device->open());
  auto reopened = device->channel();
  ASSERT_NE(reopened, channel);
  reopened->simulate_report(padded({0x11, 0x02}, 20));
  ASSERT_TRUE(first.wait_for(2));
  EXPECT_EQ(first.entries()[1].report[1], 0x02);
  EXPECT_EQ(device->validations, 1);
}

TEST_F(HidDeviceTest, AHandleTheBusClosedUnderneathIsReplacedOnTheNextOpen) {
  ReadLog reads;
  auto device = make();
  ASSERT_TRUE(reads.subscribe(device, Direct));
  ASSERT_TRUE(device->open());
  auto old = device->channel();
  old->close_underneath();

  ASSERT_TRUE(device->open());
  EXPECT_EQ(device->opens, 2);
  EXPECT_EQ(device->validations, 1);
  auto fresh = device->channel();
  ASSERT_NE(fresh, old);
  old.reset();
  EXPECT_EQ(device->released->count(), 1);
  // The read thread moved to the new handle.
  fresh->simulate_report(padded({0x11, 0x03}, 20));
  ASSERT_TRUE(reads.wait_for(1));
  EXPECT_EQ(reads.entries()[0].report[1], 0x03);
}

TEST_F(HidDeviceTest, CloseFromTheReadThreadDetachesAndTheHandleGoesWhenTheThreadIsOut) {
  ReadLog reads;
  auto device = make();
  std::promise<void> closed;
  reads.handler = [&](const Bytes&) {
    device->close();
    closed.set_value();
  };
  ASSERT_TRUE(reads.subscribe(device, Direct));
  ASSERT_TRUE(device->open());
  device->channel()->simulate_report(padded({0x11, 0x01}, 20));
  ASSERT_EQ(closed.get_future().wait_for(kBound), std::future_status::ready);

  // The detached thread holds the last reference to the handle and lets go on its way out.
  EXPECT_TRUE(device->released->wait_for(1));
  reads.handler = nullptr;
  ASSERT_TRUE(device->open());
  device->channel()->simulate_report(padded({0x11, 0x02}, 20));
  ASSERT_TRUE(reads.wait_for(2));
}

TEST_F(HidDeviceTest, DestroyingWithAReadPendingStopsIt) {
  ReadLog reads;
  auto device = make();
  ASSERT_TRUE(reads.subscribe(device, Direct));
  ASSERT_TRUE(device->open());
  std::weak_ptr<FakeHidChannel> channel = device->channel();
  auto released = device->released;
  ASSERT_TRUE(channel.lock()->wait_for_read_entered());

  device.reset();  // joins the thread blocked in its read
  EXPECT_EQ(released->count(), 1);
  EXPECT_TRUE(channel.expired());
  EXPECT_TRUE(reads.entries().empty());
  EXPECT_TRUE(bus->removed().empty());
}

// --- what the device answers ------------------------------------------------------------------

TEST_F(HidDeviceTest, QueriesAnswerFromTheLayoutOfTheFirstOpen) {
  HidLayout piece = single_collection();
  piece.piece_bits = 2;
  piece.expected_pieces = 6;
  piece.group = "usb\\vid_1234&pid_c52b\\5&2a";
  piece.product_name = "Maker Keyboard";
  auto device = make(piece);
  EXPECT_EQ(device->combine_key(), kPath);  // nothing known before the first open
  ASSERT_TRUE(device->open());
  EXPECT_EQ(device->pid(), 0xC52Bu);
  EXPECT_EQ(device->vendor_id(), 0x1234u);
  EXPECT_EQ(device->product_name(), "Maker Keyboard");
  EXPECT_EQ(device->report_length(), 20);
  EXPECT_EQ(device->combine_key(), piece.group);

  auto whole = make();
  ASSERT_TRUE(whole->open());
  EXPECT_EQ(whole->combine_key(), kPath);
}

}  // namespace
}  // namespace dovod
