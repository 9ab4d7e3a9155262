// Builds the one self-contained vkd37.html: the page template with its styles, its scripts, the
// WebAssembly module and the background picture inside it, under a Content-Security-Policy that
// allows exactly those inline parts and no network at all. Fails when a part outgrows its budget.
import { createHash } from 'node:crypto';
import { readFileSync, writeFileSync, renameSync } from 'node:fs';
import { join } from 'node:path';
import { parseArgs } from 'node:util';

const { values: args } = parseArgs({
  options: {
    'page-dir': { type: 'string' }, background: { type: 'string' }, module: { type: 'string' },
    version: { type: 'string' }, out: { type: 'string' },
  },
});

const kModuleBudget = 150 * 1024;
const kPageBudget = 500 * 1024;

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

const moduleBytes = readFileSync(args.module);
if (moduleBytes.length > kModuleBudget) {
  throw new Error(`the module is ${moduleBytes.length} bytes, over its ${kModuleBudget}`);
}
const { picture, labels } = splitBackground(readFileSync(args.background, 'utf8'));

const script = [
  `const coreModuleBase64 = '${moduleBytes.toString('base64')}';`,
  `const paintedLabels = ${JSON.stringify(labels)};`,
  `const pageVersion = '${args.version}';`,
  read('core.js'), read('texts.js'), read('serial.js'), read('app.js'),
].join('\n');
const style = read('page.css').replace('BACKGROUND_URL',
  `url("data:image/svg+xml;base64,${Buffer.from(picture).toString('base64')}")`);

const policy = [
  "default-src 'none'", `script-src ${hash(script)} 'wasm-unsafe-eval'`, `style-src ${hash(style)}`,
  'img-src data:', "connect-src 'none'", "form-action 'none'", "base-uri 'none'",
].join('; ');

// Replacement functions, so that a "$" in the inserted text stays as it is.
const page = read('page.html')
  .replace('CONTENT_SECURITY_POLICY', () => policy)
  .replace('/* STYLE */', () => style)
  .replace('/* SCRIPT */', () => script);
const pageBytes = Buffer.byteLength(page);
if (pageBytes > kPageBudget) throw new Error(`the page is ${pageBytes} bytes, over ${kPageBudget}`);

// Written beside and renamed, so a failed build never leaves half a page.
writeFileSync(`${args.out}.tmp`, page);
renameSync(`${args.out}.tmp`, args.out);
console.log(`vkd37.html: ${pageBytes} bytes, module ${moduleBytes.length} bytes`);
