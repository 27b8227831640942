#pragma once
// One HTTP GET exchange over WinHTTP, with the response body kept in an owned memory buffer or
// written to a file. The exchange is synchronous for the caller and can be cancelled from
// another thread. WinHTTP itself runs on an internal thread (net/exchange_worker.h); the body
// is stored, and progress reported, on the caller's thread.

#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "net/cancel_token.h"
#include "win/handles.h"
#include "win/threads.h"

struct ProxyPlan;
namespace net {
class BlockChannel;
}

class NetworkCommunicator {
  public:
    static constexpr DWORD kDefaultTimeoutMs = 10000;

    NetworkCommunicator();
    virtual ~NetworkCommunicator();
    NetworkCommunicator(const NetworkCommunicator&) = delete;
    NetworkCommunicator& operator=(const NetworkCommunicator&) = delete;

    // Splits a full URL into host, port, object name and scheme for the next exchange. A URL
    // that can't be used makes the next exchange fail; it never falls back to an earlier target.
    bool SetTargetUrl(std::wstring_view url);

    // Runs one exchange; true when the whole body has been stored. Blocks until then, or until
    // `cancel` is cancelled (before or during the exchange), which makes it return false
    // promptly.
    virtual bool PerformRequest(const CancelToken& cancel);
    // The same under a token of the object's own, which Cancel ends.
    bool PerformRequest();

    // Ends the exchange that runs under the object's own token from another thread; it then
    // returns false promptly. A cancel that comes before that exchange has started is not seen
    // by it: callers that must never lose a cancel pass a CancelToken of their own.
    void Cancel();

    // The in-memory body, followed by at least one zero byte; null before the first one.
    const unsigned char* BodyBuffer() const { return bodyBuffer_.get(); }
    int64_t ReceivedBytes() const { return receivedBytes_; }
    int64_t BufferCapacity() const { return bufferCapacity_; }

    // Used for the resolve, connect, send and receive time-outs and for the wait for the
    // response headers; 0 means no time-out.
    void SetTimeoutMs(DWORD timeoutMs) { timeoutMs_ = timeoutMs; }
    DWORD TimeoutMs() const { return timeoutMs_; }

    const std::wstring& HostName() const { return hostName_; }
    INTERNET_PORT Port() const { return port_; }
    const std::wstring& ObjectName() const { return objectName_; }
    bool UsesTls() const { return secure_; }

  protected:
    // Called after every stored chunk with the announced length (0 when none) and the running
    // total, on the thread of the exchange.
    virtual void NotifyProgress(int64_t announcedLength, int64_t receivedBytes) {}

    // Empty file name selects memory mode. The folder carries no trailing backslash.
    void SetTarget(std::wstring folder, std::wstring fileName);

    // Starts an exchange: clears the byte count and the memory buffer. Every PerformRequest
    // calls it first, before any slow preparation.
    void ResetForExchange();

    // The exchange proper, with the proxy plan of the caller's choice (its access type and proxy
    // list go to the session).
    bool RunExchange(const ProxyPlan& plan, const CancelToken& cancel);

    const std::wstring& TargetUrl() const { return targetUrl_; }

  private:
    bool ReadBody(net::BlockChannel& channel, const CancelToken& cancel);
    // On the first body bytes: checks the announced length and the coding and, in file mode,
    // opens the file.
    bool BeginBody(int64_t announcedLength, bool chunked, kv::win::FileHandle& file);
    // Decides the outcome; a file of a failed exchange is deleted.
    bool FinishBody(kv::win::FileHandle& file, bool ended, int64_t announcedLength);
    bool OpenTargetFile(kv::win::FileHandle& file);
    bool StoreChunk(const kv::win::FileHandle& file, const unsigned char* chunk, DWORD count);
    bool StoreInMemory(const unsigned char* chunk, DWORD count);
    DWORD HeaderWaitMs() const;

    DWORD timeoutMs_ = kDefaultTimeoutMs;
    INTERNET_PORT port_ = INTERNET_DEFAULT_HTTP_PORT;
    std::wstring objectName_;
    std::wstring hostName_;
    bool secure_ = false;
    bool targetValid_ = false;
    std::wstring targetUrl_;
    std::unique_ptr<unsigned char[]> bodyBuffer_;
    int64_t receivedBytes_ = 0;
    int64_t bufferCapacity_ = 0;
    std::wstring targetFileName_;
    std::wstring targetFolder_;
    std::wstring targetPath_;
    // The token of the exchange that runs under the object's own token; a new one for each.
    kv::win::SrwLock ownTokenMutex_;
    std::shared_ptr<CancelToken> ownToken_;
};
