// The C++ core in WebAssembly, wrapped for the page and for the Node tests. Every rule the dialog
// and the tool share (names, ranges, the file, the frame, the echo) is computed in the module;
// this file only moves values and texts in and out of its memory.

// A module asks for a few WASI functions that only its abort path would use; they answer
// ENOSYS, since the page has no files or console to give it.
function wasiStubs(module) {
  const stubs = {};
  for (const entry of WebAssembly.Module.imports(module)) {
    stubs[entry.module] ??= {};
    stubs[entry.module][entry.name] = () => 52;
  }
  return stubs;
}

// A module's instance, compiled at once where the browser allows it (most do for a module this
// small): a compile on a busy machine's worker threads can take longer than the rest of the
// page's start.
export async function instantiate(bytes) {
  let module;
  try {
    module = new WebAssembly.Module(bytes);
  } catch {
    module = await WebAssembly.compile(bytes);
  }
  return new WebAssembly.Instance(module, wasiStubs(module));
}

// Where the core gathers a record for its report: the page's log, and the record files opened.
export const kLogSlot = 0;
export const kOpenedSlot = 1;

export class Core {
  constructor(instance) {
    this.exports = instance.exports;
    this.exports._initialize();
    this.encoder = new TextEncoder();
    // A text the core begins with a byte order mark (the CSV report) keeps it.
    this.decoder = new TextDecoder('utf-8', { ignoreBOM: true });
    this.fields = [];
    for (let i = 0; i < this.exports.vkd_field_count(); i++) {
      this.fields.push({
        index: i,
        name: this.cString(this.exports.vkd_field_name(i)),
        kind: this.exports.vkd_field_kind(i),
        min: this.exports.vkd_field_min(i),
        max: this.exports.vkd_field_max(i),
        accepted: this.text(this.exports.vkd_accepted_text(i)),
      });
    }
    // The enumerations the page decides on, by the names the module gives them:
    // core.ReadStop.notANumber, core.EchoOutcome.lineLost, core.SaveVerdict.changed, core.FormStep,
    // core.ValueKind.
    const enumerations = {};
    for (let i = 0; i < this.exports.vkd_enumerator_count(); i++) {
      const type = this.cString(this.exports.vkd_enumerator_type(i));
      (enumerations[type] ??= {})[this.cString(this.exports.vkd_enumerator_name(i))] = this.exports.vkd_enumerator_value(i);
    }
    for (const [type, values] of Object.entries(enumerations)) this[type] = Object.freeze(values);
    // The parameter file's name and how much of a file the reader takes.
    this.fileName = this.cString(this.exports.vkd_file_name());
    this.readLimit = this.exports.vkd_read_limit();
    // The form's checks in the dialog's order; `field` is null for the step that reads the buttons.
    this.formChecks = [];
    for (let i = 0; i < this.exports.vkd_form_check_count(); i++) {
      const field = this.exports.vkd_form_check_field(i);
      this.formChecks.push({ step: this.exports.vkd_form_check_step(i), field: this.fields[field] ?? null });
    }
    // The page's languages, in the order the module takes them.
    this.languages = Array.from({ length: this.exports.vkd_language_count() },
      (_, i) => this.cString(this.exports.vkd_language_code(i)));
    // What the page's record entries and reports name as their program: "vkd37.html <version>".
    this.program = this.cString(this.exports.vkd_program());
    this.version = this.program.slice(this.program.lastIndexOf(' ') + 1);
    this.frameLength = this.exports.vkd_frame_length();
    this.timing = {
      baudRate: this.exports.vkd_baud_rate(),
      queueSize: this.exports.vkd_queue_size(),
      transferLimitMs: this.exports.vkd_transfer_limit_ms(this.frameLength),
      intervalMs: this.exports.vkd_interval_ms(),
    };
  }

  // The module's bytes from the base64 text the page carries them in, decoded by the browser
  // where it can: a decoder in script takes longer than the rest of the start's script.
  static decode(base64) {
    if (Uint8Array.fromBase64) return Uint8Array.fromBase64(base64);
    const text = atob(base64);
    const bytes = new Uint8Array(text.length);
    for (let i = 0; i < text.length; i++) bytes[i] = text.charCodeAt(i);
    return bytes;
  }

  static async load(bytes) {
    return new Core(await instantiate(bytes));
  }

  bytes(pointer, length) {
    return new Uint8Array(this.exports.memory.buffer, pointer, length);
  }

  cString(pointer) {
    if (!pointer) return null;
    const memory = new Uint8Array(this.exports.memory.buffer);
    let end = pointer;
    while (memory[end] !== 0) end++;
    return this.decoder.decode(memory.subarray(pointer, end));
  }

