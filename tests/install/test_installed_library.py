"""`cmake --install` of the build tree into a fresh prefix: the one public
header, and a program outside the tree built against the prefix both ways
that logs in against the installed voka-server; and no run path of the build
tree or the prefix has an empty entry, which would mean the working folder.

VOKA_BUILD_DIR names the build tree to install."""
import os
import re
import subprocess
import tempfile
import unittest

from installed_consumer import build_consumers, check_logins


def run_paths(folder):
    """Path -> run path entries of each ELF file under folder."""
    files = [p for d, _, names in os.walk(folder) for p in (os.path.join(d, n) for n in names) if not os.path.islink(p)]
    found, path = {}, None
    for line in subprocess.run(["readelf", "-d", *files], capture_output=True, text=True).stdout.splitlines():
        path = line[len("File: "):] if line.startswith("File: ") else path
        for entries in re.findall(r"\((?:RUNPATH|RPATH)\).*\[(.*)\]", line):
            found[path] = entries.split(":")
    return found


class InstalledPrefix(unittest.TestCase):
    def test_consumer_built_against_the_prefix_logs_in(self):
        with tempfile.TemporaryDirectory() as work:
            prefix = os.path.join(work, "prefix")
            subprocess.run(["cmake", "--install", os.environ["VOKA_BUILD_DIR"], "--prefix", prefix],
                           check=True, capture_output=True)
            headers = [os.path.relpath(os.path.join(d, f), os.path.join(prefix, "include"))
                       for d, _, files in os.walk(os.path.join(prefix, "include")) for f in files]
            self.assertEqual(sorted(headers), ["voka/client_authen.h", "voka/result_codes.h", "voka/udp_header.h"])
            clients, libdir = build_consumers(prefix, work)
            # The installed tools find the stand-in token library in the prefix.
            os.environ["LD_LIBRARY_PATH"] = libdir
            check_logins(self, os.path.join(prefix, "bin", "voka-server"), clients, work)
            built = run_paths(os.environ["VOKA_BUILD_DIR"])
            self.assertIn(os.environ["VOKA_AUTH"], built)
            self.assertEqual({p: e for p, e in {**built, **run_paths(prefix)}.items() if "" in e}, {})


if __name__ == "__main__":
    unittest.main()
