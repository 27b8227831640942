// The window's look for every user, in-process: the program's pages run on a thread of this test
// with the program's own resources linked in. Fonts that draw every language, names and roles
// for screen readers, announced status changes, the keyboard, and High Contrast.

#include <gtest/gtest.h>
#include <oleacc.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include "app/main_wnd.h"
#include "i18n/text_table.h"
#include "i18n/texts.h"
#include "i18n/utf8.h"
#include "installer_driver.h"
#include "service_client.h"
#include "test_files.h"
#include "pages/page_fonts.h"
#include "pages/page_look.h"
#include "pages/registered_messages.h"
#include "res/ids/download_page_ids.h"
#include "res/ids/license_selection_ids.h"
#include "res/ids/main_wnd_ids.h"
#include "win/dpi.h"
#include "win/png_picture.h"
#include "win/taskbar_progress.h"

namespace kv::test {
namespace {

// Every visible character of `texts` has a glyph in `font` (checked here on its own terms).
std::wstring MissingCharacters(HFONT font, const std::wstring& texts) {
    win::MemoryDC dc(nullptr);
    win::SelectedObject selected(dc.Get(), font);
    std::vector<WORD> glyphs(texts.size());
    ::GetGlyphIndicesW(dc.Get(), texts.c_str(), static_cast<int>(texts.size()), glyphs.data(),
                       GGI_MARK_NONEXISTING_GLYPHS);
    std::wstring missing;
    for (size_t i = 0; i < texts.size(); ++i) {
        const wchar_t c = texts[i];
        const bool invisible = c < 0x20 || (c >= 0x200B && c <= 0x200F);
        if (glyphs[i] == 0xFFFF && !invisible && missing.find(c) == std::wstring::npos) {
            missing += c;
        }
    }
    return missing;
}

std::wstring FaceOf(HFONT font) {
    win::MemoryDC dc(nullptr);
    win::SelectedObject selected(dc.Get(), font);
    wchar_t face[LF_FACESIZE] = L"";
    ::GetTextFaceW(dc.Get(), LF_FACESIZE, face);
    return face;
}

TEST(PageFonts, EveryLanguageFileIsDrawnWithAFaceThatHasAllItsCharacters) {
    AddEmbeddedFonts(::GetModuleHandleW(nullptr));
    // The main window's template gives the dialog font that the status line and buttons keep.
    HWND dialog = ::CreateDialogParamW(
        ::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN_WINDOW), nullptr,
        [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return 0; }, 0);
    ASSERT_TRUE(dialog);
    const auto dialogFont = reinterpret_cast<HFONT>(::SendMessageW(dialog, WM_GETFONT, 0, 0));
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(
             std::filesystem::path(KV_SOURCE_DIR) / "src/res/lang")) {
        std::ifstream in(entry.path(), std::ios::binary);
        i18n::TextTable table;
        i18n::ParseLanguageText(
            i18n::Utf8ToWide(std::string(std::istreambuf_iterator<char>(in), {})), table);
        std::wstring texts = L"0123456789 Kestrova Pro ";
        for (const auto& [key, value] : table) texts += value;
        CreatePageFonts(96, dialogFont, texts);
        const std::string name = entry.path().filename().string();
        for (HFONT font : {g_titleFont.Get(), g_subtitleFont.Get(), g_textFont.Get(),
                           g_controlFont ? g_controlFont.Get() : dialogFont}) {
            EXPECT_EQ(MissingCharacters(font, texts), L"")
                << name << " in " << FaceOf(font).size() << "-letter face";
        }
        // The design's face wherever it serves.
        if (name == "145_en.lng" || name == "169_ru.lng" || name == "144_el.lng") {
            EXPECT_EQ(FaceOf(g_textFont.Get()), L"Roboto Regular") << name;
            EXPECT_EQ(FaceOf(g_titleFont.Get()), L"Roboto Bold") << name;
        }
        ++files;
    }
    EXPECT_EQ(files, 43);
    ::DestroyWindow(dialog);
}

