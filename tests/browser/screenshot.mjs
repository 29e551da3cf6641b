// Takes the README's picture of the page (docs/serve.png) in the same
// headless chromium the tests use.  Run from the build folder's environment:
//   PLMHOST=build/release/bin/plmhost PLMHOST_WEB=web node tests/browser/screenshot.mjs docs/serve.png
import { resolve } from 'node:path';
import { host, launchBrowser, openPage, showFrame, startServer, tempDir } from './harness.mjs';

const out = resolve(process.argv[2] || 'docs/serve.png');
const tmp = tempDir();
let server, browser;
try {
  host(['new', 's.json', '--set', 'lifeTime=3', '--set', 'emitFrequency=120'], tmp.dir);
  server = await startServer(['serve', 's.json'], tmp.dir);
  browser = await launchBrowser();
  const { page } = await openPage(browser, server, { width: 1500, height: 760 });
  await page.locator('#pointSize').fill('5');
  await page.locator('#blur').check();
  await showFrame(page, 110);
  await page.waitForSelector('#progress', { state: 'hidden' });
  await page.screenshot({ path: out });
  console.log(out);
} finally {
  await browser?.close();
  await server?.stop();
  tmp.remove();
}
