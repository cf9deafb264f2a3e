#!/usr/bin/env python3
"""The release import check rejects programs that would not start on their minimum Windows.

    check_imports_test.py SAMPLE_DIR MINIMUM

SAMPLE_DIR holds one build's programs made of import_check_sample.c
(cmake/release_tests.cmake): one that imports only what that build's oldest Windows, MINIMUM
(5.2 for x64, 4.0 for x86), has, and deliberately bad ones.
"""
import os
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CHECK = os.path.join(ROOT, "release", "check_imports.py")
API = os.path.join(ROOT, "release", "windows_api.txt")
SAMPLES = None
MINIMUM = None


def run_check(sample, minimum, api=API):
    result = subprocess.run(
        [sys.executable, CHECK, "--api", api, "--minimum", minimum,
         os.path.join(SAMPLES, sample + ".exe")],
        capture_output=True, text=True)
    return result.returncode, result.stdout + result.stderr


class ImportCheck(unittest.TestCase):
    def test_each_sample_passes_or_fails_for_its_own_reason(self):
        cases = [
            # sample, minimum, passes, what the output must say
            ("import_sample_allowed", MINIMUM, True, f"all on Windows {MINIMUM} or older"),
            ("import_sample_allowed", "10.0", True, "all on Windows 10.0 or older"),
            ("import_sample_newer_function", MINIMUM, False,
             f"GetTickCount64: appeared in Windows 6.0, newer than {MINIMUM}"),
            ("import_sample_newer_function", "6.0", True, "all on Windows 6.0 or older"),
            ("import_sample_unlisted_function", "10.0", False,
             "GetNativeSystemInfo: not in the API list"),
            ("import_sample_private_dll", "10.0", False,
             "private_helper.dll: not a system DLL"),
            ("import_sample_newer_header", MINIMUM, False,
             f"header subsystem version 6.0 is newer than {MINIMUM}"),
        ]
        if MINIMUM != "4.0":
            # A 64-bit program claims too much for Windows NT 4.0 in its header alone.
            cases.append(("import_sample_allowed", "4.0", False,
                          f"header subsystem version {MINIMUM} is newer than 4.0"))
        for sample, minimum, passes, message in cases:
            with self.subTest(sample=sample, minimum=minimum):
                status, output = run_check(sample, minimum)
                self.assertEqual(status, 0 if passes else 1, output)
                self.assertIn(message, output)
                if passes:
                    self.assertNotIn("newer than", output)

    def test_a_fault_in_one_program_fails_the_whole_run(self):
        result = subprocess.run(
            [sys.executable, CHECK, "--api", API, "--minimum", MINIMUM,
             os.path.join(SAMPLES, "import_sample_allowed.exe"),
             os.path.join(SAMPLES, "import_sample_newer_function.exe")],
            capture_output=True, text=True)
        self.assertEqual(result.returncode, 1, result.stdout)
        self.assertIn("import_sample_allowed.exe: ", result.stdout)
        self.assertIn("GetTickCount64", result.stdout)

    def test_a_file_that_is_no_program_is_a_fault(self):
        with tempfile.TemporaryDirectory() as folder:
            for name, content in (("empty.exe", b""), ("truncated.exe", b"MZ" + bytes(62)),
                                  ("text.exe", b"not a program")):
                with self.subTest(name=name):
                    path = os.path.join(folder, name)
                    with open(path, "wb") as program:
                        program.write(content)
                    result = subprocess.run(
                        [sys.executable, CHECK, "--api", API, "--minimum", "5.2", path],
                        capture_output=True, text=True)
                    self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
                    self.assertIn("cannot read", result.stdout)


if __name__ == "__main__":
    SAMPLES = sys.argv.pop(1)
    MINIMUM = sys.argv.pop(1)
    unittest.main()
