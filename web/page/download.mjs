// A text given out as a file: written to a file the person picks where the browser has the save
// picker, so that the page knows it was written, or handed to the browser as a download, whose
// fate the page cannot know.
import { timedOut, within } from './time-limit.mjs';

const kWriteBoundMs = 10000; // a file write that takes longer is given up on

// Hands a text to the browser as a download of the given name.
export function offerDownload(text, name, type) {
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([text], { type }));
  link.download = name;
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 60000);
}

// The whole text written through handle: the browser writes beside the file and moves it into
// place on close(), so the old file stays whole until the new one is complete.
export async function writeWhole(handle, text) {
  let writable;
  const steps = (async () => {
    writable = await handle.createWritable();
    await writable.write(text);
    await writable.close();
  })();
  const written = await within(steps, kWriteBoundMs);
  if (!timedOut(written) && !written.error) return;
  writable?.abort().catch(() => {});
  throw written.error ?? new DOMException('the write did not end in time', 'TimeoutError');
}

// Where a text will go, asked while the click that wants it still counts: { handle } of the file
// the person picked, { cancelled }, or { download } where the browser's download must serve
// (no save picker, or one refused outright by a policy).
export async function pickFile({ name, type, extension }) {
  if (!window.showSaveFilePicker) return { download: true };
  try {
    return { handle: await window.showSaveFilePicker({ suggestedName: name, types: [{ accept: { [type]: [extension] } }] }) };
  } catch (error) {
    return error.name === 'AbortError' ? { cancelled: true } : { download: true };
  }
}

// What became of the text: { written, name }, { offered } (a download the page cannot follow),
// or { error, name }.
export async function giveOut(destination, text, { name, type }) {
  if (!destination.handle) {
    offerDownload(text, name, type);
    return { offered: true };
  }
  try {
    await writeWhole(destination.handle, text);
  } catch (error) {
    return { error, name: destination.handle.name };
  }
  return { written: true, name: destination.handle.name };
}

// The core's report into the file picked, and what became of it said and returned (as giveOut's).
// The core answers with no bytes where it makes no report (more attempts than a sheet holds):
// nothing is written then, and null returned.
export async function saveReport(language, destination, bytes, file) {
  if (!bytes.length) {
    language.say('recordsTooLarge');
    return null;
  }
  const saved = await giveOut(destination, bytes, file);
  if (saved.error) language.say('saveFailed', saved.name, saved.error);
  else if (saved.written) language.say('saved', saved.name);
  return saved;
}
