#!/usr/bin/env python3
"""The owned-calls check: time is read in one place and files are opened, created,
renamed, removed and synced in one layer.

Every reading of the time goes through the one clock (base/Clock.cpp), so that tests can
move it; every file is opened or changed through base/, which holds the locking,
permission and durability rules. The check reads the production sources (the tests,
the parser's benchmark and fuzz target are tools, not the programs) and reports each
call outside its owner as "file:line: call, only in owner".

Usage: check_owned_calls.py [--root DIR]
Only the Python standard library is used.
"""

import argparse
import os
import re
import subprocess
import sys

SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc", ".c")

# Not the programs' code: tests, test helpers and the parser's tools.
NOT_PRODUCTION = re.compile(r"(^|/)tests/|^decode/(bench|fuzz)/")

# A call of the C library or the system, not a member of that name. Names that are also
# common member names (open, remove, time, ...) count only written as "::name(" or
# "std::name(", as the tree calls the system's; the others count unqualified too, but
# never as "x.name(", "x->name(" or "X::name(".
def _calls(unique, common):
    qualified = r"(?<![\w:])(?:::|std::)(?:%s)\s*\(" % "|".join(unique + common)
    unqualified = r"(?<![\w.>:])(?:%s)\s*\(" % "|".join(unique)
    return qualified + "|" + unqualified


RULES = [
    # (what, pattern, the files or folders allowed to use it)
    ("a reading of the time",
     re.compile(r"\b(?:steady_clock|system_clock|high_resolution_clock)::now\b|" +
                _calls(["clock_gettime", "gettimeofday", "localtime", "localtime_r",
                        "gmtime", "gmtime_r"], ["time"])),
     ("base/Clock.cpp",)),
    ("a file opened or changed by a system call",
     re.compile(_calls(["openat", "creat", "fopen", "freopen", "mkstemp", "mkstemps",
                        "mkdtemp", "renameat", "unlink", "unlinkat", "mkdir", "rmdir",
                        "fsync", "fdatasync", "ftruncate", "fchmod", "symlink"],
                       ["open", "rename", "remove", "truncate", "chmod", "link"]) +
                r"|\b(?:std::)?[io]?fstream\b|"
                r"\b(?:std::)?filesystem::(?:remove|remove_all|rename|create_directory|"
                r"create_directories|permissions|copy|copy_file|resize_file)\b"),
     ("base/",)),
]

LINE_COMMENT = re.compile(r"//.*$")
STRING = re.compile(r'"(?:[^"\\]|\\.)*"')


def production_sources(root):
    """Relative paths of the tracked production sources (every file when not in git)."""
    try:
        listed = subprocess.run(["git", "-C", root, "ls-files"], check=True,
                                capture_output=True, text=True).stdout.split("\n")
    except (OSError, subprocess.CalledProcessError):
        listed = [os.path.relpath(os.path.join(folder, name), root)
                  for folder, _, names in os.walk(root) for name in names]
    return sorted(path for path in listed
                  if path.endswith(SOURCE_SUFFIXES) and not NOT_PRODUCTION.search(path)
                  and not path.startswith(("build/", "build-")))


def code_lines(text):
    """(number, code) of each line with comments and string contents blanked."""
    in_block = False
    for number, line in enumerate(text.split("\n"), 1):
        code = ""
        rest = line
        while rest:
            if in_block:
                end = rest.find("*/")
                if end < 0:
                    rest = ""
                else:
                    in_block, rest = False, rest[end + 2:]
                continue
            start = rest.find("/*")
            if start < 0:
                code += rest
                break
            code += rest[:start]
            in_block, rest = True, rest[start + 2:]
        code = LINE_COMMENT.sub("", STRING.sub('""', code))
        yield number, code


def findings(root):
    """Each forbidden call as a message."""
    messages = []
    for path in production_sources(root):
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as stream:
            text = stream.read()
        for number, code in code_lines(text):
            for what, pattern, owners in RULES:
                if pattern.search(code) and not path.startswith(owners):
                    messages.append("%s:%d: %s, only in %s" %
                                    (path, number, what, " or ".join(owners)))
    return messages


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--root", default=os.path.join(os.path.dirname(__file__), "..", ".."))
    arguments = parser.parse_args(argv)
    messages = findings(os.path.abspath(arguments.root))
    for message in messages:
        print(message)
    return 1 if messages else 0


if __name__ == "__main__":
    sys.exit(main())
