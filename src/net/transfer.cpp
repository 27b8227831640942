#include "net/transfer.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <string>

#include "i18n/decimal_text.h"
#include "net/exchange_worker.h"
#include "net/network_communicator.h"
#include "net/proxy_config.h"
#include "net/response_headers.h"

bool PartialDownload::CanResume(std::wstring_view wanted) const {
    return file && url == wanted && !validator.empty() && acceptsRanges && totalLength > 0 &&
           stored > 0 && stored < totalLength;
}

void PartialDownload::Discard() {
    const bool held = static_cast<bool>(file);
    file.Reset();
    if (held && !path.empty()) ::DeleteFileW(path.c_str());
    *this = PartialDownload();
}

namespace {

// A Content-Length beyond this is not a file we could be sent; treat it as a broken answer.
constexpr int64_t kMaxAnnouncedLength = int64_t{1} << 40;

// One attempt. The file is written only through `partial`'s handle, opened with read sharing
// alone, so from the first byte to the hand-over nobody else can change it.
class FileTransfer {
  public:
    FileTransfer(std::wstring_view url, const std::wstring& path, PartialDownload& partial,
                 const CancelToken& cancel, ProgressSink* progress, ByteObserver* observer)
        : url_(url),
          path_(path),
          partial_(partial),
          cancel_(cancel),
          progress_(progress),
          observer_(observer) {}

    TransferResult Run();

  private:
    TransferOutcome Exchange(net::ExchangeRequest request);
    TransferOutcome Receive(net::ExchangeState& state);
    // On the first body block: checks the answer against what was asked and readies the file.
    bool BeginBody(const net::ExchangeState& state);
    bool ContinueWith(const net::ExchangeState& state, int64_t announcedLength, bool chunked);
    bool StartOver(const net::ExchangeState& state, int64_t announcedLength, bool chunked);
    bool Store(const unsigned char* bytes, DWORD count);
    bool Whole() const;
    TransferResult Finish(TransferOutcome outcome);
    bool Fail(DWORD error);

