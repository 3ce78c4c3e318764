// Enumeration of the paired devices: the receiver announces each of them while the host thread
// waits, and a receiver that announces fewer devices than it counts is asked again.
#include "ReceiverFixture.h"
#include "dovod/LastError.h"

namespace dovod::testing {
namespace {

TEST_F(ReceiverTest, EnumerationTurnsAnnouncementsIntoDevicesWithoutPlugEvents) {
  firmware->Pair(0, kKeyboard);
  firmware->Pair(2, kMouse, /*link_up=*/false);
  make_bus();
  listen();
  EXPECT_EQ(firmware->register_value(0x00)[1] & 0x01, 0x01) << "connection notifications enabled";

  const auto found = bus->devices();
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0]->path(), "receiver-1:0");
  EXPECT_EQ(found[0]->pid(), kKeyboard);
  EXPECT_TRUE(found[0]->connected());
  EXPECT_EQ(found[1]->path(), "receiver-1:2");
  EXPECT_EQ(found[1]->pid(), kMouse);
  EXPECT_FALSE(found[1]->connected()) << "announced with the link down";
  for (const auto& device : found) {
    EXPECT_EQ(device->bus_type(), 1);
    EXPECT_EQ(device->bus(), std::static_pointer_cast<IHardwareBus>(bus));
  }
  EXPECT_EQ(found[0]->device_index(), 1);
  EXPECT_EQ(found[1]->device_index(), 3);
  EXPECT_EQ(count_requests(0x80, 0x02, 0x02), 1);
  hw->wait_idle();
  EXPECT_TRUE(plugs->events().empty()) << "devices found by enumeration are returned, not announced";

  // A second enumeration keeps the device objects of unchanged slots.
  const auto again = bus->devices();
  ASSERT_EQ(again.size(), 2u);
  EXPECT_EQ(again[0], found[0]);
  EXPECT_EQ(again[1], found[1]);
}

TEST_F(ReceiverTest, MissingAnnouncementIsRetriedAndReportedThreeTimesThenTheOthersAreReturned) {
  ErrorLog errors;
  ASSERT_TRUE(errors.subscribe(manager(), RunLoop));
  firmware->Pair(0, kKeyboard);
  firmware->Pair(1, kMouse);
  firmware->silent_slot = 1;
  make_bus();
  listen();
  const int register_reads = count_requests(0x81, 0x00);

  const auto found = bus->devices();
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0]->pid(), kKeyboard);
  EXPECT_EQ(count_requests(0x80, 0x02, 0x02), 3);
  EXPECT_EQ(count_requests(0x81, 0x00), register_reads + 1) << "notifications re-enabled after the first pass only";
  host.pump();
  ASSERT_EQ(errors.errors.size(), 3u);
  for (const auto& e : errors.errors) {
    EXPECT_EQ(e.where, "TandemBus");
    EXPECT_EQ(e.code, ErrorCode::ReceiverArrivalMismatch);
    EXPECT_EQ(e.message, "Tandem device arrival unique count mismatch");
  }
}

TEST_F(ReceiverTest, FailedEnumerationAnswersNothingWithTheReasonAndKeepsTheSlots) {
  firmware->Pair(0, kKeyboard);
  make_bus();
  listen();
  const auto first = bus->devices();
  ASSERT_EQ(first.size(), 1u);

  struct Case {
    const char* name;
    ReceiverFirmware::Hook hook;
    ErrorCode code;
  };
  const Case cases[] = {
      // A report shorter than a short report completes no request.
      {"count answer cut short",
       [](const Bytes& r) -> std::optional<std::vector<Bytes>> {
         if (r[2] == 0x81 && r[3] == 0x02) return std::vector<Bytes>{{0x10, 0xFF, 0x81, 0x02, 0, 1}};
         return std::nullopt;
       },
       ErrorCode::NoResponse},
      {"announcement request refused",
       [](const Bytes& r) -> std::optional<std::vector<Bytes>> {
         if (r[2] == 0x80 && r[3] == 0x02) return std::vector<Bytes>{vxp10_error(r, 3)};
         return std::nullopt;
       },
       ErrorCode::Vxp10ErrorInvalidValue},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    firmware->set_hook(c.hook);
    clear_last_error();
    EXPECT_TRUE(bus->devices().empty());
    EXPECT_EQ(last_error().code, c.code);
    firmware->set_hook(nullptr);
    EXPECT_EQ(bus->device_in_slot(0), first[0]) << "slots as they were";
  }
}

TEST_F(ReceiverTest, NoPairedDevicesIsAnEmptyListWithoutError) {
  make_bus();
  listen();
  set_last_error(ErrorCode::NoResponse);
  EXPECT_TRUE(bus->devices().empty());
  EXPECT_EQ(last_error().code, ErrorCode::None);
}

}  // namespace
}  // namespace dovod::testing
