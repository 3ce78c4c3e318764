#include "ReceiverFirmware.h"

#include "ProtocolReplies.h"

namespace dovod::testing {

Bytes ReceiverFirmware::connection(int index, int receiver_type, unsigned pid, bool link_up) {
  return {0x10,
          static_cast<Byte>(index),
          0x41,
          static_cast<Byte>(receiver_type),
          static_cast<Byte>(link_up ? 0x00 : 0x40),
          static_cast<Byte>(pid & 0xFF),
          static_cast<Byte>(pid >> 8)};
}

void ReceiverFirmware::Pair(int slot, unsigned pid, bool link_up, std::string name) {
  std::lock_guard<std::mutex> lock(mutex_);
  paired_[slot] = {pid, link_up, std::move(name)};
}

void ReceiverFirmware::Unpair(int slot) {
  std::lock_guard<std::mutex> lock(mutex_);
  paired_.erase(slot);
}

Bytes ReceiverFirmware::connection_of(int slot) {
  std::lock_guard<std::mutex> lock(mutex_);
  const PairedSlot& paired = paired_.at(slot);
  return connection(slot + 1, receiver_type_, paired.pid, paired.link_up);
}

Bytes ReceiverFirmware::register_zero_written(Byte b4, Byte b5, Byte b6) {
  std::lock_guard<std::mutex> lock(mutex_);
  registers_[0x00] = {b4, b5, b6};
  return {0x10, 0xFF, 0x80, 0x00, 0, 0, 0};
}

void ReceiverFirmware::set_hook(Hook hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  hook_ = std::move(hook);
}

void ReceiverFirmware::set_device_hook(Hook hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  device_hook_ = std::move(hook);
}

std::array<Byte, 3> ReceiverFirmware::register_value(Byte reg) {
  std::lock_guard<std::mutex> lock(mutex_);
  return registers_[reg];
}

void ReceiverFirmware::set_register(Byte reg, std::array<Byte, 3> value) {
  std::lock_guard<std::mutex> lock(mutex_);
  registers_[reg] = value;
}

std::vector<Bytes> ReceiverFirmware::respond(const Bytes& request) {
  if (request.size() < 7) return {};
  const bool to_receiver = request[1] == 0xFF;
  Hook hook;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    hook = to_receiver ? hook_ : device_hook_;
  }
  if (hook) {
    if (auto replaced = hook(request)) return *replaced;
  }
  if (!to_receiver) return {vxp10_error(request, 1)};
  std::lock_guard<std::mutex> lock(mutex_);
  return answer(request);
}

// Called with the mutex held.
std::vector<Bytes> ReceiverFirmware::announce_all() {
  std::vector<Bytes> out;
  for (const auto& [slot, paired] : paired_) {
    if (slot == silent_slot) continue;
    out.push_back(connection(slot + 1, receiver_type_, paired.pid, paired.link_up));
  }
  return out;
}

// Called with the mutex held.
std::vector<Bytes> ReceiverFirmware::answer(const Bytes& request) {
  const Byte sub_id = request[2];
  const Byte reg = request[3];
  if (sub_id == 0x81) {
    if (reg == 0x02) {
      const int count = reported_count >= 0 ? reported_count.load() : static_cast<int>(paired_.size());
      return {short_reply_to(request, {0, static_cast<Byte>(count), 0x27})};
    }
    return {short_reply_to(request, registers_[reg])};
  }
  if (sub_id == 0x80) {
    if (reg == 0x02 && request[4] == 0x02) {
      std::vector<Bytes> out = announce_all();
      out.push_back(short_reply_to(request, {0, 0, 0}));
      return out;
    }
    if (reg != 0xB2) registers_[reg] = {request[4], request[5], request[6]};
    return {short_reply_to(request, {0, 0, 0})};
  }
  if (sub_id == 0x83 && reg == 0xB3) {
    Bytes reply = reply_to(request, {});
    for (std::size_t i = 0; i < slot_values.size(); ++i) reply[4 + i] = slot_values[i];
    return {reply};
  }
  if (sub_id == 0x83 && reg == 0xB5) {
    Bytes reply = reply_to(request, {});
    reply[4] = request[4];
    auto it = paired_.find(request[4] - 0x40);
    if (it == paired_.end()) return {vxp10_error(request, 2)};
    const std::string& name = it->second.name;
    reply[5] = static_cast<Byte>(name.size());
    for (std::size_t i = 0; i < name.size() && 6 + i < reply.size(); ++i) reply[6 + i] = static_cast<Byte>(name[i]);
    return {reply};
  }
  return {vxp10_error(request, 2)};
}

}  // namespace dovod::testing
