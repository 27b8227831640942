// The download page as a user meets it, against the reference service and the demo setups:
// from the edition choice through the transfer, the retries and Install to the program's end.

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "download_run.h"
#include "pages/registered_messages.h"
#include "res/ids/download_page_ids.h"
#include "service_client.h"
#include "service_log.h"
#include "tampered_setup.h"
#include "test_files.h"

namespace kv::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The usage events the collection endpoint saw since `mark`, in order.
std::vector<std::string> EventActions(size_t mark) {
    std::vector<std::string> actions;
    for (const std::string& line : LogLinesSinceWith(mark, {"/collect", "\"status\""})) {
        actions.push_back(JsonField(line, "ea"));
    }
    return actions;
}

// Requests the service answered (a body's end is logged on a line of its own, without status).
size_t RequestCount(size_t mark, const std::string& target) {
    return LogLinesSinceWith(mark, {"\"target\":\"" + target, "\"status\""}).size();
}

size_t QueryCount(size_t mark) {
    return RequestCount(mark, "/downloader?p=");
}

// What the service hands out as an edition's setup from now on.
void ServeAs(const wchar_t* fileName, const std::string& bytes) {
    ASSERT_FALSE(bytes.empty());
    ASSERT_TRUE(
        test_files::Write(service_client::ServiceFolder() + L"\\files\\" + fileName, bytes));
}
void ServeAsTrial(const std::string& bytes) {
    ServeAs(L"kvpro-trial-setup.exe", bytes);
}

std::string SignedSample(const wchar_t* signer) {
    return test_files::Contents(
        BuiltProgram((std::wstring(L"tests/windows/signing-sample") + signer + L".exe").c_str()));
}

// A file the test must never see touched.
struct Bystander {
    std::wstring path = TempFolder() + L"KVProInstaller.exe";
    Bystander() { test_files::Write(path, "not ours"); }
    ~Bystander() { ::DeleteFileW(path.c_str()); }
};

TEST(Download, TrialRunsTheSetupWithItsOptionAndTheProgramEndsWithoutAQuestion) {
    const size_t mark = LogMark();
    DownloadRun run(L"quiet");
    Bystander existing;
    ASSERT_TRUE(run.Start());
    run.Choose(true);

    // About a second later the attempt starts; the query and the transfer follow.
    ASSERT_TRUE(run.WaitForStatus(kDownloading, seconds(5)));
    ASSERT_TRUE(run.WaitForStatus(kReady));
    EXPECT_TRUE(run.Visible(IDC_INSTALL_BUTTON));
    EXPECT_FALSE(run.Visible(IDC_RETRY_BUTTON));
    EXPECT_EQ(run.Bar(), 100);
    // Install has the keyboard focus: Enter or Space installs.
    GUITHREADINFO input{sizeof(input)};
    ASSERT_TRUE(::GetGUIThreadInfo(::GetWindowThreadProcessId(run.Main(), nullptr), &input));
    EXPECT_EQ(input.hwndFocus, ::GetDlgItem(run.DownloadPage(), IDC_INSTALL_BUTTON));
    // The name was taken: the download went elsewhere and left the other file alone.
    const std::vector<std::wstring> files = run.SetupFiles();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_TRUE(test_files::Exists(TempFolder() + L"KVProInstaller(2).exe"));
    EXPECT_EQ(test_files::Contents(existing.path), "not ours");

    run.Click(IDC_INSTALL_BUTTON);
    ASSERT_TRUE(run.Installer().WaitForExit());  // no marker: the program ends, nothing asked
    const std::vector<std::string> record = run.Record();
    ASSERT_FALSE(record.empty());
    EXPECT_TRUE(Contains(record[0], "\targs=/glic 1")) << record[0];
    EXPECT_TRUE(Contains(record[0], "KVProInstaller(2).exe")) << record[0];
    EXPECT_TRUE(Contains(record[0], "installer_visible=0")) << record[0];
    EXPECT_EQ(run.SetupFiles(), std::vector<std::wstring>{existing.path});
    EXPECT_EQ(EventActions(mark), (std::vector<std::string>{"Started", "Trial", "Finished"}));
}

