// What the C++ runtime asks of a thread layer, from the system directly. The runtime is built
// against a pthread layer, which would otherwise come into the program (some 26 KiB) for three
// uses: the guards of function-local statics, the lock of the exceptions' emergency memory, and
// the per-thread blocks of thread-local variables (which the exceptions' bookkeeping uses).
// Only this program is linked with these; the test programs keep the runtime's own.
//
// Not provided, on purpose: threads (std::thread), condition variables, key deletion (which
// thread-local objects with destructors need). Code that asks for them brings the pthread layer's
// own unit, which defines pthread_once and the keys as well, and the link fails with duplicate
// symbols. std::mutex works (each mutex is a lock of its own); recursive and error-checking mutexes
// end the program at their first use.

#include <windows.h>

#include <cxxabi.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

namespace {

// One lock and one condition for the guards and the once-flags: each is held only to read or
// change a state, never while an initialisation runs, so that one may start another.
SRWLOCK g_stateLock = SRWLOCK_INIT;
CONDITION_VARIABLE g_stateChanged = CONDITION_VARIABLE_INIT;

class StateLock {
  public:
    StateLock() { ::AcquireSRWLockExclusive(&g_stateLock); }
    ~StateLock() { ::ReleaseSRWLockExclusive(&g_stateLock); }
    StateLock(const StateLock&) = delete;
    StateLock& operator=(const StateLock&) = delete;
    void Wait() { ::SleepConditionVariableSRW(&g_stateChanged, &g_stateLock, INFINITE, 0); }
};

void AnnounceChange() {
    ::WakeAllConditionVariable(&g_stateChanged);
}

// The compiler reads the first byte, without a call, to see whether the static is set up; the
// second marks an initialisation under way.
unsigned char* DoneByte(__cxxabiv1::__guard* guard) {
    return reinterpret_cast<unsigned char*>(guard);
}
unsigned char* BusyByte(__cxxabiv1::__guard* guard) {
    return reinterpret_cast<unsigned char*>(guard) + 1;
}

}  // namespace

namespace __cxxabiv1 {

extern "C" int __cxa_guard_acquire(__guard* guard) {
    if (__atomic_load_n(DoneByte(guard), __ATOMIC_ACQUIRE)) return 0;
    StateLock lock;
    while (*BusyByte(guard) && !*DoneByte(guard)) lock.Wait();
    if (*DoneByte(guard)) return 0;
    *BusyByte(guard) = 1;
    return 1;
}

extern "C" void __cxa_guard_release(__guard* guard) {
    {
        StateLock lock;
        *BusyByte(guard) = 0;
        __atomic_store_n(DoneByte(guard), 1, __ATOMIC_RELEASE);
    }
    AnnounceChange();
}

extern "C" void __cxa_guard_abort(__guard* guard) {
    {
        StateLock lock;
        *BusyByte(guard) = 0;
    }
    AnnounceChange();
}

}  // namespace __cxxabiv1

// Once-flags start at 0; the routine runs without the lock held, so that it may run another
// once-routine. A routine that throws leaves the flag as it found it, for the next caller.
namespace {
enum OnceState : long { kOnceNotRun = 0, kOnceRunning = 1, kOnceDone = 2 };

class OnceRun {
  public:
    explicit OnceRun(long* once) : once_(once) {}
    OnceRun(const OnceRun&) = delete;
    OnceRun& operator=(const OnceRun&) = delete;
    ~OnceRun() {
        {
            StateLock lock;
            __atomic_store_n(once_, done_ ? kOnceDone : kOnceNotRun, __ATOMIC_RELEASE);
        }
        AnnounceChange();
    }
    void Done() { done_ = true; }

  private:
    long* once_;
    bool done_ = false;
};
}  // namespace

extern "C" int pthread_once(long* once, void (*routine)()) {
    if (__atomic_load_n(once, __ATOMIC_ACQUIRE) == kOnceDone) return 0;
    {
        StateLock lock;
        while (*once == kOnceRunning) lock.Wait();
        if (*once == kOnceDone) return 0;
        *once = kOnceRunning;
    }
    OnceRun run(once);
    routine();
    run.Done();
    return 0;
}

