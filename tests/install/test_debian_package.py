"""The four Debian packages as a user gets them: lintian finds no error, no
warning about where libraries lie or how ldconfig runs, and no program
without a manual page; dpkg installs them; the loader finds the runtime
library by its trigger; the installed voka-server answers logins from a C
and a C++ program built against /usr both ways, from Python's voka and from
voka-auth; dpkg purges every file again. Needs root, and none of the
packages installed before; skipped (77) while scripts/package has not
written them.

VOKA_PACKAGES_DIR names the folder of the packages."""
import os
import subprocess
import sys
import tempfile
import unittest

from installed_consumer import build_consumers, check_logins, run

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "programs"))
from voka_programs import BOB_SECRET, Server  # noqa: E402

VERSION = os.environ["VOKA_VERSION"]
ARCHITECTURES = {"libvoka-client1": "amd64", "libvoka-client-dev": "amd64", "voka-tools": "amd64",
                 "python3-voka": "all"}
PACKAGES = [os.path.join(os.environ["VOKA_PACKAGES_DIR"], "%s_%s_%s.deb" % (name, VERSION, architecture))
            for name, architecture in ARCHITECTURES.items()]
# What lintian says about libraries in the wrong place or package, and ldconfig calls.
PLACEMENT_TAGS = ("shared-library", "soname", "ldconfig", "shlibs", "multiarch", "pkg-config", "library-search-path",
                  "dev-package", "link-to-shared-library")
PYTHON_LOGIN = """
import importlib.metadata, sys, voka
with voka.Client(sys.argv[1], sys.argv[2]) as client:
    result = client.login("bob", "bob-pass")
print(voka.__file__, importlib.metadata.version("voka"), result.logged_in, int(result.code))
"""


def installed(package):
    query = subprocess.run(["dpkg-query", "-W", "-f=${Status}", package], capture_output=True, text=True)
    return query.stdout.endswith(" installed")


class DebianPackages(unittest.TestCase):
    def test_lintian_finds_no_error_nor_misplaced_library(self):
        report = run(["lintian", "--fail-on", "error", *PACKAGES])
        self.assertNotIn("no-manual-page", report)
        self.assertEqual([line for line in report.splitlines()
                          if line.startswith("W:") and any(tag in line for tag in PLACEMENT_TAGS)], [])

    def test_installs_works_and_purges_cleanly(self):
        self.assertEqual([p for p in ARCHITECTURES if installed(p)], [], "installed already: dpkg --purge them")
        # perms owner size date time ./path [-> target]
        files = [line.split()[5].lstrip(".") for package in PACKAGES
                 for line in run(["dpkg-deb", "-c", package]).splitlines() if not line.startswith("d")]
        run(["dpkg", "-i", *PACKAGES])
        try:
            self.assertIn("libvoka-client.so.1 ", run(["ldconfig", "-p"]))
            for tool in ("voka-auth", "voka-server"):
                self.assertEqual(run(["/usr/bin/" + tool, "--version"]), "%s %s\n" % (tool, VERSION))
            with tempfile.TemporaryDirectory() as work:
                clients, _ = build_consumers("/usr", work)
                check_logins(self, "/usr/bin/voka-server", clients, work)
                self.check_python_and_voka_auth(work)
        finally:
            run(["dpkg", "--purge", *ARCHITECTURES])
        self.assertEqual([p for p in ARCHITECTURES if installed(p)], [])
        self.assertEqual([f for f in files if os.path.lexists(f)], [])
        self.assertNotRegex(run(["ldconfig", "-p"]), "libUsbClient|libvoka-client")

    def check_python_and_voka_auth(self, work):
        """bob's e-key login from the system's Python and from voka-auth,
        nothing of the build tree in their way."""
        env = {"PATH": "/usr/bin:/bin", "VOKA_SOFT_TOKEN_SECRET": BOB_SECRET,
               "VOKA_UDP_LOG": os.path.join(work, "TevUdpServer.log")}
        with Server(accounts=None, binary="/usr/bin/voka-server") as server:
            python = subprocess.run(["/usr/bin/python3", "-c", PYTHON_LOGIN, server.udp, server.http_url],
                                    capture_output=True, text=True, env=env, cwd=work, timeout=60)
            self.assertEqual(python.stdout, "/usr/lib/python3/dist-packages/voka/__init__.py %s True 0\n" % VERSION,
                             python.stderr)
            auth = subprocess.run(["/usr/bin/voka-auth", "--udp", server.udp, "--http", server.http_url, "login",
                                   "--user", "bob", "--password", "bob-pass", "--app", "1", "--area", "1"],
                                  capture_output=True, text=True, env=env, cwd=work, timeout=60)
            self.assertEqual(auth.returncode, 0, auth.stdout + auth.stderr)
            self.assertIn("ekey: 0", auth.stdout)


if __name__ == "__main__":
    if os.geteuid() != 0 or not all(os.path.exists(p) for p in PACKAGES):
        print("skipped: needs root and %s (scripts/package)" % " ".join(PACKAGES))
        sys.exit(77)
    unittest.main()
