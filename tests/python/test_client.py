"""voka.Client against the fixture's voka-server: the sample accounts' logins,
answers that are failures and not exceptions, misuse that is, and a silent
server."""
import http.server
import os
import signal
import subprocess
import sys
import threading
import time

import pytest

import voka

NETWORK_ERROR = "网络连接出错"


@pytest.fixture
def client(voka_server):
    with voka.Client(voka_server.udp, voka_server.http) as client:
        yield client


@pytest.mark.parametrize("user, fields", [
    ("alice", {"AUTHENSTATE": "1"}),
    ("bob", {"AUTHENSTATE": "1", "CHALLENGE": None}),  # the e-key login followed the token's challenge
    ("张三", {"AUTHENSTATE": "1"}),
])
def test_login(voka_server, client, monkeypatch, user, fields):
    account = voka_server.accounts[user]
    if account.ekey_secret:
        monkeypatch.setenv(voka.SOFT_TOKEN_VARIABLE, account.ekey_secret)
    result = client.login(user, account.password)
    assert result.logged_in, result
    assert (result.code, result.retvalue) == (voka.VOKA_OK, "0")
    assert {name: result.fields[name] if value else None for name, value in fields.items()} == fields
    assert client.value("authenstate") == "1"


def test_carol_answers_her_card(voka_server, client):
    carol = voka_server.accounts["carol"]
    asked = client.login("carol", carol.password)
    assert (asked.ok, asked.logged_in, asked.fields["AUTHENSTATE"]) == (True, False, "2")
    assert client.ecard_authen("carol", carol.card_cell(asked.fields["POSITION"])).logged_in


def test_refusals_are_results(voka_server, client):
    assert client.get_dynamic_key().ok
    wrong = client.static_authen("alice", "wrong")
    assert (wrong.ok, wrong.code, wrong.retvalue, wrong.cause) == (False, int(wrong.retvalue), wrong.retvalue, None)
    assert "<Code.WRONG_PASSWORD: 1004>" in repr(wrong)
    assert wrong.descmsg
    refused = client.static_authen("alice", "😀")
    assert (refused.code, refused.cause) == (voka.VOKA_E_FAIL, voka.Cause.TEXT_REFUSED)


def test_token_without_its_secret_is_named(voka_server, client, monkeypatch):
    monkeypatch.delenv(voka.SOFT_TOKEN_VARIABLE, raising=False)
    result = client.login("bob", voka_server.accounts["bob"].password)
    assert (result.code, result.cause) == (voka.VOKA_E_EKEYPWD, voka.Cause.TOKEN_FAILED)


def test_vocabulary_names_what_the_wire_carries(client):
    assert all(voka.terms(group) for group in ("result", "answer", "cause", "state", "request", "limit"))
    assert [(str(cause), cause.value) for cause in voka.Cause] == [
        (name, term.number) for name, term in voka.terms("cause").items()]
    assert client.get_dynamic_key().code is voka.Code.OK
    wrong = client.static_authen("alice", "wrong")
    assert voka.Code(int(wrong.retvalue)) is wrong.code is voka.Code.WRONG_PASSWORD
    assert voka.terms("answer")[wrong.code.name].text == wrong.descmsg
    assert (voka.Code.E_FAIL, voka.Code.E_EKEYPWD) == (voka.VOKA_E_FAIL, voka.VOKA_E_EKEYPWD)


def test_import_needs_no_library():
    check = "import voka, voka.client\ntry: voka.Code\nexcept OSError as e: print('loaded on first use:', e)"
    run = subprocess.run([sys.executable, "-c", check], env=dict(os.environ, VOKA_CLIENT_LIBRARY="/nonexistent.so"),
                         capture_output=True, text=True)
    assert (run.returncode, run.stdout.startswith("loaded on first use: /nonexistent.so")) == (0, True), run.stderr
    assert "libvoka-client1" in run.stdout and "VOKA_CLIENT_LIBRARY" in run.stdout, run.stdout


