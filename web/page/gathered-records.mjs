// Records of several stations, the tool's files and the page's logs, opened to be reported as one,
// as `vkd37 report FILE...` reports them: each file handed to the core a chunk at a time as the
// browser reads it, and every decision (lines counted once, conflicts, gaps, chains, profiles)
// the core's. Shown as the tool's summary; given out as the spreadsheet, CSV, or a page to print.
import { kOpenedSlot } from './core.mjs';
import { pickFile, saveReport } from './download.mjs';

const kCsvFile = { name: 'vkd37-records.csv', type: 'text/csv', extension: '.csv' };
const kXlsxFile = {
  name: 'vkd37-records.xlsx',
  type: 'application/vnd.openxmlformats-officedocument.spreadsheetml.sheet',
  extension: '.xlsx',
};

const $ = (id) => document.getElementById(id);

// A file that ended short of, or ran past, the size it had when it was picked: changed meanwhile.
class ChangedWhileRead extends Error {
  constructor(file) {
    super(file);
    this.file = file;
  }
}

// The file's bytes as the browser reads them, a chunk at a time; the whole file or an error.
async function* chunksOf(file) {
  const reader = file.stream().getReader();
  let read = 0;
  for (;;) {
    const { done, value } = await reader.read();
    if (done) break;
    read += value.length;
    yield value;
  }
  if (read !== file.size) throw new ChangedWhileRead(file.name);
}

export class GatheredRecords {
  // print(html): the report page printed as the log's is.
  constructor(core, language, print) {
    this.core = core;
    this.language = language;
    this.print = print;
    this.work = Promise.resolve(); // one gathering or report at a time: they share the core's slot
    const failed = (error) => (error instanceof ChangedWhileRead
      ? this.language.say('recordChanged', error.file) : this.language.say('recordsFailed', error));
    $('open-records').addEventListener('click', () => $('record-files').click());
    $('record-files').addEventListener('change', () => {
      const files = [...$('record-files').files];
      $('record-files').value = '';
      this.open(files).catch(failed);
    });
    for (const [id, act] of [
      ['records-xlsx', () => this.save(kXlsxFile, () => this.core.reportXlsx(kOpenedSlot, this.language.code))],
      ['records-csv', () => this.save(kCsvFile, () => this.core.reportCsv(kOpenedSlot))],
      ['records-print', () => this.print(this.core.reportHtml(kOpenedSlot, this.language.code))]]) {
      $(id).addEventListener('click', () => act().catch(failed));
    }
  }

  // Work on the core's slot, after the work before it.
  exclusive(act) {
    const done = this.work.then(act);
    this.work = done.catch(() => {});
    return done;
  }

  // The files read as one record, in the order given; the summary shown in either language.
  open(files) {
    if (!files.length) return Promise.resolve();
    return this.exclusive(async () => {
      // What is shown and given out is the files gathered last, whole: none while they are read,
      // nor after a file could not be read to its end (moved or deleted since it was picked).
      $('records').hidden = true;
      this.language.forget($('records-summary'));
      await this.core.gather(kOpenedSlot, files.map((file) => ({ name: file.name, chunks: chunksOf(file) })));
      $('records').hidden = false;
      this.language.follow($('records-summary'), 'text', () => {
        $('records-summary').textContent = this.core.reportSummary(kOpenedSlot, this.language.code);
      });
      this.language.say('recordsOpened', files.length);
    });
  }

  async save(file, make) {
    const destination = await pickFile(file);
    if (destination.cancelled) {
      this.language.say('notWritten');
      return;
    }
    await saveReport(this.language, destination, await this.exclusive(make), file);
  }
}
