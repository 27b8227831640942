#include "net/exchange_worker.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cwchar>
#include <cwctype>
#include <new>
#include <string>

#include "net/background_threads.h"
#include "net/response_headers.h"
#include "net/winhttp_handle.h"
#include "win/steady_clock.h"

namespace net {
namespace {

// Largest block handed over at once; the channel holds a few of them, so this bounds the memory
// that a download of any size uses. Large blocks keep the hand-overs between the threads rare.
constexpr DWORD kBlockCapacity = 1024u * 1024;

// WinHTTP reports as available only what its receive buffer holds (8 KiB under Wine). A full
// buffer means the data is streaming, and only then is it worth asking for more than that: a
// synchronous read waits until it has all it asked for, which would merge the pieces of a slow
// body into one late block.
constexpr DWORD kStreamingThreshold = 8u * 1024;

// Sizes the reads. A body that trickles is read as it comes, piece by piece, sized by what
// WinHTTP holds. Once the body streams, reads go straight for a large block without asking what
// is available (that count never exceeds WinHTTP's small buffer, and asking costs a call per
// read): larger while they complete quickly, smaller when they take long, so a body that slows
// down still reports progress several times a second, and a read that takes long or comes back
// short returns to asking.
class ReadPlan {
  public:
    bool Streaming() const { return streaming_; }
    DWORD StreamingSize() const { return size_; }

    // The size of the next read when it must be sized by the available count.
    DWORD For(DWORD available) {
        streaming_ = available >= kStreamingThreshold;
        return streaming_ ? std::min(std::max(available, size_), kBlockCapacity)
                          : std::min(available, kBlockCapacity);
    }

    void Completed(DWORD requested, DWORD read, std::chrono::steady_clock::duration took) {
        if (!streaming_) return;
        if (took > kSlow || read < requested) streaming_ = false;
        if (took < kQuick) {
            size_ = std::min(size_ * 2, kBlockCapacity);
        } else if (took > kSlow) {
            size_ = std::max(size_ / 2, kSmallest);
        }
    }

