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
                           SERVER, VECTORS_DIR, Server, free_port, pack_header, run_auth, unpack_header, wait_until)

MAKE_CERTIFICATES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "make_test_certificates.sh")
PASSWORD_FROM_INPUT = ["static", "--user", "u", "--password", "-", "--app", "1", "--area", "1"]


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
        self.assertUsageError(["frobnicate"], "'frobnicate'")
        self.assertUsageError(["--colour", "dynamic-key"], "'--colour'")
        self.assertUsageError(["dynamic-key", "--user", "x"], "'--user'")
        self.assertUsageError(["static", "--user", "u", "--password", "p", "--app", "1"], "--area")
        self.assertUsageError(["ekey", "--user", "u", "--ekey-password", "p"], "--ekey-type")
        self.assertUsageError(["ecard", "--user", "u"], "--ecard-answer")
        self.assertUsageError(["dynamic-key", "--indication"], "'--indication'")
        self.assertUsageError(["--timeout", "soon", "dynamic-key"], "'soon'")
        self.assertUsageError(["--codepage", "0", "dynamic-key"], "'0'")
        self.assertUsageError(["--codepage", "12345", "dynamic-key"], "'12345'")
        self.assertUsageError(["get"], "'get'")
        self.assertUsageError(["dynamic-key", "stray"], "'stray'")
        self.assertUsageError(["check", "--user", "u"], "'--user'")
        if ON_WINDOWS:  # WinINet trusts the system's certificate store alone
            self.assertUsageError(["--cacert", "ca.pem", "check"], "--cacert: https here trusts the system's")
        self.assertUsageError(PASSWORD_FROM_INPUT, "longer than 4096 bytes", stdin="x" * 4097 + "\n")
        self.assertUsageError(PASSWORD_FROM_INPUT, "holds a NUL byte", stdin="alice-pass\0anything\n")
        bench = ["bench", "--rate", "1", "--duration", "1"]
        self.assertUsageError([*bench, "--user", "u", "--password", "p", "--concurrency", "1001"], "'1001'")
        self.assertUsageError(["bench", "--rate", "0", "--duration", "1", "--user", "u", "--password", "p"], "'0'")
        self.assertUsageError([*bench, "--user", "u", "--password", "p", "--accounts", ACCOUNTS], "either")
        self.assertUsageError([*bench, "--user", "u"], "either")

    def test_help_lists_every_command_and_option(self):
        run = run_auth(["--help"])
        self.assertEqual(run.status, 0)
        for word in ["dynamic-key", "static", "ekey", "ecard", "login", "get NAME", "seal TEXT", "unseal BASE64",
                     "check", "--udp", "--http", "--cacert", "--timeout", "--codepage", "--json", "-v", "--user",
                     "--password", "--app", "--area", "--check-code", "--indication", "--ekey-password", "--ekey-type",
                     "--ecard-answer", "bench", "--rate", "--duration", "--concurrency", "--accounts", "--csv",
                     "Exit status"]:
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
        self.assertEqual(lines[0], {"command": "dynamic-key", "result": AUTHEN_E_FAIL,
                                    "fields": {"DESCMSG": NETWORK_ERROR}})

    def test_login_succeeds_only_when_the_user_is_logged_in(self):
        with Server() as server:
            run = run_auth(["--udp", server.udp, "login", "--user", "carol", "--password", "carol-pass",
                            "--app", "1", "--area", "1"])
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
        self.assertEqual(said.decode(), "voka-auth: waiting up to 2 s for an answer from %s over UDP\r\n" % udp)

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
        cases = [  # server options, bench options, password line, HTTP base (None: the server's), outcomes, refusals
            ((), ["--accounts", ACCOUNTS, "--concurrency", "1"], "", None, {"ok"}, {}),
            ((), alice, "alice-pass\n", None, {"ok"}, {}),
            ((), alice, "wrong\n", None, {"refused"}, {"1004": 5, "1012": 3}),
            (("--fault", "silence"), alice, "alice-pass\n", closed_http, {"no-answer"}, {}),
        ]
        for server_options, options, password, http, outcomes, refused in cases:
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
            self.assertEqual(sorted(row["retvalue"] for row in rows if row["retvalue"]),
                             sorted(value for value, count in refused.items() for _ in range(count)))

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
        figures = json.loads(stdout)
        self.assertEqual(stderr, "")  # no progress lines off a terminal
        self.assertEqual(figures["done"] + figures["failed"], figures["started"])
        self.assertEqual(sum(figures["failures"].values()), figures["failed"])
        self.assertEqual(len(rows), figures["started"])
        return figures


