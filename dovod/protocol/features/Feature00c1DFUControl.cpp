#include "protocol/features/Feature00c1DFUControl.h"

#include "dovod/LastError.h"
#include "dovod/xLog.h"
#include "protocol/features/DfuMagic.h"
#include "protocol/features/FeatureUnit.h"

namespace dovod {

namespace {

constexpr const char* kTag = "Feature00c1DFUControl";
constexpr int kGetDfuControl = 0;
constexpr int kSetDfuControl = 1;

std::atomic<bool> included{false};
[[maybe_unused]] const bool registered = register_feature_class<Feature00c1DFUControl>(Feature00c1DFUControl::kId);
const IFeatureForceInclusion00c1 force_inclusion;

}  // namespace

IFeatureForceInclusion00c1::IFeatureForceInclusion00c1() {
  log_feature_included(included, kTag, "dovod::IFeatureForceInclusion00c1::IFeatureForceInclusion00c1", "00c1");
}

Feature00c1DFUControl::Feature00c1DFUControl(Byte index, std::weak_ptr<IDevice> device)
    : Feature(kId, index, std::move(device)) {}

bool Feature00c1DFUControl::GetDfuControl(int* value) {
  if (!value) return false;
  Bytes reply;
  if (!sendFeatureCommand(kGetDfuControl, {}, reply, 0)) return false;
  if (reply.size() < 2) {
    set_last_error(ErrorCode::CommandResponseTooShort);
    return false;
  }
  *value = reply[1];
  return true;
}

bool Feature00c1DFUControl::SetDfuControl(unsigned char enable, unsigned char param1, unsigned char param2,
                                          unsigned char param3) {
  const Bytes params{enable, param1, param2, param3, kDfuMagic[0], kDfuMagic[1], kDfuMagic[2]};
  Bytes reply;
  return sendFeatureCommand(kSetDfuControl, params, reply, 0);
}

void Feature00c1DFUControl::onUnexpectedResponse(unsigned function, unsigned swid, const Bytes&) {
  xLog(kTag, LOG_INFO, "dovod::Feature00c1DFUControl::onUnexpectedResponse",
       "Feature00c1DFUControl::onUnexpectedResponse(func=%d, swid=0x%x)", static_cast<int>(function), swid);
}

}  // namespace dovod
