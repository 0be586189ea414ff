"""voka.Client: one login engine, its requests and a whole login."""
import contextlib
import enum
import ctypes
import threading
from dataclasses import dataclass, field
from typing import Any, Callable, Dict, Iterator, List, Optional

from voka._library import load_library, read_bytes, read_text, result_code, terms
from voka.codes import cause_named, named

# The stand-in USB token computes its password with the secret held here.
SOFT_TOKEN_VARIABLE = "VOKA_SOFT_TOKEN_SECRET"


@dataclass(frozen=True)
class Result:
    """The outcome of one request.

    code: 0, the server's RETVALUE, or one of the engine's codes (Code.E_FAIL:
    the request failed, DESCMSG says why; Code.E_EKEYPWD: the token gave no
    password), a voka.Code when it has a name. retvalue and descmsg: those
    fields of the latest answer, or None. fields: every field of the answers
    so far, names upper-case. cause: why the request failed, a voka.Cause
    (Cause.NO_ANSWER, Cause.PORT_UNREACHABLE, ...; docs/behaviour.md), None
    when its answer was read."""
    code: int
    retvalue: Optional[str]
    descmsg: Optional[str]
    fields: Dict[str, str] = field(default_factory=dict)
    cause: Optional[enum.Enum] = None

    @property
    def ok(self) -> bool:
        """The request succeeded: code 0."""
        return self.code == result_code("OK")

    @property
    def logged_in(self) -> bool:
        """The answers say the user is logged in: code 0 and AUTHENSTATE
        LOGGED_IN (voka.terms("state"))."""
        return self.ok and self.fields.get("AUTHENSTATE") == terms("state")["LOGGED_IN"].text


