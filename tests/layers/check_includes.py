#!/usr/bin/env python3
"""Fails when a source file includes a header of a layer above its own (docs/architecture.md).

A file may include headers of lower layers and of its own layer; the most specific folder or file
prefix below decides a file's layer. Run from the project's root.

The runs are classes nested in InstallerModel, so the model's header and the runs form one layer.
"""
import pathlib
import re
import sys

LAYERS = [  # (path prefix, layer, rank): a file includes only lower ranks and its own layer
    ("log/", "log", 0),
    ("fs/", "fs", 0),
    ("monolith/", "monolith", 1),
    ("model/", "model", 1),
    ("resources/", "resources", 1),
    ("install/", "install rules", 2),
    ("install/transaction/", "transaction", 3),
    ("install/payload/", "payload", 3),
    ("install/installed/", "installed", 3),
    ("install/runs/", "runs", 4),
    ("install/InstallerModel.", "runs", 4),
    ("ui/", "ui", 5),
    ("setup/", "setup", 5),
    ("app/", "app", 6),
]
FOLDERS = sorted({prefix.split("/")[0] for prefix, _, _ in LAYERS})

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.MULTILINE)


def layer_of(path):
    matches = [entry for entry in LAYERS if path.startswith(entry[0])]
    return max(matches, key=lambda entry: len(entry[0]))[1:] if matches else None


def main():
    problems = []

    sources = sorted(s for folder in FOLDERS for s in pathlib.Path(folder).glob("**/*") if s.suffix in (".h", ".cpp"))

    for source in sources:
        path = source.as_posix()
        layer, rank = layer_of(path)

        for header in INCLUDE.findall(source.read_text(encoding="utf-8")):
            target = layer_of(header)

            if target is not None and target[1] >= rank and target[0] != layer:
                problems.append(f"{path} includes {header}, of the layer '{target[0]}', not below '{layer}'")

    print("\n".join(problems) if problems else "every include points down")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
