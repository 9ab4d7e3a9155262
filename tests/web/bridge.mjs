// The loopback bridge between the page's stand-in serial port and the real simulator: a
// WebSocket server on 127.0.0.1 (written on Node's own modules) whose binary messages are the
// bytes of the simulator's pseudo-terminal, both ways. Text messages carry the port's events:
// the page asks to open and close; the bridge says when the line is lost and when it is back.
import { spawn } from 'node:child_process';
import { createHash } from 'node:crypto';
import { openSync, readFileSync, constants } from 'node:fs';
import { createServer } from 'node:http';
import { createInterface } from 'node:readline';
import tty from 'node:tty';

const kSocketGuid = '258EAFA5-E914-47DA-95CA-C5AB0DC85B11';

function encodeMessage(payload, text) {
  const head = payload.length < 126
    ? Buffer.from([text ? 0x81 : 0x82, payload.length])
    : Buffer.from([text ? 0x81 : 0x82, 126, payload.length >> 8, payload.length & 0xff]);
  return Buffer.concat([head, payload]);
}

// Complete client messages at the front of buffer: [{ opcode, payload }], and what is left.
function decodeMessages(buffer) {
  const messages = [];
  for (;;) {
    if (buffer.length < 2) break;
    let length = buffer[1] & 0x7f;
    let offset = 2;
    if (length === 126) {
      if (buffer.length < 4) break;
      length = buffer.readUInt16BE(2);
      offset = 4;
    }
    if (buffer.length < offset + 4 + length) break;
    const mask = buffer.subarray(offset, offset + 4);
    const payload = Buffer.from(buffer.subarray(offset + 4, offset + 4 + length));
    for (let i = 0; i < payload.length; i++) payload[i] ^= mask[i % 4];
    messages.push({ opcode: buffer[0] & 0x0f, payload });
    buffer = buffer.subarray(offset + 4 + length);
  }
  return { messages, rest: buffer };
}

export class SimulatorBridge {
  // Starts the simulator with the given fault flags and the bridge in front of it.
  static async start(simulatorPath, flags = []) {
    const bridge = new SimulatorBridge();
    await bridge.startSimulator(simulatorPath, flags);
    await bridge.listen();
    return bridge;
  }

  constructor() {
    this.frames = []; // what the simulator decoded, one JSON object per frame
    this.linePath = null;
    this.lineWaiters = [];
    this.socket = null;
    this.line = null;
  }

  startSimulator(simulatorPath, flags) {
    this.simulator = spawn(simulatorPath, ['--json', ...flags], { stdio: ['ignore', 'pipe', 'pipe'] });
    this.simulatorErrors = '';
    this.simulator.stderr.on('data', (data) => { this.simulatorErrors += data; });
    createInterface({ input: this.simulator.stdout }).on('line', (text) => {
      if (text.startsWith('port: ')) {
        this.linePath = text.slice('port: '.length);
        this.lineWaiters.splice(0).forEach((resolve) => resolve());
        if (this.lost) {
          this.lost = false;
          this.send('back');
        }
      } else if (text.startsWith('{')) {
        this.frames.push(JSON.parse(text));
      }
    });
    return new Promise((resolve, reject) => {
      this.lineWaiters.push(resolve);
      this.simulator.on('exit', (code) => reject(new Error(`simulator ended (${code}): ${this.simulatorErrors}`)));
    });
  }

  // Also a static web server for one page, for the tests that need an http origin.
  listen() {
    this.server = createServer((request, response) => {
      if (this.pagePath && request.url === '/vkd37.html') {
        response.writeHead(200, { 'Content-Type': 'text/html; charset=utf-8' }).end(readFileSync(this.pagePath));
      } else if (request.url === '/favicon.ico') {
        response.writeHead(204).end(); // the browser asks for one; the page has none
      } else {
        response.writeHead(404).end();
      }
    });
    this.server.on('upgrade', (request, socket) => this.accept(request, socket));
    return new Promise((resolve) => this.server.listen(0, '127.0.0.1', resolve));
  }

  get url() { return `ws://127.0.0.1:${this.server.address().port}`; }

  get pageUrl() { return `http://127.0.0.1:${this.server.address().port}/vkd37.html`; }

  accept(request, socket) {
    const accept = createHash('sha1').update(request.headers['sec-websocket-key'] + kSocketGuid)
      .digest('base64');
    socket.write('HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n' +
      `Sec-WebSocket-Accept: ${accept}\r\n\r\n`);
    this.socket = socket;
    let pending = Buffer.alloc(0);
    socket.on('data', (data) => {
      const { messages, rest } = decodeMessages(Buffer.concat([pending, data]));
      pending = rest;
      for (const { opcode, payload } of messages) {
        if (opcode === 2) this.line?.output.write(payload);
        else if (opcode === 1) this.control(payload.toString());
        else if (opcode === 8) socket.end();
      }
    });
    socket.on('error', () => {});
  }

  send(text) {
    this.socket?.write(encodeMessage(Buffer.from(text), true));
  }

  control(request) {
    if (request === 'open') {
      this.openLine();
      this.send('opened');
    } else if (request === 'close') {
      this.closeLine();
    }
  }

  // One descriptor each way: each stream closes its own.
  openLine() {
    this.closeLine();
    const open = () => openSync(this.linePath, constants.O_RDWR | constants.O_NOCTTY);
    const line = { path: this.linePath, input: new tty.ReadStream(open()), output: new tty.WriteStream(open()) };
    const { input } = line;
    this.line = line;
    input.on('data', (data) => { if (this.line === line) this.socket?.write(encodeMessage(data, false)); });
    // The simulator closed its end: the adapter is gone until it offers a new line.
    input.on('error', () => this.lineLost(line));
    input.on('end', () => this.lineLost(line));
  }

  lineLost(line) {
    if (this.line !== line) return;
    this.closeLine();
    this.send('lost');
    // The new line may already be announced; otherwise its 'port:' line says 'back'.
    if (this.linePath !== line.path) this.send('back');
    else this.lost = true;
  }

  closeLine() {
    const line = this.line;
    this.line = null;
    if (!line) return;
    line.input.destroy();
    line.output.destroy();
  }

  async stop() {
    this.closeLine();
    this.socket?.destroy();
    await new Promise((resolve) => this.server.close(resolve));
    if (this.simulator.exitCode === null) {
      const ended = new Promise((resolve) => this.simulator.once('exit', resolve));
      this.simulator.kill('SIGTERM');
      await ended;
    }
  }
}
