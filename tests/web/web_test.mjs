// ORVIX's page in a real browser: Debian's chromium, headless, the build
// served on loopback. Usage: node web_test.mjs BUILD_DIR [CASE_SUBSTRING]
//
// Every case opens the page afresh (the program's state lives in function
// statics) and looks at it only from outside: the canvas's pixels, the
// document, and a probe that records each putImageData. Ends with the line
// "N passed, N failed"; the exit status is 1 when a case failed.
import fs from 'node:fs';
import path from 'node:path';
import {fileURLToPath} from 'node:url';

import * as h from './harness.mjs';

const HERE = path.dirname(fileURLToPath(import.meta.url));
const GOLDEN_FIRST_FRAME = path.join(HERE, '..', 'golden', 'first-frame.png');
const CASE_TIMEOUT_MS = 60000;

class Failure extends Error {}

function check(condition, message) {
  if (!condition) throw new Failure(message);
}

// ---- Reading the room from its pixels ---------------------------------------

// Which of the three walls seen at the start a pixel shows, by the channel
// its colour lacks, whatever the light: the wall ahead (x = +55, 0x0080FF)
// has no red and more blue than green, the one on the left (y = -55,
// 0xFF0080) no green, the one on the right (y = +55, 0x80FF00) no blue and
// more green than red. Some of the cube's pure colours pass for a wall too.
function wallAt(rgba, x, y) {
  const i = 4 * (y * h.SIZE + x);
  const [r, g, b] = [rgba[i], rgba[i + 1], rgba[i + 2]];
  if (r === 0 && b > g) return 'ahead';
  if (g === 0 && r > 0) return 'left';
  if (b === 0 && g > r) return 'right';
  return null;
}

// The columns where the wall ahead meets the walls left and right of it: the
// median over rows about the horizon, where the eye's height keeps both
// corners vertical. Null where a corner is not seen in most rows (the
// drifting cube can hide it in some).
function cornersOfWallAhead(rgba) {
  const lefts = [];
  const rights = [];
  for (let y = 192; y < 320; y += 4) {
    for (let x = 1; x < h.SIZE; ++x) {
      const pair = wallAt(rgba, x - 1, y) + '|' + wallAt(rgba, x, y);
      if (pair === 'left|ahead') lefts.push(x);
      if (pair === 'ahead|right') rights.push(x);
    }
  }
  const median = (v) => (v.length >= 16 ? [...v].sort((p, q) => p - q)[v.length >> 1] : null);
  return {left: median(lefts), right: median(rights)};
}

async function corners(page) {
  return cornersOfWallAhead(await h.pixels(page));
}

// The view holds still: the corners stay put over 20 frames. A view that
// keeps turning (3 rad/s) or walking moves them within a frame or two.
async function checkStill(page, message) {
  await h.sleep(300);
  const before = await corners(page);
  await h.sleep(600);
  const after = await corners(page);
  check(before.right !== null && before.right === after.right && before.left === after.left,
        `${message}: corners ${JSON.stringify(before)} then ${JSON.stringify(after)}`);
}

// ---- Cases ----------------------------------------------------------------

const cases = [];
const test = (name, run) => cases.push({name, run});

test('the page loads, is titled ' + JSON.stringify(h.TITLE) + ' and logs no error', async (env) => {
  const page = await env.open();
  await h.waitForPresents(page, 1);
  await h.sleep(1000);
  const state = await page.evaluate(() => ({
    title: document.title,
    status: document.getElementById('status').hidden,
    focused: document.activeElement.id,
  }));
  check(state.title === h.TITLE, `title is ${JSON.stringify(state.title)}`);
  check(state.status, 'the failure line is shown');
  check(state.focused === 'canvas', `the focus is on #${state.focused}, not the canvas`);
  check(page.problems.length === 0, page.problems.join('; '));
});

