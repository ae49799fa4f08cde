#!/usr/bin/env python3
"""Prints every cycle of #include "…" lines between the folders of src/ and exits 1 if
there is one. The folders are checked in their intended order, lowest first; in a cycle,
the includes that go up against that order are marked "up". The windows (ui/) are left
out: the subsystems work on the windows' controls and the windows hold some of their
widgets.

usage: tools/include_cycles.py [SRC_DIR] [--folders a,b,c]
"""
import argparse
import pathlib
import re
import sys
from collections import defaultdict

LAYERED = ["base", "state", "tags", "playback", "playlist", "info", "app"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def folder_edges(src, folders):
    """{(from, to): [(file, header), ...]} for includes that cross folders."""
    edges = defaultdict(list)
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cpp") or len(path.relative_to(src).parts) < 2:
            continue
        here = path.relative_to(src).parts[0]
        if here not in folders:
            continue
        for header in INCLUDE.findall(path.read_text(encoding="utf-8", errors="replace")):
            there = header.split("/")[0]
            if "/" in header and there in folders and there != here:
                edges[(here, there)].append((str(path.relative_to(src)), header))
    return edges


def cycles(nodes, edges):
    """Strongly connected components of more than one folder (Tarjan)."""
    out, index, low, stack, on = [], {}, {}, [], set()
    succ = defaultdict(list)
    for a, b in edges:
        succ[a].append(b)

    def visit(v):
        index[v] = low[v] = len(index)
        stack.append(v)
        on.add(v)
        for w in succ[v]:
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            comp = []
            while True:
                w = stack.pop()
                on.discard(w)
                comp.append(w)
                if w == v:
                    break
            if len(comp) > 1:
                out.append(sorted(comp))

    for v in nodes:
        if v not in index:
            visit(v)
    return out


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("src", nargs="?", default=str(pathlib.Path(__file__).resolve().parent.parent / "src"))
    ap.add_argument("--folders", default=",".join(LAYERED))
    args = ap.parse_args()
    src = pathlib.Path(args.src)
    folders = [f for f in args.folders.split(",") if (src / f).is_dir()]
    edges = folder_edges(src, folders)
    found = cycles(folders, edges)
    rank = {f: i for i, f in enumerate(folders)}
    for comp in found:
        print("cycle between " + ", ".join(comp) + ":")
        for (a, b), why in sorted(edges.items(), key=lambda e: (rank[e[0][0]] > rank[e[0][1]], e[0])):
            if a in comp and b in comp:
                mark = "up" if rank[a] < rank[b] else "  "
                for file, header in why:
                    print(f"  {mark} {a} -> {b}: {file} includes {header}")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
