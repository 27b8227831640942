// One HTTP exchange against the reference download service: bodies of every shape, progress,
// target paths, URLs and broken lengths.

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "net/downloader.h"
#include "service_client.h"
#include "service_log.h"
#include "test_files.h"

namespace {

using service_client::Url;
using test_files::BlobBytes;
using test_files::Contents;
using test_files::Exists;

std::vector<std::pair<int64_t, int64_t>> g_progress;
DWORD g_downloadingThread = 0;
int g_callsOnOtherThreads = 0;
void RecordProgress(int64_t announced, int64_t received) {
    g_progress.emplace_back(announced, received);
    if (GetCurrentThreadId() != g_downloadingThread) ++g_callsOnOtherThreads;
}

std::string MemoryBody(const Downloader& downloader) {
    return std::string(reinterpret_cast<const char*>(downloader.BodyBuffer()),
                       static_cast<size_t>(downloader.ReceivedBytes()));
}

class TransferTest : public kv::test::ServiceTest {
  protected:
    void SetUp() override {
        ServiceTest::SetUp();
        g_progress.clear();
        g_downloadingThread = GetCurrentThreadId();
        g_callsOnOtherThreads = 0;
    }
    test_files::TempFolder folder_;
    Downloader downloader_;
};

TEST_F(TransferTest, WholeBodiesArriveWithAndWithoutLength) {
    const std::wstring withLength = folder_.File(L"with-length.bin");
    ASSERT_TRUE(downloader_.Download(Url(L"/blob/70000"), withLength, nullptr));
    EXPECT_EQ(Contents(withLength), BlobBytes(70000));
    EXPECT_EQ(downloader_.ReceivedBytes(), 70000);

    const std::wstring withoutLength = folder_.File(L"without-length.bin");
    ASSERT_TRUE(downloader_.Download(Url(L"/blob/70000?nolength=1"), withoutLength, nullptr));
    EXPECT_EQ(Contents(withoutLength), BlobBytes(70000));
}

TEST_F(TransferTest, ErrorStatusFailsAndLeavesTheTargetAlone) {
    for (const wchar_t* status : {L"404", L"500"}) {
        const std::wstring path = folder_.File(std::wstring(L"status-") + status + L".bin");
        EXPECT_FALSE(downloader_.Download(Url(L"/blob/100?status=") + status, path, nullptr));
        EXPECT_FALSE(Exists(path)) << status;
    }
    // The target is only opened once body bytes are in hand, so an earlier file survives.
    const std::wstring existing = folder_.File(L"existing.bin");
    ASSERT_TRUE(test_files::Write(existing, "keep"));
    EXPECT_FALSE(downloader_.Download(Url(L"/blob/100?status=404"), existing, &RecordProgress));
    EXPECT_EQ(Contents(existing), "keep");
    EXPECT_TRUE(g_progress.empty());
}

TEST_F(TransferTest, EmptyAndShortBodiesFailAndLeaveNoFile) {
    const std::wstring path = folder_.File(L"broken.bin");
    EXPECT_FALSE(downloader_.Download(Url(L"/blob/100?empty=1"), L"", nullptr));
    EXPECT_FALSE(downloader_.Download(Url(L"/blob/100?empty=1"), path, nullptr));
    EXPECT_FALSE(Exists(path));

    // The connection closes after 1000 of 5000 announced bytes: WinHTTP reports a normal end.
    EXPECT_FALSE(downloader_.Download(Url(L"/blob/5000?cut=1000"), path, nullptr));
    EXPECT_FALSE(Exists(path));
    EXPECT_FALSE(downloader_.Download(Url(L"/blob/5000?cut=4999"), L"", nullptr));
    EXPECT_EQ(downloader_.ReceivedBytes(), 4999);
}

TEST_F(TransferTest, ChunkedBodyIsNeverStoredAsAFile) {
    // WinHTTP under Wine reports the end of a chunked body cut before its last chunk (here after
    // 1000 bytes) as a normal end, so no chunked body can pass for a complete file.
    const std::wstring path = folder_.File(L"chunked.bin");
    for (const wchar_t* url : {L"/blob/5000?chunked=1&cut=1000", L"/blob/70000?chunked=1"}) {
        EXPECT_FALSE(downloader_.Download(Url(url), path, nullptr));
        EXPECT_FALSE(Exists(path));
    }
    // In memory, where the service's answers go, it arrives whole.
    ASSERT_TRUE(downloader_.Download(Url(L"/blob/3000?chunked=1&trickle=1000:100"), L"", nullptr));
    EXPECT_EQ(MemoryBody(downloader_), BlobBytes(3000));
}

TEST_F(TransferTest, MemoryBodyIsAlwaysFollowedByZero) {
    ASSERT_TRUE(downloader_.Download(Url(L"/blob/5"), L"", nullptr));
    ASSERT_NE(downloader_.BodyBuffer(), nullptr);
    EXPECT_EQ(MemoryBody(downloader_), BlobBytes(5));
    EXPECT_EQ(downloader_.BodyBuffer()[5], 0);

    // Two chunks of 1000: after the first the capacity is 2000, exactly the body's length,
    // so the buffer must grow before the second is appended.
    Downloader fresh;
    ASSERT_TRUE(fresh.Download(Url(L"/blob/2000?trickle=1000:150"), L"", nullptr));
    EXPECT_EQ(MemoryBody(fresh), BlobBytes(2000));
    EXPECT_GT(fresh.BufferCapacity(), 2000);
    EXPECT_EQ(fresh.BodyBuffer()[2000], 0);

    // A shorter body in the same buffer is still terminated: the buffer is cleared first.
    ASSERT_TRUE(fresh.Download(Url(L"/blob/3"), L"", nullptr));
    EXPECT_EQ(fresh.BodyBuffer()[3], 0);
    EXPECT_EQ(fresh.BodyBuffer()[1999], 0);
}

TEST_F(TransferTest, ProgressFollowsEveryStoredChunk) {
    using Calls = std::vector<std::pair<int64_t, int64_t>>;
    const std::wstring path = folder_.File(L"progress.bin");
    ASSERT_TRUE(downloader_.Download(Url(L"/blob/3000?trickle=1000:200"), path, &RecordProgress));
    EXPECT_EQ(g_progress, (Calls{{3000, 1000}, {3000, 2000}, {3000, 3000}}));

    g_progress.clear();
    ASSERT_TRUE(
        downloader_.Download(Url(L"/blob/3000?trickle=1000:200&nolength=1"), L"", &RecordProgress));
    EXPECT_EQ(g_progress, (Calls{{0, 1000}, {0, 2000}, {0, 3000}}));

    // A later download without a callback doesn't reach the earlier one.
    g_progress.clear();
    ASSERT_TRUE(downloader_.Download(Url(L"/blob/3000"), path, nullptr));
    EXPECT_TRUE(g_progress.empty());
}

TEST_F(TransferTest, LargeBodiesArriveWholeAndInOrder) {
    // Several of the blocks that the reading thread hands over, and an odd length, so a lost,
    // repeated or reordered block shows in the bytes.
    constexpr int64_t kFileSize = 9000007;
    const std::wstring path = folder_.File(L"large.bin");
    ASSERT_TRUE(downloader_.Download(Url(L"/blob/9000007"), path, &RecordProgress));
    EXPECT_TRUE(Contents(path) == BlobBytes(kFileSize));
    ASSERT_FALSE(g_progress.empty());
    EXPECT_EQ(g_progress.back(), std::make_pair(kFileSize, kFileSize));
    const auto notGrowing = [](const auto& a, const auto& b) { return a.second >= b.second; };
    EXPECT_EQ(std::adjacent_find(g_progress.begin(), g_progress.end(), notGrowing),
              g_progress.end());
    // The callback runs on the thread that called Download, never on WinHTTP's.
    EXPECT_EQ(g_callsOnOtherThreads, 0);

    constexpr int64_t kMemorySize = 3000001;
    ASSERT_TRUE(downloader_.Download(Url(L"/blob/3000001?nolength=1"), L"", nullptr));
    EXPECT_TRUE(MemoryBody(downloader_) == BlobBytes(kMemorySize));
    EXPECT_EQ(downloader_.BodyBuffer()[kMemorySize], 0);
}

TEST_F(TransferTest, TargetPathFormsChooseFileOrMemory) {
    // A trailing backslash names a folder, not a file: memory mode.
    ASSERT_TRUE(downloader_.Download(Url(L"/blob/10"), folder_.Path() + L"\\", nullptr));
    EXPECT_EQ(MemoryBody(downloader_), BlobBytes(10));
    EXPECT_EQ(test_files::FileCount(folder_.Path()), 0);
    ASSERT_TRUE(downloader_.Download(Url(L"/blob/12"), L"", nullptr));
    EXPECT_EQ(MemoryBody(downloader_), BlobBytes(12));

    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(folder_.Path().c_str()));
    // No backslash: the current folder.
    const bool plain = downloader_.Download(Url(L"/blob/20"), L"plain.bin", nullptr);
    // Only a leading backslash: taken whole as the file name, so the root of the current drive.
    const std::wstring rootName = L"\\kvnet-" + service_client::UniqueToken() + L".bin";
    const bool rooted = downloader_.Download(Url(L"/blob/30"), rootName, nullptr);
    const std::string rootedContents = Contents(rootName);
    DeleteFileW(rootName.c_str());
    SetCurrentDirectoryW(previous);

