"""voka-auth as a command: usage errors, --help, --version, exit statuses, seal/unseal, bench, check."""
import csv
import json
import os
import pty
import re
import resource
import signal
import socket
import subprocess
import tempfile
import threading
import unittest

from voka_programs import (ACCOUNTS, AUTH, AUTH_COMMAND, AUTHEN_E_FAIL, BOB_SECRET, LOG_TIME, NETWORK_ERROR, ON_WINDOWS,
                           SERVER, VECTORS_DIR, Server, free_port, pack_header, run_auth, unpack_header,
                           valid_json_output, wait_until)

MAKE_CERTIFICATES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "make_test_certificates.sh")
PASSWORD_FROM_INPUT = ["static", "--user", "u", "--password", "-"]


class UsageErrors(unittest.TestCase):
    def assertUsageError(self, args, word, stdin=subprocess.DEVNULL):
        run = run_auth(args, stdin=stdin)
        self.assertEqual(run.status, 2, run.stdout + run.stderr)
        self.assertEqual(run.stdout, "")
        lines = run.stderr.splitlines()
        self.assertEqual(len(lines), 1, run.stderr)
        self.assertIn(word, lines[0])

    def test_bad_words_are_named(self):
        self.assertUsageError([], "no command")
        self.assertUsageError(["frobnicate"], "frobnicate")
        self.assertUsageError(["--colour", "dynamic-key"], "--colour")
        self.assertUsageError(["dynamic-key", "--user", "x"], "--user")
        self.assertUsageError(["static", "--user", "u", "--app", "1"], "--password")
        self.assertUsageError(["ekey", "--user", "u", "--ekey-password", "p"], "--ekey-type")
        self.assertUsageError(["ecard", "--user", "u"], "--ecard-answer")
        self.assertUsageError(["dynamic-key", "--indication"], "--indication")
        self.assertUsageError(["--timeout", "soon", "dynamic-key"], "soon")
        self.assertUsageError(["dynamic-key", "--codepage", "0"], "0")
        self.assertUsageError(["--codepage", "12345", "dynamic-key"], "12345")
        self.assertUsageError(["get"], "NAME")
        self.assertUsageError(["dynamic-key", "stray"], "stray")
        self.assertUsageError(["check", "--user", "u"], "--user")
        if ON_WINDOWS:  # WinINet trusts the system's certificate store alone
            self.assertUsageError(["--cacert", "ca.pem", "check"], "--cacert: https here trusts the system's")
        self.assertUsageError(PASSWORD_FROM_INPUT, "longer than 4096 bytes", stdin="x" * 4097 + "\n")
        self.assertUsageError(PASSWORD_FROM_INPUT, "holds a NUL byte", stdin="alice-pass\0anything\n")
        bench = ["bench", "--rate", "1", "--duration", "1"]
        self.assertUsageError([*bench, "--user", "u", "--password", "p", "--concurrency", "1001"], "1001")
        self.assertUsageError(["bench", "--rate", "0", "--duration", "1", "--user", "u", "--password", "p"], "0")
        self.assertUsageError([*bench, "--user", "u", "--password", "p", "--accounts", ACCOUNTS], "either")
        self.assertUsageError([*bench, "--user", "u"], "either")
        self.assertUsageError([*bench, "--user", "u", "--password", "p", "--client", "fast"], "fast")

    def test_help_lists_every_command_and_option(self):
        run = run_auth(["--help"])
        self.assertEqual(run.status, 0)
        for word in ["dynamic-key", "static", "ekey", "ecard", "login", "get", "NAME", "seal", "TEXT", "unseal",
                     "BASE64", "check", "--udp", "--http", "--cacert", "--timeout", "--codepage", "--json", "-v", "--user",
                     "--password", "--app", "--area", "--check-code", "--indication", "--ekey-password", "--ekey-type",
                     "--ecard-answer", "bench", "--rate", "--duration", "--concurrency", "--accounts", "--csv",
                     "--client", "--warm-up", "--max-p99", "--max-failures", "--show-secrets", "Exit status"]:
            self.assertIn(word, run.stdout)

    def test_help_after_a_command_word(self):
        for args in (["static", "--help"], ["login", "--user", "u", "-h"]):
            run = run_auth(args)
            self.assertEqual((run.status, run.stderr), (0, ""), args)
            self.assertIn("Exit status", run.stdout)

    def test_version_of_both_tools_is_the_project_version(self):
        for name, command in (("voka-auth", AUTH_COMMAND), ("voka-server", [SERVER])):
            run = subprocess.run([*command, "--version"], capture_output=True, timeout=30)
            self.assertEqual((run.returncode, run.stdout, run.stderr),
                             (0, ("%s %s\n" % (name, os.environ["VOKA_VERSION"])).encode(), b""))


