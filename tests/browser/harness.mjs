// Shared by the browser tests: start plmhost serve/view on a free loopback
// port and stop it by its process ID (also when a test fails), run
// plmhost's other commands, launch Debian's chromium headless through
// playwright-core, and read PLY frames.
import { spawn, execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';
import http from 'node:http';

export const PLMHOST = process.env.PLMHOST;
const WEB = process.env.PLMHOST_WEB;
const CHROMIUM = process.env.CHROMIUM || '/usr/bin/chromium';
if (!PLMHOST || !WEB) throw new Error('run through ctest: PLMHOST and PLMHOST_WEB must be set');

export function tempDir() {
  const dir = mkdtempSync(join(tmpdir(), 'plmhost-browser-'));
  return { dir, remove: () => rmSync(dir, { recursive: true, force: true }) };
}

// Runs plmhost to the end and returns its standard output.
export function host(args, cwd) {
  return execFileSync(PLMHOST, ['-q', ...args], { cwd, encoding: 'utf8', stdio: ['ignore', 'pipe', 'pipe'], timeout: 300000 });
}

// Starts `plmhost ARGS --port 0`; resolves once the URL is printed.
export function startServer(args, cwd) {
  return new Promise((resolve, reject) => {
    const proc = spawn(PLMHOST, [...args, '--port', '0'], { cwd, stdio: ['ignore', 'pipe', 'pipe'] });
    let out = '', err = '';
    const exited = new Promise((done) => proc.on('exit', (code, signal) => done(signal ? 128 : code)));
    const timer = setTimeout(() => { proc.kill('SIGKILL'); reject(new Error('no URL printed in 60 s: ' + err)); }, 60000);
    proc.stderr.on('data', (d) => { err += d; });
    proc.stdout.on('data', (d) => {
      out += d;
      const newline = out.indexOf('\n');
      if (newline < 0) return;
      clearTimeout(timer);
      const url = new URL(out.slice(0, newline));
      const server = {
        proc, url: url.href, port: Number(url.port), token: url.searchParams.get('token'),
        origin: url.origin, host: url.host, stderr: () => err,
        cookie: () => `plmhost_${url.port}=${url.searchParams.get('token')}`,
        // Ctrl-C as a user gives it; SIGKILL if it does not end in time.
        async stop() {
          if (proc.exitCode !== null || proc.signalCode !== null) return exited;
          proc.kill('SIGINT');
          const kill = setTimeout(() => proc.kill('SIGKILL'), 20000);
          const code = await exited;
          clearTimeout(kill);
          return code;
        },
      };
      resolve(server);
    });
    proc.on('exit', (code) => { clearTimeout(timer); if (!out.includes('\n')) reject(new Error(`plmhost exited ${code}: ${err}`)); });
  });
}

// One raw HTTP request, with any headers (Host and Origin included).
export function request(server, { method = 'GET', path = '/', headers = {}, body } = {}) {
  return new Promise((resolve, reject) => {
    // A connection of its own: a refused body is left unread on the socket.
    const req = http.request({ host: '127.0.0.1', port: server.port, method, path, agent: false, headers: { Host: server.host, ...headers } }, (res) => {
      const chunks = [];
      res.on('data', (c) => chunks.push(c));
      res.on('end', () => resolve({ status: res.statusCode, headers: res.headers, body: Buffer.concat(chunks) }));
    });
    req.on('error', reject);
    req.setTimeout(120000, () => req.destroy(new Error('timed out')));
    if (body !== undefined && !req.hasHeader('Content-Length') && !req.hasHeader('Transfer-Encoding'))
      req.setHeader('Content-Length', Buffer.byteLength(body));
    if (body !== undefined) req.write(body);
    req.end();
  });
}

export async function launchBrowser() {
  const { chromium } = await import(pathToFileURL(join(WEB, 'node_modules/playwright-core/index.mjs')).href);
  return chromium.launch({
    executablePath: CHROMIUM,
    headless: true,
    // Software WebGL: the machine has no GPU.
    args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--ignore-gpu-blocklist'],
  });
}

// A page on the server that records console errors; waits until it has
// drawn its first frame.
export async function openPage(browser, server, viewport = { width: 1400, height: 800 }) {
  const page = await browser.newPage({ viewport });
  const errors = [];
  page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
  page.on('pageerror', (e) => errors.push(String(e)));
  await page.goto(server.url, { timeout: 120000 });  // slow under a loaded machine
  await page.waitForSelector('body[data-count]', { timeout: 120000 });
  return { page, errors };
}

// Polls fn(arg) in the page until it is truthy.  (Playwright's own
// waitForFunction compiles a string, which the page's CSP forbids.)
export async function waitFor(page, fn, arg, timeout = 120000) {
  const end = Date.now() + timeout;
  for (;;) {
    const value = await page.evaluate(fn, arg);
    if (value) return value;
    if (Date.now() > end) throw new Error(`timed out waiting for ${fn}`);
    await new Promise((r) => setTimeout(r, 50));
  }
}

// Moves the timeline to frame f and waits until the page shows it.
export async function showFrame(page, f, timeout = 120000) {
  await page.locator('#frame').fill(String(f));
  await waitFor(page, (n) => document.body.dataset.frame === String(n), f, timeout);
  return Number(await page.evaluate(() => document.body.dataset.count));
}

// frame_NNNN.ply of a render: the vertex count, and the positions, blur
// positions and colours as the bytes of the server's frame body.
export function readPly(dir, f) {
  const bytes = readFileSync(join(dir, `frame_${String(f).padStart(4, '0')}.ply`));
  const end = bytes.indexOf('end_header\n') + 'end_header\n'.length;
  const count = Number(/element vertex (\d+)/.exec(bytes.subarray(0, end).toString())[1]);
  const positions = Buffer.alloc(count * 12), blur = Buffer.alloc(count * 12), colors = Buffer.alloc(count * 4);
  for (let k = 0, v = end; k < count; ++k, v += 28) {
    bytes.copy(positions, k * 12, v, v + 12);
    bytes.copy(blur, k * 12, v + 12, v + 24);
    bytes.copy(colors, k * 4, v + 24, v + 28);
  }
  return { count, positions, blur, colors };
}
