#!/usr/bin/env python3
"""Logins a second that one Locust worker reaches with 1, 10 and 50 users
(voka.locust, no think time) against voka-server on loopback, beside
`voka-auth bench` at the same rate and concurrency in the same run.

    PYTHONPATH=python VOKA_CLIENT_LIBRARY=build/native/bin/libvoka-client.so.1 \\
        /usr/bin/python3 bench/locust_logins.py [BUILD_TREE] [SECONDS]

Each row: the worker's logins a second (its account logins over the run) and
CPU time per login (the worker process's, from its resource usage); then
bench's achieved rate, CPU per login and login latencies at that rate. The
ratio of CPU per login is Locust's cost over bench's for the same work."""
import csv
import json
import os
import resource
import socket
import subprocess
import sys
import tempfile

if __name__ != "__main__":  # loaded by Locust as the locustfile
    from locust import constant

    import voka.locust

    class Closed(voka.locust.LoginUser):
        wait_time = constant(0)
else:
    from voka.testing import RunningServer

USER_COUNTS = (1, 10, 50)


def locust_run(server, users, seconds, folder):
    """A master and one worker: (logins a second, worker CPU µs per login)."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        port = str(probe.getsockname()[1])
    locust = [sys.executable, "-m", "locust", "-f", os.path.abspath(__file__), "--loglevel", "WARNING"]
    prefix = os.path.join(folder, "users%d" % users)
    master = subprocess.Popen(locust + [
        "--headless", "--master", "--master-bind-host", "127.0.0.1", "--master-bind-port", port, "--expect-workers",
        "1", "-u", str(users), "-r", "1000", "--run-time", "%ds" % seconds, "--host", server.http, "--voka-udp",
        server.udp, "--voka-accounts", server.accounts_file, "--csv", prefix, "--only-summary"],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    worker = subprocess.Popen(locust + ["--worker", "--master-host", "127.0.0.1", "--master-port", port])
    master.wait()
    _, _, usage = os.wait4(worker.pid, 0)
    worker.returncode = 0
    with open(prefix + "_stats.csv", encoding="utf-8") as file:
        logins = next(row for row in csv.DictReader(file) if row["Name"] == "static")  # the account login's kind
    rate = float(logins["Requests/s"])
    return rate, (usage.ru_utime + usage.ru_stime) * 1e6 / (rate * seconds)


def bench_run(voka_auth, server, rate, users, seconds):
    """voka-auth bench at rate with as many threads as users: its JSON summary."""
    output = subprocess.run([voka_auth, "--udp", server.udp, "--http", server.http, "--json", "bench", "--rate",
                             str(max(1, round(rate))), "--duration", str(seconds), "--concurrency", str(users),
                             "--accounts", server.accounts_file], capture_output=True, text=True, check=False)
    return json.loads(output.stdout.splitlines()[-1])


def main():
    tree = sys.argv[1] if len(sys.argv) > 1 else os.path.join("build", "native")
    seconds = int(sys.argv[2]) if len(sys.argv) > 2 else 10
    os.environ.setdefault("VOKA_SERVER", os.path.join(tree, "programs", "voka-server"))
    voka_auth = os.path.join(tree, "programs", "voka-auth")
    print("| users | Locust logins/s | Locust CPU µs/login | bench logins/s | bench CPU µs/login | CPU ratio "
          "| bench p50 / p99 ms |")
    print("|---:|---:|---:|---:|---:|---:|---:|")
    with RunningServer() as server, tempfile.TemporaryDirectory() as folder:
        os.environ["VOKA_SOFT_TOKEN_SECRET"] = server.accounts["bob"].ekey_secret
        for users in USER_COUNTS:
            rate, locust_cpu = locust_run(server, users, seconds, folder)
            bench = bench_run(voka_auth, server, rate, users, seconds)
            login = bench["latency_ms"]["login"]
            print("| %d | %.0f | %.0f | %.0f | %.0f | %.1f | %s / %s |" % (
                users, rate, locust_cpu, bench["achieved_rate"], bench["cpu_us_per_login"],
                locust_cpu / bench["cpu_us_per_login"], login["p50"], login["p99"]), flush=True)
    print("machine: %d cores, load %.1f" % (os.cpu_count(), os.getloadavg()[0]))


if __name__ == "__main__":
    main()
