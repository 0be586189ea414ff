"""A fresh Wine prefix as a deployer's Windows machine, for the package tests:
its registry and file tree, VOKA4ClientCom's registration in both registry
views, and a JScript login."""
import os
import re
import shutil
import subprocess

# What names the component in a key's path: the class, interface, type
# library and AppID GUIDs, the ProgIDs and the AppID's DLL name.
COMPONENT_KEYS = re.compile(r"\{(6ADCA7C5-BE52-4796-A00B-D69EC8310453|C84C8079-71D3-4E29-8CE3-C242F0D839F9|"
                            r"F2CDCDE2-DC9E-4547-A4EF-7236D79EF45C|F824EFED-0E7C-45E6-9F65-A1BA9395C62C)\}|"
                            r"\\VOKA4ClientCom\.", re.I)
# Wine's own state, which changes by itself.
MACHINE_STATE = re.compile(r"HKEY_LOCAL_MACHINE\\(System|Hardware)\\|.*\\Software\\Wine\\", re.I)
# The login's diagnostic log (c:\TevUdpServer.log), and Windows Installer's
# package cache folder, which stays when the cache empties.
RUNTIME_FILES = {"TevUdpServer.log", os.path.join("windows", "Installer")}
LOGIN_SCRIPT = os.path.join(os.path.dirname(__file__), "..", "facade", "login.js")


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def registry_changes(before, after):
    """Keys that differ between two snapshots, but Wine's own state and the
    empty keys that Windows Installer keeps for its records."""
    return sorted(key for key in set(before) | set(after)
                  if before.get(key) != after.get(key) and not MACHINE_STATE.match(key)
                  and not (before.get(key, after.get(key)) == {} and "\\Installer" in key))


class Machine:
    def __init__(self, wine_run, folder, arch):
        """A prefix (win32 or win64) in folder, made on first use."""
        self.wine_run, self.folder, self.prefix = wine_run, folder, os.path.join(folder, "prefix")
        os.makedirs(folder, exist_ok=True)
        with open(self.prefix + ".arch", "w") as f:
            f.write(arch + "\n")
        self.drive = os.path.join(self.prefix, "drive_c")

    def run(self, *args, env=None):
        done = subprocess.run([self.wine_run, self.prefix, *args], capture_output=True, text=True, errors="replace",
                              env=env, timeout=240)
        if args[0] == "msiexec":  # Windows Installer's helper processes end before the next install looks
            subprocess.run(["wineserver", "-w"], env=dict(os.environ, WINEPREFIX=self.prefix), check=False,
                           timeout=240)
        return done

    def registry(self):
        """{key: {value name: data as regedit exports them}} of the whole registry."""
        export = os.path.join(self.folder, "export.reg")
        self.run("regedit", "/E", windows_path(export))
        tree, key = {}, None
        with open(export, encoding="utf-16") as f:
            for line in re.sub(r"\\\n\s*", "", f.read()).splitlines():
                if line.startswith("[") and line.endswith("]"):
                    key = tree.setdefault(line[1:-1], {})
                elif key is not None and (match := re.match(r'^(@|"(?:[^"\\]|\\.)*")=(.*)$', line)):
                    key[match.group(1)] = match.group(2)
        return tree

    def registration(self, registry=None):
        return {key: values for key, values in (registry or self.registry()).items() if COMPONENT_KEYS.search(key)}

    def files(self):
        """Every file and folder below C:\\, but RUNTIME_FILES."""
        return {os.path.relpath(os.path.join(folder, name), self.drive)
                for folder, _, names in os.walk(self.drive) for name in names + [""]} - RUNTIME_FILES

    def install_files(self, source, folder):
        """source's files copied to C:\\<folder>\\VOKA4ClientCom; the DLL's Windows path."""
        shutil.copytree(source, os.path.join(self.drive, folder, "VOKA4ClientCom"))
        return "C:\\%s\\VOKA4ClientCom\\VOKA4ClientCom.DLL" % folder

    def login(self, script_host, server, env, user="bob", password="bob-pass"):
        return self.run(script_host, "//nologo", windows_path(LOGIN_SCRIPT), server.udp, server.http_url, user,
                        password, "1", "1", env=env)

    def close(self):
        subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=self.prefix), check=False)