  private:
    static constexpr DWORD kSmallest = 16u * 1024;
    static constexpr auto kQuick = std::chrono::milliseconds(40);
    static constexpr auto kSlow = std::chrono::milliseconds(150);
    DWORD size_ = 64u * 1024;
    bool streaming_ = false;
};

// WinHttpSetTimeouts takes int; larger values would turn negative.
int TimeoutArgument(DWORD timeoutMs) {
    return static_cast<int>(std::min<DWORD>(timeoutMs, INT_MAX));
}

// Declared in closing order's reverse: the request closes first, the session last.
struct WinHttpHandles {
    WinHttpHandle session;
    WinHttpHandle connection;
    WinHttpHandle request;
};

bool OpenRequest(const ExchangeRequest& exchange, WinHttpHandles& handles) {
    const wchar_t* proxyList =
        exchange.proxyList.empty() ? WINHTTP_NO_PROXY_NAME : exchange.proxyList.c_str();
    handles.session.Reset(
        ::WinHttpOpen(nullptr, exchange.accessType, proxyList, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!handles.session) return false;
    const int timeout = TimeoutArgument(exchange.timeoutMs);
    if (!::WinHttpSetTimeouts(handles.session.Get(), timeout, timeout, timeout, timeout)) {
        return false;
    }
    handles.connection.Reset(
        ::WinHttpConnect(handles.session.Get(), exchange.hostName.c_str(), exchange.port, 0));
    if (!handles.connection) return false;
    handles.request.Reset(::WinHttpOpenRequest(
        handles.connection.Get(), L"GET", exchange.objectName.c_str(), nullptr, WINHTTP_NO_REFERER,
        WINHTTP_DEFAULT_ACCEPT_TYPES, exchange.secure ? WINHTTP_FLAG_SECURE : 0));
    return static_cast<bool>(handles.request);
}

// Sends the request and waits for the answer's headers; false when it failed or its status is
// not one whose body we read.
bool SendAndReceive(const ExchangeRequest& exchange, HINTERNET request, ResponseInfo& response) {
    // WinHTTP waits for the response headers under a time-out of its own (90 s by default);
    // a server that accepts and then says nothing must not hold us longer than timeoutMs.
    DWORD timeout = exchange.timeoutMs;
    ::WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &timeout, sizeof timeout);
    const wchar_t* headers =
        exchange.headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : exchange.headers.c_str();
    const DWORD headersLength = exchange.headers.empty() ? 0 : static_cast<DWORD>(-1);
    if (!::WinHttpSendRequest(request, headers, headersLength, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !::WinHttpReceiveResponse(request, nullptr)) {
        response.error = ::GetLastError();
        return false;
    }
    const std::wstring status = QueryHeaderText(request, WINHTTP_QUERY_STATUS_CODE);
    response.status = static_cast<DWORD>(std::wcstoul(status.c_str(), nullptr, 10));
    response.etag = QueryHeaderText(request, WINHTTP_QUERY_ETAG);
    response.lastModified = QueryHeaderText(request, WINHTTP_QUERY_LAST_MODIFIED);
    response.acceptRanges = QueryHeaderText(request, WINHTTP_QUERY_ACCEPT_RANGES);
    response.contentRange = QueryHeaderText(request, WINHTTP_QUERY_CONTENT_RANGE);
    return response.status == 200 || (exchange.acceptPartial && response.status == 206);
}

bool IsChunked(HINTERNET request) {
    std::wstring coding = QueryHeaderText(request, WINHTTP_QUERY_TRANSFER_ENCODING);
    for (wchar_t& c : coding) c = static_cast<wchar_t>(std::towlower(c));
    return coding.find(L"chunked") != std::wstring::npos;
}

// Ends the exchange with an End or Failed block, unless the caller has left.
void PublishOutcome(BlockChannel& channel, BodyBlock::Kind kind) {
    if (!channel.AwaitFree()) return;
    BodyBlock& block = channel.Newest();
    block.kind = kind;
    block.size = 0;
    channel.Publish();
}

// The size of the next read, 0 at the end of the body; false when WinHTTP fails.
bool NextReadSize(HINTERNET request, ReadPlan& plan, DWORD& wanted) {
    if (plan.Streaming()) {
        wanted = plan.StreamingSize();
        return true;
    }
    DWORD available = 0;
    if (!::WinHttpQueryDataAvailable(request, &available)) return false;
    wanted = available == 0 ? 0 : plan.For(available);
    return true;
}

// Reads the body into the channel's blocks until it ends, fails or the caller leaves.
void StreamBody(HINTERNET request, BlockChannel& channel, ResponseInfo& response) {
    ReadPlan plan;
    for (;;) {
        if (!channel.AwaitFree()) return;
        DWORD wanted = 0;
        if (!NextReadSize(request, plan, wanted)) {
            response.error = ::GetLastError();
            return PublishOutcome(channel, BodyBlock::Kind::Failed);
        }
        if (wanted == 0) return PublishOutcome(channel, BodyBlock::Kind::End);
        if (channel.Abandoned()) return;

        BodyBlock& block = channel.Newest();
        const auto start = kv::win::SteadyNow();
        DWORD read = 0;
        if (!::WinHttpReadData(request, block.bytes.get(), wanted, &read)) {
            response.error = ::GetLastError();
            return PublishOutcome(channel, BodyBlock::Kind::Failed);
        }
        read = std::min(read, wanted);
        plan.Completed(wanted, read, kv::win::SteadyNow() - start);
        // A read that brings nothing ends the body, as an empty availability does.
        if (read == 0) return PublishOutcome(channel, BodyBlock::Kind::End);
        block.kind = BodyBlock::Kind::Data;
        block.size = read;
        channel.Publish();
    }
}

void RunExchange(ExchangeState& state) {
    BlockChannel& channel = state.channel;
    WinHttpHandles handles;
    if (!OpenRequest(state.request, handles)) {
        state.response.error = ::GetLastError();
        return PublishOutcome(channel, BodyBlock::Kind::Failed);
    }
    if (channel.Abandoned() ||
        !SendAndReceive(state.request, handles.request.Get(), state.response)) {
        return PublishOutcome(channel, BodyBlock::Kind::Failed);
    }
    channel.announcedLength.store(QueryContentLength(handles.request.Get()));
    channel.chunked.store(IsChunked(handles.request.Get()));
    StreamBody(handles.request.Get(), channel, state.response);
}

DWORD WINAPI WorkerThread(void* parameter) {
    // The thread's share of the state; released after the handles are closed.
    std::unique_ptr<std::shared_ptr<ExchangeState>> state(
        static_cast<std::shared_ptr<ExchangeState>*>(parameter));
    RunExchange(**state);
    return 0;
}

}  // namespace

std::shared_ptr<ExchangeState> MakeExchangeState(ExchangeRequest request) {
    try {
        auto state = std::make_shared<ExchangeState>(std::move(request), kBlockCapacity);
        return state->channel.Ready() ? state : nullptr;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

bool StartExchangeWorker(const std::shared_ptr<ExchangeState>& state) {
    std::unique_ptr<std::shared_ptr<ExchangeState>> share(
        new (std::nothrow) std::shared_ptr<ExchangeState>(state));
    if (!share) return false;
    // The caller may leave before the thread ends (a cancel while WinHTTP holds it); the thread
    // ends on its own once WinHTTP lets it go, and the program's exit waits for it.
    if (!StartTrackedThread(&WorkerThread, share.get())) return false;
    share.release();
    return true;
}

bool SetRequestTarget(std::wstring_view url, ExchangeRequest& request) {
    const std::wstring text(url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    if (!::WinHttpCrackUrl(text.c_str(), 0, 0, &parts)) return false;
    // Host names pass through a buffer of 260 characters; a longer one is not a host we serve.
    constexpr DWORD kHostNameCapacity = 260;
    if (!parts.lpszHostName || parts.dwHostNameLength == 0 ||
        parts.dwHostNameLength >= kHostNameCapacity) {
        return false;
    }
    request.hostName.assign(parts.lpszHostName, parts.dwHostNameLength);
    // The object name runs from the path to the end of the URL, so the query comes with it.
    request.objectName = parts.lpszUrlPath ? std::wstring(parts.lpszUrlPath) : std::wstring();
    request.port = parts.nPort;
    // TLS follows the scheme: an https URL on an unusual port must still be encrypted.
    request.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    return true;
}

}  // namespace net
