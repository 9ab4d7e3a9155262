// Where the commissioning record is kept: IndexedDB, one entry a key, so that tabs add their own
// entries side by side and none writes a list over another's. Each entry holds its line, its
// outcome and whether a download has written it; the running counts are one more record,
// changed in the same transaction as the entries, so that nothing ever counts the whole record.
// Where the browser keeps nothing, the same shape lives in memory for the visit.

const kDatabase = 'vkd37';
const kEntries = 'entries';
const kCounts = 'counts';
const kCountsKey = 'record';
const kOldTaken = 'old-record-taken';
const kUnwritten = 0;
const kWritten = 1;

// The record kept by the page before it kept one entry a key.
const kOldStorageKey = 'vkd37.record';

export const noCounts = () => ({ all: 0, confirmed: 0, unwritten: 0 });

// confirmed: the name of the outcome that counts as confirmed, as the core names it.
function counted(counts, entry, sign, confirmed) {
  counts.all += sign;
  if (entry.outcome === confirmed) counts.confirmed += sign;
  if (entry.written === kUnwritten) counts.unwritten += sign;
}

const settled = (request) => new Promise((resolve, reject) => {
  request.onsuccess = () => resolve(request.result);
  request.onerror = () => reject(request.error);
});

// Resolves with what work returned once the transaction has committed; rejects with the reason
// it was aborted (a full store gives QuotaExceededError).
function inTransaction(db, mode, work) {
  const transaction = db.transaction([kEntries, kCounts], mode);
  const entries = transaction.objectStore(kEntries);
  const counts = transaction.objectStore(kCounts);
  let result;
  const worked = Promise.resolve().then(() => work(entries, counts)).then((value) => { result = value; });
  return new Promise((resolve, reject) => {
    transaction.oncomplete = () => resolve(result);
    transaction.onabort = () => reject(transaction.error ?? new DOMException('aborted', 'AbortError'));
    worked.catch((error) => {
      try { transaction.abort(); } catch { /* already ended */ }
      reject(error);
    });
  });
}

// Visits the cursor's entries until visit returns false.
function walk(request, visit) {
  return new Promise((resolve, reject) => {
    request.onsuccess = () => {
      const cursor = request.result;
      if (cursor && visit(cursor) !== false) cursor.continue();
      else resolve();
    };
    request.onerror = () => reject(request.error);
  });
}

// Adds entries ({ line, outcome, written }) to the store and the counts; the last one's request.
function addEntries(store, counts, entries, confirmed) {
  let request;
  for (const { line, outcome, written = kUnwritten } of entries) {
    const entry = { line, outcome, written };
    request = store.add(entry);
    counted(counts, entry, 1, confirmed);
  }
  return request;
}

// The entries of the page's first record shape, kept as one list in localStorage.
function oldEntries(text) {
  try {
    const { entries, downloaded } = JSON.parse(text);
    if (!Array.isArray(entries)) return [];
    return entries.map((entry, index) => ({
      line: JSON.stringify(entry), outcome: entry?.outcome, written: index < downloaded ? kWritten : kUnwritten,
    }));
  } catch {
    return []; // damaged: it counted as none before, too
  }
}

export class KeptRecord {
  constructor(db, confirmed) {
    this.db = db;
    this.confirmed = confirmed;
    // A newer page asking to change the database gets it; this tab then keeps entries in memory.
    db.onversionchange = () => { db.close(); this.closed = true; };
    this.closed = false;
  }

  // The browser's record, or null where it keeps none (a profile or policy refusing site data).
  static async open(keeper, confirmed) {
    let db;
    try {
      const request = indexedDB.open(kDatabase, 1);
      request.onupgradeneeded = () => {
        request.result.createObjectStore(kEntries, { keyPath: 'key', autoIncrement: true })
          .createIndex('written', 'written');
        request.result.createObjectStore(kCounts).put(noCounts(), kCountsKey);
      };
      db = await settled(request);
    } catch {
      return null;
    }
    const record = new KeptRecord(db, confirmed);
    const old = keeper.get(kOldStorageKey);
    if (old !== null) {
      try {
        await record.takeOld(oldEntries(old));
        keeper.remove(kOldStorageKey);
      } catch {
        // Left where it is, for the next visit.
      }
    }
    return record;
  }

  // The first shape's list, taken in once. A tab of the earlier page still open writes its whole
  // list again, so what was taken before (the same first entries) is not taken twice.
  takeOld(entries) {
    return this.change(async (store, counts, countStore) => {
      const taken = await settled(countStore.get(kOldTaken));
      const from = taken && entries[taken.count - 1]?.line === taken.last ? taken.count : 0;
      addEntries(store, counts, entries.slice(from), this.confirmed);
      if (entries.length) countStore.put({ count: entries.length, last: entries.at(-1).line }, kOldTaken);
    });
  }