class ExitStatuses(unittest.TestCase):
    def test_first_failing_command_stops_the_run(self):
        closed = ["--udp", "127.0.0.1:%d" % free_port(), "--http", "http://127.0.0.1:%d" % free_port(),
                  "--timeout", "1", "--json"]
        run = run_auth([*closed, "dynamic-key", "get", "DESCMSG"])
        self.assertEqual(run.status, 1)
        lines = run.json_lines()
        self.assertEqual(len(lines), 1)
        # Wine does not tell a closed port, as Windows does.
        cause = {"udp": "no-answer" if ON_WINDOWS else "port-unreachable", "http": "no-connection",
                 "text": "no connection to the server"}
        self.assertEqual(lines[0], {"schema": 2, "command": "dynamic-key", "result": AUTHEN_E_FAIL,
                                    "fields": {"DESCMSG": NETWORK_ERROR}, "cause": cause})

    def test_global_options_before_or_after_the_command_words(self):
        with Server() as server:
            login = ["login", "--user", "alice", "--password", "alice-pass"]
            for args in (["--udp", server.udp, "--json", *login], [*login, "--json", "--udp", server.udp],
                         ["dynamic-key", "--udp", server.udp, "static", "--json", "--user", "alice", "--password",
                          "alice-pass"]):
                run = run_auth(args)
                self.assertEqual((run.status, [line["command"] for line in run.json_lines()]),
                                 (0, ["dynamic-key", "static"]), args)

    def test_login_succeeds_only_when_the_user_is_logged_in(self):
        with Server() as server:
            run = run_auth(["--udp", server.udp, "login", "--user", "carol", "--password", "carol-pass"])
        self.assertEqual(run.status, 1, run.stdout)
        self.assertIn("  AUTHENSTATE=2\n", run.stdout)
        self.assertEqual(run.stderr, "voka-auth: login: not logged in: AUTHENSTATE is 2, not 1\n")

    def test_quiet_server_logs_refusals_and_a_last_line_with_the_counts(self):
        with Server("--quiet") as server:
            for password in ("carol-pass", "wrong"):
                run_auth(["--udp", server.udp, "login", "--user", "carol", "--password", password, "--app", "1",
                          "--area", "1"])
        self.assertEqual(server.exit_status, 0)
        self.assertRegex(server.timed_log(), r"^(%s.*\n){3}$" % LOG_TIME)
        self.assertRegex(server.log(), r"^voka-server: \d+ accounts from .*\nudp .* user=carol -> RETVALUE=1004\n"
                         r"voka-server: stopping after 4 requests: 3 answered, 1 refused or dropped\n$")


