"""voka.locust: voka-server, a Locust master and two workers, processes of their own, on loopback."""
import csv
import os
import socket
import subprocess
import sys
import time
from collections import Counter

import pytest

import voka
import voka.testing

LOCUSTFILES = ",".join(os.path.join(os.path.dirname(os.path.abspath(__file__)), name) for name in (
    os.path.join("..", "..", "samples", "locust", "locustfile.py"), "locust_worker_figures.py"))
USERS_PER_WORKER = 3
KINDS = {"dynamic-key", "static", "ekey", "ecard"}
NETWORK_ERROR = "网络连接出错"


def run_distributed(server, folder, http, *options):
    """The sample's users on two workers for a few seconds; the rows of the master's CSV files."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        port = str(probe.getsockname()[1])
    locust = [sys.executable, "-m", "locust", "-f", LOCUSTFILES]
    secret = next(account.ekey_secret for account in server.accounts.values() if account.ekey_secret)
    env = dict(os.environ, VOKA_SOFT_TOKEN_SECRET=secret)
    master = subprocess.Popen(
        locust + ["--headless", "--master", "--master-bind-host", "127.0.0.1", "--master-bind-port", port,
                  "--expect-workers", "2", "--expect-workers-max-wait", "60", "-u", str(2 * USERS_PER_WORKER),
                  "-r", "100", "--run-time", "6s", "--host", http, "--voka-udp", server.udp,
                  "--voka-accounts", server.accounts_file, "--csv", str(folder / "run"), *options], env=env)
    workers = [subprocess.Popen(locust + ["--worker", "--master-host", "127.0.0.1", "--master-port", port], env=env)
               for _ in range(2)]
    master.wait(120)
    # not 0: killed by a signal (SIGABRT: heap corruption at shutdown) or a sanitizer's report
    assert [worker.wait(60) for worker in workers] == [0, 0]
    return {name: list(csv.DictReader((folder / ("run_%s.csv" % name)).read_text(encoding="utf-8").splitlines()))
            for name in ("workers", "final_stats", "final_failures")}


@pytest.fixture
def two_shares(tmp_path, monkeypatch):
    """alice, bob and carol of the sample accounts twice over: each worker's share has one of each."""
    sample = open(voka.testing.RunningServer().accounts_file, encoding="utf-8").read().splitlines()
    (tmp_path / "accounts").write_text("\n".join(line.replace(user, user + copy, 1) for user in ("alice", "bob", "carol")
                                                 for copy in "01" for line in sample if line.startswith(user + " ")))
    monkeypatch.setenv(voka.testing.ACCOUNTS_VARIABLE, str(tmp_path / "accounts"))


def test_two_workers_share_the_logins(two_shares, voka_server, tmp_path):
    figures = run_distributed(voka_server, tmp_path, voka_server.http)
    workers = {}
    for row in figures["workers"]:
        workers.setdefault(row["Worker"], Counter())[row["Type"], row["Name"], row["Figure"]] = int(row["Count"])
    assert len(workers) == 2
    for counts in workers.values():
        assert ({key[:2] for key in counts}, sum(n for key, n in counts.items() if key[2] == "Failure Count")) == (
            {("UDP", kind) for kind in KINDS} | {("LOGIN", "login")}, 0), counts
        requests = {kind: counts["UDP", kind, "Request Count"] for kind in KINDS}
        # a login starts with its dynamic key; the users stopped at the end may be between the two, or before its end
        assert 0 <= requests["dynamic-key"] - requests["static"] <= USERS_PER_WORKER, requests
        assert 0 <= requests["static"] - counts["LOGIN", "login", "Request Count"] <= USERS_PER_WORKER, counts
        assert 0 < requests["ekey"] + requests["ecard"] < requests["static"], requests
    totals = sum(workers.values(), Counter())
    assert ({row["Name"]: (int(row["Request Count"]), int(row["Failure Count"])) for row in figures["final_stats"]},
            figures["final_failures"]) == ({**{kind: (totals["UDP", kind, "Request Count"], 0) for kind in KINDS},
                                            "login": (totals["LOGIN", "login", "Request Count"], 0),
                                            "Aggregated": (sum(totals.values()), 0)}, [])
    # loopback answers within a millisecond: not rounded to 0; every answer has a size
    assert all(0 < float(row["Min Response Time"]) and float(row["Average Content Size"]) > 0
               for row in figures["final_stats"]), figures["final_stats"]


@pytest.mark.parametrize("voka_server", ["silence"], indirect=True)
def test_failures_name_their_cause(voka_server, tmp_path):
    # nothing listens on port 1: HTTP is refused
    figures = run_distributed(voka_server, tmp_path, "http://127.0.0.1:1", "--voka-timeout", "1")
    # the dynamic key went over UDP in vain, then over HTTP, where it failed
    error = "no-connection: %d %s" % (voka.VOKA_E_FAIL, NETWORK_ERROR)
    assert {(row["Method"], row["Name"], error in row["Error"])
            for row in figures["final_failures"]} == {("HTTP", "dynamic-key", True), ("LOGIN", "login", True)}, \
        figures["final_failures"]
    assert sum(int(row["Occurrences"]) for row in figures["final_failures"]) == sum(
        int(row["Count"]) for row in figures["workers"] if row["Figure"] == "Failure Count") > 0


@pytest.mark.parametrize("voka_server", ["silence"], indirect=True)
def test_stopping_workers_cancel_their_logins(voka_server, tmp_path):
    started = time.monotonic()
    # every login waits up to 10 minutes for its UDP answer: the workers end with the 6 s run all the same
    figures = run_distributed(voka_server, tmp_path, voka_server.http, "--voka-timeout", "600")
    assert (time.monotonic() - started < 60, figures["final_failures"]) == (True, [])


@pytest.mark.parametrize("accounts, options, refusal", [
    ("# no account\n", (), "no account in it"),
    (None, ("--voka-timeout", "0"), "--voka-timeout 0: a UDP request waits 1 to"),
])
def test_unusable_options_are_refused_at_start(voka_server, tmp_path, accounts, options, refusal):
    (tmp_path / "accounts").write_text(accounts if accounts is not None else open(voka_server.accounts_file).read())
    run = subprocess.run([sys.executable, "-m", "locust", "-f", LOCUSTFILES.split(",")[0], "--headless", "-u", "2",
                          "-r", "10", "--run-time", "3s", "--host", voka_server.http, "--voka-udp", voka_server.udp,
                          "--voka-accounts", str(tmp_path / "accounts"), *options],
                         capture_output=True, text=True, timeout=60)
    assert (run.returncode != 0, refusal in run.stderr, "Traceback" in run.stderr) == (True, True, False), run.stderr
