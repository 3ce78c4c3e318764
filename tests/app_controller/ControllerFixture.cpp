#include "ControllerFixture.h"

#include <algorithm>
#include <cwchar>

#include "FakeHardwareBus.h"
#include "LibraryUpdater.h"
#include "dovod/CDovod.h"
#include "dovod/HardwareBusFactory.h"
#include "protocol/DeviceTuning.h"
#include "sim/SimulatedBus.h"

namespace vorn::testing {

ResourceFinder ResourceTable::finder() {
  return [this](std::wstring_view, int id) {
    asked_.push_back(id);
    platform::ModuleResource resource;
    auto it = bytes_.find(id);
    if (it == bytes_.end()) return resource;
    resource.found = true;
    resource.data = it->second.empty() ? nullptr : it->second.data();
    resource.size = static_cast<std::uint32_t>(it->second.size());
    return resource;
  };
}

FirmwareCheck ResourceTable::check() const {
  return [this](int id, const FirmwareImage& image) -> std::string {
    auto it = bytes_.find(id);
    if (it == bytes_.end() || !std::equal(it->second.begin(), it->second.end(), image.data, image.data + image.size)) {
      return "not the table's image";
    }
    return {};
  };
}

std::vector<std::uint8_t> small_image(int packets, std::uint8_t mark) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(packets) * kPacketSize, 0);
  for (int i = 0; i < packets; ++i) {
    bytes[static_cast<std::size_t>(i) * kPacketSize] = static_cast<std::uint8_t>(i);
    bytes[static_cast<std::size_t>(i) * kPacketSize + 1] = mark;
  }
  return bytes;
}

void ControllerTest::SetUp() {
  AppTest::SetUp();
  dovod::testing::use_fast_device_timing();
  dovod::CDovod::instance().reset_for_testing();
  CVornDFUDlg::ResetFailureFlagForTesting();
  // No platform bus: a test that wants a keyboard on the bus installs the simulator's.
  dovod::set_hardware_bus_factory(
      [](const std::shared_ptr<dovod::IDeviceManager>&) { return dovod::testing::FakeHardwareBus::create(); });
  host_config_.executable = UniqueName(L"VornControllerHost", L".exe");
  host_config_.shutdown_event = L"Global\\" + UniqueName(L"VornControllerShutdown", L"");
  host_config_.shutdown_grace = std::chrono::milliseconds(0);
}

void ControllerTest::TearDown() {
  dialog_.reset();
  dovod::CDovod::instance().reset();
  sim::uninstall_simulated_bus();
  dovod::set_hardware_bus_factory({});
  dovod::set_device_tuning(dovod::DeviceTuning{});
  AppTest::TearDown();
}

HostSoftware ControllerTest::host() { return HostSoftware(host_config_, Settings(key_)); }

CVornDFUDlg& ControllerTest::open_dialog(ResourceFinder find, DialogTiming timing, FirmwareCheck check) {
  dialog_.reset();
  window_ = std::make_unique<ScriptedWindow>();
  dialog_ = std::make_unique<CVornDFUDlg>(*window_, options_, timing, host(), std::move(find), std::move(check));
  dialog_->OnInitDialog();
  return *dialog_;
}

CVornDFUDlg& ControllerTest::open_dialog_with_resources() {
  return open_dialog(resources_.finder(), DialogTiming{}, resources_.check());
}

CVornDFUDlg& ControllerTest::open_dialog_with_small_images(int first, int second) {
  resources_.put(kFirmwareSentFirst, small_image(first, 0xF1));
  resources_.put(kFirmwareSentSecond, small_image(second, 0xF2));
  return open_dialog_with_resources();
}

void ControllerTest::fire(std::uint32_t id) {
  ASSERT_TRUE(window_->running(id)) << std::hex << id;
  dialog_->OnTimer(id);
}

void ControllerTest::pump_pending() {
  for (;;) {
    if (window_->running(timer::kRunLoop)) {
      dialog_->OnTimer(timer::kRunLoop);
    } else if (auto posted = window_->take_message()) {
      dialog_->OnMessage(posted->message, posted->wparam);
    } else {
      return;
    }
  }
}

bool ControllerTest::pump_until(const std::function<bool()>& done, const std::set<std::uint32_t>& fire_when_idle,
                                std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    pump_pending();
    if (done()) return true;
    bool fired = false;
    for (std::uint32_t id : fire_when_idle) {
      if (window_->running(id)) {
        dialog_->OnTimer(id);
        fired = true;
        break;
      }
    }
    if (!fired) window_->wait_for_work(std::chrono::milliseconds(20));
  }
  return true;
}

std::vector<std::pair<int, int>> ControllerTest::switches() {
  std::vector<std::pair<int, int>> out;
  for (const std::wstring& m : messages()) {
    int from = 0;
    int to = 0;
    if (std::swscanf(m.c_str(), L"CVornDFUDlg::SwitchToState() called from %d to %d", &from, &to) == 2) {
      out.emplace_back(from, to);
    }
  }
  return out;
}

}  // namespace vorn::testing
