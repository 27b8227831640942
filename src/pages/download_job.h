#pragma once
// One download attempt on a thread of its own: the setup-location query, the transfer into the
// temporary folder (resumed from what an earlier attempt kept) and the signature check. The job
// owns its cancel token and its file until it hands the file over with its result. It tells the
// window about itself only by posting: "location found", coalesced progress (one message on its way
// at a time) and one result at its end, each with its attempt number in wParam. The window waits
// for it only when it ends it (Restore, close, exit), and then with the token set.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "net/cancel_token.h"
#include "net/transfer.h"
#include "pages/download_session.h"
#include "trust/authenticode_stream.h"
#include "trust/setup_signature.h"
#include "win/handles.h"

// Posted by the job to its window; wParam is the attempt number, lParam 0.
inline constexpr UINT kJobEndedMessage = WM_APP + 2;
inline constexpr UINT kJobLocationFoundMessage = WM_APP + 3;

// What a job needs, copied: it shares nothing with the page but itself.
struct JobOrder {
    unsigned attempt = 0;
    unsigned char trial = 1;
    std::vector<std::wstring> serverUrls;
    HWND window = nullptr;      // receives the job's messages
    UINT progressMessage = 0;   // the registered progress message
    PartialDownload partial;    // what an earlier attempt kept; the job owns it now
    AuthenticodeStream digest;  // the digest of the bytes `partial` holds, travelling with it
};

class DownloadJob : private ProgressSink, private ByteObserver {
  public:
    struct Progress {
        int64_t total = 0;
        int64_t stored = 0;
    };
    // What the job hands over at its end: its result and, when ready, the checked file, held
    // open with read-only sharing so that nobody can change it before the setup starts; when
    // failed, what the next attempt may resume from.
    struct Outcome {
        AttemptResult result;
        kv::win::FileHandle file;
        std::wstring path;
        PartialDownload partial;
        AuthenticodeStream digest;
    };

    // Starts the job's thread; null when it could not be started.
    static std::unique_ptr<DownloadJob> Start(JobOrder order);
    // Ends the job: cancels it, waits for its thread and deletes whatever file it still holds.
    ~DownloadJob();
    DownloadJob(const DownloadJob&) = delete;
    DownloadJob& operator=(const DownloadJob&) = delete;

    unsigned Attempt() const { return order_.attempt; }
    // Any thread, any number of times: the query, the transfer and the check end promptly.
    void Cancel() { token_.Cancel(); }
    // The latest progress; the next stored block posts a new message.
    Progress TakeProgress();
    // Once kJobEndedMessage has come: the result and what the job held.
    Outcome TakeOutcome();

  private:
    explicit DownloadJob(JobOrder order);
    static DWORD WINAPI ThreadEntry(void* job);
    void Run();  // job thread
    AttemptResult RunAttempt(Outcome& outcome);
    SetupSignatureVerdict HoldSignedFile(Outcome& outcome);
    void OnTransferProgress(int64_t total, int64_t stored) override;  // job thread
    // Every stored byte goes into the digest, so the check after the transfer only parses the
    // signature instead of reading the whole file again.
    void Restart() override { order_.digest.Restart(); }
    void Append(const unsigned char* bytes, size_t count) override {
        order_.digest.Append(bytes, count);
    }

    JobOrder order_;  // its partial download is the job thread's until the end
    CancelToken token_;
    Outcome outcome_;  // written by the job thread before its ended message; read after it
    std::atomic<int64_t> total_{0};
    std::atomic<int64_t> stored_{0};
    std::atomic<bool> progressPending_{false};
    std::atomic<uint64_t> lastStoredAt_{0};  // tick count of the last stored block (job thread)
    kv::win::KernelHandle thread_;
};

// The temporary folder, ending with a backslash ("C:\" when the system gives none).
std::wstring TempFolder();
// A path in the temporary folder, derived from the setup file's name, that no file has yet;
// empty when every candidate is taken.
std::wstring UniqueSetupPath();
// True when the file, read through this handle, carries the signature of one of the maker's
// accepted certificates.
bool IsSetupFileSigned(HANDLE file);
