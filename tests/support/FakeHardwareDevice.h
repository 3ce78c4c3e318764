#pragma once
// The hardware device of tests, benchmarks and fuzz targets: it records every write, answers each
// written report through a hook that the test sets, and produces reads and connection changes when
// the test calls the Simulate... methods. Its identity, its open and verification outcomes and its
// failures are the test's to set.

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "dovod/IHardwareBus.h"
#include "dovod/IHardwareDevice.h"
#include "dovod/Producer.h"
#include "dovod/Subscriber.h"

namespace dovod::testing {

class FakeHardwareDevice : public IHardwareDevice,
                           public Producer<IHardwareDevice::Write>,
                           public Producer<IHardwareDevice::Read>,
                           public Producer<IHardwareDevice::Connect> {
 public:
  // The reports a device sends back for one written report, in order; none leaves it unanswered.
  using Answer = std::function<std::vector<Bytes>(const Bytes& written)>;

  // Inline: answers and simulated reads are produced on the calling thread before the call
  // returns. Threaded: they queue for the device's own thread, which produces them in order, as a
  // device behind a read thread sends them.
  enum class Answering { Inline, Threaded };

  // The system error of a failed write, as a device that stopped working reports it.
  static constexpr unsigned kWriteFailure = 31;

  FakeHardwareDevice(std::string path, unsigned pid, Answering answering = Answering::Inline, int bus_type = 0,
                     std::weak_ptr<IHardwareBus> bus = {});
  // Stops the answering thread; what is still queued is never produced.
  ~FakeHardwareDevice() override;

  bool connected() override { return connected_; }
  bool open() override;
  void close() override { ++closes; }
  // Records the report, then either fails (write_fails set or disconnected: onWrite with WriteFailed
  // and kWriteFailure, the same LastError) or produces onWrite and answers it.
  bool write(Bytes report, bool blocking) override;
  std::shared_ptr<IHardwareBus> bus() override { return bus_.lock(); }
  std::string path() override { return path_; }
  unsigned pid() override { return pid_; }
  std::string product_name() override { return product_name_; }
  int bus_type() override { return bus_type_; }
  int command_timeout_ms() override { return timeout_ms; }
  int receiver_detail() override { return receiver_detail_value; }
  bool verify_connection_following_timeout() override;
  std::string combine_key() override { return piece_.combine_key.empty() ? path_ : piece_.combine_key; }
  int piece_bits() override { return piece_.bits; }
  int expected_pieces() override { return piece_.expected; }
  int report_length() override { return piece_.report_length; }

  // How the device presents itself as a collection of a larger device; the defaults make it
  // complete by itself. Set before the device is handed out.
  struct Piece {
    std::string combine_key;  // empty: the path
    int bits = 2;
    int expected = 2;
    int report_length = 20;
  };
  void set_piece(Piece piece) { piece_ = std::move(piece); }
  // Set before the device is handed out; "Fake <path>" until then.
  void set_product_name(std::string name) { product_name_ = std::move(name); }

  // A new, unopened, inline object naming the same device, as an unplug event carries.
  std::shared_ptr<FakeHardwareDevice> fresh_copy() const;

  // Answers every write from now on; an empty hook leaves writes unanswered. Any thread.
  void set_answer(Answer answer);
  // The next write is answered with `reports` instead of the hook. Any thread.
  void ScriptNextAnswer(std::vector<Bytes> reports);
  // Produces onRead(report, false, error, report size), after every answer queued so far.
  void SimulateRead(Bytes report, unsigned error = 0);
  // Changes connected() and produces the Connect event (with no device) on the calling thread.
  void SimulateConnect();
  void SimulateDisconnect();
  // Returns once every answer and read queued so far has been produced.
  void wait_idle();

  // Every report given to write, in order.
  std::vector<Bytes> written() const;
  // Forgets the writes recorded so far, for a device that outlives many runs.
  void clear_written();

  std::atomic<bool> open_fails{false};
  std::atomic<int> opens{0};
  std::atomic<int> closes{0};
  std::atomic<bool> write_fails{false};
  std::atomic<bool> verify_answer{true};
  std::atomic<int> verifications{0};
  // Read and Write subscriptions are refused with LastError NotPresent.
  std::atomic<bool> refuse_subscriptions{false};
  std::atomic<int> timeout_ms{3000};
  std::atomic<int> receiver_detail_value{0};

 protected:
  bool on_subscribe(Subscriber<IHardwareDevice::Read>* s) override;
  bool on_subscribe(Subscriber<IHardwareDevice::Write>* s) override;

 private:
  // One unit of the answering thread's work: the reports to produce for a write or a simulated read.
  struct Pending {
    std::optional<Bytes> written;  // answered through the hook when set
    std::vector<Bytes> reports;
    unsigned error = 0;
  };

  void deliver(Pending pending);
  void enqueue(Pending pending);
  void run();
  bool fail_write(const Bytes& report);

  const std::string path_;
  const unsigned pid_;
  const Answering answering_;
  const int bus_type_;
  const std::weak_ptr<IHardwareBus> bus_;
  std::string product_name_;
  Piece piece_;
  std::atomic<bool> connected_{true};

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::vector<Bytes> written_;
  Answer answer_;
  std::optional<std::vector<Bytes>> next_answer_;
  std::deque<Pending> queue_;
  bool busy_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace dovod::testing
