// The page: the dialog's form over its picture, the port, the upload, the parameter file, the
// commissioning log and the language. Rules and numbers come from the core; this file wires
// them to the elements.

// Pixels of the 989 × 676 picture; the dialog's controls are placed in dialog units, of which
// 4 × 8 are 7 × 15 pixels at 96 DPI.
const kPicture = { width: 989, height: 676 };
const dialogUnits = (x, y, w, h) => [x * 7 / 4, y * 15 / 8, w * 7 / 4, h * 15 / 8];

// The dialog's controls. `label` is the index of the painted label that names the control.
const kControls = [
  { id: 'fwd.source-0', field: 'fwd.source', radio: 0, at: dialogUnits(111, 74, 8, 10), label: 0 },
  { id: 'fwd.source-1', field: 'fwd.source', radio: 1, at: dialogUnits(233, 73, 8, 10), label: 1 },
  { id: 'fwd.source-2', field: 'fwd.source', radio: 2, at: dialogUnits(233, 83, 8, 10), label: 2 },
  { id: 'fwd.speed', field: 'fwd.speed', at: dialogUnits(147, 86, 39, 11), named: 'fwdSpeed' },
  { id: 'fwd.acc', field: 'fwd.acc', at: dialogUnits(73, 107, 39, 12), label: 3 },
  { id: 'fwd.dec', field: 'fwd.dec', at: dialogUnits(294, 107, 40, 11), label: 4 },
  { id: 'rev.source-0', field: 'rev.source', radio: 0, at: dialogUnits(114, 168, 8, 10), label: 6 },
  { id: 'rev.source-1', field: 'rev.source', radio: 1, at: dialogUnits(236, 167, 8, 10), label: 7 },
  { id: 'rev.source-2', field: 'rev.source', radio: 2, at: dialogUnits(236, 177, 8, 10), label: 8 },
  { id: 'rev.speed', field: 'rev.speed', at: dialogUnits(149, 182, 39, 11), named: 'revSpeed' },
  { id: 'rev.acc', field: 'rev.acc', at: dialogUnits(71, 202, 39, 12), label: 9 },
  { id: 'rev.dec', field: 'rev.dec', at: dialogUnits(293, 201, 40, 12), label: 10 },
  { id: 'legend-off', legend: true, at: dialogUnits(402, 71, 9, 10), label: 12 },
  { id: 'legend-on', legend: true, at: dialogUnits(402, 84, 9, 10), label: 13 },
  { id: 'cycles.on', field: 'cycles.on', at: dialogUnits(374, 160, 9, 10), label: 15 },
  { id: 'cycles', field: 'cycles', at: dialogUnits(466, 156, 73, 16), labelledBy: 15 },
  { id: 'home_delay.on', field: 'home_delay.on', at: dialogUnits(374, 179, 9, 10), label: 16 },
  { id: 'home_delay_ms', field: 'home_delay_ms', at: dialogUnits(466, 176, 73, 16), labelledBy: 16 },
  { id: 'end_delay.on', field: 'end_delay.on', at: dialogUnits(374, 197, 9, 10), label: 18 },
  { id: 'end_delay_ms', field: 'end_delay_ms', at: dialogUnits(466, 195, 73, 16), labelledBy: 18 },
  { id: 'auto_home', field: 'auto_home', at: dialogUnits(374, 215, 9, 10), label: 20 },
  { id: 'auto_start', at: dialogUnits(375, 234, 8, 11), label: 21 },
];
const kButtons = {
  sync: dialogUnits(3, 151, 55, 18),
  connect: dialogUnits(449, 106, 80, 12),
  upload: dialogUnits(419, 253, 88, 24),
  'port-status': dialogUnits(416, 122, 108, 13),
  'upload-status': dialogUnits(289, 257, 121, 16),
};
const kStorageValues = 'vkd37.values';
const kStorageLanguage = 'vkd37.language';
const kFileReadLimit = 1 << 20; // as the dialog's reader

const $ = (id) => document.getElementById(id);

class Page {
  constructor(core) {
    this.core = core;
    this.fieldByName = new Map(core.fields.map((field) => [field.name, field]));
    this.language = localStorage.getItem(kStorageLanguage) === 'zh' ? 'zh' : 'en';
    this.link = null;
    this.uploading = false;
    this.portStatus = null;
    this.uploadStatus = null;
    this.fileHandle = null;
    this.fileName = 'InitialParameter.dll';
    this.log = [];
    const kept = localStorage.getItem(kStorageValues);
    const read = kept === null ? null : core.readFile(kept);
    this.values = read && read.taken === core.fields.length ? read.values : core.startValues();
    // Web Serial needs a secure context: a page from disk, https or this computer.
    this.serial = window.isSecureContext && navigator.serial ? navigator.serial : null;
    this.build();
    this.show(this.values);
    this.applyLanguage();
    this.setUpSerial();
  }

