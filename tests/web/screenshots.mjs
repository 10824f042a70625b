// The README's pictures of the page, taken by headless chromium: a desktop
// browser and a phone (390 x 844, touch). Usage:
// node screenshots.mjs BUILD_DIR OUT_DIR   (writes orvix-web.png, orvix-web-phone.png)
import path from 'node:path';

import * as h from './harness.mjs';

const [dir, out] = process.argv.slice(2);
if (!dir || !out) {
  console.error('usage: node screenshots.mjs BUILD_DIR OUT_DIR');
  process.exit(2);
}
const SHOTS = [
  {file: 'orvix-web.png', viewport: {width: 1000, height: 560}},
  // Half the phone's 3 device pixels a CSS pixel keeps the file small.
  {file: 'orvix-web-phone.png', viewport: {width: 390, height: 844, deviceScaleFactor: 3, isMobile: true,
                                           hasTouch: true}, scale: 0.5},
];
const server = await h.serve(dir);
const chrome = await h.launch();
try {
  for (const shot of SHOTS) {
    const page = await h.open(chrome.browser, server.url + '/orvix.html', {viewport: shot.viewport});
    await h.waitForPresents(page, 780, 60000);  // 26 s in: the cube lights the wall ahead
    await page.evaluate(() => document.activeElement.blur());
    const clip = {x: 0, y: 0, width: shot.viewport.width, height: shot.viewport.height, scale: shot.scale || 1};
    await page.screenshot({path: path.join(out, shot.file), clip});
    await page.close();
  }
} finally {
  await chrome.close();
  await server.close();
}
