// What the C++ runtime asks of a thread layer, from the system directly. The runtime is built
// against a pthread layer, which would otherwise come into the program (some 26 KiB) for three
// uses: the guards of function-local statics, the lock of the exceptions' emergency memory, and
// the per-thread blocks of thread-local variables (which the exceptions' bookkeeping uses).
// Only this program is linked with these; the test programs keep the runtime's own.

#include <windows.h>

#include <cxxabi.h>

#include <cerrno>
#include <cstdint>

namespace {

SRWLOCK g_lock = SRWLOCK_INIT;
CONDITION_VARIABLE g_changed = CONDITION_VARIABLE_INIT;

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
    ::AcquireSRWLockExclusive(&g_lock);
    while (*BusyByte(guard) && !*DoneByte(guard)) {
        ::SleepConditionVariableSRW(&g_changed, &g_lock, INFINITE, 0);
    }
    const bool done = *DoneByte(guard) != 0;
    if (!done) *BusyByte(guard) = 1;
    ::ReleaseSRWLockExclusive(&g_lock);
    return done ? 0 : 1;
}

extern "C" void __cxa_guard_release(__guard* guard) {
    ::AcquireSRWLockExclusive(&g_lock);
    *BusyByte(guard) = 0;
    __atomic_store_n(DoneByte(guard), 1, __ATOMIC_RELEASE);
    ::ReleaseSRWLockExclusive(&g_lock);
    ::WakeAllConditionVariable(&g_changed);
}

extern "C" void __cxa_guard_abort(__guard* guard) {
    ::AcquireSRWLockExclusive(&g_lock);
    *BusyByte(guard) = 0;
    ::ReleaseSRWLockExclusive(&g_lock);
    ::WakeAllConditionVariable(&g_changed);
}

}  // namespace __cxxabiv1

// Mutexes: the runtime's two (the emergency memory's, the thread-local blocks' index) are held
// only briefly and never one inside the other, so one lock serves for every mutex.
namespace {
SRWLOCK g_mutexes = SRWLOCK_INIT;
SRWLOCK g_once = SRWLOCK_INIT;
}  // namespace

extern "C" int pthread_mutex_init(std::intptr_t*, const void*) {
    return 0;
}
extern "C" int pthread_mutex_destroy(std::intptr_t*) {
    return 0;
}
extern "C" int pthread_mutex_lock(std::intptr_t*) {
    ::AcquireSRWLockExclusive(&g_mutexes);
    return 0;
}
extern "C" int pthread_mutex_unlock(std::intptr_t*) {
    ::ReleaseSRWLockExclusive(&g_mutexes);
    return 0;
}

extern "C" int pthread_once(long* once, void (*routine)()) {
    if (__atomic_load_n(once, __ATOMIC_ACQUIRE)) return 0;
    ::AcquireSRWLockExclusive(&g_once);
    if (!*once) {
        routine();
        __atomic_store_n(once, 1, __ATOMIC_RELEASE);
    }
    ::ReleaseSRWLockExclusive(&g_once);
    return 0;
}

// Keys are fiber-local slots: unlike thread-local ones, the system calls the destructor with a
// thread's value when the thread ends, which frees the thread's block of thread-local variables.
extern "C" int pthread_key_create(unsigned* key, void (*destructor)(void*)) {
    const DWORD slot = ::FlsAlloc(reinterpret_cast<PFLS_CALLBACK_FUNCTION>(destructor));
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
