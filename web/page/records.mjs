// The commissioning record: one entry an upload attempt, in the line the core writes for the
// tool's --log too. Kept in the browser (record-store.mjs) across tabs and visits until it is
// cleared; shown as running counts and its latest entries, so that its size costs nothing; given
// out as JSON lines, or as the core's report: a workbook, CSV, or a page to print.
import { giveOut, pickFile, saveReport } from './download.mjs';
import { GatheredRecords } from './gathered-records.mjs';
import { message } from './language.mjs';
import { Chunk, KeptRecord, VisitRecord, entryOf, noCounts, uploadUnderWay } from './record-store.mjs';

const kShownEntries = 50;
// What a tab tells the others: an entry added, entries marked written, or the record changed
// otherwise.
const kAdded = 'added';
const kMarked = 'marked';
const kChanged = 'changed';
// Below this much room left, entries a download has written make room for new ones, this many
// at a time; with none left to remove, the page warns. A quota of a few MiB (a small disk, a
// policy) has a share of it as its low mark, so that it is not always low.
const kLowRoomBytes = 4 << 20;
const kLowRoomShare = 1 / 8;
export const kPruneCount = 500;
// At most this many chunks make way for one entry: 4,000 written entries, beyond what a browser
// was seen to write past a quota of a few MiB (1,500).
export const kMakeWayRounds = 8;
// The log's lines are linked for its file at most this many at a time, as other long work is.
const kChainChunk = 2000;

const kLogFile = { name: 'vkd37-commissioning.jsonl', type: 'application/jsonl', extension: '.jsonl' };
const kCsvFile = { name: 'vkd37-commissioning.csv', type: 'text/csv', extension: '.csv' };
const kXlsxFile = {
  name: 'vkd37-commissioning.xlsx',
  type: 'application/vnd.openxmlformats-officedocument.spreadsheetml.sheet',
  extension: '.xlsx',
};
const kColumns = ['time', 'unit', 'port', 'frame', 'outcome', 'ms'];

const $ = (id) => document.getElementById(id);

// Once the page has drawn its first frame, so that the record's storage work comes after the
// form is on screen; a tab drawing no frames (hidden) waits a bounded time instead.
const kFirstFrameBoundMs = 250;
const afterFirstFrame = () => new Promise((resolve) => {
  requestAnimationFrame(() => setTimeout(resolve));
  setTimeout(resolve, kFirstFrameBoundMs);
});

export class CommissioningRecord {
  constructor(core, language, keeper) {
    this.core = core;
    this.language = language;
    this.keeper = keeper;
    this.counts = noCounts();
    this.shown = []; // the latest entries, oldest first, as objects
    this.atRisk = false;
    this.drawn = 0; // the latest refresh drawn, so that an older one finishing late is dropped
    // The name of the outcome the counts take as confirmed.
    this.confirmed = core.outcomeName(core.EchoOutcome.confirmed);
    // Entries the browser did not keep; where it keeps nothing at all, the whole record.
    this.held = new VisitRecord(this.confirmed);
    this.heldBecause = null; // why the browser did not keep them: its error
    this.kept = null; // the browser's record while it is open
    this.refreshed = null; // the log drawn after the latest entry of this tab
    // Every tab shows the same record: a change in one is told to the others.
    this.channel = typeof BroadcastChannel === 'function' ? new BroadcastChannel('vkd37.record') : null;
    // Entries only added elsewhere are counted on from the last counts, entries marked written
    // change only the unwritten; any other change is counted afresh.
    this.channel?.addEventListener('message', ({ data }) => {
      if (data !== kAdded) this.kept?.forget({ onlyWritten: data === kMarked });
      this.refresh();
    });
    for (const [id, act] of [['download-log', () => this.download()],
      ['download-xlsx', () => this.downloadReport(kXlsxFile, (text) => this.core.reportXlsx(text, this.language.code))],
      ['download-csv', () => this.downloadReport(kCsvFile, (text) => this.core.reportCsv(text))],
      ['print-report', () => this.printReport()], ['clear-log', () => this.clear()]]) {
      $(id).addEventListener('click', () => act().catch((error) => this.language.say('recordFailed', error)));
    }
    // Other stations' records, and this page's logs downloaded before, reported as one.
    this.gathered = new GatheredRecords(core, language, (html) => this.printHtml(html));
    window.addEventListener('beforeunload', (event) => {
      if (this.counts.unwritten > 0) event.preventDefault();
    });
    // A tab of an earlier page that does not let its database go keeps the browser's record from
    // opening until it does, at first or when it is opened again: uploads and the buttons wait for
    // the record to open or to be found held so (`reached`), and meanwhile reach only this tab's
    // entries, where new ones are held.
    this.blocked = false;
    let blocking;
    const blocked = new Promise((resolve) => { blocking = resolve; });
    this.opened = afterFirstFrame().then(() => KeptRecord.open(keeper, this.confirmed, (opening) => {
      this.heldByEarlier(opening);
      blocking();
    })).then((kept) => {
      this.kept = kept;
      if (!kept) keeper.refuse();
    }, (newer) => { this.heldBecause = newer; });
    this.reached = Promise.race([this.opened, blocked]);
    // Counted and drawn; the page is ready for input before.
    this.ready = this.opened.then(() => this.refresh());
    this.ready.then(() => this.makeRoom());
  }

