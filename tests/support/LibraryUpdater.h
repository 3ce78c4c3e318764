#pragma once
// A host of the library that updates the keyboard the way the update tool does, with none of the
// tool's own code: it follows the device manager's arrivals and the device's connections on the
// run loop, asks the application firmware into its bootloader, streams both images packet by packet
// as the DFU statuses ask, and restarts the keyboard after each image. Every step it takes is noted
// as a milestone so that tests can compare whole runs.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dovod/IDevice.h"
#include "dovod/IDeviceManager.h"
#include "dovod/IFeature00d0DFU.h"
#include "dovod/Subscriber.h"
#include "dovod/Types.h"

namespace dovod::testing {

class RunLoopHost;

class LibraryUpdater : public Subscriber<IDeviceManager::ArrivalRemoval>,
                       public Subscriber<IDevice::Connect>,
                       public Subscriber<IFeature00d0DFU::Report> {
 public:
  // `first` and `second` are the packets of the image sent first and second.
  LibraryUpdater(std::vector<Bytes> first, std::vector<Bytes> second);
  // With the two images of the update package, as the simulator's builder makes them.
  LibraryUpdater();
  ~LibraryUpdater() override;

  // Starts the facade's buses as the tool does (directly attached devices accepted) and pumps the
  // run loop until the update ends, running `each_turn` between pumps; false when it hung.
  bool run_to_end(RunLoopHost& host, const std::function<void()>& each_turn = {},
                  std::chrono::seconds limit = std::chrono::seconds(120));

  void onDeviceArrival(std::shared_ptr<IDevice> device) override;
  void onDeviceRemoval(std::shared_ptr<IDevice> device) override;
  void onConnect(std::shared_ptr<IDevice> device, bool settings_retained) override;
  void onDisconnect(std::shared_ptr<IDevice> device) override;
  void onFirmwareChanged(std::shared_ptr<IDevice> device) override;
  void onDfuStatus(unsigned packetNumber, Bytes payload) override;

  bool finished() const { return phase_ == Phase::Done || phase_ == Phase::Failed; }
  bool succeeded() const { return phase_ == Phase::Done; }
  const std::vector<std::string>& milestones() const { return milestones_; }
  // Bytes the keyboard accepted, as the tool's progress bar counts them.
  std::uint64_t progress() const { return progress_; }
  int firmware_changes() const { return firmware_changes_; }
  std::shared_ptr<IDevice> device() const { return device_; }

 private:
  enum class Phase { WaitingForKeyboard, EnteringBootloader, FirstImage, BetweenImages, SecondImage,
                     WaitingForNewFirmware, Done, Failed };

  void examine();
  void start_image(const std::vector<Bytes>& packets);
  void fail(const std::string& why);
  void note(const std::string& milestone) { milestones_.push_back(milestone); }

  const std::vector<Bytes> first_;
  const std::vector<Bytes> second_;
  const std::vector<Bytes>* current_ = nullptr;
  Phase phase_ = Phase::WaitingForKeyboard;
  std::shared_ptr<IDevice> device_;
  std::shared_ptr<IFeature00d0DFU> dfu_;
  std::vector<std::string> milestones_;
  std::uint64_t progress_ = 0;
  int firmware_changes_ = 0;
};

// The device's delays scaled down to milliseconds, for a whole update in a test.
void use_fast_device_timing();

}  // namespace dovod::testing
