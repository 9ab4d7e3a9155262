// What the page keeps in the browser between visits, where the browser allows it. A profile or
// policy may refuse site data altogether (reading localStorage then throws), and a full store
// refuses writes; either way the page goes on without, and says so once.
export class Keeper {
  constructor() {
    this.onRefused = null; // called once, at the first refusal
    this.refused = false;
    try {
      this.store = window.localStorage;
      this.store.getItem('vkd37.language'); // a store that is there may still refuse to be read
    } catch {
      this.store = null;
    }
  }

  get(key) {
    try {
      return this.store ? this.store.getItem(key) : null;
    } catch {
      return null;
    }
  }

  // False when the browser would not keep it.
  set(key, value) {
    try {
      if (this.store) {
        this.store.setItem(key, value);
        return true;
      }
    } catch {
      // Full, or taken away since: told below like a store that was never there.
    }
    this.refuse();
    return false;
  }

  remove(key) {
    try {
      this.store?.removeItem(key);
    } catch {
      // Nothing kept, nothing to remove.
    }
  }

  // Asked once a visit, at the first entry of the log kept: the browser is to keep the page's data
  // when it runs short of room, rather than evict entries not yet written to a file.
  askToKeep() {
    if (this.askedToKeep) return;
    this.askedToKeep = true;
    navigator.storage?.persist?.().catch(() => {});
  }

  refuse() {
    if (this.refused) return;
    this.refused = true;
    this.onRefused?.();
  }
}
