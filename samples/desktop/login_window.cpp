#include "login_window.h"

#include "login_window_ids.h"

namespace {

// Posted by the worker with a LoginReport*.
constexpr UINT kLoginReport = WM_APP + 1;

}  // namespace

bool LoginWindow::Run(HINSTANCE instance) {
  DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_SIGN_IN), nullptr, DialogProc, reinterpret_cast<LPARAM>(this));
  // Closing during a call leaves the worker to finish on its own thread;
  // its result is dropped.
  StopWorker();
  return m_loggedIn;
}

INT_PTR CALLBACK LoginWindow::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    auto* window = reinterpret_cast<LoginWindow*>(lParam);
    window->m_dialog = dialog;
    window->Enter(State::kReady, L"Enter your user name and password.");
    return TRUE;  // the focus goes to the first control, the user name
  }
  auto* window = reinterpret_cast<LoginWindow*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (window == nullptr) return FALSE;
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) window->OnLogIn();
      if (LOWORD(wParam) == IDCANCEL) window->OnCancel();
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

void LoginWindow::OnLogIn() {
  if (m_state == State::kCardPrompt) {
    m_worker->AnswerCard(Text(IDC_CARD_ANSWER));
    Enter(State::kWaiting, L"Checking the card digits...");
    return;
  }
  if (m_state != State::kReady) return;
  m_worker = LoginWorker::Start(m_dialog, kLoginReport, ++m_ticket, m_settings, Text(IDC_USER), Text(IDC_PASSWORD));
  if (m_worker == nullptr) {
    Enter(State::kReady, L"No thread could be started for the login.");
    return;
  }
  Enter(State::kWaiting, L"Logging in...");
}

// Cancel stops waiting for the login at once; with nothing to cancel it
// closes the window, as Cancel does in a dialog.
void LoginWindow::OnCancel() {
  if (m_state == State::kWaiting || m_state == State::kCardPrompt) {
    StopWorker();
    Enter(State::kReady, L"Cancelled.");
  } else {
    EndDialog(m_dialog, 0);
  }
}

void LoginWindow::OnReport(const LoginReport& report) {
  switch (report.step) {
    case LoginStep::kUsingToken: Enter(State::kWaiting, L"Logging in with your USB e-key..."); return;
    case LoginStep::kCardNeeded:
      SetDlgItemTextW(m_dialog, IDC_CARD_PROMPT, (L"Matrix card: the digits in cell " + report.text).c_str());
      SetDlgItemTextW(m_dialog, IDC_CARD_ANSWER, L"");
      Enter(State::kCardPrompt, L"Your account asks for a cell of its matrix card.");
      return;
    case LoginStep::kLoggedIn:
      StopWorker();
      m_loggedIn = true;
      Enter(State::kLoggedIn, L"Logged in: " + report.text);
      return;
    case LoginStep::kRefused:
    case LoginStep::kFailed:
      StopWorker();
      Enter(State::kReady, L"Not logged in: " + report.text);
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
  const bool ready = state == State::kReady;
  const bool card = state == State::kCardPrompt;
  for (int control : {IDC_USER, IDC_PASSWORD}) EnableWindow(GetDlgItem(m_dialog, control), ready);
  for (int control : {IDC_CARD_PROMPT, IDC_CARD_ANSWER})
    ShowWindow(GetDlgItem(m_dialog, control), card ? SW_SHOW : SW_HIDE);
  EnableWindow(GetDlgItem(m_dialog, IDOK), ready || card);
  SetDlgItemTextW(m_dialog, IDCANCEL, state == State::kLoggedIn ? L"Close" : L"Cancel");
  SetDlgItemTextW(m_dialog, IDC_STATUS, status.c_str());
  // The focus never stays on a control that was just disabled.
  int focus = IDCANCEL;
  if (ready) focus = Text(IDC_USER).empty() ? IDC_USER : IDC_PASSWORD;
  if (card) focus = IDC_CARD_ANSWER;
  SendMessageW(m_dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(m_dialog, focus)), TRUE);
}

std::wstring LoginWindow::Text(int control) const {
  const HWND item = GetDlgItem(m_dialog, control);
  std::wstring text(GetWindowTextLengthW(item) + 1, L'\0');
  text.resize(GetWindowTextW(item, &text[0], static_cast<int>(text.size())));
  return text;
}
