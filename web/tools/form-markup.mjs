// The form's markup and places, made once when the page is built rather than by script at every
// start: the painted labels, the direction boxes with their radio groups, and every control of
// the template in the page's keyboard order. Texts and names are the page's to give in the
// language chosen; here each element only gets its id, kind and place. The places go into the
// style sheet (the page's policy allows no style attributes), in percent of the picture, so that
// the form scales with it.
import { kControls, kGroups, kPicture, placeOf } from '../page/layout.mjs';

const percent = (value, whole) => `${(value / whole) * 100}%`;
const selector = (id) => `#${id.replace(/[^\w-]/g, (c) => `\\${c}`)}`;

function placeRule(id, [x, y, w, h]) {
  const place = [`left:${percent(x, kPicture.width)}`, `top:${percent(y, kPicture.height)}`];
  if (w !== undefined) place.push(`width:${percent(w, kPicture.width)}`, `height:${percent(h, kPicture.height)}`);
  return `${selector(id)}{${place.join(';')}}`;
}

// The inputs of the controls a field stands behind: a radio button of a source, a check box of a
// flag (the legends' two shown, not used), or a text box of a number.
function inputOf(control, kindOf, flag) {
  const attributes = [`id="${control.id}"`];
  if (control.radio !== undefined) {
    attributes.push('type="radio"', `name="${control.field}"`, `value="${control.radio}"`);
  } else if (kindOf(control.field) === undefined || kindOf(control.field) === flag) {
    attributes.push('type="checkbox"');
    if (control.legend) attributes.push('disabled');
    // The legend, as the dialog shows it: an empty box for "disabled", a ticked one for "enabled".
    if (control.id === 'legend-on') attributes.push('checked');
  } else {
    attributes.push('type="text"', 'inputmode="numeric"', 'autocomplete="off"');
  }
  // A named control gets its name from the page; the others are named by their painted labels.
  const labels = [control.group && kGroups[control.group].label, control.label ?? control.labelledBy]
    .filter((label) => label !== undefined);
  if (!control.named && labels.length) {
    attributes.push(`aria-labelledby="${labels.map((l) => `painted-${l}`).join(' ')}"`);
  }
  return `<input ${attributes.join(' ')}>`;
}

// `labels` are the picture's painted labels, `places` the template's, `core` the module that
// tells each field's kind. The page's own controls (`inPage`) are left where page.html has them,
// after the markup, and only placed.
export function formMarkup(labels, places, core) {
  const kinds = new Map(core.fields.map((field) => [field.name, field.kind]));
  const kindOf = (name) => kinds.get(name);
  const rules = [];
  const painted = labels.map((label, index) => {
    const control = kControls.find((c) => c.label === index);
    // The picture's y is the baseline, 12 pixels below the top of the text box.
    rules.push(placeRule(`painted-${index}`, [label.x, label.y - 12]));
    return control
      ? `<label id="painted-${index}" class="painted" for="${control.id}"></label>`
      : `<span id="painted-${index}" class="painted"></span>`;
  });
  const inBox = Object.fromEntries(Object.keys(kGroups).map((group) => [group, { radios: [], others: [] }]));
  const loose = [];
  for (const control of kControls) {
    rules.push(placeRule(control.id, placeOf(control, places)));
    if (control.inPage) continue;
    const input = inputOf(control, kindOf, core.ValueKind.flag);
    if (!control.group) loose.push(input);
    else inBox[control.group][control.radio === undefined ? 'others' : 'radios'].push(input);
  }
  // Each direction box lies over the whole picture, named by its painted label, its speed
  // source's radio group first, as the keyboard reaches them.
  const boxes = Object.entries(kGroups).map(([group, { label }]) =>
    `<div class="group" role="group" aria-labelledby="painted-${label}">` +
    `<div class="group" role="radiogroup" id="${group}-sources">${inBox[group].radios.join('')}</div>` +
    `${inBox[group].others.join('')}</div>`);
  return { html: [...painted, ...boxes, ...loose].join('\n'), css: rules.join('\n') };
}

// The ids of the page's own controls in the order page.html has them, which must be the
// keyboard order of the layout.
export function inPageOrderProblem(pageHtml) {
  const wanted = kControls.filter((control) => control.inPage).map((control) => control.id);
  const found = wanted.map((id) => ({ id, at: pageHtml.indexOf(`id="${id}"`) }));
  const missing = found.filter(({ at }) => at < 0).map(({ id }) => id);
  if (missing.length) return `page.html lacks ${missing.join(' ')}`;
  const order = found.slice().sort((a, b) => a.at - b.at).map(({ id }) => id);
  return order.join() === wanted.join() ? null
    : `page.html has ${order.join(' ')}, the layout's keyboard order is ${wanted.join(' ')}`;
}
