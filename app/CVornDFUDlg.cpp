#include "app/CVornDFUDlg.h"

#include "app/AppLog.h"

namespace vorn {

CVornDFUDlg::CVornDFUDlg(IDialogWindow& window, AppOptions& options, DialogTiming timing, HostSoftware host,
                         ResourceFinder find)
    : window_(window), options_(options), timing_(timing), host_(std::move(host)), find_(std::move(find)) {
  OpenApplicationLog();
}

CVornDFUDlg::~CVornDFUDlg() = default;

bool CVornDFUDlg::OnInitDialog() { return true; }
void CVornDFUDlg::OnTimer(std::uint32_t id) { window_.KillTimer(id); }
std::intptr_t CVornDFUDlg::OnMessage(std::uint32_t, std::uintptr_t) { return 0; }
void CVornDFUDlg::OnStartClicked() {}
void CVornDFUDlg::OnCloseClicked() { OnOK(); }
void CVornDFUDlg::OnOK() { window_.EndDialog(kResultOk); }
void CVornDFUDlg::OnCancel() { window_.EndDialog(kResultCancel); }
void CVornDFUDlg::onRunLoopEvent() { window_.SetTimer(timer::kRunLoop, 0); }
void CVornDFUDlg::onDeviceArrival(std::shared_ptr<dovod::IDevice>) {}
void CVornDFUDlg::onDeviceRemoval(std::shared_ptr<dovod::IDevice>) {}
void CVornDFUDlg::onConnect(std::shared_ptr<dovod::IDevice>, bool) {}
void CVornDFUDlg::onDisconnect(std::shared_ptr<dovod::IDevice>) {}
void CVornDFUDlg::onFirmwareChanged(std::shared_ptr<dovod::IDevice>) {}
void CVornDFUDlg::onDfuStatus(unsigned, dovod::Bytes) {}
void CVornDFUDlg::ResetFailureFlagForTesting() {}

}  // namespace vorn