  get texts() { return pageTexts[this.language]; }

  place(element, [x, y, w, h]) {
    element.style.left = `${(x / kPicture.width) * 100}%`;
    element.style.top = `${(y / kPicture.height) * 100}%`;
    if (w !== undefined) {
      element.style.width = `${(w / kPicture.width) * 100}%`;
      element.style.height = `${(h / kPicture.height) * 100}%`;
    }
  }

  build() {
    const form = $('form');
    this.labels = paintedLabels.map((painted, index) => {
      const control = kControls.find((c) => c.label === index);
      const label = document.createElement(control ? 'label' : 'span');
      label.id = `painted-${index}`;
      label.className = 'painted';
      if (control) label.htmlFor = control.id;
      // The picture's y is the baseline, 12 pixels below the top of the text box.
      this.place(label, [painted.x, painted.y - 12]);
      form.append(label);
      return label;
    });
    for (const control of kControls) {
      const field = this.fieldByName.get(control.field);
      const input = document.createElement('input');
      input.id = control.id;
      if (control.radio !== undefined) {
        input.type = 'radio';
        input.name = control.field;
        input.value = String(control.radio);
      } else if (!field || field.kind === ValueKind.flag) {
        input.type = 'checkbox';
        input.disabled = Boolean(control.legend);
        // The legend, as the dialog shows it: an empty box for "disabled", a ticked one for "enabled".
        input.checked = control.id === 'legend-on';
      } else {
        input.type = 'text';
        input.inputMode = 'numeric';
        input.autocomplete = 'off';
        if (control.labelledBy !== undefined) input.setAttribute('aria-labelledby', `painted-${control.labelledBy}`);
      }
      this.place(input, control.at);
      form.append(input);
    }
    // After the fields, so the keyboard reaches the buttons last, as in the dialog.
    for (const [id, at] of Object.entries(kButtons)) {
      this.place($(id), at);
      form.append($(id));
    }
    $('sync').addEventListener('click', () => this.sync());
    $('upload').addEventListener('click', () => this.upload());
    $('connect').addEventListener('click', () => this.connect());
    $('open').addEventListener('click', () => this.openFile());
    $('save').addEventListener('click', () => this.saveFile(false));
    $('save-as').addEventListener('click', () => this.saveFile(true));
    $('file-input').addEventListener('change', async (event) => {
      await this.readChosenFile(event.target.files[0], null);
      event.target.value = ''; // so that the same file can be chosen again
    });
    $('download-log').addEventListener('click', () => this.downloadLog());
    $('language').value = this.language;
    $('language').addEventListener('change', (event) => {
      this.language = event.target.value;
      localStorage.setItem(kStorageLanguage, this.language);
      this.applyLanguage();
    });
    form.addEventListener('input', () => this.showFrame());
    form.addEventListener('submit', (event) => event.preventDefault());
  }

  applyLanguage() {
    const t = this.texts;
    document.documentElement.lang = this.language === 'zh' ? 'zh-Hans' : 'en';
    document.title = `${t.programName} — ${t.caption}`;
    $('caption').textContent = t.caption;
    this.labels.forEach((label, index) => { label.textContent = t.painted[index]; });
    $('fwd.speed').setAttribute('aria-label', t.fwdSpeed);
    $('rev.speed').setAttribute('aria-label', t.revSpeed);
    for (const [id, key] of [['sync', 'sync'], ['upload', 'upload'], ['connect', 'connect'],
      ['open', 'open'], ['save', 'save'], ['save-as', 'saveAs'], ['download-log', 'downloadLog'],
      ['prompt-ok', 'ok']]) {
      $(id).textContent = t[key];
    }
    for (const [id, key] of [['batch-label', 'batch'], ['frame-label', 'frame'], ['log-label', 'log'],
      ['language-label', 'language'], ['log-time', 'logTime'], ['log-port', 'logPort'],
      ['log-frame', 'logFrame'], ['log-outcome', 'logOutcome'], ['log-ms', 'logMs']]) {
      $(id).textContent = t[key];
    }
    $('port-status').textContent = this.portStatus ? t[this.portStatus] : ' ';
    $('upload-status').textContent = this.uploadStatus ? t[this.uploadStatus] : '';
    if (!this.serial) this.say(t.noSerial);
    this.showLogSummary();
  }

