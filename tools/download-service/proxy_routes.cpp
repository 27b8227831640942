// A plain HTTP forward proxy: requests whose target is a full URL are fetched from that URL and
// the answer is passed back. Only this machine is ever contacted.

#include "service.h"

namespace kvservice {
namespace {

struct ProxyTarget {
    std::string host;
    int port = 80;
    std::string pathAndQuery = "/";
};

bool ParseProxyTarget(const std::string& url, ProxyTarget& target) {
    const std::string scheme = "http://";
    if (url.compare(0, scheme.size(), scheme) != 0) return false;
    const size_t hostStart = scheme.size();
    const size_t pathStart = url.find('/', hostStart);
    const std::string authority = url.substr(hostStart, pathStart - hostStart);
    if (pathStart != std::string::npos) target.pathAndQuery = url.substr(pathStart);
    const size_t colon = authority.rfind(':');
    target.host = authority.substr(0, colon);
    if (colon != std::string::npos) {
        try {
            target.port = std::stoi(authority.substr(colon + 1));
        } catch (...) {
            return false;
        }
    }
    return !target.host.empty();
}

bool IsLoopback(const std::string& host) {
    return host == "127.0.0.1" || host == "localhost";
}

// Some clients send a proxy the origin form ("/path") when the proxy and the target share a host
// name; the Host header then names a port other than this one.
bool IsOriginFormProxyRequest(ServiceContext& context, PortId port,
                              const httplib::Request& request) {
    if (request.target.empty() || request.target[0] != '/') return false;
    const std::string host = request.get_header_value("Host");
    const size_t colon = host.rfind(':');
    if (colon == std::string::npos) return false;
    return host.substr(colon + 1) != std::to_string(context.PortNumber(port));
}

void HandleProxy(ServiceContext& context, PortId port, const httplib::Request& request,
                 httplib::Response& response) {
    JsonLine record = RequestRecord(port, request);
    record.Add("via_proxy", true);
    ProxyTarget target;
    const std::string url = request.target[0] == '/'
                                ? "http://" + request.get_header_value("Host") + request.target
                                : request.target;
    if (!ParseProxyTarget(url, target) || !IsLoopback(target.host)) {
        context.log.Write(record.Add("status", 403).Add("error", "not a loopback target"));
        response.status = 403;
        response.set_content("only loopback targets are proxied\n", "text/plain");
        return;
    }
    httplib::Client upstream(target.host, target.port);
    upstream.set_connection_timeout(5, 0);
    upstream.set_read_timeout(30, 0);
    auto answer = upstream.Get(target.pathAndQuery.c_str());
    if (!answer) {
        context.log.Write(
            record.Add("status", 502).Add("error", httplib::to_string(answer.error())));
        response.status = 502;
        response.set_content("upstream unreachable\n", "text/plain");
        return;
    }
    context.log.Write(
        record.Add("status", answer->status).Add("bytes", int64_t(answer->body.size())));
    response.status = answer->status;
    response.set_content(answer->body, answer->get_header_value("Content-Type").c_str());
}

}  // namespace

void RegisterProxyRoutes(httplib::Server& server, ServiceContext& context, PortId port) {
    server.Get(R"(http://.*)",
               [&context, port](const httplib::Request& req, httplib::Response& res) {
                   HandleProxy(context, port, req, res);
               });
    server.set_pre_routing_handler(
        [&context, port](const httplib::Request& req, httplib::Response& res) {
            if (!IsOriginFormProxyRequest(context, port, req)) {
                return httplib::Server::HandlerResponse::Unhandled;
            }
            HandleProxy(context, port, req, res);
            return httplib::Server::HandlerResponse::Handled;
        });
}

}  // namespace kvservice
