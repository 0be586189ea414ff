"""The fixtures of the pytest plugin voka.testing, which says what they do."""
import os
from typing import Iterator, Sequence

import pytest

from voka.testing import ACCOUNTS_VARIABLE, RemoteServer, RunningServer, server_arguments


def _started(arguments: Sequence[str]) -> RunningServer:
    try:
        return RunningServer(arguments, accounts=os.environ.get(ACCOUNTS_VARIABLE))
    except FileNotFoundError as missing:
        pytest.skip(str(missing))


@pytest.fixture
def voka_server(request) -> Iterator[RunningServer]:
    """voka-server for one test; parametrize indirectly with a fault mode
    ("silence", ...) or a list of extra arguments."""
    with _started(server_arguments(getattr(request, "param", None))) as server:
        yield server


@pytest.fixture(scope="session")
def voka_session_server() -> Iterator[RunningServer]:
    """voka-server for the whole session."""
    with _started(()) as server:
        yield server


@pytest.fixture(scope="session")
def voka_remote_server(pytestconfig) -> RemoteServer:
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