  // Adds entries ({ line, outcome, written }) in one go; resolves with the last one's key.
  addAll(entries) {
    return this.change((store, counts) => settled(addEntries(store, counts, entries, this.confirmed)));
  }

  add(line, outcome) { return this.addAll([{ line, outcome, written: kUnwritten }]); }

  // The counts and the last `limit` entries, oldest first.
  recent(limit) {
    return inTransaction(this.db, 'readonly', async (store, countStore) => {
      const counts = (await settled(countStore.get(kCountsKey))) ?? noCounts();
      const entries = [];
      if (limit > 0) {
        await walk(store.openCursor(null, 'prev'), (cursor) => {
          entries.push(cursor.value);
          return entries.length < limit;
        });
      }
      return { counts, entries: entries.reverse() };
    });
  }

  // Every line, in order, and the key of the last: what a download writes.
  everything() {
    return inTransaction(this.db, 'readonly', async (store) => {
      const entries = await settled(store.getAll());
      return { lines: entries.map((entry) => entry.line), through: entries.at(-1)?.key ?? 0 };
    });
  }

  // The entries up to key `through` have been written to a file.
  markWritten(through) {
    return this.change(async (store, counts) => {
      await walk(store.index('written').openCursor(IDBKeyRange.only(kUnwritten)), (cursor) => {
        if (cursor.primaryKey > through) return false;
        cursor.update({ ...cursor.value, written: kWritten });
        counts.unwritten--;
        return true;
      });
    });
  }

  // Clears the record when every entry has been written, or otherwise, with `evenUnwritten`, the
  // entries up to key `through`. Resolves with whether it cleared, and the last key.
  clear({ evenUnwritten = false, through = Infinity } = {}) {
    return this.change(async (store, counts) => {
      if (!evenUnwritten && counts.unwritten > 0) {
        const last = await settled(store.openKeyCursor(null, 'prev'));
        return { cleared: false, through: last?.primaryKey ?? 0 };
      }
      if (through === Infinity) {
        store.clear();
        Object.assign(counts, noCounts());
        return { cleared: true };
      }
      store.delete(IDBKeyRange.upperBound(through));
      // What another tab added since is kept, and counted afresh.
      Object.assign(counts, noCounts());
      await walk(store.openCursor(IDBKeyRange.lowerBound(through, true)), (cursor) => {
        counted(counts, cursor.value, 1, this.confirmed);
      });
      return { cleared: true };
    });
  }

  // Removes up to `count` of the oldest entries that a download has written; resolves with how
  // many went.
  prune(count) {
    return this.change(async (store, counts) => {
      let pruned = 0;
      await walk(store.index('written').openCursor(IDBKeyRange.only(kWritten)), (cursor) => {
        if (pruned >= count) return false;
        counted(counts, cursor.value, -1, this.confirmed);
        cursor.delete();
        pruned++;
        return true;
      });
      return pruned;
    });
  }

  // Runs work on the entries and the counts in one transaction; the counts are written back.
  change(work) {
    return inTransaction(this.db, 'readwrite', async (store, countStore) => {
      const counts = (await settled(countStore.get(kCountsKey))) ?? noCounts();
      const result = await work(store, counts, countStore);
      countStore.put(counts, kCountsKey);
      return result;
    });
  }
}

// The same record in memory, for a visit where the browser keeps nothing, and for entries the
// browser had no room for.
export class VisitRecord {
  constructor(confirmed) {
    this.confirmed = confirmed;
    this.entries = [];
    this.counts = noCounts();
    this.nextKey = 1;
    this.closed = false;
  }

  async add(line, outcome) {
    const entry = { key: this.nextKey++, line, outcome, written: kUnwritten };
    this.entries.push(entry);
    counted(this.counts, entry, 1, this.confirmed);
    return entry.key;
  }

  async recent(limit) {
    return { counts: { ...this.counts }, entries: limit > 0 ? this.entries.slice(-limit) : [] };
  }

  async everything() {
    return { lines: this.entries.map((entry) => entry.line), through: this.entries.at(-1)?.key ?? 0 };
  }

  async markWritten(through) {
    for (const entry of this.entries) {
      if (entry.key > through || entry.written === kWritten) continue;
      entry.written = kWritten;
      this.counts.unwritten--;
    }
  }

  async clear({ evenUnwritten = false, through = Infinity } = {}) {
    if (!evenUnwritten && this.counts.unwritten > 0) return { cleared: false, through: this.entries.at(-1).key };
    this.entries = this.entries.filter((entry) => entry.key > through);
    this.counts = noCounts();
    for (const entry of this.entries) counted(this.counts, entry, 1, this.confirmed);
    return { cleared: true };
  }

  async prune() { return 0; } // memory is not what runs short
}
