// The commissioning record: one entry an upload attempt, kept in the browser until it is
// downloaded or cleared.
import { offerDownload } from './download.mjs';

const kStorageRecord = 'vkd37.record';

const $ = (id) => document.getElementById(id);

// One entry an upload attempt, in the shape of `vkd37 --log`.
export class CommissioningRecord {
  constructor(language, keeper) {
    this.language = language;
    this.keeper = keeper;
    const { entries, downloaded } = this.restore();
    this.entries = [];
    this.downloaded = downloaded;
    for (const entry of entries) this.show(entry);
    $('download-log').addEventListener('click', () => this.download());
    $('clear-log').addEventListener('click', () => this.clear());
    window.addEventListener('beforeunload', (event) => {
      if (this.entries.length > this.downloaded) event.preventDefault();
    });
  }

  // The record as a visit before this one left it; a damaged one counts as none.
  restore() {
    try {
      const kept = JSON.parse(this.keeper.get(kStorageRecord));
      if (Array.isArray(kept.entries) && Number.isInteger(kept.downloaded)) return kept;
    } catch {
      // Nothing kept, or not in this shape.
    }
    return { entries: [], downloaded: 0 };
  }

  persist() {
    this.keeper.set(kStorageRecord, JSON.stringify({ entries: this.entries, downloaded: this.downloaded }));
  }

  add(entry) {
    this.show(entry);
    this.persist();
  }

  show(entry) {
    this.entries.push(entry);
    const row = $('log').insertRow();
    for (const key of ['time', 'port', 'frame', 'outcome', 'ms']) {
      const cell = row.insertCell();
      if (key === 'outcome') this.language.show(cell, 'outcome', entry.outcome);
      else cell.textContent = entry[key];
    }
    const confirmed = this.entries.filter((e) => e.outcome === 'confirmed').length;
    this.language.show($('log-summary'), 'summary', this.entries.length, confirmed,
      this.entries.length - confirmed);
  }

  download() {
    const lines = this.entries.map((entry) => JSON.stringify(entry) + '\n').join('');
    offerDownload(lines, 'vkd37-commissioning.jsonl', 'application/jsonl');
    this.downloaded = this.entries.length;
    this.persist();
  }

  clear() {
    if (this.entries.length > this.downloaded && !window.confirm(this.language.text('clearLogAsk'))) return;
    for (const row of $('log').rows) this.language.forget(row.cells[3]);
    $('log').replaceChildren();
    this.language.forget($('log-summary'));
    $('log-summary').textContent = '';
    this.entries = [];
    this.downloaded = 0;
    this.keeper.remove(kStorageRecord);
  }
}
