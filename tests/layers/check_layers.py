#!/usr/bin/env python3
"""Fails when an include under src/ points up the layer order or when files
include each other (directly or round a longer loop).

Layers, top to bottom; a folder may include its own headers and those of any
folder below it, never one beside or above it.
"""
import os
import re
import sys

LAYERS = [["capture", "commands"], ["printers"], ["monitor", "driver", "tray"], ["spooler"], ["run"],
          ["util"], ["platform"]]
# Each platform's process entry starts the program, so it alone calls up into
# the commands.
ENTRY_POINTS = {"platform/sim/host_main.cpp", "platform/win32/win_main.cpp",
                "platform/sim/capture_host_main.cpp", "platform/win32/capture_win_main.cpp"}
# The simulator's control tool is a program of its own that reports what the
# product left on a machine, as the tests do, so it may know the product's names.
OUTSIDE_PROGRAMS = ("platform/sim/tool/",)

RANK = {folder: rank for rank, folders in enumerate(LAYERS) for folder in folders}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def unit(path):
    """In the system code a header and its source file are one unit, so two
    units whose sources include each other's headers form a loop too."""
    return path if path.startswith("platform/") else os.path.splitext(path)[0]


def main(src):
    problems = []
    edges = {}
    for root, _, files in os.walk(src):
        for name in files:
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.relpath(os.path.join(root, name), src)
            folder = path.split(os.sep)[0]
            if folder not in RANK:
                problems.append(f"{path}: folder '{folder}' has no place in the layer order")
                continue
            with open(os.path.join(src, path), encoding="utf-8") as f:
                includes = INCLUDE.findall(f.read())
            for target in includes:
                target_folder = target.split("/")[0]
                if target_folder not in RANK:
                    continue  # headers found beside the file (the simulator's own)
                edges.setdefault(unit(path.replace(os.sep, "/")), set()).add(unit(target))
                if path in ENTRY_POINTS or path.startswith(OUTSIDE_PROGRAMS) or target_folder == folder:
                    continue
                if RANK[target_folder] <= RANK[folder]:
                    problems.append(f"{path}: includes {target}, which is not below '{folder}'")

    # Loops of includes, entry points left out.
    state = {}

    def visit(node, trail):
        state[node] = "open"
        for nxt in sorted(edges.get(node, ())):
            if nxt == node or nxt in ENTRY_POINTS:
                continue
            if state.get(nxt) == "open":
                loop = trail[trail.index(nxt):] + [nxt]
                problems.append("include loop: " + " -> ".join(loop))
            elif nxt not in state:
                visit(nxt, trail + [nxt])
        state[node] = "done"

    for node in sorted(edges):
        if node not in state and node not in ENTRY_POINTS:
            visit(node, [node])

    for problem in problems:
        print(problem)
    print(f"{len(edges)} files checked, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "src"))
