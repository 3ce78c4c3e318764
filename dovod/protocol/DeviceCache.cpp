// The reply cache's file: read when the device gets its data directory, written after new replies
// (debounced by the cache-write timer) and at destruction, bound to the firmware identity.

#include "core/CacheFile.h"
#include "core/CacheFileName.h"
#include "protocol/Device.h"
#include "protocol/DeviceLog.h"

namespace dovod {

void Device::persistent_data_directory(const std::string& directory) {
  {
    std::lock_guard<std::mutex> lock(path_mutex_);
    persistent_path_ = directory;
  }
  if (!directory.empty()) perform_cache_read();
}

std::string Device::persistent_dir() const {
  std::lock_guard<std::mutex> lock(path_mutex_);
  return persistent_path_;
}

void Device::perform_cache_read() {
  const std::string directory = persistent_dir();
  DEV_LOG(LOG_INFO, "perform_cache_read", "Device::perform_cache_read enter persistent_path=%s", directory.c_str());
  if (directory.empty()) {
    DEV_LOG(LOG_INFO, "perform_cache_read", "data cache dir is empty");
    return;
  }
  const std::string file = device_cache_file_name(directory, pid(), name());
  DEV_LOG(LOG_INFO, "perform_cache_read", "Device::perform_cache_read reading file %s", file.c_str());
  std::optional<CacheContents> contents = CacheFile::read(file);
  bool from_generic = false;
  if (!contents) {
    if (!generic_cache_enabled_) {
      DEV_LOG(LOG_INFO, "perform_cache_read", "cache file does not exist");
      return;
    }
    const std::string generic = generic_cache_file_name(directory, pid());
    DEV_LOG(LOG_INFO, "perform_cache_read", "file does not exist, trying generic file %s", generic.c_str());
    contents = CacheFile::read(generic);
    if (!contents) {
      DEV_LOG(LOG_INFO, "perform_cache_read", "generic file does not exist either");
      return;
    }
    from_generic = true;
  }
  const std::string known = fwinfo();
  if (!CacheFile::fits(*contents, known)) {
    DEV_LOG(LOG_INFO, "perform_cache_read", "cache is incorrect version (%s != %s)... invalidating", contents->fw.c_str(),
            known.c_str());
    engine_.mark_cache_dirty();
  } else {
    engine_.merge_cache(contents->commands, from_generic);
  }
  DEV_LOG(LOG_INFO, "perform_cache_read", "Device::perform_cache_read exit");
}

void Device::perform_cache_write() {
  CacheContents contents;
  contents.commands = engine_.take_cache_for_writing();
  const std::string directory = persistent_dir();
  if (directory.empty()) {
    DEV_LOG(LOG_DEBUG, "perform_cache_write", "perform_cache_write: feature cache path is empty");
    return;
  }
  contents.fw = fwinfo();
  if (contents.fw.empty()) {
    DEV_LOG(LOG_DEBUG, "perform_cache_write", "perform_cache_write: fwinfo is empty");
    return;
  }
  contents.path = name();
  const std::string file = device_cache_file_name(directory, pid(), contents.path);
  if (CacheFile::write(file, contents)) {
    DEV_LOG(LOG_INFO, "perform_cache_write", "wrote feature cache to file %s", file.c_str());
  }
  if (generic_cache_enabled_) {
    const std::string generic = generic_cache_file_name(directory, pid());
    if (CacheFile::write(generic, contents)) {
      DEV_LOG(LOG_INFO, "perform_cache_write", "wrote feature cache to generic file %s", generic.c_str());
    }
  }
}

}  // namespace dovod
