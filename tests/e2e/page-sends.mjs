// What the page's core makes of a settings file, for the Windows suite's table of files that
// every face reads: how many values reading takes, whether it stopped at bytes it could not
// take (1) or not (0), the frame in hex that the page's form sends, or "-" when its checks
// refuse what its controls show, and the verdict on the save after an upload (a SaveVerdict's
// name) when the file is found as FOUND holds it.
// Usage: node page-sends.mjs CORE_MJS CORE_WASM FILE FOUND
import { readFileSync, statSync } from 'node:fs';
import { pathToFileURL } from 'node:url';

const [coreModule, wasm, file, found] = process.argv.slice(2);
const { Core } = await import(pathToFileURL(coreModule));
const core = await Core.load(readFileSync(wasm));
const { FormStep, ValueKind, SaveVerdict } = core;
// A file as the browser hands it to the page.
const sight = (path) => ({ size: statSync(path).size, lastModified: Math.floor(statSync(path).mtimeMs),
  bytes: readFileSync(path).subarray(0, core.readLimit) });

const known = sight(file);
const { taken, values, unreadable } = core.readFile(known.bytes);

// The values as the form's controls show them and give them back: a number box as its decimal
// text, a source as its checked button (none outside the group: -1), a two-state box ticked for
// 1 and for 2, empty for anything else.
function shownAndReadBack(field, value) {
  if (field.kind === ValueKind.source) return value >= field.min && value <= field.max ? value : -1;
  if (field.kind === ValueKind.flag) return value === 1 || value === 2 ? 1 : 0;
  return core.parseFormNumber(String(value));
}

const form = values.slice();
let refused = false;
for (const { step, field } of core.formChecks) {
  if (refused) break;
  if (step === FormStep.readButtons) {
    core.fields.forEach((f, i) => {
      if (f.kind !== ValueKind.number) form[i] = shownAndReadBack(f, values[i]);
    });
  } else if (step === FormStep.readNumber) {
    form[field.index] = shownAndReadBack(field, values[field.index]);
  } else if (step === FormStep.checkRange || step === FormStep.checkSource) {
    const value = form[field.index];
    refused = value < field.min || value > field.max;
  }
}
const { verdict } = core.judgeSave(known, sight(found), false);
console.log(`${taken} ${unreadable ? 1 : 0} ${refused ? '-' : core.frameHex(form, false)} ` +
  core.nameOf(SaveVerdict, verdict));
