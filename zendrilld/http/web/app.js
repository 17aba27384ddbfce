// zendrilld's page: what switches next, the five timers, the week, the
// B203's clock and settings, the journal, kept current by the daemon's
// event stream.
import { api, listen, whenUnauthorized } from './api.js';
import { driftChart } from './drift.js';
import { createEditor } from './editor.js';
import { createHistory } from './history.js';
import { NAMES, range, setNames, sourceText, targetsText, timerText } from './timer.js';

const $ = (id) => document.getElementById(id);

// One word per state of the link: the device's, or the daemon's own silence.
const LINK_TEXTS = {
  online: 'verbunden',
  offline: 'B203 antwortet nicht',
  lent: 'an zendrill-cli verliehen',
  dead: 'zendrilld nicht erreichbar',
};
const WHY = {
  offline: 'Gesperrt: der B203 antwortet nicht',
  lent: 'Gesperrt: die Leitung ist an zendrill-cli verliehen',
  dead: 'Gesperrt: zendrilld nicht erreichbar',
};
const SLOW_MS = 4000;
const SLOW_TEXT = 'B203 antwortet noch nicht – warte weiter …';
const UNREAD = 'Timer noch nicht gelesen';

// A day's short name by Date.getDay() (Sunday 0); the names come Mo first.
const weekday = (jsDay) => NAMES.days[(jsDay + 6) % 7] || '';
const settingKeys = () => Object.keys((page.info && page.info.settings) || {});
const two = (v) => String(v).padStart(2, '0');

const page = {
  info: null,
  status: null,
  statusAt: 0, // Date.now() when the status came
  link: 'offline',
  streaming: false,
  timers: [null, null, null, null, null],
  entries: null, // the schedule's entries once read
  // Whether the page has heard from the daemon or failed to: until then it
  // claims no link state, so a page loading does not flash an alarm.
  known: false,
};

const linkState = () => (page.streaming ? page.link : 'dead');

// ----- Answers: fixed to the bottom of the viewport, so they show wherever
// the page is scrolled to; errors as an alert, the rest as a status.

let messageTimer = 0;

function alertText(text) {
  $('alert').hidden = !text;
  $('alert-text').textContent = text || '';
}

// `details`: the daemon's own words with their command lines, in small.
function say(text, details = '', stays = false) {
  clearTimeout(messageTimer);
  $('message').textContent = text || '';
  // Only a message naming command lines says more than the words above it.
  $('message-details').textContent = details && details !== text && /\(0[0-9A-Z]/.test(details) ? details : '';
  $('message-details').hidden = !$('message-details').textContent;
  $('message-box').classList.toggle('empty', !text);
  if (text && !stays) messageTimer = setTimeout(() => say(''), 15000);
}

// The daemon's message without the command lines in brackets.
const plain = (message) => String(message || '').replace(/\s*\((?:0[0-9A-Z][^)]*)\)/g, '').trim();

// Runs one request for the user: the control says it is busy meanwhile, the
// progress shows (and, after a few seconds, that the B203 has not answered
// yet), then the answer in words or the error. A 401 brings up the login
// form instead, except on the login itself. `words(answer)` says what happened.
async function act(control, progress, request, words = null, login = false) {
  if (control && control.getAttribute('aria-disabled') === 'true') return null;
  alertText('');
  say(progress, '', true);
  const slow = login ? 0 : setTimeout(() => say(SLOW_TEXT, '', true), SLOW_MS);
  if (control) control.setAttribute('aria-disabled', 'true');
  try {
    const answer = (await request()) || {};
    const message = typeof answer.message === 'string' ? answer.message : '';
    const text = words ? words(answer) : plain(message);
    say(text, message);
    return answer;
  } catch (e) {
    say('');
    if (e.status !== 401 || login) alertText(e.message);
    return null;
  } finally {
    clearTimeout(slow);
    if (control) control.removeAttribute('aria-disabled');
  }
}

