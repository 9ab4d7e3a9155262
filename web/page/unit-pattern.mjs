// A batch's unit pattern as the tool takes it (vkd37 upload --unit-pattern): JavaScript's own
// syntax with the u flag, matched in characters against the whole label, as ^(?:pattern)$.
// Backreferences are refused, as the tool refuses them: its matcher keeps to the time a label's
// length allows, which no backreference can.

// An escape \1-\9 or \k after an even number of backslashes. Inside a class either is already a
// SyntaxError with the u flag, so this finds only backreferences.
const backreference = /(?:^|[^\\])(?:\\\\)*\\(?:[1-9]|k)/u;

export class BackreferenceError extends Error {
  constructor() { super('backreferences (\\1, \\k<name>) are not taken'); }
}

// The pattern's test of a whole label; a SyntaxError, or a BackreferenceError, when it is none.
export function unitPattern(source) {
  new RegExp(source, 'u'); // a SyntaxError for a pattern that is not one on its own
  if (backreference.test(source)) throw new BackreferenceError();
  const whole = new RegExp(`^(?:${source})$`, 'u');
  return (label) => whole.test(label);
}
