#include "FakeReceiverHardware.h"

namespace dovod::testing {
namespace {

Bytes short_answer(const Bytes& request, std::array<Byte, 3> value) {
  return {0x10, 0xFF, request[2], request[3], value[0], value[1], value[2]};
}

Bytes long_answer(const Bytes& request) {
  Bytes reply(20, 0);
  reply[0] = 0x11;
  reply[1] = 0xFF;
  reply[2] = request[2];
  reply[3] = request[3];
  return reply;
}

}  // namespace

Bytes vxp10_error_to(const Bytes& request, Byte error) {
  return {0x10, request[1], 0x8F, request[2], request[3], error, 0};
}

Bytes FakeReceiverHardware::connection(int index, int receiver_type, unsigned pid, bool link_up) {
  return {0x10,
          static_cast<Byte>(index),
          0x41,
          static_cast<Byte>(receiver_type),
          static_cast<Byte>(link_up ? 0x00 : 0x40),
          static_cast<Byte>(pid & 0xFF),
          static_cast<Byte>(pid >> 8)};
}

FakeReceiverHardware::FakeReceiverHardware(unsigned pid, int receiver_type, std::string path)
    : pid_(pid), receiver_type_(receiver_type), path_(std::move(path)), thread_([this] { run(); }) {}

FakeReceiverHardware::~FakeReceiverHardware() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

bool FakeReceiverHardware::write(Bytes report, bool) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    writes_.push_back(report);
    queue_.emplace_back(true, report);
  }
  wake_.notify_all();
  Producer<IHardwareDevice::Write>::produce(
      [report](IHardwareDevice::Write* s) { s->onWrite(report, ErrorCode::None, 0); }, "FakeReceiverHardware::onWrite");
  return true;
}

void FakeReceiverHardware::Pair(int slot, unsigned pid, bool link_up, std::string name) {
  std::lock_guard<std::mutex> lock(mutex_);
  paired_[slot] = {pid, link_up, std::move(name)};
}

void FakeReceiverHardware::Unpair(int slot) {
  std::lock_guard<std::mutex> lock(mutex_);
  paired_.erase(slot);
}

void FakeReceiverHardware::SimulateReport(Bytes report) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.emplace_back(false, std::move(report));
  }
  wake_.notify_all();
}

void FakeReceiverHardware::SimulateConnection(int slot) {
  PairedSlot paired;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    paired = paired_.at(slot);
  }
  SimulateReport(connection(slot + 1, receiver_type_, paired.pid, paired.link_up));
}

void FakeReceiverHardware::SimulateRegisterZeroWrite(Byte b4, Byte b5, Byte b6) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    registers_[0x00] = {b4, b5, b6};
  }
  SimulateReport({0x10, 0xFF, 0x80, 0x00, 0, 0, 0});
}

void FakeReceiverHardware::set_hook(Hook hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  hook_ = std::move(hook);
}

void FakeReceiverHardware::set_device_hook(Hook hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  device_hook_ = std::move(hook);
}

void FakeReceiverHardware::wait_idle() {
  std::unique_lock<std::mutex> lock(mutex_);
  idle_.wait(lock, [this] { return queue_.empty() && !busy_; });
}

std::vector<Bytes> FakeReceiverHardware::writes() {
  std::lock_guard<std::mutex> lock(mutex_);
  return writes_;
}

int FakeReceiverHardware::count_requests(Byte sub_id, Byte reg, int byte4) {
  std::lock_guard<std::mutex> lock(mutex_);
  int count = 0;
  for (const Bytes& w : writes_) {
    if (w.size() >= 7 && w[1] == 0xFF && w[2] == sub_id && w[3] == reg && (byte4 < 0 || w[4] == byte4)) ++count;
  }
  return count;
}

std::array<Byte, 3> FakeReceiverHardware::register_value(Byte reg) {
  std::lock_guard<std::mutex> lock(mutex_);
  return registers_[reg];
}

void FakeReceiverHardware::set_register(Byte reg, std::array<Byte, 3> value) {
  std::lock_guard<std::mutex> lock(mutex_);
  registers_[reg] = value;
}

// Called with the mutex held.
std::vector<Bytes> FakeReceiverHardware::announce_all() {
  std::vector<Bytes> out;
  for (const auto& [slot, paired] : paired_) {
    if (slot == silent_slot) continue;
    out.push_back(connection(slot + 1, receiver_type_, paired.pid, paired.link_up));
  }
  return out;
}

// Called with the mutex held.
std::vector<Bytes> FakeReceiverHardware::answer(const Bytes& request) {
  if (request.size() < 7) return {};
  if (request[1] != 0xFF) {
    if (device_hook_) {
      if (auto replaced = device_hook_(request)) return *replaced;
    }
    return {vxp10_error_to(request, 1)};
  }
  if (hook_) {
    if (auto replaced = hook_(request)) return *replaced;
  }
  const Byte sub_id = request[2];
  const Byte reg = request[3];
  if (sub_id == 0x81) {
    if (reg == 0x02) {
      const int count = reported_count >= 0 ? reported_count.load() : static_cast<int>(paired_.size());
      return {short_answer(request, {0, static_cast<Byte>(count), 0x27})};
    }
    return {short_answer(request, registers_[reg])};
  }
  if (sub_id == 0x80) {
    if (reg == 0x02 && request[4] == 0x02) {
      std::vector<Bytes> out = announce_all();
      out.push_back(short_answer(request, {0, 0, 0}));
      return out;
    }
    if (reg != 0xB2) registers_[reg] = {request[4], request[5], request[6]};
    return {short_answer(request, {0, 0, 0})};
  }
  if (sub_id == 0x83 && reg == 0xB3) {
    Bytes reply = long_answer(request);
    for (std::size_t i = 0; i < slot_values.size(); ++i) reply[4 + i] = slot_values[i];
    return {reply};
  }
  if (sub_id == 0x83 && reg == 0xB5) {
    Bytes reply = long_answer(request);
    reply[4] = request[4];
    auto it = paired_.find(request[4] - 0x40);
    if (it == paired_.end()) return {vxp10_error_to(request, 2)};
    const std::string& name = it->second.name;
    reply[5] = static_cast<Byte>(name.size());
    for (std::size_t i = 0; i < name.size() && 6 + i < reply.size(); ++i) reply[6 + i] = static_cast<Byte>(name[i]);
    return {reply};
  }
  return {vxp10_error_to(request, 2)};
}

void FakeReceiverHardware::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    auto [is_request, report] = std::move(queue_.front());
    queue_.pop_front();
    busy_ = true;
    const std::vector<Bytes> out = is_request ? answer(report) : std::vector<Bytes>{report};
    lock.unlock();
    for (const Bytes& r : out) {
      Producer<IHardwareDevice::Read>::produce(
          [r](IHardwareDevice::Read* s) { s->onRead(r, false, 0, static_cast<unsigned>(r.size())); },
          "FakeReceiverHardware::onRead");
    }
    lock.lock();
    busy_ = false;
    if (queue_.empty()) idle_.notify_all();
  }
}

}  // namespace dovod::testing