// ----- Status

function signed(s) { return `${s > 0 ? '+' : ''}${s} s`; }

// Seconds as today; from a minute on in days, hours and minutes, "vor" when
// the device's clock is ahead of the host's, "nach" when it is behind.
export function driftText(d) {
  if (!Number.isInteger(d)) return 'Abweichung: –';
  const a = Math.abs(d);
  if (a < 60) return `Abweichung: ${signed(d)}`;
  const days = Math.floor(a / 86400);
  const hours = Math.floor((a % 86400) / 3600);
  const minutes = Math.floor((a % 3600) / 60);
  const parts = [];
  if (days) parts.push(`${days} ${days === 1 ? 'Tag' : 'Tage'}`);
  if (hours) parts.push(`${hours} Std.`);
  if (minutes) parts.push(`${minutes} Min.`);
  return `Abweichung: ${parts.join(' ')} ${d > 0 ? 'vor' : 'nach'}`;
}

function showLink() {
  const state = linkState();
  const el = $('link');
  el.textContent = LINK_TEXTS[state];
  el.setAttribute('aria-label', LINK_TEXTS[state]);
  el.className = `link ${state}`;
  el.hidden = !page.known || !$('login').hidden;
  showBlocked();
}

function setLink(link) {
  page.link = LINK_TEXTS[link] && link !== 'dead' ? link : 'offline';
  showLink();
  showClock();
}

// While nothing can be sent, the controls that would send are disabled and
// a line beside them says why.
function showBlocked() {
  const state = linkState();
  const why = state === 'online' ? '' : WHY[state];
  for (const id of ['device', 'backup', 'console', 'history']) {
    const el = $(`why-${id}`);
    el.hidden = !why || !page.known;
    el.textContent = why;
  }
  for (const id of ['sync', 'plus', 'minus', 'refresh', 'apply']) $(id).disabled = !!why;
  $('console-form').querySelector('button').disabled = !!why;
  for (const key of settingKeys()) if ($(key)) $(key).disabled = !!why || !page.status || page.status[key] == null;
  $('ir').disabled = !!why || !page.status || page.status.ir == null;
  editor.blocked(why, page.known);
  journal.blocked(why);
}

// The device's clock as last read, running on while the link stands and
// the daemon is heard.
function showClock() {
  const s = page.status;
  const m = s && /^(\d{4})-(\d\d)-(\d\d)$/.exec(s.date || '');
  const t = s && /^(\d\d):(\d\d):(\d\d)$/.exec(s.time || '');
  if (!m || !t) {
    $('clock').textContent = 'noch nicht gelesen';
    return;
  }
  let ms = Date.UTC(+m[1], +m[2] - 1, +m[3], +t[1], +t[2], +t[3]);
  if (linkState() === 'online') ms += Math.floor((Date.now() - page.statusAt) / 1000) * 1000;
  else if (page.frozenAt) ms += Math.floor((page.frozenAt - page.statusAt) / 1000) * 1000;
  const d = new Date(ms);
  $('clock').textContent = `${weekday(d.getUTCDay())}, ${two(d.getUTCDate())}.${two(d.getUTCMonth() + 1)}.${d.getUTCFullYear()} ` +
    `${two(d.getUTCHours())}:${two(d.getUTCMinutes())}:${two(d.getUTCSeconds())}`;
}

