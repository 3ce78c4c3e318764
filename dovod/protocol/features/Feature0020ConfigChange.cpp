#include "protocol/features/Feature0020ConfigChange.h"

#include "dovod/LastError.h"
#include "dovod/xLog.h"
#include "protocol/features/FeatureUnit.h"

namespace dovod {

namespace {

constexpr const char* kTag = "Feature0020ConfigChange";
constexpr int kGetCookie = 0;
constexpr int kSetCookie = 1;

std::atomic<bool> included{false};
[[maybe_unused]] const bool registered = register_feature_class<Feature0020ConfigChange>(Feature0020ConfigChange::kId);
const IFeatureForceInclusion0020 force_inclusion;

}  // namespace

IFeatureForceInclusion0020::IFeatureForceInclusion0020() {
  log_feature_included(included, kTag, "dovod::IFeatureForceInclusion0020::IFeatureForceInclusion0020", "0020");
}

Feature0020ConfigChange::Feature0020ConfigChange(Byte index, std::weak_ptr<IDevice> device)
    : Feature(kId, index, std::move(device)) {}

bool Feature0020ConfigChange::GetCookie(std::uint16_t* cookie) {
  Bytes reply;
  // The cookie is what another program may change at any time: never from the reply cache.
  if (!sendFeatureCommand(kGetCookie, {}, reply, 0)) return false;
  if (reply.size() < 2) {
    set_last_error(ErrorCode::CommandResponseTooShort);
    return false;
  }
  const auto value = static_cast<std::uint16_t>(reply[0] << 8 | reply[1]);
  if (cookie) *cookie = value;
  xLog(kTag, LOG_INFO, "dovod::Feature0020ConfigChange::GetCookie", "Feature0020ConfigChange::GetCookie(*cookie = 0x%04x)",
       value);
  return true;
}

bool Feature0020ConfigChange::SetCookie(std::uint16_t cookie) {
  Bytes reply;
  if (!sendFeatureCommand(kSetCookie, {static_cast<Byte>(cookie >> 8), static_cast<Byte>(cookie)}, reply, 0)) {
    return false;
  }
  xLog(kTag, LOG_INFO, "dovod::Feature0020ConfigChange::SetCookie", "Feature0020ConfigChange::SetCookie(cookie = 0x%04x)",
       cookie);
  return true;
}

void Feature0020ConfigChange::onUnexpectedResponse(unsigned function, unsigned swid, const Bytes& payload) {
  xLog(kTag, LOG_INFO, "dovod::Feature0020ConfigChange::onUnexpectedResponse",
       "Feature0020ConfigChange::onUnexpectedResponse(func=%d, swid=0x%x)", static_cast<int>(function), swid);
  if (function != kSetCookie || payload.size() < 2) return;
  const auto cookie = static_cast<std::uint16_t>(payload[0] << 8 | payload[1]);
  Producer<IFeature0020ConfigChange::ConfigReport>::produce(
      [swid, cookie](IFeature0020ConfigChange::ConfigReport* s) { s->onCookieSet(swid, cookie); },
      "Feature0020ConfigChange::ConfigReport::onCookieSet");
}

}  // namespace dovod
