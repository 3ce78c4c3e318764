// Win32Device over the stand-in system and a real Win32Bus: the checks of the first open come from
// a table row's HidD and HidP answers, and reports travel through the row's real overlapped pipe,
// whose far end a fake device answers.

#include <gtest/gtest.h>

#include <windows.h>

#include <dbt.h>

#include <atomic>
#include <chrono>
#include <cwchar>
#include <cwctype>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DeviceEventLogs.h"
#include "FakeHardwareDevice.h"
#include "HidInterface.h"
#include "ScriptedWin32System.h"
#include "SimPipeWire.h"
#include "Source/Windows/PathText.h"
#include "Source/Windows/Win32Bus.h"
#include "Source/Windows/Win32Device.h"
#include "dovod/LastError.h"
#include "dovod/MakerValues.h"

namespace dovod::test {
namespace {

using dovod::testing::FakeHardwareDevice;

// The write limit, scaled down so that a stalled write costs the test a moment.
constexpr std::chrono::milliseconds kWriteLimit{50};

// A Win32Bus on the stand-in system; no device manager.
class StandInBus : public Win32Bus {
 public:
  explicit StandInBus(std::shared_ptr<ScriptedWin32System> system) : Win32Bus(nullptr), system_(std::move(system)) {}

  HWND window() {
    HWND window = nullptr;
    lazyStart(&window, nullptr);
    return window;
  }

 protected:
  std::shared_ptr<IWin32System> makeWin32System() override { return system_; }

 private:
  const std::shared_ptr<ScriptedWin32System> system_;
};

class UnplugLog : public Recorder<std::string>, public Subscriber<IHardwareBus::PlugUnplug> {
 public:
  void onUnplug(std::shared_ptr<IHardwareDevice> device) override { add(device->path()); }
};

HidInterface long_collection() { return maker_collection(maker::kVendorId, maker::kKeyboardPid, 2, 20, 0x11, 2, 2); }

// One piece of usage page 0xFF43: the piece is the usage's low byte, the whole set its high byte.
HidInterface piece_collection(USHORT usage) {
  HidInterface row = maker_collection(maker::kVendorId, maker::kKeyboardPid, usage, 20, 0x11, 3, 1);
  row.caps.UsagePage = 0xFF43;
  row.output_value_caps[0].UsagePage = 0xFF43;
  return row;
}

// A Bluetooth LE collection answers no attributes; its ids are only in its path.
HidInterface low_energy_collection(unsigned vendor_id, unsigned product_id) {
  HidInterface row = maker_collection(maker::kVendorId, maker::kKeyboardPid, 2, 20, 0x11, 4, 2);
  wchar_t path[256];
  swprintf(path, 256,
           L"\\\\?\\hid#{00001812-0000-1000-8000-00805f9b34fb}_dev_vid&02%04x_pid&%04x_rev&0001_c8a1b2c3d4e5&col02#"
           L"9&1a2b3c4d&0&0001#{4d1e55b2-f16f-11cf-88cb-001111000030}",
           vendor_id, product_id);
  row.path = path;
  row.attributes.VendorID = 0;
  row.attributes.ProductID = 0;
  return row;
}

HidInterface with_button_cap(HidInterface row) {
  HIDP_BUTTON_CAPS button{};
  button.UsagePage = row.caps.UsagePage;
  button.ReportID = row.output_value_caps[0].ReportID;
  row.output_button_caps.push_back(button);
  row.output_value_caps.clear();
  row.caps.NumberOutputValueCaps = 0;
  row.caps.NumberOutputButtonCaps = 1;
  return row;
}

std::string lower(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += static_cast<char>(std::towlower(c));
  return out;
}

Bytes long_report(Byte marker) {
  Bytes report(20, 0);
  report[0] = 0x11;
  report[1] = 0x01;
  report[2] = marker;
  return report;
}

class Win32DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bus->init();
    ASSERT_NE(bus->window(), nullptr);
    clear_last_error();
  }