// A status object from the daemon; `again` shows the one already held.
function showStatus(s, again = false) {
  if (!s || typeof s !== 'object') return;
  if (!again) {
    page.status = s;
    page.statusAt = Date.now();
    page.frozenAt = 0;
  }
  if (s.link) page.link = LINK_TEXTS[s.link] ? s.link : 'offline';
  showLink();
  showClock();
  $('drift').textContent = driftText(s.drift_s);
  $('read-at').textContent = `gelesen um ${typeof s.read_at === 'string' && s.read_at.length >= 19 ? s.read_at.slice(11, 19) : '–'}`;
  for (const key of settingKeys()) {
    const select = $(key);
    if (!select || select.dataset.sending) continue;
    select.value = s[key] == null ? '' : s[key];
    if (select.value !== (s[key] == null ? '' : s[key])) select.value = '';
  }
  const known = s.ir === 'ein' || s.ir === 'aus';
  $('ir').checked = s.ir === 'ein';
  $('ir').closest('label').classList.toggle('unknown', !known);
  $('ir-state').textContent = known ? s.ir : 'noch nicht gelesen';
  showBlocked();
  showBackup();
}

// A label and a list for each setting, with the names /api/info gives; "–"
// stands for a value not read yet.
function fillSettings(info) {
  const lists = (info && info.settings) || {};
  const labels = (info && info.setting_labels) || {};
  const parts = [];
  for (const key of Object.keys(lists)) {
    const label = document.createElement('label');
    label.htmlFor = key;
    label.textContent = labels[key] || key;
    const select = document.createElement('select');
    select.id = key;
    select.dataset.key = key;
    const names = Array.isArray(lists[key]) ? lists[key] : [];
    const unread = new Option('–', '');
    unread.disabled = true;
    select.replaceChildren(unread, ...names.map((n) => new Option(n, n)));
    select.value = '';
    select.addEventListener('change', () => sendSetting(key, select));
    parts.push(label, select);
  }
  $('settings').replaceChildren(...parts);
}

async function sendSetting(key, select) {
  select.dataset.sending = '1';
  const label = (page.info.setting_labels || {})[key] || key;
  const value = select.value;
  const answer = await act(null, 'Einstellung wird gesendet …', () => api('PUT', 'api/settings', { [key]: value }),
    () => `Einstellung gesendet: ${label} ${value}`);
  delete select.dataset.sending;
  if (answer) showStatusOf(answer);
  else if (page.status) showStatus(page.status, true);
}

// ----- Timers

function showTimers() {
  const list = $('timer-list');
  if (!list.children.length) {
    list.replaceChildren(...[1, 2, 3, 4, 5].map((n) => {
      const li = document.createElement('li');
      const b = document.createElement('button');
      b.type = 'button';
      b.id = `card-${n}`;
      b.className = 'timer';
      const name = document.createElement('span');
      name.className = 'name';
      name.textContent = `Timer ${n}`;
      const line = document.createElement('span');
      line.className = 'summary';
      b.append(name, ' ', line);
      b.addEventListener('click', () => openEditor(n));
      li.append(b);
      return li;
    }));
  }
  page.timers.forEach((t, i) => {
    const b = $(`card-${i + 1}`);
    b.querySelector('.summary').textContent = timerText(t);
    b.dataset.state = t ? t.state : 'unknown';
  });
}

const allRead = () => page.timers.every((t) => t && (t.state === 'set' || t.state === 'empty'));

function showTimer(t) {
  if (!t || !Number.isInteger(t.timer) || t.timer < 1 || t.timer > 5) return;
  page.timers[t.timer - 1] = t;
  showTimers();
  editor.update(t);
  showWeek();
  showBackup();
  // The first five at once: the week right away, no pause.
  if (!page.entries && page.timers.every((x) => x)) loadWeek();
  else weekSoon();
}

// A write or an erase the device did not answer may have happened or not.
function unclear(e) {
  if (e.status === 504 && !/unklar|nichts gesendet/.test(e.message)) e.message += '\nOb der Timer geschrieben wurde, ist unklar.';
  throw e;
}

