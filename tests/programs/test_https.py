"""Logins over https against voka-server with certificates made for the test:
one trusted through --cacert or VOKA_CA_BUNDLE, and each certificate or
redirect that must be refused."""
import os
import re
import subprocess
import tempfile
import unittest

from voka_programs import AUTHEN_E_FAIL, BOB_SECRET, NETWORK_ERROR, Server, free_port, run_auth, wait_until

MAKE_CERTIFICATES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "make_test_certificates.sh")


class Https(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.directory = tempfile.TemporaryDirectory()
        subprocess.run([MAKE_CERTIFICATES, cls.directory.name], check=True)

    @classmethod
    def tearDownClass(cls):
        cls.directory.cleanup()

    def path(self, name):
        return os.path.join(self.directory.name, name)

    def server(self, certificate, *extra):
        return Server("--https", "localhost:0", "--cert", self.path(certificate + ".pem"),
                      "--key", self.path(certificate + ".key"), *extra)

    def login(self, base_url, *options, ca_bundle=None):
        """A whole e-key login of bob over HTTP(S): the UDP port is closed."""
        run = run_auth(["--udp", "127.0.0.1:%d" % free_port(), "--http", base_url, "--timeout", "1", *options,
                        "--json", "login", "--user", "bob", "--password", "bob-pass", "--app", "1", "--area", "1",
                        "--ekey-type", "1"], secret=BOB_SECRET, ca_bundle=ca_bundle)
        return run, run.json_lines()

    def assertRefused(self, run, lines):
        self.assertEqual(run.status, 1)
        self.assertEqual(lines[0]["result"], AUTHEN_E_FAIL)
        self.assertEqual(lines[0]["fields"]["DESCMSG"], NETWORK_ERROR)

    def test_whole_login_over_https_with_the_test_ca(self):
        with self.server("localhost") as server:
            self.assertRegex(server.https_url, r"^https://localhost:\d+$")
            run, lines = self.login(server.https_url, "--cacert", self.path("ca.pem"))
            self.assertEqual([line["result"] for line in lines], [0, 0, 0], run.stderr)
            self.assertEqual(lines[2]["fields"]["AUTHENSTATE"], "1")
            self.assertRegex(server.log(), r"https 127\.0\.0\.1:\d+ GET /Login\.Validate\.Dynamic ekey user=bob")
            self.assertNotRegex(server.log(), r"\nhttp ")

    def test_ca_bundle_variable_trusts_the_test_ca(self):
        with self.server("localhost") as server:
            run, lines = self.login(server.https_url, ca_bundle=self.path("ca.pem"))
            self.assertEqual(lines[0]["result"], 0, run.stderr)

    def test_certificates_that_are_refused(self):
        cases = [("localhost", None, "a CA the system does not trust"),
                 ("expired", self.path("ca.pem"), "an expired certificate"),
                 ("other-host", self.path("ca.pem"), "a certificate for other.example")]
        for certificate, ca_bundle, what in cases:
            with self.subTest(what), self.server(certificate) as server:
                run, lines = self.login(server.https_url, ca_bundle=ca_bundle)
                self.assertRefused(run, lines)
                # The client reached the server and left before sending a request.
                self.assertTrue(wait_until(lambda: re.search(r"https 127\.0\.0\.1:\d+ closed: ", server.log()), 5),
                                server.log())
                self.assertNotIn("GET", server.log())

    def test_redirect_from_https_to_http_is_refused(self):
        with self.server("localhost", "--fault", "https-to-http") as server:
            run, lines = self.login(server.https_url, ca_bundle=self.path("ca.pem"))
            self.assertRefused(run, lines)
            self.assertIn("GET /zq.ack -> 302 http://%s/zq.ack?INDICATION=" % server.http, server.log())
            self.assertNotRegex(server.log(), r"\nhttp .* GET ")

    def test_redirect_from_http_to_https_is_followed(self):
        with self.server("localhost", "--fault", "http-to-https") as server:
            run, lines = self.login(server.http_url, ca_bundle=self.path("ca.pem"))
            self.assertEqual([line["result"] for line in lines], [0, 0, 0], run.stderr)
            self.assertRegex(server.log(), r"https 127\.0\.0\.1:\d+ GET /Login\.Validate\.Dynamic ekey user=bob")


if __name__ == "__main__":
    unittest.main(verbosity=2)
