"""Checks that the Wireshark dissector and the documents state the protocol's
vocabulary as the code holds it.

    check_vocabulary.py DUMP_PROGRAM ROOT

DUMP_PROGRAM is vocabulary_dump, which prints the code's tables and constants
as JSON; ROOT is the source tree whose wireshark-plugin/voka.lua and docs/
are read. Each disagreement is printed with the file, the fact and both
values, and the exit status is then 1.
"""
import json
import os
import re
import subprocess
import sys

LUA = "wireshark-plugin/voka.lua"
PROTOCOL = "docs/protocol.md"
BEHAVIOUR = "docs/behaviour.md"
COM_API = "docs/com-api.md"
SERVER = "docs/voka-server.md"

# The dissector's constants and the code's that they restate.
LUA_CONSTANTS = [
    ("kHeaderSize", "kUdpHeaderSize"),
    ("kDefaultPort", "kDefaultUdpPort"),
    ("kLargestRequest", "kLargestRequestDatagram"),
    ("kAnswerLimit", "kUdpAnswerLimit"),
    ("kLengthLimit", "HeaderFitsPacket dwLength limit"),
]

# A row that a file lacks, or that the code lacks.
NO_ROW = "no row"


class Check:
    def __init__(self, root, code):
        self.root = root
        self.code = code
        self.mismatches = []

    def read(self, path):
        with open(os.path.join(self.root, path), encoding="utf-8") as f:
            return f.read()

    def compare(self, path, symbol, stated, coded):
        """stated and coded map each fact to its value; a fact one lacks has NO_ROW there."""
        for fact in list(coded) + [fact for fact in stated if fact not in coded]:
            here, there = stated.get(fact, NO_ROW), coded.get(fact, NO_ROW)
            if here != there:
                self.mismatches.append("%s: %s: %s has %s, the code has %s (%s)" %
                                       (path, fact, os.path.basename(path), here, there, symbol))

    def table(self, path, header):
        """The cells of each row of the table under header, backquotes dropped."""
        lines = self.read(path).splitlines()
        if header not in lines:
            self.mismatches.append("%s: no table headed %r" % (path, header))
            return []
        rows = []
        for line in lines[lines.index(header) + 2:]:
            if not line.startswith("|"):
                break
            cells = [cell.strip().replace("`", "") for cell in line.strip("|").split("|")]
            if len(cells) == header.count("|") - 1:
                rows.append(cells)
            else:
                self.mismatches.append("%s: a row of the table headed %r has other columns: %s" % (path, header, line))
        return rows

    def start_key(self, path, stated):
        if stated is None:
            self.mismatches.append("%s: the seal's start key: %s states none" % (path, os.path.basename(path)))
        elif stated not in self.code["MakeKey start keys"]:
            self.mismatches.append("%s: the seal's start key: %s has %s, the code derives its keys from another "
                                   "(CD3Wrapper::MakeKey)" % (path, os.path.basename(path), stated))

    def lua(self):
        text = self.read(LUA)
        for name, symbol in LUA_CONSTANTS:
            found = re.search(r"^local %s = (\d+)$" % name, text, re.M)
            self.compare(LUA, symbol, {name: int(found[1]) if found else NO_ROW}, {name: self.code[symbol]})
        phrase = re.search(r'^local kPassPhrase = "([^"]*)"$', text, re.M)
        self.compare(LUA, "kSealPassPhrase", {"kPassPhrase": phrase[1] if phrase else NO_ROW},
                     {"kPassPhrase": self.code["kSealPassPhrase"]})
        names = re.search(r"^local command_names = \{\n(.*?)^\}", text, re.M | re.S)
        stated = {"command 0x%04X" % int(code, 16): name
                  for code, name in re.findall(r'\[0x(\w+)\] = "([^"]*)"', names[1] if names else "")}
        coded = {"command 0x%04X" % row["command"]: row["name"] for row in self.code["AllRequestKinds"]}
        self.compare(LUA, "AllRequestKinds", stated, coded)
        key = re.search(r'^local kStartKey = "(\w+)"$', text, re.M)
        self.start_key(LUA, key[1] if key else None)

    def protocol(self):
        rows = self.code["AllRequestKinds"]
        requests = self.table(PROTOCOL, "| request | name | UDP command | HTTP path | sent by |")
        stated, coded = {}, {}
        for _, name, command, path, _ in requests:
            stated["command of " + name] = command
            stated["HTTP path of " + name] = path
        for row in rows:
            coded["command of " + row["name"]] = "0x%04X" % row["command"]
            coded["HTTP path of " + row["name"]] = row["path"] + ("?" if row["query"] else "")
        self.compare(PROTOCOL, "AllRequestKinds", stated, coded)

        # The field lists are named as the requests table names each request.
        described = {name: description for description, name, *_ in requests}
        lists = self.table(PROTOCOL, "| request | fields, in order |")
        stated = {"fields of " + request: fields for request, fields in lists}
        coded = {}
        for row in rows:
            request = "fields of " + described.get(row["name"], row["name"])
            udp, http = ", ".join(row["udp_fields"]), ", ".join(row["http_fields"])
            if udp == http:
                coded[request] = udp
            else:
                coded[request + " over UDP"], coded[request + " over HTTP"] = udp, http
        self.compare(PROTOCOL, "AllRequestKinds", stated, coded)

        text = self.read(PROTOCOL)
        phrase = re.search(r"The pass phrase is `([^`]*)`", text)
        self.compare(PROTOCOL, "kSealPassPhrase", {"pass phrase": phrase[1] if phrase else NO_ROW},
                     {"pass phrase": self.code["kSealPassPhrase"]})
        key = re.search(r"start from the fixed key\s+`(\w+)`", text)
        self.start_key(PROTOCOL, key[1] if key else None)

    def behaviour(self):
        stated = {"cause " + number: name
                  for number, name, *_ in self.table(BEHAVIOUR, "| number | name | stage | meaning |")}
        coded = {"cause %d" % cause["number"]: cause["name"] for cause in self.code["FailureCauseName"]}
        self.compare(BEHAVIOUR, "FailureCauseName", stated, coded)

    def com_api(self):
        stated = {"%s %s" % (source, code): "%s: %s" % (name, meaning)
                  for source, code, name, meaning in self.table(COM_API, "| call | code | name | meaning |")}
        coded = {"%s %d" % (entry["source"], entry["code"]): "%s: %s" % (entry["name"], entry["meaning"])
                 for entry in self.code["ResultCodeTable"]}
        self.compare(COM_API, "ResultCodeTable", stated, coded)

    def server(self):
        # RETVALUE 0 comes with a message for each kind of success; the table
        # holds the login's alone, so only the refusals are compared.
        stated = {"RETVALUE " + code: message
                  for code, message, _ in self.table(SERVER, "| RETVALUE | DESCMSG | when |") if code != "0"}
        coded = {"RETVALUE %d" % entry["code"]: entry["message"]
                 for entry in self.code["AnswerCodeTable"] if entry["code"] != 0}
        self.compare(SERVER, "AnswerCodeTable", stated, coded)


def stated_start_keys(root):
    """The start keys that the files claim, for the dump program to confirm."""
    keys = []
    for path, pattern in [(LUA, r'local kStartKey = "(\w+)"'), (PROTOCOL, r"start from the fixed key\s+`(\w+)`")]:
        with open(os.path.join(root, path), encoding="utf-8") as f:
            keys += re.findall(pattern, f.read())
    return keys


def main(dump_program, root):
    dumped = subprocess.run([dump_program, *stated_start_keys(root)], check=True, capture_output=True, text=True)
    check = Check(root, json.loads(dumped.stdout))
    for part in (check.lua, check.protocol, check.behaviour, check.com_api, check.server):
        part()
    for mismatch in check.mismatches:
        print(mismatch, file=sys.stderr)
    return 1 if check.mismatches else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
