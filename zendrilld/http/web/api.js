// The daemon's JSON API and its event stream. Paths are relative, so the
// page also works behind a reverse proxy under a path of its own.

export class ApiError extends Error {
  constructor(status, message) {
    super(message);
    this.status = status;
  }
}

// Called when the API wants a password (401).
let onUnauthorized = () => {};
export function whenUnauthorized(handler) { onUnauthorized = handler; }

// A change may wait for the line up to about a minute; the page waits a
// little longer before it gives up.
const LIMIT_MS = 90000;

export async function api(method, path, body, raw = false) {
  const init = { method, cache: 'no-store', credentials: 'same-origin', headers: { Accept: 'application/json' } };
  if (body !== undefined) {
    init.body = raw ? body : JSON.stringify(body);
    init.headers['Content-Type'] = raw ? 'application/octet-stream' : 'application/json';
  }
  const abort = new AbortController();
  const timer = setTimeout(() => abort.abort(), LIMIT_MS);
  init.signal = abort.signal;
  let res;
  let text;
  try {
    res = await fetch(path, init);
    text = await res.text();
  } catch {
    throw new ApiError(0, 'zendrilld ist nicht erreichbar');
  } finally {
    clearTimeout(timer);
  }
  let data = null;
  if (text) {
    try { data = JSON.parse(text); } catch { data = null; }
  }
  if (res.status === 401) onUnauthorized();
  if (!res.ok || (data && data.ok === false)) {
    let error = data && typeof data.error === 'string' ? data.error : `Fehler ${res.status} von zendrilld`;
    // A refused backup names each of its problems.
    if (data && Array.isArray(data.problems)) error = [error, ...data.problems.map(String)].join('\n');
    throw new ApiError(res.status, error);
  }
  return data;
}

// The event stream. EventSource reconnects by itself after a lost
// connection; when the server refused the stream (a 401, a daemon that went
// away) it gives up, so then a new one is opened here after a growing
// pause, or at once through the returned `reopen`. A stream that brings
// nothing at all, not even the daemon's `alive`, for SILENCE_MS belongs to
// a daemon that hangs: it is closed and opened again as well.
// `connected(again)` runs on every open, `lost(why)` on every loss, why
// being 'error', 'closed' or 'silent'.
export const SILENCE_MS = 30000;

export function listen(handlers, connected, lost) {
  let source = null;
  let wait = 1000;
  let opened = false;
  let retry = 0;
  let heard = Date.now();
  let silent = false;
  const open = () => {
    clearTimeout(retry);
    if (source) source.close();
    heard = Date.now();
    source = new EventSource('api/events');
    const mine = source;
    source.onopen = () => {
      heard = Date.now();
      silent = false;
      wait = 1000;
      connected(opened);
      opened = true;
    };
    source.onerror = () => {
      if (mine !== source) return;
      const closed = source.readyState === EventSource.CLOSED;
      lost(closed ? 'closed' : 'error');
      if (closed) {
        retry = setTimeout(open, wait);
        wait = Math.min(wait * 2, 15000);
      }
    };
    const hear = () => { heard = Date.now(); };
    source.addEventListener('alive', hear);
    source.onmessage = hear;
    for (const [name, handle] of Object.entries(handlers)) {
      source.addEventListener(name, (e) => {
        hear();
        let data;
        try { data = JSON.parse(e.data); } catch { return; }
        handle(data);
      });
    }
  };
  // Date.now(), not a timer per event: a frozen tab or daemon shows here too.
  setInterval(() => {
    if (Date.now() - heard < SILENCE_MS) return;
    if (!silent) lost('silent');
    silent = true;
    open();
  }, 1000);
  open();
  return { reopen: open };
}
