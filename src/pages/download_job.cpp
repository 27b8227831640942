#include "pages/download_job.h"

#include "pages/download_rules.h"
#include "service/setup_query.h"
#include "trust/setup_signature.h"

namespace {

// Far more than anybody leaves in the temporary folder; past it the attempt fails.
constexpr int kMaxNameCandidates = 10000;

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
    if (thread_) {
        // The job never waits for the window, and every wait of the job includes the token.
        Cancel();
        ::WaitForSingleObject(thread_.Get(), INFINITE);
    }
    // Whatever the job still holds, because nobody took it or it never ended, goes with it.
    if (outcome_.file) {
        outcome_.file.Reset();
        ::DeleteFileW(outcome_.path.c_str());
    }
    outcome_.partial.Discard();
    order_.partial.Discard();
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
    if (!outcome.result.ready && !outcome.partial.file && order_.partial.file) {
        // Ended before the transfer (the service did not answer): what an earlier attempt kept
        // is still good for the next one.
        outcome.partial = std::move(order_.partial);
        outcome.digest = std::move(order_.digest);
    }
    outcome.result.cancelled = token_.Cancelled();
    outcome.result.keptPartial = static_cast<bool>(outcome.partial.file);
    outcome_ = std::move(outcome);
    // The rest happens on the window's thread, which owns the controls and the timers.
    ::PostMessageW(order_.window, kJobEndedMessage, order_.attempt, 0);
}

AttemptResult DownloadJob::RunAttempt(Outcome& outcome) {
    const std::wstring url = QuerySetupLocation(order_.serverUrls, order_.trial, token_);
    if (token_.Cancelled()) return Failed(AttemptPhase::Query, ERROR_CANCELLED);
    if (!IsWebUrl(url)) return Failed(AttemptPhase::Query);

    // The rest of what an earlier attempt kept, when the service still names the same file.
    PartialDownload& partial = order_.partial;
    if (partial.CanResume(url) && order_.digest.Seen() == static_cast<uint64_t>(partial.stored)) {
        outcome.path = partial.path;
    } else {
        partial.Discard();
        order_.digest.Restart();
        outcome.path = UniqueSetupPath();
    }
    if (outcome.path.empty()) return Failed(AttemptPhase::Transfer, ERROR_FILE_EXISTS);
    ::PostMessageW(order_.window, kJobLocationFoundMessage, order_.attempt, 0);
    lastStoredAt_.store(::GetTickCount64());

    const TransferResult transfer = DownloadToFile(url, outcome.path, partial, token_, this, this);
    if (transfer.outcome != TransferOutcome::Complete || token_.Cancelled()) {
        AttemptResult failed = Failed(AttemptPhase::Transfer, transfer.win32Error);
        failed.httpStatus = transfer.httpStatus;
        failed.quietMs = static_cast<int64_t>(::GetTickCount64() - lastStoredAt_.load());
        // Empty, or what the next attempt resumes from, with the digest of what it holds.
        outcome.partial = std::move(partial);
        if (outcome.partial.file) outcome.digest = std::move(order_.digest);
        return failed;
    }
    // Checked here, not on the window's thread: hashing a large file takes seconds.
    const SetupSignatureVerdict verdict = HoldSignedFile(outcome);
    if (verdict != SetupSignatureVerdict::Ok) {
        AttemptResult refused = Failed(AttemptPhase::Signature);
        refused.signatureVerdict = static_cast<int>(verdict);
        outcome.file.Reset();
        ::DeleteFileW(outcome.path.c_str());
        return refused;
    }
    AttemptResult ready;
    ready.ready = true;
    return ready;
}

SetupSignatureVerdict DownloadJob::HoldSignedFile(Outcome& outcome) {
    // The transfer hands the file back held for writing; the setup can start only from a file
    // nobody holds for writing, so it is held for reading from here on, and checked as held.
    // (Between the two handles the file is briefly not held: the check right before the start
    // reads the whole file again through the handle held then.)
    order_.partial.file.Reset();
    order_.partial = PartialDownload();
    outcome.file.Reset(::CreateFileW(outcome.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!outcome.file) return SetupSignatureVerdict::Unreadable;
    PeSignatureLayout layout;
    Sha256Digest digest{};
    // Bytes that were not a signed image: the whole-file check names what is wrong.
    const bool streamed = order_.digest.Finish(layout, digest);
    return VerifySetupSignature(outcome.file.Get(), AcceptedSetupSigners(),
                                streamed ? &digest : nullptr);
}

void DownloadJob::OnTransferProgress(int64_t total, int64_t stored) {
    lastStoredAt_.store(::GetTickCount64());
    total_.store(total);
    stored_.store(stored);
    if (progressPending_.exchange(true)) return;
    if (!::PostMessageW(order_.window, order_.progressMessage, order_.attempt, 0)) {
        progressPending_.store(false);
    }
}
