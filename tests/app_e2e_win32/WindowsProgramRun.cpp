#include "WindowsProgramRun.h"

#include <windows.h>

#include "LogText.h"
#include "StandInProcess.h"
#include "app/Settings.h"
#include "app/WideText.h"
#include "platform/Process.h"
#include "platform/Registry.h"

namespace vorn::testing {
namespace {

const wchar_t kShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const wchar_t kDocumentsValue[] = L"Personal";

std::optional<std::wstring> ReadDocumentsSetting() {
  wchar_t value[MAX_PATH * 2] = {};
  DWORD size = sizeof value;
  if (RegGetValueW(HKEY_CURRENT_USER, kShellFolders, kDocumentsValue, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ |
                   RRF_NOEXPAND, nullptr, value, &size) != ERROR_SUCCESS)
    return std::nullopt;
  return std::wstring(value);
}

void WriteDocumentsSetting(const std::wstring& path) {
  RegSetKeyValueW(HKEY_CURRENT_USER, kShellFolders, kDocumentsValue, REG_EXPAND_SZ, path.c_str(),
                  static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
}

std::filesystem::path BesideTest(const wchar_t* name) {
  return std::filesystem::path(WideFromUtf8(dovod::platform::Process::executable_path())).parent_path() / name;
}

}  // namespace

WindowsProgramRun::WindowsProgramRun() {
  folder_ = std::filesystem::temp_directory_path() / UniqueName(L"vorn_e2e", L"");
  documents_ = folder_ / L"Documents";
  std::filesystem::create_directories(documents_);
  saved_documents_ = ReadDocumentsSetting();
  WriteDocumentsSetting(documents_.wstring());
  dovod::platform::Registry::delete_key(kSettingsKey);
  environment[L"VORN_AUTOPILOT"] = L"0";
  environment[L"DOVOD_SIMULATE"] = L"normal";
  environment[L"DOVOD_SIMULATE_SCALE"] = L"0.05";
}

WindowsProgramRun::~WindowsProgramRun() {
  if (saved_documents_) WriteDocumentsSetting(*saved_documents_);
  else RegDeleteKeyValueW(HKEY_CURRENT_USER, kShellFolders, kDocumentsValue);
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

std::optional<int> WindowsProgramRun::run(const std::wstring& arguments, std::chrono::milliseconds limit) {
  // The environment block: the test's own with the run's variables in place, sorted as Windows
  // expects it.
  std::map<std::wstring, std::wstring> variables;
  if (wchar_t* block = GetEnvironmentStringsW()) {
    for (const wchar_t* entry = block; *entry; entry += wcslen(entry) + 1) {
      const std::wstring text(entry);
      const std::size_t equals = text.find(L'=', 1);
      if (equals != std::wstring::npos) variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    FreeEnvironmentStringsW(block);
  }
  for (const auto& [name, value] : environment) {
    if (value.empty()) variables.erase(name);
    else variables[name] = value;
  }
  std::wstring block;
  for (const auto& [name, value] : variables) block += name + L"=" + value + L'\0';
  block += L'\0';

  const std::filesystem::path program = BesideTest(L"vorn-firmware-update.exe");
  std::wstring command = L"\"" + program.wstring() + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(program.wstring().c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                      block.data(), nullptr, &startup, &info))
    return std::nullopt;
  CloseHandle(info.hThread);
  std::optional<int> result;
  if (WaitForSingleObject(info.hProcess, static_cast<DWORD>(limit.count())) == WAIT_OBJECT_0) {
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    result = static_cast<int>(code);
  } else {
    TerminateProcess(info.hProcess, 1);
    WaitForSingleObject(info.hProcess, INFINITE);
  }
  CloseHandle(info.hProcess);
  return result;
}

std::wstring WindowsProgramRun::log(bool* bom, bool* crlf) const { return ReadApplicationLog(log_path(), bom, crlf); }

}  // namespace vorn::testing
