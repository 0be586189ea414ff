"""voka.Client against the fixture's voka-server: the sample accounts' logins,
answers that are failures and not exceptions, misuse that is, and a silent
server."""
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
    assert (wrong.ok, wrong.code, wrong.retvalue, wrong.cause) == (False, int(wrong.retvalue), wrong.retvalue, "none")
    assert wrong.descmsg
    refused = client.static_authen("alice", "😀")
    assert (refused.code, refused.cause) == (voka.VOKA_E_FAIL, "text-refused")


def test_token_without_its_secret_is_named(voka_server, client, monkeypatch):
    monkeypatch.delenv(voka.SOFT_TOKEN_VARIABLE, raising=False)
    result = client.login("bob", voka_server.accounts["bob"].password)
    assert (result.code, result.cause) == (voka.VOKA_E_EKEYPWD, "token-failed")


def test_misuse_raises(client):
    with pytest.raises(TypeError):
        client.login("alice", b"alice-pass")
    with pytest.raises(ValueError):
        client.get_dynamic_key("a\0b")
    with pytest.raises(ValueError):
        voka.Client("127.0.0.1:1", "http://😀")
    client.close()
    with pytest.raises(ValueError):
        client.get_dynamic_key()


@pytest.mark.parametrize("voka_server", ["silence"], indirect=True)
def test_silent_server(voka_server):
    with voka.Client(voka_server.udp, voka_server.http, udp_timeout=1) as client:
        started = time.monotonic()
        result = client.static_authen("alice", "alice-pass")
        # well within the default wait of 10 seconds: the client's time-out holds
        assert time.monotonic() - started < 10
        assert (result.code, result.descmsg, result.cause) == (voka.VOKA_E_FAIL, NETWORK_ERROR, "no-answer")
        # the dynamic key turns to HTTP for good, and the login goes on there
        assert client.login("alice", "alice-pass").logged_in
