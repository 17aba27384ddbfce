// What a browser journey runs: a private mosquitto on a free loopback port,
// the simulator on a pty with its traffic log, zendrilld between them with
// its web page on another free port, and Debian's chromium headless with a
// fresh profile at a phone's size. Every wait is for a condition, with a
// deadline; everything is stopped at the end.
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { createRequire } from 'node:module';
import { test } from 'node:test';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const need = (name) => {
  if (!process.env[name]) throw new Error(`${name} is not set (the test command passes the programs' paths)`);
  return process.env[name];
};
const programs = {
  zendrilld: need('ZENDRILLD'),
  cli: need('ZENDRILL_CLI'),
  sim: need('B203SIM'),
  mosquitto: need('MOSQUITTO'),
  pub: need('MOSQUITTO_PUB'),
  chromium: process.env.CHROMIUM || '/usr/bin/chromium',
};
// playwright-core as `npm ci` put it into the build tree (or beside this file).
const { chromium } = createRequire(path.join(process.env.ZD_NODE_PREFIX || here, 'package.json'))('playwright-core');

export const SECOND = 1000;
const WAIT = 20 * SECOND; // for what takes a second or two

// Polls `probe` until it gives something truthy.
export async function until(probe, what, limit = WAIT) {
  const end = Date.now() + limit;
  for (;;) {
    const value = await probe();
    if (value) return value;
    if (Date.now() > end) throw new Error(`timed out waiting for ${what}`);
    await new Promise((r) => setTimeout(r, 20));
  }
}

function freePort() {
  return new Promise((resolve, reject) => {
    const s = net.createServer();
    s.once('error', reject);
    s.listen(0, '127.0.0.1', () => {
      const { port } = s.address();
      s.close(() => resolve(port));
    });
  });
}

function accepts(port) {
  return new Promise((resolve) => {
    const c = net.connect(port, '127.0.0.1');
    c.once('connect', () => { c.destroy(); resolve(true); });
    c.once('error', () => resolve(false));
  });
}

// A child program whose output is kept, line by line, with the moment each came.
class Program {
  constructor(file, args, env) {
    this.name = path.basename(file);
    this.lines = [];
    this.chunks = [];
    this.child = spawn(file, args, { env: env || process.env, stdio: ['ignore', 'pipe', 'pipe'] });
    this.exited = new Promise((resolve) => this.child.once('exit', (code, signal) => resolve(code ?? 128)));
    this.child.stdout.on('data', (d) => this.chunks.push(d));
    this.drained = new Promise((resolve) => this.child.stdout.once('close', resolve));
    let partial = '';
    this.child.stderr.on('data', (d) => {
      partial += d;
      const parts = partial.split('\n');
      partial = parts.pop();
      for (const line of parts) this.lines.push({ at: Date.now(), line });
    });
  }
  stdout() { return Buffer.concat(this.chunks); }
  running() { return this.child.exitCode === null && this.child.signalCode === null; }
  // The first line from `from` on that matches, once it has come.
  waitLine(pattern, from = 0, limit = WAIT) {
    return until(() => this.lines.slice(from).find((l) => pattern.test(l.line)), `${this.name}: ${pattern}`, limit);
  }
  log() { return this.lines.map((l) => l.line).join('\n'); }
  // SIGSTOP: a program that hangs (a silent device, a frozen daemon).
  pause() { this.child.kill('SIGSTOP'); }
  resume() { this.child.kill('SIGCONT'); }
  async stop() {
    if (!this.running()) return;
    this.child.kill('SIGCONT');
    this.child.kill('SIGTERM');
    const ended = await Promise.race([this.exited, new Promise((r) => setTimeout(() => r(null), 10 * SECOND))]);
    if (ended === null) this.child.kill('SIGKILL');
  }
}

export async function runProgram(file, args, env) {
  const p = new Program(file, args, env);
  const [code] = await Promise.all([p.exited, p.drained]);
  return { code, stdout: p.stdout(), stderr: p.log() };
}

