"""voka-auth and voka-server with one of their allocations failing: each ends
with a one-line message and status 1 or carries on, and never dies of it.
The C interface under Python (voka) the same: a failed allocation is a
result code or MemoryError, and the client logs in afterwards.
VOKA_TORTURE_STRIDE=K fails only every Kth allocation of a login."""
import os
import subprocess
import sys
import tempfile
import unittest

from voka_programs import ACCOUNTS, AUTH, SERVER, Server

LIBRARY = os.environ["VOKA_FAILING_ALLOCATION_LIBRARY"]
STRIDE = max(1, int(os.environ.get("VOKA_TORTURE_STRIDE", "1")))
SERVER_SAMPLES = 25


def failing(failing_allocation=None, count_file=None):
    """The environment that preloads the failing allocator."""
    env = dict(os.environ, LD_PRELOAD=LIBRARY)
    env.pop("VOKA_SOFT_TOKEN_SECRET", None)
    if failing_allocation is not None:
        env["VOKA_FAILING_ALLOCATION"] = str(failing_allocation)
    if count_file is not None:
        env["VOKA_ALLOCATION_COUNT_FILE"] = count_file
    return env


def login(server, env=None, timeout="2"):
    return subprocess.run([AUTH, "--udp", server.udp, "--http", server.http_url, "--timeout", timeout,
                           "login", "--user", "alice", "--password", "alice-pass", "--app", "1", "--area", "1"],
                          capture_output=True, timeout=60, env=env)


def counted(run):
    """Runs run(env) with the allocations counted; their number."""
    with tempfile.NamedTemporaryFile(mode="r") as count:
        run(failing(count_file=count.name))
        return int(count.read())


class ClientTorture(unittest.TestCase):
    def test_every_allocation_of_a_login_fails_in_turn(self):
        with Server() as server:
            allocations = counted(lambda env: self.assertEqual(login(server, env).returncode, 0))
            for n in range(1, allocations + 1, STRIDE):
                run = login(server, failing(n))
                stderr = run.stderr.decode("utf-8", "replace")
                self.assertIn(run.returncode, (0, 1), "allocation %d: %s" % (n, stderr))
                self.assertRegex(stderr, r"\A(voka-auth: out of memory\n|(voka-auth: [\w-]+: cause: .*\n)?)\Z", n)
            self.assertEqual(login(server).returncode, 0)
            print("voka-auth login: %d allocations, every %d failed in turn" % (allocations, STRIDE))

    def test_failure_at_start_up_is_one_line(self):
        run = subprocess.run([AUTH, "--help"], capture_output=True, env=failing(1))
        self.assertEqual((run.returncode, run.stdout, run.stderr), (1, b"", b"voka-auth: out of memory\n"))


# Python allocates with malloc, so the preloaded counter sees the C++ ones only.
PYTHON_LOGINS = """
import ctypes, sys, voka
counter = ctypes.CDLL(sys.argv[1])
stride, endpoints = int(sys.argv[2]), sys.argv[3:]

def login(fail_at):
    with voka.Client(*endpoints, udp_timeout=1) as client:
        counter.CountingAllocatorStart(fail_at)
        try:
            outcome = client.login("alice", "alice-pass").code
        except MemoryError:
            outcome = "MemoryError"
        count = counter.CountingAllocatorStop()
        assert outcome in (0, voka.VOKA_E_FAIL, "MemoryError"), (fail_at, outcome)
        assert client.login("alice", "alice-pass").logged_in, fail_at
        return count

allocations = login(0)
for n in range(1, allocations + 1, stride):
    login(n)
print("C interface login: %d allocations, every %d failed in turn" % (allocations, stride))
"""


class CInterfaceTorture(unittest.TestCase):
    def test_every_allocation_of_a_login_fails_in_turn(self):
        env = dict(failing(), PYTHONPATH=os.path.join(os.path.dirname(__file__), "..", "..", "python"))
        with Server() as server:
            run = subprocess.run([sys.executable, "-c", PYTHON_LOGINS, LIBRARY, str(STRIDE), server.udp, server.http_url],
                                 capture_output=True, text=True, timeout=500, env=env)
        self.assertEqual(run.returncode, 0, run.stderr)
        print(run.stdout, end="")


class ServerTorture(unittest.TestCase):
    def test_a_request_fails_and_the_server_goes_on(self):
        # Truncated UDP answers send the login on over HTTP, so that both
        # services handle a request.
        def serve(env, requests):
            with Server("--fault", "truncated", env=env) as server:
                for _ in range(requests):
                    login(server, timeout="1")
                self.assertTrue(server.alive())
                return server

        start_up = counted(lambda env: serve(env, 0))
        with_login = counted(lambda env: serve(env, 1))
        self.assertGreater(with_login, start_up)
        step = max(1, (with_login - start_up) // SERVER_SAMPLES)
        dropped = 0
        for n in range(start_up + 1, with_login + 1, step):
            with Server("--fault", "truncated", env=failing(n)) as server:
                login(server, timeout="1")
                self.assertEqual(login(server).returncode, 0, "allocation %d\n%s" % (n, server.log()))
                self.assertTrue(server.alive())
                dropped += "voka-server: out of memory, " in server.log()
        self.assertGreater(dropped, 0)
        print("voka-server: %d allocations of a login's requests, %d of them failed, %d dropped a request"
              % (with_login - start_up, len(range(start_up + 1, with_login + 1, step)), dropped))

    def test_failure_at_start_up_is_one_line(self):
        run = subprocess.run([SERVER, "--udp", "127.0.0.1:0", "--http", "127.0.0.1:0", "--accounts", ACCOUNTS],
                             capture_output=True, timeout=10, env=failing(1))
        self.assertEqual((run.returncode, run.stdout, run.stderr), (1, b"", b"voka-server: out of memory\n"))


if __name__ == "__main__":
    unittest.main()