@unittest.skipIf(ON_WINDOWS, "a pseudo-terminal and core limits are POSIX's")
class WaitsAndSecrets(unittest.TestCase):
    def test_a_long_wait_is_told_on_a_terminal_only(self):
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as silent:
            silent.bind(("127.0.0.1", 0))
            udp = "127.0.0.1:%d" % silent.getsockname()[1]
            args = [AUTH, "--udp", udp, "--http", "http://127.0.0.1:%d" % free_port(socket.SOCK_STREAM),
                    "--timeout", "2", "dynamic-key"]
            self.assertNotIn("waiting", run_auth(args[1:]).stderr)
            master, terminal = pty.openpty()
            with subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=terminal):
                os.close(terminal)
                said = b""
                while chunk := self.read_terminal(master):
                    said += chunk
            os.close(master)
        self.assertEqual(said.decode(), "voka-auth: waiting up to 2 s for an answer from %s over UDP\r\n"
                         "voka-auth: dynamic-key: cause: udp no-answer, then http no-connection: no connection to the "
                         "server\r\n" % udp)

    def test_unseal_escapes_control_bytes_on_a_terminal_alone(self):
        sealed = run_auth(["seal", "a\x1b[2Jb\rc"]).stdout[:-1]
        self.assertEqual(run_auth(["unseal", sealed]).stdout, "a\x1b[2Jb\rc\n")
        master, terminal = pty.openpty()
        subprocess.run([AUTH, "unseal", sealed], stdout=terminal, timeout=60)
        os.close(terminal)
        said = b""
        while chunk := self.read_terminal(master):
            said += chunk
        os.close(master)
        self.assertEqual(said, b"a\\x1B[2Jb\\x0Dc\r\n")

    def test_a_result_that_cannot_be_written_fails_the_run(self):
        with Server() as server:
            endpoints = ["--udp", server.udp, "--http", server.http_url]
            for args in (["--version"], ["--json", "seal", "abc"], [*endpoints, "--json", "dynamic-key"],
                         [*endpoints, "--json", "check"], [*endpoints, "login", "--user", "alice", "--password",
                                                           "alice-pass"],
                         [*endpoints, "--json", "bench", "--rate", "2", "--duration", "1", "--user", "alice",
                          "--password", "alice-pass"]):
                with open("/dev/full", "wb") as full:
                    run = subprocess.run([AUTH, *args], stdout=full, stderr=subprocess.PIPE, timeout=60)
                self.assertEqual((run.returncode, run.stderr),
                                 (1, b"voka-auth: cannot write the result to standard output\n"), args)

    @staticmethod
    def read_terminal(master):
        try:
            return os.read(master, 4096)
        except OSError:  # EIO: voka-auth has ended
            return b""

    def test_no_core_dump_while_a_secret_is_read(self):
        def allow_cores():
            hard = resource.getrlimit(resource.RLIMIT_CORE)[1]
            resource.setrlimit(resource.RLIMIT_CORE, (hard, hard))

        with tempfile.TemporaryDirectory() as folder:
            process = subprocess.Popen([AUTH, *PASSWORD_FROM_INPUT], stdin=subprocess.PIPE, cwd=folder,
                                       preexec_fn=allow_cores)
            limits = "/proc/%d/limits" % process.pid
            self.assertTrue(wait_until(lambda: re.search(r"Max core file size +0 +0 ", open(limits).read()), 10))
            process.send_signal(signal.SIGABRT)
            _, status = os.waitpid(process.pid, 0)
            process.returncode = os.waitstatus_to_exitcode(status)
            process.stdin.close()
            self.assertEqual((os.WTERMSIG(status), os.WCOREDUMP(status), os.listdir(folder)), (signal.SIGABRT, False, []))


