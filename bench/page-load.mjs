// The page's load in headless chromium, for bench-daemon.py: each run a
// fresh browser context (empty cache), from the start of the navigation to
// the status shown (the link state "verbunden" and the device clock), and
// the bytes that came over the network until then (the event stream's
// included). Prints one JSON line per run.
//
// Usage: node bench/page-load.mjs URL RUNS NODE_PREFIX [CHROMIUM]
import { createRequire } from 'node:module';
import path from 'node:path';

const [url, runs, prefix, executable = '/usr/bin/chromium'] = process.argv.slice(2);
const { chromium } = createRequire(path.resolve(prefix, 'package.json'))('playwright-core');

// In the page: the moment, after the start of the navigation, the status stands.
function watchStatus() {
  const check = () => {
    const link = document.getElementById('link');
    const clock = document.getElementById('clock');
    if (window.statusShownMs === undefined && link && clock && link.textContent === 'verbunden' && /\d\d:\d\d:\d\d$/.test(clock.textContent)) {
      window.statusShownMs = performance.now();
    }
  };
  new MutationObserver(check).observe(document, { childList: true, subtree: true, characterData: true });
}

const browser = await chromium.launch({
  executablePath: executable,
  headless: true,
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
    '--disable-component-update', '--disable-sync'],
});
try {
  for (let i = 0; i < Number(runs); ++i) {
    const context = await browser.newContext({ viewport: { width: 390, height: 844 } });
    const page = await context.newPage();
    const cdp = await context.newCDPSession(page);
    await cdp.send('Network.enable');
    // Per request: the total once it is finished; until then (the event
    // stream) the headers and the chunks so far.
    const headers = new Map();
    const chunks = new Map();
    const finished = new Map();
    cdp.on('Network.responseReceived', (e) => headers.set(e.requestId, e.response.encodedDataLength || 0));
    cdp.on('Network.dataReceived', (e) => chunks.set(e.requestId, (chunks.get(e.requestId) || 0) + e.encodedDataLength));
    cdp.on('Network.loadingFinished', (e) => finished.set(e.requestId, e.encodedDataLength));
    const received = () => {
      let total = 0;
      for (const id of new Set([...headers.keys(), ...chunks.keys(), ...finished.keys()])) {
        total += finished.has(id) ? finished.get(id) : (headers.get(id) || 0) + (chunks.get(id) || 0);
      }
      return total;
    };
    await page.addInitScript(watchStatus);
    await page.goto(url);
    await page.waitForFunction(() => window.statusShownMs !== undefined, null, { timeout: 30000 });
    const ms = await page.evaluate(() => window.statusShownMs);
    console.log(JSON.stringify({ ms, bytes: received(), requests: headers.size }));
    await context.close();
  }
} finally {
  await browser.close();
}
