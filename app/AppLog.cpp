#include "app/AppLog.h"

#include <cstdarg>
#include <cstdint>
#include <ctime>
#include <mutex>

#include "app/AppOptions.h"
#include "app/LogLine.h"
#include "app/WideText.h"
#include "app/platform/AppendFile.h"
#include "platform/Clock.h"
#include "platform/DebugOutput.h"
#include "platform/Folders.h"

namespace vorn {
namespace {

using dovod::platform::Clock;

struct StartTime {
  std::uint64_t counter;
  double seconds_per_tick;
};

StartTime take_start_time() {
  std::uint64_t frequency = Clock::performance_frequency();
  return {Clock::performance_counter(), frequency ? 1.0 / static_cast<double>(frequency) : 0.0};
}

// Taken while the program's static data is initialised, before start-up, so the first line of a
// run reads close to zero.
const StartTime start_time = take_start_time();

// The application logs from its UI thread, but a lock keeps a stray line from another thread from
// tearing the file or the sink.
struct LogState {
  std::mutex mutex;
  platform::AppendFile file;
  LogLineSink sink;
};

LogState& state() {
  static LogState* log = new LogState;  // lives past static destruction, for late messages
  return *log;
}

}  // namespace

void LogMessage(const wchar_t* format, ...) {
  double seconds = static_cast<double>(Clock::performance_counter() - start_time.counter) *
                   start_time.seconds_per_tick;
  std::va_list args;
  va_start(args, format);
  std::wstring line = FormatLogLine(seconds, format, args);
  va_end(args);

  LogState& log = state();
  std::lock_guard<std::mutex> lock(log.mutex);
  if (log.file.is_open()) log.file.write(EncodeLogLine(line));
  if (log.sink) log.sink(line);
  else dovod::platform::DebugOutput::write(Utf8FromWide(line).c_str());
}

void OpenLogFile(const std::wstring& path) {
  LogState& log = state();
  std::lock_guard<std::mutex> lock(log.mutex);
  log.file.close();
  std::uint64_t size = 0;
  if (!log.file.open(path, size)) return;
  if (size == 0) log.file.write(kLogFileBom);
}

void OpenApplicationLog() {
  if (!Options().log) return;
  std::string folder = dovod::platform::Folders::documents_folder();
  if (!folder.empty()) OpenLogFile(WideFromUtf8(folder) + std::wstring(kLogFileName));

  std::tm now = Clock::local_time(static_cast<std::int64_t>(std::time(nullptr)));
  wchar_t stamp[64];
  if (std::wcsftime(stamp, 64, L"%m/%d/%Y %H:%M:%S", &now) == 0) stamp[0] = L'\0';
  LogMessage(L"\n\n[%s]\n\n", stamp);
}

void SetLogLineSinkForTesting(LogLineSink sink) {
  LogState& log = state();
  std::lock_guard<std::mutex> lock(log.mutex);
  log.sink = std::move(sink);
}

void CloseLogFileForTesting() {
  LogState& log = state();
  std::lock_guard<std::mutex> lock(log.mutex);
  log.file.close();
}

}  // namespace vorn