class Bench(unittest.TestCase):
    """Short runs against voka-server: the counts add up, whatever the timing."""

    def test_logins_are_counted_by_outcome(self):
        closed_http = "http://127.0.0.1:%d" % free_port(socket.SOCK_STREAM)
        alice = ["--user", "alice", "--password", "-"]
        # server options, bench options, password line, HTTP base (None: the server's), outcomes, refusals,
        # failures by cause (by cause, never by how long: a refusal has none; the load client stays on UDP, the
        # engine falls back to HTTP, whose closed port is no connection)
        cases = [
            ((), ["--accounts", ACCOUNTS, "--concurrency", "1"], "", None, {"ok"}, {}, {}),
            ((), alice, "alice-pass\n", None, {"ok"}, {}, {}),
            ((), [*alice, "--client", "engine"], "alice-pass\n", None, {"ok"}, {}, {}),
            ((), alice, "wrong\n", None, {"refused"}, {"1004": 5, "1012": 3}, {}),
            (("--fault", "silence"), alice, "alice-pass\n", closed_http, {"no-answer"}, {}, {"no-answer": 8}),
            (("--fault", "silence"), [*alice, "--client", "engine"], "alice-pass\n", closed_http, {"no-answer"}, {},
             {"no-connection": 8}),
            ((), [*alice, "--warm-up", "1"], "alice-pass\n", None, {"ok"}, {}, {}),  # its 8 logins in no figure
        ]
        for server_options, options, password, http, outcomes, refused, causes in cases:
            with Server(*server_options) as server, tempfile.TemporaryDirectory() as folder:
                rows_file = os.path.join(folder, "logins.csv")
                run = run_auth(["--udp", server.udp, "--http", http or server.http_url, "--timeout", "1", "--json",
                                "bench", "--rate", "8", "--duration", "1", "--concurrency", "8", *options,
                                "--csv", rows_file], secret=BOB_SECRET, stdin=password)
                rows = self.read_rows(rows_file)
            figures = self.assertCountsAddUp(run.stdout, run.stderr, rows)
            self.assertEqual((run.status, figures["started"]), (0 if outcomes == {"ok"} else 1, 8), run.stderr)
            self.assertEqual({row["outcome"] for row in rows}, outcomes)
            self.assertEqual(figures["refused_by_retvalue"], refused)
            self.assertEqual(figures["failures_by_cause"], causes)
            self.assertEqual(sorted(row["retvalue"] for row in rows if row["retvalue"]),
                             sorted(value for value, count in refused.items() for _ in range(count)))

    def test_a_closed_port_fails_the_logins_in_flight_at_once(self):
        closed = ["--udp", "127.0.0.1:%d" % free_port(socket.SOCK_DGRAM),
                  "--http", "http://127.0.0.1:%d" % free_port(socket.SOCK_STREAM)]
        # Wine does not tell a closed port, as Windows does: there the logins wait out the time-out.
        run = run_auth([*closed, "--timeout", "1" if ON_WINDOWS else "60", "--json", "bench", "--rate", "8",
                        "--duration", "1", "--concurrency", "8", "--user", "alice", "--password", "-"],
                       stdin="alice-pass\n")
        figures = json.loads(run.stdout)
        self.assertEqual(figures["failures_by_cause"], {"no-answer" if ON_WINDOWS else "port-unreachable": 8},
                         run.stderr)
        if not ON_WINDOWS:  # a told error is read once: a worker woken by it again and again would spin
            self.assertLess(figures["cpu_us_per_login"], 20000)

    def test_thresholds_decide_the_exit_status(self):
        closed = ["--udp", "127.0.0.1:%d" % free_port(socket.SOCK_DGRAM),
                  "--http", "http://127.0.0.1:%d" % free_port(socket.SOCK_STREAM)]
        with Server() as server:
            up = ["--udp", server.udp]
            # endpoints, thresholds, exit status, thresholds crossed (8 logins; closed: all 8 fail)
            cases = [(up, ["--max-p99", "60000"], 0, 0), (up, ["--max-p99", "0.001"], 4, 1),
                     (closed, ["--max-failures", "8"], 0, 0), (closed, ["--max-failures", "7"], 4, 1),
                     (closed, ["--max-failures", "100%"], 0, 0), (closed, ["--max-failures", "87.5%"], 4, 1),
                     (closed, ["--max-p99", "0.001", "--max-failures", "0"], 4, 2), (closed, [], 1, 0)]
            for endpoints, thresholds, status, crossed in cases:
                run = run_auth([*endpoints, "--timeout", "1", "--json", "bench", "--rate", "8", "--duration", "1",
                                "--user", "alice", "--password", "alice-pass", *thresholds])
                figures = valid_json_output(run.stdout)
                self.assertEqual((run.status, len(figures["thresholds_crossed"]), len(run.stderr.splitlines())),
                                 (status, crossed, crossed), thresholds)
                # Without --concurrency, room for the logins of three time-outs: the loop stays open.
                self.assertEqual(figures["concurrency"], 8 * 3)

    def test_latency_counts_from_when_a_login_was_due(self):
        with Server("--fault", "silence") as server, tempfile.TemporaryDirectory() as folder:
            rows_file = os.path.join(folder, "logins.csv")
            run_auth(["--udp", server.udp, "--http", "http://127.0.0.1:%d" % free_port(socket.SOCK_STREAM),
                      "--timeout", "1", "bench", "--rate", "2", "--duration", "2", "--concurrency", "1", "--user",
                      "alice", "--password", "alice-pass", "--csv", rows_file])
            rows = sorted(self.read_rows(rows_file), key=lambda row: float(row["scheduled_start_s"]))
        # Due at 0.5 s, the second login starts once the first has waited out its second.
        self.assertGreaterEqual(float(rows[1]["latency_ms"]), 1500)

    @unittest.skipIf(ON_WINDOWS, "/dev/full is Linux's")
    def test_a_csv_file_that_cannot_be_written_is_a_usage_error(self):
        with Server() as server:
            run = run_auth(["--udp", server.udp, "bench", "--rate", "2", "--duration", "1", "--user", "alice",
                            "--password", "alice-pass", "--csv", "/dev/full"])
        self.assertEqual(run.status, 2)
        self.assertIn("cannot write /dev/full", run.stderr)

    @unittest.skipIf(ON_WINDOWS, "a pseudo-terminal and SIGINT are POSIX's")
    def test_progress_on_a_terminal_and_ctrl_c_stops_with_the_figures_so_far(self):
        with Server() as server, tempfile.TemporaryDirectory() as folder:
            rows_file = os.path.join(folder, "logins.csv")
            master, terminal = pty.openpty()
            bench = subprocess.Popen([AUTH, "--udp", server.udp, "--json", "bench", "--rate", "200", "--duration",
                                      "600", "--user", "alice", "--password", "alice-pass", "--csv", rows_file],
                                     stdout=subprocess.PIPE, stderr=terminal, text=True,
                                     env=dict(os.environ, VOKA_UDP_LOG=os.path.join(folder, "udp.log")))
            os.close(terminal)
            said = b""
            while b"\n" not in said and (chunk := WaitsAndSecrets.read_terminal(master)):
                said += chunk
            bench.send_signal(signal.SIGINT)
            out, _ = bench.communicate(timeout=60)
            os.close(master)
            rows = self.read_rows(rows_file)
        self.assertRegex(said.decode(),
                         r"^bench: \d+ s, started \d+, done \d+, failed 0, p50 [\d.]+ ms, p99 [\d.]+ ms\r\n$")
        figures = self.assertCountsAddUp(out, "", rows)
        self.assertEqual((bench.returncode, figures["interrupted"], figures["failed"]), (0, True, 0))

    @staticmethod
    def read_rows(rows_file):
        with open(rows_file, newline="") as f:
            return list(csv.DictReader(f))

    def assertCountsAddUp(self, stdout, stderr, rows):
        figures = valid_json_output(stdout)
        self.assertEqual(stderr, "")  # no progress lines off a terminal
        self.assertEqual(figures["done"] + figures["failed"], figures["started"])
        self.assertEqual(sum(figures["failures"].values()), figures["failed"])
        self.assertEqual(len(rows), figures["started"])
        return figures


