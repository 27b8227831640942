#include "trust/authenticode_stream.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "trust/authenticode_pieces.h"
#include "trust/worker_threads.h"

namespace {

// Enough to ride out the worker falling behind for a while (tens of milliseconds at the
// transfer's pace), little next to the setup file.
constexpr std::size_t kBufferSize = 2u << 20;
// What the worker hashes between looks at the buffer, so that a stop is noticed soon.
constexpr std::size_t kMostPerPiece = 256u << 10;

}  // namespace

// The digest and the worker that feeds it from a ring buffer. While the worker runs, only it
// touches `digest`; the owner touches it once the buffer is empty (Drain), which the mutex orders.
struct AuthenticodeStream::State {
    AuthenticodeDigestInPieces digest;
    std::uint64_t appended = 0;
    bool finished = false;

    kv::worker::Mutex mutex;
    kv::worker::ConditionVariable changed;
    std::unique_ptr<unsigned char[]> buffer;
    std::size_t tail = 0;  // where the worker reads next
    std::size_t used = 0;  // bytes from `tail` on, wrapping around, not yet hashed
    bool stop = false;
    kv::worker::Thread worker;

    ~State() {
        {
            kv::worker::Lock lock(mutex);
            stop = true;  // what is still buffered is not wanted any more
        }
        changed.NotifyAll();
        worker.Join();
    }

    bool StartWorker() {
        if (worker.Running()) return true;
        if (!buffer) buffer.reset(new (std::nothrow) unsigned char[kBufferSize]);
        if (!buffer) return false;
        tail = used = 0;
        stop = false;
        return worker.Start([this] { Run(); });
    }

    void Run() {
        kv::worker::Lock lock(mutex);
        for (;;) {
            changed.Wait(lock, [this] { return stop || used > 0; });
            if (stop) return;
            const std::size_t count = std::min({used, kBufferSize - tail, kMostPerPiece});
            const unsigned char* piece = buffer.get() + tail;
            lock.Unlock();
            digest.Append(piece, count);
            lock.Relock();
            tail = (tail + count) % kBufferSize;
            used -= count;
            changed.NotifyAll();
        }
    }

    void Push(const unsigned char* bytes, std::size_t count) {
        while (count > 0) {
            kv::worker::Lock lock(mutex);
            changed.Wait(lock, [this] { return used < kBufferSize; });
            const std::size_t head = (tail + used) % kBufferSize;
            const std::size_t piece = std::min({count, kBufferSize - used, kBufferSize - head});
            lock.Unlock();
            // The worker reads only the `used` bytes from `tail`: this part is ours until counted.
            std::memcpy(buffer.get() + head, bytes, piece);
            lock.Relock();
            used += piece;
            lock.Unlock();
            changed.NotifyAll();
            bytes += piece;
            count -= piece;
        }
    }

    // Until the worker has hashed everything buffered and waits for more.
    void Drain() {
        if (!worker.Running()) return;
        kv::worker::Lock lock(mutex);
        changed.Wait(lock, [this] { return used == 0; });
    }

    void StopWorker() {
        if (!worker.Running()) return;
        {
            kv::worker::Lock lock(mutex);
            changed.Wait(lock, [this] { return used == 0; });
            stop = true;
        }
        changed.NotifyAll();
        worker.Join();
    }
};

std::unique_ptr<AuthenticodeStream::State> AuthenticodeStream::NewState() {
    try {
        return std::make_unique<State>();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

AuthenticodeStream::AuthenticodeStream() : state_(NewState()) {}
AuthenticodeStream::~AuthenticodeStream() = default;
AuthenticodeStream::AuthenticodeStream(AuthenticodeStream&&) noexcept = default;
AuthenticodeStream& AuthenticodeStream::operator=(AuthenticodeStream&&) noexcept = default;

void AuthenticodeStream::Restart() {
    if (!state_) {
        state_ = NewState();
        return;
    }
    state_->Drain();
    state_->digest.Restart();
    state_->appended = 0;
    state_->finished = false;
}

void AuthenticodeStream::Append(const unsigned char* bytes, std::size_t count) {
    if (!state_ || count == 0) return;
    state_->appended += count;
    // After Finish the digest itself refuses more bytes.
    if (state_->finished || !state_->StartWorker()) {
        state_->digest.Append(bytes, count);
        return;
    }
    state_->Push(bytes, count);
}

std::uint64_t AuthenticodeStream::Seen() const {
    return state_ ? state_->appended : 0;
}

bool AuthenticodeStream::Finish(PeSignatureLayout& layout, Sha256Digest& digest) {
    if (!state_) return false;
    state_->StopWorker();
    state_->finished = true;
    return state_->digest.Finish(layout, digest);
}
