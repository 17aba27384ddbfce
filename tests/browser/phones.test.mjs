// Two phones, one timer: the editor that started from a record sends it
// along; an open editor takes a change from elsewhere while it holds none
// of its own, and says so with "Neu laden" while it does; a write over a
// change it has not seen is refused with the daemon's words.
import assert from 'node:assert/strict';
import { journey, received, until, waitReceived, watchPage } from './harness.mjs';

const TIMER2 = 'W01010100050010063000071500'; // Mo Mi Fr 06:30-07:15, tuner 05, LS-A

journey('two phones edit timer 2', { sim: ['--timer', `2=${TIMER2}`], viewport: { width: 375, height: 667 } }, async (s) => {
  const a = s.page;
  const b = await s.context.newPage();
  watchPage(s, b);
  for (const p of [a, b]) {
    await p.goto(`${s.url}#timer-2`);
    await p.getByRole('region', { name: 'Timer 2 bearbeiten' }).waitFor();
    await until(async () => (await p.getByLabel('Ende').inputValue()) === '07:15', 'timer 2 read');
  }
  const ende = (p) => p.getByLabel('Ende');
  const send = (p) => p.getByRole('button', { name: 'an B203 senden' });
  const conflict = a.getByText('Timer 2 wurde anderswo geändert', { exact: true });

  // A has changed nothing: B's write shows in A as it is.
  let from = received(s).length;
  await ende(b).fill('07:30');
  await send(b).click();
  await waitReceived(s, '0E02W01010100050010063000073000', from);
  await b.locator('#message').filter({ hasText: 'Timer 2 geschrieben' }).waitFor();
  await until(async () => (await ende(a).inputValue()) === '07:30', "B's change in A");
  assert.ok(await conflict.isHidden());
  assert.deepEqual(s.expects, [TIMER2]);

  // A has an unsent change when B writes again: A keeps its own and says so.
  await ende(a).fill('08:00');
  from = received(s).length;
  await ende(b).fill('07:45');
  await send(b).click();
  await waitReceived(s, '0E02W01010100050010063000074500', from);
  await conflict.waitFor();
  assert.equal(await ende(a).inputValue(), '08:00');
  await a.getByRole('button', { name: 'Neu laden' }).waitFor();

  // Sent anyway, over the record A has not taken: refused, nothing sent.
  from = received(s).length;
  await send(a).click();
  const alert = a.getByRole('alert').filter({ hasText: 'Timer 2 wurde anderswo geändert; nichts gesendet' });
  await alert.waitFor();
  const box = await alert.boundingBox();
  assert.ok(box.y >= 0 && box.y + box.height <= 667, 'the refusal in view');
  assert.equal(s.expects.at(-1), 'W01010100050010063000073000');
  assert.deepEqual(received(s).slice(from).filter((l) => l.startsWith('0E')), []);

  // "Neu laden" takes B's values; then A's change goes through.
  await a.getByRole('button', { name: 'Neu laden' }).click();
  assert.equal(await ende(a).inputValue(), '07:45');
  assert.ok(await conflict.isHidden());
  await ende(a).fill('08:00');
  from = received(s).length;
  await send(a).click();
  await waitReceived(s, '0E02W01010100050010063000080000', from);
  await a.locator('#message').filter({ hasText: 'Timer 2 geschrieben' }).waitFor();
  assert.equal(s.expects.at(-1), 'W01010100050010063000074500');
  await until(async () => (await ende(b).inputValue()) === '08:00', "A's write in B");
  assert.ok(await b.getByText('Timer 2 wurde anderswo geändert', { exact: true }).isHidden());
});
