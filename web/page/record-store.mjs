// Where the commissioning record is kept: IndexedDB, one entry a key, so that tabs add their own
// entries side by side and none writes a list over another's. Each entry holds its line, its
// outcome and whether a download has written it; the counts come from the indexes on the last
// two, so that nothing but the entries is ever written: a full store still lets written entries
// go, and no count can drift from the entries. Long work (reading a whole record, marking it
// written) goes a chunk at a time, each in a short transaction of its own, and starts no chunk
// while an upload in any tab is under way, so that an upload's entry waits for the chunk it met
// at most. Where the browser keeps nothing, the same shape lives in memory for the visit.

const kDatabase = 'vkd37';
// 2: the counts from an index on the outcome, where 1 kept them as a record of their own.
const kVersion = 2;
const kEntries = 'entries';
const kMore = 'counts'; // what is not an entry: the mark of the first shape taken in
const kOldCountsKey = 'record';
const kOldTaken = 'old-record-taken';
const kUnwritten = 0;
const kWritten = 1;
// What a transaction of long work may take, so that an upload in any tab waiting for it (and
// for the next, before the page shows the upload's entry) is kept waiting little; and how many
// entries such a transaction reads, or changes, at most (few changes: a busy machine that stalls
// the browser in the middle of one stalls it in fewer writes).
const kChunkMs = 10;
const kReadChunk = 2000;
const kChangeChunk = 100;
// Entries removed at once to make room: enough for the browser to give some back.
const kPruneChunk = 200;
// What a chunk of work on one connection meets on the next.
const kStale = Symbol('opened anew');
// Held by each chunk of long work, and shared by the uploads under way in every tab.
export const kUploadLock = 'vkd37.record upload';

// The record kept by the page before it kept one entry a key.
const kOldStorageKey = 'vkd37.record';

export const noCounts = () => ({ all: 0, confirmed: 0, unwritten: 0 });

// A record line as an object; null for a damaged one.
export function entryOf(line) {
  try {
    return JSON.parse(line);
  } catch {
    return null;
  }
}

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
  const transaction = db.transaction([kEntries, kMore], mode);
  const entries = transaction.objectStore(kEntries);
  const more = transaction.objectStore(kMore);
  let result;
  const worked = Promise.resolve().then(() => work(entries, more)).then((value) => { result = value; });
  return new Promise((resolve, reject) => {
    transaction.oncomplete = () => resolve(result);
    transaction.onabort = () => reject(transaction.error ?? new DOMException('aborted', 'AbortError'));
    worked.catch((error) => {
      try { transaction.abort(); } catch { /* already ended */ }
      reject(error);
    });
  });
}

const betweenUploads = (work) => (navigator.locks ? navigator.locks.request(kUploadLock, work) : work());

// An upload under way from its start until its entry is kept: no chunk of long work starts
// meanwhile. `granted` settles once the chunk it met, if any, has ended.
export function uploadUnderWay() {
  let release = () => {};
  const held = new Promise((resolve) => { release = resolve; });
  const granted = !navigator.locks ? Promise.resolve() : new Promise((resolve) => {
    navigator.locks.request(kUploadLock, { mode: 'shared' }, () => {
      resolve();
      return held;
    }).catch(resolve);
  });
  return { granted, release };
}

// How many entries the next transaction of long work takes: fewer after one that took longer
// than kChunkMs (a busy machine, a slow disk), more after a quick one.
export class Chunk {
  constructor(most) {
    this.most = most;
    this.size = Math.min(most, 64);
  }

  // The chunk waits for the uploads under way, which its own time leaves out.
  timed(work) {
    return betweenUploads(async () => {
      const started = performance.now();
      const result = await work(this.size);
      const took = performance.now() - started;
      if (took > kChunkMs) this.shrink();
      else if (took < kChunkMs / 2) this.size = Math.min(this.most, this.size * 2);
      return result;
    });
  }

  shrink() { this.size = Math.ceil(this.size / 2); }
}