const editor = createEditor({
  refuse: (text) => { alertText(text); say(''); },
  write: async (n, body) => {
    const t = await act(null, `Sende Timer ${n} an B203 …`, () => api('PUT', `api/timers/${n}`, body).catch(unclear),
      () => `Timer ${n} geschrieben`);
    if (t && t.timer) showTimer(t);
    return t && t.timer ? t : null;
  },
  test: (n) => act(null, `Timer ${n} wird getestet …`, () => api('POST', `api/timers/${n}/test`), () => `Timer ${n} getestet`),
  erase: async (n) => {
    const t = await act(null, `Lösche Timer ${n} auf B203 …`, () => api('DELETE', `api/timers/${n}`).catch(unclear),
      () => `Timer ${n} gelöscht`);
    if (t && t.timer) showTimer(t);
    return t && t.timer ? t : null;
  },
  back: (n) => {
    if (history.state && history.state.editor === n) history.back();
    else {
      history.replaceState(null, '', location.pathname + location.search);
      closeEditor();
    }
  },
}, () => (page.info && page.info.stations) || []);

// The editor is an entry in the page's history: #timer-3 opens it, Back closes it.
function openEditor(n) {
  history.pushState({ editor: n }, '', `#timer-${n}`);
  showEditor(n);
}

function showEditor(n) {
  alertText('');
  say('');
  $('app').classList.add('editing');
  editor.open(n, page.timers[n - 1]);
}

function closeEditor() {
  const n = editor.number;
  editor.close();
  $('app').classList.remove('editing');
  if (n) $(`card-${n}`).focus();
}

function route() {
  const m = /^#timer-([1-5])$/.exec(location.hash);
  if (m && page.info) {
    if (editor.number !== Number(m[1])) showEditor(Number(m[1]));
  } else if (!m && editor.number) closeEditor();
}
window.addEventListener('popstate', route);

// ----- What switches next, and the next days

let weekTimer = 0;
function weekSoon() {
  clearTimeout(weekTimer);
  weekTimer = setTimeout(loadWeek, 300);
}

async function loadWeek() {
  try {
    const answer = await api('GET', 'api/schedule?days=7');
    page.entries = (answer && Array.isArray(answer.entries)) ? answer.entries : [];
  } catch {
    return;
  }
  showWeek();
  if (page.timers.every((t) => t)) reveal();
}

// "Mi 10.12. 06:30–07:15" of a schedule entry.
function when(e) {
  const start = String(e.start || '');
  const end = String(e.end || '');
  const day = new Date(`${start.slice(0, 10)}T12:00`);
  return `${weekday(day.getDay())} ${start.slice(8, 10)}.${start.slice(5, 7)}. ${range(start.slice(11, 16), end.slice(11, 16))}`;
}

function what(e) {
  const t = page.timers[e.timer - 1];
  return t && t.state === 'set' ? `${sourceText(t)} ${targetsText(t)}` : `Timer ${e.timer}`;
}

function showWeek() {
  const unread = !allRead();
  const entries = page.entries || [];
  let next;
  if (unread || !page.entries) next = UNREAD;
  else if (!entries.length) next = 'nichts in den nächsten 7 Tagen';
  else next = `${when(entries[0])} ${what(entries[0])}`;
  $('next-line').textContent = `Als Nächstes: ${next}`;

  const items = unread || !page.entries ? [] : entries.map((e) => {
    const li = document.createElement('li');
    const w = document.createElement('span');
    w.className = 'when';
    w.textContent = when(e);
    li.append(w, ` Timer ${e.timer}: ${what(e)}`);
    return li;
  });
  if (!items.length) {
    const li = document.createElement('li');
    li.textContent = unread || !page.entries ? UNREAD : 'Keine Schaltzeiten';
    items.push(li);
  }
  $('week').replaceChildren(...items);
}

// ----- The clock's rate and its drift over 30 days

const chart = driftChart($('drift-chart'));

let rateSeen = '';
function showRate(rate) {
  if (rate && typeof rate.text === 'string') $('rate').textContent = rate.text;
  const seen = rateSeen;
  rateSeen = JSON.stringify(rate);
  return rateSeen !== seen;
}

