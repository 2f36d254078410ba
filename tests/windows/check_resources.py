#!/usr/bin/env python3
"""Reads the version resource, the manifest and the icon back from a built Windows program of the project
   (Installer.exe, instrument-setup.exe or instrument-uninstall.exe, told apart by file name) and checks them.
   check_resources.py path/to/program.exe        (needs wrestool from icoutils)"""
import pathlib
import re
import struct
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

# The file version is the project's version, which CMakeLists.txt holds.
PROJECT_FILE = pathlib.Path(__file__).resolve().parents[2] / "CMakeLists.txt"
VERSION = re.search(r"project\(\w+ VERSION (\d+)\.(\d+)\.(\d+)", PROJECT_FILE.read_text()).groups()

FILE_VERSION = tuple(int(part) for part in VERSION) + (0,)


def strings(description, original_filename):
    return {
        "FileVersion": ".".join(VERSION),
        "ProductVersion": ".".join(VERSION),
        "ProductName": "Sambrel Instrument Installer",
        "FileDescription": description,
        "CompanyName": "Sambrel",
        "OriginalFilename": original_filename,
    }


# What each program carries. Every one asks for administrator rights; the ones with a window also
# get the common controls 6 and per-monitor DPI awareness. The installer's fixed product version is 0.
PROGRAMS = {
    "Installer.exe": {"product version": (0, 0, 0, 0), "window": True,
                      "strings": strings("Instrument Installer", "Installer.exe")},
    "instrument-setup.exe": {"product version": FILE_VERSION, "window": False,
                             "strings": strings("Instrument Installer without a window", "instrument-setup.exe")},
    "instrument-uninstall.exe": {"product version": FILE_VERSION, "window": True,
                                 "strings": strings("Instrument Uninstaller", "uninstall.exe")},
}
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"


def resource(exe, kind):
    return subprocess.run(["wrestool", "-x", "--raw", "-t", str(kind), exe],
                          check=True, capture_output=True).stdout


def align(offset):
    return (offset + 3) & ~3


def parse_block(data, offset):
    """One version-info node: (key, value bytes, value type, children, end offset)."""
    length, value_length, value_type = struct.unpack_from("<HHH", data, offset)
    end = offset + length
    key_end = offset + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[offset + 6:key_end].decode("utf-16-le")
    value_start = align(key_end + 2)
    value_bytes = value_length * 2 if value_type == 1 else value_length
    value = data[value_start:value_start + value_bytes]
    children = []
    child = align(value_start + value_bytes)
    while child < end:
        node = parse_block(data, child)
        children.append(node)
        child = align(node[4])
    return key, value, value_type, children, end


def version(ms, ls):
    return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


def main():
    exe = sys.argv[1]
    expected = PROGRAMS[pathlib.Path(exe).name]
    failures = []

    def check(what, actual, expected):
        status = "ok" if actual == expected else "FAIL"
        print(f"{status:4} {what}: {actual!r}" + ("" if actual == expected else f" (expected {expected!r})"))
        if actual != expected:
            failures.append(what)

    key, fixed, _, children, _ = parse_block(resource(exe, 16), 0)
    check("version resource key", key, "VS_VERSION_INFO")
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
    check("fixed info signature", hex(signature), hex(0xFEEF04BD))
    check("fixed file version", version(file_ms, file_ls), FILE_VERSION)
    check("fixed product version", version(product_ms, product_ls), expected["product version"])

    found = {}
    for child in children:
        if child[0] == "StringFileInfo":
            for table in child[3]:
                for entry in table[3]:
                    found[entry[0]] = entry[1].decode("utf-16-le").rstrip("\0")
    for name, text in expected["strings"].items():
        check(f"string {name}", found.get(name), text)

    manifest = ElementTree.fromstring(resource(exe, 24))
    level = manifest.find(f"{ASM_V3}trustInfo/{ASM_V3}security/{ASM_V3}requestedPrivileges/"
                          f"{ASM_V3}requestedExecutionLevel")
    check("manifest execution level", None if level is None else level.get("level"), "requireAdministrator")
    controls = [(a.get("name"), a.get("version")) for a in manifest.iter(f"{ASM_V1}assemblyIdentity")
                if a.get("name") == "Microsoft.Windows.Common-Controls"]
    check("manifest common controls", controls,
          [("Microsoft.Windows.Common-Controls", "6.0.0.0")] if expected["window"] else [])

    # Sharp at any display scale: per-monitor DPI awareness (v2 from Windows 10 1703, v1 before).
    settings = f"{ASM_V3}application/{ASM_V3}windowsSettings/"
    awareness = [(element.tag.split("}")[1], element.text) for element in manifest.findall(f"{settings}*")]
    check("manifest DPI awareness", awareness,
          [("dpiAware", "true/pm"), ("dpiAwareness", "PerMonitorV2")] if expected["window"] else [])

    icons = resource(exe, 14)
    check("icon group present", len(icons) >= 6 and struct.unpack_from("<HH", icons)[1] == 1, True)

    if failures:
        print(f"{len(failures)} resource check(s) failed", file=sys.stderr)
        return 1
    print("all resource checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
