// The download page's attempts: the query, the worker that transfers the setup file, the stall
// watchdog, the retries and the stop.

#include "i18n/texts.h"
#include "pages/download_page.h"
#include "pages/registered_messages.h"
#include "service/setup_query.h"
#include "trust/setup_signature.h"

namespace {

// Far more than anybody leaves in the temporary folder; past it the attempt fails.
constexpr int kMaxNameCandidates = 10000;
// How often a stop repeats its cancel while it waits for the worker: a cancel that came before
// the worker's exchange began is forgotten when the exchange starts.
constexpr DWORD kCancelRepeatMs = 50;

bool FileExists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

bool IsSetupFileSigned(HANDLE file) {
    return VerifySetupSignature(file, AcceptedSetupSigners()) == SetupSignatureVerdict::Ok;
}

void CDownloadPage::StartDownload() {
    SetStatus(GetText(L"DOWNLOADING_SETUP"));
    ::UpdateWindow(m_status.Hwnd());  // shown now, not after the query has blocked this thread
    m_bDownloadOk = false;
    // The query blocks this thread. The watchdog guards the transfer only: started before a
    // slow query, its tick would be waiting when the healthy transfer begins and stop it.
    const std::wstring url = QuerySetupLocation();
    if (!IsWebUrl(url)) return OnDownloadFailed();
    m_strSetupUrl = url;
    m_strSetupPath = MakeUniquePath(GetTempFolder() + kSetupFileName);
    if (m_strSetupPath.empty()) return OnDownloadFailed();

    StartAttemptTimers();
    m_nTransferPercent.store(0);
    m_bProgressPending.store(false);
    m_bCancel.store(false);
    m_phase = Phase::Transferring;
    if (!StartWorker({m_strSetupUrl, m_strSetupPath, ++m_nAttempt})) OnDownloadFailed();
}

std::wstring CDownloadPage::QuerySetupLocation() const {
    return ::QuerySetupLocation(m_serverUrls, m_bTrial);
}

bool CDownloadPage::StartWorker(DownloadJob job) {
    std::unique_ptr<DownloadJob> handedOver(new (std::nothrow) DownloadJob(std::move(job)));
    if (!handedOver) return false;
    m_hWorker.Reset(::CreateThread(nullptr, 0, &WorkerEntry, handedOver.get(), 0, nullptr));
    if (!m_hWorker) return false;
    handedOver.release();  // the worker owns it now
    return true;
}

DWORD WINAPI CDownloadPage::WorkerEntry(void* job) {
    std::unique_ptr<DownloadJob> owned(static_cast<DownloadJob*>(job));
    if (g_pDownloadPage) g_pDownloadPage->DownloadThreadProc(*owned);
    return 0;
}

void CDownloadPage::DownloadThreadProc(const DownloadJob& job) {
    m_bDownloading.store(true);
    bool ok = false;
    // A stop that came before this point is seen here; one that comes during the transfer
    // cancels it.
    if (!m_bCancel.load()) {
        try {
            ok = m_downloader.Download(job.url, job.path, &OnDownloadProgress);
            // Checked here, not on the user-interface thread: hashing a large file takes
            // seconds, and the window must keep answering meanwhile.
            ok = ok && !m_bCancel.load() && HoldSignedSetupFile(job.path);
        } catch (...) {
            // Out of memory, or anything else thrown inside the transfer: a failed attempt,
            // not the end of the process (an exception leaving a thread terminates it).
            ok = false;
        }
    }
    m_bDownloading.store(false);
    // The rest happens on the user-interface thread, which owns the controls and the timers.
    ::PostMessageW(m_hNotifyWindow.load(), kDownloadDoneMessage, job.attempt, ok ? 1 : 0);
}

void CDownloadPage::OnDownloadProgress(int64_t announcedLength, int64_t stored) {
    CDownloadPage* page = g_pDownloadPage;
    if (!page) return;
    page->m_nTransferPercent.store(ProgressPercent(announcedLength, stored));
    if (page->m_bProgressPending.exchange(true)) return;
    const HWND window = page->m_hNotifyWindow.load();
    if (!window || !::PostMessageW(window, g_uProgressMessage, 0, 0)) {
        page->m_bProgressPending.store(false);
    }
}

LRESULT CDownloadPage::OnProgressMessage() {
    m_bProgressPending.store(false);
    if (m_phase != Phase::Transferring) return 0;  // late news of an attempt that has ended
    SetBar(m_nTransferPercent.load());
    if (StopTimer(kWatchdogTimerId)) {
        m_uWatchdogTimer = StartTimer(kWatchdogTimerId, kWatchdogPeriodMs);
    }
    return 0;
}

void CDownloadPage::OnDownloadDone(unsigned attempt, bool ok) {
    if (attempt != m_nAttempt || m_phase != Phase::Transferring) return;  // already stopped
    m_hWorker.Reset();  // the worker posted this as its last act
    StopAttemptTimers();
    if (!ok) return OnDownloadFailed();
    m_bDownloadOk = true;
    m_phase = Phase::Ready;
    SetBar(100);
    SetStatus(GetText(L"SETUP_FILES_READY"));
    ShowButton(IDC_INSTALL_BUTTON, true);
}

void CDownloadPage::OnDownloadFailed() {
    StopAttemptTimers();
    DeleteSetupFile();
    if (m_retries.OnAttemptFailed() == RetryCountdown::AfterFailure::CountDown) {
        m_phase = Phase::Countdown;
        m_uRetryTimer = StartTimer(kRetryTimerId, kRetryPeriodMs);
        return;
    }
    m_phase = Phase::Failed;
    SetStatus(FormatText(L"CANT_DOWNLOAD_FILE", WidenProductName()));
    SetBar(0);
    ShowButton(IDC_RETRY_BUTTON, true);
}

void CDownloadPage::OnRetryTick() {
    const RetryCountdown::Tick tick = m_retries.OnTick();
    if (!tick.startNextAttempt) {
        SetStatus(FormatText(L"DOWNLOAD_FAILED_RETRYING", tick.secondsShown));
        return;
    }
    StopTimer(kRetryTimerId);
    StartDownload();
}

void CDownloadPage::OnRetry() {
    ShowButton(IDC_RETRY_BUTTON, false);
    m_retries.Rearm();
    StartDownload();
}

void CDownloadPage::Stop(bool closing) {
    StopAttemptTimers();
    m_bStopped = closing;
    CancelAndWaitForWorker();
    DeleteSetupFile();
    if (closing) return;
    m_bStopped = true;
    if (m_phase == Phase::Transferring) OnDownloadFailed();
}

void CDownloadPage::CancelAndWaitForWorker() {
    m_bCancel.store(true);
    if (m_hWorker) {
        // The worker never waits for this thread, so waiting here cannot deadlock.
        do {
            m_downloader.Cancel();
        } while (::WaitForSingleObject(m_hWorker.Get(), kCancelRepeatMs) == WAIT_TIMEOUT);
        m_hWorker.Reset();
    }
    // The mark was for that worker only; its completion message, still queued, is dropped.
    m_bCancel.store(false);
    ++m_nAttempt;
}

void CDownloadPage::DeleteSetupFile() {
    m_hSetupFile.Reset();  // with read-only sharing held, not even we could delete it
    if (!m_strSetupPath.empty()) ::DeleteFileW(m_strSetupPath.c_str());
}

bool CDownloadPage::HoldSignedSetupFile(const std::wstring& path) {
    // Worker thread. The user-interface thread touches the handle only once this worker has ended:
    // at its completion message, or after waiting for it.
    m_hSetupFile.Reset(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (m_hSetupFile && IsSetupFileSigned(m_hSetupFile.Get())) return true;
    m_hSetupFile.Reset();
    return false;
}

std::wstring CDownloadPage::GetTempFolder() const {
    wchar_t buffer[MAX_PATH + 1] = L"";
    const DWORD length = ::GetTempPathW(MAX_PATH, buffer);
    return TempFolderFrom(buffer, length, MAX_PATH);
}

std::wstring CDownloadPage::MakeUniquePath(const std::wstring& fullPath) const {
    const std::wstring_view name = FileNamePart(fullPath);
    const std::wstring folder = fullPath.substr(0, fullPath.size() - name.size());
    const std::wstring marked = WithNumberMark(name);
    for (int n = 1; n <= kMaxNameCandidates; ++n) {
        std::wstring candidate = folder + NumberedCandidate(marked, n);
        if (!FileExists(candidate)) return candidate;
    }
    return {};
}
