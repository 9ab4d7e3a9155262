// Approved profiles and the station: a profile opened or saved as the tool keeps it, the list of
// what the form would change against the opened file or profile, shown above the form, and
// station mode, which applies the opened profile to unit after unit as `vkd37 station` does:
// scan a label, upload, PASS or FAIL shown large with the label, with no box to answer, the
// values locked until the operator leaves on purpose.
import { patternRefusal } from './batch.mjs';
import { pickFile, giveOut } from './download.mjs';
import { LabelQueue, scanKey, trimmed } from './label-queue.mjs';
import { unitPattern } from './unit-pattern.mjs';

const $ = (id) => document.getElementById(id);

// What changes values or files, out of reach in station mode.
const kSetUp = ['file-tools', 'profile-tools', 'unit-tools'];

// A second click of Leave within this time leaves station mode; one press alone does not.
export const kLeaveConfirmMs = 5000;

// The latest verdicts listed under the large one, so that a unit's verdict stays in sight while
// the units scanned after it are uploaded.
const kRecentVerdicts = 5;

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
    this.matches = null; // the unit pattern's test of a label, or null for any label
    this.labels = new LabelQueue((label) => this.apply(label), language, $('station-waiting'), () => {
      $('station-leave').disabled = false;
    });
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
    // A scanner types a label and Enter wherever the focus is, in station mode always into the
    // scan field; no Enter presses a button there.
    document.addEventListener('keydown', (event) => this.keyed(event), true);
    // Reloading or closing the tab leaves station mode: it asks first, as Leave does.
    window.addEventListener('beforeunload', (event) => {
      if (this.on) event.preventDefault();
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

  // Refused with the reason where the unit pattern is none: no label could be taken.
  async enter() {
    if (!this.profile || this.on) return;
    const source = $('station-pattern').value;
    let matches = null;
    try {
      matches = source ? await unitPattern(source) : null;
    } catch (error) {
      this.language.say('unitPatternInvalid', source, patternRefusal(error));
      $('station-pattern').focus();
      return;
    }
    if (this.on) return; // entered by a second press while the matcher was loading
    this.matches = matches;
    this.on = true;
    this.form.keep(this.profile.values);
    this.form.show(this.profile.values);
    this.showChanges();
    document.body.classList.add('station');
    $('form').inert = true;
    for (const locked of kSetUp) $(locked).hidden = true;
    $('station').hidden = false;
    $('station-recent').replaceChildren();
    this.language.show($('station-profile'), 'stationProfile', this.profile.profile,
      this.profile.identity.slice(0, 12));
    this.show('', 'stationScan');
    $('station-scan').value = '';
    $('station-scan').focus();
  }

  // Leave, pressed twice a moment apart: a stray click or scan does not unlock the values. After
  // the first the focus is back in the scan field, so that the next scan lands there and no Enter
  // gives the second (keyed); none is taken while labels are still being uploaded.
  leave() {
    if (!this.on || this.labels.busy) return;
    const now = performance.now();
    if (now - this.leaveAsked > kLeaveConfirmMs) {
      this.leaveAsked = now;
      this.language.show($('station-note'), 'stationLeaveAgain');
      $('station-scan').focus();
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

  // In station mode a key typed anywhere but a box the page opened goes to the scan field, and
  // Enter ends the label there: a label is always whole, and a scan never presses a button.
  keyed(event) {
    if (!this.on || document.querySelector('dialog[open]')) return;
    const key = scanKey(event);
    const scan = $('station-scan');
    if (key === 'end') {
      event.preventDefault();
      if (event.target !== scan) scan.focus();
      if (event.repeat) return;
      const label = trimmed(scan.value);
      scan.value = '';
      this.scanned(label);
    } else if (key === 'character' && event.target !== scan && event.key !== ' ') {
      event.preventDefault();
      scan.focus();
      scan.setRangeText(event.key, scan.value.length, scan.value.length, 'end');
    }
  }

  // The verdict and its label, large; `note` under them.
  show(verdict, note, ...args) {
    const shown = $('station-verdict');
    shown.textContent = verdict;
    shown.className = verdict === 'PASS' ? 'pass' : verdict ? 'fail' : '';
    this.language.show($('station-note'), note, ...args);
  }

  // A label scanned: taken after those before it, as the tool reads them a line at a time,
  // however soon it comes after them.
  scanned(label) {
    if (!label || !this.on) return;
    this.leaveAsked = -Infinity;
    $('station-leave').disabled = true;
    this.labels.push(label);
  }

  // One unit: its label refused by the pattern, or the profile uploaded to it and its verdict.
  async apply(label) {
    const shown = this.language.shownLabel(label);
    $('station-unit').textContent = shown;
    this.language.clear($('station-warning'));
    const judged = this.matches ? this.matches(label) : 'matches';
    if (judged !== 'matches') {
      const pattern = $('station-pattern').value;
      if (judged === 'tooLong') this.show('', 'stationTooLong', [...label].length, pattern);
      else this.show('', 'stationRefused', shown, pattern);
      return;
    }
    // Named until the next scan, beside the verdict: any tab's entries count, of this visit or
    // an earlier one, as the tool reads its record.
    const startOfDay = new Date();
    startOfDay.setHours(0, 0, 0, 0);
    // Where a tab of an earlier page holds the log, only this tab's entries could be checked.
    const done = await this.upload.record.lastConfirmed(label, startOfDay).catch(() => ({ time: null }));
    if (done.time) this.language.show($('station-warning'), 'stationAgain', new Date(done.time).toLocaleTimeString());
    else if (done.partial) this.language.show($('station-warning'), 'stationUnchecked');
    this.show('', 'uploading');
    this.upload.station = {
      station: $('station-name').value.trim(), profile: this.profile.profile, profileId: this.profile.identity,
    };
    // No other upload can be under way: Upload and the form are out of reach in station mode.
    const failure = await this.upload.runWith(this.profile.values.slice(), label);
    const verdict = failure === null ? 'PASS' : 'FAIL';
    this.show(verdict, failure === null ? 'stationPassed' : 'stationFailed', failure ?? '');
    const recent = document.createElement('li');
    recent.textContent = `${shown} ${verdict}`;
    recent.className = verdict.toLowerCase();
    $('station-recent').prepend(recent);
    while ($('station-recent').children.length > kRecentVerdicts) $('station-recent').lastChild.remove();
    // The focus stays where the next label is being typed; its text is not touched.
    if (document.activeElement !== $('station-scan')) $('station-scan').focus();
  }
}
