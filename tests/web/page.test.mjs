// vkd37.html end to end in Debian's headless Chromium: only navigator.serial is replaced, by a
// stand-in port whose bytes cross the loopback bridge to the real simulator at 9600 baud. Every
// page a test opens fails it on an uncaught error, an unhandled rejection or an error in the
// console, other than those the test provokes.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';
import { kSameScanMs } from '../../web/page/label-queue.mjs';
import { kMakeWayRounds, kPruneCount } from '../../web/page/records.mjs';
import { kControls } from '../../web/page/layout.mjs';
import { kUploadLock } from '../../web/page/record-store.mjs';
import { dialogControls } from '../../web/tools/dialog-template.mjs';
import { SimulatorBridge } from './bridge.mjs';

const pageUrl = pathToFileURL(process.env.VKD_PAGE).href;
const simulatorPath = process.env.VKD_SIMULATOR;
const standIn = readFileSync(new URL('./serial-stand-in.js', import.meta.url), 'utf8');
const kBound = 10_000; // a generous bound on every outcome waited for
const kChromium = {
  executablePath: process.env.VKD_CHROMIUM ?? '/usr/bin/chromium',
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'],
};

let browser;
const bridges = new WeakMap(); // each tab's bridge, for what a wait that ran out says
before(async () => { browser = await chromium.launch(kChromium); });
after(() => browser?.close());

// Ready for input; then the log counted and the port opened again, which the page does not wait for.
async function pageReady(page, bound = kBound) {
  await page.waitForFunction(() => window.vkd37Ready && document.body.dataset.ready === 'true', null, { timeout: bound });
  await page.evaluate((ms) => Promise.race([Promise.all([window.vkd37Page.record.ready, window.vkd37Page.port.ready]),
    new Promise((resolve, reject) => setTimeout(() => reject(new Error('the page did not settle in time')), ms))]), bound);
}

function scratchFolder(t) {
  const folder = mkdtempSync(join(tmpdir(), 'vkd37-page-'));
  t.after(() => rmSync(folder, { recursive: true, force: true }));
  return folder;
}

// Settings of a profile that refuse what a policy may: all site data, or the file pickers.
const kBlockSiteData = { cookies: 2 };
const kBlockFilePickers = { file_system_read_guard: 2, file_system_write_guard: 2 };

// A browser context, fresh or with a profile whose settings refuse what `blocked` names.
async function newContext(t, { blocked = null, ...options } = {}) {
  if (!blocked) return browser.newContext(options);
  const profile = mkdtempSync(join(tmpdir(), 'vkd37-profile-'));
  mkdirSync(join(profile, 'Default'));
  writeFileSync(join(profile, 'Default', 'Preferences'),
    JSON.stringify({ profile: { default_content_setting_values: blocked } }));
  const context = await chromium.launchPersistentContext(profile, { ...kChromium, ...options });
  // The browser writes its profile until it has ended.
  t.after(async () => {
    await context.close();
    rmSync(profile, { recursive: true, force: true });
  });
  return context;
}

// A page of the context whose errors fail the test, but for those matching `expected`.
async function watchedPage(t, context, expected = []) {
  const page = await context.newPage();
  const errors = [];
  page.on('pageerror', (error) => errors.push(error.message));
  page.on('console', (entry) => { if (entry.type() === 'error') errors.push(entry.text()); });
  t.after(() => assert.deepEqual(errors.filter((error) => !expected.some((e) => e.test(error))), []));
  return page;
}

// A tab of the context with a stand-in port of its own, joined to a simulator run with `flags`.
// The page comes from `url`, or from disk, or over http from the tab's bridge when `overHttp`.
// beforeLoad(page, bridge) may prepare the browser first.
async function openTab(t, context, flags = [], { overHttp = false, initScript = null, url = null, beforeLoad } = {}) {
  // Each echo in one piece: the bridge runs in this process, so a loaded machine can hold back
  // the rest of a paced echo longer than the page waits between two bytes, which no adapter's
  // driver would.
  const bridge = await SimulatorBridge.start(simulatorPath, ['--no-pace', ...flags]);
  bridge.pagePath = process.env.VKD_PAGE;
  t.after(() => bridge.stop());
  const page = await watchedPage(t, context);
  bridges.set(page, bridge);
  await page.addInitScript(`(${standIn})(${JSON.stringify(bridge.url)})`);
  if (initScript) await page.addInitScript(initScript);
  await beforeLoad?.(page, bridge);
  await page.goto(url ?? (overHttp ? bridge.pageUrl : pageUrl));
  await pageReady(page);
  return { page, bridge };
}

// The page in a context of its own, as openTab has it.
async function openPage(t, flags = [], { blocked = null, ...options } = {}) {
  // The page's policy forbids every connection; the stand-in's socket is the test's own.
  const context = await newContext(t, { bypassCSP: true, blocked });
  t.after(() => context.close());
  return { ...(await openTab(t, context, flags, options)), context };
}

// The page from disk as a browser without the stand-in has it, in a window of `options`.
async function plainPage(t, { initScript = null, expectedErrors = [], ...options } = {}) {
  const context = await browser.newContext(options);
  t.after(() => context.close());
  if (initScript) await context.addInitScript(initScript);
  const page = await watchedPage(t, context, expectedErrors);
  await page.goto(pageUrl);
  await pageReady(page);
  return page;
}

const text = (page, selector) => page.locator(selector).textContent();
// A wait that ran out says what the page showed and logged instead, and what the simulator noted.
async function waitFor(page, predicate, arg, bound = kBound) {
  try {
    return await page.waitForFunction(predicate, arg, { timeout: bound });
  } catch (error) {
    const state = await page.evaluate(() => [
      `shown: ${['#upload-status', '#message', '#prompt-text', '#ask-text', '#log-state']
        .map((s) => `${s}: ${document.querySelector(s)?.textContent ?? ''}`).join('; ')}`,
      `port: ${window.standIn?.trace.join(', ')}`,
      `log: ${window.vkd37Page?.record.shown.map((entry) => `${entry.unit} ${entry.outcome}`).join(', ')}; ` +
        `counts ${JSON.stringify(window.vkd37Page?.record.counts)}`,
    ]).catch(() => []);
    state.push(`simulator: ${bridges.get(page)?.simulatorErrors ?? ''}`);
    error.message += state.map((line) => `\n  ${line}`).join('');
    throw error;
  }
}
const waitForText = (page, selector, expected) => waitFor(page,
  ([s, e]) => document.querySelector(s)?.textContent.includes(e), [selector, expected]);
// The log is drawn after an upload's outcome is shown.
const logDrawn = (page) => page.evaluate(() => window.vkd37Page.record.refreshed);
const lastLogLine = (page) => logDrawn(page).then(() => page.evaluate(() => window.vkd37Page.record.shown.at(-1)));
const locksHeld = (page) => page.evaluate(() => [window.standIn.port.stream?.locked ?? false,
  window.standIn.port.sink?.locked ?? false]);

// Holds every upload, once its echo has come or timed out, from keeping its entry and showing its
// outcome until the function returned is called, as a chunk of another tab's long work on the log
// holds it: what a test does meanwhile happens during the upload however slow the machine. Held
// once it resolves. A hold `before` is let go as soon as this one is asked for, so that this one
// holds the upload that follows those the first held.
async function holdUploads(page, before = null) {
  // Handed on from `before`, the hold is queued behind the upload that one holds back, never ahead
  // of it: that upload asks for its turn once under way, which a slow page reaches late.
  if (before) {
    await waitFor(page, async (name) => (await navigator.locks.query()).pending
      .some((lock) => lock.name === name && lock.mode === 'shared'), kUploadLock);
  }
  const release = await page.evaluateHandle(([name, releaseBefore]) => new Promise((held) => {
    navigator.locks.request(name, () => new Promise((resolve) => held(resolve)));
    releaseBefore?.();
  }), [kUploadLock, before?.release ?? null]);
  const letGo = () => release.evaluate((resolve) => resolve());
  letGo.release = release;
  return letGo;
}

// How long the page was kept from running while act() ran: the lateness of a timer it sets every
// 10 ms, beyond the few milliseconds a timer may be late on any machine, added up. A bound on how
// long the page took allows for it, since a machine busy elsewhere delays the page's own timers
// as much.
async function starvedDuring(page, act) {
  await page.evaluate(() => {
    window.starved = 0;
    let due = performance.now() + 10;
    const tick = () => {
      const now = performance.now();
      window.starved += Math.max(0, now - due - 4);
      due = now + 10;
      window.starvedTimer = setTimeout(tick, 10);
    };
    window.starvedTimer = setTimeout(tick, 10);
  });
  await act();
  return page.evaluate(() => {
    clearTimeout(window.starvedTimer);
    return Math.round(window.starved);
  });
}

async function upload(page, status) {
  await page.click('#upload');
  await waitForText(page, '#upload-status', status);
  await logDrawn(page);
}

// The file pickers hand out real handles of the origin's private file system, so the page's
// own read and write code runs; a page from disk has none, hence http.
const pickers = () => {
  const folder = () => navigator.storage.getDirectory();
  const handle = async (name) => (await folder()).getFileHandle(name, { create: true });
  window.pickedFile = 'InitialParameter.dll';
  window.showOpenFilePicker = async () => {
    const picked = await handle(window.pickedFile);
    // Moved away after it was picked.
    if (window.movedAfterPicking) await (await folder()).removeEntry(window.pickedFile);
    return [picked];
  };
  // pickerFails: the name of the error the save picker throws, as a cancel or a policy makes it.
  window.showSaveFilePicker = async (options) => {
    if (window.pickerFails) throw new DOMException('The save picker did not pick.', window.pickerFails);
    return handle(options?.suggestedName ?? window.pickedFile);
  };
  window.fileText = async (name, text, asBytes = false) => {
    const file = await handle(name);
    if (text !== undefined) {
      const writable = await file.createWritable();
      await writable.write(text);
      await writable.close();
    }
    // Byte for byte: a byte order mark stays.
    const bytes = await (await file.getFile()).arrayBuffer();
    return asBytes ? Array.from(new Uint8Array(bytes)) : new TextDecoder('utf-8', { ignoreBOM: true }).decode(bytes);
  };
};

const withPickers = { overHttp: true, initScript: `(${pickers})()` };

const jsonLines = (text) => (text.trim() ? text.trimEnd().split('\n').map((line) => JSON.parse(line)) : []);

// Presses a button that writes a file through the save picker; the file's text once written.
async function savedText(page, button, name, bound = kBound) {
  await page.evaluate((file) => { window.vkd37Page.language.clearMessage(); return window.fileText(file, ''); }, name);
  await page.click(button);
  await page.waitForFunction((file) => document.getElementById('message').textContent.includes(file), name,
    { timeout: bound });
  return page.evaluate((file) => window.fileText(file), name);
}

// Clicks and answers the box that the click opens; the box's text.
function answered(page, selector, accept) {
  const asked = new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`${selector} opened no box`)), kBound);
    page.once('dialog', (dialog) => {
      clearTimeout(timer);
      resolve(dialog.message());
      return accept ? dialog.accept() : dialog.dismiss();
    });
  });
  return page.click(selector).then(() => asked);
}

// The frame the tool makes of a parameter file, with changes.
function toolFrame(t, file, changes = []) {
  const path = join(scratchFolder(t), 'InitialParameter.dll');
  writeFileSync(path, file);
  const args = ['frame', path, ...(changes.length ? ['--set', ...changes] : []), '--json'];
  return JSON.parse(execFileSync(process.env.VKD_TOOL, args)).bytes;
}

test('a good upload reaches the simulator exactly, and a second click meanwhile does nothing', async (t) => {
  const { page, bridge } = await openPage(t, [], withPickers);
  assert.equal(await text(page, '#port-status'), 'Suceed Open Serial Port');
  assert.deepEqual(await page.evaluate(() => window.standIn.openOptions), {
    baudRate: 9600, dataBits: 8, parity: 'none', stopBits: 1, flowControl: 'none', bufferSize: 1024 });
  await page.fill('#fwd\\.speed', '60');
  await page.fill('#cycles', '250');
  await page.check('#cycles\\.on');
  // The tool's frame for the same values: the dialog's first-start file with the three changes.
  const expected = toolFrame(t, '0 0 10 108 10 0 10 108 10 100 2000 2000 0 0 0 0 ',
    ['fwd.speed=60', 'cycles=250', 'cycles.on=on']);
  assert.equal((await text(page, '#frame')).replaceAll(' ', ''), expected);

  // The second click lands while the first upload is under way, held until the click is done; a
  // third one after it.
  const box = await page.locator('#upload').boundingBox();
  const letGo = await holdUploads(page);
  await page.click('#upload');
  await waitForText(page, '#upload-status', 'Uploading\u2026\u2026');
  await page.mouse.click(box.x + box.width / 2, box.y + box.height / 2);
  assert.equal(await text(page, '#upload-status'), 'Uploading\u2026\u2026', 'the upload was not held');
  await letGo();
  await waitForText(page, '#upload-status', 'Download Complete');
  await page.check('#batch');
  await upload(page, 'Download Complete');
  assert.deepEqual(bridge.frames.map((frame) => frame.bytes), [expected, expected]);
  assert.match(await text(page, '#message'), /Connect the next controller/);
  assert.equal(await text(page, '#log-summary'), '2 uploads: 2 confirmed, 0 failed');
  assert.deepEqual(await locksHeld(page), [false, false]);

  // The log as a file: one JSON object a line, the line `vkd37 --log` writes, with the values
  // sent by their names.
  const lines = jsonLines(await savedText(page, '#download-log', 'vkd37-commissioning.jsonl'));
  assert.equal(lines.length, 2);
  assert.deepEqual(Object.keys(lines[1]), ['time', 'port', 'frame', 'outcome', 'ms', 'values', 'program', 'prev']);
  assert.deepEqual([lines[1].port, lines[1].frame, lines[1].outcome], ['usb:0403:6001', expected, 'confirmed']);
  assert.deepEqual([lines[1].values['fwd.speed'], lines[1].values.cycles, lines[1].values['cycles.on']], [60, 250, 1]);
  assert.match(lines[1].program, /^vkd37\.html \d+\.\d+/);
});

test('failed echoes are reported with their reason and leave the port free', async (t) => {
  // Unpaced, so that a busy machine cannot stretch a gap inside the echo past 100 ms.
  for (const [flags, outcome, reason] of [
    [['--silent'], 'no-echo', 'no echo'],
    [['--echo-bytes', '10'], 'short-echo', 'short echo (10 of 19 bytes)'],
    [['--corrupt', '4'], 'changed-echo', 'the echo differs from the frame'],
  ]) {
    await t.test(outcome, async (t) => {
      const { page, bridge } = await openPage(t, flags);
      const starved = await starvedDuring(page, () => upload(page, 'Download Failed'));
      assert.equal(await text(page, '#prompt-text'), `Download Failed: ${reason}`);
      const line = await lastLogLine(page);
      assert.equal(line.outcome, outcome);
      assert.equal(bridge.frames.length, 1);
      if (outcome === 'no-echo') {
        const { transferLimitMs } = await page.evaluate(() => window.vkd37Page.core.timing);
        assert.ok(line.ms >= transferLimitMs && line.ms < transferLimitMs + 1000 + starved,
          `failed after ${line.ms} ms, the page kept from running for ${starved} ms`);
      }
      // Every reader and writer was let go, so the port closes as Chrome's would.
      assert.deepEqual(await locksHeld(page), [false, false]);
      await page.evaluate(() => window.standIn.port.close());
    });
  }
});

