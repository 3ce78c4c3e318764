#include "protocol/features/Feature00c0DFUControl.h"

#include "dovod/xLog.h"
#include "protocol/features/DfuMagic.h"
#include "protocol/features/FeatureUnit.h"

namespace dovod {

namespace {

constexpr const char* kTag = "Feature00c0DFUControl";
constexpr int kEnterDfuMode = 0;
constexpr unsigned kConfigReportFunction = 1;

std::atomic<bool> included{false};
[[maybe_unused]] const bool registered = register_feature_class<Feature00c0DFUControl>(Feature00c0DFUControl::kId);
const IFeatureForceInclusion00c0 force_inclusion;

}  // namespace

IFeatureForceInclusion00c0::IFeatureForceInclusion00c0() {
  log_feature_included(included, kTag, "dovod::IFeatureForceInclusion00c0::IFeatureForceInclusion00c0", "00c0");
}

Feature00c0DFUControl::Feature00c0DFUControl(Byte index, std::weak_ptr<IDevice> device)
    : Feature(kId, index, std::move(device)) {}

bool Feature00c0DFUControl::EnterDfuMode() {
  Bytes reply;
  return sendFeatureCommand(kEnterDfuMode, Bytes(std::begin(kDfuMagic), std::end(kDfuMagic)), reply, 0);
}

bool Feature00c0DFUControl::subscribe(Subscriber<IFeature00c0DFUControl::ConfigReport>* s, int delivery) {
  if (delivery == RunLoop) return true;
  return Producer<IFeature00c0DFUControl::ConfigReport>::subscribe(s, delivery);
}

void Feature00c0DFUControl::onUnexpectedResponse(unsigned function, unsigned swid, const Bytes& payload) {
  xLog(kTag, LOG_INFO, "dovod::Feature00c0DFUControl::onUnexpectedResponse",
       "Feature00c0DFUControl::onUnexpectedResponse(func=%d, swid=0x%x)", static_cast<int>(function), swid);
  if (function != kConfigReportFunction || payload.size() < 2) return;
  const auto value = static_cast<unsigned short>(payload[0] << 8 | payload[1]);
  Producer<IFeature00c0DFUControl::ConfigReport>::produce(
      [swid, value](IFeature00c0DFUControl::ConfigReport* s) { s->onConfigReport(swid, value); },
      "Feature00c0DFUControl::ConfigReport::onConfigReport");
}

}  // namespace dovod