// What the download page shows on the taskbar button, as a list of calls.
class TaskbarRecorder final : public win::TaskbarProgress {
  public:
    struct Shown {
        win::TaskbarState state;
        int percent;  // -1: a flash was asked for
    };
    void Show(win::TaskbarState state, int percent) override { Record({state, percent}); }
    void FlashIfInBackground() override { Record({win::TaskbarState::None, -1}); }
    std::vector<Shown> Calls() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }
    bool Saw(win::TaskbarState state) const {
        const std::vector<Shown> calls = Calls();
        return std::any_of(calls.begin(), calls.end(),
                           [&](const Shown& shown) { return shown.state == state; });
    }

  private:
    void Record(Shown shown) {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(shown);
    }
    mutable std::mutex mutex_;
    std::vector<Shown> calls_;
};

std::string Describe(const std::vector<TaskbarRecorder::Shown>& calls) {
    std::string text;
    for (const auto& shown : calls) {
        text += std::to_string(static_cast<int>(shown.state)) + ":" +
                std::to_string(shown.percent) + " ";
    }
    return text;
}

// The main window, run modally on a thread of its own as the program runs it.
class MainWindowTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { gdiplus_ = new win::GdiplusSession; }
    static void TearDownTestSuite() { delete gdiplus_; }

    void SetUp() override {
        ui_ = std::thread([this] {
            uiThread_ = ::GetCurrentThreadId();
            CMainWnd window;
            window.DoModal();
        });
        ASSERT_TRUE(WaitUntil([&] {
            return (main_ = FindProcessWindow(::GetCurrentProcessId(), kMainCaption)) != nullptr;
        }));
        // The download page's window is built once the edition page has been painted.
        ASSERT_TRUE(WaitUntil([&] {
            editionPage_ = FindPageWithControl(main_, IDC_TRIAL_BUTTON);
            downloadPage_ = FindPageWithControl(main_, IDC_STATUS_LINE);
            return editionPage_ && downloadPage_;
        }));
        markerHook_ = ::SetWindowsHookExW(WH_GETMESSAGE, &SeeMarker, nullptr, uiThread_);
        ASSERT_TRUE(markerHook_);
    }

    void TearDown() override {
        OverrideHighContrastForTesting(-1);
        if (::IsWindow(main_)) {
            ::PostMessageW(main_, WM_CLOSE, 0, 0);
            HWND box = nullptr;
            WaitUntil([&] {
                box = FindProcessWindow(::GetCurrentProcessId(), kConfirmationCaption);
                return box != nullptr || !::IsWindow(main_);
            });
            if (box) Answer(box, IDYES);
        }
        ui_.join();
        if (markerHook_) ::UnhookWindowsHookEx(markerHook_);
    }

    HWND Focus() const {
        GUITHREADINFO info{sizeof(info)};
        return ::GetGUIThreadInfo(uiThread_, &info) ? info.hwndFocus : nullptr;
    }
    // A key as the user types it: down and up through the program's message loop. The
    // character that the key-down makes comes before the key-up, as with a real keyboard.
    void Press(WORD key) const {
        HWND target = Focus() ? Focus() : main_;
        const int marked = keyDownsDone_;
        ::PostMessageW(target, WM_KEYDOWN, key, 1);
        ::PostMessageW(target, WM_NULL, kKeyDownDone, 0);
        WaitUntil([&] { return keyDownsDone_ != marked; });
        ::PostMessageW(target, WM_KEYUP, key, 0xC0000001);
    }
    // With KV_LOOK_HOLD_SECONDS set, the window stays as it is for that long, for a screenshot
    // taken by hand; never set in the test runs.
    static void HoldForScreenshot() {
        if (const char* seconds = std::getenv("KV_LOOK_HOLD_SECONDS")) {
            ::Sleep(static_cast<DWORD>(std::atoi(seconds)) * 1000);
        }
    }
    HWND Confirmation() const {
        return FindProcessWindow(::GetCurrentProcessId(), kConfirmationCaption);
    }

    // Counts the markers that follow key-downs as the window thread takes them from its queue.
    static LRESULT CALLBACK SeeMarker(int code, WPARAM removed, LPARAM message) {
        const auto* taken = reinterpret_cast<const MSG*>(message);
        if (code == HC_ACTION && removed == PM_REMOVE && taken->message == WM_NULL &&
            taken->wParam == kKeyDownDone) {
            ++keyDownsDone_;
        }
        return ::CallNextHookEx(nullptr, code, removed, message);
    }
    static constexpr WPARAM kKeyDownDone = 0x4B44;

    static inline win::GdiplusSession* gdiplus_ = nullptr;
    static inline std::atomic<int> keyDownsDone_{0};
    HHOOK markerHook_ = nullptr;
    TaskbarRecorder taskbar_;  // outlives the window, which shows the end on it
    std::thread ui_;
    std::atomic<DWORD> uiThread_{0};
    HWND main_ = nullptr;
    HWND editionPage_ = nullptr;
    HWND downloadPage_ = nullptr;
};

