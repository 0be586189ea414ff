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
names it ("dynamic-key", "static", ...); a failure is a LoginFailure that names
its cause. Its time is in milliseconds with their fractions, its size the
answer's fields as NAME=VALUE texts in UTF-8 bytes. Beside them each whole
login is an entry of type "LOGIN", name "login": its time from the dynamic key
to the last answer, a failure when the user is not logged in at the end.

The engine's calls block their thread, so they run in native threads of a
pool that grows with the users: one worker keeps as many logins in flight as
it has users. Importing this module also lets the workers of Debian 12's
Locust, which carries no version, join their master."""
import importlib.metadata
import logging
import sys
import time
from typing import Any, Callable, Dict, List, Optional, Set, Tuple

import locust.runners
from gevent.event import AsyncResult  # type: ignore[import]  # gevent ships no types
from gevent.threadpool import ThreadPool  # type: ignore[import]
from locust import User, events, task
from locust.exception import LocustError

import voka
from voka._library import first_step, next_step, terms
from voka.client import Result

# A matrix card's text at a POSITION, or None for an account without a card.
CardCell = Callable[[str], Optional[str]]

if not getattr(locust, "__version__"):
    # A master takes a worker that tells no version for one older than 2.0 and
    # refuses it; both sides then tell the version of the package's metadata.
    setattr(locust.runners, "__version__", importlib.metadata.version("locust"))

# One thread for each user, added as users start and dropped as they stop.
_engine_threads = ThreadPool(0)


class LoginFailure(Exception):
    """A failed request, as Locust shows it: failure_text(result)."""


def failure_text(result: Result) -> str:
    """The result's cause when it has one ("no-answer: ..."), then its code and DESCMSG."""
    text = "%d %s" % (result.code, result.descmsg or "")
    return text if result.cause is None else "%s: %s" % (result.cause, text)


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
        started = time.perf_counter()
        engine = self._in_thread(voka.Client, self.udp, self.http, udp_timeout=self.udp_timeout)
        try:
            kind: Optional[int] = first_step()
            result: Optional[Result] = None
            while kind is not None:
                call = self._call(kinds[kind], engine, user, password, card_cell, result)
                if call is None:
                    break
                result = self._request(kinds[kind], engine, call)
                kind = next_step(kind, result.code, result.fields.get("AUTHENSTATE"))
        finally:
            self._free(engine)
        assert result is not None  # a login sends its first request whatever the account
        failure = None if result.logged_in else LoginFailure(failure_text(result))
        self._request_event.fire(request_type="LOGIN", name="login", response_time=_milliseconds_since(started),
                                 response_length=_fields_size(result.fields, {}), exception=failure, context={})
        return result

    def _call(self, kind: str, engine: voka.Client, user: str, password: str, card_cell: CardCell,
              last: Optional[Result]) -> Optional[Callable[[], Result]]:
        """engine's request of kind, after the answer last; None when the
        account has nothing to send."""
        if kind == "static":
            return lambda: engine.static_authen(user, password, self.app, self.area)
        asked = last.fields if last is not None else {}
        if kind == "ekey":
            return lambda: engine.ekey_authen(user, asked.get("EKEYPWD", ""))
        if kind == "ecard":
            cell = card_cell(asked.get("POSITION", ""))
            if cell is None:
                return None
            answer = cell
            return lambda: engine.ecard_authen(user, answer)
        return engine.get_dynamic_key

    def _request(self, kind: str, engine: voka.Client, call: Callable[[], Result]) -> Result:
        """call (engine's request of kind) in a thread, reported to Locust under kind."""
        before = engine.fields()
        started = time.perf_counter()
        outcome: Tuple[Result, bool] = self._in_thread(_with_transport, engine, call)
        result, over_udp = outcome
        self._request_event.fire(request_type="UDP" if over_udp else "HTTP", name=kind,
                                 response_time=_milliseconds_since(started),
                                 response_length=_fields_size(result.fields, before),
                                 exception=None if result.ok else LoginFailure(failure_text(result)), context={})
        return result

    def close(self) -> None:
        """Gives the user's thread back to the pool."""
        if self._open:
            self._open = False
            _engine_threads.maxsize -= 1

    def _in_thread(self, function: Callable[..., Any], *arguments: Any, **keywords: Any) -> Any:
        self._under_way = _engine_threads.spawn(function, *arguments, **keywords)
        return self._under_way.get()

    def _free(self, engine: voka.Client) -> None:
        under_way = self._under_way
        if under_way is not None and not under_way.ready():
            # The greenlet was killed (the user stops): its request ends now, not once it is answered or timed out.
            engine.cancel()
            under_way.rawlink(lambda _: engine.close())  # the thread still uses it
        else:
            engine.close()


