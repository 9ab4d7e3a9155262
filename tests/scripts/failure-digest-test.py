#!/usr/bin/env python3
"""The digest of failed tests names each failed case with its assertion, and nothing that passed
or was skipped: a ctest record made of a real node test run and GoogleTest's own lines.

usage: failure-digest-test.py PROJECT_DIR
"""
import subprocess
import sys
import tempfile
from pathlib import Path

project = Path(sys.argv[1])
rule = '-' * 58
node_cases = """import test from 'node:test';
import assert from 'node:assert/strict';
test('outer', async (t) => {
  await t.test('inner fine', () => {});
  await t.test('inner bad', () => { assert.equal(1, 2, 'values differ here'); });
});
"""
gtest_failed = """[ RUN      ] Frame.Packs
/src/FrameTest.cpp:12: Failure
Expected equality of these values:
  frame[3]
    Which is: 7
  9
[  FAILED  ] Frame.Packs (0 ms)"""
gtest_skipped = """[ RUN      ] Port.Exclusive
/src/PortTest.cpp:9: Skipped
[  SKIPPED ] Port.Exclusive (1 ms)"""


def record(number, name, output, end):
    return (f'{number}/4 Testing: {name}\n{number}/4 Test: {name}\nCommand: "x"\nOutput:\n{rule}\n{output}\n'
            f'<end of output>\nTest time =   0.10 sec\n{rule}\n{end}\n"{name}" end time: now\n{rule}\n\n')


with tempfile.TemporaryDirectory() as scratch:
    cases = Path(scratch, 'cases.test.mjs')
    cases.write_text(node_cases)
    tap = subprocess.run(['node', '--test', '--test-reporter=tap', str(cases)], capture_output=True, text=True).stdout
    log = Path(scratch, 'build', 'Testing', 'Temporary')
    log.mkdir(parents=True)
    (log / 'LastTest.log').write_text(f'Start testing: now\n{rule}\n' + record(1, 'page', tap, 'Test Failed.') +
                                      record(2, 'Frame.Packs', gtest_failed, 'Test Failed.') +
                                      record(3, 'Port.Exclusive', gtest_skipped, 'Test Pass Reason:\nSkip') +
                                      record(4, 'fine', 'ok 1 - fine', 'Test Passed.'))
    (log / 'LastTestsFailed.log').write_text('1:page\n2:Frame.Packs\n')
    said = subprocess.run([sys.executable, str(project / 'scripts' / 'failure-digest.py'), str(log.parent.parent)],
                          capture_output=True, text=True, check=True).stdout.splitlines()

expected = ['-- build: page', 'not ok - inner bad', f"  location: '{cases}:5:11'", '  error: |-',
            '    values differ here', '    1 !== 2', '  expected: 2', '  actual: 1',
            '-- build: Frame.Packs', *gtest_failed.splitlines()[1:]]
if said != expected:
    sys.exit('the digest differs:\n' + '\n'.join(said))
