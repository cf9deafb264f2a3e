#!/usr/bin/env python3
"""The release zips hold what a Windows user needs, built from this commit.

    package_test.py DIST_DIR VERSION
"""
import os
import re
import struct
import subprocess
import sys
import time
import unittest
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "release"))
from check_imports import PeImage  # noqa: E402

DIST = None
VERSION = None

# arch, PE machine, manifest processor, words the README's system line must hold
BUILDS = [
    ("x64", 0x8664, "amd64", "64-bit Windows: Windows XP Professional x64 Edition"),
    ("x86", 0x014C, "x86", "Windows NT 4.0 or later"),
]


def commit_epoch():
    return int(subprocess.run(["git", "-C", ROOT, "log", "-1", "--format=%ct"],
                              capture_output=True, text=True, check=True).stdout)


def fixed_file_version(program):
    """(file version, product version) from the version resource, as 'a.b.c.d'."""
    at = program.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        return None, None
    _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<5I", program, at + 4)
    text = lambda ms, ls: f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"
    return text(file_ms, file_ls), text(product_ms, product_ls)


class ReleaseZip(unittest.TestCase):
    def test_each_zip_holds_a_stripped_program_of_its_processor_and_version(self):
        quad = VERSION + ".0.0"
        epoch = commit_epoch()
        for arch, machine, processor, system in BUILDS:
            with self.subTest(arch=arch):
                path = os.path.join(DIST, f"verolux-{VERSION}-{arch}.zip")
                with zipfile.ZipFile(path) as archive:
                    entries = archive.infolist()
                    self.assertEqual([e.filename for e in entries], ["verolux.exe", "README.txt"])
                    program = archive.read("verolux.exe")
                    readme = archive.read("README.txt").decode("ascii")
                # The zip's times and the linker's are the commit's, not the clock's.
                commit_time = list(time.gmtime(epoch)[:6])
                commit_time[5] -= commit_time[5] % 2  # zip times count in two seconds
                for entry in entries:
                    self.assertEqual(list(entry.date_time), commit_time, entry.filename)
                image = PeImage(program)
                self.assertEqual(image.timestamp, epoch)
                self.assertEqual(image.machine, machine)
                self.assertEqual((image.symbol_table, image.symbol_count), (0, 0))
                self.assertEqual([s[0] for s in image.sections if s[0].startswith(".debug")], [])
                self.assertEqual(fixed_file_version(program), (quad, quad))
                self.assertIn(f"Verolux {VERSION}".encode("utf-16-le"), program)
                manifest = re.search(rb"<assembly .*?</assembly>", program, re.S)
                self.assertIsNotNone(manifest)
                identities = re.findall(rb"<assemblyIdentity [^>]*>", manifest.group(0))
                self.assertEqual(len(identities), 2)
                self.assertIn(f'version="{quad}" processorArchitecture="{processor}"'.encode(),
                              identities[0])
                self.assertIn(b"Microsoft.Windows.Common-Controls", identities[1])
                self.assertIn(f'processorArchitecture="{processor}"'.encode(), identities[1])
                self.assertTrue(readme.startswith(f"Verolux {VERSION} ({arch})\r\n"), readme[:40])
                self.assertIn(system, readme)
                self.assertNotIn("@", readme.replace("www.verolux.example", ""))
                self.assertNotRegex(readme, r"[^\r]\n")


if __name__ == "__main__":
    DIST, VERSION = sys.argv.pop(1), sys.argv.pop(1)
    unittest.main()
