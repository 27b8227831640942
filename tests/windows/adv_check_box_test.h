#pragma once
// Ids of the check box test's dialog (adv_check_box_test.rc).

#define IDD_CHECK_BOX_TEST 100
#define IDC_RADIO_ONE 1001
#define IDC_RADIO_TWO 1002
#define IDC_PLAIN_RADIO 1003
#define IDC_RADIO_THREE 1004
#define IDC_NEXT_GROUP_RADIO 1005
#define IDC_THREE_STATE 1006
#define IDC_TWO_STATE 1007
#define IDC_DISABLED 1008
#define IDC_PUSH 1009
#define IDC_DOT 1010