def answer_once(peer, payload):
    """Answers the first request on the UDP socket peer with payload behind its header."""
    request, client = peer.recvfrom(4096)
    peer.sendto(pack_header(16 + len(payload), 0x5300, unpack_header(request)["sequence"]) + payload, client)


class HostileAnswers(unittest.TestCase):
    def test_terminal_controls_of_an_answer_are_escaped_in_output_and_trace(self):
        hostile = "\u009b2J\u202eRETVALUE=1\u2066\u200e\u2028\ufeff\x7f"
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as peer:
            peer.bind(("127.0.0.1", 0))

            def answer():  # a refusal, to dynamic-key and to check
                for _ in range(2):
                    request, client = peer.recvfrom(4096)
                    payload = b"RETVALUE=1013\0GUID=G\0DESCMSG=" + hostile.encode("utf-8") + b"\0"
                    peer.sendto(pack_header(16 + len(payload), 0x5300, unpack_header(request)["sequence"]) + payload,
                                client)

            answering = threading.Thread(target=answer)
            answering.start()
            endpoints = ["--udp", "127.0.0.1:%d" % peer.getsockname()[1], "--http",
                         "http://127.0.0.1:%d" % free_port(socket.SOCK_STREAM), "--codepage", "65001"]
            run = run_auth([*endpoints, "-v", "dynamic-key"])
            check = run_auth([*endpoints, "--json", "check"])
            answering.join()
        escaped = "\\u009B2J\\u202ERETVALUE=1\\u2066\\u200E\\u2028\\uFEFF\\x7F"
        self.assertIn("  DESCMSG=" + escaped + "\n", run.stdout)
        self.assertIn("DESCMSG=" + escaped + "\\0", run.stderr)
        for raw in "\u009b\u202e\u2066\u200e\u2028\ufeff\x7f":
            self.assertNotIn(raw, run.stdout + run.stderr + check.stdout)
        # check's JSON escapes as every JSON output does; a refused dynamic key is no way in for a login.
        report = check.json_lines()[0]
        self.assertEqual((report["udp"]["fields"], report["verdict"]), ({"RETVALUE": "1013", "DESCMSG": hostile}, "none"))


