#!/usr/bin/env python3
"""Checks VOKA4ClientCom.manifest by content against the identifiers the DLL
registers, and its version against the DLL's version resource. Under Wine a
side-by-side client can only create the class by CLSID; the ProgIDs, the
description and the marshaling entry are checked here.

manifest_check.py MANIFEST DLL VERSION ARCHITECTURE
"""
import os
import re
import struct
import sys
import xml.etree.ElementTree as ElementTree

from registry_check import CLASS_NAME, CLSID, IID, LIBID, PROGID, VI_PROGID, Checker

ASM = "{urn:schemas-microsoft-com:asm.v1}"
OLE_AUTOMATION_MARSHALER = "{00020424-0000-0000-C000-000000000046}"
IDISPATCH = "{00020400-0000-0000-C000-000000000046}"


def dotted_version(most, least):
    return f"{most >> 16}.{most & 0xFFFF}.{least >> 16}.{least & 0xFFFF}"


def version_resource(dll):
    """(FILEVERSION, PRODUCTVERSION, {string name: value}) of the DLL's version resource."""
    data = open(dll, "rb").read()
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        return None, None, {}
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<4I", data, at + 8)
    strings = {}
    for name in ("FileVersion", "ProductVersion"):
        key = name.encode("utf-16-le") + b"\0\0"
        match = re.search(re.escape(key) + rb"(?:\0\0)?((?:[\x20-\x7e]\0)+)\0\0", data)
        if match:
            strings[name] = match.group(1).decode("utf-16-le")
    return dotted_version(file_ms, file_ls), dotted_version(product_ms, product_ls), strings


def main():
    if len(sys.argv) != 5:
        print(__doc__)
        return 2
    manifest, dll, version, architecture = sys.argv[1:]
    checker = Checker()
    root = ElementTree.parse(manifest).getroot()

    identity = root.find(ASM + "assemblyIdentity")
    checker.check(identity is not None and identity.attrib == {
        "type": "win32", "name": "VOKA4ClientCom", "version": version, "processorArchitecture": architecture},
        f"assembly VOKA4ClientCom {version} for {architecture}: {identity.attrib if identity is not None else None}")

    file_version, product_version, strings = version_resource(dll)
    checker.check(file_version == version and product_version == version,
                  f"the DLL's FILEVERSION and PRODUCTVERSION are {version} ({file_version}, {product_version})")
    checker.check(strings == {"FileVersion": version, "ProductVersion": version},
                  f"the DLL's version strings are {version} ({strings})")

    files = root.findall(ASM + "file")
    checker.check([f.get("name") for f in files] == [os.path.basename(dll)],
                  f"one file element for {os.path.basename(dll)}")
    com_class = root.find(f"{ASM}file/{ASM}comClass")
    checker.check(com_class is not None and com_class.attrib == {
        "clsid": CLSID, "threadingModel": "Apartment", "progid": PROGID, "tlbid": LIBID, "description": CLASS_NAME},
        f"comClass {CLSID}, apartment-threaded, {PROGID}, its type library and description")
    checker.check([p.text for p in root.findall(f"{ASM}file/{ASM}comClass/{ASM}progid")] == [VI_PROGID],
                  f"comClass also answers to {VI_PROGID}")
    typelib = root.find(f"{ASM}file/{ASM}typelib")
    checker.check(typelib is not None and typelib.get("tlbid") == LIBID and typelib.get("version") == "1.0",
                  f"typelib {LIBID} version 1.0")

    proxy = root.find(ASM + "comInterfaceExternalProxyStub")
    checker.check(proxy is not None and proxy.attrib == {
        "name": "IVOKAClientAuthen", "iid": IID, "proxyStubClsid32": OLE_AUTOMATION_MARSHALER,
        "baseInterface": IDISPATCH, "numMethods": "13", "tlbid": LIBID},
        "IVOKAClientAuthen marshaled by OLE Automation from the type library")
    return 1 if checker.failures else 0


if __name__ == "__main__":
    sys.exit(main())
