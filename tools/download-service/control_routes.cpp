// Run-time control of the service: fault switches per port, the request log, and the proxy
// configuration script.

#include <fstream>
#include <sstream>

#include "service.h"

namespace kvservice {
namespace {

std::string FaultsJson(ServiceContext& context) {
    return JsonLine()
        .Add("primary", context.FaultsOf(PortId::Primary).Describe())
        .Add("secondary", context.FaultsOf(PortId::Secondary).Describe())
        .Add("primary_port", context.PortNumber(PortId::Primary))
        .Add("secondary_port", context.PortNumber(PortId::Secondary))
        .Text();
}

// "primary", "secondary", "both", or the port the request came in on.
bool ControlledPorts(const httplib::Request& request, PortId own, std::vector<PortId>& ports) {
    const std::string which = request.get_param_value("port");
    if (which.empty()) {
        ports = {own};
    } else if (which == "primary") {
        ports = {PortId::Primary};
    } else if (which == "secondary") {
        ports = {PortId::Secondary};
    } else if (which == "both") {
        ports = {PortId::Primary, PortId::Secondary};
    } else {
        return false;
    }
    return true;
}

void HandleControl(ServiceContext& context, PortId own, const httplib::Request& request,
                   httplib::Response& response) {
    std::vector<PortId> ports;
    if (!ControlledPorts(request, own, ports)) {
        response.status = 400;
        response.set_content("unknown port\n", "text/plain");
        return;
    }
    for (PortId id : ports) {
        Faults faults = context.FaultsOf(id);
        const bool wasRefusing = faults.refuse;
        std::string error;
        if (!ApplyFaultParameters(request.params, faults, error)) {
            response.status = 400;
            response.set_content("bad fault switch " + error + "\n", "text/plain");
            return;
        }
        context.SetFaults(id, faults);
        if (faults.refuse != wasRefusing) context.service->SetListening(id, !faults.refuse);
    }
    context.log.Write(RequestRecord(own, request).Add("status", 200).Add("control", true));
    response.set_content(FaultsJson(context) + "\n", "application/json");
}

void HandleLog(ServiceContext& context, httplib::Response& response) {
    std::ifstream in(context.options.logPath);
    std::ostringstream text;
    text << in.rdbuf();
    response.set_content(text.str(), "application/x-ndjson");
}

// A configuration script that sends every request through this service's proxy port, or
// straight to its target with direct=1. Clients may cache a script by its URL, so callers vary
// the query to get a fresh one.
void HandleProxyScript(ServiceContext& context, PortId own, const httplib::Request& request,
                       httplib::Response& response) {
    std::string proxy = request.get_param_value("proxy");
    if (proxy.empty()) proxy = context.options.host + ":" + std::to_string(context.PortNumber(own));
    const std::string answer =
        request.get_param_value("direct") == "1" ? "DIRECT" : "PROXY " + proxy;
    context.log.Write(RequestRecord(own, request).Add("status", 200).Add("pac", answer));
    response.set_content(
        "function FindProxyForURL(url, host) {\n    return \"" + answer + "\";\n}\n",
        "application/x-ns-proxy-autoconfig");
}

}  // namespace

void RegisterControlRoutes(httplib::Server& server, ServiceContext& context, PortId port) {
    server.Get("/_control", [&context, port](const httplib::Request& req, httplib::Response& res) {
        HandleControl(context, port, req, res);
    });
    server.Get("/_log", [&context](const httplib::Request&, httplib::Response& res) {
        HandleLog(context, res);
    });
    server.Get("/proxy.pac", [&context, port](const httplib::Request& req, httplib::Response& res) {
        HandleProxyScript(context, port, req, res);
    });
}

}  // namespace kvservice
