#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "ScriptedInputs.h"
#include "app/UiText.h"
#include "app/win32/Win32DialogWindow.h"

// Last, and its PostMessage macro undone, so that the window's own PostMessage keeps its name.
#include <windows.h>
#include <commctrl.h>
#undef PostMessage

namespace vorn::win32 {
namespace {

using vorn::testing::ScriptedInputs;

std::wstring WindowText(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[64] = {};
  GetClassNameW(hwnd, name, 64);
  return name;
}

RECT ClientRectOf(HWND control) {
  RECT r;
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

LOGFONTW FontOf(HWND hwnd) {
  LOGFONTW font{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0)), sizeof font, &font);
  return font;
}

class WindowTest : public ::testing::Test {
 protected:
  Win32DialogWindow window_;
  ScriptedInputs inputs_;
};

// Template 102 as the program carries it: the dialog's frame and font, and each control in tab
// order with its id, class and styles. The fields follow the extended template's layout.
struct ItemTemplate {
  int id = 0;
  std::wstring window_class;
  DWORD style = 0;
  RECT units{};  // x, y, width, height
};

struct DialogTemplate {
  DWORD style = 0;
  DWORD ex_style = 0;
  int width = 0;
  int height = 0;
  int point_size = 0;
  std::wstring face;
  std::vector<ItemTemplate> items;
};

class TemplateReader {
 public:
  explicit TemplateReader(const BYTE* data) : at_(data), start_(data) {}
  WORD word() { WORD v; std::memcpy(&v, at_, 2); at_ += 2; return v; }
  DWORD dword() { DWORD v; std::memcpy(&v, at_, 4); at_ += 4; return v; }
  BYTE byte() { return *at_++; }
  std::wstring text() {
    std::wstring out;
    for (WORD c = word(); c != 0; c = word()) out.push_back(static_cast<wchar_t>(c));
    return out;
  }
  // A name or an ordinal (0xFFFF followed by it); ordinals are the predefined control classes.
  std::wstring name_or_ordinal() {
    WORD first;
    std::memcpy(&first, at_, 2);
    if (first == 0xFFFF) {
      at_ += 2;
      switch (word()) {
        case 0x0080: return L"Button";
        case 0x0081: return L"Edit";
        case 0x0082: return L"Static";
        case 0x0083: return L"ListBox";
        case 0x0084: return L"ScrollBar";
        case 0x0085: return L"ComboBox";
        default: return L"?";
      }
    }
    return text();
  }
  void align() { at_ = start_ + ((at_ - start_ + 3) & ~std::ptrdiff_t{3}); }

 private:
  const BYTE* at_;
  const BYTE* start_;
};

DialogTemplate ReadTemplate() {
  DialogTemplate result;
  HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(kDialogTemplate), MAKEINTRESOURCEW(5));  // RT_DIALOG
  if (!found) return result;
  TemplateReader r(static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found))));
  if (r.word() != 1 || r.word() != 0xFFFF) return result;  // an extended template
  r.dword();                                              // help id
  result.ex_style = r.dword();
  result.style = r.dword();
  const WORD count = r.word();
  r.word();
  r.word();
  result.width = static_cast<short>(r.word());
  result.height = static_cast<short>(r.word());
  r.name_or_ordinal();  // menu
  r.name_or_ordinal();  // class
  r.text();             // caption
  if (result.style & DS_SETFONT) {
    result.point_size = r.word();
    r.word();
    r.byte();
    r.byte();
    result.face = r.text();
  }
  for (WORD i = 0; i < count; ++i) {
    r.align();
    ItemTemplate item;
    r.dword();  // help id
    r.dword();  // extended style
    item.style = r.dword();
    const short x = static_cast<short>(r.word());
    const short y = static_cast<short>(r.word());
    const short cx = static_cast<short>(r.word());
    const short cy = static_cast<short>(r.word());
    item.units = {x, y, cx, cy};
    item.id = static_cast<int>(r.dword());
    item.window_class = r.name_or_ordinal();
    r.name_or_ordinal();  // text
    const WORD extra = r.word();
    for (WORD b = 0; b < extra; ++b) r.byte();
    result.items.push_back(item);
  }
  return result;
}

