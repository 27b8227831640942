// Run-time control of the service: fault switches per port and scope, the query's answer, the
// served setup files, the request log, and the proxy configuration script.

#include <fstream>
#include <map>
#include <sstream>
#include <utility>
#include <vector>

#include "service.h"

namespace kvservice {
namespace {

std::string FaultsJson(ServiceContext& context) {
    JsonLine json;
    for (PortId port : {PortId::Primary, PortId::Secondary}) {
        const std::string name = PortName(port);
        json.Add(name + "_files", context.FaultsOf(port, Scope::Files).Describe())
            .Add(name + "_query", context.FaultsOf(port, Scope::Query).Describe())
            .Add(name + "_answer", context.AnswerOf(port))
            .Add(name + "_port", context.PortNumber(port));
    }
    return json.Add("trial_file", context.SetupFile(true))
        .Add("paid_file", context.SetupFile(false))
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

// "files", "query", or both when the request names no scope.
bool ControlledScopes(const httplib::Request& request, std::vector<Scope>& scopes) {
    const std::string which = request.get_param_value("scope");
    if (which.empty()) {
        scopes = {Scope::Files, Scope::Query};
    } else if (which == "files") {
        scopes = {Scope::Files};
    } else if (which == "query") {
        scopes = {Scope::Query};
    } else {
        return false;
    }
    return true;
}

// The parameters that are not fault switches: where they apply and what the service serves.
bool IsSettingName(const std::string& name) {
    return name == "scope" || name == "answer" || name == "trial_file" || name == "paid_file";
}

void BadRequest(httplib::Response& response, const std::string& text) {
    response.status = 400;
    response.set_content(text + "\n", "text/plain");
}

// Checks every parameter before anything changes, so that a bad request changes nothing.
bool ApplyControl(ServiceContext& context, PortId own, const httplib::Request& request,
                  std::string& error) {
    std::vector<PortId> ports;
    std::vector<Scope> scopes;
    if (!ControlledPorts(request, own, ports)) error = "unknown port";
    if (error.empty() && !ControlledScopes(request, scopes)) error = "unknown scope";
    for (const char* name : {"trial_file", "paid_file"}) {
        if (request.has_param(name) && !SafeFileName(request.get_param_value(name))) {
            error = std::string("bad file name for ") + name;
        }
    }
    if (!error.empty()) return false;

    std::multimap<std::string, std::string> switches;
    for (const auto& [name, value] : request.params) {
        if (!IsSettingName(name)) switches.emplace(name, value);
    }
    std::vector<std::pair<PortId, Scope>> targets;
    std::vector<Faults> changed;
    for (PortId port : ports) {
        for (Scope scope : scopes) {
            Faults faults = context.FaultsOf(port, scope);
            if (!ApplyFaultParameters(switches, faults, error)) {
                error = "bad fault switch " + error;
                return false;
            }
            targets.emplace_back(port, scope);
            changed.push_back(faults);
        }
    }
    for (size_t i = 0; i < targets.size(); ++i) {
        const PortId port = targets[i].first;
        const bool wasRefusing = context.Refusing(port);
        context.SetFaults(port, targets[i].second, changed[i]);
        const bool refusing = context.Refusing(port);
        if (refusing != wasRefusing) context.service->SetListening(port, !refusing);
    }
    if (request.has_param("answer")) {
        for (PortId port : ports) context.SetAnswer(port, request.get_param_value("answer"));
    }
    if (request.has_param("trial_file")) {
        context.SetSetupFile(true, request.get_param_value("trial_file"));
    }
    if (request.has_param("paid_file")) {
        context.SetSetupFile(false, request.get_param_value("paid_file"));
    }
    return true;
}

void HandleControl(ServiceContext& context, PortId own, const httplib::Request& request,
                   httplib::Response& response) {
    std::string error;
    if (!ApplyControl(context, own, request, error)) {
        BadRequest(response, error);
        return;
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
