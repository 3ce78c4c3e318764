#include "ScriptedDevice.h"

#include <algorithm>

#include "dovod/LastError.h"

namespace dovod::testing {

Bytes reply_to(const Bytes& request, const Bytes& params) {
  Bytes reply(20, 0);
  reply[0] = 0x11;
  for (std::size_t i = 1; i < 4 && i < request.size(); ++i) reply[i] = request[i];
  std::copy_n(params.begin(), std::min<std::size_t>(params.size(), 16), reply.begin() + 4);
  return reply;
}

Bytes vxp20_error(const Bytes& request, Byte error) {
  return {0x11, request[1], 0xFF, request[2], request[3], error, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
}

Bytes vxp10_error(const Bytes& request, Byte error) { return {0x10, request[1], 0x8F, request[2], request[3], error, 0}; }

ScriptedDevice::ScriptedDevice(std::vector<int> feature_ids, unsigned pid, int bus_type, std::string path)
    : feature_ids_(std::move(feature_ids)), pid_(pid), bus_type_(bus_type), path_(std::move(path)) {
  thread_ = std::thread([this] { run(); });
}

ScriptedDevice::~ScriptedDevice() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

bool ScriptedDevice::write(Bytes report, bool) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    writes_.push_back(report);
  }
  if (!connected_) {
    set_last_error(ErrorCode::WriteFailed, 31);
    Producer<IHardwareDevice::Write>::produce(
        [report](IHardwareDevice::Write* s) { s->onWrite(report, ErrorCode::WriteFailed, 31); },
        "ScriptedDevice::Write::onWrite");
    return false;
  }
  Producer<IHardwareDevice::Write>::produce([report](IHardwareDevice::Write* s) { s->onWrite(report, ErrorCode::None, 0); },
                                            "ScriptedDevice::Write::onWrite");
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.emplace_back(true, std::move(report));
  }
  wake_.notify_all();
  return true;
}

void ScriptedDevice::set_hook(Hook hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  hook_ = std::move(hook);
}

void ScriptedDevice::inject(Bytes report) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.emplace_back(false, std::move(report));
  }
  wake_.notify_all();
}

void ScriptedDevice::wait_idle() {
  std::unique_lock<std::mutex> lock(mutex_);
  idle_.wait(lock, [this] { return queue_.empty() && !busy_; });
}

void ScriptedDevice::set_connected(bool value) {
  connected_ = value;
  Producer<IHardwareDevice::Connect>::produce(
      [value](IHardwareDevice::Connect* s) { value ? s->onConnect(nullptr) : s->onDisconnect(nullptr); },
      value ? "ScriptedDevice::Connect::onConnect" : "ScriptedDevice::Connect::onDisconnect");
}

std::vector<Bytes> ScriptedDevice::writes() {
  std::lock_guard<std::mutex> lock(mutex_);
  return writes_;
}

int ScriptedDevice::count_writes(Byte index, int function) {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(std::count_if(writes_.begin(), writes_.end(), [&](const Bytes& w) {
    return w.size() > 3 && w[2] == index && (w[3] >> 4) == function;
  }));
}

Bytes ScriptedDevice::answer(const Bytes& request) {
  if (request.size() < 4) return {};
  const Byte index = request[2];
  const int function = request[3] >> 4;
  auto param = [&](std::size_t k) -> Byte { return 4 + k < request.size() ? request[4 + k] : 0; };
  if (index >= feature_ids_.size()) return reply_to(request, {});
  switch (feature_ids_[index]) {
    case 0x0000:
      if (function == 0) {
        const int id = param(0) << 8 | param(1);
        auto it = std::find(feature_ids_.begin(), feature_ids_.end(), id);
        const Byte found = it == feature_ids_.end() ? 0 : static_cast<Byte>(it - feature_ids_.begin());
        return reply_to(request, {found, 0, 0});
      }
      if (protocol_error >= 0) return vxp10_error(request, static_cast<Byte>(protocol_error.load()));
      return reply_to(request, {4, 2, param(2)});
    case 0x0001:
      if (function == 0) return reply_to(request, {static_cast<Byte>(feature_ids_.size() - 1)});
      if (param(0) < feature_ids_.size()) {
        const int id = feature_ids_[param(0)];
        return reply_to(request, {static_cast<Byte>(id >> 8), static_cast<Byte>(id), 0, 0});
      }
      return vxp20_error(request, 2);
    case 0x0003: {
      if (function == 0) return reply_to(request, {1});
      const std::uint16_t version = fw_version;
      return reply_to(request, {0, 'Q', 'R', 'X', static_cast<Byte>(version >> 8), static_cast<Byte>(version), 0, 0x27, 1});
    }
    case 0x0020:
      if (function == 1) cookie = static_cast<std::uint16_t>(param(0) << 8 | param(1));
      return reply_to(request, {static_cast<Byte>(cookie >> 8), static_cast<Byte>(cookie.load())});
    default:
      return reply_to(request, {});
  }
}

void ScriptedDevice::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    auto [is_request, message] = std::move(queue_.front());
    queue_.pop_front();
    busy_ = true;
    Hook hook = hook_;
    lock.unlock();
    std::vector<Bytes> out;
    if (!is_request) {
      out.push_back(message);
    } else {
      std::optional<std::vector<Bytes>> scripted = hook ? hook(message) : std::nullopt;
      out = scripted ? *scripted : std::vector<Bytes>{answer(message)};
    }
    for (const Bytes& report : out) {
      Producer<IHardwareDevice::Read>::produce(
          [report](IHardwareDevice::Read* s) { s->onRead(report, false, 0, static_cast<unsigned>(report.size())); },
          "ScriptedDevice::Read::onRead");
    }
    lock.lock();
    busy_ = false;
    if (queue_.empty()) idle_.notify_all();
  }
}

}  // namespace dovod::testing