// Every control of template 102 in tab order, with its kind and styles, and its place in pixels as
// the dialog manager converts the template's units with the dialog's own font (each of x, y, width
// and height on its own).
TEST_F(WindowTest, TemplateGivesEveryControlItsIdKindStylesAndPlace) {
  struct Expected {
    int id;
    const wchar_t* window_class;
    DWORD styles;  // all of these set
    DWORD absent;  // none of these set
    RECT units;    // x, y, width, height
  };
  constexpr DWORD kText = SS_LEFT | WS_VISIBLE | WS_CHILD;
  constexpr DWORD kButton = BS_PUSHBUTTON | WS_TABSTOP | WS_CHILD;
  const std::array<Expected, 9> expected{{
      {1001, L"Static", kText, SS_TYPEMASK, {131, 15, 259, 25}},
      {1000, L"msctls_progress32", WS_BORDER | WS_CHILD, WS_VISIBLE, {16, 223, 369, 11}},
      {1002, L"ListBox",
       LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_NOSEL | WS_BORDER | WS_VSCROLL | WS_HSCROLL | WS_VISIBLE | WS_CHILD,
       LBS_SORT | LBS_MULTIPLESEL | LBS_EXTENDEDSEL, {16, 123, 369, 43}},
      {1004, L"Static", kText, SS_TYPEMASK, {16, 188, 369, 60}},
      {1005, L"Button", kButton, WS_VISIBLE | BS_DEFPUSHBUTTON, {280, 217, 110, 17}},
      {1008, L"Button", kButton, WS_VISIBLE | BS_DEFPUSHBUTTON, {280, 217, 110, 17}},
      {1006, L"Static", kText, SS_TYPEMASK, {131, 50, 259, 25}},
      {1007, L"Static", SS_ICON | WS_VISIBLE | WS_CHILD, 0, {33, 18, 18, 16}},
      {1003, L"Static", kText, SS_TYPEMASK, {16, 110, 369, 8}},
  }};
  const DialogTemplate dialog_template = ReadTemplate();
  EXPECT_EQ(dialog_template.width, 401);
  EXPECT_EQ(dialog_template.height, 242);
  EXPECT_EQ(dialog_template.point_size, 8);
  EXPECT_EQ(dialog_template.face, L"MS Shell Dlg");
  EXPECT_EQ(dialog_template.style & (WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE),
            WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE);
  EXPECT_EQ(dialog_template.style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0u);
  EXPECT_EQ(dialog_template.ex_style & WS_EX_APPWINDOW, static_cast<DWORD>(WS_EX_APPWINDOW));
  ASSERT_EQ(dialog_template.items.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const Expected& e = expected[i];
    const ItemTemplate& item = dialog_template.items[i];
    EXPECT_EQ(item.id, e.id) << "tab position " << i;
    EXPECT_EQ(CompareStringOrdinal(item.window_class.c_str(), -1, e.window_class, -1, TRUE), CSTR_EQUAL) << e.id;
    if (e.id == control::kPicture) {
      EXPECT_EQ(item.style & SS_TYPEMASK, static_cast<DWORD>(SS_ICON));
    }
    EXPECT_EQ(item.style & e.styles, e.styles) << e.id;
    EXPECT_EQ(item.style & e.absent, 0u) << e.id;
    EXPECT_EQ(item.units.left, e.units.left) << e.id;
    EXPECT_EQ(item.units.top, e.units.top) << e.id;
    EXPECT_EQ(item.units.right, e.units.right) << e.id;
    EXPECT_EQ(item.units.bottom, e.units.bottom) << e.id;
  }

  bool checked = false;
  inputs_.on_init = [&] {
    HWND dialog = window_.Handle();
    RECT size{0, 0, 401, 242};
    MapDialogRect(dialog, &size);
    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);
    EXPECT_NE(GetWindowLongPtrW(dialog, GWL_EXSTYLE) & WS_EX_APPWINDOW, 0);
    // 8 points at the screen's resolution.
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(FontOf(dialog).lfHeight, -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72));
    ReleaseDC(nullptr, screen);

    HWND child = GetWindow(dialog, GW_CHILD);
    for (const Expected& e : expected) {
      ASSERT_NE(child, nullptr) << e.id;
      EXPECT_EQ(GetDlgCtrlID(child), e.id);
      EXPECT_EQ(child, window_.Control(e.id));
      EXPECT_EQ(CompareStringOrdinal(ClassOf(child).c_str(), -1, e.window_class, -1, TRUE), CSTR_EQUAL) << e.id;
      EXPECT_EQ((GetWindowLongPtrW(child, GWL_STYLE) & WS_VISIBLE) != 0, (e.styles & WS_VISIBLE) != 0) << e.id;
      RECT pixels = e.units;
      MapDialogRect(dialog, &pixels);
      const RECT placed = ClientRectOf(child);
      EXPECT_EQ(placed.left, pixels.left) << e.id;
      EXPECT_EQ(placed.top, pixels.top) << e.id;
      EXPECT_EQ(placed.right - placed.left, pixels.right) << e.id;
      EXPECT_EQ(placed.bottom - placed.top, pixels.bottom) << e.id;
      child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(child, nullptr);
    EXPECT_EQ(window_.Control(4242), nullptr);
    checked = true;
    window_.EndDialog(kResultOk);
  };
  EXPECT_EQ(window_.RunModal(inputs_), kResultOk);
  EXPECT_TRUE(checked);
  EXPECT_EQ(window_.Handle(), nullptr);
}

