#include "pages/download_job.h"

#include "pages/download_rules.h"
#include "service/setup_query.h"
#include "trust/setup_signature.h"

namespace {

// Far more than anybody leaves in the temporary folder; past it the attempt fails.
constexpr int kMaxNameCandidates = 10000;
// How often the ending side repeats its cancel while it waits: a cancel that came before the
// transfer's exchange began is forgotten when the exchange starts.
constexpr DWORD kCancelRepeatMs = 50;

bool FileExists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

AttemptResult Failed(AttemptPhase phase, unsigned long win32Error = 0) {
    AttemptResult result;
    result.failedIn = phase;
    result.win32Error = win32Error;
    return result;
}

}  // namespace

std::wstring TempFolder() {
    wchar_t buffer[MAX_PATH + 1] = L"";
    const DWORD length = ::GetTempPathW(MAX_PATH, buffer);
    return TempFolderFrom(buffer, length, MAX_PATH);
}

std::wstring UniqueSetupPath() {
    const std::wstring folder = TempFolder();
    const std::wstring marked = WithNumberMark(kSetupFileName);
    for (int n = 1; n <= kMaxNameCandidates; ++n) {
        std::wstring candidate = folder + NumberedCandidate(marked, n);
        if (!FileExists(candidate)) return candidate;
    }
    return {};
}

bool IsSetupFileSigned(HANDLE file) {
    return VerifySetupSignature(file, AcceptedSetupSigners()) == SetupSignatureVerdict::Ok;
}

std::unique_ptr<DownloadJob> DownloadJob::Start(JobOrder order) {
    std::unique_ptr<DownloadJob> job(new (std::nothrow) DownloadJob(std::move(order)));
    if (!job) return nullptr;
    job->thread_.Reset(::CreateThread(nullptr, 0, &ThreadEntry, job.get(), 0, nullptr));
    if (!job->thread_) return nullptr;
    return job;
}

DownloadJob::DownloadJob(JobOrder order) : order_(std::move(order)) {}

DownloadJob::~DownloadJob() {
    if (!thread_) return;
    // The job never waits for the window, so waiting here cannot deadlock.
    do {
        Cancel();
    } while (::WaitForSingleObject(thread_.Get(), kCancelRepeatMs) == WAIT_TIMEOUT);
    // A file the job kept but never handed over goes with it.
    if (outcome_.file) {
        outcome_.file.Reset();
        ::DeleteFileW(outcome_.path.c_str());
    }
}

void DownloadJob::Cancel() {
    cancelled_.store(true);
    transfer_.Cancel();
}

DownloadJob::Progress DownloadJob::TakeProgress() {
    progressPending_.store(false);
    return {total_.load(), stored_.load()};
}

DownloadJob::Outcome DownloadJob::TakeOutcome() {
    return std::move(outcome_);
}

DWORD WINAPI DownloadJob::ThreadEntry(void* job) {
    static_cast<DownloadJob*>(job)->Run();
    return 0;
}

void DownloadJob::Run() {
    Outcome outcome;
    try {
        outcome.result = RunAttempt(outcome);
    } catch (...) {
        // Out of memory, or anything else thrown inside: a failed attempt, not the end of the
        // process (an exception leaving a thread terminates it).
        outcome.result = Failed(AttemptPhase::Transfer);
    }
    if (!outcome.result.ready && outcome.file) {
        outcome.file.Reset();
        ::DeleteFileW(outcome.path.c_str());
    }
    outcome.result.cancelled = cancelled_.load();
    outcome_ = std::move(outcome);
    // The rest happens on the window's thread, which owns the controls and the timers.
    ::PostMessageW(order_.window, kJobEndedMessage, order_.attempt, 0);
}

AttemptResult DownloadJob::RunAttempt(Outcome& outcome) {
    const std::wstring url = QuerySetupLocation(order_.serverUrls, order_.trial);
    if (cancelled_.load()) return Failed(AttemptPhase::Query, ERROR_CANCELLED);
    if (!IsWebUrl(url)) return Failed(AttemptPhase::Query);
    outcome.path = UniqueSetupPath();
    if (outcome.path.empty()) return Failed(AttemptPhase::Transfer, ERROR_FILE_EXISTS);
    ::PostMessageW(order_.window, kJobLocationFoundMessage, order_.attempt, 0);

    // The transfer deletes its file itself when it fails.
    if (!transfer_.Download(url, outcome.path, nullptr) || cancelled_.load()) {
        return Failed(AttemptPhase::Transfer, cancelled_.load() ? ERROR_CANCELLED : 0);
    }
    // Checked here, not on the window's thread: hashing a large file takes seconds.
    if (!HoldSignedFile(outcome)) {
        ::DeleteFileW(outcome.path.c_str());
        return Failed(AttemptPhase::Signature);
    }
    AttemptResult ready;
    ready.ready = true;
    return ready;
}

bool DownloadJob::HoldSignedFile(Outcome& outcome) {
    outcome.file.Reset(::CreateFileW(outcome.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (outcome.file && IsSetupFileSigned(outcome.file.Get())) return true;
    outcome.file.Reset();
    return false;
}

void DownloadJob::OnTransferProgress(int64_t total, int64_t stored) {
    // A cancel that came just before the exchange began was forgotten by it: repeat it.
    if (cancelled_.load()) transfer_.Cancel();
    total_.store(total);
    stored_.store(stored);
    if (progressPending_.exchange(true)) return;
    if (!::PostMessageW(order_.window, order_.progressMessage, order_.attempt, 0)) {
        progressPending_.store(false);
    }
}
