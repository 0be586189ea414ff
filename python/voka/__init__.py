"""The VOKA login engine from Python, through libvoka-client.so.1 (ctypes).

    import voka
    with voka.Client("127.0.0.1:8025", "http://127.0.0.1:8080") as client:
        result = client.login("alice", "alice-pass")

voka.Client holds one engine; its requests return a voka.Result, whose code
is a voka.Code when it has a name. The pytest plugin voka.testing runs
voka-server for a test."""
from voka._library import VOKA_E_EKEYPWD, VOKA_E_FAIL, VOKA_OK, load_library
from voka._version import __version__
from voka.client import SOFT_TOKEN_VARIABLE, Client, Result
from voka.codes import Code

__all__ = ["Client", "Result", "Code", "VOKA_OK", "VOKA_E_FAIL", "VOKA_E_EKEYPWD", "SOFT_TOKEN_VARIABLE",
           "load_library", "__version__"]
