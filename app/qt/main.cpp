// The update tool on Linux: a Qt application whose start-up runs the update dialog once. The exit
// status never reports the outcome of the update.

#include <QApplication>

#include "app/CVornDFUApp.h"
#include "app/platform/CommandLine.h"
#include "app/qt/QtAppWindows.h"

int main(int argc, char** argv) {
  // Taken before QApplication strips the options it knows, so the tool sees its whole command line.
  const std::vector<std::wstring> tokens = vorn::platform::CommandLineTokens(argc, argv);
  QApplication application(argc, argv);
  vorn::qt::QtAppWindows windows;
  vorn::CVornDFUApp app(windows);
  app.InitInstance(tokens);
  return 0;
}
