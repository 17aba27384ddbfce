// The daemon's journal, newest first: a page at a time, the changes that
// can be taken back with a button each.
import { api } from './api.js';

const $ = (id) => document.getElementById(id);
const PAGE = 20;
const PEEK = 5; // what a look for new entries asks for first
const KEEP = 200; // a page left open for days does not grow without end

// "10.12. 06:35" as the daemon wrote it, in the house's own time; a year
// only when it is not this one.
export function entryTime(at) {
  const m = /^(\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d)/.exec(String(at || ''));
  if (!m) return '';
  const year = Number(m[1]) === new Date().getFullYear() ? '' : m[1];
  return `${m[3]}.${m[2]}.${year} ${m[4]}:${m[5]}`;
}

// `actions`: undo(entry, button) takes an entry back, added(entries) hears
// of those that came since the last look, refuse(text) shows an error.
export function createHistory(actions) {
  let entries = [];
  let more = false;
  let why = '';
  let busy = null; // the newest page's request under way
  let again = false;
  let round = 0; // counts the reloads: an answer from before one is dropped
  const items = new Map(); // id → <li>: a button keeps its focus and its state

  function item(e) {
    let li = items.get(e.id);
    if (li) return li;
    li = document.createElement('li');
    if (e.ok === false) li.className = 'failed';
    const when = document.createElement('span');
    when.className = 'when';
    when.textContent = entryTime(e.at);
    const text = document.createElement('span');
    text.className = 'what';
    text.id = `entry-${e.id}`;
    text.textContent = String(e.text || '');
    li.append(when, ' ', text);
    if (e.undo === true) {
      const b = document.createElement('button');
      b.type = 'button';
      b.className = 'undo';
      b.textContent = 'Rückgängig';
      b.disabled = !!why;
      b.setAttribute('aria-describedby', `entry-${e.id} why-history`);
      b.addEventListener('click', () => actions.undo(e, b));
      li.append(b);
    }
    items.set(e.id, li);
    return li;
  }

  function show(problem = '') {
    $('history-problem').textContent = problem;
    $('history-problem').hidden = !problem;
    $('history').hidden = !!problem;
    $('history-more').hidden = !!problem || !more;
    const list = $('history');
    if (!entries.length) {
      list.replaceChildren(Object.assign(document.createElement('li'), { textContent: 'Keine Einträge' }));
      items.clear();
      return;
    }
    for (const id of items.keys()) if (!entries.some((e) => e.id === id)) items.delete(id);
    // New ones go in before those shown, which stay put: a focused button keeps its focus.
    let at = list.firstChild;
    for (const e of entries) {
      const li = item(e);
      if (li === at) at = at.nextSibling;
      else list.insertBefore(li, at);
    }
    while (at) {
      const next = at.nextSibling;
      at.remove();
      at = next;
    }
  }

  const valid = (answer) => (Array.isArray(answer && answer.entries) ? answer.entries : [])
    .filter((e) => e && Number.isInteger(e.id));
  const oldestOf = (answer, top) => {
    const fresh = valid(answer);
    return fresh.length ? fresh[fresh.length - 1].id : top + 1;
  };

  // The newest entries joined to those shown. Once some are shown a few
  // are asked for first, and a whole page only when they do not reach
  // back to those.
  async function first() {
    const top = entries.length ? entries[0].id : 0;
    const mine = round;
    let answer;
    try {
      answer = await api('GET', `api/history?limit=${top ? PEEK : PAGE}`);
      if (top && answer && answer.more && oldestOf(answer, top) > top + 1) answer = await api('GET', `api/history?limit=${PAGE}`);
    } catch (e) {
      if (e.status === 503) {
        entries = [];
        more = false;
        show(e.message);
      }
      return;
    }
    if (mine !== round) return;
    const fresh = valid(answer);
    const oldest = oldestOf(answer, top);
    const joins = top && (oldest <= top + 1 || !answer.more);
    const older = joins ? entries.filter((e) => e.id < oldest) : [];
    if (top) actions.added(fresh.filter((e) => e.id > top));
    more = older.length ? more : !!answer.more;
    entries = [...fresh, ...older];
    if (entries.length > KEEP) {
      entries.length = KEEP;
      more = true;
    }
    show();
  }

  // One request at a time; what is heard meanwhile is asked for after it.
  function load() {
    if (busy) {
      again = true;
      return busy;
    }
    busy = first().finally(() => {
      busy = null;
      if (again) {
        again = false;
        load();
      }
    });
    return busy;
  }

  $('history-more').addEventListener('click', async (ev) => {
    const button = ev.currentTarget;
    if (!entries.length || button.getAttribute('aria-disabled') === 'true') return;
    button.setAttribute('aria-disabled', 'true');
    try {
      const last = entries[entries.length - 1].id;
      const mine = round;
      const answer = await api('GET', `api/history?before=${last}&limit=${PAGE}`);
      if (mine !== round) return;
      entries.push(...valid(answer).filter((e) => e.id < last));
      more = !!answer.more;
      show();
    } catch (e) {
      if (e.status !== 401) actions.refuse(e.message);
    } finally {
      button.removeAttribute('aria-disabled');
    }
  });

  return {
    // All of it again (a page opened, a stream back).
    reload() {
      round += 1;
      entries = [];
      items.clear();
      return load();
    },
    // Something was written to the journal.
    heard: load,
    // Why nothing can be sent now ("" when it can).
    blocked(reason) {
      why = reason;
      for (const b of $('history').querySelectorAll('button.undo')) b.disabled = !!why;
    },
  };
}
