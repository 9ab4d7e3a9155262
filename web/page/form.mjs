// The dialog's form over its picture: its controls, the values in and out of them, the dialog's
// refusals in the dialog's order, the frame of what is typed and the values kept for the next
// visit.
import { controlPlaces, paintedLabels } from 'build:form-layout'; // made by web/tools/bundle.mjs
import { message } from './language.mjs';
import { kControls, kGroups, kPicture, placeOf } from './layout.mjs';

const kStorageValues = 'vkd37.values';

const $ = (id) => document.getElementById(id);

// In percent of the picture, so that the form scales with it.
function place(element, [x, y, w, h]) {
  element.style.left = `${(x / kPicture.width) * 100}%`;
  element.style.top = `${(y / kPicture.height) * 100}%`;
  if (w !== undefined) {
    element.style.width = `${(w / kPicture.width) * 100}%`;
    element.style.height = `${(h / kPicture.height) * 100}%`;
  }
}

// A group over the whole picture, so that what it holds is placed as if it were not there.
function makeGroup(role) {
  const group = document.createElement('div');
  group.className = 'group';
  group.setAttribute('role', role);
  return group;
}

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

  build() {
    const form = $('form');
    paintedLabels.forEach((painted, index) => {
      const control = kControls.find((c) => c.label === index);
      const label = document.createElement(control ? 'label' : 'span');
      label.id = `painted-${index}`;
      label.className = 'painted';
      if (control) label.htmlFor = control.id;
      // The picture's y is the baseline, 12 pixels below the top of the text box.
      place(label, [painted.x, painted.y - 12]);
      this.language.show(label, 'painted', index);
      form.append(label);
    });
    // The direction boxes come first in the keyboard order, as their controls do.
    const boxes = {};
    for (const [direction, { label, sources }] of Object.entries(kGroups)) {
      const box = makeGroup('group');
      box.setAttribute('aria-labelledby', `painted-${label}`);
      const radios = makeGroup('radiogroup');
      this.language.name(radios, sources);
      box.append(radios);
      form.append(box);
      boxes[direction] = { box, radios };
    }
    // The elements page.html has come after the fields, so the keyboard reaches the buttons
    // last, as in the dialog.
    for (const control of kControls) {
      const element = control.inPage ? $(control.id) : this.makeInput(control);
      place(element, placeOf(control, controlPlaces));
      const boxOf = boxes[control.group];
      (boxOf ? (control.radio === undefined ? boxOf.box : boxOf.radios) : form).append(element);
    }
    $('sync').addEventListener('click', () => this.sync());
    form.addEventListener('input', () => this.showFrame());
    form.addEventListener('submit', (event) => event.preventDefault());
  }

  makeInput(control) {
    const { ValueKind } = this.core;
    const field = this.fieldByName.get(control.field);
    const input = document.createElement('input');
    input.id = control.id;
    if (control.radio !== undefined) {
      input.type = 'radio';
      input.name = control.field;
      input.value = String(control.radio);
    } else if (!field || field.kind === ValueKind.flag) {
      input.type = 'checkbox';
      input.disabled = Boolean(control.legend);
      // The legend, as the dialog shows it: an empty box for "disabled", a ticked one for "enabled".
      input.checked = control.id === 'legend-on';
    } else {
      input.type = 'text';
      input.inputMode = 'numeric';
      input.autocomplete = 'off';
    }
    const labels = [control.group && kGroups[control.group].label, control.label ?? control.labelledBy]
      .filter((label) => label !== undefined);
    if (control.named) this.language.name(input, control.named);
    else if (labels.length) input.setAttribute('aria-labelledby', labels.map((l) => `painted-${l}`).join(' '));
    return input;
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

  // The values on screen, or null after prompting for the first one the dialog would refuse.
  collect() {
    const { values, refusal } = this.read();
    if (!refusal) return values;
    this.prompt(refusal.text, refusal.control);
    return null;
  }

  // A modal box like the dialog's; the focus goes back to `focusAfter` when it is closed, with
  // the whole text selected in a text box.
  prompt(text, focusAfter) {
    const box = $('prompt');
    this.language.show($('prompt-text'), text.key, ...text.args);
    box.addEventListener('close', () => {
      focusAfter?.focus();
      if (focusAfter?.type === 'text') focusAfter.select();
    }, { once: true });
    box.showModal();
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
