// The serial port and the upload: the port the page holds through its life (chosen, opened,
// lost, back), and the upload the dialog makes through it.
import { message } from './language.mjs';
import { SerialLink } from './serial-link.mjs';

const $ = (id) => document.getElementById(id);

// What stays out of the inert part during an upload: Upload, which keeps the focus, and the
// status regions, so that a screen reader hears the outcome where it heard "Uploading", and the
// labels scanned meanwhile; and the station, whose scan field takes the next labels.
const kLiveDuringUpload = ['upload', 'port-status', 'upload-status', 'notice', 'message', 'unit-waiting',
  'unit-typed', 'unit-not-sent', 'file-state', 'station'];

// Clicks and keys on the rest are dropped while `held`, not carried out afterwards.
function holdInput(held) {
  for (const area of [$('form'), $('tools')]) {
    for (const part of area.children) part.inert = held && !kLiveDuringUpload.includes(part.id);
  }
  if (held) $('upload').setAttribute('aria-disabled', 'true');
  else $('upload').removeAttribute('aria-disabled');
}

// The name of the lock a tab holds while it has a port of this kind open.
const portLockName = (port) => `vkd37.port ${JSON.stringify(port.getInfo?.() ?? {})}`;

export class Port {
  constructor(core, language) {
    this.core = core;
    this.language = language;
    this.link = null;
    this.status = null; // the key of the port status shown
    this.releasePortLock = null;
    this.released = Promise.resolve();
    // Opening and closing run one at a time, in the order asked for.
    this.queue = Promise.resolve();
    // Web Serial needs a secure context: a page from disk, https or this computer.
    this.serial = window.isSecureContext && navigator.serial ? navigator.serial : null;
    document.body.classList.toggle('no-serial', !this.serial);
    $('connect').disabled = !this.serial;
    $('upload').disabled = !this.serial;
    if (!this.serial) {
      language.notice('noSerial');
      this.ready = Promise.resolve();
      return;
    }
    $('connect').addEventListener('click', () => this.connect());
    this.serial.addEventListener('disconnect', (event) => this.gone(event.target));
    this.serial.addEventListener('connect', (event) => this.back(event.target));
    // A port granted at an earlier visit is taken again without asking.
    this.ready = this.serial.getPorts().then((ports) => (ports.length ? this.use(ports[0]) : null));
  }

  get isOpen() { return Boolean(this.link?.opened && !this.link.gone); }

  // The upload under way holds the port until `released` settles.
  holdUntil(released) { this.released = released; }

  showStatus(key) {
    this.status = key;
    this.language.show($('port-status'), key);
  }

  // Runs step once every open and close asked for before it has ended.
  serialised(step) {
    const run = this.queue.then(step);
    this.queue = run.catch(() => {});
    return run;
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

  use(port) { return this.serialised(() => this.take(port)); }

  // Lets go of the port held and opens `port`, so that the page never holds two; true when open.
  async take(port) {
    await this.link?.close();
    await this.releasePortLock?.();
    this.link = new SerialLink(port, this.core.timing);
    try {
      await this.link.open();
      this.holdPortLock(port);
      this.showStatus('portOpened');
      this.language.clearMessage();
      return true;
    } catch (error) {
      // Who holds the port is known before the status changes, so that the two are said together.
      const busy = error.name === 'NetworkError' || error.name === 'InvalidStateError';
      const heldByTab = busy && await this.heldByAnotherTab(port);
      this.showStatus('portNotOpened');
      if (busy) this.language.say(heldByTab ? 'portBusyTab' : 'portBusy');
      else this.language.say('openFailed', error);
      return false;
    }
  }

  // Held while the port is open here, so that another tab of the page refused an adapter of the
  // same kind can tell who holds it; the browser lets it go with the tab.
  holdPortLock(port) {
    if (!navigator.locks) return;
    let release;
    const held = new Promise((resolve) => { release = resolve; });
    const request = navigator.locks.request(portLockName(port), { mode: 'shared' }, () => held).catch(() => {});
    this.releasePortLock = () => {
      this.releasePortLock = null;
      release();
      return request;
    };
  }

  async heldByAnotherTab(port) {
    const locks = await navigator.locks?.query().catch(() => null);
    return Boolean(locks?.held.some((lock) => lock.name === portLockName(port)));
  }

  // The port in use, closed and opened again, as the dialog does when its port fails.
  reopen() {
    return this.serialised(async () => {
      const opened = await this.take(this.link.port);
      if (!opened) this.language.say('reopenFailed');
      return opened;
    });
  }

  gone(port) {
    if (!this.link || this.link.port !== port) return;
    this.link.gone = true;
    this.showStatus('portNotOpened');
    this.language.say('portLost');
  }

  async back(port) {
    // The upload that saw the line go still owns the port until it has let go.
    await this.released;
    await this.serialised(async () => {
      if (this.isOpen) return; // another adapter came back first
      if (await this.take(port)) this.language.say('portBack');
    });
  }
}

export class Upload {
  constructor(core, form, port, file, record, batch, language) {
    this.core = core;
    this.form = form;
    this.port = port;
    this.file = file;
    this.record = record;
    this.batch = batch;
    this.language = language;
    this.uploading = false;
    this.station = null; // what a station's entries name besides the attempt
    // In batch mode the label waits its turn behind one being handled.
    $('upload').addEventListener('click', () => (batch.on ? batch.fromUnit() : this.run($('unit').value)));
  }

