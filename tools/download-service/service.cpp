#include "service.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <ctime>
#include <vector>

namespace kvservice {

const char* PortName(PortId id) {
    return id == PortId::Primary ? "primary" : "secondary";
}

void StopSignal::Trigger() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
}

bool StopSignal::Triggered() const {
    std::lock_guard lock(mutex_);
    return stopping_;
}

bool StopSignal::SleepFor(int64_t ms) {
    std::unique_lock lock(mutex_);
    return !wake_.wait_for(lock, std::chrono::milliseconds(std::max<int64_t>(ms, 0)),
                           [this] { return stopping_; });
}

bool SafeFileName(const std::string& name) {
    return !name.empty() && name.find('/') == std::string::npos && name != "." && name != "..";
}

ServiceContext::ServiceContext(Options opts) : options(std::move(opts)), log(options.logPath) {
    for (int port = 0; port < 2; ++port) faults_[port].fill(options.faults[port]);
}

Faults ServiceContext::FaultsOf(PortId id, Scope scope) {
    std::lock_guard lock(mutex_);
    return faults_[static_cast<int>(id)][static_cast<int>(scope)];
}

void ServiceContext::SetFaults(PortId id, Scope scope, const Faults& faults) {
    std::lock_guard lock(mutex_);
    faults_[static_cast<int>(id)][static_cast<int>(scope)] = faults;
}

bool ServiceContext::Refusing(PortId id) {
    std::lock_guard lock(mutex_);
    const auto& port = faults_[static_cast<int>(id)];
    return port[0].refuse || port[1].refuse;
}

std::string ServiceContext::AnswerOf(PortId id) {
    std::lock_guard lock(mutex_);
    return answers_[static_cast<int>(id)];
}

void ServiceContext::SetAnswer(PortId id, std::string url) {
    std::lock_guard lock(mutex_);
    answers_[static_cast<int>(id)] = std::move(url);
}

std::string ServiceContext::SetupFile(bool trial) {
    std::lock_guard lock(mutex_);
    return trial ? options.trialFile : options.paidFile;
}

void ServiceContext::SetSetupFile(bool trial, std::string name) {
    std::lock_guard lock(mutex_);
    (trial ? options.trialFile : options.paidFile) = std::move(name);
}

int ServiceContext::PortNumber(PortId id) {
    return service ? service->Port(id) : 0;
}

int PortServer::Start(int port) {
    Stop();
    auto server = std::make_unique<httplib::Server>();
    // Stalled and silent answers each hold a worker; leave plenty for the rest.
    server->new_task_queue = [] { return new httplib::ThreadPool(48); };
    // One request per connection: clients open a connection per exchange anyway, and no idle
    // connection can then delay a shutdown.
    server->set_keep_alive_max_count(1);
    // A quick restart may reuse the port, but no second listener may share it (the library's
    // default would let it, and the kernel would then hand our requests to either one).
    server->set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    });
    server->set_read_timeout(5, 0);
    server->set_write_timeout(30, 0);
    RegisterRoutes(*server, context_, id_);
    const std::string& host = context_.options.host;
    if (port == 0) {
        port = server->bind_to_any_port(host);
        if (port <= 0) return -1;
    } else if (!server->bind_to_port(host, port)) {
        return -1;
    }
    port_ = port;
    server_ = std::move(server);
    thread_ = std::thread([server = server_.get()] { server->listen_after_bind(); });
    return port_;
}

void PortServer::RequestStop() {
    if (server_) server_->stop();
}

void PortServer::Stop() {
    RequestStop();
    if (thread_.joinable()) thread_.join();
    server_.reset();
}

Service::Service(Options options) : context_(std::move(options)) {
    context_.service = this;
    for (int i = 0; i < 2; ++i) ports_[i] = std::make_unique<PortServer>(context_, PortId(i));
}

Service::~Service() {
    Stop();
}

bool Service::Start() {
    std::lock_guard lock(mutex_);
    for (int i = 0; i < 2; ++i) {
        const int port = ports_[i]->Start(context_.options.ports[i]);
        if (port < 0) return false;
        portNumbers_[i] = port;
        if (context_.Refusing(PortId(i))) ports_[i]->RequestStop();
    }
    return true;
}

void Service::Stop() {
    context_.stop.Trigger();
    std::lock_guard lock(mutex_);
    for (auto& port : ports_) port->Stop();
}

int Service::Port(PortId id) const {
    std::lock_guard lock(mutex_);
    return portNumbers_[static_cast<int>(id)];
}

