#include "login_window.h"

#include "login_window_ids.h"
#include "window_text.h"

namespace {

// Posted by the worker with a LoginReport*.
constexpr UINT kLoginReport = WM_APP + 1;

// Refreshes the seconds of a wait; shorter than a second so that the count
// never skips one.
constexpr UINT_PTR kWaitTimer = 1;
constexpr UINT kWaitTimerMs = 250;

}  // namespace

bool LoginWindow::Run(HINSTANCE instance) {
  DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_SIGN_IN), nullptr, DialogProc, reinterpret_cast<LPARAM>(this));
  // Closing during a call leaves the worker to finish on its own thread;
  // its result is dropped.
  StopWorker();
  if (m_statusFont) DeleteObject(m_statusFont);
  return m_loggedIn;
}

INT_PTR CALLBACK LoginWindow::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    reinterpret_cast<LoginWindow*>(lParam)->OnInit(dialog);
    return TRUE;  // the focus goes to the first control, the user name
  }
  auto* window = reinterpret_cast<LoginWindow*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (window == nullptr) return FALSE;
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) window->OnLogIn();
      if (LOWORD(wParam) == IDC_CHECK) window->OnCheck();
      if (LOWORD(wParam) == IDCANCEL) window->OnCancel();
      return TRUE;
    case WM_TIMER:
      if (window->m_state == State::kWaiting) SetDlgItemTextW(dialog, IDC_STATUS, window->WaitStatus().c_str());
      return TRUE;
    case WM_CLOSE: EndDialog(dialog, 0); return TRUE;
    case kLoginReport: {
      const auto* report = reinterpret_cast<LoginReport*>(lParam);
      // Reports of an abandoned login can still be in the queue.
      if (report->ticket == window->m_ticket && window->m_worker != nullptr) window->OnReport(*report);
      delete report;
      return TRUE;
    }
  }
  return FALSE;
}

void LoginWindow::OnInit(HWND dialog) {
  m_dialog = dialog;
  SetWindowTextW(dialog, LoadText(IDS_CAPTION).c_str());
  const struct {
    int control;
    UINT text;
  } labels[] = {{IDC_USER_LABEL, IDS_USER_LABEL},
                {IDC_PASSWORD_LABEL, IDS_PASSWORD_LABEL},
                {IDOK, IDS_LOG_IN},
                {IDC_CHECK, IDS_CHECK}};
  for (const auto& label : labels) SetDlgItemTextW(dialog, label.control, LoadText(label.text).c_str());
  LOGFONTW font = {};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)), sizeof font, &font);
  font.lfWeight = FW_BOLD;
  m_statusFont = CreateFontIndirectW(&font);
  if (m_statusFont) SendDlgItemMessageW(dialog, IDC_STATUS, WM_SETFONT, reinterpret_cast<WPARAM>(m_statusFont), 0);
  RECT window, output;
  GetWindowRect(dialog, &window);
  GetWindowRect(GetDlgItem(dialog, IDC_CHECK_OUTPUT), &output);
  m_expandedHeight = window.bottom - window.top;
  m_collapsedHeight = output.top - window.top;
  ShowCheckOutput(false);
  Enter(State::kReady, LoadText(IDS_READY));
}

void LoginWindow::OnLogIn() {
  if (m_state == State::kCardPrompt) {
    m_worker->AnswerCard(Text(IDC_CARD_ANSWER));
    Wait(IDS_WAIT_CARD);
    return;
  }
  if (m_state != State::kReady) return;
  m_worker =
      LoginWorker::StartLogin(m_dialog, kLoginReport, ++m_ticket, m_settings, Text(IDC_USER), Text(IDC_PASSWORD));
  if (m_worker == nullptr) {
    Enter(State::kReady, LoadText(IDS_NO_THREAD));
    return;
  }
  Wait(IDS_WAIT_KEY);
}

void LoginWindow::OnCheck() {
  if (m_state != State::kReady) return;
  SetDlgItemTextW(m_dialog, IDC_CHECK_OUTPUT, L"");
  ShowCheckOutput(true);
  m_worker = LoginWorker::StartCheck(m_dialog, kLoginReport, ++m_ticket, m_settings);
  if (m_worker == nullptr) {
    Enter(State::kReady, LoadText(IDS_NO_THREAD));
    return;
  }
  Wait(IDS_WAIT_CHECK);
}

// Cancel stops waiting for the login or test at once; with nothing to cancel
// it closes the window, as Cancel does in a dialog.
void LoginWindow::OnCancel() {
  if (m_state == State::kWaiting || m_state == State::kCardPrompt) {
    StopWorker();
    Enter(State::kReady, LoadText(IDS_CANCELLED));
  } else {
    EndDialog(m_dialog, 0);
  }
}

