#include "dovod/xLog.h"

#include <cstdarg>
#include <ctime>
#include <thread>

#include "core/LogFile.h"
#include "core/LogFormat.h"
#include "core/LogGlobals.h"
#include "core/LogPurge.h"
#include "core/LogState.h"
#include "core/LogTime.h"
#include "platform/Clock.h"
#include "platform/Process.h"

namespace dovod {
namespace {

constexpr char kInit[] = "dovod::xLogInit";

std::string date_text(std::int64_t seconds) {
  std::tm local = platform::Clock::local_time(seconds);
  char text[128];
  if (std::strftime(text, sizeof text, "%c %Z", &local) == 0) return {};
  return text;
}

void xLogInit() {
  log::LogState& s = log::LogState::get();
  s.tag_filters.push_back(std::make_unique<log::TagFilter>(s.settings.tags.value_or("")));
  s.tags.store(s.tag_filters.back().get());
  s.process_name = log::process_name_for(s.executable);
  bool to_file = (s.settings.output & log::kToFile) != 0;
  if (to_file) {
    s.process_id = platform::Process::process_id();
    log::open_log_file();
  }
  xLog("xlog", LOG_INFO, kInit, "----------------------------------------");
  xLog("xlog", LOG_INFO, kInit, "%s", date_text(static_cast<std::int64_t>(std::time(nullptr))).c_str());

  // These lines reach every enabled output whatever the levels say.
  unsigned console_level = s.settings.console_level;
  unsigned file_level = s.settings.file_level;
  s.settings.console_level = 2;
  s.settings.file_level = 2;
  xLog("xlog", LOG_INFO, kInit, "procname=%s namespace=%s logginglevel=%d loggingoutput=%d fileLevel=%d",
       s.process_name.c_str(), "dovod", static_cast<int>(console_level), static_cast<int>(s.settings.output),
       static_cast<int>(file_level));
  xLog("xlog", LOG_INFO, kInit, "defaultEnabled=%d, defaultOutput=%d, defaultLevel=%d, defaultFileLevel=%d", 1,
       6, 1, 4);
  if (!s.file_path.empty()) xLog("xlog", LOG_INFO, kInit, "logfile=%s", s.file_path.c_str());
  s.settings.console_level = console_level;
  s.settings.file_level = file_level;

  if (s.executable.size() != s.process_name.size()) xLog("xlog", LOG_INFO, kInit, "exe=%s", s.executable.c_str());
  if (auto start = platform::Process::creation_time_us())
    xLog("xlog", LOG_INFO, kInit, "procstart=%s", date_text(static_cast<std::int64_t>(*start / 1000000)).c_str());
  xLog("xlog", LOG_INFO, kInit, "tags=%s", s.tags.load()->describe().c_str());
  if (to_file) XLogPlatformSpecific::purgeOldLogFiles(s.process_name.c_str(), "dovod");
}

// True when the caller may go on logging. The first caller reads the settings and initialises;
// its own log lines pass while others wait for it to finish.
bool ready() {
  log::LogState& s = log::LogState::get();
  int state = s.init_state.load(std::memory_order_acquire);
  if (state == 2) return s.settings.enabled;
  std::uint32_t me = platform::Process::thread_id();
  int expected = 0;
  if (state == 0 && s.init_state.compare_exchange_strong(expected, 1, std::memory_order_acq_rel)) {
    s.init_thread.store(me);
    s.executable = platform::Process::executable_path();
    s.settings = log::read_settings(s.tuning.settings_key.empty() ? log::settings_key_for(s.executable)
                                                                   : std::string_view(s.tuning.settings_key));
    log::init_clock();
    if (s.settings.enabled) xLogInit();
    s.init_thread.store(0);
    s.init_state.store(2, std::memory_order_release);
    return s.settings.enabled;
  }
  if (s.init_thread.load() == me) return true;
  while (s.init_state.load(std::memory_order_acquire) != 2) std::this_thread::yield();
  return s.settings.enabled;
}

}  // namespace

bool xLog(const char* tag, unsigned level, const char* function, const char* format, ...) {
  if (!ready()) return true;
  log::LogState& s = log::LogState::get();
  if (!tag) tag = "";
  if (!function) function = "";
  if (!format) format = "";

  log::LogRecord record;
  record.monotonic_us = log::monotonic_now_us();
  record.wall_us = log::wall_at_us(record.monotonic_us);
  record.level = level;

  const log::LogSettings& settings = s.settings;
  bool console = (settings.output & (log::kToStdout | log::kToDebugger)) != 0 && level <= settings.tag_level;
  bool file = (settings.output & log::kToFile) != 0 && level <= settings.file_level;
  std::string_view prefix;
  if (console) {
    prefix = log::tag_prefix(format);
    std::string_view filter_tag = prefix.empty() ? std::string_view(tag) : prefix;
    if (!filter_tag.empty() && level > settings.console_level) {
      const log::TagFilter* tags = s.tags.load(std::memory_order_acquire);
      if (tags && !tags->passes(filter_tag)) console = false;
    }
  }
  if (!console && !file) return true;

  char message[log::kLineBytes];
  va_list args;
  va_start(args, format);
  std::size_t length = log::format_into(message, format, args);
  va_end(args);

  if (file) {
    record.thread_id = platform::Process::thread_id();
    record.tag = tag;
    record.function = function;
    record.message = std::string_view(message, length);
    if (!log::insert(record)) return false;
  }
  if (console) {
    std::string_view text(message, length);
    if (!prefix.empty() && log::tag_prefix(text) == prefix) text.remove_prefix(prefix.size() + 3);
    log::ShortName name = log::shorten(function, text);
    char scratch[12];
    std::string_view level_text = log::level_name(level, scratch);
    char line[log::kLineBytes];
    if (prefix.empty())
      log::format_line(line, "%.*s - %.*s %.*s\n", static_cast<int>(level_text.size()), level_text.data(),
                       static_cast<int>(name.function.size()), name.function.data(),
                       static_cast<int>(name.message.size()), name.message.data());
    else
      log::format_line(line, "%.*s - %.*s -%.*s- %.*s\n", static_cast<int>(level_text.size()), level_text.data(),
                       static_cast<int>(name.function.size()), name.function.data(),
                       static_cast<int>(prefix.size()), prefix.data(), static_cast<int>(name.message.size()),
                       name.message.data());
    log::write_console_line(line);
  }
  return true;
}

bool xAssert(bool ok, const char* expression, const char* file, int line) {
  if (ok) return false;
  xLog("xlog", LOG_ERROR, "dovod::xAssert", "%s(%d): ASSERT FAILURE! Expression: %s\n", file ? file : "", line,
       expression ? expression : "");
  return true;
}

}  // namespace dovod
