// Builds the one self-contained vkd37.html: the page template with its styles, its script (the
// page's modules bundled by esbuild, the WebAssembly modules inside) and the background picture,
// under a Content-Security-Policy that allows exactly those inline parts and no network at all;
// with the operator guide's part on the page and, in a comment at the head's top, the notices of what
// the module contains. Fails when a part outgrows its budget or the page and the dialog's
// template disagree. The form's markup and places are made here too (web/tools/form-markup.mjs),
// so that the page's script at start only gives them their texts.
import { spawnSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import { mkdirSync, readFileSync, writeFileSync, renameSync } from 'node:fs';
import { dirname, join, resolve } from 'node:path';
import { parseArgs } from 'node:util';
import { Core } from '../page/core.mjs';
import { kControls } from '../page/layout.mjs';
import { dialogControls } from './dialog-template.mjs';
import { formMarkup, inPageOrderProblem } from './form-markup.mjs';

const { values: args } = parseArgs({
  options: {
    'page-dir': { type: 'string' }, background: { type: 'string' }, template: { type: 'string' },
    module: { type: 'string' }, 'pattern-module': { type: 'string' }, esbuild: { type: 'string' }, out: { type: 'string' },
    guide: { type: 'string' }, notices: { type: 'string' },
  },
});

const kModuleBudget = 150 * 1024;
// The unit pattern's module, loaded only when a pattern is first used: the matcher and its
// Unicode tables, a little above what they measure.
const kPatternModuleBudget = 88 * 1024;
const kPageBudget = 500 * 1024;
const kCharsetWindow = 1024;

const read = (name) => readFileSync(join(args['page-dir'], name), 'utf8');
const hash = (text) => `'sha256-${createHash('sha256').update(text, 'utf8').digest('base64')}'`;

// The picture without its painted labels: the page puts real, translatable labels where they
// were, so their places are taken from the picture itself.
function splitBackground(svg) {
  const labels = [];
  const picture = svg
    .replace(/<\?xml[^>]*>\s*/, '')
    .replace(/<!--[\s\S]*?-->\s*/g, '')
    .replace(/<g font-family="DejaVu Sans" font-size="13"[^>]*>([\s\S]*?)<\/g>/, (group, body) => {
      for (const [, x, y, inner] of body.matchAll(/<text x="([\d.]+)" y="([\d.]+)">(.*?)<\/text>/g)) {
        labels.push({ x: Number(x), y: Number(y), text: inner.replace(/<[^>]+>/g, '') });
      }
      return '';
    });
  if (labels.length === 0) throw new Error('no labels found in the background picture');
  return { picture, labels };
}

// The main dialog's control places, once the page is found to show every control of it.
function templatePlaces() {
  const places = dialogControls(readFileSync(args.template, 'utf8'), 'IDD_MAIN');
  const shown = kControls.map((control) => control.control);
  const unknown = shown.filter((id, index) => !(id in places) || shown.indexOf(id) !== index);
  const missing = Object.keys(places).filter((id) => !shown.includes(id));
  if (unknown.length || missing.length) {
    throw new Error('web/page/layout.mjs and the dialog template disagree: ' +
      `not in the template or twice on the page: ${unknown.join(' ') || 'none'}; ` +
      `not on the page: ${missing.join(' ') || 'none'}`);
  }
  return places;
}

// The page's modules as one classic script (a page from disk may not load module scripts). Names
// are kept, so that an error in the browser's console still says where it happened. Also writes a
// depfile of the inputs.
function bundleScript(workDir) {
  const script = join(workDir, 'page.js');
  const inputs = join(workDir, 'inputs.json');
  const run = spawnSync(args.esbuild, [
    resolve(args['page-dir'], 'main.mjs'), '--bundle', '--format=iife', '--charset=utf8',
    '--minify-whitespace', '--minify-syntax', '--log-level=warning',
    `--outfile=${script}`, `--metafile=${inputs}`,
  ], { cwd: workDir, encoding: 'utf8' });
  process.stderr.write(run.stderr ?? '');
  if (run.status !== 0) throw new Error(`esbuild failed: ${run.error?.message ?? `status ${run.status}`}`);
  const sources = Object.keys(JSON.parse(readFileSync(inputs, 'utf8')).inputs)
    .map((path) => resolve(workDir, path).replaceAll(' ', '\\ '));
  writeFileSync(`${args.out}.d`, `${args.out}: ${sources.join(' ')}\n`);
  return readFileSync(script, 'utf8');
}

// The styles of the report page the module makes, which the page prints from a frame of its
// own: that frame has the page's policy, so the policy names them.
function reportStyles(core) {
  const styles = new Set();
  for (const language of ['en', 'zh']) {
    for (const [, style] of core.reportHtml('', language).matchAll(/<style>([\s\S]*?)<\/style>/g)) styles.add(style);
  }
  return [...styles];
}

async function build() {
  const moduleBytes = readFileSync(args.module);
  if (moduleBytes.length > kModuleBudget) {
    throw new Error(`the module is ${moduleBytes.length} bytes, over its ${kModuleBudget}`);
  }
  const patternBytes = readFileSync(args['pattern-module']);
  if (patternBytes.length > kPatternModuleBudget) {
    throw new Error(`the pattern module is ${patternBytes.length} bytes, over its ${kPatternModuleBudget}`);
  }
  const core = await Core.load(moduleBytes);
  const { picture, labels } = splitBackground(readFileSync(args.background, 'utf8'));
  const places = templatePlaces();
  const workDir = resolve(dirname(args.out), 'page-parts');
  mkdirSync(workDir, { recursive: true });
  const script = bundleScript(workDir);
  const form = formMarkup(labels, places, core);
  const template = read('page.html');
  const orderProblem = inPageOrderProblem(template);
  if (orderProblem) throw new Error(orderProblem);
  const style = `${read('page.css').replace('BACKGROUND_URL',
    `url("data:image/svg+xml;base64,${Buffer.from(picture).toString('base64')}")`)}\n${form.css}\n`;

  const policy = [
    "default-src 'none'", `script-src ${hash(script)} 'wasm-unsafe-eval'`,
    `style-src ${[style, ...reportStyles(core)].map(hash).join(' ')}`,
    'img-src data:', "connect-src 'none'", "form-action 'none'", "base-uri 'none'",
  ].join('; ');

  const notices = readFileSync(args.notices, 'utf8');
  if (notices.includes('--')) throw new Error(`${args.notices} has "--", which ends an HTML comment`);

  // Replacement functions, so that a "$" in the inserted text stays as it is.
  const page = template
    .replace('<!-- FORM -->', () => form.html)
    .replace('<!-- NOTICES -->', () => `<!--\n${notices}-->`)
    .replace('<!-- GUIDE -->', () => readFileSync(args.guide, 'utf8'))
    .replace('CONTENT_SECURITY_POLICY', () => policy)
    .replace('/* STYLE */', () => style)
    .replace('CORE_MODULE', () => moduleBytes.toString('base64'))
    .replace('PATTERN_MODULE', () => patternBytes.toString('base64'))
    .replace('/* SCRIPT */', () => script);
  const pageBytes = Buffer.byteLength(page);
  if (pageBytes > kPageBudget) throw new Error(`the page is ${pageBytes} bytes, over ${kPageBudget}`);
  // A browser looks for the page's encoding in its first 1024 bytes; declared later, it guesses
  // one first and may read the page twice, or garble its Chinese.
  const charsetEnd = Buffer.from(page).indexOf('<meta charset="utf-8">') + '<meta charset="utf-8">'.length;
  if (charsetEnd < '<meta charset="utf-8">'.length || charsetEnd > kCharsetWindow) {
    throw new Error(`the page's charset is not declared within its first ${kCharsetWindow} bytes`);
  }

  // Written beside and renamed, so a failed build never leaves half a page.
  writeFileSync(`${args.out}.tmp`, page);
  renameSync(`${args.out}.tmp`, args.out);
  console.log(`vkd37.html: ${pageBytes} bytes, module ${moduleBytes.length} bytes, ` +
    `pattern module ${patternBytes.length} bytes`);
}

try {
  await build();
} catch (error) {
  console.error(`vkd37.html not made: ${error.message}`);
  process.exitCode = 1;
}
