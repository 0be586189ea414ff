// Drives login_window.exe as a person does, with SendInput clicks and keys,
// and reads the outcome from its window and exit code.
// Usage: window_driver PROGRAM UDP HTTP ACTION USER PASSWORD EXPECTED_STATUS EXPECTED_EXIT
// ACTION: login | card=ROW/ROW/... (answers the asked cell from this card) |
// card-digits=DIGITS | cancel-while-waiting. Asks its caller for screenshots
// ("snap NAME X Y WIDTH HEIGHT", then a line on stdin) and prints "measure
// NAME MS"; exit status 0 when every check held.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kUser = 101, kPassword = 102, kCardPrompt = 103, kCardAnswer = 104, kStatus = 105;
constexpr double kLongMs = 120000;  // Wine starting a program, or three calls, on a loaded machine
constexpr double kAtOnceMs = 1000;  // the window's own thread answering
HWND g_window;
PROCESS_INFORMATION g_program;

double NowMs() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * now.QuadPart / frequency.QuadPart;
}

void Check(bool holds, const std::wstring& what) {
  if (holds) return;
  std::printf("FAIL %ls\n", what.c_str());
  std::exit(1);
}

void WaitFor(const std::function<bool()>& condition, double deadlineMs, const std::wstring& what) {
  for (double start = NowMs(); !condition(); Sleep(20)) Check(NowMs() - start < deadlineMs, L"waiting for " + what);
}

void Measure(const char* name, double ms) { std::printf("measure %s %.1f\n", name, ms); }

HWND Item(int id) { return GetDlgItem(g_window, id); }

std::wstring Text(int id) {
  wchar_t text[512] = L"";
  SendMessageTimeoutW(Item(id), WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000, nullptr);
  return text;
}

bool Waiting() { return !IsWindowEnabled(Item(IDOK)) && !IsWindowEnabled(Item(kUser)); }

void Send(INPUT input, std::vector<DWORD> flags) {
  std::vector<INPUT> inputs(flags.size(), input);
  for (size_t i = 0; i < flags.size(); ++i) {
    (input.type == INPUT_MOUSE ? inputs[i].mi.dwFlags : inputs[i].ki.dwFlags) = flags[i];
  }
  Check(SendInput(inputs.size(), inputs.data(), sizeof(INPUT)) == inputs.size(), L"SendInput");
}

void Click(int id) {
  RECT box;
  GetWindowRect(Item(id), &box);
  INPUT mouse = {};
  mouse.type = INPUT_MOUSE;
  mouse.mi.dx = (box.left + box.right) / 2 * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
  mouse.mi.dy = (box.top + box.bottom) / 2 * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
  const DWORD move = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  Send(mouse, {move, move | MOUSEEVENTF_LEFTDOWN, move | MOUSEEVENTF_LEFTUP});
}

// Presses VIRTUAL_KEY, or types the character UNICODE.
void Key(WORD virtualKey, wchar_t unicode = 0) {
  INPUT key = {};
  key.type = INPUT_KEYBOARD;
  key.ki.wVk = virtualKey;
  key.ki.wScan = unicode;
  const DWORD kind = unicode ? KEYEVENTF_UNICODE : 0;
  Send(key, {kind, kind | KEYEVENTF_KEYUP});
}

void TypeInto(int id, const std::wstring& text) {
  Click(id);
  for (wchar_t c : text) Key(0, c);
  WaitFor([&] { return Text(id).size() == text.size(); }, kLongMs, L"the typed text");
}

