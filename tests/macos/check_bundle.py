"""Checks a VelmorBlind.plugin folder assembled off a Mac: Info.plist parses as a property list
and carries the bundle's identity, PkgInfo is the 8 bytes of package type and signature, and the
layout is the one a Mac host expects, with the binary's place empty.

usage: check_bundle.py BUNDLE_DIR VERSION
"""
import os
import plistlib
import re
import sys


def main(bundle, version):
    failures = []

    def expect(what, got, wanted):
        if got != wanted:
            failures.append(f"{what}: {got!r}, expected {wanted!r}")

    contents = os.path.join(bundle, "Contents")
    with open(os.path.join(contents, "Info.plist"), "rb") as f:
        data = f.read()
    try:
        info = plistlib.loads(data, fmt=plistlib.FMT_XML)
    except Exception as e:  # expat or plistlib: either way not a valid XML property list
        print(f"FAIL: Info.plist is not a valid XML property list: {e}")
        return 1
    if not isinstance(info, dict):
        print(f"FAIL: Info.plist holds a {type(info).__name__}, not a dictionary")
        return 1

    expect("CFBundlePackageType", info.get("CFBundlePackageType"), "eFKT")
    expect("CFBundleSignature", info.get("CFBundleSignature"), "FXTC")
    expect("CFBundleShortVersionString", info.get("CFBundleShortVersionString"), version)
    expect("CFBundleVersion", info.get("CFBundleVersion"), version)
    expect("CFBundleExecutable", info.get("CFBundleExecutable"), "VelmorBlind")
    expect("CFBundleInfoDictionaryVersion", info.get("CFBundleInfoDictionaryVersion"), "6.0")
    identifier = info.get("CFBundleIdentifier", "")
    if not re.fullmatch(r"[A-Za-z0-9-]+(\.[A-Za-z0-9-]+)+", identifier):
        failures.append(f"CFBundleIdentifier {identifier!r} is not a reverse-DNS name")

    with open(os.path.join(contents, "PkgInfo"), "rb") as f:
        pkginfo = f.read()
    expect("PkgInfo", pkginfo, b"eFKTFXTC")
    expect("PkgInfo against Info.plist", pkginfo,
           (info.get("CFBundlePackageType", "") + info.get("CFBundleSignature", "")).encode())

    rsrc = os.path.join(contents, "Resources", "VelmorBlind.rsrc")
    if not os.path.isfile(rsrc):
        failures.append("Contents/Resources/VelmorBlind.rsrc is missing")
    macos = os.path.join(contents, "MacOS")
    if not os.path.isdir(macos):
        failures.append("Contents/MacOS is missing")
    elif os.listdir(macos):
        failures.append(f"Contents/MacOS holds {os.listdir(macos)} though no Mach-O linker ran")

    for f in failures:
        print("FAIL:", f)
    if not failures:
        print(f"{bundle}: Info.plist, PkgInfo and layout as expected")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        print(__doc__)
        sys.exit(2)
    sys.exit(main(sys.argv[1], sys.argv[2]))