test('refusals are the dialog\'s: its order of checks, its blanks, the whole text selected after, nothing sent', async (t) => {
  const { page, bridge } = await openPage(t);
  const fill = async (values) => {
    for (const [id, value] of Object.entries(values)) await page.fill(`#${id.replace('.', '\\.')}`, value);
  };
  const good = { 'fwd.acc': '10', 'rev.acc': '10', 'rev.dec': '10', cycles: '100', home_delay_ms: '2000' };
  for (const [typed, prompt, focus] of [
    [{ 'fwd.acc': '300' }, 'Please enter an integer between 0 and 127.', 'fwd.acc'],
    [{ 'fwd.acc': '1O' }, 'Please enter an integer.', 'fwd.acc'],
    // The cycle count is checked before the ramps, and before the delays are read at all.
    [{ 'fwd.acc': '300', cycles: '65536' }, 'Please enter an integer between 0 and 65535.', 'cycles'],
    [{ cycles: '65536', home_delay_ms: 'x' }, 'Please enter an integer between 0 and 65535.', 'cycles'],
    // The reverse ramps are checked DEC first.
    [{ 'rev.acc': '200', 'rev.dec': '200' }, 'Please enter an integer between 0 and 127.', 'rev.dec'],
    // Only the blanks "%d" skips may stand around a number.
    [{ 'fwd.acc': '\u00A012' }, 'Please enter an integer.', 'fwd.acc'],
    [{ 'fwd.acc': '12\u3000' }, 'Please enter an integer.', 'fwd.acc'],
    [{ 'fwd.acc': '\uFEFF12' }, 'Please enter an integer.', 'fwd.acc'],
  ]) {
    await fill(typed);
    await page.click('#upload');
    await waitForText(page, '#prompt[open] #prompt-text', prompt);
    await page.click('#prompt-ok');
    await waitFor(page, (id) => document.activeElement?.id === id, focus);
    assert.deepEqual(await page.evaluate(() => {
      const { selectionStart, selectionEnd, value } = document.activeElement;
      return [selectionStart, selectionEnd - value.length];
    }), [0, 0], `the whole of "${typed[focus]}" is selected`);
    await fill(good);
  }
  assert.equal(await text(page, '#upload-status'), '');
  assert.deepEqual(await page.evaluate(() => window.standIn.written), []);
  assert.equal(bridge.frames.length, 0);

  await fill({ 'fwd.acc': ' \t12 ' });
  await upload(page, 'Download Complete');
  assert.equal(bridge.frames[0].bytes.slice(4, 6), '0C');
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

test('a port held by another program, or by another tab of this page, is explained, and Connect takes it once it is free', async (t) => {
  for (const [holder, tabs, said] of [
    ['another program', [[]], /^The port is held by another program/],
    ['another tab of this page', [[], []], /^The port is held by another tab of this page\. Close that tab/],
  ]) {
    await t.test(holder, async (t) => {
      const page = (await openTabs(t, tabs)).at(-1);
      await page.evaluate(() => { window.standIn.heldElsewhere = true; });
      await page.click('#connect');
      await waitForText(page, '#port-status', 'Faild Open Serial Port');
      assert.match(await text(page, '#message'), said);
      await page.evaluate(() => { window.standIn.heldElsewhere = false; });
      await page.click('#connect');
      await waitForText(page, '#port-status', 'Suceed Open Serial Port');
      await upload(page, 'Download Complete');
    });
  }
});

test('after a line error the next upload reads from a fresh stream', async (t) => {
  const { page } = await openPage(t);
  await page.evaluate(() => { window.standIn.lineErrorOnNextBytes = 'FramingError'; });
  await upload(page, 'Download Failed');
  assert.match(await text(page, '#prompt-text'), /FramingError/);
  await page.click('#prompt-ok');
  // What is left of the spoilt echo has come, and the next upload's purge drops it.
  await waitFor(page, () => window.standIn.received === window.standIn.written.length);
  await upload(page, 'Download Complete');
});

test('a port that fails without a word is opened again and the frame sent once more in the same click', async (t) => {
  const { page, bridge } = await openPage(t);
  // A fatal write error: Chrome leaves both streams null and fires no event.
  await page.evaluate(() => { window.standIn.failOnNextWrite = 'UnknownError'; });
  await upload(page, 'Download Complete');
  assert.equal(bridge.frames.length, 1);
  assert.equal(await page.evaluate(() => window.standIn.opens), 2);
  assert.equal((await lastLogLine(page)).outcome, 'confirmed');

  // The same, but the port will not open again: the page says so and asks for Connect.
  await page.evaluate(() => { window.standIn.failOnNextWrite = 'UnknownError'; window.standIn.heldElsewhere = true; });
  await upload(page, 'Download Failed');
  assert.equal(await text(page, '#port-status'), 'Faild Open Serial Port');
  assert.match(await text(page, '#message'), /press Connect/);
  assert.equal((await lastLogLine(page)).outcome, 'line-lost');
  assert.equal(bridge.frames.length, 1);
});

test('ports that come and go are opened and closed one at a time, and one port at most is held', async (t) => {
  const { page } = await openPage(t);
  await page.evaluate(() => window.standIn.unplug());
  await waitForText(page, '#port-status', 'Faild Open Serial Port');
  // Two adapters come back in one task.
  await page.evaluate(() => window.standIn.plugIn(2));
  await waitForText(page, '#port-status', 'Suceed Open Serial Port');
  await page.evaluate(() => window.vkd37Page.port.queue);
  await waitFor(page, () => window.standIn.ports.every((port) => port.state !== 'opening'));
  assert.deepEqual(await page.evaluate(() => {
    const open = window.standIn.ports.filter((port) => port.state === 'open');
    return [open.length, open[0] === window.vkd37Page.port.link.port];
  }), [1, true]);
});

test('without an open port Upload asks for Connect, sends nothing and records nothing', async (t) => {
  for (const [condition, initScript] of [
    ['no port granted', 'window.standIn.granted = false'],
    ['a port that would not open', 'window.standIn.heldElsewhere = true'],
  ]) {
    await t.test(condition, async (t) => {
      const { page, bridge } = await openPage(t, [], { initScript });
      await upload(page, 'Download Failed');
      assert.equal(await text(page, '#prompt-text'), 'Download Failed: no port is open; press Connect');
      assert.deepEqual(await page.evaluate(() => [window.standIn.written, window.vkd37Page.record.shown]), [[], []]);
      assert.equal(bridge.frames.length, 0);
    });
  }
});

test('an upload whose write never returns ends within its time-outs, and the next one opens the port again', async (t) => {
  const { page, bridge } = await openPage(t);
  // Neither the write nor its abort ever comes back.
  await page.evaluate(() => { window.standIn.writeNeverReturns = true; });
  const starved = await starvedDuring(page, () => upload(page, 'Download Failed'));
  const line = await lastLogLine(page);
  assert.equal(line.outcome, 'write-failed');
  // The write's and the read's time-outs, and a margin.
  const { transferLimitMs } = await page.evaluate(() => window.vkd37Page.core.timing);
  assert.ok(line.ms < 2 * transferLimitMs + 500 + starved,
    `ended after ${line.ms} ms, the page kept from running for ${starved} ms`);
  await page.click('#prompt-ok');
  await page.evaluate(() => { window.standIn.writeNeverReturns = false; });
  await upload(page, 'Download Complete');
  assert.equal(bridge.frames.length, 1);
});

// A scanner typing `keys` ('\n' for Enter) `gapMs` apart, however late a loaded machine lets the
// test send them: each key is stamped with the page's time at which the scanner sent it.
async function scannerTypes(page, keys, gapMs = 5) {
  const cdp = await page.context().newCDPSession(page);
  const sentAt = await page.evaluate(() => performance.timeOrigin + performance.now());
  let ms = 0;
  for (const character of keys) {
    const key = character === '\n' ? { key: 'Enter', code: 'Enter', windowsVirtualKeyCode: 13 }
      : { key: character, windowsVirtualKeyCode: character.toUpperCase().charCodeAt(0) };
    const text = character === '\n' ? '\r' : character;
    await cdp.send('Input.dispatchKeyEvent', { type: 'keyDown', ...key, text, timestamp: (sentAt + ms) / 1000 });
    await cdp.send('Input.dispatchKeyEvent', { type: 'keyUp', ...key, timestamp: (sentAt + ms + 2) / 1000 });
    ms += gapMs;
  }
}

// A scanner that ends a label with Enter twice sends the second a few milliseconds after the first.
const doubledEnter = (page) => scannerTypes(page, '\n\n', 10);

test('batch mode: a scanner names each unit without a mouse, a label sent before is asked about, the batch prompt goes as the next upload starts', async (t) => {
  const { page, bridge } = await openPage(t);
  await page.check('#batch');
  // A barcode scanner types the label and Enter, wherever the focus is: in Unit.
  const scan = async (label) => {
    await page.keyboard.type(label);
    await page.keyboard.press('Enter');
  };
  const inUnitSelected = () => waitFor(page, () => {
    const { id, selectionStart, selectionEnd, value } = document.activeElement;
    return id === 'unit' && selectionStart === 0 && selectionEnd === value.length && value.length > 0;
  });
  await page.focus('#unit');
  await scan('A-0017');
  await waitForText(page, '#upload-status', 'Download Complete');
  await inUnitSelected();
  assert.match(await text(page, '#message'), /Connect the next controller/);

  // The next controller does not answer; its label replaces the last one. The message is noted
  // as the upload starts: the page's time-out may have ended the upload before a slow test looks.
  await page.evaluate(() => {
    window.standIn.swallowEcho = true;
    const status = document.getElementById('upload-status');
    new MutationObserver((_, observer) => {
      if (status.textContent !== 'Uploading\u2026\u2026') return;
      observer.disconnect();
      window.messageAsUploadStarts = document.getElementById('message').textContent;
    }).observe(status, { childList: true, characterData: true, subtree: true });
  });
  await scan(' A-0018\t');
  await waitForText(page, '#upload-status', 'Download Failed');
  assert.equal(await page.evaluate(() => window.messageAsUploadStarts), '');
  await page.waitForTimeout(kSameScanMs); // a person reads the box first
  await page.keyboard.press('Enter'); // the prompt's OK
  await inUnitSelected();
  assert.equal(await text(page, '#message'), '');

  // The same label again is asked about in a box: Escape sends nothing, Enter sends it again.
  await page.evaluate(() => { window.standIn.swallowEcho = false; });
  const asked = () => waitForText(page, '#ask[open] #ask-text',
    'A-0018 was already sent in this batch. Press Enter to send it again, or scan or type another label.');
  await scan('A-0018');
  await asked();
  await page.keyboard.press('Escape');
  await inUnitSelected();
  assert.equal(bridge.frames.length, 2);
  await doubledEnter(page); // its second Enter does not answer the box
  await asked();
  await page.waitForTimeout(kSameScanMs); // a person reads the box first
  await page.keyboard.press('Enter');
  await waitForText(page, '#upload-status', 'Download Complete');
  await inUnitSelected();
  // A scanner that reads the same label twice does not answer the box: its second reading is
  // taken as the next label, and asked about in turn.
  await scan('A-0018');
  await asked();
  await scan('A-0018');
  await asked();
  // As above, with the keys in before the closed box's close event, as a busy page takes them:
  // that event does not answer the box the Enter opens again.
  await page.evaluate(async () => {
    const key = (id, name) => document.getElementById(id).dispatchEvent(new KeyboardEvent('keydown',
      { key: name, bubbles: true, cancelable: true }));
    const settle = async () => { for (let i = 0; i < 100; i++) await null; }; // promises only, no task
    key('ask-yes', 'A');
    await settle();
    document.getElementById('unit').value = 'A-0018';
    key('unit', 'Enter');
    await settle();
  });
  await asked();
  await page.keyboard.press('Escape');
  await page.keyboard.type('A-0019');
  await page.keyboard.press('Enter');
  await waitFor(page, () => window.vkd37Page.record.counts.all === 4);
  assert.deepEqual(await page.evaluate(() => window.vkd37Page.record.shown.map((entry) => [entry.unit, entry.outcome])),
    [['A-0017', 'confirmed'], ['A-0018', 'no-echo'], ['A-0018', 'confirmed'], ['A-0019', 'confirmed']]);
  assert.equal(bridge.frames.length, 4);
  // An input method's Enter ends what it composes, and starts no upload.
  const ime = await page.context().newCDPSession(page);
  await ime.send('Input.imeSetComposition', { text: 'A-0018', selectionStart: 6, selectionEnd: 6 });
  await ime.send('Input.dispatchKeyEvent', { type: 'rawKeyDown', key: 'Enter', windowsVirtualKeyCode: 229 });
  assert.equal(await page.$('#ask[open]'), null);
  await ime.send('Input.insertText', { text: 'A-0018' });

  // Out of batch mode the focus is back on Upload, so that Enter serves the next controller; held
  // there, it presses Upload once.
  await page.uncheck('#batch');
  await page.focus('#unit');
  await page.keyboard.press('Enter');
  await waitFor(page, () => document.activeElement?.id === 'upload');
  assert.equal(bridge.frames.length, 5);
  // There a label names the one upload it went with, not the next.
  await page.keyboard.press('Enter');
  await waitFor(page, () => window.vkd37Page.record.counts.all === 6);
  assert.deepEqual(await page.evaluate(() => window.vkd37Page.record.shown.slice(-2).map((entry) => entry.unit ?? null)),
    ['A-0018', null]); // the label the input method wrote into Unit
  await waitFor(page, () => document.activeElement?.id === 'upload');
  await page.evaluate(() => document.getElementById('upload').addEventListener('click', () => { window.clicks = (window.clicks ?? 0) + 1; }));
  for (let repeat = 0; repeat < 3; repeat++) await page.keyboard.down('Enter');
  await page.keyboard.up('Enter');
  assert.equal(await page.evaluate(() => window.clicks), 1);
});

// The tool's --unit-pattern in the page, in either language; nothing is sent for a label it refuses.
test('batch mode: the unit pattern refuses, in characters and in either language, a label it does not match; nothing is sent', async (t) => {
  const { page, bridge } = await openPage(t);
  assert.equal(await page.isVisible('#unit-pattern'), false);
  await page.check('#batch');
  const refused = async (expected, control) => {
    await page.click('#upload');
    await waitForText(page, '#prompt[open] #prompt-text', expected);
    await page.waitForTimeout(kSameScanMs); // a person reads the box first
    await page.keyboard.press('Enter');
    await waitFor(page, (id) => document.activeElement?.id === id, control);
  };
  await page.fill('#unit-pattern', '线-.{2}');
  await page.fill('#unit', '线-甲');
  await refused('The unit label 线-甲 does not match the unit pattern 线-.{2}.', 'unit');
  // A scanner's second Enter does not close the refusal unread.
  await doubledEnter(page);
  await waitForText(page, '#prompt[open] #prompt-text', 'The unit label 线-甲 does not match the unit pattern 线-.{2}.');
  await page.waitForTimeout(kSameScanMs);
  assert.equal(await page.evaluate(() => document.getElementById('prompt').open), true);
  await page.keyboard.press('Enter');
  await page.selectOption('#language', 'zh');
  await refused('设备编号 线-甲 不符合编号格式 线-.{2}。', 'unit');
  await page.fill('#unit', '');
  await refused('需要符合编号格式 线-.{2} 的设备编号。', 'unit');
  await page.fill('#unit-pattern', '(a)\\1');
  await refused('编号格式 (a)\\1 不是有效的格式：其中引用了前面的分组', 'unit-pattern');
  assert.equal(bridge.frames.length, 0);
  await page.fill('#unit-pattern', '(?<line>\\p{sc=Han})-(?<=-)甲乙');
  await page.fill('#unit', '\u3000线-甲乙 ');
  await upload(page, '下载完成');
  assert.equal((await lastLogLine(page)).unit, '线-甲乙');
  assert.equal(bridge.frames.length, 1);
});

// The page's unit pattern is the tool's: each pattern and label is taken or refused as the tool
// takes or refuses it, a pattern for the tool's reason; and none keeps the page busy.
test('the unit pattern: the page takes and refuses patterns and labels as the tool does', async (t) => {
  const page = await plainPage(t);
  const folder = scratchFolder(t);
  // What the tool says of a label before anything is sent: a port that is not there comes after.
  const settings = join(folder, 'p.dll');
  execFileSync(process.env.VKD_TOOL, ['set', settings, 'fwd.acc=17']);
  const tool = (pattern, label) => {
    try {
      execFileSync(process.env.VKD_TOOL, ['upload', settings, '--port', join(folder, 'none'),
        '--unit', label, '--unit-pattern', pattern], { encoding: 'utf8', stdio: 'pipe' });
    } catch (failed) {
      const invalid = failed.stderr.match(/is not a pattern: (.*)/);
      if (invalid) return { answer: 'pattern', reason: invalid[1] };
      if (failed.stderr.includes('does not match')) return { answer: 'label' };
      if (failed.stderr.includes('too long to check')) return { answer: 'tooLong' };
      return { answer: 'takes' };
    }
    throw new Error('the tool sent to a port that is not there');
  };
  const judge = (pattern, label) => page.evaluate(async ([p, l]) => {
    document.getElementById('unit-pattern').value = p;
    const refusal = await window.vkd37Page.batch.refusal(l);
    if (!refusal) return { answer: 'takes' };
    if (refusal.text.key === 'unitRefused') return { answer: 'label' };
    if (refusal.text.key === 'unitTooLong') return { answer: 'tooLong' };
    const reason = refusal.text.args[1];
    return { answer: 'pattern', reason: typeof reason === 'string' ? reason : undefined };
  }, [pattern, label]);
  const bounded = (answer) => Promise.race([answer, new Promise((resolve, reject) =>
    setTimeout(() => reject(new Error('the page did not answer in time')), kBound))]);
  const kCases = [
    ['线-.{2}', '线-甲乙'], ['.{4}', '号1'], ['.{4}', '号12'], // characters, not bytes
    ['(?<=A-)\\d+|A-\\d{4}', 'A-0017'], ['A-(?<!A-)\\d+', 'A-17'], // lookbehind
    ['(?<line>[A-Z])-\\d+', 'B-12'], ['(?<line>[A-Z])-(?<line>\\d)', 'B-1'], // named groups
    ['\\p{L}+-\\d+', '线甲-12'], ['\\p{L}+', 'A1'], ['\\p{Lu}\\p{sc=Han}', 'A线'],
    ['(a)\\1', 'aa'], ['F-[', 'F-1'], ['(?:a{1,200}){1,100}', 'a'], // refused patterns
    [`${'('.repeat(101)}a${')'.repeat(101)}`, 'a'],
    ['(a+)+', `${'a'.repeat(40)}b`], ['(a*)*c', 'a'.repeat(40)], // no backtracking
    ['A{0,600}', 'A'.repeat(100000)], // too long to check, and a label that grows the memory
  ];
  for (const [pattern, label] of kCases) {
    const expected = tool(pattern, label);
    const shown = await bounded(judge(pattern, label));
    assert.equal(shown.answer, expected.answer, `${pattern} against ${label}`);
    if (shown.reason !== undefined) assert.equal(shown.reason, expected.reason, pattern);
  }
});

// A profile the tool made, opened in the page: an edit shows its changes above the form as the
// tool's diff says them. In station mode a scanner (a label and Enter, typed at once) drives unit
// after unit: the profile goes out, PASS or FAIL is shown large with the label, no box opens, a
// label the pattern refuses sends nothing, a unit done today is named; the values stay locked
// until Leave is pressed twice; each entry names the station and the profile's identity.
test('station mode applies an opened profile unit after unit from a scanner, with no box and the values locked', async (t) => {
  const { page, bridge } = await openPage(t);
  const folder = scratchFolder(t);
  const tool = (...args) => execFileSync(process.env.VKD_TOOL, args, { encoding: 'utf8' });
  const [profile, settings] = [join(folder, 'line3.json'), join(folder, 'edited.dll')];
  tool('profile', 'new', 'Line 3', profile, '--set', 'fwd.acc=17', 'cycles.on=on');
  const { identity } = JSON.parse(tool('profile', 'show', profile, '--json'));
  tool('profile', 'settings', profile, settings);
  tool('set', settings, 'fwd.acc=20', 'rev.speed=60');
  let diff;
  try {
    tool('diff', profile, settings);
  } catch (differ) {
    diff = differ.stdout.split('\n').filter((line) => line.startsWith('  ')).map((line) => line.slice(2));
  }
  await page.setInputFiles('#profile-input', profile);
  await waitForText(page, '#message', `Profile Line 3 [${identity.slice(0, 12)}] opened.`);
  assert.equal(await page.isHidden('#changes'), true);
  await page.fill('#fwd\\.acc', '20');
  await page.fill('#rev\\.speed', '60');
  const shown = await page.locator('#changes li').allTextContents();
  assert.deepEqual(shown, diff);
  await page.fill('#fwd\\.acc', '17');

  await page.fill('#station-name', 'bench-9');
  // A pattern the tool refuses, or none at all, is named so, and station mode is not entered.
  const inert = () => page.evaluate(() => document.getElementById('form').inert);
  for (const [pattern, reason] of [['(.)\\1', 'it refers back'], ['F-[', 'unterminated character class']]) {
    await page.fill('#station-pattern', pattern);
    await page.click('#station-enter');
    await waitForText(page, '#message', `The unit pattern ${pattern} is not a pattern: ${reason}`);
  }
  assert.equal(await inert(), false);
  await page.fill('#station-pattern', 'F-[0-9]+');
  const unloadAsks = () => page.evaluate(() => !window.dispatchEvent(new Event('beforeunload', { cancelable: true })));
  assert.equal(await unloadAsks(), false);
  await page.click('#station-enter');
  assert.equal(await inert(), true);
  assert.equal(await unloadAsks(), true); // a reload would leave station mode
  const scan = async (label) => {
    await page.keyboard.type(label);
    await page.keyboard.press('Enter');
  };
  const verdict = async (word, label) => {
    await waitFor(page, ([w, l]) => document.getElementById('station-verdict').textContent === w &&
      document.getElementById('station-unit').textContent === l && document.activeElement?.id === 'station-scan', [word, label]);
  };
  await scan('F-1');
  await verdict('PASS', 'F-1');
  assert.equal(bridge.frames[0].bytes, JSON.parse(tool('frame', settings, '--set', 'fwd.acc=17', 'rev.speed=108', '--json')).bytes);
  // Named as the reports name it: a backslash typed is shown doubled, as no escape.
  await scan('G-\\x1D2');
  await waitForText(page, '#station-note', 'G-\\\\x1D2 does not match the unit pattern');
  await scan('F-1');
  await waitForText(page, '#station-warning', 'confirmed today already');
  await verdict('PASS', 'F-1');
  await page.evaluate(() => { window.standIn.swallowEcho = true; });
  await scan('F-3');
  await verdict('FAIL', 'F-3');
  assert.equal(await page.$('dialog[open]'), null);
  assert.equal(bridge.frames.length, 3);
  await logDrawn(page);
  const entries = await page.evaluate(() => window.vkd37Page.record.shown);
  assert.deepEqual(entries.map((entry) => [entry.unit, entry.outcome, entry.station, entry.profileId]),
    [['F-1', 'confirmed', 'bench-9', identity], ['F-1', 'confirmed', 'bench-9', identity],
      ['F-3', 'no-echo', 'bench-9', identity]]);

  // A stray click of Leave puts the focus back in the scan field: the next scan is a scan, and
  // no Enter, even on Leave, is the second press.
  await page.evaluate(() => { window.standIn.swallowEcho = false; });
  await page.click('#station-leave');
  await waitForText(page, '#station-note', 'again to leave');
  assert.equal(await page.evaluate(() => document.activeElement?.id), 'station-scan');
  await scan('F-4');
  await verdict('PASS', 'F-4');
  await page.click('#station-leave');
  await page.focus('#station-leave');
  await page.keyboard.press('Enter');
  assert.equal(await inert(), true);

  // After a reload the kept log still knows what was confirmed today; a failed unit is not named.
  page.on('dialog', (dialog) => dialog.accept());
  await page.reload();
  await pageReady(page);
  await page.setInputFiles('#profile-input', profile);
  await page.click('#station-enter');
  await scan('F-3');
  await verdict('PASS', 'F-3');
  assert.equal(await text(page, '#station-warning'), '');
  await scan('F-4');
  await waitForText(page, '#station-warning', 'confirmed today already');
  await verdict('PASS', 'F-4');
  // Both presses in one gesture, well inside the time the page allows between them.
  await page.click('#station-leave', { clickCount: 2 });
  assert.equal(await inert(), false);
});

// A scanner does not wait for an upload: each label scanned meanwhile is taken in its turn, and
// whole, however the verdict before it falls among its keys.
test('station mode takes the labels scanned during an upload in turn, each whole', async (t) => {
  const { page } = await openPage(t);
  const profile = join(scratchFolder(t), 'line.json');
  execFileSync(process.env.VKD_TOOL, ['profile', 'new', 'Line', profile]);
  await page.setInputFiles('#profile-input', profile);
  await page.click('#station-enter');
  // Where the focus is at each Enter.
  await page.evaluate(() => document.addEventListener('keydown', (event) => event.key === 'Enter' &&
    (window.enters ??= []).push(document.activeElement.id)));
  // The second label scanned while the first is under way: both in one task, so that no verdict
  // comes between them however slow the machine; it waits, and is shown waiting. The uploads are
  // held, so that the first verdict falls among the third label's keys.
  const letFirstGo = await holdUploads(page);
  const waiting = await page.evaluate(() => {
    const scan = document.getElementById('station-scan');
    for (const label of ['F-1001', 'F-1002']) {
      scan.value = label;
      scan.dispatchEvent(new KeyboardEvent('keydown', { key: 'Enter', bubbles: true, cancelable: true }));
    }
    return document.getElementById('station-waiting').textContent;
  });
  assert.match(waiting, /F-1002/);
  await page.keyboard.type('F-10');
  assert.equal(await text(page, '#station-unit'), 'F-1001', 'the first upload was not held');
  const letSecondGo = await holdUploads(page, letFirstGo);
  await waitFor(page, () => document.getElementById('station-unit').textContent === 'F-1002' &&
    window.vkd37Page.upload.uploading);
  assert.match(await text(page, '#station-recent'), /F-1001 PASS/);
  await page.keyboard.type('03');
  await page.keyboard.press('Enter');
  await letSecondGo();
  await waitFor(page, () => window.vkd37Page.record.counts.all === 3, null, 3 * kBound);
  await logDrawn(page);
  assert.deepEqual(await page.evaluate(() => window.vkd37Page.record.shown.map((entry) => [entry.unit, entry.outcome])),
    [['F-1001', 'confirmed'], ['F-1002', 'confirmed'], ['F-1003', 'confirmed']]);
  // Each label was scanned in the scan field.
  const enters = await page.evaluate(() => window.enters);
  assert.deepEqual(enters, ['station-scan', 'station-scan', 'station-scan']);
});

test('a parameter file is opened, edited and saved as the dialog keeps it; one moved since it was picked is refused', async (t) => {
  const { page } = await openPage(t, [], withPickers);
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
  await page.evaluate(() => { window.movedAfterPicking = true; });
  await page.click('#open');
  await waitForText(page, '#message', 'InitialParameter.dll could not be read: ');
  assert.equal(await text(page, '#frame'), frame);
});

// Firefox's or Safari's lack, or what a page gets whose pickers the browser refuses: Open… takes
// the file input, which the test fills with exact bytes.
const withoutFilePickers = () => {
  delete window.showOpenFilePicker;
  delete window.showSaveFilePicker;
};

async function openThroughChooser(page, bytes, name = 'InitialParameter.dll') {
  const [chooser] = await Promise.all([page.waitForEvent('filechooser'), page.click('#open')]);
  await chooser.setFiles({ name, mimeType: 'text/plain', buffer: Buffer.from(bytes) });
}

test('a file is read from its bytes with the dialog\'s reader, as far as it goes, and sent as the dialog would send it', async (t) => {
  const { page, bridge } = await openPage(t, [], { initScript: withoutFilePickers });
  const full = '4 1 20 60 30 2 42 61 9 250 1500 3000 1 0 1 1 ';
  const nul = Buffer.from('4 1 20 60 30 2 42 61 9 250 1500 3000\0 1 0 1 1');
  // What the dialog loads: the values read, 0 for the others.
  const loaded = (read) => `${read} ${'0 '.repeat(16 - read.split(' ').length)}`.replace(/ +$/, ' ');
  for (const [name, bytes, said, read, sent] of [
    ['UTF-8 with a byte-order mark, CRLF', Buffer.concat([Buffer.from([0xEF, 0xBB, 0xBF]),
      Buffer.from(full.replaceAll(' ', '\r\n'))]), 'Opened InitialParameter.dll.', full.trim(), true],
    ['15 values', full.slice(0, -3), 'it holds 15 of the 16 values; the others are 0',
      full.slice(0, -3).trim(), true],
    ['a NUL after 12 values', nul, `reading stopped at byte ${nul.indexOf(0)} (not a number) after 12 of the 16 values`,
      '4 1 20 60 30 2 42 61 9 250 1500 3000', true],
    ['UTF-16', Buffer.concat([Buffer.from([0xFF, 0xFE]), Buffer.from(full, 'utf16le')]),
      'reading stopped at byte 0 (not a number) after 0 of the 16 values', '0', false],
    ['3 1', '3 1', 'it holds 2 of the 16 values', '3 1', false],
    ['empty', '', 'it holds 0 of the 16 values', '0', false],
    ['a number past 32 bits', '4 1 20 4294967356 30', 'reading stopped at byte 7 (a number beyond 32 bits) after 3 of the 16 values',
      '4 1 20', false],
  ]) {
    await openThroughChooser(page, bytes);
    await waitForText(page, '#message', said);
    const frame = toolFrame(t, loaded(read));
    assert.equal((await text(page, '#frame')).replaceAll(' ', ''), frame, name);
    const frames = bridge.frames.length;
    await page.click('#upload');
    if (sent) {
      await waitForText(page, '#upload-status', 'Download Complete');
      assert.equal(bridge.frames.at(-1).bytes, frame, name);
    } else {
      await waitFor(page, () => document.querySelector('#prompt').open);
      await page.click('#prompt-ok');
      assert.equal(bridge.frames.length, frames, `${name}: refused by the form's checks, as in the dialog`);
    }
  }
});

test('a speed source the buttons cannot show is refused before anything is sent, naming its group; a flag of 2 shows ticked and goes as 1', async (t) => {
  const file = '0 3 10 108 10 -1 10 108 10 100 2000 2000 2 0 0 2 ';
  const { page, bridge } = await openPage(t, [], { initScript: withoutFilePickers });
  await openThroughChooser(page, file);
  await waitForText(page, '#message', 'Opened InitialParameter.dll');
  assert.deepEqual(await page.evaluate(() => ['fwd.source-0', 'fwd.source-1', 'fwd.source-2', 'rev.source-0',
    'rev.source-1', 'rev.source-2', 'cycles.on', 'auto_home'].map((id) => document.getElementById(id).checked)),
  [false, false, false, false, false, false, true, true]);
  assert.equal(await text(page, '#frame'), '');
  for (const [group, focus, choice] of [['forward', 'fwd.source-0', '#fwd\\.source-1'],
    ['reverse', 'rev.source-0', '#rev\\.source-2']]) {
    await page.click('#upload');
    await waitForText(page, '#prompt[open] #prompt-text', `Please choose the ${group} speed source.`);
    await page.click('#prompt-ok');
    await waitFor(page, (id) => document.activeElement?.id === id, focus);
    await page.check(choice);
  }
  assert.equal(bridge.frames.length, 0);
  const expected = toolFrame(t, file, ['fwd.source=1', 'rev.source=2', 'cycles.on=1', 'auto_home=1']);
  assert.equal((await text(page, '#frame')).replaceAll(' ', ''), expected);
  await upload(page, 'Download Complete');
  assert.deepEqual(bridge.frames.map((frame) => frame.bytes), [expected]);
});

test('each upload writes the opened file where the page may; otherwise it shows unsaved changes and closing asks', async (t) => {
  const { page } = await openPage(t, [], withPickers);
  await page.evaluate(() => window.fileText('InitialParameter.dll', '4 1 20 60 30 2 42 61 9 250 1500 3000 1 0 1 1'));
  await page.click('#open');
  await waitForText(page, '#message', 'Opened InitialParameter.dll');
  await page.fill('#fwd\\.speed', '77');
  await upload(page, 'Download Complete');
  await waitForText(page, '#message', 'Saved InitialParameter.dll');
  assert.equal(await page.evaluate(() => window.fileText('InitialParameter.dll')),
    '4 1 20 77 30 2 42 61 9 250 1500 3000 1 0 1 1 ');

  // Writing refused: the file stays as it was and is shown to lack the changes.
  await page.evaluate(() => {
    FileSystemHandle.prototype.queryPermission = async () => 'prompt';
    FileSystemHandle.prototype.requestPermission = async () => 'denied';
  });
  await page.fill('#fwd\\.speed', '78');
  await upload(page, 'Download Complete');
  await waitForText(page, '#file-state', 'InitialParameter.dll has changes that are not saved');
  assert.match(await page.evaluate(() => window.fileText('InitialParameter.dll')), / 77 /);
  await savedText(page, '#download-log', 'vkd37-commissioning.jsonl');
  const asked = page.waitForEvent('dialog', { timeout: kBound });
  await page.close({ runBeforeUnload: true });
  const dialog = await asked;
  assert.equal(dialog.type(), 'beforeunload');
  await dialog.accept();
});

test('the opened file is written only while it holds what the page read or last wrote there; a change by another program stays, and the page says why', async (t) => {
  const { page } = await openPage(t, [], withPickers);
  const fileText = () => page.evaluate(() => window.fileText('InitialParameter.dll'));
  const writeElsewhere = (contents) => page.evaluate((c) => window.fileText('InitialParameter.dll', c), contents);
  const uploadAndWrite = async (speed) => {
    await page.fill('#fwd\\.speed', speed);
    await upload(page, 'Download Complete');
    await page.evaluate(() => window.vkd37Page.file.writes);
  };
  const openAgain = async () => {
    await page.evaluate(() => { document.getElementById('message').textContent = ''; });
    await page.click('#open');
    await waitForText(page, '#message', 'Opened InitialParameter.dll.');
  };
  await writeElsewhere('4 1 20 60 30 2 42 61 9 250 1500 3000 1 0 1 1 ');
  await openAgain();
  // The page's own writes follow one another.
  await uploadAndWrite('61');
  await uploadAndWrite('62');
  assert.equal(await fileText(), '4 1 20 62 30 2 42 61 9 250 1500 3000 1 0 1 1 ');

  // Another program (`vkd37 set`, say) changes the port meanwhile: neither the upload nor Save
  // writes over it.
  const other = '5 1 20 62 30 2 42 61 9 250 1500 3000 1 0 1 1 ';
  await writeElsewhere(other);
  await uploadAndWrite('63');
  await page.click('#save');
  await page.evaluate(() => window.vkd37Page.file.writes);
  assert.equal(await fileText(), other);
  assert.equal(await text(page, '#file-state'), 'InitialParameter.dll has changes that are not saved: another ' +
    'program changed the file since the page read or last saved it, so the page did not write over it; open it ' +
    'again to take its values, or use Save as… to replace it.');
  await page.selectOption('#language', 'zh');
  assert.match(await text(page, '#file-state'), /^InitialParameter\.dll 有未保存的更改：自本页面读取或上次保存以来，该文件已被其他程序更改/);
  await page.selectOption('#language', 'en');

  // A change of the same size within the same modification time is told by the bytes.
  await page.evaluate(() => Object.defineProperty(File.prototype, 'lastModified', { get: () => 0 }));
  await openAgain();
  const sameSize = '6 1 20 62 30 2 42 61 9 250 1500 3000 1 0 1 1 ';
  await writeElsewhere(sameSize);
  await uploadAndWrite('64');
  assert.equal(await fileText(), sameSize);
  assert.match(await text(page, '#file-state'), /another program changed the file/);

  // Opened again, it is written again.
  await openAgain();
  await uploadAndWrite('65');
  assert.equal(await fileText(), '6 1 20 65 30 2 42 61 9 250 1500 3000 1 0 1 1 ');
  assert.equal(await text(page, '#file-state'), '');

  // What the reader could not take is not written over after an upload, only by Save.
  const unread = '6 1 20 65 30 2 42 61 9 250 1500 3000\0 1 0 1 1';
  await writeElsewhere(unread);
  await page.click('#open');
  await waitForText(page, '#message', 'reading stopped at byte 36 (not a number) after 12 of the 16 values');
  await uploadAndWrite('66');
  assert.equal(await fileText(), unread);
  assert.equal(await text(page, '#file-state'), 'InitialParameter.dll has changes that are not saved: the page does ' +
    'not write over what it could not read (from byte 36 on); press Save to replace the whole file with the values on the form.');
  await page.click('#save');
  await page.evaluate(() => window.vkd37Page.file.writes);
  assert.equal(await fileText(), '6 1 20 66 30 2 42 61 9 250 1500 3000 0 0 0 0 ');
  assert.equal(await text(page, '#file-state'), '');
});

test('with the file pickers refused by the browser the page says so, opens through its file chooser, and offers a download in place of a save', async (t) => {
  const { page } = await openPage(t, [], { blocked: kBlockFilePickers });
  // Playwright's file chooser handler would stand in for the refused picker, so the first click,
  // which meets the refusal, goes without one.
  await page.click('#open');
  await waitForText(page, '#notice', 'This browser does not let the page use its file pickers here');
  const file = '4 1 20 60 30 2 42 61 9 250 1500 3000 1 0 1 1 ';
  await openThroughChooser(page, file);
  await waitForText(page, '#message', 'Opened InitialParameter.dll.');
  await page.fill('#fwd\\.speed', '66');
  await upload(page, 'Download Complete');
  await waitForText(page, '#file-state', 'InitialParameter.dll has changes that are not saved: this browser ' +
    'does not let the page write files here; press Save to download the file.');
  for (const button of ['#save', '#save-as']) {
    const [download] = await Promise.all([page.waitForEvent('download'), page.click(button)]);
    assert.equal(download.suggestedFilename(), 'InitialParameter.dll');
    assert.equal(readFileSync(await download.path(), 'utf8'), file.replace(' 60 ', ' 66 '));
  }
});

test('the commissioning record survives a closed tab until it is written to a file, and closing asks before that', async (t) => {
  const { page, context, bridge } = await openPage(t, [], withPickers);
  await upload(page, 'Download Complete');
  const asked = page.waitForEvent('dialog', { timeout: kBound });
  await page.close({ runBeforeUnload: true });
  const dialog = await asked;
  assert.equal(dialog.type(), 'beforeunload');
  await dialog.dismiss();
  await page.close();

  const { page: next } = await openTab(t, context, [], { ...withPickers, url: bridge.pageUrl });
  assert.equal(await text(next, '#log-summary'), '1 upload: 1 confirmed, 0 failed');
  const [line] = jsonLines(await savedText(next, '#download-log', 'vkd37-commissioning.jsonl'));
  assert.equal(line.outcome, 'confirmed');
  // Written, it is cleared without asking, and closing no longer asks either.
  const dialogs = [];
  next.on('dialog', (shown) => { dialogs.push(shown.type()); return shown.dismiss(); });
  await next.click('#clear-log');
  await waitFor(next, () => document.getElementById('log-summary').textContent === '' && !document.querySelector('#log tr'));
  assert.deepEqual(dialogs, []);
  const closed = next.waitForEvent('close', { timeout: kBound });
  await next.close({ runBeforeUnload: true });
  await closed;
});

// Tabs of one browser profile, each with an adapter and a simulator of its own (run with the
// flags given), all with the page from the first tab's address.
async function openTabs(t, flagsOfTabs, options = withPickers) {
  const context = await newContext(t, { bypassCSP: true });
  t.after(() => context.close());
  const tabs = [];
  for (const flags of flagsOfTabs) {
    const { page } = await openTab(t, context, flags, { ...options, url: tabs[0]?.url() });
    tabs.push(page);
  }
  return tabs;
}

const summaryIs = (page, expected) =>
  waitFor(page, (summary) => document.getElementById('log-summary').textContent === summary, expected);
// The log's shown rows, by their outcome cell.
const shownOutcomes = (page) => page.$$eval('#log tr', (rows) => rows.map((row) => row.cells[4].textContent));

test('every tab\'s entries are kept, whatever the order of uploads, downloads and clears across tabs', async (t) => {
  await t.test('three uploads, tab A, tab B, tab A, leave three, and both tabs show them', async (t) => {
    // Tab B's controller answers short, so that its entry is told apart.
    const [a, b] = await openTabs(t, [[], ['--echo-bytes', '10']]);
    await upload(a, 'Download Complete');
    await upload(b, 'Download Failed');
    await b.click('#prompt-ok');
    await upload(a, 'Download Complete');
    for (const tab of [a, b]) await summaryIs(tab, '3 uploads: 2 confirmed, 1 failed');
    // Each tab shows the others' entries too, in order, as it counts them.
    const [confirmed, short] = await shownOutcomes(a);
    assert.notEqual(confirmed, short);
    for (const tab of [a, b]) assert.deepEqual(await shownOutcomes(tab), [confirmed, short, confirmed]);
    await b.reload();
    await pageReady(b);
    assert.equal(await text(b, '#log-summary'), '3 uploads: 2 confirmed, 1 failed');
    assert.deepEqual(jsonLines(await savedText(b, '#download-log', 'vkd37-commissioning.jsonl'))
      .map((line) => line.outcome), ['confirmed', 'short-echo', 'confirmed']);
  });

  await t.test('a tab open since the morning downloads every tab\'s entries and wipes none', async (t) => {
    const [morning, a] = await openTabs(t, [[], []]);
    // Asleep, as a tab in the background may be: it hears nothing of the other's uploads.
    await morning.evaluate(() => window.vkd37Page.record.channel?.close());
    await upload(a, 'Download Complete');
    await upload(a, 'Download Complete');
    // A browser's plain download, which the morning tab has offered since it opened.
    await morning.evaluate(() => { window.showSaveFilePicker = undefined; });
    const [download] = await Promise.all([morning.waitForEvent('download'), morning.click('#download-log')]);
    assert.equal(jsonLines(readFileSync(await download.path(), 'utf8')).length, 2);
    await a.reload();
    await pageReady(a);
    assert.equal(await text(a, '#log-summary'), '2 uploads: 2 confirmed, 0 failed');
  });

  await t.test('Clear in one tab is not undone by the next upload in another', async (t) => {
    const [a, b] = await openTabs(t, [[], []]);
    await upload(a, 'Download Complete');
    await upload(b, 'Download Complete');
    b.on('dialog', (asked) => asked.accept());
    await b.click('#clear-log');
    for (const tab of [a, b]) await summaryIs(tab, '');
    await upload(a, 'Download Complete');
    for (const tab of [a, b]) await summaryIs(tab, '1 upload: 1 confirmed, 0 failed');
    // None of the cleared entries is still shown.
    for (const tab of [a, b]) assert.equal((await shownOutcomes(tab)).length, 1);
    await b.reload();
    await pageReady(b);
    assert.equal(await text(b, '#log-summary'), '1 upload: 1 confirmed, 0 failed');
  });
});

test('a database closed under the tab is opened again, or the page says who has it; the tab\'s entries stay downloadable', async (t) => {
  // The browser is asked once to keep the page's data under pressure.
  const persistWatch = 'navigator.storage.persist = async () => { window.persistAsked = (window.persistAsked ?? 0) + 1; return false; }';
  for (const [how, close, said] of [
    ['the site\'s data deleted', async (page, bridge) => {
      const session = await page.context().newCDPSession(page);
      await session.send('Storage.clearDataForOrigin', { origin: new URL(bridge.pageUrl).origin, storageTypes: 'indexeddb' });
    }, ''],
    ['a newer page upgrading the database in another tab', async (page, bridge) => {
      const newer = await page.context().newPage();
      await newer.goto(bridge.pageUrl);
      await newer.evaluate(() => new Promise((resolve, reject) => Object.assign(indexedDB.open('vkd37', 99),
        { onsuccess: (event) => resolve(event.target.result.close()), onerror: reject })));
    }, 'Another tab of this page, a newer version of it, now keeps the log: download it from there. Entries made ' +
      'here since: 1, kept only in this tab; download the log before closing it.'],
  ]) {
    await t.test(how, async (t) => {
      const { page, bridge } = await openPage(t, [], { ...withPickers, initScript: `(${pickers})(); ${persistWatch}` });
      await upload(page, 'Download Complete');
      await close(page, bridge);
      await page.fill('#unit', 'after');
      await upload(page, 'Download Complete');
      await waitFor(page, (expected) => document.getElementById('log-state').textContent === expected, said);
      assert.deepEqual(jsonLines(await savedText(page, '#download-log', 'vkd37-commissioning.jsonl')).map((line) => line.unit),
        ['after']);
      assert.equal(await page.evaluate(() => window.persistAsked), 1);
      // Opened again, the page finds the database as the closing left it.
      await page.reload();
      await pageReady(page);
      assert.equal(await text(page, '#log-state'), said.replace('1, kept', '0, kept'));
    });
  }
});

test('a tab of the earlier page, with entries kept in its database, gives the database up to this page, which counts and downloads them all', async (t) => {
  // The earlier page's database as that page kept it: its entries, the first two downloaded, the
  // fourth failed, and its own counts beside them; its tab stays open and lets the database go
  // when asked, as that page did.
  const keptByEarlierPage = () => new Promise((resolve, reject) => {
    const request = indexedDB.open('vkd37', 1);
    request.onupgradeneeded = () => {
      request.result.createObjectStore('entries', { keyPath: 'key', autoIncrement: true }).createIndex('written', 'written');
      request.result.createObjectStore('counts').put({ all: 5, confirmed: 4, unwritten: 3 }, 'record');
      for (let i = 0; i < 5; i++) {
        const outcome = i === 3 ? 'no-echo' : 'confirmed';
        const line = JSON.stringify({ time: `2026-01-0${i + 1}T08:00:00.000Z`, unit: `E-${i}`, outcome });
        request.transaction.objectStore('entries').add({ line, outcome, written: i < 2 ? 1 : 0 });
      }
    };
    request.onsuccess = () => {
      request.result.onversionchange = () => { request.result.close(); window.gaveUp = true; };
      resolve();
    };
    request.onerror = () => reject(request.error);
  });
  const context = await newContext(t, { bypassCSP: true });
  t.after(() => context.close());
  let earlier;
  const { page } = await openTab(t, context, [], { ...withPickers, beforeLoad: async (_, bridge) => {
    earlier = await context.newPage();
    await earlier.route('**/earlier', (route) => route.fulfill({ contentType: 'text/html', body: '<!DOCTYPE html><title>earlier</title>' }));
    await earlier.goto(new URL('/earlier', bridge.pageUrl).href);
    await earlier.evaluate(keptByEarlierPage);
  } });
  assert.equal(await earlier.evaluate(() => window.gaveUp), true);
  assert.equal(await text(page, '#log-summary'), '5 uploads: 4 confirmed, 1 failed');
  assert.equal(await text(page, '#log-state'), '');
  assert.match(await answered(page, '#clear-log', false), /never written to a file: 3\./);
  await page.fill('#unit', 'F-1');
  await upload(page, 'Download Complete');
  assert.equal(await text(page, '#log-summary'), '6 uploads: 5 confirmed, 1 failed');
  assert.deepEqual(jsonLines(await savedText(page, '#download-log', 'vkd37-commissioning.jsonl')).map((line) => line.unit),
    ['E-0', 'E-1', 'E-2', 'E-3', 'E-4', 'F-1']);
  // Every entry now counts as written, which is what closing asks about.
  assert.deepEqual(await page.evaluate(() => window.vkd37Page.record.counts), { all: 6, confirmed: 5, unwritten: 0 });
});

test('a download counts only once the browser says the file was written: refused, cancelled or a plain download leave Clear asking', async (t) => {
  const { page } = await openPage(t, [], withPickers);
  await upload(page, 'Download Complete');
  const offered = 'The log was handed to the browser as a download. The page cannot tell whether it was kept, ' +
    'so Clear log still asks first.';
  // Writing refused with the browser's error: [its message, its name] while `refusal` is given.
  const refuseWriting = (refusal) => {
    const handle = FileSystemFileHandle.prototype;
    window.createWritable ??= handle.createWritable;
    handle.createWritable = refusal ? async () => { throw new DOMException(...refusal); } : window.createWritable;
  };
  for (const [how, refuse, said, refusal = true] of [
    ['no save picker', (on) => {
      window.savePicker ??= window.showSaveFilePicker;
      window.showSaveFilePicker = on ? undefined : window.savePicker;
    }, offered],
    ['the save picker refused by a policy', (on) => { window.pickerFails = on ? 'SecurityError' : null; },
      offered],
    ['the save dialog cancelled', (on) => { window.pickerFails = on ? 'AbortError' : null; },
      'Nothing was written: the save was cancelled.'],
    ['writing refused', refuseWriting, 'vkd37-commissioning.jsonl was not saved: Writing was refused.',
      ['Writing was refused.', 'NotAllowedError']],
    // A browser's error may come without a message: its name is said.
    ['writing refused without a word', refuseWriting, 'vkd37-commissioning.jsonl was not saved: QuotaExceededError.',
      ['', 'QuotaExceededError']],
  ]) {
    await t.test(how, async () => {
      await page.evaluate(refuse, refusal);
      await page.evaluate(() => window.vkd37Page.language.clearMessage());
      // A plain download is known to have been handed over once the browser has it; any other
      // outcome, once the page has said it.
      if (said === offered) await Promise.all([page.waitForEvent('download'), page.click('#download-log')]);
      else await page.click('#download-log');
      await waitForText(page, '#message', said);
      assert.equal(await text(page, '#message'), said);
      assert.equal(await answered(page, '#clear-log', false),
        'Entries of the log never written to a file: 1. Clear the log all the same?');
      await waitForText(page, '#message', 'The entries never written to a file were kept.');
      await page.evaluate(refuse, false);
      assert.equal(await text(page, '#log-summary'), '1 upload: 1 confirmed, 0 failed');
    });
  }
  // Written through the save picker, it is cleared without asking.
  await savedText(page, '#download-log', 'vkd37-commissioning.jsonl');
  const dialogs = [];
  page.on('dialog', (shown) => { dialogs.push(shown.message()); return shown.dismiss(); });
  await page.click('#clear-log');
  await summaryIs(page, '');
  assert.deepEqual(dialogs, []);
});

test('with 30,000 entries kept the page is ready, draws only the latest rows, an upload adds one, and an upload during their download waits for none of it', async (t) => {
  const { page } = await openPage(t, [], withPickers);
  // Months of use, kept in the page's first record shape: 20,000 of them downloaded, every tenth
  // one failed.
  const keepOldRecord = (count) => {
    const entries = Array.from({ length: count }, (_, i) => ({
      time: new Date(Date.UTC(2026, 0, 1) + i * 60000).toISOString(), port: 'COM3',
      frame: '03000A6B0A000A6B0A00006400000000000000', outcome: i % 10 ? 'confirmed' : 'no-echo', ms: 41,
    }));
    localStorage.setItem('vkd37.record', JSON.stringify({ entries, downloaded: 2 }));
    return entries[0];
  };
  // Taken into the browser's database once, which may take a while on a busy machine.
  const takenIn = async () => {
    await page.reload();
    await pageReady(page, 6 * kBound);
  };
  const first = await page.evaluate(keepOldRecord, 30000);
  await takenIn();
  await page.reload();
  await pageReady(page);
  assert.equal(await text(page, '#log-summary'), '30000 uploads: 27000 confirmed, 3000 failed (the latest 50 shown)');
  assert.equal(await page.locator('#log tr').count(), 50);

  await upload(page, 'Download Complete');
  await summaryIs(page, '30001 uploads: 27001 confirmed, 3000 failed (the latest 50 shown)');
  assert.equal(await page.locator('#log tr').count(), 50);
  assert.equal(await text(page, '#log tr:last-child td:nth-child(3)'), 'usb:0403:6001');
  // A tab of the earlier page, still open, writes its whole list again with one entry more:
  // only that one is new.
  page.on('dialog', (asked) => (asked.type() === 'beforeunload' ? asked.accept() : null));
  await page.evaluate(keepOldRecord, 30001);
  await takenIn();
  assert.equal(await text(page, '#log-summary'), '30002 uploads: 27001 confirmed, 3001 failed (the latest 50 shown)');

  assert.match(await answered(page, '#clear-log', false), /never written to a file: 30000\./);
  await waitForText(page, '#message', 'never written to a file were kept');
  // Once the file is written, its 30,000 entries are marked so, a chunk at a time; an upload
  // meanwhile waits for a chunk at most, and shows its outcome long before the marking ends and the
  // page says the file was written. An upload of another tab, under way as the file is closed,
  // keeps the marking from beginning until the upload here has begun, however slow the machine.
  // The entries marked and the message are noted as the outcome is shown.
  await page.evaluate((name) => {
    const { close } = FileSystemWritableFileStream.prototype;
    FileSystemWritableFileStream.prototype.close = function closed() {
      return close.call(this).then(() => new Promise((held) => navigator.locks.request(name, { mode: 'shared' }, () => {
        held();
        return new Promise((resolve) => { window.letMarkingBegin = resolve; });
      })));
    };
    window.marked = 0;
    const { put } = IDBObjectStore.prototype;
    IDBObjectStore.prototype.put = function counted(value, ...key) {
      if (value?.line !== undefined) window.marked++;
      return put.call(this, value, ...key);
    };
    const status = document.getElementById('upload-status');
    new MutationObserver((_, observer) => {
      if (status.textContent === 'Uploading\u2026\u2026') window.uploadBegun = true;
      if (!window.uploadBegun || status.textContent !== 'Download Complete') return;
      observer.disconnect();
      window.asShown = { marked: window.marked, message: document.getElementById('message').textContent };
    }).observe(status, { childList: true, characterData: true, subtree: true });
  }, kUploadLock);
  await page.evaluate(() => window.vkd37Page.language.clearMessage()); // what Clear log said
  await page.click('#download-log');
  // Until the marking's first chunk waits for the other tab's upload.
  await page.evaluate(async ([name, bound]) => {
    const until = performance.now() + bound;
    while (!(await navigator.locks.query()).pending.some((lock) => lock.name === name && lock.mode === 'exclusive')) {
      if (performance.now() > until) throw new Error('the marking did not begin');
      await new Promise((resolve) => setTimeout(resolve, 10));
    }
  }, [kUploadLock, kBound]);
  await page.click('#upload');
  await page.evaluate(() => window.letMarkingBegin());
  await waitFor(page, () => window.asShown);
  const { marked, message } = await page.evaluate(() => window.asShown);
  assert.ok(marked < 30000, `${marked} entries marked before the upload's outcome was shown`);
  assert.equal(message, '');
  await waitFor(page, () => document.getElementById('message').textContent.includes('vkd37-commissioning.jsonl'), null, 6 * kBound);
  const lines = jsonLines(await page.evaluate(() => window.fileText('vkd37-commissioning.jsonl')));
  assert.equal(lines.length, 30002);
  // Linked in the file: the first line to the file's start.
  assert.deepEqual(lines[0], { ...first, prev: '0'.repeat(64) });
  assert.match(await answered(page, '#clear-log', false), /never written to a file: 1\./);
});

// An origin quota of 4 MiB for the page's origin, set before the page opens its store.
async function quotaOf4MiB(page, bridge) {
  const session = await page.context().newCDPSession(page);
  await session.send('Storage.overrideQuotaForOrigin', { origin: new URL(bridge.pageUrl).origin, quotaSize: 4 * 2 ** 20 });
}

// Entries (`written` or not) added to a tab's kept log until the browser takes no more; how many
// it then keeps, as every tab is told.
const fillStore = (page, written = 0) => page.evaluate(async (written) => {
  const { record } = window.vkd37Page;
  const unit = () => Array.from(crypto.getRandomValues(new Uint8Array(400)), (byte) => byte.toString(36)).join('');
  const entry = () => ({ line: JSON.stringify({ time: new Date().toISOString(), unit: unit(), port: 'COM3', outcome: 'confirmed' }),
    outcome: 'confirmed', written });
  for (const size of [100, 1]) {
    try {
      for (let added = 0; added < 20000; added += size) await record.kept.addAll(Array.from({ length: size }, entry));
    } catch (error) {
      if (error.name !== 'QuotaExceededError') throw error;
    }
  }
  await record.changed();
  return record.counts.all;
}, written);

test('when room runs short, entries written out make way, entries not written out never do, and the page warns first', async (t) => {
  await t.test('the browser reports little room left', async (t) => {
    // The browser's report of its room is the test's.
    const room = 'navigator.storage.estimate = async () => ({ quota: 2 ** 30, usage: 2 ** 30 - (window.room ?? 2 ** 29) })';
    const { page } = await openPage(t, [], { overHttp: true, initScript: `(${pickers})(); ${room}` });
    await upload(page, 'Download Complete');
    await upload(page, 'Download Complete');
    await savedText(page, '#download-log', 'vkd37-commissioning.jsonl');
    await upload(page, 'Download Complete');
    await summaryIs(page, '3 uploads: 3 confirmed, 0 failed');

    // A megabyte left: the two written entries go, the unwritten ones stay.
    await page.evaluate(() => { window.room = 2 ** 20; });
    await upload(page, 'Download Complete');
    await summaryIs(page, '2 uploads: 2 confirmed, 0 failed');
    assert.equal(await text(page, '#log-state'), '');
    // Nothing written left to remove: the page says so before an entry is lost.
    await upload(page, 'Download Complete');
    await waitForText(page, '#log-state', 'running out of room for the log');
    const lines = jsonLines(await savedText(page, '#download-log', 'vkd37-commissioning.jsonl'));
    assert.equal(lines.length, 3);
    await waitFor(page, () => document.getElementById('log-state').textContent === '');
  });

  await t.test('a quota of a few MiB with room to spare: written entries stay, and no warning', async (t) => {
    const room = 'navigator.storage.estimate = async () => ({ quota: 4 * 2 ** 20, usage: 200 * 2 ** 10 })';
    const { page } = await openPage(t, [], { overHttp: true, initScript: `(${pickers})(); ${room}` });
    await upload(page, 'Download Complete');
    await page.evaluate(() => window.vkd37Page.record.refreshed);
    assert.equal(await text(page, '#log-state'), '');
    await savedText(page, '#download-log', 'vkd37-commissioning.jsonl');
    await upload(page, 'Download Complete');
    await page.evaluate(() => window.vkd37Page.record.refreshed);
    await summaryIs(page, '2 uploads: 2 confirmed, 0 failed');
  });

  await t.test('the browser refuses to keep more: 4 MiB for thousands of entries, downloaded, then written ones make way', async (t) => {
    const { page } = await openPage(t, [], { overHttp: true, beforeLoad: quotaOf4MiB });
    // Entries not yet written out, until the browser takes no more; how many are kept then.
    const fill = () => fillStore(page);
    const kept = await fill();
    assert.ok(kept >= 4000, `${kept} entries fill the store`);
    await upload(page, 'Download Complete');
    await waitForText(page, '#log-state', 'Entries kept only in this tab: 1.');

    // Written to a file on a disk of its own, as the origin's has no room for it.
    await page.evaluate(() => {
      window.showSaveFilePicker = async ({ suggestedName }) => ({ name: suggestedName, createWritable: async () => ({
        write: async () => {}, close: async () => {}, abort: async () => {} }) });
    });
    await page.click('#download-log');
    await waitForText(page, '#message', `The log (${kept + 1} entries) was written to vkd37-commissioning.jsonl.`);
    const state = () => page.evaluate(() => [window.vkd37Page.record.counts, document.getElementById('log-state').textContent]);
    const [written, writtenSaid] = await state();
    assert.deepEqual([written.unwritten, writtenSaid], [0, '']);
    // Full again: entries written out make way for the next upload's, as many as it takes where
    // a busy browser still refuses the write once some have gone.
    const full = await fill();
    await page.evaluate(() => {
      const { kept } = window.vkd37Page.record;
      const add = kept.add.bind(kept);
      window.adds = 0;
      kept.add = (...entry) => (++window.adds === 2 ? Promise.reject(new DOMException('busy', 'QuotaExceededError')) : add(...entry));
    });
    await upload(page, 'Download Complete');
    const [counts, said] = await state();
    assert.deepEqual([said, await page.evaluate(() => window.adds)], ['', 3]);
    assert.ok(counts.all <= full && counts.unwritten === full - written.all + 1, JSON.stringify({ written, full, counts }));
  });
});

test('Download spreadsheet, Download CSV and Print report give the kept log\'s report as `vkd37 report` makes it, in either language', async (t) => {
  // Every frame's print() is noted instead of opening the browser's print dialog, which then
  // closes as after a print.
  const printWatch = () => {
    if (window === window.top) window.printed = [];
    window.print = () => {
      const { width, height } = window.frameElement.getBoundingClientRect();
      window.top.printed.push({ lang: document.documentElement.lang, size: [width, height],
        styled: document.styleSheets[0]?.cssRules.length > 0, html: window.frameElement.srcdoc });
      setTimeout(() => window.dispatchEvent(new Event('afterprint')));
    };
  };
  const { page } = await openPage(t, [], withPickers);
  await page.check('#batch');
  for (const [unit, answers] of [['U-1', true], ['U-2', false], ['U-2', true]]) {
    await page.evaluate((swallow) => { window.standIn.swallowEcho = swallow; }, !answers);
    await page.fill('#unit', unit);
    await page.click('#upload');
    if (unit === 'U-2' && answers) await page.click('#ask-yes'); // once more
    await waitForText(page, '#upload-status', answers ? 'Download Complete' : 'Download Failed');
    if (!answers) await page.click('#prompt-ok');
  }
  const record = join(scratchFolder(t), 'record.jsonl');
  const log = await savedText(page, '#download-log', 'vkd37-commissioning.jsonl');
  writeFileSync(record, log);
  // The file is a chained record, which the tool checks; one value changed by hand in a line that
  // a later line links to fails at that line.
  const verify = (text) => {
    writeFileSync(record, text);
    const { status, stdout } = spawnSync(process.env.VKD_TOOL, ['report', '--verify', record], { encoding: 'utf8' });
    return [status, stdout.split('\n')[0].replace(`${record}: `, '').replace(/; head .*/, '')];
  };
  const logLines = log.trimEnd().split('\n');
  const edited = (number) => logLines.map((line, index) => (index + 1 === number
    ? line.replace(/"cycles":(\d+)/, (_, value) => `"cycles":${Number(value) + 1}`) : line)).join('\n') + '\n';
  assert.equal(logLines.length, 3);
  for (const [text, expected] of [
    [log, [0, 'the chain holds']],
    [edited(1), [1, 'the chain breaks at line 1: it was changed, or lines after it removed']],
    [edited(2), [1, 'the chain breaks between lines 2 and 3: line 2 was changed, or line 3 put in or changed (no linked line after it tells which)']],
  ]) assert.deepEqual(verify(text), expected);
  writeFileSync(record, log);
  const tool = (format, encoding = 'utf8') => execFileSync(process.env.VKD_TOOL, ['report', format, record], { encoding });
  assert.equal(await savedText(page, '#download-csv', 'vkd37-commissioning.csv'), tool('--csv'));
  await savedText(page, '#download-xlsx', 'vkd37-commissioning.xlsx');
  assert.deepEqual(Buffer.from(await page.evaluate((file) => window.fileText(file, undefined, true),
    'vkd37-commissioning.xlsx')), tool('--xlsx', 'buffer'));

  // Printed under the page's own policy, which the page above has lifted for the stand-in's
  // socket: the report's styles must be among those it allows. The same record is kept here in
  // the page's first shape, which the page takes in.
  const strict = await plainPage(t, { initScript: printWatch });
  await strict.evaluate((entries) => localStorage.setItem('vkd37.record', JSON.stringify({ entries, downloaded: 0 })),
    jsonLines(readFileSync(record, 'utf8')));
  await strict.reload();
  await pageReady(strict);
  await strict.click('#print-report');
  // The report's frame, and its memory, gone once printed.
  await waitFor(strict, () => window.printed.length === 1 && !document.getElementById('report'));
  const [{ html, ...shown }] = await strict.evaluate(() => window.printed);
  // The same page as the tool's, but for the program that made it and when.
  const madeOn = (page) => page.replace(/made on<\/dt><dd>[^<]*/, '');
  assert.equal(madeOn(html), madeOn(tool('--html').replace('<dd>vkd37 ', '<dd>vkd37.html ')));
  assert.deepEqual(shown, { lang: 'en', styled: true, size: [0, 0] });

  await strict.selectOption('#language', 'zh');
  assert.deepEqual(await Promise.all(['#download-xlsx', '#download-csv', '#print-report'].map((id) => text(strict, id))),
    ['下载电子表格', '下载 CSV', '打印报告']);
  await strict.click('#print-report');
  await waitFor(strict, () => window.printed.length === 2 && !document.getElementById('report'));
  const { html: htmlZh, ...shownZh } = (await strict.evaluate(() => window.printed))[1];
  assert.deepEqual(shownZh, { lang: 'zh-Hans', styled: true, size: [0, 0] });
  assert.match(htmlZh, /U-2/);
});

// Two stations' records opened together: station B's file repeats a line of A's, confirms A's unit
// with other values (a conflict), and A's file lacks a line (a gap). The page's summary, CSV,
// workbook and printed report are the tool's of the same files, given in the same order.
test('Open records reports several stations\' files as `vkd37 report` does', async (t) => {
  const { page } = await openPage(t, [], withPickers);
  const [a, b] = await page.evaluate(() => {
    const { core } = window.vkd37Page;
    const values = core.startValues();
    const other = [...values];
    other[core.fields.find((field) => field.name === 'fwd.speed').index] = 60;
    const line = (unit, station, minute, sent = values) => core.recordLine({ time: `2025-03-04T09:0${minute}:00.000Z`,
      port: 'COM3', unit, station }, sent, core.EchoOutcome.confirmed, 41);
    const aLines = core.chainLines(['U-1', 'U-2', 'U-3', 'U-4'].map((unit, i) => line(unit, 'A', i))).trimEnd().split('\n');
    const bLines = core.chainLines([aLines[0], line('U-1', 'B', 5, other), line('U-5', 'B', 6)]).trimEnd().split('\n');
    return [[aLines[0], ...aLines.slice(2)], bLines].map((lines) => `${lines.join('\n')}\n`);
  });
  const folder = scratchFolder(t);
  writeFileSync(join(folder, 'a.jsonl'), a);
  writeFileSync(join(folder, 'b.jsonl'), b);
  const tool = (...options) => execFileSync(process.env.VKD_TOOL, ['report', ...options, 'a.jsonl', 'b.jsonl'],
    { cwd: folder, encoding: options.includes('--xlsx') ? 'buffer' : 'utf8' });
  await page.setInputFiles('#record-files', [join(folder, 'a.jsonl'), join(folder, 'b.jsonl')]);
  await waitForText(page, '#records-summary', 'Record files:');
  const summary = await text(page, '#records-summary');
  assert.equal(summary, tool());
  assert.match(summary, /Attempts: +5\n[^]*\n {2}U-1: A \[[0-9a-f]+\] B \[[0-9a-f]+\]\n[^]*a\.jsonl \(station A\): the chain breaks at line 1[^\n]* - GAP\n {2}b\.jsonl \(station B\): the chain holds[^\n]*; 1 line read already/);

  assert.equal(await savedText(page, '#records-csv', 'vkd37-records.csv'), tool('--csv'));
  await savedText(page, '#records-xlsx', 'vkd37-records.xlsx');
  assert.deepEqual(Buffer.from(await page.evaluate((file) => window.fileText(file, undefined, true),
    'vkd37-records.xlsx')), tool('--xlsx'));
  const madeOn = (html) => html.replace(/made on<\/dt><dd>[^<]*/, '');
  const html = await page.evaluate(() => window.vkd37Page.core.reportHtml(1, 'en'));
  assert.equal(madeOn(html), madeOn(tool('--html').replace('<dd>vkd37 ', '<dd>vkd37.html ')));
  // A spreadsheet reads the workbook's sheet of the stations' records.
  writeFileSync(join(folder, 'records.xlsx'), tool('--xlsx'));
  const sheets = JSON.parse(execFileSync(join(import.meta.dirname, '../common/sheet-cells.py'),
    [join(folder, 'records.xlsx')], { encoding: 'utf8' }));
  assert.deepEqual(sheets['Station records'].rows.map((row) => row.slice(0, 3).map((cell) => cell[1])), [
    ['Finding', 'Unit or file', 'Stations'],
    ['confirmed with different values at two stations', 'U-1', 'A, B'],
    ['a gap: a line changed, cut or missing', 'a.jsonl', 'A'],
  ]);
  // The printed report names the conflict and the gap, as the summary does.
  assert.match(html, /<td>confirmed with different values at two stations<\/td><td>U-1<\/td><td>A, B<\/td><td>\[[0-9a-f]{12}\] \[[0-9a-f]{12}\]<\/td>/);
  assert.match(html, /<td>a gap: [^<]*<\/td><td>a\.jsonl<\/td><td>A<\/td><td>the chain breaks at line 1<\/td>/);

  await page.selectOption('#language', 'zh');
  await waitForText(page, '#records-summary', '调试报告');
  assert.deepEqual(await Promise.all(['#open-records', '#records-csv'].map((id) => text(page, id))), ['打开记录…', '下载 CSV']);
  // The stations' lines follow the switch too: from the first of them on, line for line with the
  // English, no Latin letters are left but the units', stations' and files' names and identities.
  const lines = summary.split('\n');
  const facts = lines.indexOf('Units confirmed with different values at different stations:');
  const linesZh = (await text(page, '#records-summary')).split('\n');
  assert.ok(facts > 0 && linesZh.length === lines.length, linesZh.join('\n'));
  assert.deepEqual(linesZh.slice(facts).filter((line) =>
    /[A-Za-z]/.test(line.replace(/[0-9a-f]{12}|[ab]\.jsonl|U-\d|\b[AB]\b/g, ''))), []);
});

// Printed to PDF as a customer gets it: with a 98-character label every column is on the page, on
// A4 and Letter alike, and every page has its number.
test('the printed report keeps every column on the paper and numbers its pages', async (t) => {
  const folder = scratchFolder(t);
  const record = join(folder, 'record.jsonl');
  const label = `LINE-3/${'0123456789'.repeat(10)}`.slice(0, 98);
  const entries = Array.from({ length: 60 }, (_, i) => ({
    time: `2025-03-04T09:${String(i).padStart(2, '0')}:00.000Z`, unit: i % 2 ? label : `U-${i}`,
    port: '/dev/ttyUSB0', frame: '03000A6B0A000A6B0A00006400000000000000', outcome: i % 3 ? 'confirmed' : 'no-echo', ms: 41,
  }));
  // A unit not confirmed heads the report in a list of its own, where a long label has no column.
  const notConfirmed = `LINE-4/${'ABCDEFGHIJ'.repeat(50)}`;
  entries.push({ ...entries[0], time: '2025-03-04T10:00:00.000Z', unit: notConfirmed });
  writeFileSync(record, entries.map((entry) => `${JSON.stringify(entry)}\n`).join(''));
  const page = await (await newContext(t)).newPage();
  await page.setContent(execFileSync(process.env.VKD_TOOL, ['report', '--html', record], { encoding: 'utf8' }));
  for (const format of ['A4', 'Letter']) {
    const pdf = join(folder, `${format}.pdf`);
    await page.pdf({ path: pdf, format });
    const boxes = execFileSync('pdftotext', ['-bbox', pdf, '-'], { encoding: 'utf8' });
    const pages = [...boxes.matchAll(/<page width="([\d.]+)"[^>]*>([^]*?)<\/page>/g)].map(([, width, words]) => ({
      width: Number(width),
      words: [...words.matchAll(/xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)"[^>]*>([^<]*)</g)]
        .map(([, x, y, end, word]) => ({ x: Number(x), y: Number(y), end: Number(end), word })),
    }));
    assert.ok(pages.length > 1, format);
    pages.forEach(({ width, words }, index) => {
      // Within the paper, and no text running over its neighbour's column.
      for (const { end, word } of words) assert.ok(end <= width, `${format} page ${index + 1}: ${word} ends at ${end} of ${width}`);
      const lines = [...words].sort((a, b) => a.y - b.y || a.x - b.x);
      lines.forEach((word, i) => i && Math.abs(word.y - lines[i - 1].y) < 1 &&
        assert.ok(word.x >= lines[i - 1].end - 0.5, `${format}: ${lines[i - 1].word} runs over ${word.word}`));
      assert.match(words.map(({ word }) => word).join(' '), new RegExp(`Page ${index + 1} of ${pages.length}`), format);
    });
    const all = pages.flatMap(({ words }) => words.map(({ word }) => word)).join(' ');
    // Every column's heading, and the last column's values, the label's end and the frame whole.
    for (const part of ['Unit Attempts Last outcome Time (UTC) Port', 'Time (UTC) Unit Port Outcome ms', '/dev/ttyUSB0',
      label.slice(-8), entries[0].frame]) assert.ok(all.includes(part), `${format}: ${part}`);
    const head = all.replace(/\s+/g, '');
    assert.ok(head.slice(head.indexOf('Unitsnotconfirmed:'), head.indexOf('Firstentry')).includes(notConfirmed), format);
  }
});

test('with site data refused or full the page works fully and says once that it keeps nothing', async (t) => {
  for (const [condition, options] of [
    ['refused by the profile', { blocked: kBlockSiteData }],
    ['full', { initScript: 'Storage.prototype.setItem = () => { throw new DOMException("full", "QuotaExceededError"); }' }],
  ]) {
    await t.test(condition, async (t) => {
      const { page, bridge } = await openPage(t, [], options);
      assert.equal(await page.isVisible('#fwd\\.acc'), true);
      await page.fill('#fwd\\.speed', '60');
      await upload(page, 'Download Complete');
      await page.selectOption('#language', 'zh');
      assert.equal(await text(page, '#upload'), '上传参数');
      assert.deepEqual(await page.locator('#notice > span').allTextContents(),
        ['此浏览器不为本页面保存数据：关闭页面后，数值、语言和调试记录都不会保留。关闭前请保存文件并下载记录。']);
      assert.equal(bridge.frames.length, 1);
      // The log is kept for the visit all the same.
      assert.equal(await text(page, '#log-summary'), '共上传 1 次：成功 1 次，失败 0 次');
    });
  }
});

test('every text follows the language switch: messages already shown, reasons with their details, the log, the version', async (t) => {
  const { page } = await openPage(t, ['--echo-bytes', '18'], withPickers);
  // The page's version is the tool's, the project's.
  const version = execFileSync(process.env.VKD_TOOL, ['--version'], { encoding: 'utf8' }).trim().split(' ')[1];
  assert.equal(await text(page, '#version'), `VKD-37 parameter tool, version ${version}`);
  await upload(page, 'Download Failed');
  assert.equal(await text(page, '#prompt-text'), 'Download Failed: short echo (18 of 19 bytes)');
  await page.click('#prompt-ok');
  await page.selectOption('#language', 'zh');
  assert.equal(await text(page, '#upload-status'), '下载失败');
  assert.equal(await text(page, '#version'), `VKD-37 参数设定程序，版本 ${version}`);
  assert.equal(await text(page, '#log td:nth-child(5)'), '回传不完整');
  await upload(page, '下载失败');
  assert.equal(await text(page, '#prompt-text'), '下载失败：回传不完整（收到 18/19 字节）');
  await page.click('#prompt-ok');

  // A message said in Chinese is said again in English.
  await page.evaluate(() => { window.standIn.heldElsewhere = true; });
  await page.click('#connect');
  await waitForText(page, '#message', '串口正被其他程序占用');
  await page.selectOption('#language', 'en');
  assert.match(await text(page, '#message'), /^The port is held by another program/);
  // What is shown is translated; the log itself keeps the codes.
  assert.deepEqual(jsonLines(await savedText(page, '#download-log', 'vkd37-commissioning.jsonl'))
    .map((line) => line.outcome), ['short-echo', 'short-echo']);
});

// The accessibility tree as Chromium hands it to a screen reader: each node's role, name, how a
// live region it is announces, description, whether it has the focus, and the nodes around it.
async function accessibleNodes(page) {
  const session = await page.context().newCDPSession(page);
  const { nodes } = await session.send('Accessibility.getFullAXTree');
  await session.detach();
  const byId = new Map(nodes.map((node) => [node.nodeId, node]));
  const property = (node, name) => node.properties?.find((p) => p.name === name)?.value.value;
  const describe = (node) => ({ role: node.role?.value, name: node.name?.value ?? '', live: property(node, 'live') });
  return nodes.filter((node) => !node.ignored).map((node) => {
    const around = [];
    for (let up = byId.get(node.parentId); up; up = byId.get(up.parentId)) around.push(describe(up));
    return { ...describe(node), description: node.description?.value ?? '',
      focused: property(node, 'focused') === true, around };
  });
}

test('each control has a name of its own, the boxes and radio groups are groups, the prompt is named and described', async (t) => {
  const { page } = await openPage(t);
  const nodes = await accessibleNodes(page);
  const controls = nodes.filter((node) => ['textbox', 'radio', 'checkbox', 'button', 'combobox'].includes(node.role));
  const names = controls.map((node) => node.name);
  assert.ok(controls.length >= 30, `${controls.length} controls`);
  assert.deepEqual(names.filter((name, index) => !name || names.indexOf(name) !== index), []);
  // The buttons of the records opened beside the log's, and the log's table.
  await page.evaluate(() => { document.getElementById('records').hidden = false; });
  const shown = (await accessibleNodes(page)).filter((node) => ['button', 'table'].includes(node.role)).map((node) => node.name);
  assert.deepEqual(shown.filter((name, index) => !name || shown.indexOf(name) !== index), []);
  assert.ok(shown.includes('Commissioning log'), JSON.stringify(shown));
  for (const direction of ['Forward Direction', 'Reverse Direction']) {
    const inBox = controls.filter((node) => node.around.some((up) => up.role === 'group' && up.name === direction));
    assert.deepEqual(inBox.filter((node) => node.role === 'radio' && node.around[0].role === 'radiogroup')
      .map((node) => node.name), ['Internal Speed（1-128）', 'Internal Potentiometer', 'External Potentiometer']
      .map((label) => `${direction} ${label}`));
    assert.deepEqual(inBox.filter((node) => node.role === 'textbox').map((node) => node.name).slice(1),
      [`${direction} ACC（1-127)`, `${direction} DEC（0-127)`]);
  }

  await page.fill('#cycles', 'x');
  await page.click('#upload');
  const prompt = (await accessibleNodes(page)).find((node) => node.role === 'dialog');
  assert.deepEqual([prompt.name, prompt.description], ['VKD-37参数设定程序', 'Please enter an integer.']);
});

test('during an upload Upload keeps the focus, the status regions stay in a screen reader\'s view as live regions, and the outcome is told once', async (t) => {
  const { page } = await openPage(t);
  // Every text a live region comes to hold, in order, as a screen reader is told of it.
  await page.evaluate(() => {
    window.told = [];
    for (const region of document.querySelectorAll('[aria-live], [role="status"], output')) {
      new MutationObserver(() => window.told.push(region.textContent))
        .observe(region, { childList: true, characterData: true, subtree: true });
    }
  });
  // A controller that never answers, and the page stopped in the debugger as it shows
  // "Uploading……", so that the tree is read during the upload however slow the machine.
  await page.evaluate(() => { window.standIn.swallowEcho = true; });
  const session = await page.context().newCDPSession(page);
  await session.send('Debugger.enable');
  const paused = new Promise((resolve) => session.once('Debugger.paused', resolve));
  await page.evaluate(() => {
    const status = document.getElementById('upload-status');
    new MutationObserver((_, observer) => {
      if (status.textContent !== 'Uploading\u2026\u2026') return;
      observer.disconnect();
      debugger;
    }).observe(status, { childList: true, characterData: true, subtree: true });
  });
  await page.focus('#upload');
  const pressed = page.keyboard.press('Enter');
  await paused;
  const nodes = await accessibleNodes(page);
  await session.send('Debugger.resume');
  await pressed;
  await session.detach();
  assert.deepEqual(nodes.filter((node) => node.focused && node.role !== 'RootWebArea')
    .map((node) => [node.role, node.name]), [['button', 'Upload Parameters']]);
  for (const status of ['Uploading\u2026\u2026', 'Suceed Open Serial Port']) {
    const node = nodes.find((n) => n.role === 'StaticText' && n.name === status);
    assert.ok(node?.around.some((up) => up.role === 'status' && up.live === 'polite'), `${status} is not in a live region`);
  }
  await waitForText(page, '#upload-status', 'Download Failed');
  await page.keyboard.press('Enter'); // the prompt's OK
  await waitFor(page, () => document.activeElement?.id === 'upload');

  await page.evaluate(() => { window.standIn.swallowEcho = false; });
  await page.keyboard.press('Enter');
  await waitForText(page, '#upload-status', 'Download Complete');
  assert.equal(await page.evaluate(() => document.activeElement?.id), 'upload');
  const told = await page.evaluate(() => window.told);
  for (const outcome of ['Download Failed', 'Download Complete']) {
    assert.equal(told.filter((said) => said === outcome).length, 1, `${outcome} told as ${JSON.stringify(told)}`);
  }
});

test('the browser\'s zoom enlarges the form, and in a 360 px window its text and controls keep their size while the picture scrolls', async (t) => {
  // Zoom grows the CSS pixel: at 200 % a window 1280 pixels wide is 640 CSS pixels of two
  // pixels each.
  const measure = async (viewport, deviceScaleFactor) => {
    const page = await plainPage(t, { viewport, deviceScaleFactor });
    const sizes = await page.evaluate(() => {
      const zoom = window.devicePixelRatio;
      return [...document.querySelectorAll('#form > :not(.group), #form .group > :not(.group)')].map((element) => {
        const box = element.getBoundingClientRect();
        const font = parseFloat(getComputedStyle(element).fontSize);
        return { id: element.id, width: box.width * zoom, height: box.height * zoom, font: font * zoom };
      });
    });
    return { page, sizes };
  };
  const { sizes: normal } = await measure({ width: 1280, height: 800 }, 1);
  const { sizes: zoomed } = await measure({ width: 640, height: 400 }, 2);
  const { page, sizes: narrow } = await measure({ width: 360, height: 640 }, 1);
  assert.ok(normal.length >= 50, `${normal.length} parts of the form`);
  normal.forEach((part, index) => {
    const [big, small] = [zoomed[index], narrow[index]];
    assert.ok(['width', 'height', 'font'].every((size) => big[size] >= 1.5 * part[size]),
      `${part.id} at 200 %: ${JSON.stringify(big)}, at 100 %: ${JSON.stringify(part)}`);
    assert.ok(small.font >= 9 && ['width', 'height'].every((size) => small[size] >= part[size] - 0.5),
      `${part.id} in 360 px: ${JSON.stringify(small)}, at 100 %: ${JSON.stringify(part)}`);
  });
  // Only the picture scrolls sideways; every control can be scrolled to and hit.
  assert.ok(await page.evaluate(() => document.documentElement.scrollWidth <= window.innerWidth));
  for (const control of kControls.filter((c) => !c.legend && !c.id.endsWith('status'))) {
    await page.locator(`[id="${control.id}"]`).click({ trial: true, timeout: kBound });
  }
});

test('without Web Serial the page says where uploads work and still edits files; it reaches no network', async (t) => {
  // Firefox or Safari: neither Web Serial nor the file system pickers.
  const page = await plainPage(t, {
    initScript: () => {
      delete Navigator.prototype.serial;
      delete window.showOpenFilePicker;
      delete window.showSaveFilePicker;
    },
    expectedErrors: [/Content Security Policy/],
  });
  assert.match(await text(page, '#notice'), /Chrome or Edge/);
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
  assert.match(await text(page, '#notice'), /Chrome 或 Edge/);
});

test('every control of the dialog is where its template puts it, over the picture', async (t) => {
  const template = dialogControls(readFileSync(new URL('../../res/VKD37.rc', import.meta.url), 'utf8'),
    'IDD_MAIN');
  const page = await plainPage(t);
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
});

test('the form made with the page has each field\'s kind of control, the legends shown and not used', async (t) => {
  const page = await plainPage(t);
  const { kinds, controls } = await page.evaluate((ids) => {
    const { core } = window.vkd37Page;
    const kindNames = Object.fromEntries(Object.entries(core.ValueKind).map(([name, value]) => [value, name]));
    return {
      kinds: Object.fromEntries(core.fields.map((field) => [field.name, kindNames[field.kind]])),
      controls: ids.map((id) => {
        const { type, name, disabled, checked, inputMode } = document.getElementById(id);
        return { id, type, name, disabled, checked, inputMode };
      }),
    };
  }, kControls.filter((control) => !control.inPage).map((control) => control.id));
  // A source is a radio group, a flag a check box, a number a text box; the template's legends
  // and Auto Start, which stand for no value, are check boxes too.
  const typeOf = { source: 'radio', flag: 'checkbox', undefined: 'checkbox' };
  controls.forEach((control, index) => {
    const layout = kControls.filter((c) => !c.inPage)[index];
    const type = typeOf[kinds[layout.field]] ?? 'text';
    assert.equal(control.type, type, control.id);
    if (type === 'radio') assert.equal(control.name, layout.field, control.id);
    if (type === 'text') assert.equal(control.inputMode, 'numeric', control.id);
    assert.equal(control.disabled, Boolean(layout.legend), control.id);
    if (layout.legend) assert.equal(control.checked, control.id === 'legend-on', control.id);
  });
});

// A browser that refuses the entry whatever goes, with room to spare: a refusal that removing
// written entries does not mend costs a few chunks of them, not the whole written record, and
// the upload waits for no more.
test('a browser that goes on refusing an upload\'s entry, with room to spare, does not take every written entry with it', async (t) => {
  const { page } = await openPage(t);
  await upload(page, 'Download Complete');
  const written = 20000;
  await page.evaluate(async (written) => {
    const { record } = window.vkd37Page;
    const entry = (state) => ({ line: JSON.stringify({ time: new Date().toISOString(), unit: 'X', port: 'COM3', outcome: 'confirmed' }),
      outcome: 'confirmed', written: state });
    for (let added = 0; added < written; added += 1000) await record.kept.addAll(Array.from({ length: 1000 }, () => entry(1)));
    await record.kept.addAll(Array.from({ length: 50 }, () => entry(0)));
    record.kept.add = () => Promise.reject(new DOMException('refused', 'QuotaExceededError'));
  }, written);
  await upload(page, 'Download Complete');
  await waitForText(page, '#log-state', 'The browser has no room left for the log. Entries kept only in this tab: 1. Download the log before closing it.');
  const counts = await page.evaluate(async () => {
    await window.vkd37Page.record.refresh();
    return window.vkd37Page.record.counts;
  });
  assert.equal(counts.unwritten, 52);
  assert.equal(counts.all - counts.unwritten, written - kPruneCount * kMakeWayRounds, JSON.stringify(counts));
});

// Entries that made way for an upload's entry are gone in every tab's counts.
test('written entries that make way for an upload\'s entry leave every tab\'s counts true', async (t) => {
  const [a, b] = await openTabs(t, [[], []], { ...withPickers, beforeLoad: quotaOf4MiB });
  const full = await fillStore(a, 1);
  await summaryIs(b, `${full} uploads: ${full} confirmed, 0 failed (the latest 50 shown)`);
  await upload(a, 'Download Complete');
  const kept = await a.evaluate(() => window.vkd37Page.record.counts.all);
  assert.ok(kept < full, `${kept} of ${full}: no written entry made way`);
  await summaryIs(b, `${kept} uploads: ${kept} confirmed, 0 failed (the latest 50 shown)`);
});

// A refusal answered with Enter as the scanner's next label comes: the label replaces the refused
// one although the box's close event comes after its keys, as a busy page takes them.
test('batch mode: after a refusal answered as the next label comes, that label replaces what Unit holds', async (t) => {
  const { page, bridge } = await openPage(t);
  await page.check('#batch');
  await page.fill('#unit-pattern', 'C-\\d');
  await page.focus('#unit');
  await page.keyboard.type('X-1');
  await page.keyboard.press('Enter');
  await waitFor(page, () => document.getElementById('prompt').open);
  await page.waitForTimeout(kSameScanMs); // a person reads the box first
  await page.evaluate(() => window.addEventListener('close', (event) => event.stopImmediatePropagation(), { capture: true, once: true }));
  for (const key of ['Enter', ...'C-2', 'Enter']) await page.keyboard.press(key);
  await waitFor(page, () => window.vkd37Page.record.counts.all === 1);
  assert.deepEqual([await page.inputValue('#unit'), bridge.frames.length], ['C-2', 1]);
});

// Keys in before the close event of a box answered with Enter or a click, as a busy page takes
// them: the next label is not run into the one the box asked about, and is sent after it, whether
// that one was sent again or not.
test('batch mode: a label scanned as the box is answered is not run into the label asked about', async (t) => {
  const { page } = await openPage(t);
  await page.check('#batch');
  await page.evaluate(() => {
    window.heldCloses = 0;
    window.addEventListener('close', (event) => {
      if (!event.isTrusted || !window.holdClose) return;
      event.stopImmediatePropagation();
      window.heldCloses++;
    }, true);
  });
  const scan = async (label) => { await page.keyboard.type(label); await page.keyboard.press('Enter'); };
  await page.focus('#unit');
  await scan('B-1');
  await waitFor(page, () => window.vkd37Page.record.counts.all === 1);
  for (const [way, answer, next, lastSent] of [
    ['a click', async () => page.click('#ask-yes'), 'C-2', ['B-1', 'C-2']],
    ['Enter', async () => { await page.waitForTimeout(kSameScanMs + 50); await page.keyboard.press('Enter'); }, 'D-3',
      ['B-1', 'D-3']],
    ['Cancel', async () => page.click('#ask-no'), 'E-4', ['D-3', 'E-4']],
  ]) {
    await waitFor(page, () => !window.vkd37Page.upload.uploading && document.activeElement?.id === 'unit');
    await scan('B-1');
    await waitFor(page, () => document.getElementById('ask').open);
    await page.evaluate(() => { window.holdClose = true; });
    await answer();
    await scan(next);
    await page.evaluate(() => {
      window.holdClose = false;
      if (window.heldCloses) document.getElementById('ask').dispatchEvent(new Event('close'));
      window.heldCloses = 0;
    });
    await waitFor(page, () => !window.vkd37Page.upload.uploading && document.activeElement?.id === 'unit');
    await logDrawn(page);
    const [unit, sent] = await page.evaluate(() => [document.getElementById('unit').value,
      window.vkd37Page.record.shown.slice(-2).map((entry) => entry.unit)]);
    assert.deepEqual([unit, sent], [next, lastSent], way);
  }
});

// Labels scanned during an upload, wherever the focus is, each taken whole after it as if it had
// come then: sent, refused by the pattern, or asked about; one not yet ended is left in Unit.
test('batch mode: labels scanned during an upload are each handled whole after it', async (t) => {
  const { page, bridge } = await openPage(t);
  await page.check('#batch');
  await page.fill('#unit-pattern', 'D-\\d');
  const scan = async (label) => { await page.keyboard.type(label); await page.keyboard.press('Enter'); };
  await page.focus('#unit');
  const letGo = await holdUploads(page);
  await scan('D-1');
  await waitFor(page, () => window.vkd37Page.upload.uploading);
  for (const label of ['D-2', 'X-9', 'D-1']) await scan(label);
  await page.keyboard.type('D-');
  assert.equal(await text(page, '#unit-waiting'), 'Scanned, to be uploaded next: D-2, X-9, D-1.');
  assert.equal(await text(page, '#unit-typed'), 'Typed for the next unit: D-');
  await letGo();
  await waitForText(page, '#prompt[open] #prompt-text', 'The unit label X-9 does not match the unit pattern D-\\d.');
  await page.waitForTimeout(kSameScanMs);
  await page.keyboard.press('Enter');
  await waitForText(page, '#ask[open] #ask-text', 'D-1 was already sent in this batch.');
  await page.waitForTimeout(kSameScanMs); // a person reads the box first
  await page.keyboard.press('Enter');
  await waitFor(page, () => !window.vkd37Page.upload.uploading && document.activeElement?.id === 'unit' &&
    window.vkd37Page.record.counts.all === 3);
  await scan('3');
  await waitFor(page, () => window.vkd37Page.record.counts.all === 4);
  await logDrawn(page);
  assert.deepEqual(await page.evaluate(() => window.vkd37Page.record.shown.map((entry) => entry.unit)),
    ['D-1', 'D-2', 'D-1', 'D-3']);
  assert.equal(bridge.frames.length, 4);
});

// The labels logged once no label is being handled and no box is open.
async function settledUnits(page) {
  await waitFor(page, () => !window.vkd37Page.batch.labels.busy && !window.vkd37Page.upload.uploading &&
    !document.querySelector('dialog[open]'));
  await logDrawn(page);
  return page.evaluate(() => window.vkd37Page.record.shown.map((entry) => entry.unit));
}

// A box that refuses a scanned label, or says its upload failed, is read by a person: a scanner's
// keys that come while it is open close it no sooner, and the label they make is taken whole.
test('batch mode: a scan that comes while a refusal or a failure is shown neither closes it unread nor is cut, joined or dropped', async (t) => {
  for (const [box, initScript, prepare] of [
    ['no port open', 'window.standIn.granted = false', null],
    ['a value the form refuses', null, (page) => page.fill('[id="fwd.speed"]', 'x')],
  ]) {
    await t.test(`a scanner's second Enter: ${box}`, async (t) => {
      const { page } = await openPage(t, [], { initScript });
      await page.check('#batch');
      await prepare?.(page);
      await page.fill('#unit', 'A-1');
      await page.focus('#unit');
      await doubledEnter(page);
      await waitFor(page, () => document.getElementById('prompt-text').textContent !== '');
      await page.waitForTimeout(kSameScanMs);
      assert.equal(await page.evaluate(() => document.getElementById('prompt').open), true,
        'closed by the scanner\'s second Enter');
    });
  }
  // The box opens as the next label is half typed: its last keys come while the box is open.
  for (const [box, pattern, first, queued, fails, expected] of [
    ['a refusal', 'D-\\d+', 'D-100', 'X-9\n', false, ['D-100', 'D-12', 'D-3']],
    ['a failed upload', '', 'A-1', '', true, ['A-1', 'D-12', 'D-3']],
  ]) {
    await t.test(`a label half scanned as ${box} opens`, async (t) => {
      const { page } = await openPage(t);
      await page.check('#batch');
      await page.fill('#unit-pattern', pattern);
      await page.evaluate((swallow) => { window.standIn.swallowEcho = swallow; }, fails);
      await page.focus('#unit');
      const letGo = await holdUploads(page);
      await scannerTypes(page, `${first}\n`);
      await waitFor(page, () => window.vkd37Page.upload.uploading);
      await scannerTypes(page, `${queued}D-1`);
      await letGo();
      await waitFor(page, () => document.getElementById('prompt').open);
      await scannerTypes(page, '2\n');
      await page.evaluate(() => { window.standIn.swallowEcho = false; });
      // A person reads the box, if it is still open, and closes it; then scans the next unit.
      await page.waitForTimeout(kSameScanMs);
      if (await page.evaluate(() => document.getElementById('prompt').open)) await page.click('#prompt-ok');
      await waitFor(page, () => !document.querySelector('dialog[open]') && !window.vkd37Page.batch.labels.busy);
      await scannerTypes(page, 'D-3\n');
      assert.deepEqual(await settledUnits(page), expected);
    });
  }
});

// Keys of the next label typed during an upload make the label they type: a character typed with
// AltGr (Ctrl and Alt as Chrome on Windows reports it), and a space that comes as a box opens.
test('batch mode: the keys of a label scanned during an upload are taken as they type', async (t) => {
  const { page, bridge } = await openPage(t);
  await page.check('#batch');
  await page.focus('#unit');
  let letGo = await holdUploads(page);
  await scannerTypes(page, 'A-1\n');
  await waitFor(page, () => window.vkd37Page.upload.uploading);
  await page.evaluate(() => {
    for (const [key, altGraph] of [['B', false], ['@', true], ['2', false], ['Enter', false]]) {
      (document.activeElement ?? document.body).dispatchEvent(new KeyboardEvent('keydown', { key, bubbles: true,
        cancelable: true, ctrlKey: altGraph, altKey: altGraph, modifierAltGraph: altGraph }));
    }
  });
  letGo = await holdUploads(page, letGo);
  await waitFor(page, () => window.vkd37Page.upload.uploading && document.getElementById('unit').value !== 'A-1');
  // A-1 read again waits; the next label is half scanned as the box asking about A-1 opens.
  await scannerTypes(page, 'A-1\nLOT');
  await letGo();
  await waitFor(page, () => document.getElementById('ask').open);
  await scannerTypes(page, ' 7\n');
  // The label begun before the box opened leaves it to the person, who does not send A-1 again.
  await page.waitForTimeout(kSameScanMs + 50);
  await page.keyboard.press('Escape');
  assert.deepEqual(await settledUnits(page), ['A-1', 'B@2', 'LOT 7']);
  assert.equal(bridge.frames.length, 3);
});

// Labels that wait behind one whose upload is refused for the form or fails for the port: each
// is still somewhere a person sees once the boxes are closed (logged, in Unit, waiting, or named
// in a box), not taken and dropped unnamed.
test('batch mode: labels waiting behind a refused or portless upload are not dropped unnamed', async (t) => {
  for (const [cause, before, during] of [
    ['a value the form refuses', (page) => page.fill('[id="fwd.speed"]', 'x'), null],
    ['a unit pattern that is no pattern', (page) => page.fill('#unit-pattern', '(a)\\1'), null],
    ['the port lost during the upload before them', null, (page) => page.evaluate(() => window.standIn.unplug())],
  ]) {
    await t.test(cause, async (t) => {
      const { page } = await openPage(t);
      await page.check('#batch');
      await before?.(page);
      await page.evaluate(() => {
        window.boxTexts = [];
        const box = document.getElementById('prompt');
        new MutationObserver(() => {
          if (box.open) window.boxTexts.push(document.getElementById('prompt-text').textContent);
        }).observe(box, { attributes: true, attributeFilter: ['open'] });
      });
      await page.focus('#unit');
      const letGo = await holdUploads(page);
      await scannerTypes(page, 'A-1\n');
      if (during) await waitFor(page, () => window.vkd37Page.upload.uploading);
      else await waitFor(page, () => document.getElementById('prompt').open);
      await scannerTypes(page, 'B-2\nC-3\n');
      await during?.(page);
      await letGo();
      // A person reads each box and closes it.
      for (let boxes = 0; boxes < 5; boxes++) {
        await page.waitForTimeout(kSameScanMs + 50);
        if (!(await page.evaluate(() => document.getElementById('prompt').open))) break;
        await page.click('#prompt-ok');
      }
      const units = await settledUnits(page);
      const seen = await page.evaluate(() => [document.getElementById('unit').value,
        document.getElementById('unit-not-sent').textContent, ...window.boxTexts].join(' | '));
      const lost = ['B-2', 'C-3'].filter((label) => !units.includes(label) && !seen.includes(label));
      assert.deepEqual(lost, [], `log: ${units}; shown: ${seen}`);
    });
  }
});

// A label typed during an upload: by hand, corrected with Backspace; scanned with the focus left in
// the language list after a switch, which neither loses it nor switches the language back.
test('batch mode: a label typed during an upload keeps its corrections, and one scanned in the language list is taken', async (t) => {
  for (const [how, type, expected, language] of [
    ['by hand, with Backspace', async (page) => {
      await page.keyboard.type('B-12');
      await page.keyboard.press('Backspace');
      await page.keyboard.type('3');
      await page.keyboard.press('Enter');
    }, 'B-13', 'en'],
    ['in the language list', async (page) => {
      await page.focus('#language');
      await page.selectOption('#language', 'zh');
      await scannerTypes(page, 'E-5\n');
    }, 'E-5', 'zh'],
    ['in the language list, with a leading blank', async (page) => {
      await page.focus('#language');
      await page.selectOption('#language', 'zh');
      await scannerTypes(page, ' E-5\n');
    }, 'E-5', 'zh'],
  ]) {
    await t.test(how, async (t) => {
      const { page } = await openPage(t);
      await page.check('#batch');
      await page.focus('#unit');
      const letGo = await holdUploads(page);
      await scannerTypes(page, 'A-1\n');
      await waitFor(page, () => window.vkd37Page.upload.uploading);
      await type(page);
      await letGo();
      assert.deepEqual([await settledUnits(page), await page.inputValue('#language')], [['A-1', expected], language]);
    });
  }
});


// A scanned label that begins with a blank (the tool trims it) comes while a box about the label
// before is open: its blank neither answers the box nor closes it unread. The box asking about a
// label sent before closes at the label's first character, as the person did not answer it.
test('batch mode: a scan that begins with a blank does not answer the box open', async (t) => {
  for (const [box, pattern, fails, first, open, expected] of [
    ['asking about a label sent before', '', false, 'A-1\nA-1\n', false, ['A-1', 'A-2']],
    ['refusing a label', 'A-\\d', false, 'X-1\n', true, ['A-2']],
    ['saying an upload failed', '', true, 'A-1\n', true, ['A-1', 'A-2']],
  ]) {
    await t.test(box, async (t) => {
      const { page } = await openPage(t);
      await page.check('#batch');
      await page.fill('#unit-pattern', pattern);
      await page.evaluate((swallow) => { window.standIn.swallowEcho = swallow; }, fails);
      await page.focus('#unit');
      await scannerTypes(page, first);
      await waitFor(page, () => document.querySelector('dialog[open]'));
      await page.evaluate(() => { window.standIn.swallowEcho = false; });
      await page.waitForTimeout(kSameScanMs + 50);
      await scannerTypes(page, ' A-2\n');
      await page.waitForTimeout(kSameScanMs + 50);
      const stillOpen = await page.evaluate(() => Boolean(document.querySelector('dialog[open]')));
      // A person reads the box and closes it with Escape: nothing more is sent.
      if (stillOpen) await page.keyboard.press('Escape');
      assert.deepEqual([stillOpen, await settledUnits(page)], [open, expected]);
    });
  }
});

// The labels named as not sent behind a refusal stay named until each is sent: scanning the first
// again once the value is put right leaves the others named.
test('batch mode: labels named as not sent stay named until each is sent', async (t) => {
  const { page } = await openPage(t);
  await page.check('#batch');
  const right = await page.inputValue('[id="fwd.speed"]');
  await page.fill('[id="fwd.speed"]', 'x');
  await page.focus('#unit');
  await scannerTypes(page, 'A-1\n');
  await waitFor(page, () => document.getElementById('prompt').open);
  await scannerTypes(page, 'B-2\nC-3\nD-4\n');
  await page.waitForTimeout(kSameScanMs + 50); // a person reads the box first
  await page.click('#prompt-ok');
  await settledUnits(page);
  await page.fill('[id="fwd.speed"]', right);
  await page.focus('#unit');
  await page.evaluate(() => document.getElementById('unit').select());
  await scannerTypes(page, 'B-2\n');
  await waitFor(page, () => window.vkd37Page.record.counts.all === 1);
  await settledUnits(page);
  assert.equal(await text(page, '#unit-not-sent'), 'Not sent, as the upload before them was refused: C-3, D-4. Scan them again.');
});

// Labels sent before, waiting behind an upload: a scan that comes while the first of them is asked
// about closes that box alone; the box about the next one opens for a person, not for the rest of
// the same scan, and that label is not dropped unnamed.
test('batch mode: a scan during the box about a label sent before closes no later box unread', async (t) => {
  const { page } = await openPage(t);
  await page.check('#batch');
  await page.focus('#unit');
  await scannerTypes(page, 'X-1\nY-2\n');
  await settledUnits(page);
  const letGo = await holdUploads(page);
  await scannerTypes(page, 'W-0\n');
  await waitFor(page, () => window.vkd37Page.upload.uploading);
  await scannerTypes(page, 'X-1\nY-2\n');
  await letGo();
  await waitForText(page, '#ask[open] #ask-text', 'X-1');
  await page.waitForTimeout(kSameScanMs + 50); // the box has been open a while
  await scannerTypes(page, 'Z-3\n');
  await waitFor(page, () => document.getElementById('ask').open || !window.vkd37Page.batch.labels.busy);
  const seen = await page.evaluate(() => [...document.querySelectorAll('#ask[open] #ask-text, #unit-waiting')]
    .map((shown) => shown.textContent).join(' | '));
  assert.match(seen, /Y-2/);
});

// The kept log's report where the core makes none (more attempts than a sheet holds, which it
// answers with no bytes), and its buttons pressed while the browser is still opening the log (a
// cold disk: the open answered 3 s late): each says what it did, and writes no empty file.
test('the log\'s buttons tell the truth when the core makes no workbook or the log is still being opened', async (t) => {
  const slowOpen = () => {
    const { open } = IDBFactory.prototype;
    IDBFactory.prototype.open = function late(...args) {
      const request = open.apply(this, args);
      if (sessionStorage.getItem('slowOpen') !== '1') return request;
      const success = Object.getOwnPropertyDescriptor(IDBRequest.prototype, 'onsuccess');
      let handler = null;
      Object.defineProperty(request, 'onsuccess', {
        set(h) { handler = h; success.set.call(request, (event) => setTimeout(() => handler(event), 3000)); },
        get() { return handler; },
      });
      return request;
    };
  };
  const { page } = await openPage(t, [], { ...withPickers, initScript: `(${pickers})(); (${slowOpen})()` });
  page.on('dialog', (asked) => (asked.type() === 'beforeunload' ? asked.accept() : asked.dismiss()));
  await upload(page, 'Download Complete');
  for (const [how, prepare, button, said, left] of [
    ['no workbook', () => { window.vkd37Page.core.reportXlsx = () => new Uint8Array(0); }, '#download-xlsx',
      /^The record has more attempts than a sheet holds/, 1],
    ['the log still being opened', () => sessionStorage.setItem('slowOpen', '1'), '#download-log',
      /^The log \(1 entry\) was written to vkd37-commissioning\.jsonl\.$/, 1],
    ['cleared while the log is still being opened', () => sessionStorage.setItem('slowOpen', '1'), '#clear-log',
      /^The log was cleared\.$/, 0],
  ]) {
    await t.test(how, async () => {
      await page.evaluate(() => window.fileText('vkd37-commissioning.xlsx', 'kept before'));
      await page.evaluate(prepare);
      if (button !== '#download-xlsx') {
        await page.reload();
        await page.waitForFunction(() => document.body.dataset.ready === 'true', null, { timeout: kBound });
      }
      await page.evaluate(() => window.vkd37Page.language.clearMessage());
      await page.click(button);
      await waitFor(page, () => document.getElementById('message').textContent !== '');
      assert.match(await text(page, '#message'), said);
      assert.equal(await page.evaluate(() => window.fileText('vkd37-commissioning.xlsx')), 'kept before');
      assert.equal(await page.evaluate(() => window.vkd37Page.record.counts.all), left);
    });
  }
});

// The log's rows, like the form, fit a narrow or zoomed window: only the picture scrolls sideways.
test('with entries in the log, a 360 px window and 200 % zoom still scroll only the picture', async (t) => {
  for (const [viewport, deviceScaleFactor, label] of [[{ width: 360, height: 640 }, 1, 'A-0017'],
    [{ width: 640, height: 400 }, 2, 'A-0017'], [{ width: 1280, height: 800 }, 1, `LINE-3/${'0123456789'.repeat(20)}`]]) {
    const context = await newContext(t, { bypassCSP: true, viewport, deviceScaleFactor });
    t.after(() => context.close());
    const { page } = await openTab(t, context);
    await page.fill('#unit', label);
    await upload(page, 'Download Complete');
    const [scrolled, width] = await page.evaluate(() => [document.documentElement.scrollWidth, innerWidth]);
    assert.ok(scrolled <= width, `${scrolled} CSS pixels wide in a window of ${width} at ${deviceScaleFactor * 100} %`);
  }
});

// A label's control characters (a scanner's GS, a U+202E that turns the row around) show in the
// log's rows escaped, as the printed report shows them; a GS typed as text does not read as one.
test('the log shows a label\'s control characters as the printed report does', async (t) => {
  const { page } = await openPage(t);
  await page.fill('#unit', '01\u001d21A R-\u202e21\\x1D');
  await upload(page, 'Download Complete');
  const [shown, report] = await page.evaluate(async () => [document.querySelector('#log tr:last-child td:nth-child(2)').textContent,
    window.vkd37Page.core.reportHtml((await window.vkd37Page.record.everything()).text, 'en')]);
  assert.ok(report.includes(`>${shown}<`) && !/[\u001d\u202e]/.test(shown) && shown.endsWith('21\\\\x1D'), shown);
});

// A tab of the earlier page holding its log's database, with that page's stores and the entries
// of the units given, not yet written to a file; it lets the database go only once its
// `window.db` is closed.
async function earlierPageHolding(context, bridge, units = []) {
  const earlier = await context.newPage();
  await earlier.route('**/earlier', (route) => route.fulfill({ contentType: 'text/html', body: '<!DOCTYPE html><title>earlier</title>' }));
  await earlier.goto(new URL('/earlier', bridge.pageUrl).href);
  await earlier.evaluate((units) => new Promise((resolve, reject) => Object.assign(indexedDB.open('vkd37', 1), {
    onupgradeneeded: ({ target: { result: db } }) => {
      const store = db.createObjectStore('entries', { keyPath: 'key', autoIncrement: true });
      store.createIndex('written', 'written');
      db.createObjectStore('counts');
      for (const unit of units) {
        store.add({ line: JSON.stringify({ time: '2025-03-04T09:00:00.000Z', unit, port: 'P', outcome: 'confirmed', ms: 10 }),
          outcome: 'confirmed', written: 0 });
      }
    },
    onsuccess: (event) => resolve(window.db = event.target.result), onerror: reject })), units);
  return earlier;
}

// A tab of the earlier page that does not let its database go (hung, or busy in a long script)
// keeps this page's database from opening: an upload still ends, and shows its outcome.
test('an upload ends while another tab holds the log\'s database at an earlier version and does not let it go', async (t) => {
  const context = await newContext(t, { bypassCSP: true });
  t.after(() => context.close());
  const bridge = await SimulatorBridge.start(simulatorPath, ['--no-pace']);
  bridge.pagePath = process.env.VKD_PAGE;
  t.after(() => bridge.stop());
  const earlier = await earlierPageHolding(context, bridge);
  const page = await watchedPage(t, context);
  await page.addInitScript(`(${standIn})(${JSON.stringify(bridge.url)})`);
  await page.goto(bridge.pageUrl);
  await page.waitForFunction(() => window.vkd37Ready && document.body.dataset.ready === 'true', null, { timeout: kBound });
  await page.evaluate(() => window.vkd37Page.port.ready);
  await page.click('#upload');
  await waitFor(page, () => ['Download Complete', 'Download Failed'].includes(document.getElementById('upload-status').textContent));
  // Said in either language while it lasts; once that tab lets go, the entry held here is in the log.
  assert.match(await text(page, '#log-state'), /^The log is held by another tab of this page.*since: 1, kept only in this tab/);
  await page.selectOption('#language', 'zh');
  assert.match(await text(page, '#log-state'), /本页面的另一个标签页.*1 条仅保存在此标签页/);
  await page.selectOption('#language', 'en');
  await earlier.evaluate(() => window.db.close());
  await waitFor(page, () => window.vkd37Page.record.kept !== null);
  await page.evaluate(() => window.vkd37Page.record.ready);
  assert.match(await text(page, '#log-summary'), /^1 upload:/);
  assert.match(await text(page, '#log-state'), /\(another tab of this page held the log\)\. Entries kept only in this tab: 1\./);
});

// While an earlier page's tab holds the log's database, the entries it holds are out of reach:
// Clear log must not say the log was cleared, nor Download log say the log was written, when
// those entries are still there, never written, once that tab lets go. What each says instead, in
// either language; the station's check of a unit knows it read only this tab's entries.
test('while an earlier page\'s tab holds the log, Clear log and Download log do not speak for the entries it holds', async (t) => {
  const onlyHere = ['It holds only the entries kept in this tab: the rest of the log is held by another tab', '其中仅有此标签页中保存的记录'];
  for (const [button, said, says] of [
    ['#clear-log', /^The log was cleared\.$/, ['Nothing was cleared: the log is held by another tab', '未清除任何记录']],
    ['#download-log', /^The log \(.*\) was written to/, ['1 entry of this tab was written to vkd37-commissioning.jsonl. ', ...onlyHere]],
    ['#download-csv', /^Saved [^ ]*\.$/, ['Saved vkd37-commissioning.csv. ', ...onlyHere]],
    ['#print-report', /^$/, ['The report was opened to print. ', ...onlyHere]]]) {
    await t.test(button, async (t) => {
      const context = await newContext(t, { bypassCSP: true });
      t.after(() => context.close());
      const bridge = await SimulatorBridge.start(simulatorPath, ['--no-pace']);
      bridge.pagePath = process.env.VKD_PAGE;
      t.after(() => bridge.stop());
      // The earlier page's log holds three entries not yet written to a file.
      const earlier = await earlierPageHolding(context, bridge, ['E-1', 'E-2', 'E-3']);
      const page = await watchedPage(t, context);
      await page.addInitScript(`(${standIn})(${JSON.stringify(bridge.url)})`);
      await page.addInitScript(`(${pickers})()`);
      await page.goto(bridge.pageUrl);
      await page.waitForFunction(() => window.vkd37Ready && document.body.dataset.ready === 'true', null, { timeout: kBound });
      await page.evaluate(() => window.vkd37Page.port.ready);
      await upload(page, 'Download Complete');
      page.on('dialog', (asked) => asked.accept());
      await page.evaluate(() => window.vkd37Page.language.clearMessage());
      await page.click(button);
      await waitFor(page, () => document.getElementById('message').textContent !== '');
      const message = await text(page, '#message');
      for (const part of says.slice(0, -1)) assert.ok(message.includes(part), message);
      await page.selectOption('#language', 'zh');
      assert.match(await text(page, '#message'), new RegExp(says.at(-1)));
      await page.selectOption('#language', 'en');
      assert.equal((await page.evaluate(() => window.vkd37Page.record.lastConfirmed('E-1', new Date(0)))).partial, true);
      await earlier.evaluate(() => window.db.close());
      await waitFor(page, () => window.vkd37Page.record.kept !== null);
      await page.evaluate(() => window.vkd37Page.record.ready);
      const { unwritten } = await page.evaluate(() => window.vkd37Page.record.counts);
      if (said.test(message)) assert.equal(unwritten, 0, `said "${message}", then ${await text(page, '#log-summary')}`);
    });
  }
});

// The site's data deleted with the tab open, then the earlier page's tab making its database
// afresh and holding it: the page opens the log again on its next upload, which must still end.
test('an upload ends when the log is opened again while an earlier page\'s tab holds it', async (t) => {
  const { page, bridge } = await openPage(t, [], withPickers);
  await upload(page, 'Download Complete');
  const session = await page.context().newCDPSession(page);
  await session.send('Storage.clearDataForOrigin', { origin: new URL(bridge.pageUrl).origin, storageTypes: 'indexeddb' });
  const earlier = await earlierPageHolding(page.context(), bridge);
  t.after(() => earlier.evaluate(() => window.db.close()).catch(() => {}));
  await page.click('#upload');
  await waitFor(page, () => ['Download Complete', 'Download Failed'].includes(document.getElementById('upload-status').textContent));
  assert.match(await text(page, '#log-state'), /kept only in this tab/);
  // Once that tab lets go, the log is taken again, and the entry held here is said to be so.
  await earlier.evaluate(() => window.db.close());
  await waitFor(page, () => !window.vkd37Page.record.blocked);
  assert.match(await text(page, '#log-state'), /\(another tab of this page held the log\)\. Entries kept only in this tab: 1\./);
});
