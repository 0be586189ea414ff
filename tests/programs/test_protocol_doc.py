"""Every example of docs/protocol.md, checked against the real client.

Each example block follows a comment <!-- check: KIND ARGS -->:
  key PHRASE      the key derived from PHRASE, as in the seal vectors
  seal            pairs of lines: parameter text, sealed text (voka-auth seal and unseal)
  udp ARGS        datagrams in hex: "request" ones must be what voka-auth ARGS sends,
                  "answer" ones are sent back to it in turn
  http ARGS       "GET target" lines must be what voka-auth ARGS requests (after UDP
                  went unanswered); each line after one is the body sent back
  reads-as        "result N" and the NAME=value fields of the last command of the
                  example before it

Numbers that documents state (DOCUMENTED_NUMBERS: protocol.md's limits table
among them) are checked against the constants that hold them, and the
environment variables documented against those the code reads.
"""
import http.server
import os
import re
import shlex
import socket
import textwrap
import threading
import unittest

from voka_programs import VECTORS_DIR, free_port, run_auth

DOC = os.environ["VOKA_PROTOCOL_DOC"]
# The machine's own addresses differ from the example's.
MACHINE_FIELDS = re.compile(r"(CLIENTIP|MAC)=[^&]*")


def examples():
    """(kind, args, block lines) for each checked block, in document order."""
    with open(DOC, encoding="utf-8") as f:
        text = f.read()
    found = re.findall(r"<!-- check: (\S+)(.*?) -->\s*```text\n(.*?)```", text, re.S)
    return [(kind, shlex.split(args), textwrap.dedent(block).splitlines()) for kind, args, block in found]


def datagrams(lines):
    """[(direction, bytes)] from a hex dump; a line's hex ends at three blanks."""
    result = []
    for line in lines:
        if line.startswith(("request", "answer")):
            result.append((line.split(",")[0], bytearray()))
            continue
        pairs = line.split("   ")[0].split()
        assert all(re.fullmatch("[0-9A-F]{2}", p) for p in pairs), line
        result[-1][1].extend(bytes.fromhex("".join(pairs)))
    return [(direction, bytes(data)) for direction, data in result]


def json_outcome(run):
    last = run.json_lines()[-1]
    return last["result"], last["fields"]


class ProtocolDocumentExamples(unittest.TestCase):
    def test_examples(self):
        self.outcome = None
        checks = examples()
        self.assertEqual({kind for kind, _, _ in checks}, {"key", "seal", "udp", "http", "reads-as"})
        for kind, args, lines in checks:
            with self.subTest(kind=kind, args=args):
                getattr(self, "check_" + kind.replace("-", "_"))(args, lines)

    def check_key(self, args, lines):
        with open(os.path.join(VECTORS_DIR, "seal.tsv"), encoding="utf-8") as f:
            vectors = [line.rstrip("\n").split("\t") for line in f if not line.startswith("#")]
        self.assertIn(["MakeKey", args[0], lines[0]], vectors)

    def check_seal(self, args, lines):
        self.assertEqual(len(lines) % 2, 0)
        for text, sealed in zip(lines[::2], lines[1::2]):
            run = run_auth(["--json", "seal", text, "unseal", sealed])
            self.assertEqual(run.status, 0, run.stderr)
            self.assertEqual([line["text"] for line in run.json_lines()], [sealed, text])

    def check_udp(self, args, lines):
        script = datagrams(lines)
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as server:
            server.bind(("127.0.0.1", 0))
            server.settimeout(10)
            port = server.getsockname()[1]
            outcome = {}
            client = threading.Thread(target=lambda: outcome.update(run=run_auth(
                ["--json", "--udp", "127.0.0.1:%d" % port, "--timeout", "5", *args])))
            client.start()
            sender = None
            for direction, data in script:
                # An answer shown without its request goes back to whatever came.
                if direction == "request" or sender is None:
                    received, sender = server.recvfrom(4096)
                if direction == "request":
                    self.assertEqual(received.hex(" "), data.hex(" "))
                else:
                    server.sendto(data, sender)
            client.join()
        self.outcome = json_outcome(outcome["run"])

    def check_http(self, args, lines):
        expected, answers = [], {}
        for line in lines:
            if line.startswith("GET "):
                expected.append(MACHINE_FIELDS.sub(r"\1=*", line[4:]))
            else:
                answers[expected[-1]] = line.encode("gbk")
        requested = []

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                target = MACHINE_FIELDS.sub(r"\1=*", self.path)
                requested.append(target)
                body = answers.get(target, b"")
                self.send_response(200)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *_):
                pass

        with http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler) as server:
            threading.Thread(target=server.serve_forever, daemon=True).start()
            base = "http://127.0.0.1:%d" % server.server_address[1]
            run = run_auth(["--json", "--udp", "127.0.0.1:%d" % free_port(), "--timeout", "1",
                            "--http", base, *args])
            server.shutdown()
        self.assertEqual(requested, expected)
        self.outcome = json_outcome(run)

    def check_reads_as(self, args, lines):
        self.assertIsNotNone(self.outcome, "reads-as follows no exchange")
        fields = dict(line.split("=", 1) for line in lines[1:])
        self.assertEqual(self.outcome, (int(lines[0].split()[1]), fields))


