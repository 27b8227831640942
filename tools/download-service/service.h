#pragma once
// The reference download service: two listening ports (primary and secondary server) that
// answer the setup-location query, serve setup files, collect usage-event hits, act as a forward
// proxy and show faults on request. Routes live in separate units and are registered per port by
// RegisterRoutes.

#include <httplib.h>

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "faults.h"
#include "json_log.h"

namespace kvservice {

enum class PortId { Primary = 0, Secondary = 1 };
const char* PortName(PortId id);

// Which routes a set of fault switches shapes: the setup files (and generated bodies), or the
// setup-location query (and usage-event hits).
enum class Scope { Files = 0, Query = 1 };

struct Options {
    std::string host = "127.0.0.1";
    std::array<int, 2> ports{0, 0};  // 0: pick a free one
    std::string logPath = "download-service.jsonl";
    std::string filesDir = ".";
    std::string trialFile = "kvpro-trial-setup.exe";
    std::string paidFile = "kvpro-setup.exe";
    std::array<Faults, 2> faults;  // per port, for both scopes
    int64_t holdMs = 60000;        // how long a stall or a silent answer lasts at most
};

// Lets every waiting handler end at once when the service stops.
class StopSignal {
  public:
    void Trigger();
    bool Triggered() const;
    // Sleeps up to `ms`; false when the service is stopping.
    bool SleepFor(int64_t ms);

  private:
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
};

class Service;

// Everything a route needs: the options, the log, the fault switches and the stop signal.
// Everything a control request may change is read and written under one lock.
struct ServiceContext {
    Options options;
    JsonLog log;
    StopSignal stop;
    Service* service = nullptr;

    explicit ServiceContext(Options opts);
    Faults FaultsOf(PortId id, Scope scope);
    void SetFaults(PortId id, Scope scope, const Faults& faults);
    // A port refuses connections when either scope says so.
    bool Refusing(PortId id);
    // The URL the query route seals instead of the real file's (empty: the real one).
    std::string AnswerOf(PortId id);
    void SetAnswer(PortId id, std::string url);
    // The file served for an edition.
    std::string SetupFile(bool trial);
    void SetSetupFile(bool trial, std::string name);
    int PortNumber(PortId id);

  private:
    std::mutex mutex_;
    std::array<std::array<Faults, 2>, 2> faults_;  // [port][scope]
    std::array<std::string, 2> answers_;
};

// A plain file name inside the files folder.
bool SafeFileName(const std::string& name);

// One listening port. Stopping and starting again (to refuse connections for a while) reuses
// the port number.
class PortServer {
  public:
    PortServer(ServiceContext& context, PortId id) : context_(context), id_(id) {}
    ~PortServer() { Stop(); }
    // Binds (port 0: a free one) and starts serving; returns the bound port or -1.
    int Start(int port);
    // Closes the listening socket without waiting for running requests.
    void RequestStop();
    void Stop();
    int Port() const { return port_; }
    bool Listening() const { return server_ != nullptr; }

  private:
    ServiceContext& context_;
    PortId id_;
    int port_ = 0;
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
};

class Service {
  public:
    explicit Service(Options options);
    ~Service();
    bool Start();
    void Stop();
    ServiceContext& Context() { return context_; }
    int Port(PortId id) const;
    // Stops or resumes listening on a port (the "refuse" fault).
    bool SetListening(PortId id, bool listening);

  private:
    ServiceContext context_;
    mutable std::mutex mutex_;
    std::array<std::unique_ptr<PortServer>, 2> ports_;
    std::array<int, 2> portNumbers_{0, 0};
};

// A body that is produced piece by piece: `read` fills `out` with up to `count` bytes from
// `offset` and returns how many it gave.
struct BodySource {
    int64_t size = 0;
    std::function<size_t(int64_t offset, char* out, size_t count)> read;
    // A body that may be asked for in ranges carries validators: its entity tag (without the
    // quotes) and its modification time.
    bool ranged = false;
    std::string tag;
    int64_t modified = 0;  // seconds since 1970
    static BodySource FromText(std::string text);
};

// Answers with `body` (status 200, or 206 for a range of a ranged body) unless `faults` say
// otherwise; logs the request, and for a body that goes out, the bytes sent when it ends.
void RespondWithFaults(ServiceContext& context, PortId port, const httplib::Request& request,
                       httplib::Response& response, const Faults& faults, BodySource body,
                       const std::string& contentType, JsonLine record);

// The start of a log record for a request on `port`.
JsonLine RequestRecord(PortId port, const httplib::Request& request);

// Route registration: each unit adds its own.
void RegisterRoutes(httplib::Server& server, ServiceContext& context, PortId port);
void RegisterControlRoutes(httplib::Server& server, ServiceContext& context, PortId port);
void RegisterDownloaderRoutes(httplib::Server& server, ServiceContext& context, PortId port);
void RegisterCollectRoutes(httplib::Server& server, ServiceContext& context, PortId port);
void RegisterFileRoutes(httplib::Server& server, ServiceContext& context, PortId port);
// The proxy needs the catch-all pattern, so it is registered last.
void RegisterProxyRoutes(httplib::Server& server, ServiceContext& context, PortId port);

}  // namespace kvservice
