// Labels scanned one after another, in batch and station mode alike: a scanner types a label and
// Enter however soon after the one before, so a label that comes while the one before is still
// being handled waits, whole, and is taken once that one is done, in the order scanned, as the
// tool reads its labels a line at a time.

// A scanner types a label's keys a few milliseconds apart, and some end it with Enter twice; a
// person takes far longer than this to see a box and answer it.
export const kSameScanMs = 250;

// The second Enter of such a scanner, come soon after `since` (the page's time a box opened, or a
// label ended): no person's answer to a box.
export const scannersEnter = (event, since) => event.key === 'Enter' && event.timeStamp - since < kSameScanMs;

// Blanks around a label are dropped, as the tool drops them: the ideographic space U+3000 too.
export const trimmed = (label) => label.replace(/^[ \t\r\n\v\f\u3000]+|[ \t\r\n\v\f\u3000]+$/gu, '');

// What a key does to the label being scanned, of which `typing` is typed so far: 'end' for Enter,
// 'character' for a key that types one, null for any other key and for an input method's keys,
// which are the method's. AltGr types a character though Windows reports it as Ctrl and Alt; a
// space is a label's character within one, and before one the focused control's (a button's press).
export function scanKey(event, typing = '') {
  if (event.isComposing || event.keyCode === 229) return null;
  if (event.key === 'Enter') return 'end';
  if (event.key.length !== 1 || event.metaKey || (event.key === ' ' && !typing)) return null;
  const altGraph = event.getModifierState?.('AltGraph') || (event.ctrlKey && event.altKey);
  return altGraph || (!event.ctrlKey && !event.altKey) ? 'character' : null;
}

export class LabelQueue {
  // take(label) handles one label and settles once it is done; the labels waiting are named in
  // `shownIn`, in the page's language; idle() is called once none is left and none is handled.
  constructor(take, language, shownIn, idle) {
    this.take = take;
    this.language = language;
    this.shownIn = shownIn;
    this.idle = idle;
    this.waiting = []; // labels scanned and not yet taken, oldest first
    this.working = null; // settles once the labels waiting have been taken
  }

  get busy() { return this.working !== null; }

  push(label) {
    this.waiting.push(label);
    this.showWaiting();
    this.working ??= this.takeWaiting().finally(() => {
      this.working = null;
      this.idle();
    });
  }

  // The labels still waiting, taken out of the queue: none of them is taken.
  drop() {
    const dropped = this.waiting.splice(0);
    this.showWaiting();
    return dropped;
  }

  async takeWaiting() {
    while (this.waiting.length) {
      const label = this.waiting.shift();
      this.showWaiting();
      await this.take(label);
    }
  }

  showWaiting() {
    if (this.waiting.length) this.language.show(this.shownIn, 'labelsWaiting', this.waiting.map(this.language.shownLabel).join(', '));
    else {
      this.language.clear(this.shownIn);
    }
  }
}