struct Accessible {
    std::wstring name;
    long role = 0;
};

// IID_IAccessible, spelled out: both oleacc's and uuid's libraries define the symbol.
constexpr GUID kAccessibleInterface = {
    0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

Accessible Describe(HWND window) {
    Accessible result;
    IAccessible* object = nullptr;
    if (FAILED(::AccessibleObjectFromWindow(window, OBJID_CLIENT, kAccessibleInterface,
                                            reinterpret_cast<void**>(&object)))) {
        return result;
    }
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    if (object->get_accName(self, &name) == S_OK && name) result.name = name;
    ::SysFreeString(name);
    VARIANT role{};
    if (object->get_accRole(self, &role) == S_OK && role.vt == VT_I4) result.role = role.lVal;
    object->Release();
    return result;
}

TEST_F(MainWindowTest, ControlsHaveNamesAndRolesAndStatusChangesAreAnnounced) {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const struct {
        HWND page;
        int id;
        std::wstring name;
    } controls[] = {
        {editionPage_, IDC_TRIAL_BUTTON, std::wstring(GetText(L"I_WANT_TO_TRY"))},
        {editionPage_, IDC_PAID_BUTTON, std::wstring(GetText(L"I_HAVE_LICENSE_KEY"))},
        {downloadPage_, IDC_SLIDE_DOT1, L"Slide 1"},
        {downloadPage_, IDC_SLIDE_DOT2, L"Slide 2"},
        {downloadPage_, IDC_SLIDE_DOT3, L"Slide 3"},
        {downloadPage_, IDC_PROGRESS_BAR, std::wstring(GetText(L"DOWNLOADING_SETUP"))},
        {downloadPage_, IDC_STATUS_LINE, std::wstring(GetText(L"CHECKING_FOR_CONNECTION"))},
    };
    for (const auto& control : controls) {
        const Accessible described = Describe(::GetDlgItem(control.page, control.id));
        EXPECT_EQ(described.name, control.name) << control.id;
        EXPECT_NE(described.role, 0) << control.id;
    }

    // Every new status raises the name change (and the live-region event) on the status line.
    static HWND changed = nullptr;
    changed = nullptr;
    HWINEVENTHOOK hook = ::SetWinEventHook(
        EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_NAMECHANGE, nullptr,
        [](HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG, DWORD, DWORD) {
            if (object == OBJID_CLIENT) changed = window;
        },
        ::GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    ASSERT_TRUE(hook);
    HWND status = ::GetDlgItem(downloadPage_, IDC_STATUS_LINE);
    ::SendMessageW(status, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Download failed."));
    EXPECT_TRUE(WaitUntil([&] {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
        return changed == status;
    }));
    ::UnhookWinEvent(hook);
    ::CoUninitialize();
}

TEST_F(MainWindowTest, KeyboardMovesBetweenEditionsChoosesOneAndAsksBeforeEscapeCloses) {
    HWND trial = ::GetDlgItem(editionPage_, IDC_TRIAL_BUTTON);
    HWND paid = ::GetDlgItem(editionPage_, IDC_PAID_BUTTON);
    const bool mirrored = (::GetWindowLongW(main_, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0;
    EXPECT_EQ(mirrored, TextsReadRightToLeft());
    ASSERT_TRUE(WaitUntil([&] { return Focus() == trial; }));
    Press(VK_TAB);
    EXPECT_TRUE(WaitUntil([&] { return Focus() == paid; }));
    Press(VK_TAB);
    EXPECT_TRUE(WaitUntil([&] { return Focus() == trial; }));
    // The focus is visible from the start.
    EXPECT_EQ(::SendMessageW(trial, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS, 0);

    Press(VK_RETURN);
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindowVisible(downloadPage_) != FALSE; }));
    EXPECT_FALSE(::IsWindowVisible(editionPage_));

    // Escape asks first; No keeps the window.
    Press(VK_ESCAPE);
    HWND box = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (box = Confirmation()) != nullptr; }));
    Answer(box, IDNO);
    EXPECT_TRUE(WaitUntil([&] { return Confirmation() == nullptr; }));
    EXPECT_TRUE(::IsWindow(main_));

    // Back to the edition choice, where the focus starts again; Space chooses too. The focus then
    // leaves the hidden page: a letter typed into it would never be answered.
    ::PostMessageW(main_, g_uRestoreMainWnd, 0, 0);
    ASSERT_TRUE(WaitUntil([&] {
        editionPage_ = FindPageWithControl(main_, IDC_TRIAL_BUTTON);
        return editionPage_ && ::IsWindowVisible(editionPage_) &&
               Focus() == ::GetDlgItem(editionPage_, IDC_TRIAL_BUTTON);
    }));
    downloadPage_ = FindPageWithControl(main_, IDC_STATUS_LINE);
    Press(VK_SPACE);
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(downloadPage_) != FALSE; }));
    ASSERT_TRUE(::IsWindowVisible(Focus())) << "the focus stayed on the hidden page";
    Press('A');
    DWORD_PTR answer = 0;
    EXPECT_TRUE(::SendMessageTimeoutW(main_, WM_NULL, 0, 0, SMTO_BLOCK, 5000, &answer));
    HoldForScreenshot();
}

