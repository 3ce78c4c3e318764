#include "protocol/features/Feature0000Root.h"

#include "dovod/LastError.h"
#include "dovod/xLog.h"
#include "protocol/features/FeatureUnit.h"

namespace dovod {

namespace {

constexpr const char* kTag = "Feature0000Root";
constexpr int kGetFeature = 0;
constexpr int kGetProtocolVersion = 1;
constexpr std::size_t kProtocolReplySize = 3;

std::atomic<bool> included{false};
[[maybe_unused]] const bool registered = register_feature_class<Feature0000Root>(Feature0000Root::kId);
const IFeatureForceInclusion0000 force_inclusion;

}  // namespace

IFeatureForceInclusion0000::IFeatureForceInclusion0000() {
  log_feature_included(included, kTag, "dovod::IFeatureForceInclusion0000::IFeatureForceInclusion0000", "0000");
}

Feature0000Root::Feature0000Root(Byte index, std::weak_ptr<IDevice> device) : Feature(kId, index, std::move(device)) {}

bool Feature0000Root::GetFeature(int featureId, int* featureIndex, bool* obsolete, bool* hidden, bool* engineering,
                                 int* version, int cacheable) {
  Bytes reply;
  const Bytes params{static_cast<Byte>(featureId >> 8), static_cast<Byte>(featureId)};
  if (!sendFeatureCommand(kGetFeature, params, reply, cacheable)) return false;
  reply.resize(3, 0);
  const int index = reply[0];
  const bool is_obsolete = (reply[1] & 0x80) != 0;
  const bool is_hidden = (reply[1] & 0x40) != 0;
  const bool is_engineering = (reply[1] & 0x20) != 0;
  const int feature_version = reply[2];
  if (featureIndex) *featureIndex = index;
  if (obsolete) *obsolete = is_obsolete;
  if (hidden) *hidden = is_hidden;
  if (engineering) *engineering = is_engineering;
  if (version) *version = feature_version;
  xLog(kTag, LOG_INFO, "dovod::Feature0000Root::GetFeature",
       "Feature0000Root::GetFeature(featureId = 0x%08x, *featureIndex = %d, *obsolete = %d, *hidden = %d, "
       "*engineering = %d, *version = %d)",
       featureId, index, is_obsolete, is_hidden, is_engineering, feature_version);
  return true;
}

bool Feature0000Root::GetProtocolVersion(Byte pingSent, Byte* protocol, Byte* targetsw, Byte* pingReceived) {
  Bytes reply;
  // Without a ping value the answer is constant and may come from the reply cache.
  const int cacheable = pingSent == 0 ? 1 : 0;
  if (!sendFeatureCommand(kGetProtocolVersion, {0x00, 0x00, pingSent}, reply, cacheable)) return false;
  if (reply.size() < kProtocolReplySize) {
    set_last_error(ErrorCode::CommandResponseTooShort);
    return false;
  }
  if (protocol) *protocol = reply[0];
  if (targetsw) *targetsw = reply[1];
  if (pingReceived) *pingReceived = reply[2];
  xLog(kTag, LOG_INFO, "dovod::Feature0000Root::GetProtocolVersion",
       "Feature0000Root::GetProtocolVersion(ping_sent = %d, *protocol = %d, *targetsw = %d, *ping_received = %d",
       pingSent, reply[0], reply[1], reply[2]);
  return true;
}

bool Feature0000Root::TargetSw(Byte* protocol, int* targetsw) {
  if (!haveProtocol_) {
    Byte ping_received = 0;
    if (!GetProtocolVersion(0, &protocol_, &targetsw_, &ping_received)) return false;
    haveProtocol_ = true;
  }
  if (protocol) *protocol = protocol_;
  if (targetsw) *targetsw = targetsw_;
  xLog(kTag, LOG_INFO, "dovod::Feature0000Root::TargetSw", "Feature0000Root::TargetSw(*protocol = %d, *targetsw = %d",
       protocol_, targetsw_);
  return true;
}

bool Feature0000Root::Ping(Byte value) {
  Bytes reply;
  if (!sendFeatureCommand(kGetProtocolVersion, {0x00, 0x00, value}, reply, 0, {2})) return false;
  if (reply.size() < kProtocolReplySize) {
    set_last_error(ErrorCode::CommandResponseTooShort);
    return false;
  }
  if (reply[2] != value) {
    set_last_error(ErrorCode::PingMismatch);
    return false;
  }
  xLog(kTag, LOG_INFO, "dovod::Feature0000Root::Ping", "Feature0000Root::Ping(%d)", value);
  return true;
}

}  // namespace dovod
