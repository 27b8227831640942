#pragma once
// Estimates the time left of a download from the progress bar's percentage alone: the gain per
// second, averaged over the last few seconds, divides what is still missing. Platform-free; the
// download page owns one, samples it once a second and turns the estimate into its status line.

#include <cstdint>
#include <deque>
#include <string_view>

class TimeLeftEstimator {
  public:
    static constexpr uintptr_t kTimerId = 1004;
    static constexpr int kPeriodMs = 1000;

    TimeLeftEstimator();

    // Forgets every sample: the next attempt starts from a window of zero gains.
    void Reset();
    // Takes one sample at `percent` (1 to 100), `elapsedMs` after the previous one, and returns
    // the estimated seconds left. A late timer tick measures the gain over the time that really
    // passed; without a measured time (0 or less) the timer's period counts.
    int EstimateSeconds(int percent, int64_t elapsedMs = kPeriodMs);

    const int m_nWindow = 5;
    int m_nLastPercent = 0;
    std::deque<double> m_samples;
    const uintptr_t m_uTimerId = kTimerId;
    const int m_nPeriodMs = kPeriodMs;
};

// How an estimate is shown: the text key of the unit and the number that fills its "{0}".
struct TimeLeftText {
    std::wstring_view key;
    int number;
};
// Whole hours above an hour, whole minutes above a minute, seconds otherwise.
TimeLeftText ChooseTimeLeftText(int seconds);
