// A batch's or a station's unit pattern, judged by the tool's own matcher (vkd37 upload
// --unit-pattern): JavaScript's syntax with the u flag, matched in characters against the whole
// label, in a time bounded by the label's length times the pattern's size; backreferences, and
// patterns too large or nested too deeply, refused with the tool's reasons. The matcher and its
// Unicode tables are a WebAssembly module of their own, carried in the page like the core module
// but compiled only when a unit pattern is first used, so that the page's start does without it.
import { Core, instantiate } from './core.mjs';

// Why a pattern is none: `kind` is the tool's kind of refusal ('syntax', 'backreference',
// 'tooLarge', 'tooDeep'), the message its reason, `limit` the bound a pattern too large or too
// deeply nested is over.
export class PatternRefusal extends Error {
  constructor(kind, reason, limit) {
    super(reason);
    this.kind = kind;
    this.limit = limit;
  }
}

// The module's exports, wrapped for the texts that go in and out of its memory.
export class PatternMatcher {
  constructor(instance) {
    this.exports = instance.exports;
    this.exports._initialize();
    this.encoder = new TextEncoder();
    this.decoder = new TextDecoder();
  }

  static async load(bytes) {
    return new PatternMatcher(await instantiate(bytes));
  }

  // The text in the module's exchange. The room is made first: making it may grow the module's
  // memory, which detaches the buffer taken before.
  put(text) {
    const bytes = this.encoder.encode(text);
    const at = this.exports.vkd_exchange_reserve(bytes.length);
    new Uint8Array(this.exports.memory.buffer, at, bytes.length).set(bytes);
  }

  cString(pointer) {
    const memory = new Uint8Array(this.exports.memory.buffer);
    return this.decoder.decode(memory.subarray(pointer, memory.indexOf(0, pointer)));
  }

  // The pattern's test of a whole label ('matches', 'differs', or 'tooLong' when the label is
  // longer than the matcher checks against this pattern); a PatternRefusal when it is none. The
  // module keeps the last pattern compiled, so a test puts its own back first when another came
  // between.
  compile(source) {
    this.current = null;
    this.put(source);
    if (!this.exports.vkd_pattern_compile()) {
      const reason = this.decoder.decode(new Uint8Array(this.exports.memory.buffer,
        this.exports.vkd_exchange(), this.exports.vkd_exchange_size()));
      const kind = this.cString(this.exports.vkd_pattern_refusal());
      const limit = kind === 'tooLarge' ? this.exports.vkd_pattern_max_steps()
        : kind === 'tooDeep' ? this.exports.vkd_pattern_max_nesting() : null;
      throw new PatternRefusal(kind, reason, limit);
    }
    const test = (label) => {
      if (this.current !== test) {
        this.put(source);
        this.exports.vkd_pattern_compile();
        this.current = test;
      }
      this.put(label);
      return ['differs', 'matches', 'tooLong'][this.exports.vkd_pattern_whole()];
    };
    this.current = test;
    return test;
  }
}

let loading = null;

// The pattern's test of a whole label; a PatternRefusal when it is none. The matcher is loaded
// from the page's block on the first call.
export async function unitPattern(source) {
  loading ??= PatternMatcher.load(Core.decode(document.getElementById('pattern-module').text));
  return (await loading).compile(source);
}
