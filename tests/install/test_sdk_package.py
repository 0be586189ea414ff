"""VOKA4ClientCom-<version>-sdk.zip as a front-end developer gets it: the
files it promises, DLLs without debug information (which the symbols archive
holds), the manifests of each architecture. From the unpacked SDK, in a
fresh 32-bit Wine prefix: the C++ sample, built as the readme says, logs in
side by side with no registration; then, with the DLL registered by
regsvr32, the JScript and VBScript samples do. Each is a whole e-key login
against voka-server. Skipped (77) while scripts/package has not written the
SDK.

VOKA_PACKAGES_DIR names the folder of the packages, VOKA_WINE_RUN the
project's wine-run."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "programs"))
from voka_programs import BOB_SECRET, Server  # noqa: E402

VERSION = os.environ["VOKA_VERSION"]
PACKAGES = os.environ["VOKA_PACKAGES_DIR"]
SDK = os.path.join(PACKAGES, "VOKA4ClientCom-%s-sdk.zip" % VERSION)
TOP = "VOKA4ClientCom-%s-sdk" % VERSION  # the one folder the archive unpacks into
SYMBOLS = os.path.join(PACKAGES, "VOKA4ClientCom-%s-symbols.zip" % VERSION)
OBJDUMP = {"x86": "i686-w64-mingw32-objdump", "x64": "x86_64-w64-mingw32-objdump"}
DLLS = ["VOKA4ClientCom.DLL", "UsbClient.dll"]
DESKTOP_SOURCES = os.path.join(os.path.dirname(__file__), "..", "..", "samples", "desktop")


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
            self.assertEqual({n.split("/")[0] for n in sdk.namelist()}, {TOP})
            names = {n[len(TOP) + 1:] for n in sdk.namelist() if not n.endswith("/")}

            def read(name):
                return sdk.read(TOP + "/" + name)

            expected = {"README.txt", "com-api.md", "VOKA4ClientCom.idl", "VOKA4ClientCom.tlb",
                        "include/VOKA4ClientCom.h", "include/VOKA4ClientCom_i.c",
                        "samples/login.js", "samples/login.vbs",
                        "samples/cpp/login_client.cpp"}
            expected |= {"samples/desktop/" + name for name in os.listdir(DESKTOP_SOURCES)
                         if not name.endswith(".in")}
            for arch in OBJDUMP:
                expected |= {arch + "/" + dll for dll in DLLS} | {arch + "/VOKA4ClientCom.manifest",
                                                                 arch + "/voka-auth.exe",
                                                                 "samples/cpp/%s/login_client.exe.manifest" % arch}
                expected |= {"samples/desktop/%s/login_window.exe%s" % (arch, suffix) for suffix in ("", ".manifest")}
            self.assertEqual(names, expected)
            readme = read("README.txt").decode()
            self.assertIn("VOKA4ClientCom %s SDK" % VERSION, readme)
            self.assertNotIn("@VOKA_", readme)
            self.assertIn("Windows 7", readme)
            for source in ("include/VOKA4ClientCom.h", "include/VOKA4ClientCom_i.c"):
                # widl names its input; the build's path stays out of the SDK
                self.assertIn(" from VOKA4ClientCom.idl ", read(source).decode().splitlines()[0], source)
            architecture = {"x86": 'processorArchitecture="x86"', "x64": 'processorArchitecture="amd64"'}
            with zipfile.ZipFile(SYMBOLS) as symbols, tempfile.TemporaryDirectory() as work:
                for arch in OBJDUMP:
                    for manifest in (arch + "/VOKA4ClientCom.manifest",
                                     "samples/cpp/%s/login_client.exe.manifest" % arch,
                                     "samples/desktop/%s/login_window.exe.manifest" % arch):
                        self.assertIn(architecture[arch], read(manifest).decode(), manifest)
                    for dll in DLLS:
                        shipped = section_names(read(arch + "/" + dll), arch, work)
                        self.assertIn(".gnu_debuglink", shipped, arch + "/" + dll)
                        self.assertFalse({s for s in shipped if s.startswith(".debug")}, arch + "/" + dll)
                        kept = section_names(symbols.read(arch + "/" + dll + ".debug"), arch, work)
                        self.assertIn(".debug_info", kept, arch + "/" + dll)

    def test_samples_log_in_side_by_side_and_registered(self):
        wine_run = os.environ["VOKA_WINE_RUN"]
        with tempfile.TemporaryDirectory() as work:
            sdk = os.path.join(work, "sdk")
            with zipfile.ZipFile(SDK) as archive:
                archive.extractall(work)
            os.rename(os.path.join(work, TOP), sdk)
            # The C++ sample built as the readme says, in an application
            # folder with the x86 files and no registration.
            app = os.path.join(work, "app")
            os.mkdir(app)
            for name in ["x86/" + dll for dll in DLLS] + ["x86/VOKA4ClientCom.manifest",
                                                          "samples/cpp/x86/login_client.exe.manifest"]:
                shutil.copy(os.path.join(sdk, name), app)
            subprocess.run(["i686-w64-mingw32-g++", "-Iinclude", "samples/cpp/login_client.cpp",
                            "include/VOKA4ClientCom_i.c", "-lole32", "-loleaut32", "-luuid", "-lshell32", "-static",
                            "-o", os.path.join(app, "login_client.exe")], cwd=sdk, check=True, timeout=240)
            prefix = os.path.join(work, "wineprefix")
            env = dict(os.environ, VOKA_SOFT_TOKEN_SECRET=BOB_SECRET)
            with Server() as server:
                login = [server.udp, server.http_url, "bob", "bob-pass", "1", "1"]
                completed = subprocess.run([wine_run, prefix, os.path.join(app, "login_client.exe"), *login],
                                           capture_output=True, text=True, errors="replace", env=env, timeout=240)
                self.assertEqual(completed.returncode, 0, completed.stdout + completed.stderr)
                self.assertIn("EKeyAuthen: 0", completed.stdout)
                # The command-line client as shipped, beside the stand-in token library.
                completed = subprocess.run([wine_run, prefix, os.path.join(sdk, "x86", "voka-auth.exe"), "--udp",
                                            server.udp, "--http", server.http_url, "check"],
                                           capture_output=True, text=True, env=env, timeout=120)
                self.assertEqual((completed.returncode, completed.stdout.splitlines()[-1]),
                                 (0, "verdict: udp: a login would use UDP to " + server.udp), completed.stderr)
                dll = windows_path(os.path.join(sdk, "x86", "VOKA4ClientCom.DLL"))
                subprocess.run([wine_run, prefix, "regsvr32", "/s", dll], check=True, timeout=120)
                for sample in ("login.js", "login.vbs"):
                    script = windows_path(os.path.join(sdk, "samples", sample))
                    completed = subprocess.run([wine_run, prefix, "cscript", "//nologo", script, *login],
                                               capture_output=True, text=True, errors="replace", env=env,
                                               timeout=120)
                    self.assertEqual(completed.returncode, 0, sample + ": " + completed.stdout + completed.stderr)
                    self.assertIn("EKeyAuthen: 0", completed.stdout, sample)
            subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=prefix), check=False)


if __name__ == "__main__":
    if not os.path.exists(SDK):
        print("skipped: %s not written yet (scripts/package)" % SDK)
        sys.exit(77)
    unittest.main()
