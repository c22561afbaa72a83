#!/usr/bin/env python3
"""The test command's first stage: layout and static checks over the tree.

    python3 scripts/lint.py BUILD_DIR [--jobs N] [--no-cache]

1. clang-format --dry-run --Werror over every C and C++ file git tracks
   (every such file under the tree when it is no git checkout).
2. clang-tidy, with the root's .clang-tidy, over every translation unit of
   BUILD_DIR/compile_commands.json that lies in the tree. A finding fails the
   stage unless scripts/lint-exceptions.txt lists it; an entry that no longer
   matches any finding fails it too, so the list only shrinks.

clang-tidy costs seconds per file, so each file's findings are kept under
$XDG_CACHE_HOME/hxm-clang-tidy (~/.cache unless set), the way ccache's direct
mode keeps objects: keyed by the tools' versions, the configuration, the
compile flags and the source, with the hash of every header the file read
checked before a kept result is used. Paths inside the tree are kept relative
to it, so another clone of the same sources reuses the results.

Exits 0 when everything passes, 1 on any finding, 2 on a usage or tool error.
"""

import argparse
import concurrent.futures
import hashlib
import json
import os
import re
import shlex
import subprocess
import sys
from pathlib import Path

TOP = Path(__file__).resolve().parent.parent
EXCEPTIONS = TOP / "scripts" / "lint-exceptions.txt"
SOURCE_SUFFIXES = (".c", ".cc", ".cpp", ".cxx", ".h", ".hh", ".hpp")
# Trees that are not sources even when they lie below the top.
SKIPPED_DIRS = ("build", "node_modules", "demo-root", ".git")
CACHE_FORMAT = "1"
# Results kept per source for other header states (other branches, say).
ENTRIES_PER_SOURCE = 8

FINDING = re.compile(r"^(?P<file>[^\s:][^:]*):(?P<line>\d+):(?P<col>\d+): "
                     r"(?P<level>warning|error): (?P<message>.*) \[(?P<check>[^\],]+)[^\]]*\]$")
COMPLEXITY = re.compile(r"^function '(?P<function>[^']+)' has cognitive complexity of (?P<value>\d+)")
ANSI = re.compile(r"\x1b\[[0-9;]*m")


def log(text):
    print(f"==> {text}", file=sys.stderr, flush=True)


def relative(path):
    """The path as the results keep it: relative inside the tree, else as it is."""
    path = os.path.normpath(path)
    top = str(TOP) + os.sep
    return path[len(top):] if path.startswith(top) else path


def tracked_sources():
    try:
        out = subprocess.run(["git", "-C", str(TOP), "ls-files", "-z"], check=True,
                             capture_output=True).stdout.decode()
        names = [name for name in out.split("\0") if name]
    except (OSError, subprocess.CalledProcessError):
        names = []
        for root, dirs, files in os.walk(TOP):
            dirs[:] = [d for d in dirs if d not in SKIPPED_DIRS and not d.startswith("build")]
            names += [relative(os.path.join(root, f)) for f in files]
    return sorted(n for n in names if n.endswith(SOURCE_SUFFIXES) and (TOP / n).is_file())


