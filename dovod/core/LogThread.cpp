#include <new>
#include <system_error>
#include <thread>

#include "core/LogFile.h"
#include "core/LogGlobals.h"
#include "core/LogState.h"
#include "core/LogTime.h"
#include "dovod/Vs2003SingletonThreadCleanup.h"
#include "dovod/xLog.h"
#include "platform/Process.h"

namespace dovod::log {
namespace {

constexpr char kShutdown[] = "dovod::LogBuffer::shutdown";

// Bounds of growth: past them a full buffer loses messages (and counts them) instead.
constexpr std::uint64_t kMaxSlots = 2500000;
constexpr std::uint64_t kMaxText = 512u << 20;

// How often, and how long at most, a caller that finds the buffer full yields to the log thread
// before the message counts as lost.
constexpr int kFullTurns = 64;
constexpr std::uint64_t kFullWaitUs = 2000;

// Messages waiting that end the log thread's batch wait early, well before the first buffer fills.
constexpr std::uint32_t kBatchHurry = LogBuffer::kFirstSlots / 4;

// Set while this thread drains buffers or writes directly, so that a line logged meanwhile is
// written as it is instead of draining again from inside the drain.
thread_local bool t_in_output = false;

class OutputScope {
 public:
  OutputScope() : was_(t_in_output) { t_in_output = true; }
  ~OutputScope() { t_in_output = was_; }
  bool nested() const { return was_; }