  // Those within reach: while a tab of an earlier page holds the browser's record, this tab's only.
  get parts() { return this.kept && !this.blocked ? [this.kept, this.held] : [this.held]; }

  // The browser's record is held by a tab of an earlier page until `opening` (its open) ends, and
  // this page has taken it: the first open ends once the record is set up.
  heldByEarlier(opening) {
    this.blocked = true;
    this.showState();
    opening.catch(() => {}).then(() => this.opened).finally(() => {
      this.blocked = false;
      this.refresh();
    });
  }

  // Lets go of the browser's record once it could not be opened again (a newer page's, or the
  // site's data refused since): this tab's entries from then on are held here. False when it is
  // still there.
  letGo() {
    if (!this.kept?.gone) return false;
    this.heldBecause = this.kept.gone;
    this.kept = null;
    this.showState();
    return true;
  }

  // What act gives for each part; a browser's record gone meanwhile, or found held by a tab of an
  // earlier page, is left out. `partial`: it was held so, and only this tab's entries were reached.
  async ofEachPart(act) {
    for (;;) {
      const parts = this.parts;
      const partial = this.blocked;
      try {
        return { parts, results: await Promise.all(parts.map(act)), partial };
      } catch (error) {
        const heldNow = this.blocked && parts.includes(this.kept);
        if (!heldNow && !this.letGo()) throw error;
      }
    }
  }

  // An upload begins: until its entry is kept (release), no chunk of a download's long work in
  // any tab starts.
  uploadStarts() { return uploadUnderWay(); }

  // One upload attempt, as the core writes its line; resolves once it is kept, after the chunk
  // of long work that the upload met, if any. The log is drawn afterwards (`refreshed`), so that
  // the upload waits for no count of a long record.
  async add(attempt, values, outcome, ms, underWay = null) {
    const line = this.core.recordLine(attempt, values, outcome, ms);
    await underWay?.granted;
    const pruned = await this.keep(line, this.core.outcomeName(outcome));
    // After the upload's outcome is shown; it says what it finds itself. Other tabs count afresh
    // where written entries went.
    this.refreshed = this.changed(pruned ? kChanged : kAdded).then(() => this.makeRoom());
  }

  // Into the browser's record; where it has no room, written entries make way, a chunk at a time
  // for a few chunks (a browser that wrote past its quota refuses until it is back under it).
  // With none left to make way, a refusal that their going does not mend, or where it keeps
  // nothing, into this tab's memory. Resolves with how many written entries went.
  async keep(line, outcome) {
    await this.reached;
    let pruned = 0;
    if (this.kept && !this.blocked) {
      try {
        for (let round = 0; ; round++) {
          try {
            await this.kept.add(line, outcome);
            break;
          } catch (error) {
            const went = error?.name === 'QuotaExceededError' && round < kMakeWayRounds
              ? await this.kept.prune(kPruneCount).catch(() => 0) : 0;
            if (!went) throw error;
            pruned += went;
          }
        }
        this.keeper.askToKeep();
        return pruned;
      } catch (refusal) {
        if (!this.blocked && !this.letGo()) this.heldBecause = refusal;
      }
    }
    if (this.blocked) this.heldBecause ??= message('heldByTab');
    await this.held.add(line, outcome);
    return pruned;
  }

