"""wireshark-plugin/voka.lua under tshark, on a capture of real logins.

voka-auth logs in against voka-server through a UDP relay that records every
datagram; the test writes them as a pcap file, adds broken datagrams on
port 8025, and checks what tshark decodes with the dissector.
"""
import os
import socket
import struct
import subprocess
import tempfile
import threading
import unittest

from voka_programs import (SAME_CELL_USER, SAMPLE_AND_SAME_CELL_ACCOUNTS, Server, answer_fields, pack_header,
                           request_datagram, run_auth, sealed)

DISSECTOR = os.environ["VOKA_DISSECTOR"]
DEFAULT_PORT = 8025
BROKEN_SENDER = ("127.0.0.9", 40000)
TO_SERVER = (BROKEN_SENDER, ("127.0.0.1", DEFAULT_PORT))
FROM_SERVER = TO_SERVER[::-1]
NOT_FRAMED = "Not unsealed: voka-server drops a request that its header does not frame"
UNTERMINATED = "Answer does not end in NUL: the client drops its last byte"
NAIVE = " (a split at every NUL gives "


def answer(payload):
    return pack_header(16 + len(payload), 0x5300, 5) + payload


# Datagrams on port 8025 that a client or server would drop or read otherwise
# than at first sight: (direction, datagram, kind, fields shown, expert info).
HOSTILE = [
    (TO_SERVER, pack_header(99, 0x5300, 1), "request", [], ["dwLength 99 is not the datagram size less 4 (16)", NOT_FRAMED]),
    (TO_SERVER, pack_header(16, 0xC500, 2, fixed=(1, 7, 1)), "request", [], ["Fixed word is 7, not 0", NOT_FRAMED]),
    (TO_SERVER, pack_header(16 + 12, 0xC600, 3) + b"not sealed!!", "request", [], ["Payload does not unseal"]),
    # Base64, but not under the key
    (TO_SERVER, pack_header(16 + 32, 0xAD00, 4) + b"A" * 32, "request", [], ["Payload does not unseal"]),
    (TO_SERVER, request_datagram(0x5300, 6, b"QUJD" * 16371), "request", [],
     ["Not unsealed: voka-server drops a request longer than 2047 bytes"]),
    # Opening costs time: a crafted request is opened no further than 384 bytes.
    (TO_SERVER, request_datagram(0xC500, 8, sealed("INDICATION=" + "x" * 500)), "request",
     [("INDICATION", "x" * 373)], ["Only the first 384 bytes of the parameter text are opened"]),
    # A request sent from the server's port is still a request.
    (((BROKEN_SENDER[0], DEFAULT_PORT), TO_SERVER[1]), request_datagram(0x5300, 7, b"UkzMK365ujGAAJH/+NHzcozfbiUgQJ4D"),
     "request", [("INDICATION", "X1")], []),
    (FROM_SERVER, answer(b"RETVALUE=10"), "answer", [("RETVALUE", "1")],
     [UNTERMINATED, "The client reads RETVALUE=1" + NAIVE + "RETVALUE=10)"]),
    (FROM_SERVER, answer(b"X=1^$\0RETVALUE=0\0"), "answer", [("X", "1"), ("$^RETVALUE", "0")],
     ["The client finds no RETVALUE" + NAIVE + "RETVALUE=0)", "The client reads X=1" + NAIVE + "X=1^$)"]),
    (FROM_SERVER, answer(b"RETVALUE=1004^$\0RETVALUE=0\0"), "answer", [("RETVALUE", "1004"), ("$^RETVALUE", "0")],
     ["The client reads RETVALUE=1004" + NAIVE + "RETVALUE=0)"]),
    (FROM_SERVER, answer(b"RETVALUE=0\0PAD=" + b"x" * 1000 + b"\0"), "answer", [],
     ["The client rejects an answer of 1036 bytes: it takes answers shorter than 1024"]),
]


class Relay:
    """Forwards each datagram from the client to the server and the answer
    back, and keeps (source, destination, bytes) of both in order."""

    def __init__(self, server_address):
        self.server_address = server_address
        self.front = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.front.bind(("127.0.0.1", 0))
        self.front.settimeout(0.2)
        self.address = self.front.getsockname()
        self.datagrams = []
        self.stopping = False
        self.thread = threading.Thread(target=self.run)
        self.thread.start()

    def run(self):
        while not self.stopping:
            try:
                request, client = self.front.recvfrom(65536)
            except socket.timeout:
                continue
            self.datagrams.append((client, self.address, request))
            with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as back:
                back.settimeout(5)
                back.sendto(request, self.server_address)
                answer = back.recv(65536)
            self.front.sendto(answer, client)
            self.datagrams.append((self.address, client, answer))

    def close(self):
        self.stopping = True
        self.thread.join()
        self.front.close()


def ip_checksum(header):
    total = sum(struct.unpack("!10H", header))
    total = (total & 0xFFFF) + (total >> 16)
    total = (total & 0xFFFF) + (total >> 16)
    return ~total & 0xFFFF


def write_pcap(path, datagrams):
    """Raw-IPv4 pcap of UDP datagrams (source, destination, payload)."""
    with open(path, "wb") as f:
        f.write(struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, 101))
        for number, (source, destination, payload) in enumerate(datagrams):
            udp = struct.pack("!HHHH", source[1], destination[1], 8 + len(payload), 0) + payload
            ip = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + len(udp), number, 0x4000, 64, 17, 0,
                             socket.inet_aton(source[0]), socket.inet_aton(destination[0]))
            ip = ip[:10] + struct.pack("!H", ip_checksum(ip)) + ip[12:]
            f.write(struct.pack("<IIII", 1700000000 + number, 0, len(ip) + len(udp), len(ip) + len(udp)))
            f.write(ip + udp)