// A connection the browser is closing refuses every new transaction.
function isClosing(db) {
  try {
    db.transaction(kMore).abort();
    return false;
  } catch {
    return true;
  }
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

// Adds entries ({ line, outcome, written }) to the store; the last one's request.
function addEntries(store, entries) {
  let request;
  for (const { line, outcome, written = kUnwritten } of entries) request = store.add({ line, outcome, written });
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

function upgrade(request, oldVersion) {
  const db = request.result;
  let entries;
  if (oldVersion < 1) {
    entries = db.createObjectStore(kEntries, { keyPath: 'key', autoIncrement: true });
    entries.createIndex('written', 'written');
    db.createObjectStore(kMore);
  } else {
    entries = request.transaction.objectStore(kEntries);
    request.transaction.objectStore(kMore).delete(kOldCountsKey);
  }
  entries.createIndex('outcome', 'outcome');
}

// What a transaction meets, untried, while a tab of an earlier page holds the database.
export class HeldError extends Error {
  constructor() {
    super('a tab of an earlier page holds the database');
    this.name = 'HeldError';
  }
}

// Rejects as the browser refuses: no site data, or a newer page's database (VersionError).
// Where a tab of an earlier page holds the database and does not let it go, the browser waits
// for that tab: onBlocked(opening) is called with this open, which ends once that tab has let go.
function openDatabase(onBlocked) {
  const opening = new Promise((resolve, reject) => {
    const request = indexedDB.open(kDatabase, kVersion);
    request.onblocked = () => onBlocked(opening);
    request.onupgradeneeded = (event) => upgrade(request, event.oldVersion);
    request.onsuccess = () => resolve(request.result);
    request.onerror = () => reject(request.error);
  });
  return opening;
}

export class KeptRecord {
  // onBlocked: as openDatabase calls it, at every open.
  constructor(db, confirmed, onBlocked) {
    this.confirmed = confirmed;
    this.onBlocked = onBlocked;
    this.generation = 0; // the connection's number: keys read on one mean nothing on the next
    this.gone = null; // why the database could not be opened again, once it could not
    this.reopening = null;
    // The counts through a key, so that a refresh after entries were only added reads those
    // entries rather than counting the whole record again; and its number, changed by forget().
    this.tally = null;
    this.tallies = 0;
    this.day = null; // the confirmed entries of a day, as confirmedSince read them last
    this.use(db);
  }

  // Entries other than new ones changed (written, cleared, pruned) here or in another tab: the
  // next counts are taken afresh.
  // With `onlyWritten`, only which entries are written changed (a download's marking): what
  // else was counted stands, and the unwritten, few once written, are counted again.
  forget({ onlyWritten = false } = {}) {
    this.tally = onlyWritten && this.tally ? { ...this.tally, unwrittenStale: true } : null;
    this.tallies++;
  }

  use(db) {
    this.db = db;
    this.generation++;
    // The browser closes it when the site's data is deleted; a newer page asks for it.
    db.onclose = () => this.lost(db);
    db.onversionchange = () => {
      db.close();
      this.lost(db);
    };
  }

  lost(db) {
    if (this.db === db) this.db = null;
  }

  // The browser's record, or null where it keeps none (a profile or policy refusing site data);
  // rejects with a VersionError where a newer page keeps it. onBlocked: as openDatabase calls it,
  // this open and every one after it.
  static async open(keeper, confirmed, onBlocked) {
    let db;
    try {
      db = await openDatabase(onBlocked);
    } catch (error) {
      if (error?.name === 'VersionError') throw error;
      return null;
    }
    const record = new KeptRecord(db, confirmed, onBlocked);
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

  // The open connection; after the browser closed it, a new one, as the database now is (made
  // afresh where the site's data was deleted). Where it will not open, the record is gone. While
  // a tab of an earlier page holds it, the open waits for that tab and this rejects (HeldError),
  // so that nothing waits with it; the connection is taken once that tab lets go.
  connection() {
    if (this.db) return Promise.resolve(this.db);
    if (!this.reopening) {
      let held;
      const blocked = new Promise((resolve, reject) => { held = reject; });
      const opening = openDatabase((open) => {
        this.onBlocked(open);
        held(new HeldError());
      }).then((db) => {
        this.use(db);
        return db;
      }, (error) => {
        this.gone = error;
        throw error;
      }).finally(() => { this.reopening = null; });
      this.reopening = Promise.race([opening, blocked]);
    }
    return this.reopening;
  }

  // Entries other than new ones change while `work` runs: the counts are taken afresh after it.
  async changing(work, how = {}) {
    this.forget(how);
    try {
      return await work();
    } finally {
      this.forget(how);
    }
  }

  // Runs work in one transaction; one cut short by the connection's closing runs once more on a
  // new connection, unless it belongs to the connection of number `generation`.
  async transact(mode, work, generation = null) {
    for (let tries = 0; ; tries++) {
      const db = await this.connection();
      if (generation !== null && generation !== this.generation) return kStale;
      try {
        return await inTransaction(db, mode, work);
      } catch (error) {
        if (isClosing(db)) this.lost(db);
        if (this.db === db || tries > 0) throw error;
      }
    }
  }

  // The first shape's list, taken in once. A tab of the earlier page still open writes its whole
  // list again, so what was taken before (the same first entries) is not taken twice.
  takeOld(entries) {
    return this.transact('readwrite', async (store, more) => {
      const taken = await settled(more.get(kOldTaken));
      const from = taken && entries[taken.count - 1]?.line === taken.last ? taken.count : 0;
      addEntries(store, entries.slice(from));
      if (entries.length) more.put({ count: entries.length, last: entries.at(-1).line }, kOldTaken);
    });
  }

  // Adds entries ({ line, outcome, written }) in one go; resolves with the last one's key.
  addAll(entries) {
    return this.transact('readwrite', (store) => settled(addEntries(store, entries)));
  }

  add(line, outcome) { return this.addAll([{ line, outcome, written: kUnwritten }]); }

  // The counts from the indexes, a pass over every entry, and the last key.
  async countAll(store) {
    const written = store.index('written');
    const [all, unwritten, confirmed, last] = await Promise.all([settled(written.count()),
      settled(written.count(IDBKeyRange.only(kUnwritten))),
      settled(store.index('outcome').count(IDBKeyRange.only(this.confirmed))),
      settled(store.openKeyCursor(null, 'prev'))]);
    return { counts: { all, confirmed, unwritten }, through: last?.primaryKey ?? 0 };
  }

  // The tally brought up to date with the entries added since it was taken, and the latest
  // `limit` entries: those it carried, then the added.
  async countAdded(store, tally, limit) {
    const counts = { ...tally.counts };
    const [added, unwritten] = await Promise.all([settled(store.getAll(IDBKeyRange.lowerBound(tally.through, true))),
      tally.unwrittenStale ? settled(store.index('written').count(IDBKeyRange.only(kUnwritten))) : null]);
    for (const entry of added) counted(counts, entry, 1, this.confirmed);
    if (unwritten !== null) counts.unwritten = unwritten;
    return { counts, through: added.at(-1)?.key ?? tally.through, latest: tally.latest.concat(added).slice(-limit), limit };
  }

  // The confirmed entries made since `since` (a Date), as objects: what a station's day holds,
  // found through the index on the outcome from the newest back. The day's entries are read once,
  // then only those added after them, until entries other than new ones change.
  async confirmedSince(since) {
    const { day, tallies } = this;
    const known = day?.since === since.getTime() && day.tallies === tallies && day.generation === this.generation;
    const from = known ? day.through : 0;
    const read = { since: since.getTime(), tallies, generation: this.generation, through: from };
    const added = await this.transact('readonly', async (store) => {
      const entries = [];
      await walk(store.index('outcome').openCursor(IDBKeyRange.only(this.confirmed), 'prev'), (cursor) => {
        const entry = entryOf(cursor.value.line);
        if (cursor.primaryKey <= from || (entry && new Date(entry.time) < since)) return false;
        read.through = Math.max(read.through, cursor.primaryKey);
        if (entry) entries.push(entry);
        return true;
      });
      return entries;
    });
    read.entries = known ? [...day.entries, ...added] : added;
    if (tallies === this.tallies) this.day = read;
    return read.entries;
  }

  // The counts and the last `limit` entries, oldest first. A tally taken for as many entries
  // carries them: entries are only ever added after it (any other change forgets it, a marking
  // changes none of their lines), so that a refresh while a long record is marked or uploads
  // come quickly reads only the new ones, and its transaction, which a write in any tab waits
  // for, stays short.
  recent(limit) {
    const { tally, tallies } = this;
    return this.transact('readonly', async (store) => {
      if (tally?.generation === this.generation && tally.limit >= limit) {
        const tallied = await this.countAdded(store, tally, limit);
        if (tallies === this.tallies) this.tally = { ...tallied, generation: this.generation };
        return { counts: tallied.counts, entries: tallied.latest };
      }
      const counting = this.countAll(store);
      const entries = [];
      if (limit > 0) {
        await walk(store.openCursor(null, 'prev'), (cursor) => {
          entries.push(cursor.value);
          return entries.length < limit;
        });
      }
      const tallied = await counting;
      entries.reverse();
      if (tallies === this.tallies) this.tally = { ...tallied, latest: entries, limit, generation: this.generation };
      return { counts: tallied.counts, entries };
    });
  }

  // Every line, in order, the key of the last and the connection they were read on: what a
  // download writes. Read again from the start where the database was opened anew meanwhile.
  async everything() {
    for (;;) {
      const generation = this.generation;
      const lines = [];
      const chunk = new Chunk(kReadChunk);
      let through = 0;
      let read;
      let size;
      do {
        read = await chunk.timed((taken) => {
          size = taken;
          return this.transact('readonly',
            (store) => settled(store.getAll(IDBKeyRange.lowerBound(through, true), taken)), generation);
        });
        if (read === kStale) break;
        for (const entry of read) lines.push(entry.line);
        through = read.at(-1)?.key ?? through;
      } while (read.length === size);
      if (read !== kStale) return { lines, through, generation };
    }
  }

  // The entries up to key `through`, read on connection `generation`, have been written to a
  // file. Each chunk is also as small as the room left needs; where there is no room even to
  // mark one, written entries make way: the oldest marked ones, or else the oldest of these.
  // Resolves with whether any entry went.
  markWritten(through, generation) {
    return this.changing(() => this.markChunks(through, generation), { onlyWritten: true });
  }

  async markChunks(through, generation) {
    let from = await this.transact('readonly', async (store) =>
      (await settled(store.index('written').openKeyCursor(IDBKeyRange.only(kUnwritten))))?.primaryKey, generation);
    if (from === kStale || from === undefined) return false;
    const chunk = new Chunk(kChangeChunk);
    let removed = false;
    while (from <= through) {
      try {
        const next = await chunk.timed((size) => this.transact('readwrite', async (store) => {
          const entries = await settled(store.getAll(IDBKeyRange.bound(from, through), size));
          for (const entry of entries) if (entry.written === kUnwritten) store.put({ ...entry, written: kWritten });
          return entries.length < size ? Infinity : entries.at(-1).key + 1;
        }, generation));
        if (next === kStale) return removed;
        from = next;
      } catch (error) {
        if (error?.name !== 'QuotaExceededError') throw error;
        if (chunk.size > 1) {
          chunk.shrink();
        } else {
          removed = true;
          if (!await this.prune(kPruneChunk)) from = await this.dropWritten(from, through, generation);
        }
      }
    }
    return removed;
  }

  // Removes up to kPruneChunk entries from key `from` up to `through`, which a download has
  // written; resolves with the key after them.
  async dropWritten(from, through, generation) {
    const next = await this.changing(() => this.transact('readwrite', async (store) => {
      const keys = await settled(store.getAllKeys(IDBKeyRange.bound(from, through), kPruneChunk));
      if (keys.length) store.delete(IDBKeyRange.bound(from, keys.at(-1)));
      return keys.length < kPruneChunk ? Infinity : keys.at(-1) + 1;
    }, generation));
    return next === kStale ? Infinity : next;
  }

  // Clears the record when every entry has been written, or otherwise, with `evenUnwritten`, the
  // entries up to key `through`. Resolves with whether it cleared, and the last key.
  clear({ evenUnwritten = false, through = Infinity } = {}) {
    return this.changing(() => this.transact('readwrite', async (store) => {
      if (!evenUnwritten && await settled(store.index('written').count(IDBKeyRange.only(kUnwritten))) > 0) {
        const last = await settled(store.openKeyCursor(null, 'prev'));
        return { cleared: false, through: last?.primaryKey ?? 0 };
      }
      // What another tab added since is kept.
      if (through === Infinity) store.clear();
      else store.delete(IDBKeyRange.upperBound(through));
      return { cleared: true };
    }));
  }

  // Removes up to `count` of the oldest entries that a download has written, in a transaction
  // that writes nothing, so that a full store lets it through; resolves with how many went.
  prune(count) {
    return this.changing(() => this.transact('readwrite', async (store) => {
      const keys = await settled(store.index('written').getAllKeys(IDBKeyRange.only(kWritten), count));
      for (const key of keys) store.delete(key);
      return keys.length;
    }));
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

  async confirmedSince(since) {
    return this.entries.filter((entry) => entry.outcome === this.confirmed).map((entry) => entryOf(entry.line))
      .filter((entry) => entry && new Date(entry.time) >= since);
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
