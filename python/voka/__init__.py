"""The VOKA login engine from Python, through libvoka-client.so.1 (ctypes).

    import voka
    with voka.Client("127.0.0.1:8025", "http://127.0.0.1:8080") as client:
        result = client.login("alice", "alice-pass")

voka.Client holds one engine; its requests return a voka.Result, whose code
is a voka.Code when it has a name and its cause a voka.Cause. voka.terms(group) is the protocol's
vocabulary as the library hands it out: "result" and "answer" codes,
failure "cause"s, AUTHENSTATE "state"s, "request" kinds and "limit"s such as
the default ports and waits. The pytest plugin voka.testing runs voka-server
for a test. Importing voka loads no library: Code and the VOKA_ codes are
read from it on first use."""
from typing import Any

from voka._library import load_library, terms
from voka._version import __version__
from voka.client import SOFT_TOKEN_VARIABLE, Client, Result

__all__ = ["Client", "Result", "Code", "Cause", "VOKA_OK", "VOKA_E_FAIL", "VOKA_E_EKEYPWD", "SOFT_TOKEN_VARIABLE",
           "load_library", "terms", "__version__"]


def __getattr__(name: str) -> Any:
    from voka import codes
    if name in ("Code", "Cause"):
        return getattr(codes, name)
    if name in ("VOKA_OK", "VOKA_E_FAIL", "VOKA_E_EKEYPWD"):
        return codes.Code[name[len("VOKA_"):]]
    raise AttributeError("module %r has no attribute %r" % (__name__, name))
