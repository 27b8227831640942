#pragma once
// The process's record of the threads that the transport starts and nobody waits for at once:
// exchange workers held inside WinHTTP after their caller has left, and proxy lookups given up
// on. Each ends on its own within its time-outs; the program's exit waits for them, with a
// bound, so that none outlives the program's main function unnoticed.

#include <windows.h>

#include <cstddef>

namespace net {

// Starts `routine(parameter)` on a thread kept in the record; false when no thread could be
// started (`parameter` then still belongs to the caller).
bool StartTrackedThread(LPTHREAD_START_ROUTINE routine, void* parameter);

// How many recorded threads still run.
size_t RunningTrackedThreads();

// Waits up to `timeoutMs` for every recorded thread to end; true when none runs any more.
bool JoinTrackedThreads(DWORD timeoutMs);

}  // namespace net
