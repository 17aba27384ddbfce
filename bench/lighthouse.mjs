// Lighthouse's mobile run of zendrilld's page against the real daemon, the
// simulator and a private mosquitto (the browser tests' harness starts
// them): performance, accessibility and best-practices scores of each run,
// the largest layout shift, and the bytes of a cold and a warm load. Not a
// test; it prints and ends. Goals: performance >= 95, accessibility and
// best practices 100, a warm load <= 5 KB.
//
// Setup (npm only; Debian's chromium is the browser):
//   npm install --no-audit --no-fund --prefix build/lighthouse lighthouse@12.8.2
// Usage:
//   node bench/lighthouse.mjs [BUILD_DIR=build/native] [LIGHTHOUSE_PREFIX=build/lighthouse] [RUNS=5]
// Without lighthouse it says so and prints what playwright measures alone.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { createRequire } from 'node:module';
import { fileURLToPath, pathToFileURL } from 'node:url';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const [build = 'build/native', lhPrefix = 'build/lighthouse', runsArg = '5'] = process.argv.slice(2);
const buildDir = path.resolve(root, build);
const runs = Number(runsArg);
const CHROMIUM = process.env.CHROMIUM || '/usr/bin/chromium';
const FLAGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];

// The programs as the browser tests find them.
const cache = fs.readFileSync(path.join(buildDir, 'CMakeCache.txt'), 'utf8');
const cached = (key) => (cache.match(new RegExp(`^${key}:[A-Z]+=(.*)$`, 'm')) || [])[1];
Object.assign(process.env, {
  ZENDRILLD: path.join(buildDir, 'zendrilld/zendrilld'),
  ZENDRILL_CLI: path.join(buildDir, 'cli/zendrill-cli'),
  B203SIM: path.join(buildDir, 'sim/b203sim'),
  MOSQUITTO: cached('ZD_MOSQUITTO_BROKER') || '/usr/sbin/mosquitto',
  MOSQUITTO_PUB: cached('ZD_MOSQUITTO_PUB') || '/usr/bin/mosquitto_pub',
  ZD_NODE_PREFIX: path.join(buildDir, 'tests/browser'),
  CHROMIUM,
});
const { startStack } = await import(pathToFileURL(path.join(root, 'tests/browser/harness.mjs')).href);

let lighthouse = null;
let launcher = null;
try {
  const require = createRequire(path.resolve(root, lhPrefix, 'package.json'));
  lighthouse = (await import(pathToFileURL(require.resolve('lighthouse')).href)).default;
  launcher = await import(pathToFileURL(require.resolve('chrome-launcher')).href);
} catch (e) {
  console.log(`lighthouse not found under ${lhPrefix} (${e.message.split('\n')[0]}); playwright's figures only`);
}

// Bytes over the network for one navigation until the status is shown,
// with CDP's counts (headers included; the open event stream as far as it came).
async function load(page) {
  const cdp = await page.context().newCDPSession(page);
  await cdp.send('Network.enable');
  const bytes = new Map();
  cdp.on('Network.responseReceived', (e) => bytes.set(e.requestId, e.response.encodedDataLength || 0));
  cdp.on('Network.dataReceived', (e) => bytes.set(e.requestId, (bytes.get(e.requestId) || 0) + e.encodedDataLength));
  cdp.on('Network.loadingFinished', (e) => bytes.set(e.requestId, e.encodedDataLength));
  await page.goto(page.url().startsWith('http') ? page.url() : stack.url);
  await page.getByRole('status', { name: 'verbunden', exact: true }).waitFor();
  await page.waitForFunction(() => /\d\d:\d\d:\d\d$/.test(document.getElementById('clock').textContent));
  await page.waitForTimeout(1000); // the week's request and any late shift
  const shift = await page.evaluate(() => new Promise((resolve) => {
    let sum = 0;
    let largest = 0;
    new PerformanceObserver((list) => {
      for (const e of list.getEntries()) {
        if (e.hadRecentInput) continue;
        sum += e.value;
        largest = Math.max(largest, e.value);
      }
    }).observe({ type: 'layout-shift', buffered: true });
    setTimeout(() => resolve({ sum, largest }), 100);
  }));
  await cdp.detach();
  return { bytes: [...bytes.values()].reduce((a, b) => a + b, 0), requests: bytes.size, ...shift };
}

const stack = await startStack({ sim: ['--timer', '2=W01010100050010063000071500', '--timer', '3=D2403260121000200000213000'] });
try {
  await stack.page.setViewportSize({ width: 412, height: 823 });
  const cold = await load(stack.page);
  const warm = await load(stack.page);
  console.log(`playwright: cold load ${cold.bytes} bytes in ${cold.requests} requests, warm load ${warm.bytes} bytes ` +
    `in ${warm.requests} requests; layout shift: sum ${cold.sum.toFixed(4)}, largest ${cold.largest.toFixed(4)}`);

  if (lighthouse) {
    const scores = { performance: [], accessibility: [], 'best-practices': [] };
    let largestShift = 0;
    let bytes = 0;
    for (let i = 0; i < runs; ++i) {
      const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'zd-lighthouse-'));
      const chrome = await launcher.launch({ chromePath: CHROMIUM, chromeFlags: [...FLAGS, `--user-data-dir=${profile}`], userDataDir: profile });
      try {
        const { lhr } = await lighthouse(stack.url, {
          port: chrome.port, output: 'json', logLevel: 'error',
          onlyCategories: Object.keys(scores),
        });
        const line = [];
        for (const key of Object.keys(scores)) {
          const score = Math.round((lhr.categories[key].score || 0) * 100);
          scores[key].push(score);
          line.push(`${key} ${score}`);
        }
        const cls = lhr.audits['cumulative-layout-shift'].numericValue || 0;
        largestShift = Math.max(largestShift, cls);
        bytes = lhr.audits['total-byte-weight'].numericValue;
        const failed = Object.values(lhr.categories).flatMap((c) => c.auditRefs)
          .map((r) => lhr.audits[r.id]).filter((a) => a && a.score !== null && a.score < 1 && a.scoreDisplayMode !== 'informative'
            && a.scoreDisplayMode !== 'manual' && a.scoreDisplayMode !== 'notApplicable');
        console.log(`lighthouse run ${i + 1}: ${line.join(', ')}; CLS ${cls.toFixed(4)}; ${bytes} bytes` +
          (failed.length ? `; below full marks: ${[...new Set(failed.map((a) => a.id))].join(', ')}` : ''));
      } finally {
        await chrome.kill();
        fs.rmSync(profile, { recursive: true, force: true });
      }
    }
    const median = (v) => [...v].sort((a, b) => a - b)[Math.floor(v.length / 2)];
    console.log(`lighthouse median of ${runs}: ${Object.entries(scores).map(([k, v]) => `${k} ${median(v)}`).join(', ')}; ` +
      `largest CLS ${largestShift.toFixed(4)}; cold ${bytes} bytes (lighthouse), warm ${warm.bytes} bytes (playwright)`);
  }
} finally {
  await stack.stop();
}