def _with_transport(engine: voka.Client, call: Callable[[], Result]) -> Tuple[Result, bool]:
    return call(), engine.uses_udp


def _milliseconds_since(started: float) -> float:
    return (time.perf_counter() - started) * 1000


def _fields_size(fields: Dict[str, str], before: Dict[str, str]) -> int:
    """The answer's size: its fields (those that were not so before) as NAME=VALUE texts, in UTF-8 bytes."""
    return sum(len(("%s=%s" % item).encode("utf-8", "surrogatepass")) for item in fields.items()
               if before.get(item[0]) != item[1])


class LoginUser(User):
    """A user that logs in in a loop (subclass it, with a wait_time). self.client
    is its LoginClient: --voka-udp and --host (the HTTP base URL) are its
    endpoints, --voka-timeout the seconds a UDP request waits."""
    abstract = True
    app = "1"
    area = "1"

    def __init__(self, environment: Any) -> None:
        super().__init__(environment)  # type: ignore[no-untyped-call]
        options = environment.parsed_options
        if not self.host or not options.voka_udp:
            raise LocustError("voka logins need --host (the HTTP base URL) and --voka-udp HOST:PORT")
        _check_timeout(options)
        _account_turns(environment)  # refuses an account file without accounts before the first login
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
        self._accounts, self._next, self._busy = accounts, 0, set()  # type: Tuple[List[Account], int, Set[str]]

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
            accounts = _read_accounts(options.voka_accounts)
            workers = max(1, options.expect_workers or 1)
            accounts = accounts[environment.runner.worker_index % workers::workers] or accounts
        elif options.voka_user and options.voka_password is not None:
            accounts = [(options.voka_user, options.voka_password, lambda position: None)]
        else:
            raise LocustError("voka logins need --voka-accounts FILE, or --voka-user and --voka-password")
        _turns.append(_AccountTurns(accounts))
    return _turns[0]


def _read_accounts(path: str) -> List[Account]:
    from voka.testing import read_accounts
    accounts = [(account.user, account.password, _card_cell(account)) for account in read_accounts(path).values()]
    if not accounts:
        raise LocustError("--voka-accounts %s: no account in it" % path)
    return accounts


def _check_timeout(options: Any) -> None:
    longest = terms("limit")["UDP_TIMEOUT_MAX"].number
    if options.voka_timeout is not None and not 0 < options.voka_timeout <= longest:
        raise LocustError("--voka-timeout %d: a UDP request waits 1 to %d seconds" % (options.voka_timeout, longest))


@events.init.add_listener  # type: ignore[misc]  # Locust's events are untyped
def _refuse_unusable_options(environment: Any, **_: Any) -> None:
    """Before any user starts, the master or the lone process refuses, as
    Locust refuses its own bad options, what would fail every login; a
    worker takes its options from the master."""
    options = environment.parsed_options
    if options is None or isinstance(environment.runner, locust.runners.WorkerRunner):
        return
    try:
        _check_timeout(options)
        if options.voka_accounts:
            _read_accounts(options.voka_accounts)
    except (LocustError, OSError) as refusal:
        logging.getLogger(__name__).error("%s", refusal)
        sys.exit(1)


def _card_cell(account: Any) -> CardCell:
    def cell(position: str) -> Optional[str]:
        try:
            return account.card_cell(position) if account.card else None
        except (IndexError, ValueError):
            return None  # not on the card: the login stops there
    return cell


@events.init_command_line_parser.add_listener  # type: ignore[misc]
def _add_options(parser: Any) -> None:
    parser.add_argument("--voka-udp", metavar="HOST:PORT", help="the account server's UDP endpoint")
    parser.add_argument("--voka-accounts", metavar="FILE", help="the accounts, in voka-server's account file format")
    parser.add_argument("--voka-user", help="the one account's user, without --voka-accounts")
    parser.add_argument("--voka-password", include_in_web_ui=False, help="the one account's password")
    parser.add_argument("--voka-timeout", type=int, metavar="SECONDS",
                        help="how long a UDP request waits (%d)" % terms("limit")["UDP_TIMEOUT"].number)


@events.quit.add_listener  # type: ignore[misc]
def _wait_for_engine_calls(**_: Any) -> None:
    # A user killed during a request leaves its thread in the library, its
    # request cancelled: the process's exit must not unload the library under it.
    _engine_threads.join()