  std::shared_ptr<Win32Device> make(const HidInterface& row) {
    return std::make_shared<Win32Device>(bus, system, path_text(row.path), row.devnode, kWriteLimit);
  }

  // A row served by a fake device that answers every report with itself.
  std::shared_ptr<Win32Device> make_served(const HidInterface& row) {
    echo->set_answer([](const Bytes& written) { return std::vector<Bytes>{written}; });
    EXPECT_TRUE(wire->start());
    system->add_interface(row, wire);
    return make(row);
  }

  std::vector<NotificationCall> handle_registrations() const {
    std::vector<NotificationCall> found;
    for (const NotificationCall& call : system->notification_calls()) {
      if (call.device_type == DBT_DEVTYP_HANDLE) found.push_back(call);
    }
    return found;
  }

  // What Windows sends when the device behind a watched handle is removed.
  void send_handle_removal(const NotificationCall& registration) {
    DEV_BROADCAST_HANDLE header{};
    header.dbch_size = sizeof(header);
    header.dbch_devicetype = DBT_DEVTYP_HANDLE;
    header.dbch_handle = registration.device;
    header.dbch_hdevnotify = registration.result;
    SendMessageW(bus->window(), WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, reinterpret_cast<LPARAM>(&header));
  }

  const std::shared_ptr<ScriptedWin32System> system = std::make_shared<ScriptedWin32System>();
  const std::shared_ptr<FakeHardwareDevice> echo = std::make_shared<FakeHardwareDevice>(
      "sim/vorn-keyboard", maker::kKeyboardPid, FakeHardwareDevice::Answering::Threaded);
  const std::shared_ptr<SimPipeWire> wire = std::make_shared<SimPipeWire>(echo);
  const std::shared_ptr<StandInBus> bus = std::make_shared<StandInBus>(system);
};

struct Refusal {
  const char* name;
  HidInterface row;
  ErrorCode code;
  unsigned long system_error;
};

class Win32DeviceRefusal : public Win32DeviceTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(Win32DeviceRefusal, TheFirstOpenFailsWithTheCodeAndLeavesNothingBehind) {
  const Refusal& c = GetParam();
  system->add_interface(c.row);
  auto device = make(c.row);
  EXPECT_FALSE(device->open());
  EXPECT_EQ(last_error().code, c.code);
  EXPECT_EQ(last_error().system_error, c.system_error);
  EXPECT_EQ(system->preparsed_outstanding(), 0);
  EXPECT_TRUE(handle_registrations().empty()) << "a refused collection's handle reached the bus";
}

