#include "pages/license_selection.h"

#include "i18n/texts.h"
#include "pages/page_fonts.h"
#include "win/handles.h"

void CLicenseSelection::BindControls() {
    Bind(m_btnTrial, IDC_TRIAL_BUTTON);
    Bind(m_btnPaid, IDC_PAID_BUTTON);
}

BOOL CLicenseSelection::OnInitDialog() {
    m_btnTrial.SetText(GetText(L"I_WANT_TO_TRY"));
    m_btnTrial.SetFont(g_textFont.Get());
    m_btnPaid.SetText(GetText(L"I_HAVE_LICENSE_KEY"));
    m_btnPaid.SetFont(g_textFont.Get());
    m_strTitle = GetText(L"PLEASE_CHOOSE_YOUR_OPTION");
    m_strSubtitle = GetText(L"CHOOSE_CORRECT_OPTION");
    return TRUE;
}

bool CLicenseSelection::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = 0;
    if (message == WM_PAINT) {
        OnPaint();
        return true;
    }
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        if (LOWORD(wParam) == IDC_TRIAL_BUTTON) OnEditionChosen(1);
        if (LOWORD(wParam) == IDC_PAID_BUTTON) OnEditionChosen(0);
        return LOWORD(wParam) == IDC_TRIAL_BUTTON || LOWORD(wParam) == IDC_PAID_BUTTON;
    }
    return false;
}

void CLicenseSelection::OnPaint() {
    kv::win::PaintDC dc(Hwnd());
    ::SetBkMode(dc.Get(), TRANSPARENT);
    ::SetTextColor(dc.Get(), kPageTextColour);
    RECT titleRect{20, 70, 600, 100};
    {
        kv::win::SelectedObject font(dc.Get(), g_titleFont.Get());
        ::DrawTextW(dc.Get(), m_strTitle.c_str(), -1, &titleRect, DT_CENTER | DT_WORDBREAK);
    }
    RECT subtitleRect{20, 105, 600, 125};
    kv::win::SelectedObject font(dc.Get(), g_textFont.Get());
    ::DrawTextW(dc.Get(), m_strSubtitle.c_str(), -1, &subtitleRect, DT_CENTER | DT_WORDBREAK);
}

void CLicenseSelection::OnEditionChosen(unsigned char trial) {
    ::SendMessageW(::GetParent(Hwnd()), kEditionChosenMessage, trial, 0);
}
