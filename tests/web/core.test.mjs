// The WebAssembly core against the native build: the same file texts, frames, refusals and echo
// verdicts, byte for byte, for the file variants of the native tests and a few hundred random sets;
// and the same commissioning record and report as the tool's.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawn, spawnSync } from 'node:child_process';
import { once } from 'node:events';
import { appendFileSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { createInterface } from 'node:readline';
import { Core } from '../../web/page/core.mjs';
import { kSyntaxWords } from '../../web/page/language.mjs';

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
  const { taken, values, stop, stopOffset, byteOrderMark } = core.readFile(text);
  const frame = core.frame(values);
  const changed = Uint8Array.from(frame);
  changed[variant % 19] ^= 0xff;
  const echoes = [frame, frame.subarray(0, variant % 19), changed].map((echo) => {
    const outcome = core.judgeEcho(values, echo);
    return `${core.outcomeName(outcome)}:${core.echoReason(outcome, echo.length, 'en')}:` +
      `${core.echoReason(outcome, echo.length, 'zh')};`;
  });
  const joined = (lines) => lines.map((line) => line + ';').join('');
  return [[taken, stop, stopOffset, byteOrderMark ? 1 : 0].join(), core.writeFile(values), core.frameHex(values), joined(core.refused(values, true)),
    joined(core.refused(values, false)), core.writeFile(core.sync(values)), echoes.join('')]
    .join('|');
}

test('the module gives the native results byte for byte', () => {
  const inputs = [...fileVariants, ...randomSets(400)];
  const encoded = inputs.map((text) => Buffer.from(text, 'utf8').toString('hex')).join('\n');
  const native = execFileSync(process.env.VKD_CORE_REFERENCE, { input: encoded + '\n' })
    .toString('utf8').split('\n');
  inputs.forEach((text, i) => assert.equal(webAnswer(text, i), native[i], JSON.stringify(text)));
  assert.equal(native.length, inputs.length + 1);
});

// The facts the documents are checked against, as the native build has them.
const facts = Object.fromEntries(execFileSync(process.env.VKD_DOC_FACTS).toString('utf8').trim().split('\n')
  .map((line) => line.split(' ')).filter(([key]) => key !== 'field')
  .map(([key, ...value]) => [key, value.join(' ')]));

test('the field table, enumerations, words, bounds and time-outs come from the core', () => {
  assert.deepEqual(core.fields.map((f) => f.name).slice(0, 3), ['port', 'fwd.source', 'fwd.acc']);
  assert.deepEqual([' \t-12\r\n', '12x', '\u00A012', '2147483648'].map((text) => core.parseFormNumber(text)),
    [-12, null, null, null]);
  assert.deepEqual(core.formChecks.slice(6, 8).map(({ step, field }) => [core.nameOf(core.FormStep, step), field.name]),
    [['readNumber', 'cycles'], ['checkRange', 'cycles']]);
  assert.equal(core.valueWord(core.fields[15], 1), 'on');
  assert.deepEqual([core.timing, core.fileName, core.readLimit, core.frameLength], [{
    baudRate: Number(facts.baud), queueSize: Number(facts.queue), transferLimitMs: Number(facts.frame_limit_ms),
    intervalMs: Number(facts.interval_ms) }, facts.file_name, Number(facts.read_limit), facts.start_frame.split(' ').length]);
  assert.equal(core.frameHex(core.startValues()), facts.start_frame);
  // Each enumeration the page decides on, whole and in the module's numbers: a reading stopped at
  // its limit, an echo judged, a record line written with a code and read back by its name.
  const { ReadStop, EchoOutcome, ValueKind } = core;
  const cut = core.readFile(' '.repeat(core.readLimit));
  assert.deepEqual([cut.stop, cut.unreadable], [ReadStop.readLimit, true]);
  assert.deepEqual([core.readFile('1 2').stop, core.readFile('1 2').unreadable], [ReadStop.endOfText, false]);
  assert.equal(core.judgeEcho(core.startValues(), new Uint8Array(0)), EchoOutcome.noEcho);
  assert.deepEqual(core.fields.filter((f) => f.kind === ValueKind.source).map((f) => f.name), ['fwd.source', 'rev.source']);
  for (const [name, code] of Object.entries(EchoOutcome)) {
    assert.equal(core.outcomeName(code), name.replace(/[A-Z]/g, (letter) => `-${letter.toLowerCase()}`));
  }
  assert.deepEqual(['no-echo', 're-sent'].map((name) => core.outcomeWord(name, 'zh')), ['无回传', 're-sent']);
  // A file another program holds unreadable: its size and time in ms, down to the ms, must do.
  const known = { size: 3, lastModified: 1700000000123, bytes: core.encoder.encode('1 2') };
  assert.deepEqual([1700000000123, 1700000000124, null].map((lastModified) =>
    core.nameOf(core.SaveVerdict, core.judgeSave(known, { size: 3, lastModified, bytes: null }).verdict)),
  ['write', 'changed', 'write']);
});