// The string table of the thread locale's language answers; a language without one gets English.
TEST_F(WindowTest, TextsFollowTheThreadLocaleWithEnglishForALanguageWithoutATable) {
  struct Case {
    LANGID language;
    const wchar_t* heading;
    const wchar_t* caption;
  };
  const Case cases[] = {
      {0x0409, L"Release Notes", L"Corvane Vorn Wireless Gaming Keyboard Update Tool v5.1.17"},
      {0x0407, L"Versionshinweise", L"Corvane Vorn Wireless Gaming Keyboard Update-Tool v5.1.17"},
      {0x0408, L"Release Notes", L"Corvane Vorn Wireless Gaming Keyboard Update Tool v5.1.17"},  // Greek
  };
  const LCID saved = GetThreadLocale();
  for (const Case& c : cases) {
    ASSERT_TRUE(SetThreadLocale(MAKELCID(c.language, SORT_DEFAULT)));
    Win32DialogWindow window;
    ScriptedInputs inputs;
    inputs.on_init = [&] {
      window.SetText(control::kCaption, LoadText(text::kCaption));
      window.SetText(control::kNotesHeading, LoadText(text::kNotesHeading));
      EXPECT_EQ(WindowText(window.Handle()), c.caption) << c.language;
      EXPECT_EQ(WindowText(window.Control(control::kNotesHeading)), c.heading) << c.language;
      window.EndDialog(kResultOk);
    };
    window.RunModal(inputs);
  }
  SetThreadLocale(saved);
}