bool Service::SetListening(PortId id, bool listening) {
    std::lock_guard lock(mutex_);
    const int i = static_cast<int>(id);
    // Stopping never waits here: the request asking for it may be running on that very port.
    if (!listening) {
        ports_[i]->RequestStop();
        return true;
    }
    if (context_.stop.Triggered()) return false;
    return ports_[i]->Start(portNumbers_[i]) > 0;
}

BodySource BodySource::FromText(std::string text) {
    auto shared = std::make_shared<std::string>(std::move(text));
    BodySource body;
    body.size = static_cast<int64_t>(shared->size());
    body.read = [shared](int64_t offset, char* out, size_t count) {
        const size_t n = std::min<size_t>(count, shared->size() - static_cast<size_t>(offset));
        std::copy_n(shared->data() + offset, n, out);
        return n;
    };
    return body;
}

JsonLine RequestRecord(PortId port, const httplib::Request& request) {
    JsonLine record;
    record.Add("port", PortName(port))
        .Add("peer", request.remote_addr)
        .Add("method", request.method)
        .Add("target", request.target)
        .Add("host", request.get_header_value("Host"));
    return record;
}

namespace {

constexpr size_t kPieceBytes = 256 * 1024;

// Decides how much of the body goes out next and sends it; false ends the connection.
bool SendNextPiece(const BodySource& body, const Faults& faults, StopSignal& stop, int64_t holdMs,
                   int64_t offset, httplib::DataSink& sink, std::atomic<int64_t>& sent) {
    int64_t piece = std::min<int64_t>(body.size - offset, kPieceBytes);
    if (faults.trickleBytes > 0) {
        if (offset > 0 && !stop.SleepFor(faults.trickleDelayMs)) return false;
        piece = std::min(piece, faults.trickleBytes);
    }
    if (faults.cutAfter >= 0) {
        if (offset >= faults.cutAfter) return false;
        piece = std::min(piece, faults.cutAfter - offset);
    }
    if (faults.stallAfter >= 0) {
        if (offset >= faults.stallAfter) {
            stop.SleepFor(holdMs);
            return false;
        }
        piece = std::min(piece, faults.stallAfter - offset);
    }
    thread_local std::vector<char> buffer(kPieceBytes);
    const size_t n = body.read(offset, buffer.data(), static_cast<size_t>(piece));
    if (n == 0 || !sink.write(buffer.data(), n)) return false;
    sent += static_cast<int64_t>(n);
    return true;
}

std::string HttpDate(int64_t seconds) {
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm parts{};
    gmtime_r(&time, &parts);
    char text[64];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &parts);
    return text;
}

struct Validators {
    std::string etag;  // with its quotes
    std::string lastModified;
};

Validators ValidatorsOf(const BodySource& body, const Faults& faults) {
    if (!faults.newValidator) return {'"' + body.tag + '"', HttpDate(body.modified)};
    static std::atomic<int64_t> serial{0};
    const int64_t n = ++serial;
    return {'"' + body.tag + "-" + std::to_string(n) + '"', HttpDate(body.modified + n)};
}

bool ParseNumber(std::string_view text, int64_t& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty() && value >= 0;
}

// The single range "bytes=FIRST-" or "bytes=FIRST-LAST" of a Range header, inside `size`.
bool ParseRange(const std::string& header, int64_t size, int64_t& first, int64_t& last) {
    constexpr std::string_view kUnit = "bytes=";
    const std::string_view text(header);
    if (text.substr(0, kUnit.size()) != kUnit) return false;
    const std::string_view spec = text.substr(kUnit.size());
    const size_t dash = spec.find('-');
    if (dash == std::string_view::npos || !ParseNumber(spec.substr(0, dash), first)) return false;
    last = size - 1;
    const std::string_view end = spec.substr(dash + 1);
    if (!end.empty()) {
        if (!ParseNumber(end, last)) return false;
        last = std::min(last, size - 1);
    }
    return first <= last && first < size;
}

// Whether the answer is a range of the body, and which: a range of a ranged body whose
// If-Range (when present) names its current validator.
bool ChooseRange(const httplib::Request& request, const BodySource& body, const Faults& faults,
                 const Validators& validators, int64_t& first, int64_t& last) {
    const bool plainBody =
        !faults.noLength && !faults.chunked && faults.contentLength.empty() && !faults.emptyBody;
    if (!body.ranged || !plainBody || faults.noRanges || !request.has_header("Range")) {
        return false;
    }
    if (!ParseRange(request.get_header_value("Range"), body.size, first, last)) return false;
    if (request.has_header("If-Range")) {
        const std::string ifRange = request.get_header_value("If-Range");
        if (ifRange != validators.etag && ifRange != validators.lastModified) return false;
    }
    if (faults.badRange) first /= 2;  // honestly labelled, but not what was asked for
    return true;
}

