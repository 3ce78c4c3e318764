#include "protocol/features/Feature0001FeatureSet.h"

#include "dovod/LastError.h"
#include "dovod/xLog.h"
#include "protocol/features/FeatureUnit.h"

namespace dovod {

namespace {

constexpr const char* kTag = "Feature0001FeatureSet";
constexpr int kGetCount = 0;
constexpr int kGetFeatureID = 1;
// The feature table of a device does not change while its firmware stays the same.
constexpr int kCacheable = 1;

std::atomic<bool> included{false};
[[maybe_unused]] const bool registered = register_feature_class<Feature0001FeatureSet>(Feature0001FeatureSet::kId);
const IFeatureForceInclusion0001 force_inclusion;

}  // namespace

IFeatureForceInclusion0001::IFeatureForceInclusion0001() {
  log_feature_included(included, kTag, "dovod::IFeatureForceInclusion0001::IFeatureForceInclusion0001", "0001");
}

Feature0001FeatureSet::Feature0001FeatureSet(Byte index, std::weak_ptr<IDevice> device)
    : Feature(kId, index, std::move(device)) {}

bool Feature0001FeatureSet::GetCount(int* count) {
  Bytes reply;
  if (!sendFeatureCommand(kGetCount, {}, reply, kCacheable)) return false;
  if (reply.empty()) {
    set_last_error(ErrorCode::CommandResponseTooShort);
    return false;
  }
  if (count) *count = reply[0];
  xLog(kTag, LOG_INFO, "dovod::Feature0001FeatureSet::GetCount", "Feature0001FeatureSet::GetCount(* count = %d)",
       reply[0]);
  return true;
}

bool Feature0001FeatureSet::GetFeatureID(int featureIndex, int* featureId, bool* engineeringHidden, bool* swHidden,
                                         bool* obsolete, int* version) {
  Bytes reply;
  if (!sendFeatureCommand(kGetFeatureID, {static_cast<Byte>(featureIndex)}, reply, kCacheable)) return false;
  reply.resize(4, 0);
  const int id = reply[0] * 256 + reply[1];
  const bool is_obsolete = (reply[2] & 0x80) != 0;
  const bool is_hidden = (reply[2] & 0x40) != 0;
  const bool is_engineering = (reply[2] & 0x20) != 0;
  const int feature_version = reply[3];
  if (featureId) *featureId = id;
  if (engineeringHidden) *engineeringHidden = is_engineering;
  if (swHidden) *swHidden = is_hidden;
  if (obsolete) *obsolete = is_obsolete;
  if (version) *version = feature_version;
  xLog(kTag, LOG_INFO, "dovod::Feature0001FeatureSet::GetFeatureID",
       "Feature0001FeatureSet::GetFeatureID(featureIndex = %d, *featureID = 0x%08x, *engineeringHidden = %d, "
       "*swHidden = %d, *obsolete = %d, *version = %d)",
       featureIndex, id, is_engineering, is_hidden, is_obsolete, feature_version);
  return true;
}

}  // namespace dovod
