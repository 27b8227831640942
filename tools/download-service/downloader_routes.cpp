// The setup-location query: GET /downloader?p=<sealed "kvPro" + edition>, answered with the
// sealed URL of that edition's setup file.

#include <cctype>

#include "service.h"
#include "service/envelope.h"

namespace kvservice {
namespace {

constexpr std::string_view kRequestPassPhrase = "5e1f0c7a9b2d4e6f8a0c1e3b5d7f9a2c";
constexpr std::string_view kResponsePassPhrase = "b7d9e1f3a5c7e9b1d3f5a7c9e1b3d5f7";
constexpr std::string_view kProduct = "kvPro";

// "Trial" or "Paid" from the opened request text, or empty when it names neither.
std::string EditionOf(const std::string& requestText) {
    if (requestText.compare(0, kProduct.size(), kProduct) != 0) return {};
    const std::string edition = requestText.substr(kProduct.size());
    return edition == "Trial" || edition == "Paid" ? edition : std::string();
}

// Undoes %XX escapes only: a '+' in base64 stays a '+'.
std::string PercentDecode(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() &&
            std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

void HandleDownloader(ServiceContext& context, PortId port, const httplib::Request& request,
                      httplib::Response& response) {
    JsonLine record = RequestRecord(port, request);
    const Faults faults = context.FaultsOf(port, Scope::Query);
    // The payload is taken from the raw target: base64 may hold '+', which query decoding
    // would turn into a space.
    const std::string& target = request.target;
    const size_t key = target.find("?p=");
    const std::string payload =
        key == std::string::npos ? std::string() : PercentDecode(target.substr(key + 3));
    const std::string edition = EditionOf(OpenPayload(payload.c_str(), kRequestPassPhrase));
    if (edition.empty() && !faults.noHeaders) {
        context.log.Write(record.Add("status", 400).Add("error", "request does not open"));
        response.status = 400;
        response.set_content("bad request\n", "text/plain");
        return;
    }
    record.Add("edition", edition);
    std::string setupUrl = context.AnswerOf(port);
    if (setupUrl.empty()) {
        setupUrl = "http://" + context.options.host + ":" +
                   std::to_string(context.PortNumber(port)) + "/files/" +
                   context.SetupFile(edition == "Trial");
    }
    std::string answer;
    if (faults.garble) {
        answer = SealPayload(setupUrl, "00000000000000000000000000000000");
    } else if (faults.emptyText) {
        answer = SealPayload("", kResponsePassPhrase);
    } else {
        answer = SealPayload(setupUrl, kResponsePassPhrase);
    }
    record.Add("answer", setupUrl);
    RespondWithFaults(context, port, request, response, faults, BodySource::FromText(answer),
                      "text/plain", std::move(record));
}

}  // namespace

void RegisterDownloaderRoutes(httplib::Server& server, ServiceContext& context, PortId port) {
    server.Get("/downloader",
               [&context, port](const httplib::Request& req, httplib::Response& res) {
                   HandleDownloader(context, port, req, res);
               });
}

}  // namespace kvservice
