"""VOKA4ClientCom-<version>-sdk.zip as a front-end developer gets it: the
files it promises, DLLs without debug information (which the symbols archive
holds), a manifest per architecture; and the 32-bit DLL from the unpacked SDK
registered with regsvr32 in a fresh Wine prefix, driven by the JScript and
VBScript samples to a whole e-key login against voka-server. Skipped (77)
while tools/package has not written the SDK.

VOKA_PACKAGES_DIR names the folder of the packages, VOKA_WINE_RUN the
project's wine-run."""
import os
import re
import subprocess
import sys
import tempfile
import unittest
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tools"))
from voka_tools import BOB_SECRET, Server  # noqa: E402

VERSION = os.environ["VOKA_VERSION"]
PACKAGES = os.environ["VOKA_PACKAGES_DIR"]
SDK = os.path.join(PACKAGES, "VOKA4ClientCom-%s-sdk.zip" % VERSION)
SYMBOLS = os.path.join(PACKAGES, "VOKA4ClientCom-%s-symbols.zip" % VERSION)
OBJDUMP = {"x86": "i686-w64-mingw32-objdump", "x64": "x86_64-w64-mingw32-objdump"}
DLLS = ["VOKA4ClientCom.DLL", "UsbClient.dll"]


def section_names(data, arch, work):
    path = os.path.join(work, "image")
    with open(path, "wb") as f:
        f.write(data)
    headers = subprocess.run([OBJDUMP[arch], "-h", path], capture_output=True, text=True, check=True).stdout
    return set(re.findall(r"^\s*\d+\s+(\S+)", headers, re.M))


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


class SdkPackage(unittest.TestCase):
    def test_contents(self):
        with zipfile.ZipFile(SDK) as sdk:
            names = set(sdk.namelist()) - {n for n in sdk.namelist() if n.endswith("/")}
            expected = {"README.txt", "VOKA4ClientCom.idl", "VOKA4ClientCom.tlb",
                        "include/VOKA4ClientCom.h", "include/VOKA4ClientCom_i.c",
                        "samples/login.js", "samples/login.vbs",
                        "samples/cpp/login_client.cpp", "samples/cpp/login_client.exe.manifest"}
            for arch in OBJDUMP:
                expected |= {arch + "/" + dll for dll in DLLS} | {arch + "/VOKA4ClientCom.manifest"}
            self.assertEqual(names, expected)
            readme = sdk.read("README.txt").decode()
            self.assertIn("VOKA4ClientCom %s SDK" % VERSION, readme)
            self.assertNotIn("@VOKA_", readme)
            self.assertIn("Windows 7", readme)
            self.assertNotIn("/work/", sdk.read("include/VOKA4ClientCom.h").decode())
            architecture = {"x86": 'processorArchitecture="x86"', "x64": 'processorArchitecture="amd64"'}
            with zipfile.ZipFile(SYMBOLS) as symbols, tempfile.TemporaryDirectory() as work:
                for arch in OBJDUMP:
                    self.assertIn(architecture[arch], sdk.read(arch + "/VOKA4ClientCom.manifest").decode())
                    for dll in DLLS:
                        shipped = section_names(sdk.read(arch + "/" + dll), arch, work)
                        self.assertIn(".gnu_debuglink", shipped, arch + "/" + dll)
                        self.assertFalse({s for s in shipped if s.startswith(".debug")}, arch + "/" + dll)
                        kept = section_names(symbols.read(arch + "/" + dll + ".debug"), arch, work)
                        self.assertIn(".debug_info", kept, arch + "/" + dll)

    def test_samples_log_in_through_the_registered_dll(self):
        wine_run = os.environ["VOKA_WINE_RUN"]
        with tempfile.TemporaryDirectory() as work:
            with zipfile.ZipFile(SDK) as sdk:
                sdk.extractall(os.path.join(work, "sdk"))
            prefix = os.path.join(work, "wineprefix")
            dll = windows_path(os.path.join(work, "sdk", "x86", "VOKA4ClientCom.DLL"))
            subprocess.run([wine_run, prefix, "regsvr32", "/s", dll], check=True, timeout=240)
            env = dict(os.environ, VOKA_SOFT_TOKEN_SECRET=BOB_SECRET)
            with Server() as server:
                for sample in ("login.js", "login.vbs"):
                    script = windows_path(os.path.join(work, "sdk", "samples", sample))
                    completed = subprocess.run(
                        [wine_run, prefix, "cscript", "//nologo", script, server.udp, server.http_url,
                         "bob", "bob-pass", "1", "1"], capture_output=True, text=True, errors="replace", env=env,
                        timeout=120)
                    self.assertEqual(completed.returncode, 0, sample + ": " + completed.stdout + completed.stderr)
                    self.assertIn("EKeyAuthen: 0", completed.stdout, sample)
            subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=prefix), check=False)


if __name__ == "__main__":
    if not os.path.exists(SDK):
        print("skipped: %s not written yet (tools/package)" % SDK)
        sys.exit(77)
    unittest.main()
