// Labels scanned one after another, in batch and station mode alike: a scanner types a label and
// Enter however soon after the one before, so a label that comes while the one before is still
// being handled waits, whole, and is taken once that one is done, in the order scanned, as the
// tool reads its labels a line at a time.

// A scanner types a label's keys a few milliseconds apart, and some end it with Enter twice; a
// person takes far longer than this to see a box and answer it.
export const kSameScanMs = 250;

// The second Enter of such a scanner, come soon after a box opened at `openedAt` (the page's
// time): no person's answer to that box.
export const scannersEnter = (event, openedAt) => event.key === 'Enter' && event.timeStamp - openedAt < kSameScanMs;

// Blanks around a label are dropped, as the tool drops them: the ideographic space U+3000 too.
export const trimmed = (label) => label.replace(/^[ \t\r\n\v\f\u3000]+|[ \t\r\n\v\f\u3000]+$/gu, '');

// What a key does to the label being scanned: 'end' for Enter, 'character' for a key that types
// one, null for any other key and for an input method's keys, which are the method's.
export function scanKey(event) {
  if (event.isComposing || event.keyCode === 229) return null;
  if (event.key === 'Enter') return 'end';
  const typesCharacter = event.key.length === 1 && !event.ctrlKey && !event.altKey && !event.metaKey;
  return typesCharacter ? 'character' : null;
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

  async takeWaiting() {
    while (this.waiting.length) {
      const label = this.waiting.shift();
      this.showWaiting();
      await this.take(label);
    }
  }

  showWaiting() {
    if (this.waiting.length) this.language.show(this.shownIn, 'labelsWaiting', this.waiting.join(', '));
    else {
      this.language.forget(this.shownIn);
      this.shownIn.textContent = '';
    }
  }
}
