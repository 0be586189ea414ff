"""Runs the real voka-server and voka-auth binaries for the end-to-end tests.

Paths come from the environment that CTest sets: VOKA_AUTH, VOKA_SERVER,
VOKA_ACCOUNTS (the sample account file) and VOKA_VECTORS_DIR. A Windows
voka-auth.exe runs through VOKA_AUTH_LAUNCHER, the project's wine-run and
its prefix.
"""
import json
import os
import re
import socket
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "python"))
from voka.testing import RunningServer  # noqa: E402

AUTH = os.environ["VOKA_AUTH"]
AUTH_COMMAND = [*os.environ.get("VOKA_AUTH_LAUNCHER", "").split(), AUTH]
ON_WINDOWS = AUTH.endswith(".exe")
SERVER = os.environ["VOKA_SERVER"]
ACCOUNTS = os.environ["VOKA_ACCOUNTS"]
VECTORS_DIR = os.environ.get("VOKA_VECTORS_DIR", "")
SCHEMAS_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs", "schemas")

BOB_SECRET = "626f622d746f6b656e2d736563726574"
NETWORK_ERROR = "网络连接出错"
AUTHEN_E_FAIL = -10332102
AUTHEN_E_EKEYPWD = -10332115


# The sample accounts and dora, whose card holds 57 in every cell: one run of
# voka-auth answers whatever position its own account login is asked (a
# position is answered only with the dynamic key of the login that asked).
SAME_CELL_USER = ("dora", "dora-pass", "57")
_accounts_folder = tempfile.TemporaryDirectory()
SAMPLE_AND_SAME_CELL_ACCOUNTS = os.path.join(_accounts_folder.name, "accounts")
with open(ACCOUNTS, encoding="utf-8") as _sample, open(SAMPLE_AND_SAME_CELL_ACCOUNTS, "w", encoding="utf-8") as _out:
    _out.write(_sample.read() + "\ndora dora-pass card=57,57/57,57\n")


def free_port(kind=socket.SOCK_DGRAM):
    """A loopback port that nothing listens on once this returns."""
    with socket.socket(socket.AF_INET, kind) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def matrix_card(user):
    """The rows of a user's matrix card, read from the sample account file."""
    with open(ACCOUNTS, encoding="utf-8") as f:
        for line in f:
            fields = line.split()
            if fields and fields[0] == user:
                for field in fields[2:]:
                    if field.startswith("card="):
                        return [row.split(",") for row in field[5:].split("/")]
    raise LookupError(user)


def card_cell(card, position):
    return card[int(position[1:]) - 1][ord(position[0]) - ord("A")]


# The time before each line of voka-server's log.
LOG_TIME = r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z "


class Server(RunningServer):
    """voka-server on free loopback ports (voka.testing's), with the plain
    addresses these tests send raw bytes to; log() without each line's time,
    timed_log() as written.

    accounts=None leaves the server to find its sample accounts by itself."""

    def __init__(self, *extra, accounts=ACCOUNTS, binary=SERVER, env=None):
        super().__init__(extra, binary=binary, accounts=accounts, env=env)

    def __enter__(self):
        super().__enter__()
        self.http_url, self.https_url = self.http, self.https
        self.http = self.http_url[len("http://"):]
        self.udp_address, self.http_address = ((host, int(port)) for host, port in
                                               (a.rsplit(":", 1) for a in (self.udp, self.http)))
        return self

    def timed_log(self):
        return super().log()

    def log(self):
        return re.sub("(?m)^" + LOG_TIME, "", self.timed_log())


class AuthRun:
    def __init__(self, completed):
        self.status = completed.returncode
        self.stdout = completed.stdout.decode("utf-8")
        # Wine itself, not voka-auth.exe, now and then writes this line as a
        # process ends (seen once in some hundred runs under Wine 8).
        self.stderr = re.sub(r"(?m)^wine client error:[0-9a-f]+: \n", "",
                             completed.stderr.decode("utf-8", "replace"))

    def json_lines(self):
        return [valid_json_output(line) for line in self.stdout.splitlines() if line]


def valid_json_output(line):
    """One line of voka-auth --json, checked against its command's schema in docs/schemas."""
    import jsonschema
    output = json.loads(line)
    form = {"seal": "text", "unseal": "text", "check": "check", "bench": "bench"}.get(output.get("command"), "result")
    with open(os.path.join(SCHEMAS_DIR, "voka-auth-%s.schema.json" % form), encoding="utf-8") as f:
        jsonschema.validate(output, json.load(f))
    return output


def run_auth(args, secret=None, timeout=None, stdin=subprocess.DEVNULL, ca_bundle=None):
    """voka-auth with args (a list of str); secret goes to the stand-in token,
    ca_bundle to VOKA_CA_BUNDLE; stdin is a file or a str fed to standard input."""
    env = dict(os.environ)
    for name, value in (("VOKA_SOFT_TOKEN_SECRET", secret), ("VOKA_CA_BUNDLE", ca_bundle)):
        env.pop(name, None)
        if value is not None:
            env[name] = value
    env.setdefault("VOKA_UDP_LOG", os.path.join(tempfile.gettempdir(), "voka-tools-test-udp.log"))
    feed = {"input": stdin.encode("utf-8")} if isinstance(stdin, str) else {"stdin": stdin}
    # Wine's programs share one wineserver with the tests running beside them, which can slow them many times over.
    timeout = timeout or (240 if ON_WINDOWS else 60)
    completed = subprocess.run([*AUTH_COMMAND, *args], capture_output=True, timeout=timeout, env=env, **feed)
    return AuthRun(completed)


# --- raw datagrams, for checking the server's wire format without the engine

def pack_header(length, command, sequence, fixed=(1, 0, 1), params=(0, 0)):
    return struct.pack(">IHIHHHHH", length, command, sequence, params[0], fixed[0], fixed[1], params[1], fixed[2])


def request_datagram(command, sequence, payload):
    return pack_header(len(payload) + 16, command, sequence) + payload


def unpack_header(datagram):
    length, command, sequence, param1, fixed1, fixed2, param2, fixed3 = struct.unpack(">IHIHHHHH", datagram[:20])
    return dict(length=length, command=command, sequence=sequence, param1=param1, fixed1=fixed1,
                fixed2=fixed2, param2=param2, fixed3=fixed3)


def answer_fields(payload, separator=b"\0"):
    fields = {}
    for piece in payload.split(separator):
        if b"=" in piece:
            name, value = piece.split(b"=", 1)
            fields[name.decode("ascii")] = value.decode("gbk")
    return fields


def exchange_datagram(address, datagram, wait=2.0):
    """Sends one datagram; the answer bytes, or None when none comes in time."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.settimeout(wait)
        s.sendto(datagram, address)
        try:
            return s.recv(65536)
        except socket.timeout:
            return None


def sealed(text):
    """The sealed form of text's bytes, made by voka-auth seal."""
    run = run_auth(["seal", text])
    assert run.status == 0, run.stderr
    return run.stdout.rstrip("\n").encode("ascii")


def http_exchange(address, request, wait=5.0, source=None):
    """Sends raw request bytes (from source, an address to bind to); everything
    the server sends until it closes."""
    with socket.create_connection(address, timeout=wait, source_address=source) as s:
        s.sendall(request)
        received = b""
        while True:
            chunk = s.recv(65536)
            if not chunk:
                return received
            received += chunk


def split_response(response):
    head, _, body = response.partition(b"\r\n\r\n")
    status = int(head.split(b" ")[1])
    return status, body


def wait_until(predicate, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(0.05)
    return predicate()
