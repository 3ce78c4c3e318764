#pragma once
// The update dialog's logic against a scripted window, the real library facade and host software
// under names of the test's own (none of it running unless a test starts it). Tests either put the
// simulated keyboard on the library's bus or hand the dialog a fake keyboard themselves.

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "AppTestFixture.h"
#include "app/CVornDFUDlg.h"
#include "app/simulation/ScriptedWindow.h"
#include "dovod/Vs2003SingletonThreadCleanup.h"

namespace vorn::testing {

// Resources by id, bytes kept by the table; an id without an entry is not found.
class ResourceTable {
 public:
  void put(int id, std::vector<std::uint8_t> bytes) { bytes_[id] = std::move(bytes); }
  ResourceFinder finder();
  // Takes the table's images as the build's own: an image passes when it is what the table holds.
  FirmwareCheck check() const;
  std::vector<int> asked() const { return asked_; }

 private:
  std::map<int, std::vector<std::uint8_t>> bytes_;
  std::vector<int> asked_;
};

// `packets` records of 16 bytes; byte 0 of each is its number, byte 1 the image's mark.
std::vector<std::uint8_t> small_image(int packets, std::uint8_t mark);

class ControllerTest : public AppTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A host software configuration that finds nothing running.
  HostSoftware host();

  // Builds the dialog on a fresh window and runs its initialisation; a dialog built before goes first.
  CVornDFUDlg& open_dialog(ResourceFinder find, DialogTiming timing = DialogTiming{},
                           FirmwareCheck check = CheckFirmwareImage);
  // With the images of `resources_`, which pass their check.
  CVornDFUDlg& open_dialog_with_resources();
  // With two small images: 2001 of `first` packets, 2000 of `second`.
  CVornDFUDlg& open_dialog_with_small_images(int first = 3, int second = 2);

  // Runs the dialog's thread: answers the run-loop timer, handles posted messages and fires the
  // timers in `fire_when_idle` when nothing else is waiting, until `done` holds. False when
  // `limit` passed first (a hang guard only).
  bool pump_until(const std::function<bool()>& done, const std::set<std::uint32_t>& fire_when_idle = {},
                  std::chrono::milliseconds limit = std::chrono::seconds(60));
  // Answers what is waiting now, without firing any other timer.
  void pump_pending();
  // Fires a running timer as its period would.
  void fire(std::uint32_t id);

  // The state-switch log lines "from -> to" seen so far.
  std::vector<std::pair<int, int>> switches();

  ScriptedWindow& window() { return *window_; }
  CVornDFUDlg& dialog() { return *dialog_; }

  dovod::Vs2003SingletonThreadCleanup guard_;
  AppOptions options_;
  std::unique_ptr<ScriptedWindow> window_ = std::make_unique<ScriptedWindow>();
  ResourceTable resources_;
  HostSoftwareConfig host_config_;
  std::unique_ptr<CVornDFUDlg> dialog_;
};

}  // namespace vorn::testing