  // Where room runs short, the oldest written entries go; with none left, the record is at risk.
  async makeRoom() {
    if (!this.kept || this.blocked || !navigator.storage?.estimate) return;
    let quota;
    let usage;
    try {
      ({ quota, usage } = await navigator.storage.estimate());
    } catch {
      return;
    }
    const low = quota - usage < Math.min(kLowRoomBytes, quota * kLowRoomShare);
    const pruned = low ? await this.kept?.prune(kPruneCount).catch(() => 0) : 0;
    this.atRisk = low && !pruned && this.counts.unwritten > 0;
    if (pruned) await this.changed();
    else this.showState();
  }

  async changed(how = kChanged) {
    this.channel?.postMessage(how);
    await this.refresh();
  }

  // When `unit` was last confirmed, in any tab, since `since` (a Date): { time }, null when it was
  // not; `partial` where only this tab's entries could be read.
  async lastConfirmed(unit, since) {
    await this.reached;
    const { results, partial } = await this.ofEachPart((part) => part.confirmedSince(since));
    const times = results.flat().filter((entry) => entry.unit === unit).map((entry) => entry.time);
    return { time: times.sort().at(-1) ?? null, partial };
  }

  // The counts and the latest entries, from every tab's changes.
  async refresh() {
    const drawing = ++this.drawn;
    let parts;
    try {
      ({ results: parts } = await this.ofEachPart((part) => part.recent(kShownEntries)));
    } catch (error) {
      this.language.say('recordFailed', error);
      return;
    }
    if (drawing !== this.drawn) return;
    const counts = noCounts();
    for (const part of parts) for (const key of Object.keys(counts)) counts[key] += part.counts[key];
    this.counts = counts;
    this.shown = parts.flatMap((part) => part.entries).map((entry) => entryOf(entry.line))
      .filter(Boolean).sort((a, b) => (a.time < b.time ? -1 : a.time > b.time ? 1 : 0)).slice(-kShownEntries);
    this.draw();
  }

  draw() {
    const log = $('log');
    for (const row of log.rows) this.language.forget(row.cells[kColumns.indexOf('outcome')]);
    log.replaceChildren();
    for (const entry of this.shown) {
      const row = log.insertRow();
      for (const key of kColumns) {
        const cell = row.insertCell();
        const value = entry[key] ?? '';
        if (key === 'outcome') this.language.show(cell, 'outcome', entry.outcome);
        // A label's control characters (a line end, a turn of direction) shown as the report shows them.
        else cell.textContent = typeof value === 'string' ? this.core.shownLabel(value) : value;
      }
    }
    const { all, confirmed } = this.counts;
    if (all === 0) {
      this.language.clear($('log-summary'));
    } else {
      this.language.show($('log-summary'), all > this.shown.length ? 'summaryLatest' : 'summary',
        all, confirmed, all - confirmed, this.shown.length);
    }
    this.showState();
  }

  // What puts the record at risk, said until it no longer does.
  showState() {
    const held = this.heldBecause ? this.held.counts.unwritten : 0;
    const why = this.heldBecause?.name;
    const state = $('log-state');
    if (this.blocked) this.language.show(state, 'recordBlocked', this.held.counts.unwritten);
    else if (why === 'VersionError') this.language.show(state, 'recordNewer', held);
    else if (held > 0 && why === 'QuotaExceededError') this.language.show(state, 'recordHeld', held);
    else if (held > 0) this.language.show(state, 'recordNotKept', held, this.heldBecause);
    else if (this.atRisk) this.language.show(state, 'recordAtRisk');
    else {
      this.language.clear(state);
    }
  }

  // Every entry of every part within reach, as the record's file: its lines linked as the tool
  // links a file's (the browser keeps them unlinked, since a chain links the lines of one file),
  // where each part ended, and whether only this tab's entries were reached (`partial`).
  async everything() {
    const { parts, results, partial } = await this.ofEachPart((part) => part.everything());
    const lines = results.flatMap((result) => result.lines);
    let text = '';
    let previous = '';
    const chunk = new Chunk(kChainChunk);
    for (let start = 0; start < lines.length;) {
      await chunk.timed((size) => {
        const linked = this.core.chainLines(lines.slice(start, start + size), previous);
        if (linked) previous = linked.slice(linked.lastIndexOf('\n', linked.length - 2) + 1, -1);
        text += linked;
        start += size;
      });
    }
    return { lines, text, partial,
      ends: results.map(({ through, generation }, index) => ({ part: parts[index], through, generation })) };
  }

