// The setup file's signature check with the digest computed while the file is written, against
// the check that reads and hashes the whole file again, on one signed file.
//   signature_bench.exe FILE
// Prints one line of key=value pairs: the read alone (the file written in 64 KiB blocks, as the
// transfer stores them, is read back here in the same blocks), the same with the stream hashing
// every block, the check after the last byte with the streamed digest, and the whole-file check.
// Times are wall-clock; the *_cpu_* figures are processor time, which other work on the machine
// does not skew: on the thread that appends (the transfer's, in the program) and in all (with the
// stream's hashing worker).

#include <windows.h>

#include <cstdio>
#include <vector>

#include "trust/authenticode_stream.h"
#include "trust/setup_signature.h"
#include "trust/setup_signers.h"
#include "win/handles.h"

namespace {

constexpr DWORD kBlock = 64 * 1024;

double Now() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return double(counter.QuadPart) / double(frequency.QuadPart);
}

double Seconds(FILETIME t) {
    return double((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
}

// This thread's processor time (user and kernel), in seconds.
double CpuNow() {
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    return Seconds(kernel) + Seconds(user);
}

// The whole process's.
double ProcessCpuNow() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    return Seconds(kernel) + Seconds(user);
}

// Reads the file from the start in blocks, handing each to `block`; the bytes read.
template <typename Block>
int64_t ReadInBlocks(HANDLE file, Block&& block) {
    std::vector<unsigned char> buffer(kBlock);
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    int64_t total = 0;
    DWORD got = 0;
    while (ReadFile(file, buffer.data(), kBlock, &got, nullptr) && got > 0) {
        block(buffer.data(), got);
        total += got;
    }
    return total;
}

const char* Name(SetupSignatureVerdict verdict) {
    return verdict == SetupSignatureVerdict::Ok ? "ok" : "refused";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: signature_bench FILE\n");
        return 2;
    }
    kv::win::FileHandle file(CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        std::fprintf(stderr, "cannot open the file\n");
        return 2;
    }
    // Once to bring the file into the cache, then the read alone.
    ReadInBlocks(file.Get(), [](const unsigned char*, DWORD) {});
    double start = Now();
    double cpuStart = CpuNow();
    double processStart = ProcessCpuNow();
    const int64_t bytes = ReadInBlocks(file.Get(), [](const unsigned char*, DWORD) {});
    const double readSeconds = Now() - start;
    const double readCpu = CpuNow() - cpuStart;
    const double readProcessCpu = ProcessCpuNow() - processStart;

    AuthenticodeStream stream;
    start = Now();
    cpuStart = CpuNow();
    processStart = ProcessCpuNow();
    ReadInBlocks(file.Get(),
                 [&](const unsigned char* block, DWORD count) { stream.Append(block, count); });
    const double appendCpu = CpuNow() - cpuStart;
    const double finishStart = Now();
    PeSignatureLayout layout;
    Sha256Digest digest{};
    const bool finished = stream.Finish(layout, digest);
    const double finishSeconds = Now() - finishStart;
    const double streamSeconds = Now() - start;
    const double streamProcessCpu = ProcessCpuNow() - processStart;

    start = Now();
    const auto streamed = VerifySetupSignature(file.Get(), AcceptedSetupSigners(), &digest);
    const double streamedCheckSeconds = Now() - start;

    start = Now();
    cpuStart = CpuNow();
    const auto whole = VerifySetupSignature(file.Get(), AcceptedSetupSigners());
    const double wholeCheckSeconds = Now() - start;
    const double wholeCpu = CpuNow() - cpuStart;

    const double mib = double(bytes) / 1048576.0;
    std::printf(
        "mib=%.0f read_mib_per_s=%.1f read_and_stream_mib_per_s=%.1f "
        "append_cpu_ms_per_mib=%.2f stream_cpu_ms_per_mib=%.2f finish_wait_ms=%.1f "
        "streamed_check_ms=%.1f streamed=%s whole_check_ms=%.1f whole_check_cpu_ms=%.1f whole=%s "
        "finished=%d\n",
        mib, mib / readSeconds, mib / streamSeconds, 1000.0 * (appendCpu - readCpu) / mib,
        1000.0 * (streamProcessCpu - readProcessCpu) / mib, 1000.0 * finishSeconds,
        1000.0 * streamedCheckSeconds, Name(streamed), 1000.0 * wholeCheckSeconds,
        1000.0 * wholeCpu, Name(whole), finished ? 1 : 0);
    return streamed == SetupSignatureVerdict::Ok && whole == SetupSignatureVerdict::Ok ? 0 : 1;
}
