#include "protocol/features/Feature00c2DFUControl.h"

#include "dovod/LastError.h"
#include "dovod/xLog.h"
#include "protocol/features/DfuMagic.h"
#include "protocol/features/FeatureUnit.h"

namespace dovod {

namespace {

constexpr const char* kTag = "Feature00c2DFUControl";
constexpr int kGetDfuControl = 0;
constexpr int kSetDfuControl = 1;

std::atomic<bool> included{false};
[[maybe_unused]] const bool registered = register_feature_class<Feature00c2DFUControl>(Feature00c2DFUControl::kId);
const IFeatureForceInclusion00c2 force_inclusion;

}  // namespace

IFeatureForceInclusion00c2::IFeatureForceInclusion00c2() {
  log_feature_included(included, kTag, "dovod::IFeatureForceInclusion00c2::IFeatureForceInclusion00c2", "00c2");
}

Feature00c2DFUControl::Feature00c2DFUControl(Byte index, std::weak_ptr<IDevice> device)
    : Feature(kId, index, std::move(device)) {}

bool Feature00c2DFUControl::GetDfuControl(bool* enabled) {
  Bytes reply;
  if (!sendFeatureCommand(kGetDfuControl, {}, reply, 0)) {
    set_last_error(ErrorCode::Mismatch);
    return false;
  }
  if (reply.size() < 3) {
    set_last_error(ErrorCode::CommandResponseTooShort);
    return false;
  }
  if (enabled) *enabled = (reply[2] & 0x01) != 0;
  return true;
}

bool Feature00c2DFUControl::SetDfuControl(unsigned char enable, unsigned char param) {
  const Bytes params{enable, param, 0x00, 0x00, kDfuMagic[0], kDfuMagic[1], kDfuMagic[2]};
  if (!sendFeatureCommandAsync(kSetDfuControl, params)) {
    set_last_error(ErrorCode::Mismatch);
    return false;
  }
  return true;
}

void Feature00c2DFUControl::onUnexpectedResponse(unsigned function, unsigned swid, const Bytes&) {
  xLog(kTag, LOG_INFO, "dovod::Feature00c2DFUControl::onUnexpectedResponse",
       "Feature00c2DFUControl::onUnexpectedResponse(func=%d, swid=0x%x)", static_cast<int>(function), swid);
}

}  // namespace dovod
