#!/usr/bin/env python3
"""Packs one release zip: verolux.exe and README.txt, the same bytes on every run.

    package.py --exe verolux.exe --version 2.3 --arch x64 --epoch SECONDS --out FILE.zip

Every entry carries the time given by --epoch (the commit date) and fixed attributes, and
the entries are always written in the same order, so that building the same commit twice
gives the same zip.
"""
import argparse
import os
import sys
import time
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check_imports import PeImage  # noqa: E402

# What each build runs on, keyed by the minimum version in its PE header.
SYSTEMS = {
    (4, 0): "Windows NT 4.0 or later: Windows 2000, XP, Vista, 7, 8, 10, 11, 32-bit or\r\n"
            "64-bit. On Windows NT 4.0, Service Pack 6a and Internet Explorer 5 or later,\r\n"
            "which bring the common controls and C runtime that it uses.\r\n"
            "Windows 95, 98 and Me are not supported.",
    (5, 2): "64-bit Windows: Windows XP Professional x64 Edition, Windows Server 2003 x64\r\n"
            "or later (Vista, 7, 8, 10, 11). On 32-bit Windows take the x86 zip instead.",
}


def readme_text(template, version, arch, system):
    text = open(template, encoding="utf-8").read()
    text = text.replace("@VERSION@", version).replace("@ARCH@", arch)
    # Notepad of older Windows shows a file without carriage returns on one line.
    return text.replace("\r\n", "\n").replace("\n", "\r\n").replace("@SYSTEM@", system)


def add(archive, name, data, epoch):
    entry = zipfile.ZipInfo(name, date_time=time.gmtime(epoch)[:6])
    entry.create_system = 0  # MS-DOS: no Unix owner or permission fields
    entry.external_attr = 0x20  # FILE_ATTRIBUTE_ARCHIVE, as Windows' own zips have
    entry.compress_type = zipfile.ZIP_DEFLATED
    archive.writestr(entry, data, compresslevel=9)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--exe", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--arch", required=True, choices=["x64", "x86"])
    parser.add_argument("--epoch", required=True, type=int)
    parser.add_argument("--out", required=True)
    arguments = parser.parse_args()

    program = open(arguments.exe, "rb").read()
    image = PeImage(program)
    if image.timestamp != arguments.epoch:
        raise SystemExit(f"{arguments.exe}: linked at {image.timestamp}, not at the commit "
                         f"date {arguments.epoch}: a stale build")
    minimum = image.subsystem_version
    if minimum not in SYSTEMS:
        raise SystemExit(f"{arguments.exe}: no system text for Windows {minimum}")
    template = os.path.join(os.path.dirname(os.path.abspath(__file__)), "README.txt")
    readme = readme_text(template, arguments.version, arguments.arch, SYSTEMS[minimum])

    # The zip format cannot hold times before 1980.
    epoch = max(arguments.epoch, 315532800)
    partial = arguments.out + ".partial"
    with zipfile.ZipFile(partial, "w") as archive:
        add(archive, "verolux.exe", program, epoch)
        add(archive, "README.txt", readme.encode("ascii"), epoch)
    os.replace(partial, arguments.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
