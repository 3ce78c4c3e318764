#include "app/win32/WindowPicture.h"

#include <windows.h>
#include <wincodec.h>

#include <system_error>

namespace vorn::win32 {
namespace {

// Releases a COM object when its owner goes out of scope.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() {
    if (object_) object_->Release();
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  T* operator->() const { return object_; }
  T* get() const { return object_; }
  T** out() { return &object_; }

 private:
  T* object_ = nullptr;
};

// COM for this thread while the picture is written; a thread that already has it keeps its own.
class ComScope {
 public:
  ComScope() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  bool usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

 private:
  HRESULT result_;
};

// A top-down 32-bit bitmap the window is drawn into.
class Canvas {
 public:
  Canvas(int width, int height) : width_(width), height_(height), dc_(CreateCompatibleDC(nullptr)) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
    if (dc_ && bitmap_) previous_ = SelectObject(dc_, bitmap_);
  }
  ~Canvas() {
    if (previous_) SelectObject(dc_, previous_);
    if (bitmap_) DeleteObject(bitmap_);
    if (dc_) DeleteDC(dc_);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  bool ready() const { return previous_ != nullptr && bits_ != nullptr; }
  HDC dc() const { return dc_; }
  UINT stride() const { return static_cast<UINT>(width_) * 4; }
  UINT size() const { return stride() * static_cast<UINT>(height_); }
  BYTE* bits() const { return static_cast<BYTE*>(bits_); }

 private:
  int width_;
  int height_;
  HDC dc_;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previous_ = nullptr;
  void* bits_ = nullptr;
};

bool WritePng(const Canvas& canvas, UINT width, UINT height, const std::filesystem::path& file) {
  ComScope com;
  if (!com.usable()) return false;
  ComPtr<IWICImagingFactory> factory;
  ComPtr<IWICStream> stream;
  ComPtr<IWICBitmapEncoder> encoder;
  ComPtr<IWICBitmapFrameEncode> frame;
  // The drawing leaves the unused fourth byte undefined, so the picture is taken as opaque.
  WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGR;
  return SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IWICImagingFactory, reinterpret_cast<void**>(factory.out()))) &&
         SUCCEEDED(factory->CreateStream(stream.out())) &&
         SUCCEEDED(stream->InitializeFromFilename(file.c_str(), GENERIC_WRITE)) &&
         SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.out())) &&
         SUCCEEDED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache)) &&
         SUCCEEDED(encoder->CreateNewFrame(frame.out(), nullptr)) && SUCCEEDED(frame->Initialize(nullptr)) &&
         SUCCEEDED(frame->SetSize(width, height)) && SUCCEEDED(frame->SetPixelFormat(&format)) &&
         IsEqualGUID(format, GUID_WICPixelFormat32bppBGR) &&
         SUCCEEDED(frame->WritePixels(height, canvas.stride(), canvas.size(), canvas.bits())) &&
         SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}

}  // namespace

bool SaveWindowPicture(HWND window, const std::filesystem::path& file) {
  RECT frame;
  if (!window || !GetWindowRect(window, &frame)) return false;
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  if (width <= 0 || height <= 0) return false;
  Canvas canvas(width, height);
  if (!canvas.ready()) return false;
  // A dialog still in its initialisation has nothing on screen yet; it is shown now, without taking
  // the focus, as its modal run would show it next.
  if (!IsWindowVisible(window)) ShowWindow(window, SW_SHOWNA);
  // What is waiting to be painted is painted now, then the window is copied as the screen shows it.
  // Nothing else is repainted: the status text overlaps the progress bar, and painting the two again
  // in another order than the dialog does would hide the bar.
  RedrawWindow(window, nullptr, nullptr, RDW_ALLCHILDREN | RDW_UPDATENOW);
  HDC screen = GetWindowDC(window);
  const BOOL copied = screen && BitBlt(canvas.dc(), 0, 0, width, height, screen, 0, 0, SRCCOPY);
  if (screen) ReleaseDC(window, screen);
  if (!copied) return false;
  GdiFlush();
  if (WritePng(canvas, static_cast<UINT>(width), static_cast<UINT>(height), file)) return true;
  std::error_code ignored;
  std::filesystem::remove(file, ignored);
  return false;
}

}  // namespace vorn::win32