ROOT = os.path.dirname(os.path.dirname(os.path.abspath(DOC)))
# (document, phrase with {} for the number, source file, constant, divisor).
LIMITS = "include/voka/limits.h"
SERVER_LIMITS = "programs/voka-server/server_limits.h"
DOCUMENTED_NUMBERS = [
    ("protocol.md", "(payload {})", LIMITS, "kUdpMaxPayload", 1),
    ("protocol.md", "less than {} bytes, header included", LIMITS, "kUdpAnswerLimit", 1),
    ("protocol.md", "answer wait over UDP | {} seconds", LIMITS, "kDefaultUdpTimeOutSeconds", 1),
    ("protocol.md", "HTTP silence | {} seconds", LIMITS, "kHttpReceiveTimeOutMs", 1000),
    ("protocol.md", "HTTP request in all | {} seconds", LIMITS, "kHttpRequestTimeOutMs", 1000),
    ("protocol.md", "HTTP answer body | {} MiB", LIMITS, "kHttpBodyLimit", 1 << 20),
    ("protocol.md", "redirects | {} |", LIMITS, "kHttpMaxRedirects", 1),
    ("protocol.md", "It decodes port {};", LIMITS, "kDefaultUdpPort", 1),
    ("behaviour.md", "past {} MiB", LIMITS, "kUdpLogRestartSize", 1 << 20),
    ("behaviour.md", "gives up after {} seconds", LIMITS, "kHttpReceiveTimeOutMs", 1000),
    ("behaviour.md", "follows at most {} redirects", LIMITS, "kHttpMaxRedirects", 1),
    ("behaviour.md", "lasts at most {} seconds", LIMITS, "kHttpRequestTimeOutMs", 1000),
    ("behaviour.md", "a body past {} MiB", LIMITS, "kHttpBodyLimit", 1 << 20),
    ("behaviour.md", "would pass {} bytes", LIMITS, "kLongestDatagramText", 1),
    ("behaviour.md", "whose URL would pass {}", LIMITS, "kLongestUrl", 1),
    ("behaviour.md", "more than {} characters", LIMITS, "kLongestUrl", 1),
    ("behaviour.md", "fills all {} bytes", "usbclient/usb_client.h", "kUsbPasswordBufferSize", 1),
    ("behaviour.md", "shorter than its {}-byte header", LIMITS, "kUdpHeaderSize", 1),
    ("behaviour.md", "(`com_cycles_test`: {:,})", "tests/endurance/com_cycles_test.cpp", "kLoadCycles", 1),
    ("testing.md", "CI runs {} logins", "tests/endurance/login_endurance_test.cpp", "kDefaultLogins", 1),
    ("testing.md", "{} create/call/release cycles", "tests/endurance/com_cycles_test.cpp", "kDefaultCycles", 1),
    ("testing.md", "{:,} loads and unloads", "tests/endurance/com_cycles_test.cpp", "kLoadCycles", 1),
    ("voka-auth.md", "at most {} bytes and", LIMITS, "kLongestInputLine", 1),
    ("voka-auth.md", "Exit status: {} when", "programs/voka-auth/auth_options.h", "kExitSuccess", 1),
    ("voka-auth.md", "; {} at the first command", "programs/voka-auth/auth_options.h", "kExitCommandFailed", 1),
    ("voka-auth.md", "; {} for a usage error", "programs/voka-auth/auth_options.h", "kExitUsage", 1),
    ("voka-auth.md", "one for each {} logins in flight", "loadgen/bench_socket_logins.cpp", "kLoginsPerWorker",
     1),
    ("voka-auth.md", "gather for {} µs first", "loadgen/bench_socket_logins.cpp", "kRoundSpacing", 1),
    ("voka-auth.md", "after {} wrong passwords its", SERVER_LIMITS, "kWrongPasswordsBeforeWait", 1),
    ("voka-auth.md", "get 1012 for {} minute,", SERVER_LIMITS, "kPasswordWait", 1),
    ("voka-auth.md", "; {} when UDP works but", "programs/voka-auth/connection_check.h", "kExitFallbackBroken", 1),
    ("voka-server.md", "shorter than {} bytes", LIMITS, "kUdpHeaderSize", 1),
    ("voka-server.md", "up to {} datagrams a call", SERVER_LIMITS, "kDatagramsPerCall", 1),
    ("voka-server.md", "`getrandom` {} at a time", "programs/voka-server/system_random_posix.cpp", "kBlockValues", 1),
    ("voka-server.md", "over {} KiB 431", SERVER_LIMITS, "kLargestRequestHead", 1024),
    ("voka-server.md", "within {} s is closed", SERVER_LIMITS,
     "kRequestDeadline", 1),
    ("voka-server.md", "holds at most {} connections", SERVER_LIMITS,
     "kWaitingPerAddress", 1),
    ("voka-server.md", "when {} connections wait", SERVER_LIMITS, "kMaxWaiting", 1),
    ("voka-server.md", "holds at most {} connections, and", SERVER_LIMITS,
     "kMaxConnections", 1),
    ("voka-server.md", "over {} minutes old", SERVER_LIMITS, "kGuidLifetime", 1),
    ("voka-server.md", "more than {} minute ahead", SERVER_LIMITS, "kKeyClockSkew", 1),
    ("voka-server.md", "secret rotates every {} minutes", SERVER_LIMITS, "kKeySecretPeriod", 1),
    ("voka-server.md", "(at most {} an account", SERVER_LIMITS, "kPendingFactorsPerAccount", 1),
    ("voka-server.md", "has at most {} pending at once", SERVER_LIMITS, "kPendingFactorsPerAccount", 1),
    ("voka-auth.md", "up to {} waiting for their second factor", SERVER_LIMITS, "kPendingFactorsPerAccount", 1),
    ("voka-server.md", "After {} wrong passwords", SERVER_LIMITS,
     "kWrongPasswordsBeforeWait", 1),
    ("voka-server.md", "within {} minute, that", SERVER_LIMITS, "kWrongPasswordWindow", 1),
    ("voka-server.md", "1012 for {} minute", SERVER_LIMITS, "kPasswordWait", 1),
    ("voka-server.md", "at most {:,} addresses", SERVER_LIMITS, "kMaxPasswordGuards", 1),
    ("voka-server.md", "GUID and lasts {} minutes", SERVER_LIMITS, "kPendingLifetime", 1),
    ("voka-server.md", "locked for {} minutes after", SERVER_LIMITS, "kFactorLockTime", 1),
    ("voka-server.md", "after {} wrong e-key passwords", SERVER_LIMITS, "kWrongFactorAnswersBeforeLock", 1),
    ("voka-server.md", "get this for {} minute |", SERVER_LIMITS, "kPasswordWait", 1),
    ("voka-server.md", "`--slow-seconds`, default {})", SERVER_LIMITS, "kDefaultSlowSeconds", 1),
    ("security.md", "sends {} wrong passwords", SERVER_LIMITS, "kWrongPasswordsBeforeWait", 1),
    ("security.md", "minute waits {} minute", SERVER_LIMITS, "kPasswordWait", 1),
    ("voka-server.md", "`oversized` ({}-byte", "programs/voka-server/fault_modes.h", "kOversizedDatagram", 1),
    ("voka-server.md", "`truncated` ({}-byte", "programs/voka-server/fault_modes.h", "kTruncatedDatagram", 1),
    ("voka-server.md", "(`dwLength` {})", "programs/voka-server/fault_modes.h", "kLyingLength", 1),
]


