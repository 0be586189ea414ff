"""voka.Code: the result codes of the engine and voka-server's answers, by name."""
import enum
from typing import Union


class Code(enum.IntEnum):
    """A request's result code by name, equal to its number. The engine's
    codes, then voka-server's RETVALUEs (another server may mean other things
    by these numbers; one it sends that is not here stays a plain int)."""
    OK = 0
    E_FAIL = -10332102  # the request failed: DESCMSG says why
    E_EKEYPWD = -10332115  # the USB token gave no password
    MISSING_FIELD = 1001
    BAD_DYNAMIC_KEY = 1002
    UNKNOWN_USER = 1003
    WRONG_PASSWORD = 1004
    FACTOR_NOT_BOUND = 1005
    NO_PENDING_FACTOR = 1006
    WRONG_EKEY_PASSWORD = 1007
    WRONG_ECARD_ANSWER = 1008
    UNKNOWN_REQUEST = 1010
    FACTOR_LOCKED = 1011
    PASSWORDS_WAIT = 1012
    BUSY = 1013
    FOREIGN_DYNAMIC_KEY = 1014  # the GUID was issued to another address


def named(code: int) -> Union[Code, int]:
    """code as a Code when it has a name, else as it is."""
    return Code(code) if code in Code._value2member_map_ else code
