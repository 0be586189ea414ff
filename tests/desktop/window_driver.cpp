// Drives login_window.exe as a person does, with SendInput: clicks into the
// fields, types, clicks Log in or presses Enter and Esc, and reads the
// outcome from the window (status text, which controls are enabled) and
// from the program's exit code.
//
// Usage: window_driver PROGRAM UDP HTTP ACTION USER PASSWORD EXPECTED_STATUS EXPECTED_EXIT
// ACTION: login | card=ROW/ROW/... (answers the asked cell from this card,
// rows of comma-separated cells) | card-digits=DIGITS | cancel-while-waiting.
// Asks its caller for a screenshot by printing "snap NAME X Y WIDTH HEIGHT"
// and waits for a line on stdin; prints "measure NAME MILLISECONDS". Exit
// status 0 when every check held.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr DWORD kWindowDeadlineMs = 120000;  // Wine starting a program on a loaded machine
constexpr DWORD kLoginDeadlineMs = 90000;    // three calls, each up to its time-out
constexpr DWORD kAnswerDeadlineMs = 1000;    // "at once" for the window's own thread
constexpr int kUserEdit = 101, kPasswordEdit = 102, kCardPrompt = 103, kCardAnswer = 104, kStatus = 105;

double NowMs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER value;
    QueryPerformanceFrequency(&value);
    return value;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

[[noreturn]] void Fail(const std::wstring& why) {
  std::printf("FAIL %ls\n", why.c_str());
  std::fflush(stdout);
  std::exit(1);
}

// Polls CONDITION until it holds; fails naming WHAT after DEADLINE_MS.
void WaitFor(const std::function<bool()>& condition, DWORD deadlineMs, const std::wstring& what) {
  const double start = NowMs();
  while (!condition()) {
    if (NowMs() - start > deadlineMs) Fail(L"timed out waiting for " + what);
    Sleep(20);
  }
}

void Measure(const char* name, double ms) {
  std::printf("measure %s %.0f\n", name, ms);
  std::fflush(stdout);
}

std::wstring Text(HWND window) {
  wchar_t text[1024] = L"";
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, ARRAYSIZE(text), reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000, &copied);
  return text;
}

void SendInputs(std::vector<INPUT> inputs) {
  if (SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) != inputs.size()) {
    Fail(L"SendInput was refused");
  }
}

void Click(HWND control) {
  RECT box;
  GetWindowRect(control, &box);
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
  INPUT move = {};
  move.type = INPUT_MOUSE;
  move.mi.dx = ((box.left + box.right) / 2) * 65535 / (screenWidth - 1);
  move.mi.dy = ((box.top + box.bottom) / 2) * 65535 / (screenHeight - 1);
  move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  INPUT down = move, up = move;
  down.mi.dwFlags |= MOUSEEVENTF_LEFTDOWN;
  up.mi.dwFlags |= MOUSEEVENTF_LEFTUP;
  SendInputs({move, down, up});
}

void Type(const std::wstring& text) {
  std::vector<INPUT> inputs;
  for (wchar_t c : text) {
    INPUT key = {};
    key.type = INPUT_KEYBOARD;
    key.ki.wScan = c;
    key.ki.dwFlags = KEYEVENTF_UNICODE;
    inputs.push_back(key);
    key.ki.dwFlags |= KEYEVENTF_KEYUP;
    inputs.push_back(key);
  }
  SendInputs(inputs);
}

void Press(WORD virtualKey) {
  INPUT key = {};
  key.type = INPUT_KEYBOARD;
  key.ki.wVk = virtualKey;
  INPUT release = key;
  release.ki.dwFlags = KEYEVENTF_KEYUP;
  SendInputs({key, release});
}

