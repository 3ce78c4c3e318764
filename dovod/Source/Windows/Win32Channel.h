#pragma once
// One open handle of a Windows HID collection: overlapped reads and writes, each waiting on its own
// event beside a stop event, and the bus registration that lets the bus close the handle when
// Windows asks to remove the device. Every call that names the handle runs while the bus still
// tracks it, so a handle value the bus has closed (and Windows may have handed to someone else) is
// never used again.

#include <windows.h>

#include <atomic>
#include <memory>

#include "Source/HidChannel.h"

namespace dovod {

class Win32Bus;

class Win32Channel : public HidChannel {
 public:
  // Takes `handle`, open for overlapped I/O and registered with the bus as `notification`.
  // `input_length` is the length of every input report.
  Win32Channel(std::weak_ptr<Win32Bus> bus, HANDLE handle, HDEVNOTIFY notification, unsigned input_length);
  // Unregisters the handle, which closes it unless the bus did already, after any request of its
  // own has finished.
  ~Win32Channel() override;
  Win32Channel(const Win32Channel&) = delete;
  Win32Channel& operator=(const Win32Channel&) = delete;

  // False when the events could not be made; the channel then holds nothing.
  bool ready() const { return stop_event_ && read_event_ && write_event_; }

  ReadResult read(Bytes& buffer) override;
  WriteResult write(const Bytes& report, std::chrono::milliseconds limit) override;
  void stop() override;
  bool still_open() override;

 private:
  // Runs `start` (a ReadFile, WriteFile or CancelIoEx on the handle) only while the bus still
  // holds the handle; false when it no longer does.
  template <typename Call>
  bool with_handle(Call start);
  // Cancels `request` and waits until the system has let go of it and its buffer.
  void cancel_and_wait(OVERLAPPED& request);
  ReadResult finish_read(DWORD error, DWORD transferred, Bytes& buffer);

  const std::weak_ptr<Win32Bus> bus_;
  const HANDLE handle_;
  const HDEVNOTIFY notification_;
  // Manual reset: once stopped, every later wait sees it.
  const HANDLE stop_event_;
  const HANDLE read_event_;
  const HANDLE write_event_;
  OVERLAPPED read_request_{};
  OVERLAPPED write_request_{};
  // The read buffer the system writes into: the channel's own, so that it outlives a request the
  // read thread abandoned.
  Bytes read_buffer_;
  Bytes write_buffer_;
  std::atomic<bool> read_pending_{false};
};

}  // namespace dovod
