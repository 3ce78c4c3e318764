// The receiver bus's construction, its IReceiver operations and what its paired devices ask of it.
#include "Source/TandemBus.h"

#include "Source/TandemDevice.h"
#include "Source/TandemLog.h"
#include "Source/VXP10Command.h"
#include "dovod/LastError.h"
#include "dovod/MakerValues.h"

namespace dovod {
namespace {

std::atomic<int> instances{0};

// Every register answer carries the register value from byte 4 on; a short register fills a short
// report.
constexpr std::size_t kShortAnswer = 7;
constexpr std::size_t kSlotValuesAnswer = 10;

}  // namespace

TandemBus::TandemBus(std::shared_ptr<IDeviceManager> manager, std::shared_ptr<IHardwareDevice> hwdev,
                     int receiver_type, int slot_count)
    : Device(manager, std::move(hwdev)),
      owner_(manager),
      receiver_type_(receiver_type),
      slot_count_(slot_count < 0 ? 0 : slot_count),
      slots_(static_cast<std::size_t>(slot_count_)),
      slot_values_(static_cast<std::size_t>(slot_count_), 0) {
  const int now = ++instances;
  TB_LOG(LOG_DEBUG, "TandemBus", "TandemBus::TandemBus(this = %p). Number of instances now: %d", static_cast<void*>(this),
         now);
}

TandemBus::~TandemBus() {
  // The read thread must not reach this bus while its members go, and a queued reaction to
  // register 0 must not outlive it.
  Subscriber<IHardwareDevice::Read>::unsubscribe(hardware_device());
  Subscriber<IHardwareDevice::Write>::unsubscribe(hardware_device());
  Producer<IReceiver::RegisterZeroOverwritten>::unsubscribe(this);
  const int now = --instances;
  TB_LOG(LOG_DEBUG, "~TandemBus", "TandemBus::~TandemBus(this = %p). Number of instances now: %d",
         static_cast<void*>(this), now);
}

std::shared_ptr<TandemBus> TandemBus::self() {
  return std::static_pointer_cast<TandemBus>(weak_from_this().lock());
}

std::shared_ptr<TandemDevice> TandemBus::device_in_slot(int slot) {
  if (!slot_in_range(slot)) return nullptr;
  std::lock_guard<std::mutex> lock(slot_mutex_);
  return slots_[static_cast<std::size_t>(slot)];
}

std::vector<std::shared_ptr<TandemDevice>> TandemBus::occupied() {
  std::vector<std::shared_ptr<TandemDevice>> result;
  std::lock_guard<std::mutex> lock(slot_mutex_);
  for (const auto& device : slots_) {
    if (device) result.push_back(device);
  }
  return result;
}

std::vector<Byte> TandemBus::slot_values() {
  std::lock_guard<std::mutex> lock(slot_mutex_);
  return slot_values_;
}

std::vector<std::shared_ptr<IDevice>> TandemBus::paired_devices() {
  auto manager = owner_.lock();
  auto me = self();
  if (!manager || !me) return {};
  return manager->devices_on_bus(me);
}

bool TandemBus::two_slot_receiver() {
  const maker::ReceiverRow* row = maker::receiver_row(pid());
  return row != nullptr && row->slots == 2;
}

bool TandemBus::read_slot_values() {
  Bytes reply;
  if (!sendSynchronousCommand({0x10, 0xFF, 0x83, 0xB3, 0, 0, 0}, reply, 0, {})) return false;
  if (reply.size() >= kSlotValuesAnswer) {
    std::vector<std::pair<std::shared_ptr<TandemDevice>, Byte>> given;
    {
      std::lock_guard<std::mutex> lock(slot_mutex_);
      for (std::size_t slot = 0; slot < slot_values_.size() && slot < 6; ++slot) slot_values_[slot] = reply[4 + slot];
      for (std::size_t slot = 0; slot < slots_.size(); ++slot) {
        if (slots_[slot]) given.emplace_back(slots_[slot], slot_values_[slot]);
      }
    }
    for (const auto& [device, value] : given) device->set_slot_value(value);
  }
  return true;
}

bool TandemBus::pairing_command(Byte action, Byte device) {
  Bytes reply;
  if (!sendSynchronousCommand({0x10, 0xFF, 0x80, 0xB2, action, device, 0}, reply, 0, {})) {
    TB_LOG(LOG_WARNING, "VXP_DEVICE_CONNECTION_AND_DISCONNECTION",
           "TandemBus::VXP_DEVICE_CONNECTION_AND_DISCONNECTION exit (false, error)");
    return false;
  }
  if (reply.size() < kShortAnswer) {
    TB_LOG(LOG_WARNING, "VXP_DEVICE_CONNECTION_AND_DISCONNECTION",
           "TandemBus::VXP_DEVICE_CONNECTION_AND_DISCONNECTION exit (false, CommandResponseTooShort)");
    set_last_error(ErrorCode::CommandResponseTooShort);
    return false;
  }
  return true;
}

bool TandemBus::open_lock() { return pairing_command(0x01, 0); }
bool TandemBus::close_lock() { return pairing_command(0x02, 0); }
bool TandemBus::unpair(int device) { return pairing_command(0x03, static_cast<Byte>(device)); }

std::string TandemBus::devname(int slot) {
  std::string name;
  if (!VXP10Command::read_receiver_paired_device_name(this, slot, name)) {
    TB_LOG(LOG_ERROR, "devname", "TandemBus::devices() failed to read device name.");
    return {};
  }
  return name;
}

bool TandemBus::subscribe_receiver_writes() {
  return Subscriber<IHardwareDevice::Write>::subscribe(hardware_device(), Direct);
}

bool TandemBus::on_subscribe(Subscriber<IHardwareBus::PlugUnplug>*) {
  TB_LOG(LOG_INFO, "on_subscribe", "TandemBus::on_subscribe(IHardwareBus::PlugUnplug)");
  if (!library_active()) {
    TB_LOG(LOG_INFO, "on_subscribe", "-- device is inactive, not enabling receiver_notifications yet");
    return true;
  }
  return enable_receiver_notifications();
}

void TandemBus::on_unsubscribe(Subscriber<IHardwareBus::PlugUnplug>*) {
  TB_LOG(LOG_INFO, "on_unsubscribe", "TandemBus::on_unsubscribe(IHardwareBus::PlugUnplug)");
}

void TandemBus::produce_plug(const std::shared_ptr<TandemDevice>& device) {
  std::shared_ptr<IHardwareDevice> hwdev = device;
  Producer<IHardwareBus::PlugUnplug>::produce([hwdev](IHardwareBus::PlugUnplug* s) { s->onPlug(hwdev); },
                                              "TandemBus::PlugUnplug::onPlug");
}

void TandemBus::produce_unplug(const std::shared_ptr<TandemDevice>& device) {
  std::shared_ptr<IHardwareDevice> hwdev = device;
  Producer<IHardwareBus::PlugUnplug>::produce([hwdev](IHardwareBus::PlugUnplug* s) { s->onUnplug(hwdev); },
                                              "TandemBus::PlugUnplug::onUnplug");
}

}  // namespace dovod
