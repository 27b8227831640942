#include "pages/download_session.h"

#include "pages/download_rules.h"

namespace {

using std::chrono::duration_cast;
using std::chrono::milliseconds;

// How much earlier than the watchdog the exchange's equal time-out may end a silent transfer,
// as the job measures it.
constexpr int64_t kQuietToleranceMs = 1000;

StatusText Plain(std::wstring_view key) {
    return StatusText{key};
}

}  // namespace

SessionEffects DownloadSession::OnEvent(const SessionEvent& event, SessionClock::time_point now) {
    SessionEffects out;
    using Kind = SessionEvent::Kind;
    switch (event.kind) {
        case Kind::EditionChosen:
            // A fresh start for the chosen edition: whatever an earlier choice left goes.
            if (m_phase != Phase::Waiting) EndEverything(out);
            out.deleteFile = true;
            m_bTrial = event.trial;
            m_phase = Phase::Starting;
            out.timers.push_back({SessionTimer::Start, kStartDelayMs});
            break;
        case Kind::TimerFired:
            OnTimer(event.timer, out, now);
            break;
        case Kind::LocationFound:
            if (IsCurrent(event) && m_phase == Phase::Querying) OnLocationFound(out, now);
            break;
        case Kind::Progress:
            if (IsCurrent(event) && m_phase == Phase::Transferring) OnProgress(event, out, now);
            break;
        case Kind::AttemptEnded:
            if (IsCurrent(event)) OnAttemptEnded(event.result, out, now);
            break;
        case Kind::RetryClicked:
            if (m_phase != Phase::Failed) break;
            out.showRetry = false;
            m_nRetries = 0;
            StartAttempt(out, now);
            break;
        case Kind::InstallClicked:
            out.startSetup = m_phase == Phase::Ready;
            break;
        case Kind::InstallRefused:
            if (m_phase != Phase::Ready) break;
            out.showInstall = false;
            out.deleteFile = true;
            OnAttemptFailed(out);  // like any failed attempt: countdown, then a new one
            break;
        case Kind::SetupEnded:
            if (m_phase != Phase::Ready) break;
            out.deleteFile = true;
            m_phase = Phase::Waiting;
            m_bInstalled = !event.returned;
            break;
        case Kind::Restore:
        case Kind::Close:
            EndEverything(out);
            break;
    }
    return out;
}

bool DownloadSession::IsCurrent(const SessionEvent& event) const {
    // News of an attempt that was ended or replaced is late and harmless.
    return event.attempt == m_nAttempt;
}

void DownloadSession::StartAttempt(SessionEffects& out, SessionClock::time_point now) {
    ++m_nAttempt;
    m_phase = Phase::Querying;
    m_nPercent = 0;
    out.status = Plain(L"DOWNLOADING_SETUP");
    out.taskbar = TaskbarState::Indeterminate;
    out.startAttempt = m_nAttempt;
    m_lastProgress = now;
}

void DownloadSession::OnLocationFound(SessionEffects& out, SessionClock::time_point now) {
    // The watchdog guards the transfer only: the query's exchanges have time-outs of their own.
    m_phase = Phase::Transferring;
    m_lastProgress = now;
    m_lastEstimate = now;
    m_estimator.Reset();
    out.timers.push_back({SessionTimer::Watchdog, static_cast<unsigned>(kStallLimit.count())});
    out.timers.push_back({SessionTimer::TimeLeft, kTickMs});
    out.taskbar = TaskbarState::Normal;
}

void DownloadSession::OnProgress(const SessionEvent& event, SessionEffects& out,
                                 SessionClock::time_point now) {
    m_lastProgress = now;
    m_nPercent = ProgressPercent(event.total, event.stored);
    out.bar = m_nPercent;
}

void DownloadSession::OnAttemptEnded(const AttemptResult& result, SessionEffects& out,
                                     SessionClock::time_point now) {
    if (m_phase != Phase::Querying && m_phase != Phase::Transferring &&
        m_phase != Phase::Stopping) {
        return;
    }
    StopAttemptTimers(out);
    if (!result.ready) {
        // The exchange's own time-out may notice a silent server just before the watchdog does
        // (progress is stamped here when its message is handled, after the bytes came, and the
        // job's stamp follows the exchange's own last read): a stall all the same.
        if (m_phase == Phase::Transferring &&
            (result.quietMs >= kStallLimit.count() - kQuietToleranceMs ||
             now - m_lastProgress >= kStallLimit)) {
            m_bStopped = true;
        }
        return OnAttemptFailed(out);
    }
    // A file that was complete and checked before a stall stop reached it is kept all the same.
    m_phase = Phase::Ready;
    out.bar = 100;
    out.status = Plain(L"SETUP_FILES_READY");
    out.showInstall = true;
    out.taskbar = TaskbarState::None;
}