// One record written by both faces: the page's lines from the module, the tool's from a real
// upload against the simulator. `vkd37 report` and the module must make the same report of it.
test('the page and the tool write one record and report it alike', async () => {
  const folder = mkdtempSync(join(tmpdir(), 'vkd37-record-'));
  try {
    const record = join(folder, 'record.jsonl');
    writeFileSync(join(folder, 'InitialParameter.dll'), '0 0 10 60 10 0 10 108 10 100 2000 2000 1 0 0 0 ');
    const sim = spawn(process.env.VKD_SIMULATOR, [], { stdio: ['ignore', 'pipe', 'inherit'] });
    try {
      const [line] = await once(createInterface({ input: sim.stdout }), 'line');
      execFileSync(process.env.VKD_TOOL, ['upload', '--port', line.replace('port: ', ''),
        '--unit', 'T-1', '--log', record], { cwd: folder });
    } finally {
      sim.kill();
    }
    const values = core.startValues();
    const page = [
      core.recordLine({ time: '2025-03-04T09:15:02.123Z', port: 'COM3', unit: 'P-1' }, values, 2, 1103.4),
      core.recordLine({ time: '2025-03-04T09:16:00.000Z', port: 'COM3', unit: 'P-1' }, values, 0, 41),
      core.recordLine({ time: '2025-03-04T09:17:00.000Z', port: 'COM3', unit: '' }, values, 0, 40),
    ];
    for (const line of page) assert.equal(JSON.stringify(JSON.parse(line)), line);
    appendFileSync(record, page.join('\n') + '\n');

    const text = readFileSync(record, 'utf8');
    const [tool] = text.split('\n').map((line) => line && JSON.parse(line));
    // The page's lines are the tool's but for the station and the chain's link, which its log
    // does not keep.
    assert.deepEqual(Object.keys(tool).slice(0, -2), Object.keys(JSON.parse(page[0])));
    assert.equal(tool.unit, 'T-1');
    assert.equal(tool.values['fwd.speed'], 60);
    assert.equal(JSON.parse(page[2]).unit, undefined);

    const report = (...options) => execFileSync(process.env.VKD_TOOL, ['report', ...options, record])
      .toString('utf8');
    assert.equal(core.reportCsv(text), report('--csv'));
    const summary = core.reportSummary(text, 'en');
    // The whole summary, down to the file whose chain the page's unlinked lines break, which
    // the page names as it was given: without a name.
    assert.equal(summary, report().replace(record, ''));
    assert.match(summary, new RegExp(`Record written by: +${core.program}, vkd37 [0-9.]+\n`));
    assert.match(summary, /\nUnits: +2\n[^]*\nAttempts: +4\n[^]*\nP-1 +2 +confirmed [^]*\nT-1 +1 +confirmed /);
    const made = `<dt>Report made by</dt><dd>${core.program}</dd>`;
    const madeOn = (html) => html.replace(/made on<\/dt><dd>[^<]*/, '');
    assert.ok(core.reportHtml(text, 'en').includes(made));
    assert.equal(madeOn(core.reportHtml(text, 'en').replace(made, '')),
      madeOn(report('--html').replace(made.replace('vkd37.html', 'vkd37'), '').replace(record, '')));
    assert.match(core.reportHtml(text, 'en', '2025-03-05T10:00:00.000Z'), /<dd>2025-03-05 10:00:00 UTC<\/dd>/);
    // The same entries handed over as lines or objects make the same report; in another order
    // (the page joins the kept log before the entries held in the tab) the same attempts, by time,
    // though not the same chain.
    const lines = text.trim().split('\n');
    assert.equal(core.reportHtml(lines.map((line) => JSON.parse(line)), 'zh', 'now'), core.reportHtml(text, 'zh', 'now'));
    assert.equal(core.reportCsv([...lines].reverse()), core.reportCsv(text));
    // Lines given twice (logs of stations that share them) count once.
    assert.equal(core.reportCsv([...lines, ...lines]), report('--csv'));
    assert.match(core.reportHtml(text, 'zh'), /<html lang="zh-Hans">[^]*调试报告[^]*无回传/);
  } finally {
    rmSync(folder, { recursive: true, force: true });
  }
});

