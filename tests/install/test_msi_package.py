"""The MSI packages as a deployer uses them, each in fresh Wine prefixes of its
word size. Without the token maker's UsbClient.dll in the system folder the
silent install is refused, naming it. With SOFTTOKEN=1 it installs the
stand-in and writes exactly the registry keys that regsvr32 writes in another
fresh prefix (both views for x64), and the script hosts of each word size log
in against voka-server; the next version, with signed DLLs, installs over it,
leaving one product, the stand-in included without asking again, and logs in; the same package again, the same version
rebuilt, the older one and, on 64-bit Windows, the x86 package are refused
(1603, the reason in the verbose log) and change nothing; the silent
uninstall leaves the registry and the files as before. With a library in the
system folder, an install into the folders INSTALLDIR names installs no
UsbClient.dll, registers the DLLs there, and a password account logs in.
Also: signatures made with a throw-away CA, and one version everywhere.
Skipped (77) while scripts/package has not written the packages."""
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [os.path.join(HERE, "..", "programs"), os.path.join(HERE, "..", "..", "packaging", "msi")]
from make_msi import file_version  # noqa: E402
from voka_programs import BOB_SECRET, Server  # noqa: E402
from wine_machine import Machine, registry_changes, windows_path  # noqa: E402

ROOT, VERSION, PACKAGES = os.path.join(HERE, "..", ".."), os.environ["VOKA_VERSION"], os.environ["VOKA_PACKAGES_DIR"]
SDK = os.path.join(PACKAGES, "VOKA4ClientCom-%s-sdk.zip" % VERSION)
NEXT_VERSION = "%s.%d" % (VERSION.rsplit(".", 1)[0], int(VERSION.rsplit(".", 1)[1]) + 1)
# Per package: the prefix, and for each word size (64-bit first, as the x64
# package writes them) its folder, regsvr32, script host, the property of its
# install folder and its system folder.
SYSTEM32, SYSWOW64 = "C:\\windows\\system32\\", "C:\\windows\\syswow64\\"
MACHINES = {"x86": ("win32", [("x86", "Program Files", "regsvr32", "cscript", "INSTALLDIR", "system32")]),
            "x64": ("win64", [("x64", "Program Files", SYSTEM32 + "regsvr32.exe", SYSTEM32 + "cscript.exe",
                               "INSTALLDIR", "system32"),
                              ("x86", "Program Files (x86)", SYSWOW64 + "regsvr32.exe", SYSWOW64 + "cscript.exe",
                               "INSTALLDIR32", "syswow64")])}
# What Linux sees of Windows Installer's ERROR_INSTALL_FAILURE (1603): its low byte.
INSTALL_FAILURE = 1603 & 0xFF
UNINSTALL_KEY = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"

def run(*args, **options):
    return subprocess.run(args, check=True, capture_output=True, text=True, **options).stdout


def without_helpdir_separator(registration):
    """The registration with the type library's HELPDIR as RegisterTypeLib writes it: a directory property, which
    the package writes there, ends in a separator."""
    return {key: {name: re.sub(r'\\\\"$', '"', data) if key.endswith("\\HELPDIR") else data
                  for name, data in values.items()} for key, values in registration.items()}


def package(arch, version=VERSION):
    return os.path.join(PACKAGES, "VOKA4ClientCom-%s-%s.msi" % (version, arch))


def make_msi(arch, version, files, output, sign):
    run(os.path.join(ROOT, "packaging", "msi", "make_msi.py"), "--version", version, "--arch", arch, "--output", output,
        "--rows-program", os.path.join(os.environ["VOKA_BUILD_DIR"], "packaging", "msi", "msi_registry_rows"),
        "--idl", os.path.join(ROOT, "facade", "VOKA4ClientCom.idl"), "--x86", files + "/x86", "--x64", files + "/x64")
    sign(output)
    return output


def signed_dlls(work):
    """The SDK's DLLs and voka-auth.exe, the files the packages carry, signed by packaging/sign with a
    throw-away CA and certificate made in work; the signing function and the CA."""
    with zipfile.ZipFile(SDK) as sdk:
        sdk.extractall(work, [name for name in sdk.namelist()
                              if re.search(r"/x(86|64)/(\w+\.dll|voka-auth\.exe)$", name, re.I)])
    files = os.path.join(work, "VOKA4ClientCom-%s-sdk" % VERSION)
    ca, key, password = (os.path.join(work, name) for name in ("ca.pem", "signer.p12", "password"))
    req = ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-addext"]
    run(*req, "basicConstraints=critical,CA:TRUE", "-subj", "/CN=Throw-away CA", "-keyout", ca + ".key", "-out", ca)
    run(*req, "extendedKeyUsage=codeSigning", "-addext", "basicConstraints=CA:FALSE", "-subj", "/CN=Throw-away signer",
        "-CA", ca, "-CAkey", ca + ".key", "-keyout", key + ".key", "-out", key + ".pem")
    with open(password, "w") as f:
        f.write("throw-away password\n")
    run("openssl", "pkcs12", "-export", "-inkey", key + ".key", "-in", key + ".pem", "-passout", "file:" + password,
        "-out", key)
    env = dict(os.environ, VOKA_SIGN_PKCS12=key, VOKA_SIGN_PASSWORD_FILE=password)
    sign = lambda *paths: run(os.path.join(ROOT, "packaging", "sign"), *paths, env=env)  # noqa: E731
    sign(*glob.glob(files + "/*/*"))
    return files, sign, ca


