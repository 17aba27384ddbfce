// The first screen on a small phone (375 x 667): nothing unread shown as
// real, the next switching first, every control big enough for a thumb,
// answers in the viewport wherever the page is scrolled to, the editor as
// a history entry, words instead of command lines, the manifest, the
// calendar link, and a console without errors.
import assert from 'node:assert/strict';
import { journey, received, until, waitReceived } from './harness.mjs';

const TIMER2 = 'W01010100050010063000071500'; // Mo Mi Fr 06:30-07:15, tuner 05, LS-A
const TIMER3 = 'D2403260121000200000213000'; // 24.03.26 20:00-21:30, tuner 12, Tape1

// The device's clock 2 days, 1 hour, 2 minutes and 30 seconds behind the host's.
const behind = new Date(Date.now() - ((2 * 24 + 1) * 3600 + 2 * 60 + 30) * 1000);
const two = (v) => String(v).padStart(2, '0');
const simDate = `${two(behind.getDate())}${two(behind.getMonth() + 1)}${two(behind.getFullYear() % 100)}`;
const simTime = `${two(behind.getHours())}${two(behind.getMinutes())}${two(behind.getSeconds())}`;

// Every visible control's box (a checkbox's or radio's label) under 44 x 44 px.
function smallControls(page) {
  return page.evaluate(() => {
    const small = [];
    for (const el of document.querySelectorAll('button, select, input, a[href], summary')) {
      const target = el.type === 'checkbox' || el.type === 'radio' ? el.closest('label') : el;
      const r = target.getBoundingClientRect();
      if (!r.width || !r.height || getComputedStyle(target).visibility === 'hidden') continue;
      if (r.width < 44 || r.height < 44) small.push(`${el.id || el.name || el.textContent.trim()} ${r.width}x${r.height}`);
    }
    return small;
  });
}

// The box of what `locator` finds lies wholly in the viewport.
async function inViewport(page, locator, what) {
  const box = await locator.boundingBox();
  const { height, width } = page.viewportSize();
  assert.ok(box && box.y >= 0 && box.y + box.height <= height && box.x >= 0 && box.x + box.width <= width,
    `${what} in the viewport (${JSON.stringify(box)})`);
}

