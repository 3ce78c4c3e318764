#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "ScriptedInputs.h"
#include "app/AppLog.h"
#include "app/UiText.h"
#include "app/win32/Win32Autopilot.h"

// Last, and its PostMessage macro undone, so that the window's own PostMessage keeps its name.
#include <windows.h>
#include <wincodec.h>
#undef PostMessage

namespace vorn::win32 {
namespace {

using vorn::testing::ScriptedInputs;
using Journal = std::vector<std::string>;

// A PNG file read back through the system's codecs: its size and its pixels as 32-bit BGRA.
struct Picture {
  UINT width = 0;
  UINT height = 0;
  std::vector<std::uint32_t> pixels;
};

bool ReadPng(const std::filesystem::path& file, Picture& picture) {
  IWICImagingFactory* factory = nullptr;
  IWICBitmapDecoder* decoder = nullptr;
  IWICBitmapFrameDecode* frame = nullptr;
  IWICFormatConverter* converter = nullptr;
  GUID container{};
  bool ok = SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                       reinterpret_cast<void**>(&factory))) &&
            SUCCEEDED(factory->CreateDecoderFromFilename(file.c_str(), nullptr, GENERIC_READ,
                                                         WICDecodeMetadataCacheOnDemand, &decoder)) &&
            SUCCEEDED(decoder->GetContainerFormat(&container)) && IsEqualGUID(container, GUID_ContainerFormatPng) &&
            SUCCEEDED(decoder->GetFrame(0, &frame)) && SUCCEEDED(frame->GetSize(&picture.width, &picture.height)) &&
            SUCCEEDED(factory->CreateFormatConverter(&converter)) &&
            SUCCEEDED(converter->Initialize(frame, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0,
                                            WICBitmapPaletteTypeCustom));
  if (ok) {
    picture.pixels.resize(std::size_t{picture.width} * picture.height);
    ok = SUCCEEDED(converter->CopyPixels(nullptr, picture.width * 4, static_cast<UINT>(picture.pixels.size() * 4),
                                         reinterpret_cast<BYTE*>(picture.pixels.data())));
  }
  for (IUnknown* object : std::initializer_list<IUnknown*>{converter, frame, decoder, factory}) {
    if (object) object->Release();
  }
  return ok;
}

// A dialog logic that walks through the update's faces as the controller shows them.
class AutopilotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    folder_ = std::filesystem::temp_directory_path() /
              ("vorn_autopilot_" + std::to_string(GetCurrentProcessId()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    SetLogLineSinkForTesting([this](std::wstring_view line) {
      std::lock_guard<std::mutex> lock(mutex_);
      lines_.emplace_back(line.size() >= 11 ? line.substr(11) : line);
    });
    inputs_.on_init = [this] {
      window_.SetProgressRange(0, 64);
      Status(text::kUpdateAvailable);
      window_.Show(control::kStart, true);
    };
    inputs_.on_button = [this](const std::string& button) {
      if (button == "start") {
        window_.Show(control::kStart, false);
        window_.Show(control::kProgress, true);
        Status(text::kUpdating);
        window_.SetTimer(1, 1);
      } else {
        window_.EndDialog(kResultOk);
      }
    };
    inputs_.on_timer = [this](std::uint32_t) {
      window_.SetProgressPosition(window_.ProgressPosition() + 16);
      if (window_.ProgressPosition() < 64) return;
      window_.KillTimer(1);
      Status(text::kSucceeded);
      window_.Show(control::kClose, true);
      window_.Show(control::kProgress, false);
    };
  }
  void TearDown() override {
    SetLogLineSinkForTesting({});
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
    CoUninitialize();
  }

  void Status(int id) { window_.SetText(control::kStatus, LoadText(id)); }

  std::vector<std::wstring> autopilot_lines() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::wstring> out;
    for (const std::wstring& line : lines_)
      if (line.rfind(L"Autopilot: ", 0) == 0) out.push_back(line);
    return out;
  }

  std::filesystem::path folder_;
  Win32DialogWindow window_;
  ScriptedInputs inputs_;
  std::mutex mutex_;
  std::vector<std::wstring> lines_;
};

// Each picture is the whole window as the autopilot saw it: its size, drawn (not one flat colour),
// and different from the picture of the state before.
TEST_F(AutopilotTest, ClicksThroughAnUpdateAndPicturesEachStatus) {
  SIZE window_size{};
  inputs_.on_init = [this, init = inputs_.on_init, &window_size] {
    init();
    RECT frame;
    GetWindowRect(window_.Handle(), &frame);
    window_size = {frame.right - frame.left, frame.bottom - frame.top};
  };
  Win32Autopilot autopilot(window_, {true, 0, folder_});
  EXPECT_EQ(window_.RunModal(inputs_), kResultOk);
  EXPECT_EQ(inputs_.journal, (Journal{"init", "start", "timer 1", "timer 1", "timer 1", "timer 1", "close"}));
  EXPECT_EQ(autopilot_lines(), (std::vector<std::wstring>{L"Autopilot: update-available, progress 0 of 64\n",
                                                          L"Autopilot: updating, progress 0 of 64\n",
                                                          L"Autopilot: succeeded, progress 64 of 64\n"}));
  std::vector<std::uint32_t> previous;
  for (const char* name : {"01-update-available.png", "02-updating.png", "03-updating-half.png", "04-succeeded.png"}) {
    Picture picture;
    ASSERT_TRUE(ReadPng(folder_ / name, picture)) << name;
    EXPECT_EQ(static_cast<LONG>(picture.width), window_size.cx) << name;
    EXPECT_EQ(static_cast<LONG>(picture.height), window_size.cy) << name;
    const std::set<std::uint32_t> colours(picture.pixels.begin(), picture.pixels.end());
    EXPECT_GT(colours.size(), 2u) << name;
    EXPECT_NE(picture.pixels, previous) << name;
    previous = picture.pixels;
  }
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder_)) ++files;
  EXPECT_EQ(files, 4u);
}

// A folder that cannot be made costs the pictures, not the run: each one is reported and the
// autopilot still clicks through.
TEST_F(AutopilotTest, PicturesThatCannotBeSavedAreReportedAndTheRunGoesOn) {
  std::filesystem::create_directories(folder_);
  std::ofstream(folder_ / "file") << "in the way";
  const std::filesystem::path blocked = folder_ / "file" / "pictures";
  Win32Autopilot autopilot(window_, {true, 0, blocked});
  EXPECT_EQ(window_.RunModal(inputs_), kResultOk);
  EXPECT_EQ(inputs_.journal.back(), "close");
  std::vector<std::wstring> failures;
  for (const std::wstring& line : autopilot_lines()) {
    if (line.rfind(L"Autopilot: could not save ", 0) == 0) failures.push_back(line);
  }
  ASSERT_EQ(failures.size(), 4u);
  EXPECT_NE(failures.front().find(L"01-update-available.png"), std::wstring::npos);
  EXPECT_NE(failures.back().find(L"04-succeeded.png"), std::wstring::npos);
}

}  // namespace
}  // namespace vorn::win32