void LoginWindow::OnReport(const LoginReport& report) {
  switch (report.step) {
    case LoginStep::kCheckingPassword: Wait(IDS_WAIT_PASSWORD); return;
    case LoginStep::kUsingToken: Wait(IDS_WAIT_TOKEN); return;
    case LoginStep::kCardNeeded:
      SetDlgItemTextW(m_dialog, IDC_CARD_PROMPT, FormatText(IDS_CARD_PROMPT, {report.text}).c_str());
      SetDlgItemTextW(m_dialog, IDC_CARD_ANSWER, L"");
      Enter(State::kCardPrompt, LoadText(IDS_CARD_NEEDED));
      return;
    case LoginStep::kLoggedIn:
      StopWorker();
      m_loggedIn = true;
      Enter(State::kLoggedIn, FormatText(IDS_LOGGED_IN, {report.text}));
      return;
    case LoginStep::kRefused:
    case LoginStep::kFailed:
      StopWorker();
      Enter(State::kReady, FormatText(IDS_NOT_LOGGED_IN, {report.text}));
      return;
    case LoginStep::kCheckLine: AppendCheckLine(report.text); return;
    case LoginStep::kCheckDone:
      StopWorker();
      Enter(State::kReady, report.text);
      return;
  }
}

void LoginWindow::StopWorker() {
  if (m_worker != nullptr) m_worker->Abandon();
  m_worker = nullptr;
}

// Enables what the user can do in STATE, moves the focus there and shows
// STATUS.
void LoginWindow::Enter(State state, const std::wstring& status) {
  m_state = state;
  if (state != State::kWaiting) KillTimer(m_dialog, kWaitTimer);
  const bool ready = state == State::kReady;
  const bool card = state == State::kCardPrompt;
  for (int control : {IDC_USER, IDC_PASSWORD, IDC_CHECK}) EnableWindow(GetDlgItem(m_dialog, control), ready);
  for (int control : {IDC_CARD_PROMPT, IDC_CARD_ANSWER})
    ShowWindow(GetDlgItem(m_dialog, control), card ? SW_SHOW : SW_HIDE);
  EnableWindow(GetDlgItem(m_dialog, IDOK), ready || card);
  SetDlgItemTextW(m_dialog, IDCANCEL, LoadText(state == State::kLoggedIn ? IDS_CLOSE : IDS_CANCEL).c_str());
  SetDlgItemTextW(m_dialog, IDC_STATUS, status.c_str());
  // The focus never stays on a control that was just disabled.
  int focus = IDCANCEL;
  if (ready) focus = Text(IDC_USER).empty() ? IDC_USER : IDC_PASSWORD;
  if (card) focus = IDC_CARD_ANSWER;
  SendMessageW(m_dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(m_dialog, focus)), TRUE);
}

// Waits for what the string TEXT names, counting the seconds in the status.
void LoginWindow::Wait(UINT text) {
  m_waitText = text;
  m_waitingSince = GetTickCount64();
  SetTimer(m_dialog, kWaitTimer, kWaitTimerMs, nullptr);
  Enter(State::kWaiting, WaitStatus());
}

std::wstring LoginWindow::WaitStatus() const {
  const std::wstring seconds = std::to_wstring((GetTickCount64() - m_waitingSince) / 1000);
  return FormatText(m_waitText, {m_settings.udpServer, m_settings.httpBase, seconds});
}

// The check's output lies below the buttons: the window grows to show it.
void LoginWindow::ShowCheckOutput(bool shown) {
  RECT window;
  GetWindowRect(m_dialog, &window);
  ShowWindow(GetDlgItem(m_dialog, IDC_CHECK_OUTPUT), shown ? SW_SHOW : SW_HIDE);
  SetWindowPos(m_dialog, nullptr, 0, 0, window.right - window.left, shown ? m_expandedHeight : m_collapsedHeight,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void LoginWindow::AppendCheckLine(const std::wstring& line) {
  const HWND output = GetDlgItem(m_dialog, IDC_CHECK_OUTPUT);
  const int end = GetWindowTextLengthW(output);
  SendMessageW(output, EM_SETSEL, end, end);
  SendMessageW(output, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>((line + L"\r\n").c_str()));
}

std::wstring LoginWindow::Text(int control) const {
  const HWND item = GetDlgItem(m_dialog, control);
  std::wstring text(GetWindowTextLengthW(item) + 1, L'\0');
  text.resize(GetWindowTextW(item, &text[0], static_cast<int>(text.size())));
  return text;
}
