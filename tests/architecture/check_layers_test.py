#!/usr/bin/env python3
"""Tests of the layer check on small fixture trees written to a temporary directory: an
allowed and a forbidden use of each kind (include, link, source and include directory
in another folder, another library's tests), the line each message names, exceptions
and stale exceptions."""

import io
import os
import sys
import tempfile
import textwrap
import unittest
from contextlib import redirect_stdout

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_layers  # noqa: E402

TABLE = """
[libraries]
base      base/             1
net       net/              2   base
config    config/           2   base
pop3      pop3/             4   base net config
support   tests/support/    -   base
integration tests/integration/ - * support
[exceptions]
{exceptions}
"""


class FixtureTree:
    """A tree of the given files under a temporary directory, with a layer table."""

    def __init__(self, files, exceptions=""):
        self._dir = tempfile.TemporaryDirectory(prefix="layer-check-")
        self.root = self._dir.name
        for path, text in files.items():
            full = os.path.join(self.root, path)
            os.makedirs(os.path.dirname(full), exist_ok=True)
            with open(full, "w", encoding="utf-8") as stream:
                stream.write(textwrap.dedent(text).lstrip("\n"))
        self.table = os.path.join(self.root, "layers.txt")
        with open(self.table, "w", encoding="utf-8") as stream:
            stream.write(TABLE.format(exceptions=exceptions))

    def run(self):
        """(exit status, printed lines) of the check on this tree."""
        output = io.StringIO()
        with redirect_stdout(output):
            status = check_layers.main(["--root", self.root, "--table", self.table])
        return status, output.getvalue().splitlines()

    def close(self):
        self._dir.cleanup()


BASE_FILES = {"base/Str.h": "#pragma once\n", "net/Socket.h": "#pragma once\n",
              "config/Keys.h": "#pragma once\n", "pop3/Client.h": "#pragma once\n",
              "net/tests/Peer.h": "#pragma once\n", "tests/support/TempDir.h": "#pragma once\n"}


class LayerCheckTest(unittest.TestCase):
    def check(self, files, exceptions=""):
        tree = FixtureTree({**BASE_FILES, **files}, exceptions)
        self.addCleanup(tree.close)
        return tree.run()

    def test_an_allowed_include_passes_and_a_forbidden_one_names_its_line(self):
        status, lines = self.check({"config/Settings.cpp": """
            // settings
            #include "base/Str.h"
            #include "net/Socket.h"
            """})
        self.assertEqual(status, 1)
        self.assertEqual(lines[0], 'config/Settings.cpp:3: config -> net '
                                   '(#include "net/Socket.h"), not allowed')
        self.assertEqual(len(lines), 2, lines)  # the message and the count

    def test_a_tree_that_follows_the_table_passes(self):
        status, lines = self.check({
            "pop3/Client.cpp": '#include "pop3/Client.h"\n#include "net/Socket.h"\n',
            "pop3/tests/ClientTest.cpp": '#include "pop3/Client.h"\n'
                                         '#include "base/Str.h"\n'
                                         '#include "tests/support/TempDir.h"\n',
            "tests/integration/PeerTest.cpp": '#include "pop3/Client.h"\n',
            "pop3/CMakeLists.txt": "quillet_module(pop3 base net config)\n"
                                   "quillet_module_tests(pop3)\n"})
        self.assertEqual((status, lines), (0, []))

    def test_a_forbidden_link_names_the_line_of_the_library(self):
        status, lines = self.check({
            "base/CMakeLists.txt": "quillet_module(base)\n",
            "net/CMakeLists.txt": "quillet_module(net base)\n",
            "config/CMakeLists.txt": """
                # configuration
                quillet_module(config base)
                target_link_libraries(config PUBLIC
                  base
                  net)
                """})
        self.assertEqual(status, 1)
        self.assertIn("config/CMakeLists.txt:5: config -> net "
                      "(target_link_libraries(config ... net)), not allowed", lines)
        self.assertEqual(len(lines), 2, lines)

    def test_another_librarys_tests_are_never_used(self):
        status, lines = self.check({
            "pop3/tests/ScriptedTest.cpp": '#include "ScriptedHelper.h"\n#include "Peer.h"\n',
            "pop3/tests/ScriptedHelper.h": "#pragma once\n",
            "pop3/CMakeLists.txt": """
                quillet_module(pop3 base net)
                quillet_module_tests(pop3)
                target_sources(pop3_tests PRIVATE ${PROJECT_SOURCE_DIR}/net/tests/Peer.cpp)
                target_include_directories(pop3_tests PRIVATE ${PROJECT_SOURCE_DIR}/net/tests)
                """,
            "net/tests/Peer.cpp": '#include "Peer.h"\n',
            "net/CMakeLists.txt": "quillet_module(net base)\nquillet_module_tests(net)\n"})
        self.assertEqual(status, 1)
        self.assertEqual(lines[:-1], [
            "pop3/CMakeLists.txt:3: pop3 tests -> net tests "
            "(target_sources(pop3_tests ... net/tests/Peer.cpp)), not allowed",
            "pop3/CMakeLists.txt:4: pop3 tests -> net tests "
            "(target_include_directories(pop3_tests ... net/tests/)), not allowed",
            'pop3/tests/ScriptedTest.cpp:2: pop3 tests -> net tests '
            '(#include "Peer.h"), not allowed'])

    def test_production_code_never_uses_tests(self):
        status, lines = self.check({"pop3/Client.cpp": '#include "tests/support/TempDir.h"\n'})
        self.assertEqual(status, 1)
        self.assertIn("pop3 -> support", lines[0])

    def test_an_exception_excuses_its_use_and_a_stale_one_fails(self):
        files = {"tests/integration/PeerTest.cpp": '#include "net/tests/Peer.h"\n'}
        status, lines = self.check(files, "tests/integration/PeerTest.cpp  net/tests/\n")
        self.assertEqual((status, lines), (0, []))

        status, lines = self.check({}, "tests/integration/PeerTest.cpp  net/tests/\n")
        self.assertEqual(status, 1)
        self.assertIn("exception tests/integration/PeerTest.cpp -> net/tests/ matches no "
                      "use any more; remove it", lines[0])

    def test_a_table_naming_an_unknown_library_is_refused(self):
        tree = FixtureTree({})
        self.addCleanup(tree.close)
        with open(tree.table, "a", encoding="utf-8") as stream:
            stream.write("[libraries]\nsmtp smtp/ 4 base queue\n")
        with redirect_stdout(io.StringIO()), \
                self.assertRaises(check_layers.TableError):
            check_layers.read_table(tree.table)


if __name__ == "__main__":
    unittest.main()