// The taskbar button follows the download: busy while the service is asked, paused while a failed
// attempt counts down, an error after the last failure; then, after Retry, the bar's value during
// the transfer, and nothing once the file is ready, with a flash for a window in the background.
TEST_F(MainWindowTest, TaskbarButtonFollowsTheDownload) {
    ASSERT_TRUE(service_client::Available());
    using win::TaskbarState;
    auto* page = static_cast<CDownloadPage*>(win::Dialog::FromHandle(downloadPage_));
    ASSERT_TRUE(page);
    page->m_pTaskbar = &taskbar_;  // before any attempt: nothing reads it yet
    ASSERT_TRUE(service_client::Control(L"port=both&scope=query&status=503"));
    ASSERT_TRUE(WaitUntil([&] { return Focus() == ::GetDlgItem(editionPage_, IDC_TRIAL_BUTTON); }));
    Press(VK_RETURN);
    // Every countdown is hurried along with the ticks of its timer.
    ASSERT_TRUE(WaitUntil([&] {
        ::PostMessageW(downloadPage_, WM_TIMER, static_cast<WPARAM>(SessionTimer::Retry), 0);
        return taskbar_.Saw(TaskbarState::Error);
    })) << Describe(taskbar_.Calls());
    std::vector<TaskbarRecorder::Shown> failing = taskbar_.Calls();
    ASSERT_GE(failing.size(), 3u);
    EXPECT_EQ(failing.front().state, TaskbarState::Indeterminate);
    EXPECT_EQ(failing[1].state, TaskbarState::Paused);
    EXPECT_EQ(failing.back().state, TaskbarState::Error);
    EXPECT_FALSE(taskbar_.Saw(TaskbarState::Normal));

    ASSERT_TRUE(service_client::ResetFaults());
    ASSERT_TRUE(service_client::Control(L"port=both&scope=files&trickle=4096:100"));
    ASSERT_TRUE(test_files::Write(
        service_client::ServiceFolder() + L"\\files\\kvpro-trial-setup.exe",
        test_files::Contents(BuiltProgram(L"tests/windows/signing-sample-current.exe"))));
    ::PostMessageW(downloadPage_, WM_COMMAND, MAKEWPARAM(IDC_RETRY_BUTTON, BN_CLICKED), 0);
    ASSERT_TRUE(WaitUntil([&] {
        const std::vector<TaskbarRecorder::Shown> calls = taskbar_.Calls();
        return calls.size() > failing.size() && calls.back().state == TaskbarState::None;
    }));
    const std::vector<TaskbarRecorder::Shown> all = taskbar_.Calls();
    const std::vector<TaskbarRecorder::Shown> after(all.begin() + failing.size(), all.end());
    ASSERT_GE(after.size(), 4u);
    EXPECT_EQ(after.front().state, TaskbarState::Indeterminate);
    int last = 0;
    bool between = false;
    for (size_t i = 1; i + 2 < after.size(); ++i) {
        EXPECT_EQ(after[i].state, TaskbarState::Normal) << i;
        EXPECT_GE(after[i].percent, last) << i;
        last = after[i].percent;
        between |= last > 0 && last < 100;
    }
    EXPECT_TRUE(between) << "no value between 0 and 100 was shown";
    EXPECT_EQ(after[after.size() - 2].percent, -1);  // the flash, as the file is ready
}

