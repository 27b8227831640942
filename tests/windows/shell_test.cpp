// The application shell as a user and other programs meet it: one copy per machine, the
// registered messages, the close confirmation and the pages it hosts.

#include <gtest/gtest.h>

#include "pages/registered_messages.h"
#include "installer_driver.h"
#include "res/ids/download_page_ids.h"
#include "res/ids/license_selection_ids.h"

namespace kv::test {
namespace {

constexpr int kTrialButton = IDC_TRIAL_BUTTON;
constexpr int kStatusLine = IDC_STATUS_LINE;

HWND EditionPage(HWND main) {
    return FindPageWithControl(main, kTrialButton);
}
HWND DownloadPage(HWND main) {
    return FindPageWithControl(main, kStatusLine);
}

// A hidden top-level window of the test: it receives what is broadcast to every window.
class BroadcastListener {
  public:
    BroadcastListener()
        : window_(::CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                                    nullptr, nullptr)) {}
    ~BroadcastListener() { ::DestroyWindow(window_); }
    // How many of `message` have arrived so far.
    int Count(UINT message) {
        MSG msg{};
        while (::PeekMessageW(&msg, window_, 0, 0, PM_REMOVE)) received_ += msg.message == message;
        return received_;
    }

  private:
    HWND window_;
    int received_ = 0;
};

TEST(SingleInstance, SecondCopyEndsAtOnceWithoutAWindowWhileTheFirstKeepsRunning) {
    BroadcastListener listener;
    const UINT appMessage = ::RegisterWindowMessageW(kAppMessageName);
    InstallerProcess first;
    HWND main = first.StartAndWaitForMainWindow();
    ASSERT_TRUE(main);
    RECT before{};
    ::GetWindowRect(main, &before);

    EXPECT_EQ(listener.Count(appMessage), 0);
    InstallerProcess second;
    ASSERT_TRUE(second.Start());
    // It ends because it found the first copy: the one sign of that is its broadcast. Every
    // way out of the program returns 0, so the exit code alone would prove nothing.
    ASSERT_TRUE(second.WaitForExit(std::chrono::seconds(10)));
    EXPECT_EQ(second.ExitCode(), 0u);
    EXPECT_TRUE(WaitUntil([&] { return listener.Count(appMessage) == 1; }));

    // The first copy is untouched: still running, visible, in place, on its first page.
    EXPECT_TRUE(first.Running());
    EXPECT_TRUE(::IsWindowVisible(main));
    RECT after{};
    ::GetWindowRect(main, &after);
    EXPECT_TRUE(::EqualRect(&before, &after));
    EXPECT_TRUE(::IsWindowVisible(EditionPage(main)));
}

TEST(SingleInstance, StartsNormallyAgainAfterTheFirstCopyHasEnded) {
    {
        InstallerProcess first;
        ASSERT_TRUE(first.StartAndWaitForMainWindow());
        first.Terminate();
        ASSERT_TRUE(first.WaitForExit());
    }
    InstallerProcess again;
    EXPECT_TRUE(again.StartAndWaitForMainWindow());
}

TEST(RegisteredMessages, HideRestoreAndCloseDriveTheMainWindow) {
    InstallerProcess installer;
    HWND main = installer.StartAndWaitForMainWindow();
    ASSERT_TRUE(main);

    // The application's own broadcast name means nothing to the window.
    Broadcast(kAppMessageName);
    Broadcast(kHideMainWndName);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindowVisible(main); }));

    ::ShowWindow(main, SW_MINIMIZE);
    Broadcast(kRestoreMainWndName);
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindowVisible(main) && !::IsIconic(main); }));
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindowVisible(EditionPage(main)) != FALSE; }));

    Broadcast(kCloseMainWndName);
    HWND box = installer.WaitForConfirmation();
    ASSERT_TRUE(box);
    Answer(box, IDYES);
    EXPECT_TRUE(installer.WaitForExit());
}

TEST(RegisteredMessages, RestoreRebuildsThePagesAndShowsTheEditionChoice) {
    InstallerProcess installer;
    HWND main = installer.StartAndWaitForMainWindow();
    ASSERT_TRUE(main);
    HWND edition = EditionPage(main);
    ASSERT_TRUE(edition);

    // Choose the trial edition: the download page replaces the edition page.
    ::PostMessageW(edition, WM_COMMAND, MAKEWPARAM(kTrialButton, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(edition, kTrialButton)));
    ASSERT_TRUE(WaitUntil([&] {
        HWND download = DownloadPage(main);
        return download && ::IsWindowVisible(download) && !::IsWindowVisible(edition);
    }));

    Broadcast(kRestoreMainWndName);
    ASSERT_TRUE(WaitUntil([&] {
        HWND page = EditionPage(main);
        return page && page != edition && ::IsWindowVisible(page);
    }));
    HWND download = DownloadPage(main);
    ASSERT_TRUE(download);
    EXPECT_FALSE(::IsWindowVisible(download));
    EXPECT_EQ(WindowText(::GetDlgItem(download, kStatusLine)),
              L"Checking for the Internet connection...");
}

TEST(CloseConfirmation, NoKeepsTheWindowAndYesEndsTheProgram) {
    InstallerProcess installer;
    HWND main = installer.StartAndWaitForMainWindow();
    ASSERT_TRUE(main);

    HWND box = installer.AskToClose(main);
    ASSERT_TRUE(box);
    EXPECT_EQ(::GetWindow(box, GW_OWNER), main);
    EXPECT_EQ(BoxText(box), L"Installation is not completed. Are you sure you want to cancel?");
    EXPECT_TRUE(::GetDlgItem(box, IDYES) && ::GetDlgItem(box, IDNO));
    Answer(box, IDNO);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(box); }));
    EXPECT_FALSE(installer.WaitForExit(std::chrono::milliseconds(500)));
    EXPECT_TRUE(::IsWindowVisible(main));

    // Escape on the window abandons the installation the same way: it asks first.
    ::PostMessageW(main, WM_COMMAND, IDCANCEL, 0);
    box = installer.WaitForConfirmation();
    ASSERT_TRUE(box);
    Answer(box, IDYES);
    EXPECT_TRUE(installer.WaitForExit());
    EXPECT_EQ(installer.ExitCode(), 0u);
}

}  // namespace
}  // namespace kv::test
