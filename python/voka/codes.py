"""voka.Code: the result codes of the engine and voka-server's answers, by
name, as the library numbers them; voka.Cause: why a request failed. Both
are built on first use, so that importing voka needs no library."""
import enum
import functools
from typing import Any, Optional, Type, Union

from voka._library import terms

_DOC = """A request's result code by name, equal to its number: the engine's
    codes (OK; E_FAIL, the request failed and DESCMSG says why; E_EKEYPWD, the
    USB token gave no password), then voka-server's RETVALUEs (another server
    may mean other things by these numbers; one it sends that is not here
    stays a plain int)."""


_CAUSE_DOC = """Why a request failed, by the library's name of the cause in
    upper case with "_" for "-" (NO_ANSWER for "no-answer"), equal to its
    number; str() gives the library's name back. A Result's cause is None
    when the request's answer was read."""


@functools.lru_cache(maxsize=None)
def _code() -> Type[enum.IntEnum]:
    # VOKA_VALUE_ABSENT and VOKA_VALUE_TOO_LONG are what the getters return, never a request.
    engine = [(name[len("VOKA_"):], term.number) for name, term in terms("result").items()
              if not name.startswith("VOKA_VALUE_")]
    server = [(name, term.number) for name, term in terms("answer").items()]
    code = enum.IntEnum("Code", engine + server, module=__name__)  # type: ignore[misc]  # names from the library
    code.__doc__ = _DOC
    return code


class _CauseBase(enum.Enum):
    def __str__(self) -> str:
        return self.name.lower().replace("_", "-")


@functools.lru_cache(maxsize=None)
def _cause() -> Type[enum.Enum]:
    names = [(name.upper().replace("-", "_"), term.number) for name, term in terms("cause").items()]
    cause: Type[enum.Enum] = _CauseBase("Cause", names, module=__name__)  # type: ignore[call-arg, assignment]
    cause.__doc__ = _CAUSE_DOC
    return cause


def __getattr__(name: str) -> Any:
    if name == "Code":
        return _code()
    if name == "Cause":
        return _cause()
    raise AttributeError("module %r has no attribute %r" % (__name__, name))


def named(code: int) -> Union[enum.IntEnum, int]:
    """code as a Code when it has a name, else as it is."""
    members = _code()._value2member_map_
    return members[code] if code in members else code  # type: ignore[return-value]


def cause_named(number: int) -> Optional[enum.Enum]:
    """The Cause numbered number; None for the cause of an answer read."""
    cause = _cause()(number)
    return None if cause.name == "NONE" else cause