TEST_F(WindowTest, FaceOperationsReachTheControls) {
  inputs_.on_init = [&] {
    HWND dialog = window_.Handle();
    const LOGFONTW original = FontOf(window_.Control(control::kStatus));
    window_.MakeStatusTextBold();
    // The bold copy stays through every later change of the face.
    window_.SetText(control::kStatus, L"first");
    window_.Show(control::kStatus, false);
    window_.Show(control::kStatus, true);
    window_.SetText(control::kStatus, L"second");
    EXPECT_EQ(window_.Text(control::kStatus), L"second");
    EXPECT_EQ(WindowText(window_.Control(control::kStatus)), L"second");
    // A control the logic never gave a text answers with the template's.
    EXPECT_EQ(window_.Text(control::kIntro), WindowText(window_.Control(control::kIntro)));
    EXPECT_FALSE(window_.Text(control::kIntro).empty());
    const LOGFONTW bold = FontOf(window_.Control(control::kStatus));
    EXPECT_EQ(bold.lfWeight, FW_BOLD);
    EXPECT_EQ(bold.lfHeight, original.lfHeight);
    EXPECT_EQ(std::wstring(bold.lfFaceName), std::wstring(original.lfFaceName));
    EXPECT_EQ(FontOf(window_.Control(control::kIntro)).lfWeight, original.lfWeight);

    window_.SetProgressRange(0, 183824);
    window_.SetProgressStep(32);
    window_.SetProgressPosition(100000);
    EXPECT_EQ(window_.ProgressPosition(), 100000u);
    EXPECT_EQ(window_.ProgressHigh(), 183824u);
    window_.SetProgressPosition(200000);  // the control keeps within its range
    EXPECT_EQ(window_.ProgressPosition(), 183824u);

    window_.AddListLine(L"* first note");
    window_.SetListHorizontalExtent(1200);
    HWND list = window_.Control(control::kReleaseNotes);
    EXPECT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 1);
    EXPECT_EQ(SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0), 1200);

    // The dialog itself is not shown before its initialisation returns; the control's own flag counts.
    auto shown = [&](int id) { return (GetWindowLongPtrW(window_.Control(id), GWL_STYLE) & WS_VISIBLE) != 0; };
    window_.Show(control::kStart, true);
    EXPECT_TRUE(shown(control::kStart));
    window_.Show(control::kStart, false);
    EXPECT_FALSE(shown(control::kStart));

    window_.SetWindowIcons();
    HICON big = reinterpret_cast<HICON>(SendMessageW(dialog, WM_GETICON, ICON_BIG, 0));
    EXPECT_NE(big, nullptr);
    EXPECT_NE(SendMessageW(dialog, WM_GETICON, ICON_SMALL, 0), 0);
    // The drag image of the minimised dialog is the application icon.
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(dialog, WM_QUERYDRAGICON, 0, 0)), big);

    window_.SetProductPicture();
    HWND picture = window_.Control(control::kPicture);
    HICON image = reinterpret_cast<HICON>(SendMessageW(picture, STM_GETICON, 0, 0));
    ASSERT_NE(image, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(image, &info));
    BITMAP bitmap{};
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, kProductPictureWidth);
    if (info.hbmColor) {
      // A monochrome icon's mask holds its image and its mask, one above the other.
      EXPECT_EQ(bitmap.bmHeight, kProductPictureHeight);
      DeleteObject(info.hbmColor);
    }
    DeleteObject(info.hbmMask);
    window_.EndDialog(kResultOk);
  };
  EXPECT_EQ(window_.RunModal(inputs_), kResultOk);
}

// The control is given a new position only when its bar would be drawn at least a pixel longer or
// shorter, since each position repaints it at once; the dialog's logic reads back every position it
// set, and the ends always reach the control.
TEST_F(WindowTest, ProgressBarIsGivenOnlyAPositionItsBarCanShow) {
  constexpr std::uint32_t kHigh = 183824;
  inputs_.on_init = [&] {
    HWND bar = window_.Control(control::kProgress);
    RECT client{};
    GetClientRect(bar, &client);
    const std::uint32_t width = static_cast<std::uint32_t>(client.right - client.left);
    ASSERT_GT(width, 8u);
    // The first position that fills `pixels` of the bar.
    auto filling = [&](std::uint32_t pixels) { return (pixels * kHigh + width - 1) / width; };
    window_.SetProgressRange(0, kHigh);
    struct Step {
      const char* what;
      std::uint32_t position;
      std::uint32_t drawn;
    };
    const Step steps[] = {
        {"a packet, less than a pixel", 16, 0},
        {"just short of the first pixel", filling(1) - 1, 0},
        {"the first pixel", filling(1), filling(1)},
        {"within the first pixel", filling(1) + 1, filling(1)},
        {"several pixels at once", filling(5) + 3, filling(5) + 3},
        {"a pixel back", filling(5) - 1, filling(5) - 1},
        {"back to the start", 0, 0},
        {"one short of the end", kHigh - 1, kHigh - 1},
        {"the end", kHigh, kHigh},
        {"past the end, kept within the range", 200000, kHigh},
    };
    for (const Step& step : steps) {
      window_.SetProgressPosition(step.position);
      EXPECT_EQ(window_.ProgressPosition(), std::min(step.position, kHigh)) << step.what;
      EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), static_cast<LRESULT>(step.drawn)) << step.what;
    }
    // A narrower range keeps the position within it, in the control as in what the logic reads.
    window_.SetProgressRange(0, 1000);
    EXPECT_EQ(window_.ProgressPosition(), 1000u);
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 1000);
    window_.EndDialog(kResultOk);
  };
  EXPECT_EQ(window_.RunModal(inputs_), kResultOk);
}

