#include "protocol/features/Feature1D4BWirelessStatus.h"

#include "dovod/LastError.h"
#include "dovod/xLog.h"
#include "protocol/features/FeatureUnit.h"

namespace dovod {

namespace {

constexpr const char* kTag = "Feature1D4BWirelessStatus";

std::atomic<bool> included{false};
[[maybe_unused]] const bool registered =
    register_feature_class<Feature1D4BWirelessStatus>(Feature1D4BWirelessStatus::kId);
const IFeatureForceInclusion1D4B force_inclusion;

}  // namespace

IFeatureForceInclusion1D4B::IFeatureForceInclusion1D4B() {
  log_feature_included(included, kTag, "dovod::IFeatureForceInclusion1D4B::IFeatureForceInclusion1D4B", "1D4B");
}

Feature1D4BWirelessStatus::Feature1D4BWirelessStatus(Byte index, std::weak_ptr<IDevice> device)
    : Feature(kId, index, std::move(device)) {}

void Feature1D4BWirelessStatus::onFeatureReport(int function, const Bytes& payload) {
  xLog(kTag, LOG_INFO, "dovod::Feature1D4BWirelessStatus::onFeatureReport", "Feature1D4BWirelessStatus::onFeatureReport");
  if (payload.size() < 3) {
    set_last_error(ErrorCode::CommandResponseTooShort);
    return;
  }
  const bool reconnect = payload[0] == 1;
  const bool config_needed = payload[1] == 1;
  const bool powerswitch = payload[2] == 1;
  Producer<IFeature1D4BWirelessStatus::Report>::produce(
      [reconnect, config_needed, powerswitch](IFeature1D4BWirelessStatus::Report* s) {
        s->onWirelessStatusEvent(reconnect, config_needed, powerswitch);
      },
      "Feature1D4BWirelessStatus::Report::onWirelessStatusEvent");
}

}  // namespace dovod
