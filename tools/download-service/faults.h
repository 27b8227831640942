#pragma once
// Misbehaviours the service can be told to show, so that clients can be tested against real
// network faults. Each listening port has its own set; a request to a generated body may carry
// its own in the query.

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace kvservice {

struct Faults {
    int status = 0;              // answer this status instead of 200 (0: no fault)
    bool emptyBody = false;      // 200 with an empty body
    bool noLength = false;       // no Content-Length: the body ends when the connection closes
    int64_t cutAfter = -1;       // announce the full length, close after this many body bytes
    int cutPercent = -1;         // ... or after this share of the whole file, in every answer
    int64_t stallAfter = -1;     // send this many body bytes, then nothing until the hold ends
    int64_t trickleBytes = 0;    // send the body in pieces of this size ...
    int64_t trickleDelayMs = 0;  // ... with this pause before each piece after the first
    bool garble = false;         // service answer that is not a sealed payload of ours
    bool emptyText = false;      // service answer that opens to an empty text
    bool noHeaders = false;      // accept the request and never answer
    bool refuse = false;         // stop listening (connection refused)
    std::string contentLength;   // send this text as Content-Length (overrides the real one)
    bool chunked = false;        // chunked transfer coding; with cut=, no last chunk is sent
    bool noRanges = false;       // Range is ignored: always the whole file with 200
    bool newValidator = false;   // a new ETag and Last-Modified on every answer
    bool badRange = false;       // a range request gets a range that starts elsewhere

    // Where the body of an answer is cut, for a file of `fileSize` bytes; -1: not cut.
    int64_t CutPoint(int64_t fileSize) const;
    bool Any() const;
    std::string Describe() const;  // compact "name=value,..." for the log
};

// Applies the fault switches among the parameters of a query to `faults`; returns false and
// names the first bad one in `error`. "reset=1" clears everything first. Unknown names are errors
// when `strict`, and ignored otherwise (so a client may tag its request URLs).
bool ApplyFaultParameters(const std::multimap<std::string, std::string>& params, Faults& faults,
                          std::string& error, bool strict = true);

// Parses "status=404,cut=100" style text (command line).
bool ApplyFaultText(const std::string& text, Faults& faults, std::string& error);

}  // namespace kvservice