class SealAndUnseal(unittest.TestCase):
    def seal(self, text):
        run = run_auth(["seal", text])
        self.assertEqual(run.status, 0, run.stderr)
        return run.stdout[:-1]

    def unseal(self, base64):
        run = run_auth(["unseal", base64])
        self.assertEqual(run.status, 0, run.stderr)
        return run.stdout[:-1]

    def test_known_answers(self):
        checked = 0
        with open(os.path.join(VECTORS_DIR, "seal.tsv"), encoding="utf-8") as f:
            for line in f:
                if line.startswith("#"):
                    continue
                operation, text, expected = line.rstrip("\n").split("\t")
                if operation != "SealParam":
                    continue
                self.assertEqual(self.seal(text), expected, text)
                self.assertEqual(self.unseal(expected), text, expected)
                checked += 1
        self.assertGreaterEqual(checked, 5)

    def test_round_trips(self):
        for text in ["USERID=u1^$^PWD=p w^$^APPID=9", "张三=密码", "x" * 23, "x" * 24, "x" * 25, "y" * 1512]:
            sealed = self.seal(text)
            self.assertRegex(sealed, r"^[A-Za-z0-9+/]*=*$")
            self.assertEqual(self.unseal(sealed), text)

    def test_json_forms(self):
        run = run_auth(["--json", "seal", "abc", "unseal", "KDH0DZdDhfznje+s/eXW2svtVBkgLoB0"])
        self.assertEqual(run.json_lines(), [
            {"schema": 2, "command": "seal", "result": 0, "text": "KDH0DZdDhfznje+s/eXW2svtVBkgLoB0"},
            {"schema": 2, "command": "unseal", "result": 0, "text": "abc"}])

    def test_text_too_long_for_a_request(self):
        run = run_auth(["seal", "y" * 1513])
        self.assertEqual(run.status, 2)
        self.assertIn("too long", run.stderr)

    def test_unseal_of_text_that_is_not_base64(self):
        for text in ["not base64!", "abc", "QUJD=QUJD"]:
            run = run_auth(["unseal", text])
            self.assertEqual(run.status, 2, text)
            self.assertEqual(run.stdout, "")
            self.assertIn("not Base64", run.stderr)