  say(text) { $('message').textContent = text; }

  // The values into the controls; the port has none and is kept as it came.
  show(values) {
    this.core.fields.forEach((field, index) => {
      const value = values[index];
      if (field.kind === ValueKind.source) {
        for (const radio of document.getElementsByName(field.name)) radio.checked = Number(radio.value) === value;
      } else if (field.kind === ValueKind.flag) {
        $(field.name).checked = value === 1;
      } else if (field.name !== 'port') {
        $(field.name).value = String(value);
      }
    });
    this.showFrame();
  }

  // The values on screen, and the first field whose text is not a number.
  readControls() {
    const values = this.values.slice();
    for (const [index, field] of this.core.fields.entries()) {
      if (field.kind === ValueKind.source) {
        const checked = [...document.getElementsByName(field.name)].find((radio) => radio.checked);
        values[index] = checked ? Number(checked.value) : 0;
      } else if (field.kind === ValueKind.flag) {
        values[index] = $(field.name).checked ? 1 : 0;
      } else if (field.name !== 'port') {
        const parsed = this.core.parse(field, $(field.name).value.trim());
        if (parsed === null) return { values, notANumber: field };
        values[index] = parsed;
      }
    }
    return { values, notANumber: null };
  }

  // The values on screen, or null after prompting for the first one the dialog would refuse.
  collect() {
    const { values, notANumber } = this.readControls();
    if (notANumber) return this.refuse(notANumber, this.texts.notInteger);
    const refused = this.core.refused(values, false)[0];
    if (refused) {
      const field = this.fieldByName.get(refused.slice(0, refused.indexOf('=')));
      return this.refuse(field, this.texts.between(field.min, field.max));
    }
    return values;
  }

  refuse(field, text) {
    this.prompt(text, $(field.name));
    return null;
  }

  // A modal box like the dialog's; focus goes back to `focusAfter` when it is closed.
  prompt(text, focusAfter) {
    const box = $('prompt');
    $('prompt-text').textContent = text;
    box.addEventListener('close', () => focusAfter?.focus(), { once: true });
    box.showModal();
  }

  // The frame of the values as typed, as `vkd37 frame` prints it; the values are kept for the
  // next visit as they are typed.
  showFrame() {
    const { values, notANumber } = this.readControls();
    $('frame').textContent = notANumber ? '' : this.core.frameHex(values);
    if (!notANumber) this.keep(values);
  }

  keep(values) {
    this.values = values;
    localStorage.setItem(kStorageValues, this.core.writeFile(values));
  }

  sync() {
    const values = this.collect();
    if (!values) return;
    this.values = this.core.sync(values);
    this.show(this.values);
  }

  setStatus(kind, key) {
    this[kind] = key;
    $(kind === 'portStatus' ? 'port-status' : 'upload-status').textContent = key ? this.texts[key] : '';
  }

  // --- The port ---

  setUpSerial() {
    document.body.classList.toggle('no-serial', !this.serial);
    $('connect').disabled = !this.serial;
    $('upload').disabled = !this.serial;
    if (!this.serial) return;
    this.serial.addEventListener('disconnect', (event) => this.portGone(event.target));
    this.serial.addEventListener('connect', (event) => this.portBack(event.target));
    // A port granted at an earlier visit is taken again without asking.
    this.ready = this.serial.getPorts().then((ports) => (ports.length ? this.usePort(ports[0]) : null));
  }

  async connect() {
    let port;
    try {
      port = await this.serial.requestPort();
    } catch {
      this.say(this.texts.noPort);
      return;
    }
    await this.usePort(port);
  }

  async usePort(port) {
    if (this.link) await this.link.close();
    this.link = new SerialLink(port, this.core.timing.baudRate);
    try {
      await this.link.open();
      this.setStatus('portStatus', 'portOpened');
      this.say('');
    } catch (error) {
      this.setStatus('portStatus', 'portNotOpened');
      if (error.name === 'NetworkError' || error.name === 'InvalidStateError') this.say(this.texts.portBusy);
    }
  }

  portGone(port) {
    if (!this.link || this.link.port !== port) return;
    this.link.lost = true;
    this.setStatus('portStatus', 'portNotOpened');
    this.say(this.texts.portLost);
  }

  async portBack(port) {
    if (this.link && !this.link.lost) return;
    // The upload that saw the line go still owns the port until it has let go.
    await this.uploadDone;
    await this.usePort(port);
    if (this.portStatus === 'portOpened') this.say(this.texts.portBack);
  }

