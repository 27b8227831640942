// The download session's rules, driven by a fake clock: attempts, the countdown, the retries,
// the stall watchdog, the time left, late news of ended attempts, Restore and Close.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "pages/download_session.h"

namespace {

using std::chrono::milliseconds;
using Kind = SessionEvent::Kind;

class Session {
  public:
    SessionEffects Send(SessionEvent event) { return session.OnEvent(event, now); }
    SessionEffects Choose(unsigned char trial) {
        SessionEvent event{Kind::EditionChosen};
        event.trial = trial;
        return Send(event);
    }
    SessionEffects Fire(SessionTimer timer) {
        SessionEvent event{Kind::TimerFired};
        event.timer = timer;
        return Send(event);
    }
    SessionEffects Tick(SessionTimer timer, int ms = 1000) {
        now += milliseconds(ms);
        return Fire(timer);
    }
    SessionEffects Found(unsigned attempt) { return Send({Kind::LocationFound, attempt}); }
    SessionEffects Progress(unsigned attempt, int64_t total, int64_t stored) {
        SessionEvent event{Kind::Progress, attempt};
        event.total = total;
        event.stored = stored;
        return Send(event);
    }
    SessionEffects Ended(unsigned attempt, bool ready) {
        SessionEvent event{Kind::AttemptEnded, attempt};
        event.result.ready = ready;
        event.result.failedIn = AttemptPhase::Transfer;
        return Send(event);
    }
    // Chooses, lets the start timer fire and returns the first attempt's number.
    unsigned Begin(unsigned char trial = 1) {
        Choose(trial);
        return Tick(SessionTimer::Start).startAttempt.value_or(0);
    }

