// Replaces navigator.serial in the page under test with ports whose bytes cross a loopback
// WebSocket to the bridge and on to the simulator's line. It keeps the rules of Chrome's ports
// that pages trip over: close() refuses while a reader or writer holds a lock, a line error
// (set lineErrorOnNextBytes) errors the current `readable` and the next access gets a fresh one,
// a fatal write error (failOnNextWrite) leaves both streams null with no event until the port is
// closed and opened again, a lost device errors both streams and fires `disconnect`, a returning
// one fires `connect`. The test's own faults: a write that never returns and whose abort is
// never honoured (writeNeverReturns), an echo that never comes (swallowEcho), a port no longer
// granted (granted), and adapters plugged in and out (unplug, plugIn) that reach no simulator.
// It counts the bytes that reached it (received) and keeps a trace of the line and the keys, with
// the page's times, which a test's failed wait prints.
(bridgeUrl) => {
  const trace = [];
  const note = (what) => trace.push(`${Math.round(performance.now())} ${what}`);
  window.addEventListener('keydown', (event) =>
    note(`key ${event.key} stamped ${Math.round(event.timeStamp)} in ${event.target.id}`), true);
  const serial = new EventTarget();
  const fire = (type, port) => {
    const event = new Event(type);
    Object.defineProperty(event, 'target', { value: port });
    serial.dispatchEvent(event);
  };

  class StandInPort {
    constructor(bridged) {
      this.bridged = bridged;
      this.state = 'closed';
      this.pending = []; // bytes that came before a readable was asked for
      this.stream = null;
      this.reading = null;
      this.sink = null;
      this.writing = null;
    }

    getInfo() { return { usbVendorId: 0x0403, usbProductId: 0x6001 }; }

    async open(options) {
      if (this.state === 'open' || this.state === 'failed') {
        throw new DOMException('The port is already open.', 'InvalidStateError');
      }
      if (standIn.heldElsewhere) throw new DOMException('Failed to open serial port.', 'NetworkError');
      standIn.openOptions = options;
      this.state = 'opening';
      if (this.bridged) {
        this.socket ??= await this.connect();
        const opened = new Promise((resolve) => { this.onOpened = resolve; });
        this.socket.send('open');
        await opened;
      } else {
        await new Promise((resolve) => setTimeout(resolve, 0));
      }
      this.pending = [];
      this.state = 'open';
      standIn.opens++;
    }

    connect() {
      const socket = new WebSocket(bridgeUrl);
      socket.binaryType = 'arraybuffer';
      socket.onmessage = ({ data }) => (typeof data === 'string' ? this.event(data) : this.receive(new Uint8Array(data)));
      return new Promise((resolve, reject) => {
        socket.onopen = () => resolve(socket);
        socket.onerror = () => reject(new DOMException('Failed to open serial port.', 'NetworkError'));
      });
    }

    receive(bytes) {
      standIn.received += bytes.length;
      note(`${bytes.length} bytes came`);
      if (this.state !== 'open' || standIn.swallowEcho) return;
      if (standIn.lineErrorOnNextBytes && this.reading) {
        // A framing or parity error on this byte: the reader sees the error, not the bytes.
        this.reading.error(new DOMException('A line error.', standIn.lineErrorOnNextBytes));
        standIn.lineErrorOnNextBytes = null;
        this.stream = this.reading = null;
        return;
      }
      if (this.reading) this.reading.enqueue(bytes);
      else this.pending.push(bytes);
    }

    event(text) {
      note(text);
      if (text === 'opened') {
        this.onOpened();
      } else if (text === 'lost') {
        this.lose();
      } else if (text === 'back') {
        this.state = 'closed';
        fire('connect', this);
      }
    }

    // Both streams error and are gone; with `silently` there is no event, as after a fatal error.
    lose(silently = false, error = new DOMException('The device has been lost.', 'NetworkError')) {
      this.reading?.error(error);
      this.writing?.error(error);
      this.stream = this.reading = this.sink = this.writing = null;
      this.state = silently ? 'failed' : 'lost';
      if (!silently) fire('disconnect', this);
    }

    get readable() {
      if (this.state !== 'open') return null;
      this.stream ??= new ReadableStream({
        start: (controller) => {
          this.reading = controller;
          this.pending.splice(0).forEach((bytes) => controller.enqueue(bytes));
        },
        cancel: () => { note('readable cancelled'); this.stream = this.reading = null; this.pending = []; },
      });
      return this.stream;
    }

    get writable() {
      if (this.state !== 'open') return null;
      this.sink ??= new WritableStream({
        start: (controller) => { this.writing = controller; },
        write: (chunk) => {
          if (standIn.writeNeverReturns) return new Promise(() => {});
          if (standIn.failOnNextWrite) {
            const error = new DOMException('A system error.', standIn.failOnNextWrite);
            standIn.failOnNextWrite = null;
            this.lose(true, error);
            throw error;
          }
          note(`${chunk.length} bytes written`);
          standIn.written.push(...chunk);
          if (this.bridged) this.socket.send(chunk);
          return undefined;
        },
        abort: () => { this.sink = this.writing = null; },
      });
      return this.sink;
    }

    async close() {
      if (this.state === 'closed') throw new DOMException('The port is already closed.', 'InvalidStateError');
      if (this.stream?.locked || this.sink?.locked) {
        throw new TypeError("Failed to execute 'close' on 'SerialPort': Cannot cancel a locked stream");
      }
      await this.stream?.cancel();
      this.stream = this.reading = this.sink = this.writing = null;
      this.state = 'closed';
      this.socket?.send('close');
    }
  }

  const port = new StandInPort(true);
  const standIn = {
    port, ports: [port], written: [], received: 0, trace, opens: 0, openOptions: null,
    lineErrorOnNextBytes: null, heldElsewhere: false, failOnNextWrite: null, writeNeverReturns: false,
    swallowEcho: false, granted: true,
    unplug: () => port.lose(),
    // Adapters that come in the same task, each announced by its own event.
    plugIn: (count) => {
      const added = Array.from({ length: count }, () => new StandInPort(false));
      standIn.ports.push(...added);
      added.forEach((each) => fire('connect', each));
    },
  };
  window.standIn = standIn;
  Object.defineProperty(Navigator.prototype, 'serial', { get: () => serial, configurable: true });
  serial.getPorts = async () => (standIn.granted ? [port] : []);
  serial.requestPort = async () => port;
}
