#!/usr/bin/env python3
"""Builds a Windows Installer package of VOKA4ClientCom with wixl.

make_msi.py --version 1.2.3 --arch x86|x64 --rows-program PATH --idl PATH
            --x86 DIR [--x64 DIR] [--contact TEXT] --output FILE.msi

DIR holds the files to install for one word size (VOKA4ClientCom.DLL, the
stand-in UsbClient.dll and any others), already signed when they are to be.
The x86 package installs the x86 files into INSTALLDIR (Program Files
unless the command line names another); the x64 package installs the x64
files into INSTALLDIR and the x86 ones into INSTALLDIR32 (Program Files
(x86)), and registers each DLL in its own registry view.

The USB e-key library UsbClient.dll comes from the token's maker and lies in
the system folder of each word size, where the component finds it; the
package refuses to install without it. The stand-in is installed beside the
component only with SOFTTOKEN=1, for test machines. The folders and
SOFTTOKEN that an install chose hold for its uninstall and for upgrades over
it. Each refusal is an error action whose text is also its action text, so
that the verbose log holds it whatever the UI level.

The registration is written as registry rows, never by running the DLL: the
class, ProgID and AppID rows are the ones msi_registry_rows prints from the
DLL's own registry table, and the type library and interface rows are those
RegisterTypeLib writes for the library the IDL declares.
"""
import argparse
import os
import re
import struct
import subprocess
import sys
import tempfile
from xml.sax.saxutils import quoteattr

PRODUCT = "VOKA4ClientCom"
MANUFACTURER = "VOKA4ClientCom developers"
DLL = "VOKA4ClientCom.DLL"
# One upgrade code per package kind: each replaces only its own earlier versions.
UPGRADE_CODES = {"x86": "{A9BCCD68-5907-4908-A3C3-464F0FC18676}", "x64": "{7EB961A4-6F56-4C3E-9A96-01E3A68A1361}"}
# Attributes of an Upgrade table row.
ONLY_DETECT, VERSION_MIN_INCLUSIVE = 2, 256
# The marshaler of dual interfaces, which RegisterTypeLib names as their proxy.
OLE_AUTOMATION_PROXY = "{00020424-0000-0000-C000-000000000046}"
# The library flags that widl writes into the type library (LIBFLAG_FHASDISKIMAGE).
TYPELIB_FLAGS = "8"
# Keys that each registry view of 64-bit Windows keeps apart, or that name the
# DLL's own path; the others (the ProgIDs) both views share, and the x64
# package writes them once, with the 64-bit DLL.
PER_VIEW_KEYS = ("CLSID", "AppID", "TypeLib", "Interface")
# Program Files folder and registry view of each word size's files.
LAYOUT = {"x86": ("ProgramFilesFolder", "win32", False), "x64": ("ProgramFiles64Folder", "win64", True)}
# The public property of each word size's folder, by package.
INSTALL_FOLDERS = {"x86": {"x86": "INSTALLDIR"}, "x64": {"x64": "INSTALLDIR", "x86": "INSTALLDIR32"}}
# The token maker's library, and the system folder of each word size where the component finds it.
TOKEN_LIBRARY = "UsbClient.dll"
SYSTEM_FOLDERS = {"x86": {"x86": "SystemFolder"}, "x64": {"x64": "System64Folder", "x86": "SystemFolder"}}
# The public property that installs the stand-in token library, for test machines.
SOFT_TOKEN = "SOFTTOKEN"
# The public properties an install chose, remembered under this key (values named after
# them) in the package's registry view, where uninstalls and upgrades find them again.
CHOICES_KEY = "Software\\" + PRODUCT
# RegLocator: HKEY_LOCAL_MACHINE; the value itself, from the 64-bit view when asked.
HKLM, RAW_VALUE, VIEW_64_BIT = 2, 2, 16
# Custom action types: an error that ends the install (19), a property set from formatted text (51).
ERROR_ACTION, SET_PROPERTY_ACTION = 19, 51
# Where the refusals run in InstallExecuteSequence: after FindRelatedProducts (25) and
# AppSearch, before LaunchConditions (100).
APP_SEARCH_SEQUENCE, FIRST_REFUSAL_SEQUENCE = 50, 60


