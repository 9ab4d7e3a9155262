// vkd37.html end to end in Debian's headless Chromium: only navigator.serial is replaced, by a
// stand-in port whose bytes cross the loopback bridge to the real simulator at 9600 baud.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';
import { kControls } from '../../web/page/layout.mjs';
import { dialogControls } from '../../web/tools/dialog-template.mjs';
import { SimulatorBridge } from './bridge.mjs';

const pageUrl = pathToFileURL(process.env.VKD_PAGE).href;
const simulatorPath = process.env.VKD_SIMULATOR;
const standIn = readFileSync(new URL('./serial-stand-in.js', import.meta.url), 'utf8');
const kBound = 10_000; // a generous bound on every outcome waited for

let browser;
before(async () => {
  browser = await chromium.launch({
    executablePath: process.env.VKD_CHROMIUM ?? '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
});
after(() => browser?.close());

const pageReady = (page) => page.waitForFunction(
  () => window.vkd37Ready && document.body.dataset.ready === 'true', null, { timeout: kBound });

// A fresh profile with the stand-in port joined to a simulator run with `flags`. The page comes
// from disk, or over http from the bridge when `overHttp`.
async function openPage(t, flags = [], { overHttp = false, initScript = null } = {}) {
  const bridge = await SimulatorBridge.start(simulatorPath, flags);
  bridge.pagePath = process.env.VKD_PAGE;
  // The page's policy forbids every connection; the stand-in's socket is the test's own.
  const context = await browser.newContext({ bypassCSP: true });
  t.after(async () => { await context.close(); await bridge.stop(); });
  await context.addInitScript(`(${standIn})(${JSON.stringify(bridge.url)})`);
  if (initScript) await context.addInitScript(initScript);
  const page = await context.newPage();
  await page.goto(overHttp ? bridge.pageUrl : pageUrl);
  await pageReady(page);
  return { page, bridge };
}

const text = (page, selector) => page.locator(selector).textContent();
const waitForText = (page, selector, expected) => page.waitForFunction(
  ([s, e]) => document.querySelector(s)?.textContent.includes(e), [selector, expected], { timeout: kBound });
const lastLogLine = (page) => page.evaluate(() => window.vkd37Page.record.entries.at(-1));
const locksHeld = (page) => page.evaluate(() => [window.standIn.port.stream?.locked ?? false,
  window.standIn.port.sink?.locked ?? false]);

async function upload(page, status) {
  await page.click('#upload');
  await waitForText(page, '#upload-status', status);
}

test('a good upload reaches the simulator exactly, and a second click meanwhile does nothing', async (t) => {
  // A controller that answers after 500 ms, so that a click can land during the upload; the
  // echo is still well inside the 1050 ms the page waits.
  const { page, bridge } = await openPage(t, ['--delay-ms', '500']);
  assert.equal(await text(page, '#port-status'), 'Suceed Open Serial Port');
  assert.deepEqual(await page.evaluate(() => window.standIn.openOptions), {
    baudRate: 9600, dataBits: 8, parity: 'none', stopBits: 1, flowControl: 'none', bufferSize: 1024 });
  await page.fill('#fwd\\.speed', '60');
  await page.fill('#cycles', '250');
  await page.check('#cycles\\.on');
  // The tool's frame for the same values: the dialog's first-start file with the three changes.
  const startFile = join(mkdtempSync(join(tmpdir(), 'vkd37-page-')), 'InitialParameter.dll');
  t.after(() => rmSync(dirname(startFile), { recursive: true }));
  writeFileSync(startFile, '0 0 10 108 10 0 10 108 10 100 2000 2000 0 0 0 0 ');
  const expected = JSON.parse(execFileSync(process.env.VKD_TOOL,
    ['frame', startFile, '--set', 'fwd.speed=60', 'cycles=250', 'cycles.on=on', '--json'])).bytes;
  assert.equal((await text(page, '#frame')).replaceAll(' ', ''), expected);

  // The second click lands while the first upload is under way; a third one after it.
  const box = await page.locator('#upload').boundingBox();
  await page.click('#upload');
  await waitForText(page, '#upload-status', 'Uploading\u2026\u2026');
  await page.mouse.click(box.x + box.width / 2, box.y + box.height / 2);
  assert.equal(await text(page, '#upload-status'), 'Uploading\u2026\u2026', 'the click came too late');
  await waitForText(page, '#upload-status', 'Download Complete');
  await page.check('#batch');
  await upload(page, 'Download Complete');
  assert.deepEqual(bridge.frames.map((frame) => frame.bytes), [expected, expected]);
  assert.match(await text(page, '#message'), /Connect the next controller/);
  assert.equal(await text(page, '#log-summary'), '2 uploads: 2 confirmed, 0 failed');
  assert.deepEqual(await locksHeld(page), [false, false]);

  // The log as a file: one JSON object a line, in the shape of `vkd37 --log`.
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#download-log')]);
  const lines = readFileSync(await download.path(), 'utf8').trimEnd().split('\n').map((l) => JSON.parse(l));
  assert.equal(lines.length, 2);
  assert.deepEqual(Object.keys(lines[1]), ['time', 'port', 'frame', 'outcome', 'ms']);
  assert.deepEqual([lines[1].port, lines[1].frame, lines[1].outcome], ['usb:0403:6001', expected, 'confirmed']);
});

test('failed echoes are reported with their reason and leave the port free', async (t) => {
  // Unpaced, so that a busy machine cannot stretch a gap inside the echo past 100 ms.
  for (const [flags, outcome, reason] of [
    [['--silent'], 'no-echo', 'no echo'],
    [['--echo-bytes', '10'], 'short-echo', 'short echo (10 of 19 bytes)'],
    [['--corrupt', '4'], 'changed-echo', 'the echo differs from the frame'],
  ]) {
    await t.test(outcome, async (t) => {
      const { page, bridge } = await openPage(t, [...flags, '--no-pace']);
      await upload(page, 'Download Failed');
      assert.equal(await text(page, '#prompt-text'), `Download Failed: ${reason}`);
      const line = await lastLogLine(page);
      assert.equal(line.outcome, outcome);
      assert.equal(bridge.frames.length, 1);
      if (outcome === 'no-echo') assert.ok(line.ms >= 1050 && line.ms < 2000, `failed after ${line.ms} ms`);
      // Every reader and writer was let go, so the port closes as Chrome's would.
      assert.deepEqual(await locksHeld(page), [false, false]);
      await page.evaluate(() => window.standIn.port.close());
    });
  }
});

test('a value out of range or not a number is refused before anything is sent', async (t) => {
  const { page, bridge } = await openPage(t);
  for (const [value, prompt] of [['300', 'Please enter an integer between 0 and 127.'],
    ['1O', 'Please enter an integer.']]) {
    await page.fill('#fwd\\.acc', value);
    await page.click('#upload');
    await waitForText(page, '#prompt-text', prompt);
    await page.click('#prompt-ok');
    await page.waitForFunction(() => document.activeElement.id === 'fwd.acc', null, { timeout: kBound });
  }
  assert.equal(await text(page, '#upload-status'), '');
  assert.deepEqual(await page.evaluate(() => window.standIn.written), []);
  assert.equal(bridge.frames.length, 0);
});

test('a line lost during an upload is reported, and the port is taken again when it is back', async (t) => {
  const { page, bridge } = await openPage(t, ['--drop-after', '5']);
  await upload(page, 'Download Failed');
  assert.equal((await lastLogLine(page)).outcome, 'line-lost');
  await page.click('#prompt-ok');
  await waitForText(page, '#port-status', 'Suceed Open Serial Port');
  await upload(page, 'Download Complete');
  assert.equal(bridge.frames.length, 1);
});

test('a port held by another program is explained, and Connect takes it once it is free', async (t) => {
  const { page } = await openPage(t);
  await page.evaluate(() => { window.standIn.heldElsewhere = true; });
  await page.click('#connect');
  await waitForText(page, '#port-status', 'Faild Open Serial Port');
  assert.match(await text(page, '#message'), /held by another program/);
  await page.evaluate(() => { window.standIn.heldElsewhere = false; });
  await page.click('#connect');
  await waitForText(page, '#port-status', 'Suceed Open Serial Port');
  await upload(page, 'Download Complete');
});

test('after a line error the next upload reads from a fresh stream', async (t) => {
  const { page } = await openPage(t);
  await page.evaluate(() => { window.standIn.lineErrorOnNextBytes = 'FramingError'; });
  await upload(page, 'Download Failed');
  assert.match(await text(page, '#prompt-text'), /FramingError/);
  await page.click('#prompt-ok');
  await upload(page, 'Download Complete');
});

// The file pickers hand out real handles of the origin's private file system, so the page's
// own read and write code runs; a page from disk has none, hence http.
const pickers = () => {
  const handle = async (name) => (await navigator.storage.getDirectory()).getFileHandle(name, { create: true });
  window.pickedFile = 'InitialParameter.dll';
  window.showOpenFilePicker = async () => [await handle(window.pickedFile)];
  window.showSaveFilePicker = async () => handle(window.pickedFile);
  window.fileText = async (name, text) => {
    const file = await handle(name);
    if (text !== undefined) {
      const writable = await file.createWritable();
      await writable.write(text);
      await writable.close();
    }
    return (await file.getFile()).text();
  };
};

test('a parameter file is opened, edited and saved in the format of the dialog, another file is refused', async (t) => {
  const { page } = await openPage(t, [], { overHttp: true, initScript: `(${pickers})()` });
  await page.evaluate(() => window.fileText('InitialParameter.dll', '4\r\n1 20 60 30 2\n7 61 9 250 1500 3000 1 0 1 1'));
  await page.click('#open');
  await waitForText(page, '#message', 'Opened InitialParameter.dll');
  assert.equal(await page.inputValue('#fwd\\.speed'), '60');
  assert.equal(await page.isChecked('#fwd\\.source-1'), true);
  await page.fill('#rev\\.dec', '42');
  await page.click('#save');
  await waitForText(page, '#message', 'Saved InitialParameter.dll');
  // The port index has no control here and goes back as it came; reverse DEC precedes ACC.
  assert.equal(await page.evaluate(() => window.fileText('InitialParameter.dll')),
    '4 1 20 60 30 2 42 61 9 250 1500 3000 1 0 1 1 ');

  const frame = await text(page, '#frame');
  await page.evaluate(() => window.fileText('picture.png', '\x89PNG\r\n\x1a\n 1 2 3'));
  await page.evaluate(() => { window.pickedFile = 'picture.png'; });
  await page.click('#open');
  await waitForText(page, '#message', 'picture.png is not a parameter file');
  assert.equal(await text(page, '#frame'), frame);
});

test('without Web Serial the page says where uploads work and still edits files; it reaches no network', async () => {
  const context = await browser.newContext();
  try {
    // Firefox or Safari: neither Web Serial nor the file system pickers.
    await context.addInitScript(() => {
      delete Navigator.prototype.serial;
      delete window.showOpenFilePicker;
      delete window.showSaveFilePicker;
    });
    const page = await context.newPage();
    await page.goto(pageUrl);
    await pageReady(page);
    assert.match(await text(page, '#message'), /Chrome or Edge/);
    assert.equal(await page.isDisabled('#upload'), true);
    assert.equal(await page.isEnabled('#open'), true);
    const blocked = await page.evaluate((bound) => new Promise((resolve) => {
      document.addEventListener('securitypolicyviolation', (event) => resolve(event.effectiveDirective));
      setTimeout(resolve, bound, 'no violation reported');
      new WebSocket('ws://127.0.0.1:9/');
    }), kBound / 2);
    assert.equal(blocked, 'connect-src');

    const file = '0 2 5 9 5 0 5 9 5 1 0 0 0 0 0 1 ';
    const [chooser] = await Promise.all([page.waitForEvent('filechooser'), page.click('#open')]);
    await chooser.setFiles({ name: 'InitialParameter.dll', mimeType: 'text/plain', buffer: Buffer.from(file) });
    await waitForText(page, '#message', 'Opened InitialParameter.dll');
    const [download] = await Promise.all([page.waitForEvent('download'), page.click('#save')]);
    assert.equal(download.suggestedFilename(), 'InitialParameter.dll');
    assert.equal(readFileSync(await download.path(), 'utf8'), file);

    // The language is the page's choice, kept for the next visit.
    await page.selectOption('#language', 'zh');
    await page.reload();
    await pageReady(page);
    assert.equal(await text(page, '#upload'), '上传参数');
    assert.equal(await text(page, '#painted-15'), '循环次数：');
    assert.match(await text(page, '#message'), /Chrome 或 Edge/);
  } finally {
    await context.close();
  }
});

test('every control of the dialog is where its template puts it, over the picture', async () => {
  const template = dialogControls(readFileSync(new URL('../../res/VKD37.rc', import.meta.url), 'utf8'),
    'IDD_MAIN');
  const context = await browser.newContext();
  try {
    const page = await context.newPage();
    await page.goto(pageUrl);
    await pageReady(page);
    const { form, boxes } = await page.evaluate((ids) => {
      const box = (id) => document.getElementById(id).getBoundingClientRect().toJSON();
      return { form: box('form'), boxes: ids.map(box) };
    }, kControls.map((control) => control.id));
    // 4 × 8 dialog units are 7 × 15 pixels of the 989 pixels wide picture that the form scales.
    const scale = form.width / 989;
    kControls.forEach((control, index) => {
      const [x, y, w, h] = template[control.control];
      const expected = [x * 7 / 4, y * 15 / 8, w * 7 / 4, (control.height ?? h) * 15 / 8].map((v) => v * scale);
      const { x: left, y: top, width, height } = boxes[index];
      const placed = [left - form.x, top - form.y, width, height];
      assert.ok(placed.every((v, k) => Math.abs(v - expected[k]) < 1),
        `${control.id} (${control.control}) at ${placed}, not ${expected}`);
    });
  } finally {
    await context.close();
  }
});
