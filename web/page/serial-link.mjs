// One serial port through the Web Serial API, used the way the dialog uses its COM port: open
// at 9600 8N1 without flow control, discard what waits, write the frame, read its echo within
// the time-outs. Every reader and writer is released on every path, so close() never meets
// a locked stream and the next upload always finds the port usable.

// Errors after which Chrome hands out a fresh `readable` and the port stays open.
const kRecoverableLineErrors = new Set(['FramingError', 'ParityError', 'BreakError',
  'BufferOverrunError']);

const kTimedOut = Symbol('timed out');

// The promise's outcome, or kTimedOut after ms; a rejection comes back as { error }.
function within(promise, ms) {
  let timer;
  const expiry = new Promise((resolve) => { timer = setTimeout(resolve, Math.max(0, ms), kTimedOut); });
  return Promise.race([promise.then((value) => ({ value }), (error) => ({ error })), expiry])
    .finally(() => clearTimeout(timer));
}

export class SerialLink {
  constructor(port, baudRate) {
    this.port = port;
    this.baudRate = baudRate;
    this.lost = false;
  }

  // A name for the log: the adapter's USB ids where the browser tells them.
  get name() {
    const info = this.port.getInfo ? this.port.getInfo() : {};
    const hex = (id) => id.toString(16).padStart(4, '0');
    return info.usbVendorId !== undefined
      ? `usb:${hex(info.usbVendorId)}:${hex(info.usbProductId ?? 0)}` : 'serial';
  }

  async open() {
    await this.port.open({ baudRate: this.baudRate, dataBits: 8, parity: 'none', stopBits: 1,
      flowControl: 'none', bufferSize: 1024 });
  }

  async close() {
    try {
      await this.port.close();
    } catch {
      // Already closed, or gone with the adapter: either way nothing is held any more.
    }
  }

  // Sends the frame and collects its echo: up to frame.length bytes, the first within
  // timing.transferLimitMs, each next one within timing.intervalMs of the one before.
  // Returns { echo, lost, writeFailed, lineError }.
  async exchange(frame, timing) {
    const result = { echo: new Uint8Array(0), lost: false, writeFailed: false, lineError: null };
    // Like purging both buffers: a cancelled readable drops what it holds, and the port
    // offers a fresh one.
    if (this.port.readable && !this.port.readable.locked) {
      await this.port.readable.cancel().catch(() => {});
    }
    if (this.lost || !this.port.readable || !this.port.writable) {
      result.lost = true;
      return result;
    }
    const reader = this.port.readable.getReader();
    const writer = this.port.writable.getWriter();
    try {
      const written = await within(writer.write(frame), timing.transferLimitMs);
      if (written === kTimedOut || written.error) {
        result.writeFailed = true;
        result.lost = this.lost || (written.error?.name === 'NetworkError');
        await writer.abort().catch(() => {});
        return result;
      }
      await this.readEcho(reader, frame.length, timing, result);
      return result;
    } finally {
      // A pending read ends with the cancel; only then can the lock go.
      await reader.cancel().catch(() => {});
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
      if (read === kTimedOut) read = await within(pending, 0);
      if (read === kTimedOut) break;
      if (read.error) {
        if (kRecoverableLineErrors.has(read.error.name)) {
          result.lineError = read.error.name;
        } else {
          result.lost = true;
        }
        break;
      }
      if (read.value.done) {
        result.lost = this.lost;
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
