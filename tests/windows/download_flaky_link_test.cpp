// The download page on a link that breaks off every answer: each attempt resumes from what the
// one before stored, and whatever the server does with the ranges asked for, the file stored is
// either exactly the served one or the attempt fails.

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "download_run.h"
#include "res/ids/download_page_ids.h"
#include "service_client.h"
#include "service_log.h"
#include "test_files.h"

namespace kv::test {
namespace {

using std::chrono::seconds;

const char kTrialTarget[] = "\"target\":\"/files/kvpro-trial-setup.exe";

std::string Served() {
    return test_files::Contents(service_client::ServiceFolder() +
                                L"\\files\\kvpro-trial-setup.exe");
}

// A number field ("key":123) of a JSON line; -1 when the line has none.
int64_t JsonNumber(const std::string& line, const std::string& key) {
    const std::string start = "\"" + key + "\":";
    const size_t at = line.find(start);
    if (at == std::string::npos) return -1;
    return std::strtoll(line.c_str() + at + start.size(), nullptr, 10);
}

// The service's answers for the trial setup since `mark`, in order.
std::vector<std::string> SetupAnswers(size_t mark) {
    return LogLinesSinceWith(mark, {kTrialTarget, "\"status\""});
}

// The body bytes the service sent for the trial setup since `mark`, once every answer has ended.
int64_t SetupBytesSent(size_t mark) {
    const std::vector<std::string> answers = SetupAnswers(mark);
    std::map<int64_t, int64_t> sent;
    for (const std::string& answer : answers) sent[JsonNumber(answer, "id")] = -1;
    const bool allEnded = WaitUntil([&] {
        for (const std::string& line : LogLinesSinceWith(mark, {"\"event\":\"sent\""})) {
            const auto it = sent.find(JsonNumber(line, "id"));
            if (it != sent.end()) it->second = JsonNumber(line, "sent");
        }
        for (const auto& [id, bytes] : sent) {
            if (bytes < 0) return false;
        }
        return true;
    });
    if (!allEnded) return -1;
    int64_t total = 0;
    for (const auto& [id, bytes] : sent) total += bytes;
    return total;
}

// Hurries any countdown along until attempt number `attempt` (counted by its request for the
// setup) has asked for the file, then waits until it has failed and its countdown shows.
::testing::AssertionResult AttemptFailed(const DownloadRun& run, size_t mark, size_t attempt) {
    const bool asked = WaitUntil(
        [&] {
            run.HurryCountdown();
            return SetupAnswers(mark).size() >= attempt;
        },
        seconds(30));
    if (!asked) {
        return ::testing::AssertionFailure() << "attempt " << attempt << " asked for no file";
    }
    // The request came after the last countdown, so this countdown is the attempt's.
    if (!run.WaitForStatus(std::wstring(kRetrying) + L"4")) {
        return ::testing::AssertionFailure() << "attempt " << attempt << " did not fail";
    }
    return ::testing::AssertionSuccess();
}

// Hurries the countdowns along until the file is ready.
bool ReadyAfterRetries(const DownloadRun& run) {
    return WaitUntil(
        [&] {
            run.HurryCountdown();
            return run.Status().rfind(kReady, 0) == 0;
        },
        seconds(60));
}

// The one setup file in the temporary folder, "" when there is none or more.
std::string KeptFile(const DownloadRun& run) {
    const std::vector<std::wstring> files = run.SetupFiles();
    return files.size() == 1 ? test_files::Contents(files[0]) : std::string();
}

TEST(FlakyLink, EveryAnswerCutAtFortyPercentCompletesOnTheThirdAttemptAndInstalls) {
    const size_t mark = LogMark();
    DownloadRun run(L"quiet");
    const std::string served = Served();
    ASSERT_GT(served.size(), 1000u);
    ASSERT_TRUE(service_client::Control(L"port=both&scope=files&cut=40%25"));
    ASSERT_TRUE(run.Start());
    run.Choose(true);

    ASSERT_TRUE(ReadyAfterRetries(run));
    EXPECT_TRUE(run.Visible(IDC_INSTALL_BUTTON));
    const std::vector<std::string> answers = SetupAnswers(mark);
    ASSERT_EQ(answers.size(), 3u);
    // The first from the start, then each for the rest of what the one before stored.
    const int64_t cut = static_cast<int64_t>(served.size()) * 40 / 100;
    EXPECT_EQ(JsonField(answers[0], "range"), "");
    EXPECT_EQ(JsonField(answers[1], "range"), "bytes=" + std::to_string(cut) + "-");
    EXPECT_EQ(JsonField(answers[2], "range"), "bytes=" + std::to_string(2 * cut) + "-");
    EXPECT_EQ(JsonNumber(answers[1], "status"), 206);
    EXPECT_EQ(JsonNumber(answers[2], "status"), 206);
    const int64_t sent = SetupBytesSent(mark);
    EXPECT_GE(sent, static_cast<int64_t>(served.size()));
    EXPECT_LE(sent, static_cast<int64_t>(served.size()) * 13 / 10);
    EXPECT_TRUE(KeptFile(run) == served);

    run.Click(IDC_INSTALL_BUTTON);
    ASSERT_TRUE(run.Installer().WaitForExit());
    const std::vector<std::string> record = run.Record();
    ASSERT_FALSE(record.empty());
    EXPECT_NE(record[0].find("\targs=/glic 1"), std::string::npos) << record[0];
}

// A range the server ignores or answers wrongly, or a validator that changes, never lets a file
// be put together from two versions.
TEST(FlakyLink, RangesTheServerIgnoresOrMisplacesFailTheAttemptOrGiveTheWholeFile) {
    const size_t mark = LogMark();
    DownloadRun run(L"quiet");
    const std::string served = Served();
    const std::string cutPart = served.substr(0, served.size() * 40 / 100);
    const auto setFaults = [](const std::wstring& faults) {
        return service_client::Control(L"port=both&scope=files&reset=1") &&
               service_client::Control(L"port=both&scope=files&" + faults);
    };
    ASSERT_TRUE(setFaults(L"cut=40%25&badrange=1"));
    ASSERT_TRUE(run.Start());
    run.Choose(true);

    // A cut answer from the start: its part is kept. The range asked next comes back starting
    // elsewhere: refused, and the kept part goes.
    ASSERT_TRUE(AttemptFailed(run, mark, 1));
    EXPECT_TRUE(KeptFile(run) == cutPart);
    ASSERT_TRUE(AttemptFailed(run, mark, 2));
    EXPECT_TRUE(run.SetupFiles().empty());
    EXPECT_EQ(JsonNumber(SetupAnswers(mark)[1], "status"), 206);

    // Ranges ignored: the whole file comes again, stored from the start, never appended.
    ASSERT_TRUE(setFaults(L"cut=40%25&noranges=1"));
    ASSERT_TRUE(AttemptFailed(run, mark, 3));
    ASSERT_TRUE(AttemptFailed(run, mark, 4));
    EXPECT_FALSE(JsonField(SetupAnswers(mark)[3], "range").empty());
    EXPECT_EQ(JsonNumber(SetupAnswers(mark)[3], "status"), 200);
    EXPECT_TRUE(KeptFile(run) == cutPart);

    // A new validator: If-Range fails, the whole file comes and is stored whole.
    ASSERT_TRUE(setFaults(L"newetag=1"));
    ASSERT_TRUE(ReadyAfterRetries(run));
    const std::string last = SetupAnswers(mark).back();
    EXPECT_FALSE(JsonField(last, "if_range").empty());
    EXPECT_EQ(JsonNumber(last, "status"), 200);
    EXPECT_EQ(SetupAnswers(mark).size(), 5u);
    EXPECT_TRUE(KeptFile(run) == served);

    HWND box = run.Installer().AskToClose(run.Main());
    ASSERT_TRUE(box);
    Answer(box, IDYES);
    ASSERT_TRUE(run.Installer().WaitForExit(seconds(5)));
    EXPECT_TRUE(run.SetupFiles().empty());
}

}  // namespace
}  // namespace kv::test
