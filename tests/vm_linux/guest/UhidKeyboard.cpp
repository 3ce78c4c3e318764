#include "UhidKeyboard.h"

#include "dovod/MakerValues.h"
#include "sim/SimHardwareBus.h"
#include "sim/SimHardwareDevice.h"

namespace vorn::guest {

using dovod::Direct;
using dovod::IHardwareDevice;
using dovod::Subscriber;

UhidKeyboard::UhidKeyboard(std::shared_ptr<sim::SimHardwareBus> bus, dovod::Bytes descriptor,
                           std::chrono::milliseconds absence)
    : bus_(std::move(bus)), descriptor_(std::move(descriptor)), absence_(absence) {}

UhidKeyboard::~UhidKeyboard() {
  if (keyboard_) {
    Subscriber<IHardwareDevice::Read>::unsubscribe(keyboard_);
    Subscriber<IHardwareDevice::Connect>::unsubscribe(keyboard_);
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (restarter_.joinable()) restarter_.join();
  uhid_.destroy();
}

bool UhidKeyboard::start() {
  keyboard_ = bus_->keyboard_device();
  if (!keyboard_ || !keyboard_->open()) return false;
  if (!Subscriber<IHardwareDevice::Read>::subscribe(keyboard_, Direct)) return false;
  if (!Subscriber<IHardwareDevice::Connect>::subscribe(keyboard_, Direct)) return false;
  if (!create()) return false;
  restarter_ = std::thread([this] { follow_restarts(); });
  return true;
}

int UhidKeyboard::recreated() {
  std::lock_guard<std::mutex> lock(mutex_);
  return recreated_;
}

void UhidKeyboard::onRead(dovod::Bytes report, bool, unsigned, unsigned) {
  if (up_) uhid_.send_input(report);
}

void UhidKeyboard::onDisconnect(std::shared_ptr<IHardwareDevice>) {
  up_ = false;
  std::lock_guard<std::mutex> lock(mutex_);
  ++restarts_;
  changed_.notify_all();
}

void UhidKeyboard::onConnect(std::shared_ptr<IHardwareDevice>) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++connects_;
  changed_.notify_all();
}

void UhidKeyboard::follow_restarts() {
  int handled = 0;
  for (;;) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return stopping_ || (restarts_ > handled && connects_ >= restarts_); });
    if (stopping_) return;
    handled = restarts_;
    lock.unlock();
    uhid_.destroy();
    lock.lock();
    if (changed_.wait_for(lock, absence_, [&] { return stopping_; })) return;
    lock.unlock();
    const bool created = create();
    lock.lock();
    if (created) ++recreated_;
  }
}

bool UhidKeyboard::create() {
  up_ = uhid_.create("Vorn simulated keyboard", dovod::maker::kVendorId, dovod::maker::kKeyboardPid,
                     descriptor_,
                     [this](const dovod::Bytes& request) { keyboard_->write(request, false); });
  return up_;
}

}  // namespace vorn::guest
