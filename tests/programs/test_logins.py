"""Every voka-auth command against a running voka-server, over UDP and, after
the dynamic-key fallback from a closed UDP port, over HTTP."""
import unittest
import urllib.request

from voka_programs import (AUTHEN_E_EKEYPWD, BOB_SECRET, SAME_CELL_USER, SAMPLE_AND_SAME_CELL_ACCOUNTS, Server,
                           answer_fields, free_port, run_auth)

STATIC_ALICE = ["static", "--user", "alice", "--password", "alice-pass", "--app", "7", "--area", "3"]


class LoginsOverUdp(unittest.TestCase):
    transport = "udp"

    @classmethod
    def setUpClass(cls):
        cls.server = Server(accounts=SAMPLE_AND_SAME_CELL_ACCOUNTS).__enter__()

    @classmethod
    def tearDownClass(cls):
        cls.server.__exit__(None, None, None)
        assert cls.server.exit_status == 0, "voka-server did not stop cleanly on SIGTERM"

    def endpoints(self):
        return ["--udp", self.server.udp, "--http", self.server.http_url]

    def auth(self, *commands, secret=None):
        """voka-auth --json, beginning with dynamic-key, which sets the transport."""
        run = run_auth([*self.endpoints(), "--json", "dynamic-key", *commands], secret=secret)
        lines = run.json_lines()
        self.assertEqual(lines[0]["command"], "dynamic-key")
        self.assertEqual(lines[0]["result"], 0, run.stdout + run.stderr)
        return run, lines

    def test_dynamic_key_gives_a_fresh_guid(self):
        _, first = self.auth()
        _, second = self.auth()
        guid = first[0]["fields"]["GUID"]
        self.assertRegex(guid, r"^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$")
        self.assertNotEqual(guid, second[0]["fields"]["GUID"])
        self.assertEqual(first[0]["fields"]["RETVALUE"], "0")
        self.assertEqual(set(first[0]), {"schema", "command", "result", "fields"})

    def test_static_login_of_a_plain_account(self):
        run, lines = self.auth(*STATIC_ALICE)
        self.assertEqual(run.status, 0)
        static = lines[1]
        self.assertEqual((static["command"], static["result"]), ("static", 0))
        self.assertEqual(static["fields"]["AUTHENSTATE"], "1")
        self.assertEqual(static["fields"]["DESCMSG"], "登录成功")
        self.assertEqual(static["fields"]["GUID"], lines[0]["fields"]["GUID"])

    def test_non_ascii_user_and_password_with_a_blank(self):
        run, lines = self.auth("static", "--user", "张三", "--password", "密码 123", "--app", "1", "--area", "1")
        self.assertEqual(run.status, 0, run.stdout)
        self.assertEqual(lines[1]["result"], 0)
        self.assertIn("user=张三", self.server.log())

    def test_wrong_password_and_unknown_user(self):
        run, lines = self.auth("static", "--user", "alice", "--password", "nope", "--app", "7", "--area", "3")
        self.assertEqual(run.status, 1)
        self.assertEqual(lines[1]["result"], 1004)
        self.assertEqual(lines[1]["fields"]["DESCMSG"], "密码错误")
        run, lines = self.auth("static", "--user", "mallory", "--password", "x", "--app", "7", "--area", "3")
        self.assertEqual(run.status, 1)
        self.assertEqual(lines[1]["result"], 1003)
        self.assertEqual(lines[1]["fields"]["DESCMSG"], "用户不存在")

    def test_get_prints_one_field(self):
        run, lines = self.auth("get", "guid", "get", "NO-SUCH-FIELD")
        self.assertEqual(run.status, 1)
        self.assertEqual(lines[1], {"schema": 2, "command": "get", "result": 0, "fields": {"GUID": lines[0]["fields"]["GUID"]}})
        self.assertEqual(lines[2], {"schema": 2, "command": "get", "result": -1, "fields": {}})

    def test_login_with_the_usb_token(self):
        run = run_auth([*self.endpoints(), "--json", "login", "--user", "bob", "--password", "bob-pass",
                        "--app", "7", "--area", "3", "--ekey-type", "1"], secret=BOB_SECRET)
        self.assertEqual(run.status, 0, run.stdout + run.stderr)
        lines = run.json_lines()
        self.assertEqual([line["command"] for line in lines], ["dynamic-key", "static", "ekey"])
        self.assertEqual([line["result"] for line in lines], [0, 0, 0])
        static = lines[1]["fields"]
        self.assertEqual(static["AUTHENSTATE"], "4")
        self.assertRegex(static["CHALLENGE"], r"^[0-9]{8}$")
        self.assertEqual(static["EKEYPWD"], "***")  # the token's password, shown with --show-secrets alone
        self.assertEqual(lines[2]["fields"]["AUTHENSTATE"], "1")
        self.assertEqual(lines[2]["fields"]["DESCMSG"], "登录成功")

    def test_pending_challenge_is_answered_with_its_own_dynamic_key_only(self):
        _, lines = self.auth("static", "--user", "bob", "--password", "bob-pass", "--app", "7", "--area", "3",
                             "--show-secrets", secret=BOB_SECRET)
        guid, password = lines[0]["fields"]["GUID"], lines[1]["fields"]["EKEYPWD"]
        # Another run has another dynamic key: its answer neither logs in nor uses the challenge up.
        run, lines = self.auth("ekey", "--user", "bob", "--ekey-password", password, "--ekey-type", "1")
        self.assertEqual((run.status, lines[1]["result"]), (1, 1006))
        for expected in ("0", "1006"):  # used up by the login that asked
            query = "USERID=bob&EKEYPWD=%s&EKEYTYPE=1&GUID=%s" % (password, guid)
            with urllib.request.urlopen(self.server.http_url + "/Login.Validate.Dynamic?" + query) as answer:
                self.assertEqual(answer_fields(answer.read(), b"^$^")["RETVALUE"], expected)

    def test_ekey_login_fails_with_the_wrong_token(self):
        run = run_auth([*self.endpoints(), "--json", "login", "--user", "bob", "--password", "bob-pass",
                        "--app", "7", "--area", "3", "--ekey-type", "1"], secret="0badc0de")
        self.assertEqual(run.status, 1)
        lines = run.json_lines()
        self.assertEqual([line["result"] for line in lines], [0, 0, 1007])
        self.assertEqual(lines[2]["fields"]["DESCMSG"], "USB安令密码错误")

    def test_login_without_a_token_plugged_in(self):
        run = run_auth([*self.endpoints(), "--json", "login", "--user", "bob", "--password", "bob-pass",
                        "--app", "7", "--area", "3"])
        self.assertEqual(run.status, 1)
        lines = run.json_lines()
        self.assertEqual([line["command"] for line in lines], ["dynamic-key", "static"])
        self.assertEqual(lines[1]["result"], AUTHEN_E_EKEYPWD)
        self.assertEqual(lines[1]["fields"], {"DESCMSG": "USB安令初始化失败,请检查是否插好",
                                              "RETVALUE": str(AUTHEN_E_EKEYPWD)})

    def test_ecard_login(self):
        user, password, cell = SAME_CELL_USER
        run, lines = self.auth("static", "--user", user, "--password", password, "--app", "7", "--area", "3",
                               "ecard", "--user", user, "--ecard-answer", cell)
        fields = lines[1]["fields"]
        self.assertEqual((lines[1]["result"], fields["AUTHENSTATE"]), (0, "2"))
        self.assertIn(fields["POSITION"], fields["DESCMSG"])
        self.assertEqual(run.status, 0, run.stdout)
        self.assertEqual(lines[2]["fields"]["AUTHENSTATE"], "1")

    def test_ecard_login_fails_with_the_wrong_answer(self):
        user, password, cell = SAME_CELL_USER
        static = ["static", "--user", user, "--password", password, "--app", "7", "--area", "3"]
        run, lines = self.auth(*static, "ecard", "--user", user, "--ecard-answer", "x" + cell)
        self.assertEqual((run.status, lines[2]["result"]), (1, 1008))
        self.assertEqual(lines[2]["fields"]["DESCMSG"], "密保卡答案错误")
        # Without a fresh account login there is no position to answer.
        run, lines = self.auth("ecard", "--user", user, "--ecard-answer", cell)
        self.assertEqual((run.status, lines[1]["result"]), (1, 1006))

    def test_second_factor_of_an_account_without_one(self):
        run, lines = self.auth("ekey", "--user", "alice", "--ekey-password", "0", "--ekey-type", "1")
        self.assertEqual(lines[1]["result"], 1005)
        run, lines = self.auth("ecard", "--user", "bob", "--ecard-answer", "12")
        self.assertEqual(lines[1]["result"], 1005)

    def test_human_output(self):
        run = run_auth([*self.endpoints(), "dynamic-key", *STATIC_ALICE])
        self.assertEqual(run.status, 0, run.stderr)
        lines = run.stdout.splitlines()
        self.assertEqual(lines[0], "dynamic-key: 0")
        self.assertIn("static: 0", lines)
        self.assertIn("  AUTHENSTATE=1", lines)
        self.assertIn("  DESCMSG=登录成功", lines)


