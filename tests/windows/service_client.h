#pragma once
// Helpers for Windows tests that run against the reference download service started by
// scripts/with-download-service (kv_test(... WITH_SERVICE ...)).

#include <string>
#include <vector>

namespace service_client {

enum class Server { Primary, Secondary };

// The port of a server from the environment; 0 when the test runs without the service.
int Port(Server server);
bool Available();

// "http://127.0.0.1:<port><path>".
std::wstring Url(const std::wstring& path, Server server = Server::Primary);

// GET /_control?<query> on the primary port (the secondary when the primary refuses), e.g.
// L"port=secondary&status=404"; true on 200.
bool Control(const std::wstring& query);
// Clears the fault switches of both servers.
bool ResetFaults();

// The request log, one JSON object per line (from the secondary when the primary refuses); the
// lines that matter to a test are picked out by service_log.h.
std::vector<std::string> LogLines();

// The private folder of the running service (Wine path), with the served files under "files".
std::wstring ServiceFolder();

// A token that makes a request URL unique within one test run.
std::wstring UniqueToken();

}  // namespace service_client
