// A stand-in for the product's setup, started by the installer with "/glic 1" (trial) or
// "/glic 2" (paid). Which variant runs is fixed when it is built, since the command line belongs
// to the installer: the interactive one shows a small window; the unattended ones record their
// start and end at once, the "return" one asking the installer to come back, the "broadcast" one
// after telling every top-level window that the environment changed.

#include <windows.h>

#include <string>

#include "demo_record.h"
#include "demo_setup_ids.h"
#include "win/handles.h"

namespace kv::demo {
namespace {

constexpr wchar_t kVariant[] = KV_DEMO_VARIANT;

std::wstring StartLine() {
    return std::wstring(L"variant=") + kVariant + L"\targs=" + Arguments() + L"\texe=" + OwnPath() +
           L"\tinstaller_visible=" + InstallerVisible();
}

int RunUnattended() {
    Record(StartLine());
    const std::wstring variant = kVariant;
    if (variant == L"return") LeaveReturnMarker();
    if (variant == L"broadcast") {
        // As setups do after changing the environment: a plain SendMessage, which returns only
        // when every top-level window has answered.
        ::SendMessageW(HWND_BROADCAST, WM_SETTINGCHANGE, 0,
                       reinterpret_cast<LPARAM>(L"Environment"));
        Record(L"variant=broadcast\tevent=broadcast_done");
    }
    return 0;
}

// The interactive window: a coloured header, what was asked for, and the two ways out.
constexpr COLORREF kHeaderColour = RGB(42, 63, 79);
constexpr COLORREF kAccentColour = RGB(0, 150, 136);
constexpr COLORREF kTextColour = RGB(42, 63, 79);
constexpr COLORREF kMutedColour = RGB(110, 122, 132);
constexpr int kWidth = 480;
constexpr int kHeight = 300;
constexpr int kHeaderHeight = 72;

struct Window {
    int edition = 0;
    std::wstring arguments;
    win::Font title;
    win::Font heading;
    win::Font text;
    win::Brush header;
    win::Brush accent;
};

win::Font MakeFont(int pixels, int weight) {
    return win::Font(::CreateFontW(-pixels, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                   OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                                   DEFAULT_PITCH, L"Tahoma"));
}

void DrawTextAt(HDC dc, HFONT font, COLORREF colour, const std::wstring& text, RECT box,
                UINT format = DT_LEFT | DT_WORDBREAK | DT_NOPREFIX) {
    win::SelectedObject selected(dc, font);
    ::SetTextColor(dc, colour);
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box, format);
}

void Paint(HWND hwnd, const Window& w) {
    win::PaintDC paint(hwnd);
    HDC dc = paint.Get();
    RECT client;
    ::GetClientRect(hwnd, &client);
    ::SetBkMode(dc, TRANSPARENT);
    RECT band{0, 0, client.right, kHeaderHeight};
    ::FillRect(dc, &band, w.header.Get());
    RECT stripe{0, kHeaderHeight, client.right, kHeaderHeight + 4};
    ::FillRect(dc, &stripe, w.accent.Get());
    DrawTextAt(dc, w.title.Get(), RGB(255, 255, 255), L"Kestrova Pro Setup",
               {24, 14, client.right - 24, 44}, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
    DrawTextAt(dc, w.text.Get(), RGB(200, 214, 224), L"Demonstration setup: nothing is installed",
               {24, 44, client.right - 24, 66}, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);

    const wchar_t* edition = w.edition == 1   ? L"Trial edition"
                             : w.edition == 2 ? L"Paid edition"
                                              : L"Unknown edition";
    DrawTextAt(dc, w.heading.Get(), kTextColour, edition, {24, 96, client.right - 24, 126},
               DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
    const std::wstring detail =
        L"The installer started this setup with \u201C" + w.arguments +
        L"\u201D.\nFinish ends the setup; Back to edition choice returns to the installer's "
        L"choice of edition.";
    DrawTextAt(dc, w.text.Get(), kMutedColour, detail, {24, 134, client.right - 24, 200});
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* w = reinterpret_cast<Window*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (message) {
        case WM_NCCREATE: {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                                reinterpret_cast<LONG_PTR>(create->lpCreateParams));
            break;
        }
        case WM_PAINT:
            if (w) {
                Paint(hwnd, *w);
                return 0;
            }
            break;
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDC_DEMO_BACK) {
                LeaveReturnMarker();
                Record(L"variant=interactive\tevent=back");
                ::DestroyWindow(hwnd);
                return 0;
            }
            if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDC_DEMO_FINISH) {
                Record(L"variant=interactive\tevent=finish");
                ::DestroyWindow(hwnd);
                return 0;
            }
            break;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

void AddButton(HWND parent, const wchar_t* caption, int id, RECT box, HFONT font, DWORD style) {
    HWND button = ::CreateWindowExW(
        0, L"BUTTON", caption, WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, box.left, box.top,
        box.right - box.left, box.bottom - box.top, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr), nullptr);
    ::SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

int RunInteractive(HINSTANCE instance) {
    Record(StartLine());
    Window w;
    w.arguments = Arguments();
    w.edition = EditionOf(w.arguments);
    w.title = MakeFont(22, FW_BOLD);
    w.heading = MakeFont(18, FW_BOLD);
    w.text = MakeFont(13, FW_NORMAL);
    w.header = win::Brush(::CreateSolidBrush(kHeaderColour));
    w.accent = win::Brush(::CreateSolidBrush(kAccentColour));

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = kDemoSetupWindowClass;
    ::RegisterClassExW(&windowClass);

    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT frame{0, 0, kWidth, kHeight};
    ::AdjustWindowRect(&frame, style, FALSE);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    HWND hwnd = ::CreateWindowExW(0, kDemoSetupWindowClass, L"Kestrova Pro Setup", style,
                                  (::GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                                  (::GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height,
                                  nullptr, nullptr, instance, &w);
    if (!hwnd) return 1;
    AddButton(hwnd, L"Back to edition choice", IDC_DEMO_BACK,
              {kWidth - 24 - 110 - 12 - 170, kHeight - 56, kWidth - 24 - 110 - 12, kHeight - 24},
              w.text.Get(), BS_PUSHBUTTON);
    AddButton(hwnd, L"Finish", IDC_DEMO_FINISH,
              {kWidth - 24 - 110, kHeight - 56, kWidth - 24, kHeight - 24}, w.text.Get(),
              BS_DEFPUSHBUTTON);
    ::ShowWindow(hwnd, SW_SHOWNORMAL);
    ::SetForegroundWindow(hwnd);

    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!::IsDialogMessageW(hwnd, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return 0;
}

}  // namespace
}  // namespace kv::demo

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    if (std::wstring(kv::demo::kVariant) == L"interactive") {
        return kv::demo::RunInteractive(instance);
    }
    return kv::demo::RunUnattended();
}