async function loadDrift() {
  let answer;
  try {
    answer = await api('GET', 'api/clock');
  } catch {
    return;
  }
  if (!answer) return;
  showRate(answer.rate);
  $('clock-problem').textContent = answer.problem || '';
  $('clock-problem').hidden = !answer.problem;
  chart.show(answer);
}

let driftTimer = 0;
function driftSoon() {
  clearTimeout(driftTimer);
  driftTimer = setTimeout(loadDrift, 200);
}

// ----- The journal

async function undoEntry(e, button) {
  const request = () => api('POST', `api/history/${e.id}/undo`);
  const answer = await act(button, `Eintrag ${e.id} wird rückgängig gemacht …`,
    e.kind === 'timer' ? () => request().catch(unclear) : request, () => `Eintrag ${e.id} rückgängig gemacht`);
  if (answer && answer.timer) showTimer(answer);
  else showStatusOf(answer);
  // The entry taken back is no longer one to take back: its button goes.
  if (answer) journal.reload();
}

const journal = createHistory({
  undo: undoEntry,
  // A setting of the clock is a mark in the drawing.
  added: (entries) => { if (entries.some((e) => e.kind === 'clock')) driftSoon(); },
  refuse: (text) => { alertText(text); say(''); },
});

// ----- Events

const EVENT_TEXTS = {
  link_lost: () => 'Verbindung zum B203 verloren',
  link_back: () => 'Verbindung zum B203 wieder da',
  clock_synced: (e) => 'Uhr gestellt' + (Number.isInteger(e.after_s) ? `, danach ${signed(e.after_s)}` : ''),
  settings_sent: () => 'Einstellungen gesendet',
  ir_switched: (e) => (e.ir === 'ein' ? 'IR-Empfänger eingeschaltet' : 'IR-Empfänger ausgeschaltet'),
  timer_written: (e) => `Timer ${e.timer} geschrieben`,
  timer_erased: (e) => `Timer ${e.timer} gelöscht`,
  timer_refused: (e) => `Timer ${e.timer}: Die Daten wurden vom Controller mit einer Fehlermeldung quittiert !`,
  timer_tested: (e) => `Timer ${e.timer} getestet`,
};

function showEvent(e) {
  if (!e || typeof e.event_type !== 'string') return;
  const text = EVENT_TEXTS[e.event_type] ? EVENT_TEXTS[e.event_type](e) : e.event_type;
  const li = document.createElement('li');
  li.textContent = `${new Date().toLocaleTimeString('de-DE')} ${text}`;
  $('events').prepend(li);
  while ($('events').children.length > 8) $('events').lastElementChild.remove();
}

// ----- Backup

// The daemon reads a backup only from what it has read: until then the page
// says why there is none.
function showBackup() {
  const ready = allRead() && !!page.status && page.status.date != null;
  $('download').hidden = !ready;
  $('backup-why').hidden = ready;
}

// A command line in words, for a daemon that gives none.
function lineWords(command) {
  const c = String(command);
  let m;
  if ((m = /^0E0([1-5])E$/.exec(c))) return `Timer ${m[1]} löschen`;
  if ((m = /^0E0([1-5])[WD]/.exec(c))) return `Timer ${m[1]} schreiben`;
  if (/^0S/.test(c)) return 'Einstellungen setzen';
  if (c === '0R0') return 'IR-Empfänger einschalten';
  if (c === '0R1') return 'IR-Empfänger ausschalten';
  return 'Befehl senden';
}

let restoreBytes = null;

async function previewRestore() {
  const file = $('restore').files[0];
  $('preview').hidden = true;
  restoreBytes = null;
  if (!file) return;
  if (file.size > 65536) {
    alertText('Die Datei ist zu groß für eine Sicherung (höchstens 64 KiB); nichts gesendet');
    return;
  }
  const bytes = await file.arrayBuffer();
  const answer = await act($('restore'), 'Prüfe die Sicherung …', () => api('POST', 'api/backup?dry_run=1', bytes, true),
    (a) => `${(a.lines || []).length} Schritte würden gesendet; nichts ist gesendet`);
  if (!answer) return;
  showLines(answer.lines, true);
  restoreBytes = bytes;
  $('apply').hidden = false;
  $('preview').hidden = false;
}

