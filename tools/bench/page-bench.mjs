// Benchmark of the browser page, printed, not asserted: vkd37.html opened from disk to ready for
// input in headless Chromium, with no record and with 30,000 entries kept; the sizes of its
// module and of the whole file; click on "Upload Parameters " to "Download Complete" through the
// loopback bridge against the simulator paced at 9600 baud, with no record and with 30,000
// entries kept, beside `vkd37 upload` from process start to exit on the same simulator.
//   node tools/bench/page-bench.mjs PAGE MODULE SIMULATOR TOOL
import { spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, statSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { createRequire } from 'node:module';
import { pathToFileURL } from 'node:url';

const [pagePath, modulePath, simulatorPath, toolPath] = process.argv.slice(2);
const { chromium } = createRequire(new URL('../../tests/web/package.json', import.meta.url))('playwright-core');
const { SimulatorBridge } = await import('../../tests/web/bridge.mjs');
const standIn = readFileSync(new URL('../../tests/web/serial-stand-in.js', import.meta.url), 'utf8');

const summary = (values) => {
  const sorted = values.slice().sort((a, b) => a - b);
  const middle = sorted.length / 2;
  const median = sorted.length % 2 ? sorted[Math.floor(middle)] : (sorted[middle - 1] + sorted[middle]) / 2;
  return `median ${median.toFixed(1)} ms, worst ${sorted.at(-1).toFixed(1)} ms (${sorted.length} runs)`;
};

const browser = await chromium.launch({
  executablePath: '/usr/bin/chromium',
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
const kKept = 30000;

// Opened from disk until ready for input, in a fresh tab of the context each time.
async function readyTimes(context, count) {
  const starts = [];
  for (let i = 0; i < count; i++) {
    const page = await context.newPage();
    const started = performance.now();
    await page.goto(pathToFileURL(pagePath).href);
    await page.waitForFunction(() => document.body.dataset.ready === 'true');
    starts.push(performance.now() - started);
    await page.close();
  }
  return starts;
}

// Uploads through the bridge, timed inside the page from the click to the status text.
async function uploadTimes(context, count) {
  const page = await context.newPage();
  page.on('dialog', (dialog) => dialog.accept());
  await page.addInitScript(`(${standIn})(${JSON.stringify(bridge.url)})`);
  await page.goto(pathToFileURL(pagePath).href);
  await page.waitForFunction(() => document.body.dataset.ready === 'true');
  const uploads = [];
  for (let i = 0; i < count; i++) {
    await page.evaluate(() => document.getElementById('prompt').close());
    uploads.push(await page.evaluate(() => new Promise((resolve) => {
      const status = document.getElementById('upload-status');
      const started = performance.now();
      const watcher = new MutationObserver(() => {
        if (status.textContent === 'Download Complete' || status.textContent === 'Download Failed') {
          watcher.disconnect();
          resolve(status.textContent === 'Download Complete' ? performance.now() - started : null);
        }
      });
      status.textContent = '';
      watcher.observe(status, { childList: true, characterData: true, subtree: true });
      document.getElementById('upload').click();
    })));
  }
  await page.close();
  const failed = uploads.filter((ms) => ms === null).length;
  return `${summary(uploads.filter((ms) => ms !== null))}${failed ? `; ${failed} uploads failed` : ''}`;
}

// Months of use: entries as the page writes them, kept in the browser, all but the last
// thousand written out.
async function keepEntries(context, count) {
  const page = await context.newPage();
  await page.goto(pathToFileURL(pagePath).href);
  await page.waitForFunction(() => document.body.dataset.ready === 'true');
  await page.evaluate(async (total) => {
    const { core, record } = window.vkd37Page;
    const values = core.startValues();
    for (let first = 0; first < total; first += 5000) {
      const entries = [];
      for (let i = first; i < Math.min(total, first + 5000); i++) {
        const time = new Date(Date.UTC(2026, 0, 1) + i * 60000).toISOString();
        const line = core.recordLine({ time, port: 'COM3', unit: `U-${i}` }, values, i % 10 ? 0 : 2, 41);
        entries.push({ line, outcome: i % 10 ? 'confirmed' : 'no-echo', written: i < total - 1000 ? 1 : 0 });
      }
      await record.store.addAll(entries);
    }
  }, count);
  await page.close();
}

const bridge = await SimulatorBridge.start(simulatorPath, []);
try {
  const starts = [];
  for (let i = 0; i < 10; i++) {
    const context = await browser.newContext();
    starts.push(...await readyTimes(context, 1));
    await context.close();
  }
  console.log(`page opened from disk to ready for input: ${summary(starts)}`);
  console.log(`module ${statSync(modulePath).size} bytes, vkd37.html ${statSync(pagePath).size} bytes`);

  const empty = await browser.newContext({ bypassCSP: true });
  console.log(`page, click to "Download Complete", empty record: ${await uploadTimes(empty, 20)}`);
  await empty.close();

  // The same profile before and after months of use.
  const months = await browser.newContext({ bypassCSP: true });
  console.log(`page opened from disk to ready for input, new tabs, no entries kept: ${summary(await readyTimes(months, 10))}`);
  await keepEntries(months, kKept);
  console.log(`page opened from disk to ready for input, new tabs, ${kKept} entries kept: ${summary(await readyTimes(months, 10))}`);
  console.log(`page, click to "Download Complete", ${kKept} entries kept: ${await uploadTimes(months, 20)}`);
  await months.close();

  // The tool needs a parameter file: the dialog's first-start one.
  const file = join(mkdtempSync(join(tmpdir(), 'vkd37-bench-')), 'InitialParameter.dll');
  writeFileSync(file, '0 0 10 108 10 0 10 108 10 100 2000 2000 0 0 0 0 ');
  const tool = [];
  for (let i = 0; i < 20; i++) {
    const started = performance.now();
    const run = spawnSync(toolPath, ['upload', '--port', bridge.linePath, file]);
    if (run.status !== 0) throw new Error(`vkd37 upload: ${run.stderr}`);
    tool.push(performance.now() - started);
  }
  rmSync(dirname(file), { recursive: true });
  console.log(`vkd37 upload, process start to exit: ${summary(tool)}`);
} finally {
  await browser.close();
  await bridge.stop();
}