// The workbook as a spreadsheet reads it: whatever a label, port or frame looks like, it stays the
// text recorded; times are date-times to the millisecond; values are numbers. The page's file is
// the tool's, byte for byte, in either language.
test('a spreadsheet reads the workbook back cell for cell', () => {
  const folder = mkdtempSync(join(tmpdir(), 'vkd37-sheet-'));
  try {
    const entry = (time, unit, port, frame, outcome) => core.recordLine({ time, port, unit }, core.startValues(),
      core.EchoOutcome[outcome], 41).replace(/"frame":"[0-9A-F]*"/, `"frame":"${frame}"`);
    const digits = '03001431140014311400006400000000000000';
    // Linked, as the page's log file is.
    const text = core.chainLines([
      entry('2025-03-04T10:00:00.000Z', '007', '0012', digits, 'confirmed'),
      entry('2025-03-04T09:00:00.123Z', '1E5', 'COM3', digits, 'noEcho'),
      entry('2025-03-04T09:30:00.000Z', '2025-03-04', '=1+1', digits, 'confirmed'),
      entry('2025-03-04T09:31:00.000Z', 'a_x0041_&<b', 'COM3', digits, 'confirmed'),
    ]);
    const record = join(folder, 'record.jsonl');
    writeFileSync(record, text);
    const tool = execFileSync(process.env.VKD_TOOL, ['report', '--xlsx', record]);
    assert.deepEqual(Buffer.from(core.reportXlsx(text, 'en')), tool);
    const read = (language) => {
      const file = join(folder, `${language}.xlsx`);
      writeFileSync(file, core.reportXlsx(text, language));
      return JSON.parse(execFileSync(join(import.meta.dirname, '../common/sheet-cells.py'), [file], { encoding: 'utf8' }));
    };
    const { Attempts: attempts, Units: units } = read('en');
    const values = core.fields.slice(1).map((field) => ['float', String(core.startValues()[field.index])]);
    assert.deepEqual(attempts.rows.slice(1).map((row) => [row[0].slice(0, 2).join(' '), ...row.slice(1, 6).map((cell) => cell.slice(0, 2).join(' '))]), [
      ['date 2025-03-04T09:00:00.12', 'string 1E5', 'string COM3', 'string no echo', 'float 41', `string ${digits}`],
      ['date 2025-03-04T09:30:00', 'string 2025-03-04', 'string =1+1', 'string confirmed', 'float 41', `string ${digits}`],
      ['date 2025-03-04T09:31:00', 'string a_x0041_&<b', 'string COM3', 'string confirmed', 'float 41', `string ${digits}`],
      ['date 2025-03-04T10:00:00', 'string 007', 'string 0012', 'string confirmed', 'float 41', `string ${digits}`],
    ]);
    assert.equal(attempts.rows[1][0][2], '2025-03-04 09:00:00.123');
    assert.deepEqual(attempts.rows[1].slice(6).map((cell) => cell.slice(0, 2)), values);
    assert.deepEqual([attempts.filter, units.filter], ['A1:U5', 'A1:F5']);
    assert.deepEqual(units.rows.map((row) => row.slice(0, 3).map((cell) => cell[1])), [
      ['Unit', 'Verdict', 'Attempts'], ['1E5', 'not confirmed', '1'], ['2025-03-04', 'confirmed', '1'],
      ['a_x0041_&<b', 'confirmed', '1'], ['007', 'confirmed', '1']]);
    const chinese = read('zh');
    assert.deepEqual(Object.keys(chinese), ['上传记录', '设备']);
    assert.deepEqual(chinese['设备'].rows[1].slice(1, 4).map((cell) => cell[1]), ['未确认', '1', '无回传']);
  } finally {
    rmSync(folder, { recursive: true, force: true });
  }
});

