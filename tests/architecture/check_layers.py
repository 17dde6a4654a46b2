#!/usr/bin/env python3
"""The layer check: every use of one part of the tree by another must be allowed by the
layer table (layers.txt beside this script).

A use is an #include "..." in a source or header, or, in a CMakeLists.txt, a library
linked (target_link_libraries, the module helpers' dependency lists), a source compiled
from another folder (add_library, add_executable, target_sources), an include directory
in another folder (target_include_directories) or a build dependency (add_dependencies).
Each file belongs to the library whose folder holds it, or to that library's tests.
Every use the table does not allow is reported as "file:line: from -> to (what), not
allowed"; the exit status is 1 when there is any, or when a listed exception no longer
matches a use.

Usage: check_layers.py [--root DIR] [--table FILE]
Only the Python standard library is used.
"""

import argparse
import os
import re
import sys
from dataclasses import dataclass, field

SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc", ".c")
LINK_KEYWORDS = {"PUBLIC", "PRIVATE", "INTERFACE", "LINK_PUBLIC", "LINK_PRIVATE",
                 "LINK_INTERFACE_LIBRARIES", "debug", "optimized", "general"}
LIBRARY_KINDS = {"STATIC", "SHARED", "MODULE", "OBJECT", "INTERFACE", "EXCLUDE_FROM_ALL",
                 "ALIAS", "IMPORTED", "GLOBAL", "WIN32", "MACOSX_BUNDLE"}
INCLUDE_KEYWORDS = {"SYSTEM", "AFTER", "BEFORE", "PUBLIC", "PRIVATE", "INTERFACE"}


@dataclass
class Library:
    name: str
    folder: str          # relative to the root, ends in "/"
    uses: set = field(default_factory=set)   # names; "*" = every library


@dataclass
class Table:
    libraries: dict      # name -> Library
    exceptions: list     # (file, path prefix, line in the table)


@dataclass(frozen=True)
class Unit:
    """A library, or the tests of a library."""
    library: str
    tests: bool

    def label(self):
        return self.library + (" tests" if self.tests else "")


@dataclass
class Use:
    file: str    # relative path of the file that has the use
    line: int
    target: str  # relative path (file or folder) that is used
    what: str    # the text of the use, for the message


class TableError(Exception):
    pass


def read_table(path):
    libraries, exceptions = {}, []
    section = None
    with open(path, encoding="utf-8") as stream:
        for number, raw in enumerate(stream, 1):
            text = raw.split("#", 1)[0].strip()
            if not text:
                continue
            if text.startswith("[") and text.endswith("]"):
                section = text[1:-1]
                continue
            words = text.split()
            if section == "libraries":
                if len(words) < 3 or not words[1].endswith("/"):
                    raise TableError(f"{path}:{number}: expected: name folder/ layer uses...")
                libraries[words[0]] = Library(words[0], words[1], set(words[3:]))
            elif section == "exceptions":
                if len(words) != 2:
                    raise TableError(f"{path}:{number}: expected: file path-prefix")
                exceptions.append((words[0], words[1], number))
            else:
                raise TableError(f"{path}:{number}: outside [libraries] and [exceptions]")
    for library in libraries.values():
        for used in library.uses - {"*"}:
            if used not in libraries:
                raise TableError(f"{path}: {library.name} uses unknown library {used}")
    return Table(libraries, exceptions)


def unit_of(table, path):
    """The unit a root-relative path belongs to, None outside every library."""
    best_tests, best_library = None, None
    for library in table.libraries.values():
        if path.startswith(library.folder + "tests/"):
            if best_tests is None or len(library.folder) > len(best_tests.folder):
                best_tests = library
        if path.startswith(library.folder):
            if best_library is None or len(library.folder) > len(best_library.folder):
                best_library = library
    if best_tests is not None and len(best_tests.folder) >= len(best_library.folder):
        return Unit(best_tests.name, True)
    return Unit(best_library.name, False) if best_library is not None else None


def allowed(table, source, target):
    if source == target:
        return True
    library = table.libraries[source.library]
    if target.tests:
        return False  # never another library's tests, from anywhere
    if target.library == source.library:
        return True   # tests use their own library
    if "*" in library.uses or target.library in library.uses:
        return True
    return source.tests and target.library == "support"


