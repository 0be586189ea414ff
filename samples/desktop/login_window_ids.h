// Resource ids of the sign-in window, shared by login_window.rc, the code and
// the window's tests.
#pragma once

#define IDD_SIGN_IN 100
#define IDC_USER 101
#define IDC_PASSWORD 102
#define IDC_CARD_PROMPT 103
#define IDC_CARD_ANSWER 104
#define IDC_STATUS 105
#define IDC_CHECK 106
#define IDC_CHECK_OUTPUT 107
#define IDC_USER_LABEL 108
#define IDC_PASSWORD_LABEL 109

// The window's texts, one string table per language.
#define IDS_CAPTION 200
#define IDS_USER_LABEL 201
#define IDS_PASSWORD_LABEL 202
#define IDS_LOG_IN 203
#define IDS_CANCEL 204
#define IDS_CLOSE 205
#define IDS_CHECK 206
#define IDS_READY 207
#define IDS_CANCELLED 208
#define IDS_NO_THREAD 209
#define IDS_WAIT_KEY 210
#define IDS_WAIT_PASSWORD 211
#define IDS_WAIT_TOKEN 212
#define IDS_WAIT_CARD 213
#define IDS_WAIT_CHECK 214
#define IDS_CARD_PROMPT 215
#define IDS_CARD_NEEDED 216
#define IDS_LOGGED_IN 217
#define IDS_NOT_LOGGED_IN 218
#define IDS_REFUSED_CODE 219
#define IDS_CALL_FAILED 220
#define IDS_NO_MEMORY 221
#define IDS_NO_TOKEN_PASSWORD 222
#define IDS_CHECK_NOT_STARTED 223
#define IDS_CHECK_NO_VERDICT 224
#define IDS_WITH_CAUSE 225
