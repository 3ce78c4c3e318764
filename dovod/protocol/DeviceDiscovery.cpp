// Feature discovery and the firmware identity: the root feature, features looked up one by one or
// all at once, and the check that the firmware has not changed under the cached replies.

#include "dovod/IFeature0000Root.h"
#include "dovod/IFeature0001FeatureSet.h"
#include "dovod/IFeature0003FirmwareInfo.h"
#include "dovod/LastError.h"
#include "protocol/Device.h"
#include "protocol/DeviceLog.h"
#include "protocol/Feature.h"
#include "protocol/FeatureRegistry.h"
#include "protocol/features/FeatureCatalogue.h"

namespace dovod {
namespace {

constexpr int kRootId = 0x0000;
constexpr int kFeatureSetId = 0x0001;
constexpr int kFirmwareInfoId = 0x0003;
constexpr int kWirelessStatusId = 0x1D4B;

}  // namespace

bool Device::retry_load_feature_root() {
  DEV_LOG(LOG_INFO, "retry_load_feature_root", "Device::retry_load_feature_root");
  return load_feature_root(true);
}

bool Device::load_feature_root(bool retry) {
  if (retry) {
    DEV_LOG(LOG_INFO, "load_feature_root", "Device::load_feature_root - retry was requested");
    root_state_ = 0;
  }
  if (root_state_ == 2) {
    DEV_LOG(LOG_DEBUG, "load_feature_root", "Device::load_feature_root - using previous true result (feature already loaded)");
    return true;
  }
  if (root_state_ == 1) {
    DEV_LOG(LOG_DEBUG, "load_feature_root", "Device::load_feature_root - using previous false result (NotVxp20)");
    set_last_error(ErrorCode::NotVxp20);
    return false;
  }
  DEV_LOG(LOG_INFO, "load_feature_root", "Device::load_feature_root enter");
  std::shared_ptr<Feature> root = FeatureRegistry::instance().create_feature(kRootId, 0, weak_from_this());
  if (!root) {
    DEV_LOG(LOG_ERROR, "load_feature_root", "cannot create root feature");
    DEV_LOG(LOG_ERROR, "load_feature_root", "Device::load_feature_root exit (false, cannot create root feature)");
    set_last_error(ErrorCode::NotPresent);
    return false;
  }
  auto root_interface = std::dynamic_pointer_cast<IFeature0000Root>(root);
  if (!root_interface) {
    DEV_LOG(LOG_ERROR, "load_feature_root", "load_feature_root cannot cast root feature");
    DEV_LOG(LOG_ERROR, "load_feature_root", "Device::load_feature_root exit (false, cannot cast root feature)");
    set_last_error(ErrorCode::Mismatch, 0, "cannot cast feature to proper type");
    return false;
  }
  Byte protocol = 0;
  int targetsw = 0;
  if (!root_interface->TargetSw(&protocol, &targetsw)) {
    if (last_error().code == ErrorCode::Vxp10ErrorUnknownSubId) {
      root_state_ = 1;
      set_last_error(ErrorCode::NotVxp20, last_error().system_error);
      DEV_LOG(LOG_WARNING, "load_feature_root", "Device::load_feature_root exit (false, not VXP 2.0 device)");
    } else {
      DEV_LOG(LOG_WARNING, "load_feature_root", "Device::load_feature_root exit (false, error)");
    }
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(features_mutex_);
    features_[0] = root;
  }
  root_state_ = 2;
  DEV_LOG(LOG_INFO, "load_feature_root", "Device::load_feature_root success, now need a ping");
  engine_.request_ping();
  if (!load_fwinfo(false)) {
    DEV_LOG(LOG_WARNING, "load_feature_root", "load_feature_root failing (load_fwinfo failed)");
    return false;
  }
  if (bus_type() == 1) subscribe_wireless_status();
  DEV_LOG(LOG_INFO, "load_feature_root", "Device::load_feature_root exit (true, success)");
  return true;
}

void Device::subscribe_wireless_status() {
  std::shared_ptr<IFeature> feature = feature_by_id(kWirelessStatusId);
  bool subscribed = false;
  if (feature) {
    std::lock_guard<std::recursive_mutex> lock(hw_mutex_);
    subscribed = Subscriber<IFeature1D4BWirelessStatus::Report>::subscribe(feature, RunLoop);
  }
  DEV_LOG(LOG_INFO, "load_feature_root", "Device::load_feature_root subscribing to 1d4b, ret=%d", subscribed ? 1 : 0);
}

std::shared_ptr<IFeature> Device::load_feature(int id) {
  DEV_LOG(LOG_DEBUG, "load_feature", "Device::load_feature(0x%04x)", id);
  if (!load_feature_root(false)) return nullptr;
  auto root = feature_at(0);
  if (id == kRootId) return root;
  auto root_interface = std::dynamic_pointer_cast<IFeature0000Root>(root);
  if (!root_interface) {
    set_last_error(ErrorCode::NotPresent);
    return nullptr;
  }
  int index = 0;
  bool obsolete = false;
  bool hidden = false;
  bool engineering = false;
  int version = 0;
  if (!root_interface->GetFeature(id, &index, &obsolete, &hidden, &engineering, &version, 1)) return nullptr;
  if (index <= 0 || index > 0xFF) {
    set_last_error(ErrorCode::NotPresent);
    return nullptr;
  }
  std::shared_ptr<Feature> feature =
      FeatureRegistry::instance().create_feature(id, static_cast<Byte>(index), weak_from_this());
  if (!feature) {
    set_last_error(ErrorCode::NotPresent);
    return nullptr;
  }
  feature->set_table_entry(obsolete, hidden, engineering, version);
  std::lock_guard<std::mutex> lock(features_mutex_);
  // Two threads may have asked at once: everyone gets the object stored first.
  auto [it, inserted] = features_.emplace(static_cast<Byte>(index), feature);
  if (!inserted && it->second->feature_id() != id) it->second = feature;
  return it->second;
}

std::shared_ptr<IFeature> Device::feature_by_id(int id) {
  DEV_LOG(LOG_DEBUG, "feature_by_id", "Device::feature_by_id(0x%04x)", id);
  {
    std::lock_guard<std::mutex> lock(features_mutex_);
    for (const auto& [index, feature] : features_) {
      if (feature->feature_id() == id && (index != 0 || root_state_ == 2)) return feature;
    }
  }
  if (all_features_loaded_) {
    set_last_error(ErrorCode::NotPresent);
    return nullptr;
  }
  return load_feature(id);
}

bool Device::load_features() {
  DEV_LOG(LOG_DEBUG, "load_features", "Device::load_features()");
  if (!load_feature_root(false)) {
    DEV_LOG(LOG_WARNING, "load_features", "Device::load_features fail (load_feature_root fail)");
    return false;
  }
  if (all_features_loaded_) {
    DEV_LOG(LOG_DEBUG, "load_features", "Device::load_features success (all_features_loaded)");
    return true;
  }
  auto feature_set = std::dynamic_pointer_cast<IFeature0001FeatureSet>(feature_by_id(kFeatureSetId));
  if (!feature_set) {
    DEV_LOG(LOG_WARNING, "load_features", "Device::load_features fail (no IFeature0001FeatureSet)");
    return false;
  }
  int count = 0;
  if (!feature_set->GetCount(&count)) {
    DEV_LOG(LOG_WARNING, "load_features", "Device::load_features fail (no featureSet->GetCount)");
    return false;
  }
  for (int index = 2; index <= count && index <= 0xFF; ++index) {
    int id = 0;
    bool engineering = false;
    bool hidden = false;
    bool obsolete = false;
    int version = 0;
    if (!feature_set->GetFeatureID(index, &id, &engineering, &hidden, &obsolete, &version)) {
      DEV_LOG(LOG_WARNING, "load_features", "Device::load_features fail (no featureSet->GetFeatureID %d)", index);
      return false;
    }
    std::lock_guard<std::mutex> lock(features_mutex_);
    auto& slot = features_[static_cast<Byte>(index)];
    if (slot && slot->feature_id() == id) continue;
    slot = FeatureRegistry::instance().create_feature(id, static_cast<Byte>(index), weak_from_this());
    slot->set_table_entry(obsolete, hidden, engineering, version);
  }
  all_features_loaded_ = true;
  if (bus_type() == 1) subscribe_wireless_status();
  std::size_t loaded;
  {
    std::lock_guard<std::mutex> lock(features_mutex_);
    loaded = features_.size();
  }
  DEV_LOG(LOG_INFO, "load_features", "Device::load_features success (%d features)", static_cast<int>(loaded));
  return true;
}

std::vector<std::shared_ptr<IFeature>> Device::features() {
  DEV_LOG(LOG_DEBUG, "features", "Device::features");
  std::lock_guard<std::mutex> lock(features_mutex_);
  std::vector<std::shared_ptr<IFeature>> result;
  result.reserve(features_.size());
  for (const auto& [index, feature] : features_) result.push_back(feature);
  return result;
}

std::string Device::read_fwinfo(bool cached) {
  DEV_LOG(LOG_DEBUG, "read_fwinfo", "read_fwinfo enter, cached=%d", cached ? 1 : 0);
  std::shared_ptr<IFeature> feature = feature_by_id(kFirmwareInfoId);
  auto info = std::dynamic_pointer_cast<IFeature0003FirmwareInfo>(feature);
  if (!info) {
    if (feature || last_error().code == ErrorCode::NotPresent) {
      DEV_LOG(LOG_INFO, "read_fwinfo", "read_fwinfo returning NotPresent");
      return "NotPresent";
    }
    fwinfo_load_failed_ = true;
    DEV_LOG(LOG_WARNING, "read_fwinfo", "read_fwinfo returning error=%d", to_int(last_error().code));
    return {};
  }
  const int cacheable = cached ? 1 : 0;
  int count = 0;
  if (!info->GetEntityCount(&count, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, cacheable)) {
    DEV_LOG(LOG_WARNING, "read_fwinfo", "read_fwinfo returning error=%d", to_int(last_error().code));
    return {};
  }
  int entity;
  {
    std::lock_guard<std::mutex> lock(fwinfo_mutex_);
    entity = fwinfo_entity_;
  }
  int fw_type = 0;
  std::string prefix;
  std::string version;
  std::string build;
  int rdnf = 0;
  bool have = false;
  if (entity >= 0 && entity < count) {
    have = info->GetFwInfo(entity, &fw_type, &prefix, &version, &build, &rdnf, nullptr, cacheable);
  } else {
    for (int candidate = 0; candidate < count && !have; ++candidate) {
      if (!info->GetFwInfo(candidate, &fw_type, &prefix, &version, &build, &rdnf, nullptr, cacheable)) {
        DEV_LOG(LOG_WARNING, "read_fwinfo", "read_fwinfo returning error=%d", to_int(last_error().code));
        return {};
      }
      if (rdnf & IFeature0003FirmwareInfo::kRdnfRunning) {
        entity = candidate;
        have = true;
      }
    }
    if (!have) {
      entity = 0;
      have = info->GetFwInfo(entity, &fw_type, &prefix, &version, &build, &rdnf, nullptr, cacheable);
    }
  }
  if (!have) {
    DEV_LOG(LOG_WARNING, "read_fwinfo", "read_fwinfo returning error=%d", to_int(last_error().code));
    return {};
  }
  {
    std::lock_guard<std::mutex> lock(fwinfo_mutex_);
    fwinfo_entity_ = entity;
  }
  const std::string text = prefix + " " + version + "." + build + " type " + std::to_string(fw_type) + " entity " +
                           std::to_string(entity);
  DEV_LOG(LOG_DEBUG, "read_fwinfo", "read_fwinfo returning %s", text.c_str());
  return text;
}

bool Device::load_fwinfo(bool force_check) {
  if (!fwinfo().empty()) return true;
  const std::string text = read_fwinfo(true);
  if (text.empty()) return false;
  set_fwinfo(text);
  if (force_check) engine_.request_firmware_check();
  if (!connected() || do_fwcheck()) return true;
  DEV_LOG(LOG_WARNING, "load_fwinfo", "load_fwinfo failing (do_fwcheck failed)");
  return false;
}

bool Device::do_fwcheck() {
  DEV_LOG(LOG_DEBUG, "do_fwcheck", "do_fwcheck entry");
  const std::string known = fwinfo();
  if (known.empty()) {
    DEV_LOG(LOG_DEBUG, "do_fwcheck", "do_fwcheck exit, true, skipping check due to initial fwinfo not read yet");
    return true;
  }
  if (fwcheck_running_.exchange(true)) {
    DEV_LOG(LOG_DEBUG, "do_fwcheck", "do_fwcheck exit, true, skipping check due to being recursively called");
    return true;
  }
  fwinfo_load_failed_ = false;
  const std::string current = read_fwinfo(false);
  if (current.empty()) {
    const LastError failure = last_error();
    DEV_LOG(LOG_WARNING, "do_fwcheck", "do_fwcheck error reading fw info, err=%d", to_int(failure.code));
    if (fwinfo_load_failed_) {
      DEV_LOG(LOG_WARNING, "do_fwcheck", "do_fwcheck exit, false, error loading 0x0003 feature, err=%d", to_int(failure.code));
    } else {
      DEV_LOG(LOG_WARNING, "do_fwcheck", "do_fwcheck exit, false, error reading fw info, err=%d", to_int(failure.code));
    }
    fwcheck_running_ = false;
    set_last_error(failure.code, failure.system_error, failure.message);
    return false;
  }
  engine_.firmware_checked();
  fwcheck_running_ = false;
  if (current == known) {
    DEV_LOG(LOG_DEBUG, "do_fwcheck", "do_fwcheck exit, true, fw version matched (%s)", current.c_str());
    return true;
  }
  forget();
  set_fwinfo({});
  engine_.mark_cache_dirty();
  std::shared_ptr<IDevice> self = shared_from_this();
  Producer<IDevice::Connect>::produce([self](IDevice::Connect* s) { s->onFirmwareChanged(self); },
                                      "Device::Connect::onFirmwareChanged");
  DEV_LOG(LOG_WARNING, "do_fwcheck", "do_fwcheck exit, false, FwVersionChanged (old=%s new=%s)", known.c_str(),
          current.c_str());
  set_last_error(ErrorCode::FwVersionChanged);
  return false;
}

void Device::forget() {
  DEV_LOG(LOG_INFO, "forget", "Device::forget() enter");
  std::vector<std::shared_ptr<Feature>> dropped;
  {
    std::lock_guard<std::mutex> lock(features_mutex_);
    for (auto it = features_.begin(); it != features_.end();) {
      if (it->first == 0) {
        ++it;
        continue;
      }
      dropped.push_back(it->second);
      it = features_.erase(it);
    }
  }
  {
    std::lock_guard<std::recursive_mutex> lock(hw_mutex_);
    for (const auto& feature : dropped) Subscriber<IFeature1D4BWirelessStatus::Report>::unsubscribe(feature);
  }
  root_state_ = 0;
  all_features_loaded_ = false;
  bool had_configured;
  {
    std::lock_guard<std::mutex> lock(config_mutex_);
    had_configured = !configured_features_.empty();
    configured_features_.clear();
    pending_changes_.clear();
  }
  if (had_configured) {
    Producer<IDevice::ConfigChange>::produce([](IDevice::ConfigChange* s) { s->onConfigChange(); },
                                             "Device::Report::onConfigChange");
  }
  engine_.clear_cache();
  DEV_LOG(LOG_INFO, "forget", "Device::forget() exit");
}

}  // namespace dovod
