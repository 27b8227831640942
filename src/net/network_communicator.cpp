#include "net/network_communicator.h"

#include <algorithm>
#include <climits>
#include <cwchar>
#include <cwctype>
#include <limits>
#include <new>

#include "net/proxy_config.h"
#include "net/winhttp_handle.h"

// WinHTTP runs in asynchronous mode underneath a synchronous PerformRequest: every operation is
// started and then awaited together with the object's cancel event. A blocking WinHTTP call can't
// be interrupted reliably from another thread (closing the request handle does not wake a read
// that waits for data on every platform we run on), whereas a wait on two events can.

namespace {

// Largest single read; WinHTTP may report far more as available on a fast connection, and one
// reused buffer of this size keeps the memory use of a large download flat.
constexpr DWORD kMaxChunkBytes = 1u << 20;

// A Content-Length beyond this is not a file we could be sent; treat it as a broken answer.
constexpr int64_t kMaxAnnouncedLength = int64_t{1} << 40;

// Upper bound for the in-memory body; memory mode is for the service's short answers.
constexpr int64_t kMaxMemoryCapacity = int64_t{1} << 30;

// WinHttpSetTimeouts takes int; larger values would turn negative.
int TimeoutArgument(DWORD timeoutMs) {
    return static_cast<int>(std::min<DWORD>(timeoutMs, INT_MAX));
}

}  // namespace

// What the waiting thread shares with WinHTTP's callbacks. WinHTTP may still call back, and
// write into `chunk`, after an exchange was abandoned (cancelled, or our own wait ran out), so the
// state has two owners: the exchange, and the request handle until its closing notice arrives.
// The last one to let go frees it.
struct NetworkCommunicator::Exchange {
    enum class Wait { Completed, Cancelled, TimedOut };

