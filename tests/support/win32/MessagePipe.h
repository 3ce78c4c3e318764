#pragma once
// What the stand-in system hands out as an opened HID device: the client end of a fresh named pipe
// in message mode, opened with the caller's access and flags (so overlapped I/O works on it as on a
// device), and the server end, from which a wire plays the device. The server end never buffers
// what the client writes: a client's write completes only when the wire has read it, as a HID write
// completes only when the device has taken the report.

#include <windows.h>

namespace dovod::test {

struct MessagePipe {
  HANDLE client = INVALID_HANDLE_VALUE;
  HANDLE server = INVALID_HANDLE_VALUE;
};

// False with the system's last error when either end cannot be made; nothing is left open then.
bool open_message_pipe(DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD flags, MessagePipe& pipe);

}  // namespace dovod::test
