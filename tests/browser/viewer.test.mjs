// The viewer in headless chromium: it loads cleanly, draws the plug-in's
// colours, and every frame it shows is the frame `plmhost render` wrote.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { join } from 'node:path';
import { host, launchBrowser, openPage, readPly, showFrame, startServer, tempDir, waitFor } from './harness.mjs';

describe('viewer', () => {
  let tmp, server, viewServer, browser, page, errors;

  before(async () => {
    tmp = tempDir();
    // Short lives, so the whole colour ramp is on screen by frame 100.
    host(['new', 's.json', '--set', 'lifeTime=2', '--set', 'emitFrequency=150'], tmp.dir);
    host(['render', 's.json', '--out', 'r'], tmp.dir);
    server = await startServer(['serve', 's.json'], tmp.dir);
    browser = await launchBrowser();
    ({ page, errors } = await openPage(browser, server));
  });

  after(async () => {
    await browser?.close();
    await server?.stop();
    await viewServer?.stop();
    tmp?.remove();
  });

  test('the page loads without console errors and draws the colour ramp', async () => {
    await page.locator('#pointSize').fill('10');
    await showFrame(page, 100);
    const pixels = await page.evaluate(() => {
      const canvas = document.getElementById('canvas');
      const copy = document.createElement('canvas');
      copy.width = canvas.width;
      copy.height = canvas.height;
      const g = copy.getContext('2d');
      g.drawImage(canvas, 0, 0);
      const d = g.getImageData(0, 0, copy.width, copy.height).data;
      const near = (k, c) => Math.abs(d[k] - c[0]) < 24 && Math.abs(d[k + 1] - c[1]) < 24 && Math.abs(d[k + 2] - c[2]) < 24;
      const counts = { background: 0, birth: 0, halfway: 0, death: 0, total: d.length / 4 };
      for (let k = 0; k < d.length; k += 4) {
        if (near(k, [0x20, 0x24, 0x28])) counts.background++;
        if (near(k, [200, 0, 0])) counts.birth++;
        if (near(k, [255, 128, 0])) counts.halfway++;
        if (near(k, [255, 255, 255])) counts.death++;
      }
      return counts;
    });
    // The clear colour shows the view was drawn at all, the ramp that particles were.
    assert.ok(pixels.background > pixels.total * 0.3, `the view was not drawn: ${JSON.stringify(pixels)}`);
    for (const ramp of ['birth', 'halfway', 'death']) assert.ok(pixels[ramp] >= 5, `no ${ramp} colour: ${JSON.stringify(pixels)}`);
    assert.deepEqual(errors, []);
  });

  test('frame N is frame_N.ply: its count on the page, its bytes over HTTP', async () => {
    for (const f of [0, 37, 100, 149]) {
      const ply = readPly(join(tmp.dir, 'r'), f);
      assert.equal(await showFrame(page, f), ply.count, `frame ${f}`);
      const served = Buffer.from(await page.evaluate(async (n) => {
        const buffer = await (await fetch(`/api/frame?f=${n}&blur=1`)).arrayBuffer();
        return Array.from(new Uint8Array(buffer, 32));
      }, f));
      const n = ply.count;
      assert.ok(served.subarray(0, 12 * n).equals(ply.positions), `positions of frame ${f}`);
      assert.ok(served.subarray(12 * n, 24 * n).equals(ply.blur), `blur positions of frame ${f}`);
      assert.ok(served.subarray(24 * n).equals(ply.colors), `colours of frame ${f}`);
    }
  });

  test('scrubbing back and forth shows the same counts', async () => {
    for (const f of [120, 15, 149, 3, 120, 15, 64]) {
      assert.equal(await showFrame(page, f), readPly(join(tmp.dir, 'r'), f).count, `frame ${f}`);
    }
    await page.locator('#play').click();
    await waitFor(page, () => Number(document.getElementById('fps').value) > 5, null, 30000);
    await page.locator('#play').click();
    assert.deepEqual(errors, []);
  });

  test('view plays the rendered folder in the same viewer, without the editor', async () => {
    viewServer = await startServer(['view', 'r'], tmp.dir);
    const view = await openPage(browser, viewServer);
    assert.equal(await view.page.locator('#editor').isHidden(), true);
    for (const f of [77, 2]) assert.equal(await showFrame(view.page, f), readPly(join(tmp.dir, 'r'), f).count);
    assert.deepEqual(view.errors, []);
    assert.equal(await viewServer.stop(), 130);
  });
});