class HostileAnswers(unittest.TestCase):
    def test_terminal_controls_of_an_answer_are_escaped_in_output_and_trace(self):
        hostile = "\u009b2J\u202eRETVALUE=1\u2066".encode("utf-8")
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as peer:
            peer.bind(("127.0.0.1", 0))

            def answer():
                request, client = peer.recvfrom(4096)
                payload = b"RETVALUE=0\0GUID=G\0DESCMSG=" + hostile + b"\0"
                peer.sendto(pack_header(16 + len(payload), 0x5300, unpack_header(request)["sequence"]) + payload,
                            client)

            answering = threading.Thread(target=answer)
            answering.start()
            run = run_auth(["--udp", "127.0.0.1:%d" % peer.getsockname()[1], "--codepage", "65001", "-v",
                            "dynamic-key"])
            answering.join()
        escaped = "\\u009B2J\\u202ERETVALUE=1\\u2066"
        self.assertIn("  DESCMSG=" + escaped + "\n", run.stdout)
        self.assertIn("DESCMSG=" + escaped + "\\0", run.stderr)
        for raw in ("\u009b", "\u202e", "\u2066"):
            self.assertNotIn(raw, run.stdout + run.stderr)


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
            {"command": "seal", "result": 0, "text": "KDH0DZdDhfznje+s/eXW2svtVBkgLoB0"},
            {"command": "unseal", "result": 0, "text": "abc"}])

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
        no_udp = "UDP: not sent: port '0' is not 1 to 65535"
        # Wine's WinINet answers a certificate from an unknown CA with a failed revocation check.
        untrusted = "whether the certificate was revoked could not be checked" if ON_WINDOWS else \
            "no trusted CA issued the certificate"
        certificate = (r"http tls: .+, subject (CN=)?localhost, issuer (CN=)?VOKA %s CA, "
                       r"expires \d{4}-\d\d-\d\d \d\d:\d\d:\d\d UTC, ")
        # (case, server, the check's endpoints, exit status, verdict line, a line before it that must be there)
        cases = [
            ("both up", Server(), lambda s: ["--udp", s.udp, "--http", s.http_url], 0,
             "udp: a login would use UDP to {s.udp}", r"http answer: RETVALUE=0, DESCMSG=动态密钥已生成"),
            ("UDP silent", Server("--fault", "silence"), lambda s: ["--udp", s.udp, "--http", s.http_url], 0,
             "http: a login would use HTTP to {s.http_url} (UDP: no answer within 1 s)",
             r"udp answer: none: no answer within 1 s"),
            ("HTTP down", Server(),
             lambda s: ["--udp", s.udp, "--http", "http://127.0.0.1:%d" % free_port(socket.SOCK_STREAM)], 0,
             "udp: a login would use UDP to {s.udp}", r"http fetch: .* failed: no connection to the server"),
            ("another CA", self.https_server("other-ca"),
             lambda s: ["--udp", "127.0.0.1:0", "--http", s.https_url, *self.trust], 1,
             "none: no login can reach a server (%s; HTTP: %s)" % (no_udp, untrusted),
             certificate % "stranger" + "not verified: " + untrusted),
            ("expired", self.https_server("expired"),
             lambda s: ["--udp", "127.0.0.1:0", "--http", s.https_url, *self.trust], 1,
             "none: no login can reach a server (%s; HTTP: the certificate has expired)" % no_udp,
             certificate % "test" + "not verified: the certificate has expired"),
            ("no such name", Server(),
             lambda s: ["--udp", "no-such-host.invalid:8025", "--http", "http://no-such-host.invalid"], 1,
             "none: no login can reach a server (UDP: not sent: no-such-host.invalid does not resolve; "
             "HTTP: the server's name does not resolve)", r"udp name: no-such-host.invalid does not resolve \("),
        ]
        for case, server, endpoints, status, verdict, shown in cases:
            with self.subTest(case), server as s:
                run = run_auth(["--timeout", "1", *endpoints(s), "check"])
                lines = run.stdout.splitlines()
                self.assertEqual((run.status, lines[-1]), (status, "verdict: " + verdict.format(s=s)), run.stdout)
                self.assertTrue(any(re.match(shown, line) for line in lines[:-1]), run.stdout)
                self.assertNotRegex(s.log(), r"PWD|Login\.Validate")

    def test_json_report(self):
        with Server() as server:
            run = run_auth(["--udp", server.udp, "--http", server.http_url, "--json", "check"])
        report = run.json_lines()[0]
        self.assertEqual((run.status, report["verdict"], report["udp"]["RETVALUE"], report["http"]["status"]),
                         (0, "udp", "0", 200))
        self.assertRegex(report["machine"]["MAC"], r"^([0-9A-F]{2}-){5}[0-9A-F]{2}$")


if __name__ == "__main__":
    unittest.main(verbosity=2)