// Window timers fire by their own ids until killed; a killed one never fires again.
TEST_F(WindowTest, TimersFireByIdUntilKilled) {
  constexpr std::uint32_t kFirst = 0xDEADBEEF;
  constexpr std::uint32_t kSecond = 0xABBABABE;
  int first = 0;
  int second = 0;
  inputs_.on_init = [&] {
    window_.SetTimer(kFirst, 1);
    window_.SetTimer(kSecond, 2);
    EXPECT_TRUE(window_.TimerRunning(kFirst));
  };
  inputs_.on_timer = [&](std::uint32_t id) {
    if (id == kFirst && ++first == 3) {
      window_.KillTimer(kFirst);
      window_.KillTimer(0x12345678);  // never started: nothing happens
      EXPECT_FALSE(window_.TimerRunning(kFirst));
    }
    if (id == kSecond && ++second == 8) window_.EndDialog(kResultOk);
    ASSERT_TRUE(id == kFirst || id == kSecond) << id;
  };
  EXPECT_EQ(window_.RunModal(inputs_), kResultOk);
  EXPECT_EQ(first, 3);
  EXPECT_EQ(second, 8);
}

// A timer started again before it is due, as the packet timer is with every packet, fires one period
// after the last start and not before, however often it was started in between.
TEST_F(WindowTest, ATimerStartedAgainBeforeItIsDueWaitsItsPeriodFromTheLastStart) {
  constexpr std::uint32_t kRestarted = 0xDEADBEEF;
  constexpr std::uint32_t kTick = 0x72727272;
  constexpr std::uint32_t kPeriod = 150;
  int ticks = 0;
  int fired = 0;
  std::uint64_t last_start = 0;
  std::uint64_t fired_at = 0;
  inputs_.on_init = [&] {
    window_.SetTimer(kRestarted, kPeriod);
    last_start = GetTickCount64();
    window_.SetTimer(kTick, 1);
  };
  inputs_.on_timer = [&](std::uint32_t id) {
    if (id == kTick) {
      ++ticks;
      // Started again for well over one period, then left alone; a run that never fires ends here.
      if (fired == 0 && ticks < 40) {
        window_.SetTimer(kRestarted, kPeriod);
        last_start = GetTickCount64();
      }
      if (ticks > 2000) window_.EndDialog(kResultCancel);
      return;
    }
    ++fired;
    fired_at = GetTickCount64();
    window_.EndDialog(kResultOk);
  };
  EXPECT_EQ(window_.RunModal(inputs_), kResultOk);
  EXPECT_EQ(fired, 1);
  EXPECT_GE(ticks, 2);
  EXPECT_GE(fired_at - last_start, kPeriod - 16) << "fired before its period from the last start";
}

// A zero-period request for the id of a running window timer replaces it: one expiry, and the
// timer's own period never fires again while another timer keeps ticking.
TEST_F(WindowTest, ZeroPeriodRequestReplacesARunningTimerOfTheSameId) {
  constexpr std::uint32_t kReplaced = 0x51515151;
  constexpr std::uint32_t kWatch = 0x72727272;
  int replaced = 0;
  int watch = 0;
  inputs_.on_init = [&] {
    window_.SetTimer(kReplaced, 1);
    window_.SetTimer(kReplaced, 0);
    window_.SetTimer(kWatch, 1);
  };
  inputs_.on_timer = [&](std::uint32_t id) {
    if (id == kReplaced) {
      ++replaced;
      EXPECT_FALSE(window_.TimerRunning(kReplaced));
    }
    if (id == kWatch && ++watch == 5) window_.EndDialog(kResultOk);
  };
  EXPECT_EQ(window_.RunModal(inputs_), kResultOk);
  EXPECT_EQ(replaced, 1);
}

