// Resource ids of the sign-in window, shared by login_window.rc and the code.
#pragma once

#define IDD_SIGN_IN 100
#define IDC_USER 101
#define IDC_PASSWORD 102
#define IDC_CARD_PROMPT 103
#define IDC_CARD_ANSWER 104
#define IDC_STATUS 105
