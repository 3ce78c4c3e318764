#pragma once
// The command engine of one protocol device: it writes a request, matches the reply that answers it
// among everything the hardware device reads, turns error replies and silence into error codes, and
// around that pings, retries, changes its software id when another program uses the same one,
// quarantines a device that stays silent and keeps the reply cache. It knows the device only through
// ICommandEngineHost and the hardware device only through IHardwareDevice.
//
// Threads: commands run on whichever thread a feature or the host calls from (never a read thread:
// they wait for a reply that only the read thread can deliver); replies come in on the hardware
// device's read thread through note_report_received and complete_pending; abandon may come from any
// thread. Failures answer false and leave the code in LastError.
//
// Lock order (a lock may be taken while holding the ones to its left, never the reverse):
//   named mutex -> cmd_mutex_ -> the device's feature-table lock
// swid_mutex_, cache_mutex_ and last_report_mutex_ are leaves: no other mutex is taken under them.
// The read thread holds the hardware device's producer lock while it takes cmd_mutex_, so the
// engine subscribes to reads (through the host) before it takes cmd_mutex_, never under it.
// cmd_mutex_ is held across the hardware write of the request (so that its reply cannot arrive
// before the request is recorded as pending), and across before_synchronous_command and
// verify_connection_following_timeout; it is never held while events are produced
// (report_write_failure, quarantine) or while the host checks the firmware.

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dovod/IHardwareDevice.h"
#include "dovod/Types.h"
#include "platform/NamedMutex.h"
#include "protocol/ICommandEngineHost.h"

namespace dovod {

class CommandEngine {
 public:
  using Clock = std::chrono::steady_clock;
  using Cache = std::map<Bytes, Bytes>;

  // The host outlives the engine; both are members of one device.
  CommandEngine(ICommandEngineHost& host, std::shared_ptr<IHardwareDevice> hwdev);
  CommandEngine(const CommandEngine&) = delete;
  CommandEngine& operator=(const CommandEngine&) = delete;

  // Opens the cross-process mutex that every attempt holds, shared with other programs speaking
  // to the same device. Host thread, during set-up. False when it could not be opened: attempts
  // then fail with NotAvailable rather than go ahead unshared, as they do when another program
  // keeps the mutex past DeviceTuning::named_mutex_wait_ms.
  bool open_named_mutex(const std::string& name);
  // Turns on the workaround for a receiver that answers a request with the previous one's reply.
  void enable_brb_workaround() { brb_enabled_ = true; }

  // Writes one report without waiting for anything. Any thread; blocks only for the hardware write.
  // Fails with Abandoned, DeviceRemoved, InvalidDeviceHandle (hardware device not open), the
  // subscription's error when `subscribe_first` and the subscription failed, or the hardware
  // device's write error. Takes no engine lock itself (send_once calls it under cmd_mutex_).
  bool send(const Bytes& request, bool subscribe_first);

  // One attempt of a synchronous command: the request is written as given and its reply awaited.
  // Command thread; holds the named mutex for the whole attempt (waits for it without limit) and
  // waits at most the hardware device's command_timeout_ms for the reply. On success `reply` holds
  // the whole reply report. Fails with SwidCollision while a software-id change is due on a feature
  // based device, the write's error, NotConnected when the hardware device then reports the device
  // unreachable, NoResponse (timeout, or a reply to the previous request under the receiver
  // workaround), Abandoned, or the code of an error reply (Vexa 1.0 and 2.0 error codes). Every
  // failure except a failed write to a reachable device is also given to report_write_failure.
  bool send_once(const Bytes& request, Bytes& reply, const std::vector<int>& echo_positions);

  // A synchronous command with the reply cache, pings and retries. Command thread. `cache_mode` 1
  // answers a cacheable read request from the cache without touching the device (no lock but
  // cache_mutex_) and stores its reply after a success. Otherwise blocks for at most 11 attempts of
  // send_once, each preceded when needed by a ping (itself one attempt) after a back-off of
  // DeviceTuning's ping_jitter_ms and ping_backoff_base_ms doubled per attempt, plus the host's
  // firmware check after a NoResponse. Fails with NotConnected when quarantined (and quarantines a
  // device that is not directly attached once it stayed silent through 5 attempts), NoResponse after
  // the last retry, the ping's or the attempt's hard error, or the firmware check's error; every
  // failure but quarantine calls command_failed.
  bool send_synchronous(const Bytes& request, Bytes& reply, int cache_mode, const std::vector<int>& echo_positions);

  // Ends the waiting attempt at once and makes every later command fail with Abandoned. Any thread;
  // takes cmd_mutex_ briefly.
  void abandon();
  bool abandoned() const { return abandoned_; }

  // lo + a random number mod (hi - lo + 1), through DeviceTuning's random seam.
  static int random(int lo, int hi);

  // The software id this device's requests carry: the manager's until a collision forced a change,
  // 15 when the manager has none. Any thread, no lock.
  int swid();