// In High Contrast the pages paint the system's window colour where their pictures lie and
// draw their texts in the system's text colour.
TEST_F(MainWindowTest, HighContrastPaintsInTheSystemsColours) {
    auto pixelAt = [](HWND window, int x, int y) {
        ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        win::WindowDC dc(window);
        return ::GetPixel(dc.Get(), x, y);
    };
    const COLORREF designed = pixelAt(editionPage_, 5, 5);  // the picture's dark header
    EXPECT_NE(designed, ::GetSysColor(COLOR_WINDOW));
    OverrideHighContrastForTesting(1);
    EXPECT_EQ(pixelAt(editionPage_, 5, 5), ::GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(PageTextColour(), ::GetSysColor(COLOR_WINDOWTEXT));

    // After a Tab the focused edition button shows a frame in the highlight colour.
    HWND paid = ::GetDlgItem(editionPage_, IDC_PAID_BUTTON);
    ASSERT_TRUE(WaitUntil([&] { return Focus() == ::GetDlgItem(editionPage_, IDC_TRIAL_BUTTON); }));
    Press(VK_TAB);
    ASSERT_TRUE(WaitUntil([&] { return Focus() == paid; }));
    RECT button{};
    ::GetClientRect(paid, &button);
    const int inset = ::MulDiv(4, static_cast<int>(win::WindowDpi(paid)), 96);
    EXPECT_EQ(pixelAt(paid, inset, button.bottom / 2), ::GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(pixelAt(paid, button.right / 2, inset + 1), ::GetSysColor(COLOR_HIGHLIGHT));

    win::WindowDC dc(downloadPage_);
    HWND status = ::GetDlgItem(downloadPage_, IDC_STATUS_LINE);
    const auto brush = reinterpret_cast<HBRUSH>(::SendMessageW(downloadPage_, WM_CTLCOLORSTATIC,
                                                               reinterpret_cast<WPARAM>(dc.Get()),
                                                               reinterpret_cast<LPARAM>(status)));
    EXPECT_EQ(brush, ::GetSysColorBrush(COLOR_WINDOW));
    EXPECT_EQ(::GetTextColor(dc.Get()), ::GetSysColor(COLOR_WINDOWTEXT));
    HoldForScreenshot();
}

}  // namespace
}  // namespace kv::test
