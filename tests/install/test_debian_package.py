"""The five Debian packages as a user gets them: lintian --pedantic finds no
error, no warning about where libraries lie or how ldconfig runs, no program
without a manual page and nothing of the hardening or stripping that Debian's
own builds do missing; each package names its dependencies once, and the
runtime needs the token library's virtual package, which the stand-in
provides; dpkg installs them, the stand-in explicitly; each package's
documentation folder holds its readers' documents and a changelog that names
it; pkg-config prints plain flags; voka-server's manual page has the account
file's format, its files and exit statuses, in UTF-8; voka-tools ships
voka-auth's JSON Schemas and voka-server's systemd unit, which systemd-analyze
verifies and the package leaves disabled, with its account file a conffile
that root alone reads; python3-voka is compiled at install; the loader finds the runtime
library by its trigger; the installed voka-server answers logins from a C
and a C++ program built against /usr both ways, from Python's voka and from
voka-auth; dpkg purges every file again. Needs root, and none of the
packages installed before; skipped (77) while scripts/package has not
written them.

VOKA_PACKAGES_DIR names the folder of the packages."""
import os
import re
import subprocess
import sys
import tempfile
import unittest

from installed_consumer import build_consumers, check_logins, run

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "programs"))
from voka_programs import BOB_SECRET, Server  # noqa: E402

VERSION = os.environ["VOKA_VERSION"]
ARCHITECTURES = {"libvoka-client1": "amd64", "voka-soft-token": "amd64", "libvoka-client-dev": "amd64",
                 "voka-tools": "amd64", "python3-voka": "all"}
# Each package's documents besides its copyright and changelog (compressed above 4 KiB).
DOCUMENTS = {"libvoka-client1": {"behaviour.md"}, "voka-soft-token": set(), "libvoka-client-dev": {"cpp-library.md"},
             "voka-tools": {"voka-auth.md", "voka-server.md"}, "python3-voka": {"python.md"}}
PACKAGES = [os.path.join(os.environ["VOKA_PACKAGES_DIR"], "%s_%s_%s.deb" % (name, VERSION, architecture))
            for name, architecture in ARCHITECTURES.items()]
# What lintian says about libraries in the wrong place or package, and ldconfig calls.
PLACEMENT_TAGS = ("shared-library", "soname", "ldconfig", "shlibs", "multiarch", "pkg-config", "library-search-path",
                  "dev-package", "link-to-shared-library")
# What lintian --pedantic says, at any level, of what Debian's own builds do.
BUILD_TAGS = ("hardening-", "unstripped-", "unneeded-section", "duplicate-")
SCHEMAS = "/usr/share/voka-tools/schemas"
UNIT = "/usr/lib/systemd/system/voka-server.service"
PYTHON_PACKAGE = "/usr/lib/python3/dist-packages/voka"
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
        report = run(["lintian", "--pedantic", "-I", "--fail-on", "error", *PACKAGES])
        self.assertNotIn("no-manual-page", report)
        self.assertEqual([line for line in report.splitlines() if any(tag in line for tag in BUILD_TAGS) or
                          line.startswith("W:") and any(tag in line for tag in PLACEMENT_TAGS)], [])

    def test_control_fields(self):
        fields = {name: run(["dpkg-deb", "-f", path]) for name, path in zip(ARCHITECTURES, PACKAGES)}
        for name, text in fields.items():
            depends = [entry.split()[0] for entry in re.search(r"^Depends: (.*)$", text, re.M).group(1).split(", ")]
            self.assertEqual(len(depends), len(set(depends)), name + ": " + text)
        self.assertRegex(fields["libvoka-client1"], r"(?m)^Depends: .*\blibusbclient1\b")
        self.assertEqual(sorted(re.findall(r"^(Conflicts|Provides|Replaces): (.*)$", fields["voka-soft-token"], re.M)),
                         [("Conflicts", "libusbclient1"), ("Provides", "libusbclient1"), ("Replaces", "libusbclient1")])

    def test_installs_works_and_purges_cleanly(self):
        self.assertEqual([p for p in ARCHITECTURES if installed(p)], [], "installed already: dpkg --purge them")
        # perms owner size date time ./path [-> target]
        files = [line.split()[5].lstrip(".") for package in PACKAGES
                 for line in run(["dpkg-deb", "-c", package]).splitlines() if not line.startswith("d")]
        run(["dpkg", "-i", *PACKAGES])
        try:
            self.assertIn("libvoka-client.so.1 ", run(["ldconfig", "-p"]))
            for package, documents in DOCUMENTS.items():
                folder = "/usr/share/doc/" + package
                self.assertEqual({re.sub(r"\.gz$", "", name) for name in os.listdir(folder)},
                                 documents | {"copyright", "changelog"}, package)
                self.assertRegex(run(["zcat", folder + "/changelog.gz"]), "^%s " % package)
            self.assertEqual(run(["pkg-config", "--cflags", "--libs", "voka-client"]).split(), ["-lvoka-client"])
            page = run(["zcat", "/usr/share/man/man1/voka-server.1.gz"])
            self.assertEqual(re.findall(r'^\.SH "?(ACCOUNTS FILE|FILES|EXIT STATUS)', page, re.M),
                             ["ACCOUNTS FILE", "EXIT STATUS", "FILES"])
            self.assertIn("\\fB张三\\fR/\\fB密码 123\\fR", page)
            self.assertEqual(sorted(os.listdir(SCHEMAS)), ["voka-auth-%s.schema.json" % form
                                                           for form in ("bench", "check", "result", "text")])
            self.check_service()
            self.assertTrue(os.listdir(PYTHON_PACKAGE + "/__pycache__"))
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
        # Byte code written after the install, and the conffile, go as well.
        self.assertEqual([f for f in (PYTHON_PACKAGE, "/etc/voka-server") if os.path.lexists(f)], [])

    def check_service(self):
        """The unit passes systemd-analyze verify and is not enabled; its account file is a conffile only root reads."""
        run(["systemd-analyze", "verify", UNIT])
        self.assertEqual([d for d in os.listdir("/etc/systemd/system") if os.path.exists(
            os.path.join("/etc/systemd/system", d, "voka-server.service"))], [])
        self.assertIn(" /etc/voka-server/accounts ", run(["dpkg-query", "-W", "-f=${Conffiles}", "voka-tools"]))
        self.assertEqual(os.stat("/etc/voka-server/accounts").st_mode & 0o777, 0o600)

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
