#pragma once
// The edition choice page: a background picture, a heading, a sub-heading and one picture button
// per edition. A click tells the main window which edition to fetch and reports the choice.

#include "pages/installer_page.h"
#include "res/ids/license_selection_ids.h"
#include "win/handles.h"

// Sent to the page's parent when the user picks an edition: wParam 1 for the trial edition, 0 for
// the paid one.
inline constexpr UINT kEditionChosenMessage = WM_APP + 1;

class CLicenseSelection : public CInstallerPage {
  public:
    // The pictures are loaded with the window, at its DPI (decoded in advance when the program
    // started that); they need a GDI+ session.
    CLicenseSelection();

    void ApplyDpi() override;

  protected:
    void BindControls() override;
    BOOL OnInitDialog() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

  private:
    void OnPaint();
    void ScalePictures();
    void OnEditionChosen(unsigned char trial);

    kv::win::Control m_btnTrial;
    kv::win::Control m_btnPaid;
    kv::win::Bitmap m_imgBackground;
    // The buttons' pictures; the buttons only borrow them, so they live as long as the page.
    kv::win::ImageList m_trialPicture;
    kv::win::ImageList m_paidPicture;
};