    const std::wstring url_;
    const std::wstring& path_;
    PartialDownload& partial_;
    const CancelToken& cancel_;
    ProgressSink* const progress_;
    ByteObserver* const observer_;
    TransferResult result_;
    // Whether what the file holds may be resumed from if this attempt fails.
    bool keep_ = false;
};

DWORD HeaderWaitMs(DWORD timeoutMs) {
    // Resolving, connecting, sending and waiting for the headers each have the time-out. WinHTTP
    // enforces them; this wait only guards against one that it fails to enforce.
    if (timeoutMs == 0) return INFINITE;
    return std::min<DWORD>(timeoutMs, (INFINITE - 1) / 5) * 5;
}

TransferResult FileTransfer::Run() {
    const bool resuming = partial_.CanResume(url_) && partial_.path == path_;
    if (!resuming) partial_.Discard();
    keep_ = resuming;
    if (cancel_.Cancelled()) return Finish(TransferOutcome::Cancelled);

    net::ExchangeRequest request;
    if (!cancel_.Event() || !net::SetRequestTarget(url_, request)) {
        result_.win32Error = ERROR_INVALID_PARAMETER;
        return Finish(TransferOutcome::Failed);
    }
    request.timeoutMs = NetworkCommunicator::kDefaultTimeoutMs;
    if (resuming) {
        // The rest of the file, but only if it is still the file we have the start of.
        request.headers = L"Range: bytes=" + kv::i18n::DecimalText(partial_.stored) +
                          L"-\r\nIf-Range: " + partial_.validator + L"\r\n";
        request.acceptPartial = true;
    }
    return Finish(Exchange(std::move(request)));
}

TransferOutcome FileTransfer::Exchange(net::ExchangeRequest request) {
    // Read anew for every attempt, so a changed system setting applies to the next retry.
    ProxyPlan plan = ResolveSessionProxy();
    ApplyRequestProxy(plan, url_, request.timeoutMs, cancel_.Event());
    if (cancel_.Cancelled()) return TransferOutcome::Cancelled;
    request.accessType = plan.accessType;
    request.proxyList = plan.proxyList;

    std::shared_ptr<net::ExchangeState> state = net::MakeExchangeState(std::move(request));
    if (!state || !net::StartExchangeWorker(state)) {
        result_.win32Error = ERROR_NOT_ENOUGH_MEMORY;
        return TransferOutcome::Failed;
    }
    // However the receiving ends (even by an exception), the worker is let go: it may still be
    // inside WinHTTP, stops at its next step and frees the state.
    struct Leave {
        net::BlockChannel& channel;
        ~Leave() { channel.Abandon(); }
    } leave{state->channel};
    return Receive(*state);
}

TransferOutcome FileTransfer::Receive(net::ExchangeState& state) {
    net::BlockChannel& channel = state.channel;
    DWORD waitMs = HeaderWaitMs(state.request.timeoutMs);
    bool first = true;
    for (;;) {
        if (cancel_.Cancelled()) return TransferOutcome::Cancelled;
        const net::BlockChannel::Wait wait = channel.AwaitFilled(cancel_.Event(), waitMs);
        if (wait == net::BlockChannel::Wait::Cancelled) return TransferOutcome::Cancelled;
        if (wait == net::BlockChannel::Wait::TimedOut) {
            result_.win32Error = ERROR_WINHTTP_TIMEOUT;
            return TransferOutcome::Failed;
        }
        // Once the body flows, every read is bounded by WinHTTP's receive time-out.
        waitMs = INFINITE;
        const net::BodyBlock& block = channel.Oldest();
        if (first) {
            first = false;
            result_.httpStatus = state.response.status;
            // A 200 answer replaces whatever the file held, even when it brings nothing; a 416
            // says the held part is no start of the file any more.
            if (state.response.status == 200 || state.response.status == 416) keep_ = false;
            if (block.kind == net::BodyBlock::Kind::Data && !BeginBody(state)) {
                return TransferOutcome::Failed;
            }
        }
        if (block.kind == net::BodyBlock::Kind::Failed) {
            if (result_.win32Error == 0) result_.win32Error = state.response.error;
            return TransferOutcome::Failed;
        }
        if (block.kind == net::BodyBlock::Kind::End) {
            return Whole() ? TransferOutcome::Complete : TransferOutcome::Failed;
        }
        if (!Store(block.bytes.get(), block.size)) return TransferOutcome::Failed;
        channel.ReleaseOldest();
    }
}

bool FileTransfer::BeginBody(const net::ExchangeState& state) {
    const int64_t announcedLength = state.channel.announcedLength.load();
    const bool chunked = state.channel.chunked.load();
    if (state.response.status == 206) return ContinueWith(state, announcedLength, chunked);
    return StartOver(state, announcedLength, chunked);
}

bool FileTransfer::ContinueWith(const net::ExchangeState& state, int64_t announcedLength,
                                bool chunked) {
    // Only the rest of the file we hold, exactly, is welcome; anything else makes the held part
    // worthless, since the server no longer agrees with it.
    keep_ = false;
    net::ContentRange range;
    if (chunked || !net::ParseContentRange(state.response.contentRange, range) ||
        range.first != partial_.stored || range.total != partial_.totalLength ||
        range.last != range.total - 1 || announcedLength != range.total - range.first) {
        return false;
    }
    // The If-Range held; an answer that names a validator of the same kind must name ours.
    bool isEtag = false;
    const std::wstring validator =
        net::StrongValidator(state.response.etag, state.response.lastModified, isEtag);
    if (!validator.empty() && isEtag == partial_.validatorIsEtag &&
        validator != partial_.validator) {
        return false;
    }
    // The file holds exactly the bytes before the range, whatever a failed write left behind.
    LARGE_INTEGER at{};
    at.QuadPart = partial_.stored;
    if (!::SetFilePointerEx(partial_.file.Get(), at, nullptr, FILE_BEGIN) ||
        !::SetEndOfFile(partial_.file.Get())) {
        return Fail(::GetLastError());
    }
    keep_ = true;
    return true;
}

bool FileTransfer::StartOver(const net::ExchangeState& state, int64_t announcedLength,
                             bool chunked) {
    // WinHTTP under Wine ends a chunked body that lost its last chunk like a whole one, so a
    // chunked body can't be known complete: files must come with a length or end with the
    // connection.
    if (chunked || announcedLength < 0 || announcedLength > kMaxAnnouncedLength) return false;
    if (partial_.file) {
        LARGE_INTEGER start{};
        if (!::SetFilePointerEx(partial_.file.Get(), start, nullptr, FILE_BEGIN) ||
            !::SetEndOfFile(partial_.file.Get())) {
            return Fail(::GetLastError());
        }
    } else {
        // Opened only once body bytes are in hand: an attempt that fails earlier leaves an
        // existing file alone.
        partial_.file.Reset(::CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!partial_.file) return Fail(::GetLastError());
    }
    partial_.path = path_;
    partial_.url = url_;
    partial_.validator = net::StrongValidator(state.response.etag, state.response.lastModified,
                                              partial_.validatorIsEtag);
    partial_.totalLength = announcedLength;
    partial_.acceptsRanges = net::AcceptsByteRanges(state.response.acceptRanges);
    partial_.stored = 0;
    if (observer_) observer_->Restart();
    // A body without a length can't be resumed: nothing would tell where it ends.
    keep_ = !partial_.validator.empty() && partial_.acceptsRanges && announcedLength > 0;
    return true;
}

bool FileTransfer::Store(const unsigned char* bytes, DWORD count) {
    DWORD written = 0;
    // A short or failed write (a full disk) must not pass for a complete file.
    if (!::WriteFile(partial_.file.Get(), bytes, count, &written, nullptr) || written != count) {
        keep_ = false;
        return Fail(::GetLastError() != 0 ? ::GetLastError() : ERROR_WRITE_FAULT);
    }
    if (partial_.totalLength > 0 && partial_.stored + count > partial_.totalLength) {
        keep_ = false;  // more than announced: not the file we were told of
        return false;
    }
    if (observer_) observer_->Append(bytes, count);
    partial_.stored += count;
    if (progress_) progress_->OnTransferProgress(partial_.totalLength, partial_.stored);
    return true;
}

bool FileTransfer::Whole() const {
    // A dropped connection looks like a normal end of data: only the count tells. A body
    // without a length ends with the connection, so any bytes count as whole.
    if (!partial_.file) return false;
    return partial_.totalLength > 0 ? partial_.stored == partial_.totalLength : partial_.stored > 0;
}

bool FileTransfer::Fail(DWORD error) {
    result_.win32Error = error;
    return false;
}

TransferResult FileTransfer::Finish(TransferOutcome outcome) {
    result_.outcome = outcome;
    if (outcome == TransferOutcome::Complete) {
        // Handed over held, read from its start.
        LARGE_INTEGER start{};
        ::SetFilePointerEx(partial_.file.Get(), start, nullptr, FILE_BEGIN);
    } else if (!keep_ || !partial_.CanResume(url_)) {
        partial_.Discard();
    }
    result_.stored = partial_.stored;
    return result_;
}

}  // namespace

TransferResult DownloadToFile(std::wstring_view url, const std::wstring& path,
                              PartialDownload& partial, const CancelToken& cancel,
                              ProgressSink* progress, ByteObserver* observer) {
    try {
        return FileTransfer(url, path, partial, cancel, progress, observer).Run();
    } catch (const std::exception&) {
        // Out of memory: a failed attempt; nothing half-written is kept.
        partial.Discard();
        TransferResult failed;
        failed.win32Error = ERROR_NOT_ENOUGH_MEMORY;
        return failed;
    }
}
