#pragma once
// A named event through which one process tells another to act, such as the host software's
// shutdown event. The host creates it and waits; others open and set it. On Windows a named event
// object. On Linux a Unix datagram socket in the user's runtime folder, which no other user can
// enter: opening it needs the socket to be the user's, setting it sends one datagram, and the
// creator counts only datagrams from the user or root. As root for another user (sudo), the tool
// opens that user's events.

#include <chrono>
#include <string>
#include <string_view>

namespace vorn::platform {

class NamedEvent {
 public:
  NamedEvent() = default;
  ~NamedEvent();
  NamedEvent(const NamedEvent&) = delete;
  NamedEvent& operator=(const NamedEvent&) = delete;

  // Opens an event that another process created, with the right to set it; false when none exists.
  bool open_existing(std::wstring_view name);
  bool set();

  // The creator's side: makes the event, then waits until someone sets it. `create` fails when
  // the name is taken.
  bool create(std::wstring_view name);
  // Waits until the event is set; a negative timeout waits for ever. True when it was set.
  bool wait(std::chrono::milliseconds timeout);

  void close();

 private:
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
  std::string path_;           // the socket file this object created
  unsigned long inode_ = 0;    // so that close() removes only that file
#endif
};

}  // namespace vorn::platform