HidInterface changed(HidInterface row, const std::function<void(HidInterface&)>& change) {
  change(row);
  return row;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Win32DeviceRefusal,
    ::testing::Values(
        Refusal{"AnotherVendor", changed(long_collection(), [](HidInterface& r) { r.attributes.VendorID = 0x1234; }),
                ErrorCode::NotMakerDevice, maker::kKeyboardPid},
        Refusal{"LowEnergyOfAnotherVendor", low_energy_collection(0x1234, 0x5678), ErrorCode::NotMakerDevice, 0x5678},
        Refusal{"UsageThreeOfTheShortLongPage", changed(long_collection(), [](HidInterface& r) { r.caps.Usage = 3; }),
                ErrorCode::NotProtocolCollection, 0},
        Refusal{"PieceOfTwoBits", piece_collection(0x0603), ErrorCode::NotProtocolCollection, 0},
        Refusal{"PieceOutsideItsSet", piece_collection(0x0402), ErrorCode::NotProtocolCollection, 0},
        Refusal{"AnotherUsagePage", changed(long_collection(), [](HidInterface& r) { r.caps.UsagePage = 0x0001; }),
                ErrorCode::NotVendorUsagePage, 0},
        Refusal{"TwoOutputCaps",
                changed(long_collection(),
                        [](HidInterface& r) {
                          r.output_value_caps.push_back(r.output_value_caps[0]);
                          r.caps.NumberOutputValueCaps = 2;
                        }),
                ErrorCode::NotProtocolCollection, 0},
        Refusal{"InputLongerThanOutput",
                changed(long_collection(), [](HidInterface& r) { r.caps.InputReportByteLength = 64; }),
                ErrorCode::NotProtocolCollection, 0},
        Refusal{"AttributesFail",
                changed(long_collection(), [](HidInterface& r) { r.fail.attributes = ERROR_ACCESS_DENIED; }),
                ErrorCode::AttributesFailed, ERROR_ACCESS_DENIED},
        Refusal{"PreparsedDataFails",
                changed(long_collection(), [](HidInterface& r) { r.fail.preparsed_data = ERROR_GEN_FAILURE; }),
                ErrorCode::DescriptorFailed, ERROR_GEN_FAILURE},
        Refusal{"CapsFail", changed(long_collection(), [](HidInterface& r) { r.fail.caps = ERROR_INVALID_PARAMETER; }),
                ErrorCode::CapabilitiesFailed, ERROR_INVALID_PARAMETER},
        Refusal{"ValueCapsFail",
                changed(long_collection(), [](HidInterface& r) { r.fail.value_caps = ERROR_INVALID_DATA; }),
                ErrorCode::CapabilitiesFailed, ERROR_INVALID_DATA},
        Refusal{"ButtonCapsFail",
                changed(with_button_cap(long_collection()),
                        [](HidInterface& r) { r.fail.button_caps = ERROR_INVALID_DATA; }),
                ErrorCode::CapabilitiesFailed, ERROR_INVALID_DATA},
        Refusal{"CreateFileFails",
                changed(long_collection(), [](HidInterface& r) { r.fail.create_file = ERROR_SHARING_VIOLATION; }),
                ErrorCode::OpenFailed, ERROR_SHARING_VIOLATION}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return info.param.name; });

struct Acceptance {
  const char* name;
  HidInterface row;
  int piece_bits;
  int expected_pieces;
  std::string product;
};

class Win32DeviceAcceptance : public Win32DeviceTest, public ::testing::WithParamInterface<Acceptance> {};

TEST_P(Win32DeviceAcceptance, TheFirstOpenLearnsTheCollectionAndItsParent) {
  const Acceptance& c = GetParam();
  system->add_interface(c.row);
  auto device = make(c.row);
  ASSERT_TRUE(device->open()) << to_int(last_error().code) << " " << last_error().system_error;
  EXPECT_EQ(device->vendor_id(), maker::kVendorId);
  EXPECT_EQ(device->pid(), maker::kKeyboardPid);
  EXPECT_EQ(device->piece_bits(), c.piece_bits);
  EXPECT_EQ(device->expected_pieces(), c.expected_pieces);
  EXPECT_EQ(device->report_length(), 20);
  EXPECT_EQ(device->product_name(), c.product);
  // A piece of a larger device is grouped with its siblings under their parent's instance.
  EXPECT_EQ(device->combine_key(), lower(c.row.parent_instance));
  EXPECT_EQ(system->preparsed_outstanding(), 0);
  EXPECT_EQ(system->preparsed_freed(), 1);
  EXPECT_EQ(handle_registrations().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Win32DeviceAcceptance,
    ::testing::Values(
        Acceptance{"LongReportCollection", long_collection(), 2, 3, "Vorn Keyboard"},
        Acceptance{"ButtonCapCollection", with_button_cap(long_collection()), 2, 3, "Vorn Keyboard"},
        Acceptance{"LowEnergyWithTheMakersIdsInItsPath", low_energy_collection(maker::kVendorId, maker::kKeyboardPid),
                   2, 3, "Vorn Keyboard"},
        Acceptance{"PieceTwoOfSix", piece_collection(0x0602), 2, 6, "Vorn Keyboard"},
        Acceptance{"ProductStringRefused",
                   changed(long_collection(), [](HidInterface& r) { r.fail.product_string = ERROR_GEN_FAILURE; }), 2,
                   3, ""}),
    [](const ::testing::TestParamInfo<Acceptance>& info) { return info.param.name; });

struct WriteCase {
  const char* name;
  Bytes given;
  ErrorCode code;
  Bytes arrives;  // empty: nothing reaches the device
};

class Win32DeviceWrite : public Win32DeviceTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(Win32DeviceWrite, TheReportIsShapedOnceAndOnlyAWholeOneReachesTheDevice) {
  const WriteCase& c = GetParam();
  auto device = make_served(long_collection());
  ReadLog reads;
  WriteLog writes;
  ASSERT_TRUE(reads.subscribe(device, Direct));
  ASSERT_TRUE(writes.subscribe(device, Direct));
  ASSERT_TRUE(device->open());

  EXPECT_EQ(device->write(c.given, false), c.code == ErrorCode::None);
  EXPECT_EQ(last_error().code, c.code);
  // A report written after it shows, by its echo, that the pipe has carried everything before it.
  const Bytes marker = long_report(0xEE);
  ASSERT_TRUE(device->write(marker, false));
  ASSERT_TRUE(reads.wait_until(
      [&](const std::vector<ReadEntry>& got) { return !got.empty() && got.back().report == marker; }));
  device->close();

  std::vector<Bytes> expected;
  if (!c.arrives.empty()) expected.push_back(c.arrives);
  expected.push_back(marker);
  EXPECT_EQ(wire->written(), expected);
  const auto events = writes.entries();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].code, c.code);
  EXPECT_EQ(events[0].report, c.arrives);
}