// In the first frame the eye is at the cube's centre, inside it, so every
// face of the cube faces away whatever its spin: the clock cannot show, and
// the whole frame must equal the recorder's.
test('the first frame equals the golden first frame, pixel for pixel', async (env) => {
  const page = await env.open();
  await h.waitForPresents(page, 1);
  const got = await h.pixels(page, 'first');
  const want = await h.decodePng(page, GOLDEN_FIRST_FRAME);
  check(got.length === want.length, `${got.length / 4} pixels, not ${want.length / 4}`);
  const wrong = [];
  for (let i = 0; i < got.length; i += 4) {
    if (got.compare(want, i, i + 4, i, i + 4) !== 0) wrong.push(i / 4);
  }
  const show = (p) => `(${p % h.SIZE}, ${Math.floor(p / h.SIZE)}) is ${[...got.subarray(4 * p, 4 * p + 4)]}` +
                      ` not ${[...want.subarray(4 * p, 4 * p + 4)]}`;
  check(wrong.length === 0, `${wrong.length} pixels differ; ${wrong.slice(0, 3).map(show).join('; ')}`);
});

// Each key held for a moment moves the view as it should; once it is
// released, the view holds still.
const MOVES = [
  {
    what: 'holding the right arrow turns the view right',
    key: 'ArrowRight',
    hold: 150,
    moved: (a, b) => b.right < a.right - 20 && b.left < a.left - 20,
  },
  {
    what: 'holding space walks towards the wall ahead',
    key: 'Space',
    hold: 300,
    moved: (a, b) => b.left < a.left && b.right > a.right,
  },
];
for (const move of MOVES) {
  test(move.what + ', and releasing it stops', async (env) => {
    const page = await env.open();
    await h.waitForPresents(page, 5);
    const start = await corners(page);
    check(start.left !== null && start.right !== null, `the wall ahead is not in view: ${JSON.stringify(start)}`);
    await page.keyboard.down(move.key);
    await h.sleep(move.hold);
    await page.keyboard.up(move.key);
    await h.sleep(100);
    const end = await corners(page);
    check(move.moved(start, end), `corners ${JSON.stringify(start)} became ${JSON.stringify(end)}`);
    await checkStill(page, 'the view still moves after the key is released');
  });
}

// A key held while the page loses the focus sends its keyup elsewhere;
// the view must not go on turning.
const FOCUS_LOSSES = [
  {
    what: 'another tab comes to the front',  // blur and hidden, as in a real browser
    async lose(page, env) {
      const other = await env.browser.newPage();
      await other.bringToFront();
      await h.sleep(100);
      await page.bringToFront();
      await other.close();
    },
  },
  {
    what: 'the window loses the focus but the page stays visible',
    lose: (page) => page.evaluate(() => window.dispatchEvent(new FocusEvent('blur'))),
  },
  {
    what: 'the page is hidden',
    lose: (page) => page.evaluate(() => {
      Object.defineProperty(document, 'hidden', {configurable: true, get: () => true});
      Object.defineProperty(document, 'visibilityState', {configurable: true, get: () => 'hidden'});
      document.dispatchEvent(new Event('visibilitychange'));
      delete document.hidden;
      delete document.visibilityState;
    }),
  },
];
for (const loss of FOCUS_LOSSES) {
  test(`a key held is released when ${loss.what}`, async (env) => {
    const page = await env.open();
    await h.waitForPresents(page, 5);
    const start = await corners(page);
    await page.keyboard.down('ArrowRight');
    try {
      await h.sleep(100);
      await loss.lose(page, env);
      const turned = await corners(page);
      check(turned.right !== start.right, `the view did not turn while the key was down: ${JSON.stringify(turned)}`);
      await checkStill(page, 'the view still turns');
    } finally {
      await page.keyboard.up('ArrowRight');
    }
  });
}

// The program's five keys do not scroll the page; other keys still do. The
// page is made scrollable both ways by a viewport smaller than the canvas.
const SCROLLS = [
  ['ArrowLeft', false],
  ['ArrowRight', false],
  ['ArrowUp', false],
  ['ArrowDown', false],
  ['Space', false],
  ['PageDown', true],
];
test('the program\'s keys do not scroll the page; PageDown does', async (env) => {
  const page = await env.open({viewport: {width: 400, height: 400}});
  await h.waitForPresents(page, 1);
  const wrong = [];
  for (const [key, scrolls] of SCROLLS) {
    await page.evaluate(() => window.scrollTo(40, 40));
    await page.keyboard.press(key);
    await h.sleep(400);  // smooth scrolling ends well within this
    const [x, y] = await page.evaluate(() => [window.scrollX, window.scrollY]);
    if ((x !== 40 || y !== 40) !== scrolls) wrong.push(`${key} ${scrolls ? 'did not scroll' : `scrolled to ${x}, ${y}`}`);
  }
  check(wrong.length === 0, wrong.join('; '));
});

