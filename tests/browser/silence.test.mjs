// When nothing answers: a device that went silent during a write (the
// wait said early, the outcome unclear), a daemon that hangs (no event for
// 30 s on the page's clock: "zendrilld nicht erreichbar", the clock
// stopped, a new connection once it is back), and a device gone (the
// controls that send locked, saying why).
import assert from 'node:assert/strict';
import { SECOND, journey, received, until, waitReceived } from './harness.mjs';

const TIMER2 = 'W01010100050010063000071500';

journey('a silent device, a hanging daemon', { sim: ['--timer', `2=${TIMER2}`] }, async (s) => {
  const { page } = s;
  await page.clock.install();
  await page.goto(s.url);
  const link = (name) => page.getByRole('status', { name, exact: true });
  await link('verbunden').waitFor();
  const message = page.locator('#message');

  // The device stops answering as timer 2 is to be written: the daemon
  // cannot read what it holds now, so it sends nothing and says so.
  await page.getByRole('button', { name: 'Timer 2' }).click();
  const editor = page.getByRole('region', { name: 'Timer 2 bearbeiten' });
  await editor.getByLabel('Ende').fill('07:30');
  const from = received(s).length;
  s.sim.pause();
  await editor.getByRole('button', { name: 'an B203 senden' }).click();
  await message.filter({ hasText: 'Sende Timer 2 an B203 …' }).waitFor();
  await page.clock.fastForward(5 * SECOND);
  await message.filter({ hasText: 'B203 antwortet noch nicht – warte weiter …' }).waitFor();
  await page.getByRole('alert').filter({ hasText: 'Abfrage Speicher 2 fehlgeschlagen!; nichts gesendet' })
    .waitFor({ timeout: 120 * SECOND });
  assert.ok(!/unklar/.test(await page.getByRole('alert').textContent()), 'nothing sent is not unclear');
  assert.equal(await editor.getByLabel('Ende').inputValue(), '07:30', 'the edit stays');
  s.sim.resume();
  await waitReceived(s, '0C02', from);
  assert.ok(!received(s).slice(from).some((l) => l.startsWith('0E02')), 'no write went out');
  await editor.getByRole('button', { name: 'Zurück' }).click();

  // The daemon hangs: after 30 s of nothing the page says so and its clock stands.
  s.daemon.pause();
  try {
    await page.clock.fastForward(31 * SECOND);
    await link('zendrilld nicht erreichbar').waitFor();
    await page.locator('#device').getByText('Gesperrt: zendrilld nicht erreichbar').waitFor();
    const clock = await page.locator('#clock').textContent();
    await page.clock.fastForward(5 * SECOND);
    assert.equal(await page.locator('#clock').textContent(), clock, 'the clock stopped');
  } finally {
    s.daemon.resume();
  }
  // Back, the page connects again by itself.
  await link('verbunden').waitFor({ timeout: 60 * SECOND });
  assert.ok(await page.getByRole('button', { name: 'Uhr stellen' }).isEnabled());

  // The device gone: one word for it, and what would send is locked, saying why.
  await s.sim.stop();
  // The daemon learns it at the next exchange.
  await page.getByRole('button', { name: 'Aktualisieren' }).click();
  await link('B203 antwortet nicht').waitFor({ timeout: 60 * SECOND });
  await page.locator('#device').getByText('Gesperrt: der B203 antwortet nicht').waitFor();
  for (const name of ['Uhr stellen', 'Uhr +1 h', 'Uhr -1 h', 'Aktualisieren']) {
    const button = page.getByRole('button', { name, exact: true });
    assert.ok(await button.isDisabled(), name);
    assert.equal(await button.getAttribute('aria-describedby'), 'why-device');
  }
  await page.getByRole('button', { name: 'Timer 2' }).click();
  const editor2 = page.getByRole('region', { name: 'Timer 2 bearbeiten' });
  await editor2.getByText('Gesperrt: der B203 antwortet nicht').waitFor();
  assert.ok(await editor2.getByRole('button', { name: 'an B203 senden' }).isDisabled());
});
