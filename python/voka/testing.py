"""voka-server on free loopback ports, for a test: a pytest plugin, and
RunningServer, the same server as a context manager without pytest.

Installed with its metadata (pip, python3-voka), the plugin loads by itself;
from a source tree, a conftest.py names it: pytest_plugins = ["voka.testing"].
Its fixtures:

    def test_alice_logs_in(voka_server):
        with voka.Client(voka_server.udp, voka_server.http) as client:
            assert client.login("alice", "alice-pass").logged_in

    @pytest.mark.parametrize("voka_server", ["silence"], indirect=True)
    def test_silent_server(voka_server): ...

voka_server is a RunningServer for one test. Its parameter is a fault mode
of voka-server (`voka-server --help` lists them), or a list of its extra
arguments. voka_session_server is one RunningServer for the whole session.
voka_remote_server names a server already running: the options --voka-udp
HOST:PORT and --voka-http URL, or the ini settings voka_udp and voka_http;
a test that takes it is skipped when neither names one.

The server is the voka-server that --voka-server-exec PATH (or the ini
setting voka_server_exec) names, else $VOKA_SERVER's, else the PATH's. A
test that needs it fails when there is none, as a run that tested nothing
must not pass; --voka-skip-missing-server (or voka_skip_missing_server =
true) skips it instead. Its accounts are the file $VOKA_ACCOUNTS names, else
the sample accounts installed beside it. It stops when the process that
started it ends, however that ends, and lives as long as that process: the
thread that entered it may end before."""
import ctypes
import os
import queue
import select
import shutil
import signal
import subprocess
import tempfile
import threading
from dataclasses import dataclass
from typing import IO, Any, Callable, Dict, List, Optional, Sequence, Tuple, Union, cast

SERVER_VARIABLE = "VOKA_SERVER"
ACCOUNTS_VARIABLE = "VOKA_ACCOUNTS"
# Where the sample accounts lie from voka-server's folder, in a build tree and installed.
SAMPLE_ACCOUNTS_FROM_BINARY = os.path.join("..", "share", "voka-tools", "accounts.sample")


@dataclass(frozen=True)
class Account:
    """One account of the server: user and password, the USB token's secret
    (hex) when it needs the token, the rows of its matrix card when it has one."""
    user: str
    password: str
    ekey_secret: Optional[str] = None
    card: Optional[Tuple[Tuple[str, ...], ...]] = None

    def card_cell(self, position: str) -> str:
        """The card's text at a POSITION such as "B3" (column letter, row from 1)."""
        return (self.card or ())[int(position[1:]) - 1][ord(position[0].upper()) - ord("A")]


def read_accounts(path: str) -> Dict[str, Account]:
    """The accounts of a voka-server account file, by user."""
    accounts = {}
    with open(path, encoding="utf-8") as lines:
        for line in lines:
            words = _account_words(line)
            if len(words) < 2 or words[0].startswith("#"):
                continue
            options = dict(word.split("=", 1) for word in words[2:] if "=" in word)
            card = options.get("card")
            accounts[words[0]] = Account(words[0], words[1], options.get("ekey"),
                                         tuple(tuple(row.split(",")) for row in card.split("/")) if card else None)
    return accounts


def _account_words(line: str) -> List[str]:
    """A line's blank-separated fields; double quotes keep blanks, \\" and \\\\ escape."""
    words, word, quoted, escaped, started = [], "", False, False, False
    for char in line.strip():
        if escaped:
            word, escaped = word + char, False
        elif char == "\\" and quoted:
            escaped = True
        elif char == '"':
            quoted, started = not quoted, True
        elif char.isspace() and not quoted:
            if started or word:
                words.append(word)
            word, started = "", False
        else:
            word += char
    if started or word:
        words.append(word)
    return words


