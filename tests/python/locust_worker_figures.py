"""A locustfile beside the sample's: at the master's end, each worker's requests
as its reports told them (PREFIX_workers.csv), and Locust's own figures at
that moment (PREFIX_final_stats.csv, PREFIX_final_failures.csv), since the
--csv files, written once a second, miss the last reports."""
import csv
from collections import Counter, defaultdict

from locust import events
from locust.runners import MasterRunner
from locust.stats import PERCENTILES_TO_REPORT, StatsCSV

_reported = defaultdict(Counter)
_environment = []


@events.init.add_listener
def _keep(environment, **_):
    _environment.append(environment)


@events.worker_report.add_listener
def _count(client_id, data):
    for entry in data["stats"]:
        _reported[client_id][entry["method"], entry["name"], "requests"] += entry["num_requests"]
        _reported[client_id][entry["method"], entry["name"], "failures"] += entry["num_failures"]


@events.quit.add_listener
def _write(**_):
    environment = _environment[0]
    if not isinstance(environment.runner, MasterRunner):
        return
    prefix = environment.parsed_options.csv_prefix
    with open(prefix + "_workers.csv", "w", newline="", encoding="utf-8") as file:
        rows = csv.writer(file)
        rows.writerow(["Worker", "Type", "Name", "Request Count", "Failure Count"])
        for worker, counts in _reported.items():
            for method, name, _ in sorted(key for key in counts if key[2] == "requests"):
                rows.writerow([worker, method, name, counts[method, name, "requests"], counts[method, name, "failures"]])
    final = StatsCSV(environment, PERCENTILES_TO_REPORT)
    for suffix, write in (("_final_stats.csv", final.requests_csv), ("_final_failures.csv", final.failures_csv)):
        with open(prefix + suffix, "w", newline="", encoding="utf-8") as file:
            write(csv.writer(file))
