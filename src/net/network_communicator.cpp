#include "net/network_communicator.h"

#include <algorithm>
#include <memory>
#include <new>

#include "net/block_channel.h"
#include "net/exchange_worker.h"
#include "net/proxy_config.h"

// The caller's side of an exchange. WinHTTP runs on a worker thread of the exchange's own
// (net/exchange_worker.h): a blocking WinHTTP call can't be interrupted reliably from another
// thread (closing the request handle does not wake a read that waits for data on every platform
// we run on), whereas the caller's wait for the next block or its cancel event can. The caller
// stores the blocks and reports progress, so the callback runs on the thread that asked.

namespace {

// A Content-Length beyond this is not a file we could be sent; treat it as a broken answer.
constexpr int64_t kMaxAnnouncedLength = int64_t{1} << 40;

// Upper bound for the in-memory body; memory mode is for the service's short answers.
constexpr int64_t kMaxMemoryCapacity = int64_t{1} << 30;

}  // namespace

NetworkCommunicator::NetworkCommunicator() = default;

NetworkCommunicator::~NetworkCommunicator() = default;

bool NetworkCommunicator::SetTargetUrl(std::wstring_view url) {
    targetValid_ = false;
    targetUrl_.clear();
    net::ExchangeRequest parts;
    if (!net::SetRequestTarget(url, parts)) return false;
    hostName_ = std::move(parts.hostName);
    objectName_ = std::move(parts.objectName);
    port_ = parts.port;
    secure_ = parts.secure;
    targetUrl_ = url;
    targetValid_ = true;
    return true;
}

void NetworkCommunicator::SetTarget(std::wstring folder, std::wstring fileName) {
    targetFolder_ = std::move(folder);
    targetFileName_ = std::move(fileName);
    targetPath_.clear();
}

bool NetworkCommunicator::PerformRequest(const CancelToken& cancel) {
    ResetForExchange();
    ProxyPlan direct;
    return RunExchange(direct, cancel);
}

bool NetworkCommunicator::PerformRequest() {
    std::shared_ptr<CancelToken> token;
    try {
        token = std::make_shared<CancelToken>();
    } catch (const std::bad_alloc&) {
        return false;
    }
    {
        kv::win::ScopedLock lock(ownTokenMutex_);
        ownToken_ = token;
    }
    return PerformRequest(*token);
}

void NetworkCommunicator::Cancel() {
    std::shared_ptr<CancelToken> token;
    {
        kv::win::ScopedLock lock(ownTokenMutex_);
        token = ownToken_;
    }
    // The WinHTTP handles belong to the exchange's worker, which closes them when it stops; only
    // the waiting caller is woken here.
    if (token) token->Cancel();
}

void NetworkCommunicator::ResetForExchange() {
    receivedBytes_ = 0;
    if (bodyBuffer_) std::fill_n(bodyBuffer_.get(), bufferCapacity_, 0);
}

bool NetworkCommunicator::RunExchange(const ProxyPlan& plan, const CancelToken& cancel) {
    // A cancel that came while the caller prepared the exchange (a slow proxy lookup) counts.
    if (cancel.Cancelled() || !targetValid_ || !cancel.Event()) return false;

    net::ExchangeRequest request;
    request.hostName = hostName_;
    request.port = port_;
    request.objectName = objectName_;
    request.secure = secure_;
    request.timeoutMs = timeoutMs_;
    request.accessType = plan.accessType;
    request.proxyList = plan.proxyList;
    std::shared_ptr<net::ExchangeState> state = net::MakeExchangeState(std::move(request));
    if (!state || !net::StartExchangeWorker(state)) return false;
    const bool stored = ReadBody(state->channel, cancel);
    // The worker may still be inside WinHTTP; it stops at its next step and frees the state.
    state->channel.Abandon();
    return stored;
}

DWORD NetworkCommunicator::HeaderWaitMs() const {
    // Resolving, connecting, sending and waiting for the headers each have the time-out. WinHTTP
    // enforces them; this wait only guards against one that it fails to enforce.
    if (timeoutMs_ == 0) return INFINITE;
    return std::min<DWORD>(timeoutMs_, (INFINITE - 1) / 5) * 5;
}