// One profile has one identity on every face, whatever its file's form: the tool's and the
// module's for each form of one file and for a file with one value changed; the module reads the
// tool's file and writes its bytes.
test('a profile has the same identity in the tool and the module', () => {
  const folder = mkdtempSync(join(tmpdir(), 'vkd37-profile-'));
  try {
    const made = join(folder, 'made.json');
    execFileSync(process.env.VKD_TOOL, ['profile', 'new', 'Line 3', made, '--note', 'approved',
      '--set', 'fwd.acc=17', 'rev.source=external-pot', 'auto_home=on']);
    const text = readFileSync(made, 'utf8');
    const read = core.readProfile(text, core.startValues());
    const numbers = Object.fromEntries(core.fields.slice(1).map((field) => [field.name, read.values[field.index]]));
    const forms = [
      ['as the tool wrote it', text, true],
      ['compact, by numbers, reordered', JSON.stringify({ values: Object.fromEntries(Object.entries(numbers).reverse()),
        profile: 'Another name' }), true],
      ['CR LF and tabs', text.replaceAll('\n', '\r\n').replaceAll('  ', '\t'), true],
      ['one value changed', text.replace('"fwd.acc": 17', '"fwd.acc": 18'), false],
    ];
    let first;
    for (const [what, form, same] of forms) {
      const file = join(folder, 'form.json');
      writeFileSync(file, form);
      const tool = JSON.parse(execFileSync(process.env.VKD_TOOL, ['profile', 'show', file, '--json'])).identity;
      assert.equal(core.readProfile(form, core.startValues()).identity, tool, what);
      first ??= tool;
      assert.equal(tool === first, same, what);
    }
    assert.equal(core.profileText(read.profile, read.note, read.values), text);
    assert.equal(core.identity(read.values), first);
  } finally {
    rmSync(folder, { recursive: true, force: true });
  }
});

// Record files handed to the module in pieces that break anywhere (inside a line end, a character
// of a label, the last line without its line feed) make the report of the files as the tool
// reads them; a chained log cut into batches links on across them.
test('record files gathered in pieces make the tool\'s report of the files', async () => {
  const folder = mkdtempSync(join(tmpdir(), 'vkd37-gather-'));
  try {
    const line = (unit, minute, station) => core.recordLine({ time: `2025-03-04T09:0${minute}:00.000Z`,
      port: 'COM3', unit, station }, core.startValues(), core.EchoOutcome.confirmed, 41);
    const lines = [line('設備-1', 0, 'A'), line('設備-2', 1, 'A'), line('U-3', 2, 'B')];
    const chained = core.chainLines(lines);
    const first = core.chainLines(lines.slice(0, 1));
    assert.equal(first + core.chainLines(lines.slice(1), first.trimEnd()), chained);
    const files = { 'a.jsonl': chained.replaceAll('\n', '\r\n').trimEnd(), 'b.jsonl': `${line('U-3', 2, 'B')}\nnot a line\n` };
    for (const [name, text] of Object.entries(files)) writeFileSync(join(folder, name), text);
    const tool = (...options) => execFileSync(process.env.VKD_TOOL, ['report', ...options, ...Object.keys(files)],
      { cwd: folder, encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] });
    const bytes = (text) => new TextEncoder().encode(text);
    for (const size of [1, 7, 1 << 20]) {
      const pieces = (text) => Array.from({ length: Math.ceil(bytes(text).length / size) },
        (_, i) => bytes(text).slice(i * size, (i + 1) * size));
      await core.gather(1, Object.entries(files).map(([name, text]) => ({ name, chunks: pieces(text) })));
      assert.equal(core.reportSummary(1, 'en'), tool(), `pieces of ${size}`);
      assert.equal(core.reportCsv(1), tool('--csv'), `pieces of ${size}`);
    }
    // The page's unlinked line breaks b's chain, as a link taken out would.
    const verified = spawnSync(process.env.VKD_TOOL, ['report', '--verify', ...Object.keys(files)], { cwd: folder, encoding: 'utf8' });
    assert.equal(verified.status, 1);
    assert.equal(core.reportChains(1), verified.stdout.split('\n').slice(0, 2).join('\n') + '\n');
  } finally {
    rmSync(folder, { recursive: true, force: true });
  }
});

test('every syntax reason of the unit pattern matcher has its Chinese words on the page', () => {
  const source = readFileSync(new URL('../../record/LabelPattern.cpp', import.meta.url), 'utf8');
  const reasons = [...source.matchAll(/Fail(?:ed)?\("((?:[^"\\]|\\.)*)"\)/g)].map((m) => JSON.parse(`"${m[1]}"`));
  assert.ok(reasons.length > 10);
  assert.deepEqual(reasons.filter((reason) => !(reason in kSyntaxWords)), []);
});
