// The update tool on Windows: a dialog program whose start-up runs the update dialog once. The
// exit status never reports the outcome of the update.

#include <windows.h>

#include "app/CVornDFUApp.h"
#include "app/platform/CommandLine.h"
#include "app/win32/Win32AppWindows.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // The whole command line as the shell splits it; the arguments are not used.
  const std::vector<std::wstring> tokens = vorn::platform::CommandLineTokens(0, nullptr);
  vorn::win32::Win32AppWindows windows;
  vorn::CVornDFUApp app(windows);
  app.InitInstance(tokens);
  return 0;
}
