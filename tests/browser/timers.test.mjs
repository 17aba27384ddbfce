// A timer on a phone: opened by keyboard, checked as it is edited, written
// (the exact bytes at the device), tested and erased; the backup downloaded
// as zendrill-cli exports it, a bad file refused and a good one put back.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { cli, journey, received, screenshot, until, waitReceived } from './harness.mjs';

const TIMER3 = 'D2403260121000200000213000'; // 24.03.26 20:00-21:30, tuner 12, Tape1

journey('timer 3 edited, written, tested and erased; backup and restore', { sim: ['--timer', `3=${TIMER3}`] }, async (s) => {
  const { page } = s;
  const alert = page.getByRole('alert');
  await page.goto(s.url);
  const card = page.getByRole('button', { name: 'Timer 3' });
  await card.filter({ hasText: '24.03.2026 20:00–21:30 Tuner 12 (Südwest 3) → Tape1' }).waitFor();

  await card.focus();
  await page.keyboard.press('Enter');
  const editor = page.getByRole('region', { name: 'Timer 3 bearbeiten' });
  await editor.waitFor();
  assert.equal(await page.evaluate(() => document.activeElement.id), 'h-editor');
  assert.ok(await editor.getByRole('radio', { name: 'Datum' }).isChecked());
  assert.equal(await editor.getByLabel('Tag', { exact: true }).inputValue(), '2026-03-24');
  assert.equal(await editor.getByLabel('Station').inputValue(), '12');
  assert.equal(await editor.getByLabel('Station').locator('option:checked').textContent(), '12 Südwest 3');
  assert.equal(await editor.getByLabel('Start').inputValue(), '20:00');
  assert.equal(await editor.getByLabel('Ende').inputValue(), '21:30');
  const targets = editor.getByRole('group', { name: 'Ziel(e)' });
  assert.ok(await targets.getByRole('checkbox', { name: 'Tape1' }).isChecked());

  // Weekdays without a day: the page says so as it happens and sends nothing.
  const from = received(s).length;
  await editor.getByRole('radio', { name: 'Wochentage' }).check();
  await editor.getByText('Mindestens einen Wochentag wählen').waitFor();
  await editor.getByRole('button', { name: 'an B203 senden' }).click();
  await alert.filter({ hasText: 'Mindestens einen Wochentag wählen' }).waitFor();
  assert.equal(await page.evaluate(() => document.activeElement.id), 'day-Mo');
  await editor.getByRole('group', { name: 'Quelle' }).getByRole('radio', { name: 'CD' }).check();
  await editor.getByLabel('CD-Track').waitFor();
  await editor.getByRole('group', { name: 'Quelle' }).getByRole('radio', { name: 'Tuner' }).check();
  for (const day of ['Mo', 'Mi', 'Fr']) await editor.getByRole('checkbox', { name: day, exact: true }).check();
  await editor.getByLabel('Station').selectOption('05');
  await targets.getByRole('checkbox', { name: 'Tape1' }).uncheck();
  await targets.getByRole('checkbox', { name: 'LS-A' }).check();
  await editor.getByLabel('Start').fill('06:30');
  await editor.getByLabel('Ende').fill('07:15');
  assert.equal(await editor.locator('#editor-problem').textContent(), '');
  assert.deepEqual(received(s).slice(from), []);

  await editor.getByRole('button', { name: 'an B203 senden' }).click();
  await waitReceived(s, '0E03W01010100050010063000071500', from);
  await page.locator('#message').filter({ hasText: 'Timer 3 geschrieben' }).waitFor();
  assert.deepEqual(s.expects, ['D2403260121000200000213000'], 'the write names the record it started from');
  await until(async () => (await page.locator('#card-3 .summary').textContent()) ===
    'Mo Mi Fr 06:30–07:15 Tuner 05 (WDR 2) → LS-A', 'the card of timer 3 updated');
  await screenshot(s, 'web-editor.png');

  const asked = [];
  page.on('dialog', (d) => { asked.push(d.message()); d.accept(); });
  await editor.getByRole('button', { name: 'Timer testen' }).click();
  await waitReceived(s, '0V03W01010100050010063000071500', from);
  await editor.getByRole('button', { name: 'Löschen!!' }).click();
  await waitReceived(s, '0E03E', from);
  await editor.getByText('Timer ist leer').waitFor();
  assert.ok(await editor.getByRole('button', { name: 'Timer testen' }).isHidden());
  assert.deepEqual(asked, ['Timer 3 wirklich testen?', 'Timer 3 wirklich löschen?']);
  await page.keyboard.press('Escape');
  await card.filter({ hasText: 'Timer ist leer' }).waitFor();
  assert.equal(await page.evaluate(() => document.activeElement.id), 'card-3');
  const events = page.getByRole('region', { name: 'Ereignisse' });
  for (const text of ['Timer 3 geschrieben', 'Timer 3 getestet', 'Timer 3 gelöscht']) await events.getByText(text).waitFor();

  // The backup is what zendrill-cli exports, its comment line aside.
  const [download] = await Promise.all([page.waitForEvent('download'),
    page.getByRole('link', { name: 'Sicherung herunterladen' }).click()]);
  const saved = path.join(s.dir, 'b203.ini');
  await download.saveAs(saved);
  const logged = s.daemon.lines.length;
  const exported = await cli(s, ['timers', 'export']);
  assert.equal(exported.code, 0, exported.stderr);
  // Back from the loan, the daemon reads everything again; then the line is quiet.
  await s.daemon.waitLine(/^<- 0C05/, logged);
  const content = (bytes) => bytes.toString('latin1').split('\r\n').filter((l) => !l.startsWith(';'));
  assert.deepEqual(content(fs.readFileSync(saved)), content(exported.stdout));
  assert.ok(content(exported.stdout).includes('Timer3 = '));

  // A bad file: the daemon's message, nothing sent.
  const restore = page.getByLabel('Sicherung einspielen');
  const quiet = received(s).length;
  await restore.setInputFiles({ name: 'kaputt.ini', mimeType: 'text/plain', buffer: Buffer.from('Timer2 = W0101010005001006300007150X\r\n') });
  await alert.filter({ hasText: 'Timer2' }).waitFor();
  assert.ok(await page.getByRole('button', { name: 'Einspielen', exact: true }).isHidden());
  assert.deepEqual(received(s).slice(quiet), []);

  // The good one: a preview first, then sent.
  await restore.setInputFiles(saved);
  await page.getByRole('button', { name: 'Einspielen', exact: true }).waitFor();
  assert.deepEqual(received(s).slice(quiet), []);
  assert.ok(!(await alert.isVisible()));
  await page.getByRole('button', { name: 'Einspielen', exact: true }).click();
  await waitReceived(s, '0E03E', quiet);
  await until(async () => (await page.locator('#message').textContent()).startsWith('Sicherung eingespielt'), 'the restore done');
  assert.equal(await page.locator('#preview-lines li .cmd').first().textContent(), '0S1000: Einstellung gesendet (0S1000)');
});