    HINTERNET request = nullptr;
    HANDLE cancelEvent = nullptr;
    win::UniqueKernelHandle completed{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    std::atomic<int> owners{1};
    bool succeeded = false;
    DWORD value = 0;  // bytes available or read, by operation
    std::unique_ptr<unsigned char[]> chunk;
    DWORD chunkCapacity = 0;

    void Release() {
        if (owners.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }

    void Finish(bool ok, DWORD result) {
        succeeded = ok;
        value = result;
        ::SetEvent(completed.Get());
    }

    static void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info,
                                  DWORD infoLength) {
        auto* self = reinterpret_cast<Exchange*>(context);
        if (!self) return;
        switch (status) {
            case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
            case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
                self->Finish(true, 0);
                break;
            case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
                self->Finish(true, *static_cast<const DWORD*>(info));
                break;
            case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
                self->Finish(true, infoLength);
                break;
            case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
                self->Finish(false, static_cast<const WINHTTP_ASYNC_RESULT*>(info)->dwError);
                break;
            case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
                self->Release();
                break;
            default:
                break;
        }
    }

    // Routes the request's notifications here; from now on the request handle co-owns the state.
    bool Attach() {
        if (!completed) return false;
        constexpr DWORD kNotifications =
            WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES;
        if (::WinHttpSetStatusCallback(request, &Exchange::OnStatus, kNotifications, 0) ==
            WINHTTP_INVALID_STATUS_CALLBACK) {
            return false;
        }
        DWORD_PTR context = reinterpret_cast<DWORD_PTR>(this);
        owners.fetch_add(1, std::memory_order_relaxed);
        if (!::WinHttpSetOption(request, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context)) {
            owners.fetch_sub(1, std::memory_order_relaxed);
            return false;
        }
        return true;
    }

    Wait Await(DWORD timeoutMs) {
        // The cancel event comes first so that it wins when both are signalled.
        HANDLE events[] = {cancelEvent, completed.Get()};
        DWORD result = ::WaitForMultipleObjects(2, events, FALSE, timeoutMs ? timeoutMs : INFINITE);
        if (result == WAIT_OBJECT_0 + 1) return Wait::Completed;
        if (result == WAIT_OBJECT_0) return Wait::Cancelled;
        return Wait::TimedOut;
    }

    // Starts one asynchronous operation and waits for its outcome.
    template <typename Start>
    bool Run(Start start, DWORD timeoutMs) {
        ::ResetEvent(completed.Get());
        if (!start()) return false;
        return Await(timeoutMs) == Wait::Completed && succeeded;
    }

    bool EnsureChunk(DWORD size) {
        if (size <= chunkCapacity) return true;
        chunk.reset(new (std::nothrow) unsigned char[size]);
        chunkCapacity = chunk ? size : 0;
        return chunk != nullptr;
    }
};

NetworkCommunicator::NetworkCommunicator()
    : cancelEvent_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

NetworkCommunicator::~NetworkCommunicator() = default;

bool NetworkCommunicator::SetTargetUrl(std::wstring_view url) {
    targetValid_ = false;
    targetUrl_.clear();
    std::wstring text(url);
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
    hostName_.assign(parts.lpszHostName, parts.dwHostNameLength);
    // The object name runs from the path to the end of the URL, so the query comes with it.
    objectName_ = parts.lpszUrlPath ? std::wstring(parts.lpszUrlPath) : std::wstring();
    port_ = parts.nPort;
    // TLS follows the scheme: an https URL on an unusual port must still be encrypted.
    secure_ = parts.nScheme == INTERNET_SCHEME_HTTPS;
    targetUrl_ = std::move(text);
    targetValid_ = true;
    return true;
}

void NetworkCommunicator::SetTarget(std::wstring folder, std::wstring fileName) {
    targetFolder_ = std::move(folder);
    targetFileName_ = std::move(fileName);
    targetPath_.clear();
}

bool NetworkCommunicator::PerformRequest() {
    ResetForExchange();
    ProxyPlan direct;
    return RunExchange(direct);
}

void NetworkCommunicator::Cancel() {
    cancelRequested_.store(true);
    if (cancelEvent_) ::SetEvent(cancelEvent_.Get());
    CloseRequestHandle();
}

void NetworkCommunicator::CloseRequestHandle() {
    // Whichever side takes the handle out closes it; the other finds nothing to close.
    if (HINTERNET request = requestHandle_.exchange(nullptr)) ::WinHttpCloseHandle(request);
}

void NetworkCommunicator::ResetForExchange() {
    cancelRequested_.store(false);
    if (cancelEvent_) ::ResetEvent(cancelEvent_.Get());
    receivedBytes_ = 0;
    if (bodyBuffer_) std::fill_n(bodyBuffer_.get(), bufferCapacity_, 0);
}

bool NetworkCommunicator::RunExchange(const ProxyPlan& plan) {
    // A cancel that came while the caller prepared the exchange (a slow proxy lookup) counts.
    if (cancelRequested_.load() || !targetValid_ || !cancelEvent_) return false;

    const wchar_t* proxyList =
        plan.proxyList.empty() ? WINHTTP_NO_PROXY_NAME : plan.proxyList.c_str();
    net::WinHttpHandle session(::WinHttpOpen(nullptr, plan.accessType, proxyList,
                                             WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC));
    if (!session) return false;
    const int timeout = TimeoutArgument(timeoutMs_);
    if (!::WinHttpSetTimeouts(session.Get(), timeout, timeout, timeout, timeout)) return false;
    net::WinHttpHandle connection(::WinHttpConnect(session.Get(), hostName_.c_str(), port_, 0));
    if (!connection) return false;
    HINTERNET request = ::WinHttpOpenRequest(connection.Get(), L"GET", objectName_.c_str(), nullptr,
                                             WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                             secure_ ? WINHTTP_FLAG_SECURE : 0);
    if (!request) return false;
    requestHandle_.store(request);

    auto* exchange = new (std::nothrow) Exchange;
    bool stored = false;
    if (exchange) {
        exchange->request = request;
        exchange->cancelEvent = cancelEvent_.Get();
        stored = exchange->Attach() && SendAndReceive(*exchange) && ReadBody(*exchange);
    }
    // Closing the request may deliver its closing notice, and so free the state, right here.
    CloseRequestHandle();
    if (exchange) exchange->Release();
    return stored;
}

bool NetworkCommunicator::SendAndReceive(Exchange& exchange) {
    HINTERNET request = exchange.request;
    // WinHTTP waits for the response headers under a time-out of its own (90 s by default);
    // a server that accepts and then says nothing must not hold us longer than timeoutMs.
    DWORD timeout = timeoutMs_;
    ::WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &timeout, sizeof timeout);

