// A timer as the editor holds it, and what the page can check before the
// daemon checks again with the rule the other programs use.

// The names of days (Mo first), sources and targets as /api/info gives
// them; the page keeps no copy of its own.
export const NAMES = { days: [], sources: [], targets: [] };
export const STATION_COUNT = 30;

export function setNames(info) {
  for (const key of Object.keys(NAMES)) NAMES[key] = Array.isArray(info && info[key]) ? info[key] : [];
}

// The tuner and the CD, the first two sources, play a station or track.
export function hasStation(source) { return source === NAMES.sources[0] || source === NAMES.sources[1]; }
export function isCd(source) { return source === NAMES.sources[1]; }

// What the editor shows for an empty timer: weekdays, none chosen, the
// tuner on station 0, no target, 00:00 to 00:00.
export function blankFields() {
  return { kind: 'weekday', days: [], date: '', source: NAMES.sources[0] || '', station: '00', targets: [], start: '00:00', end: '00:00' };
}

// The editable fields of a timer object; the blank timer when it holds none.
export function fieldsOf(timer) {
  if (!timer || timer.state !== 'set') return blankFields();
  return {
    kind: timer.kind === 'date' ? 'date' : 'weekday',
    days: Array.isArray(timer.days) ? timer.days.filter((d) => NAMES.days.includes(d)) : [],
    date: timer.date || '',
    source: NAMES.sources.includes(timer.source) ? timer.source : NAMES.sources[0] || '',
    station: /^\d\d$/.test(timer.station || '') ? timer.station : '00',
    targets: Array.isArray(timer.targets) ? timer.targets.filter((t) => NAMES.targets.includes(t)) : [],
    start: timer.start || '00:00',
    end: timer.end || '00:00',
  };
}


// The body of PUT /api/timers/N.
export function requestBody(f) {
  const body = {
    kind: f.kind,
    source: f.source,
    station: hasStation(f.source) ? f.station : '00',
    targets: NAMES.targets.filter((t) => f.targets.includes(t)),
    start: f.start,
    end: f.end,
  };
  if (f.kind === 'date') body.date = f.date;
  else body.days = NAMES.days.filter((d) => f.days.includes(d));
  return body;
}

const TIME = /^([01]\d|2[0-3]):[0-5]\d$/;

function realDate(iso) {
  const m = /^(20\d\d)-(\d\d)-(\d\d)$/.exec(iso || '');
  if (!m) return false;
  const [y, mo, d] = [Number(m[1]), Number(m[2]), Number(m[3])];
  const date = new Date(Date.UTC(y, mo - 1, d));
  return date.getUTCFullYear() === y && date.getUTCMonth() === mo - 1 && date.getUTCDate() === d;
}

// What keeps the fields from being sent, each with the field it is about.
export function problems(f) {
  const out = [];
  if (f.kind === 'weekday' && f.days.length === 0) out.push({ field: 'days', text: 'Mindestens einen Wochentag wählen' });
  if (f.kind === 'date' && !realDate(f.date)) {
    out.push({ field: 'date', text: f.date ? 'Den Tag gibt es nicht (2000 bis 2099)' : 'Den Tag wählen' });
  }
  if (!TIME.test(f.start)) out.push({ field: 'start', text: 'Startzeit fehlt (HH:MM)' });
  if (!TIME.test(f.end)) out.push({ field: 'end', text: 'Endzeit fehlt (HH:MM)' });
  return out;
}

// The station list's entries as the editor shows them: "5 WDR 2" for the
// tuner, "Track 5" for the CD.
export function stationEntries(source, names) {
  const out = [];
  for (let n = 0; n < STATION_COUNT; ++n) {
    const text = isCd(source) ? `Track ${n}` : `${n} ${(names && names[n]) || ''}`.trim();
    out.push({ value: String(n).padStart(2, '0'), text });
  }
  return out;
}

// One text for an empty timer, wherever the page shows one.
export const EMPTY_TEXT = 'Timer ist leer';

// One way to write a time range.
export const range = (start, end) => `${start}–${end}`;

// The source as a person reads it: "Tuner 05 (WDR 2)", "CD Track 03", "Phono".
export function sourceText(t) {
  if (!t || !t.source) return '';
  if (isCd(t.source)) return `${t.source} Track ${t.station}`;
  if (hasStation(t.source)) return `${t.source} ${t.station}${t.station_name ? ` (${t.station_name})` : ''}`;
  return t.source;
}

export function targetsText(t) {
  const targets = Array.isArray(t && t.targets) ? t.targets : [];
  return targets.length ? `→ ${targets.join(', ')}` : '→ kein Ziel';
}

// "Mo Mi Fr" in the order of the days' names, or the date as "24.03.2026".
export function daysText(t) {
  if (t.kind === 'date') {
    const m = /^(\d{4})-(\d\d)-(\d\d)$/.exec(t.date || '');
    return m ? `${m[3]}.${m[2]}.${m[1]}` : '';
  }
  const days = Array.isArray(t.days) ? t.days : [];
  return NAMES.days.filter((d) => days.includes(d)).join(' ');
}

// A timer's line in the list.
export function timerText(t) {
  if (!t || t.state === 'unknown') return 'noch nicht gelesen';
  if (t.state === 'empty') return EMPTY_TEXT;
  if (t.state === 'failed') return 'Lesen fehlgeschlagen';
  return `${daysText(t)} ${range(t.start, t.end)} ${sourceText(t)} ${targetsText(t)}`;
}
