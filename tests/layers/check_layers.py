#!/usr/bin/env python3
"""Fails when a source file of src/ includes a header of a layer it may not use.

The folders of src/ are layers; a folder may include its own headers and those
of the layers below it, never one above it or beside it (except the arrows the
table allows by name). Run as: check_layers.py SRC_DIR
"""
import pathlib
import re
import sys

# Top to bottom. Folders on one row are peers: one may use another only through
# an arrow listed in ALLOWED_PEER_ARROWS.
LAYERS = [
    ["app"],
    ["engine"],
    ["describe", "hook", "services"],
    ["files", "inf"],
    ["network", "system"],
    ["log"],
    ["utils"],
    ["ostra"],
]

# Arrows between peers, each with its reason.
ALLOWED_PEER_ARROWS = {
    # Protecting an install's files from pending renames needs the list of
    # files that the INF section copies.
    ("files", "inf"): "the installed files of an INF section",
}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/')


def rank_of(folder):
    for rank, row in enumerate(LAYERS):
        if folder in row:
            return rank
    return None


def violations(src):
    found = []
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cpp") or not path.is_file():
            continue
        folder = path.relative_to(src).parts[0]
        own = rank_of(folder)
        if own is None:
            found.append(f"{path}: folder '{folder}' has no layer")
            continue
        for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            target = match.group(1)
            if target == folder:
                continue
            other = rank_of(target)
            if other is None:
                found.append(f"{path}:{number}: includes '{target}/', which has no layer")
            elif other < own or (other == own and (folder, target) not in ALLOWED_PEER_ARROWS):
                found.append(f"{path}:{number}: {folder} -> {target} runs against the layers")
    return found


def main():
    src = pathlib.Path(sys.argv[1])
    found = violations(src)
    for line in found:
        print(line)
    if found:
        print(f"{len(found)} include(s) against the layers")
        return 1
    print("layers: every include runs downwards")
    return 0


if __name__ == "__main__":
    sys.exit(main())
