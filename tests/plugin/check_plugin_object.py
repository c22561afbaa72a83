#!/usr/bin/env python3
"""Checks the built plug-in object's binary interface with readelf and nm.

  exports     the object defines exactly the dynamic symbols of the export list
              (of a name listed in both ABIs' va_list spellings, the one of
              its own ABI)
  init-array  DT_INIT/DT_FINI are the plug-in's _init/_fini, and .init_array
              holds no initialiser of the plug-in's own: only the C runtime's
              frame_dummy (from crtbeginS.o) and, with --sanitized, the
              sanitizers' module constructors (GCC names them _sub_I_00099_N:
              priority 99, emitted for the instrumentation, not for our code).
              A C++ dynamic initialiser (_GLOBAL__sub_I_...) or a constructor
              function fails the check.
"""
import argparse
import re
import subprocess
import sys


def run(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def defined_dynamic_symbols(path):
    names = set()
    for line in run("readelf", "-W", "--dyn-syms", path).splitlines():
        fields = line.split()
        # Num: Value Size Type Bind Vis Ndx Name
        if len(fields) < 8 or not fields[0].rstrip(":").isdigit():
            continue
        bind, index, name = fields[4], fields[6], fields[7]
        if index == "UND" or bind not in ("GLOBAL", "WEAK", "UNIQUE"):
            continue
        names.add(name.split("@")[0])
    return names


def check_exports(path, list_path):
    with open(list_path) as listing:
        wanted = {line.strip() for line in listing if line.strip() and not line.startswith("#")}
    have = defined_dynamic_symbols(path)
    problems = [f"exported but not listed: {name}" for name in sorted(have - wanted)]
    for name in sorted(wanted - have):
        # A function taking a va_list is listed in both ABIs' spellings
        # (x86-64 "P13__va_list_tag", i386 "Pc"); the object defines one.
        twin = va_list_twin(name)
        if twin in wanted and twin in have:
            continue
        problems.append(f"listed but not defined: {name}")
    return problems


def va_list_twin(name):
    if "P13__va_list_tag" in name:
        return name.replace("P13__va_list_tag", "Pc")
    return name[:-2] + "P13__va_list_tag" if name.endswith("Pc") else None


def symbols_by_address(path):
    table = {}
    for line in run("nm", path).splitlines():
        fields = line.split()
        if len(fields) == 3:
            table.setdefault(int(fields[0], 16), []).append(fields[2])
    return table


def dynamic_entry(path, tag):
    for line in run("readelf", "-W", "-d", path).splitlines():
        match = re.search(r"\((%s)\)\s+(0x[0-9a-f]+)" % tag, line)
        if match:
            return int(match.group(2), 16)
    return None


def init_array_entries(path):
    """The addresses .init_array holds (the link writes them into the section
    on both REL and RELA targets)."""
    is64 = "ELF64" in run("readelf", "-h", path)
    width = 8 if is64 else 4
    data = bytearray()
    for line in run("readelf", "-x", ".init_array", path).splitlines():
        match = re.match(r"\s+0x[0-9a-f]+ ((?:[0-9a-f]{2,8} ){1,4})", line + " ")
        if match:
            data += bytes.fromhex("".join(match.group(1).split()))
    return [int.from_bytes(data[i:i + width], "little") for i in range(0, len(data), width)]


def check_init(path, sanitized):
    problems = []
    symbols = symbols_by_address(path)
    for tag, name in (("INIT", "_init"), ("FINI", "_fini")):
        address = dynamic_entry(path, tag)
        if address is None or name not in symbols.get(address, []):
            problems.append(f"DT_{tag} is not the plug-in's {name}")
    for address in init_array_entries(path):
        names = symbols.get(address, [])
        if "frame_dummy" in names:
            continue
        if sanitized and any(re.fullmatch(r"_sub_I_00099_\d+", n) for n in names):
            continue
        problems.append(f".init_array entry {address:#x} ({', '.join(names) or 'unnamed'}) "
                        "runs after _init: a global needs a constructor")
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("check", choices=["exports", "init-array"])
    parser.add_argument("object")
    parser.add_argument("--list", help="the export list (exports)")
    parser.add_argument("--sanitized", action="store_true",
                        help="accept the sanitizers' module constructors (init-array)")
    arguments = parser.parse_args()
    if arguments.check == "exports":
        problems = check_exports(arguments.object, arguments.list)
    else:
        problems = check_init(arguments.object, arguments.sanitized)
    for problem in problems:
        print(problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
