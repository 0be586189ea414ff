"""A fresh Wine prefix as a deployer's Windows machine, for the package tests:
its registry and file tree as they stand, VOKA4ClientCom's registration in
them, and a JScript login against voka-server."""
import os
import re
import shutil
import subprocess

# What names the component in a registry key's path: the class, interface,
# type library and AppID GUIDs and the ProgIDs (and the AppID's DLL name).
COMPONENT_KEYS = ("{6ADCA7C5-BE52-4796-A00B-D69EC8310453}", "{C84C8079-71D3-4E29-8CE3-C242F0D839F9}",
                  "{F2CDCDE2-DC9E-4547-A4EF-7236D79EF45C}", "{F824EFED-0E7C-45E6-9F65-A1BA9395C62C}",
                  "\\VOKA4ClientCom.")
# Wine's own state, which changes by itself, and the empty keys that Windows
# Installer keeps for its records.
MACHINE_STATE = re.compile(r"HKEY_LOCAL_MACHINE\\(System|Hardware)\\|.*\\Software\\Wine\\", re.I)
# The login's diagnostic log (c:\TevUdpServer.log), and the folder of Windows
# Installer's package cache, which stays when the cache empties.
RUNTIME_FILES = {"TevUdpServer.log", os.path.join("windows", "Installer")}
LOGIN_SCRIPT = os.path.join(os.path.dirname(__file__), "..", "facade", "login.js")


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def parse_export(text):
    """{key: {value name: data as exported}} of a regedit export."""
    tree, key = {}, None
    for line in re.sub(r"\\\n\s*", "", text).splitlines():
        if line.startswith("[") and line.endswith("]"):
            key = line[1:-1]
            tree[key] = {}
        elif key is not None and (match := re.match(r'^(@|"(?:[^"\\]|\\.)*")=(.*)$', line)):
            tree[key][match.group(1)] = match.group(2)
    return tree


def registry_changes(before, after):
    """Keys whose values differ between two snapshots, Wine's own state left out."""
    return sorted(key for key in set(before) | set(after)
                  if before.get(key) != after.get(key) and not MACHINE_STATE.match(key)
                  and not (before.get(key, after.get(key)) == {} and "\\Installer" in key))


class Machine:
    def __init__(self, wine_run, folder, arch):
        """A prefix in folder, win32 or win64, created on first use."""
        self.wine_run, self.folder, self.prefix = wine_run, folder, os.path.join(folder, "prefix")
        os.makedirs(folder, exist_ok=True)
        with open(self.prefix + ".arch", "w") as f:
            f.write(arch + "\n")
        self.drive = os.path.join(self.prefix, "drive_c")

    def run(self, *args, env=None, timeout=240):
        return subprocess.run([self.wine_run, self.prefix, *args], capture_output=True, text=True, errors="replace",
                              env=env, timeout=timeout)

    def registry(self):
        export = os.path.join(self.folder, "export.reg")
        self.run("regedit", "/E", windows_path(export))
        with open(export, encoding="utf-16") as f:
            return parse_export(f.read())

    def registration(self, registry=None):
        """The keys below any registry view that name the component."""
        registry = self.registry() if registry is None else registry
        return {key: values for key, values in registry.items()
                if any(name.lower() in key.lower() for name in COMPONENT_KEYS)}

    def files(self):
        """Every file and folder below C:\, but RUNTIME_FILES."""
        found = set()
        for folder, _, names in os.walk(self.drive):
            found |= {os.path.relpath(os.path.join(folder, name), self.drive) for name in names + [""]}
        return found - RUNTIME_FILES

    def install_files(self, source, folder):
        """Copies source's files into C:\\<folder>\\VOKA4ClientCom, as a deployer unpacking the SDK."""
        target = os.path.join(self.drive, folder, "VOKA4ClientCom")
        shutil.copytree(source, target)
        return "C:\\%s\\VOKA4ClientCom\\VOKA4ClientCom.DLL" % folder.replace("/", "\\")

    def login(self, script_host, server, env):
        return self.run(script_host, "//nologo", windows_path(LOGIN_SCRIPT), server.udp, server.http_url, "bob",
                        "bob-pass", "1", "1", env=env)

    def close(self):
        subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=self.prefix), check=False)
