// A simulated device shown as several HID collections: their shapes, which one takes which write,
// and which one carries which report up.

#include <gtest/gtest.h>

#include <set>

#include "KeyboardLink.h"
#include "dovod/LastError.h"

namespace simtest {
namespace {

struct Layout {
  const char* label;
  sim::Collections kind;
  bool receiver;
  std::vector<int> piece_bits;
  int expected;
  std::vector<int> lengths;
};

const Layout kLayouts[] = {
    {"short and long, keyboard", sim::Collections::ShortAndLong, false, {1, 2}, 3, {7, 20}},
    {"short and long, receiver", sim::Collections::ShortAndLong, true, {1, 2}, 3, {7, 20}},
    {"0xFF43 pieces, keyboard", sim::Collections::Pieces, false, {1, 2, 4}, 7, {7, 20, 64}},
    {"0xFF43 pieces, receiver", sim::Collections::Pieces, true, {1, 2, 4}, 7, {7, 20, 64}},
};

sim::Scenario scenario_of(const Layout& layout) {
  sim::Scenario s = sim::find_scenario("normal")->scaled(0.01);
  s.collections = layout.kind;
  if (layout.receiver) s.receiver = sim::ReceiverSetup{};
  return s;
}

TEST(Collections, PiecesShareTheirParentAndTellTheirPartOfTheWhole) {
  for (const Layout& layout : kLayouts) {
    KeyboardLink link(scenario_of(layout));
    SCOPED_TRACE(layout.label);
    EXPECT_TRUE(link.bus().wants_combiner());
    const auto listed = link.bus().devices();
    ASSERT_EQ(listed.size(), layout.piece_bits.size());
    const std::string parent = layout.receiver ? sim::SimReceiver::kPath : sim::SimHardwareBus::kKeyboardPath;
    std::set<std::string> paths;
    for (std::size_t i = 0; i < listed.size(); ++i) {
      EXPECT_EQ(listed[i]->combine_key(), parent);
      EXPECT_EQ(listed[i]->piece_bits(), layout.piece_bits[i]);
      EXPECT_EQ(listed[i]->expected_pieces(), layout.expected);
      EXPECT_EQ(listed[i]->report_length(), layout.lengths[i]);
      EXPECT_EQ(listed[i]->pid(), listed[0]->pid());
      paths.insert(listed[i]->path());
    }
    EXPECT_EQ(paths.size(), listed.size()) << "every piece has a path of its own";
    EXPECT_EQ(paths.count(parent), 0u);
  }
}

TEST(Collections, AWholeCollectionIsCompleteByItself) {
  KeyboardLink link(sim::find_scenario("normal")->scaled(0.01));
  EXPECT_FALSE(link.bus().wants_combiner());
  ASSERT_EQ(link.bus().devices().size(), 1u);
  const auto whole = link.bus().devices()[0];
  EXPECT_EQ(whole->combine_key(), whole->path());
  EXPECT_EQ(whole->piece_bits(), whole->expected_pieces());
}

TEST(Collections, APieceTakesReportsOfItsLengthOnlyUnderItsOwnReportId) {
  struct WriteLog : dovod::Subscriber<dovod::IHardwareDevice::Write> {
    std::vector<Bytes> written;
    void onWrite(Bytes report, dovod::ErrorCode, unsigned) override { written.push_back(std::move(report)); }
  };
  KeyboardLink link(scenario_of(kLayouts[0]));
  const auto short_piece = link.devices()[0];
  const auto long_piece = link.devices()[1];
  WriteLog log;
  ASSERT_TRUE(log.subscribe(long_piece, dovod::Direct));

  EXPECT_FALSE(short_piece->write(Bytes(20, 0x11), true));
  EXPECT_EQ(dovod::last_error().code, dovod::ErrorCode::WriteExceedsCollectionSize);

  // A short request on the long piece goes out as a long report.
  ASSERT_TRUE(long_piece->write(request(0, 1, {0, 0, 0x31}), true));
  ASSERT_EQ(log.written.size(), 1u);
  EXPECT_EQ(log.written[0].size(), 20u);
  EXPECT_EQ(log.written[0][0], sim::kLongReportId);
  EXPECT_EQ(link.take([](const Bytes& r) { return r[6] == 0x31; }).value_or(Bytes{}).size(), 20u);
  log.unsubscribe(long_piece);
}

TEST(Collections, ReportsComeUpTheCollectionOfTheirLength) {
  struct Arrivals : dovod::Subscriber<dovod::IHardwareDevice::Read> {
    std::mutex mutex;
    std::vector<std::size_t> sizes;
    void onRead(Bytes report, bool, unsigned, unsigned length) override {
      std::lock_guard<std::mutex> lock(mutex);
      EXPECT_EQ(report.size(), length);
      sizes.push_back(report.size());
    }
  };
  KeyboardLink link(scenario_of(kLayouts[3]));
  Arrivals on_short, on_long, on_third;
  ASSERT_TRUE(on_short.subscribe(link.devices()[0], dovod::Direct));
  ASSERT_TRUE(on_long.subscribe(link.devices()[1], dovod::Direct));
  ASSERT_TRUE(on_third.subscribe(link.devices()[2], dovod::Direct));

  // A short register answer, then the keyboard's long answer behind the receiver.
  const Bytes get = {0x10, 0xFF, 0x81, 0x00, 0, 0, 0};
  ASSERT_TRUE(link.devices()[0]->write(get, true));
  ASSERT_TRUE(link.take([](const Bytes& r) { return r[2] == 0x81; }));
  Bytes ping = request(0, 1, {0, 0, 0x44});
  ping[1] = 1;
  ASSERT_TRUE(link.devices()[1]->write(ping, true));
  ASSERT_TRUE(link.take([](const Bytes& r) { return r.size() == 20 && r[6] == 0x44; }));

  on_short.unsubscribe(link.devices()[0]);
  on_long.unsubscribe(link.devices()[1]);
  on_third.unsubscribe(link.devices()[2]);
  EXPECT_EQ(on_short.sizes, std::vector<std::size_t>{7});
  EXPECT_EQ(on_long.sizes, std::vector<std::size_t>{20});
  EXPECT_TRUE(on_third.sizes.empty());
}

TEST(Collections, UnpluggingAnnouncesEveryPieceByItsPath) {
  struct PlugLog : dovod::Subscriber<dovod::IHardwareBus::PlugUnplug> {
    std::vector<std::pair<bool, std::string>> events;
    void onPlug(std::shared_ptr<dovod::IHardwareDevice> d) override { events.emplace_back(true, d->path()); }
    void onUnplug(std::shared_ptr<dovod::IHardwareDevice> d) override { events.emplace_back(false, d->path()); }
  } plugs;
  KeyboardLink link(scenario_of(kLayouts[2]));
  const auto bus = std::static_pointer_cast<dovod::IHardwareBus>(link.bus().shared_from_this());
  ASSERT_TRUE(plugs.subscribe(bus, dovod::Direct));
  std::vector<std::string> paths;
  for (const auto& d : link.devices()) paths.push_back(d->path());

  link.bus().unplug();
  link.bus().plug();
  plugs.unsubscribe(bus);
  ASSERT_EQ(plugs.events.size(), 6u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(plugs.events[i], std::make_pair(false, paths[i]));
    EXPECT_EQ(plugs.events[3 + i], std::make_pair(true, paths[i]));
  }
  for (const auto& d : link.devices()) EXPECT_TRUE(d->removed());
  link.listen();
  EXPECT_FALSE(link.call(request(0, 1)).empty());
}

}  // namespace
}  // namespace simtest
