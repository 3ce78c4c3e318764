#include "app/qt/QtAppWindows.h"

#include "app/AppOptions.h"
#include "app/CVornDFUDlg.h"
#include "app/qt/Autopilot.h"
#include "app/qt/QtDialogWindow.h"
#include "app/simulation/Simulation.h"

namespace vorn::qt {

// Qt has no common controls to register, and the application object exists already.
void QtAppWindows::Initialise() {}

int QtAppWindows::RunDialog() {
  const SimulationRequest simulation = ReadSimulationRequest();
  QtDialogWindow window;
  Autopilot autopilot(window, AutopilotSettingsFromEnvironment());
  // The dialog opens the application log, so the simulator is installed after it, where its lines
  // reach the file, and before the dialog's initialisation first reaches the device library.
  CVornDFUDlg dialog(window, Options(), TimingFor(simulation), HostSoftware(HostConfigFor(simulation)));
  const auto bus = StartSimulation(simulation);
  const int result = window.RunModal(dialog);
  LogSimulationEnd(bus);
  return result;
}

}  // namespace vorn::qt
