#!/usr/bin/env python3
"""Prints, short, why each failed test of the given build folders failed, read from ctest's
record of the last run (Testing/Temporary/LastTest*.log): for the page's and the module's node
tests the assertion of each failed case, for GoogleTest its failure lines, otherwise the end of
the output. It is printed last by scripts/test.sh, where a log cut to its head and tail keeps it.

usage: failure-digest.py BUILD_DIR...
"""
import re
import sys
from pathlib import Path

kLineChars = 300  # a line longer than this is cut
kTestChars = 2000  # what one failed test may print
kAllChars = 4000  # what all of them may print


def outputs(log):
    """Each test's name and output lines in a LastTest.log."""
    for record in re.split(r'\n(?=\d+/\d+ Testing: )', log):
        name = re.match(r'\d+/\d+ Testing: (.*)', record)
        if name:
            output = record.split('Output:\n' + '-' * 58 + '\n', 1)[-1].split('<end of output>', 1)[0]
            yield name.group(1), output.splitlines()


def tap_failures(lines):
    """The lines that say why each failed node test case failed; its parents' are left out."""
    said = []
    for at, line in enumerate(lines):
        case = re.match(r'(\s*)not ok \d+ - (.*)', line)
        if not case:
            continue
        indent = len(case.group(1)) + 2
        block = []
        for detail in lines[at + 2:]:
            if detail.strip() == '...' or len(detail) - len(detail.lstrip()) < indent:
                break
            block.append(detail[indent:])
        if any("failureType: 'subtestsFailed'" in detail for detail in block):
            continue
        said.append('not ok - ' + case.group(2))
        keep = False
        for detail in block:
            key = re.match(r'(\w+):', detail)
            if key:
                keep = key.group(1) in ('location', 'error', 'expected', 'actual')
            if keep and detail.strip():
                said.append('  ' + detail.rstrip())
    return said


def gtest_failures(lines):
    """Each failure's lines (a few, up to GoogleTest's next line of its own) and each failed test."""
    kept = set()
    for at, line in enumerate(lines):
        if re.search(r': Failure$', line):
            end = next((after for after in range(at + 1, min(at + 6, len(lines))) if lines[after].startswith('[')), at + 6)
            kept.update(range(at, min(end, len(lines))))
        elif line.startswith('[  FAILED  ]') and ' ms)' in line:
            kept.add(at)
    return [lines[at] for at in sorted(kept)]


def digest(lines):
    return tap_failures(lines) or gtest_failures(lines) or lines[-15:]


def main(folders):
    room = kAllChars
    for folder in folders:
        # ctest lists the failed tests (skipped ones are not) only when some failed.
        record = Path(folder, 'Testing', 'Temporary')
        try:
            failed = {line.split(':', 1)[-1] for line in (record / 'LastTestsFailed.log').read_text().splitlines()}
        except FileNotFoundError:
            continue
        for name, output in outputs((record / 'LastTest.log').read_text(errors='replace')):
            if name not in failed:
                continue
            text = f'-- {Path(folder).name}: {name}\n'
            for line in digest(output):
                line = line if len(line) <= kLineChars else line[:kLineChars] + ' […]'
                if len(text) + len(line) > kTestChars:
                    text += '  […]\n'
                    break
                text += line + '\n'
            if len(text) > room:
                print('-- (more failed tests; see their logs)')
                return
            room -= len(text)
            sys.stdout.write(text)


if __name__ == '__main__':
    main(sys.argv[1:])
