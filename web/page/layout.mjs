// The form's layout: which control of the dialog's template each element of the page stands
// for. Where each one goes is read from the template (res/VKD37.rc) when the page is built, and
// the build fails when the two do not name the same controls.

// Pixels of the 989 × 676 picture; the dialog's controls are placed in dialog units, of which
// 4 × 8 are 7 × 15 pixels at 96 DPI.
export const kPicture = { width: 989, height: 676 };
export const pixelsOf = ([x, y, w, h]) => [x * 7 / 4, y * 15 / 8, w * 7 / 4, h * 15 / 8];

// The two direction boxes, each a group named by its painted label, with its speed source
// radio group inside.
export const kGroups = {
  fwd: { label: 5, sources: 'fwdSource' },
  rev: { label: 11, sources: 'revSource' },
};

// Every control of the main dialog, in the page's keyboard order: the values first, then the
// buttons and statuses, as in the dialog. `control` is the template's id, `label` the index of
// the painted label that names the element, `group` the direction box it belongs to (whose name
// comes first in its own), `named` the text that names it where no painted label does, and
// `inPage` marks the elements page.html has, in this order; the others are made for their field
// when the page is built (web/tools/form-markup.mjs).
export const kControls = [
  { id: 'fwd.source-0', control: 'IDC_FWD_SRC_INTERNAL',
    field: 'fwd.source', radio: 0, label: 0, group: 'fwd' },
  { id: 'fwd.source-1', control: 'IDC_FWD_SRC_INT_POT',
    field: 'fwd.source', radio: 1, label: 1, group: 'fwd' },
  { id: 'fwd.source-2', control: 'IDC_FWD_SRC_EXT_POT',
    field: 'fwd.source', radio: 2, label: 2, group: 'fwd' },
  { id: 'fwd.speed', control: 'IDC_FWD_SPEED',
    field: 'fwd.speed', named: 'fwdSpeed', group: 'fwd' },
  { id: 'fwd.acc', control: 'IDC_FWD_ACC', field: 'fwd.acc', label: 3, group: 'fwd' },
  { id: 'fwd.dec', control: 'IDC_FWD_DEC', field: 'fwd.dec', label: 4, group: 'fwd' },
  { id: 'rev.source-0', control: 'IDC_REV_SRC_INTERNAL',
    field: 'rev.source', radio: 0, label: 6, group: 'rev' },
  { id: 'rev.source-1', control: 'IDC_REV_SRC_INT_POT',
    field: 'rev.source', radio: 1, label: 7, group: 'rev' },
  { id: 'rev.source-2', control: 'IDC_REV_SRC_EXT_POT',
    field: 'rev.source', radio: 2, label: 8, group: 'rev' },
  { id: 'rev.speed', control: 'IDC_REV_SPEED',
    field: 'rev.speed', named: 'revSpeed', group: 'rev' },
  { id: 'rev.acc', control: 'IDC_REV_ACC', field: 'rev.acc', label: 9, group: 'rev' },
  { id: 'rev.dec', control: 'IDC_REV_DEC', field: 'rev.dec', label: 10, group: 'rev' },
  { id: 'legend-off', control: 'IDC_LEGEND_OFF', legend: true, label: 12 },
  { id: 'legend-on', control: 'IDC_LEGEND_ON', legend: true, label: 13 },
  // Each option's check box and its value share the painted label, so the box has a name of
  // its own.
  { id: 'cycles.on', control: 'IDC_CYCLES_ON', field: 'cycles.on', label: 15, named: 'cyclesOn' },
  { id: 'cycles', control: 'IDC_CYCLES', field: 'cycles', labelledBy: 15 },
  { id: 'home_delay.on', control: 'IDC_HOME_DELAY_ON',
    field: 'home_delay.on', label: 16, named: 'homeDelayOn' },
  { id: 'home_delay_ms', control: 'IDC_HOME_DELAY', field: 'home_delay_ms', labelledBy: 16 },
  { id: 'end_delay.on', control: 'IDC_END_DELAY_ON',
    field: 'end_delay.on', label: 18, named: 'endDelayOn' },
  { id: 'end_delay_ms', control: 'IDC_END_DELAY', field: 'end_delay_ms', labelledBy: 18 },
  { id: 'auto_home', control: 'IDC_AUTO_HOME', field: 'auto_home', label: 20 },
  { id: 'auto_start', control: 'IDC_AUTO_START', label: 21 },
  { id: 'sync', control: 'IDC_SYNC', inPage: true },
  // The port list's place. A combo box's height in the template is that of its open list; the
  // closed box is 12 units high.
  { id: 'connect', control: 'IDC_PORT', inPage: true, height: 12 },
  { id: 'upload', control: 'IDC_UPLOAD', inPage: true },
  { id: 'port-status', control: 'IDC_PORT_STATUS', inPage: true },
  { id: 'upload-status', control: 'IDC_UPLOAD_STATUS', inPage: true },
];

// Where the control goes on the picture, in pixels, given the template's places by control id.
export function placeOf(control, templatePlaces) {
  const [x, y, w, h] = templatePlaces[control.control];
  return pixelsOf([x, y, w, control.height ?? h]);
}
