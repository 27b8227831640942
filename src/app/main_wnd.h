#pragma once
// The program's only top-level window: hosts the edition choice page and the download page, one
// at a time, confirms before the user abandons the installation, and obeys the registered
// messages that hide it, close it or bring it back to its first page.

#include "pages/download_page.h"
#include "pages/license_selection.h"
#include "win/dialog.h"
#include "win/handles.h"
#include "win/taskbar_progress.h"

class CMainWnd : public kv::win::Dialog {
  public:
    CMainWnd();

    // Switches to the download page for the chosen edition (1 trial, 0 paid) and starts it.
    void ShowDownloadPage(unsigned char trial);

  protected:
    BOOL OnInitDialog() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

  private:
    // Fires once the edition page is painted: the download page's window is built then.
    static constexpr UINT_PTR kDownloadPageTimerId = 1;

    void CreatePageFonts();
    void OnDpiChanged(const RECT& suggested);
    void GrowToHoldTheLayout();
    void FitPagesToClient();
    void CreateEditionPage();
    // Creates the download page's window unless it exists; it then reports the start.
    void EnsureDownloadPage();
    void PaintMinimised();
    void OnRestore();
    void OnClose();
    void OnEnter(int id);
    void FocusFirstControlOf(HWND page);
    void ShowFocusCues();

    kv::win::Icon m_icon;  // the window's, big and small
    CLicenseSelection m_editionPage;
    CDownloadPage m_downloadPage;
    kv::win::SystemTaskbarProgress m_taskbar;
};
