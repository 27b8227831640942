// The usage-event collection endpoints: GET /collect?<hit> (measurement protocol v1) and
// POST /mp/collect?measurement_id=..&api_secret=.. with a JSON body (the newer protocol). Every
// hit is logged as one record whose "hit" object holds the query's keys in the order they came,
// with their values decoded, and, for a POST, whose "body" holds the body as it came, so tests
// and demos can see exactly what a client reported. Port faults apply as elsewhere (a
// silent or slow answer shows that clients don't wait for it).

#include "service.h"

namespace kvservice {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Form decoding: "%XX" gives its byte, "+" a blank; a malformed escape stays as it is.
std::string DecodeQueryPart(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
                   HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The query's pairs in their order; a key without "=" has an empty value.
JsonLine DecodedHit(std::string_view target) {
    JsonLine hit;
    const size_t start = target.find('?');
    if (start == std::string_view::npos) return hit;
    std::string_view query = target.substr(start + 1);
    while (!query.empty()) {
        const size_t end = query.find('&');
        const std::string_view pair = query.substr(0, end);
        query = end == std::string_view::npos ? std::string_view() : query.substr(end + 1);
        if (pair.empty()) continue;
        const size_t equals = pair.find('=');
        hit.Add(DecodeQueryPart(pair.substr(0, equals)),
                equals == std::string_view::npos ? std::string()
                                                 : DecodeQueryPart(pair.substr(equals + 1)));
    }
    return hit;
}

void HandleCollect(ServiceContext& context, PortId port, const httplib::Request& request,
                   httplib::Response& response) {
    JsonLine record = RequestRecord(port, request);
    record.Add("hit", DecodedHit(request.target));
    RespondWithFaults(context, port, request, response, context.FaultsOf(port, Scope::Query),
                      BodySource::FromText("ok\n"), "text/plain", std::move(record));
}

void HandleJsonCollect(ServiceContext& context, PortId port, const httplib::Request& request,
                       httplib::Response& response) {
    JsonLine record = RequestRecord(port, request);
    record.Add("hit", DecodedHit(request.target));
    record.Add("contentType", request.get_header_value("Content-Type"));
    record.Add("body", request.body);
    RespondWithFaults(context, port, request, response, context.FaultsOf(port, Scope::Query),
                      BodySource::FromText(""), "text/plain", std::move(record));
}

}  // namespace

void RegisterCollectRoutes(httplib::Server& server, ServiceContext& context, PortId port) {
    server.Get("/collect", [&context, port](const httplib::Request& req, httplib::Response& res) {
        HandleCollect(context, port, req, res);
    });
    server.Post("/mp/collect",
                [&context, port](const httplib::Request& req, httplib::Response& res) {
                    HandleJsonCollect(context, port, req, res);
                });
}

}  // namespace kvservice
