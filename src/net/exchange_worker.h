#pragma once
// The WinHTTP side of one exchange, on a thread of its own. WinHTTP runs there in synchronous
// mode, so that the body can be read in large blocks, and hands the body over through a
// BlockChannel. The caller's thread only waits for blocks and for its cancel event, so a cancel
// takes effect at once even while the worker is held inside WinHTTP by a silent server.

#include <windows.h>
#include <winhttp.h>

#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "net/block_channel.h"

namespace net {

// Everything the worker needs, copied: it never reaches back into the object that started it.
struct ExchangeRequest {
    std::wstring hostName;
    INTERNET_PORT port = INTERNET_DEFAULT_HTTP_PORT;
    std::wstring objectName;
    bool secure = false;
    DWORD timeoutMs = 0;
    DWORD accessType = WINHTTP_ACCESS_TYPE_NO_PROXY;
    std::wstring proxyList;      // empty when there is none
    std::wstring headers;        // further request headers, each ending with CR LF; may be empty
    bool acceptPartial = false;  // a 206 answer is read like a 200 one (a range was asked for)
};

// Splits a full URL into the request's host, port, object name (path and query) and scheme;
// false when it can't be used (no host, or one longer than any we serve).
bool SetRequestTarget(std::wstring_view url, ExchangeRequest& request);

// What the answer said, beyond its body. Written by the worker before it publishes the block
// that begins the body (or ends the exchange), read by the caller after receiving that block;
// `error` is written before the Failed block that it explains.
struct ResponseInfo {
    DWORD status = 0;  // 0: no answer
    DWORD error = 0;   // the Win32 error of the step that failed, 0 when none did
    std::wstring etag, lastModified, acceptRanges, contentRange;
};

// Shared by the caller and the worker; whichever lets go last frees it. The worker may stay
// blocked in WinHTTP until a time-out long after the caller has returned.
struct ExchangeState {
    ExchangeState(ExchangeRequest exchangeRequest, DWORD blockCapacity)
        : request(std::move(exchangeRequest)), channel(blockCapacity) {}

    const ExchangeRequest request;
    BlockChannel channel;
    ResponseInfo response;
};

// Makes the shared state; null when memory runs out.
std::shared_ptr<ExchangeState> MakeExchangeState(ExchangeRequest request);

// Starts the worker for `state`; false when no thread could be started. The worker publishes
// the body's blocks, then one End or Failed block, unless the caller abandons the channel first.
// It closes its WinHTTP handles itself, after it stops. Its thread is a tracked one
// (net/background_threads.h). Only a 200 answer (or 206, when accepted) has its body read; any
// other status publishes Failed at once.
bool StartExchangeWorker(const std::shared_ptr<ExchangeState>& state);

}  // namespace net
