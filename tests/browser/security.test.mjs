// The server's security rules through real HTTP requests on loopback: each
// refused request gets its status and changes nothing.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import http from 'node:http';
import { host, request, startServer, tempDir } from './harness.mjs';

describe('security', () => {
  let tmp, server, sceneText;
  const apply = (headers, body = '{"values":{"emitFrequency":"40"}}') =>
    request(server, { method: 'POST', path: '/api/settings', headers: { Cookie: server.cookie(), 'Content-Type': 'application/json', ...headers }, body });
  const sceneNow = () => readFileSync(join(tmp.dir, 's.json'), 'utf8');

  before(async () => {
    tmp = tempDir();
    host(['new', 's.json', '--frames', '0-30'], tmp.dir);
    sceneText = sceneNow();
    server = await startServer(['serve', 's.json'], tmp.dir);
  });

  after(async () => {
    await server?.stop();
    tmp?.remove();
  });

  test('binds to 127.0.0.1 and prints a URL with a random token', () => {
    assert.equal(new URL(server.url).hostname, '127.0.0.1');
    assert.match(server.token, /^[0-9a-f]{32}$/);
  });

  test('every request needs the token; the first load turns it into a strict cookie', async () => {
    for (const path of ['/', '/api/info', '/api/frame?f=3', '/assets/app.js', '/api/settings'])
      assert.equal((await request(server, { path })).status, 401, path);
    assert.equal((await request(server, { path: '/api/info?token=' + '0'.repeat(32) })).status, 401);
    assert.equal((await request(server, { path: '/api/info', headers: { Cookie: `plmhost_${server.port}=${'1'.repeat(32)}` } })).status, 401);
    const first = await request(server, { path: `/?token=${server.token}` });
    assert.equal(first.status, 303);
    const cookie = first.headers['set-cookie'][0];
    assert.match(cookie, /HttpOnly/);
    assert.match(cookie, /SameSite=Strict/);
    assert.equal((await request(server, { path: '/api/info', headers: { Cookie: cookie.split(';')[0] } })).status, 200);
  });

  test('a Host other than the bound address or localhost is refused, token or not', async () => {
    for (const h of ['attacker.example:' + server.port, `127.0.0.1:${server.port + 1}`, 'attacker.example'])
      assert.equal((await request(server, { path: '/api/info', headers: { Host: h, Cookie: server.cookie() } })).status, 403, h);
    assert.equal((await request(server, { path: '/api/info', headers: { Host: `localhost:${server.port}`, Cookie: server.cookie() } })).status, 200);
  });

  test('state-changing requests from another site are refused', async () => {
    assert.equal((await apply({ Origin: 'http://attacker.example' })).status, 403);
    assert.equal((await apply({ Origin: `http://localhost:${server.port + 1}` })).status, 403);
    assert.equal((await apply({ 'Sec-Fetch-Site': 'cross-site' })).status, 403);
    assert.equal((await apply({ 'Content-Type': 'text/plain' })).status, 415);
    assert.equal((await request(server, { method: 'POST', path: '/api/cancel', headers: { Cookie: server.cookie(), Origin: 'http://attacker.example', 'Content-Type': 'application/json' }, body: '{}' })).status, 403);
    for (const method of ['PUT', 'DELETE', 'PATCH'])
      assert.equal((await request(server, { method, path: '/api/settings', headers: { Cookie: server.cookie() } })).status, 405, method);
    assert.equal(sceneNow(), sceneText);
  });

  test('only the built-in assets are served: no path reaches the file system', async () => {
    for (const path of ['/s.json', '/assets/../s.json', '/assets/%2e%2e/s.json', '/assets/..%2fs.json', '/../../../etc/passwd',
                        '/assets/%2fetc%2fpasswd', '/assets/index.html/..', '/assets/nothing.js', '/api/frame?f=../../s.json']) {
      const res = await request(server, { path, headers: { Cookie: server.cookie() } });
      assert.ok(res.status === 404 || res.status === 400, `${path}: ${res.status}`);
      assert.ok(!res.body.toString().includes('plmhost-scene') && !res.body.toString().includes('root:'), path);
    }
    const page = await request(server, { path: '/assets/three.module.min.js', headers: { Cookie: server.cookie() } });
    assert.equal(page.status, 200);
    assert.match(page.headers['content-type'], /^text\/javascript/);
  });

  test('request bodies and event streams are bounded', async () => {
    const big = JSON.stringify({ values: { emitFrequency: '1'.repeat(20000) } });
    assert.equal((await apply({}, big)).status, 413);
    // A chunked body has no length to check first: it is refused unread.
    assert.equal((await apply({ 'Transfer-Encoding': 'chunked' }, big)).status, 411);
    const many = JSON.stringify({ values: Object.fromEntries(Array.from({ length: 65 }, (_, k) => [`f${k}`, '1'])) });
    assert.equal((await apply({}, many)).status, 400);
    assert.equal(sceneNow(), sceneText);

    const streams = [];
    const open = () => new Promise((resolve) => {
      const req = http.get({ host: '127.0.0.1', port: server.port, path: '/api/events', headers: { Host: server.host, Cookie: server.cookie() } },
                           (res) => { resolve(res.statusCode); res.on('data', () => {}); });
      req.on('error', () => {});
      streams.push(req);
    });
    const statuses = [];
    for (let k = 0; k < 5; ++k) statuses.push(await open());
    assert.deepEqual(statuses, [200, 200, 200, 200, 503]);
    for (const s of streams) s.destroy();
  });

  test('--read-only turns the editor off', async () => {
    const ro = await startServer(['serve', 's.json', '--read-only'], tmp.dir);
    try {
      const headers = { Cookie: ro.cookie(), 'Content-Type': 'application/json' };
      assert.equal((await request(ro, { method: 'POST', path: '/api/settings', headers, body: '{"values":{"emitFrequency":"40"}}' })).status, 403);
      assert.equal((await request(ro, { path: '/api/settings', headers })).status, 403);
      assert.equal((await request(ro, { path: '/api/frame?f=2', headers })).status, 200);
    } finally {
      assert.equal(await ro.stop(), 130);
    }
    assert.equal(sceneNow(), sceneText);
  });

  test('view refuses damaged frame files with a message and goes on serving', async () => {
    host(['render', 's.json', '--frames', '0-3', '--out', 'v'], tmp.dir);
    const ply = readFileSync(join(tmp.dir, 'v', 'frame_0002.ply'));
    writeFileSync(join(tmp.dir, 'v', 'frame_0002.ply'), ply.subarray(0, ply.length - 5));
    writeFileSync(join(tmp.dir, 'v', 'frame_0003.ply'), 'ply\nformat ascii 1.0\nelement vertex 999999999\nend_header\n');
    const view = await startServer(['view', 'v'], tmp.dir);
    try {
      const get = (f) => request(view, { path: `/api/frame?f=${f}`, headers: { Cookie: view.cookie() } });
      for (const f of [2, 3]) {
        const res = await get(f);
        assert.equal(res.status, 500);
        assert.match(JSON.parse(res.body).error, new RegExp(`frame_000${f}.ply: `));
      }
      assert.equal((await get(9)).status, 404);
      assert.equal((await get(1)).status, 200);
      assert.equal((await request(view, { method: 'POST', path: '/api/settings', headers: { Cookie: view.cookie(), 'Content-Type': 'application/json' }, body: '{"values":{}}' })).status, 403);
    } finally {
      assert.equal(await view.stop(), 130);
    }
  });

  test('Ctrl-C ends the server with 130 and the scene as last saved', async () => {
    const res = await apply({ Origin: server.origin, 'Sec-Fetch-Site': 'same-origin' });
    assert.equal(res.status, 200);
    const saved = sceneNow();
    assert.notEqual(saved, sceneText);
    assert.equal(await server.stop(), 130);
    assert.equal(sceneNow(), saved);
    assert.match(host(['render', 's.json', '--frames', '0-2', '--out', 'r'], tmp.dir), /done: 3 frames/);
  });
});
