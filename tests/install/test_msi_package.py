"""VOKA4ClientCom-<version>-x86.msi and -x64.msi as a deployer uses them, each
in a fresh Wine prefix of its word size: a silent install registers exactly
what regsvr32 registers in another fresh prefix (both registry views for x64),
and script hosts of each word size log in against voka-server; the next
version installs over it, leaving one product, and logs in; the same version
built again and the older one are refused and change nothing; uninstalling
leaves the registry and the file tree as they were before. Skipped (77) while
scripts/package has not written the packages.

VOKA_PACKAGES_DIR names the folder of the packages, VOKA_WINE_RUN the
project's wine-run, VOKA_BUILD_DIR the native tree (msi_registry_rows)."""
import glob
import os
import re
import subprocess
import sys
import tempfile
import unittest
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "programs"))
from voka_programs import BOB_SECRET, Server  # noqa: E402
from wine_machine import Machine, registry_changes, windows_path  # noqa: E402

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "packaging", "msi"))
from make_msi import file_version  # noqa: E402

ROOT = os.path.join(os.path.dirname(__file__), "..", "..")
VERSION = os.environ["VOKA_VERSION"]
PACKAGES = os.environ["VOKA_PACKAGES_DIR"]
SDK = os.path.join(PACKAGES, "VOKA4ClientCom-%s-sdk.zip" % VERSION)
NEXT_VERSION = "%s.%d" % (VERSION.rsplit(".", 1)[0], int(VERSION.rsplit(".", 1)[1]) + 1)
# Per package: the prefix, and each word size's folder with the regsvr32 and
# script host of that word size, 64-bit first as the x64 package writes them.
MACHINES = {
    "x86": ("win32", [("x86", "Program Files", "regsvr32", "cscript")]),
    "x64": ("win64", [("x64", "Program Files", "C:\\windows\\system32\\regsvr32.exe",
                       "C:\\windows\\system32\\cscript.exe"),
                      ("x86", "Program Files (x86)", "C:\\windows\\syswow64\\regsvr32.exe",
                       "C:\\windows\\syswow64\\cscript.exe")]),
}


def make_msi(arch, version, files, output, sign):
    subprocess.run([os.path.join(ROOT, "packaging", "msi", "make_msi.py"), "--version", version, "--arch", arch,
                    "--rows-program", os.path.join(os.environ["VOKA_BUILD_DIR"], "packaging", "msi", "msi_registry_rows"),
                    "--idl", os.path.join(ROOT, "facade", "VOKA4ClientCom.idl"), "--x86", os.path.join(files, "x86"),
                    "--x64", os.path.join(files, "x64"), "--output", output], check=True)
    sign(output)
    return output


def signer(work):
    """packaging/sign with a throw-away CA and code-signing certificate made in work; the CA's file."""
    openssl = ["openssl", "req", "-newkey", "rsa:2048", "-nodes", "-days", "2"]
    ca, key, password = (os.path.join(work, name) for name in ("ca.pem", "signer.p12", "password"))
    subprocess.run(openssl + ["-x509", "-keyout", ca + ".key", "-out", ca, "-subj", "/CN=Throw-away CA", "-addext",
                              "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign"],
                   check=True, capture_output=True)
    subprocess.run(openssl + ["-keyout", key + ".key", "-out", key + ".csr", "-subj", "/CN=Throw-away signer"],
                   check=True, capture_output=True)
    with open(key + ".ext", "w") as f:
        f.write("keyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n")
    subprocess.run(["openssl", "x509", "-req", "-in", key + ".csr", "-CA", ca, "-CAkey", ca + ".key", "-CAcreateserial",
                    "-days", "2", "-extfile", key + ".ext", "-out", key + ".pem"], check=True, capture_output=True)
    with open(password, "w") as f:
        f.write("throw-away password\n")
    subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key + ".key", "-in", key + ".pem", "-certfile", ca,
                    "-passout", "file:" + password, "-out", key], check=True)
    env = dict(os.environ, VOKA_SIGN_PKCS12=key, VOKA_SIGN_PASSWORD_FILE=password)
    return lambda *files: subprocess.run([os.path.join(ROOT, "packaging", "sign"), *files], env=env, check=True), ca