 private:
  bool was_;
};

void write_out(const LogRecord& record) {
  output_to_file(record);
  LogState::get().pending.fetch_sub(1, std::memory_order_seq_cst);
}

// Writes out all that is buffered on the calling thread, a bounded number of turns in case a
// writer never finishes filling its slot.
void drain_here() {
  OutputScope scope;
  if (scope.nested()) return;
  for (int turns = 0; turns < 50000000 && output_from_oldest_buffer(); ++turns) {
  }
}

void write_direct(const LogRecord& record) {
  LogState& s = LogState::get();
  std::lock_guard<std::recursive_mutex> lock(s.output_mutex);
  drain_here();
  OutputScope scope;
  output_to_file(record);
  flush_log_file("insert");
}

// Runs at process end after everything constructed before the log thread: the logging is ended
// the orderly way, or the process ends without further destructors when no guard allows a join.
struct ProcessEnd {
  ~ProcessEnd() {
    xLog("xlog", LOG_INFO, "dovod::LogBuffer::Globals::~Globals", "%s", "");
    LogBuffer::shutdown();
  }
};

// After a busy spell the log thread waits a little for more before it sleeps, without saying so:
// the messages of steady logging (a few for each packet of an update) then gather and are written
// together, instead of each waking the thread, which costs its caller a system call and the
// processors a thread switch. Many messages waiting end the wait early.
void wait_for_batch(LogState& s) {
  std::unique_lock<std::mutex> lock(s.mutex);
  s.reader_batching.store(true);
  s.wake.wait_for(lock, s.tuning.batch_wait,
                  [&] { return s.shut_down.load() || s.hurry.load() || s.pending.load() >= kBatchHurry; });
  s.reader_batching.store(false);
  s.hurry.store(false);
}

// Ends the log thread's batch wait, for a writer that cannot wait for it.
void hurry_reader(LogState& s) {
  if (!s.reader_batching.load(std::memory_order_seq_cst) || s.hurry.exchange(true)) return;
  { std::lock_guard<std::mutex> lock(s.mutex); }
  s.wake.notify_one();
}

void logthreadproc() {
  LogState& s = LogState::get();
  platform::Process::set_lowest_thread_priority();
  bool busy = false;
  for (std::uint32_t written = 0;; ++written) {
    if (s.shut_down.load() && s.pending.load() == 0) break;
    if (written % 4096 == 0) calibrate_wall_clock();
    if (output_from_oldest_buffer()) {
      busy = true;
      continue;
    }
    if (busy) {
      busy = false;
      wait_for_batch(s);
      continue;
    }
    bool woken;
    {
      std::unique_lock<std::mutex> lock(s.mutex);
      s.reader_sleeping.store(true);
      woken = s.wake.wait_for(lock, s.tuning.flush_wait,
                              [&] { return s.shut_down.load() || s.pending.load() != 0; });
      s.reader_sleeping.store(false);
    }
    if (!woken) {
      flush_log_file("logthreadproc");
      if (!s.first_flush_done) {
        s.first_flush_done = true;
        xLog("xlog", LOG_INFO, "dovod::LogBuffer::logthreadproc", "First flush");
      }
    }
  }
  xLog("xlog", LOG_INFO, "dovod::LogBuffer::logthreadproc", "log thread exiting");
}

LogBuffer* install_first_buffer() {
  LogState& s = LogState::get();
  LogBuffer* fresh = nullptr;
  try {
    fresh = new LogBuffer(s.tuning.first_slots, s.tuning.first_text);
  } catch (const std::bad_alloc&) {
    return s.current.load();
  }
  fresh->prefault_ahead();
  LogBuffer* expected = nullptr;
  if (!s.current.compare_exchange_strong(expected, fresh)) {
    delete fresh;
    return expected;
  }
  if (s.tuning.start_thread) {
    static ProcessEnd process_end;
    try {
      std::lock_guard<std::mutex> lock(s.mutex);
      s.thread = std::thread(logthreadproc);
    } catch (const std::system_error&) {
      // Without a thread the messages wait in the buffer until shutdown writes them directly.
    }
    Vs2003SingletonThreadCleanup::register_cleanup(&LogBuffer::shutdown);
  }
  return fresh;
}

void grow_if_needed(LogBuffer* current) {
  LogState& s = LogState::get();
  std::uint32_t used_slots = current->used_slots();
  std::uint32_t used_text = current->used_text();
  bool slots_hit = used_slots >= current->slot_count - current->slot_threshold;
  bool text_hit = used_text >= current->text_size - current->text_threshold;
  if (!slots_hit && !text_hit) return;
  std::uint64_t slots = std::uint64_t{current->slot_count} * (slots_hit ? 3 : 2);
  std::uint64_t text = std::uint64_t{current->text_size} * (text_hit ? 3 : 2);
  if (slots > kMaxSlots || text > kMaxText) return;
  report_overruns();
  LogBuffer* fresh = nullptr;
  try {
    fresh = new LogBuffer(static_cast<std::uint32_t>(slots), static_cast<std::uint32_t>(text));
  } catch (const std::bad_alloc&) {
  }
  LogBuffer* expected = current;
  if (!fresh || !s.current.compare_exchange_strong(expected, fresh)) {
    delete fresh;
    xLog("xlog", LOG_ERROR, "dovod::LogBuffer::output_from_oldest_buffer", "xLog logbuffer update failed");
    return;
  }
  s.old_buffers.push_back(OldBuffer{std::unique_ptr<LogBuffer>(current), false});
  fresh->prefault_ahead();
  xLog("xlog", LOG_INFO, "dovod::LogBuffer::output_from_oldest_buffer",
       "xLog enlarged buffer from %u/%u to %u/%u, currently using %u/%u", current->slot_count,
       current->text_size, fresh->slot_count, fresh->text_size, used_slots, used_text);
}

}  // namespace

bool insert(const LogRecord& record) {
  LogState& s = LogState::get();
  if (s.shut_down.load(std::memory_order_acquire)) {
    write_direct(record);
    return true;
  }
  const std::uint32_t waiting = s.pending.fetch_add(1, std::memory_order_seq_cst) + 1;
  s.inserters.fetch_add(1, std::memory_order_seq_cst);
  LogBuffer* buffer = s.current.load(std::memory_order_seq_cst);
  if (!buffer) buffer = install_first_buffer();
  bool stored = buffer && buffer->put(record);
  s.inserters.fetch_sub(1, std::memory_order_release);
  // A full buffer usually means the low-priority log thread has not had the processor to grow
  // it; offering it a few turns costs the caller far less than losing the message. The log
  // thread itself, or a thread writing out, cannot help itself that way.
  std::uint64_t give_up_at = stored || !buffer || t_in_output ? 0 : monotonic_now_us() + kFullWaitUs;
  if (give_up_at != 0) hurry_reader(s);
  for (int turn = 0; !stored && turn < kFullTurns && monotonic_now_us() < give_up_at; ++turn) {
    std::this_thread::yield();
    s.inserters.fetch_add(1, std::memory_order_seq_cst);
    buffer = s.current.load(std::memory_order_seq_cst);
    stored = buffer->put(record);
    s.inserters.fetch_sub(1, std::memory_order_release);
  }
  if (!stored) {
    s.pending.fetch_sub(1, std::memory_order_seq_cst);
    s.overruns.fetch_add(1, std::memory_order_relaxed);
    return false;
  }
  if (s.overruns.load(std::memory_order_relaxed) != 0) report_overruns();
  // The reader sleeps only after announcing it, and one of the callers that see it asleep wakes
  // it; taking its mutex once makes sure it is really waiting, so the notification cannot fall
  // between its last look and its wait.
  if (s.reader_sleeping.load(std::memory_order_seq_cst) && s.reader_sleeping.exchange(false)) {
    { std::lock_guard<std::mutex> lock(s.mutex); }
    s.wake.notify_one();
  } else if (waiting == kBatchHurry) {
    hurry_reader(s);
  }
  if (s.shut_down.load(std::memory_order_seq_cst)) {
    std::lock_guard<std::recursive_mutex> lock(s.output_mutex);
    drain_here();
    flush_log_file("insert");
  }
  return true;
}

bool output_from_oldest_buffer() {
  LogState& s = LogState::get();
  std::lock_guard<std::recursive_mutex> lock(s.output_mutex);
  OutputScope scope;
  // Observed before any emptiness check: a buffer replaced earlier can get no further message
  // once no writer is inside put().
  bool quiet = s.inserters.load(std::memory_order_seq_cst) == 0;
  for (OldBuffer& old : s.old_buffers) old.quiesced = old.quiesced || quiet;

  if (LogBuffer* current = s.current.load(std::memory_order_acquire)) {
    grow_if_needed(current);
    s.current.load(std::memory_order_acquire)->prefault_ahead();
  }

  // Older buffers go first, in the order they were replaced. One that a late writer may still put
  // into stays until quiet, but the buffers after it are written out meanwhile: skipping straight to
  // the current one would let a thread's newer messages overtake its older ones.
  for (auto it = s.old_buffers.begin(); it != s.old_buffers.end();) {
    if (it->buffer->output_one_message(write_out)) return true;
    if (it != s.old_buffers.begin() || !it->quiesced) {
      ++it;
      continue;
    }
    xLog("xlog", LOG_INFO, "dovod::LogBuffer::output_from_oldest_buffer",
         "xLog deleting old log buffer containing %u/%u", it->buffer->used_slots(), it->buffer->used_text());
    s.old_buffers.pop_front();
    it = s.old_buffers.begin();
  }
  LogBuffer* current = s.current.load(std::memory_order_acquire);
  return current && current->output_one_message(write_out);
}

void report_overruns() {
  LogState& s = LogState::get();
  int lost = s.overruns.exchange(0);
  if (lost == 0) return;
  if (!xLog("xlog", LOG_ERROR, "dovod::LogBuffer::report_overruns",
            "xLog overrun detected by reader, lost %d messages around this time", lost))
    s.overruns.fetch_add(lost);
}

void flush_for_exit() {
  LogState& s = LogState::get();
  std::lock_guard<std::recursive_mutex> lock(s.output_mutex);
  drain_here();
  flush_log_file("about_to_join");
}

void stop_log_thread() {
  LogState& s = LogState::get();
  s.shut_down.store(true);
  { std::lock_guard<std::mutex> lock(s.mutex); }
  s.wake.notify_all();
  std::thread thread;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    thread = std::move(s.thread);
  }
  if (thread.joinable()) thread.join();
}

