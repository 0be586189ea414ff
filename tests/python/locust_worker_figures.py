"""At the master's end: each worker's figures as reported (PREFIX_workers.csv), and Locust's
(PREFIX_final_*.csv: the --csv files, written once a second, miss the last reports)."""
import csv
from collections import Counter

from locust import events
from locust.runners import MasterRunner
from locust.stats import PERCENTILES_TO_REPORT, StatsCSV

_reported = Counter()  # by worker, type, name and "Request Count" or "Failure Count"


@events.worker_report.add_listener
def _count(client_id, data):
    for entry in data["stats"]:
        _reported[client_id, entry["method"], entry["name"], "Request Count"] += entry["num_requests"]
        _reported[client_id, entry["method"], entry["name"], "Failure Count"] += entry["num_failures"]


@events.init.add_listener
def _on_quit_write(environment, **_):
    def write(**_):
        prefix = environment.parsed_options.csv_prefix
        with open(prefix + "_workers.csv", "w", newline="", encoding="utf-8") as file:
            csv.writer(file).writerows([("Worker", "Type", "Name", "Figure", "Count"),
                                        *(key + (count,) for key, count in _reported.items())])
        final = StatsCSV(environment, PERCENTILES_TO_REPORT)
        for suffix, table in (("_final_stats.csv", final.requests_csv), ("_final_failures.csv", final.failures_csv)):
            with open(prefix + suffix, "w", newline="", encoding="utf-8") as file:
                table(csv.writer(file))
    if isinstance(environment.runner, MasterRunner):
        events.quit.add_listener(write)
