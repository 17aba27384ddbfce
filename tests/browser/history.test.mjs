// The journal on a phone: a change over MQTT and one from the page's
// editor in words with their doors, as they happen; one taken back (the
// earlier record at the device, a new entry saying so), and refused once
// the device holds something else; older pages on request, no entry twice;
// the clock's drift drawn with its setting marked; undo locked without the
// device. A daemon without a journal says why in place of the list.
import assert from 'node:assert/strict';
import { journey, mqttPublish, received, until, waitReceived } from './harness.mjs';

const TIMER = 'W01010100050010063000071500'; // Mo Mi Fr 06:30-07:15, tuner 05, LS-A
const TIMER2 = 'W01010100050010064500073000'; // 06:45-07:30
const TIMER3 = 'W01010100050010063000074500'; // 06:30-07:45
const DRAWING = 'Abweichung der Geräteuhr in den letzten 30 Tagen';

journey('Verlauf: changes in words, one taken back; the drift drawn', {
  sim: ['--timer', `2=${TIMER}`, '--timer', `3=${TIMER}`],
  viewport: { width: 360, height: 740 },
  config: { raw_commands: 'on' },
}, async (s) => {
  const { page } = s;
  const history = async () => (await page.request.get(`${s.url}api/history?limit=200`)).json();
  await page.goto(s.url);
  await page.getByRole('status', { name: 'verbunden', exact: true }).waitFor();
  const section = page.getByRole('region', { name: 'Verlauf' });
  const items = section.getByRole('listitem');
  await items.filter({ hasText: /^\d\d\.\d\d\. \d\d:\d\d zendrilld \S+ gestartet$/ }).waitFor();

  // The rate in the daemon's words under a drawing of the drift.
  const clock = await (await page.request.get(`${s.url}api/clock`)).json();
  await until(async () => (await page.locator('#rate').textContent()) === clock.rate.text, 'the rate shown');
  assert.match(clock.rate.text, /^Für die Gangabweichung der Geräteuhr fehlen noch Messungen/);
  const drawing = page.getByRole('img', { name: DRAWING });
  await drawing.locator('path.trace').waitFor({ state: 'attached' });
  assert.equal(await drawing.locator('g.fix').count(), 0);

  // Timer 2 over MQTT: the entry comes by itself.
  let from = received(s).length;
  assert.equal((await mqttPublish(s, 'set/timer/2', TIMER2)).code, 0);
  await waitReceived(s, `0E02${TIMER2}`, from);
  await items.filter({ hasText: 'Timer 2: Mo Mi Fr 06:30–07:15 → Mo Mi Fr 06:45–07:30 (Home Assistant)' }).waitFor();

  // Timer 3 in the page's editor.
  await page.getByRole('button', { name: 'Timer 3' }).click();
  const editor = page.getByRole('region', { name: 'Timer 3 bearbeiten' });
  await editor.getByLabel('Ende').fill('07:45');
  from = received(s).length;
  await editor.getByRole('button', { name: 'an B203 senden' }).click();
  await waitReceived(s, `0E03${TIMER3}`, from);
  await editor.getByRole('button', { name: 'Zurück' }).click();
  const written = items.filter({ hasText: 'Timer 3: Mo Mi Fr 06:30–07:15 → Mo Mi Fr 06:30–07:45 (Web)' });
  await written.waitFor();
  const id = (await history()).entries.find((e) => e.timer === 3 && e.kind === 'timer').id;

  // Taken back: the earlier record written again, and only that.
  const undo = written.getByRole('button', { name: 'Rückgängig' });
  const box = await undo.boundingBox();
  assert.ok(box.width >= 44 && box.height >= 44, `a thumb's button (${box.width}x${box.height})`);
  from = received(s).length;
  await undo.click();
  await page.locator('#message').filter({ hasText: `Eintrag ${id} rückgängig gemacht` }).waitFor();
  assert.deepEqual(received(s).slice(from).filter((l) => l.startsWith('0E')), [`0E03${TIMER}`]);
  assert.equal(await page.locator('#card-3 .summary').textContent(), 'Mo Mi Fr 06:30–07:15 Tuner 05 (WDR 2) → LS-A');
  await items.first().filter({
    hasText: `Timer 3: Mo Mi Fr 06:30–07:45 → Mo Mi Fr 06:30–07:15 (Web, rückgängig gemacht: Eintrag ${id})`,
  }).waitFor();

  // The device no longer holds what the entry made: it offers no undo now,
  // the undo's own entry does.
  await written.getByRole('button', { name: 'Rückgängig' }).waitFor({ state: 'detached' });
  await items.first().getByRole('button', { name: 'Rückgängig' }).waitFor();

  // The clock set from the page: an entry, and a mark in the drawing.
  await page.getByRole('button', { name: 'Uhr stellen' }).click();
  await items.first().filter({ hasText: /Uhr gestellt: .* \(Web\)$/ }).waitFor();
  await drawing.locator('g.fix title').filter({ hasText: /^Uhr gestellt: .* \(Web\)$/ }).waitFor({ state: 'attached' });

  // More entries than a page: status lines asked for by hand.
  for (let i = 0; i < 16; ++i) {
    assert.equal((await page.request.post(`${s.url}api/send`, { data: { line: '0X' } })).status(), 200);
  }
  const all = (await history()).entries.map((e) => e.text);
  assert.ok(all.length > 20, `${all.length} entries`);
  const texts = () => section.locator('.what').allTextContents();
  await until(async () => (await texts())[0] === all[0], 'the newest entry shown');
  assert.deepEqual(await texts(), all, 'each new entry once, joined to those shown');
  // Opened afresh: a page of 20, the rest on request.
  await page.reload();
  await until(async () => (await texts()).length === 20, 'the first page');
  assert.deepEqual(await texts(), all.slice(0, 20));
  await section.getByRole('button', { name: 'Mehr laden' }).click();
  await until(async () => (await texts()).length === all.length, 'the older entries');
  assert.deepEqual(await texts(), all);
  assert.ok(await section.getByRole('button', { name: 'Mehr laden' }).isHidden());
  assert.ok(await page.evaluate(() => document.documentElement.scrollWidth <= 360), 'no horizontal scrolling at 360 px');

  // Without the device, taking back is locked, saying why.
  await s.sim.stop();
  // The daemon learns it at the next exchange (the page's button may be locked already).
  await page.request.post(`${s.url}api/refresh`);
  await section.getByText('Gesperrt: der B203 antwortet nicht').waitFor({ timeout: 60000 });
  for (const b of await section.getByRole('button', { name: 'Rückgängig' }).all()) assert.ok(await b.isDisabled());
  const still = section.getByRole('button', { name: 'Rückgängig' }).first();
  assert.match(await still.getAttribute('aria-describedby'), /^entry-\d+ why-history$/);
});

journey('Verlauf without a journal', { config: { journal_file: '' } }, async (s) => {
  const { page } = s;
  await page.goto(s.url);
  const section = page.getByRole('region', { name: 'Verlauf' });
  await section.getByText('Verlauf nicht verfügbar: journal_file ist leer', { exact: true }).waitFor();
  assert.ok(await section.getByRole('list').isHidden());
  await page.locator('#clock-problem').filter({ hasText: 'Verlauf nicht verfügbar: journal_file ist leer' }).waitFor();
});
