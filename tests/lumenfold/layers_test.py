#!/usr/bin/env python3
"""Every include in lumenfold/ runs down its layers (lumenfold/layers.txt).

The build already refuses a header of a higher layer, since no such folder is
on a layer's include path; this also catches what the build cannot: an include
written relative to the file ("../output/page.h"), a folder missing from the
table, and a layer that reaches sideways into another of its own rank.
"""
import os
import re
import sys
import unittest

SOURCE = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "lumenfold"))
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)


def read_layers(path):
    ranks = {}
    with open(path) as table:
        for line in table:
            fields = line.split("#", 1)[0].split()
            if fields:
                ranks[fields[0]] = int(fields[1])
    return ranks


def violations(root, ranks):
    found = []
    for folder in sorted(os.listdir(root)):
        path = os.path.join(root, folder)
        if not os.path.isdir(path):
            continue
        if folder not in ranks:
            found.append(f"{folder}/: a folder that lumenfold/layers.txt does not place")
            continue
        for directory, _, files in os.walk(path):
            for name in files:
                if not name.endswith((".h", ".cpp")):
                    continue
                file = os.path.join(directory, name)
                with open(file, errors="replace") as text:
                    includes = INCLUDE.findall(text.read())
                shown = os.path.relpath(file, root)
                for include in includes:
                    if include.startswith(".") or "/.." in include:
                        found.append(f"{shown}: includes {include} by a relative path")
                        continue
                    target = include.split("/", 1)[0] if "/" in include else None
                    if target is None or target not in ranks or target == folder:
                        continue
                    if ranks[target] >= ranks[folder]:
                        found.append(f"{shown}: includes {include}, of layer {target} "
                                     f"(rank {ranks[target]}), from layer {folder} (rank {ranks[folder]})")
    return found


class Layers(unittest.TestCase):
    def test_includes_run_down(self):
        ranks = read_layers(os.path.join(SOURCE, "layers.txt"))
        self.assertEqual(violations(SOURCE, ranks), [])

    def test_catches_upward_sideways_and_relative_includes(self):
        import tempfile
        with tempfile.TemporaryDirectory() as root:
            for folder, text in {"model": '#include "output/page.h"\n#include "common/x.h"\n',
                                 "run": '#include "store/db.h"\n',
                                 "output": '#include "../model/x.h"\n',
                                 "stray": ""}.items():
                os.makedirs(os.path.join(root, folder))
                with open(os.path.join(root, folder, "a.cpp"), "w") as f:
                    f.write(text)
            found = violations(root, {"common": 0, "model": 2, "run": 4, "store": 4, "output": 5})
        self.assertEqual(len(found), 4, found)
        self.assertTrue(any("model/a.cpp: includes output/page.h" in f for f in found))
        self.assertTrue(any("run/a.cpp: includes store/db.h" in f for f in found))
        self.assertTrue(any("relative path" in f for f in found))
        self.assertTrue(any(f.startswith("stray/") for f in found))


if __name__ == "__main__":
    sys.exit(unittest.main())
