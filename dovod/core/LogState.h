#pragma once
// The process-wide state of the log: its settings, the process identity, the file, the buffers
// and the log thread. It is never destroyed, so that static destructors can still log; the
// process-end work runs from a separate object (see LogThread.cpp).

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/LogBuffer.h"
#include "core/LogSettings.h"
#include "core/LogTagFilter.h"

namespace dovod::log {

// What the console and debugger received, when a test asked to see it instead.
struct Capture {
  std::mutex mutex;
  std::vector<std::string> console;
  std::vector<std::string> debugger;
};

// Choices that tests change; the defaults are those of the product.
struct Tuning {
  std::string settings_key;           // empty: the executable's key
  bool temp_folder_given = false;     // use `temp_folder` instead of the user's
  std::string temp_folder;            // with trailing separator; empty: none
  std::chrono::milliseconds flush_wait{10000};
  // How long the log thread waits for more after a busy spell before it sleeps (see LogThread.cpp).
  std::chrono::milliseconds batch_wait{20};
  std::uint32_t first_slots = LogBuffer::kFirstSlots;
  std::uint32_t first_text = LogBuffer::kFirstText;
  bool start_thread = true;
  Capture* capture = nullptr;
};

struct OldBuffer {
  std::unique_ptr<LogBuffer> buffer;
  bool quiesced = false;  // no writer can still be inside it
};

struct LogState {
  static LogState& get();

  Tuning tuning;

  // 0 not initialised, 1 being initialised by `init_thread`, 2 ready. Settings below are written
  // only while it is 1 and read only once it is 2 (or by the initialising thread).
  std::atomic<int> init_state{0};
  std::atomic<std::uint32_t> init_thread{0};
  LogSettings settings;
  std::string executable;
  std::string process_name;
  std::uint32_t process_id = 0;
  std::atomic<const TagFilter*> tags{nullptr};
  std::vector<std::unique_ptr<TagFilter>> tag_filters;  // kept until reset; readers may hold one

  // The file and the right to drain buffers: the log thread while running, any thread once shut
  // down. Recursive, because writing may log an error about writing.
  std::recursive_mutex output_mutex;
  std::FILE* file = nullptr;
  std::string file_path;

  // LogBuffer::Globals.
  alignas(64) std::atomic<std::uint32_t> pending{0};
  std::thread thread;
  std::mutex mutex;
  std::condition_variable wake;
  std::atomic<bool> reader_sleeping{false};
  std::atomic<bool> reader_batching{false};
  std::atomic<bool> hurry{false};  // a writer found the buffer full: the batch wait ends now
  alignas(64) std::atomic<int> overruns{0};
  std::atomic<LogBuffer*> current{nullptr};
  alignas(64) std::atomic<std::uint32_t> inserters{0};
  alignas(64) std::deque<OldBuffer> old_buffers;  // oldest first; under output_mutex
  std::atomic<bool> shut_down{false};
  bool first_flush_done = false;
};

// Console and debugger output of one built line, per the output bits.
void write_console_line(const char* line);

}  // namespace dovod::log
