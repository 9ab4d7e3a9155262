// Benchmark of the browser page, printed, not asserted: vkd37.html opened from disk to ready for
// input in headless Chromium; the sizes of its module and of the whole file; click on
// "Upload Parameters " to "Download Complete" through the loopback bridge against the simulator
// paced at 9600 baud, beside `vkd37 upload` from process start to exit on the same simulator.
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
const bridge = await SimulatorBridge.start(simulatorPath, []);
try {
  const starts = [];
  for (let i = 0; i < 10; i++) {
    const context = await browser.newContext();
    const page = await context.newPage();
    const started = performance.now();
    await page.goto(pathToFileURL(pagePath).href);
    await page.waitForFunction(() => document.body.dataset.ready === 'true');
    starts.push(performance.now() - started);
    await context.close();
  }
  console.log(`page opened from disk to ready for input: ${summary(starts)}`);
  console.log(`module ${statSync(modulePath).size} bytes, vkd37.html ${statSync(pagePath).size} bytes`);

  const context = await browser.newContext({ bypassCSP: true });
  await context.addInitScript(`(${standIn})(${JSON.stringify(bridge.url)})`);
  const page = await context.newPage();
  await page.goto(pathToFileURL(pagePath).href);
  await page.waitForFunction(() => document.body.dataset.ready === 'true');
  const uploads = [];
  for (let i = 0; i < 20; i++) {
    await page.evaluate(() => document.getElementById('prompt').close());
    // Timed inside the page, from the click to the status text.
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
  const failed = uploads.filter((ms) => ms === null).length;
  console.log(`page, click to "Download Complete": ${summary(uploads.filter((ms) => ms !== null))}` +
    (failed ? `; ${failed} uploads failed` : ''));
  await context.close();

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