bool NetworkCommunicator::ReadBody(net::BlockChannel& channel, const CancelToken& cancel) {
    kv::win::FileHandle file;
    int64_t announcedLength = 0;
    bool firstBlock = true;
    bool failed = false;
    DWORD waitMs = HeaderWaitMs();

    for (;;) {
        if (cancel.Cancelled() ||
            channel.AwaitFilled(cancel.Event(), waitMs) != net::BlockChannel::Wait::Filled) {
            failed = true;
            break;
        }
        // Once the body flows, every read is bounded by WinHTTP's receive time-out.
        waitMs = INFINITE;
        const net::BodyBlock& block = channel.Oldest();
        if (block.kind != net::BodyBlock::Kind::Data) {
            failed = block.kind == net::BodyBlock::Kind::Failed;
            break;
        }
        if (firstBlock) {
            firstBlock = false;
            announcedLength = channel.announcedLength.load();
            if (!BeginBody(announcedLength, channel.chunked.load(), file)) {
                failed = true;
                break;
            }
        }
        if (!StoreChunk(file, block.bytes.get(), block.size)) {
            failed = true;
            break;
        }
        receivedBytes_ += block.size;
        channel.ReleaseOldest();
        NotifyProgress(announcedLength, receivedBytes_);
    }
    return FinishBody(file, !failed, announcedLength);
}

bool NetworkCommunicator::BeginBody(int64_t announcedLength, bool chunked,
                                    kv::win::FileHandle& file) {
    if (announcedLength < 0 || announcedLength > kMaxAnnouncedLength) return false;
    // WinHTTP under Wine ends a chunked body that lost its last chunk like a whole one, so a
    // chunked body can't be known complete. Files are what we run: they must come with a length
    // or end with the connection. Short answers in memory carry their own check (the envelope).
    if (chunked && !targetFileName_.empty()) return false;
    return targetFileName_.empty() || OpenTargetFile(file);
}

bool NetworkCommunicator::FinishBody(kv::win::FileHandle& file, bool ended,
                                     int64_t announcedLength) {
    // A dropped connection looks like a normal end of data: only the count tells.
    const bool complete =
        ended && receivedBytes_ > 0 && (announcedLength == 0 || receivedBytes_ >= announcedLength);
    if (file) {
        file.Reset();
        if (!complete) ::DeleteFileW(targetPath_.c_str());
    }
    return complete;
}

bool NetworkCommunicator::OpenTargetFile(kv::win::FileHandle& file) {
    // Opened only once body bytes are in hand: an exchange that fails earlier leaves an existing
    // file alone.
    targetPath_ = targetFolder_.empty() ? targetFileName_ : targetFolder_ + L"\\" + targetFileName_;
    file.Reset(
        ::CreateFileW(targetPath_.c_str(), FILE_WRITE_DATA, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    return static_cast<bool>(file);
}

bool NetworkCommunicator::StoreChunk(const kv::win::FileHandle& file, const unsigned char* chunk,
                                     DWORD count) {
    if (!file) return StoreInMemory(chunk, count);
    DWORD written = 0;
    // A short or failed write (a full disk) must not pass for a complete file.
    return ::WriteFile(file.Get(), chunk, count, &written, nullptr) && written == count;
}

bool NetworkCommunicator::StoreInMemory(const unsigned char* chunk, DWORD count) {
    // Keep room for the body and at least one zero byte behind it.
    if (receivedBytes_ + count >= bufferCapacity_) {
        if (bufferCapacity_ > (kMaxMemoryCapacity - 2 * int64_t{count}) / 3) return false;
        const int64_t capacity = 3 * bufferCapacity_ + 2 * int64_t{count};
        std::unique_ptr<unsigned char[]> grown(
            new (std::nothrow) unsigned char[static_cast<size_t>(capacity)]());
        if (!grown) return false;
        if (receivedBytes_ > 0) std::copy_n(bodyBuffer_.get(), receivedBytes_, grown.get());
        bodyBuffer_ = std::move(grown);
        bufferCapacity_ = capacity;
    }
    std::copy_n(chunk, count, bodyBuffer_.get() + receivedBytes_);
    return true;
}
