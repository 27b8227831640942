#pragma once
// Usage-event hits leave one at a time, in the order they were sent, from one worker thread that
// the first hit starts. The caller never waits for the network; the program's end waits for the
// worker, with a bound (StopUsageEvents), so that no request outlives wWinMain.

#include <string>

namespace kv::analytics {

struct Hit {
    std::wstring url;
    std::string jsonBody;  // posted as application/json; empty: a GET of the URL
};

// Queues the hit; false when it can't be queued (no memory, no thread, or stopped).
bool QueueHit(Hit hit);

// Waits until every hit queued so far has been sent or `timeoutMs` has passed; true in the
// first case.
bool WaitForUsageEvents(unsigned long timeoutMs);

// Waits up to `timeoutMs` for the queued hits, drops the rest and ends the worker. Hits queued
// afterwards are dropped. The hit under way, if any, is bounded by its own exchange time-outs.
void StopUsageEvents(unsigned long timeoutMs);

}  // namespace kv::analytics
