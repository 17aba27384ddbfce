// The device clock's drift over the last 30 days, drawn by hand: the
// readings as a line, each setting of the clock as a mark. Drawn again in
// pixels when its width changes, so the writing stays the same size.
const NS = 'http://www.w3.org/2000/svg';
const DAY = 86400;
const SPAN = 30 * DAY;
const STEPS = [1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600];

function node(name, attrs = {}, text = '') {
  const n = document.createElementNS(NS, name);
  for (const [k, v] of Object.entries(attrs)) n.setAttribute(k, String(v));
  if (text) n.textContent = text;
  return n;
}

// At most four steps between the lowest and the highest line.
function step(range) {
  for (const s of STEPS) if (range / s <= 4) return s;
  return Math.ceil(range / 4 / 3600) * 3600;
}

const secs = (v) => `${v > 0 ? '+' : v < 0 ? '−' : ''}${Math.abs(v)} s`;
const two = (v) => String(v).padStart(2, '0');

function draw(svg, data) {
  const w = Math.round(svg.getBoundingClientRect().width);
  const h = Math.round(svg.getBoundingClientRect().height);
  const parts = [];
  const now = Number(data && data.now);
  if (w < 50 || h < 50 || !Number.isFinite(now)) return;
  const from = now - SPAN;
  const readings = (Array.isArray(data.readings) ? data.readings : [])
    .filter((r) => Array.isArray(r) && Number.isFinite(r[0]) && Number.isFinite(r[1]) && r[0] >= from && r[0] <= now);
  const fixes = (Array.isArray(data.corrections) ? data.corrections : [])
    .filter((c) => c && Number.isFinite(c.at) && c.at >= from && c.at <= now);

  let lo = 0;
  let hi = 0;
  for (const v of [...readings.map((r) => r[1]), ...fixes.flatMap((c) => [c.before, c.after])]) {
    if (!Number.isFinite(v)) continue;
    lo = Math.min(lo, v);
    hi = Math.max(hi, v);
  }
  const by = step(Math.max(hi - lo, 2));
  lo = Math.floor(lo / by) * by;
  hi = Math.ceil(hi / by) * by;
  if (lo === hi) { lo -= by; hi += by; }

  const marks = [];
  for (let v = lo; v <= hi; v += by) marks.push(v);
  const left = 8 + 7 * Math.max(...marks.map((v) => secs(v).length));
  const [right, top, bottom] = [6, 8, 22];
  const x = (t) => (left + ((t - from) / SPAN) * (w - left - right)).toFixed(1);
  const y = (v) => (top + ((hi - v) / (hi - lo)) * (h - top - bottom)).toFixed(1);

  for (const v of marks) {
    parts.push(node('line', { x1: left, x2: w - right, y1: y(v), y2: y(v), class: v === 0 ? 'zero' : 'grid' }));
    parts.push(node('text', { x: left - 4, y: y(v), 'text-anchor': 'end', 'dominant-baseline': 'middle' }, secs(v)));
  }
  // A date every ten days, today's on the right.
  for (let k = 3; k >= 0; --k) {
    const t = now - k * 10 * DAY;
    const d = new Date(t * 1000);
    const anchor = k === 3 ? 'start' : k === 0 ? 'end' : 'middle';
    parts.push(node('text', { x: x(t), y: h - 6, 'text-anchor': anchor }, `${two(d.getDate())}.${two(d.getMonth() + 1)}.`));
  }
  for (const c of fixes) {
    const mark = node('g', { class: 'fix' });
    mark.append(node('title', {}, String(c.text || '')),
      node('line', { x1: x(c.at), x2: x(c.at), y1: top, y2: h - bottom }),
      node('circle', { cx: x(c.at), cy: y(Number.isFinite(c.after) ? c.after : 0), r: 3 }));
    parts.push(mark);
  }
  // A new stroke after a setting of the clock or a gap of more than three
  // hours (of older days one reading an hour is kept); a lone reading is a dot.
  let d = '';
  let prev = null;
  for (const [t, v] of readings) {
    const cut = prev === null || t - prev > 3 * 3600 || fixes.some((c) => c.at > prev && c.at <= t);
    d += `${cut ? 'M' : 'L'}${x(t)} ${y(v)}${cut ? 'h0' : ''}`;
    prev = t;
  }
  if (d) parts.push(node('path', { d, class: 'trace' }));
  else parts.push(node('text', { x: (left + w) / 2, y: h / 2, 'text-anchor': 'middle' }, 'Noch keine Messungen'));

  const title = svg.querySelector('title');
  svg.setAttribute('viewBox', `0 0 ${w} ${h}`);
  svg.replaceChildren(title, ...parts);
}

// The drawing in `svg`; show(data) with the daemon's /api/clock answer.
export function driftChart(svg) {
  let data = null;
  let width = 0;
  new ResizeObserver(() => {
    const w = Math.round(svg.getBoundingClientRect().width);
    if (w === width || !data) return;
    width = w;
    draw(svg, data);
  }).observe(svg);
  return {
    show(d) {
      data = d;
      width = Math.round(svg.getBoundingClientRect().width);
      draw(svg, data);
    },
  };
}
