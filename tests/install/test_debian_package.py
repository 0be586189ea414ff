"""voka-tools_<version>_amd64.deb as a user gets it: lintian finds no error
and no program without a manual page;
dpkg installs it; the installed voka-auth and voka-server run from /usr/bin,
the server finds its sample accounts from any folder, a program built against
/usr both ways logs in with the installed engine; dpkg removes every file
again. Needs root, and voka-tools not installed before; skipped (77) while
scripts/package has not written the package.

VOKA_PACKAGES_DIR names the folder of the packages."""
import os
import subprocess
import sys
import tempfile
import unittest

from installed_consumer import build_consumers, check_logins, run

VERSION = os.environ["VOKA_VERSION"]
PACKAGE = os.path.join(os.environ["VOKA_PACKAGES_DIR"], "voka-tools_%s_amd64.deb" % VERSION)


def installed():
    query = subprocess.run(["dpkg-query", "-W", "-f=${Status}", "voka-tools"], capture_output=True, text=True)
    return query.stdout.endswith(" installed")


class DebianPackage(unittest.TestCase):
    def test_lintian_finds_no_error(self):
        self.assertNotIn("no-manual-page", run(["lintian", "--fail-on", "error", PACKAGE]))

    def test_installs_works_and_removes_cleanly(self):
        self.assertFalse(installed(), "voka-tools is installed already: dpkg --purge voka-tools")
        # perms owner size date time ./path [-> target]
        files = [line.split()[5].lstrip(".") for line in run(["dpkg-deb", "-c", PACKAGE]).splitlines()
                 if not line.startswith("d")]
        run(["dpkg", "-i", PACKAGE])
        try:
            for tool in ("voka-auth", "voka-server"):
                self.assertEqual(run(["/usr/bin/" + tool, "--version"]), "%s %s\n" % (tool, VERSION))
            with tempfile.TemporaryDirectory() as work:
                clients, _ = build_consumers("/usr", work)
                check_logins(self, "/usr/bin/voka-server", clients, work)
        finally:
            run(["dpkg", "--purge", "voka-tools"])
        self.assertFalse(installed())
        self.assertEqual([f for f in files if os.path.lexists(f)], [])
        self.assertNotIn("libUsbClient", run(["ldconfig", "-p"]))


if __name__ == "__main__":
    if os.geteuid() != 0 or not os.path.exists(PACKAGE):
        print("skipped: needs root and %s (scripts/package)" % PACKAGE)
        sys.exit(77)
    unittest.main()
