"""The C interface called as C callers call it, through ctypes: misuse gets a
result code, never a crash, and a refused text is refused before anything is
sent (the server answers the same request)."""
import ctypes
import socket
import threading
import time

import pytest

from voka._library import load_library, read_bytes, result_code, terms

C = load_library()
VOKA_OK, VOKA_E_FAIL = result_code("OK"), result_code("E_FAIL")
VOKA_VALUE_ABSENT, VOKA_VALUE_TOO_LONG = result_code("VALUE_ABSENT"), result_code("VALUE_TOO_LONG")
KINDS = {name: term.number for name, term in terms("request").items()}
NO_KINDS = [min(KINDS.values()) - 1, max(KINDS.values()) + 1]
ONE_TEXT = ctypes.c_char_p * 1
NETWORK_ERROR = "网络连接出错"
NOT_IN_CODE_PAGE = "参数中含有代码页无法表示的字符"
REQUESTS = {  # name: a request that the sample server answers
    "get_dynamic_key": [b""],
    "static_authen": [b"alice", b"alice-pass", b"1", b"1", b"", b""],
    "ekey_authen": [b"alice", b"123456", b"1", b""],
    "ecard_authen": [b"alice", b"12", b""],
    "login": [b"alice", b"alice-pass", b"1", b"1", b"", b""],
}
BAD_TEXTS = {
    "null": None,
    "lone continuation byte": b"\x80",
    "cut sequence": "中".encode()[:2],
    "overlong slash": b"\xc0\xaf",
    "surrogate": b"\xed\xa0\x80",
    "outside code page 936": "😀".encode(),
}


@pytest.fixture
def handle(voka_server):
    handle = ctypes.c_void_p()
    assert C.voka_client_create(ctypes.byref(handle)) == VOKA_OK
    assert C.voka_client_initialize(handle, voka_server.udp.encode(), voka_server.http.encode()) == VOKA_OK
    yield handle
    C.voka_client_free(handle)


def message(handle):
    buffer = ctypes.create_string_buffer(256)
    return buffer.value.decode() if C.voka_client_last_message(handle, buffer, 256, None) == VOKA_OK else None


@pytest.mark.parametrize("call", [
    lambda: C.voka_client_create(None),
    lambda: C.voka_client_initialize(None, b"127.0.0.1:1", b"http://127.0.0.1:1"),
    lambda: C.voka_client_set_udp_timeout(None, 5),
    lambda: C.voka_client_uses_udp(None, ctypes.byref(ctypes.c_int())),
    lambda: C.voka_client_cancel(None),
    *(lambda name=name: getattr(C, "voka_client_" + name)(None, *REQUESTS[name]) for name in REQUESTS),
    lambda: C.voka_client_get_value(None, b"DESCMSG", ctypes.create_string_buffer(8), 8, None),
    lambda: C.voka_client_last_message(None, ctypes.create_string_buffer(8), 8, None),
    lambda: C.voka_client_field_name(None, 0, ctypes.create_string_buffer(8), 8, None),
    lambda: C.voka_client_fields(None, ctypes.create_string_buffer(8), 8, None),
    lambda: C.voka_client_request(None, KINDS["dynamic-key"], None, None, 0),
    *(lambda kind=kind: C.voka_client_next_step(kind, 0, None, ctypes.byref(ctypes.c_int(-7))) for kind in NO_KINDS),
    lambda: C.voka_client_next_step(KINDS["static"], 0, b"4", None),
])
def test_null_handle_and_misuse_fail(call):
    assert call() == VOKA_E_FAIL
    C.voka_client_free(None)


@pytest.mark.parametrize("name", REQUESTS)
@pytest.mark.parametrize("bad", BAD_TEXTS.values(), ids=BAD_TEXTS.keys())
def test_bad_text_is_refused_before_sending(handle, name, bad):
    request = getattr(C, "voka_client_" + name)
    assert C.voka_client_get_dynamic_key(handle, b"") == VOKA_OK
    assert request(handle, *REQUESTS[name]) != VOKA_E_FAIL
    for position in range(len(REQUESTS[name])):
        arguments = list(REQUESTS[name])
        arguments[position] = bad
        assert request(handle, *arguments) == VOKA_E_FAIL, position
        assert message(handle) == NOT_IN_CODE_PAGE
        assert C.voka_client_cause_name(C.voka_client_last_cause(handle)) == b"text-refused"