// The part [first, first + size) of `body`.
BodySource Slice(BodySource body, int64_t first, int64_t size) {
    BodySource slice;
    slice.size = size;
    slice.read = [whole = std::move(body.read), first](int64_t offset, char* out, size_t count) {
        return whole(first + offset, out, count);
    };
    return slice;
}

}  // namespace

void RespondWithFaults(ServiceContext& context, PortId port, const httplib::Request& request,
                       httplib::Response& response, const Faults& faults, BodySource body,
                       const std::string& contentType, JsonLine record) {
    if (faults.Any()) record.Add("faults", faults.Describe());
    const int64_t holdMs = context.options.holdMs;
    if (faults.noHeaders) {
        context.log.Write(record.Add("status", 0).Add("outcome", "silent"));
        context.stop.SleepFor(holdMs);
        response.status = 504;
        return;
    }
    if (faults.status != 0 && faults.status != 200) {
        context.log.Write(record.Add("status", faults.status));
        response.status = faults.status;
        response.set_content("error " + std::to_string(faults.status) + "\n", "text/plain");
        return;
    }
    if (faults.emptyBody) body = BodySource::FromText("");
    // The library would answer a Range header by itself, without If-Range and without our
    // faults; the ranges are ours to serve. The request object is the server's own, not const.
    const_cast<httplib::Request&>(request).ranges.clear();
    if (request.has_header("Range")) record.Add("range", request.get_header_value("Range"));
    if (request.has_header("If-Range"))
        record.Add("if_range", request.get_header_value("If-Range"));
    response.status = 200;
    Faults sending = faults;
    sending.cutAfter = faults.CutPoint(body.size);  // of the whole file, in every answer
    if (body.ranged) {
        const Validators validators = ValidatorsOf(body, faults);
        response.set_header("ETag", validators.etag);
        response.set_header("Last-Modified", validators.lastModified);
        response.set_header("Accept-Ranges", "bytes");
        int64_t first = 0, last = 0;
        if (ChooseRange(request, body, faults, validators, first, last)) {
            response.status = 206;
            response.set_header("Content-Range", "bytes " + std::to_string(first) + "-" +
                                                     std::to_string(last) + "/" +
                                                     std::to_string(body.size));
            body = Slice(std::move(body), first, last - first + 1);
        }
    }
    // The answer's number, for the line that tells, when the answer is over (however it ended),
    // how much of the body went out, so that tests can add it up.
    static std::atomic<int64_t> answers{0};
    const int64_t id = ++answers;
    context.log.Write(record.Add("status", response.status).Add("bytes", body.size).Add("id", id));
    if (body.size == 0) {
        response.set_content("", contentType.c_str());
        return;
    }
    auto source = std::make_shared<BodySource>(std::move(body));
    auto sent = std::make_shared<std::atomic<int64_t>>(0);
    StopSignal* stop = &context.stop;
    auto logSent = [&context, id, sent](bool) {
        context.log.Write(JsonLine().Add("event", "sent").Add("id", id).Add("sent", sent->load()));
    };
    // For bodies without a stated length: pieces until the end, then done.
    auto untilTheEnd = [source, sending, stop, holdMs, sent](size_t offset,
                                                             httplib::DataSink& sink) {
        if (static_cast<int64_t>(offset) >= source->size) {
            sink.done();
            return true;
        }
        return SendNextPiece(*source, sending, *stop, holdMs, offset, sink, *sent);
    };
    if (faults.chunked) {
        // An error from the provider closes the connection without the last, empty chunk.
        response.set_chunked_content_provider(contentType.c_str(), untilTheEnd, logSent);
        return;
    }
    if (faults.noLength || !faults.contentLength.empty()) {
        if (!faults.contentLength.empty())
            response.set_header("Content-Length", faults.contentLength);
        response.set_content_provider(contentType.c_str(), untilTheEnd, logSent);
        return;
    }
    response.set_content_provider(
        static_cast<size_t>(source->size), contentType.c_str(),
        [source, sending, stop, holdMs, sent](size_t offset, size_t, httplib::DataSink& sink) {
            return SendNextPiece(*source, sending, *stop, holdMs, offset, sink, *sent);
        },
        logSent);
}

void RegisterRoutes(httplib::Server& server, ServiceContext& context, PortId port) {
    RegisterControlRoutes(server, context, port);
    RegisterDownloaderRoutes(server, context, port);
    RegisterCollectRoutes(server, context, port);
    RegisterFileRoutes(server, context, port);
    RegisterProxyRoutes(server, context, port);
}

}  // namespace kvservice