def in_batches(items, count):
    size = max(1, (len(items) + count - 1) // count)
    return [items[i:i + size] for i in range(0, len(items), size)]


def check_format(jobs):
    """clang-format over every source; returns its complaints (empty when clean)."""
    files = tracked_sources()
    with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
        runs = pool.map(lambda batch: subprocess.run(
            ["clang-format", "--dry-run", "--Werror", *batch], cwd=TOP, capture_output=True,
            text=True), in_batches(files, jobs * 4))
        output = "".join(run.stderr for run in runs)
    log(f"clang-format: {len(files)} files")
    return output


# --- clang-tidy with kept results --------------------------------------------


def digest(*parts):
    h = hashlib.sha256()
    for part in parts:
        h.update(part if isinstance(part, bytes) else str(part).encode())
        h.update(b"\0")
    return h.hexdigest()


class FileHashes:
    """sha256 of files, each read once per run (headers are shared)."""

    def __init__(self):
        self.known = {}

    def __call__(self, path):
        if path not in self.known:
            try:
                self.known[path] = hashlib.sha256(Path(path).read_bytes()).hexdigest()
            except OSError:
                self.known[path] = "missing"
        return self.known[path]


def tool_version(tool):
    return subprocess.run([tool, "--version"], capture_output=True, text=True).stdout


def tidy_configs(name):
    """The .clang-tidy files that apply to a source: its folder's and each
    one's above it, up to the top."""
    found = []
    folder = (TOP / name).parent
    while True:
        config = folder / ".clang-tidy"
        if config.is_file():
            found += [relative(str(config)), config.read_bytes()]
        if folder == TOP or folder == folder.parent:
            return found
        folder = folder.parent


def translation_units(build):
    """(source, arguments, directory) of each in-tree unit, one per source."""
    database = json.loads((build / "compile_commands.json").read_text())
    units = {}
    for entry in database:
        source = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
        name = relative(source)
        if os.path.isabs(name) or name.split(os.sep)[0] in SKIPPED_DIRS or name.startswith("build"):
            continue
        arguments = entry.get("arguments") or shlex.split(entry["command"])
        units.setdefault(name, (arguments, entry["directory"]))
    return units


def portable(text, build):
    """Flags and dependency paths without this clone's and this tree's place."""
    return text.replace(str(build), "<build>").replace(str(TOP), "<top>")


def dependencies(arguments, directory, build):
    """The files the unit reads (its source and every header), via -M."""
    command = [a for a in arguments]
    if "-o" in command:
        at = command.index("-o")
        del command[at:at + 2]
    command = [a for a in command if a != "-c"] + ["-M", "-MF", "-", "-MT", "x"]
    run = subprocess.run(command, cwd=directory, capture_output=True, text=True)
    if run.returncode:
        return None
    names = run.stdout.replace("\\\n", " ").split(":", 1)[1].split()
    return sorted({os.path.normpath(os.path.join(directory, n)) for n in names})


def run_tidy(name, arguments, directory, build, key, hashes, cache):
    """Findings of one unit: kept ones when every file it read is unchanged."""
    manifest = cache / key[:2] / f"{key}.json" if cache else None
    kept = []
    if manifest and manifest.exists():
        try:
            kept = json.loads(manifest.read_text())
        except ValueError:
            kept = []
        for entry in kept:
            if all(hashes(str(TOP / p) if not os.path.isabs(p) else p) == h
                   for p, h in entry["reads"].items()):
                return entry["findings"], True
    reads = dependencies(arguments, directory, build)
    run = subprocess.run(["clang-tidy", "-p", str(build), "--quiet", str(TOP / name)],
                         cwd=TOP, capture_output=True, text=True)
    findings = []
    for line in ANSI.sub("", run.stdout).splitlines():
        match = FINDING.match(line)
        if match:
            found = match.groupdict()
            found["file"] = relative(os.path.join(TOP, found["file"]))
            findings.append(found)
    # A unit that does not compile says so as clang-diagnostic-error; a crash
    # says nothing: neither is kept.
    failed = run.returncode != 0 and not findings
    if failed or any(f["check"].startswith("clang-diagnostic") for f in findings):
        findings.append({"file": name, "line": "0", "col": "0", "level": "error",
                         "message": "clang-tidy failed: " + (run.stderr.strip()[-2000:]
                                                             or "no output"),
                         "check": "clang-diagnostic-error"})
        return findings, False
    if manifest and reads is not None:
        entry = {"reads": {relative(p): hashes(p) for p in reads}, "findings": findings}
        kept = [entry] + kept[:ENTRIES_PER_SOURCE - 1]
        manifest.parent.mkdir(parents=True, exist_ok=True)
        temporary = manifest.with_suffix(f".{os.getpid()}.tmp")
        temporary.write_text(json.dumps(kept))
        os.replace(temporary, manifest)
    return findings, False


def read_exceptions():
    """Entries of the exceptions file: (line number, path, check, what)."""
    entries = []
    for number, line in enumerate(EXCEPTIONS.read_text().splitlines(), 1):
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        fields = line.split(None, 2)
        if len(fields) != 3:
            raise SystemExit(f"{relative(str(EXCEPTIONS))}:{number}: want PATH CHECK WHAT")
        entries.append((number, *fields))
    return entries


def excused(finding, entry):
    """Whether an entry covers a finding. A function over the complexity bound
    is named with the ceiling it may not pass ("NAME 53"); any other finding
    by its message."""
    _, path, check, what = entry
    if finding["file"] != path or finding["check"] != check:
        return False
    if check == "readability-function-cognitive-complexity":
        match = COMPLEXITY.match(finding["message"])
        name, _, ceiling = what.rpartition(" ")
        return bool(match) and match["function"] == name and int(match["value"]) <= int(ceiling)
    return finding["message"] == what


def check_tidy(build, jobs, use_cache):
    units = translation_units(build)
    if not units:
        raise SystemExit(f"no in-tree units in {build}/compile_commands.json")
    cache = None
    if use_cache:
        cache = Path(os.environ.get("XDG_CACHE_HOME") or Path.home() / ".cache") / "hxm-clang-tidy"
    tools = digest(CACHE_FORMAT, tool_version("clang-tidy"), tool_version("clang"))
    hashes = FileHashes()
    with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
        futures = {}
        for name, (arguments, directory) in sorted(units.items()):
            key = digest(tools, *tidy_configs(name), name, portable(" ".join(arguments), build),
                         portable(directory, build), hashes(str(TOP / name)))
            futures[name] = pool.submit(run_tidy, name, arguments, directory, build, key, hashes,
                                        cache)
        results = {name: future.result() for name, future in futures.items()}
    reused = sum(1 for _, hit in results.values() if hit)
    log(f"clang-tidy: {len(units)} files, {reused} results reused from the cache")

    findings = {}
    for found, _ in results.values():
        for f in found:  # a header's finding comes once per unit that includes it
            if os.path.isabs(f["file"]):
                continue  # another project's header: not ours to fix
            findings.setdefault((f["file"], f["line"], f["col"], f["check"], f["message"]), f)
    entries = read_exceptions()
    used = set()
    failures = []
    for f in sorted(findings.values(), key=lambda f: (f["file"], int(f["line"]))):
        covering = [e for e in entries if excused(f, e)]
        if covering:
            used.update(e[0] for e in covering)
        else:
            failures.append(f"{f['file']}:{f['line']}:{f['col']}: {f['message']} [{f['check']}]")
    for number, path, check, what in entries:
        if number not in used:
            failures.append(f"{relative(str(EXCEPTIONS))}:{number}: no longer needed, remove it "
                            f"(or lower the ceiling): {path} {check} {what}")
    return failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("build", type=Path, help="configured tree with compile_commands.json")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--no-cache", action="store_true", help="run clang-tidy on every file")
    args = parser.parse_args()
    build = args.build.resolve()
    if not (build / "compile_commands.json").is_file():
        print(f"lint.py: {build}/compile_commands.json is missing", file=sys.stderr)
        return 2

    failed = False
    complaints = check_format(args.jobs)
    if complaints:
        print(complaints, end="")
        print("clang-format: the files above differ from .clang-format's layout "
              "(clang-format -i FILE)")
        failed = True
    failures = check_tidy(build, args.jobs, not args.no_cache)
    for failure in failures:
        print(failure)
    if failures:
        print(f"clang-tidy: {len(failures)} findings; fix them, or list one in "
              f"{relative(str(EXCEPTIONS))} only when no quick, safe fix exists")
        failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
