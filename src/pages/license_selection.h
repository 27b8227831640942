#pragma once
// The edition choice page: a heading, a sub-heading and one button per edition. A click tells
// the main window which edition to fetch.

#include "pages/installer_page.h"
#include "res/ids/license_selection_ids.h"

// Sent to the page's parent when the user picks an edition: wParam 1 for the trial edition, 0 for
// the paid one.
inline constexpr UINT kEditionChosenMessage = WM_APP + 1;

class CLicenseSelection : public CInstallerPage {
  public:
    CLicenseSelection() : CInstallerPage(IDD_LICENSE_SELECTION) {}

  protected:
    void BindControls() override;
    BOOL OnInitDialog() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

  private:
    void OnPaint();
    void OnEditionChosen(unsigned char trial);

    kv::win::Control m_btnTrial;
    kv::win::Control m_btnPaid;
};