    EXPECT_TRUE(plain);
    EXPECT_EQ(Contents(folder_.File(L"plain.bin")), BlobBytes(20));
    EXPECT_TRUE(rooted);
    EXPECT_EQ(rootedContents, BlobBytes(30));
}

TEST_F(TransferTest, UrlDecidesTlsAndABadUrlNeverReachesTheOldTarget) {
    const std::wstring tag = service_client::UniqueToken();
    const std::string tagA(tag.begin(), tag.end());

    ASSERT_TRUE(downloader_.Download(Url(L"/blob/10?x=1&tag=" + tag), L"", nullptr));
    EXPECT_EQ(downloader_.ObjectName(), L"/blob/10?x=1&tag=" + tag);
    EXPECT_EQ(kv::test::LogLinesSinceWith(0, {"/blob/10?x=1&tag=" + tagA}).size(), 1u);

    // https on a port other than 443 is still TLS: the plain-HTTP service sees no request.
    const std::wstring https =
        L"https://127.0.0.1:" +
        std::to_wstring(service_client::Port(service_client::Server::Primary)) + L"/blob/10?tls=" +
        tag;
    EXPECT_FALSE(downloader_.Download(https, L"", nullptr));
    EXPECT_TRUE(downloader_.UsesTls());
    EXPECT_TRUE(kv::test::LogLinesSinceWith(0, {"tls=" + tagA}).empty());

    // Neither an unparsable URL nor an overlong host name falls back to the previous target.
    EXPECT_FALSE(downloader_.Download(L"not a url", L"", nullptr));
    const std::wstring longHost = L"http://" + std::wstring(300, L'a') + L".example/blob/10";
    EXPECT_FALSE(downloader_.Download(longHost, L"", nullptr));
    EXPECT_EQ(kv::test::LogLinesSinceWith(0, {"tls=" + tagA}).size(), 0u);
    EXPECT_EQ(kv::test::LogLinesSinceWith(0, {"/blob/10?x=1&tag=" + tagA}).size(), 1u);
}

TEST_F(TransferTest, NegativeOrAbsurdContentLengthFails) {
    EXPECT_FALSE(downloader_.Download(Url(L"/blob/30?length=-5"), L"", nullptr));
    EXPECT_FALSE(downloader_.Download(Url(L"/blob/30?length=99999999999999999999"), L"", nullptr));
    const std::wstring path = folder_.File(L"absurd.bin");
    EXPECT_FALSE(downloader_.Download(Url(L"/blob/30?length=99999999999999999999"), path, nullptr));
    EXPECT_FALSE(Exists(path));
}

}  // namespace