@pytest.mark.parametrize("kind, names, values, count", [
    *((kind, None, None, 0) for kind in NO_KINDS),
    (KINDS["static"], None, ONE_TEXT(b"alice"), 1),
    (KINDS["static"], ONE_TEXT(b"USERID"), None, 1),
    (KINDS["static"], ONE_TEXT(None), ONE_TEXT(b"alice"), 1),
])
def test_request_misuse_sends_nothing(handle, kind, names, values, count):
    assert C.voka_client_request(handle, kind, names, values, count) == VOKA_E_FAIL
    assert read_bytes(C.voka_client_fields, handle) == b""  # no answer: nothing went out
    assert C.voka_client_request(handle, KINDS["dynamic-key"], None, None, 0) == VOKA_OK


def test_text_longer_than_any_request_is_refused(handle):
    assert C.voka_client_get_dynamic_key(handle, b"x" * 8193) == VOKA_E_FAIL
    assert message(handle) == NETWORK_ERROR
    assert C.voka_client_cause_name(C.voka_client_last_cause(handle)) == b"request-too-long"


def test_getters(handle):
    assert C.voka_client_get_dynamic_key(handle, b"") == VOKA_OK
    length = ctypes.c_size_t()
    assert C.voka_client_get_value(handle, b"guid", None, 0, ctypes.byref(length)) == VOKA_VALUE_TOO_LONG
    buffer = ctypes.create_string_buffer(length.value + 1)
    assert C.voka_client_get_value(handle, b"guid", buffer, length.value, None) == VOKA_VALUE_TOO_LONG
    assert C.voka_client_get_value(handle, b"guid", buffer, len(buffer), None) == VOKA_OK
    assert len(buffer.value) == length.value == 36
    assert C.voka_client_get_value(handle, None, buffer, len(buffer), None) == VOKA_E_FAIL
    for name in (b"ABSENT", b"\xff", "😀".encode()):
        assert C.voka_client_get_value(handle, name, buffer, len(buffer), None) == VOKA_VALUE_ABSENT
    assert C.voka_client_field_name(handle, 3, buffer, len(buffer), None) == VOKA_VALUE_ABSENT
    assert read_bytes(C.voka_client_fields, handle).split(b"\0")[0:-1:2] == [b"DESCMSG", b"GUID", b"RETVALUE"]
    assert {C.voka_client_set_udp_timeout(handle, seconds) for seconds in (0, 2**31 // 1000 + 1)} == {VOKA_E_FAIL}


# The dynamic key waits on a silent UDP peer, or (UDP port 0) on an HTTP peer that
# accepts and never answers; a cancel from another thread ends the wait, and UDP
# does not fall back to HTTP.
@pytest.mark.parametrize("udp_off, uses_udp", [(False, 1), (True, 0)], ids=["udp-wait", "http-fetch"])
def test_cancel_ends_the_wait_at_once(udp_off, uses_udp):
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as silent_udp, socket.socket() as silent_http:
        silent_udp.bind(("127.0.0.1", 0))
        silent_http.bind(("127.0.0.1", 0))
        silent_http.listen()
        handle = ctypes.c_void_p()
        assert C.voka_client_create(ctypes.byref(handle)) == VOKA_OK
        udp = "127.0.0.1:%d" % (0 if udp_off else silent_udp.getsockname()[1])
        http = "http://127.0.0.1:%d" % silent_http.getsockname()[1]
        assert C.voka_client_initialize(handle, udp.encode(), http.encode()) == VOKA_OK
        outcome = []
        call = threading.Thread(target=lambda: outcome.append(C.voka_client_get_dynamic_key(handle, b"")))
        call.start()
        time.sleep(0.5)
        cancelled = time.monotonic()
        assert C.voka_client_cancel(handle) == VOKA_OK
        call.join(10)
        waited = time.monotonic() - cancelled  # the engine looks every 50 ms; the rest is a busy machine's slack
        flag = ctypes.c_int()
        C.voka_client_uses_udp(handle, ctypes.byref(flag))
        cause = C.voka_client_cause_name(C.voka_client_last_cause(handle))
        C.voka_client_free(handle)
    assert (outcome, waited < 0.5, cause, flag.value) == ([VOKA_E_FAIL], True, b"cancelled", uses_udp), waited