  // The exchange buffer's first length bytes, as text or bytes.
  text(length) {
    return this.decoder.decode(this.bytes(this.exports.vkd_exchange(), length));
  }

  put(data) {
    const bytes = typeof data === 'string' ? this.encoder.encode(data) : data;
    this.bytes(this.exports.vkd_exchange_reserve(bytes.length), bytes.length).set(bytes);
  }

  // The stored values, in field order, live in the module between calls.
  get values() {
    return Array.from(new Int32Array(this.exports.memory.buffer, this.exports.vkd_values(),
      this.fields.length));
  }

  set values(list) {
    new Int32Array(this.exports.memory.buffer, this.exports.vkd_values(), this.fields.length)
      .set(list.map((v) => v | 0));
  }

  startValues() {
    this.exports.vkd_start_values();
    return this.values;
  }

  // The dialog's reader over a file's bytes (or a text, as UTF-8): the values in field order,
  // zero past where it stopped; how many it took; why (a ReadStop) and at which byte it stopped,
  // and whether at bytes it could not take, which writing over would lose; and whether it skipped
  // a UTF-8 byte-order mark.
  readFile(bytes) {
    this.put(bytes);
    const taken = this.exports.vkd_read_text();
    return { taken, values: this.values, stop: this.exports.vkd_read_stop(),
      stopOffset: this.exports.vkd_read_stop_offset(), unreadable: this.exports.vkd_read_unreadable() === 1,
      byteOrderMark: this.exports.vkd_read_bom() === 1 };
  }

  // Whether the page may write its file over what it holds now (a SaveVerdict), from what it read
  // or last wrote there (`known`) and the file as it finds it (`found`), each { size,
  // lastModified, bytes } (lastModified null where the browser did not tell it, bytes null where
  // they could not be read; null for no file); overUnread: the person, told where the values of
  // the file read stop, asked to write over them. With the reading of what the file holds.
  judgeSave(known, found, overUnread) {
    [known, found].forEach((sight, which) => {
      this.put(sight?.bytes ?? new Uint8Array());
      this.exports.vkd_see_file(which, sight ? 1 : 0, sight?.size ?? 0, sight?.lastModified ?? NaN,
        sight?.bytes ? 1 : 0);
    });
    const verdict = this.exports.vkd_judge_save(overUnread ? 1 : 0);
    return { verdict, stop: this.exports.vkd_read_stop(), stopOffset: this.exports.vkd_read_stop_offset() };
  }

  // The name of an enumeration's value: nameOf(core.ReadStop, 2) is 'notANumber'.
  nameOf(enumeration, value) {
    return Object.keys(enumeration).find((name) => enumeration[name] === value);
  }

  writeFile(values) {
    this.values = values;
    return this.text(this.exports.vkd_write_text());
  }

  sync(values) {
    this.values = values;
    this.exports.vkd_sync();
    return this.values;
  }

  refused(values, includePort) {
    this.values = values;
    const text = this.text(this.exports.vkd_refused(includePort ? 1 : 0));
    return text ? text.split('\n') : [];
  }

  // A number box's text as the dialog's form reads it; null when it is not a number.
  parseFormNumber(text) {
    this.put(text);
    if (!this.exports.vkd_parse_form_number()) return null;
    return new Int32Array(this.exports.memory.buffer, this.exports.vkd_values(),
      this.fields.length + 1)[this.fields.length];
  }

  valueWord(field, value) {
    return this.cString(this.exports.vkd_value_word(field.index, value));
  }

  frame(values) {
    this.values = values;
    const length = this.exports.vkd_frame(); // first: it moves the exchange buffer
    return Uint8Array.from(this.bytes(this.exports.vkd_exchange(), length));
  }

  frameHex(values, spaced = true) {
    this.values = values;
    return this.text(this.exports.vkd_frame_hex(spaced ? 1 : 0));
  }

  // Judges the bytes that came back against the values' frame, with the dialog's echo rule.
  judgeEcho(values, echo) {
    this.values = values;
    this.put(echo);
    return this.exports.vkd_judge_echo();
  }

  outcomeName(outcome) {
    return this.cString(this.exports.vkd_outcome_name(outcome));
  }

  // Why an upload failed, in a language of the page ('en', 'zh').
  echoReason(outcome, received, language) {
    return this.text(this.exports.vkd_echo_reason(outcome, received, this.languageIndex(language)));
  }

  // The word of an outcome named as a record names it ('no-echo'); a name the core does not know
  // (a later program's) as it is.
  outcomeWord(name, language) {
    this.put(name);
    return this.text(this.exports.vkd_outcome_word(this.languageIndex(language)));
  }

  languageIndex(language) {
    return Math.max(0, this.languages.indexOf(language));
  }

