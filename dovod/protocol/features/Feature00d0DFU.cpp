#include "protocol/features/Feature00d0DFU.h"

#include "dovod/LastError.h"
#include "dovod/xLog.h"
#include "protocol/features/FeatureUnit.h"

namespace dovod {

namespace {

constexpr const char* kTag = "Feature00d0DFU";
constexpr int kDfuStart = 4;
constexpr int kDfuRestart = 5;
// Payload bytes 2 and 3 carry the packet number, byte 4 the status.
constexpr std::size_t kNumberedPayloadSize = 4;
constexpr std::size_t kStatusPayloadSize = 5;
constexpr std::size_t kStatusByte = 4;

std::atomic<bool> included{false};
[[maybe_unused]] const bool registered = register_feature_class<Feature00d0DFU>(Feature00d0DFU::kId);
const IFeatureForceInclusion00d0 force_inclusion;

}  // namespace

IFeatureForceInclusion00d0::IFeatureForceInclusion00d0() {
  log_feature_included(included, kTag, "dovod::IFeatureForceInclusion00d0::IFeatureForceInclusion00d0", "00d0");
}

Feature00d0DFU::Feature00d0DFU(Byte index, std::weak_ptr<IDevice> device) : Feature(kId, index, std::move(device)) {}

bool Feature00d0DFU::DFUStart(const Bytes& packet, int* status, Bytes* reply) {
  if (!status) return false;
  Bytes payload;
  if (!sendFeatureCommand(kDfuStart, packet, payload, 0)) return false;
  // Without a status byte the caller could not tell success from failure.
  if (payload.size() < kStatusPayloadSize) {
    set_last_error(ErrorCode::CommandResponseTooShort);
    return false;
  }
  *status = payload[kStatusByte];
  if (reply) *reply = std::move(payload);
  return true;
}

bool Feature00d0DFU::DFUSendPacket(int packetNumber, const Bytes& packet) {
  const unsigned number = static_cast<unsigned>(packetNumber) + 1;
  xLog(kTag, LOG_INFO, "dovod::Feature00d0DFU::DFUSendPacket", "DFUSendPacket:Sending packet : 0x%04x", number);
  Bytes payload;
  if (!sendFeatureCommand(function_for_packet(number), packet, payload, 0)) return false;
  // Subscribers read the status at byte 4; a reply without it produces no event.
  if (payload.size() < kStatusPayloadSize) {
    set_last_error(ErrorCode::CommandResponseTooShort);
    return false;
  }
  produce_status(number, payload);
  return true;
}

bool Feature00d0DFU::DFURestart(Byte value) {
  Bytes reply;
  return sendFeatureCommand(kDfuRestart, {value}, reply, 0);
}

void Feature00d0DFU::onFeatureReport(int, const Bytes& payload) {
  if (payload.size() < kNumberedPayloadSize) {
    set_last_error(ErrorCode::CommandResponseTooShort);
    return;
  }
  produce_status(static_cast<unsigned>(payload[2] << 8 | payload[3]), payload);
}

void Feature00d0DFU::produce_status(unsigned number, const Bytes& payload) {
  Producer<IFeature00d0DFU::Report>::produce(
      [number, payload](IFeature00d0DFU::Report* s) { s->onDfuStatus(number, payload); },
      "IFeature00d0DFU::Report::onDfuStatus");
}

}  // namespace dovod
