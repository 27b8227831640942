#pragma once
// The rules of one download, from the edition choice to the end of the setup, free of Windows:
// the attempts and their numbers, the retry countdown, the stall watchdog, the time left and
// what the status line, the bar, the buttons and the taskbar show. The download page turns
// window messages into events and applies the effects that each event returns; it decides
// nothing itself.
//
// Time comes in with every event (`now`), so the rules that depend on it are driven by a fake
// clock in the tests.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "pages/time_left_estimator.h"

using SessionClock = std::chrono::steady_clock;

// The window timers the session runs; ids and periods are the page's.
enum class SessionTimer : uintptr_t {
    Retry = 1002,     // the countdown before the next attempt, one tick a second
    Watchdog = 1003,  // no progress for this long stops the transfer
    TimeLeft = 1004,  // the time-left estimate, once a second
    Start = 1012,     // the first attempt, a second after the choice
};

// What the taskbar button shows of the download.
enum class TaskbarState { None, Normal, Paused, Error, Indeterminate };

// How an attempt ended, as its job reports it.
enum class AttemptPhase { Query, Transfer, Signature };
struct AttemptResult {
    bool ready = false;  // the file is complete, signed and held for the setup
    AttemptPhase failedIn = AttemptPhase::Query;
    unsigned long httpStatus = 0;  // 0: no answer
    unsigned long win32Error = 0;  // 0: none
    int signatureVerdict = 0;      // the check's verdict when it refused the file
    bool cancelled = false;        // the job stopped because it was told to
    int64_t quietMs = 0;           // how long the transfer had stored nothing when it ended
    bool keptPartial = false;      // bytes are kept for the next attempt to resume from
};

struct SessionEvent {
    enum class Kind {
        EditionChosen,  // trial
        TimerFired,     // timer
        LocationFound,  // attempt: the service answered, the transfer begins
        Progress,       // attempt, total, stored
        AttemptEnded,   // attempt, result
        RetryClicked,
        InstallClicked,
        InstallRefused,  // the held file no longer passed its check right before the start
        SetupEnded,      // returned: the setup left its return marker
        Restore,
        Close,
    };
    Kind kind;
    unsigned attempt = 0;
    SessionTimer timer = SessionTimer::Start;
    unsigned char trial = 1;
    int64_t total = 0;
    int64_t stored = 0;
    AttemptResult result;
    bool returned = false;
};

// A line of the status text: the key, filled with a number or the product's name, and for the
// time left one blank and the unit's text.
struct StatusText {
    enum class Fill { None, Number, ProductName };
    std::wstring_view key;
    Fill fill = Fill::None;
    int number = 0;
    std::optional<TimeLeftText> timeLeft;
};

struct TimerChange {
    SessionTimer timer;
    unsigned periodMs;  // 0: stop it
};

// What the window must do, in this order: stop the attempt, change files, then the controls
// and timers, then start the next attempt or the setup.
struct SessionEffects {
    bool cancelAttempt = false;  // set the running job's token; its result still comes
    bool endAttempt = false;     // set the token, wait for the job, drop what it holds
    bool deleteFile = false;     // the complete setup file and any partial one
    std::optional<StatusText> status;
    std::optional<int> bar;
    std::optional<bool> showInstall;
    std::optional<bool> showRetry;
    std::vector<TimerChange> timers;
    std::optional<TaskbarState> taskbar;
    std::optional<unsigned> startAttempt;  // the new attempt's number
    bool startSetup = false;
};

class DownloadSession {
  public:
    static constexpr int kMaxRetries = 5;
    static constexpr int kCountdownSeconds = 5;
    static constexpr unsigned kTickMs = 1000;
    static constexpr unsigned kStartDelayMs = 1000;
    static constexpr std::chrono::milliseconds kStallLimit{10000};

    SessionEffects OnEvent(const SessionEvent& event, SessionClock::time_point now);

    unsigned char Trial() const { return m_bTrial; }
    // A stop happened or the setup ran for good: closing needs no question.
    bool Stopped() const { return m_bStopped; }
    bool Installed() const { return m_bInstalled; }
    bool CloseNeedsQuestion() const { return !m_bInstalled && !m_bStopped; }
    int RetriesUsed() const { return m_nRetries; }
    unsigned CurrentAttempt() const { return m_nAttempt; }

  private:
    enum class Phase {
        Waiting,
        Starting,
        Querying,
        Transferring,
        Stopping,
        Countdown,
        Ready,
        Failed
    };

    void StartAttempt(SessionEffects& out, SessionClock::time_point now);
    void OnLocationFound(SessionEffects& out, SessionClock::time_point now);
    void OnProgress(const SessionEvent& event, SessionEffects& out, SessionClock::time_point now);
    void OnAttemptEnded(const AttemptResult& result, SessionEffects& out,
                        SessionClock::time_point now);
    void OnAttemptFailed(SessionEffects& out);
    void OnTimer(SessionTimer timer, SessionEffects& out, SessionClock::time_point now);
    void OnWatchdog(SessionEffects& out, SessionClock::time_point now);
    void OnCountdownTick(SessionEffects& out, SessionClock::time_point now);
    void OnTimeLeftTick(SessionEffects& out, SessionClock::time_point now);
    void StopAttemptTimers(SessionEffects& out);
    // Restore and Close: the running attempt ends now, and nothing of it stays.
    void EndEverything(SessionEffects& out);
    bool IsCurrent(const SessionEvent& event) const;

    Phase m_phase = Phase::Waiting;
    unsigned char m_bTrial = 1;
    bool m_bStopped = false;
    bool m_bInstalled = false;
    int m_nRetries = 0;
    int m_nCountdown = kCountdownSeconds;
    unsigned m_nAttempt = 0;
    int m_nPercent = 0;
    SessionClock::time_point m_lastProgress{};
    SessionClock::time_point m_lastEstimate{};
    TimeLeftEstimator m_estimator;
};
