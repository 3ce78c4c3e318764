#include "MessagePipe.h"

#include <atomic>
#include <string>

namespace dovod::test {
namespace {

// Room for a few thousand input reports that no one reads yet.
constexpr DWORD kOutboundBuffer = 64 * 1024;

std::wstring fresh_pipe_name() {
  static std::atomic<unsigned> counter{0};
  return L"\\\\.\\pipe\\vorn-hid-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
}

}  // namespace

bool open_message_pipe(DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD flags, MessagePipe& pipe) {
  const std::wstring name = fresh_pipe_name();
  HANDLE server =
      CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                       PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, kOutboundBuffer, 0, 0, nullptr);
  if (server == INVALID_HANDLE_VALUE) return false;
  // Setting message mode below needs the right to change the handle's attributes, which reading
  // alone does not bring.
  const DWORD client_access = (access & GENERIC_READ) ? access | FILE_WRITE_ATTRIBUTES : access;
  HANDLE client = ::CreateFileW(name.c_str(), client_access, share, security, OPEN_EXISTING, flags, nullptr);
  if (client == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    CloseHandle(server);
    SetLastError(error);
    return false;
  }
  // A client starts in byte mode, where one read could join two reports.
  DWORD mode = PIPE_READMODE_MESSAGE;
  if ((access & GENERIC_READ) && !SetNamedPipeHandleState(client, &mode, nullptr, nullptr)) {
    const DWORD error = GetLastError();
    CloseHandle(client);
    CloseHandle(server);
    SetLastError(error);
    return false;
  }
  pipe.client = client;
  pipe.server = server;
  return true;
}

}  // namespace dovod::test
