#include "protocol/Feature.h"

#include "dovod/IDevice.h"
#include "dovod/LastError.h"

namespace dovod {

namespace {

constexpr Byte kShortReportId = 0x10;
constexpr Byte kLongReportId = 0x11;
constexpr Byte kDirectDeviceIndex = 0xFF;
constexpr std::size_t kShortReportSize = 7;
constexpr std::size_t kHeaderSize = 4;

Byte function_byte(int function, int swid) {
  return static_cast<Byte>(((function & 0x0F) << 4) | (swid & 0x0F));
}

Bytes build_request(int index, int function, int swid, const Bytes& params) {
  Bytes request;
  request.reserve(kHeaderSize + params.size());
  request.push_back(kShortReportId);
  request.push_back(kDirectDeviceIndex);
  request.push_back(static_cast<Byte>(index));
  request.push_back(function_byte(function, swid));
  request.insert(request.end(), params.begin(), params.end());
  if (request.size() > kShortReportSize) request[0] = kLongReportId;
  return request;
}

}  // namespace

Feature::Feature(int id, Byte index, std::weak_ptr<IDevice> device)
    : feature_id_(id), feature_index_(index), device_(std::move(device)) {}

int Feature::feature_id() { return feature_id_; }

bool Feature::sendFeatureCommandAsync(int function, const Bytes& params) {
  std::shared_ptr<IDevice> dev = device_.lock();
  if (!dev) {
    set_last_error(ErrorCode::DeviceRemoved);
    return false;
  }
  return dev->sendCommand(build_request(feature_index_, function, dev->swid(), params), false);
}

bool Feature::sendFeatureCommand(int function, const Bytes& params, Bytes& reply, int cacheable) {
  return sendFeatureCommand(function, params, reply, cacheable, {});
}

bool Feature::sendFeatureCommand(int function, const Bytes& params, Bytes& reply, int cacheable,
                                 const std::vector<int>& echoPositions) {
  std::shared_ptr<IDevice> dev = device_.lock();
  if (!dev) {
    set_last_error(ErrorCode::DeviceRemoved);
    return false;
  }
  const Bytes request = build_request(feature_index_, function, dev->swid(), params);
  Bytes response;
  if (!dev->sendSynchronousCommand(request, response, cacheable, echoPositions)) return false;
  if (response.size() < kShortReportSize) {
    set_last_error(ErrorCode::CommandResponseTooShort);
    return false;
  }
  // The engine may have chosen a new software id while it waited; the reply carries the current one.
  if (response[2] != static_cast<Byte>(feature_index_) || response[3] != function_byte(function, dev->swid())) {
    set_last_error(ErrorCode::Mismatch, 0, "response does not match command");
    return false;
  }
  reply.assign(response.begin() + kHeaderSize, response.end());
  return true;
}

bool Feature::configured() { return configured_; }

bool Feature::pending() { return pending_; }

std::shared_ptr<IDevice> Feature::device() { return device_.lock(); }

bool Feature::obsolete() { return obsolete_; }

bool Feature::hidden() { return hidden_; }

bool Feature::engineering() { return engineering_; }

int Feature::feature_index() { return feature_index_; }

int Feature::feature_version() { return feature_version_; }

std::shared_ptr<IFeature> Feature::shared_self() { return weak_from_this().lock(); }

void Feature::routeFeatureReport(int function, const Bytes& payload) {
  // Run-loop subscribers are called later on the host's thread, so the call owns its arguments.
  Producer<IFeature::FeatureReport>::produce(
      [function, payload](IFeature::FeatureReport* s) { s->onFeatureReport(function, payload); },
      "Feature::FeatureReport::onFeatureReport");
  onFeatureReport(function, payload);
}

void Feature::routeUnexpectedResponse(unsigned function, unsigned swid, const Bytes& payload) {
  Producer<IFeature::FeatureReport>::produce(
      [function, swid, payload](IFeature::FeatureReport* s) { s->onUnexpectedResponse(function, swid, payload); },
      "Feature::FeatureReport::onUnexpectedResponse");
  onUnexpectedResponse(function, swid, payload);
}

bool Feature::set_configured() {
  if (configured_) return true;
  std::shared_ptr<IDevice> dev = device_.lock();
  if (!dev) {
    set_last_error(ErrorCode::DeviceRemoved);
    return false;
  }
  const bool ok = dev->set_configured(shared_self());
  // Asked once whatever the answer; the device clears the flag when it loses the configuration.
  configured_ = true;
  return ok;
}

bool Feature::set_pending() {
  if (processing_pending_) {
    set_last_error(ErrorCode::ProcessingPending);
    return false;
  }
  if (pending_) return true;
  std::shared_ptr<IDevice> dev = device_.lock();
  if (!dev) {
    set_last_error(ErrorCode::DeviceRemoved);
    return false;
  }
  const bool ok = dev->add_pending_change(shared_self());
  pending_ = true;
  return ok;
}

void Feature::set_table_entry(bool obsolete, bool hidden, bool engineering, int version) {
  obsolete_ = obsolete;
  hidden_ = hidden;
  engineering_ = engineering;
  feature_version_ = version;
}

}  // namespace dovod
