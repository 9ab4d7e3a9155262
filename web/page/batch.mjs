// Batch mode: one controller after another, each named by its unit's label, typed or scanned (a
// barcode scanner types the label and Enter). After each upload the focus is back in the Unit
// field with its text selected, so that the next scan replaces it without a mouse; a label sent
// before in the same batch is asked about once more, in a box of the page's own. Beside Unit, the
// batch's Unit pattern refuses a label that does not match it, as the tool's --unit-pattern does.
import { message } from './language.mjs';
import { trimmed } from './label-queue.mjs';
import { unitPattern } from './unit-pattern.mjs';

const $ = (id) => document.getElementById(id);

// A scanner types a label's keys a few milliseconds apart, and some end it with Enter twice; a
// person takes far longer than this to see a box and answer it.
export const kSameScanMs = 250;

// Why a unit pattern is none: the tool's reason, in the page's words where it has them.
const kRefusalWords = { backreference: 'noBackreferences', tooLarge: 'patternTooLarge', tooDeep: 'patternTooDeep' };
export function patternRefusal(error) {
  if (kRefusalWords[error.kind]) return message(kRefusalWords[error.kind], error.limit);
  const syntax = /^(.*) at character (\d+)$/.exec(error.message);
  return syntax ? message('patternSyntax', syntax[1], syntax[2]) : error.message;
}

export class Batch {
  // prompt(text, control) shows a refusal and then puts the focus in control.
  constructor(language, prompt) {
    this.language = language;
    this.prompt = prompt;
    this.sent = new Set(); // the labels sent since batch mode was ticked
    $('batch').addEventListener('change', () => {
      this.sent.clear();
      $('unit-pattern-field').hidden = !this.on;
    });
    $('unit-pattern-field').hidden = !this.on;
    $('unit').addEventListener('keydown', (event) => {
      // An input method's Enter ends what is being composed, and is the method's, not ours.
      if (event.key !== 'Enter' || event.isComposing || event.keyCode === 229) return;
      event.preventDefault();
      if (!event.repeat) $('upload').click();
    });
  }

  get on() { return $('batch').checked; }

  // The label to name in the entry ('' for none), or null when it is not to be sent: the pattern
  // refused it, or the person declined to send the same label again, or began another one.
  async label() {
    const label = trimmed($('unit').value);
    if (!this.on) return label;
    const refusal = await this.refusal(label);
    if (refusal) {
      this.prompt(refusal.text, refusal.control);
      return null;
    }
    if (!label || !this.sent.has(label)) return label;
    const answer = await this.ask(label);
    if (answer === 'yes') return label;
    if (answer === 'no') this.focusNext();
    return null;
  }

  // Why the batch's pattern refuses the label, and where the focus goes then; null when it takes it.
  async refusal(label) {
    const source = $('unit-pattern').value;
    if (!source) return null;
    let matches;
    try {
      matches = await unitPattern(source);
    } catch (error) {
      return { text: message('unitPatternInvalid', source, patternRefusal(error)), control: $('unit-pattern') };
    }
    if (!label) return { text: message('unitNeeded', source), control: $('unit') };
    const verdict = matches(label);
    if (verdict === 'tooLong') return { text: message('unitTooLong', [...label].length, source), control: $('unit') };
    if (verdict !== 'matches') return { text: message('unitRefused', label, source), control: $('unit') };
    return null;
  }

  // Enter sends the label again and Escape does not, as the tool's prompt has it. A scanner that
  // reads the same barcode twice must not answer for the person: a key that types a character
  // closes the box and begins the next label in Unit, where the scanner's own Enter ends it; and
  // the second Enter of a scanner that ends a label with two is no answer either.
  ask(label) {
    const box = $('ask');
    this.language.show($('ask-text'), 'unitAgain', label);
    const opened = performance.now();
    return new Promise((resolve) => {
      const typed = (event) => {
        if (event.key === 'Enter' && event.timeStamp - opened < kSameScanMs) {
          event.preventDefault();
          return;
        }
        if (event.key.length !== 1 || event.key === ' ' || event.ctrlKey || event.altKey || event.metaKey) return;
        event.preventDefault();
        finish('another');
        $('unit').value = event.key;
        $('unit').focus();
      };
      // The close event of the box closed before (by a typed key, or Escape) may come only once
      // the next label's Enter has opened it again, as a busy page takes keys first: that event
      // is no answer to this box.
      const closed = () => {
        if (!box.open) finish(box.returnValue);
      };
      // Escape, closed here so that the focus it gives back is the page's to place.
      const cancelled = (event) => {
        event.preventDefault();
        finish('no');
      };
      const finish = (answer) => {
        box.removeEventListener('keydown', typed);
        box.removeEventListener('close', closed);
        box.removeEventListener('cancel', cancelled);
        if (box.open) box.close();
        resolve(answer);
      };
      box.addEventListener('keydown', typed);
      box.addEventListener('close', closed);
      box.addEventListener('cancel', cancelled);
      box.showModal();
      $('ask-yes').focus();
    });
  }

  // Outside batch mode a label names the one upload it went with.
  uploaded(label) {
    if (!this.on) $('unit').value = '';
    else if (label) this.sent.add(label);
  }

  // Where the next action is: the Unit field in batch mode, Upload otherwise.
  get next() { return this.on ? $('unit') : $('upload'); }

  focusNext() {
    const next = this.next;
    next.focus();
    if (next.type === 'text') next.select();
  }
}