def idl_facts(idl_path):
    """GUIDs and names of the class, interface and library, as the IDL declares them."""
    with open(idl_path, encoding="utf-8") as f:
        text = f.read()

    def attributes_of(declaration):
        match = re.search(r"\[([^\]]*)\]\s*" + declaration + r"\s+(\w+)", text)
        if not match:
            sys.exit("make_msi.py: %s declares no %s" % (idl_path, declaration))
        return match.group(1), match.group(2)

    def attribute(attributes, name):
        return re.search(name + r"\(\"?([^)\"]*)\"?\)", attributes).group(1)

    library, _ = attributes_of("library")
    interface, interface_name = attributes_of("interface")
    coclass, _ = attributes_of("coclass")
    return {
        "%CLSID%": "{%s}" % attribute(coclass, "uuid").upper(),
        "%LIBID%": "{%s}" % attribute(library, "uuid").upper(),
        "iid": "{%s}" % attribute(interface, "uuid").upper(),
        "interface": interface_name,
        "version": attribute(library, "version"),
        "lcid": "%x" % int(attribute(library, "lcid"), 0),
        "title": attribute(library, "helpstring"),
    }


def table_rows(rows_program):
    """(key, default, value name, value data) of every entry the DLL writes and removes, and its AppID."""
    lines = subprocess.run([rows_program], check=True, capture_output=True, text=True).stdout.splitlines()
    app_id = lines[0].split("\t")[1]
    rows = []
    for line in lines[1:]:
        rule, key, default, name, data = line.split("\t")
        if rule != "keep":  # shared parents (CLSID, AppID) are never the package's to remove
            rows.append((key, default or None, name or None, data))
    return app_id, rows


def file_version(path):
    """The file version of a PE file's version resource, or None."""
    with open(path, "rb") as f:
        data = f.read()
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        return None
    ms, ls = struct.unpack_from("<II", data, at + 8)
    return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


def registration_rows(facts, app_id, table, file_id, platform, folder, shared_keys):
    """(key, value name or None, data) of one DLL's registration; data None makes an empty key.
    folder: the directory property of the DLL's folder; shared_keys: whether to write the keys both
    registry views share."""
    substitutions = dict(facts, **{"%APPID%": app_id, "%MODULE%": "[#%s]" % file_id})
    values = []
    for key, default, name, data in table:
        if not shared_keys and key.split("\\")[0] not in PER_VIEW_KEYS:
            continue
        for placeholder, text in substitutions.items():
            key, default, data = (s.replace(placeholder, text) if s else s for s in (key, default, data))
        if default:
            values.append((key, None, default))
        if name:
            values.append((key, name, data))
        if not default and not name:
            values.append((key, None, None))
    library = "TypeLib\\%s\\%s" % (facts["%LIBID%"], facts["version"])
    interface = "Interface\\" + facts["iid"]
    values += [
        (library, None, facts["title"]),
        ("%s\\%s\\%s" % (library, facts["lcid"], platform), None, "[#%s]" % file_id),
        (library + "\\FLAGS", None, TYPELIB_FLAGS),
        # A directory property ends in a separator, which RegisterTypeLib leaves out.
        (library + "\\HELPDIR", None, "[%s]" % folder),
        (interface, None, facts["interface"]),
        (interface + "\\ProxyStubClsid", None, OLE_AUTOMATION_PROXY),
        (interface + "\\ProxyStubClsid32", None, OLE_AUTOMATION_PROXY),
        (interface + "\\TypeLib", None, facts["%LIBID%"]),
        (interface + "\\TypeLib", "Version", facts["version"]),
    ]
    return values


def identifier(*parts):
    return re.sub(r"[^A-Za-z0-9_.]", "_", "_".join(parts))


def refusals(args):
    """(action, condition, message) of each refusal to install, in the order they are checked; none
    stands in the way of an uninstall."""
    found = []
    # The 32-bit package on 64-bit Windows would leave 64-bit hosts without the class.
    if args.arch == "x86":
        found.append(("RefuseOn64BitWindows", "VersionNT64",
                      "This package is for 32-bit Windows; on 64-bit Windows install the x64 package, which "
                      "registers both word sizes."))
    # wixl's MajorUpgrade detects only newer versions; the same version built
    # again (a new product code) must be refused too, not installed beside it
    # (the Upgrade row written in build). The same package again (the same
    # product code) would run as a silent maintenance install.
    found += [("RefuseSameOrNewerVersion", "WIX_DOWNGRADE_DETECTED",
               "%s %s or a newer version is already installed; remove it first to install this one."
               % (PRODUCT, args.version)),
              ("RefuseInstalledAgain", "Installed AND NOT REINSTALL", "%s %s is already installed."
               % (PRODUCT, args.version))]
    for arch, folder in SYSTEM_FOLDERS[args.arch].items():
        found.append(("RefuseWithoutTokenLibrary" + arch.upper(),
                      "NOT %s AND NOT %s" % (token_property(arch), SOFT_TOKEN),
                      "%s needs %s, the USB e-key library of the token maker, in [%s] (%s): install it there "
                      "first. On test machines, %s=1 installs the development stand-in instead."
                      % (PRODUCT, TOKEN_LIBRARY, folder, arch, SOFT_TOKEN)))
    return [(action, "(%s) AND NOT REMOVE" % condition, message) for action, condition, message in found]


