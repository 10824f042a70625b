// The pictures of the page in docs/, taken by headless chromium: a desktop
// browser and a phone (390 x 844, touch), running and with the frame
// inspector open on a linked call. Usage:
// node screenshots.mjs BUILD_DIR OUT_DIR
// (writes orvix-web.png, orvix-web-phone.png, orvix-inspector.png and
// orvix-inspector-phone.png)
import path from 'node:path';

import * as h from './harness.mjs';

const [dir, out] = process.argv.slice(2);
if (!dir || !out) {
  console.error('usage: node screenshots.mjs BUILD_DIR OUT_DIR');
  process.exit(2);
}
const DESKTOP = {width: 1000, height: 560};
// Half the phone's 3 device pixels a CSS pixel keeps the file small.
const PHONE = {width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true};
// A walk in a circle: the wall tiles behind the eye are dropped at the near
// plane, and the chosen call is a lit tile of the wall ahead.
const LINK = '#frame=1763&keys=space:1-,left:1-&call=156';
const SHOTS = [
  {file: 'orvix-web.png', viewport: DESKTOP},
  {file: 'orvix-web-phone.png', viewport: PHONE, scale: 0.5},
  {file: 'orvix-inspector.png', viewport: {width: 1280, height: 860}, link: LINK, pixel: [300, 300]},
  {file: 'orvix-inspector-phone.png', viewport: PHONE, scale: 0.5, link: LINK},
];
const server = await h.serve(dir);
const chrome = await h.launch();
try {
  for (const shot of SHOTS) {
    const page = await h.open(chrome.browser, server.url + '/orvix.html' + (shot.link || ''),
                              {viewport: shot.viewport});
    if (shot.link) {
      await page.waitForFunction(() => window.orvixInspector && window.orvixInspector.open, {timeout: 60000});
      await page.click('#o-painted');
      if (shot.pixel) {
        const box = await (await page.$('#marks')).boundingBox();
        await page.mouse.click(box.x + ((shot.pixel[0] + 0.5) * box.width) / 512,
                               box.y + ((shot.pixel[1] + 0.5) * box.height) / 512);
      }
    } else {
      await h.waitForPresents(page, 780, 60000);  // 26 s in: the cube lights the wall ahead
    }
    await page.evaluate(() => document.activeElement.blur());
    const clip = {x: 0, y: 0, width: shot.viewport.width, height: shot.viewport.height, scale: shot.scale || 1};
    await page.screenshot({path: path.join(out, shot.file), clip});
    await page.close();
  }
} finally {
  await chrome.close();
  await server.close();
}
