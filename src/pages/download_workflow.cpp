// The download page as a view of its session: window messages become session events, and the
// session's effects become changes of controls and timers, jobs started and ended, files deleted.

#include "pages/download_page.h"

#include <commctrl.h>

#include "i18n/texts.h"
#include "pages/registered_messages.h"
#include "win/steady_clock.h"

namespace {

SessionClock::time_point Now() {
    return kv::win::SteadyNow();
}

}  // namespace

void CDownloadPage::OnEditionChosen(unsigned char trial) {
    SessionEvent event{SessionEvent::Kind::EditionChosen};
    event.trial = trial;
    Send(event);
}

void CDownloadPage::OnRestore() {
    Send({SessionEvent::Kind::Restore});
}

void CDownloadPage::OnClose() {
    Send({SessionEvent::Kind::Close});
}

void CDownloadPage::Send(SessionEvent event) {
    Apply(m_session.OnEvent(event, Now()));
}

void CDownloadPage::Apply(const SessionEffects& effects) {
    if (effects.endAttempt) EndJob();
    if (effects.cancelAttempt && m_job) m_job->Cancel();  // its result follows promptly
    if (effects.deleteFile) DeleteSetupFile();
    if (effects.status) SetStatus(StatusTextOf(*effects.status));
    if (effects.bar) SetBar(*effects.bar);
    if (effects.showInstall) ShowButton(IDC_INSTALL_BUTTON, *effects.showInstall);
    if (effects.showRetry) ShowButton(IDC_RETRY_BUTTON, *effects.showRetry);
    for (const TimerChange& change : effects.timers) ApplyTimer(change);
    if (effects.taskbar) m_taskbar = *effects.taskbar;
    if (effects.taskbar || effects.bar) ShowOnTaskbar();
    if (effects.startAttempt) StartJob(*effects.startAttempt);
    if (effects.startSetup) Install();
}

namespace {

kv::win::TaskbarState ButtonState(TaskbarState state) {
    switch (state) {
        case TaskbarState::Normal:
            return kv::win::TaskbarState::Normal;
        case TaskbarState::Paused:
            return kv::win::TaskbarState::Paused;
        case TaskbarState::Error:
            return kv::win::TaskbarState::Error;
        case TaskbarState::Indeterminate:
            return kv::win::TaskbarState::Indeterminate;
        case TaskbarState::None:
            break;
    }
    return kv::win::TaskbarState::None;
}

}  // namespace

// The taskbar button shows the session's state with the bar's position.
void CDownloadPage::ShowOnTaskbar() {
    if (!m_pTaskbar) return;
    const int percent = m_progress.Exists()
                            ? static_cast<int>(::SendMessageW(m_progress.Hwnd(), PBM_GETPOS, 0, 0))
                            : 0;
    m_pTaskbar->Show(ButtonState(m_taskbar), percent);
}

void CDownloadPage::ApplyTimer(const TimerChange& change) {
    const UINT_PTR id = static_cast<UINT_PTR>(change.timer);
    if (change.periodMs == 0) {
        StopTimer(id);
    } else {
        StartTimer(id, change.periodMs);  // replaces a running timer of the same id
    }
}

std::wstring CDownloadPage::StatusTextOf(const StatusText& status) const {
    std::wstring text;
    switch (status.fill) {
        case StatusText::Fill::None:
            text = GetText(status.key);
            break;
        case StatusText::Fill::Number:
            text = FormatText(status.key, status.number);
            break;
        case StatusText::Fill::ProductName:
            text = FormatText(status.key, WidenProductName());
            break;
    }
    if (status.timeLeft) {
        text += L' ';
        text += FormatText(status.timeLeft->key, status.timeLeft->number);
    }
    return text;
}

void CDownloadPage::StartJob(unsigned attempt) {
    EndJob();  // the previous attempt has posted its result already: nothing to wait for
    JobOrder order;
    order.attempt = attempt;
    order.trial = m_session.Trial();
    order.serverUrls = m_serverUrls;
    order.window = Hwnd();
    order.progressMessage = g_uProgressMessage;
    order.partial = std::move(m_partial);
    order.digest = std::move(m_partialDigest);
    m_job = DownloadJob::Start(std::move(order));
    if (m_job) return;
    // No thread: the attempt fails at once, like one whose service did not answer.
    SessionEvent ended{SessionEvent::Kind::AttemptEnded, attempt};
    ended.result.win32Error = ::GetLastError();
    Send(ended);
}

void CDownloadPage::EndJob() {
    m_job.reset();  // sets its token, waits for its thread and deletes what it held
}

void CDownloadPage::OnJobMessage(UINT message, unsigned attempt) {
    // Posts of a job that was ended or replaced meanwhile are dropped here and by the session.
    if (!m_job || m_job->Attempt() != attempt) return;
    if (message == kJobLocationFoundMessage) {
        Send({SessionEvent::Kind::LocationFound, attempt});
        return;
    }
    if (message == kJobEndedMessage) {
        DownloadJob::Outcome outcome = m_job->TakeOutcome();
        if (outcome.result.ready) {
            DeleteSetupFile();
            m_hSetupFile = std::move(outcome.file);
            m_strSetupPath = std::move(outcome.path);
        }
        m_partial = std::move(outcome.partial);
        m_partialDigest = std::move(outcome.digest);
        SessionEvent ended{SessionEvent::Kind::AttemptEnded, attempt};
        ended.result = outcome.result;
        Send(ended);
        return;
    }
    const DownloadJob::Progress progress = m_job->TakeProgress();
    SessionEvent event{SessionEvent::Kind::Progress, attempt};
    event.total = progress.total;
    event.stored = progress.stored;
    Send(event);
}

void CDownloadPage::DeleteSetupFile() {
    m_hSetupFile.Reset();  // with read-only sharing held, not even we could delete it
    if (!m_strSetupPath.empty()) ::DeleteFileW(m_strSetupPath.c_str());
    m_strSetupPath.clear();
    m_partial.Discard();
    m_partialDigest.Restart();
}

std::wstring CDownloadPage::GetTempFolder() const {
    return TempFolder();
}