Bytes padded(Bytes bytes, std::size_t length) {
  bytes.resize(length, 0);
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Win32DeviceWrite,
    ::testing::Values(WriteCase{"ShortReportTakesTheIdAndIsPadded", {0x10, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06},
                                ErrorCode::None, padded({0x11, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06}, 20)},
                      WriteCase{"WholeReport", long_report(0x42), ErrorCode::None, long_report(0x42)},
                      WriteCase{"OneByteTooLong", Bytes(21, 0x11), ErrorCode::WriteExceedsCollectionSize, {}}),
    [](const ::testing::TestParamInfo<WriteCase>& info) { return info.param.name; });

TEST_F(Win32DeviceTest, AStalledWriteTimesOutAndIsCancelledBeforeTheDeviceGetsIt) {
  auto device = make_served(long_collection());
  ReadLog reads;
  WriteLog writes;
  ASSERT_TRUE(reads.subscribe(device, Direct));
  ASSERT_TRUE(writes.subscribe(device, Direct));
  ASSERT_TRUE(device->open());

  wire->set_stalled(true);
  EXPECT_FALSE(device->write(long_report(0x01), false));
  EXPECT_EQ(last_error().code, ErrorCode::WriteTimedOut);
  wire->set_stalled(false);

  const Bytes next = long_report(0x02);
  ASSERT_TRUE(device->write(next, false));
  ASSERT_TRUE(reads.wait_for(1));
  device->close();
  EXPECT_EQ(wire->written(), std::vector<Bytes>{next});
  EXPECT_EQ(reads.entries()[0].report, next);
  const auto events = writes.entries();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].code, ErrorCode::WriteTimedOut);
  EXPECT_EQ(events[1].code, ErrorCode::None);
}

