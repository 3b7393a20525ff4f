#!/usr/bin/env python3
"""Fails when a source folder includes from a folder it may not use (one above it, or a sibling).

The build enforces the same rule through per-target include trees; this check also names the file and line, and
catches relative includes ("../") that would slip past the compiler.
"""
import pathlib
import re
import sys

# Folder -> the folders its files may include from (itself included). Arrows point down only.
LOWER = {
    "core": [],
    "http": ["core"],
    "audio": ["core"],
    "desktop": ["core"],
    "transport": ["core", "http"],
    "command": ["core", "http"],
    "update": ["core", "http"],
}
LOWER["app"] = ["core", "http", "audio", "desktop", "transport", "command", "update"]
LOWER["ui"] = LOWER["app"] + ["app"]
LOWER["net"] = ["core", "http"]
LOWER["platform/linux"] = ["core", "http", "audio", "desktop", "command", "update"]
LOWER["app/qt"] = LOWER["ui"] + ["ui", "net", "platform/linux"]

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
KNOWN = sorted(LOWER, key=len, reverse=True)


def folder_of(path: str):
    for folder in KNOWN:
        if path == folder or path.startswith(folder + "/"):
            return folder
    return None


def main() -> int:
    src = pathlib.Path(__file__).resolve().parent.parent / "src"
    problems = []
    for file in sorted(src.rglob("*")):
        if file.suffix not in (".h", ".cpp"):
            continue
        rel = file.relative_to(src).as_posix()
        own = folder_of(rel)
        if own is None:
            problems.append(f"src/{rel}: folder not in the layer table")
            continue
        allowed = set(LOWER[own] + [own])
        for number, line in enumerate(file.read_text(encoding="utf-8", errors="replace").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            target = match.group(1)
            if target.startswith(".."):
                problems.append(f"src/{rel}:{number}: relative include \"{target}\"")
                continue
            if "/" not in target:
                continue  # a file beside this one
            used = folder_of(target)
            if used is None or used not in allowed:
                problems.append(f"src/{rel}:{number}: {own} may not include \"{target}\"")
    for problem in problems:
        print(problem)
    if problems:
        print(f"layering: {len(problems)} include(s) point up or sideways")
        return 1
    print("layering: every include points down")
    return 0


if __name__ == "__main__":
    sys.exit(main())
