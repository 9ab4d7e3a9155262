// Batch mode: one controller after another, each named by its unit's label, typed or scanned (a
// barcode scanner types the label and Enter). After each upload the focus is back in the Unit
// field with its text selected, so that the next scan replaces it without a mouse; a label sent
// before in the same batch is asked about once more, in a box of the page's own. Beside Unit, the
// batch's Unit pattern refuses a label that does not match it, as the tool's --unit-pattern does.
// Keys that come while a label is being handled (its box answered, its upload under way) are the
// next label's, taken whole and handled after it, as station mode takes them.
import { message } from './language.mjs';
import { LabelQueue, scanKey, scannersEnter, trimmed } from './label-queue.mjs';
import { unitPattern } from './unit-pattern.mjs';

const $ = (id) => document.getElementById(id);

// Why a unit pattern is none: the tool's reason, in the page's words where it has them.
const kRefusalWords = { backreference: 'noBackreferences', tooLarge: 'patternTooLarge', tooDeep: 'patternTooDeep' };
export function patternRefusal(error) {
  if (kRefusalWords[error.kind]) return message(kRefusalWords[error.kind], error.limit);
  const syntax = /^(.*) at character (\d+)$/.exec(error.message);
  return syntax ? message('patternSyntax', syntax[1], syntax[2]) : error.message;
}

export class Batch {
  // prompt(text, control, scanned) shows a refusal, puts the focus in control as it is closed and
  // settles then; upload(label) makes one upload named by label and settles once it is done.
  constructor(language, prompt, upload) {
    this.language = language;
    this.prompt = prompt;
    this.upload = upload;
    this.sent = new Set(); // the labels sent since batch mode was ticked
    this.labels = new LabelQueue((label) => this.take(label), language, $('unit-waiting'), () => this.resume());
    this.typing = ''; // the keys of the next label, typed while the one before is handled (shown)
    this.halted = false; // set when what refused a label would refuse every label after it
    this.typedAt = -Infinity; // the page's time of the last key typed meanwhile
    this.ended = -Infinity; // and of the last Enter that ended a label typed meanwhile
    this.notSent = []; // labels taken out of the queue behind a refusal, until sent
    $('batch').addEventListener('change', () => {
      this.sent.clear();
      this.showNotSent([]);
      $('unit-pattern-field').hidden = !this.on;
    });
    $('unit-pattern-field').hidden = !this.on;
    $('unit').addEventListener('keydown', (event) => {
      if (event.defaultPrevented || scanKey(event) !== 'end') return;
      event.preventDefault();
      if (!event.repeat) $('upload').click();
    });
    document.addEventListener('keydown', (event) => this.keyed(event), true);
  }

  get on() { return $('batch').checked; }

  // Upload pressed, or Enter in Unit: the label in Unit is taken, unless one is being handled.
  fromUnit() {
    if (!this.labels.busy) this.labels.push(trimmed($('unit').value));
  }

  // A label's turn: shown in Unit while it is asked about, refused or uploaded. Where what refused
  // it would refuse every label after it (a value of the form, the pattern, no port open), the
  // labels waiting are not taken: they are named, to be scanned again once it is put right.
  async take(label) {
    $('unit').value = label;
    this.halted = false;
    if (!(await this.upload(label)) && !this.halted) return;
    this.showNotSent([...new Set([...this.notSent, ...this.labels.drop()])]);
  }

  // The labels not sent behind a refusal, named under Unit until each is sent.
  showNotSent(labels) {
    this.notSent = labels;
    if (labels.length) this.language.show($('unit-not-sent'), 'labelsNotSent', labels.map(this.language.shownLabel).join(', '));
    else {
      this.language.clear($('unit-not-sent'));
    }
  }

  // The label typed meanwhile, shown under Unit until it is ended.
  type(text) {
    this.typing = text;
    if (text) this.language.show($('unit-typed'), 'labelTyped', this.language.shownLabel(text));
    else {
      this.language.clear($('unit-typed'));
    }
  }

  // While a label is handled, a key typed anywhere but in another field, or while a refusal or a
  // failure is shown, is the next label's, and Enter ends that label: Unit holds the label handled,
  // and is out of reach during its upload. A box waits for a person: an Enter that comes soon
  // after a label's keys ends the label, a scanner's second Enter is dropped, and any other Enter
  // closes the box; a blank before a label's keys presses nothing (a scan's leading blank). The box
  // about a label sent before reads its own keys.
  keyed(event) {
    if (!this.on || !this.labels.busy) return;
    const box = document.querySelector('dialog[open]');
    if (box && box.id !== 'prompt') return;
    if (!box && event.target.closest?.('input, textarea') && event.target.id !== 'unit') return;
    const key = scanKey(event, this.typing);
    if (!key) {
      if (event.key === 'Backspace' || event.key === ' ') this.addKey(event, null);
      return;
    }
    if (box && key === 'end' && !this.endsLabel(event)) {
      if (scannersEnter(event, this.ended)) event.preventDefault();
      return;
    }
    this.addKey(event, key);
  }

