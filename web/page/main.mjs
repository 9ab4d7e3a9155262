// The page's start: the module compiled, then its parts, each given the parts it works with.
// The module's bytes come as base64 in a block of the page's own that no script engine reads.
import { Batch } from './batch.mjs';
import { Core } from './core.mjs';
import { Form } from './form.mjs';
import { Language } from './language.mjs';
import { Port, Upload } from './port.mjs';
import { ParameterFile } from './parameter-file.mjs';
import { Station } from './station.mjs';
import { CommissioningRecord } from './records.mjs';
import { Keeper } from './storage.mjs';

// A key held down repeats its key-down. Enter presses a button on each, and Space a button it went
// down on, so a held key would upload again and again and answer a box that opened meanwhile
// unread: its repeats press nothing.
document.addEventListener('keydown', (event) => {
  const presses = event.key === 'Enter' || (event.key === ' ' && event.target instanceof HTMLButtonElement);
  if (event.repeat && presses) event.preventDefault();
}, true);

// Tests wait for `window.vkd37Ready` and look at the parts through `window.vkd37Page`.
window.vkd37Ready = (async () => {
  const core = await Core.load(Core.decode(document.getElementById('core-module').text));
  const keeper = new Keeper();
  const language = new Language(keeper, core);
  keeper.onRefused = () => language.notice('noStorage');
  if (!keeper.store) keeper.refuse();
  const form = new Form(core, language, keeper);
  const file = new ParameterFile(core, form, language);
  const record = new CommissioningRecord(core, language, keeper);
  const batch = new Batch(language, (text, control, scanned) => form.prompt(text, control, scanned), (label) => upload.run(label));
  const port = new Port(core, language);
  const upload = new Upload(core, form, port, file, record, batch, language);
  const station = new Station(core, form, file, upload, language);
  for (const box of ['prompt', 'ask']) language.name(document.getElementById(box), 'programName');
  language.show(document.getElementById('version'), 'version', core.version);
  language.applyToDocument();
  window.vkd37Page = { core, language, form, file, record, batch, port, upload, station };
  // Ready for input while the log is still being counted and the port granted before is being
  // opened again: neither waits for the other, and an upload waits for the port itself.
  document.body.dataset.ready = 'true';
})();
