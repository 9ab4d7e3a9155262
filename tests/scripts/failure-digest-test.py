#!/usr/bin/env python3
"""The digest of failed tests names each failed case with its assertion, and nothing that passed
or was skipped: a ctest record of a real node test run and GoogleTest's own lines.

usage: failure-digest-test.py PROJECT_DIR
"""
import subprocess
import sys
import tempfile
from pathlib import Path

rule = '-' * 58
cases = """import test from 'node:test';
import assert from 'node:assert/strict';
test('outer', async (t) => {
  await t.test('inner fine', () => {});
  await t.test('inner bad', () => { assert.equal(1, 2, 'values differ here'); });
});
"""
gtest = ['[ RUN      ] Frame.Packs', '/src/FrameTest.cpp:12: Failure', 'Expected equality of these values:',
         '  frame[3]', '    Which is: 7', '  9', '[  FAILED  ] Frame.Packs (0 ms)']
with tempfile.TemporaryDirectory() as scratch:
    node = Path(scratch, 'cases.test.mjs')
    node.write_text(cases)
    tap = subprocess.run(['node', '--test', '--test-reporter=tap', str(node)], capture_output=True, text=True).stdout
    runs = [('page', tap, 'Test Failed.'), ('Frame.Packs', '\n'.join(gtest), 'Test Failed.'),
            ('Port.Exclusive', '/src/PortTest.cpp:9: Skipped\n[  SKIPPED ] Port.Exclusive (1 ms)', 'Test Pass Reason:'),
            ('fine', 'ok 1 - fine', 'Test Passed.')]
    log = Path(scratch, 'build', 'Testing', 'Temporary')
    log.mkdir(parents=True)
    (log / 'LastTest.log').write_text(f'Start testing: now\n{rule}\n' + ''.join(
        f'{n}/4 Testing: {name}\n{n}/4 Test: {name}\nCommand: "x"\nOutput:\n{rule}\n{output}\n<end of output>\n'
        f'Test time =   0.10 sec\n{rule}\n{end}\n"{name}" end time: now\n{rule}\n\n'
        for n, (name, output, end) in enumerate(runs, 1)))
    (log / 'LastTestsFailed.log').write_text('1:page\n2:Frame.Packs\n')
    said = subprocess.run([sys.executable, str(Path(sys.argv[1], 'scripts', 'failure-digest.py')), str(log.parent.parent)],
                          capture_output=True, text=True, check=True).stdout.splitlines()

expected = ['-- build: page', 'not ok - inner bad', f"  location: '{node}:5:11'", '  error: |-',
            '    values differ here', '    1 !== 2', '  expected: 2', '  actual: 1', '-- build: Frame.Packs', *gtest[1:]]
if said != expected:
    sys.exit('the digest differs:\n' + '\n'.join(said))
