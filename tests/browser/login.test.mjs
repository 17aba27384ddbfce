// With a password: the login form, a wrong and a right password; then a
// device that refuses every timer write, and the console of raw commands.
import assert from 'node:assert/strict';
import { journey, received, waitReceived } from './harness.mjs';

const TIMER2 = 'W01010100050010063000071500';
const REFUSED = 'Die Daten wurden vom Controller mit einer Fehlermeldung quittiert !';

journey('login; a refused write; the console', {
  sim: ['--timer', `2=${TIMER2}`, '--refuse-writes'],
  password: 'Geheim 42',
  config: { raw_commands: 'on' },
}, async (s) => {
  const { page } = s;
  const alert = page.getByRole('alert');
  await page.goto(s.url);
  const password = page.getByLabel('Passwort');
  await password.waitFor();
  assert.ok(await page.getByRole('button', { name: 'Timer 1' }).isHidden());
  // Logged out there is no link state to read, and the login page asked
  // nothing a browser would log as an error.
  assert.ok(await page.locator('#link').isHidden());
  assert.deepEqual(s.consoleErrors, [], "errors in the login page's console");
  await password.fill('geheim 42');
  await page.getByRole('button', { name: 'Anmelden' }).click();
  await alert.waitFor();
  assert.ok(await password.isVisible());
  // The next try waits out the pause a wrong password costs; the form waits with it.
  await password.fill('Geheim 42');
  await password.press('Enter');
  await page.getByRole('status', { name: 'verbunden', exact: true }).waitFor();
  await page.getByRole('button', { name: 'Timer 2' }).filter({ hasText: 'Mo Mi Fr' }).waitFor();
  assert.ok(await password.isHidden());
  assert.ok(!(await alert.isVisible()));

  // The device refuses: its words, and the edit stays for another try.
  await page.getByRole('button', { name: 'Timer 2' }).click();
  const editor = page.getByRole('region', { name: 'Timer 2 bearbeiten' });
  await editor.getByLabel('Ende').fill('07:30');
  const from = received(s).length;
  await editor.getByRole('button', { name: 'an B203 senden' }).click();
  await waitReceived(s, '0E02W01010100050010063000073000', from);
  await alert.filter({ hasText: REFUSED }).waitFor();
  assert.equal(await editor.getByLabel('Ende').inputValue(), '07:30');
  await editor.getByRole('button', { name: 'Zurück' }).click();
  await page.getByRole('button', { name: 'Timer 2' }).filter({ hasText: '06:30–07:15' }).waitFor();

  // Raw commands: one line, and the device's answer.
  await page.getByLabel('Befehlszeile').fill('0X');
  await page.getByRole('button', { name: 'Senden', exact: true }).click();
  await waitReceived(s, '0X', from);
  await page.locator('#reply').filter({ hasText: /^0X:\d{17}$/ }).waitFor();
});
