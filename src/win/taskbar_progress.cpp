#include "win/taskbar_progress.h"

#include <algorithm>

namespace kv::win {
namespace {

TBPFLAG SystemFlag(TaskbarState state) {
    switch (state) {
        case TaskbarState::Indeterminate:
            return TBPF_INDETERMINATE;
        case TaskbarState::Normal:
            return TBPF_NORMAL;
        case TaskbarState::Error:
            return TBPF_ERROR;
        case TaskbarState::Paused:
            return TBPF_PAUSED;
        case TaskbarState::None:
            break;
    }
    return TBPF_NOPROGRESS;
}

}  // namespace

SystemTaskbarProgress::~SystemTaskbarProgress() {
    if (list_) list_->Release();
    if (comStarted_) ::CoUninitialize();
}

void SystemTaskbarProgress::SetWindow(HWND window) {
    window_ = window;
    // The program runs elevated: without this the shell's message would not reach it.
    if (window_ && ButtonCreatedMessage()) {
        ::ChangeWindowMessageFilterEx(window_, ButtonCreatedMessage(), MSGFLT_ALLOW, nullptr);
    }
}

UINT SystemTaskbarProgress::ButtonCreatedMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"TaskbarButtonCreated");
    return message;
}

void SystemTaskbarProgress::OnButtonCreated() {
    if (!comStarted_) {
        comStarted_ = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    }
    if (list_) {
        list_->Release();
        list_ = nullptr;
    }
    void* list = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_ITaskbarList3, &list))) {
        return;  // no taskbar that shows progress: nothing is shown
    }
    list_ = static_cast<ITaskbarList3*>(list);
    if (FAILED(list_->HrInit())) {
        list_->Release();
        list_ = nullptr;
        return;
    }
    Apply();
}

void SystemTaskbarProgress::Show(TaskbarState state, int percent) {
    const int clamped = std::clamp(percent, 0, 100);
    if (state == state_ && clamped == percent_) return;
    state_ = state;
    percent_ = clamped;
    Apply();
}

void SystemTaskbarProgress::Apply() {
    if (!list_ || !window_) return;
    list_->SetProgressState(window_, SystemFlag(state_));
    if (state_ == TaskbarState::Normal || state_ == TaskbarState::Error ||
        state_ == TaskbarState::Paused) {
        list_->SetProgressValue(window_, static_cast<ULONGLONG>(percent_), 100);
    }
}

void SystemTaskbarProgress::FlashIfInBackground() {
    if (!window_ || ::GetForegroundWindow() == window_) return;
    FLASHWINFO flash{sizeof(flash), window_, FLASHW_TRAY | FLASHW_TIMERNOFG, 0, 0};
    ::FlashWindowEx(&flash);
}

}  // namespace kv::win
