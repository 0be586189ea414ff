"""`cmake --install` of the build tree into a fresh prefix: the public
headers, programs outside the tree (C++ engine and C interface) built against
the prefix both ways that log in against the installed voka-server, the
library exporting only the C interface; and no run path of the build
tree or the prefix has an empty entry, which would mean the working folder.

VOKA_BUILD_DIR names the build tree to install."""
import os
import re
import subprocess
import tempfile
import unittest

from installed_consumer import build_consumers, check_logins

HEADER = os.path.join(os.path.dirname(__file__), "..", "..", "include", "voka", "voka_client.h")


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
            self.assertEqual(sorted(headers), ["voka/client_authen.h", "voka/failure_cause.h", "voka/http_facts.h",
                                               "voka/limits.h", "voka/login_flow.h", "voka/login_steps.h",
                                               "voka/result_code_numbers.h",
                                               "voka/result_codes.h", "voka/udp_header.h", "voka/voka_client.h"])
            clients, libdir = build_consumers(prefix, work)
            library = os.path.join(libdir, "libvoka-client.so.1")
            self.assertIn("(SONAME)             Library soname: [libvoka-client.so.1]",
                          subprocess.run(["readelf", "-d", library], capture_output=True, text=True).stdout)
            exported = subprocess.run(["nm", "-D", "--defined-only", library], capture_output=True, text=True).stdout
            self.assertEqual({line.split()[-1].split("@")[0] for line in exported.splitlines()} - {"VOKA_CLIENT_1"},
                             set(re.findall(r"\b(voka_client_\w+)\(", open(HEADER).read())))
            # The installed tools find the stand-in token library in the prefix.
            os.environ["LD_LIBRARY_PATH"] = libdir
            check_logins(self, os.path.join(prefix, "bin", "voka-server"), clients, work)
            built = run_paths(os.environ["VOKA_BUILD_DIR"])
            self.assertIn(os.environ["VOKA_AUTH"], built)
            self.assertEqual({p: e for p, e in {**built, **run_paths(prefix)}.items() if "" in e}, {})


if __name__ == "__main__":
    unittest.main()
