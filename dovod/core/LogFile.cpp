#include "core/LogFile.h"

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "core/LogFormat.h"
#include "core/LogState.h"
#include "dovod/LastError.h"
#include "dovod/xLog.h"
#include "platform/Clock.h"
#include "platform/Folders.h"
#include "platform/PrivateFile.h"

namespace dovod {

void LogFpErrorAndClose(const char* operation, const char* where) {
  log::LogState& s = log::LogState::get();
  int error = errno;
  int close_error = 0;
  bool close_failed = false;
  {
    std::lock_guard<std::recursive_mutex> lock(s.output_mutex);
    if (s.file) {
      close_failed = std::fclose(s.file) != 0;
      close_error = errno;
      s.file = nullptr;
    }
  }
  xLog("xlog", LOG_ERROR, "dovod::LogFpErrorAndClose", "%s failed in %s, errno=%d", operation, where, error);
  if (close_failed)
    xLog("xlog", LOG_ERROR, "dovod::LogFpErrorAndClose", "fclose failed after %s failure in %s, errno=%d",
         operation, where, close_error);
}

}  // namespace dovod

namespace dovod::log {
namespace {

constexpr std::size_t kMaxTempPath = 289;

std::string temp_folder() {
  LogState& s = LogState::get();
  return s.tuning.temp_folder_given ? s.tuning.temp_folder : platform::Folders::temp_folder();
}

}  // namespace

std::string log_folder() {
  std::string temp = temp_folder();
  if (temp.empty() || temp.size() > kMaxTempPath) return {};
  std::string folder = temp + "xlog_corvane";
  // Another user who made the folder first could read every log or plant links in it.
  if (!platform::Folders::create_private_directory(folder)) {
    xLog("xlog", LOG_ERROR, "dovod::xLogInit", "Refused log folder %s, err=%d", folder.c_str(),
         static_cast<int>(last_error().system_error));
    return {};
  }
  return folder + platform::Folders::separator;
}

void open_log_file() {
  LogState& s = LogState::get();
  std::string folder = log_folder();
  if (folder.empty()) {
    xLog("xlog", LOG_ERROR, "dovod::xLogInit", "Could not get path for log files");
    return;
  }
  std::tm now = platform::Clock::local_time(static_cast<std::int64_t>(std::time(nullptr)));
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d_%H%M%S", &now);
  char name[512];
  std::snprintf(name, sizeof name, "xlog_%s_%u_%s_%s.dblog", stamp, s.process_id, s.process_name.c_str(),
                "dovod");
  std::string path = folder + name;
  std::FILE* f = platform::PrivateFile::open_append(path);
  if (!f) {
    xLog("xlog", LOG_ERROR, "dovod::xLogInit", "Could not create log file %s, err=%d", path.c_str(),
         static_cast<int>(last_error().system_error));
    return;
  }
  std::lock_guard<std::recursive_mutex> lock(s.output_mutex);
  s.file = f;
  s.file_path = path;
}

void output_to_file(const LogRecord& record) {
  LogState& s = LogState::get();
  std::lock_guard<std::recursive_mutex> lock(s.output_mutex);
  if (!s.file) return;

  std::string_view tag = record.tag;
  std::string_view message = record.message;
  std::string_view prefix = tag_prefix(message);
  if (!prefix.empty()) {
    tag = prefix;
    message.remove_prefix(prefix.size() + 3);
  }
  ShortName name = shorten(record.function, message);
  char tag_column[272];
  std::snprintf(tag_column, sizeof tag_column, "-%.*s-", static_cast<int>(tag.size()), tag.data());

  std::uint64_t seconds = record.monotonic_us / 1000000;
  char monotonic[32];
  std::snprintf(monotonic, sizeof monotonic, "%llu.%06u", static_cast<unsigned long long>(seconds),
                static_cast<unsigned>(record.monotonic_us % 1000000));
  // Consecutive records mostly share their second; its calendar text is made once.
  static std::int64_t cached_second = -1;
  static char wall[48];
  static std::size_t wall_length = 0;
  std::int64_t second = static_cast<std::int64_t>(record.wall_us / 1000000);
  if (second != cached_second) {
    std::tm local = platform::Clock::local_time(second);
    wall_length = std::strftime(wall, sizeof wall, "%Y/%m/%d %H:%M:%S", &local);
    cached_second = second;
  }
  std::snprintf(wall + wall_length, sizeof wall - wall_length, ".%03u",
                static_cast<unsigned>((record.wall_us / 1000) % 1000));

  std::string_view rest = name.message;
  bool first = true;
  do {
    std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    std::string_view function = first ? name.function : std::string_view(">");
    char out[kLineBytes];
    format_line(out, "%s\t%s\t%d\t<%05d>.%s.%s\t%d\t%-20s\t%.*s %.*s\n", monotonic, wall,
                static_cast<int>(s.process_id), static_cast<int>(record.thread_id), "dovod",
                s.process_name.c_str(), static_cast<int>(record.level), tag_column,
                static_cast<int>(function.size()), function.data(), static_cast<int>(line.size()),
                line.data());
    if (std::fputs(out, s.file) < 0) {
      LogFpErrorAndClose("fputs", "output_to_file");
      return;
    }
    first = false;
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  } while (!rest.empty());
}

void flush_log_file(const char* where) {
  LogState& s = LogState::get();
  std::lock_guard<std::recursive_mutex> lock(s.output_mutex);
  if (s.file && std::fflush(s.file) != 0) LogFpErrorAndClose("fflush", where);
}

}  // namespace dovod::log
