// Stands in for the host software in tests: creates the named shutdown event and ends when it is
// set. Started without an event name, as the shell starts the host, it names its event
// "Global\\" followed by its own file name, so a test can tell that it runs. Options make it
// outlive the event (--linger) or, on Linux, ignore SIGTERM (--ignore-term), as a host that does
// not close by itself would. It ends after a minute whatever happens, so a failed test never
// leaves it behind.
//
//   vorn_host_stand_in [<event name>] [--linger] [--ignore-term]

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>

#include "app/WideText.h"
#include "app/platform/CommandLine.h"
#include "app/platform/NamedEvent.h"
#include "platform/Process.h"

int main(int argc, char** argv) {
  constexpr std::chrono::seconds kLifetime{60};
  std::vector<std::wstring> tokens = vorn::platform::CommandLineTokens(argc, argv);
  std::wstring name;
  if (!tokens.empty() && tokens[0].rfind(L"--", 0) != 0) {
    name = tokens[0];
  } else {
    std::filesystem::path self(vorn::WideFromUtf8(dovod::platform::Process::executable_path()));
    name = L"Global\\" + self.filename().wstring();
  }
  bool linger = false;
  for (const std::wstring& token : tokens) {
    if (token == L"--linger") linger = true;
#ifndef _WIN32
    if (token == L"--ignore-term") std::signal(SIGTERM, SIG_IGN);
#endif
  }
  vorn::platform::NamedEvent event;
  if (!event.create(name)) return 3;
  bool set = event.wait(std::chrono::duration_cast<std::chrono::milliseconds>(kLifetime));
  if (set && linger) std::this_thread::sleep_for(kLifetime);
  return set ? 0 : 4;
}