  // Where the record goes, picked while the click still counts; null when there is nothing to
  // write or the save was cancelled. Entries made meanwhile in any tab go too.
  async destination(file) {
    await this.reached;
    // Counted afresh: a tab that slept through the others' news must not call their log empty.
    this.kept?.forget();
    await this.refresh();
    if (this.counts.all === 0) {
      this.sayEmpty();
      return null;
    }
    const destination = await pickFile(file);
    if (destination.cancelled) {
      this.language.say('notWritten');
      return null;
    }
    return destination;
  }

  // Whether the whole record is within reach: not while a tab of an earlier page holds the
  // browser's, also where its connection, closed by the browser, is opened again now.
  async whole() {
    await this.reached;
    await this.kept?.connection().catch(() => {});
    return !this.blocked;
  }

  // While another tab holds the log, an empty tab's record is not the log.
  sayEmpty() {
    if (this.blocked) this.language.say('recordBlocked', this.held.counts.unwritten);
    else this.language.say('logEmpty');
  }

  // Counted as written only when the browser says the file was written.
  async download() {
    const destination = await this.destination(kLogFile);
    if (!destination) return;
    const record = await this.everything();
    const saved = await giveOut(destination, record.text, kLogFile);
    if (saved.error) this.language.say('saveFailed', saved.name, saved.error);
    if (saved.offered) this.sayGiven(record.partial, 'logOffered');
    if (!saved.written) return;
    // A part gone meanwhile took its entries with it: nothing there to mark. A part found held
    // meanwhile was opened again: its entries were those the site's data lost.
    const removed = await Promise.all(record.ends.map(({ part, through, generation }) => part.markWritten(through, generation)
      .catch((error) => { if (!this.blocked && !this.letGo()) throw error; })));
    await this.changed(removed.some(Boolean) ? kChanged : kMarked);
    this.sayGiven(record.partial, record.partial ? 'entriesWritten' : 'logWritten', record.lines.length, saved.name);
    await this.makeRoom();
  }

  // What became of what was given out; where only this tab's entries were reached (`partial`),
  // that they alone are in it.
  sayGiven(partial, key, ...args) {
    if (partial) this.language.say('onlyThisTab', message(key, ...args));
    else this.language.say(key, ...args);
  }

  // The core's report as a file: the workbook, or the CSV.
  async downloadReport(file, make) {
    const destination = await this.destination(file);
    if (!destination) return;
    const record = await this.everything();
    const saved = await saveReport(this.language, destination, make(record.text), file);
    if (!record.partial) return;
    if (saved?.written) this.sayGiven(true, 'saved', saved.name);
    else if (saved?.offered) this.sayGiven(true, 'reportOffered', file.name);
  }

  // The core's report page in a frame of its own, printed with its own print styles.
  async printReport() {
    await this.reached;
    const record = await this.everything();
    if (!record.lines.length) {
      this.sayEmpty();
      return;
    }
    if (record.partial) this.sayGiven(true, 'reportOpened');
    await this.printHtml(this.core.reportHtml(record.text, this.language.code));
  }

  // A report page in a frame of its own, printed with its own print styles.
  async printHtml(html) {
    $('report')?.remove();
    const frame = document.createElement('iframe');
    frame.id = 'report';
    frame.title = this.language.text('printReport');
    const loaded = new Promise((resolve) => frame.addEventListener('load', resolve, { once: true }));
    frame.srcdoc = html;
    document.body.append(frame);
    await loaded;
    // A long record's report takes much memory: it goes once the print dialog has closed.
    frame.contentWindow.addEventListener('afterprint', () => frame.remove(), { once: true });
    frame.contentWindow.print();
  }

  // Asks first unless every entry has been written to a file; an entry added meanwhile in
  // another tab is not one the person was asked about, and stays. While a tab of an earlier page
  // holds the browser's record, nothing is cleared: the entries it holds cannot be seen.
  async clear() {
    if (!await this.whole()) {
      this.language.say('clearHeld');
      return;
    }
    const { parts, results: tried } = await this.ofEachPart((part) => part.clear());
    let cleared = true;
    if (tried.some((outcome) => !outcome.cleared)) {
      await this.refresh();
      cleared = window.confirm(this.language.text('clearLogAsk', this.counts.unwritten));
      if (cleared) {
        await Promise.all(parts.map((part, index) => (tried[index].cleared ? null
          : part.clear({ evenUnwritten: true, through: tried[index].through }))));
      }
    }
    await this.changed();
    this.language.say(cleared ? 'logCleared' : 'notCleared');
  }
}
