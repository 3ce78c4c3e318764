// The paired device's own answers: its name read once, its judgement after an unanswered request,
// and what it does once its receiver bus is gone.
#include "ReceiverFixture.h"
#include "dovod/LastError.h"

namespace dovod::testing {
namespace {

TEST_F(ReceiverTest, ProductNameIsReadOnceAndAnEmptyOneIsAskedAgain) {
  firmware->Pair(0, kKeyboard, true, "Vorn Keyboard");
  firmware->Pair(1, kMouse, true, "");
  make_bus();
  listen();
  const auto found = bus->devices();
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0]->product_name(), "Vorn Keyboard");
  EXPECT_EQ(found[0]->product_name(), "Vorn Keyboard");
  EXPECT_EQ(count_requests(0x83, 0xB5, 0x40), 1);
  EXPECT_EQ(found[1]->product_name(), "");
  EXPECT_EQ(found[1]->product_name(), "");
  EXPECT_EQ(count_requests(0x83, 0xB5, 0x41), 2);
  EXPECT_EQ(found[0]->receiver_detail(), 0x5A) << "asked of the receiver's own hardware device";
}

TEST_F(ReceiverTest, UnansweredRequestCountsAsLostOnlyAfterTheReceiverReportedADisconnection) {
  firmware->Pair(0, kKeyboard);
  make_bus();
  listen();
  const auto found = bus->devices();
  ASSERT_EQ(found.size(), 1u);
  auto device = found[0];
  EXPECT_TRUE(device->verify_connection_following_timeout()) << "silent but never reported gone";

  hw->SimulateRead(ReceiverFirmware::connection(1, kReceiverType, kKeyboard, /*link_up=*/false));
  hw->wait_idle();
  EXPECT_FALSE(device->verify_connection_following_timeout());
  hw->SimulateRead(ReceiverFirmware::connection(1, kReceiverType, kKeyboard, /*link_up=*/true));
  hw->wait_idle();
  EXPECT_FALSE(device->verify_connection_following_timeout()) << "still nothing written since";
  ASSERT_TRUE(device->write({0x10, 0xFF, 0x00, 0x1A, 0, 0, 0}, false));
  EXPECT_TRUE(device->verify_connection_following_timeout());
}

TEST_F(ReceiverTest, PairedDeviceWaitsForARequestAsLongAsTheReceiversWireAllows) {
  firmware->Pair(0, kKeyboard);
  hw->timeout_ms = 60;
  make_bus();
  auto device = bus->devices().at(0);
  EXPECT_EQ(device->command_timeout_ms(), 60);
  plugs.reset();
  bus.reset();
  EXPECT_EQ(device->command_timeout_ms(), 3000) << "the default once the receiver is gone";
}

TEST_F(ReceiverTest, PairedDeviceOutlivingItsBusAnswersDeviceRemoved) {
  firmware->Pair(0, kKeyboard, true, "");
  make_bus();
  listen();
  auto device = bus->devices().at(0);
  const std::string path = device->path();
  plugs.reset();
  bus.reset();

  EXPECT_EQ(device->path(), path);
  EXPECT_EQ(device->bus(), nullptr);
  EXPECT_EQ(device->receiver_detail(), 0);
  auto link = std::dynamic_pointer_cast<IReceiverLink>(device);
  struct Case {
    const char* name;
    std::function<bool()> call;
  };
  const Case cases[] = {
      {"write", [&] { return device->write({0x10, 0xFF, 0x00, 0x1A, 0, 0, 0}, true); }},
      {"product name", [&] { return !device->product_name().empty(); }},
      {"software present", [&] { return link->set_software_present(); }},
      {"configuration complete", [&] { return link->set_configuration_complete(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    clear_last_error();
    EXPECT_FALSE(c.call());
    EXPECT_EQ(last_error().code, ErrorCode::DeviceRemoved);
  }
  struct WriteLog : Subscriber<IHardwareDevice::Write> {} writes;
  EXPECT_FALSE(writes.subscribe(device, Direct));
}

}  // namespace
}  // namespace dovod::testing
