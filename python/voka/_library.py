"""Loads libvoka-client.so.1 and declares its C functions for ctypes."""
import ctypes
import os
from typing import Any, Callable, Dict, Optional

from voka._vocabulary import Term, Vocabulary, read_vocabulary

LIBRARY_NAME = "libvoka-client.so.1"
# The library's path, for a build tree or a library outside the loader's path.
LIBRARY_VARIABLE = "VOKA_CLIENT_LIBRARY"

# voka_client_next_step's VOKA_STEP_SEND: the login goes on with the request of kind *next.
_STEP_SEND = 0

_TEXT = ctypes.c_char_p
_HANDLE = ctypes.c_void_p
_SIGNATURES = {
    "voka_client_create": [ctypes.POINTER(_HANDLE)],
    "voka_client_initialize": [_HANDLE, _TEXT, _TEXT],
    "voka_client_set_udp_timeout": [_HANDLE, ctypes.c_int],
    "voka_client_uses_udp": [_HANDLE, ctypes.POINTER(ctypes.c_int)],
    "voka_client_get_dynamic_key": [_HANDLE, _TEXT],
    "voka_client_static_authen": [_HANDLE, _TEXT, _TEXT, _TEXT, _TEXT, _TEXT, _TEXT],
    "voka_client_ekey_authen": [_HANDLE, _TEXT, _TEXT, _TEXT, _TEXT],
    "voka_client_ecard_authen": [_HANDLE, _TEXT, _TEXT, _TEXT],
    "voka_client_login": [_HANDLE, _TEXT, _TEXT, _TEXT, _TEXT, _TEXT, _TEXT],
    "voka_client_get_value": [_HANDLE, _TEXT, ctypes.c_char_p, ctypes.c_size_t, ctypes.POINTER(ctypes.c_size_t)],
    "voka_client_last_message": [_HANDLE, ctypes.c_char_p, ctypes.c_size_t, ctypes.POINTER(ctypes.c_size_t)],
    "voka_client_field_name": [_HANDLE, ctypes.c_size_t, ctypes.c_char_p, ctypes.c_size_t,
                               ctypes.POINTER(ctypes.c_size_t)],
    "voka_client_fields": [_HANDLE, ctypes.c_char_p, ctypes.c_size_t, ctypes.POINTER(ctypes.c_size_t)],
    "voka_client_request": [_HANDLE, ctypes.c_int, ctypes.POINTER(_TEXT), ctypes.POINTER(_TEXT), ctypes.c_size_t],
    "voka_client_last_cause": [_HANDLE],
    "voka_client_cancel": [_HANDLE],
    "voka_client_first_step": [],
    "voka_client_next_step": [ctypes.c_int, ctypes.c_int, _TEXT, ctypes.POINTER(ctypes.c_int)],
}

_loaded: Dict[str, ctypes.CDLL] = {}
_vocabulary: Optional[Vocabulary] = None


def load_library(path: Optional[str] = None) -> ctypes.CDLL:
    """The C interface from path, else from $VOKA_CLIENT_LIBRARY, else the
    installed libvoka-client.so.1; each library is loaded once."""
    path = path or os.environ.get(LIBRARY_VARIABLE) or LIBRARY_NAME
    if path not in _loaded:
        try:
            library = ctypes.CDLL(path)
        except OSError as missing:
            raise OSError("%s; install the Debian package libvoka-client1, or set %s to the library's path"
                          % (missing, LIBRARY_VARIABLE)) from missing
        for name, arguments in _SIGNATURES.items():
            function = getattr(library, name)
            function.argtypes = arguments
            function.restype = ctypes.c_int
        library.voka_client_free.argtypes = [_HANDLE]
        library.voka_client_free.restype = None
        library.voka_client_cause_name.argtypes = [ctypes.c_int]
        library.voka_client_cause_name.restype = ctypes.c_char_p
        _loaded[path] = library
    return _loaded[path]


def _first_loaded() -> ctypes.CDLL:
    """The library loaded first, else the one load_library finds: the
    protocol's vocabulary and a login's steps come from it."""
    return next(iter(_loaded.values())) if _loaded else load_library()


def terms(group: str) -> Dict[str, Term]:
    """The protocol's terms of group ("result", "answer", "cause", "state",
    "request", "limit") by name, read once."""
    global _vocabulary
    if _vocabulary is None:
        _vocabulary = read_vocabulary(_first_loaded())
    return _vocabulary[group]


def result_code(name: str) -> int:
    """The engine's result code VOKA_<name>."""
    return terms("result")["VOKA_" + name].number


def first_step() -> int:
    """The kind of request a login starts with."""
    return int(_first_loaded().voka_client_first_step())


def next_step(answered: int, result: int, authen_state: Optional[str]) -> Optional[int]:
    """The kind of request a login sends after the answer to one of kind
    answered, with its result and AUTHENSTATE as the answers so far left it;
    None once the login is over."""
    following = ctypes.c_int()
    state = None if authen_state is None else authen_state.encode("utf-8", "surrogatepass")
    step = _first_loaded().voka_client_next_step(answered, result, state, ctypes.byref(following))
    return following.value if step == _STEP_SEND else None


def read_text(getter: Callable[..., int], *arguments: Any) -> Optional[str]:
    """What a getter of the C interface hands out (None when absent)."""
    text = read_bytes(getter, *arguments)
    return None if text is None else text.decode("utf-8")


def read_bytes(getter: Callable[..., int], *arguments: Any) -> Optional[bytes]:
    """The bytes a getter hands out, its final NUL excluded (None when
    absent), sized by a first call that asks only for the length. With valid
    arguments a getter fails only for want of memory."""
    length = ctypes.c_size_t()
    result = getter(*arguments, None, 0, ctypes.byref(length))
    if result == result_code("VALUE_ABSENT"):
        return None
    buffer = ctypes.create_string_buffer(length.value + 1)
    if result != result_code("VALUE_TOO_LONG") or getter(*arguments, buffer, len(buffer),
                                                         ctypes.byref(length)) != result_code("OK"):
        raise MemoryError("libvoka-client: out of memory")
    return buffer.raw[:length.value]
