#pragma once
// Test seam of the diagnostic log (not part of the library's interface): starts the process-wide
// log afresh with chosen settings, folders, wait and buffer sizes, and shows what reached the
// console and debugger. Callers make sure no other thread logs during a reset.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "core/LogState.h"

namespace dovod::log_testing {

// Stops the log thread without the clean-up guard, closes the file, frees the buffers and
// forgets the settings; the next xLog reads `tuning.settings_key` and initialises again.
void reinitialise(const log::Tuning& tuning);

// Stops the log thread (without the guard) and keeps everything else; logging goes on directly.
void stop();

// The path of this run's log file (empty when none is open).
std::string log_file_path();

// Writes out the oldest buffered message as the log thread would; false when none.
bool drain_once();

struct BufferFigures {
  std::uint32_t slots;
  std::uint32_t text;
  std::uint32_t used_slots;
  std::uint32_t used_text;
};
std::optional<BufferFigures> current_buffer();
std::size_t old_buffer_count();

// Makes `file` the log file (the log closes it); tests give one that fails on write.
void replace_file(std::FILE* file);

void flush();

}  // namespace dovod::log_testing
