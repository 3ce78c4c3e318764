#include "protocol/features/Feature1802DeviceReset.h"

#include "dovod/xLog.h"
#include "protocol/features/FeatureUnit.h"

namespace dovod {

namespace {

constexpr const char* kTag = "Feature1802DeviceReset";
constexpr int kForceDeviceReset = 0;

std::atomic<bool> included{false};
[[maybe_unused]] const bool registered = register_feature_class<Feature1802DeviceReset>(Feature1802DeviceReset::kId);
const IFeatureForceInclusion1802 force_inclusion;

}  // namespace

IFeatureForceInclusion1802::IFeatureForceInclusion1802() {
  log_feature_included(included, kTag, "dovod::IFeatureForceInclusion1802::IFeatureForceInclusion1802", "1802");
}

Feature1802DeviceReset::Feature1802DeviceReset(Byte index, std::weak_ptr<IDevice> device)
    : Feature(kId, index, std::move(device)) {}

void Feature1802DeviceReset::forceDeviceReset() {
  Bytes reply;
  if (!sendFeatureCommand(kForceDeviceReset, {}, reply, 0)) {
    xLog(kTag, LOG_DEBUG, "dovod::Feature1802DeviceReset::forceDeviceReset",
         "Feature1802DeviceReset::forceDeviceReset failed");
  }
}

}  // namespace dovod
