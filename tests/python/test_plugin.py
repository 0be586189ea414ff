"""The package as pip installs it, its pytest plugin, and voka-server's life tied to its starter's."""
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
    assert os.path.exists(os.path.join(os.path.dirname(voka.__file__), "py.typed"))
    for server in (voka_server, voka_session_server, voka_remote_server):
        with voka.Client(server.udp, server.http) as client:
            assert client.login("alice", "alice-pass").logged_in
"""
SERVER_STARTER = """import sys, time, voka.testing
with voka.testing.RunningServer() as server:
    print(server.process.pid if "pytest" not in sys.modules else "pytest imported", flush=True)
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
    run = subprocess.run([*pytest_run, "--voka-udp", voka_server.udp, "--voka-http", voka_server.http],
                         cwd=tmp_path, env=env, capture_output=True, text=True)
    assert " 1 passed" in run.stdout, run.stdout + run.stderr
    run = subprocess.run(pytest_run, cwd=tmp_path, env={**env, "VOKA_SERVER": str(tmp_path / "none")},
                         capture_output=True, text=True)
    assert "install the Debian package voka-tools" in run.stdout and " 1 skipped" in run.stdout, run.stdout


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
