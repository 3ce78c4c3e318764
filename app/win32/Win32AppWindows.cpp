#include "app/win32/Win32AppWindows.h"

#include "app/AppOptions.h"
#include "app/CVornDFUDlg.h"
#include "app/simulation/Simulation.h"
#include "app/win32/Win32Autopilot.h"
#include "app/win32/Win32DialogWindow.h"

// Last, so that its macros (PostMessage ...) do not rename the window interface's functions.
#include <windows.h>
#include <commctrl.h>

namespace vorn::win32 {

// Every standard class of the common controls, the progress bar among them, before any dialog.
void Win32AppWindows::Initialise() {
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
}

int Win32AppWindows::RunDialog() {
  const SimulationRequest simulation = ReadSimulationRequest();
  Win32DialogWindow window;
  Win32Autopilot autopilot(window, AutopilotSettingsFromEnvironment());
  // The dialog opens the application log, so the simulator is installed after it, where its lines
  // reach the file, and before the dialog's initialisation first reaches the device library.
  CVornDFUDlg dialog(window, Options(), TimingFor(simulation), HostSoftware(HostConfigFor(simulation)));
  const auto bus = StartSimulation(simulation);
  const int result = window.RunModal(dialog);
  LogSimulationEnd(bus);
  return result;
}

}  // namespace vorn::win32