// Zero-period requests from another thread, as the library's run-loop trigger makes them, each
// expire once, in the order asked, none lost; a real period asked from there starts a real timer.
TEST_F(WindowTest, ZeroPeriodRequestsFromAnotherThreadExpireOnceEachInOrder) {
  constexpr std::uint32_t kRequests = 2000;
  constexpr std::uint32_t kRealTimer = 0xACACCACA;
  std::vector<std::uint32_t> expired;
  std::thread trigger;
  inputs_.on_init = [&] {
    trigger = std::thread([&] {
      for (std::uint32_t id = 1; id <= kRequests; ++id) window_.SetTimer(id, 0);
      window_.SetTimer(kRealTimer, 1);
    });
  };
  inputs_.on_timer = [&](std::uint32_t id) {
    if (id == kRealTimer) {
      window_.KillTimer(id);
      window_.EndDialog(kResultOk);
      return;
    }
    expired.push_back(id);
  };
  EXPECT_EQ(window_.RunModal(inputs_), kResultOk);
  trigger.join();
  ASSERT_EQ(expired.size(), kRequests);
  for (std::uint32_t i = 0; i < kRequests; ++i) ASSERT_EQ(expired[i], i + 1);
  // Once the dialog has ended a request reaches nobody.
  window_.SetTimer(1, 0);
}

// Posted messages arrive after the handler that posted them, in posting order, with their own
// message number and parameter; the posted quit ends the run with its code after what was queued.
// An action asked for after the current message runs before any of them.
TEST_F(WindowTest, PostedMessagesArriveInOrderAndQuitEndsTheRun) {
  std::vector<std::string> seen;
  inputs_.on_init = [&] {
    window_.PostMessage(kSwitchStateMessage, 5);
    window_.AfterCurrentMessage([&] { seen.push_back("after init"); });
    window_.PostMessage(kSwitchStateMessage, 9);
    window_.PostMessage(0x0402, 11);
    seen.push_back("init returns");
  };
  inputs_.on_message = [&](std::uint32_t message, std::uintptr_t wparam) {
    seen.push_back(std::to_string(message) + ":" + std::to_string(wparam));
    if (wparam == 9) window_.PostQuit(7);
    if (wparam == 11) window_.PostMessage(0x0401, 12);
  };
  EXPECT_EQ(window_.RunModal(inputs_), 7);
  EXPECT_EQ(seen, (std::vector<std::string>{"init returns", "after init", "1025:5", "1025:9", "1026:11"}));
}

// Enter, Esc or the close box, and both buttons reach the dialog's logic, which alone ends the
// window: a refused close leaves it running.
TEST_F(WindowTest, CloseRequestsGoToTheLogicWhichDecides) {
  inputs_.on_init = [&] {
    HWND dialog = window_.Handle();
    // The close box's WM_CLOSE becomes a Cancel the dialog manager posts.
    SendMessageW(dialog, WM_CLOSE, 0, 0);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(control::kStart, BN_CLICKED),
                 reinterpret_cast<LPARAM>(window_.Control(control::kStart)));
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(control::kClose, BN_CLICKED),
                 reinterpret_cast<LPARAM>(window_.Control(control::kClose)));
  };
  inputs_.on_button = [&](const std::string& button) {
    if (button == "close") window_.EndDialog(kResultCancel);
  };
  EXPECT_EQ(window_.RunModal(inputs_), kResultCancel);
  EXPECT_EQ(inputs_.journal, (std::vector<std::string>{"init", "cancel", "ok", "cancel", "start", "close"}));
}

TEST_F(WindowTest, DialogEndedDuringItsInitialisationReturnsItsResult) {
  inputs_.on_init = [&] { window_.EndDialog(kResultCancel); };
  EXPECT_EQ(window_.RunModal(inputs_), kResultCancel);
  EXPECT_EQ(inputs_.journal, (std::vector<std::string>{"init"}));
}

}  // namespace
}  // namespace vorn::win32
