"""The MSI packages as a deployer uses them, each in fresh Wine prefixes of its
word size: the silent install writes exactly the registry keys that regsvr32
writes in another fresh prefix (both views for x64), and the script hosts of
each word size log in against voka-server; the next version, with signed DLLs,
installs over it, leaving one product, and logs in; the same package again,
the same version rebuilt, the older one and, on 64-bit Windows, the x86 package are refused and change
nothing; the silent uninstall leaves the registry and the files as before.
Also: signatures made with a throw-away CA, and one version everywhere.
Skipped (77) while scripts/package has not written the packages."""
import glob
import os
import re
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
# package writes them) its folder, regsvr32 and script host.
SYSTEM32, SYSWOW64 = "C:\\windows\\system32\\", "C:\\windows\\syswow64\\"
MACHINES = {"x86": ("win32", [("x86", "Program Files", "regsvr32", "cscript")]),
            "x64": ("win64", [("x64", "Program Files", SYSTEM32 + "regsvr32.exe", SYSTEM32 + "cscript.exe"),
                              ("x86", "Program Files (x86)", SYSWOW64 + "regsvr32.exe", SYSWOW64 + "cscript.exe")])}


def run(*args, **options):
    return subprocess.run(args, check=True, capture_output=True, text=True, **options).stdout


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

    def check_logins(self, machine, hosts, server, registered=True):
        env = dict(os.environ, VOKA_SOFT_TOKEN_SECRET=BOB_SECRET)
        for host in hosts:
            done = machine.login(host, server, env)
            self.assertEqual("EKeyAuthen: 0" in done.stdout and done.returncode == 0, registered, host + done.stdout)

    def check_package(self, arch):
        prefix_arch, sizes = MACHINES[arch]
        hosts = [host for _, _, _, host in sizes]
        with tempfile.TemporaryDirectory() as work, Server() as server:
            files, sign, _ = signed_dlls(work)
            upgrade, rebuilt = (windows_path(make_msi(arch, NEXT_VERSION, files, os.path.join(work, name), sign))
                                for name in ("next.msi", "next-again.msi"))
            reference = Machine(os.environ["VOKA_WINE_RUN"], os.path.join(work, "regsvr32"), prefix_arch)
            for size, folder, regsvr32, _ in sizes:
                self.assertEqual(reference.run(regsvr32, "/s", reference.install_files(files + "/" + size, folder))
                                 .returncode, 0, regsvr32)
            expected = reference.registration()
            reference.close()

            machine = Machine(os.environ["VOKA_WINE_RUN"], os.path.join(work, "msiexec"), prefix_arch)
            self.check_logins(machine, hosts, server, registered=False)  # Wine registers its script types at first run
            registry, tree = machine.registry(), machine.files()
            for msi in (windows_path(package(arch)), upgrade):
                self.assertEqual(machine.run("msiexec", "/i", msi, "/qn").returncode, 0, msi)
                installed = machine.registry()
                self.assertEqual(machine.registration(installed), expected, msi)
                self.assertEqual(sum(values.get('"DisplayName"') == '"VOKA4ClientCom"'
                                     for key, values in installed.items() if "\\Uninstall\\" in key), 1, msi)
                self.check_logins(machine, hosts, server)
            installed_tree = machine.files()
            self.assertEqual({path for path in installed_tree - tree if not path.startswith("windows")},
                             {os.path.join(folder, "VOKA4ClientCom", *name) for size, folder, _, _ in sizes
                              for name in [()] + [(f,) for f in os.listdir(files + "/" + size)]})
            refused = [upgrade, rebuilt, windows_path(package(arch))] + [windows_path(package("x86"))] * (arch == "x64")
            for msi in refused:
                self.assertNotEqual(machine.run("msiexec", "/i", msi, "/qn").returncode, 0, msi)
                self.assertEqual(registry_changes(installed, machine.registry()), [], msi)
                self.assertEqual(machine.files(), installed_tree, msi)
            self.assertEqual(machine.run("msiexec", "/x", upgrade, "/qn").returncode, 0)
            self.assertEqual(registry_changes(registry, machine.registry()), [])
            self.assertEqual(machine.files(), tree)
            machine.close()

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
        """The project's version in each MSI, DLL, manifest, .deb and program, voka-auth.exe too (four parts for
        Windows)."""
        found = {}
        for arch in MACHINES:
            found[arch] = re.search(r"^ProductVersion\t(.*)$", run("msiinfo", "export", package(arch), "Property"),
                                    re.M).group(1)
            found.update(re.findall(r"^(VOKA4ClientCom\.DLL_\w+)\t(?:[^\t]*\t){3}([^\t]*)",
                                    run("msiinfo", "export", package(arch), "File"), re.M))
        with zipfile.ZipFile(SDK) as sdk, tempfile.TemporaryDirectory() as work:
            for name in sdk.namelist():
                if name.endswith(("VOKA4ClientCom.DLL", "voka-auth.exe")):
                    found[name] = file_version(sdk.extract(name, work))
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
