#include "protocol/features/Feature0005DeviceNameType.h"

#include "dovod/LastError.h"
#include "dovod/xLog.h"
#include "protocol/features/FeatureUnit.h"

namespace dovod {

namespace {

constexpr const char* kTag = "Feature0005DeviceNameType";
constexpr int kGetCount = 0;
constexpr int kGetDeviceName = 1;
constexpr int kGetDeviceType = 2;
constexpr int kCacheable = 1;

std::atomic<bool> included{false};
[[maybe_unused]] const bool registered =
    register_feature_class<Feature0005DeviceNameType>(Feature0005DeviceNameType::kId);
const IFeatureForceInclusion0005 force_inclusion;

}  // namespace

IFeatureForceInclusion0005::IFeatureForceInclusion0005() {
  log_feature_included(included, kTag, "dovod::IFeatureForceInclusion0005::IFeatureForceInclusion0005", "0005");
}

Feature0005DeviceNameType::Feature0005DeviceNameType(Byte index, std::weak_ptr<IDevice> device)
    : Feature(kId, index, std::move(device)) {}

bool Feature0005DeviceNameType::GetCount(int* count) {
  Bytes reply;
  if (!sendFeatureCommand(kGetCount, {}, reply, kCacheable)) return false;
  if (reply.empty()) {
    set_last_error(ErrorCode::CommandResponseTooShort);
    return false;
  }
  if (count) *count = reply[0];
  xLog(kTag, LOG_INFO, "dovod::Feature0005DeviceNameType::GetCount", "Feature0005DeviceNameType::GetCount(*count = %d)",
       reply[0]);
  return true;
}

bool Feature0005DeviceNameType::GetDeviceNameChunk(int charIndex, Bytes* chunk) {
  Bytes reply;
  if (!sendFeatureCommand(kGetDeviceName, {static_cast<Byte>(charIndex)}, reply, kCacheable)) return false;
  if (chunk) *chunk = std::move(reply);
  return true;
}

bool Feature0005DeviceNameType::GetDeviceName(std::string* name) {
  if (!haveName_) {
    int count = 0;
    if (!GetCount(&count)) return false;
    name_.clear();
    for (int offset = 0; offset < count;) {
      Bytes chunk;
      if (!GetDeviceNameChunk(offset, &chunk)) return false;
      // An empty chunk would never advance the offset.
      if (chunk.empty()) {
        set_last_error(ErrorCode::EmptyNameChunk);
        return false;
      }
      name_.append(chunk.begin(), chunk.end());
      offset += static_cast<int>(chunk.size());
    }
    // The last chunk fills its whole reply, padding included.
    if (name_.size() > static_cast<std::size_t>(count)) name_.resize(static_cast<std::size_t>(count));
    haveName_ = true;
  }
  if (name && name != &name_) *name = name_;
  xLog(kTag, LOG_INFO, "dovod::Feature0005DeviceNameType::GetDeviceName",
       "Feature0005DeviceNameType::GetDeviceName(*name = %s)", name_.c_str());
  return true;
}

bool Feature0005DeviceNameType::read_type(Byte& type) {
  Bytes reply;
  if (!sendFeatureCommand(kGetDeviceType, {}, reply, kCacheable)) return false;
  if (reply.empty()) {
    set_last_error(ErrorCode::CommandResponseTooShort);
    return false;
  }
  type = reply[0];
  xLog(kTag, LOG_INFO, "dovod::Feature0005DeviceNameType::GetDeviceType",
       "Feature0005DeviceNameType::GetDeviceType(*type = %d)", type);
  return true;
}

bool Feature0005DeviceNameType::GetDeviceType(int* type) {
  if (!type) return false;
  Byte value = 0;
  if (!read_type(value)) return false;
  *type = value;
  return true;
}

bool Feature0005DeviceNameType::GetDeviceType(char* type) {
  Byte value = 0;
  if (!read_type(value)) return false;
  if (type) *type = static_cast<char>(value);
  return true;
}

}  // namespace dovod
