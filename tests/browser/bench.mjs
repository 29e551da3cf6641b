// Benchmark (not a test): the page with 100,000 particles a frame (PARTICLES=N for another pool).
//   request to drawn: from the page's request to the frame on screen, for a
//     frame the server has cached and for the next frame it must simulate;
//   playback: frames drawn per second when playing cached frames.
// Run with a release build:
//   PLMHOST=build/release/bin/plmhost PLMHOST_WEB=web node tests/browser/bench.mjs
import { host, launchBrowser, openPage, showFrame, startServer, tempDir, waitFor } from './harness.mjs';

const particles = Number(process.env.PARTICLES || 100000);  // PARTICLES=10000 for a smaller pool
const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];
const tmp = tempDir();
let server, browser;
try {
  // The pool fills within a quarter of a second and stays full; the scene
  // runs at 60 frames a second so that playback is not held to 30 by it.
  host(['new', 'big.json', '--fps', '60', '--frames', '0-79', '--set', `maxParticles=${particles}`,
        '--set', `emitFrequency=${particles * 4}`, '--set', 'lifeTime=60'], tmp.dir);
  server = await startServer(['serve', 'big.json', '--read-only'], tmp.dir);
  browser = await launchBrowser();
  const { page } = await openPage(browser, server, { width: 1280, height: 720 });
  const stats = () => page.evaluate(() => ({ drawn: window.plmStats.requestToDrawnMs.slice(), data: window.plmStats.requestToDataMs.slice() }));
  const clear = () => page.evaluate(() => { window.plmStats.requestToDrawnMs.length = 0; window.plmStats.requestToDataMs.length = 0; });

  await showFrame(page, 30);  // simulates 0..30
  const count = await page.evaluate(() => document.body.dataset.count);
  await clear();
  for (let f = 31; f <= 60; ++f) await showFrame(page, f);  // one simulated frame each
  await new Promise((r) => setTimeout(r, 100));
  const simulated = await stats();
  await clear();
  // Cached in the server, not in the page: a fresh page asks for each.
  await page.evaluate(() => window.plmClearFrames());
  for (let f = 31; f <= 60; ++f) await showFrame(page, f);
  await new Promise((r) => setTimeout(r, 100));
  const cached = await stats();

  // Playback, once every frame of the scene is cached (80 frames of
  // 2.8 MB fit the default 256 MB cache).
  await showFrame(page, 79);
  await page.locator('#play').click();
  await new Promise((r) => setTimeout(r, 1500));
  const fps = [];
  for (let k = 0; k < 6; ++k) {
    await new Promise((r) => setTimeout(r, 500));
    fps.push(await page.evaluate(() => window.plmStats.fps));
  }
  await page.locator('#play').click();

  console.log(`particles per frame             ${count}`);
  const load = (await import('node:os')).loadavg()[0].toFixed(1);
  console.log(`request to drawn, cached frame  median ${median(cached.drawn).toFixed(1)} ms (data in the page after ${median(cached.data).toFixed(1)} ms) over ${cached.drawn.length} frames (aim <= 50 ms)`);
  console.log(`request to drawn, new frame     median ${median(simulated.drawn).toFixed(1)} ms (data in the page after ${median(simulated.data).toFixed(1)} ms) over ${simulated.drawn.length} frames, one frame simulated each`);
  console.log(`playback from the cache         median ${median(fps)} frames per second (aim >= 30)`);
  console.log(`load average during the run     ${load} (2 cores; headless chromium draws with software WebGL)`);
} finally {
  await browser?.close();
  await server?.stop();
  tmp.remove();
}