void Snap(const char* name) {
  RedrawWindow(g_window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  RECT box;
  GetWindowRect(g_window, &box);
  std::printf("snap %s %ld %ld %ld %ld\n", name, box.left, box.top, box.right - box.left, box.bottom - box.top);
  std::fflush(stdout);
  char line[16];
  Check(std::fgets(line, sizeof line, stdin) != nullptr, L"the screenshot");
}

// Closes the window as its close box does; the program must have ended with
// EXIT within DEADLINE_MS of START_MS.
void CloseAndExpectExit(double startMs, double deadlineMs, DWORD exit) {
  PostMessageW(g_window, WM_SYSCOMMAND, SC_CLOSE, 0);
  DWORD left = static_cast<DWORD>(std::max(0.0, deadlineMs - (NowMs() - startMs))), code = 0;
  Check(WaitForSingleObject(g_program.hProcess, left) == WAIT_OBJECT_0, L"the program to end when closed");
  Measure("to_exit_ms", NowMs() - startMs);
  GetExitCodeProcess(g_program.hProcess, &code);
  Check(code == exit, L"exit code " + std::to_wstring(code));
}

// While the first call waits for an answer that never comes, the window
// answers and Esc (Cancel) gives it back at once; closing during the next
// call ends the program long before that call's 10 s time-out.
void CancelWhileWaiting(const std::wstring& expectedStatus) {
  Click(IDOK);
  WaitFor(Waiting, kLongMs, L"the login to start");
  double slowest = 0;
  for (double first = NowMs(); NowMs() - first < kAtOnceMs; Sleep(50)) {  // probes for a second
    const double start = NowMs();
    Check(SendMessageTimeoutW(g_window, WM_NULL, 0, 0, SMTO_NORMAL, kAtOnceMs, nullptr), L"an answer within 1 s");
    slowest = std::max(slowest, NowMs() - start);
  }
  Measure("slowest_answer_while_waiting_ms", slowest);
  Check(Waiting(), L"the call to be still waiting");
  Snap("waiting");
  const double cancelled = NowMs();
  Key(VK_ESCAPE);
  WaitFor([] { return IsWindowEnabled(Item(IDOK)) != FALSE; }, kAtOnceMs, L"Cancel to give the window back");
  Measure("cancel_to_ready_ms", NowMs() - cancelled);
  Check(Text(kStatus) == expectedStatus, L"status after Cancel: " + Text(kStatus));
  const double started = NowMs();
  Key(VK_RETURN);
  WaitFor(Waiting, kLongMs, L"Enter to start a login");
  CloseAndExpectExit(started, 5000, 1);
}

// The cell that the prompt names at its end ("... cell B3") in GRID.
std::wstring CellOf(const std::wstring& grid) {
  const std::wstring prompt = Text(kCardPrompt);
  const size_t cell = prompt.rfind(L' ') + 1, column = prompt[cell] - L'A', row = _wtoi(&prompt[cell + 1]) - 1;
  size_t start = 0;
  for (size_t skipped = 0; skipped < row * 5 + column; ++skipped) start = grid.find_first_of(L",/", start) + 1;
  return grid.substr(start, grid.find_first_of(L",/", start) - start);
}

}  // namespace

int wmain(int count, wchar_t** args) {
  if (count != 9) return 2;  // see the usage above
  const std::wstring action = args[4], expectedStatus = args[7];
  std::wstring command = L"login_window --udp " + std::wstring(args[2]) + L" --http " + args[3];
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  Check(CreateProcessW(args[1], &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &g_program),
        L"starting the program");
  WaitFor([] { return (g_window = FindWindowW(L"#32770", L"VOKA4ClientCom sign-in")) && IsWindowVisible(g_window); },
          kLongMs, L"the window");
  TypeInto(kUser, args[5]);
  TypeInto(kPassword, args[6]);
  Snap("sign-in");
  if (action == L"cancel-while-waiting") {
    CancelWhileWaiting(expectedStatus);
  } else {
    const double start = NowMs();
    Click(IDOK);
    if (action.rfind(L"card", 0) == 0) {
      WaitFor([] { return IsWindowVisible(Item(kCardAnswer)) != FALSE; }, kLongMs, L"the card prompt");
      Snap("card-prompt");
      const std::wstring card = action.substr(action.find(L'=') + 1);
      TypeInto(kCardAnswer, action.rfind(L"card=", 0) == 0 ? CellOf(card) : card);
      Key(VK_RETURN);
    }
    // A final status starts "Logged in:" or "Not logged in:".
    WaitFor([] { return Text(kStatus).find(L"ogged in:") != std::wstring::npos; }, kLongMs, L"the login's outcome");
    Measure("login_to_status_ms", NowMs() - start);
    Check(Text(kStatus).find(expectedStatus) != std::wstring::npos, L"status: " + Text(kStatus));
    Snap("result");
    CloseAndExpectExit(NowMs(), kLongMs, _wtoi(args[8]));
  }
  std::printf("passed\n");
  return 0;
}
