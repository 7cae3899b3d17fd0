"""Folders read whole, for comparing what a program wrote with what it was
given: every file below a root by its relative path, with its bytes."""
import os


def tree(root, separator="/"):
    """{relative path: bytes} of every file below root; the path's parts are
    joined with the separator."""
    found = {}
    for folder, _, files in os.walk(root):
        for name in files:
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                found[os.path.relpath(path, root).replace(os.sep, separator)] = f.read()
    return found