void discard_buffers() {
  LogState& s = LogState::get();
  std::lock_guard<std::recursive_mutex> lock(s.output_mutex);
  s.old_buffers.clear();
  delete s.current.exchange(nullptr);
  s.pending.store(0);
  s.overruns.store(0);
}

}  // namespace dovod::log

namespace dovod {

void LogBuffer::shutdown() {
  log::LogState& s = log::LogState::get();
  if (s.shut_down.exchange(true)) {
    xLog("xlog", LOG_INFO, log::kShutdown, "already shut down");
    return;
  }
  xLog("xlog", LOG_INFO, log::kShutdown, "_shutdown set to true");
  { std::lock_guard<std::mutex> lock(s.mutex); }
  xLog("xlog", LOG_INFO, log::kShutdown, "notifying logging thread of shutdown");
  s.wake.notify_all();
  std::thread thread;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    thread = std::move(s.thread);
  }
  if (thread.joinable()) {
    Vs2003SingletonThreadCleanup::about_to_join();
    xLog("xlog", LOG_INFO, log::kShutdown, "joining log thread");
    thread.join();
  }
  xLog("xlog", LOG_INFO, log::kShutdown, "freeing tag info");
  s.tags.store(nullptr);
  xLog("xlog", LOG_INFO, log::kShutdown, "logging is now direct to file, all tags enabled");
}

}  // namespace dovod