    // Resolving, connecting and sending each have the time-out; the wait covers all three.
    const DWORD sendWaitMs = timeoutMs_ ? std::min<DWORD>(timeoutMs_, MAXDWORD / 4) * 3 : 0;
    const auto context = reinterpret_cast<DWORD_PTR>(&exchange);
    if (!exchange.Run(
            [&] {
                return ::WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                                            WINHTTP_NO_REQUEST_DATA, 0, 0, context);
            },
            sendWaitMs)) {
        return false;
    }
    if (!exchange.Run([&] { return ::WinHttpReceiveResponse(request, nullptr); }, timeoutMs_)) {
        return false;
    }
    return QueryHeaderText(request, WINHTTP_QUERY_STATUS_CODE) == L"200";
}

bool NetworkCommunicator::ReadBody(Exchange& exchange) {
    HINTERNET request = exchange.request;
    const bool memoryMode = targetFileName_.empty();
    win::UniqueFile file;
    int64_t announcedLength = 0;
    bool firstRead = true;
    bool failed = false;

    for (;;) {
        if (cancelRequested_.load()) {
            failed = true;
            break;
        }
        if (!exchange.Run([&] { return ::WinHttpQueryDataAvailable(request, nullptr); },
                          timeoutMs_)) {
            failed = true;
            break;
        }
        const DWORD available = exchange.value;
        if (available == 0) break;
        const DWORD wanted = std::min(available, kMaxChunkBytes);
        if (!exchange.EnsureChunk(wanted + 1) ||
            !exchange.Run(
                [&] { return ::WinHttpReadData(request, exchange.chunk.get(), wanted, nullptr); },
                timeoutMs_)) {
            failed = true;
            break;
        }
        DWORD stored = std::min(exchange.value, wanted);

        if (firstRead) {
            firstRead = false;
            announcedLength = QueryContentLength(request);
            if (announcedLength < 0 || announcedLength > kMaxAnnouncedLength) {
                failed = true;
                break;
            }
            if (!memoryMode) {
                targetPath_ = targetFolder_.empty() ? targetFileName_
                                                    : targetFolder_ + L"\\" + targetFileName_;
                file.Reset(::CreateFileW(targetPath_.c_str(), FILE_WRITE_DATA, 0, nullptr,
                                         CREATE_ALWAYS, 0, nullptr));
                if (!file) {
                    failed = true;
                    break;
                }
            }
        }

        if (memoryMode) {
            if (!StoreInMemory(exchange.chunk.get(), stored)) {
                failed = true;
                break;
            }
        } else {
            DWORD written = 0;
            // A short or failed write (a full disk) must not pass for a complete file.
            if (!::WriteFile(file.Get(), exchange.chunk.get(), stored, &written, nullptr) ||
                written != stored) {
                failed = true;
                break;
            }
        }
        receivedBytes_ += stored;
        NotifyProgress(announcedLength, receivedBytes_);
        if (stored == 0) break;
    }

    // A dropped connection looks like a normal end of data: only the count tells.
    const bool complete = !failed && receivedBytes_ > 0 &&
                          (announcedLength == 0 || receivedBytes_ >= announcedLength);
    if (file) {
        file.Reset();
        if (!complete) ::DeleteFileW(targetPath_.c_str());
    }
    return complete;
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

std::wstring NetworkCommunicator::QueryHeaderText(HINTERNET request, DWORD infoLevel) {
    DWORD size = 0;
    ::WinHttpQueryHeaders(request, infoLevel, WINHTTP_HEADER_NAME_BY_INDEX,
                          WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX);
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    DWORD capacity = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (!::WinHttpQueryHeaders(request, infoLevel, WINHTTP_HEADER_NAME_BY_INDEX, text.data(),
                               &capacity, WINHTTP_NO_HEADER_INDEX)) {
        return {};
    }
    text.resize(std::wcslen(text.c_str()));
    return text;
}

int64_t NetworkCommunicator::QueryContentLength(HINTERNET request) {
    const std::wstring text = QueryHeaderText(request, WINHTTP_QUERY_CONTENT_LENGTH);
    // Decimal, with leading white space and a sign; stops at the first non-digit. Saturates
    // instead of overflowing, so an absurd length stays recognisably absurd.
    size_t i = 0;
    while (i < text.size() && std::iswspace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    int64_t value = 0;
    constexpr int64_t kLimit = std::numeric_limits<int64_t>::max();
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        const int digit = text[i] - L'0';
        value = value > (kLimit - digit) / 10 ? kLimit : value * 10 + digit;
    }
    return negative ? -value : value;
}
