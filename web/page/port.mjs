// The serial port and the upload: the port the page holds through its life (chosen, opened,
// lost, back), and the upload the dialog makes through it.
import { EchoOutcome } from './core.mjs';
import { SerialLink } from './serial-link.mjs';

const $ = (id) => document.getElementById(id);

export class Port {
  constructor(core, language) {
    this.core = core;
    this.language = language;
    this.link = null;
    this.status = null; // the key of the port status shown
    this.released = null;
    // Web Serial needs a secure context: a page from disk, https or this computer.
    this.serial = window.isSecureContext && navigator.serial ? navigator.serial : null;
    language.onChange(() => { if (!this.serial) language.say('noSerial'); });
    document.body.classList.toggle('no-serial', !this.serial);
    $('connect').disabled = !this.serial;
    $('upload').disabled = !this.serial;
    if (!this.serial) {
      this.ready = Promise.resolve();
      return;
    }
    $('connect').addEventListener('click', () => this.connect());
    this.serial.addEventListener('disconnect', (event) => this.gone(event.target));
    this.serial.addEventListener('connect', (event) => this.back(event.target));
    // A port granted at an earlier visit is taken again without asking.
    this.ready = this.serial.getPorts().then((ports) => (ports.length ? this.use(ports[0]) : null));
  }

  // The upload under way holds the port until `released` settles.
  holdUntil(released) { this.released = released; }

  showStatus(key) {
    this.status = key;
    this.language.show($('port-status'), key);
  }

  async connect() {
    let port;
    try {
      port = await this.serial.requestPort();
    } catch {
      this.language.say('noPort');
      return;
    }
    await this.use(port);
  }

  async use(port) {
    if (this.link) await this.link.close();
    this.link = new SerialLink(port, this.core.timing.baudRate);
    try {
      await this.link.open();
      this.showStatus('portOpened');
      this.language.clearMessage();
    } catch (error) {
      this.showStatus('portNotOpened');
      if (error.name === 'NetworkError' || error.name === 'InvalidStateError') this.language.say('portBusy');
    }
  }

  gone(port) {
    if (!this.link || this.link.port !== port) return;
    this.link.lost = true;
    this.showStatus('portNotOpened');
    this.language.say('portLost');
  }

  async back(port) {
    if (this.link && !this.link.lost) return;
    // The upload that saw the line go still owns the port until it has let go.
    await this.released;
    await this.use(port);
    if (this.status === 'portOpened') this.language.say('portBack');
  }
}

export class Upload {
  constructor(core, form, port, record, language) {
    this.core = core;
    this.form = form;
    this.port = port;
    this.record = record;
    this.language = language;
    this.uploading = false;
    $('upload').addEventListener('click', () => this.run());
  }

  showStatus(key) { this.language.show($('upload-status'), key); }

  async run() {
    if (this.uploading) return;
    const values = this.form.collect();
    if (!values) return;
    this.uploading = true;
    let release;
    this.port.holdUntil(new Promise((resolve) => { release = resolve; }));
    // Clicks and keys meanwhile are dropped, not carried out afterwards.
    $('form').inert = true;
    $('tools').inert = true;
    this.showStatus('uploading');
    try {
      await this.sendAndRecord(values);
    } finally {
      this.form.keep(values);
      $('form').inert = false;
      $('tools').inert = false;
      this.uploading = false;
      release();
    }
  }

  async sendAndRecord(values) {
    const frame = this.core.frame(values);
    const started = performance.now();
    const { link } = this.port;
    let outcome;
    let received = 0;
    let lineError = null;
    if (!link || link.lost) {
      outcome = EchoOutcome.lineLost;
    } else {
      const result = await link.exchange(frame, this.core.timing);
      received = result.echo.length;
      lineError = result.lineError;
      if (result.lost) outcome = EchoOutcome.lineLost;
      else if (result.writeFailed) outcome = EchoOutcome.writeFailed;
      else outcome = this.core.judgeEcho(values, result.echo);
    }
    const ms = Math.round(performance.now() - started);
    const name = this.core.outcomeName(outcome);
    this.record.add({ time: new Date().toISOString(), port: link ? link.name : '',
      frame: this.core.frameHex(values, false), outcome: name, ms });
    if (outcome === EchoOutcome.confirmed) {
      this.showStatus('uploadDone');
      if ($('batch').checked) this.language.say('nextController');
      return;
    }
    this.showStatus('uploadFailed');
    const detail = this.core.describeEcho(outcome, received).replace(/^failed: /, '');
    this.form.prompt(this.language.uploadFailure(name, detail, lineError), $('upload'));
  }
}