def walk_tree(root):
    """Root-relative paths of every file, build trees and hidden folders left out."""
    for folder, subfolders, files in os.walk(root):
        subfolders[:] = sorted(
            name for name in subfolders
            if not name.startswith(".")
            and not os.path.exists(os.path.join(folder, name, "CMakeCache.txt")))
        for name in sorted(files):
            yield os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/")


INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def include_uses(root, path, all_files):
    """The quoted includes of one source file, each resolved to a file of the tree."""
    folder = os.path.dirname(path)
    with open(os.path.join(root, path), encoding="utf-8", errors="replace") as stream:
        for number, line in enumerate(stream, 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            name = match.group(1)
            candidates = [os.path.normpath(os.path.join(folder, name)).replace(os.sep, "/"),
                          os.path.normpath(name).replace(os.sep, "/")]
            resolved = next((c for c in candidates if c in all_files), None)
            if resolved is None:
                # Found through an include directory: the one file of the tree ending so.
                ends = sorted(f for f in all_files if f.endswith("/" + name))
                resolved = ends[0] if ends else None
            if resolved is not None:
                yield Use(path, number, resolved, f'#include "{name}"')


def cmake_commands(text):
    """(command name, [(argument, line)]) for each command of a CMake file."""
    position, line, length = 0, 1, len(text)
    while position < length:
        char = text[position]
        if char == "\n":
            line += 1
            position += 1
            continue
        if char == "#":
            while position < length and text[position] != "\n":
                position += 1
            continue
        match = re.compile(r"([A-Za-z_][A-Za-z0-9_]*)\s*\(").match(text, position)
        if not match:
            position += 1
            continue
        name = match.group(1).lower()
        line += text[position:match.end()].count("\n")
        position = match.end()
        depth, arguments, word, word_line, quoted = 1, [], "", line, False
        while position < length and depth > 0:
            char = text[position]
            if quoted:
                if char == '"':
                    quoted = False
                else:
                    word += char
            elif char == '"':
                quoted, word_line = True, (line if not word else word_line)
            elif char == "#":
                while position < length and text[position] != "\n":
                    position += 1
                continue
            elif char in " \t\r\n()":
                if char == "(":
                    depth += 1
                elif char == ")":
                    depth -= 1
                if word:
                    arguments.append((word, word_line))
                    word = ""
            else:
                if not word:
                    word_line = line
                word += char
            if char == "\n":
                line += 1
            position += 1
        yield name, arguments


class CMakeFile:
    def __init__(self, root, path):
        self.path = path
        self.folder = os.path.dirname(path)
        with open(os.path.join(root, path), encoding="utf-8") as stream:
            self.commands = list(cmake_commands(stream.read()))
        here = os.path.join(root, self.folder) if self.folder else root
        self.variables = {"CMAKE_CURRENT_SOURCE_DIR": [here], "CMAKE_CURRENT_LIST_DIR": [here],
                          "PROJECT_SOURCE_DIR": [root], "CMAKE_SOURCE_DIR": [root]}
        self.root = root
        for name, arguments in self.commands:
            words = [word for word, _ in arguments]
            if name == "set" and words:
                self.variables[words[0]] = words[1:]
            elif name == "file" and len(words) >= 2 and words[0] in ("GLOB", "GLOB_RECURSE"):
                self.variables[words[1]] = [w for w in words[2:] if w != "CONFIGURE_DEPENDS"]

    def expand(self, arguments):
        """Arguments with ${VAR} of this file replaced (a list variable gives several)."""
        for word, line in arguments:
            whole = re.fullmatch(r"\$\{(\w+)\}", word)
            if whole and whole.group(1) in self.variables and whole.group(1) not in (
                    "CMAKE_CURRENT_SOURCE_DIR", "CMAKE_CURRENT_LIST_DIR", "PROJECT_SOURCE_DIR",
                    "CMAKE_SOURCE_DIR"):
                for value in self.variables[whole.group(1)]:
                    yield from self.expand([(value, line)])
                continue
            yield re.sub(r"\$\{(\w+)\}",
                         lambda m: self.variables.get(m.group(1), [m.group(0)])[0], word), line

    def tree_path(self, word):
        """The root-relative path an argument names; None when it is not a path here."""
        if "${" in word or "$<" in word:
            return None
        full = word if os.path.isabs(word) else os.path.join(self.root, self.folder, word)
        relative = os.path.relpath(os.path.normpath(full), self.root).replace(os.sep, "/")
        return None if relative.startswith("..") else relative


def cmake_uses(table, cmake_files):
    """Every use written in the CMake files, after the targets of all of them are known."""
    targets = {}  # target name -> root-relative folder of its unit
    for cmake in cmake_files:
        for name, arguments in cmake.commands:
            words = [word for word, _ in cmake.expand(arguments)]
            if not words:
                continue
            if name == "quillet_module":
                targets[words[0]] = cmake.folder + "/"
            elif name == "quillet_module_tests":
                targets[words[0] + "_tests"] = cmake.folder + "/tests/"
            elif name in ("add_library", "add_executable"):
                sources = [cmake.tree_path(w) for w in words[1:] if w not in LIBRARY_KINDS]
                sources = [s for s in sources if s is not None]
                targets[words[0]] = (os.path.dirname(sources[0]) if sources
                                     else cmake.folder) + "/"
    uses = []
    for cmake in cmake_files:
        for name, arguments in cmake.commands:
            expanded = list(cmake.expand(arguments))
            if not expanded:
                continue
            owner, owner_line = expanded[0]
            rest = expanded[1:]
            if name == "quillet_module":
                source = owner
            elif name == "quillet_module_tests":
                source = owner + "_tests"
            else:
                source = owner
            if source not in targets:
                continue
            if name in ("quillet_module", "quillet_module_tests", "target_link_libraries",
                        "add_dependencies"):
                for word, line in rest:
                    if word in targets and word not in LINK_KEYWORDS:
                        uses.append((targets[source], Use(cmake.path, line, targets[word],
                                                          f"{name}({owner} ... {word})")))
            elif name in ("add_library", "add_executable", "target_sources"):
                for word, line in rest:
                    path = cmake.tree_path(word) if word not in LIBRARY_KINDS | LINK_KEYWORDS \
                        else None
                    if path is not None:
                        uses.append((targets[source], Use(cmake.path, line, path,
                                                          f"{name}({owner} ... {path})")))
            elif name == "target_include_directories":
                for word, line in rest:
                    path = cmake.tree_path(word) if word not in INCLUDE_KEYWORDS else None
                    if path is not None and path != ".":
                        uses.append((targets[source], Use(cmake.path, line, path + "/",
                                                          f"{name}({owner} ... {path}/)")))
    return uses


def check(root, table):
    """(messages of uses not allowed, messages of exceptions no longer needed)."""
    all_files = set(walk_tree(root))
    found = []  # (unit of the user, Use)
    for path in sorted(all_files):
        if path.endswith(SOURCE_SUFFIXES):
            unit = unit_of(table, path)
            if unit is not None:
                found.extend((unit, use) for use in include_uses(root, path, all_files))
    cmake_files = [CMakeFile(root, p) for p in sorted(all_files)
                   if os.path.basename(p) == "CMakeLists.txt"]
    for folder, use in cmake_uses(table, cmake_files):
        unit = unit_of(table, folder)
        if unit is not None:
            found.append((unit, use))

    used_exceptions = set()
    violations = set()  # (file, line, message)
    for source, use in found:
        target = unit_of(table, use.target)
        if target is None or allowed(table, source, target):
            continue
        excused = [e for e in table.exceptions
                   if e[0] == use.file and use.target.startswith(e[1])]
        if excused:
            used_exceptions.update(excused)
            continue
        violations.add((use.file, use.line, f"{use.file}:{use.line}: {source.label()} -> "
                        f"{target.label()} ({use.what}), not allowed"))
    stale = [f"layer table line {line}: exception {file} -> {prefix} matches no use any "
             f"more; remove it" for file, prefix, line in table.exceptions
             if (file, prefix, line) not in used_exceptions]
    return [message for _, _, message in sorted(violations)], stale


def main(argv=None):
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--root", default=os.path.normpath(os.path.join(here, "..", "..")))
    parser.add_argument("--table", default=os.path.join(here, "layers.txt"))
    options = parser.parse_args(argv)
    try:
        table = read_table(options.table)
    except (OSError, TableError) as error:
        print(error, file=sys.stderr)
        return 2
    violations, stale = check(os.path.abspath(options.root), table)
    for message in violations + stale:
        print(message)
    if violations or stale:
        print(f"{len(violations)} use(s) not allowed by the layer table, "
              f"{len(stale)} stale exception(s)")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
