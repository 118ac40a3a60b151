"""Checks a VelmorBlind.plugin folder assembled off a Mac: Info.plist parses as an XML property
list with the bundle's identity, PkgInfo is the 8 bytes of type and signature, the binary's place
is empty.  usage: check_bundle.py BUNDLE_DIR VERSION"""
import os
import plistlib
import re
import sys

bundle, version = sys.argv[1], sys.argv[2]
contents = os.path.join(bundle, "Contents")
failures = []
try:
    with open(os.path.join(contents, "Info.plist"), "rb") as f:
        info = plistlib.load(f, fmt=plistlib.FMT_XML)
except Exception as e:  # expat or plistlib: not a valid XML property list
    sys.exit(f"FAIL: Info.plist is not a valid XML property list: {e}")
wanted = {"CFBundlePackageType": "eFKT", "CFBundleSignature": "FXTC", "CFBundleExecutable": "VelmorBlind",
          "CFBundleShortVersionString": version, "CFBundleVersion": version,
          "CFBundleInfoDictionaryVersion": "6.0"}
for key, value in wanted.items():
    if info.get(key) != value:
        failures.append(f"Info.plist {key}: {info.get(key)!r}, expected {value!r}")
if not re.fullmatch(r"[A-Za-z0-9-]+(\.[A-Za-z0-9-]+)+", info.get("CFBundleIdentifier", "")):
    failures.append(f"CFBundleIdentifier {info.get('CFBundleIdentifier')!r} is not a reverse-DNS name")
with open(os.path.join(contents, "PkgInfo"), "rb") as f:
    pkginfo = f.read()
if pkginfo != b"eFKTFXTC":
    failures.append(f"PkgInfo is {pkginfo!r}, not the 8 bytes b'eFKTFXTC'")
if not os.path.isfile(os.path.join(contents, "Resources", "VelmorBlind.rsrc")):
    failures.append("Contents/Resources/VelmorBlind.rsrc is missing")
if not os.path.isdir(os.path.join(contents, "MacOS")) or os.listdir(os.path.join(contents, "MacOS")):
    failures.append("Contents/MacOS is missing, or holds a binary though no Mach-O linker ran")
for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
