// One serial port through the Web Serial API, used the way the dialog uses its COM port: open
// at 9600 8N1 without flow control, discard what waits, write the frame, read its echo within
// the time-outs. Every reader and writer is released on every path, so close() never meets
// a locked stream and the next upload always finds the port usable. Every step waits a bounded
// time, also for a browser that never finishes a write or an abort.
import { timedOut, within } from './time-limit.mjs';

// Errors after which Chrome hands out a fresh `readable` and the port stays open.
const kRecoverableLineErrors = new Set(['FramingError', 'ParityError', 'BreakError',
  'BufferOverrunError']);

// A port that does not open, close, purge, abort or cancel within these is given up on.
const kOpenBoundMs = 3000;
const kStepBoundMs = 250;

export class SerialLink {
  // timing: the core's line, as Core.timing gives it.
  constructor(port, timing) {
    this.port = port;
    this.timing = timing;
    this.opened = false;
    this.gone = false; // the browser said the adapter went away
    this.broken = false; // failed without a word: only closing and opening it again helps
  }

  // A name for the log: the adapter's USB ids where the browser tells them.
  get name() {
    const info = this.port.getInfo ? this.port.getInfo() : {};
    const hex = (id) => id.toString(16).padStart(4, '0');
    return info.usbVendorId !== undefined
      ? `usb:${hex(info.usbVendorId)}:${hex(info.usbProductId ?? 0)}` : 'serial';
  }

  async open() {
    const opening = this.port.open({ baudRate: this.timing.baudRate, dataBits: 8, parity: 'none',
      stopBits: 1, flowControl: 'none', bufferSize: this.timing.queueSize });
    const opened = await within(opening, kOpenBoundMs);
    if (timedOut(opened)) {
      // Should it open after all, it is let go at once: the page holds one port at most.
      opening.then(() => this.port.close()).catch(() => {});
      throw new DOMException('the port did not open in time', 'TimeoutError');
    }
    if (opened.error) throw opened.error;
    this.opened = true;
  }

  // Errors are not looked at: closed already, or gone with the adapter, nothing is held any more.
  async close() {
    if (!this.opened) return;
    this.opened = false;
    await within(this.port.close(), kOpenBoundMs);
  }

  // Neither gone nor broken, and both streams there.
  get usable() {
    return !this.gone && !this.broken && Boolean(this.port.readable && this.port.writable);
  }

  // Sends the frame and collects its echo: up to frame.length bytes, the first within
  // timing.transferLimitMs, each next one within timing.intervalMs of the one before.
  // Returns { echo, lost, writeFailed, lineError }; lost when the port can no longer be used.
  async exchange(frame, timing) {
    const result = { echo: new Uint8Array(0), lost: false, writeFailed: false, lineError: null };
    // Like purging both buffers: a cancelled readable drops what it holds, and the port
    // offers a fresh one.
    if (this.port.readable && !this.port.readable.locked) {
      await within(this.port.readable.cancel(), kStepBoundMs);
    }
    if (this.usable) await this.sendAndRead(frame, timing, result);
    else result.lost = true;
    // After a fatal read or write error Chrome leaves the streams null and says nothing: only
    // closing the port and opening it again helps.
    const streamsGone = !(this.port.readable && this.port.writable);
    if (streamsGone && !this.gone) this.broken = true;
    if (streamsGone || this.gone) result.lost = true;
    return result;
  }

  async sendAndRead(frame, timing, result) {
    const reader = this.port.readable.getReader();
    const writer = this.port.writable.getWriter();
    try {
      const written = await within(writer.write(frame), timing.transferLimitMs);
      if (timedOut(written) || written.error) {
        result.writeFailed = true;
        // A write that never came back holds the port until it is closed.
        this.broken = timedOut(written);
        await within(writer.abort(), kStepBoundMs);
        return;
      }
      await this.readEcho(reader, frame.length, timing, result);
    } finally {
      // A pending read ends with the cancel; only then can the lock go.
      await within(reader.cancel(), kStepBoundMs);
      reader.releaseLock();
      writer.releaseLock();
    }
  }

  async readEcho(reader, length, timing, result) {
    const echo = new Uint8Array(length);
    let received = 0;
    const deadline = performance.now() + timing.transferLimitMs;
    let lastByteAt = null;
    while (received < length) {
      const now = performance.now();
      const until = lastByteAt === null ? deadline : Math.min(deadline, lastByteAt + timing.intervalMs);
      if (until <= now) break;
      const pending = reader.read();
      let read = await within(pending, until - now);
      // A busy page sees its timer late: bytes that came meanwhile still count, as they would
      // in a driver's buffer. One more turn of the event loop lets them in.
      if (timedOut(read)) read = await within(pending, 0);
      if (timedOut(read)) break;
      if (read.error) {
        if (kRecoverableLineErrors.has(read.error.name)) {
          result.lineError = read.error.name;
        } else {
          result.lost = true;
        }
        break;
      }
      if (read.value.done) {
        result.lost = this.gone;
        break;
      }
      const chunk = read.value.value.subarray(0, length - received);
      echo.set(chunk, received);
      received += chunk.length;
      lastByteAt = performance.now();
    }
    result.echo = echo.subarray(0, received);
  }
}