    DownloadSession session;
    SessionClock::time_point now{};
};

bool Runs(const SessionEffects& effects, SessionTimer timer, unsigned periodMs) {
    return std::any_of(effects.timers.begin(), effects.timers.end(), [&](const TimerChange& c) {
        return c.timer == timer && c.periodMs == periodMs;
    });
}
bool Stops(const SessionEffects& effects, SessionTimer timer) {
    return Runs(effects, timer, 0);
}

std::wstring Key(const SessionEffects& effects) {
    return effects.status ? std::wstring(effects.status->key) : L"(unchanged)";
}

TEST(DownloadSession, SixAttemptsWithCountdownsThenTryAgainGivesSixMore) {
    Session s;
    SessionEffects chosen = s.Choose(1);
    EXPECT_TRUE(Runs(chosen, SessionTimer::Start, 1000));
    EXPECT_TRUE(s.session.CloseNeedsQuestion());
    SessionEffects started = s.Tick(SessionTimer::Start);
    EXPECT_TRUE(Stops(started, SessionTimer::Start));
    ASSERT_EQ(started.startAttempt, 1u);
    EXPECT_EQ(Key(started), L"DOWNLOADING_SETUP");
    EXPECT_EQ(started.taskbar, TaskbarState::Indeterminate);

    for (int round = 0; round < 2; ++round) {
        unsigned attempt = s.session.CurrentAttempt();
        for (int retry = 1; retry <= DownloadSession::kMaxRetries; ++retry) {
            // No server answered: the job's one result says so.
            SessionEffects failed = s.Ended(attempt, false);
            EXPECT_TRUE(Runs(failed, SessionTimer::Retry, 1000));
            EXPECT_FALSE(failed.status);  // the first second keeps the text
            EXPECT_EQ(failed.taskbar, TaskbarState::Paused);
            EXPECT_EQ(s.session.RetriesUsed(), retry);
            for (int shown : {4, 3, 2, 1, 0}) {
                const SessionEffects tick = s.Tick(SessionTimer::Retry);
                ASSERT_TRUE(tick.status);
                EXPECT_EQ(tick.status->key, L"DOWNLOAD_FAILED_RETRYING");
                EXPECT_EQ(tick.status->number, shown);
                EXPECT_FALSE(tick.startAttempt);
            }
            const SessionEffects next = s.Tick(SessionTimer::Retry);
            EXPECT_TRUE(Stops(next, SessionTimer::Retry));
            ASSERT_EQ(next.startAttempt, attempt + 1);
            attempt = *next.startAttempt;
        }
        const SessionEffects last = s.Ended(attempt, false);
        ASSERT_TRUE(last.status);
        EXPECT_EQ(last.status->key, L"CANT_DOWNLOAD_FILE");
        EXPECT_EQ(last.status->fill, StatusText::Fill::ProductName);
        EXPECT_EQ(last.bar, 0);
        EXPECT_EQ(last.showRetry, true);
        EXPECT_EQ(last.taskbar, TaskbarState::Error);
        EXPECT_FALSE(last.startAttempt);
        EXPECT_FALSE(s.Tick(SessionTimer::Retry).startAttempt);  // a stray tick does nothing

        const SessionEffects retry = s.Send({Kind::RetryClicked});
        EXPECT_EQ(retry.showRetry, false);
        EXPECT_EQ(retry.startAttempt, attempt + 1);
        EXPECT_EQ(s.session.RetriesUsed(), 0);
    }
    EXPECT_FALSE(s.Send({Kind::RetryClicked}).startAttempt);  // only from the final failure
}

TEST(DownloadSession, TransferShowsProgressAndTimeLeftAndAStallStopsIt) {
    Session s;
    const unsigned first = s.Begin();
    // Progress before the location is known, and a location of another attempt: ignored.
    EXPECT_FALSE(s.Progress(first, 100, 10).bar);
    EXPECT_TRUE(s.Found(first + 1).timers.empty());

    const SessionEffects found = s.Found(first);
    EXPECT_TRUE(Runs(found, SessionTimer::Watchdog, 10000));
    EXPECT_TRUE(Runs(found, SessionTimer::TimeLeft, 1000));
    EXPECT_EQ(found.taskbar, TaskbarState::Normal);
    EXPECT_FALSE(s.Tick(SessionTimer::TimeLeft).status);  // the bar at 0: no estimate

    // 2, 4 and 6 percent at one-second ticks: 245, 120 and 78 seconds.
    int percent = 0;
    for (int minutes : {4, 2, 1}) {
        percent += 2;
        EXPECT_EQ(s.Progress(first, 1000, percent * 10).bar, percent);
        const SessionEffects tick = s.Tick(SessionTimer::TimeLeft);
        ASSERT_TRUE(tick.status && tick.status->timeLeft);
        EXPECT_EQ(tick.status->key, L"DOWNLOADING_SETUP");
        EXPECT_EQ(tick.status->timeLeft->key, L"MINUTES_LEFT");
        EXPECT_EQ(tick.status->timeLeft->number, minutes);
    }
    // A tick that comes a second late measures the gain over both seconds: 4 points in 2 s
    // count as 2 a second (samples 0, 2, 2, 2, 2: 90 / 1.6 = 56 s), not 4 (45 s).
    s.Progress(first, 1000, 100);
    const SessionEffects late = s.Tick(SessionTimer::TimeLeft, 2000);
    ASSERT_TRUE(late.status && late.status->timeLeft);
    EXPECT_EQ(late.status->timeLeft->key, L"SECONDS_LEFT");
    EXPECT_EQ(late.status->timeLeft->number, 56);

    // The watchdog fires 10 s after it started, but progress came 3 s before: it looks again
    // when 10 s have passed since that progress.
    s.now += milliseconds(2000);
    s.Progress(first, 1000, 110);
    const SessionEffects early = s.Tick(SessionTimer::Watchdog, 3000);
    EXPECT_TRUE(Runs(early, SessionTimer::Watchdog, 7000));
    EXPECT_FALSE(early.cancelAttempt);
    EXPECT_TRUE(s.session.CloseNeedsQuestion());

    const SessionEffects stall = s.Tick(SessionTimer::Watchdog, 7000);
    EXPECT_TRUE(stall.cancelAttempt);
    EXPECT_FALSE(stall.endAttempt);
    EXPECT_TRUE(Stops(stall, SessionTimer::Watchdog));
    EXPECT_TRUE(Stops(stall, SessionTimer::TimeLeft));
    EXPECT_FALSE(s.session.CloseNeedsQuestion());
    EXPECT_FALSE(s.Progress(first, 1000, 500).bar);  // queued before the stop: dropped
    // The stopped job's result counts as the failed attempt.
    EXPECT_TRUE(Runs(s.Ended(first, false), SessionTimer::Retry, 1000));
    EXPECT_FALSE(s.Ended(first, true).showInstall);  // only one result per attempt counts

    for (int i = 0; i < 5; ++i) s.Tick(SessionTimer::Retry);
    const unsigned second = s.Tick(SessionTimer::Retry).startAttempt.value_or(0);
    ASSERT_EQ(second, first + 1);
    s.Found(second);
    s.Progress(second, 1000, 10);
    const SessionEffects ready = s.Ended(second, true);
    EXPECT_EQ(Key(ready), L"SETUP_FILES_READY");
    EXPECT_EQ(ready.bar, 100);
    EXPECT_EQ(ready.showInstall, true);
    EXPECT_EQ(ready.taskbar, TaskbarState::None);
    EXPECT_TRUE(Stops(ready, SessionTimer::Watchdog));
    EXPECT_FALSE(s.Tick(SessionTimer::Watchdog, 10000).cancelAttempt);

    // The held file fails its second check: a failed attempt like any other.
    const SessionEffects refused = s.Send({Kind::InstallRefused});
    EXPECT_TRUE(refused.deleteFile);
    EXPECT_EQ(refused.showInstall, false);
    EXPECT_TRUE(Runs(refused, SessionTimer::Retry, 1000));
    EXPECT_FALSE(s.Send({Kind::InstallClicked}).startSetup);  // nothing to install now
}

TEST(DownloadSession, ATransferThatEndsInSilenceCountsAsAStall) {
    for (int silentMs : {9999, 10000}) {
        for (bool timedOut : {false, true}) {
            Session s;
            const unsigned attempt = s.Begin();
            s.Found(attempt);
            s.now += milliseconds(silentMs);  // the exchange's time-out came first
            SessionEvent ended{Kind::AttemptEnded, attempt};
            ended.result.failedIn = AttemptPhase::Transfer;
            // The job measured the silence from the last stored block, before its progress
            // message was handled here.
            ended.result.quietMs = timedOut ? 9990 : 0;
            EXPECT_TRUE(Runs(s.Send(ended), SessionTimer::Retry, 1000));
            EXPECT_EQ(s.session.CloseNeedsQuestion(), silentMs < 10000 && !timedOut) << silentMs;
        }
    }
}

TEST(DownloadSession, InstallThenTheSetupDecidesWhetherClosingStillAsks) {
    for (bool returned : {true, false}) {
        Session s;
        const unsigned attempt = s.Begin(0);
        EXPECT_EQ(s.session.Trial(), 0);
        s.Found(attempt);
        s.Ended(attempt, true);
        EXPECT_TRUE(s.Send({Kind::InstallClicked}).startSetup);
        SessionEvent ended{Kind::SetupEnded};
        ended.returned = returned;
        EXPECT_TRUE(s.Send(ended).deleteFile);
        EXPECT_EQ(s.session.CloseNeedsQuestion(), returned) << returned;
        EXPECT_FALSE(s.Send({Kind::InstallClicked}).startSetup);
    }
}

TEST(DownloadSession, RestoreAndCloseEndTheRunningAttemptAndKeepTheCounts) {
    Session s;
    unsigned attempt = s.Begin(1);
    s.Ended(attempt, false);  // one retry used
    for (int i = 0; i < 6; ++i) s.Tick(SessionTimer::Retry);
    attempt = s.session.CurrentAttempt();
    s.Found(attempt);
    s.Progress(attempt, 1000, 500);

    const SessionEffects restore = s.Send({Kind::Restore});
    EXPECT_TRUE(restore.endAttempt);
    EXPECT_TRUE(restore.deleteFile);
    for (SessionTimer timer : {SessionTimer::Start, SessionTimer::Retry, SessionTimer::Watchdog,
                               SessionTimer::TimeLeft}) {
        EXPECT_TRUE(Stops(restore, timer));
    }
    EXPECT_EQ(restore.taskbar, TaskbarState::None);
    EXPECT_EQ(s.session.RetriesUsed(), 1);
    // Whatever the ended job had already posted is dropped.
    EXPECT_FALSE(s.Ended(attempt, true).showInstall);
    EXPECT_FALSE(s.Tick(SessionTimer::Watchdog, 20000).cancelAttempt);
    EXPECT_FALSE(s.Send({Kind::Restore}).endAttempt);  // nothing running any more

    // The other edition: one fresh attempt with a new number.
    const SessionEffects chosen = s.Choose(0);
    EXPECT_TRUE(chosen.deleteFile);
    EXPECT_FALSE(chosen.endAttempt);
    const unsigned fresh = s.Tick(SessionTimer::Start).startAttempt.value_or(0);
    EXPECT_GT(fresh, attempt);
    EXPECT_EQ(s.session.Trial(), 0);
    EXPECT_FALSE(s.Tick(SessionTimer::Start).startAttempt);  // the start timer fires once

    // Closing while the service is asked ends that attempt as well.
    const SessionEffects close = s.Send({Kind::Close});
    EXPECT_TRUE(close.endAttempt);
    EXPECT_TRUE(close.deleteFile);
    EXPECT_FALSE(s.Found(fresh).taskbar);
}

}  // namespace
