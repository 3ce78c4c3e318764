#include "FakeHardwareDevice.h"

#include "dovod/LastError.h"

namespace dovod::testing {

FakeHardwareDevice::FakeHardwareDevice(std::string path, unsigned pid, Answering answering, int bus_type,
                                       std::weak_ptr<IHardwareBus> bus)
    : path_(std::move(path)),
      pid_(pid),
      answering_(answering),
      bus_type_(bus_type),
      bus_(std::move(bus)),
      product_name_("Fake " + path_) {
  if (answering_ == Answering::Threaded) thread_ = std::thread([this] { run(); });
}

FakeHardwareDevice::~FakeHardwareDevice() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

bool FakeHardwareDevice::open() {
  ++opens;
  return !open_fails;
}

bool FakeHardwareDevice::fail_write(const Bytes& report) {
  Producer<IHardwareDevice::Write>::produce(
      [report](IHardwareDevice::Write* s) { s->onWrite(report, ErrorCode::WriteFailed, kWriteFailure); },
      "FakeHardwareDevice::Write::onWrite");
  // Write handlers may have used this thread's record; the caller reads the write's failure.
  set_last_error(ErrorCode::WriteFailed, kWriteFailure);
  return false;
}

bool FakeHardwareDevice::write(Bytes report, bool) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    written_.push_back(report);
  }
  if (write_fails || !connected_) return fail_write(report);
  Pending pending;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (next_answer_) {
      pending.reports = std::move(*next_answer_);
      next_answer_.reset();
    } else {
      pending.written = report;
    }
  }
  Producer<IHardwareDevice::Write>::produce(
      [report](IHardwareDevice::Write* s) { s->onWrite(report, ErrorCode::None, 0); }, "FakeHardwareDevice::Write::onWrite");
  enqueue(std::move(pending));
  return true;
}

bool FakeHardwareDevice::verify_connection_following_timeout() {
  ++verifications;
  return verify_answer;
}

bool FakeHardwareDevice::on_subscribe(Subscriber<IHardwareDevice::Read>*) {
  if (!refuse_subscriptions) return true;
  set_last_error(ErrorCode::NotPresent, 0, "fake subscription refused");
  return false;
}

bool FakeHardwareDevice::on_subscribe(Subscriber<IHardwareDevice::Write>*) {
  if (!refuse_subscriptions) return true;
  set_last_error(ErrorCode::NotPresent, 0, "fake subscription refused");
  return false;
}

std::shared_ptr<FakeHardwareDevice> FakeHardwareDevice::fresh_copy() const {
  auto copy = std::make_shared<FakeHardwareDevice>(path_, pid_, Answering::Inline, bus_type_, bus_);
  copy->set_piece(piece_);
  copy->set_product_name(product_name_);
  return copy;
}

void FakeHardwareDevice::set_answer(Answer answer) {
  std::lock_guard<std::mutex> lock(mutex_);
  answer_ = std::move(answer);
}

void FakeHardwareDevice::ScriptNextAnswer(std::vector<Bytes> reports) {
  std::lock_guard<std::mutex> lock(mutex_);
  next_answer_ = std::move(reports);
}

void FakeHardwareDevice::SimulateRead(Bytes report, unsigned error) {
  Pending pending;
  pending.reports.push_back(std::move(report));
  pending.error = error;
  enqueue(std::move(pending));
}

void FakeHardwareDevice::SimulateConnect() {
  connected_ = true;
  Producer<IHardwareDevice::Connect>::produce([](IHardwareDevice::Connect* s) { s->onConnect(nullptr); },
                                              "FakeHardwareDevice::Connect::onConnect");
}

void FakeHardwareDevice::SimulateDisconnect() {
  connected_ = false;
  Producer<IHardwareDevice::Connect>::produce([](IHardwareDevice::Connect* s) { s->onDisconnect(nullptr); },
                                              "FakeHardwareDevice::Connect::onDisconnect");
}

void FakeHardwareDevice::wait_idle() {
  std::unique_lock<std::mutex> lock(mutex_);
  idle_.wait(lock, [this] { return queue_.empty() && !busy_; });
}

std::vector<Bytes> FakeHardwareDevice::written() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return written_;
}

void FakeHardwareDevice::clear_written() {
  std::lock_guard<std::mutex> lock(mutex_);
  written_.clear();
}

void FakeHardwareDevice::enqueue(Pending pending) {
  if (answering_ == Answering::Inline) {
    deliver(std::move(pending));
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(pending));
  }
  wake_.notify_all();
}

void FakeHardwareDevice::deliver(Pending pending) {
  if (pending.written) {
    Answer answer;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      answer = answer_;
    }
    if (answer) pending.reports = answer(*pending.written);
  }
  for (const Bytes& report : pending.reports) {
    const unsigned error = pending.error;
    Producer<IHardwareDevice::Read>::produce(
        [report, error](IHardwareDevice::Read* s) {
          s->onRead(report, false, error, static_cast<unsigned>(report.size()));
        },
        "FakeHardwareDevice::Read::onRead");
  }
}

void FakeHardwareDevice::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    Pending pending = std::move(queue_.front());
    queue_.pop_front();
    busy_ = true;
    lock.unlock();
    deliver(std::move(pending));
    lock.lock();
    busy_ = false;
    if (queue_.empty()) idle_.notify_all();
  }
}

}  // namespace dovod::testing
