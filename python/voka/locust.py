"""Logins as Locust users: each request of a login reported to Locust.

A locustfile:

    from locust import constant
    import voka.locust

    class Player(voka.locust.LoginUser):
        wait_time = constant(1)

    locust -f locustfile.py --host http://HOST:8080 --voka-udp HOST:8025 --voka-accounts ACCOUNTS

A LoginUser logs in again and again, each time with the next account of
--voka-accounts (voka-server's account file; each worker takes its share, and
no two of its users log in with one account at once) or with --voka-user and
--voka-password, on a new engine, as a front end would: the dynamic key, the
account login and, when the answer asks for them, the e-key login (the token
stand-in of the process, VOKA_SOFT_TOKEN_SECRET) or the e-card login (the
account's card). Each request is a request to Locust: type "UDP" or "HTTP",
the transport it went over; name the request's kind, as voka.terms("request")
names it ("dynamic-key", "static", ...); a failure is a LoginFailure that names its cause.

The engine's calls block their thread, so they run in native threads of a
pool that grows with the users: one worker keeps as many logins in flight as
it has users. Importing this module also lets the workers of Debian 12's
Locust, which carries no version, join their master."""
import importlib.metadata
import time
from typing import Any, Callable, List, Optional, Tuple

import locust.runners
from gevent.event import AsyncResult
from gevent.threadpool import ThreadPool
from locust import User, events, task
from locust.exception import LocustError

import voka
from voka._library import first_step, next_step, terms
from voka.client import Result

# A matrix card's text at a POSITION, or None for an account without a card.
CardCell = Callable[[str], Optional[str]]

if not locust.__version__:
    # A master takes a worker that tells no version for one older than 2.0 and
    # refuses it; both sides then tell the version of the package's metadata.
    locust.runners.__version__ = importlib.metadata.version("locust")

# One thread for each user, added as users start and dropped as they stop.
_engine_threads = ThreadPool(0)


class LoginFailure(Exception):
    """A failed request, as Locust shows it: failure_text(result)."""


def failure_text(result: Result) -> str:
    """The result's cause when it names one, then its code and DESCMSG."""
    cause = getattr(result, "cause", None)
    text = "%d %s" % (result.code, result.descmsg or "")
    return text if cause is None else "%s: %s" % (getattr(cause, "name", cause), text)


class LoginClient:
    """Logins against one account server, each on a new engine, each request
    reported to Locust's request event. A request runs in a thread of the
    pool while the greenlet waits for it; an engine is freed only once no
    thread uses it, also when its greenlet is killed during a request."""

    def __init__(self, udp: str, http: str, request_event: Any, udp_timeout: Optional[int] = None, app: str = "1",
                 area: str = "1") -> None:
        self.udp, self.http, self.udp_timeout, self.app, self.area = udp, http, udp_timeout, app, area
        self._request_event = request_event
        self._under_way: Optional[AsyncResult] = None
        self._open = True
        _engine_threads.maxsize += 1

    def login(self, user: str, password: str, card_cell: CardCell = lambda position: None) -> Result:
        """One whole login, in the library's steps (voka_client_next_step);
        the last request's result. An account whose card has no cell at the
        POSITION asked for stops before the e-card login."""
        kinds = {term.number: name for name, term in terms("request").items()}
        engine = self._in_thread(voka.Client, self.udp, self.http, udp_timeout=self.udp_timeout)
        try:
            kind: Optional[int] = first_step()
            result = None
            while kind is not None:
                call = self._call(kinds[kind], engine, user, password, card_cell, result)
                if call is None:
                    break
                result = self._request(kinds[kind], engine, call)
                kind = next_step(kind, result.code, result.fields.get("AUTHENSTATE"))
            return result
        finally:
            self._free(engine)

    def _call(self, kind: str, engine: voka.Client, user: str, password: str, card_cell: CardCell,
              last: Optional[Result]) -> Optional[Callable[[], Result]]:
        """engine's request of kind, after the answer last; None when the
        account has nothing to send."""
        if kind == "static":
            return lambda: engine.static_authen(user, password, self.app, self.area)
        if kind == "ekey":
            return lambda: engine.ekey_authen(user, last.fields.get("EKEYPWD", ""))
        if kind == "ecard":
            cell = card_cell(last.fields.get("POSITION", ""))
            return None if cell is None else lambda: engine.ecard_authen(user, cell)
        return engine.get_dynamic_key

    def _request(self, kind: str, engine: voka.Client, call: Callable[[], Result]) -> Result:
        """call (engine's request of kind) in a thread, reported to Locust under kind."""
        started = time.perf_counter()
        result, over_udp = self._in_thread(_with_transport, engine, call)
        self._request_event.fire(request_type="UDP" if over_udp else "HTTP", name=kind,
                                 response_time=(time.perf_counter() - started) * 1000, response_length=0,
                                 exception=None if result.ok else LoginFailure(failure_text(result)), context={})
        return result

    def close(self) -> None:
        """Gives the user's thread back to the pool."""
        if self._open:
            self._open = False
            _engine_threads.maxsize -= 1

    def _in_thread(self, function: Callable, *arguments: Any, **keywords: Any) -> Any:
        self._under_way = _engine_threads.spawn(function, *arguments, **keywords)
        return self._under_way.get()

    def _free(self, engine: voka.Client) -> None:
        under_way = self._under_way
        if under_way is not None and not under_way.ready():
            under_way.rawlink(lambda _: engine.close())  # the greenlet was killed; the thread still uses it
        else:
            engine.close()


