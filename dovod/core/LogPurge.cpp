#include "core/LogPurge.h"

#include <algorithm>
#include <string>

#include "core/LogFile.h"
#include "dovod/LastError.h"
#include "dovod/xLog.h"
#include "platform/Folders.h"

namespace dovod {

void XLogPlatformSpecific::purgeOldLogFiles(const char* process_name, const char* name_space) {
  static constexpr char kTag[] = "Untagged";
  static constexpr char kFunction[] = "dovod::XLogPlatformSpecific::purgeOldLogFiles";
  std::string folder = log::log_folder();
  if (folder.empty()) return;
  std::string pattern = std::string("xlog_*_") + process_name + "_" + name_space + ".dblog";
  std::vector<platform::FileEntry> files = platform::Folders::list_files(folder, pattern);
  if (files.empty()) return;
  std::uint64_t newest = 0;
  for (const auto& f : files) newest = std::max(newest, f.last_write);
  std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  for (const auto& f : files) {
    std::string path = folder + f.name;
    int days = static_cast<int>((newest - f.last_write) / kDay);
    if (static_cast<std::uint64_t>(days) < kKeepDays) {
      xLog(kTag, LOG_VERBOSE, kFunction, "Keeping %d day old log file %s", days, path.c_str());
    } else if (platform::Folders::delete_file(path)) {
      xLog(kTag, LOG_VERBOSE, kFunction, "Purging %d day old log file %s", days, path.c_str());
    } else {
      xLog(kTag, LOG_WARNING, kFunction, "DeleteFile failed on %s, err=%d", path.c_str(),
           static_cast<int>(last_error().system_error));
    }
  }
}

}  // namespace dovod