class RunningServer:
    """voka-server on loopback ports it chose (port 0), stopped on exit.

    accounts names an account file; None leaves the server to find its
    sample accounts by itself. udp: "127.0.0.1:PORT" for voka.Client; http:
    its base URL; https: the HTTPS base URL when started with --https, else
    None; accounts: the server's accounts by user; exit_status: set once
    stopped."""

    def __init__(self, arguments: Sequence[str] = (), binary: Optional[str] = None, accounts: Optional[str] = None,
                 env: Optional[Dict[str, str]] = None, start_seconds: float = 10) -> None:
        self.binary = binary or os.environ.get(SERVER_VARIABLE) or shutil.which("voka-server")
        if not self.binary or not os.access(self.binary, os.X_OK):
            raise FileNotFoundError("voka-server: %s; install the Debian package voka-tools, or set %s to its path"
                                    % ("not " + self.binary if self.binary else "not on the PATH", SERVER_VARIABLE))
        self.arguments = [self.binary, "--udp", "127.0.0.1:0", "--http", "127.0.0.1:0", *arguments]
        if accounts is not None:
            self.arguments += ["--accounts", accounts]
        self.accounts_file = accounts or os.path.join(os.path.dirname(os.path.realpath(self.binary)),
                                                      SAMPLE_ACCOUNTS_FROM_BINARY)
        self.env = env
        self.start_seconds = start_seconds
        self.exit_status: Optional[int] = None

    def __enter__(self) -> "RunningServer":
        self.accounts = read_accounts(self.accounts_file) if os.path.exists(self.accounts_file) else {}
        self._log = tempfile.TemporaryFile()
        self.process = _start_in_lasting_thread(self.arguments, stdout=subprocess.PIPE, stderr=self._log, env=self.env,
                                                preexec_fn=_dies_with(os.getpid()))
        self._stdout = cast(IO[bytes], self.process.stdout)
        ready, _, _ = select.select([self._stdout], [], [], self.start_seconds)
        line = self._stdout.readline().decode("utf-8", "replace") if ready else ""
        if not line.startswith("listening "):
            self.__exit__()
            raise RuntimeError("voka-server did not start: %r %s" % (line, self.log()))
        words = dict(word.split("=", 1) for word in line.split()[1:])
        self.udp = words["udp"]
        self.http = "http://" + words["http"]
        self.https = "https://" + words["https"] if "https" in words else None
        return self

    def __exit__(self, *exception: Any) -> None:
        if self.process.poll() is None:
            self.process.terminate()
        try:
            self.exit_status = self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.exit_status = self.process.wait()
        self._stdout.close()

    def alive(self) -> bool:
        return self.process.poll() is None

    def log(self) -> str:
        """What the server wrote to its standard error."""
        self._log.seek(0)
        return self._log.read().decode("utf-8", "replace")


@dataclass(frozen=True)
class RemoteServer:
    """A server running already: udp and http for voka.Client."""
    udp: str
    http: str


def server_arguments(parameter: Union[None, str, Sequence[str]]) -> Sequence[str]:
    """voka-server's extra arguments for voka_server's parameter: none, a
    fault mode, or the arguments themselves."""
    if parameter is None:
        return ()
    return ("--fault", parameter) if isinstance(parameter, str) else parameter


_starts: "queue.Queue[Tuple[Dict[str, Any], queue.Queue[Any]]]" = queue.Queue()
_starter_lock = threading.Lock()
_starter: Optional[threading.Thread] = None


def _start_in_lasting_thread(arguments: List[str], **options: Any) -> "subprocess.Popen[bytes]":
    """subprocess.Popen(arguments, **options) run by a thread that lasts as
    long as the process: the kernel's parent-death signal follows the thread
    that forked, not its process."""
    global _starter
    with _starter_lock:
        if _starter is None:
            _starter = threading.Thread(target=_start_servers, name="voka-server starter", daemon=True)
            _starter.start()
    answer: "queue.Queue[Any]" = queue.Queue(1)
    _starts.put((dict(options, args=arguments), answer))
    started = answer.get()
    if isinstance(started, BaseException):
        raise started
    return started  # type: ignore[no-any-return]


def _start_servers() -> None:
    while True:
        options, answer = _starts.get()
        try:
            answer.put(subprocess.Popen(**options))
        except Exception as failure:  # handed to the thread that asked
            answer.put(failure)


def _dies_with(parent: int) -> Callable[[], None]:
    """What the server runs before it starts: the kernel kills it when the
    thread that started it ends (Linux's PR_SET_PDEATHSIG), which lasts as
    long as the process, so that a test run that is killed leaves no server
    behind."""
    prctl = ctypes.CDLL(None, use_errno=True).prctl
    set_parent_death_signal = 1

    def die_with_parent() -> None:
        prctl(set_parent_death_signal, int(signal.SIGKILL))
        if os.getppid() != parent:  # it ended before the kernel was asked
            os._exit(1)
    return die_with_parent


def pytest_addoption(parser: Any) -> None:
    for service, example in (("udp", "HOST:PORT"), ("http", "URL")):
        what = "the %s service of a voka server running already (%s), for voka_remote_server" % (service, example)
        parser.addoption("--voka-" + service, metavar=example, help=what)
        parser.addini("voka_" + service, what)
    what = "the voka-server for voka_server and voka_session_server (else $%s's, else the PATH's)" % SERVER_VARIABLE
    parser.addoption("--voka-server-exec", metavar="PATH", help=what)
    parser.addini("voka_server_exec", what)
    what = "skip the tests that need voka-server when there is none, instead of failing them"
    parser.addoption("--voka-skip-missing-server", action="store_true", default=None, help=what)
    parser.addini("voka_skip_missing_server", what, type="bool", default=False)


def pytest_configure(config: Any) -> None:
    # The fixtures import pytest, which RunningServer does without.
    from voka import _fixtures
    if not config.pluginmanager.is_registered(_fixtures):
        config.pluginmanager.register(_fixtures, "voka.fixtures")