test('the page presents 30 ± 3 frames a second over 5 s', async (env) => {
  const page = await env.open();
  await h.waitForPresents(page, 1);
  await h.sleep(500);
  const before = await page.evaluate(() => [window.orvixProbe.presents.length, performance.now()]);
  await h.sleep(5000);
  const after = await page.evaluate(() => [window.orvixProbe.presents.length, performance.now()]);
  const rate = (after[0] - before[0]) / ((after[1] - before[1]) / 1000);
  check(rate >= 27 && rate <= 33, `${rate.toFixed(1)} presents a second`);
});

// A page where the program cannot make its window: WinMain returns -1, and
// the page says why in one line instead of staying blank.
const BROKEN = [
  {what: 'the page has no canvas', page: '/no-canvas.html', reason: 'the page has no canvas'},
  {
    what: 'the browser gives the canvas no 2D context',
    page: '/orvix.html',
    before: () => { HTMLCanvasElement.prototype.getContext = () => null; },
    reason: 'the browser gives the canvas no 2D context',
  },
];
for (const broken of BROKEN) {
  test(`when ${broken.what}, the page says so`, async (env) => {
    const page = await env.open({path: broken.page, before: broken.before});
    await page.waitForSelector('#status:not([hidden])', {timeout: 10000});
    const state = await page.evaluate(() => ({
      line: document.getElementById('status').textContent,
      title: document.title,
      presents: window.orvixProbe.presents.length,
    }));
    const want = `ORVIX stopped: cannot open a window: ${broken.reason} (exit code -1).`;
    check(state.line === want, `the line is ${JSON.stringify(state.line)}, not ${JSON.stringify(want)}`);
    check(state.presents === 0, `${state.presents} frames presented`);
  });
}

// ---- Runner ---------------------------------------------------------------

async function main() {
  const [dir, only] = process.argv.slice(2);
  if (!dir) {
    console.error('usage: node web_test.mjs BUILD_DIR [CASE_SUBSTRING]');
    process.exit(2);
  }
  const page = fs.readFileSync(path.join(dir, 'orvix.html'), 'utf8');
  const noCanvas = page.replace(/<canvas [^>]*><\/canvas>/, '');
  if (noCanvas === page) throw new Error('no <canvas> element to take out of orvix.html');
  const server = await h.serve(dir, {'/no-canvas.html': noCanvas});
  const chrome = await h.launch();
  let passed = 0;
  let failed = 0;
  try {
    for (const c of cases.filter((c) => !only || c.name.includes(only))) {
      const pages = [];
      const env = {
        browser: chrome.browser,
        async open({path: p = '/orvix.html', ...options} = {}) {
          const opened = await h.open(chrome.browser, server.url + p, options);
          pages.push(opened);
          return opened;
        },
      };
      let timer;
      try {
        await Promise.race([
          c.run(env),
          new Promise((_, reject) => {
            timer = setTimeout(() => reject(new Failure(`took longer than ${CASE_TIMEOUT_MS} ms`)), CASE_TIMEOUT_MS);
          }),
        ]);
        ++passed;
        console.log(`ok - ${c.name}`);
      } catch (e) {
        ++failed;
        console.log(`FAIL - ${c.name}: ${e instanceof Failure ? e.message : e.stack}`);
      } finally {
        clearTimeout(timer);
        for (const p of pages) await p.close().catch(() => {});
      }
    }
  } finally {
    await chrome.close();
    await server.close();
  }
  console.log(`${passed} passed, ${failed} failed`);
  process.exit(failed === 0 && passed > 0 ? 0 : 1);
}

await main();
