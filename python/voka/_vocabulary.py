"""The protocol's vocabulary as libvoka-client.so.1 hands it out
(voka_client_term): result and answer codes, failure causes, AUTHENSTATE
values, request kinds and limits, so that the package copies none of them."""
import ctypes
from typing import Dict, NamedTuple


class Term(NamedTuple):
    """One term of a group: its number and its text (a code's meaning or
    DESCMSG, an AUTHENSTATE's value, a request kind's summary)."""
    number: int
    text: str


# A group's terms by name, in the library's order.
Vocabulary = Dict[str, Dict[str, Term]]


class _CTerm(ctypes.Structure):
    _fields_ = [("group", ctypes.c_char_p), ("name", ctypes.c_char_p), ("number", ctypes.c_long),
                ("text", ctypes.c_char_p)]


def read_vocabulary(library: ctypes.CDLL) -> Vocabulary:
    """Every term of library, by group and name."""
    term_at = library.voka_client_term
    term_at.argtypes = [ctypes.c_size_t]
    term_at.restype = ctypes.POINTER(_CTerm)
    groups: Vocabulary = {}
    index = 0
    while term_at(index):
        term = term_at(index).contents
        groups.setdefault(term.group.decode(), {})[term.name.decode()] = Term(term.number, term.text.decode("utf-8"))
        index += 1
    if not groups:
        raise MemoryError("libvoka-client: no vocabulary")  # the terms are made on the first call
    return groups
