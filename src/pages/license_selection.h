#pragma once
// The edition choice page: a heading, a sub-heading and one button per edition. A click tells
// the main window which edition to fetch.

#include "pages/installer_page.h"

class CLicenseSelection : public CInstallerPage {
  public:
    static constexpr UINT kTemplateId = 179;
    static constexpr int kTrialButtonId = 1011;
    static constexpr int kPaidButtonId = 1010;

    CLicenseSelection() : CInstallerPage(kTemplateId) {}

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