  showStatus(key) { this.language.show($('upload-status'), key); }

  // One upload of the form's values, named by `label` (as Unit held it); settles once the focus is
  // where the next action is, and any box it opened is closed: true when what refused it would
  // refuse the next upload too (a value of the form, no port open).
  async run(label) {
    if (this.uploading) return false;
    const values = this.form.collect(this.batch.on);
    if (!values) {
      await this.form.closed;
      return true;
    }
    this.uploading = true;
    let unit;
    try {
      unit = await this.batch.label(label);
    } finally {
      this.uploading = false;
    }
    if (unit === null) return;
    const failure = await this.runWith(values, unit);
    // The focus goes back to Upload, or in batch mode to the unit's label, so that Enter or the
    // next scan serves the next controller.
    if (!failure) {
      if (this.batch.on) this.language.say('nextController');
      this.batch.focusNext();
    } else {
      await this.form.prompt(failure, this.batch.next, this.batch.on);
      return failure.everyUpload === true;
    }
    return false;
  }

  // One upload of these values: null when it was confirmed, otherwise why not; undefined when
  // another was under way.
  async runWith(values, unit) {
    if (this.uploading) return undefined;
    this.uploading = true;
    let release;
    this.port.holdUntil(new Promise((resolve) => { release = resolve; }));
    holdInput(true);
    this.language.withdraw('nextController');
    this.showStatus('uploading');
    const underWay = this.record.uploadStarts();
    let failure;
    try {
      failure = await this.send(values, unit, underWay);
    } finally {
      underWay.release();
      this.form.keep(values);
      holdInput(false);
      this.uploading = false;
      release();
    }
    // As the dialog saves after every attempt.
    this.file.keepAfterUpload(values);
    this.showStatus(failure ? 'uploadFailed' : 'uploadDone');
    return failure;
  }

  // Sends the frame and records the attempt: null when it was confirmed, otherwise why not.
  async send(values, unit, underWay) {
    await this.port.ready; // the port granted at an earlier visit, opened again as the page starts
    if (!this.port.isOpen) return { ...message('uploadFailure', message('portClosed')), everyUpload: true };
    const frame = this.core.frame(values);
    const started = performance.now();
    let result = await this.port.link.exchange(frame, this.core.timing);
    // A port that failed without a word from the browser is opened again and the frame sent
    // once more, as the dialog does.
    if (result.lost && !this.port.link.gone && await this.port.reopen()) {
      result = await this.port.link.exchange(frame, this.core.timing);
    }
    const { EchoOutcome } = this.core;
    let outcome = this.core.judgeEcho(values, result.echo);
    if (result.lost) outcome = EchoOutcome.lineLost;
    else if (result.writeFailed) outcome = EchoOutcome.writeFailed;
    await this.record.add({ time: new Date().toISOString(), port: this.port.link.name, unit, ...this.station }, values,
      outcome, performance.now() - started, underWay);
    this.batch.uploaded(unit);
    if (outcome === EchoOutcome.confirmed) return null;
    const reason = message('reason', outcome, result.echo.length);
    return message('uploadFailure', result.lineError ? message('lineError', reason, result.lineError) : reason);
  }
}