  // An Enter soon after the keys of a label typed meanwhile ends that label: no answer to a box.
  endsLabel(event) {
    return this.typing !== '' && event.key === 'Enter' && scannersEnter(event, this.typedAt);
  }

  // A key of the label typed meanwhile: a character is added to it, Backspace takes the last one
  // back, Enter ends it; a leading blank does nothing.
  addKey(event, key) {
    event.preventDefault();
    if (key === 'character') {
      this.type(this.typing + event.key);
      this.typedAt = event.timeStamp;
    } else if (event.key === 'Backspace') {
      this.type([...this.typing].slice(0, -1).join(''));
    } else if (key === 'end' && !event.repeat) {
      const label = trimmed(this.typing);
      this.type('');
      this.ended = event.timeStamp;
      if (label) this.labels.push(label);
    }
  }

  // Once no label waits, what was typed of the next one is in Unit, to be ended there.
  resume() {
    if (!this.typing) return;
    const unit = $('unit');
    unit.value = this.typing;
    this.type('');
    unit.focus();
    unit.setSelectionRange(unit.value.length, unit.value.length);
  }

  // The label to name in the entry ('' for none), or null when it is not to be sent: the pattern
  // refused it, or the person declined to send the same label again, or began another one.
  async label(typed) {
    const label = trimmed(typed);
    if (!this.on) return label;
    const refusal = await this.refusal(label);
    if (refusal) {
      this.halted = refusal.control === $('unit-pattern');
      await this.prompt(refusal.text, refusal.control, true);
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
    if (verdict !== 'matches') return { text: message('unitRefused', this.language.shownLabel(label), source), control: $('unit') };
    return null;
  }

  // Enter sends the label again and Escape does not, as the tool's prompt has it. A scanner that
  // reads the same barcode twice must not answer for the person: a key that begins a label closes
  // the box, the label going on as the next one, which the scanner's own Enter ends; the keys of a
  // label begun before the box opened go on with it and leave the box to the person; the second
  // Enter of a scanner that ends a label with two is no answer either, nor is a blank.
  ask(label) {
    const box = $('ask');
    this.language.show($('ask-text'), 'unitAgain', this.language.shownLabel(label));
    const opened = performance.now();
    return new Promise((resolve) => {
      const typed = (event) => {
        const key = scanKey(event, this.typing);
        const begins = key === 'character' && this.typing === '';
        if (key === 'character' || this.endsLabel(event) || event.key === 'Backspace') {
          this.addKey(event, key);
          if (begins) finish('another');
        } else if (event.key === ' ' || scannersEnter(event, opened) || scannersEnter(event, this.ended)) {
          event.preventDefault();
        }
      };
      // A button's answer is taken as it is pressed, not with the close event, which a busy page
      // dispatches only after the keys it took first: those of the next label.
      const answered = (event) => {
        event.preventDefault();
        finish(event.submitter?.value ?? 'no');
      };
      // Escape, closed here so that the focus it gives back is the page's to place.
      const cancelled = (event) => {
        event.preventDefault();
        finish('no');
      };
      const finish = (answer) => {
        box.removeEventListener('keydown', typed);
        box.removeEventListener('submit', answered);
        box.removeEventListener('cancel', cancelled);
        box.close();
        resolve(answer);
      };
      box.addEventListener('keydown', typed);
      box.addEventListener('submit', answered);
      box.addEventListener('cancel', cancelled);
      box.showModal();
      $('ask-yes').focus();
    });
  }

  // Outside batch mode a label names the one upload it went with.
  uploaded(label) {
    if (!this.on) $('unit').value = '';
    else if (label) {
      this.sent.add(label);
      if (this.notSent.includes(label)) this.showNotSent(this.notSent.filter((other) => other !== label));
    }
  }

  // Where the next action is: the Unit field in batch mode, Upload otherwise.
  get next() { return this.on ? $('unit') : $('upload'); }

  focusNext() {
    const next = this.next;
    next.focus();
    if (next.type === 'text') next.select();
  }
}
