#include "KeyboardLink.h"

#include <utility>

#include "dovod/Delivery.h"

namespace simtest {

Bytes request(int index, int function, const Bytes& parameters) {
  Bytes r = {parameters.size() > 3 ? sim::kLongReportId : sim::kShortReportId, sim::kDirectDeviceIndex,
             static_cast<Byte>(index), static_cast<Byte>(function << 4 | 1)};
  r.insert(r.end(), parameters.begin(), parameters.end());
  return r;
}

Bytes payload(const Bytes& report) { return report.size() > 4 ? Bytes(report.begin() + 4, report.end()) : Bytes{}; }

bool is_error_reply(const Bytes& report) { return report.size() > 5 && report[2] == sim::kErrorReplyMarker; }

bool answers(const Bytes& report, const Bytes& req) {
  if (report.size() < 6 || req.size() < 4) return false;
  if (is_error_reply(report)) return report[1] == req[1] && report[3] == req[2] && report[4] == req[3];
  return report[1] == req[1] && report[2] == req[2] && report[3] == req[3];
}

KeyboardLink::KeyboardLink(const sim::Scenario& scenario) : bus_(sim::SimHardwareBus::create(scenario)) { listen(); }

// Stops the deliveries before the handlers they call go away.
KeyboardLink::~KeyboardLink() { stop_listening(); }

void KeyboardLink::stop_listening() {
  for (const auto& device : devices_) {
    Subscriber<dovod::IHardwareDevice::Read>::unsubscribe(device);
    Subscriber<dovod::IHardwareDevice::Connect>::unsubscribe(device);
  }
}

void KeyboardLink::listen() {
  auto now = bus_->collections();
  if (now.empty()) return;
  stop_listening();
  devices_ = std::move(now);
  for (const auto& device : devices_) {
    device->open();
    Subscriber<dovod::IHardwareDevice::Read>::subscribe(device, dovod::Direct);
    Subscriber<dovod::IHardwareDevice::Connect>::subscribe(device, dovod::Direct);
  }
}

bool KeyboardLink::write(const Bytes& report) { return devices_.front()->write(report, true); }

Bytes KeyboardLink::call(const Bytes& req, std::chrono::milliseconds limit) {
  if (!write(req)) return {};
  return take([&](const Bytes& r) { return answers(r, req); }, limit).value_or(Bytes{});
}

std::optional<Bytes> KeyboardLink::take(const std::function<bool(const Bytes&)>& pick,
                                        std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(mutex_);
  std::optional<Bytes> found;
  changed_.wait_for(lock, limit, [&] {
    for (auto it = reports_.begin(); it != reports_.end(); ++it) {
      if (pick(*it)) {
        found = *it;
        reports_.erase(it);
        return true;
      }
    }
    return false;
  });
  return found;
}

std::deque<Bytes> KeyboardLink::drain() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(reports_, {});
}

bool KeyboardLink::wait_connect_events(std::size_t count, std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, limit, [&] { return connects_.size() >= count; });
}

std::deque<bool> KeyboardLink::connect_events() {
  std::lock_guard<std::mutex> lock(mutex_);
  return connects_;
}

int KeyboardLink::index_of(int feature_id) {
  const Bytes reply = call(request(0, 0, {static_cast<Byte>(feature_id >> 8), static_cast<Byte>(feature_id)}));
  return reply.size() > 4 && !is_error_reply(reply) ? reply[4] : -1;
}

void KeyboardLink::onRead(Bytes report, bool relayed, unsigned error, unsigned length) {
  std::lock_guard<std::mutex> lock(mutex_);
  reports_.push_back(std::move(report));
  changed_.notify_all();
}

void KeyboardLink::onConnect(std::shared_ptr<dovod::IHardwareDevice> device) {
  std::lock_guard<std::mutex> lock(mutex_);
  connects_.push_back(true);
  changed_.notify_all();
}

void KeyboardLink::onDisconnect(std::shared_ptr<dovod::IHardwareDevice> device) {
  std::lock_guard<std::mutex> lock(mutex_);
  connects_.push_back(false);
  changed_.notify_all();
}

}  // namespace simtest
