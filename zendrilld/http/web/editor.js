// The timer editor: one timer's fields, checked as the user changes them.
// It takes the place of the timer list while it is open.
import { EMPTY_TEXT, NAMES, blankFields, fieldsOf, hasStation, isCd, problems, requestBody, stationEntries } from './timer.js';

const $ = (id) => document.getElementById(id);

function choice(type, name, value, id) {
  const label = document.createElement('label');
  const input = document.createElement('input');
  input.type = type;
  input.name = name;
  input.value = value;
  input.id = id;
  label.append(input, ` ${value}`);
  return label;
}

// `actions` has write(n, body), test(n), erase(n) (each a promise of the
// timer object or null) and back(n); `stationNames()` gives the 30 names.
export function createEditor(actions, stationNames) {
  const section = $('editor');
  const form = $('editor-form');
  const problemLine = $('editor-problem');
  // The choices, once /api/info has named them.
  function buildChoices() {
    const keep = (id) => [...$(id).children].filter((c) => c.tagName === 'LEGEND');
    $('days').replaceChildren(...keep('days'), ...NAMES.days.map((d) => choice('checkbox', 'day', d, `day-${d}`)));
    $('sources').replaceChildren(...keep('sources'), ...NAMES.sources.map((s) => choice('radio', 'source', s, `source-${s}`)));
    $('targets').replaceChildren(...keep('targets'), ...NAMES.targets.map((t) => choice('checkbox', 'target', t, `target-${t}`)));
  }

  let number = 0;
  let fields = blankFields();
  let edited = false;
  let stationsFor = '';
  // The record the fields started from ("" for an empty timer, null when
  // not read), sent along with a write so that a change made meanwhile on
  // another phone is not overwritten unseen.
  let base = null;
  let newer = null; // a timer object from elsewhere the open edit has not taken

  const checked = (name) => [...form.querySelectorAll(`input[name="${name}"]:checked`)].map((i) => i.value);

  function fillStations() {
    const key = fields.source + '|' + JSON.stringify(stationNames());
    if (key === stationsFor) return;
    stationsFor = key;
    const select = $('station');
    select.replaceChildren(...stationEntries(fields.source, stationNames()).map((e) => new Option(e.text, e.value)));
  }

  function show() {
    for (const r of form.querySelectorAll('input[name="kind"]')) r.checked = r.value === fields.kind;
    for (const c of form.querySelectorAll('input[name="day"]')) c.checked = fields.days.includes(c.value);
    for (const r of form.querySelectorAll('input[name="source"]')) r.checked = r.value === fields.source;
    for (const c of form.querySelectorAll('input[name="target"]')) c.checked = fields.targets.includes(c.value);
    $('date').value = fields.date || '';
    $('start').value = fields.start;
    $('end').value = fields.end;
    showParts();
    check();
  }

  // Weekdays or the date; the station list only for the tuner and the CD.
  function showParts() {
    $('days').hidden = fields.kind !== 'weekday';
    $('date-field').hidden = fields.kind !== 'date';
    const station = hasStation(fields.source);
    $('station-field').hidden = !station;
    if (station) {
      fillStations();
      $('station-label').textContent = isCd(fields.source) ? 'CD-Track' : 'Station';
      $('station').value = fields.station;
      if ($('station').selectedIndex < 0) $('station').selectedIndex = 0;
    }
  }

  function read() {
    const kind = checked('kind')[0] || 'weekday';
    const source = checked('source')[0] || NAMES.sources[0] || '';
    let station = fields.station;
    if (source !== fields.source) station = '00';
    else if (hasStation(source)) station = $('station').value || '00';
    fields = {
      kind,
      days: checked('day'),
      date: $('date').value,
      source,
      station: hasStation(source) ? station : '00',
      targets: checked('target'),
      start: $('start').value,
      end: $('end').value,
    };
  }

  // Shows what keeps the timer from being sent, as the user types.
  function check() {
    const found = problems(fields);
    problemLine.textContent = found.map((p) => p.text).join('; ');
    const bad = new Set(found.map((p) => p.field));
    for (const id of ['date', 'start', 'end']) $(id).setAttribute('aria-invalid', String(bad.has(id)));
    $('days').setAttribute('aria-invalid', String(bad.has('days')));
    return found;
  }

  form.addEventListener('change', (e) => {
    edited = true;
    read();
    if (e.target.name === 'kind' || e.target.name === 'source') showParts();
    check();
  });
  form.addEventListener('input', () => {
    edited = true;
    read();
    check();
  });

  function showEmpty(timer) {
    const empty = !!timer && timer.state === 'empty';
    $('empty-note').textContent = empty ? EMPTY_TEXT : !timer || timer.state === 'unknown' ? 'Timer noch nicht gelesen'
      : timer.state === 'failed' ? 'Lesen fehlgeschlagen' : '';
    $('erase').hidden = empty;
    $('test').hidden = empty;
  }

  const recordOf = (timer) => (!timer ? null : timer.state === 'set' ? timer.record || '' : timer.state === 'empty' ? '' : null);

  function showConflict() {
    $('conflict').hidden = !newer;
    $('conflict-text').textContent = newer ? `Timer ${number} wurde anderswo geändert` : '';
  }

  // A timer object from the daemon: shown whole unless the user has unsent
  // changes; those stay, and the page says the timer changed meanwhile.
  function load(timer, force) {
    const record = recordOf(timer);
    if (force || !edited) {
      showEmpty(timer);
      fields = fieldsOf(timer);
      base = record;
      edited = false;
      newer = null;
      show();
    } else if (record !== base && record !== null) {
      newer = timer;
    }
    showConflict();
  }
  $('reload').addEventListener('click', () => {
    if (newer) load(newer, true);
    $('h-editor').focus();
  });

  // One request at a time. The buttons stay focusable (a disabled button
  // would drop the keyboard's focus); they only say they are busy.
  let working = false;
  let held = null; // the latest timer object that came while a request ran
  const actionButtons = [$('write'), $('test'), $('erase')];
  async function busy(button, work) {
    working = true;
    held = null;
    for (const b of actionButtons) b.setAttribute('aria-disabled', 'true');
    try {
      return await work();
    } finally {
      working = false;
      // Own writes come back as events before their answer: only what came
      // besides them counts, once the answer has been taken.
      if (held) update(held);
      held = null;
      for (const b of actionButtons) b.removeAttribute('aria-disabled');
      if (number && (document.activeElement === document.body || button.hidden)) $('write').focus();
    }
  }

  form.addEventListener('submit', async (e) => {
    e.preventDefault();
    if (working) return;
    read();
    const found = check();
    if (found.length) {
      actions.refuse(found.map((p) => p.text).join('; '));
      const first = found[0].field === 'days' ? form.querySelector('input[name="day"]') : $(found[0].field);
      first.focus();
      return;
    }
    const n = number;
    const body = requestBody(fields);
    if (base !== null) body.expect = base;
    const timer = await busy($('write'), async () => {
      const t = await actions.write(n, body);
      if (t && n === number) load(t, true);
      return t;
    });
    return timer;
  });
  $('test').addEventListener('click', async () => {
    if (working || !confirm(`Timer ${number} wirklich testen?`)) return;
    const n = number;
    await busy($('test'), () => actions.test(n));
  });
  $('erase').addEventListener('click', async () => {
    if (working || !confirm(`Timer ${number} wirklich löschen?`)) return;
    const n = number;
    await busy($('erase'), async () => {
      const t = await actions.erase(n);
      if (t && n === number) load(t, true);
      return t;
    });
  });
  // Closing goes through the page's history (Back does the same).
  $('back').addEventListener('click', () => actions.back(number));
  document.addEventListener('keydown', (e) => {
    if (e.key === 'Escape' && !e.defaultPrevented && number) actions.back(number);
  });

  function update(timer) {
    if (!number || !timer || timer.timer !== number) return;
    if (working) held = timer;
    else load(timer, false);
  }

  return {
    get number() { return number; },
    open(n, timer) {
      number = n;
      edited = false;
      $('h-editor').textContent = `Timer ${n} bearbeiten`;
      load(timer, true);
      section.hidden = false;
      $('h-editor').focus();
    },
    close() {
      number = 0;
      newer = null;
      section.hidden = true;
    },
    // A timer object that came in while the editor is open.
    update,
    // Why nothing can be sent now ("" when it can).
    blocked(why, known = true) {
      $('why-editor').hidden = !why || !known;
      $('why-editor').textContent = why;
      for (const b of actionButtons) b.disabled = !!why;
    },
    // New names from /api/info: the choices and the station list again.
    namesChanged() {
      buildChoices();
      stationsFor = '';
      if (number) show();
    },
  };
}