class Client:
    """One login engine (libvoka-client.so.1) with the server endpoints.

        with voka.Client("127.0.0.1:8025", "http://127.0.0.1:8080") as client:
            result = client.login("alice", "alice-pass")
            print(result.code, result.descmsg, result.logged_in)

    udp is the challenge server's "host[:port]", http the validation
    server's base URL; udp_timeout the seconds a UDP request waits for its
    answer (voka.terms("limit")["UDP_TIMEOUT"] unless given). Texts are str;
    the engine converts them to its code page (936 unless VOKA_CODEPAGE says
    otherwise) and refuses, with code Code.E_FAIL and nothing sent, a text
    the code page cannot hold. A server's answer never raises: only misuse
    does (TypeError for a text that is not a str or a udp_timeout that is not
    an int; ValueError for a text holding NUL, an endpoint the code page
    cannot hold, a udp_timeout the engine cannot wait (1 to
    voka.terms("limit")["UDP_TIMEOUT_MAX"] seconds), a request kind that is
    none or a closed client). library names libvoka-client.so.1 when it is
    not installed (or set VOKA_CLIENT_LIBRARY).

    A client is used by one thread at a time, as its engine is: a call made
    while another thread's call on the same client runs raises RuntimeError
    at once, and changes nothing. Give each thread a client of its own; only
    cancel() may come from another thread.

    Ctrl-C (KeyboardInterrupt, or any exception a signal handler raises)
    interrupts a request of the main thread at once, as it does Python's own
    blocking calls: the engine's request is cancelled, within 100 ms, before
    the exception goes on."""

    def __init__(self, udp: str, http: str, *, udp_timeout: Optional[int] = None,
                 library: Optional[str] = None) -> None:
        if udp_timeout is not None and (isinstance(udp_timeout, bool) or not isinstance(udp_timeout, int)):
            raise TypeError("udp_timeout: whole seconds, an int, not %s" % type(udp_timeout).__name__)
        self._busy = threading.Lock()
        self._library = load_library(library)
        handle = ctypes.c_void_p()
        if self._library.voka_client_create(ctypes.byref(handle)) != result_code("OK"):
            raise MemoryError("libvoka-client: no engine")
        self._handle: Optional[ctypes.c_void_p] = handle
        if self._library.voka_client_initialize(handle, _text(udp), _text(http)) != result_code("OK"):
            self.close()
            raise ValueError("an endpoint that the code page cannot hold")
        # ctypes would cut an int wider than the C int short: the range is checked here first.
        if udp_timeout is not None and (not 0 < udp_timeout <= terms("limit")["UDP_TIMEOUT_MAX"].number or
                                        self._library.voka_client_set_udp_timeout(handle, udp_timeout)
                                        != result_code("OK")):
            self.close()
            raise ValueError("udp_timeout: %d seconds, a wait the engine cannot keep" % udp_timeout)

    def close(self) -> None:
        """Frees the engine; the client cannot be used afterwards."""
        with self._held():
            if self._handle is not None:
                self._library.voka_client_free(self._handle)
                self._handle = None

    def __enter__(self) -> "Client":
        return self

    def __exit__(self, *exception: Any) -> None:
        self.close()

    def __del__(self) -> None:
        if getattr(self, "_handle", None) is not None:
            self.close()

    def cancel(self) -> None:
        """Ends the request or login under way on this client within 100 ms,
        from any thread: it returns code Code.E_FAIL with cause
        Cause.CANCELLED, and a login sends nothing more. Nothing happens when
        none is under way, or once the client is closed."""
        handle = self._handle
        if handle is not None:
            self._library.voka_client_cancel(handle)

    def request(self, kind: str, **fields: str) -> Result:
        """Any request, by the name of its kind (voka.terms("request"):
        "dynamic-key", "static", "ekey", "ecard"), with the fields given by
        name, such as USERID="alice". The engine adds GUID, CLIENTIP and MAC,
        and APPID and AREAID of the account login when they are not given;
        an optional field not given is left out, any other is sent empty.
        ValueError for a kind that is none."""
        kinds = terms("request")
        if kind not in kinds:
            raise ValueError("request kind %r: none of %s" % (kind, ", ".join(kinds)))
        names = (ctypes.c_char_p * len(fields))(*(_text(name) for name in fields))
        values = (ctypes.c_char_p * len(fields))(*(_text(value) for value in fields.values()))
        return self._request("request", kinds[kind].number, names, values, len(fields))

    def get_dynamic_key(self, indication: str = "") -> Result:
        """Asks for the GUID that the later requests carry (UDP first, HTTP
        for good when UDP fails)."""
        return self.request("dynamic-key", INDICATION=indication)

    def static_authen(self, user: str, password: str, app: str = "1", area: str = "1", check_code: str = "",
                      indication: str = "") -> Result:
        """The account login. AUTHENSTATE NEEDS_EKEY (voka.terms("state"))
        asks for the USB token (its password is then under EKEYPWD),
        NEEDS_ECARD for the matrix card cell under POSITION."""
        return self.request("static", USERID=user, PWD=password, APPID=app, AREAID=area, CHECKCODE=check_code,
                            INDICATION=indication)

    def ekey_authen(self, user: str, ekey_password: str, ekey_type: str = "", indication: str = "") -> Result:
        """The e-key login with the token's password."""
        return self.request("ekey", USERID=user, EKEYPWD=ekey_password, EKEYTYPE=ekey_type, INDICATION=indication)

    def ecard_authen(self, user: str, ecard_answer: str, indication: str = "") -> Result:
        """The e-card login with the text of the matrix card's cell."""
        return self.request("ecard", USERID=user, ECARDPWD=ecard_answer, INDICATION=indication)

    def login(self, user: str, password: str, app: str = "1", area: str = "1", ekey_type: str = "",
              indication: str = "") -> Result:
        """What `voka-auth login` does, in the library (voka_client_login): the
        dynamic key, the account login and, when the answer asks for the token
        (AUTHENSTATE NEEDS_EKEY), the e-key login with its password. The last
        request's result: result.logged_in tells whether the user is logged in; an
        account that asks for its matrix card (NEEDS_ECARD) goes on with
        ecard_authen."""
        return self._request("login", *(_text(t) for t in (user, password, app, area, ekey_type, indication)))

    @property
    def uses_udp(self) -> bool:
        """The requests go over UDP; False once a dynamic key moved to HTTP."""
        flag = ctypes.c_int()
        with self._engine() as handle:
            self._library.voka_client_uses_udp(handle, ctypes.byref(flag))
        return bool(flag.value)

    def value(self, name: str) -> Optional[str]:
        """The field name (a-z in either case) of the answers so far, or None."""
        key = _text(name)
        with self._engine() as handle:
            return read_text(self._library.voka_client_get_value, handle, key)

    def fields(self) -> Dict[str, str]:
        """Every field of the answers so far, names upper-case."""
        with self._engine() as handle:
            return self._fields(handle)

    def _fields(self, handle: ctypes.c_void_p) -> Dict[str, str]:
        words = (read_bytes(self._library.voka_client_fields, handle) or b"").decode("utf-8").split("\0")
        return dict(zip(words[0:-1:2], words[1::2]))

    def _request(self, name: str, *arguments: Any) -> Result:
        with self._engine() as handle:
            code = self._interruptible(getattr(self._library, "voka_client_" + name), handle, *arguments)
            fields = self._fields(handle)
            cause = cause_named(self._library.voka_client_last_cause(handle))
        return Result(named(code), fields.get("RETVALUE"), fields.get("DESCMSG"), fields, cause)

    def _interruptible(self, function: Callable[..., int], handle: ctypes.c_void_p, *arguments: Any) -> int:
        """function(handle, *arguments); in the main thread, where signals are
        handled, it runs in a thread of its own while this one waits, so that
        an exception from a signal handler stops the wait, cancels the call
        and goes on once the call has returned."""
        if threading.current_thread() is not threading.main_thread():
            return function(handle, *arguments)
        outcome: List[int] = []
        # An Event, not Thread.join: a join that an exception interrupts can leave is_alive() False too early.
        returned = threading.Event()

        def call() -> None:
            try:
                outcome.append(function(handle, *arguments))
            finally:
                returned.set()
        try:
            threading.Thread(target=call, daemon=True).start()
            returned.wait()
        except BaseException:
            while not returned.is_set():  # again until it took: the call may not have reached the engine yet
                self._library.voka_client_cancel(handle)
                returned.wait(0.05)
            raise
        return outcome[0]

    @contextlib.contextmanager
    def _engine(self) -> Iterator[ctypes.c_void_p]:
        """The engine's handle for one call, refused while another thread's
        call holds it."""
        with self._held():
            if self._handle is None:
                raise ValueError("the client is closed")
            yield self._handle

    @contextlib.contextmanager
    def _held(self) -> Iterator[None]:
        if not self._busy.acquire(blocking=False):
            raise RuntimeError("voka.Client: used by two threads at once; give each thread a client of its own")
        try:
            yield
        finally:
            self._busy.release()


def _text(value: str) -> bytes:
    if not isinstance(value, str):
        raise TypeError("expected a str, not %s" % type(value).__name__)
    if "\0" in value:
        raise ValueError("a text cannot hold NUL")
    return value.encode("utf-8", "surrogatepass")
