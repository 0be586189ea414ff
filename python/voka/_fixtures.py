"""The fixtures of the pytest plugin voka.testing, which says what they do."""
import os
from typing import Iterator, Sequence

import pytest

from voka.testing import ACCOUNTS_VARIABLE, RemoteServer, RunningServer, server_arguments


def _started(config: pytest.Config, arguments: Sequence[str]) -> RunningServer:
    try:
        return RunningServer(arguments, binary=config.getoption("voka_server_exec") or config.getini("voka_server_exec")
                             or None, accounts=os.environ.get(ACCOUNTS_VARIABLE))
    except FileNotFoundError as missing:
        reason = str(missing)
    skip = config.getoption("voka_skip_missing_server")
    if config.getini("voka_skip_missing_server") if skip is None else skip:
        pytest.skip(reason)
    pytest.fail("%s, or name it with --voka-server-exec PATH (ini voka_server_exec); "
                "--voka-skip-missing-server skips the tests that need it instead" % reason, pytrace=False)


@pytest.fixture
def voka_server(request: pytest.FixtureRequest) -> Iterator[RunningServer]:
    """voka-server for one test; parametrize indirectly with a fault mode
    ("silence", ...) or a list of extra arguments."""
    with _started(request.config, server_arguments(getattr(request, "param", None))) as server:
        yield server


@pytest.fixture(scope="session")
def voka_session_server(pytestconfig: pytest.Config) -> Iterator[RunningServer]:
    """voka-server for the whole session."""
    with _started(pytestconfig, ()) as server:
        yield server


@pytest.fixture(scope="session")
def voka_remote_server(pytestconfig: pytest.Config) -> RemoteServer:
    """The server running already that --voka-udp and --voka-http (or the
    ini settings voka_udp and voka_http) name."""
    udp, http = (pytestconfig.getoption("voka_" + name) or pytestconfig.getini("voka_" + name)
                 for name in ("udp", "http"))
    if not udp and not http:
        pytest.skip("no running voka server named: give --voka-udp and --voka-http, or voka_udp and voka_http in the "
                    "ini file")
    if not udp or not http:
        raise pytest.UsageError("--voka-udp and --voka-http (or voka_udp and voka_http) name a running server together")
    return RemoteServer(udp, http)
