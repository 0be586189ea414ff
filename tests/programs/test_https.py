"""Logins over https against voka-server with certificates made for the test:
one trusted through --cacert or VOKA_CA_BUNDLE, and each certificate or
redirect that must be refused."""
import os
import re
import subprocess
import sys
import tempfile
import unittest
import unittest.mock

from voka_programs import AUTHEN_E_FAIL, BOB_SECRET, NETWORK_ERROR, Server, free_port, run_auth, wait_until

MAKE_CERTIFICATES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "make_test_certificates.sh")

# An OpenSSL configuration that allows TLS 1.0 and 1.1, which Debian's does not:
# the client must refuse them by itself.
OLD_TLS_CONFIGURATION = """openssl_conf = init
[init]
ssl_conf = ssl_module
[ssl_module]
system_default = tls_defaults
[tls_defaults]
MinProtocol = TLSv1
CipherString = DEFAULT@SECLEVEL=0
"""
# argv: certificate, key. Serves one dynamic key per connection over TLS 1.0
# or 1.1 only; says "served" or "refused" for each.
OLD_TLS_SERVER = r"""
import socket, ssl, sys
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.minimum_version, context.maximum_version = ssl.TLSVersion.TLSv1, ssl.TLSVersion.TLSv1_1
context.set_ciphers("DEFAULT:@SECLEVEL=0")
context.load_cert_chain(sys.argv[1], sys.argv[2])
body = b"RETVALUE=0^$^GUID=G"
with socket.create_server(("127.0.0.1", 0)) as listener:
    print(listener.getsockname()[1], flush=True)
    while True:
        connection, _ = listener.accept()
        try:
            with context.wrap_socket(connection, server_side=True) as tls:
                tls.recv(4096)
                tls.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n%s" % (len(body), body))
                print("served", tls.version(), flush=True)
        except (ssl.SSLError, OSError):
            print("refused", flush=True)
"""
# argv: port, CA. A client that allows TLS 1.1 gets the dynamic key.
OLD_TLS_CLIENT = r"""
import socket, ssl, sys
context = ssl.create_default_context(cafile=sys.argv[2])
context.minimum_version, context.maximum_version = ssl.TLSVersion.TLSv1, ssl.TLSVersion.TLSv1_1
context.set_ciphers("DEFAULT:@SECLEVEL=0")
with context.wrap_socket(socket.create_connection(("127.0.0.1", int(sys.argv[1]))), server_hostname="localhost") as tls:
    tls.sendall(b"GET /zq.ack HTTP/1.1\r\nHost: localhost\r\n\r\n")
    sys.stdout.write(tls.recv(4096).decode())
"""


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

    def test_servers_offering_only_tls_1_0_or_1_1_are_refused(self):
        configuration = self.path("old-tls.cnf")
        with open(configuration, "w") as f:
            f.write(OLD_TLS_CONFIGURATION)
        env = dict(os.environ, OPENSSL_CONF=configuration)
        python = sys.executable
        with subprocess.Popen([python, "-c", OLD_TLS_SERVER, self.path("localhost.pem"), self.path("localhost.key")],
                              stdout=subprocess.PIPE, text=True, env=env) as server:
            try:
                port = server.stdout.readline().strip()
                client = subprocess.run([python, "-c", OLD_TLS_CLIENT, port, self.path("ca.pem")], env=env,
                                        capture_output=True, text=True, timeout=30)
                self.assertIn("RETVALUE=0^$^GUID=G", client.stdout, client.stderr)
                self.assertIn(server.stdout.readline().split()[:2], [["served", "TLSv1.1"]])
                with unittest.mock.patch.dict(os.environ, OPENSSL_CONF=configuration):
                    run, lines = self.login("https://localhost:" + port, ca_bundle=self.path("ca.pem"))
                self.assertRefused(run, lines)
                self.assertEqual(server.stdout.readline().strip(), "refused")
            finally:
                server.kill()

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
            self.assertIn("/Login.Validate.Account?USERID=bob&PWD=***&", server.log())
            self.assertNotIn("bob-pass", server.log())


if __name__ == "__main__":
    unittest.main(verbosity=2)
