#!/usr/bin/env python3
"""Registers or unregisters VOKA4ClientCom.DLL with regsvr32 under Wine and
checks every registry key and value it owns with `reg query`.

registry_check.py register|unregister WINE_RUN PREFIX DLL_WINDOWS_PATH PLATFORM

PLATFORM is the type library's platform key: win32, or win64 for the 64-bit DLL.
"""
import re
import subprocess
import sys

CLSID = "{6ADCA7C5-BE52-4796-A00B-D69EC8310453}"
IID = "{C84C8079-71D3-4E29-8CE3-C242F0D839F9}"
LIBID = "{F2CDCDE2-DC9E-4547-A4EF-7236D79EF45C}"
APPID = "{F824EFED-0E7C-45E6-9F65-A1BA9395C62C}"
PROGID = "VOKA4ClientCom.VOKAClientAuthen.1"
VI_PROGID = "VOKA4ClientCom.VOKAClientAuthen"
CLASS_NAME = "VOKAClientAuthen Class"
DEFAULT = None  # a key's default value


def expected_trees(dll, platform):
    """Every key written by registration, each with all its values."""
    folder = dll.rsplit("\\", 1)[0]
    return {
        f"AppID\\{APPID}": {f"AppID\\{APPID}": {DEFAULT: "VOKA4ClientCom"}},
        "AppID\\VOKA4ClientCom.DLL": {"AppID\\VOKA4ClientCom.DLL": {"AppID": APPID}},
        PROGID: {
            PROGID: {DEFAULT: CLASS_NAME},
            f"{PROGID}\\CLSID": {DEFAULT: CLSID},
        },
        VI_PROGID: {
            VI_PROGID: {DEFAULT: CLASS_NAME},
            f"{VI_PROGID}\\CLSID": {DEFAULT: CLSID},
            f"{VI_PROGID}\\CurVer": {DEFAULT: PROGID},
        },
        f"CLSID\\{CLSID}": {
            f"CLSID\\{CLSID}": {DEFAULT: CLASS_NAME, "AppID": APPID},
            f"CLSID\\{CLSID}\\ProgID": {DEFAULT: PROGID},
            f"CLSID\\{CLSID}\\VersionIndependentProgID": {DEFAULT: VI_PROGID},
            f"CLSID\\{CLSID}\\Programmable": {},
            f"CLSID\\{CLSID}\\InprocServer32": {DEFAULT: dll, "ThreadingModel": "Apartment"},
            f"CLSID\\{CLSID}\\TypeLib": {DEFAULT: LIBID},
        },
        f"TypeLib\\{LIBID}": {
            f"TypeLib\\{LIBID}\\1.0": {DEFAULT: "VOKA4ClientCom 1.0 Type Library"},
            f"TypeLib\\{LIBID}\\1.0\\409": {},
            f"TypeLib\\{LIBID}\\1.0\\409\\{platform}": {DEFAULT: dll},
            f"TypeLib\\{LIBID}\\1.0\\FLAGS": {DEFAULT: "8"},
            f"TypeLib\\{LIBID}\\1.0\\HELPDIR": {DEFAULT: folder},
        },
    }


class Wine:
    def __init__(self, wine_run, prefix):
        self.command = [wine_run, prefix]

    def run(self, *args):
        done = subprocess.run(self.command + list(args), stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        return done.returncode, done.stdout.decode("gbk", "replace")

    def query_tree(self, key):
        """{subkey: {value name or DEFAULT: data}} below HKCR\\key, or None when absent."""
        code, text = self.run("reg", "query", f"HKCR\\{key}", "/s")
        if code != 0:
            return None
        tree, current = {}, None
        for line in text.splitlines():
            if line.startswith("HKEY_CLASSES_ROOT\\"):
                current = line[len("HKEY_CLASSES_ROOT\\"):]
                tree[current] = {}
            elif current is not None and (match := re.match(r"^    (.*?)    (REG_\w+)    ?(.*)$", line)):
                name = match.group(1)
                # The default value's label is localised, "(Default)" in English.
                tree[current][DEFAULT if re.fullmatch(r"\(.*\)", name) else name] = match.group(3)
        return tree

    def key_exists(self, key):
        return self.run("reg", "query", f"HKCR\\{key}")[0] == 0


class Checker:
    def __init__(self):
        self.failures = 0

    def check(self, condition, message):
        print(("ok: " if condition else "FAIL: ") + message)
        if not condition:
            self.failures += 1


def register(wine, dll, platform, checker):
    # Left-overs below the class key must vanish: it is force-removed before writing.
    for stale in (f"CLSID\\{CLSID}\\Stale", f"CLSID\\{CLSID}\\Programmable\\Stale"):
        wine.run("reg", "add", f"HKCR\\{stale}", "/f")
    code, _ = wine.run("regsvr32", "/s", dll)
    checker.check(code == 0, f"regsvr32 {dll} exits 0 (got {code})")
    expected = expected_trees(dll, platform)
    for root, tree in expected.items():
        actual = wine.query_tree(root)
        checker.check(actual == tree, f"HKCR\\{root} holds exactly its entries"
                      + ("" if actual == tree else f"\n  expected {tree}\n  actual   {actual}"))
    # The interface key comes from the type library registration.
    interface = wine.query_tree(f"Interface\\{IID}") or {}
    checker.check(interface.get(f"Interface\\{IID}") == {DEFAULT: "IVOKAClientAuthen"}
                  and interface.get(f"Interface\\{IID}\\TypeLib", {}).get(DEFAULT) == LIBID,
                  f"HKCR\\Interface\\{IID} names IVOKAClientAuthen and its type library")


def unregister(wine, dll, platform, checker):
    # The class key is force-removed: a key that another program put below it goes too.
    wine.run("reg", "add", f"HKCR\\CLSID\\{CLSID}\\Stale", "/f")
    code, _ = wine.run("regsvr32", "/u", "/s", dll)
    checker.check(code == 0, f"regsvr32 /u {dll} exits 0 (got {code})")
    for root in list(expected_trees(dll, platform)) + [f"Interface\\{IID}"]:
        checker.check(not wine.key_exists(root), f"HKCR\\{root} is gone")
    for kept in ("AppID", "CLSID"):
        checker.check(wine.key_exists(kept), f"HKCR\\{kept} itself remains")


def main():
    if len(sys.argv) != 6 or sys.argv[1] not in ("register", "unregister"):
        print(__doc__)
        return 2
    action, wine_run, prefix, dll, platform = sys.argv[1:]
    wine, checker = Wine(wine_run, prefix), Checker()
    (register if action == "register" else unregister)(wine, dll, platform, checker)
    return 1 if checker.failures else 0


if __name__ == "__main__":
    sys.exit(main())
