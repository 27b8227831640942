#pragma once
// Hands the response body from the thread that reads it to the thread that stores it, through a
// small ring of buffers allocated once per exchange and reused: memory stays flat however large
// the body is, and the reader can fetch the next block while the previous one is written out.
//
// One writer (the reading thread) and one reader (the storing thread). The reader may leave at any
// time (Abandon); the writer finds out at its next wait or check and stops.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "win/handles.h"

namespace net {

struct BodyBlock {
    enum class Kind { Data, End, Failed };

    Kind kind = Kind::Failed;
    DWORD size = 0;  // bytes of `bytes` in use (Data only)
    std::unique_ptr<unsigned char[]> bytes;
};

class BlockChannel {
  public:
    static constexpr int kSlotCount = 4;

    explicit BlockChannel(DWORD blockCapacity);
    BlockChannel(const BlockChannel&) = delete;
    BlockChannel& operator=(const BlockChannel&) = delete;

    // False when a buffer or a kernel object could not be made; the channel is then unusable.
    bool Ready() const { return ready_; }
    DWORD BlockCapacity() const { return blockCapacity_; }

    // Reader's side.
    enum class Wait { Filled, Cancelled, TimedOut };
    // Waits for the next block; `cancelEvent` wins when both are signalled.
    Wait AwaitFilled(HANDLE cancelEvent, DWORD timeoutMs);
    const BodyBlock& Oldest() const { return slots_[readCount_ % kSlotCount]; }
    // Gives the oldest block back to the writer.
    void ReleaseOldest();
    void Abandon();

    // Writer's side.
    // Waits for a block to fill; false once the reader has left.
    bool AwaitFree();
    BodyBlock& Newest() { return slots_[writeCount_ % kSlotCount]; }
    // Passes the newest block to the reader.
    void Publish();
    bool Abandoned() const { return abandoned_.load(std::memory_order_acquire); }

    // Written by the writer before it publishes its first block; read by the reader after it.
    std::atomic<int64_t> announcedLength{0};
    // The body comes in the chunked transfer coding.
    std::atomic<bool> chunked{false};

  private:
    const DWORD blockCapacity_;
    BodyBlock slots_[kSlotCount];
    uint64_t readCount_ = 0;   // reader only
    uint64_t writeCount_ = 0;  // writer only
    kv::win::KernelHandle filled_;
    kv::win::KernelHandle free_;
    kv::win::KernelHandle abandonedEvent_;
    std::atomic<bool> abandoned_{false};
    bool ready_ = false;
};

}  // namespace net