def constant(path, name):
    """The number a constant is defined with: "= 10", "{5}", "= std::chrono::seconds(5)", "1u << 20"."""
    with open(os.path.join(ROOT, path), encoding="utf-8") as f:
        found = re.search(r"\b%s\s*(?:=\s*(?:[\w:]+\()?|\{)\s*(\d+)[uUlL]*(?:\s*<<\s*(\d+))?" % name, f.read())
    assert found, "%s defines no %s" % (path, name)
    return int(found[1]) << int(found[2] or 0)


def document_text(name):
    with open(os.path.join(ROOT, "docs", name), encoding="utf-8") as f:
        return f.read()


def document(name):
    """The document's text with each run of blanks and line breaks as one blank."""
    return " ".join(document_text(name).split())


class DocumentedNumbers(unittest.TestCase):
    def test_numbers_are_the_code_s(self):
        for doc, phrase, path, name, divisor in DOCUMENTED_NUMBERS:
            with self.subTest(doc=doc, phrase=phrase):
                expected = phrase.format(constant(path, name) // divisor)
                self.assertTrue(expected in document(doc), "%s does not say %r" % (doc, expected))

    def test_login_walk_names_what_each_file_defines(self):
        """developing.md's walk through a login: each file defines the function its row names, in eight files at most."""
        rows = re.findall(r"^\| \d+ \| [^|]+ \| `([^`]+)` \| `([^`]+)` \|$", document_text("developing.md"), re.M)
        self.assertLessEqual(len({path for path, _ in rows}), 8)
        for path, function in rows:
            with self.subTest(path=path, function=function):
                with open(os.path.join(ROOT, path), encoding="utf-8") as f:
                    definition = r"^\s*(?!return\b)(?:[\w:<>&*]+\s+)+\**%s\([^;]*$" % re.escape(function)
                    self.assertRegex(f.read(), re.compile(definition, re.M))

    def test_new_kind_table_lists_every_switch_over_the_kinds(self):
        """Each switch over RequestKind, where a new kind fails the build, is in a file of developing.md's table."""
        section = document_text("developing.md").split("## A new kind of request", 1)[1].split("\n## ", 1)[0]
        listed = set()
        for cell in re.findall(r"^\| (`[^|]+) \|", section, re.M):
            paths = re.findall(r"`([^`]+)`", cell)
            listed |= {path if "/" in path else os.path.join(os.path.dirname(paths[0]), path) for path in paths}
        switching = set()
        for folder, subfolders, files in os.walk(ROOT):
            subfolders[:] = [name for name in subfolders if name not in ("build", "tests", ".git")]
            for name in files:
                if name.endswith((".cpp", ".h")):
                    path = os.path.join(folder, name)
                    with open(path, encoding="utf-8") as f:
                        if re.search(r"switch \([^)]*\) \{\s*case RequestKind::", f.read()):
                            switching.add(os.path.relpath(path, ROOT))
        self.assertGreaterEqual(len(switching), 5)
        self.assertEqual(switching - listed, set())
        self.assertLessEqual(len(listed), 12)

    def test_environment_variables_are_those_the_code_reads(self):
        read = set()
        for folder, subfolders, files in os.walk(ROOT):
            subfolders[:] = [name for name in subfolders if name not in ("build", "tests", ".git")]
            for name in files:
                if name.endswith((".cpp", ".h", ".py")):
                    with open(os.path.join(folder, name), encoding="utf-8") as f:
                        read |= set(re.findall(r"(?:getenv\(|Variable\[\] = |VARIABLE = )[\"'](VOKA_[A-Z_]+)", f.read()))
        table = document("behaviour.md").split("## Environment", 1)[1]
        self.assertEqual(set(re.findall(r"`(VOKA_[A-Z_]+)`", table)), read)


if __name__ == "__main__":
    unittest.main()
