"""voka-server with --trusted-proxy behind Debian's nginx, started here: a TLS
terminator that adds X-Forwarded-For, a TCP stream proxy that passes TLS
through with a PROXY protocol header, and a UDP stream proxy, whose datagrams name no client and
are dropped. Each client is charged for itself, and one cannot lock out the
others."""
import os
import socket
import ssl
import subprocess
import tempfile
import unittest

from voka_programs import (Server, answer_fields, exchange_datagram, free_port, request_datagram, run_auth, sealed,
                           split_response, wait_until)

MAKE_CERTIFICATES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "make_test_certificates.sh")
NGINX = "/usr/sbin/nginx"
STREAM_MODULE = "/usr/lib/nginx/modules/ngx_stream_module.so"

# The configuration docs/voka-server.md shows, on the test's own ports, and a UDP stream proxy.
CONFIGURATION = """
load_module {stream_module};
pid {folder}/nginx.pid;
events {{ worker_connections 256; }}
http {{
    access_log off;
    client_body_temp_path {folder}/body;
    proxy_temp_path {folder}/proxy;
    server {{
        listen 127.0.0.1:{https} ssl;
        ssl_certificate {folder}/localhost.pem;
        ssl_certificate_key {folder}/localhost.key;
        location / {{
            proxy_pass http://{server_http};
            proxy_set_header X-Forwarded-For $proxy_add_x_forwarded_for;
        }}
    }}
}}
stream {{
    server {{
        listen 127.0.0.1:{tcp};
        proxy_pass 127.0.0.1:{server_https};
        proxy_protocol on;
    }}
    server {{
        listen 127.0.0.1:{udp} udp;
        proxy_pass {server_udp};
        proxy_timeout 1m;
    }}
}}
"""


