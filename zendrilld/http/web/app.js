// zendrilld's page: the B203's status, settings, clock and five timers,
// kept current by the daemon's event stream.
import { api, listen, whenUnauthorized } from './api.js';
import { createEditor } from './editor.js';
import { NAMES, setNames } from './timer.js';

const $ = (id) => document.getElementById(id);

const LINK_TEXTS = { online: 'verbunden', offline: 'nicht verbunden', lent: 'an zendrill-cli verliehen' };
// A day's short name by Date.getDay() (Sunday 0); the names come Mo first.
const weekday = (jsDay) => NAMES.days[(jsDay + 6) % 7] || '';
// The settings' keys in their order, as /api/info names them.
const settingKeys = () => Object.keys((page.info && page.info.settings) || {});

const page = {
  info: null,
  status: null,
  statusAt: 0, // performance.now() when the status came
  link: 'offline',
  streaming: false,
  timers: [null, null, null, null, null],
};

// ----- Messages: errors in an alert, everything else in a polite region.

function alertText(text) {
  const alert = $('alert');
  alert.hidden = !text;
  alert.textContent = text || '';
}

function say(text) { $('message').textContent = text || ''; }

// Runs one request for the user: the control is disabled meanwhile, the
// progress and then the daemon's answer (or its error) are shown. A 401
// brings up the login form instead, except on the login itself.
async function act(control, progress, request, login = false) {
  // A control stays focusable while its request runs; it only says it is busy.
  if (control && control.getAttribute('aria-disabled') === 'true') return null;
  alertText('');
  say(progress);
  if (control) control.setAttribute('aria-disabled', 'true');
  try {
    const answer = await request();
    say(answer && answer.message ? answer.message : '');
    return answer || {};
  } catch (e) {
    say('');
    if (e.status !== 401 || login) alertText(e.message);
    return null;
  } finally {
    if (control) control.removeAttribute('aria-disabled');
  }
}

// ----- Status

function signed(s) { return `${s > 0 ? '+' : ''}${s} s`; }

function showLink(link) {
  page.link = LINK_TEXTS[link] ? link : 'offline';
  const shown = page.streaming ? page.link : 'offline';
  const el = $('link');
  el.textContent = LINK_TEXTS[shown];
  el.setAttribute('aria-label', LINK_TEXTS[shown]);
  el.className = `link ${shown}`;
}

// The device's clock as last read, running on while the link stands.
function showClock() {
  const s = page.status;
  const m = s && /^(\d{4})-(\d\d)-(\d\d)$/.exec(s.date || '');
  const t = s && /^(\d\d):(\d\d):(\d\d)$/.exec(s.time || '');
  if (!m || !t) {
    $('clock').textContent = 'Noch kein Gerätestatus gelesen';
    return;
  }
  let ms = Date.UTC(+m[1], +m[2] - 1, +m[3], +t[1], +t[2], +t[3]);
  if (page.link === 'online' && page.streaming) ms += Math.floor((performance.now() - page.statusAt) / 1000) * 1000;
  const d = new Date(ms);
  const two = (v) => String(v).padStart(2, '0');
  $('clock').textContent = `${weekday(d.getUTCDay())}, ${two(d.getUTCDate())}.${two(d.getUTCMonth() + 1)}.${d.getUTCFullYear()} ` +
    `${two(d.getUTCHours())}:${two(d.getUTCMinutes())}:${two(d.getUTCSeconds())}`;
}

// A status object from the daemon; `again` shows the one already held.
function showStatus(s, again = false) {
  if (!s || typeof s !== 'object') return;
  if (!again) {
    page.status = s;
    page.statusAt = performance.now();
  }
  if (s.link) showLink(s.link);
  showClock();
  $('drift').textContent = Number.isInteger(s.drift_s) ? `Abweichung: ${signed(s.drift_s)}` : '';
  $('read-at').textContent = typeof s.read_at === 'string' && s.read_at.length >= 19 ? `gelesen um ${s.read_at.slice(11, 19)}` : '';
  for (const key of settingKeys()) {
    const select = $(key);
    if (!select || select.dataset.sending) continue;
    select.value = s[key] || '';
    if (select.value !== s[key]) select.selectedIndex = -1;
  }
  $('ir').checked = s.ir === 'ein';
}