  // Read thread, for every report read: stamps its time and marks the device as not silent.
  // Takes last_report_mutex_.
  void note_report_received();
  // When the last report was read; a default time point when none was.
  Clock::time_point last_report() const;
  // Read thread: completes the pending attempt when `report` answers it (the reply, an error reply
  // for it, or under the receiver workaround the previous request's reply) and wakes the waiting
  // command. Takes cmd_mutex_; true when the report was consumed.
  bool complete_pending(const Bytes& report);
  // Read thread: a reply that answers some other program, carrying software id `swid`. Using our
  // id schedules a change of id and a ping; remembers when each id was last seen. Takes
  // swid_mutex_.
  void note_foreign_reply(unsigned swid);

  // The hardware device connected again: a quarantined device may be used again. Host thread.
  void clear_quarantine() { quarantined_ = false; }
  // A new connection ends the receiver workaround until it is needed again. Host thread.
  void end_brb_workaround();
  // The next synchronous command first pings the device (its root feature was just found).
  void request_ping() { need_ping_ = true; }
  // The next synchronous command first checks the firmware through the host.
  void request_firmware_check() { noresponse_seen_ = true; }
  // The firmware check succeeded: commands no longer check first.
  void firmware_checked() { noresponse_seen_ = false; }

  // The reply cache, keyed by requests stored with a fixed software id. Any thread; each takes
  // cache_mutex_ once.
  // Adds the entries that are not there yet; `mark_dirty` makes the next write-out happen.
  void merge_cache(const Cache& entries, bool mark_dirty);
  // Makes the next write-out happen, as after a firmware change.
  void mark_cache_dirty();
  bool cache_dirty() const;
  // The entries to write out; the cache counts as written.
  Cache take_cache_for_writing();
  void clear_cache();

 private:
  // What an attempt saw when its wait ended; taken under cmd_mutex_ and judged after it.
  struct AttemptOutcome {
    bool completed = false;
    bool brb_initiated = false;
    bool abandoned = false;
    Bytes response;
  };
  // What the ping before an attempt decided.
  enum class PingResult { Proceed, Retry, Fail };

  // Sets LastError, tells the host's write-report subscribers, and sets LastError again because
  // those subscribers may have used the thread's record.
  void report_failure(ErrorCode code, unsigned third = 0, unsigned long system_error = 0);
  // Records the request as pending and writes it; false after reporting why when it failed.
  bool write_pending(std::unique_lock<std::mutex>& lock, const Bytes& request,
                     const std::vector<int>& echo_positions);
  // Waits for the reply and clears the pending request; returns with the lock released.
  AttemptOutcome wait_for_reply(std::unique_lock<std::mutex>& lock, int timeout_ms, int& elapsed_ms);
  // Turns what the wait saw into the attempt's result.
  bool judge_outcome(const AttemptOutcome& outcome, Bytes& reply, int elapsed_ms, int timeout_ms);
  // Keeps the pending request for the receiver workaround, which recognises its late reply.
  void remember_last_request();
  bool matches_pending(const Bytes& report, const Bytes& request, const std::vector<int>& echo) const;
  bool is_error_reply_for(const Bytes& report, const Bytes& request) const;

  // The ping that precedes attempt `attempt` when one is due.
  PingResult ping_if_needed(const Bytes& request, int attempt);
  // Backs off before the ping of attempt `attempt` and picks a new software id when one is due.
  void prepare_ping(int attempt);
  // Picks the software id that other programs were seen using least recently.
  void reselect_swid();
  // The message with its software id replaced; messages too short to carry one stay as they are.
  static Bytes with_swid(Bytes message, int swid);
  bool cache_lookup(const Bytes& request, Bytes& reply);
  void cache_store(const Bytes& request, const Bytes& reply);

  ICommandEngineHost& host_;
  const std::shared_ptr<IHardwareDevice> hwdev_;

  // The attempt in progress, guarded by cmd_mutex_; cmd_done_ wakes its wait.
  std::mutex cmd_mutex_;
  std::condition_variable cmd_done_;
  Bytes pending_;
  std::vector<int> echo_positions_;
  Bytes response_;
  bool read_completed_ = true;
  bool brb_initiated_ = false;
  Bytes last_request_;
  std::vector<int> last_echo_positions_;

  const int max_retries_ = 10;
  const int silent_threshold_ = 4;
  // Flags read and written without a lock by the command and read threads.
  std::atomic<bool> silent_{false};
  std::atomic<bool> quarantined_{false};
  std::atomic<bool> need_ping_{false};
  std::atomic<bool> noresponse_seen_{false};
  std::atomic<bool> abandoned_{false};
  std::atomic<bool> brb_enabled_{false};
  std::atomic<bool> brb_active_{false};

  // Software id selection; swid_last_seen_ and swid_stamp_ guarded by swid_mutex_.
  std::mutex swid_mutex_;
  std::atomic<int> swid_{0};
  std::atomic<bool> swid_reselect_{false};
  int swid_stamp_ = 0;
  std::array<int, 16> swid_last_seen_{};

  mutable std::mutex cache_mutex_;
  Cache cache_;
  bool cache_dirty_ = false;

  platform::NamedMutex named_mutex_;
  bool named_mutex_wanted_ = false;  // open_named_mutex was called
  bool named_mutex_open_ = false;

  mutable std::mutex last_report_mutex_;
  Clock::time_point last_report_{};
};

}  // namespace dovod