@pytest.mark.parametrize("user, factor", [("bob", "ekey"), ("carol", "ecard")])
def test_login_by_request_kinds(voka_server, client, monkeypatch, user, factor):
    account = voka_server.accounts[user]
    monkeypatch.setenv(voka.SOFT_TOKEN_VARIABLE, account.ekey_secret or "")
    results = [client.request("dynamic-key"),
               client.request("static", USERID=user, PWD=account.password, APPID="1", AREAID="1")]
    asked = results[-1].fields
    results.append(client.request("ekey", USERID=user, EKEYPWD=asked["EKEYPWD"]) if factor == "ekey" else
                   client.request("ecard", USERID=user, ECARDPWD=account.card_cell(asked["POSITION"])))
    assert [(result.code, result.fields.get("AUTHENSTATE")) for result in results] == [
        (voka.Code.OK, None), (voka.Code.OK, voka.terms("state")["NEEDS_" + factor.upper()].text),
        (voka.Code.OK, "1")]


def test_misuse_raises(client):
    with pytest.raises(TypeError):
        client.login("alice", b"alice-pass")
    with pytest.raises(ValueError):
        client.get_dynamic_key("a\0b")
    with pytest.raises(ValueError, match="none of dynamic-key, static, ekey, ecard"):
        client.request("login", USERID="alice")
    with pytest.raises(ValueError):
        voka.Client("127.0.0.1:1", "http://😀")
    for timeout, error in ((True, TypeError), (2.5, TypeError), (2**40, ValueError), (5 - 2**32, ValueError),
                           (2**31 // 1000 + 1, ValueError)):
        with pytest.raises(error):
            voka.Client("127.0.0.1:1", "http://127.0.0.1:1", udp_timeout=timeout)
    client.close()
    with pytest.raises(ValueError):
        client.get_dynamic_key()


def test_every_field_of_an_answer_near_the_body_limit():
    # 121,545 fields; fetched one by one, they took longer than the 30 s an HTTP request may.
    names = [("%x" % i).upper() for i in range(121544)]
    body = "^$^".join(["RETVALUE=0", *(name + "=" for name in names)]).encode()

    class Answer(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            self.send_response(200), self.end_headers(), self.wfile.write(body)

    with http.server.ThreadingHTTPServer(("127.0.0.1", 0), Answer) as server:
        threading.Thread(target=server.serve_forever, daemon=True).start()
        with voka.Client("127.0.0.1:1", "http://127.0.0.1:%d" % server.server_port, udp_timeout=1) as client:
            started = time.monotonic()
            result = client.get_dynamic_key()
            assert time.monotonic() - started < 30
        server.shutdown()
    assert (result.code, len(result.fields), result.fields[names[-1]]) == (voka.Code.OK, 121545, "")


@pytest.mark.parametrize("voka_server", ["silence"], indirect=True)
def test_silent_server(voka_server):
    with voka.Client(voka_server.udp, voka_server.http, udp_timeout=3) as client:
        started, outcome = time.monotonic(), []
        waiting = threading.Thread(target=lambda: outcome.append(client.static_authen("alice", "alice-pass")))
        waiting.start()
        while waiting.is_alive() and not client._busy.locked():
            pass
        with pytest.raises(RuntimeError, match="two threads"):  # while another thread's request waits
            client.value("DESCMSG")
        waiting.join()
        result = outcome[0]
        # well within the default wait of 10 seconds: the client's time-out holds
        assert time.monotonic() - started < 10
        assert (result.code, result.descmsg, result.cause) == (voka.VOKA_E_FAIL, NETWORK_ERROR, voka.Cause.NO_ANSWER)
        # the dynamic key turns to HTTP for good, and the login goes on there
        assert client.login("alice", "alice-pass").logged_in


CTRL_C = """import sys, voka
with voka.Client(sys.argv[1], sys.argv[2], udp_timeout=600) as client:
    print("logging in", flush=True)
    try:
        client.login("alice", "alice-pass")
    finally:
        print(client.value("=CAUSE"), flush=True)  # the engine's call is over, cancelled
"""


@pytest.mark.parametrize("voka_server", ["silence"], indirect=True)
def test_ctrl_c_interrupts_a_login_at_once(voka_server):
    login = subprocess.Popen([sys.executable, "-c", CTRL_C, voka_server.udp, voka_server.http],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    assert login.stdout.readline() == "logging in\n"
    time.sleep(0.5)
    interrupted = time.monotonic()
    login.send_signal(signal.SIGINT)
    stdout, stderr = login.communicate(timeout=60)
    assert (time.monotonic() - interrupted < 5, stdout, stderr.splitlines()[-1]) == (
        True, "cancelled\n", "KeyboardInterrupt"), stderr
