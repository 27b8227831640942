#include "net/block_channel.h"

#include <new>

namespace net {

BlockChannel::BlockChannel(DWORD blockCapacity)
    : blockCapacity_(blockCapacity),
      filled_(::CreateSemaphoreW(nullptr, 0, kSlotCount, nullptr)),
      free_(::CreateSemaphoreW(nullptr, kSlotCount, kSlotCount, nullptr)),
      abandonedEvent_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    ready_ = filled_ && free_ && abandonedEvent_;
    for (BodyBlock& slot : slots_) {
        slot.bytes.reset(new (std::nothrow) unsigned char[blockCapacity]);
        ready_ = ready_ && slot.bytes;
    }
}

BlockChannel::Wait BlockChannel::AwaitFilled(HANDLE cancelEvent, DWORD timeoutMs) {
    HANDLE events[] = {cancelEvent, filled_.Get()};
    const DWORD result = ::WaitForMultipleObjects(2, events, FALSE, timeoutMs);
    if (result == WAIT_OBJECT_0 + 1) return Wait::Filled;
    if (result == WAIT_OBJECT_0) return Wait::Cancelled;
    return Wait::TimedOut;
}

void BlockChannel::ReleaseOldest() {
    ++readCount_;
    ::ReleaseSemaphore(free_.Get(), 1, nullptr);
}

void BlockChannel::Abandon() {
    abandoned_.store(true, std::memory_order_release);
    ::SetEvent(abandonedEvent_.Get());
}

bool BlockChannel::AwaitFree() {
    HANDLE events[] = {abandonedEvent_.Get(), free_.Get()};
    return ::WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1;
}

void BlockChannel::Publish() {
    ++writeCount_;
    ::ReleaseSemaphore(filled_.Get(), 1, nullptr);
}

}  // namespace net
