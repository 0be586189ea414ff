"""voka.Code: the result codes of the engine and voka-server's answers, by
name, as the library numbers them (built on first use, so that importing
voka needs no library)."""
import enum
import functools
from typing import Union

from voka._library import terms

_DOC = """A request's result code by name, equal to its number: the engine's
    codes (OK; E_FAIL, the request failed and DESCMSG says why; E_EKEYPWD, the
    USB token gave no password), then voka-server's RETVALUEs (another server
    may mean other things by these numbers; one it sends that is not here
    stays a plain int)."""


@functools.lru_cache(maxsize=None)
def _code() -> type:
    # VOKA_VALUE_ABSENT and VOKA_VALUE_TOO_LONG are what the getters return, never a request.
    engine = [(name[len("VOKA_"):], term.number) for name, term in terms("result").items()
              if not name.startswith("VOKA_VALUE_")]
    server = [(name, term.number) for name, term in terms("answer").items()]
    code = enum.IntEnum("Code", engine + server, module=__name__)
    code.__doc__ = _DOC
    return code


def __getattr__(name: str) -> type:
    if name == "Code":
        return _code()
    raise AttributeError("module %r has no attribute %r" % (__name__, name))


def named(code: int) -> Union[enum.IntEnum, int]:
    """code as a Code when it has a name, else as it is."""
    members = _code()._value2member_map_
    return members[code] if code in members else code