// A label and a list for each setting, with the names /api/info gives.
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
    select.replaceChildren(...names.map((n) => new Option(n, n)));
    select.addEventListener('change', () => sendSetting(key, select));
    parts.push(label, select);
  }
  $('settings').replaceChildren(...parts);
}

async function sendSetting(key, select) {
  select.dataset.sending = '1';
  const answer = await act(null, 'Einstellung wird gesendet...', () => api('PUT', 'api/settings', { [key]: select.value }));
  delete select.dataset.sending;
  if (answer) showStatusOf(answer);
  else if (page.status) showStatus(page.status, true);
}

// ----- Timers

function timerLine(t) {
  if (!t || t.state === 'unknown') return 'noch nicht gelesen';
  return t.summary || '';
}

function showTimers() {
  const list = $('timer-list');
  if (!list.children.length) {
    list.replaceChildren(...[1, 2, 3, 4, 5].map((n) => {
      const li = document.createElement('li');
      const b = document.createElement('button');
      b.type = 'button';
      b.id = `timer-${n}`;
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
    const b = $(`timer-${i + 1}`);
    b.querySelector('.summary').textContent = timerLine(t);
    b.dataset.state = t ? t.state : 'unknown';
  });
}

function showTimer(t) {
  if (!t || !Number.isInteger(t.timer) || t.timer < 1 || t.timer > 5) return;
  page.timers[t.timer - 1] = t;
  showTimers();
  editor.update(t);
  weekSoon();
}

const editor = createEditor({
  refuse: (text) => { alertText(text); say(''); },
  write: async (n, body) => {
    const t = await act(null, 'Sende Daten an B203...', () => api('PUT', `api/timers/${n}`, body));
    if (t && t.timer) showTimer(t);
    return t && t.timer ? t : null;
  },
  test: (n) => act(null, `Timer ${n} wird getestet...`, () => api('POST', `api/timers/${n}/test`)),
  erase: async (n) => {
    const t = await act(null, 'Lösche Timer auf B203...', () => api('DELETE', `api/timers/${n}`));
    if (t && t.timer) showTimer(t);
    return t && t.timer ? t : null;
  },
  back: (n) => {
    $('app').classList.remove('editing');
    if (n) $(`timer-${n}`).focus();
  },
}, () => (page.info && page.info.stations) || []);

function openEditor(n) {
  alertText('');
  say('');
  $('app').classList.add('editing');
  editor.open(n, page.timers[n - 1]);
}

// ----- The next days

let weekTimer = 0;
function weekSoon() {
  clearTimeout(weekTimer);
  weekTimer = setTimeout(loadWeek, 300);
}

async function loadWeek() {
  let answer;
  try {
    answer = await api('GET', 'api/schedule?days=7');
  } catch {
    return;
  }
  const entries = (answer && Array.isArray(answer.entries)) ? answer.entries : [];
  const items = entries.map((e) => {
    const li = document.createElement('li');
    const when = document.createElement('span');
    when.className = 'when';
    const start = String(e.start || '');
    const end = String(e.end || '');
    const day = new Date(`${start.slice(0, 10)}T12:00`);
    when.textContent = `${weekday(day.getDay())} ${start.slice(8, 10)}.${start.slice(5, 7)}. ${start.slice(11, 16)}–${end.slice(11, 16)}`;
    li.append(when, ` Timer ${e.timer}`);
    return li;
  });
  if (!items.length) {
    const li = document.createElement('li');
    li.textContent = 'Keine Schaltzeiten';
    items.push(li);
  }
  $('week').replaceChildren(...items);
}

// ----- Events

const EVENT_TEXTS = {
  link_lost: () => 'Verbindung zum B203 verloren',
  link_back: () => 'Verbindung zum B203 wieder da',
  clock_synced: (e) => 'Uhr gestellt' + (Number.isInteger(e.after_s) ? `, danach ${signed(e.after_s)}` : ''),
  settings_sent: (e) => `Einstellung gesendet (0S${e.settings || ''})`,
  ir_switched: (e) => (e.ir === 'ein' ? 'IR ein gesendet (0R0)' : 'IR aus gesendet (0R1)'),
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
  const answer = await act($('restore'), 'Prüfe die Sicherung...', () => api('POST', 'api/backup?dry_run=1', bytes, true));
  if (!answer) return;
  showLines(answer.lines, true);
  restoreBytes = bytes;
  $('apply').hidden = false;
  $('preview').hidden = false;
  say(`${(answer.lines || []).length} Befehle würden gesendet`);
}

function showLines(lines, dry) {
  $('preview-lines').replaceChildren(...(Array.isArray(lines) ? lines : []).map((l) => {
    const li = document.createElement('li');
    li.textContent = dry || l.result == null ? String(l.command) : `${l.command}: ${l.result}`;
    if (!dry && l.ok === false) li.className = 'failed';
    return li;
  }));
}

async function applyRestore() {
  if (!restoreBytes) return;
  const answer = await act($('apply'), 'Spiele die Sicherung ein...', () => api('POST', 'api/backup', restoreBytes, true));
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
  const answer = await act($('console-form').querySelector('button'), 'Sende...', () => api('POST', 'api/send', { line }));
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

function showApp() {
  $('login').hidden = true;
  $('app').hidden = false;
}

// The stream and the page's description are asked for at once: the stream
// starts with the status and the timers, which are shown as they come.
async function start() {
  if (stream) stream.reopen();
  else {
    stream = listen({
      state: showStatus,
      timer: showTimer,
      link: (l) => { showLink(l && l.link); showClock(); },
      event: showEvent,
    }, (again) => {
      page.streaming = true;
      showApp();
      showLink(page.link);
      // The stream starts with the five timers, which bring the week along.
      if (again) {
        say('Verbindung zu zendrilld wieder da');
        loadAll().catch(() => {});
      }
    }, (closed) => {
      // A stream refused for good may want a password: asking shows the form.
      if (closed) api('GET', 'api/info').catch(() => {});
      if (!page.streaming) return;
      page.streaming = false;
      showLink(page.link);
      say('Verbindung zu zendrilld unterbrochen; neuer Versuch...');
    });
  }
  let info;
  try {
    info = await api('GET', 'api/info');
  } catch (e) {
    if (e.status !== 401) {
      alertText(e.message);
      setTimeout(start, 5000);
    }
    return;
  }
  alertText('');
  page.info = info;
  setNames(info);
  fillSettings(info);
  if (page.status) showStatus(page.status, true);
  editor.namesChanged();
  $('console').hidden = !info.raw_commands;
  $('logout').hidden = !info.auth;
  $('version').textContent = info.version ? `zendrilld ${info.version}` : '';
  showApp();
}

whenUnauthorized(() => {
  if (!$('login').hidden) return;
  $('app').hidden = true;
  $('login').hidden = false;
  $('logout').hidden = true;
  say('');
  $('password').focus();
});

$('login').addEventListener('submit', async (e) => {
  e.preventDefault();
  const button = $('login').querySelector('button');
  const ok = await act(button, 'Anmelden...', () => api('POST', 'api/login', { password: $('password').value }), true);
  if (!ok) {
    $('password').select();
    return;
  }
  $('password').value = '';
  say('');
  start();
});

$('logout').addEventListener('click', async () => {
  await act($('logout'), '', () => api('POST', 'api/logout'));
  location.reload();
});

$('sync').addEventListener('click', (e) => act(e.currentTarget, 'Stelle die Uhr...', () => api('POST', 'api/clock/sync')));
$('plus').addEventListener('click', (e) => act(e.currentTarget, 'Abfrage Timerstatus...', () => api('POST', 'api/clock/shift', { hours: 1 })).then(showStatusOf));
$('minus').addEventListener('click', (e) => act(e.currentTarget, 'Abfrage Timerstatus...', () => api('POST', 'api/clock/shift', { hours: -1 })).then(showStatusOf));
$('refresh').addEventListener('click', (e) => act(e.currentTarget, 'Lese Status und Timer...', () => api('POST', 'api/refresh')).then(showStatusOf));

function showStatusOf(answer) {
  if (answer && 'date' in answer) showStatus(answer);
}

$('ir').addEventListener('change', async (e) => {
  const on = e.currentTarget.checked;
  const answer = await act(e.currentTarget, on ? 'IR einschalten...' : 'IR ausschalten...', () => api('PUT', 'api/ir', { ir: on ? 'ein' : 'aus' }));
  if (answer) showStatusOf(answer);
  else if (page.status) showStatus(page.status, true);
});

$('restore').addEventListener('change', previewRestore);
$('apply').addEventListener('click', applyRestore);
$('console-form').addEventListener('submit', sendLine);

showTimers();
setInterval(showClock, 1000);
setInterval(loadWeek, 600000);
start();
