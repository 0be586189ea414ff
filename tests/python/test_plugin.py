"""The package as pip installs it, its pytest plugin, and voka-server's life tied to its starter process's."""
import os
import shutil
import signal
import subprocess
import sys
import time

import pytest

INSTALLED_TEST = """
import importlib.metadata, os, voka
def test_installed(voka_server, voka_session_server, voka_remote_server):
    assert importlib.metadata.version("voka") == voka.__version__ == os.environ["VOKA_VERSION"]
    metadata = importlib.metadata.metadata("voka")
    assert metadata["License"].startswith("Proprietary") and "pytest plugin" in metadata["Description"]
    assert os.path.exists(os.path.join(os.path.dirname(voka.__file__), "py.typed"))
    for server in (voka_server, voka_session_server, voka_remote_server):
        with voka.Client(server.udp, server.http) as client:
            assert client.login("alice", "alice-pass").logged_in
"""
# The server is entered from a thread that ends at once: it lives on, as long as the process.
SERVER_STARTER = """import sys, threading, time, voka.testing
servers = []
starter = threading.Thread(target=lambda: servers.append(voka.testing.RunningServer().__enter__()))
starter.start(), starter.join(), time.sleep(0.2)
print(servers[0].process.pid if servers[0].alive() and "pytest" not in sys.modules else "gone or pytest", flush=True)
time.sleep(600)"""


def test_installs_with_pip_and_its_plugin_loads_without_conftest(tmp_path, voka_server):
    shutil.copytree(os.path.join(os.path.dirname(__file__), "..", "..", "python"), tmp_path / "source",
                    ignore=shutil.ignore_patterns("__pycache__", "build", "*.egg-info"))
    subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", tmp_path / "venv"], check=True)
    python = str(tmp_path / "venv" / "bin" / "python")
    subprocess.run([python, "-m", "pip", "install", "-q", "--no-index", "--no-build-isolation", "--no-deps",
                    tmp_path / "source"], check=True)
    (tmp_path / "test_installed.py").write_text(INSTALLED_TEST)
    env = {name: value for name, value in os.environ.items() if name != "PYTHONPATH"}
    pytest_run = [python, "-m", "pytest", "-p", "no:cacheprovider", "-rs", "test_installed.py"]
    env["VOKA_SERVER"] = str(tmp_path / "none")
    for options, outcome, says in (
            (("--voka-server-exec", voka_server.binary, "--voka-udp", voka_server.udp, "--voka-http", voka_server.http),
             " 1 passed", ""),
            ((), " 1 error", "voka-tools, or set VOKA_SERVER to its path, or name it with --voka-server-exec PATH"),
            (("--voka-skip-missing-server",), " 1 skipped", "install the Debian package voka-tools")):
        run = subprocess.run([*pytest_run, *options], cwd=tmp_path, env=env, capture_output=True, text=True)
        assert outcome in run.stdout and says in run.stdout, run.stdout + run.stderr


@pytest.mark.parametrize("ending", [signal.SIGTERM, signal.SIGKILL], ids=lambda ending: ending.name)
def test_server_ends_with_the_process_that_started_it(ending):
    starter = subprocess.Popen([sys.executable, "-c", SERVER_STARTER], stdout=subprocess.PIPE, text=True)
    server = int(starter.stdout.readline())
    starter.send_signal(ending)
    starter.wait()
    deadline = time.monotonic() + 60  # the kernel kills it at once; a machine this busy is not expected
    while (alive := _state(server)[:1] not in ("", "Z")) and time.monotonic() < deadline:
        time.sleep(0.05)
    assert not alive, os.kill(server, signal.SIGKILL)


def _state(pid):
    """The process's state letter (Z: a zombie), or "" once it is gone."""
    try:
        with open("/proc/%d/stat" % pid, encoding="ascii") as stat:
            return stat.read().rsplit(")", 1)[1].split()[0]
    except FileNotFoundError:
        return ""


def test_types_are_strict_clean(tmp_path):
    package = os.path.join(os.path.dirname(__file__), "..", "..", "python")
    run = subprocess.run([sys.executable, "-m", "mypy", "--strict", "--cache-dir", str(tmp_path), "-p", "voka"],
                         cwd=package, capture_output=True, text=True)
    assert (run.returncode, run.stdout.startswith("Success: no issues found")) == (0, True), run.stdout
