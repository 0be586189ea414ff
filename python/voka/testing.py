"""pytest support: voka-server on free loopback ports for the length of a test.

In a conftest.py:

    pytest_plugins = ["voka.testing"]

then a test takes the fixture voka_server, a running RunningServer:

    def test_alice_logs_in(voka_server):
        with voka.Client(voka_server.udp, voka_server.http) as client:
            assert client.login("alice", "alice-pass").logged_in

    @pytest.mark.parametrize("voka_server", ["silence"], indirect=True)
    def test_silent_server(voka_server): ...

The parameter is a fault mode of voka-server (`voka-server --help` lists
them), or a list of its extra arguments. The server is voka-server from
$VOKA_SERVER, else from the PATH; its accounts are the file $VOKA_ACCOUNTS
names, else the sample accounts installed beside it."""
import os
import select
import shutil
import subprocess
import tempfile
from dataclasses import dataclass
from typing import Dict, Iterator, List, Optional, Sequence, Tuple, Union

import pytest

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
        return self.card[int(position[1:]) - 1][ord(position[0].upper()) - ord("A")]


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
        if not self.binary:
            raise FileNotFoundError("voka-server: not on the PATH and %s is not set" % SERVER_VARIABLE)
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
        self.process = subprocess.Popen(self.arguments, stdout=subprocess.PIPE, stderr=self._log, env=self.env)
        ready, _, _ = select.select([self.process.stdout], [], [], self.start_seconds)
        line = self.process.stdout.readline().decode("utf-8", "replace") if ready else ""
        if not line.startswith("listening "):
            self.__exit__()
            raise RuntimeError("voka-server did not start: %r %s" % (line, self.log()))
        words = dict(word.split("=", 1) for word in line.split()[1:])
        self.udp = words["udp"]
        self.http = "http://" + words["http"]
        self.https = "https://" + words["https"] if "https" in words else None
        return self

    def __exit__(self, *exception) -> None:
        if self.process.poll() is None:
            self.process.terminate()
        try:
            self.exit_status = self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.exit_status = self.process.wait()
        self.process.stdout.close()

    def alive(self) -> bool:
        return self.process.poll() is None

    def log(self) -> str:
        """What the server wrote to its standard error."""
        self._log.seek(0)
        return self._log.read().decode("utf-8", "replace")


@pytest.fixture
def voka_server(request) -> Iterator[RunningServer]:
    """voka-server for one test; parametrize indirectly with a fault mode
    ("silence", ...) or a list of extra arguments."""
    parameter: Union[None, str, Sequence[str]] = getattr(request, "param", None)
    if parameter is None:
        arguments: Sequence[str] = ()
    elif isinstance(parameter, str):
        arguments = ("--fault", parameter)
    else:
        arguments = parameter
    with RunningServer(arguments, accounts=os.environ.get(ACCOUNTS_VARIABLE)) as server:
        yield server
