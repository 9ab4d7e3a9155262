// Batch mode: one controller after another, each named by its unit's label, typed or scanned (a
// barcode scanner types the label and Enter). After each upload the focus is back in the Unit
// field with its text selected, so that the next scan replaces it without a mouse; a label sent
// before in the same batch is asked about once more.
const $ = (id) => document.getElementById(id);

// Blanks around a label are dropped, as the tool drops them.
const trimmed = (label) => label.replace(/^[ \t]+|[ \t]+$/g, '');

export class Batch {
  constructor(language) {
    this.language = language;
    this.sent = new Set(); // the labels sent since batch mode was ticked
    $('batch').addEventListener('change', () => this.sent.clear());
    $('unit').addEventListener('keydown', (event) => {
      if (event.key !== 'Enter') return;
      event.preventDefault();
      $('upload').click();
    });
  }

  get on() { return $('batch').checked; }

  // The label to name in the entry ('' for none), or null when the person would rather not send
  // the same label again.
  label() {
    const label = trimmed($('unit').value);
    if (this.on && label && this.sent.has(label) && !window.confirm(this.language.text('unitAgain', label))) {
      return null;
    }
    return label;
  }

  uploaded(label) {
    if (this.on && label) this.sent.add(label);
  }

  // Where the next action is: the Unit field in batch mode, Upload otherwise.
  get next() { return this.on ? $('unit') : $('upload'); }

  focusNext() {
    const next = this.next;
    next.focus();
    if (next.type === 'text') next.select();
  }
}
