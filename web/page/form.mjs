// The dialog's form over its picture: its controls, the values in and out of them, the dialog's
// refusals, the frame of what is typed and the values kept for the next visit.
import { controlPlaces, paintedLabels } from 'build:form-layout'; // made by web/tools/bundle.mjs
import { ValueKind } from './core.mjs';
import { kControls, kPicture, placeOf } from './layout.mjs';

const kStorageValues = 'vkd37.values';

const $ = (id) => document.getElementById(id);

// In percent of the picture, so that the form scales with the window.
function place(element, [x, y, w, h]) {
  element.style.left = `${(x / kPicture.width) * 100}%`;
  element.style.top = `${(y / kPicture.height) * 100}%`;
  if (w !== undefined) {
    element.style.width = `${(w / kPicture.width) * 100}%`;
    element.style.height = `${(h / kPicture.height) * 100}%`;
  }
}

export class Form {
  constructor(core, language) {
    this.core = core;
    this.language = language;
    this.fieldByName = new Map(core.fields.map((field) => [field.name, field]));
    const kept = localStorage.getItem(kStorageValues);
    const read = kept === null ? null : core.readFile(kept);
    this.values = read && read.taken === core.fields.length ? read.values : core.startValues();
    this.build();
    this.show(this.values);
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
    // The elements page.html has come after the fields, so the keyboard reaches the buttons
    // last, as in the dialog.
    for (const control of kControls) {
      const element = control.inPage ? $(control.id) : this.makeInput(control);
      place(element, placeOf(control, controlPlaces));
      form.append(element);
    }
    $('sync').addEventListener('click', () => this.sync());
    form.addEventListener('input', () => this.showFrame());
    form.addEventListener('submit', (event) => event.preventDefault());
  }

  makeInput(control) {
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
      if (control.labelledBy !== undefined) input.setAttribute('aria-labelledby', `painted-${control.labelledBy}`);
    }
    if (control.named) this.language.name(input, control.named);
    return input;
  }

  // The values into the controls; the port has none and is kept as it came.
  show(values) {
    this.core.fields.forEach((field, index) => {
      const value = values[index];
      if (field.kind === ValueKind.source) {
        for (const radio of document.getElementsByName(field.name)) radio.checked = Number(radio.value) === value;
      } else if (field.kind === ValueKind.flag) {
        $(field.name).checked = value === 1;
      } else if (field.name !== 'port') {
        $(field.name).value = String(value);
      }
    });
    this.showFrame();
  }

  // The values on screen, and the first field whose text is not a number.
  readControls() {
    const values = this.values.slice();
    for (const [index, field] of this.core.fields.entries()) {
      if (field.kind === ValueKind.source) {
        const checked = [...document.getElementsByName(field.name)].find((radio) => radio.checked);
        values[index] = checked ? Number(checked.value) : 0;
      } else if (field.kind === ValueKind.flag) {
        values[index] = $(field.name).checked ? 1 : 0;
      } else if (field.name !== 'port') {
        const parsed = this.core.parse(field, $(field.name).value.trim());
        if (parsed === null) return { values, notANumber: field };
        values[index] = parsed;
      }
    }
    return { values, notANumber: null };
  }

  // The values on screen, or null after prompting for the first one the dialog would refuse.
  collect() {
    const { values, notANumber } = this.readControls();
    if (notANumber) return this.refuse(notANumber, this.language.text('notInteger'));
    const refused = this.core.refused(values, false)[0];
    if (refused) {
      const field = this.fieldByName.get(refused.slice(0, refused.indexOf('=')));
      return this.refuse(field, this.language.text('between', field.min, field.max));
    }
    return values;
  }

  refuse(field, text) {
    this.prompt(text, $(field.name));
    return null;
  }

  // A modal box like the dialog's; focus goes back to `focusAfter` when it is closed.
  prompt(text, focusAfter) {
    const box = $('prompt');
    $('prompt-text').textContent = text;
    box.addEventListener('close', () => focusAfter?.focus(), { once: true });
    box.showModal();
  }

  // The frame of the values as typed, as `vkd37 frame` prints it; the values are kept for the
  // next visit as they are typed.
  showFrame() {
    const { values, notANumber } = this.readControls();
    $('frame').textContent = notANumber ? '' : this.core.frameHex(values);
    if (!notANumber) this.keep(values);
  }

  keep(values) {
    this.values = values;
    localStorage.setItem(kStorageValues, this.core.writeFile(values));
  }

  sync() {
    const values = this.collect();
    if (!values) return;
    this.values = this.core.sync(values);
    this.show(this.values);
  }
}
