#pragma once
// The state of the download on the window's taskbar button: the bar in the button, and a flash
// when the setup file is ready while the window is in the background. Behind an interface, so
// that tests can record what the program shows there.

#include <windows.h>
#include <shobjidl.h>

#include <string>

namespace kv::win {

enum class TaskbarState { None, Indeterminate, Normal, Error, Paused };

class TaskbarProgress {
  public:
    virtual ~TaskbarProgress() = default;
    // `percent` (0 to 100) counts for Normal, Error and Paused, which show a bar.
    virtual void Show(TaskbarState state, int percent) = 0;
    // Draws the user's attention when the window is not the active one.
    virtual void FlashIfInBackground() = 0;
};

// The system's taskbar button of one window (ITaskbarList3). The button exists once the shell
// has sent the window the registered message "TaskbarButtonCreated"; what is shown before that
// is kept and applied then.
class SystemTaskbarProgress final : public TaskbarProgress {
  public:
    SystemTaskbarProgress() = default;
    SystemTaskbarProgress(const SystemTaskbarProgress&) = delete;
    SystemTaskbarProgress& operator=(const SystemTaskbarProgress&) = delete;
    ~SystemTaskbarProgress() override;

    // The window whose button shows the state; lets the shell's message through to it.
    void SetWindow(HWND window);
    // The window's message "TaskbarButtonCreated" (0 if the system has none).
    static UINT ButtonCreatedMessage();
    // Called when that message arrives, again after every restart of the shell.
    void OnButtonCreated();

    void Show(TaskbarState state, int percent) override;
    void FlashIfInBackground() override;

  private:
    void Apply();

    HWND window_ = nullptr;
    ITaskbarList3* list_ = nullptr;  // owned reference, released with the object
    bool comStarted_ = false;
    TaskbarState state_ = TaskbarState::None;
    int percent_ = 0;
};

}  // namespace kv::win