def unpack_dlls(work):
    """The SDK's DLLs of each word size, the files the packages carry."""
    with zipfile.ZipFile(SDK) as sdk:
        for name in sdk.namelist():
            if name.lower().endswith(".dll") and name.split("/")[1] in ("x86", "x64"):
                target = os.path.join(work, "files", *name.split("/")[1:])
                os.makedirs(os.path.dirname(target), exist_ok=True)
                with open(target, "wb") as f:
                    f.write(sdk.read(name))
    return os.path.join(work, "files")


class MsiPackage(unittest.TestCase):
    maxDiff = None
    def check_logins(self, machine, hosts, server, registered=True):
        env = dict(os.environ, VOKA_SOFT_TOKEN_SECRET=BOB_SECRET)
        for host in hosts:
            done = machine.login(host, server, env)
            self.assertEqual(done.returncode == 0, registered, host + ": " + done.stdout + done.stderr)
            self.assertEqual("EKeyAuthen: 0" in done.stdout, registered, host)

    def check_package(self, arch):
        wine_run = os.environ["VOKA_WINE_RUN"]
        prefix_arch, sizes = MACHINES[arch]
        hosts = [host for _, _, _, host in sizes]
        with tempfile.TemporaryDirectory() as work, Server() as server:
            # The next versions carry DLLs signed as scripts/package signs them.
            files = unpack_dlls(work)
            sign, _ = signer(work)
            sign(*glob.glob(os.path.join(files, "*", "*")))
            first = windows_path(os.path.join(PACKAGES, "VOKA4ClientCom-%s-%s.msi" % (VERSION, arch)))
            upgrade = windows_path(make_msi(arch, NEXT_VERSION, files, os.path.join(work, "next.msi"), sign))
            rebuilt = windows_path(make_msi(arch, NEXT_VERSION, files, os.path.join(work, "next-again.msi"), sign))

            reference = Machine(wine_run, os.path.join(work, "regsvr32"), prefix_arch)
            for size, folder, regsvr32, _ in sizes:
                done = reference.run(regsvr32, "/s", reference.install_files(os.path.join(files, size), folder))
                self.assertEqual(done.returncode, 0, regsvr32)
            expected = reference.registration()
            reference.close()

            machine = Machine(wine_run, os.path.join(work, "msiexec"), prefix_arch)
            # The script hosts' first run registers Wine's own type libraries.
            self.check_logins(machine, hosts, server, registered=False)
            registry, tree = machine.registry(), machine.files()
            for package in (first, upgrade):
                done = machine.run("msiexec", "/i", package, "/qn")
                self.assertEqual(done.returncode, 0, package + done.stderr)
                installed = machine.registry()
                self.assertEqual(machine.registration(installed), expected, package)
                products = [key for key, values in installed.items()
                            if "\\Uninstall\\" in key and values.get('"DisplayName"') == '"VOKA4ClientCom"']
                self.assertEqual(len(products), 1, package)
                self.check_logins(machine, hosts, server)
            installed_tree = machine.files()
            added = {path for path in installed_tree - tree if not path.startswith("windows")}
            self.assertEqual(added, {os.path.join(folder, "VOKA4ClientCom", *name) for size, folder, _, _ in sizes
                                     for name in [()] + [(f,) for f in os.listdir(os.path.join(files, size))]})
            # The x86 package refuses 64-bit Windows.
            x86_package = windows_path(os.path.join(PACKAGES, "VOKA4ClientCom-%s-x86.msi" % VERSION))
            for package in [first, rebuilt] + ([x86_package] if arch == "x64" else []):
                self.assertNotEqual(machine.run("msiexec", "/i", package, "/qn").returncode, 0, package)
                self.assertEqual(registry_changes(installed, machine.registry()), [], package)
                self.assertEqual(machine.files(), installed_tree, package)

            self.assertEqual(machine.run("msiexec", "/x", upgrade, "/qn").returncode, 0)
            self.assertEqual(registry_changes(registry, machine.registry()), [])
            self.assertEqual(machine.files(), tree)
            machine.close()

    def test_signatures(self):
        """Signed files verify against the CA; one changed byte breaks the signature."""
        with tempfile.TemporaryDirectory() as work:
            files = unpack_dlls(work)
            sign, ca = signer(work)
            signed = glob.glob(os.path.join(files, "*", "*"))
            sign(*signed)
            signed.append(make_msi("x64", VERSION, files, os.path.join(work, "signed.msi"), sign))
            for path in signed:
                verify = subprocess.run(["osslsigncode", "verify", "-CAfile", ca, "-in", path], capture_output=True,
                                        text=True)
                self.assertEqual(verify.returncode, 0, path + verify.stdout + verify.stderr)
                self.assertRegex(verify.stdout, r"Message digest algorithm\s*: SHA256", path)
                with open(path, "r+b") as f:
                    f.seek(os.path.getsize(path) // 3)
                    byte = f.read(1)
                    f.seek(-1, os.SEEK_CUR)
                    f.write(bytes([byte[0] ^ 0x01]))
                verify = subprocess.run(["osslsigncode", "verify", "-CAfile", ca, "-in", path], capture_output=True)
                self.assertNotEqual(verify.returncode, 0, path)

    def test_one_version_everywhere(self):
        """The project's version in every package, DLL, manifest and program."""
        found = {}
        for arch in MACHINES:
            msi = os.path.join(PACKAGES, "VOKA4ClientCom-%s-%s.msi" % (VERSION, arch))
            tables = {table: subprocess.run(["msiinfo", "export", msi, table], capture_output=True, text=True,
                                            check=True).stdout for table in ("Property", "File")}
            found[arch + " ProductVersion"] = re.search(r"^ProductVersion\t(.*)$", tables["Property"], re.M).group(1)
            for file_id, version in re.findall(r"^(VOKA4ClientCom\.DLL_\w+)\t.*?\t(\d+\.\d+\.\d+\.\d+)\t",
                                               tables["File"], re.M):
                found[arch + " " + file_id] = version
        with zipfile.ZipFile(SDK) as sdk, tempfile.TemporaryDirectory() as work:
            for name in sdk.namelist():
                if name.endswith("VOKA4ClientCom.DLL"):
                    found[name] = file_version(sdk.extract(name, work))
                elif name.endswith(".manifest"):
                    for version in re.findall(r'name="VOKA4ClientCom" version="([\d.]+)"', sdk.read(name).decode()):
                        found[name] = version
        for deb in glob.glob(os.path.join(PACKAGES, "*.deb")):
            found[deb] = subprocess.run(["dpkg-deb", "-f", deb, "Version"], capture_output=True, text=True).stdout.strip()
        for program in (os.environ["VOKA_AUTH"], os.environ["VOKA_SERVER"]):
            output = subprocess.run([program, "--version"], capture_output=True, text=True).stdout
            found[program] = re.search(r"\d+\.\d+\.\d+", output).group(0)
        four_parts = {name: version + ".0" * (3 - version.count(".")) for name, version in found.items()}
        self.assertGreaterEqual(len(found), 14, found)
        self.assertEqual(four_parts, dict.fromkeys(found, VERSION + ".0" * (3 - VERSION.count("."))))

    def test_x86_package(self):
        self.check_package("x86")

    def test_x64_package(self):
        self.check_package("x64")


if __name__ == "__main__":
    if not os.path.exists(SDK):
        print("skipped: %s not written yet (scripts/package)" % SDK)
        sys.exit(77)
    unittest.main()