COLUMNS = ["voka.kind", "voka.command", "voka.sequence", "voka.field.name", "voka.field.value",
           "_ws.expert.message"]


def decode(capture, *options):
    """One dict per packet: column -> list of values ([] when absent)."""
    completed = subprocess.run(
        ["tshark", "-n", "-r", capture, "-X", "lua_script:" + DISSECTOR, *options, "-T", "fields",
         "-E", "separator=\t", "-E", "occurrence=a", "-E", "aggregator=\x1f",
         *[word for column in COLUMNS for word in ("-e", column)]],
        capture_output=True, timeout=60)
    assert completed.returncode == 0, completed.stderr.decode("utf-8", "replace")
    packets = []
    for line in completed.stdout.decode("utf-8").split("\n")[:-1]:
        values = line.split("\t")
        packets.append({c: (v.split("\x1f") if v else []) for c, v in zip(COLUMNS, values)})
    return packets


class DissectorOnARealLogin(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        user, password, cls.cell = SAME_CELL_USER
        with Server(accounts=SAMPLE_AND_SAME_CELL_ACCOUNTS) as server:
            relay = Relay(server.udp_address)
            try:
                run = run_auth(["--json", "--udp", "%s:%d" % relay.address, "--http", server.http_url,
                                "dynamic-key", "static", "--user", user, "--password", password, "--app", "1",
                                "--area", "2", "ecard", "--user", user, "--ecard-answer", cls.cell,
                                "ekey", "--user", "bob", "--ekey-password", "000000", "--ekey-type", "1"])
            finally:
                relay.close()
        assert [line["result"] for line in run.json_lines()] == [0, 0, 0, 1006], run.stdout
        cls.relay_port = relay.address[1]
        cls.datagrams = relay.datagrams
        cls.directory = tempfile.TemporaryDirectory()
        cls.capture = os.path.join(cls.directory.name, "login.pcap")
        write_pcap(cls.capture, cls.datagrams + [(*direction, datagram) for direction, datagram, *_ in HOSTILE])
        cls.decoded = decode(cls.capture, "-d", "udp.port==%d,voka" % cls.relay_port)

    @classmethod
    def tearDownClass(cls):
        cls.directory.cleanup()

    def fields_of(self, packet):
        return list(zip(packet["voka.field.name"], packet["voka.field.value"]))

    def test_every_datagram_of_the_logins_is_decoded_like_the_server_read_it(self):
        logins = self.decoded[:len(self.datagrams)]
        self.assertEqual([p["voka.kind"] for p in logins], [["request"], ["answer"]] * 4)
        commands = [int(p["voka.command"][0], 16) for p in logins[::2]]
        self.assertEqual(commands, [0x5300, 0xC500, 0xAD00, 0xC600])
        self.assertEqual([p["voka.sequence"] for p in logins[::2]], [["10001"], ["10002"], ["10003"], ["10004"]])
        for packet, (_, _, datagram) in zip(logins, self.datagrams):
            self.assertEqual(packet["_ws.expert.message"], [])
            if packet["voka.kind"] == ["answer"]:
                self.assertEqual(dict(self.fields_of(packet)), answer_fields(datagram[20:]))

        guid = dict(self.fields_of(logins[1]))["GUID"]
        static = self.fields_of(logins[2])
        self.assertEqual([name for name, _ in static],
                         ["USERID", "PWD", "APPID", "AREAID", "GUID", "CLIENTIP", "MAC", "CHECKCODE",
                          "INDICATION"])
        self.assertEqual(static[:5], [("USERID", "dora"), ("PWD", "dora-pass"), ("APPID", "1"),
                                      ("AREAID", "2"), ("GUID", guid)])
        self.assertEqual(dict(self.fields_of(logins[3]))["AUTHENSTATE"], "2")
        ecard = self.fields_of(logins[4])
        self.assertEqual([name for name, _ in ecard],
                         ["USERID", "ECARDPWD", "GUID", "APPID", "AREAID", "INDICATION"])
        self.assertEqual(ecard[1], ("ECARDPWD", self.cell))
        self.assertEqual(self.fields_of(logins[6])[:3],
                         [("USERID", "bob"), ("EKEYPWD", "000000"), ("EKEYTYPE", "1")])

    def test_hostile_datagrams_are_read_as_a_client_or_server_would(self):
        shown = [(p["voka.kind"], self.fields_of(p), p["_ws.expert.message"]) for p in self.decoded[len(self.datagrams):]]
        self.assertEqual(shown, [([kind], fields, experts) for _, _, kind, fields, experts in HOSTILE])

    def test_port_preference_moves_the_dissector(self):
        by_default = decode(self.capture)
        moved = decode(self.capture, "-o", "voka.port:%d" % self.relay_port)
        count = len(self.datagrams)
        self.assertEqual([bool(p["voka.kind"]) for p in by_default], [False] * count + [True] * len(HOSTILE))
        self.assertEqual([bool(p["voka.kind"]) for p in moved], [True] * count + [False] * len(HOSTILE))
        self.assertEqual(moved[:count], self.decoded[:count])


if __name__ == "__main__":
    unittest.main()
