#include "SimPipeWire.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "FakeHardwareDevice.h"
#include "ScriptedWin32System.h"
#include "dovod/MakerValues.h"
#include "sim/Scenario.h"
#include "sim/SimHardwareBus.h"
#include "sim/SimHardwareDevice.h"

namespace dovod::test {
namespace {

using dovod::testing::FakeHardwareDevice;

// One overlapped request on a client handle, with its own event.
struct Request {
  Request() { overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
  ~Request() { CloseHandle(overlapped.hEvent); }
  Request(const Request&) = delete;
  Request& operator=(const Request&) = delete;

  // Waits for the request to end; false with the system error in `error`.
  bool finish(HANDLE handle) {
    ok = GetOverlappedResult(handle, &overlapped, &transferred, TRUE);
    error = ok ? 0 : GetLastError();
    return ok;
  }

  OVERLAPPED overlapped{};
  Byte buffer[4096] = {};
  DWORD transferred = 0;
  BOOL ok = FALSE;
  DWORD error = 0;
};

// Starts an overlapped read; false when it failed at once.
bool start_read(HANDLE handle, Request& request) {
  if (ReadFile(handle, request.buffer, sizeof(request.buffer), nullptr, &request.overlapped)) return true;
  return GetLastError() == ERROR_IO_PENDING;
}

bool start_write(HANDLE handle, const Bytes& report, Request& request) {
  if (WriteFile(handle, report.data(), static_cast<DWORD>(report.size()), nullptr, &request.overlapped)) return true;
  return GetLastError() == ERROR_IO_PENDING;
}

Bytes received(const Request& request) { return Bytes(request.buffer, request.buffer + request.transferred); }

// The keyboard's long-report collection, played by a fake device that answers from its own thread.
class SimPipeWireTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(wire->start());
    system.add_interface(row, wire);
  }

  void TearDown() override {
    for (HANDLE h : clients) CloseHandle(h);
  }