// Each line in words; the command line itself in small beneath.
function showLines(lines, dry) {
  $('preview-lines').replaceChildren(...(Array.isArray(lines) ? lines : []).map((l) => {
    const li = document.createElement('li');
    const words = typeof l.text === 'string' && l.text ? l.text : lineWords(l.command);
    li.textContent = dry || l.result == null ? words : `${words}: ${plain(l.result)}`;
    const cmd = document.createElement('span');
    cmd.className = 'cmd';
    cmd.textContent = dry || l.result == null ? String(l.command) : `${l.command}: ${l.result}`;
    li.append(cmd);
    if (!dry && l.ok === false) li.className = 'failed';
    return li;
  }));
}

async function applyRestore() {
  if (!restoreBytes) return;
  const answer = await act($('apply'), 'Spiele die Sicherung ein …', () => api('POST', 'api/backup', restoreBytes, true),
    (a) => (a.ok === false ? 'Sicherung eingespielt, nicht jeder Schritt gelang' : 'Sicherung eingespielt'));
  if (!answer) return;
  showLines(answer.lines, false);
  $('apply').hidden = true;
}

// ----- Console

async function sendLine(e) {
  e.preventDefault();
  const line = $('line').value;
  if (line.length < 2 || !/^[0-9]/.test(line)) {
    alertText('Eine Befehlszeile hat mindestens 2 Zeichen und beginnt mit der Geräteadresse (0-9)');
    $('line').focus();
    return;
  }
  const answer = await act($('console-form').querySelector('button'), 'Sende …', () => api('POST', 'api/send', { line }),
    () => 'Befehl gesendet');
  if (answer) $('reply').textContent = answer.reply == null ? '' : String(answer.reply);
}

// ----- Start, login, the stream

async function loadAll() {
  const [status, timers] = await Promise.all([api('GET', 'api/status'), api('GET', 'api/timers')]);
  showStatus(status);
  if (Array.isArray(timers)) timers.forEach(showTimer);
  loadWeek();
}

let stream = null;

// The app shows once the stream's first timers and the week are in (or a
// second has passed): what a phone shows first does not move about then.
let revealTimer = 0;
function reveal() {
  clearTimeout(revealTimer);
  showApp();
}

function showApp() {
  $('login').hidden = true;
  $('app').hidden = false;
  $('footer').hidden = false;
  showLink();
}

function openStream() {
  if (stream) {
    stream.reopen();
    return;
  }
  stream = listen({
    state: showStatus,
    timer: showTimer,
    link: (l) => setLink(l && l.link),
    event: showEvent,
    history: () => journal.heard(),
    // The stream tells the rate as it opens and whenever it changes.
    clock_rate: (r) => { if (showRate(r)) driftSoon(); },
  }, (again) => {
    page.streaming = true;
    page.known = true;
    showLink();
    showClock();
    // The stream starts with the five timers, which bring the week along.
    if (again) {
      loadAll().catch(() => {});
      journal.reload();
    }
  }, (why) => {
    // A stream refused for good may want a password: asking shows the form.
    if (why === 'closed') api('GET', 'api/info').catch(() => {});
    page.known = true;
    reveal();
    if (!page.streaming && why !== 'silent') return;
    // The clock stops where it was when the daemon was last heard.
    if (page.streaming) page.frozenAt = Date.now();
    page.streaming = false;
    showLink();
    showClock();
  });
}

