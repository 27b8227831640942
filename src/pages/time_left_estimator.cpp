#include "pages/time_left_estimator.h"

#include <cmath>
#include <cstdint>
#include <limits>

TimeLeftEstimator::TimeLeftEstimator() {
    Reset();
}

void TimeLeftEstimator::Reset() {
    m_nLastPercent = 0;
    m_samples.assign(static_cast<size_t>(m_nWindow), 0.0);
}

int TimeLeftEstimator::EstimateSeconds(int percent, int64_t elapsedMs) {
    const double elapsedSeconds =
        static_cast<double>(elapsedMs > 0 ? elapsedMs : m_nPeriodMs) / 1000;
    m_samples.pop_front();
    // Unsigned on purpose: within an attempt the bar never moves back.
    const uint32_t gained = static_cast<uint32_t>(percent) - static_cast<uint32_t>(m_nLastPercent);
    m_samples.push_back(static_cast<double>(gained) / elapsedSeconds);
    m_nLastPercent = percent;

    double sum = 0.0;
    for (double sample : m_samples) sum += sample;
    double average = sum / m_nWindow;
    if (average == 0.0) average = 0.001;  // no progress at all: a very long time, not a crash
    const double seconds = std::trunc((100 - percent) / average);
    // A bar that went backwards (a new attempt without a reset) must not overflow the result.
    if (seconds >= std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    if (seconds <= std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    return static_cast<int>(seconds);
}

TimeLeftText ChooseTimeLeftText(int seconds) {
    if (seconds > 3600) return {L"HOURS_LEFT", seconds / 3600};
    if (seconds > 60) return {L"MINUTES_LEFT", seconds / 60};
    return {L"SECONDS_LEFT", seconds};
}
