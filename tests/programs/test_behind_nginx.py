"""voka-server with --trusted-proxy behind Debian's nginx, started here: a TLS
terminator that adds X-Forwarded-For, a TCP stream proxy that sends the PROXY
protocol header, and a UDP stream proxy. Each client is charged for itself,
and one cannot lock out the others."""
import os
import socket
import ssl
import subprocess
import tempfile
import unittest

from voka_programs import Server, answer_fields, free_port, request_datagram, sealed, split_response, wait_until

MAKE_CERTIFICATES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "make_test_certificates.sh")
NGINX = "/usr/sbin/nginx"
STREAM_MODULE = "/usr/lib/nginx/modules/ngx_stream_module.so"

# The configuration docs/voka-server.md shows, on the test's own ports.
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
        proxy_pass {server_http};
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
        cls.server = Server("--trusted-proxy", "127.0.0.1").__enter__()
        cls.https, cls.tcp, cls.udp = free_port(socket.SOCK_STREAM), free_port(socket.SOCK_STREAM), free_port()
        path = os.path.join(cls.folder.name, "nginx.conf")
        with open(path, "w", encoding="ascii") as f:
            f.write(CONFIGURATION.format(stream_module=STREAM_MODULE, folder=cls.folder.name, https=cls.https,
                                         tcp=cls.tcp, udp=cls.udp, server_http=cls.server.http,
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
        # More than the 16 connections of one address: each carries its client in a PROXY header, or comes
        # from the trusted proxy itself, as the TLS terminator's do.
        rows = [(("127.0.0.1", self.tcp), ["127.0.0.%d" % (100 + i) for i in range(24)], "for 127.0.0.123 GET"),
                (self.server.http_address, ["127.0.0.1"] * 24, None)]
        for address, sources, logged in rows:
            held = [socket.create_connection(address, timeout=5, source_address=(source, 0)) for source in sources]
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

    def test_one_udp_session_cannot_lock_out_the_others(self):
        def ask(session, text, command=0xC500):
            session.sendto(request_datagram(command, 1, sealed(text)), ("127.0.0.1", self.udp))
            return answer_fields(session.recv(2048)[20:])

        def login(session, password, guid=None):
            guid = guid or ask(session, "INDICATION=", 0x5300)["GUID"]
            return ask(session, "USERID=alice^$^PWD=%s^$^GUID=%s" % (password, guid))["RETVALUE"]

        sessions = [socket.socket(socket.AF_INET, socket.SOCK_DGRAM) for _ in range(2)]
        try:
            for s in sessions:
                s.bind(("127.0.0.8", 0))
                s.settimeout(3)
            guesser, other = sessions
            self.assertEqual([login(guesser, "x") for _ in range(5)], ["1004"] * 5)
            rows = [(guesser, None, "1012"),
                    (other, ask(guesser, "INDICATION=", 0x5300)["GUID"], "1014"),  # a key stays in its session
                    (other, None, "0")]
            for session, guid, expected in rows:
                self.assertEqual(login(session, "alice-pass", guid), expected)
        finally:
            for s in sessions:
                s.close()


if __name__ == "__main__":
    unittest.main()