  // The commissioning record's line for one attempt, without its end: the line `vkd37 upload
  // --log` writes, with this page as its program. unit may be left out or empty.
  // A station's line also names the station and the profile applied.
  recordLine({ time, port, unit, station, profile, profileId }, values, outcome, ms) {
    this.values = values;
    this.put(JSON.stringify({ time, port, unit, station, profile, profileId }));
    return this.text(this.exports.vkd_record_line(outcome, Math.round(ms)));
  }

  // A profile's file (docs/record.md): { profile, note, identity, values } with the port of
  // `values`, or { problem } where the text is no approved profile.
  readProfile(text, values) {
    this.values = values;
    this.put(text);
    const read = JSON.parse(this.text(this.exports.vkd_profile_read()));
    return read.problem === undefined ? { ...read, values: this.values } : read;
  }

  profileText(profile, note, values) {
    this.values = values;
    this.put(JSON.stringify({ profile, note }));
    return this.text(this.exports.vkd_profile_text());
  }

  // The values' identity: the SHA-256 of their canonical form, as a profile's.
  identity(values) {
    this.values = values;
    return this.text(this.exports.vkd_values_identity());
  }

  // Each value that differs, as `vkd37 diff` says it: "fwd.acc        10 -> 12".
  changes(before, after) {
    new Int32Array(this.exports.memory.buffer, this.exports.vkd_base_values(), this.fields.length)
      .set(before.map((v) => v | 0));
    this.values = after;
    const text = this.text(this.exports.vkd_changes());
    return text ? text.split('\n') : [];
  }

  // The log's lines as a file holds them: each linked to the line before it in the file, as the
  // tool links its lines, so that `vkd37 report --verify` checks the file. previous: the line the
  // file holds before them (as this answered it), or none at the file's start.
  chainLines(lines, previous = '') {
    this.put(`${previous}\n${lines.map((line) => `${line}\n`).join('')}`);
    return this.text(this.exports.vkd_chain_lines());
  }

  // A label as the record's reports show it, its control characters escaped (\x1D, \u202E) and its
  // backslashes doubled, so that it can neither break a row nor turn it around nor read as another.
  shownLabel(text) {
    this.put(text);
    return this.text(this.exports.vkd_shown_label());
  }

  // Record files gathered into `slot` (kLogSlot, kOpenedSlot) as `vkd37 report` gathers them: a
  // line found twice counts once, each file's chain is checked. files: [{ name, chunks }], chunks
  // an iterable, or an async one, of texts or bytes, so that no file is held whole.
  async gather(slot, files) {
    this.exports.vkd_gather_start(slot);
    for (const { name, chunks } of files) {
      this.put(name);
      this.exports.vkd_gather_file(slot);
      for await (const chunk of chunks) {
        this.put(chunk);
        this.exports.vkd_gather_bytes(slot);
      }
    }
    this.exports.vkd_gather_end(slot);
  }

  // A record held whole (its text, or its lines as texts or entry objects) gathered as one file
  // into the log's slot.
  gatherLog(lines) {
    this.exports.vkd_gather_start(kLogSlot);
    this.put('');
    this.exports.vkd_gather_file(kLogSlot);
    this.put(typeof lines === 'string' ? lines
      : lines.map((line) => `${typeof line === 'string' ? line : JSON.stringify(line)}\n`).join(''));
    this.exports.vkd_gather_bytes(kLogSlot);
    this.exports.vkd_gather_end(kLogSlot);
    return kLogSlot;
  }

  // The report of a record, made as `vkd37 report` makes it. record: the slot gathered, or the
  // record held whole (as gatherLog takes it); language: one of this.languages.
  reportCsv(record) {
    return this.text(this.exports.vkd_report_csv(this.slotOf(record)));
  }

  // The workbook's bytes (.xlsx); none where the attempts do not fit a sheet.
  reportXlsx(record, language) {
    const length = this.exports.vkd_report_xlsx(this.slotOf(record), this.languageIndex(language));
    return this.bytes(this.exports.vkd_exchange(), length).slice();
  }

  // madeAt: when the report is made, as a record's time.
  reportHtml(record, language, madeAt = new Date().toISOString()) {
    const slot = this.slotOf(record);
    this.put(madeAt);
    return this.text(this.exports.vkd_report_html(slot, this.languageIndex(language)));
  }

  reportSummary(record, language) {
    return this.text(this.exports.vkd_report_summary(this.slotOf(record), this.languageIndex(language)));
  }

  // Each file's chain, a line a file, as `vkd37 report --verify` names it.
  reportChains(record) {
    return this.text(this.exports.vkd_report_chains(this.slotOf(record)));
  }

  slotOf(record) {
    return typeof record === 'number' ? record : this.gatherLog(record);
  }
}
