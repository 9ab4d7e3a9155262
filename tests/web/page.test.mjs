// vkd37.html end to end in Debian's headless Chromium: only navigator.serial is replaced, by a
// stand-in port whose bytes cross the loopback bridge to the real simulator at 9600 baud.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { readFileSync } from 'node:fs';
import { pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';
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

// A fresh profile with the stand-in port joined to a simulator run with `flags`.
async function openPage(t, flags = []) {
  const bridge = await SimulatorBridge.start(simulatorPath, flags);
  // The page's policy forbids every connection; the stand-in's socket is the test's own.
  const context = await browser.newContext({ bypassCSP: true });
  t.after(async () => { await context.close(); await bridge.stop(); });
  await context.addInitScript(`(${standIn})(${JSON.stringify(bridge.url)})`);
  const page = await context.newPage();
  await page.goto(pageUrl);
  await page.waitForFunction(() => window.vkd37Ready && document.body.dataset.ready === 'true', null,
    { timeout: kBound });
  return { page, bridge };
}

const text = (page, selector) => page.locator(selector).textContent();
const waitForText = (page, selector, expected) => page.waitForFunction(
  ([s, e]) => document.querySelector(s)?.textContent.includes(e), [selector, expected], { timeout: kBound });
const lastLogLine = (page) => page.evaluate(() => window.vkd37Page.log.at(-1));
const locksHeld = (page) => page.evaluate(() => [window.standIn.port.stream?.locked ?? false,
  window.standIn.port.sink?.locked ?? false]);

async function upload(page, status) {
  await page.click('#upload');
  await waitForText(page, '#upload-status', status);
}

test('a good upload reaches the simulator exactly, and a second click meanwhile does nothing', async (t) => {
  // A controller that answers after 600 ms, so that a click can land during the upload.
  const { page, bridge } = await openPage(t, ['--delay-ms', '600']);
  assert.equal(await text(page, '#port-status'), 'Suceed Open Serial Port');
  assert.deepEqual(await page.evaluate(() => window.standIn.openOptions), {
    baudRate: 9600, dataBits: 8, parity: 'none', stopBits: 1, flowControl: 'none', bufferSize: 1024 });
  await page.fill('#fwd\\.speed', '60');
  await page.fill('#cycles', '250');
  await page.check('#cycles\\.on');
  const expected = JSON.parse(execFileSync(process.env.VKD_TOOL,
    ['frame', '/nonexistent', '--set', 'fwd.speed=60', 'cycles=250', 'cycles.on=on', '--json'])).bytes;
  assert.equal((await text(page, '#frame')).replaceAll(' ', ''), expected);

  // The second click lands while the first upload is under way; a third one after it.
  const box = await page.locator('#upload').boundingBox();
  await page.click('#upload');
  await waitForText(page, '#upload-status', 'Uploading\u2026\u2026');
  await page.mouse.click(box.x + box.width / 2, box.y + box.height / 2);
  assert.equal(await text(page, '#upload-status'), 'Uploading\u2026\u2026', 'the click came too late');
  await waitForText(page, '#upload-status', 'Download Complete');
  await upload(page, 'Download Complete');
  assert.deepEqual(bridge.frames.map((frame) => frame.bytes), [expected, expected]);
  const line = await lastLogLine(page);
  assert.equal(line.outcome, 'confirmed');
  assert.equal(line.frame, expected);
  assert.equal(line.port, 'usb:0403:6001');
  assert.deepEqual(await locksHeld(page), [false, false]);
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

test('after a line error the next upload reads from a fresh stream', async (t) => {
  const { page } = await openPage(t);
  await page.evaluate(() => { window.standIn.lineErrorOnNextBytes = 'FramingError'; });
  await upload(page, 'Download Failed');
  assert.match(await text(page, '#prompt-text'), /FramingError/);
  await page.click('#prompt-ok');
  await upload(page, 'Download Complete');
});
