// Waiting a bounded time for what the browser may never finish: a port's open, write or close,
// a file's write.
const kTimedOut = Symbol('timed out');

// The promise's outcome, or the time-out mark after ms; a rejection comes back as { error }.
export function within(promise, ms) {
  let timer;
  const expiry = new Promise((resolve) => { timer = setTimeout(resolve, Math.max(0, ms), kTimedOut); });
  return Promise.race([promise.then((value) => ({ value }), (error) => ({ error })), expiry])
    .finally(() => clearTimeout(timer));
}

export const timedOut = (outcome) => outcome === kTimedOut;
