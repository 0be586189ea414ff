"""check_vocabulary.py passes the tree as it is, and names the file, the fact
and both values when a copy of a file states one fact otherwise."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

DUMP = os.environ["VOKA_VOCABULARY_DUMP"]
ROOT = os.environ["VOKA_SOURCE_DIR"]
CHECKER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check_vocabulary.py")
FILES = ["wireshark-plugin/voka.lua", "docs/protocol.md", "docs/behaviour.md", "docs/com-api.md", "docs/voka-server.md"]

# (file, text replaced, replacement, lines the checker prints).
MISMATCHES = [
    ("wireshark-plugin/voka.lua", '[0xC500] = "static"', '[0xC501] = "static"',
     ["wireshark-plugin/voka.lua: command 0xC500: voka.lua has no row, the code has static (AllRequestKinds)",
      "wireshark-plugin/voka.lua: command 0xC501: voka.lua has static, the code has no row (AllRequestKinds)"]),
    ("wireshark-plugin/voka.lua", "local kLengthLimit = 2044", "local kLengthLimit = 2045",
     ["wireshark-plugin/voka.lua: kLengthLimit: voka.lua has 2045, the code has 2044 "
      "(HeaderFitsPacket dwLength limit)"]),
    ("wireshark-plugin/voka.lua", 'kStartKey = "1F2E', 'kStartKey = "1F2F',
     ["wireshark-plugin/voka.lua: the seal's start key: voka.lua has 1F2F3D4C5B6A798897A6B5C4D3E2F1000F1E2D3C4B5A6978,"
      " the code derives its keys from another (CD3Wrapper::MakeKey)"]),
    ("docs/protocol.md", "| e-key login | `USERID`, `EKEYPWD`, `EKEYTYPE`, `APPID`, `AREAID`, `GUID`, `INDICATION` |\n",
     "", ["docs/protocol.md: fields of e-key login: protocol.md has no row, the code has USERID, EKEYPWD, EKEYTYPE, "
          "APPID, AREAID, GUID, INDICATION (AllRequestKinds)"]),
    ("docs/protocol.md", "| `/zq.ack` |", "| `/zq.ack?` |",
     ["docs/protocol.md: HTTP path of dynamic-key: protocol.md has /zq.ack?, the code has /zq.ack (AllRequestKinds)"]),
    ("docs/behaviour.md", "| 30 | `out-of-memory` |", "| 30 | `no-memory` |",
     ["docs/behaviour.md: cause 30: behaviour.md has no-memory, the code has out-of-memory (FailureCauseName)"]),
    ("docs/com-api.md", "| GetValue | -2 | `kValueTooLong` |", "| GetValue | -3 | `kValueTooLong` |",
     ["docs/com-api.md: GetValue -2: com-api.md has no row, the code has kValueTooLong: C++ buffer form: the value "
      "and its NUL do not fit the buffer (ResultCodeTable)",
      "docs/com-api.md: GetValue -3: com-api.md has kValueTooLong: C++ buffer form: the value and its NUL do not "
      "fit the buffer, the code has no row (ResultCodeTable)"]),
    ("docs/voka-server.md", "| 1013 | 服务器繁忙,请稍后再试 |", "| 1013 | 服务器繁忙 |",
     ["docs/voka-server.md: RETVALUE 1013: voka-server.md has 服务器繁忙, "
      "the code has 服务器繁忙,请稍后再试 (AnswerCodeTable)"]),
]


def check(root):
    run = subprocess.run([sys.executable, CHECKER, DUMP, root], capture_output=True, text=True)
    return run.returncode, run.stderr.splitlines()


class CheckVocabulary(unittest.TestCase):
    def test_the_tree_agrees_with_the_code(self):
        self.assertEqual(check(ROOT), (0, []))

    def test_each_mismatch_is_named(self):
        for path, old, new, lines in MISMATCHES:
            with self.subTest(path=path, new=new), tempfile.TemporaryDirectory() as root:
                for name in FILES:
                    os.makedirs(os.path.join(root, os.path.dirname(name)), exist_ok=True)
                    shutil.copy(os.path.join(ROOT, name), os.path.join(root, name))
                with open(os.path.join(root, path), encoding="utf-8") as f:
                    text = f.read()
                self.assertEqual(text.count(old), 1, old)
                with open(os.path.join(root, path), "w", encoding="utf-8") as f:
                    f.write(text.replace(old, new))
                self.assertEqual(check(root), (1, lines))


if __name__ == "__main__":
    unittest.main()
