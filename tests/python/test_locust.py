"""voka.locust distributed: voka-server, a Locust master and two workers, each
a process of its own, on loopback; the figures that the master got."""
import csv
import os
import socket
import subprocess
import sys

import pytest

import voka

HERE = os.path.dirname(os.path.abspath(__file__))
LOCUSTFILES = os.path.join(HERE, "..", "..", "samples", "locust", "locustfile.py") + "," + os.path.join(
    HERE, "locust_worker_figures.py")
USERS_PER_WORKER = 3
KINDS = {"dynamic-key", "static", "ekey", "ecard"}
NETWORK_ERROR = "网络连接出错"


def run_distributed(server, folder, http, *options):
    """Runs the sample's users on two workers for a few seconds; the CSV rows
    of the master's figures by file: workers, final_stats, final_failures."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        port = str(probe.getsockname()[1])
    locust = [sys.executable, "-m", "locust", "-f", LOCUSTFILES]
    env = dict(os.environ, VOKA_SOFT_TOKEN_SECRET=server.accounts["bob"].ekey_secret)
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
    figures = {}
    for name in ("workers", "final_stats", "final_failures"):
        with open(folder / ("run_%s.csv" % name), encoding="utf-8") as file:
            figures[name] = list(csv.DictReader(file))
    return figures


def test_two_workers_share_the_logins(voka_server, tmp_path):
    figures = run_distributed(voka_server, tmp_path, voka_server.http)
    by_worker = {}
    for row in figures["workers"]:
        assert (row["Type"], row["Failure Count"]) == ("UDP", "0"), row
        by_worker.setdefault(row["Worker"], {})[row["Name"]] = int(row["Request Count"])
    assert len(by_worker) == 2 and all(set(counts) == KINDS for counts in by_worker.values()), by_worker
    for counts in by_worker.values():
        # a login starts with its dynamic key; the users stopped at the end may be between the two
        assert 0 <= counts["dynamic-key"] - counts["static"] <= USERS_PER_WORKER, counts
        assert 0 < counts["ekey"] + counts["ecard"] < counts["static"], counts
    totals = {row["Name"]: (int(row["Request Count"]), int(row["Failure Count"])) for row in figures["final_stats"]}
    assert totals == {**{kind: (sum(counts[kind] for counts in by_worker.values()), 0) for kind in KINDS},
                      "Aggregated": (sum(sum(counts.values()) for counts in by_worker.values()), 0)}
    assert figures["final_failures"] == []


@pytest.mark.parametrize("voka_server", ["silence"], indirect=True)
def test_failures_name_their_cause(voka_server, tmp_path):
    with socket.socket() as closed:
        closed.bind(("127.0.0.1", 0))  # bound, never listening: HTTP is refused
        http = "http://127.0.0.1:%d" % closed.getsockname()[1]
        figures = run_distributed(voka_server, tmp_path, http, "--voka-timeout", "1")
    assert figures["final_failures"], figures
    for row in figures["final_failures"]:
        # the dynamic key went over UDP in vain, then over HTTP, where it failed
        assert (row["Method"], row["Name"]) == ("HTTP", "dynamic-key"), row
        assert str(voka.VOKA_E_FAIL) in row["Error"] and NETWORK_ERROR in row["Error"], row
    assert sum(int(row["Occurrences"]) for row in figures["final_failures"]) == sum(
        int(row["Failure Count"]) for row in figures["workers"]) > 0