  // --- The upload ---

  async upload() {
    if (this.uploading) return;
    const values = this.collect();
    if (!values) return;
    this.uploading = true;
    let finish;
    this.uploadDone = new Promise((resolve) => { finish = resolve; });
    // Clicks and keys meanwhile are dropped, not carried out afterwards.
    $('form').inert = true;
    $('tools').inert = true;
    this.setStatus('uploadStatus', 'uploading');
    try {
      await this.sendAndLog(values);
    } finally {
      this.keep(values);
      $('form').inert = false;
      $('tools').inert = false;
      this.uploading = false;
      finish();
    }
  }

  async sendAndLog(values) {
    const frame = this.core.frame(values);
    const started = performance.now();
    let outcome;
    let received = 0;
    let lineError = null;
    if (!this.link || this.link.lost) {
      outcome = EchoOutcome.lineLost;
    } else {
      const result = await this.link.exchange(frame, this.core.timing);
      received = result.echo.length;
      lineError = result.lineError;
      if (result.lost) outcome = EchoOutcome.lineLost;
      else if (result.writeFailed) outcome = EchoOutcome.writeFailed;
      else outcome = this.core.judgeEcho(values, result.echo);
    }
    const ms = Math.round(performance.now() - started);
    const name = this.core.outcomeName(outcome);
    this.addLogLine({ time: new Date().toISOString(), port: this.link ? this.link.name : '',
      frame: this.core.frameHex(values, false), outcome: name, ms });
    if (outcome === EchoOutcome.confirmed) {
      this.setStatus('uploadStatus', 'uploadDone');
      if ($('batch').checked) this.say(this.texts.nextController);
      return;
    }
    this.setStatus('uploadStatus', 'uploadFailed');
    const detail = this.core.describeEcho(outcome, received).replace(/^failed: /, '');
    const reason = this.language === 'en' ? detail : this.texts.reasons[name];
    this.prompt(`${this.texts.uploadFailed}: ${reason}${lineError ? ` (${lineError})` : ''}`, $('upload'));
  }

  addLogLine(entry) {
    this.log.push(entry);
    const row = $('log').insertRow();
    for (const key of ['time', 'port', 'frame', 'outcome', 'ms']) row.insertCell().textContent = entry[key];
    this.showLogSummary();
  }

  showLogSummary() {
    const confirmed = this.log.filter((entry) => entry.outcome === 'confirmed').length;
    $('log-summary').textContent = this.log.length
      ? this.texts.summary(this.log.length, confirmed, this.log.length - confirmed) : '';
  }

  downloadLog() {
    const lines = this.log.map((entry) => JSON.stringify(entry) + '\n').join('');
    this.download(lines, 'vkd37-commissioning.jsonl', 'application/jsonl');
  }

  download(text, name, type) {
    const link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob([text], { type }));
    link.download = name;
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), 60000);
  }

  // --- The parameter file ---

  async openFile() {
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
    await this.readChosenFile(await handle.getFile(), handle);
  }

  async readChosenFile(file, handle) {
    if (!file) return;
    const text = await file.slice(0, kFileReadLimit).text();
    const read = this.core.readFile(text);
    if (read.taken < this.core.fields.length) {
      this.say(this.texts.notParameterFile(file.name));
      return;
    }
    this.fileHandle = handle;
    this.fileName = file.name;
    this.keep(read.values);
    this.show(read.values);
    this.say(this.texts.opened(file.name));
  }

  async saveFile(askWhere) {
    const values = this.collect();
    if (!values) return;
    const text = this.core.writeFile(values);
    let handle = askWhere ? null : this.fileHandle;
    if (!handle && !window.showSaveFilePicker) {
      this.keep(values);
      this.download(text, this.fileName, 'text/plain');
      return;
    }
    try {
      handle ??= await window.showSaveFilePicker({ suggestedName: this.fileName });
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
      this.say(this.texts.saveFailed(error.message));
      return;
    }
    this.fileHandle = handle;
    this.fileName = handle.name;
    this.keep(values);
    this.say(this.texts.saved(handle.name));
  }
}

// Starts the page once the module is compiled; tests wait for `window.vkd37Ready`.
window.vkd37Ready = (async () => {
  const bytes = Uint8Array.from(atob(coreModuleBase64), (c) => c.charCodeAt(0));
  const page = new Page(await Core.load(bytes));
  window.vkd37Page = page;
  await page.ready;
  document.body.dataset.ready = 'true';
})();
