#include "protocol/features/Feature0003FirmwareInfo.h"

#include "dovod/IDevice.h"
#include "dovod/LastError.h"
#include "dovod/xLog.h"
#include "protocol/features/FeatureUnit.h"
#include "protocol/features/FirmwareVersionText.h"

namespace dovod {

namespace {

constexpr const char* kTag = "Feature0003FirmwareInfo";
constexpr int kGetEntityCount = 0;
constexpr int kGetFwInfo = 1;
constexpr std::size_t kEntityCountReplySize = 14;
constexpr std::size_t kFwInfoReplySize = 16;

std::atomic<bool> included{false};
[[maybe_unused]] const bool registered = register_feature_class<Feature0003FirmwareInfo>(Feature0003FirmwareInfo::kId);
const IFeatureForceInclusion0003 force_inclusion;

int be16(const Bytes& b, std::size_t at) { return b[at] << 8 | b[at + 1]; }

char printable(Byte b) { return b >= 0x20 && b < 0x7F ? static_cast<char>(b) : ' '; }

}  // namespace

IFeatureForceInclusion0003::IFeatureForceInclusion0003() {
  log_feature_included(included, kTag, "dovod::IFeatureForceInclusion0003::IFeatureForceInclusion0003", "0003");
}

Feature0003FirmwareInfo::Feature0003FirmwareInfo(Byte index, std::weak_ptr<IDevice> device)
    : Feature(kId, index, std::move(device)) {}

bool Feature0003FirmwareInfo::GetEntityCount(int* count, int* unitId, int* transport, int* pid1, int* pid2, int* pid3,
                                             int* extendedModelId, int cacheable) {
  Bytes reply;
  if (!sendFeatureCommand(kGetEntityCount, {}, reply, cacheable)) return false;
  // Every field is decoded, so a reply without all of them is refused rather than half read.
  if (reply.size() < kEntityCountReplySize) {
    set_last_error(ErrorCode::CommandResponseTooShort);
    return false;
  }
  const int n = reply[0];
  const unsigned unit = static_cast<unsigned>(reply[1]) << 24 | reply[2] << 16 | reply[3] << 8 | reply[4];
  const int t = be16(reply, 5), p1 = be16(reply, 7), p2 = be16(reply, 9), p3 = be16(reply, 11);
  const int extended = reply[13];
  if (count) *count = n;
  if (unitId) *unitId = static_cast<int>(unit);
  if (transport) *transport = t;
  if (pid1) *pid1 = p1;
  if (pid2) *pid2 = p2;
  if (pid3) *pid3 = p3;
  if (extendedModelId) *extendedModelId = extended;
  xLog(kTag, LOG_INFO, "dovod::Feature0003FirmwareInfo::GetEntityCount",
       "Feature0003FirmwareInfo::GetEntityCount(*count = %d, *unitId = 0x%08x, *transport = 0x%04x, pid1 = 0x%04x, "
       "pid2 = 0x%04x, pid3 = 0x%04x, extendedModelId = %d)",
       n, unit, t, p1, p2, p3, extended);
  return true;
}

bool Feature0003FirmwareInfo::GetFwInfo(int entity, int* fwType, std::string* prefix, std::uint16_t* bcdVersion,
                                        std::uint16_t* bcdBuild, int* rdnf, Bytes* extraData, int cacheable) {
  Bytes reply;
  if (!sendFeatureCommand(kGetFwInfo, {static_cast<Byte>(entity)}, reply, cacheable)) return false;
  if (reply.size() < kFwInfoReplySize) {
    set_last_error(ErrorCode::CommandResponseTooShort);
    return false;
  }
  const int type = reply[0] & 0x0F;
  const std::string text{printable(reply[1]), printable(reply[2]), printable(reply[3])};
  const auto version = static_cast<std::uint16_t>(be16(reply, 4));
  const auto build = static_cast<std::uint16_t>(be16(reply, 6));
  const int flags = reply[8];
  if (fwType) *fwType = type;
  if (prefix) *prefix = text;
  if (bcdVersion) *bcdVersion = version;
  if (bcdBuild) *bcdBuild = build;
  if (rdnf) *rdnf = flags;
  if (extraData) extraData->assign(reply.begin() + 9, reply.begin() + 16);
  xLog(kTag, LOG_INFO, "dovod::Feature0003FirmwareInfo::GetFwInfo",
       "Feature0003FirmwareInfo::GetFwInfo(entity = %d, *fwType = %d, *prefix = %s, *bcdVersion = 0x%04x, "
       "*bcdBuild = 0x%04x, *rdnf = %d, *extra_data)",
       entity, type, prefix ? prefix->c_str() : "", version, build, flags);
  return true;
}

bool Feature0003FirmwareInfo::GetFwInfo(int entity, int* fwType, std::string* prefix, std::string* version,
                                        std::string* build, int* rdnf, Bytes* extraData, int cacheable) {
  std::uint16_t bcd_version = 0;
  std::uint16_t bcd_build = 0;
  const bool ok = GetFwInfo(entity, fwType, prefix, &bcd_version, &bcd_build, rdnf, extraData, cacheable);
  if (ok) {
    if (version) *version = hex4(bcd_version);
    if (build) *build = hex4(bcd_build);
  }
  xLog(kTag, LOG_INFO, "dovod::Feature0003FirmwareInfo::GetFwInfo",
       "Feature0003FirmwareInfo::GetFwInfo(entity = %d, *fwType = %d, *prefix = %s, *version = %s, *build = %s, "
       "*rdnf = %d, *extra_data)",
       entity, fwType ? *fwType : 0, prefix ? prefix->c_str() : "", version ? version->c_str() : "",
       build ? build->c_str() : "", rdnf ? *rdnf : 0);
  return ok;
}

template <class Wanted>
bool Feature0003FirmwareInfo::find_entity(Wanted wanted, Entity& found) {
  int count = 0;
  if (!GetEntityCount(&count, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 1)) return false;
  for (int entity = 0; entity < count; ++entity) {
    Entity e;
    if (!GetFwInfo(entity, &e.fwType, &e.prefix, &e.bcdVersion, &e.bcdBuild, &e.rdnf, nullptr, 1)) return false;
    if (wanted(e)) {
      found = e;
      return true;
    }
  }
  // Every command succeeded, so without this the caller would read a stale or empty error.
  set_last_error(ErrorCode::NotPresent);
  return false;
}

bool Feature0003FirmwareInfo::GetFwFormattedVersion(std::string* text) {
  if (!text) return false;
  Entity e;
  if (!find_entity([](const Entity& x) { return x.fwType == kFwTypeApplication; }, e)) return false;
  *text = format_fw_version(e.prefix, e.bcdVersion, e.bcdBuild);
  return true;
}

bool Feature0003FirmwareInfo::GetFwFormattedVersionOf(int kind, std::string* text, std::uint16_t* build,
                                                      std::uint16_t* version, int* rdnf) {
  if (!text) return false;
  auto of_kind = [kind](const Entity& x) {
    if (kind == 0) return x.prefix == "QRV" || x.prefix == "QRX" || x.prefix == "QRW";
    if (kind == 1) return x.prefix == "BOT";
    return false;
  };
  Entity e;
  if (!find_entity(of_kind, e)) return false;
  *text = format_fw_version(e.prefix, e.bcdVersion, e.bcdBuild);
  if (build) *build = NormalizeBcd(e.bcdBuild);
  if (version) *version = NormalizeBcd(e.bcdVersion);
  if (rdnf) *rdnf = e.rdnf;
  return true;
}

bool Feature0003FirmwareInfo::FindFwInfoByType(int fwType, std::string* prefix, std::uint16_t* bcdVersion,
                                               std::uint16_t* bcdBuild, int* rdnf, Bytes* extraData) {
  int count = 0;
  if (!GetEntityCount(&count, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 1)) return false;
  for (int entity = 0; entity < count; ++entity) {
    int type = 0;
    if (!GetFwInfo(entity, &type, prefix, bcdVersion, bcdBuild, rdnf, extraData, 1)) return false;
    if (type == fwType) return true;
  }
  set_last_error(ErrorCode::NotPresent);
  return false;
}

bool Feature0003FirmwareInfo::GetModelId(unsigned* modelId) {
  int transport = 0;
  int pid1 = 0;
  if (!GetEntityCount(nullptr, nullptr, &transport, &pid1, nullptr, nullptr, nullptr, 1)) return false;
  if (!modelId) return true;
  unsigned model = 0;
  if (transport != 0) {
    model = static_cast<unsigned>(transport) << 16 | static_cast<unsigned>(pid1);
  } else {
    std::shared_ptr<IDevice> dev = device();
    if (!dev) {
      set_last_error(ErrorCode::DeviceRemoved);
      return false;
    }
    model = dev->pid();
  }
  *modelId = model;
  xLog(kTag, LOG_INFO, "dovod::Feature0003FirmwareInfo::GetModelId", "Feature0003FirmwareInfo::GetModelId(*model = %x)",
       model);
  return true;
}

bool Feature0003FirmwareInfo::GetExtendedModelId(int* extendedModelId, int cacheable) {
  int extended = 0;
  if (!GetEntityCount(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &extended, cacheable)) return false;
  if (extendedModelId) *extendedModelId = extended;
  xLog(kTag, LOG_INFO, "dovod::Feature0003FirmwareInfo::GetExtendedModelId",
       "Feature0003FirmwareInfo::GetExtendedModelId(*extendedModelId = %x)", extended);
  return true;
}

}  // namespace dovod