def choice_value(name, value):
    """The registry value that remembers the public property name."""
    return '<RegistryValue Root="HKLM" Key=%s Name="%s" Type="string" Value=%s/>' % (
        quoteattr(CHOICES_KEY), name, quoteattr(value))


def token_property(arch):
    return "TOKENLIBRARY" + arch.upper()


def sql_text(text):
    return "'%s'" % text.replace("'", "''")


def build(args):
    facts = idl_facts(args.idl)
    app_id, table = table_rows(args.rows_program)
    sources = {"x86": args.x86} if args.arch == "x86" else {"x64": args.x64, "x86": args.x86}
    directories, component_ids, sql = [], [], []
    for arch, source in sources.items():
        folder, platform, win64 = LAYOUT[arch]
        install_folder = INSTALL_FOLDERS[args.arch][arch]
        components = []
        for name in sorted(os.listdir(source)):
            file_id, component = identifier(name, arch), identifier("c", name, arch)
            component_ids.append(component)
            values = []
            if name == DLL:
                for n, (key, value_name, data) in enumerate(
                        registration_rows(facts, app_id, table, file_id, platform, install_folder,
                                          arch == args.arch)):
                    if data is None:  # an empty key, created at install and removed at uninstall
                        sql.append("INSERT INTO `Registry` (`Registry`, `Root`, `Key`, `Name`, `Component_`) "
                                   "VALUES ('%s', 0, '%s', '*', '%s')"
                                   % (identifier("r", arch, str(n)), key, component))
                        continue
                    # HKCR, never HKMU: Windows Installer ignores the root that wixl writes for HKMU.
                    values.append('<RegistryValue Root="HKCR" Key=%s%s Type="string" Value=%s/>' % (
                        quoteattr(key), "" if value_name is None else " Name=%s" % quoteattr(value_name),
                        quoteattr(data)))
            if name == TOKEN_LIBRARY:
                sql.append("UPDATE `Component` SET `Condition` = '%s' WHERE `Component` = '%s'"
                           % (SOFT_TOKEN, component))
                if arch == args.arch:
                    values.append(choice_value(SOFT_TOKEN, "1"))
            if name == DLL and arch == args.arch:
                values += [choice_value(folder, "[%s]" % folder) for folder in INSTALL_FOLDERS[args.arch].values()]
            version = file_version(os.path.join(source, name))
            if version:  # wixl leaves the File table's version empty
                sql.append("UPDATE `File` SET `Version` = '%s', `Language` = '1033' WHERE `File` = '%s'"
                           % (version, file_id))
            # Win64 is always explicit: wixl 0.101 does not derive it from the package.
            components.append('<Component Id="%s" Guid="*" Win64="%s"><File Id="%s" Name=%s Source=%s KeyPath="yes"/>'
                              '%s</Component>' % (component, "yes" if win64 else "no", file_id, quoteattr(name),
                                                  quoteattr(os.path.abspath(os.path.join(source, name)).lstrip("/")),
                                                  "".join(values)))
        directories.append('<Directory Id="%s"><Directory Id="%s" Name="%s">%s</Directory></Directory>'
                           % (folder, install_folder, PRODUCT, "".join(components)))
    contact = '<Property Id="ARPCONTACT" Value=%s/>' % quoteattr(args.contact) if args.contact else ""
    wxs = """<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
<Product Id="*" Name="{product}" Language="1033" Version="{version}" Manufacturer="{manufacturer}"
 UpgradeCode="{upgrade}">
<Package InstallerVersion="500" Compressed="yes" InstallScope="perMachine" Description="{product} {version} ({arch})"/>
<MajorUpgrade/>
<Property Id="ARPNOMODIFY" Value="1"/>
<Property Id="ARPCOMMENTS" Value={comments}/>
{contact}
<Media Id="1" Cabinet="files.cab" EmbedCab="yes"/>
<Directory Id="TARGETDIR" Name="SourceDir">{directories}</Directory>
<Feature Id="Complete" Level="1">{refs}</Feature>
</Product>
</Wix>
""".format(product=PRODUCT, version=args.version, manufacturer=MANUFACTURER, upgrade=UPGRADE_CODES[args.arch],
           arch=args.arch, contact=contact, directories="".join(directories),
           comments=quoteattr("The login component VOKA4ClientCom.DLL (%s), registered for script hosts and "
                              "programs, and voka-auth.exe, which checks the connection to the account servers."
                              % args.arch),
           refs="".join('<ComponentRef Id="%s"/>' % c for c in component_ids))
    sql += ["DELETE FROM `Upgrade` WHERE `ActionProperty` = 'WIX_DOWNGRADE_DETECTED'",
            "INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMin`, `Attributes`, `ActionProperty`) "
            "VALUES ('%s', '%s', %d, 'WIX_DOWNGRADE_DETECTED')"
            % (UPGRADE_CODES[args.arch], args.version, ONLY_DETECT | VERSION_MIN_INCLUSIVE),
            # Refused below, with the message in the log.
            "DELETE FROM `LaunchCondition`",
            # Public properties that the command line hands to the installation as well.
            "UPDATE `Property` SET `Value` = '%s' WHERE `Property` = 'SecureCustomProperties'"
            % ";".join(["WIX_DOWNGRADE_DETECTED", "WIX_UPGRADE_DETECTED", SOFT_TOKEN]
                       + list(INSTALL_FOLDERS[args.arch].values())),
            # Programs and Features shows where the files went.
            "INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES "
            "('SetInstallLocation', %d, 'ARPINSTALLLOCATION', '[INSTALLDIR]')" % SET_PROPERTY_ACTION,
            "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('SetInstallLocation', 1001)",
            "CREATE TABLE `DrLocator` (`Signature_` CHAR(72) NOT NULL, `Parent` CHAR(72), `Path` CHAR(255), "
            "`Depth` SHORT PRIMARY KEY `Signature_`, `Parent`, `Path`)",
            "CREATE TABLE `ActionText` (`Action` CHAR(72) NOT NULL, `Description` CHAR(0) LOCALIZABLE, "
            "`Template` CHAR(0) LOCALIZABLE PRIMARY KEY `Action`)",
            "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('AppSearch', %d)"
            % APP_SEARCH_SEQUENCE]
    for arch, folder in SYSTEM_FOLDERS[args.arch].items():
        signature = "TokenLibrary" + arch.upper()
        sql += ["INSERT INTO `Signature` (`Signature`, `FileName`) VALUES ('%s', '%s')" % (signature, TOKEN_LIBRARY),
                "INSERT INTO `DrLocator` (`Signature_`, `Path`, `Depth`) VALUES ('%s', '[%s]', 0)"
                % (signature, folder),
                "INSERT INTO `AppSearch` (`Property`, `Signature_`) VALUES ('%s', '%s')"
                % (token_property(arch), signature)]
    for choice in [SOFT_TOKEN] + list(INSTALL_FOLDERS[args.arch].values()):
        sql += ["INSERT INTO `RegLocator` (`Signature_`, `Root`, `Key`, `Name`, `Type`) VALUES ('Chosen%s', %d, "
                "'%s', '%s', %d)" % (choice, HKLM, CHOICES_KEY, choice,
                                     RAW_VALUE | (VIEW_64_BIT if LAYOUT[args.arch][2] else 0)),
                "INSERT INTO `AppSearch` (`Property`, `Signature_`) VALUES ('%s', 'Chosen%s')" % (choice, choice)]
    for n, (action, condition, message) in enumerate(refusals(args)):
        sql += ["INSERT INTO `CustomAction` (`Action`, `Type`, `Target`) VALUES ('%s', %d, %s)"
                % (action, ERROR_ACTION, sql_text(message)),
                "INSERT INTO `ActionText` (`Action`, `Description`) VALUES ('%s', %s)" % (action, sql_text(message)),
                "INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('%s', %s, %d)"
                % (action, sql_text(condition), FIRST_REFUSAL_SEQUENCE + n)]
    with tempfile.TemporaryDirectory() as work:
        source = os.path.join(work, "package.wxs")
        with open(source, "w", encoding="utf-8") as f:
            f.write(wxs)
        # wixl takes only relative sources: they are given from the root folder.
        subprocess.run(["wixl", "--arch", args.arch, "--output", os.path.abspath(args.output), source],
                       check=True, cwd="/")
    for query in sql:
        subprocess.run(["msibuild", args.output, "-q", query], check=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    for option in ("--version", "--rows-program", "--idl", "--x86", "--output"):
        parser.add_argument(option, required=True)
    parser.add_argument("--arch", required=True, choices=sorted(LAYOUT))
    parser.add_argument("--x64")
    parser.add_argument("--contact", help="who answers for the package, shown in Programs and Features")
    args = parser.parse_args()
    if args.arch == "x64" and not args.x64:
        parser.error("--arch x64 needs --x64")
    build(args)


if __name__ == "__main__":
    main()
