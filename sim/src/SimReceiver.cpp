#include "sim/SimReceiver.h"

#include "CollectionSet.h"
#include "Scheduler.h"
#include "sim/KeyboardUplink.h"
#include "sim/SimKeyboard.h"

namespace sim {
namespace {

const dovod::maker::ReceiverRow& row_of(const Scenario& scenario) {
  const std::size_t row = scenario.receiver ? scenario.receiver->row : 0;
  return dovod::maker::kReceivers[row < dovod::maker::kReceivers.size() ? row : 0];
}

int keyboard_slot_of(const Scenario& scenario) {
  const int slot = scenario.receiver ? scenario.receiver->keyboard_slot : 0;
  return slot >= 0 && slot < row_of(scenario).slots ? slot : 0;
}

}  // namespace

// The keyboard's slot as its uplink. It holds the receiver weakly: the receiver owns it.
class SimReceiver::Uplink : public KeyboardUplink {
 public:
  explicit Uplink(std::weak_ptr<SimReceiver> receiver) : receiver_(std::move(receiver)) {}
  void deliver(const Bytes& report) override {
    if (auto receiver = receiver_.lock()) receiver->from_keyboard(report);
  }
  void link_changed(bool up) override {
    if (auto receiver = receiver_.lock()) receiver->keyboard_link(up);
  }

 private:
  const std::weak_ptr<SimReceiver> receiver_;
};

std::shared_ptr<SimReceiver> SimReceiver::create(const Scenario& scenario, std::shared_ptr<SimKeyboard> keyboard) {
  auto receiver = std::make_shared<SimReceiver>(scenario, std::move(keyboard));
  receiver->uplink_ = std::make_shared<Uplink>(receiver);
  receiver->keyboard_->set_uplink(receiver->uplink_);
  return receiver;
}

SimReceiver::SimReceiver(const Scenario& scenario, std::shared_ptr<SimKeyboard> keyboard)
    : timing_(scenario.timing),
      row_(row_of(scenario)),
      keyboard_slot_(keyboard_slot_of(scenario)),
      keyboard_(std::move(keyboard)),
      slots_(static_cast<std::size_t>(row_.slots)),
      collections_(std::make_unique<CollectionSet>()),
      scheduler_(std::make_unique<Scheduler>()) {
  Slot& mine = slots_[static_cast<std::size_t>(keyboard_slot_)];
  mine.pid = dovod::maker::kKeyboardPid;
  mine.keyboard = true;
  mine.link_up = keyboard_->reachable();
  if (scenario.receiver) {
    mine.value = scenario.receiver->keyboard_slot_value;
    phantom_ = scenario.receiver->phantom_devices;
    for (const PairedDevice& other : scenario.receiver->others) {
      if (other.slot < 0 || other.slot >= row_.slots || other.slot == keyboard_slot_) continue;
      slots_[static_cast<std::size_t>(other.slot)] = {other.wireless_pid, false, other.link_up, other.slot_value};
    }
  }
}

SimReceiver::~SimReceiver() { scheduler_->stop(); }

bool SimReceiver::on_delivery_thread() const { return scheduler_->on_own_thread(); }

bool SimReceiver::receive(const Bytes& report) {
  if (report.size() < kShortReportLength) return false;
  const Byte index = report[1];
  if (index == kDirectDeviceIndex) {
    scheduler_->after(std::chrono::milliseconds(timing_.host_to_device_ms), weak_from_this(),
                      [this, report] { handle_register(report); });
    return true;
  }
  bool to_keyboard = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    to_keyboard = index == keyboard_slot_ + 1 && slots_[static_cast<std::size_t>(keyboard_slot_)].keyboard;
  }
  // The keyboard keeps its own wire latency; the receiver only swaps the address.
  if (to_keyboard) {
    Bytes request = report;
    request[1] = kDirectDeviceIndex;
    if (keyboard_->receive(request)) return true;
  }
  scheduler_->after(std::chrono::milliseconds(timing_.host_to_device_ms), weak_from_this(),
                    [this, report] { handle_paired(report); });
  return true;
}