class LoginsOverHttp(LoginsOverUdp):
    """The same logins, after the dynamic key fell back to HTTP."""
    transport = "http"

    def endpoints(self):
        return ["--udp", "127.0.0.1:%d" % free_port(), "--http", self.server.http_url, "--timeout", "1"]

    def auth(self, *commands, secret=None):
        run, lines = super().auth(*commands, secret=secret)
        if len(lines) > 1 and lines[1]["command"] != "get":
            self.assertRegex(self.server.log(), r"http 127\.0\.0\.1:\d+ GET /Login\.Validate\.")
        return run, lines

    def test_requests_travel_over_http(self):
        before = self.server.log().count("GET /Login.Validate.Account")
        # The client sends a '?' in a value as it is: the path ends at the first one.
        run, lines = self.auth(*STATIC_ALICE, "--indication", "why?")
        self.assertEqual((run.status, lines[1]["result"]), (0, 0))
        self.assertEqual(self.server.log().count("GET /Login.Validate.Account"), before + 1)


class LoginsNeedTheDynamicKey(unittest.TestCase):
    def test_static_login_without_a_dynamic_key_is_refused(self):
        with Server() as server:
            run = run_auth(["--udp", server.udp, "--json", *STATIC_ALICE])
            self.assertEqual(run.status, 1)
            line = run.json_lines()[0]
            self.assertEqual(line["result"], 1002)
            self.assertEqual(line["fields"]["DESCMSG"], "动态密钥无效或已过期,请重新获取")

    def test_verbose_trace_shows_each_exchange(self):
        with Server() as server:
            run = run_auth(["--udp", server.udp, "-v", "dynamic-key", "--indication", "X1"])
            self.assertEqual(run.status, 0, run.stderr)
            self.assertIn("> parameters: INDICATION=X1", run.stderr)
            self.assertRegex(run.stderr, r"> datagram to 127\.0\.0\.1:\d+: dwLength=\d+ wCommand=0x5300 dwSequence=10001")
            self.assertRegex(run.stderr, r"< answer \(\d+ bytes\): RETVALUE=0\\0")
            self.assertNotIn("> parameters", run.stdout)

    def test_verbose_trace_over_http_shows_the_urls_and_empty_optional_texts_but_no_password(self):
        with Server() as server:
            # The password comes from standard input, out of other users' sight.
            static = [word if word != "alice-pass" else "-" for word in STATIC_ALICE]
            run = run_auth(["--udp", "127.0.0.1:%d" % free_port(), "--http", server.http_url, "--timeout", "1", "-v",
                            "dynamic-key", "--indication", "X1", *static], stdin="alice-pass\n")
            self.assertEqual(run.status, 0, run.stderr)
            self.assertNotIn("alice-pass", run.stderr)
            self.assertIn("> GET %s/zq.ack?INDICATION=X1\n" % server.http_url, run.stderr)
            self.assertRegex(run.stderr, r"< answer \(\d+ bytes\): RETVALUE=0\^\$\^DESCMSG=动态密钥已生成\^\$\^GUID=")
            self.assertRegex(run.stderr, r"> GET %s/Login\.Validate\.Account\?USERID=alice&PWD=\*\*\*&APPID=7&"
                             r"AREAID=3&GUID=[0-9A-F-]{36}&CLIENTIP=[^&]*&MAC=[^&]*&CHECKCODE=&INDICATION=\n"
                             % server.http_url.replace(".", r"\."))

    def test_codepage_decides_how_texts_reach_the_engine(self):
        with Server() as server:
            login = ["--udp", server.udp, "--json", "-v", "dynamic-key",
                     "static", "--user", "张三", "--password", "密码 123", "--app", "1", "--area", "1"]
            run = run_auth(login)
            self.assertEqual((run.status, run.json_lines()[1]["result"]), (0, 0), run.stderr)
            # Code page 1252 has no Chinese characters: nothing is sent rather than '?'.
            run = run_auth(["--codepage", "1252", *login])
            self.assertEqual((run.status, run.stdout), (2, ""))
            self.assertIn("--password: the text holds a character that code page 1252 cannot represent", run.stderr)
            self.assertNotIn("> parameters", run.stderr)
            # 'ä' is missing from 936 as well; 'ü' and 'é' travel unchanged.
            alice = ["--udp", server.udp, "--json", "-v", "--show-secrets", "dynamic-key",
                     "static", "--user", "alice", "--app", "1", "--area", "1", "--password"]
            self.assertEqual(run_auth([*alice, "pwä"]).status, 2)
            run = run_auth([*alice, "pwüé"])
            self.assertEqual((run.status, run.json_lines()[1]["result"]), (1, 1004), run.stderr)
            self.assertIn("PWD=pwüé^$^", run.stderr)


if __name__ == "__main__":
    unittest.main(verbosity=2)
