// The dialog's form over its picture: its controls, the values in and out of them, the dialog's
// refusals in the dialog's order, the frame of what is typed and the values kept for the next
// visit.
import { message } from './language.mjs';
import { kControls, kGroups } from './layout.mjs';
import { scannersEnter } from './label-queue.mjs';

const kStorageValues = 'vkd37.values';

const $ = (id) => document.getElementById(id);

export class Form {
  constructor(core, language, keeper) {
    this.core = core;
    this.language = language;
    this.keeper = keeper;
    this.fieldByName = new Map(core.fields.map((field) => [field.name, field]));
    const kept = keeper.get(kStorageValues);
    const read = kept === null ? null : core.readFile(kept);
    this.values = read && read.taken === core.fields.length ? read.values : core.startValues();
    this.build();
    // What was kept is not written again as the page starts.
    this.show(this.values, { keep: false });
  }

  // The form's elements and places come with the page (web/tools/form-markup.mjs); they get their
  // texts and names here, in the language chosen.
  build() {
    for (const label of $('form').querySelectorAll('.painted')) {
      this.language.show(label, 'painted', Number(label.id.slice('painted-'.length)));
    }
    for (const [direction, { sources }] of Object.entries(kGroups)) this.language.name($(`${direction}-sources`), sources);
    for (const control of kControls) {
      if (control.named) this.language.name($(control.id), control.named);
    }
    $('sync').addEventListener('click', () => this.sync());
    $('form').addEventListener('input', () => this.showFrame());
    $('form').addEventListener('submit', (event) => event.preventDefault());
  }

  // The values into the controls; the port has none and is kept as it came. As in the dialog, a
  // source outside the group checks no button, and a flag of 2 shows ticked (a two-state box
  // shows its "indeterminate" so) while any other flag but 1 shows empty.
  show(values, { keep = true } = {}) {
    const { ValueKind } = this.core;
    this.core.fields.forEach((field, index) => {
      const value = values[index];
      if (field.kind === ValueKind.source) {
        for (const radio of document.getElementsByName(field.name)) radio.checked = Number(radio.value) === value;
      } else if (field.kind === ValueKind.flag) {
        $(field.name).checked = value === 1 || value === 2;
      } else if (field.name !== 'port') {
        $(field.name).value = String(value);
      }
    });
    this.showFrame({ keep });
  }

  // The values on screen, read in the dialog's order of checks, and the first refusal the dialog
  // would make of them, with the control the focus goes to; `notANumber` tells whether any number
  // box holds no number at all, `noSource` whether a speed source has no button checked.
  read() {
    const { FormStep } = this.core;
    const values = this.values.slice();
    let refusal = null;
    let notANumber = false;
    let noSource = false;
    const refuse = (control, text) => { refusal ??= { control, text }; };
    for (const { step, field } of this.core.formChecks) {
      if (step === FormStep.readNumber) {
        const parsed = this.core.parseFormNumber($(field.name).value);
        if (parsed === null) {
          notANumber = true;
          refuse($(field.name), message('notInteger'));
        } else {
          values[field.index] = parsed;
        }
      } else if (step === FormStep.checkRange) {
        const value = values[field.index];
        if (value < field.min || value > field.max) refuse($(field.name), message('between', field.min, field.max));
      } else if (step === FormStep.readButtons) {
        this.readButtons(values);
      } else if (step === FormStep.checkSource && values[field.index] === -1) {
        // A source the buttons cannot show (a file's 3 or -1) would go out as FF.
        noSource = true;
        const { group } = kControls.find((control) => control.field === field.name);
        refuse(document.getElementsByName(field.name)[0], message('chooseSource', kGroups[group].sources));
      }
    }
    return { values, refusal, notANumber, noSource };
  }

  // A source with no button checked reads as -1, as in the dialog.
  readButtons(values) {
    const { ValueKind } = this.core;
    for (const field of this.core.fields) {
      if (field.kind === ValueKind.source) {
        const checked = [...document.getElementsByName(field.name)].find((radio) => radio.checked);
        values[field.index] = checked ? Number(checked.value) : -1;
      } else if (field.kind === ValueKind.flag) {
        values[field.index] = $(field.name).checked ? 1 : 0;
      }
    }
  }

  // The values on screen, or null after prompting for the first one the dialog would refuse
  // (`scanned`: as a scanned label's upload begins); `closed` settles as that prompt is closed.
  collect(scanned = false) {
    const { values, refusal } = this.read();
    if (!refusal) return values;
    this.closed = this.prompt(refusal.text, refusal.control, scanned);
    return null;
  }

  // A modal box like the dialog's; the focus goes back to `focusAfter` as it is closed (OK or
  // Escape), with the whole text selected in a text box: then, not with the close event, which
  // comes as a task of its own after the keys a busy page takes first, such as a scanner's next
  // label, which must replace the text. A box about a scanned label (its refusal, its upload's
  // failure) takes no Enter as soon as it opens: that is the second Enter of a scanner that ends a
  // label with two, which would close it unread. Settles as it is closed.
  prompt(text, focusAfter, scanned = false) {
    const box = $('prompt');
    this.language.show($('prompt-text'), text.key, ...text.args);
    const opened = performance.now();
    return new Promise((resolve) => {
      const early = (event) => {
        if (scanned && scannersEnter(event, opened)) event.preventDefault();
      };
      const closing = (event) => {
        event.preventDefault();
        box.removeEventListener('keydown', early);
        box.removeEventListener('submit', closing);
        box.removeEventListener('cancel', closing);
        box.close();
        focusAfter?.focus();
        if (focusAfter?.type === 'text') focusAfter.select();
        resolve();
      };
      box.addEventListener('keydown', early);
      box.addEventListener('submit', closing);
      box.addEventListener('cancel', closing);
      box.showModal();
    });
  }

  // The frame of the values as typed, as the dialog would send them; the values are kept for
  // the next visit as they are typed.
  showFrame({ keep = true } = {}) {
    const { values, notANumber, noSource } = this.read();
    $('frame').textContent = notANumber || noSource ? '' : this.core.frameHex(values);
    if (!notANumber && keep) this.keep(values);
  }

  keep(values) {
    this.values = values;
    this.keeper.set(kStorageValues, this.core.writeFile(values));
  }

  sync() {
    const values = this.collect();
    if (!values) return;
    this.values = this.core.sync(values);
    this.show(this.values);
  }
}
