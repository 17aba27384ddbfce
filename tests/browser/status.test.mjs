// The status on a phone: what the page shows, the clock and a setting
// changed from it, and changes made over MQTT and by zendrill-cli showing up
// in the open page within a second of the daemon learning them.
import assert from 'node:assert/strict';
import { SECOND, cli, journey, mqttPublish, received, screenshot, until, waitReceived } from './harness.mjs';

const TIMER2 = 'W01010100050010063000071500'; // Mo Mi Fr 06:30-07:15, tuner 05, LS-A

journey('status, clock and settings; changes from MQTT and zendrill-cli', { sim: ['--timer', `2=${TIMER2}`] }, async (s) => {
  const { page } = s;
  await page.goto(s.url);
  await page.getByRole('status', { name: 'verbunden', exact: true }).waitFor();
  await until(async () => /^\S\S, \d\d\.\d\d\.20\d\d \d\d:\d\d:\d\d$/.test(await page.locator('#clock').textContent()), 'the device clock');
  assert.match(await page.locator('#drift').textContent(), /^Abweichung: (0|[+-]\d+) s$/);
  await page.getByText('Einstellungen', { exact: true }).click();
  assert.equal(await page.getByLabel('Dialogsprache').inputValue(), 'Deutsch');
  assert.equal(await page.getByRole('switch', { name: 'IR-Empfänger' }).isChecked(), true);
  await page.getByRole('button', { name: 'Timer 2' })
    .filter({ hasText: 'Mo Mi Fr 06:30–07:15 Tuner 05 (WDR 2) → LS-A' }).waitFor();
  await page.getByRole('button', { name: 'Timer 4' }).filter({ hasText: 'Timer ist leer' }).waitFor();
  await page.getByRole('heading', { name: 'Nächste 7 Tage' }).waitFor();
  assert.ok(await page.evaluate(() => document.documentElement.scrollWidth <= innerWidth), 'no horizontal scrolling at 390 px');
  await screenshot(s, 'web-status.png');
  await page.setViewportSize({ width: 360, height: 740 });
  assert.ok(await page.evaluate(() => document.documentElement.scrollWidth <= 360), 'no horizontal scrolling at 360 px');

  // A setting, by keyboard: sent at once, read back.
  let from = received(s).length;
  await page.getByLabel('Easy-Funktion').focus();
  await page.getByLabel('Easy-Funktion').selectOption('aus');
  await waitReceived(s, '0S1200', from);
  await page.getByRole('status').filter({ hasText: 'Einstellung gesendet: Easy-Funktion aus' }).waitFor();
  assert.match(await page.locator('#message-details').textContent(), /0S1200/);
  assert.equal(await page.getByLabel('Easy-Funktion').inputValue(), 'aus');

  // The clock an hour on, then set from the host's.
  from = received(s).length;
  const hour = Number((await page.locator('#clock').textContent()).slice(15, 17));
  await page.getByRole('button', { name: 'Uhr +1 h' }).click();
  await until(() => received(s).slice(from).some((l) => l.startsWith('0T')), 'the hour shift');
  await until(async () => Number((await page.locator('#clock').textContent()).slice(15, 17)) === (hour + 1) % 24, 'the shifted hour shown');
  from = received(s).length;
  await page.getByRole('button', { name: 'Uhr stellen' }).click();
  await until(() => received(s).slice(from).some((l) => l.startsWith('0D')), 'the date sent');
  await until(async () => (await page.locator('#message').textContent()).startsWith('Uhr gestellt; Abweichung'), 'the clock confirmed');
  assert.match(await page.locator('#message-details').textContent(), /^Uhr gestellt \(0T/);
  assert.match(await page.locator('#drift').textContent(), /^Abweichung: (0|[+-]1) s$/);

  // What the daemon learns elsewhere shows within a second: here the read-back
  // of the status after the command, in the daemon's log.
  const ir = page.getByRole('switch', { name: 'IR-Empfänger' });
  let logged = s.daemon.lines.length;
  assert.equal((await mqttPublish(s, 'set/ir', 'OFF')).code, 0);
  const off = await s.daemon.waitLine(/^<- 0X:\d{16}1\\r\\n$/, logged);
  await page.waitForFunction(() => !document.getElementById('ir').checked, null, { timeout: SECOND });
  assert.ok(Date.now() - off.at <= SECOND, 'IR off over MQTT shown within a second');

  // zendrill-cli borrows the line: the page says so, and shows its change.
  await page.evaluate(() => {
    window.linkTexts = [];
    new MutationObserver(() => window.linkTexts.push(document.getElementById('link').textContent))
      .observe(document.getElementById('link'), { childList: true, characterData: true, subtree: true });
  });
  logged = s.daemon.lines.length;
  const run = await cli(s, ['ir', 'on']);
  assert.equal(run.code, 0, run.stderr);
  const on = await s.daemon.waitLine(/^<- 0X:\d{16}0\\r\\n$/, logged);
  await page.waitForFunction(() => document.getElementById('ir').checked, null, { timeout: SECOND });
  assert.ok(Date.now() - on.at <= SECOND, "zendrill-cli's IR on shown within a second");
  assert.ok(await ir.isChecked());
  await page.getByRole('status', { name: 'verbunden', exact: true }).waitFor();
  assert.ok((await page.evaluate(() => window.linkTexts)).includes('an zendrill-cli verliehen'), 'the loan shown');
});