class Session {
 public:
  Session(wchar_t** args) : m_expectedStatus(args[7]), m_expectedExit(std::wcstoul(args[8], nullptr, 10)) {
    std::wstring command = L"\"" + std::wstring(args[1]) + L"\" --udp " + args[2] + L" --http " + args[3];
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessW(args[1], &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &m_process)) {
      Fail(L"cannot start " + std::wstring(args[1]));
    }
    WaitFor([this] { return (m_window = FindWindowW(L"#32770", L"VOKA4ClientCom sign-in")) && IsWindowVisible(m_window); },
            kWindowDeadlineMs, L"the sign-in window");
  }

  HWND Item(int id) const { return GetDlgItem(m_window, id); }
  std::wstring Status() const { return Text(Item(kStatus)); }
  bool Waiting() const { return !IsWindowEnabled(Item(IDOK)) && !IsWindowEnabled(Item(kUserEdit)); }
  bool Finished() const {
    const std::wstring status = Status();
    return status.rfind(L"Logged in:", 0) == 0 || status.rfind(L"Not logged in:", 0) == 0;
  }

  void TypeInto(int id, const std::wstring& text) {
    Click(Item(id));
    Type(text);
  }

  void FillIn(const std::wstring& user, const std::wstring& password) {
    TypeInto(kUserEdit, user);
    WaitFor([&] { return Text(Item(kUserEdit)) == user; }, kAnswerDeadlineMs * 10, L"the typed user name");
    TypeInto(kPasswordEdit, password);
    WaitFor([&] { return Text(Item(kPasswordEdit)).size() == password.size(); }, kAnswerDeadlineMs * 10,
            L"the typed password");
  }

  // Waits for the final status of a login and times it from START_MS.
  void ExpectOutcome(double startMs) {
    WaitFor([this] { return Finished(); }, kLoginDeadlineMs, L"the login's outcome");
    Measure("login_to_status_ms", NowMs() - startMs);
    if (Status().find(m_expectedStatus) == std::wstring::npos) {
      Fail(L"status \"" + Status() + L"\" does not hold \"" + m_expectedStatus + L"\"");
    }
  }

  void Snap(const char* name) {
    RedrawWindow(m_window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT box;
    GetWindowRect(m_window, &box);
    std::printf("snap %s %ld %ld %ld %ld\n", name, box.left, box.top, box.right - box.left, box.bottom - box.top);
    std::fflush(stdout);
    char line[16];
    if (!std::fgets(line, sizeof line, stdin)) Fail(L"no answer to the screenshot request");
  }

  // Closes the window as its close box does and checks the exit code;
  // fails when the program has not ended DEADLINE_MS after START_MS.
  void CloseAndExpectExit(double startMs, DWORD deadlineMs) {
    PostMessageW(m_window, WM_SYSCOMMAND, SC_CLOSE, 0);
    const double left = deadlineMs - (NowMs() - startMs);
    if (left <= 0 || WaitForSingleObject(m_process.hProcess, static_cast<DWORD>(left)) != WAIT_OBJECT_0) {
      Fail(L"the program did not end after its window was closed");
    }
    Measure("close_to_exit_ms", NowMs() - startMs);
    DWORD code = 0;
    GetExitCodeProcess(m_process.hProcess, &code);
    if (code != m_expectedExit) Fail(L"exit code " + std::to_wstring(code));
  }

  // While the first call of a login waits for an answer that never comes, the
  // window answers, moves, and Cancel gives it back at once; closing during
  // the next call ends the program before that call could return.
  void CancelWhileWaiting() {
    Click(Item(IDOK));
    WaitFor([this] { return Waiting(); }, kLoginDeadlineMs, L"the login to start");
    double slowest = 0;
    RECT before, after;
    GetWindowRect(m_window, &before);
    SetWindowPos(m_window, nullptr, before.left + 40, before.top + 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (int probe = 0; probe < 10; ++probe) {
      const double start = NowMs();
      DWORD_PTR result = 0;
      if (!SendMessageTimeoutW(m_window, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerDeadlineMs, &result)) {
        Fail(L"the window did not answer within 1 s while the call waited");
      }
      slowest = std::max(slowest, NowMs() - start);
      Sleep(50);
    }
    Measure("slowest_answer_while_waiting_ms", slowest);
    GetWindowRect(m_window, &after);
    if (after.left != before.left + 40 || after.top != before.top + 30) Fail(L"the window did not move");
    if (!Waiting()) Fail(L"the call ended before the window was probed");
    Snap("waiting");
    const double cancelled = NowMs();
    Press(VK_ESCAPE);
    WaitFor([this] { return IsWindowEnabled(Item(IDOK)) != FALSE; }, kAnswerDeadlineMs, L"Cancel to give the window back");
    Measure("cancel_to_ready_ms", NowMs() - cancelled);
    if (Status() != m_expectedStatus) Fail(L"status after Cancel: " + Status());
    const double started = NowMs();
    Press(VK_RETURN);
    WaitFor([this] { return Waiting(); }, kAnswerDeadlineMs * 10, L"Enter to start a login");
    // The first call waits 5 s for its answer: ending sooner proves that
    // closing did not wait for it.
    CloseAndExpectExit(started, 5000);
  }

  void AnswerCard(const std::wstring& card, bool fromGrid) {
    WaitFor([this] { return IsWindowVisible(Item(kCardAnswer)) != FALSE; }, kLoginDeadlineMs, L"the card prompt");
    Snap("card-prompt");
    std::wstring answer = card;
    if (fromGrid) answer = CellOf(card, Text(Item(kCardPrompt)));
    TypeInto(kCardAnswer, answer);
    WaitFor([&] { return Text(Item(kCardAnswer)) == answer; }, kAnswerDeadlineMs * 10, L"the typed digits");
    Press(VK_RETURN);
  }

  const PROCESS_INFORMATION& Process() const { return m_process; }

 private:
  // The cell named at the end of PROMPT ("... cell B3") in GRID.
  static std::wstring CellOf(const std::wstring& grid, const std::wstring& prompt) {
    const size_t cell = prompt.find_last_of(L' ') + 1;
    const int column = prompt[cell] - L'A', row = std::wcstol(prompt.c_str() + cell + 1, nullptr, 10) - 1;
    size_t start = 0;
    for (int skipped = 0; skipped < row * 5 + column; ++skipped) start = grid.find_first_of(L",/", start) + 1;
    return grid.substr(start, grid.find_first_of(L",/", start) - start);
  }

  const std::wstring m_expectedStatus;
  const DWORD m_expectedExit;
  PROCESS_INFORMATION m_process = {};
  HWND m_window = nullptr;
};

}  // namespace

int wmain(int count, wchar_t** args) {
  if (count != 9) {
    std::fprintf(stderr, "usage: window_driver PROGRAM UDP HTTP ACTION USER PASSWORD EXPECTED_STATUS EXPECTED_EXIT\n");
    return 2;
  }
  const std::wstring action = args[4];
  Session session(args);
  session.FillIn(args[5], args[6]);
  session.Snap("sign-in");
  if (action == L"cancel-while-waiting") {
    session.CancelWhileWaiting();
  } else {
    const double start = NowMs();
    Click(session.Item(IDOK));
    if (action.rfind(L"card=", 0) == 0) session.AnswerCard(action.substr(5), true);
    if (action.rfind(L"card-digits=", 0) == 0) session.AnswerCard(action.substr(12), false);
    session.ExpectOutcome(start);
    session.Snap("result");
    session.CloseAndExpectExit(NowMs(), kWindowDeadlineMs);
  }
  std::printf("passed\n");
  return 0;
}