void DownloadSession::OnAttemptFailed(SessionEffects& out) {
    if (m_nRetries < kMaxRetries) {
        ++m_nRetries;
        m_nCountdown = kCountdownSeconds;
        m_phase = Phase::Countdown;
        // The status line keeps its text for the first second.
        out.timers.push_back({SessionTimer::Retry, kTickMs});
        out.taskbar = TaskbarState::Paused;
        return;
    }
    m_phase = Phase::Failed;
    out.status = StatusText{L"CANT_DOWNLOAD_FILE", StatusText::Fill::ProductName};
    out.bar = 0;
    out.showRetry = true;
    out.taskbar = TaskbarState::Error;
}

void DownloadSession::OnTimer(SessionTimer timer, SessionEffects& out,
                              SessionClock::time_point now) {
    switch (timer) {
        case SessionTimer::Start:
            out.timers.push_back({SessionTimer::Start, 0});
            if (m_phase == Phase::Starting) StartAttempt(out, now);
            break;
        case SessionTimer::Retry:
            OnCountdownTick(out, now);
            break;
        case SessionTimer::Watchdog:
            OnWatchdog(out, now);
            break;
        case SessionTimer::TimeLeft:
            OnTimeLeftTick(out, now);
            break;
    }
}

void DownloadSession::OnCountdownTick(SessionEffects& out, SessionClock::time_point now) {
    if (m_phase != Phase::Countdown) {
        out.timers.push_back({SessionTimer::Retry, 0});
        return;
    }
    // 0 stays on the status line for its second like the other numbers.
    if (m_nCountdown > 0) {
        --m_nCountdown;
        out.status =
            StatusText{L"DOWNLOAD_FAILED_RETRYING", StatusText::Fill::Number, m_nCountdown};
        return;
    }
    out.timers.push_back({SessionTimer::Retry, 0});
    StartAttempt(out, now);
}

void DownloadSession::OnWatchdog(SessionEffects& out, SessionClock::time_point now) {
    if (m_phase != Phase::Transferring) {
        out.timers.push_back({SessionTimer::Watchdog, 0});
        return;
    }
    const auto quiet = now - m_lastProgress;
    if (quiet < kStallLimit) {
        // Progress came meanwhile: look again when the limit since the last progress is up.
        const auto left = duration_cast<milliseconds>(kStallLimit - quiet).count();
        out.timers.push_back({SessionTimer::Watchdog, static_cast<unsigned>(left > 0 ? left : 1)});
        return;
    }
    // A stall: the transfer is stopped, and its result, which comes promptly once the token is
    // set, counts as a failed attempt. From now on closing needs no question.
    StopAttemptTimers(out);
    out.cancelAttempt = true;
    m_phase = Phase::Stopping;
    m_bStopped = true;
}

void DownloadSession::OnTimeLeftTick(SessionEffects& out, SessionClock::time_point now) {
    if (m_phase != Phase::Transferring) {
        out.timers.push_back({SessionTimer::TimeLeft, 0});
        return;
    }
    // Each sample is the gain since the previous tick, as the bar showed it then.
    const int64_t elapsedMs = duration_cast<milliseconds>(now - m_lastEstimate).count();
    m_lastEstimate = now;
    // Nothing stored yet, or no length announced: no estimate, and no sample taken.
    if (m_nPercent == 0) return;
    StatusText text = Plain(L"DOWNLOADING_SETUP");
    text.timeLeft = ChooseTimeLeftText(m_estimator.EstimateSeconds(m_nPercent, elapsedMs));
    out.status = text;
}

void DownloadSession::StopAttemptTimers(SessionEffects& out) {
    out.timers.push_back({SessionTimer::Watchdog, 0});
    out.timers.push_back({SessionTimer::TimeLeft, 0});
}

void DownloadSession::EndEverything(SessionEffects& out) {
    if (m_phase == Phase::Querying || m_phase == Phase::Transferring ||
        m_phase == Phase::Stopping) {
        out.endAttempt = true;
    }
    out.deleteFile = true;
    for (SessionTimer timer : {SessionTimer::Start, SessionTimer::Retry, SessionTimer::Watchdog,
                               SessionTimer::TimeLeft}) {
        out.timers.push_back({timer, 0});
    }
    out.taskbar = TaskbarState::None;
    m_phase = Phase::Waiting;
    ++m_nAttempt;  // anything still queued from the ended attempt is dropped
}
