// The shipped program's own support for the C++ runtime (src/app/runtime_threads.cpp and
// runtime_errors.cpp), linked here alone and driven from several threads at once: statics set up
// once, once-routines that start others, exceptions, thread-local variables and key destructors on
// many threads, locks of their own for each mutex, and the errors of the standard containers still
// caught. No GoogleTest: its own thread layer would clash with these at link time.

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "win/threads.h"

extern "C" int pthread_once(long* once, void (*routine)());
extern "C" int pthread_key_create(unsigned* key, void (*destructor)(void*));
extern "C" void* pthread_getspecific(unsigned key);
extern "C" int pthread_setspecific(unsigned key, const void* value);

namespace {

constexpr int kThreads = 8;
int g_failures = 0;

void Check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "FAILED: %s\n", what);
    ++g_failures;
}

void LetOthersRun(int turns) {
    for (int i = 0; i < turns; ++i) ::SwitchToThread();
}

// Runs body(index) on kThreads threads that all start it together.
template <typename Body>
void OnAllThreads(Body body) {
    std::atomic<int> starting{kThreads};
    std::vector<kv::win::Thread> threads(kThreads);
    for (int i = 0; i < kThreads; ++i) {
        const bool started = threads[i].Start([&, i] {
            starting.fetch_sub(1);
            while (starting.load() > 0) ::SwitchToThread();
            body(i);
        });
        if (!started) {
            Check(false, "a thread starts");
            starting.fetch_sub(1);
        }
    }
    for (auto& thread : threads) thread.Join();
}

// Function-local statics, each first touched by every thread at once; a slow constructor keeps
// the others waiting at the guard.
constexpr int kStatics = 12;
std::atomic<int> g_constructions[kStatics];

template <int N>
struct SlowToMake {
    SlowToMake() {
        g_constructions[N].fetch_add(1);
        LetOthersRun(50);
        value = N + 1;
    }
    int value = 0;
};

template <int N>
int TouchStatic() {
    static SlowToMake<N> made;
    return made.value;
}

template <std::size_t... N>
bool TouchAllStatics(std::index_sequence<N...>) {
    return ((TouchStatic<N>() == static_cast<int>(N) + 1) && ...);
}

void StaticsAreMadeOnce() {
    std::atomic<int> seenUnmade{0};
    OnAllThreads([&](int) {
        if (!TouchAllStatics(std::make_index_sequence<kStatics>{})) seenUnmade.fetch_add(1);
    });
    Check(seenUnmade.load() == 0, "every thread sees each static made");
    for (auto& count : g_constructions) Check(count.load() == 1, "each static is made once");
}

// A once-routine that runs another, and one that fails on its first run.
long g_outerOnce = 0;
long g_innerOnce = 0;
long g_retriedOnce = 0;
std::atomic<int> g_outerRuns{0};
std::atomic<int> g_innerRuns{0};
std::atomic<int> g_retriedRuns{0};

void InnerRoutine() {
    g_innerRuns.fetch_add(1);
    LetOthersRun(50);
}
void OuterRoutine() {
    g_outerRuns.fetch_add(1);
    pthread_once(&g_innerOnce, InnerRoutine);
}
void FailsFirstTime() {
    if (g_retriedRuns.fetch_add(1) == 0) throw 1;
}

void OnceRoutinesRunOnce() {
    std::atomic<int> innerUnseen{0};
    OnAllThreads([&](int) {
        pthread_once(&g_outerOnce, OuterRoutine);
        if (g_innerRuns.load() != 1) innerUnseen.fetch_add(1);
    });
    Check(g_outerRuns.load() == 1 && g_innerRuns.load() == 1, "nested once-routines run once");
    Check(innerUnseen.load() == 0, "the nested routine has run when pthread_once returns");

    bool thrown = false;
    try {
        pthread_once(&g_retriedOnce, FailsFirstTime);
    } catch (int) {
        thrown = true;
    }
    pthread_once(&g_retriedOnce, FailsFirstTime);
    pthread_once(&g_retriedOnce, FailsFirstTime);
    Check(thrown && g_retriedRuns.load() == 2, "a routine that threw runs again, then never");
}

