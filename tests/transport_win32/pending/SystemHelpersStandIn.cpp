// The bus tests never reach these: their system object answers the helpers itself and the tests
// make every bus with it. They only complete the interface for linking.

#include "Source/Windows/IWin32System.h"

namespace dovod {

std::string IWin32System::setupdi_parent(const std::string& instance) { return instance; }
std::string IWin32System::setupdi_instance_from_devnode(DEVINST) { return {}; }
std::string IWin32System::setupdi_instance_from_path(const std::string&) { return {}; }
std::string IWin32System::setupdi_path_from_instance(const std::string&, const GUID*) { return {}; }

std::shared_ptr<IWin32System> make_win32_system() { return nullptr; }

}  // namespace dovod