void SimReceiver::from_keyboard(const Bytes& report) {
  scheduler_->after(std::chrono::milliseconds(0), weak_from_this(), [this, report] {
    Bytes relayed = report;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!slots_[static_cast<std::size_t>(keyboard_slot_)].keyboard || relayed.size() < 2) return;
      relayed[1] = static_cast<Byte>(keyboard_slot_ + 1);
    }
    collections_->deliver(relayed);
  });
}

void SimReceiver::keyboard_link(bool up) {
  scheduler_->after(std::chrono::milliseconds(0), weak_from_this(), [this, up] {
    Bytes notification;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      Slot& slot = slots_[static_cast<std::size_t>(keyboard_slot_)];
      if (!slot.keyboard) return;
      slot.link_up = up;
      if (notifying()) notification = connection_of(keyboard_slot_);
    }
    if (!notification.empty()) collections_->deliver(notification);
  });
}

void SimReceiver::send(std::vector<Bytes> reports) {
  for (Bytes& report : reports) {
    scheduler_->after(std::chrono::milliseconds(timing_.device_to_host_ms), weak_from_this(),
                      [this, report = std::move(report)] { collections_->deliver(report); });
  }
}

void SimReceiver::unplugged() {
  std::lock_guard<std::mutex> lock(mutex_);
  reg0_ = {};
  reg3_ = {};
  lock_open_ = false;
}

SimReceiver::ShortRegister SimReceiver::register_value(Byte address) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return address == 0x03 ? reg3_ : reg0_;
}

bool SimReceiver::lock_open() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lock_open_;
}

unsigned SimReceiver::slot_pid(int slot) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return slot >= 0 && slot < row_.slots ? slots_[static_cast<std::size_t>(slot)].pid : 0;
}

void SimReceiver::foreign_register_write(Byte address, ShortRegister value) {
  const Bytes request = {kShortReportId, kDirectDeviceIndex, kSetShort, address, value[0], value[1], value[2]};
  scheduler_->after(std::chrono::milliseconds(timing_.host_to_device_ms), weak_from_this(),
                    [this, request] { handle_register(request); });
}

void SimReceiver::pairing_lock_changed(Byte state, Byte error) {
  std::vector<Bytes> out;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    lock_open_ = state != 0;
    if (notifying()) out.push_back({kShortReportId, kDirectDeviceIndex, kLockChange, state, error, 0, 0});
  }
  send(std::move(out));
}

bool SimReceiver::pair(int slot, unsigned wireless_pid) {
  std::vector<Bytes> out;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!lock_open_ || slot < 0 || slot >= row_.slots) return false;
    slots_[static_cast<std::size_t>(slot)] = {wireless_pid, false, true, 0};
    lock_open_ = false;
    if (notifying()) {
      out.push_back(connection_of(slot));
      out.push_back({kShortReportId, kDirectDeviceIndex, kLockChange, 0, 0, 0, 0});
    }
  }
  send(std::move(out));
  return true;
}

void SimReceiver::replace_device(int slot, unsigned wireless_pid) {
  std::vector<Bytes> out;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (slot < 0 || slot >= row_.slots) return;
    slots_[static_cast<std::size_t>(slot)] = {wireless_pid, false, true, 0};
    if (notifying()) out.push_back(connection_of(slot));
  }
  send(std::move(out));
}

void SimReceiver::set_phantom_devices(int count) {
  std::lock_guard<std::mutex> lock(mutex_);
  phantom_ = count;
}

void SimReceiver::send_report(Bytes report) { send({std::move(report)}); }

Bytes SimReceiver::connection_notification(int index, int type_code, unsigned wireless_pid, bool link_up) {
  return {kShortReportId,
          static_cast<Byte>(index),
          kConnection,
          static_cast<Byte>(type_code),
          link_up ? Byte{0} : kLinkNotEstablished,
          static_cast<Byte>(wireless_pid),
          static_cast<Byte>(wireless_pid >> 8)};
}

Bytes SimReceiver::connection_of(int slot) const {
  const Slot& s = slots_[static_cast<std::size_t>(slot)];
  return connection_notification(slot + 1, row_.type_code, s.pid, s.link_up);
}

}  // namespace sim
