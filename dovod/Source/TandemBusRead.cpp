// Everything the receiver's HID collection reads: the receiver's own notifications, reports of the
// paired devices routed by device index, and the slot changes the notifications make. Read thread.
#include "Source/TandemBus.h"
#include "Source/TandemDevice.h"
#include "Source/TandemLog.h"

namespace dovod {
namespace {

constexpr std::size_t kNotificationLength = 7;
constexpr Byte kReceiverIndex = 0xFF;
constexpr Byte kDeviceDisconnection = 0x40;
constexpr Byte kDeviceConnection = 0x41;
constexpr Byte kLockingChange = 0x4A;
constexpr Byte kSetShortRegister = 0x80;
constexpr Byte kErrorAnswer = 0x8F;
constexpr Byte kLinkNotEstablished = 0x40;

}  // namespace

void TandemBus::onRead(Bytes report, bool relayed, unsigned error, unsigned length) {
  if (report.size() >= kNotificationLength) handle_receiver_report(report);
  Device::onRead(std::move(report), relayed, error, length);
}

void TandemBus::handle_receiver_report(const Bytes& report) {
  const int index = report[1];
  const Byte sub_id = report[2];
  const bool paired_index = index >= 1 && index <= slot_count_;

  if (sub_id == kDeviceConnection && report[3] == receiver_type_ && paired_index) {
    const unsigned pid = static_cast<unsigned>(report[5] | report[6] << 8);
    const bool link_up = (report[4] & kLinkNotEstablished) == 0;
    TB_LOG(LOG_INFO, "onRead", "TandemBus::onRead() connect(index = %d, qid=0x%04x, connected=%d)", index - 1, pid,
           link_up ? 1 : 0);
    if (!owner_.expired()) perform_arrival(index - 1, pid, link_up, enumerating_);
  }
  if (sub_id == kDeviceDisconnection && report[3] == 0x02 && paired_index) {
    TB_LOG(LOG_INFO, "onRead", "TandemBus::onRead() disconnect(index = %d)", index - 1);
    if (!owner_.expired()) perform_removal(index - 1);
  }
  if (sub_id == kLockingChange) {
    if (auto me = weak_from_this().lock()) {
      std::shared_ptr<IDevice> receiver = me;
      const State state = report[3];
      const ErrorType kind = report[4];
      Producer<IReceiver::LockingChange>::produce(
          [receiver, state, kind](IReceiver::LockingChange* s) { s->onLockingChange(receiver, state, kind); },
          "IReceiver::LockingChange::onLockingChange");
    }
  }
  if (index == kReceiverIndex && sub_id == kSetShortRegister && report[3] == 0x00) {
    TB_LOG(LOG_INFO, "onRead",
           "TandemBus::onRead() detected write to receiver register 0, other software might have cleared software "
           "present and wireless notification bits");
    Producer<IReceiver::RegisterZeroOverwritten>::produce(
        [](IReceiver::RegisterZeroOverwritten* s) { s->onRegisterZeroOverwritten(); },
        "IReceiver::RegisterZeroOverwritten::onRegisterZeroOverwritten");
  }
  if (index != kReceiverIndex && index != 0 && index <= slot_count_ && sub_id != kDeviceDisconnection &&
      sub_id != kDeviceConnection) {
    const int slot = index - 1;
    if (auto device = device_in_slot(slot)) {
      device->deliver_read(report, 0, static_cast<unsigned>(report.size()));
      if (!device->connected()) {
        if (sub_id == kErrorAnswer) {
          TB_LOG(LOG_INFO, "onRead",
                 "Got error response from unconnected device... maybe some other SW tried to talk to it and failed");
        } else {
          TB_LOG(LOG_WARNING, "onRead",
                 "TandemBus::onRead() device index: %d pid: 0x%x was in disconnected state but is sending reports. "
                 "Firing connected event.",
                 index, device->pid());
          perform_connect(slot);
        }
      }
    }
  }
}

void TandemBus::onWrite(Bytes report, ErrorCode error, unsigned system_error) {
  if (report.size() >= kNotificationLength) {
    if (auto device = device_in_slot(static_cast<int>(report[1]) - 1)) device->deliver_write(report, error, system_error);
  }
  Device::onWrite(std::move(report), error, system_error);
}

void TandemBus::perform_arrival(int slot, unsigned pid, bool connected, bool fake_device_arrival) {
  TB_LOG(LOG_INFO, "perform_arrival", "TandemBus::perform_arrival(qid=%0x, connected=%d, fake_device_arrival=%d)", pid,
         connected ? 1 : 0, fake_device_arrival ? 1 : 0);
  if (!slot_in_range(slot)) return;
  auto existing = device_in_slot(slot);
  if (existing && existing->pid() != pid) {
    TB_LOG(LOG_INFO, "perform_arrival", "  going to call perform_disconnect()");
    perform_disconnect(slot);
    TB_LOG(LOG_INFO, "perform_arrival", "  going to call perform_removal()");
    perform_removal(slot);
  }
  std::shared_ptr<TandemDevice> made;
  if (auto me = self()) {
    std::lock_guard<std::mutex> lock(slot_mutex_);
    auto& entry = slots_[static_cast<std::size_t>(slot)];
    if (!entry) {
      entry = std::make_shared<TandemDevice>(me, slot, pid, connected);
      made = entry;
    }
  }
  if (connected) {
    TB_LOG(LOG_INFO, "perform_arrival", "  going to call perform_connect()");
    perform_connect(slot);
  } else {
    TB_LOG(LOG_INFO, "perform_arrival", "  going to call perform_disconnect()");
    perform_disconnect(slot);
  }
  if (fake_device_arrival) {
    std::lock_guard<std::mutex> lock(enumeration_mutex_);
    const int seen = ++arrivals_[slot];
    TB_LOG(LOG_INFO, "perform_arrival", "   -- arrival count so far: %d", seen);
  }
  if (made && !fake_device_arrival) produce_plug(made);
}

void TandemBus::perform_connect(int slot) {
  TB_LOG(LOG_INFO, "perform_connect", "TandemBus::perform_connect(index = %d)", slot);
  if (auto device = device_in_slot(slot)) {
    device->processConnect();
  } else {
    TB_LOG(LOG_INFO, "perform_connect", "TandemBus::perform_connect(index = %d) : no device at this index!", slot);
  }
}

void TandemBus::perform_disconnect(int slot) {
  TB_LOG(LOG_INFO, "perform_disconnect", "TandemBus::perform_disconnect(index = %d)", slot);
  if (auto device = device_in_slot(slot)) {
    device->processDisconnect();
  } else {
    TB_LOG(LOG_INFO, "perform_disconnect", "TandemBus::perform_disconnect(index = %d) : no device at this index!", slot);
  }
}

void TandemBus::perform_removal(int slot) {
  TB_LOG(LOG_INFO, "perform_removal", "TandemBus::perform_removal(index = %d)", slot);
  auto me = self();
  if (!me || !slot_in_range(slot)) return;
  produce_unplug(std::make_shared<TandemDevice>(me, slot, 0, false));
  std::lock_guard<std::mutex> lock(slot_mutex_);
  slots_[static_cast<std::size_t>(slot)].reset();
}

}  // namespace dovod
