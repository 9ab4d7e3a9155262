// The parameter file as the page keeps it: opened and saved in the dialog's format and written
// again after every upload attempt, as the dialog does.
import { offerDownload, writeWhole } from './download.mjs';

const kFileReadLimit = 1 << 20; // as the dialog's reader

const $ = (id) => document.getElementById(id);

// Whether the page may write through handle; asks the browser where it still may ask, which it
// allows only soon after a click.
async function mayWrite(handle) {
  const mode = { mode: 'readwrite' };
  try {
    if (await handle.queryPermission(mode) === 'granted') return true;
    return await handle.requestPermission(mode) === 'granted';
  } catch {
    return false;
  }
}

export class ParameterFile {
  constructor(core, form, language) {
    this.core = core;
    this.form = form;
    this.language = language;
    this.handle = null;
    this.name = 'InitialParameter.dll';
    this.unsaved = false;
    this.writes = Promise.resolve();
    this.writing = 0;
    $('open').addEventListener('click', () => this.open());
    $('save').addEventListener('click', () => this.save(false));
    $('save-as').addEventListener('click', () => this.save(true));
    $('file-input').addEventListener('change', async (event) => {
      const [file] = event.target.files;
      event.target.value = ''; // so that the same file can be chosen again
      if (file) await this.read(async () => file, null);
    });
    // A write under way counts as unsaved until it has ended.
    window.addEventListener('beforeunload', (event) => {
      if (this.unsaved || this.writing > 0) event.preventDefault();
    });
  }

  async open() {
    if (!window.showOpenFilePicker) {
      $('file-input').click();
      return;
    }
    let handle;
    try {
      [handle] = await window.showOpenFilePicker();
    } catch {
      return; // the person cancelled
    }
    // Asked now, while the click still counts: each upload writes the file back.
    mayWrite(handle);
    await this.read(() => handle.getFile(), handle);
  }

  // A file that was moved, deleted or locked since it was chosen cannot be read; nothing changes.
  async read(getFile, handle) {
    let file;
    let text;
    try {
      file = await getFile();
      text = await file.slice(0, kFileReadLimit).text();
    } catch (error) {
      this.language.say('readFailed', file?.name ?? handle?.name ?? this.name, error);
      return;
    }
    const read = this.core.readFile(text);
    if (read.taken < this.core.fields.length) {
      this.language.say('notParameterFile', file.name);
      return;
    }
    this.handle = handle;
    this.name = file.name;
    this.form.keep(read.values);
    this.form.show(read.values);
    this.markUnsaved(false);
    this.language.say('opened', file.name);
  }

  async save(askWhere) {
    const values = this.form.collect();
    if (!values) return;
    const text = this.core.writeFile(values);
    let handle = askWhere ? null : this.handle;
    if (!handle && !window.showSaveFilePicker) {
      this.form.keep(values);
      offerDownload(text, this.name, 'text/plain');
      this.markUnsaved(false);
      return;
    }
    try {
      handle ??= await window.showSaveFilePicker({ suggestedName: this.name });
    } catch {
      return; // the person cancelled
    }
    if (await this.inTurn(() => this.write(handle, text))) {
      this.handle = handle;
      this.name = handle.name;
    }
    this.form.keep(values);
  }

  // After every upload attempt: the values go to the opened file where the page may write it;
  // otherwise the file is shown to have changes that are not saved.
  keepAfterUpload(values) {
    const text = this.core.writeFile(values);
    const { handle } = this;
    const permitted = handle ? mayWrite(handle) : Promise.resolve(false);
    this.inTurn(async () => (await permitted ? this.write(handle, text) : this.markUnsaved(true)));
  }

  // Runs step once the writes before it have ended, so that no two race for the file.
  inTurn(step) {
    this.writes = this.writes.then(step);
    return this.writes;
  }

  // True when the text is in the file.
  async write(handle, text) {
    this.writing++;
    try {
      await writeWhole(handle, text);
    } catch (error) {
      this.markUnsaved(true);
      this.language.say('saveFailed', handle.name, error);
      return false;
    } finally {
      this.writing--;
    }
    this.markUnsaved(false);
    this.language.say('saved', handle.name);
    return true;
  }

  markUnsaved(unsaved) {
    this.unsaved = unsaved;
    const state = $('file-state');
    if (unsaved) {
      this.language.show(state, 'unsaved', this.name);
    } else {
      this.language.forget(state);
      state.textContent = '';
    }
  }
}