class BehindNginx(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        subprocess.run([MAKE_CERTIFICATES, cls.folder.name], check=True)
        cls.server = Server("--trusted-proxy", "127.0.0.1", "--https", "localhost:0", "--cert",
                            os.path.join(cls.folder.name, "localhost.pem"), "--key",
                            os.path.join(cls.folder.name, "localhost.key")).__enter__()
        cls.https, cls.tcp, cls.udp = free_port(socket.SOCK_STREAM), free_port(socket.SOCK_STREAM), free_port()
        path = os.path.join(cls.folder.name, "nginx.conf")
        with open(path, "w", encoding="ascii") as f:
            f.write(CONFIGURATION.format(stream_module=STREAM_MODULE, folder=cls.folder.name, https=cls.https,
                                         tcp=cls.tcp, udp=cls.udp, server_http=cls.server.http,
                                         server_https=cls.server.https_url.rsplit(":", 1)[1],
                                         server_udp=cls.server.udp))
        cls.nginx = subprocess.Popen([NGINX, "-p", cls.folder.name, "-c", path, "-e", cls.folder.name + "/error.log",
                                      "-g", "daemon off;"], stderr=subprocess.PIPE)

        def listening():
            try:
                socket.create_connection(("127.0.0.1", cls.https), timeout=1).close()
                return True
            except OSError:
                return False
        if not wait_until(listening, 10):
            cls.tearDownClass()
            raise RuntimeError("nginx did not start: %s" % cls.nginx.stderr.read().decode())
        cls.tls = ssl.create_default_context(cafile=os.path.join(cls.folder.name, "ca.pem"))

    @classmethod
    def tearDownClass(cls):
        cls.nginx.terminate()
        cls.nginx.wait(10)
        cls.server.__exit__(None, None, None)
        cls.folder.cleanup()

    def https_get(self, source, target, forwarded_for=None, direct=False):
        """RETVALUE of a GET through the TLS terminator, or straight to voka-server."""
        head = b"GET %s HTTP/1.1\r\nHost: localhost\r\n" % target.encode()
        if forwarded_for:
            head += b"X-Forwarded-For: %s\r\n" % forwarded_for.encode()
        address = self.server.http_address if direct else ("127.0.0.1", self.https)
        with socket.create_connection(address, timeout=5, source_address=(source, 0)) as plain:
            with (plain if direct else self.tls.wrap_socket(plain, server_hostname="localhost")) as s:
                s.sendall(head + b"Connection: close\r\n\r\n")
                response = b"".join(iter(lambda: s.recv(65536), b""))
        status, body = split_response(response)
        self.assertEqual(status, 200, response[:200])
        return answer_fields(body, b"^$^")

    def test_wrong_passwords_through_the_tls_terminator_count_by_client(self):
        def login(source, password, forwarded_for=None, direct=False):
            guid = self.https_get(source, "/zq.ack", forwarded_for, direct)["GUID"]
            query = "/Login.Validate.Account?USERID=alice&PWD=%s&GUID=%s" % (password, guid)
            return self.https_get(source, query, forwarded_for, direct)["RETVALUE"]

        # 127.0.0.5 names 127.0.0.6 in its own header: it is still charged itself.
        self.assertEqual([login("127.0.0.5", "x", "127.0.0.6") for _ in range(5)], ["1004"] * 5)
        rows = [("127.0.0.5", None, False, "1012"),
                ("127.0.0.6", None, False, "0"),
                ("127.0.0.7", "127.0.0.5", True, "0")]  # a header straight from a client is not believed
        for source, forwarded_for, direct, expected in rows:
            self.assertEqual(login(source, "alice-pass", forwarded_for, direct), expected, source)
        self.assertIn("for 127.0.0.5 GET /Login.Validate.Account", self.server.log())

    def test_connections_held_by_a_proxy_are_not_capped_by_its_address(self):
        # More than the 16 connections of one address: each carries its client in a PROXY header ahead of
        # its TLS, or comes from the trusted proxy itself, as the TLS terminator's do.
        rows = [(("127.0.0.1", self.tcp), ["127.0.0.%d" % (100 + i) for i in range(24)], "for 127.0.0.123 GET"),
                (self.server.http_address, ["127.0.0.1"] * 24, None)]
        for address, sources, logged in rows:
            held = [socket.create_connection(address, timeout=5, source_address=(source, 0)) for source in sources]
            if logged:
                held = [self.tls.wrap_socket(s, server_hostname="localhost") for s in held]
            try:
                for s in held:
                    s.sendall(b"GET /zq.ack HTTP/1.1\r\n")
                for s in held:
                    s.sendall(b"Connection: close\r\n\r\n")
                    status, body = split_response(b"".join(iter(lambda: s.recv(65536), b"")))
                    self.assertEqual((status, answer_fields(body, b"^$^")["RETVALUE"]), (200, "0"), address)
            finally:
                for s in held:
                    s.close()
            if logged:
                self.assertIn(logged, self.server.log())

    def test_a_client_whose_udp_goes_through_the_proxy_logs_in_over_https(self):
        self.assertIsNone(exchange_datagram(("127.0.0.1", self.udp), request_datagram(0x5300, 1, sealed("INDICATION=")),
                                            wait=0.5))
        run = run_auth(["--udp", "127.0.0.1:%d" % self.udp, "--http", "https://localhost:%d" % self.https,
                        "--timeout", "1", "--json", "login", "--user", "alice", "--password", "alice-pass",
                        "--app", "1", "--area", "1"], ca_bundle=os.path.join(self.folder.name, "ca.pem"))
        self.assertEqual([line["result"] for line in run.json_lines()], [0, 0], run.stderr)
        log = self.server.log()
        self.assertIn("0x5300 seq=1 dropped: a proxied datagram does not name its client", log)
        self.assertRegex(log, r"http 127\.0\.0\.1:\d+ GET /Login\.Validate\.Account static user=alice -> RETVALUE=0")


if __name__ == "__main__":
    unittest.main()
