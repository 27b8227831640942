// Throughput of the cipher engine against libgcrypt's own mode implementations on the same
// 1 MiB buffer: AES-256-XTS (mode 5) and AES-128-CBC (mode 2), both directions, with the same
// data-unit size on both sides. Prints the ratio engine/library at the end.
#include <benchmark/benchmark.h>
#include <gcrypt.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "crypto/block_cipher.h"
#include "crypto/cipher_engine.h"
#include "crypto/cipher_tables.h"

namespace {

constexpr size_t kBufferSize = 1 << 20;
constexpr uint32_t kFlags = kUnitDerivedIv | kUnitPartialUnits;

std::vector<unsigned char> RandomBytes(size_t count, uint32_t seed) {
    std::mt19937 generator(seed);
    std::vector<unsigned char> bytes(count);
    for (auto& b : bytes) b = static_cast<unsigned char>(generator());
    return bytes;
}

struct Case {
    const char* name;
    int algorithm;  // engine entry
    int32_t mode;   // engine mode
    int libraryAlgorithm;
    int libraryMode;
    size_t libraryKeySize;  // both XTS keys together
};

const Case kXts = {"XTS-AES256", 1, kModeXts, GCRY_CIPHER_AES256, GCRY_CIPHER_MODE_XTS, 64};
const Case kCbc = {"CBC-AES128", 3, kModeCbc, GCRY_CIPHER_AES128, GCRY_CIPHER_MODE_CBC, 16};

void EngineRun(benchmark::State& state, const Case& c, bool encipher) {
    const auto unitSize = static_cast<uint32_t>(state.range(0));
    std::vector<unsigned char> material = RandomBytes(kKeyMaterialSize, 1);
    if (c.mode == kModeCbc) std::fill(material.begin() + 16, material.begin() + 32, 0);
    int32_t mode = c.mode;
    KeySchedule* schedule = nullptr;
    if (KeySetup(AlgorithmTable[c.algorithm].identifier, nullptr, &mode, nullptr, 0,
                 material.data(), &schedule) != kKeySetupOk) {
        state.SkipWithError("KeySetup failed");
        return;
    }
    std::vector<unsigned char> buffer = RandomBytes(kBufferSize, 2);
    for (auto _ : state) {
        if (encipher) {
            EncipherUnits(buffer.data(), kBufferSize, unitSize, 0, 0, kFlags, schedule);
        } else {
            DecipherUnits(buffer.data(), kBufferSize, unitSize, 0, 0, kFlags, schedule);
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    ReleaseKeySchedule(schedule);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBufferSize));
}

void LibraryRun(benchmark::State& state, const Case& c, bool encipher) {
    const auto unitSize = static_cast<size_t>(state.range(0));
    InitCryptoLibrary();
    gcry_cipher_hd_t handle;
    gcry_cipher_open(&handle, c.libraryAlgorithm, c.libraryMode, 0);
    const std::vector<unsigned char> key = RandomBytes(c.libraryKeySize, 1);
    gcry_cipher_setkey(handle, key.data(), key.size());
    std::vector<unsigned char> buffer = RandomBytes(kBufferSize, 2);
    unsigned char iv[16] = {};
    for (auto _ : state) {
        uint64_t unit = 0;
        for (size_t offset = 0; offset < kBufferSize; offset += unitSize, ++unit) {
            for (int i = 0; i < 8; ++i) iv[i] = static_cast<unsigned char>(unit >> (8 * i));
            gcry_cipher_setiv(handle, iv, 16);
            if (encipher) {
                gcry_cipher_encrypt(handle, buffer.data() + offset, unitSize, nullptr, 0);
            } else {
                gcry_cipher_decrypt(handle, buffer.data() + offset, unitSize, nullptr, 0);
            }
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    gcry_cipher_close(handle);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBufferSize));
}

void Register(const Case& c) {
    for (bool encipher : {true, false}) {
        const std::string direction = encipher ? "encipher" : "decipher";
        benchmark::RegisterBenchmark(("Engine/" + std::string(c.name) + "/" + direction).c_str(),
                                     [=](benchmark::State& s) { EngineRun(s, c, encipher); })
            ->Arg(4096)
            ->Arg(kBufferSize)
            ->MinTime(0.5);
        benchmark::RegisterBenchmark(("Library/" + std::string(c.name) + "/" + direction).c_str(),
                                     [=](benchmark::State& s) { LibraryRun(s, c, encipher); })
            ->Arg(4096)
            ->Arg(kBufferSize)
            ->MinTime(0.5);
    }
}

// Keeps each run's throughput so that the ratios can be printed after the table.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const auto found = run.counters.find("bytes_per_second");
            if (found != run.counters.end()) throughput_[run.benchmark_name()] = found->second;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintRatios() const {
        std::printf("\nThroughput ratio engine/library (same buffer, same unit size):\n");
        for (const auto& [name, engine] : throughput_) {
            if (name.rfind("Engine/", 0) != 0) continue;
            const auto library = throughput_.find("Library/" + name.substr(7));
            if (library == throughput_.end() || library->second == 0) continue;
            std::printf("  %-40s %6.2f GB/s vs %6.2f GB/s  ratio %.2f\n", name.substr(7).c_str(),
                        engine / 1e9, library->second / 1e9, engine / library->second);
        }
    }

  private:
    std::map<std::string, double> throughput_;
};

}  // namespace

int main(int argc, char** argv) {
    Register(kXts);
    Register(kCbc);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