TEST_F(Win32DeviceTest, EachHandleTheBusClosesForARemovalEndsItsReadQuietlyAndTheNextOpenReopens) {
  auto device = make_served(long_collection());
  ReadLog reads;
  ASSERT_TRUE(reads.subscribe(device, Direct));
  // Once a report has come through, the read thread goes straight back to a pending read, which
  // the bus's close then ends with a failure; when the close comes first, the read never starts.
  // Both must end the handle quietly, and several rounds meet both.
  constexpr int kRounds = 8;
  for (int round = 0; round < kRounds; ++round) {
    ASSERT_TRUE(device->open());
    const auto registrations = handle_registrations();
    ASSERT_EQ(registrations.size(), static_cast<std::size_t>(round + 1));
    const Bytes report = long_report(static_cast<Byte>(round));
    echo->SimulateRead(report);
    ASSERT_TRUE(reads.wait_for(static_cast<std::size_t>(round + 1)));

    send_handle_removal(registrations.back());
    EXPECT_FALSE(bus->verifyDeviceNotificationHandleOpen(registrations.back().result, registrations.back().device));
  }
  ASSERT_TRUE(device->open());
  device->close();
  // Nothing came of the closed handles: every event is a report, none a failed read or a removal.
  const auto got = reads.entries();
  ASSERT_EQ(got.size(), static_cast<std::size_t>(kRounds));
  for (int round = 0; round < kRounds; ++round) {
    EXPECT_EQ(got[round].error, 0u);
    EXPECT_EQ(got[round].report, long_report(static_cast<Byte>(round)));
  }
  EXPECT_FALSE(device->removed());
}

TEST_F(Win32DeviceTest, CloseFromADirectReadHandlerDoesNotDeadlockAndReadingResumesOnTheNextOpen) {
  auto device = make_served(long_collection());
  ReadLog reads;
  std::atomic<bool> closed{false};
  reads.handler = [&](const Bytes&) {
    if (!closed.exchange(true)) device->close();
  };
  ASSERT_TRUE(reads.subscribe(device, Direct));
  ASSERT_TRUE(device->open());
  echo->SimulateRead(long_report(0x01));
  ASSERT_TRUE(reads.wait_for(1));

  ASSERT_TRUE(device->open());
  echo->SimulateRead(long_report(0x02));
  ASSERT_TRUE(reads.wait_for(2));
  device->close();
  const auto got = reads.entries();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[1].report, long_report(0x02));
}

TEST_F(Win32DeviceTest, DestroyingTheDeviceWithAReadPendingGivesItsHandleBack) {
  auto device = make_served(long_collection());
  ReadLog reads;
  ASSERT_TRUE(reads.subscribe(device, Direct));
  ASSERT_TRUE(device->open());
  const NotificationCall registration = handle_registrations().at(0);
  ASSERT_TRUE(bus->verifyDeviceNotificationHandleOpen(registration.result, registration.device));

  device.reset();
  EXPECT_FALSE(bus->verifyDeviceNotificationHandleOpen(registration.result, registration.device));
  EXPECT_TRUE(reads.entries().empty());
}

// A pipe cannot fail a read with ERROR_DEVICE_NOT_CONNECTED: once the wire is unplugged every read
// fails at once, which the read thread takes for a removal after a bounded run of failures.
TEST_F(Win32DeviceTest, ARemovalFoundByReadingIsAnnouncedByTheBusOnce) {
  auto device = make_served(long_collection());
  UnplugLog unplugs;
  ReadLog reads;
  ASSERT_TRUE(unplugs.subscribe(bus, Direct));
  ASSERT_TRUE(reads.subscribe(device, Direct));
  ASSERT_TRUE(device->open());

  wire->unplug();
  ASSERT_TRUE(
      reads.wait_until([](const std::vector<ReadEntry>& got) { return !got.empty() && got.back().length == 0; }));
  device->close();
  EXPECT_TRUE(device->removed());
  EXPECT_EQ(unplugs.entries(), std::vector<std::string>{device->path()});
  for (const ReadEntry& e : reads.entries()) {
    EXPECT_TRUE(e.report.empty());
    EXPECT_TRUE(e.error == ERROR_PIPE_NOT_CONNECTED || e.error == ERROR_BROKEN_PIPE) << e.error;
  }
  EXPECT_FALSE(device->open());
  EXPECT_EQ(last_error().code, ErrorCode::DeviceRemoved);
  EXPECT_EQ(unplugs.entries().size(), 1u);
}

}  // namespace
}  // namespace dovod::test
