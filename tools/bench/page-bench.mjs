// Benchmark of the browser page, printed, not asserted: vkd37.html opened from disk to ready for
// input in headless Chromium, beside a blank page opened the same way, the page's markup without
// its script and modules, and the page with a script that only says it is ready, with no record
// and with 30,000 entries kept; the sizes of its modules (the core, and the unit pattern's) and of
// the whole file; the first
// unit pattern judged, which compiles the pattern's module, and the next; click on "Upload
// Parameters " to "Download Complete" through the loopback bridge against the simulator paced at
// 9600 baud, with no record, with 30,000 entries kept, and while a download marks 100,000 entries
// written, beside `vkd37 upload` from process start to exit on the same simulator. Without the
// simulator and the tool, only the starts, the sizes and the unit pattern.
//   node tools/bench/page-bench.mjs PAGE MODULE [SIMULATOR TOOL]
import { spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, statSync, writeFileSync } from 'node:fs';
import { loadavg, tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { createRequire } from 'node:module';
import { pathToFileURL } from 'node:url';

const [pagePath, modulePath, simulatorPath, toolPath] = process.argv.slice(2);
const { chromium } = createRequire(new URL('../../tests/web/package.json', import.meta.url))('playwright-core');
const { SimulatorBridge } = await import('../../tests/web/bridge.mjs');
const standIn = readFileSync(new URL('../../tests/web/serial-stand-in.js', import.meta.url), 'utf8');

const median = (values) => {
  const sorted = values.slice().sort((a, b) => a - b);
  const middle = sorted.length / 2;
  return sorted.length % 2 ? sorted[Math.floor(middle)] : (sorted[middle - 1] + sorted[middle]) / 2;
};
const quartiles = (values) => {
  const sorted = values.slice().sort((a, b) => a - b);
  return `${sorted[Math.floor(sorted.length / 4)].toFixed(1)}–${sorted[Math.floor((sorted.length * 3) / 4)].toFixed(1)} ms`;
};
const summary = (values) => (values.length
  ? `median ${median(values).toFixed(1)} ms, worst ${Math.max(...values).toFixed(1)} ms (${values.length} runs)` : 'none');

const browser = await chromium.launch({
  executablePath: '/usr/bin/chromium',
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
const kStarts = 20;
const kKept = 30000;
const kMarked = 100000;
const blankPath = join(mkdtempSync(join(tmpdir(), 'vkd37-bench-')), 'blank.html');
writeFileSync(blankPath, '<!DOCTYPE html><html><head><meta charset="utf-8"><title>blank</title></head><body></body></html>');
// The page's markup, styles and picture with its script and modules left out: what drawing the
// page costs, the part of its start no script can take off, waited for as the blank page is.
const markupPath = join(dirname(blankPath), 'markup.html');
writeFileSync(markupPath, readFileSync(pagePath, 'utf8').replace(/<script[^>]*>[\s\S]*?<\/script>\n?/g, ''));

// The page with all it carries, its main script replaced by one statement that says it is ready
// (and the security policy, which would refuse that statement, left out): the least a start of
// this page can take, whatever its script does.
const floorPath = join(dirname(blankPath), 'floor.html');
writeFileSync(floorPath, readFileSync(pagePath, 'utf8')
  .replace(/<meta http-equiv="Content-Security-Policy"[^>]*>/, '')
  .replace(/<script>[\s\S]*?<\/script>/, () => '<script>document.body.dataset.ready = "true"</script>'));

const ready = (page) => page.waitForFunction(() => document.body.dataset.ready === 'true');

// Opened from disk until ready for input (a blank page: until loaded), in a fresh tab of the
// context each time; both waited for the same way. `inside` is the same start as the page's own
// clock has it, from its navigation to ready (a blank page: to the end of its load event), without
// the round trips to the browser that a loaded machine stretches.
async function readyTimes(context, count, path = pagePath, inside = []) {
  const starts = [];
  for (let i = 0; i < count; i++) {
    const page = await context.newPage();
    await page.addInitScript(() => new MutationObserver((_, observer) => {
      if (document.body?.dataset.ready !== 'true') return;
      observer.disconnect();
      window.readyAt = performance.now();
    }).observe(document, { subtree: true, attributes: true, attributeFilter: ['data-ready'] }));
    const started = performance.now();
    await page.goto(pathToFileURL(path).href, { waitUntil: 'commit' });
    if (path === pagePath || path === floorPath) await ready(page);
    else await page.waitForFunction(() => document.readyState === 'complete');
    starts.push(performance.now() - started);
    inside.push(await page.evaluate(() => window.readyAt ??
      performance.getEntriesByType('navigation')[0].loadEventEnd));
    await page.close();
  }
  return starts;
}

// Where a start's time goes: the renderer's main-thread CPU time (so a loaded machine's waits are
// left out) from navigation to the first paint or ready, whichever is later (a blank page: to
// loaded), in a trace of the load, by the phases Chromium names, each counted once where it nests
// in itself.
const kPhases = { script: 'EvaluateScript', parse: 'ParseHTML', style: 'UpdateLayoutTree', layout: 'Layout', paint: 'Paint' };
async function startWork(path, count) {
  const phases = {};
  const tracePath = join(dirname(blankPath), 'start-trace.json');
  for (let i = 0; i < count; i++) {
    const context = await browser.newContext();
    const page = await context.newPage();
    // The page may be drawn before it is ready: its mark in the trace counts the work up to then.
    await page.addInitScript(() => new MutationObserver((_, observer) => {
      if (document.body?.dataset.ready !== 'true') return;
      observer.disconnect();
      performance.mark('ready');
    }).observe(document, { subtree: true, attributes: true, attributeFilter: ['data-ready'] }));
    await browser.startTracing(page, { path: tracePath, categories: ['devtools.timeline', 'blink', 'loading', 'v8.execute', 'blink.user_timing'] });
    await page.goto(pathToFileURL(path).href, { waitUntil: 'commit' });
    if (path === pagePath) {
      await ready(page);
      await page.waitForFunction(() => performance.getEntriesByName('first-contentful-paint').length > 0);
    }
    await page.waitForFunction(() => document.readyState === 'complete');
    await browser.stopTracing();
    await context.close();
    const events = JSON.parse(readFileSync(tracePath, 'utf8')).traceEvents;
    const start = events.find((e) => e.name === 'navigationStart' && e.args?.data?.documentLoaderURL?.startsWith('file:'));
    if (!start) continue;
    const onMain = (e) => e.pid === start.pid && e.tid === start.tid;
    const painted = events.find((e) => onMain(e) && e.name === 'firstContentfulPaint') ??
      events.find((e) => onMain(e) && e.name === 'MarkLoad' && e.ts > start.ts);
    const readyMark = events.find((e) => e.name === 'ready' && e.cat === 'blink.user_timing');
    const until = Math.max(painted.ts, readyMark?.ts ?? 0);
    const work = events.filter((e) => onMain(e) && e.ph === 'X' && e.ts < until && e.ts + e.dur > start.ts)
      .sort((a, b) => a.ts - b.ts);
    const cpu = (name) => {
      let end = 0;
      let sum = 0;
      for (const e of work) {
        if ((name && e.name !== name) || e.ts < end) continue;
        end = e.ts + e.dur;
        sum += e.tdur ?? e.dur;
      }
      return sum / 1000;
    };
    (phases.all ??= []).push(cpu());
    for (const [phase, name] of Object.entries(kPhases)) (phases[phase] ??= []).push(cpu(name));
  }
  return Object.entries(phases).map(([phase, times]) => `${phase} ${median(times).toFixed(1)}`).join(', ');
}

// A tab with the stand-in port joined to a bridge.
async function uploadingTab(context, via = bridge) {
  const page = await context.newPage();
  page.on('dialog', (dialog) => dialog.accept());
  await page.addInitScript(`(${standIn})(${JSON.stringify(via.url)})`);
  await page.goto(pathToFileURL(pagePath).href);
  await ready(page);
  // The exchange's time, as the page records it with the attempt.
  await page.evaluate(() => {
    const { record } = window.vkd37Page;
    const add = record.add.bind(record);
    record.add = (attempt, values, outcome, ms, ...rest) => {
      window.exchangeMs = ms;
      return add(attempt, values, outcome, ms, ...rest);
    };
  });
  return page;
}

// Uploads through the bridge, timed inside the page from the click to the status text.
async function timeUploads(page, count) {
  const uploads = [];
  for (let i = 0; i < count; i++) {
    await page.evaluate(() => document.getElementById('prompt').close());
    uploads.push(await page.evaluate(() => new Promise((resolve) => {
      const status = document.getElementById('upload-status');
      const started = performance.now();
      window.exchangeMs = null;
      const watcher = new MutationObserver(() => {
        if (status.textContent === 'Download Complete' || status.textContent === 'Download Failed') {
          watcher.disconnect();
          const took = performance.now() - started;
          // What the upload spent beside its exchange with the controller: waiting to keep its entry.
          (window.uploadWaits ??= []).push(window.exchangeMs === null ? null : took - window.exchangeMs);
          resolve(status.textContent === 'Download Complete' ? took : null);
        }
      });
      status.textContent = '';
      watcher.observe(status, { childList: true, characterData: true, subtree: true });
      document.getElementById('upload').click();
    })));
  }
  return uploads;
}

const uploadSummary = (uploads) => {
  const failed = uploads.filter((ms) => ms === null).length;
  return `${summary(uploads.filter((ms) => ms !== null))}${failed ? `; ${failed} uploads failed` : ''}`;
};

async function uploadTimes(context, count) {
  const page = await uploadingTab(context);
  const times = await timeUploads(page, count);
  await page.close();
  return uploadSummary(times);
}

// Uploads one after another, in the downloading tab and in another in turn, while a download
// marks `count` entries written; and as many in each afterwards.
async function uploadsDuringMarking(context, count) {
  await keepEntries(context, count, count);
  const other = await SimulatorBridge.start(simulatorPath, []);
  const tabs = [await uploadingTab(context), await uploadingTab(context, other)];
  await tabs[0].evaluate(() => {
    // The file goes to memory: the bench times the marking, not a disk.
    window.showSaveFilePicker = async ({ suggestedName }) => ({ name: suggestedName, createWritable: async () => ({
      write: async () => {}, close: async () => { window.fileClosed = performance.now(); }, abort: async () => {} }) });
    window.vkd37Page.language.clearMessage();
    document.getElementById('download-log').click();
  });
  await tabs[0].waitForFunction(() => window.fileClosed, null, { timeout: 0 });
  const marked = () => tabs[0].evaluate(() => document.getElementById('message').textContent !== '');
  const during = [[], []];
  for (let turn = 0; !await marked(); turn = 1 - turn) during[turn].push(...await timeUploads(tabs[turn], 1));
  const marking = await tabs[0].evaluate(() => performance.now() - window.fileClosed);
  const alone = [await timeUploads(tabs[0], 20), await timeUploads(tabs[1], 20)];
  const waits = [];
  for (const [index, tab] of tabs.entries()) {
    const all = await tab.evaluate(() => window.uploadWaits);
    waits.push({ during: all.slice(0, during[index].length), alone: all.slice(during[index].length) });
  }
  for (const tab of tabs) await tab.close();
  await other.stop();
  return { during, alone, marking, waits };
}

// Months of use: entries as the page writes them, kept in the browser, all but the last
// `unwritten` written out.
async function keepEntries(context, count, unwritten = 1000) {
  const page = await context.newPage();
  await page.goto(pathToFileURL(pagePath).href);
  await ready(page);
  await page.evaluate(async ([total, left]) => {
    const { core, record } = window.vkd37Page;
    await record.ready;
    const values = core.startValues();
    for (let first = 0; first < total; first += 5000) {
      const entries = [];
      for (let i = first; i < Math.min(total, first + 5000); i++) {
        const time = new Date(Date.UTC(2026, 0, 1) + i * 60000).toISOString();
        const line = core.recordLine({ time, port: 'COM3', unit: `U-${i}` }, values, i % 10 ? 0 : 2, 41);
        entries.push({ line, outcome: i % 10 ? 'confirmed' : 'no-echo', written: i < total - left ? 1 : 0 });
      }
      await record.kept.addAll(entries);
    }
  }, [count, unwritten]);
  await page.close();
}

// Uploads through the bridge, and the tool's on the same simulator.
async function uploadFigures() {
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

  const marked = await browser.newContext({ bypassCSP: true });
  const { during, alone, marking, waits } = await uploadsDuringMarking(marked, kMarked);
  console.log(`download of ${kMarked} unwritten entries: marked written in ${(marking / 1000).toFixed(1)} s after the file was written`);
  for (const [index, tab] of ['the downloading tab', 'another tab'].entries()) {
    const done = during[index].filter((ms) => ms !== null);
    const delay = (value) => (value - median(alone[index].filter((ms) => ms !== null))).toFixed(1);
    console.log(`page, click to "Download Complete", ${tab}, while they are marked: ${uploadSummary(during[index])}; ` +
      `afterwards: ${uploadSummary(alone[index])}`);
    if (done.length) console.log(`  an upload's delay by the marking, ${tab}: median ${delay(median(done))} ms, worst ${delay(Math.max(...done))} ms`);
    const beside = (list) => list.filter((ms) => ms !== null);
    const [waitDuring, waitAlone] = [beside(waits[index].during), beside(waits[index].alone)];
    if (waitDuring.length && waitAlone.length) {
      console.log(`  beside the exchange (keeping the entry), ${tab}: while marked median ${median(waitDuring).toFixed(1)} ms, ` +
        `worst ${Math.max(...waitDuring).toFixed(1)} ms; afterwards median ${median(waitAlone).toFixed(1)} ms, worst ` +
        `${Math.max(...waitAlone).toFixed(1)} ms; delay worst ${(Math.max(...waitDuring) - median(waitAlone)).toFixed(1)} ms`);
    }
  }
  await marked.close();

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
}

const bridge = simulatorPath ? await SimulatorBridge.start(simulatorPath, []) : null;
try {
  // In turns, so that both meet the same load.
  const load = () => loadavg().map((value) => value.toFixed(1)).join(' ');
  const startsBegun = load();
  const starts = { page: [], blank: [], markup: [], floor: [] };
  const inside = { page: [], blank: [], markup: [], floor: [] };
  for (let i = 0; i < kStarts; i++) {
    for (const [name, path] of [['blank', blankPath], ['page', pagePath], ['markup', markupPath], ['floor', floorPath]]) {
      const context = await browser.newContext();
      starts[name].push(...await readyTimes(context, 1, path, inside[name]));
      await context.close();
    }
  }
  const times = (name, of = starts) => `${(median(of[name]) / median(of.blank)).toFixed(2)} times the blank page`;
  console.log(`page opened from disk to ready for input: ${summary(starts.page)}, middle half ${quartiles(starts.page)}, ` +
    `${times('page')}`);
  console.log(`blank page opened from disk to loaded: ${summary(starts.blank)}, middle half ${quartiles(starts.blank)}`);
  console.log(`the page's markup, styles and picture alone, no script or module, to loaded: ${summary(starts.markup)}, ` +
    `${times('markup')}`);
  console.log(`the page, its script only saying it is ready, to ready: ${summary(starts.floor)}, ${times('floor')}; ` +
    `by its own clock ${median(inside.floor).toFixed(1)} ms, ${times('floor', inside)}`);
  console.log(`the same starts by the page's own clock, from navigation: page to ready median ${median(inside.page).toFixed(1)} ms, ` +
    `${times('page', inside)}; blank to loaded ${median(inside.blank).toFixed(1)} ms; markup alone ` +
    `${median(inside.markup).toFixed(1)} ms, ${times('markup', inside)} (load average ${startsBegun}, then ${load()})`);
  const patternModule = join(dirname(modulePath), 'vkd37-pattern.wasm');
  const carried = (id) => readFileSync(pagePath, 'utf8').match(new RegExp(`id="${id}">([^<]*)<`))[1].length;
  console.log(`module ${statSync(modulePath).size} bytes (${carried('core-module')} characters in the page), pattern ` +
    `module ${statSync(patternModule).size} bytes (${carried('pattern-module')}), vkd37.html ${statSync(pagePath).size} bytes`);

  // The unit pattern's module is compiled when a tab first judges a pattern.
  const patterns = await browser.newContext();
  const judging = await patterns.newPage();
  await judging.goto(pathToFileURL(pagePath).href);
  await ready(judging);
  const judged = await judging.evaluate(async (label) => {
    document.getElementById('unit-pattern').value = '(a+)+';
    const timed = async () => {
      const started = performance.now();
      await window.vkd37Page.batch.refusal(label);
      return performance.now() - started;
    };
    return [await timed(), await timed()];
  }, `${'a'.repeat(40)}b`);
  console.log(`unit pattern (a+)+ against 40 a's and a b: ${judged[0].toFixed(1)} ms the first time ` +
    `(the pattern module compiled), ${judged[1].toFixed(1)} ms after`);
  await patterns.close();
  console.log(`renderer main-thread CPU to first paint and ready (blank: to loaded), ms, median of 5 traced loads (parse holds script): page ${
    await startWork(pagePath, 5)}; blank page ${await startWork(blankPath, 5)}`);

  if (bridge) await uploadFigures();
} finally {
  rmSync(dirname(blankPath), { recursive: true });
  await browser.close();
  await bridge?.stop();
}
