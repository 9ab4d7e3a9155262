// The parameter file as the page keeps it: opened and saved in the dialog's format and written
// again after every upload attempt, as the dialog does, where the core lets it: never over what
// another program wrote meanwhile, nor after an upload over what the page could not read.
import { offerDownload, writeWhole } from './download.mjs';
import { message } from './language.mjs';

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

// The first bytes of the file, as many as the reader takes.
async function firstBytes(file, limit) {
  return new Uint8Array(await file.slice(0, limit).arrayBuffer());
}

// What the file at handle holds once text is written there; its time stays unknown where the
// browser cannot tell it.
async function writtenState(handle, text) {
  const bytes = new TextEncoder().encode(text);
  const file = await handle.getFile().catch(() => null);
  return { size: bytes.length, lastModified: file?.lastModified ?? null, bytes };
}

export class ParameterFile {
  constructor(core, form, language) {
    this.core = core;
    this.form = form;
    this.language = language;
    this.handle = null;
    this.name = core.fileName;
    // What the opened file held when the page last read or wrote it: its size, modification
    // time and first bytes.
    this.known = null;
    // Until the browser refuses them (a policy or a setting) or has none.
    this.pickers = Boolean(window.showOpenFilePicker && window.showSaveFilePicker);
    this.unsaved = false;
    this.onOpened = null; // (values, name): the form now starts from these, as the file holds them
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
    let handle;
    try {
      if (this.pickers) [handle] = await window.showOpenFilePicker();
    } catch (error) {
      if (error.name === 'AbortError') return; // the person cancelled
      this.refusePickers();
    }
    if (!handle) {
      // The click still counts after the picker's refusal, so the chooser opens at once.
      $('file-input').click();
      return;
    }
    // Asked now, while the click still counts: each upload writes the file back.
    mayWrite(handle);
    await this.read(() => handle.getFile(), handle);
  }

  // The file's bytes through the dialog's reader, as far as it goes: a partial file loads as in
  // the dialog. A file that was moved, deleted or locked since it was chosen cannot be read;
  // nothing changes.
  async read(getFile, handle) {
    let file;
    let bytes;
    try {
      file = await getFile();
      bytes = await firstBytes(file, this.core.readLimit);
    } catch (error) {
      this.language.say('readFailed', file?.name ?? handle?.name ?? this.name, error);
      return;
    }
    const reading = this.core.readFile(bytes);
    this.handle = handle;
    this.name = file.name;
    this.known = { size: file.size, lastModified: file.lastModified, bytes };
    const { ReadStop, fields, readLimit } = this.core;
    this.form.keep(reading.values);
    this.form.show(reading.values);
    this.markUnsaved(false);
    this.onOpened?.(reading.values, file.name);
    if (reading.stop === ReadStop.complete) this.language.say('opened', file.name);
    else if (!reading.unreadable) this.language.say('openedPart', file.name, reading.taken, fields.length);
    else {
      this.language.say('openedStopped', file.name, reading.taken, fields.length, reading.stopOffset,
        message('stoppedAt', this.core.nameOf(ReadStop, reading.stop), readLimit));
    }
  }

  async save(askWhere) {
    const values = this.form.collect();
    if (!values) return;
    const text = this.core.writeFile(values);
    let handle = askWhere ? null : this.handle;
    try {
      if (!handle && this.pickers) handle = await window.showSaveFilePicker({ suggestedName: this.name });
    } catch (error) {
      if (error.name === 'AbortError') return; // the person cancelled
      this.refusePickers();
    }
    this.form.keep(values);
    if (!handle) {
      offerDownload(text, this.name, 'text/plain');
      this.markUnsaved(false);
      return;
    }
    // A file picked to be replaced is written as it is; the opened one only as the page left it,
    // over values the page could not read too, since the person asked for it after being told.
    const opened = handle === this.handle;
    if (await this.inTurn(() => this.write(handle, text, { judged: opened, overUnread: true }))) {
      this.handle = handle;
      this.name = handle.name;
    }
  }

  // After every upload attempt: the values go to the opened file where the core lets them and
  // the page may write it; otherwise the file is shown to have changes that are not saved, and
  // why.
  keepAfterUpload(values) {
    const text = this.core.writeFile(values);
    const { handle } = this;
    if (!handle) {
      this.inTurn(() => this.markUnsaved(true));
      return;
    }
    const permitted = mayWrite(handle);
    this.inTurn(() => this.write(handle, text, { judged: true, permitted }));
  }

  refusePickers() {
    this.pickers = false;
    this.language.notice('noPickers');
  }

  // What the core makes of writing the file at handle now, from what the page read or last wrote
  // there and what it holds: its bytes where another program lets them be read.
  async judge(handle, overUnread) {
    const file = await handle.getFile();
    const bytes = await firstBytes(file, this.core.readLimit).catch(() => null);
    return this.core.judgeSave(this.known, { size: file.size, lastModified: file.lastModified, bytes },
      overUnread);
  }

  // Runs step once the writes before it have ended, so that no two race for the file.
  inTurn(step) {
    this.writes = this.writes.then(step);
    return this.writes;
  }

  // True when the text is in the file. A `judged` write goes only where the core lets it, and
  // only once the page is `permitted` to write.
  async write(handle, text, { judged = false, overUnread = false, permitted = true } = {}) {
    this.writing++;
    try {
      if (judged) {
        const { SaveVerdict } = this.core;
        const { verdict, stopOffset } = await this.judge(handle, overUnread);
        if (verdict !== SaveVerdict.write) {
          this.markUnsaved(true, verdict === SaveVerdict.unread ? message('unsavedReason', 'unread', stopOffset)
            : message('unsavedReason', 'changed'));
          return false;
        }
      }
      if (!await permitted) {
        this.markUnsaved(true);
        return false;
      }
      await writeWhole(handle, text);
      this.known = await writtenState(handle, text);
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

  // Unsaved changes are shown with why, by default what the page can do about them: Save writes
  // the file where the page may write files, and offers a download where it may not.
  markUnsaved(unsaved, reason = message('unsavedReason', this.handle || this.pickers ? 'save' : 'download')) {
    this.unsaved = unsaved;
    const state = $('file-state');
    if (unsaved) {
      this.language.show(state, 'unsaved', this.name, reason);
    } else {
      this.language.clear(state);
    }
  }
}