class MsiPackage(unittest.TestCase):
    maxDiff = None

    def check_logins(self, machine, hosts, server, registered=True, user="bob"):
        env = dict(os.environ, VOKA_SOFT_TOKEN_SECRET=BOB_SECRET)
        for host in hosts:
            done = machine.login(host, server, env, user, user + "-pass")
            self.assertEqual("  AUTHENSTATE=1" in done.stdout and done.returncode == 0, registered, host + done.stdout)

    def check_refused(self, machine, msi, reason, registry, tree, *properties):
        log = os.path.join(machine.folder, "refused-%d.log" % len(os.listdir(machine.folder)))
        done = machine.run("msiexec", "/i", msi, "/qn", "/l*v", windows_path(log), *properties)
        with open(log, "rb") as f:
            self.assertIn(reason.encode(), f.read(), msi)
        self.assertEqual(done.returncode, INSTALL_FAILURE, msi)
        self.assertEqual(registry_changes(registry, machine.registry()), [], msi)
        self.assertEqual(machine.files(), tree, msi)

    def uninstall_entry(self, registry):
        entries = [values for key, values in registry.items()
                   if key.startswith(UNINSTALL_KEY) and values.get('"DisplayName"') == '"VOKA4ClientCom"']
        self.assertEqual(len(entries), 1)
        return entries[0]

    def check_package(self, arch):
        prefix_arch, sizes = MACHINES[arch]
        hosts = [size[3] for size in sizes]
        with tempfile.TemporaryDirectory() as work, Server() as server:
            files, sign, _ = signed_dlls(work)
            upgrade, rebuilt = (windows_path(make_msi(arch, NEXT_VERSION, files, os.path.join(work, name), sign))
                                for name in ("next.msi", "next-again.msi"))
            reference = Machine(os.environ["VOKA_WINE_RUN"], os.path.join(work, "regsvr32"), prefix_arch)
            for size, folder, regsvr32, *_ in sizes:
                self.assertEqual(reference.run(regsvr32, "/s", reference.install_files(files + "/" + size, folder))
                                 .returncode, 0, regsvr32)
            expected = reference.registration()
            reference.close()

            machine = Machine(os.environ["VOKA_WINE_RUN"], os.path.join(work, "msiexec"), prefix_arch)
            self.check_logins(machine, hosts, server, registered=False)  # Wine registers its script types at first run
            registry, tree = machine.registry(), machine.files()
            self.check_refused(machine, windows_path(package(arch)), "needs UsbClient.dll", registry, tree)
            for msi, properties in ((windows_path(package(arch)), ["SOFTTOKEN=1"]), (upgrade, [])):  # remembered
                self.assertEqual(machine.run("msiexec", "/i", msi, "/qn", *properties).returncode, 0, msi)
                installed = machine.registry()
                self.assertEqual(without_helpdir_separator(machine.registration(installed)), expected, msi)
                self.assertEqual(self.uninstall_entry(installed)['"InstallLocation"'],
                                 '"C:\\\\Program Files\\\\VOKA4ClientCom\\\\"', msi)
                self.check_logins(machine, hosts, server)
            installed_tree = machine.files()
            self.assertEqual({path for path in installed_tree - tree if not path.startswith("windows")},
                             {os.path.join(folder, "VOKA4ClientCom", *name) for size, folder, *_ in sizes
                              for name in [()] + [(f,) for f in os.listdir(files + "/" + size)]})
            refused = [(upgrade, "%s is already installed." % NEXT_VERSION),
                       (rebuilt, "%s or a newer version is already installed" % NEXT_VERSION),
                       (windows_path(package(arch)), "%s or a newer version is already installed" % VERSION)]
            refused += [(windows_path(package("x86")), "This package is for 32-bit Windows")] * (arch == "x64")
            for msi, reason in refused:
                self.check_refused(machine, msi, reason, installed, installed_tree)
            self.assertEqual(machine.run("msiexec", "/x", upgrade, "/qn").returncode, 0)
            self.assertEqual(registry_changes(registry, machine.registry()), [])
            self.assertEqual(machine.files(), tree)
            self.check_maker_library(machine, arch, files, expected, server)
            machine.close()

    def check_maker_library(self, machine, arch, files, expected, server):
        """The token library in each system folder (the stand-in, as the maker's would lie), the package into
        the folders INSTALLDIR and INSTALLDIR32 name: no stand-in installed, the registration there."""
        _, sizes = MACHINES[arch]
        for size, _, _, _, _, system in sizes:
            shutil.copy(os.path.join(files, size, "UsbClient.dll"), os.path.join(machine.drive, "windows", system))
        registry, tree = machine.registry(), machine.files()
        folders = ["%s=C:\\Custom\\Voka-%s" % (name, size) for size, _, _, _, name, _ in sizes]
        self.assertEqual(machine.run("msiexec", "/i", windows_path(package(arch)), "/qn", *folders).returncode, 0)
        installed = machine.registry()
        entry = self.uninstall_entry(installed)
        self.assertEqual(entry['"InstallLocation"'], '"C:\\\\Custom\\\\Voka-%s\\\\"' % arch)
        self.assertRegex(entry['"Contact"'], "@")
        self.assertIn("voka-auth.exe", entry['"Comments"'])
        self.assertEqual({path for path in machine.files() - tree if not path.startswith("windows")},
                         {"Custom"} | {os.path.join("Custom", "Voka-" + size, *name) for size, *_ in sizes
                                       for name in [(), ("VOKA4ClientCom.DLL",), ("voka-auth.exe",)]})
        for size, folder, *_ in sizes:  # paths as regedit writes them, each separator doubled
            expected = {key: {name: data.replace("C:\\\\%s\\\\VOKA4ClientCom" % folder, "C:\\\\Custom\\\\Voka-" + size)
                              for name, data in values.items()} for key, values in expected.items()}
        self.assertEqual(without_helpdir_separator(machine.registration(installed)), expected)
        self.check_logins(machine, [size[3] for size in sizes], server, user="alice")
        self.assertEqual(machine.run("msiexec", "/x", windows_path(package(arch)), "/qn").returncode, 0)
        self.assertEqual(registry_changes(registry, machine.registry()), [])

    def test_x86_package(self):
        self.check_package("x86")

    def test_x64_package(self):
        self.check_package("x64")

    def test_signatures(self):
        """Signed DLLs and MSI verify against the CA, SHA-256; one changed byte breaks the signature."""
        with tempfile.TemporaryDirectory() as work:
            files, sign, ca = signed_dlls(work)
            for path in glob.glob(files + "/*/*") + [make_msi("x64", VERSION, files, work + "/signed.msi", sign)]:
                self.assertRegex(run("osslsigncode", "verify", "-CAfile", ca, "-in", path),
                                 r"Message digest algorithm\s*: SHA256")
                with open(path, "r+b") as f:
                    f.seek(os.path.getsize(path) // 3)
                    byte = f.read(1)[0]
                    f.seek(-1, os.SEEK_CUR)
                    f.write(bytes([byte ^ 1]))
                with self.assertRaises(subprocess.CalledProcessError, msg=path):
                    run("osslsigncode", "verify", "-CAfile", ca, "-in", path)

    def test_one_version_everywhere(self):
        """The project's version in each MSI, DLL (the stand-in UsbClient.dll too), manifest, .deb and program,
        voka-auth.exe too (four parts for Windows)."""
        found = {}
        for arch in MACHINES:
            found[arch] = re.search(r"^ProductVersion\t(.*)$", run("msiinfo", "export", package(arch), "Property"),
                                    re.M).group(1)
            found.update(re.findall(r"^(VOKA4ClientCom\.DLL_\w+)\t(?:[^\t]*\t){3}([^\t]*)",
                                    run("msiinfo", "export", package(arch), "File"), re.M))
        with zipfile.ZipFile(SDK) as sdk, tempfile.TemporaryDirectory() as work:
            for name in sdk.namelist():
                if name.endswith(("VOKA4ClientCom.DLL", "voka-auth.exe", "UsbClient.dll")):
                    found[name] = file_version(sdk.extract(name, work))
                if name.endswith("UsbClient.dll"):  # the stand-in says what it is
                    self.assertIn("for development and tests".encode("utf-16-le"), sdk.read(name), name)
                found.update((name, v) for v in re.findall(r'"VOKA4ClientCom" version="([\d.]+)"', str(sdk.read(name))))
        found.update((deb, run("dpkg-deb", "-f", deb, "Version").strip()) for deb in glob.glob(PACKAGES + "/*.deb"))
        found.update((program, re.search(r"\d+(\.\d+)+", run(program, "--version")).group(0))
                     for program in (os.environ["VOKA_AUTH"], os.environ["VOKA_SERVER"]))
        self.assertGreaterEqual(len(found), 15, found)
        four_parts = lambda version: version + ".0" * (3 - version.count("."))  # noqa: E731
        self.assertEqual({name: four_parts(version) for name, version in found.items()},
                         dict.fromkeys(found, four_parts(VERSION)))


if __name__ == "__main__":
    if not os.path.exists(SDK):
        print("skipped: %s not written yet (scripts/package)" % SDK)
        sys.exit(77)
    unittest.main()