// Starts the programs and the browser. `options`: sim (extra simulator
// arguments), config (extra zendrilld.ini keys), password.
export async function startStack(options = {}) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'zd-browser-'));
  const stack = { dir, programs: [], link: path.join(dir, 'b203'), socket: path.join(dir, 'zendrilld.sock') };
  const own = (p) => { stack.programs.push(p); return p; };
  stack.stop = async () => {
    if (stack.context) await stack.context.close().catch(() => {});
    for (const p of stack.programs.reverse()) await p.stop();
    fs.rmSync(dir, { recursive: true, force: true });
  };
  try {
    const mqttPort = await freePort();
    fs.writeFileSync(path.join(dir, 'mosquitto.conf'),
      `listener ${mqttPort} 127.0.0.1\nallow_anonymous true\npersistence false\nlog_dest stderr\n`);
    const broker = own(new Program(programs.mosquitto, ['-c', path.join(dir, 'mosquitto.conf')]));
    await until(async () => (await accepts(mqttPort)) || (!broker.running() && Promise.reject(new Error(broker.log()))), 'mosquitto');

    stack.simLog = path.join(dir, 'sim.log');
    const sim = stack.sim = own(new Program(programs.sim,
      ['--link', stack.link, '--log', stack.simLog, '--log-format', 'json', ...(options.sim || [])]));
    await until(() => sim.stdout().includes('\n') || (!sim.running() && Promise.reject(new Error(sim.log()))), 'b203sim');

    const httpPort = await freePort();
    const config = {
      port: stack.link,
      poll_status_s: 3600, // no poll falls due while a journey runs: every line on the wire is the page's
      poll_timers_s: 86400,
      control_socket: stack.socket,
      mqtt_host: '127.0.0.1',
      mqtt_port: mqttPort,
      device_id: 'web',
      http_listen: `127.0.0.1:${httpPort}`,
      // Never the machine's own state directory.
      http_session_file: path.join(dir, 'http-sessions'),
      journal_file: path.join(dir, 'journal.db'),
      Station5: 'WDR 2',
      Station12: 'Südwest 3',
      ...(options.config || {}),
    };
    if (options.password) {
      config.http_password_file = path.join(dir, 'http-password');
      fs.writeFileSync(config.http_password_file, `${options.password}\n`, { mode: 0o600 });
    }
    fs.writeFileSync(path.join(dir, 'zendrilld.ini'), Object.entries(config).map(([k, v]) => `${k} = ${v}\n`).join(''));
    const env = { ...process.env };
    delete env.ZENDRILL_PORT;
    stack.daemon = own(new Program(programs.zendrilld, ['--config', path.join(dir, 'zendrilld.ini'), '--verbose'], env));
    await until(async () => (await accepts(httpPort)) || (!stack.daemon.running() && Promise.reject(new Error(stack.daemon.log()))),
      'zendrilld listening');
    // The first reads are done once timer 5 has been asked for and answered.
    await stack.daemon.waitLine(/^<- 0C05/);
    stack.url = `http://127.0.0.1:${httpPort}/`;
    stack.mqttPort = mqttPort;

    const profile = path.join(dir, 'chromium-profile');
    stack.context = await chromium.launchPersistentContext(profile, {
      executablePath: programs.chromium,
      headless: true,
      args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
        '--disable-background-networking', '--disable-component-update', '--disable-sync', '--lang=de'],
      env: { ...process.env, LANGUAGE: 'de', LANG: 'de_DE.UTF-8' },
      viewport: options.viewport || { width: 390, height: 844 },
      locale: 'de-DE',
      acceptDownloads: true,
    });
    await routeExpect(stack);
    stack.page = stack.context.pages()[0] || await stack.context.newPage();
    stack.pageErrors = [];
    stack.consoleErrors = [];
    watchPage(stack, stack.page);
    return stack;
  } catch (e) {
    e.message += `\n${story(stack)}`;
    await stack.stop();
    throw e;
  }
}

// A page's uncaught errors and its console's errors are kept.
export function watchPage(stack, page) {
  page.on('pageerror', (e) => stack.pageErrors.push(e.message));
  page.on('console', (m) => { if (m.type() === 'error') stack.consoleErrors.push(m.text()); });
}

// Every "expect" a timer write carried is kept in stack.expects. Heard,
// not routed: routing would switch the browser's cache off.
async function routeExpect(stack) {
  stack.expects = [];
  stack.context.on('request', (request) => {
    if (request.method() !== 'PUT' || !/\/api\/timers\/[1-5]$/.test(request.url())) return;
    let body = null;
    try { body = JSON.parse(request.postData() || ''); } catch { body = null; }
    if (body && 'expect' in body) stack.expects.push(body.expect);
  });
}

// Command lines the simulator received (without their "\r"), in order,
// from its JSON lines; only whole lines, as it may be writing the last.
export function received(stack) {
  let text = '';
  try { text = fs.readFileSync(stack.simLog, 'latin1'); } catch { return []; }
  return text.split('\n').slice(0, -1).map((l) => JSON.parse(l))
    .filter((e) => e.kind === 'RX').map((e) => e.bytes.replace(/\r$/, ''));
}

// Waits for the command line `line` among those received from index `from` on.
export function waitReceived(stack, line, from = 0) {
  return until(() => received(stack).slice(from).includes(line), `the simulator to receive ${JSON.stringify(line)}`);
}

// zendrill-cli borrowing the line from the daemon.
export function cli(stack, args) {
  const env = { ...process.env, ZENDRILL_SOCKET: stack.socket };
  delete env.ZENDRILL_PORT;
  return runProgram(programs.cli, ['--port', stack.link, ...args], env);
}

export function mqttPublish(stack, below, payload) {
  return runProgram(programs.pub, ['-h', '127.0.0.1', '-p', String(stack.mqttPort), '-q', '1',
    '-t', `zendrill/web/${below}`, '-m', payload]);
}

// One journey: a stack of its own, started, walked through and stopped; on
// a failure the daemon's log and the page's errors go with the message.
export function journey(name, options, steps) {
  test(name, { timeout: 240 * SECOND }, async () => {
    const stack = await startStack(options);
    try {
      await steps(stack);
      assert.deepEqual(stack.pageErrors, [], 'errors in the page');
    } catch (e) {
      process.stderr.write(`${story(stack)}\n`);
      throw e;
    } finally {
      await stack.stop();
    }
  });
}

// A screenshot into the folder ZD_SCREENSHOTS names (relative to the
// repository's top), when it names one.
export async function screenshot(stack, name) {
  const dir = process.env.ZD_SCREENSHOTS;
  if (!dir) return;
  await stack.page.evaluate(() => window.scrollTo(0, 0));
  await stack.page.screenshot({ path: path.resolve(here, '..', '..', dir, name) });
}

// What the journey leaves to read when it fails.
export function story(stack) {
  return `--- zendrilld\n${stack.daemon ? stack.daemon.log() : ''}\n--- page errors\n${(stack.pageErrors || []).join('\n')}` +
    `\n--- console errors\n${(stack.consoleErrors || []).join('\n')}`;
}
