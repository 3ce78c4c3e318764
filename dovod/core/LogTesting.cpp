#include "core/LogTesting.h"

#include "core/LogFile.h"
#include "core/LogGlobals.h"

namespace dovod::log_testing {

void reinitialise(const log::Tuning& tuning) {
  log::LogState& s = log::LogState::get();
  log::stop_log_thread();
  log::discard_buffers();
  {
    std::lock_guard<std::recursive_mutex> lock(s.output_mutex);
    if (s.file) std::fclose(s.file);
    s.file = nullptr;
    s.file_path.clear();
  }
  s.tags.store(nullptr);
  s.tag_filters.clear();
  s.settings = log::LogSettings{};
  s.process_name.clear();
  s.process_id = 0;
  s.first_flush_done = false;
  s.hurry.store(false);
  s.tuning = tuning;
  s.shut_down.store(false);
  s.init_state.store(0);
}

void stop() { log::stop_log_thread(); }

std::string log_file_path() {
  log::LogState& s = log::LogState::get();
  std::lock_guard<std::recursive_mutex> lock(s.output_mutex);
  return s.file_path;
}

bool drain_once() { return log::output_from_oldest_buffer(); }

std::optional<BufferFigures> current_buffer() {
  LogBuffer* b = log::LogState::get().current.load();
  if (!b) return std::nullopt;
  return BufferFigures{b->slot_count, b->text_size, b->used_slots(), b->used_text()};
}

std::size_t old_buffer_count() {
  log::LogState& s = log::LogState::get();
  std::lock_guard<std::recursive_mutex> lock(s.output_mutex);
  return s.old_buffers.size();
}

void replace_file(std::FILE* file) {
  log::LogState& s = log::LogState::get();
  std::lock_guard<std::recursive_mutex> lock(s.output_mutex);
  if (s.file) std::fclose(s.file);
  s.file = file;
}

void flush() { log::flush_log_file("flush"); }

}  // namespace dovod::log_testing