journey('a phone: the first screen, the editor by address and Back, answers in view', {
  sim: ['--timer', `2=${TIMER2}`, '--timer', `3=${TIMER3}`, '--date', simDate, '--time', simTime],
  config: { clock_sync: 'off' }, // the drift stays to be shown
  viewport: { width: 375, height: 667 },
}, async (s) => {
  const { page } = s;
  const status = page.locator('#message');
  const alert = page.getByRole('alert');

  // The stream held back: the page has its names but has read nothing yet.
  let release;
  const held = new Promise((r) => { release = r; });
  await page.route('**/api/events', async (route) => { await held; await route.continue(); });
  await page.goto(s.url);
  await page.getByRole('heading', { name: 'Gerät' }).waitFor();
  const device = page.locator('#device');
  assert.equal(await page.locator('#clock').textContent(), 'noch nicht gelesen');
  assert.equal(await page.locator('#drift').textContent(), 'Abweichung: –');
  assert.equal(await page.locator('#ir-state').textContent(), 'noch nicht gelesen');
  assert.equal(await page.evaluate(() => getComputedStyle(document.getElementById('ir')).visibility), 'hidden');
  assert.equal(await page.locator('#language option:checked').textContent(), '–');
  assert.equal(await page.locator('#card-2 .summary').textContent(), 'noch nicht gelesen');
  assert.equal(await page.locator('#week').textContent(), 'Timer noch nicht gelesen');
  assert.equal(await page.locator('#next-line').textContent(), 'Als Nächstes: Timer noch nicht gelesen');
  await page.getByText('Sicherung erst möglich, wenn alle Timer gelesen sind').waitFor();
  assert.ok(await page.getByRole('link', { name: 'Sicherung herunterladen' }).isHidden());
  const before = await device.boundingBox();
  const syncBefore = await page.locator('#sync').boundingBox();

  release();
  await page.getByRole('status', { name: 'verbunden', exact: true }).waitFor();
  await until(async () => /\d\d:\d\d:\d\d$/.test(await page.locator('#clock').textContent()), 'the clock read');
  // The late status moved nothing in its card.
  const after = await device.boundingBox();
  const syncAfter = await page.locator('#sync').boundingBox();
  assert.equal(after.height, before.height, 'the device card keeps its height');
  assert.equal(syncAfter.y - after.y, syncBefore.y - before.y, 'the buttons keep their place');
  assert.equal(await page.locator('#drift').textContent(), 'Abweichung: 2 Tage 1 Std. 2 Min. nach');
  assert.equal(await page.locator('#ir-state').textContent(), 'ein');

  // What switches next, first; then the timers and the week; then the device, its settings folded.
  const next = page.locator('#next-line');
  await until(async () => /^Als Nächstes: (Mo|Mi|Fr) \d\d\.\d\d\. 06:30–07:15 Tuner 05 \(WDR 2\) → LS-A$/
    .test(await next.textContent()), 'the next switching');
  const top = async (sel) => (await page.locator(sel).boundingBox()).y;
  assert.ok(await top('#next') < await top('#timers'));
  assert.ok(await top('#timers') < await top('#week-card'));
  assert.ok(await top('#week-card') < await top('#device'));
  assert.equal(await page.locator('#settings-fold').getAttribute('open'), null);
  await page.getByRole('link', { name: 'Sicherung herunterladen' }).waitFor();

  // One way to write a range, days in their order, one text for an empty timer.
  await page.getByRole('button', { name: 'Timer 3' }).filter({ hasText: '24.03.2026 20:00–21:30 Tuner 12 (Südwest 3) → Tape1' }).waitFor();
  assert.equal(await page.locator('#card-1 .summary').textContent(), 'Timer ist leer');
  const week = await page.locator('#week li').allTextContents();
  assert.ok(week.length >= 3 && week.every((l) => /^(Mo|Mi|Fr) \d\d\.\d\d\. 06:30–07:15 Timer 2: Tuner 05 \(WDR 2\) → LS-A$/.test(l)), week.join('\n'));
  assert.ok(!(await page.locator('body').textContent()).match(/\d\d:\d\d - \d\d:\d\d/), 'no other way of writing a range');

  // The home screen: manifest, icon, theme colour; the calendar to subscribe to.
  assert.equal(await page.locator('meta[name=theme-color]').getAttribute('content'), '#1d4d2b');
  const manifest = await page.request.get(new URL(await page.locator('link[rel=manifest]').getAttribute('href'), s.url).href);
  assert.match(manifest.headers()['content-type'], /^application\/manifest\+json/);
  const icons = (await manifest.json()).icons;
  for (const icon of icons) assert.equal((await page.request.get(new URL(icon.src, s.url).href)).status(), 200, icon.src);
  const port = new URL(s.url).port;
  assert.equal(await page.getByRole('link', { name: 'Kalender abonnieren' }).getAttribute('href'), `webcal://127.0.0.1:${port}/api/schedule.ics`);
  assert.match((await page.request.get(`${s.url}api/schedule.ics`)).headers()['content-type'], /^text\/calendar/);

  // Thumbs: the first screen with the settings open, then the editor.
  await page.getByText('Einstellungen', { exact: true }).click();
  assert.deepEqual(await smallControls(page), []);
  assert.ok(await page.evaluate(() => document.documentElement.scrollWidth <= innerWidth), 'no horizontal scrolling at 375 px');

  // The clock an hour on, from the bottom of the device card: the answer in words, in view.
  await page.getByRole('button', { name: 'Uhr +1 h' }).scrollIntoViewIfNeeded();
  await page.getByRole('button', { name: 'Uhr +1 h' }).click();
  await status.filter({ hasText: 'Uhr um eine Stunde vorgestellt' }).waitFor();
  await inViewport(page, status, 'the answer to the clock shift');
  await until(async () => (await page.locator('#drift').textContent()) === 'Abweichung: 2 Tage 2 Min. nach', 'the drift an hour less');

  // The editor is an address: opened by a tap, closed by Back, opened from the address.
  await page.getByRole('button', { name: 'Timer 2' }).click();
  const editor = page.getByRole('region', { name: 'Timer 2 bearbeiten' });
  await editor.waitFor();
  assert.equal(new URL(page.url()).hash, '#timer-2');
  assert.deepEqual(await editor.getByRole('group', { name: 'Tag(e)', exact: true }).getByRole('checkbox').evaluateAll(
    (boxes) => boxes.map((b) => b.value)), ['Mo', 'Di', 'Mi', 'Do', 'Fr', 'Sa', 'So']);
  assert.deepEqual(await smallControls(page), []);
  await page.goBack();
  await editor.waitFor({ state: 'hidden' });
  assert.equal(new URL(page.url()).hash, '');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'card-2');

  await page.goto(`${s.url}#timer-2`);
  await editor.waitFor();
  await until(async () => (await editor.getByLabel('Ende').inputValue()) === '07:15', 'timer 2 in the editor');

  // Scrolled down to the editor's buttons: the progress and the answer show in view.
  await editor.getByLabel('Ende').fill('07:20');
  const from = received(s).length;
  await editor.getByRole('button', { name: 'an B203 senden' }).scrollIntoViewIfNeeded();
  await editor.getByRole('button', { name: 'an B203 senden' }).click();
  await waitReceived(s, '0E02W01010100050010063000072000', from);
  await status.filter({ hasText: 'Timer 2 geschrieben' }).waitFor();
  await inViewport(page, status, 'the answer to the write');
  await editor.getByRole('button', { name: 'Zurück' }).click();
  await editor.waitFor({ state: 'hidden' });
  assert.equal(new URL(page.url()).hash, '');

  assert.deepEqual(s.consoleErrors, [], "errors in the page's console");

  // The backup at the bottom: a bad file's error and a good file's preview in view, in words.
  const restore = page.getByLabel('Sicherung einspielen');
  await restore.scrollIntoViewIfNeeded();
  await restore.setInputFiles({ name: 'kaputt.ini', mimeType: 'text/plain', buffer: Buffer.from('Timer2 = W0101010005001006300007150X\r\n') });
  await alert.filter({ hasText: 'Timer2' }).waitFor();
  await inViewport(page, alert, 'the error of a bad file');
  await page.getByRole('button', { name: 'Schließen' }).click();
  const backup = (await page.request.get(`${s.url}api/backup`)).body();
  await restore.setInputFiles({ name: 'b203.ini', mimeType: 'text/plain', buffer: await backup });
  await status.filter({ hasText: 'Schritte würden gesendet; nichts ist gesendet' }).waitFor();
  await inViewport(page, status, 'the preview counted');
  const lines = await page.locator('#preview-lines li').evaluateAll((items) => items.map((li) => [li.firstChild.textContent, li.querySelector('.cmd').textContent]));
  assert.ok(lines.some(([words, cmd]) => words === 'Timer 1 löschen' && cmd === '0E01E'), JSON.stringify(lines));
  assert.ok(lines.every(([words, cmd]) => !/^0[A-Z]/.test(words) && /^0[A-Z]/.test(cmd)), JSON.stringify(lines));
});
