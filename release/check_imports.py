#!/usr/bin/env python3
"""Checks that a Windows program runs on the oldest Windows version it claims.

    check_imports.py --api windows_api.txt --minimum 4.0 PROGRAM.exe|RELEASE.zip ...

Every imported DLL must be a system DLL of the API list, every imported function must be
in the list with a version no newer than the minimum, and the PE header's subsystem and
OS versions must not be newer either (the loader refuses such a program outright).
A zip is checked through the verolux.exe it holds. Exit status 0 when every program
passes, 1 with one line per fault otherwise.
"""
import argparse
import struct
import sys
import zipfile


def parse_version(text):
    major, _, minor = text.partition(".")
    return int(major), int(minor or 0)


def version_text(version):
    return f"{version[0]}.{version[1]}"


def load_api(path):
    """{dll (lower case): {function: version}} from the API list."""
    api = {}
    with open(path, encoding="utf-8") as lines:
        for number, line in enumerate(lines, 1):
            fields = line.split("#", 1)[0].split()
            if not fields:
                continue
            if len(fields) != 3:
                raise SystemExit(f"{path}:{number}: expected DLL, function and version")
            dll, function, since = fields
            functions = api.setdefault(dll.lower(), {})
            if function in functions:
                raise SystemExit(f"{path}:{number}: {dll} {function} listed twice")
            functions[function] = parse_version(since)
    return api


class PeImage:
    """The parts of a PE image that decide where it can run."""

    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("not an MZ executable")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE header")
        (self.machine, sections, self.timestamp, self.symbol_table, self.symbol_count,
         optional_size, _) = struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        if magic not in (0x10B, 0x20B):
            raise ValueError(f"unknown optional header magic {magic:#x}")
        self.is_64bit = magic == 0x20B
        os_major, os_minor, _, _, sub_major, sub_minor = struct.unpack_from(
            "<HHHHHH", data, optional + 40)
        self.os_version = (os_major, os_minor)
        self.subsystem_version = (sub_major, sub_minor)
        directories = optional + (112 if self.is_64bit else 96)
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i)
                            for i in range(16)]
        table = optional + optional_size
        self.sections = []
        for i in range(sections):
            entry = table + 40 * i
            name = data[entry:entry + 8].rstrip(b"\0").decode("ascii", "replace")
            virtual_size, virtual_address, raw_size, raw_offset = struct.unpack_from(
                "<IIII", data, entry + 8)
            self.sections.append((name, virtual_address, max(virtual_size, raw_size),
                                  raw_offset, raw_size))

    def offset(self, rva):
        for _, address, size, raw_offset, raw_size in self.sections:
            if address <= rva < address + size and rva - address < raw_size:
                return raw_offset + rva - address
        raise ValueError(f"address {rva:#x} lies in no section")

    def string(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def _thunks(self, rva):
        """Names (or ordinal numbers) from an import lookup table."""
        size, ordinal_flag = (8, 1 << 63) if self.is_64bit else (4, 1 << 31)
        position = self.offset(rva)
        while True:
            value = int.from_bytes(self.data[position:position + size], "little")
            if value == 0:
                return
            yield value & 0xFFFF if value & ordinal_flag else self.string(value + 2)
            position += size

    def imports(self):
        """[(dll, function or ordinal number)], ordinary and delay-loaded imports alike."""
        found = []
        rva = self.directories[1][0]
        if rva:
            position = self.offset(rva)
            while True:
                lookup, _, _, name, first_thunk = struct.unpack_from("<IIIII", self.data, position)
                if name == 0:
                    break
                dll = self.string(name)
                found += [(dll, f) for f in self._thunks(lookup or first_thunk)]
                position += 20
        rva = self.directories[13][0]
        if rva:
            position = self.offset(rva)
            while True:
                _, name, _, _, _, lookup, _, _ = struct.unpack_from("<8I", self.data, position)
                if name == 0:
                    break
                dll = self.string(name)
                found += [(dll, f) for f in self._thunks(lookup)]
                position += 32
        return found


def read_program(path):
    if zipfile.is_zipfile(path):
        with zipfile.ZipFile(path) as archive:
            return archive.read("verolux.exe")
    with open(path, "rb") as program:
        return program.read()


def faults(image, api, minimum):
    found = []
    for what, version in (("subsystem version", image.subsystem_version),
                          ("OS version", image.os_version)):
        if version > minimum:
            found.append(f"header {what} {version_text(version)} is newer than "
                         f"{version_text(minimum)}: the loader refuses the program there")
    for dll, function in image.imports():
        functions = api.get(dll.lower())
        if functions is None:
            found.append(f"{dll}: not a system DLL of the API list")
        elif isinstance(function, int):
            found.append(f"{dll}: import by ordinal {function} cannot be checked")
        elif function not in functions:
            found.append(f"{dll} {function}: not in the API list")
        elif functions[function] > minimum:
            found.append(f"{dll} {function}: appeared in Windows "
                         f"{version_text(functions[function])}, newer than "
                         f"{version_text(minimum)}")
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[1])
    parser.add_argument("--api", required=True, help="the list of allowed functions")
    parser.add_argument("--minimum", required=True, type=parse_version,
                        help="oldest Windows (NT) version, such as 4.0 or 5.2")
    parser.add_argument("programs", nargs="+")
    arguments = parser.parse_args()
    api = load_api(arguments.api)
    failed = False
    for path in arguments.programs:
        try:
            image = PeImage(read_program(path))
            problems = faults(image, api, arguments.minimum)
        except (OSError, ValueError, IndexError, KeyError, struct.error) as error:
            problems = [f"cannot read: {error}"]
        for problem in problems:
            print(f"{path}: {problem}")
        if problems:
            failed = True
        else:
            count = len(image.imports())
            print(f"{path}: {count} imports, all on Windows "
                  f"{version_text(arguments.minimum)} or older")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