TEST(Download, PaidFromTheSecondaryWithTheMarkerComesBackToTheEditionChoice) {
    DownloadRun run(L"return");
    ASSERT_TRUE(service_client::Control(L"port=primary&refuse=1"));
    ASSERT_TRUE(run.Start());
    run.Choose(false);
    ASSERT_TRUE(run.WaitForStatus(kReady));
    run.Click(IDC_INSTALL_BUTTON);

    // The setup asked to come back: the edition choice shows again, marker and file are gone.
    ASSERT_TRUE(WaitUntil([&] { return run.Record().size() >= 1; }));
    ASSERT_TRUE(WaitUntil(
        [&] { return ::IsWindowVisible(run.Main()) && ::IsWindowVisible(run.EditionPage()); }));
    EXPECT_TRUE(Contains(run.Record()[0], "\targs=/glic 2"));
    EXPECT_FALSE(test_files::Exists(ReturnMarker()));
    EXPECT_TRUE(run.SetupFiles().empty());
    EXPECT_TRUE(run.Installer().Running());

    // A second choice downloads again, its slideshow from the first slide; closing then asks,
    // and Yes removes the unused file.
    run.Choose(true);
    EXPECT_TRUE(WaitUntil([&] { return run.CheckedDot() == 1; }, seconds(2)));
    ASSERT_TRUE(run.WaitForStatus(kReady));
    EXPECT_EQ(run.SetupFiles().size(), 1u);
    HWND box = run.Installer().AskToClose(run.Main());
    ASSERT_TRUE(box);
    Answer(box, IDYES);
    ASSERT_TRUE(run.Installer().WaitForExit());
    EXPECT_TRUE(run.SetupFiles().empty());
}

