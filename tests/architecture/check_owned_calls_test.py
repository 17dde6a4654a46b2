#!/usr/bin/env python3
"""Tests of the owned-calls check on small fixture trees: time read and files opened
outside their owners are found with their lines; the owners, members of the same names,
comments, strings and test code are left alone."""

import io
import os
import sys
import tempfile
import textwrap
import unittest
from contextlib import redirect_stdout

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_owned_calls  # noqa: E402


def run_on(files):
    """(exit status, printed lines) of the check on a tree of the given files."""
    with tempfile.TemporaryDirectory(prefix="owned-calls-") as root:
        for path, text in files.items():
            full = os.path.join(root, path)
            os.makedirs(os.path.dirname(full), exist_ok=True)
            with open(full, "w", encoding="utf-8") as stream:
                stream.write(textwrap.dedent(text).lstrip("\n"))
        output = io.StringIO()
        with redirect_stdout(output):
            status = check_owned_calls.main(["--root", root])
        return status, output.getvalue().splitlines()


class OwnedCalls(unittest.TestCase):
    def test_calls_outside_their_owners_are_reported_with_their_lines(self):
        status, lines = run_on({
            "config/Records.cpp": """
                #include <fcntl.h>
                int fd = ::open(name, O_RDONLY);
            """,
            "net/Wait.cpp": """
                // Waits.
                auto end = std::chrono::steady_clock::now() + slice;
            """,
            "pop3/Store.cpp": """
                std::ofstream out(path);
            """,
            "platform/Temp.cpp": """
                int fd = mkstemp(pattern.data());
                long seconds = std::time(nullptr);
            """,
        })
        self.assertEqual(status, 1)
        self.assertEqual(sorted(lines), sorted([
            "config/Records.cpp:2: a file opened or changed by a system call, only in base/",
            "net/Wait.cpp:2: a reading of the time, only in base/Clock.cpp",
            "pop3/Store.cpp:1: a file opened or changed by a system call, only in base/",
            "platform/Temp.cpp:1: a file opened or changed by a system call, only in base/",
            "platform/Temp.cpp:2: a reading of the time, only in base/Clock.cpp",
        ]))

    def test_owners_members_comments_strings_and_tests_are_left_alone(self):
        status, lines = run_on({
            "base/File.cpp": "int fd = ::open(name, O_RDWR); ::fsync(fd);\n",
            "base/Clock.cpp": "clock_gettime(CLOCK_REALTIME, &now);\n",
            "config/RecordFile.cpp": """
                bool RecordFile::open() { return file_.open(File::kReadShared); }
                /* ::open( in a comment
                   std::ofstream too */
                const char* text = "::open( in a string";  // ::unlink( in a comment
                Timer time(now());
            """,
            "config/RecordFile.h": "[[nodiscard]] bool open();\n",
            "net/tests/Peer.cpp": "int fd = ::open(name, O_RDONLY);\n",
            "decode/bench/Bench.cpp": "auto t = std::chrono::steady_clock::now();\n",
        })
        self.assertEqual(lines, [])
        self.assertEqual(status, 0)


if __name__ == "__main__":
    unittest.main()
