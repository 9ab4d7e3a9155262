// What the page keeps of the operator's work: the parameter file, opened and saved in the
// dialog's format, and the commissioning record of every upload.
const kFileReadLimit = 1 << 20; // as the dialog's reader

const $ = (id) => document.getElementById(id);

function offerDownload(text, name, type) {
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([text], { type }));
  link.download = name;
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 60000);
}

export class ParameterFile {
  constructor(core, form, language) {
    this.core = core;
    this.form = form;
    this.language = language;
    this.handle = null;
    this.name = 'InitialParameter.dll';
    $('open').addEventListener('click', () => this.open());
    $('save').addEventListener('click', () => this.save(false));
    $('save-as').addEventListener('click', () => this.save(true));
    $('file-input').addEventListener('change', async (event) => {
      await this.read(event.target.files[0], null);
      event.target.value = ''; // so that the same file can be chosen again
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
    await this.read(await handle.getFile(), handle);
  }

  async read(file, handle) {
    if (!file) return;
    const text = await file.slice(0, kFileReadLimit).text();
    const read = this.core.readFile(text);
    if (read.taken < this.core.fields.length) {
      this.language.say('notParameterFile', file.name);
      return;
    }
    this.handle = handle;
    this.name = file.name;
    this.form.keep(read.values);
    this.form.show(read.values);
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
      return;
    }
    try {
      handle ??= await window.showSaveFilePicker({ suggestedName: this.name });
    } catch {
      return; // the person cancelled
    }
    // The browser writes beside the file and moves it into place on close(), so the old file
    // stays whole until the new one is complete.
    let writable;
    try {
      writable = await handle.createWritable();
      await writable.write(text);
      await writable.close();
    } catch (error) {
      await writable?.abort().catch(() => {});
      this.language.say('saveFailed', error.message);
      return;
    }
    this.handle = handle;
    this.name = handle.name;
    this.form.keep(values);
    this.language.say('saved', handle.name);
  }
}

// One entry an upload attempt, in the shape of `vkd37 --log`.
export class CommissioningRecord {
  constructor(language) {
    this.language = language;
    this.entries = [];
    $('download-log').addEventListener('click', () => this.download());
  }

  add(entry) {
    this.entries.push(entry);
    const row = $('log').insertRow();
    for (const key of ['time', 'port', 'frame', 'outcome', 'ms']) row.insertCell().textContent = entry[key];
    const confirmed = this.entries.filter((e) => e.outcome === 'confirmed').length;
    this.language.show($('log-summary'), 'summary', this.entries.length, confirmed,
      this.entries.length - confirmed);
  }

  download() {
    const lines = this.entries.map((entry) => JSON.stringify(entry) + '\n').join('');
    offerDownload(lines, 'vkd37-commissioning.jsonl', 'application/jsonl');
  }
}
