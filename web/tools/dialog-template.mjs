// The controls of one dialog of the resource script, as the template places them: x, y, width
// and height in dialog units by control id. The background picture (IDC_STATIC) is left out.
// Only the one-line CONTROL form is read; any other line fails loudly, so that a change to the
// template cannot be missed.
export function dialogControls(script, dialog) {
  const block = script.match(new RegExp(`^${dialog}\\s+DIALOGEX\\b[^]*?^BEGIN\\s*$([^]*?)^END\\s*$`, 'm'));
  if (!block) throw new Error(`no ${dialog} DIALOGEX in the resource script`);
  const places = {};
  const lines = block[1].split('\n').map((line) => line.trim());
  for (const line of lines.filter((l) => l && !l.startsWith('//'))) {
    const control = line.match(
      /^CONTROL\s+(?:"(?:[^"]|"")*"|\w+)\s*,\s*(\w+)\s*,\s*"\w+"\s*,[^,]+,\s*(\d+)\s*,\s*(\d+)\s*,\s*(\d+)\s*,\s*(\d+)$/);
    if (!control) throw new Error(`${dialog}: cannot read "${line}"`);
    const [, id, ...place] = control;
    if (id === 'IDC_STATIC') continue;
    if (id in places) throw new Error(`${dialog}: ${id} twice`);
    places[id] = place.map(Number);
  }
  return places;
}