// The page's description first: without it (a password wanted, a daemon
// away) no stream is opened, so a login page asks for nothing it may not have.
async function start() {
  let info;
  try {
    info = await api('GET', 'api/info');
  } catch (e) {
    if (e.status !== 401) {
      page.known = true;
      showApp();
      showLink();
      setTimeout(start, 5000);
    }
    return;
  }
  // A daemon may say so instead of answering 401, which a browser logs as an error.
  if (info && info.auth && info.logged_in === false) {
    askPassword();
    return;
  }
  alertText('');
  page.info = info;
  setNames(info);
  fillSettings(info);
  editor.namesChanged();
  if (page.status) showStatus(page.status, true);
  $('console').hidden = !info.raw_commands;
  $('logout').hidden = !info.auth;
  $('version').textContent = info.version ? `zendrilld ${info.version}` : '';
  const ics = new URL('api/schedule.ics', location.href);
  $('calendar').href = `webcal://${ics.host}${ics.pathname}`;
  $('login').hidden = true;
  showLink();
  if ($('app').hidden) revealTimer = setTimeout(reveal, 1000);
  openStream();
  journal.reload();
  loadDrift();
  route();
}

whenUnauthorized(askPassword);
function askPassword() {
  if (!$('login').hidden) return;
  $('app').hidden = true;
  $('link').hidden = true;
  $('login').hidden = false;
  $('logout').hidden = true;
  say('');
  $('password').focus();
}

$('login').addEventListener('submit', async (e) => {
  e.preventDefault();
  const button = $('login').querySelector('button');
  const ok = await act(button, 'Anmelden …', () => api('POST', 'api/login', { password: $('password').value }), () => '', true);
  if (!ok) {
    $('password').select();
    return;
  }
  $('password').value = '';
  start();
});

$('logout').addEventListener('click', async () => {
  await act($('logout'), '', () => api('POST', 'api/logout'));
  location.reload();
});

function showStatusOf(answer) {
  if (answer && 'date' in answer) showStatus(answer);
}

$('sync').addEventListener('click', (e) => act(e.currentTarget, 'Stelle die Uhr …', () => api('POST', 'api/clock/sync'),
  (a) => `Uhr gestellt${Number.isInteger(a.drift_s) ? `; ${driftText(a.drift_s)}` : ''}`));
$('plus').addEventListener('click', (e) => act(e.currentTarget, 'Stelle die Uhr vor …', () => api('POST', 'api/clock/shift', { hours: 1 }),
  () => 'Uhr um eine Stunde vorgestellt').then(showStatusOf));
$('minus').addEventListener('click', (e) => act(e.currentTarget, 'Stelle die Uhr zurück …', () => api('POST', 'api/clock/shift', { hours: -1 }),
  () => 'Uhr um eine Stunde zurückgestellt').then(showStatusOf));
$('refresh').addEventListener('click', (e) => act(e.currentTarget, 'Lese Status und Timer …', () => api('POST', 'api/refresh'),
  () => 'Status und Timer gelesen').then(showStatusOf));

$('ir').addEventListener('change', async (e) => {
  const on = e.currentTarget.checked;
  const answer = await act(e.currentTarget, on ? 'IR-Empfänger wird eingeschaltet …' : 'IR-Empfänger wird ausgeschaltet …',
    () => api('PUT', 'api/ir', { ir: on ? 'ein' : 'aus' }),
    () => (on ? 'IR-Empfänger eingeschaltet' : 'IR-Empfänger ausgeschaltet'));
  if (answer) showStatusOf(answer);
  else if (page.status) showStatus(page.status, true);
});

$('alert-close').addEventListener('click', () => alertText(''));
$('restore').addEventListener('change', previewRestore);
$('apply').addEventListener('click', applyRestore);
$('console-form').addEventListener('submit', sendLine);

showTimers();
setInterval(showClock, 1000);
setInterval(loadWeek, 600000);
// A reading comes every quarter hour.
setInterval(() => { if (page.streaming) loadDrift(); }, 300000);
start();