  HANDLE open_client() {
    HANDLE h = system.CreateFileW(row.path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
    clients.push_back(h);
    return h;
  }

  const HidInterface row = maker_collection(maker::kVendorId, maker::kKeyboardPid, 2, 20, 0x11, 2, 2);
  const std::shared_ptr<FakeHardwareDevice> device = std::make_shared<FakeHardwareDevice>(
      "sim/vorn-keyboard", maker::kKeyboardPid, FakeHardwareDevice::Answering::Threaded);
  const std::shared_ptr<SimPipeWire> wire = std::make_shared<SimPipeWire>(device);
  ScriptedWin32System system;
  std::vector<HANDLE> clients;
};

Bytes long_report(Byte first_payload) {
  Bytes report(20, 0);
  report[0] = 0x11;
  report[1] = 0x01;
  for (int i = 2; i < 20; ++i) report[i] = static_cast<Byte>(first_payload + i);
  return report;
}

TEST_F(SimPipeWireTest, OneReportEachWayArrivesWholeAndExact) {
  const Bytes request = long_report(0x40);
  const Bytes reply = long_report(0xA0);
  device->set_answer([&](const Bytes&) { return std::vector<Bytes>{reply}; });
  HANDLE client = open_client();

  Request read;
  ASSERT_TRUE(start_read(client, read));
  Request write;
  ASSERT_TRUE(start_write(client, request, write));
  ASSERT_TRUE(write.finish(client)) << write.error;
  EXPECT_EQ(write.transferred, 20u);
  ASSERT_TRUE(read.finish(client)) << read.error;
  EXPECT_EQ(received(read), reply);
  EXPECT_EQ(device->written(), std::vector<Bytes>{request});
  EXPECT_EQ(wire->written(), std::vector<Bytes>{request});
}

TEST_F(SimPipeWireTest, EveryOpenClientGetsEachInputReportAsOneMessage) {
  HANDLE first = open_client();
  HANDLE second = open_client();
  EXPECT_EQ(wire->open_ends(), 2);
  const Bytes short_report = {0x10, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
  const Bytes long_one = long_report(0x10);
  device->SimulateRead(short_report);
  device->SimulateRead(long_one);
  device->wait_idle();
  for (HANDLE client : {first, second}) {
    // Reads with room for both reports still get one at a time.
    for (const Bytes& expected : {short_report, long_one}) {
      Request read;
      ASSERT_TRUE(start_read(client, read));
      ASSERT_TRUE(read.finish(client)) << read.error;
      EXPECT_EQ(received(read), expected);
    }
  }
}

TEST_F(SimPipeWireTest, UnplugFailsAPendingReadAndEveryLaterRequest) {
  HANDLE client = open_client();
  Request read;
  ASSERT_TRUE(start_read(client, read));
  wire->unplug();
  EXPECT_FALSE(read.finish(client));
  EXPECT_EQ(read.error, static_cast<DWORD>(ERROR_PIPE_NOT_CONNECTED));
  EXPECT_EQ(wire->open_ends(), 0);

  Request write;
  EXPECT_FALSE(start_write(client, long_report(0), write) && write.finish(client));
  EXPECT_TRUE(device->written().empty());

  // A new open after the unplug is served again, as a device that came back.
  device->set_answer([](const Bytes& written) { return std::vector<Bytes>{written}; });
  HANDLE again = open_client();
  Request echo_read;
  ASSERT_TRUE(start_read(again, echo_read));
  Request echo_write;
  ASSERT_TRUE(start_write(again, long_report(7), echo_write));
  ASSERT_TRUE(echo_read.finish(again)) << echo_read.error;
  EXPECT_EQ(received(echo_read), long_report(7));
}

TEST_F(SimPipeWireTest, AStalledWireLeavesAWritePendingUntilItIsCancelled) {
  device->set_answer([](const Bytes& written) { return std::vector<Bytes>{written}; });
  HANDLE client = open_client();
  wire->set_stalled(true);
  Request stalled;
  ASSERT_TRUE(start_write(client, long_report(1), stalled));
  EXPECT_FALSE(HasOverlappedIoCompleted(&stalled.overlapped));
  ASSERT_TRUE(CancelIoEx(client, &stalled.overlapped));
  EXPECT_FALSE(stalled.finish(client));
  EXPECT_EQ(stalled.error, static_cast<DWORD>(ERROR_OPERATION_ABORTED));

  // Once the stall ends, writes go through again; the cancelled one never reached the device.
  wire->set_stalled(false);
  Request read;
  ASSERT_TRUE(start_read(client, read));
  Request write;
  ASSERT_TRUE(start_write(client, long_report(2), write));
  ASSERT_TRUE(write.finish(client)) << write.error;
  ASSERT_TRUE(read.finish(client)) << read.error;
  EXPECT_EQ(received(read), long_report(2));
  EXPECT_EQ(device->written(), std::vector<Bytes>{long_report(2)});
}

TEST_F(SimPipeWireTest, AClientClosedWithReadsPendingLeavesTheWireServingOthers) {
  HANDLE gone = open_client();
  Request pending;
  ASSERT_TRUE(start_read(gone, pending));
  CancelIoEx(gone, &pending.overlapped);
  pending.finish(gone);
  CloseHandle(gone);
  clients.erase(clients.begin());

  HANDLE staying = open_client();
  device->SimulateRead(long_report(3));
  Request read;
  ASSERT_TRUE(start_read(staying, read));
  ASSERT_TRUE(read.finish(staying)) << read.error;
  EXPECT_EQ(received(read), long_report(3));
}

TEST_F(SimPipeWireTest, AClientThatNeverReadsLosesReportsButHoldsUpNoOne) {
  // Only a broken wire makes a read wait this long.
  constexpr DWORD kBoundMs = 10000;
  open_client();  // opened and never read, as a program may hold a collection
  HANDLE reader = open_client();
  // Twenty of these are more than the silent client's pipe holds.
  for (int i = 0; i < 20; ++i) {
    Bytes report(4000, static_cast<Byte>(i));
    report[0] = 0x11;
    Request read;
    ASSERT_TRUE(start_read(reader, read));
    device->SimulateRead(report);
    ASSERT_EQ(WaitForSingleObject(read.overlapped.hEvent, kBoundMs), WAIT_OBJECT_0) << "report " << i;
    ASSERT_TRUE(read.finish(reader)) << read.error;
    EXPECT_EQ(received(read), report);
  }
}

// The simulated keyboard itself behind the pipe: a request of its protocol is answered through it.
TEST(SimPipeWireKeyboard, TheSimulatedKeyboardAnswersThroughThePipe) {
  const auto scenario = sim::find_scenario("normal");
  ASSERT_TRUE(scenario);
  const auto keyboard_bus = sim::SimHardwareBus::create(scenario->scaled(0.01));
  const auto wire = std::make_shared<SimPipeWire>(keyboard_bus->keyboard_device());
  ASSERT_TRUE(wire->start());
  ScriptedWin32System system;
  const HidInterface row = maker_collection(maker::kVendorId, maker::kKeyboardPid, 2, 20, 0x11, 2, 2);
  system.add_interface(row, wire);
  HANDLE client = system.CreateFileW(row.path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  ASSERT_NE(client, INVALID_HANDLE_VALUE);

  // The root feature's first function: the index of feature 0x0003.
  Bytes request(20, 0);
  request[0] = sim::kLongReportId;
  request[1] = sim::kDirectDeviceIndex;
  request[3] = 0x01;
  request[5] = 0x03;
  Request read;
  ASSERT_TRUE(start_read(client, read));
  Request write;
  ASSERT_TRUE(start_write(client, request, write));
  ASSERT_TRUE(write.finish(client)) << write.error;
  ASSERT_TRUE(read.finish(client)) << read.error;
  const Bytes reply = received(read);
  ASSERT_EQ(reply.size(), 20u);
  EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 4), Bytes(request.begin(), request.begin() + 4));
  CloseHandle(client);
}

}  // namespace
}  // namespace dovod::test
