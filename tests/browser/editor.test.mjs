// The settings form in headless chromium: applying goes through the
// plug-in's dialog and saves the scene; the frames follow the saved scene;
// Revert, Cancel and --read-only.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { host, launchBrowser, openPage, readPly, showFrame, startServer, tempDir, waitFor } from './harness.mjs';

const settingsOf = (dir) => JSON.parse(readFileSync(join(dir, 's.json'), 'utf8')).settings.base64;

async function apply(page) {
  await page.evaluate(() => { delete document.getElementById('editStatus').dataset.saved; });
  await page.locator('#apply').click();
  await waitFor(page, () => document.getElementById('editStatus').dataset.saved !== undefined);
  return page.evaluate(() => ({ ...document.getElementById('editStatus').dataset, text: document.getElementById('editStatus').textContent }));
}

describe('editor', () => {
  let tmp, server, browser, page, errors;
  const servers = [];

  before(async () => {
    tmp = tempDir();
    host(['new', 's.json'], tmp.dir);
    server = await startServer(['serve', 's.json'], tmp.dir);
    browser = await launchBrowser();
    ({ page, errors } = await openPage(browser, server));
    await page.waitForSelector('#apply');
  });

  after(async () => {
    await browser?.close();
    await server?.stop();
    for (const s of servers) await s.stop();
    tmp?.remove();
  });

  test('changing emitFrequency saves the scene, resets the model and the counts follow the saved scene', async () => {
    const before = await showFrame(page, 60);
    const saved = settingsOf(tmp.dir);
    await page.locator('input[name=emitFrequency]').fill('80');
    const result = await apply(page);
    assert.equal(result.saved, 'true');
    assert.equal(result.reset, 'true');
    assert.match(result.text, /emitFrequency: 25 → 80/);
    assert.notEqual(settingsOf(tmp.dir), saved);
    // The page asks for the frame again and the server replays from frame 0.
    await waitFor(page, (n) => document.body.dataset.count !== String(n), before);
    const after = Number(await page.evaluate(() => document.body.dataset.count));
    host(['render', 's.json', '--frames', '0-60', '--out', 'r80'], tmp.dir);
    assert.equal(after, readPly(join(tmp.dir, 'r80'), 60).count);
  });

  test('a colour change is saved without resetting the model', async () => {
    const count = await showFrame(page, 60);
    const saved = settingsOf(tmp.dir);
    await page.locator('input[name=colorBirth]').fill('#00ff00');
    const result = await apply(page);
    assert.equal(result.saved, 'true');
    assert.equal(result.reset, 'false');
    assert.notEqual(settingsOf(tmp.dir), saved);
    assert.equal(await showFrame(page, 61) && await showFrame(page, 60), count);
  });

  test('Revert restores the saved values and saves nothing', async () => {
    const saved = settingsOf(tmp.dir);
    const field = page.locator('input[name=emitFrequency]');
    await field.fill('5');
    await page.locator('input[name=colorBirth]').fill('#123456');
    await page.locator('#revert').click();
    assert.equal(await field.inputValue(), '80');
    assert.equal(await page.locator('input[name=colorBirth]').inputValue(), '#00ff00');
    assert.equal(settingsOf(tmp.dir), saved);
    assert.deepEqual(errors, []);
  });

  test('Cancel stops a long replay, and the server goes on serving', async () => {
    host(['new', 'long.json', '--frames', '0-200000', '--set', 'maxParticles=2000', '--set', 'emitFrequency=200'], tmp.dir);
    const long = await startServer(['serve', 'long.json'], tmp.dir);
    servers.push(long);
    const { page: p, errors: e } = await openPage(browser, long);
    await p.locator('#frame').fill('200000');
    await p.waitForSelector('#progress', { state: 'visible', timeout: 60000 });
    await waitFor(p, () => document.body.dataset.progress === 'running');
    await p.locator('#cancel').click();
    await waitFor(p, () => document.body.dataset.progress === 'cancelled', null, 30000);
    assert.match(await p.locator('#status').textContent(), /cancel/);
    assert.ok(Number(await p.evaluate(() => document.body.dataset.frame)) < 200000);
    host(['render', 'long.json', '--frames', '0-12', '--out', 'r'], tmp.dir);
    assert.equal(await showFrame(p, 12), readPly(join(tmp.dir, 'r'), 12).count);
    assert.deepEqual(e, []);
  });

  test('--read-only shows the viewer without the editor', async () => {
    const ro = await startServer(['serve', 's.json', '--read-only'], tmp.dir);
    servers.push(ro);
    const { page: p, errors: e } = await openPage(browser, ro);
    assert.equal(await p.locator('#editor').isHidden(), true);
    assert.ok(Number(await p.evaluate(() => document.body.dataset.count)) >= 0);
    assert.deepEqual(e, []);
  });
});
