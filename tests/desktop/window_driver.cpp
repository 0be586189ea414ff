// Drives login_window.exe as a person does, with SendInput clicks and keys,
// and reads the outcome from its window and exit code.
// Usage: window_driver PROGRAM UDP HTTP ACTION USER PASSWORD EXPECTED_STATUS EXPECTED_EXIT
// ACTION: login | card=ROW/ROW/... (answers the asked cell from this card) |
// card-digits=DIGITS | cancel-while-waiting | check (tests the connection).
// The outcome is the status that holds EXPECTED_STATUS, in the window's
// language. Asks its caller for screenshots ("snap NAME X Y WIDTH HEIGHT",
// then a line on stdin) and prints "measure NAME MS"; exit status 0 when
// every check held.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "samples/desktop/login_window_ids.h"

namespace {

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

// A failed check ends the program too, so that the test ends at once. WHAT
// is written in UTF-8: it may quote the window's Chinese.
void Check(bool holds, const std::wstring& what) {
  if (holds) return;
  std::string text(WideCharToMultiByte(CP_UTF8, 0, what.c_str(), -1, nullptr, 0, nullptr, nullptr), '\0');
  WideCharToMultiByte(CP_UTF8, 0, what.c_str(), -1, &text[0], static_cast<int>(text.size()), nullptr, nullptr);
  std::printf("FAIL %s\n", text.c_str());
  if (g_program.hProcess) TerminateProcess(g_program.hProcess, 1);
  std::exit(1);
}

void WaitFor(const std::function<bool()>& condition, double deadlineMs, const std::wstring& what) {
  for (double start = NowMs(); !condition(); Sleep(20)) Check(NowMs() - start < deadlineMs, L"waiting for " + what);
}

void Measure(const char* name, double ms) { std::printf("measure %s %.1f\n", name, ms); }

HWND Item(int id) { return GetDlgItem(g_window, id); }

std::wstring Text(int id) {
  wchar_t text[4096] = L"";
  SendMessageTimeoutW(Item(id), WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000, nullptr);
  return text;
}

// The outcome of a login or test: the status comes to hold EXPECTED.
void ExpectStatus(const std::wstring& expected) {
  for (double start = NowMs(); Text(IDC_STATUS).find(expected) == std::wstring::npos; Sleep(20)) {
    Check(NowMs() - start < kLongMs, L"a status holding " + expected + L", not " + Text(IDC_STATUS));
  }
}

// The seconds a wait's status counts: its last number.
int SecondsIn(const std::wstring& status) {
  const size_t last = status.find_last_of(L"0123456789");
  return last == std::wstring::npos ? -1 : _wtoi(&status[status.find_last_not_of(L"0123456789", last) + 1]);
}

// The program's dialog, whatever its caption's language.
BOOL CALLBACK PickProgramWindow(HWND window, LPARAM) {
  DWORD process = 0;
  wchar_t kind[16] = L"";
  GetWindowThreadProcessId(window, &process);
  GetClassNameW(window, kind, 16);
  if (process == g_program.dwProcessId && lstrcmpW(kind, L"#32770") == 0 && IsWindowVisible(window)) g_window = window;
  return g_window == nullptr;
}

bool FindProgramWindow() {
  g_window = nullptr;
  EnumWindows(PickProgramWindow, 0);
  return g_window != nullptr;
}

bool Waiting() { return !IsWindowEnabled(Item(IDOK)) && !IsWindowEnabled(Item(IDC_USER)); }

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

// Keys reach the window only once it is in the foreground and the field has
// the focus: typed sooner, as Wine maps a new window, they are lost.
bool Focused(int id) {
  GUITHREADINFO thread = {};
  thread.cbSize = sizeof thread;
  return GetForegroundWindow() == g_window && GetGUIThreadInfo(GetWindowThreadProcessId(g_window, nullptr), &thread) &&
         thread.hwndFocus == Item(id);
}

void TypeInto(int id, const std::wstring& text) {
  Click(id);
  WaitFor([&] { return Focused(id); }, kLongMs, L"the focus in the field");
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
// answers, names the server it waits for and counts the seconds, and Esc
// (Cancel) gives it back at once; closing during the next call ends the
// program long before that call's 10 s time-out.
void CancelWhileWaiting(const std::wstring& udp, const std::wstring& expectedStatus) {
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
  const std::wstring waiting = Text(IDC_STATUS);
  Check(waiting.find(udp) != std::wstring::npos, L"the wait to name " + udp + L": " + waiting);
  WaitFor([&] { return SecondsIn(Text(IDC_STATUS)) > SecondsIn(waiting); }, kLongMs, L"the seconds to count on");
  Snap("waiting");
  const double cancelled = NowMs();
  Key(VK_ESCAPE);
  WaitFor([] { return IsWindowEnabled(Item(IDOK)) != FALSE; }, kAtOnceMs, L"Cancel to give the window back");
  Measure("cancel_to_ready_ms", NowMs() - cancelled);
  Check(Text(IDC_STATUS) == expectedStatus, L"status after Cancel: " + Text(IDC_STATUS));
  const double started = NowMs();
  Key(VK_RETURN);
  WaitFor(Waiting, kLongMs, L"Enter to start a login");
  CloseAndExpectExit(started, 5000, 1);
}

// The cell that the prompt names ("... cell B3 ...") in GRID.
std::wstring CellOf(const std::wstring& grid) {
  const std::wstring prompt = Text(IDC_CARD_PROMPT);
  size_t cell = 0;
  while (cell + 1 < prompt.size() && !(prompt[cell] >= L'A' && prompt[cell] <= L'E' && iswdigit(prompt[cell + 1]))) {
    ++cell;
  }
  const size_t column = prompt[cell] - L'A', row = _wtoi(&prompt[cell + 1]) - 1;
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
  WaitFor(FindProgramWindow, kLongMs, L"the window");
  TypeInto(IDC_USER, args[5]);
  TypeInto(IDC_PASSWORD, args[6]);
  Snap("sign-in");
  if (action == L"cancel-while-waiting") {
    CancelWhileWaiting(args[2], expectedStatus);
  } else if (action == L"check") {
    const double start = NowMs();
    Click(IDC_CHECK);
    ExpectStatus(expectedStatus);
    Measure("check_to_verdict_ms", NowMs() - start);
    // The verdict is the last of the lines the window shows.
    const std::wstring output = Text(IDC_CHECK_OUTPUT), verdict = Text(IDC_STATUS) + L"\r\n";
    Check(IsWindowVisible(Item(IDC_CHECK_OUTPUT)) && output.size() > verdict.size() &&
              output.compare(output.size() - verdict.size(), verdict.size(), verdict) == 0,
          L"the check's lines ending in its verdict: " + output);
    Snap("check");
    CloseAndExpectExit(NowMs(), kLongMs, _wtoi(args[8]));
  } else {
    const double start = NowMs();
    Click(IDOK);
    if (action.rfind(L"card", 0) == 0) {
      WaitFor([] { return IsWindowVisible(Item(IDC_CARD_ANSWER)) != FALSE; }, kLongMs, L"the card prompt");
      Snap("card-prompt");
      const std::wstring card = action.substr(action.find(L'=') + 1);
      TypeInto(IDC_CARD_ANSWER, action.rfind(L"card=", 0) == 0 ? CellOf(card) : card);
      Key(VK_RETURN);
    }
    ExpectStatus(expectedStatus);
    Measure("login_to_status_ms", NowMs() - start);
    Snap("result");
    CloseAndExpectExit(NowMs(), kLongMs, _wtoi(args[8]));
  }
  std::printf("passed\n");
  return 0;
}