def _with_transport(engine: voka.Client, call: Callable[[], Result]) -> Tuple[Result, bool]:
    return call(), engine.uses_udp


class LoginUser(User):
    """A user that logs in in a loop (subclass it, with a wait_time). self.client
    is its LoginClient: --voka-udp and --host (the HTTP base URL) are its
    endpoints, --voka-timeout the seconds a UDP request waits."""
    abstract = True
    app = "1"
    area = "1"

    def __init__(self, environment) -> None:
        super().__init__(environment)
        options = environment.parsed_options
        if not self.host or not options.voka_udp:
            raise LocustError("voka logins need --host (the HTTP base URL) and --voka-udp HOST:PORT")
        self.client = LoginClient(options.voka_udp, self.host, environment.events.request, options.voka_timeout,
                                  self.app, self.area)

    @task
    def log_in(self) -> None:
        account = _account_turns(self.environment).take()
        try:
            self.client.login(*account)
        finally:
            _account_turns(self.environment).give_back(account)

    def on_stop(self) -> None:
        self.client.close()


Account = Tuple[str, str, CardCell]


class _AccountTurns:
    """The worker's accounts in turn, skipping those that one of its users is
    logging in with: two logins of one account at once would be one person's
    two front ends, and an account server may keep one login's second factor."""

    def __init__(self, accounts: List[Account]) -> None:
        self._accounts, self._next, self._busy = accounts, 0, set()

    def take(self) -> Account:
        for _ in self._accounts:
            account = self._accounts[self._next]
            self._next = (self._next + 1) % len(self._accounts)
            if account[0] not in self._busy:
                break
        self._busy.add(account[0])
        return account

    def give_back(self, account: Account) -> None:
        self._busy.discard(account[0])


_turns: List[_AccountTurns] = []


def _account_turns(environment: Any) -> _AccountTurns:
    """The process's accounts: of --voka-accounts every --expect-workers-th,
    from the worker's index on, so that the workers share none; else the one
    of --voka-user and --voka-password."""
    if not _turns:
        options = environment.parsed_options
        if options.voka_accounts:
            from voka.testing import read_accounts
            accounts = [(account.user, account.password, _card_cell(account))
                        for account in read_accounts(options.voka_accounts).values()]
            workers = max(1, options.expect_workers or 1)
            accounts = accounts[environment.runner.worker_index % workers::workers] or accounts
        elif options.voka_user and options.voka_password is not None:
            accounts = [(options.voka_user, options.voka_password, lambda position: None)]
        else:
            raise LocustError("voka logins need --voka-accounts FILE, or --voka-user and --voka-password")
        _turns.append(_AccountTurns(accounts))
    return _turns[0]


def _card_cell(account: Any) -> CardCell:
    def cell(position: str) -> Optional[str]:
        try:
            return account.card_cell(position) if account.card else None
        except (IndexError, ValueError):
            return None  # not on the card: the login stops there
    return cell


@events.init_command_line_parser.add_listener
def _add_options(parser: Any) -> None:
    parser.add_argument("--voka-udp", metavar="HOST:PORT", help="the account server's UDP endpoint")
    parser.add_argument("--voka-accounts", metavar="FILE", help="the accounts, in voka-server's account file format")
    parser.add_argument("--voka-user", help="the one account's user, without --voka-accounts")
    parser.add_argument("--voka-password", include_in_web_ui=False, help="the one account's password")
    parser.add_argument("--voka-timeout", type=int, metavar="SECONDS",
                        help="how long a UDP request waits (%d)" % terms("limit")["UDP_TIMEOUT"].number)


@events.quit.add_listener
def _wait_for_engine_calls(**_: Any) -> None:
    # A user killed during a request leaves its thread in the library: the
    # process's exit must not unload the library under it.
    _engine_threads.join()