// Exceptions in flight on every thread at once, counted per thread while unwinding, beside a
// thread-local variable of each thread. (A thread-local object with a destructor would need key
// deletion, which the program does not provide: it fails to link.)
thread_local int t_owner = -1;

struct CountsUnwinding {
    int* seen;
    ~CountsUnwinding() { *seen = std::uncaught_exceptions(); }
};

void ExceptionsOnEveryThread() {
    std::atomic<int> wrong{0};
    OnAllThreads([&](int index) {
        t_owner = index;
        for (int round = 0; round < 500; ++round) {
            int inFlight = 0;
            try {
                CountsUnwinding counter{&inFlight};
                throw std::runtime_error("round");
            } catch (const std::exception& error) {
                if (inFlight != 1 || std::string(error.what()) != "round") wrong.fetch_add(1);
            }
            try {
                try {
                    throw index;
                } catch (int thrown) {
                    throw thrown + round;
                }
            } catch (int thrown) {
                if (thrown != index + round) wrong.fetch_add(1);
            }
        }
        if (t_owner != index) wrong.fetch_add(1);
    });
    Check(wrong.load() == 0, "each thread catches its own exceptions");
}

// A key's destructor runs when a thread that set a value ends, and never for an empty value (the
// runtime's own destructor of the thread-local blocks reads through it).
std::atomic<int> g_valuesDestroyed{0};
std::atomic<int> g_emptyValuesDestroyed{0};
void DestroyValue(void* value) {
    (value ? g_valuesDestroyed : g_emptyValuesDestroyed).fetch_add(1);
}

void KeyDestructorsRunForSetValues() {
    unsigned key = 0;
    if (pthread_key_create(&key, DestroyValue) != 0) return Check(false, "a key is made");
    static int values[kThreads];
    OnAllThreads([&](int index) {
        if (index % 2 == 0) pthread_setspecific(key, &values[index]);
        if (pthread_getspecific(key) != (index % 2 == 0 ? &values[index] : nullptr)) {
            g_emptyValuesDestroyed.fetch_add(100);
        }
    });
    Check(g_valuesDestroyed.load() == kThreads / 2, "each value set is destroyed with its thread");
    Check(g_emptyValuesDestroyed.load() == 0, "empty values are left alone, values kept apart");
}

// Two mutexes, one held inside the other on every thread.
void MutexesAreLocksOfTheirOwn() {
    std::mutex outer;
    std::mutex inner;
    long long total = 0;
    std::atomic<int> wrong{0};
    OnAllThreads([&](int) {
        for (int i = 0; i < 2000; ++i) {
            std::lock_guard<std::mutex> outerHeld(outer);
            std::lock_guard<std::mutex> innerHeld(inner);
            ++total;
        }
        std::lock_guard<std::mutex> held(outer);
        if (outer.try_lock() || !inner.try_lock()) wrong.fetch_add(1);
        inner.unlock();
    });
    Check(total == 2000LL * kThreads, "mutexes keep counts whole");
    Check(wrong.load() == 0, "try_lock fails only on the mutex held");
}

// The standard containers' errors still reach handlers of std::exception.
void ContainerErrorsAreCaught() {
    int caught = 0;
    std::vector<int> values(3);
    try {
        values.at(3) = 1;
    } catch (const std::exception&) {
        ++caught;
    }
    try {
        std::wstring text;
        text.resize(text.max_size() + 1);
    } catch (const std::exception&) {
        ++caught;
    }
    try {
        static const char* volatile none = nullptr;
        const std::string text(none);
    } catch (const std::exception&) {
        ++caught;
    }
    try {
        std::vector<char> huge(std::size_t(-1) / 2);
    } catch (const std::bad_alloc&) {
        ++caught;
    }
    Check(caught == 4, "container errors are caught as std::exception");
}

}  // namespace

int main() {
    StaticsAreMadeOnce();
    OnceRoutinesRunOnce();
    ExceptionsOnEveryThread();
    KeyDestructorsRunForSetValues();
    MutexesAreLocksOfTheirOwn();
    ContainerErrorsAreCaught();
    if (g_failures == 0) std::puts("all passed");
    return g_failures == 0 ? 0 : 1;
}
