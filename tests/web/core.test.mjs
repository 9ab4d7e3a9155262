// The WebAssembly core against the native build: the same file texts, frames, refusals and echo
// verdicts, byte for byte, for the file variants of the native tests and a few hundred random sets.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { readFileSync } from 'node:fs';
import { Core, FormStep } from '../../web/page/core.mjs';

const core = await Core.load(readFileSync(process.env.VKD_CORE_WASM));

const fileVariants = [
  '0 0 10 108 10 0 10 108 10 100 2000 2000 0 0 0 0 ',
  '0\n0\r\n10\t108    10\v0\f10 108\n\n\n10 100 2000 2000 0 0 0 0',
  '3 1', '12abc 5', '+5 -0 007', '0x10 4', '- 5', '4 +-3', '\uFEFF1 2', '1 2\x1A 3',
  '7 \0 8', '', '        ', '2147483647 -2147483648 99999999999 4', '2147483648',
  '-000000000000000000002147483648', '1 0 200 0 10 0 10 108 10 100 2000 2000 0 0 0 0 ',
  '-1 1 0 0 0 0 7 8 9 0 0 -2147483648 0 0 0 1 ', '9 3 -1 129 128 2 127 1 0 65536 16777211 1 1 1 1 2',
];

// Mostly values near the edges of their ranges, some far outside, so every refusal shows up.
function randomSets(count) {
  let seed = 0x5eed;
  const next = () => (seed = (seed * 1103515245 + 12345) % 2147483648);
  const sets = [];
  for (let n = 0; n < count; n++) {
    const values = core.fields.map((field) => {
      const pick = next() % 8;
      if (pick === 0) return (next() % 2 ? 1 : -1) * next();
      if (pick === 1) return field.min - 1 - (next() % 3);
      if (pick === 2) return field.max + 1 + (next() % 3);
      return field.min + (next() % (field.max - field.min + 1));
    });
    const separators = [' ', '\n', '\r\n', '\t '];
    sets.push(values.map((v) => v + separators[next() % 4]).join(''));
  }
  return sets;
}

function webAnswer(text, variant) {
  const { taken, values } = core.readFile(text);
  const frame = core.frame(values);
  const changed = Uint8Array.from(frame);
  changed[variant % 19] ^= 0xff;
  const echoes = [frame, frame.subarray(0, variant % 19), changed].map((echo) => {
    const outcome = core.judgeEcho(values, echo);
    return `${core.outcomeName(outcome)}:${core.describeEcho(outcome, echo.length)};`;
  });
  const joined = (lines) => lines.map((line) => line + ';').join('');
  return [taken, core.writeFile(values), core.frameHex(values), joined(core.refused(values, true)),
    joined(core.refused(values, false)), core.writeFile(core.sync(values)), echoes.join('')]
    .join('|');
}

test('the module gives the native results byte for byte', () => {
  const inputs = [...fileVariants, ...randomSets(400)];
  const encoded = inputs.map((text) => Buffer.from(text, 'utf8').toString('hex')).join('\n');
  const native = execFileSync(process.env.VKD_CORE_REFERENCE, { input: encoded + '\n' })
    .toString('latin1').split('\n');
  inputs.forEach((text, i) => assert.equal(webAnswer(text, i), native[i], JSON.stringify(text)));
  assert.equal(native.length, inputs.length + 1);
});

test('the field table, words and time-outs come from the core', () => {
  assert.deepEqual(core.fields.map((f) => f.name).slice(0, 3), ['port', 'fwd.source', 'fwd.acc']);
  assert.equal(core.fields.length, 16);
  assert.deepEqual([' \t-12\r\n', '12x', '\u00A012', '2147483648'].map((text) => core.parseFormNumber(text)),
    [-12, null, null, null]);
  assert.deepEqual(core.formChecks.slice(6, 8).map(({ step, field }) => [step, field.name]),
    [[FormStep.readNumber, 'cycles'], [FormStep.checkRange, 'cycles']]);
  assert.equal(core.valueWord(core.fields[15], 1), 'on');
  assert.deepEqual(core.timing, { baudRate: 9600, transferLimitMs: 1050, intervalMs: 100 });
  assert.equal(core.frameHex(core.startValues(), false), '03000A6B0A000A6B0A00000000000000000000');
});