class ConnectionCheck(unittest.TestCase):
    """The test CA is trusted through --cacert, on Windows through the prefix's
    Root store (VOKA_TRUST_ROOT_CERTIFICATE adds a DER file there)."""

    @classmethod
    def setUpClass(cls):
        cls.certificates = tempfile.TemporaryDirectory()
        subprocess.run([MAKE_CERTIFICATES, cls.certificates.name], check=True)
        ca = os.path.join(cls.certificates.name, "ca")
        if ON_WINDOWS:
            subprocess.run([*os.environ["VOKA_TRUST_ROOT_CERTIFICATE"].split(), "Z:" + ca.replace("/", "\\") + ".der"],
                           check=True, timeout=60)
        cls.trust = [] if ON_WINDOWS else ["--cacert", ca + ".pem"]

    @classmethod
    def tearDownClass(cls):
        cls.certificates.cleanup()

    def https_server(self, certificate):
        path = os.path.join(self.certificates.name, certificate)
        return Server("--https", "localhost:0", "--cert", path + ".pem", "--key", path + ".key")

    def test_verdict_of_each_failure(self):
        no_udp = "UDP: UDP off (port 0) [udp-off]"
        # Wine's WinINet answers a certificate from an unknown CA with a failed revocation check.
        untrusted = "whether the certificate was revoked could not be checked [certificate-not-checked]" \
            if ON_WINDOWS else "no trusted CA issued the certificate [certificate-untrusted]"
        certificate = (r"http tls: .+, subject (CN=)?localhost, issuer (CN=)?VOKA %s CA, "
                       r"expires \d{4}-\d\d-\d\d \d\d:\d\d:\d\d UTC, ")
        both = lambda s: ["--udp", s.udp, "--http", s.http_url]  # noqa: E731
        http_alone = lambda s: ["--udp", "127.0.0.1:0", "--http", s.http_url]  # noqa: E731
        over_http = "http: a login would use HTTP to {s.http_url} (UDP: %s)"
        # (case, server, the check's endpoints, exit status, verdict line, a line before it that must be there)
        cases = [
            ("both up", Server(), both, 0,
             "udp: a login would use UDP to {s.udp}", r"http answer: RETVALUE=0, DESCMSG=动态密钥已生成"),
            ("UDP silent", Server("--fault", "silence"), both, 0, over_http % "no answer within 1 s [no-answer]",
             r"udp answer: none: no answer within 1 s \[no-answer\]$"),
            ("UDP port closed", Server(),
             lambda s: ["--udp", "127.0.0.1:%d" % free_port(socket.SOCK_DGRAM), "--http", s.http_url], 0,
             over_http % ("no answer within 1 s [no-answer]" if ON_WINDOWS  # Wine does not tell it, as Windows does
                          else "the server's port is closed (port unreachable) [port-unreachable]"),
             r"udp answer: none: "),
            ("UDP answer too long", Server("--fault", "oversized"), both, 0,
             over_http % "the answer is too long [answer-too-long]", r"udp answer: none: "),
            ("UDP answer cut short", Server("--fault", "truncated"), both, 0,
             over_http % "the answer was cut short [answer-cut-short]", r"udp answer: none: "),
            ("UDP header out of range", Server("--fault", "lying-length"), both, 0,
             over_http % "the answer's header is out of range [bad-answer-header]", r"udp answer: none: "),
            ("HTTP down", Server(),
             lambda s: ["--udp", s.udp, "--http", "http://127.0.0.1:%d" % free_port(socket.SOCK_STREAM)], 3,
             "udp: a login would use UDP to {s.udp}", r"warning: a login fails whenever UDP does: the HTTP fallback "
             r"does not work \(no connection to the server \[no-connection\]\)$"),
            ("HTTP empty body", Server("--fault", "empty-body"), http_alone, 1,
             "none: no login can reach a server (%s; HTTP: the answer is empty [empty-answer])" % no_udp,
             r"http answer: none \[empty-answer\]$"),
            ("HTTP error page", Server("--fault", "error-body"), http_alone, 1,
             "none: no login can reach a server (%s; HTTP: the answer has no RETVALUE [http-status])" % no_udp,
             r"http fetch: .* -> status 500, "),
            ("another CA", self.https_server("other-ca"),
             lambda s: ["--udp", "127.0.0.1:0", "--http", s.https_url, *self.trust], 1,
             "none: no login can reach a server (%s; HTTP: %s)" % (no_udp, untrusted),
             certificate % "stranger" + "not verified: "),
            ("expired", self.https_server("expired"),
             lambda s: ["--udp", "127.0.0.1:0", "--http", s.https_url, *self.trust], 1,
             "none: no login can reach a server (%s; HTTP: the certificate has expired [certificate-expired])"
             % no_udp, certificate % "test" + "not verified: the certificate has expired"),
            ("no such name", Server(),
             lambda s: ["--udp", "no-such-host.invalid:8025", "--http", "http://no-such-host.invalid"], 1,
             "none: no login can reach a server (UDP: not sent: no-such-host.invalid does not resolve "
             "[name-not-resolved]; HTTP: the server's name does not resolve [name-not-resolved])",
             r"udp name: no-such-host.invalid does not resolve \("),
        ]
        for case, server, endpoints, status, verdict, shown in cases:
            with self.subTest(case), server as s:
                run = run_auth(["--timeout", "1", *endpoints(s), "check"])
                lines = run.stdout.splitlines()
                self.assertEqual((run.status, lines[-1]), (status, "verdict: " + verdict.format(s=s)), run.stdout)
                self.assertTrue(any(re.match(shown, line) for line in lines[:-1]), run.stdout)
                self.assertNotRegex(s.log(), r"PWD|Login\.Validate")

    def test_what_a_certificate_says_reaches_the_console_escaped(self):
        with self.https_server("hostile-name") as s:
            endpoints = ["--timeout", "1", "--udp", "127.0.0.1:0", "--http", s.https_url, *self.trust]
            human, json_run = run_auth([*endpoints, "check"]), run_auth([*endpoints, "--json", "check"])
        self.assertIn("evil\\x1B[2J", human.stdout)
        self.assertNotIn("\x1b", human.stdout + json_run.stdout)

    def test_an_answer_no_login_can_use_reaches_no_server(self):
        """UDP answers, but without a dynamic key: a login stays on UDP and fails, whatever HTTP does."""
        for payload, problem in [(b"RETVALUE=0\0", "the answer has no GUID"),
                                 (b"RETVALUE=1013\0DESCMSG=busy\0",
                                  "the server refused the dynamic key: RETVALUE=1013, DESCMSG=busy")]:
            with self.subTest(problem), socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as peer, Server() as server:
                peer.bind(("127.0.0.1", 0))
                answering = threading.Thread(target=lambda: answer_once(peer, payload))
                answering.start()
                run = run_auth(["--udp", "127.0.0.1:%d" % peer.getsockname()[1], "--http", server.http_url, "check"])
                answering.join()
            self.assertEqual((run.status, run.stdout.splitlines()[-1]), (1, "verdict: none: no login can reach a "
                             "server (UDP: %s; a login does not fall back to HTTP then)" % problem), run.stdout)

    def test_json_report(self):
        with Server() as server:
            run = run_auth(["--udp", server.udp, "--http", server.http_url, "--json", "check"])
        report = run.json_lines()[0]
        self.assertEqual((run.status, report["verdict"], report["udp"]["fields"]["RETVALUE"], report["http"]["status"]),
                         (0, "udp", "0", 200))
        self.assertRegex(report["machine"]["mac"], r"^([0-9A-F]{2}-){5}[0-9A-F]{2}$")


if __name__ == "__main__":
    unittest.main(verbosity=2)