// The whole failure path as the user sees it; the session's own tests hold its rules in detail.
TEST(Download, AStallThenDeadServersCountDownFiveTimesThenOfferARetry) {
    const size_t mark = LogMark();
    DownloadRun run;
    ASSERT_TRUE(service_client::Control(L"port=both&scope=files&stall=4096"));
    ASSERT_TRUE(run.Start());
    run.Choose(true);
    ASSERT_TRUE(WaitUntil([&] { return run.Bar() > 0; }));

    // The watchdog stops the stalled transfer; during its countdown both servers go down. That
    // countdown is watched second by second; the four after it are hurried along.
    std::vector<std::wstring> seen;
    bool serversDown = false;
    ASSERT_TRUE(WaitUntil(
        [&] {
            if (QueryCount(mark) > 1) run.HurryCountdown();
            const std::wstring status = run.Status();
            if (seen.empty() || seen.back() != status) seen.push_back(status);
            if (!serversDown && status.rfind(kRetrying, 0) == 0) {
                // What was stored is kept, held, for the next attempt to resume from.
                const std::vector<std::wstring> kept = run.SetupFiles();
                EXPECT_EQ(kept.size(), 1u);
                if (!kept.empty()) EXPECT_FALSE(test_files::CanOpenForWriting(kept[0]));
                serversDown = service_client::Control(L"port=both&scope=query&status=503");
            }
            return status.rfind(kCantDownload, 0) == 0;
        },
        seconds(75)))
        << ::testing::PrintToString(seen);
    std::vector<std::wstring> countdown;
    for (const std::wstring& status : seen) {
        if (status.rfind(kRetrying, 0) != 0) continue;
        countdown.push_back(status.substr(wcslen(kRetrying)));
        if (countdown.size() == 5) break;
    }
    const std::vector<std::wstring> expected = {L"4 second(s)", L"3 second(s)", L"2 second(s)",
                                                L"1 second(s)", L"0 second(s)"};
    EXPECT_EQ(countdown, expected) << ::testing::PrintToString(seen);
    EXPECT_EQ(QueryCount(mark), 11u);  // the stalled attempt's, then five asking both servers
    EXPECT_EQ(run.Bar(), 0);
    EXPECT_TRUE(run.Visible(IDC_RETRY_BUTTON));

    run.Click(IDC_RETRY_BUTTON);
    EXPECT_TRUE(WaitUntil([&] { return QueryCount(mark) >= 13; }));
    EXPECT_FALSE(run.Visible(IDC_RETRY_BUTTON));
    // A transfer was stopped: closing no longer asks, and the kept file goes.
    ::PostMessageW(run.Main(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(run.Installer().WaitForExit(seconds(5)))
        << "asked: " << (FindProcessWindow(run.Installer().Pid(), kConfirmationCaption) != nullptr);
    EXPECT_TRUE(run.SetupFiles().empty());
}

TEST(Download, FailedTransfersAndUnusableAnswersCountAsFailedAttemptsAndKeepAtMostOneFile) {
    const size_t mark = LogMark();
    DownloadRun run;
    ASSERT_TRUE(service_client::Control(L"port=both&scope=files&cut=3000"));
    ASSERT_TRUE(run.Start());
    run.Choose(true);
    // Each round: the attempt fails, then the next fault is set during the countdown.
    const std::vector<std::vector<const wchar_t*>> nextFaults = {
        {L"port=both&scope=files&reset=1", L"port=both&scope=files&status=404"},
        {L"port=both&scope=files&reset=1", L"port=both&scope=query&garble=1"},
        {L"port=both&scope=query&reset=1", L"port=both&answer=ftp%3A%2F%2F127.0.0.1%2Fsetup.exe"},
    };
    for (size_t round = 0; round <= nextFaults.size(); ++round) {
        ASSERT_TRUE(run.WaitForStatus(std::wstring(kRetrying) + L"4")) << round;
        // At most the cut file, kept for the next attempt to resume from.
        EXPECT_LE(run.SetupFiles().size(), 1u) << round;
        EXPECT_FALSE(run.Visible(IDC_INSTALL_BUTTON)) << round;
        if (round == nextFaults.size()) break;
        for (const wchar_t* control : nextFaults[round]) {
            ASSERT_TRUE(service_client::Control(control)) << round;
        }
        // The countdown hurried to its end: the next attempt asks the service again.
        const size_t asked = QueryCount(mark);
        ASSERT_TRUE(WaitUntil([&] {
            run.HurryCountdown();
            return QueryCount(mark) > asked;
        })) << round;
    }
    HWND box = run.Installer().AskToClose(run.Main());
    ASSERT_TRUE(box);
    Answer(box, IDYES);
    ASSERT_TRUE(run.Installer().WaitForExit(seconds(5)));
    EXPECT_TRUE(run.SetupFiles().empty());
}

TEST(Download, OnlyAFileTheMakerSignedIsOfferedAndStarted) {
    const size_t mark = LogMark();
    DownloadRun run(L"quiet");
    const std::string signedSetup =
        test_files::Contents(BuiltProgram(L"tools/demo-setup/kvpro-demo-setup-quiet.exe"));
    // Six refusals end the first series of attempts, the seventh follows the retry button.
    const std::vector<std::string> refused = {
        SignedSample(L""),
        SignedSample(L"-foreign"),
        Tamper(signedSetup, Tampering::CodeByte),
        Tamper(signedSetup, Tampering::AppendedByte),
        Tamper(signedSetup, Tampering::SignatureByte),
        Tamper(signedSetup, Tampering::CertificateByte),
        Tamper(signedSetup, Tampering::PatchedDigest),
    };
    ServeAsTrial(refused[0]);
    ASSERT_TRUE(run.Start());
    run.Choose(true);
    for (size_t round = 0; round < refused.size(); ++round) {
        const bool last = round + 1 == refused.size();
        if (round == 5) {
            ASSERT_TRUE(WaitUntil([&] { return run.Visible(IDC_RETRY_BUTTON); }));
        } else {
            ASSERT_TRUE(run.WaitForStatus(std::wstring(kRetrying) + L"4")) << round;
        }
        EXPECT_TRUE(run.SetupFiles().empty()) << round;
        EXPECT_FALSE(run.Visible(IDC_INSTALL_BUTTON)) << round;
        ServeAsTrial(last ? signedSetup : refused[round + 1]);
        if (round == 5) {
            run.Click(IDC_RETRY_BUTTON);
        } else {
            // The countdown hurried to its end: the next attempt asks the service again, so the
            // next round waits for the next countdown's start.
            ASSERT_TRUE(WaitUntil([&] {
                run.HurryCountdown();
                return QueryCount(mark) > round + 1;
            })) << round;
        }
    }
    ASSERT_TRUE(run.WaitForStatus(kReady));
    EXPECT_TRUE(run.Record().empty());  // nothing refused was started

    // From the check to the start nobody can write the file.
    const std::vector<std::wstring> files = run.SetupFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_FALSE(test_files::CanOpenForWriting(files[0]));
    run.Click(IDC_INSTALL_BUTTON);
    ASSERT_TRUE(WaitUntil([&] { return !run.Record().empty(); }));
    EXPECT_TRUE(Contains(run.Record()[0], "\targs=/glic 1"));
    EXPECT_TRUE(run.Installer().WaitForExit());
}

TEST(Download, ClosingDuringATransferEndsTheProgramPromptlyAndLeavesNoFile) {
    DownloadRun run;
    ASSERT_TRUE(service_client::Control(L"port=both&scope=files&trickle=2048:200"));
    ASSERT_TRUE(run.Start());
    run.Choose(true);
    ASSERT_TRUE(WaitUntil([&] { return !run.SetupFiles().empty(); }));
    HWND box = run.Installer().AskToClose(run.Main());
    ASSERT_TRUE(box);
    Answer(box, IDYES);
    EXPECT_TRUE(run.Installer().WaitForExit(seconds(2)));
    EXPECT_TRUE(run.SetupFiles().empty());
}

TEST(Download, TheWindowKeepsAnsweringWhileTheServiceTakesEightSecondsToAnswer) {
    DownloadRun run;
    // The answer comes in two pieces, eight seconds apart. The 1 KiB/s body after it must not be
    // taken for a stall either.
    ASSERT_TRUE(service_client::Control(L"port=both&scope=query&trickle=64:8000"));
    ASSERT_TRUE(service_client::Control(L"port=both&scope=files&trickle=1024:1000"));
    ServeAsTrial(test_files::Contents(BuiltProgram(L"tests/windows/signing-sample-current.exe")));
    ASSERT_TRUE(run.Start());
    run.Choose(true);

    // Polled until the transfer shows on the bar: every poll must be answered within 250 ms.
    const auto chosen = std::chrono::steady_clock::now();
    auto slowest = milliseconds(0);
    int polls = 0;
    bool answeredEveryTime = true;
    while (run.Bar() == 0 && std::chrono::steady_clock::now() - chosen < seconds(30)) {
        const auto sent = std::chrono::steady_clock::now();
        DWORD_PTR result = 0;
        answeredEveryTime &=
            ::SendMessageTimeoutW(run.Main(), WM_NULL, 0, 0, SMTO_NORMAL, 250, &result) != 0;
        slowest = std::max(slowest, std::chrono::duration_cast<milliseconds>(
                                        std::chrono::steady_clock::now() - sent));
        ++polls;
        std::this_thread::sleep_for(milliseconds(100));
    }
    EXPECT_GE(std::chrono::steady_clock::now() - chosen, seconds(8));  // the query was that slow
    EXPECT_TRUE(answeredEveryTime);
    EXPECT_LT(slowest, milliseconds(250)) << polls << " polls";
    EXPECT_GE(polls, 40);
    EXPECT_TRUE(run.WaitForStatus(kReady, seconds(90)));
}

TEST(Download, ARestoreDuringATransferEndsItAndTheOtherEditionGivesExactlyItsFile) {
    const size_t mark = LogMark();
    DownloadRun run;
    const std::string paid =
        test_files::Contents(BuiltProgram(L"tests/windows/signing-sample-current.exe"));
    ServeAs(L"kvpro-setup.exe", paid);
    ASSERT_TRUE(service_client::Control(L"port=both&scope=files&trickle=2048:200"));
    ASSERT_TRUE(run.Start());
    run.Choose(true);
    ASSERT_TRUE(WaitUntil([&] { return run.Bar() > 0; }));

    Broadcast(kRestoreMainWndName);
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(run.EditionPage()) != FALSE; }));
    // The ended transfer left nothing behind.
    EXPECT_TRUE(run.SetupFiles().empty());
    ASSERT_TRUE(service_client::Control(L"port=both&scope=files&reset=1"));

    run.Choose(false);
    ASSERT_TRUE(run.WaitForStatus(kReady));
    const std::vector<std::wstring> files = run.SetupFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(test_files::Contents(files[0]) == paid);
    // The trial file was asked for once: the ended transfer did not go on.
    EXPECT_EQ(RequestCount(mark, "/files/kvpro-trial-setup.exe"), 1u);

    HWND box = run.Installer().AskToClose(run.Main());
    ASSERT_TRUE(box);
    Answer(box, IDYES);
    ASSERT_TRUE(run.Installer().WaitForExit(seconds(5)));
    EXPECT_TRUE(run.SetupFiles().empty());
}

TEST(Download, ASetupThatBroadcastsDoesNotHangEitherProgram) {
    const size_t mark = LogMark();
    DownloadRun run(L"broadcast");
    ASSERT_TRUE(run.Start());
    run.Choose(false);
    ASSERT_TRUE(run.WaitForStatus(kReady));
    // The paid edition's choice is reported like the trial's (the paid run above refuses the
    // primary port, where the usage events go). Each event travels on a thread of its own, so it
    // may arrive late and out of order.
    EXPECT_TRUE(WaitUntil([&] {
        const std::vector<std::string> events = EventActions(mark);
        return std::find(events.begin(), events.end(), "Paid") != events.end();
    }));
    run.Click(IDC_INSTALL_BUTTON);
    ASSERT_TRUE(run.Installer().WaitForExit());
    const std::vector<std::string> record = run.Record();
    ASSERT_EQ(record.size(), 2u);
    EXPECT_TRUE(Contains(record[1], "broadcast_done"));
}

}  // namespace
}  // namespace kv::test
