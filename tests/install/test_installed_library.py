"""`cmake --install` of the build tree into a fresh prefix: the one public
header, and a program outside the tree built against the prefix both ways
that logs in against the installed voka-server.

VOKA_BUILD_DIR names the build tree to install."""
import os
import subprocess
import tempfile
import unittest

from installed_consumer import build_consumers, check_logins


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


if __name__ == "__main__":
    unittest.main()
