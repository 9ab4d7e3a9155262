// Approved profiles and the station: a profile opened or saved as the tool keeps it, the list of
// what the form would change against the opened file or profile, shown above the form, and
// station mode, which applies the opened profile to unit after unit as `vkd37 station` does:
// scan a label, upload, PASS or FAIL shown large with the label, with no box to answer, the
// values locked until the operator leaves on purpose.
import { pickFile, giveOut } from './download.mjs';

const $ = (id) => document.getElementById(id);

const trimmed = (label) => label.replace(/^[ \t\u3000]+|[ \t\u3000]+$/g, '');

// What changes values or files, out of reach in station mode.
const kSetUp = ['file-tools', 'profile-tools', 'unit-tools'];

// A second press of Leave within this time leaves station mode; one press alone does not.
export const kLeaveConfirmMs = 5000;

export class Station {
  constructor(core, form, file, upload, language) {
    this.core = core;
    this.form = form;
    this.upload = upload;
    this.language = language;
    this.profile = null; // { profile, note, identity, values } as opened or saved
    this.base = null; // the values of the opened file or profile, which the changes are against
    this.baseName = '';
    this.on = false;
    this.doneToday = new Map(); // label -> time of its confirmed upload in this station's day
    this.leaveAsked = -Infinity;
    file.onOpened = (values, name) => this.against(values, name);
    $('open-profile').addEventListener('click', () => $('profile-input').click());
    $('profile-input').addEventListener('change', async (event) => {
      const [picked] = event.target.files;
      event.target.value = '';
      if (picked) this.open(picked.name, await picked.text());
    });
    $('save-profile').addEventListener('click', () => this.save());
    $('form').addEventListener('input', () => this.showChanges());
    $('form').addEventListener('change', () => this.showChanges());
    $('station-enter').addEventListener('click', () => this.enter());
    $('station-leave').addEventListener('click', () => this.leave());
    $('station-scan').addEventListener('keydown', (event) => {
      if (event.key !== 'Enter' || event.isComposing || event.keyCode === 229) return;
      event.preventDefault();
      if (!event.repeat) this.scanned(trimmed($('station-scan').value));
    });
    this.showChanges();
  }

  open(name, text) {
    const read = this.core.readProfile(text, this.form.values);
    if (read.problem !== undefined) {
      this.language.say('profileRefused', name, read.problem);
      return;
    }
    this.profile = read;
    $('profile-name').value = read.profile;
    this.form.keep(read.values);
    this.form.show(read.values);
    this.against(read.values, read.profile);
    this.language.say('profileOpened', read.profile, read.identity.slice(0, 12));
    $('station-enter').disabled = false;
  }

  async save() {
    const values = this.form.collect();
    if (!values) return;
    const name = $('profile-name').value.trim();
    if (!name) {
      this.language.say('profileNeedsName');
      $('profile-name').focus();
      return;
    }
    const note = this.profile?.profile === name ? this.profile.note : '';
    const text = this.core.profileText(name, note, values);
    const fileName = `${name.replace(/[\\/:*?"<>|]/g, '_')}.json`;
    const destination = await pickFile({ name: fileName, type: 'application/json', extension: '.json' });
    if (destination.cancelled) return;
    const given = await giveOut(destination, text, { name: fileName, type: 'application/json' });
    if (given.error) {
      this.language.say('saveFailed', given.name, given.error);
      return;
    }
    this.profile = { ...this.core.readProfile(text, values), values };
    this.against(values, name);
    this.language.say('profileSaved', name, this.profile.identity.slice(0, 12));
    $('station-enter').disabled = false;
  }

  // The values the form is now compared with.
  against(values, name) {
    this.base = values.slice();
    this.baseName = name;
    this.showChanges();
  }

  // Each value the form holds other than the opened file's or profile's, as the tool's diff
  // says it; nothing where they are the same or a box holds no number.
  showChanges() {
    const list = $('changes');
    const { values, notANumber, noSource } = this.form.read();
    const changes = this.base && !notANumber && !noSource ? this.core.changes(this.base, values) : [];
    list.replaceChildren(...changes.map((change) => {
      const item = document.createElement('li');
      item.textContent = change;
      return item;
    }));
    list.hidden = changes.length === 0;
    this.language.show($('changes-label'), changes.length ? 'changesAgainst' : 'noChanges', this.baseName);
    $('changes-label').hidden = changes.length === 0;
  }

  enter() {
    if (!this.profile || this.on) return;
    this.on = true;
    this.form.keep(this.profile.values);
    this.form.show(this.profile.values);
    this.showChanges();
    document.body.classList.add('station');
    $('form').inert = true;
    for (const locked of kSetUp) $(locked).hidden = true;
    $('station').hidden = false;
    this.language.show($('station-profile'), 'stationProfile', this.profile.profile,
      this.profile.identity.slice(0, 12));
    this.show('', 'stationScan');
    $('station-scan').focus();
  }

  // Two presses of Leave, a moment apart: a stray click or scan does not unlock the values.
  leave() {
    const now = performance.now();
    if (now - this.leaveAsked > kLeaveConfirmMs) {
      this.leaveAsked = now;
      this.language.show($('station-note'), 'stationLeaveAgain');
      return;
    }
    this.on = false;
    this.leaveAsked = -Infinity;
    document.body.classList.remove('station');
    $('form').inert = false;
    for (const locked of kSetUp) $(locked).hidden = false;
    $('station').hidden = true;
    this.upload.station = null;
  }

  // The verdict and its label, large; `note` under them.
  show(verdict, note, ...args) {
    const shown = $('station-verdict');
    shown.textContent = verdict;
    shown.className = verdict === 'PASS' ? 'pass' : verdict ? 'fail' : '';
    this.language.show($('station-note'), note, ...args);
  }

  async scanned(label) {
    if (!label || this.upload.uploading) return;
    $('station-unit').textContent = label;
    this.language.forget($('station-warning'));
    $('station-warning').textContent = '';
    const pattern = $('station-pattern').value;
    if (pattern && !fullMatch(pattern, label)) {
      this.show('', 'stationRefused', label, pattern);
      selectScan();
      return;
    }
    const done = this.doneToday.get(label);
    // Named until the next scan, beside the verdict.
    if (done && new Date(done).toDateString() === new Date().toDateString()) {
      this.language.show($('station-warning'), 'stationAgain', new Date(done).toLocaleTimeString());
    }
    this.show('', 'uploading');
    this.upload.station = {
      station: $('station-name').value.trim(), profile: this.profile.profile, profileId: this.profile.identity,
    };
    const failure = await this.upload.runWith(this.profile.values.slice(), label, { quiet: true });
    if (failure === undefined) return;
    if (failure === null) this.doneToday.set(label, new Date().toISOString());
    this.show(failure === null ? 'PASS' : 'FAIL', failure === null ? 'stationPassed' : 'stationFailed',
      failure ?? '');
    selectScan();
  }
}

// The whole label against the pattern, in JavaScript's syntax; a pattern that is none refuses.
function fullMatch(pattern, label) {
  try {
    return new RegExp(`^(?:${pattern})$`, 'u').test(label);
  } catch {
    return false;
  }
}

// The next scan replaces the last label.
function selectScan() {
  $('station-scan').focus();
  $('station-scan').select();
}
