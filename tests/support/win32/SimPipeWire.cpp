#include "SimPipeWire.h"

#include <atomic>

namespace dovod::test {

// One client's pipe, seen from the device's side.
struct SimPipeWire::End {
  HANDLE server = INVALID_HANDLE_VALUE;
  // Manual reset: the end is being unplugged.
  HANDLE stop = nullptr;
  // Auto reset: a stall ended.
  HANDLE resume = nullptr;
  // The read of what the client writes; a stall cancels exactly this request.
  OVERLAPPED read{};
  // Serialises input reports written to the client and the final close of the server end.
  std::mutex io;
  // The event of the input report being written to the client, one at a time under `io`.
  HANDLE written = nullptr;
  bool closed = false;
  // The client closed its end, or the end was unplugged: nothing more is read.
  std::atomic<bool> done{false};
  std::thread reader;

  ~End() {
    if (server != INVALID_HANDLE_VALUE) CloseHandle(server);
    if (stop) CloseHandle(stop);
    if (resume) CloseHandle(resume);
    if (read.hEvent) CloseHandle(read.hEvent);
    if (written) CloseHandle(written);
  }
};

SimPipeWire::SimPipeWire(std::shared_ptr<IHardwareDevice> device) : device_(std::move(device)) {}

SimPipeWire::~SimPipeWire() {
  if (device_) {
    Subscriber<IHardwareDevice::Read>::unsubscribe(device_);
    Subscriber<IHardwareDevice::Connect>::unsubscribe(device_);
  }
  unplug();
}

bool SimPipeWire::start() {
  if (!device_ || !device_->open()) return false;
  if (!Subscriber<IHardwareDevice::Read>::subscribe(device_, Direct)) return false;
  return Subscriber<IHardwareDevice::Connect>::subscribe(device_, Direct);
}

void SimPipeWire::serve(HANDLE server_end) {
  auto end = std::make_shared<End>();
  end->server = server_end;
  end->stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  end->resume = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  end->read.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  end->written = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::vector<std::shared_ptr<End>> finished;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // Ends whose clients have gone are let go here, so a long test does not collect threads.
    std::erase_if(ends_, [&](const std::shared_ptr<End>& e) {
      if (!e->done) return false;
      finished.push_back(e);
      return true;
    });
    ends_.push_back(end);
    end->reader = std::thread([this, end] { carry_writes(end); });
  }
  for (const auto& e : finished) finish(e);
}

void SimPipeWire::carry_writes(const std::shared_ptr<End>& end) {
  Byte buffer[4096];
  for (;;) {
    bool issued = false;
    DWORD error = 0;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (WaitForSingleObject(end->stop, 0) == WAIT_OBJECT_0) break;
      if (stalled_) {
        lock.unlock();
        HANDLE wake[2] = {end->stop, end->resume};
        WaitForMultipleObjects(2, wake, FALSE, INFINITE);
        continue;
      }
      // Issued under the lock, so that a stall set meanwhile either sees this request to cancel
      // it or is seen before it is issued.
      issued = ReadFile(end->server, buffer, sizeof(buffer), nullptr, &end->read);
      if (!issued) error = GetLastError();
    }
    DWORD got = 0;
    BOOL ok = FALSE;
    if (issued || error == ERROR_IO_PENDING) {
      HANDLE wake[2] = {end->stop, end->read.hEvent};
      if (WaitForMultipleObjects(2, wake, FALSE, INFINITE) == WAIT_OBJECT_0) CancelIoEx(end->server, &end->read);
      ok = GetOverlappedResult(end->server, &end->read, &got, TRUE);
      error = ok ? 0 : GetLastError();
    }
    if (ok) {
      Bytes report(buffer, buffer + got);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        written_.push_back(report);
      }
      device_->write(std::move(report), false);
      continue;
    }
    // A stall or an unplug cancelled the read: the top of the loop decides what comes next.
    if (error == ERROR_OPERATION_ABORTED) continue;
    // The client closed its end.
    break;
  }
  end->done = true;
}

void SimPipeWire::finish(const std::shared_ptr<End>& end) {
  SetEvent(end->stop);
  if (end->reader.joinable()) {
    if (end->reader.get_id() == std::this_thread::get_id()) {
      end->reader.detach();
    } else {
      end->reader.join();
    }
  }
  std::lock_guard<std::mutex> lock(end->io);
  if (end->closed) return;
  DisconnectNamedPipe(end->server);
  CloseHandle(end->server);
  end->server = INVALID_HANDLE_VALUE;
  end->closed = true;
}

void SimPipeWire::unplug() {
  std::vector<std::shared_ptr<End>> ends;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ends.swap(ends_);
  }
  for (const auto& end : ends) finish(end);
}

void SimPipeWire::set_stalled(bool stalled) {
  std::lock_guard<std::mutex> lock(mutex_);
  stalled_ = stalled;
  for (const auto& end : ends_) {
    if (stalled) {
      CancelIoEx(end->server, &end->read);
    } else {
      SetEvent(end->resume);
    }
  }
}

void SimPipeWire::on_presence(std::function<void(bool present)> handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  presence_ = std::move(handler);
}

int SimPipeWire::open_ends() const {
  std::lock_guard<std::mutex> lock(mutex_);
  int open = 0;
  for (const auto& end : ends_) open += end->done ? 0 : 1;
  return open;
}

std::vector<Bytes> SimPipeWire::written() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return written_;
}

void SimPipeWire::deliver(const Bytes& report) {
  std::vector<std::shared_ptr<End>> ends;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ends = ends_;
  }
  for (const auto& end : ends) {
    std::lock_guard<std::mutex> lock(end->io);
    if (end->closed || end->done) continue;
    OVERLAPPED write{};
    write.hEvent = end->written;
    DWORD put = 0;
    if (!WriteFile(end->server, report.data(), static_cast<DWORD>(report.size()), nullptr, &write) &&
        GetLastError() == ERROR_IO_PENDING) {
      // The pipe is full: its client holds the handle open without reading, as a program may.
      // Windows drops input reports from such a handle's buffer rather than hold up the device and
      // every other handle, so this report is dropped for this client alone.
      CancelIoEx(end->server, &write);
      GetOverlappedResult(end->server, &write, &put, TRUE);
    }
  }
}

void SimPipeWire::onRead(Bytes report, bool, unsigned error, unsigned) {
  if (error == 0 && !report.empty()) deliver(report);
}

void SimPipeWire::onConnect(std::shared_ptr<IHardwareDevice>) {
  std::function<void(bool)> presence;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    presence = presence_;
  }
  if (presence) presence(true);
}

void SimPipeWire::onDisconnect(std::shared_ptr<IHardwareDevice>) {
  unplug();
  std::function<void(bool)> presence;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    presence = presence_;
  }
  if (presence) presence(false);
}

}  // namespace dovod::test