// Mutexes: the runtime's mutex is an intptr_t, the size of a slim lock, which it becomes. A
// statically initialised one holds -1 until its first use; -2 and -3 are the recursive and the
// error-checking kinds, which a slim lock cannot be.
namespace {
constexpr std::intptr_t kStaticMutex = -1;
constexpr std::intptr_t kStaticRecursiveMutex = -2;
constexpr std::intptr_t kStaticErrorCheckingMutex = -3;

SRWLOCK* SlimLock(std::intptr_t* mutex) {
    std::intptr_t value = __atomic_load_n(mutex, __ATOMIC_ACQUIRE);
    if (value == kStaticMutex) {
        // Whoever comes first turns it into an unlocked slim lock; the others find that done.
        __atomic_compare_exchange_n(mutex, &value, 0, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE);
    } else if (value == kStaticRecursiveMutex || value == kStaticErrorCheckingMutex) {
        std::abort();
    }
    static_assert(sizeof(SRWLOCK) == sizeof(std::intptr_t));
    return reinterpret_cast<SRWLOCK*>(mutex);
}
}  // namespace

// Attributes come only from pthread_mutexattr_*, which this program does not provide.
extern "C" int pthread_mutex_init(std::intptr_t* mutex, const void* attributes) {
    if (attributes) std::abort();
    __atomic_store_n(mutex, 0, __ATOMIC_RELEASE);
    return 0;
}
extern "C" int pthread_mutex_destroy(std::intptr_t*) {
    return 0;
}
extern "C" int pthread_mutex_lock(std::intptr_t* mutex) {
    ::AcquireSRWLockExclusive(SlimLock(mutex));
    return 0;
}
extern "C" int pthread_mutex_trylock(std::intptr_t* mutex) {
    return ::TryAcquireSRWLockExclusive(SlimLock(mutex)) ? 0 : EBUSY;
}
extern "C" int pthread_mutex_unlock(std::intptr_t* mutex) {
    ::ReleaseSRWLockExclusive(reinterpret_cast<SRWLOCK*>(mutex));
    return 0;
}

// Keys are fiber-local slots: unlike thread-local ones, the system calls a slot's callback with
// the thread's value when the thread ends, which frees the thread's block of thread-local
// variables. The system does not promise to skip empty slots, as a key's destructor expects, so
// each key's callback checks first; the runtime makes one or two keys.
namespace {
using KeyDestructor = void (*)(void*);
constexpr long kMaxKeys = 4;
KeyDestructor g_keyDestructors[kMaxKeys];
long g_keysMade = 0;

template <int Key>
void WINAPI DestroyKeyValue(void* value) {
    if (value) g_keyDestructors[Key](value);
}
constexpr PFLS_CALLBACK_FUNCTION kKeyCallbacks[kMaxKeys] = {DestroyKeyValue<0>, DestroyKeyValue<1>,
                                                            DestroyKeyValue<2>, DestroyKeyValue<3>};
}  // namespace

extern "C" int pthread_key_create(unsigned* key, KeyDestructor destructor) {
    PFLS_CALLBACK_FUNCTION callback = nullptr;
    if (destructor) {
        const long index = __atomic_fetch_add(&g_keysMade, 1, __ATOMIC_ACQ_REL);
        if (index >= kMaxKeys) return EAGAIN;
        g_keyDestructors[index] = destructor;
        callback = kKeyCallbacks[index];
    }
    const DWORD slot = ::FlsAlloc(callback);
    if (slot == FLS_OUT_OF_INDEXES) return EAGAIN;
    *key = slot;
    return 0;
}
// Keeps the last error: a thread-local variable may be read between a failing call and the
// look at its error.
extern "C" void* pthread_getspecific(unsigned key) {
    const DWORD error = ::GetLastError();
    void* value = ::FlsGetValue(key);
    ::SetLastError(error);
    return value;
}
extern "C" int pthread_setspecific(unsigned key, const void* value) {
    return ::FlsSetValue(key, const_cast<void*>(value)) ? 0 : ENOMEM;
}
