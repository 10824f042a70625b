// ORVIX's page in a real browser: Debian's chromium, headless, the build
// served on loopback. Usage: node web_test.mjs [--published] BUILD_DIR [CASE_SUBSTRING]
// With --published, the folder `scripts/web --dist` writes is served by a
// plain static server (python3 -m http.server) instead, and the cases that
// need doctored copies of the page are left out.
//
// Every case opens the page afresh (the program's state lives in function
// statics) and looks at it only from outside: the canvas's pixels, the
// document, and a probe that records each putImageData. Ends with the line
// "N passed, N failed"; the exit status is 1 when a case failed.
import {execFileSync, spawn} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import zlib from 'node:zlib';
import {fileURLToPath, pathToFileURL} from 'node:url';

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

// The row halfway between the top and bottom of the wall ahead in the middle
// column: the horizon, which only a tilt moves (the eye is at the wall's
// half height).
function horizon(rgba) {
  const rows = [];
  for (let y = 0; y < h.SIZE; ++y) if (wallAt(rgba, h.SIZE / 2, y) === 'ahead') rows.push(y);
  return rows.length ? (rows[0] + rows[rows.length - 1]) / 2 : null;
}

async function corners(page) {
  return cornersOfWallAhead(await h.pixels(page));
}

async function view(page) {
  const rgba = await h.pixels(page);
  return {...cornersOfWallAhead(rgba), horizon: horizon(rgba)};
}

// The view holds still: the corners and the horizon stay put over 20 frames.
// A view that keeps turning (3 rad/s), tilting or walking moves them within
// a frame or two. A turn moves both corners, so one corner seen in both
// pictures is enough: the drifting cube may hide the other in one of them.
async function checkStill(page, message) {
  await h.sleep(300);
  const before = await view(page);
  await h.sleep(600);
  const after = await view(page);
  const seen = Object.keys(before).filter((k) => before[k] !== null && after[k] !== null);
  check(seen.some((k) => k !== 'horizon') && seen.every((k) => before[k] === after[k]),
        `${message}: ${JSON.stringify(before)} then ${JSON.stringify(after)}`);
}

// ---- Cases ----------------------------------------------------------------

const cases = [];
// `doctored`: the case needs a changed copy of the page, which only the
// test's own server has.
const test = (name, run, {doctored = false} = {}) => cases.push({name, run, doctored});

// Devices as the DevTools protocol emulates them.
const PHONE = {width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true};
const TABLET = {width: 820, height: 1180, deviceScaleFactor: 2, isMobile: true, hasTouch: true};

// The button of that accessible name, found as assistive technology does.
async function button(page, name) {
  const found = await page.$(`::-p-aria([name="${name}"][role="button"])`);
  check(found, `no button named ${JSON.stringify(name)}`);
  return found;
}

async function centre(page, name) {
  const box = await (await button(page, name)).boundingBox();
  check(box, `the button ${JSON.stringify(name)} is not shown`);
  return {x: box.x + box.width / 2, y: box.y + box.height / 2};
}

// The page served, and opened from disk as a file manager opens it.
const OPENINGS = [{what: 'served'}, {what: 'opened from disk (a file:// URL)', file: true}];
for (const opening of OPENINGS) {
  test(`the page ${opening.what} runs, says what it is and logs no error`, async (env) => {
    const page = await env.open({
      file: opening.file,
      before: () => document.addEventListener('DOMContentLoaded', () => {
        window.loadingAtFirstPaint = !document.getElementById('loading').hidden;
      }),
    });
    await h.waitForPresents(page, 15);
    const state = await page.evaluate(() => {
      const canvas = document.getElementById('canvas');
      return {
        title: document.title,
        status: document.getElementById('status').hidden,
        focused: document.activeElement.id,
        outline: getComputedStyle(canvas).outlineStyle,
        label: canvas.getAttribute('aria-label'),
        inMain: canvas.closest('main') !== null,
        heading: document.querySelector('h1')?.textContent,
        links: [...document.querySelectorAll('header a')].map((a) => a.href),
        loading: [window.loadingAtFirstPaint, document.getElementById('loading').hidden],
      };
    });
    check(state.title === h.TITLE, `title is ${JSON.stringify(state.title)}`);
    check(state.status, 'the failure line is shown');
    check(state.focused === 'canvas', `the focus is on #${state.focused}, not the canvas`);
    check(state.outline !== 'none', 'the focused canvas has no focus ring');
    check(state.label === 'ORVIX: the rendered room' && state.inMain, 'the canvas lost its label or left <main>');
    check(state.heading === 'ORVIX', `the heading is ${JSON.stringify(state.heading)}`);
    const want = env.projectUrl ? [env.projectUrl] : [];
    check(JSON.stringify(state.links) === JSON.stringify(want), `links ${state.links}, configured ${want}`);
    check(state.loading[0] === true && state.loading[1] === true,
          `the loading line, at first paint and after the first frame: ${state.loading}`);
    check(page.problems.length === 0, page.problems.join('; '));
  });
}

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

// Ways of holding: each presses, and resolves to what lets go.
const keys = (...names) => async (page) => {
  for (const k of names) await page.keyboard.down(k);
  return async () => { for (const k of names) await page.keyboard.up(k); };
};
const touches = (...names) => async (page) => {
  const fingers = [];
  for (const name of names) {
    const {x, y} = await centre(page, name);
    fingers.push(await page.touchscreen.touchStart(x, y));
  }
  return async () => { for (const f of fingers) await f.end(); };
};
// The mouse pressed on a control, then slid off it before it is let go.
const mouseSlidingOff = (name) => async (page) => {
  const {x, y} = await centre(page, name);
  await page.mouse.move(x, y);
  await page.mouse.down();
  return async () => {
    await page.mouse.move(x, y + 400, {steps: 4});
    await h.sleep(100);
    await page.mouse.up();
  };
};

// Each key or control held for a moment moves the view as it should; once
// it is let go, the view holds still.
const TURNED_RIGHT = (a, b) => b.right < a.right - 20 && b.left < a.left - 20;
const WALKED = (a, b) => b.left < a.left && b.right > a.right;
const MOVES = [
  {what: 'holding the right arrow turns the view right', press: keys('ArrowRight'), hold: 150, moved: TURNED_RIGHT},
  {what: 'holding space walks towards the wall ahead', press: keys('Space'), hold: 300, moved: WALKED},
  {what: 'on a phone, touching Turn right turns the view right', viewport: PHONE, press: touches('Turn right'),
   hold: 150, moved: TURNED_RIGHT},
  {what: 'on a phone, touching Walk forward walks', viewport: PHONE, press: touches('Walk forward'), hold: 300,
   moved: WALKED},
  {
    what: 'on a phone, Turn right and Tilt up held together both act',
    viewport: PHONE,
    press: touches('Turn right', 'Tilt up'),
    hold: 100,
    moved: (a, b) => b.right < a.right - 20 && Math.abs(b.horizon - a.horizon) > 20,
  },
  {what: 'the mouse holding Turn right turns the view right', press: mouseSlidingOff('Turn right'), hold: 150,
   moved: (a, b) => b.right < a.right - 20},
];
for (const move of MOVES) {
  test(move.what + ', and letting go stops', async (env) => {
    const page = await env.open({viewport: move.viewport});
    await h.waitForPresents(page, 5);
    const start = await view(page);
    check(start.left !== null && start.right !== null, `the wall ahead is not in view: ${JSON.stringify(start)}`);
    const release = await move.press(page);
    await h.sleep(move.hold);
    await release();
    await h.sleep(100);
    const end = await view(page);
    check(move.moved(start, end), `the view ${JSON.stringify(start)} became ${JSON.stringify(end)}`);
    await checkStill(page, 'the view still moves after it was let go');
  });
}

// A key or control held while the page loses the focus sends its release
// elsewhere; the view must not go on turning.
const blur = (page) => page.evaluate(() => window.dispatchEvent(new FocusEvent('blur')));
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
  {what: 'the window loses the focus but the page stays visible', lose: blur},
  {
    what: 'the page is hidden',
    lose: (page) => page.evaluate(() => {
      Object.defineProperty(document, 'hidden', {configurable: true, get: () => true});
      Object.defineProperty(document, 'visibilityState', {configurable: true, get: () => 'hidden'});
      document.dispatchEvent(new Event('visibilitychange'));
      delete document.hidden;
      delete document.visibilityState;
      document.dispatchEvent(new Event('visibilitychange'));
    }),
  },
  {what: 'the window loses the focus while a finger holds Turn right', viewport: PHONE,
   press: touches('Turn right'), lose: blur},
];
for (const loss of FOCUS_LOSSES) {
  test(`what is held is let go when ${loss.what}`, async (env) => {
    const page = await env.open({viewport: loss.viewport});
    await h.waitForPresents(page, 5);
    const start = await corners(page);
    const release = await (loss.press || keys('ArrowRight'))(page);
    try {
      const turning = Date.now();
      while ((await corners(page)).right === start.right) {
        check(Date.now() - turning < 2000, 'the view did not turn while held');
        await h.sleep(20);
      }
      await loss.lose(page, env);
      await checkStill(page, 'the view still turns');
    } finally {
      await release();
    }
  });
}

// The program's five keys do not scroll the page; other keys still do. The
// page is made scrollable both ways by a block larger than the viewport.
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
  await page.evaluate(() => {
    const block = document.createElement('div');
    block.style.cssText = 'width: 3000px; height: 3000px';
    document.body.appendChild(block);
  });
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

// What holds the program (its Sleep does not return): nothing is presented
// until it lets go, and then the frames come again.
const hide = (hidden) => (page) => page.evaluate((on) => {
  if (on) {
    Object.defineProperty(document, 'hidden', {configurable: true, get: () => true});
    Object.defineProperty(document, 'visibilityState', {configurable: true, get: () => 'hidden'});
  } else {
    delete document.hidden;
    delete document.visibilityState;
  }
  document.dispatchEvent(new Event('visibilitychange'));
}, hidden);
const press = (name) => async (page) => (await button(page, name)).click();
const HOLDS = [
  {what: 'the Pause button, until Resume', hold: press('Pause'), letGo: press('Resume')},
  {
    what: 'Space on the focused Pause button (the button\'s key, not the program\'s), until Enter',
    hold: async (page) => {
      await (await button(page, 'Pause')).focus();
      await page.keyboard.press('Space');
    },
    letGo: (page) => page.keyboard.press('Enter'),
  },
  {what: 'a hidden page, until it is shown', hold: hide(true), letGo: hide(false)},
  {
    what: 'a visitor who prefers reduced motion, from the start until Start',
    media: [{name: 'prefers-reduced-motion', value: 'reduce'}],
    letGo: press('Start'),
  },
];
for (const held of HOLDS) {
  test(`nothing is presented while held by ${held.what}`, async (env) => {
    const page = await env.open({media: held.media});
    await h.waitForPresents(page, 1);
    if (held.hold) await held.hold(page);
    await h.sleep(300);
    const before = await h.presents(page);
    await h.sleep(1500);
    const after = await h.presents(page);
    check(after === before, `${after - before} presents while held`);
    check(held.hold || after === 1, `${after} presents before Start`);
    await held.letGo(page);
    await h.waitForPresents(page, after + 10, 3000);
  });
}

// The picture in every viewport: whole, with the controls in view, its size
// a whole multiple of 512 device pixels (each frame pixel k x k device
// pixels), or below 512 whole device pixels, smoothed; the help for the
// device in hand; on the desktop sizes, the whole help without scrolling.
const LAYOUTS = [
  {what: 'a phone (390 x 844, touch)', viewport: PHONE, device: 1024, touch: true},
  {what: 'a tablet (820 x 1180, touch)', viewport: TABLET, device: 1536, touch: true},
  {what: 'a maximised browser on a 1366 x 768 screen', viewport: {width: 1366, height: 657}, device: 512, help: true},
  {what: '1920 x 1080', viewport: {width: 1920, height: 1080}, device: 1024, help: true},
  {what: 'device pixel ratio 1.5', viewport: {width: 1280, height: 720, deviceScaleFactor: 1.5}, device: 1024,
   help: true},
  {what: 'a 400 x 400 window', viewport: {width: 400, height: 400}, device: 'whole, 100 to 511'},
];
for (const layout of LAYOUTS) {
  test(`on ${layout.what} the whole picture and the controls are in view`, async (env) => {
    const page = await env.open({viewport: layout.viewport});
    await h.waitForPresents(page, 1);
    const got = await page.evaluate(() => {
      const box = (id) => {
        const r = document.getElementById(id).getBoundingClientRect();
        return {left: r.left, top: r.top, right: r.right, bottom: r.bottom};
      };
      const canvas = document.getElementById('canvas');
      const shown = (selector) => [...document.querySelectorAll(selector)].some((e) => e.offsetParent !== null);
      return {
        canvas: box('canvas'), pad: box('pad'), help: box('help'),
        device: canvas.getBoundingClientRect().width * devicePixelRatio,
        smooth: getComputedStyle(canvas).imageRendering === 'auto',
        width: innerWidth, height: innerHeight, scrollWidth: document.documentElement.scrollWidth,
        touchHelp: shown('#help .touch'), keyHelp: shown('#help .keys'),
      };
    });
    const inView = (r) => r.left >= 0 && r.top >= 0 && r.right <= got.width + 0.5 && r.bottom <= got.height + 0.5;
    check(inView(got.canvas), `the picture ${JSON.stringify(got.canvas)} in ${got.width} x ${got.height}`);
    check(inView(got.pad), `the controls ${JSON.stringify(got.pad)} in ${got.width} x ${got.height}`);
    check(got.scrollWidth <= got.width, `the page is ${got.scrollWidth} wide`);
    // Layout rounds to 1/64 CSS pixel, and painting to whole device pixels.
    const whole = Math.abs(got.device - Math.round(got.device)) < 0.05;
    check(typeof layout.device === 'number' ? Math.abs(got.device - layout.device) < 0.05
                                            : whole && got.device >= 100 && got.device < 512,
          `the picture is ${got.device} device pixels, not ${layout.device}`);
    check(got.smooth === got.device < 512, `smoothed ${got.smooth} at ${got.device} device pixels`);
    check(got.touchHelp === !!layout.touch && got.keyHelp === !layout.touch,
          `touch help shown ${got.touchHelp}, key help shown ${got.keyHelp}`);
    check(!layout.help || inView(got.help), `the help ${JSON.stringify(got.help)} in ${got.width} x ${got.height}`);
  });
}

// Every failure ends the same way: the loop stops, the picture is marked as
// stopped, and one line says what failed and what to try, once, with no
// developer's detail.
const FAILURES = [
  {what: 'the page has no canvas', path: 'no-canvas.html', says: /^cannot open a window: the page has no canvas\. /},
  {
    what: 'the browser gives the canvas no 2D context',
    before: () => { HTMLCanvasElement.prototype.getContext = () => null; },
    says: /^cannot open a window: the browser gives the canvas no 2D context\. Try another browser/,
  },
  {
    what: 'the browser has no WebAssembly',
    before: () => { delete window.WebAssembly; },
    says: /^this browser does not run WebAssembly/,
  },
  {what: 'orvix.js is missing', path: 'gone/PAGE', says: /^its program file, orvix\.js, did not load\. /},
  {what: 'the WebAssembly is damaged', path: 'bad/PAGE', says: /^the program could not start \(its WebAssembly/},
  {
    what: 'an exception is thrown during frame 10',
    before: () => {
      const put = CanvasRenderingContext2D.prototype.putImageData;
      let frames = 0;
      CanvasRenderingContext2D.prototype.putImageData = function (...args) {
        if (++frames === 10) throw new Error('thrown by the test during frame 10');
        return put.apply(this, args);
      };
    },
    says: /^the program failed while drawing\. Reload the page/,
    presents: 9,
  },
];
for (const failure of FAILURES) {
  test(`when ${failure.what}, the loop stops and one line says so`, async (env) => {
    const page = await env.open({path: failure.path, before: failure.before});
    await page.waitForSelector('#status:not([hidden])', {timeout: 10000});
    const presents = await h.presents(page);
    await h.sleep(1000);
    const state = await page.evaluate(() => ({
      line: document.getElementById('status').textContent,
      lines: document.body.innerText.split('ORVIX stopped').length - 1,
      marked: document.getElementById('stage').classList.contains('stopped'),
      loading: !document.getElementById('loading').hidden,
      presents: window.orvixProbe.presents.length,
    }));
    const prefix = 'ORVIX stopped: ';
    const why = state.line.startsWith(prefix) ? state.line.slice(prefix.length) : '';
    check(failure.says.test(why), `the line is ${JSON.stringify(state.line)}`);
    check(!/ASSERTIONS|Aborted|Error|\.\.|\n|exit code/.test(why) && why.endsWith('.'),
          `the line holds a developer's detail: ${JSON.stringify(state.line)}`);
    check(state.lines === 1, `"ORVIX stopped" is shown ${state.lines} times`);
    check(state.marked && !state.loading, `the picture is marked stopped ${state.marked}, loading ${state.loading}`);
    check(state.presents === presents && presents === (failure.presents || 0),
          `${presents} frames presented, then ${state.presents}`);
  }, {doctored: !!failure.path});
}

// ---- The frame inspector ------------------------------------------------------

// The native build's record of one frame of the recorder's run, and the
// hashes of its replays (tests/web/native_trace.cpp, built by the default
// preset).
const NATIVE_TRACE = process.env.ORVIX_NATIVE_TRACE ||
    path.join(HERE, '..', '..', 'build', 'default', 'tests', 'orvix_native_trace');
const nativeRuns = new Map();
function native(frame, keys, calls = []) {
  const key = [frame, keys, ...calls].join(' ');
  if (!nativeRuns.has(key)) {
    check(fs.existsSync(NATIVE_TRACE), `no ${NATIVE_TRACE}: build the default preset first (or set ORVIX_NATIVE_TRACE)`);
    const out = execFileSync(NATIVE_TRACE, [String(frame), keys || '-', ...calls.map(String)], {encoding: 'utf8'});
    const lines = out.trim().split('\n');
    const replays = new Map(lines.filter((l) => l.startsWith('replay ')).map((l) => l.split(' ').slice(1)));
    nativeRuns.set(key, {lines: lines.filter((l) => !l.startsWith('replay ')), replays});
  }
  return nativeRuns.get(key);
}

const linkTo = ({frame, keys, call}) => `PAGE#frame=${frame}` + (keys ? `&keys=${keys}` : '') + `&call=${call}`;
// `link`: a LINKED row, or the page's path with its fragment.
async function openInspector(env, link, options = {}) {
  const p = typeof link === 'string' ? link : linkTo(link);
  const page = await env.open({path: p, file: link.file, ...options});
  await page.waitForFunction(() => window.orvixInspector && window.orvixInspector.open, {timeout: 45000});
  return page;
}
const inspector = (page) => page.evaluate(() => {
  const I = window.orvixInspector;
  return {lines: I.lines, k: I.k, frame: I.frame.frame, calls: I.calls.length, link: document.getElementById('link').value,
          scrub: document.getElementById('scrub').value, panel: document.getElementById('i-call').textContent};
});

// FNV-1a (64 bits) of the R, G, B bytes of RGBA pixels, as native_trace.cpp hashes its replays.
function fnv1a(rgba) {
  let h = 0xcbf29ce484222325n;
  for (let i = 0; i < rgba.length; i += 4) {
    for (let c = 0; c < 3; ++c) {
      h ^= BigInt(rgba[i + c]);
      h = (h * 0x100000001b3n) & 0xffffffffffffffffn;
    }
  }
  return h.toString(16).padStart(16, '0');
}
async function pictureAfter(page, k) {
  const base64 = await page.evaluate((call) => {
    const scrub = document.getElementById('scrub');
    scrub.value = String(call);
    scrub.dispatchEvent(new Event('input'));
    const data = document.getElementById('shot').getContext('2d').getImageData(0, 0, 512, 512).data;
    return window.orvixProbe.base64(data);
  }, k);
  return Buffer.from(base64, 'base64');
}

// Frames of the recorder's run, linked: a long walk in a circle, and a short
// run with ranges and a tap.
const LINKED = [
  // The link shown names the keys in the recorder's order, left to space.
  {frame: 1763, keys: 'space:1-,left:1-', shown: 'left:1-,space:1-', call: 212, replays: [0, 212, 605]},
  {frame: 45, keys: 'right:3-15,up:7,tap:down@30,space:20-', call: 3, replays: [3, 300, 605], file: true},
];
for (const linked of LINKED) {
  test(`a link to call ${linked.call} of frame ${linked.frame} (${linked.keys})` +
       (linked.file ? ', opened from disk,' : '') + ' opens that call, ' +
       'and the inspector\'s record equals the native trace field for field', async (env) => {
    const page = await openInspector(env, linked);
    const got = await inspector(page);
    check(got.frame === linked.frame && got.k === linked.call && got.scrub === String(linked.call) &&
          got.panel.startsWith(`Call ${linked.call} of ${got.calls}`),
          `frame ${got.frame}, call ${got.k}, scrubber at ${got.scrub}, panel "${got.panel.slice(0, 40)}"`);
    const shown = linkTo({...linked, keys: linked.shown || linked.keys});
    check(new URL(got.link).hash === new URL(shown, 'http://x/').hash, `the link shown is ${got.link}`);
    const want = native(linked.frame, linked.keys).lines;
    check(got.lines.length === want.length + 1, `${got.lines.length - 1} trace lines, not ${want.length}`);
    for (let i = 0; i < want.length; ++i) {
      const [a, b] = [JSON.parse(got.lines[i]), JSON.parse(want[i])];
      for (const field of new Set([...Object.keys(a), ...Object.keys(b)])) {
        check(JSON.stringify(a[field]) === JSON.stringify(b[field]),
              `line ${i + 1}, ${field}: ${JSON.stringify(a[field])} in the page, ${JSON.stringify(b[field])} native`);
      }
      check(got.lines[i] === want[i], `line ${i + 1} differs in its text`);
    }
  });
  test(`on frame ${linked.frame}, the picture after call k is the native replay of calls 0..k, ` +
       'and the frame presented the replay of them all', async (env) => {
    const page = await openInspector(env, linked);
    const want = native(linked.frame, linked.keys, linked.replays).replays;
    for (const k of linked.replays) {
      const hash = fnv1a(await pictureAfter(page, k));
      check(hash === want.get(String(k)), `after call ${k}: ${hash} in the page, ${want.get(String(k))} native`);
    }
    // The frame the program presented is the whole replay.
    const last = String(linked.replays[linked.replays.length - 1]);
    const presented = fnv1a(await h.pixels(page));
    check(presented === want.get(last), `the frame presented: ${presented}, the native replay ${want.get(last)}`);
  });
}

test('the published page, index.html and orvix.js, is at most 150 KB gzipped', async (env) => {
  const bytes = ['PAGE', 'orvix.js'].map((f) => fs.readFileSync(path.join(env.site.dir, f.replace('PAGE', env.site.page))));
  const size = zlib.gzipSync(Buffer.concat(bytes), {level: 9}).length;
  check(size <= 150 * 1024, `${size} bytes gzipped`);
});

// Frame 1763 of a walk in a circle shows the tiles' cracks and overlaps.
test('on frame 1763, the pixel history of a crack lists no call and that of an overlap two', async (env) => {
  const page = await openInspector(env, {...LINKED[0], call: 605});  // the whole frame
  await page.click('#o-cracks');
  await page.waitForFunction(() => window.orvixInspector.coverage, {timeout: 5000});
  const spots = await page.evaluate(() => {
    const n = window.orvixInspector.coverage;
    let crack = null;
    let overlap = null;
    for (let y = 1; y < 511; ++y) {
      for (let x = 1; x < 511; ++x) {
        const i = y * 512 + x;
        if (!crack && n[i] === 0 && n[i - 1] && n[i + 1] && n[i - 512] && n[i + 512]) crack = [x, y];
        if (!overlap && n[i] === 2) overlap = [x, y];
      }
    }
    return {crack, overlap};
  });
  check(spots.crack && spots.overlap, `crack ${spots.crack}, overlap ${spots.overlap}`);
  const box = await (await page.$('#marks')).boundingBox();
  for (const [what, [x, y], count, says] of [['crack', spots.crack, 0, /No call painted it/],
                                             ['overlap', spots.overlap, 2, /2 calls painted it: an overlap/]]) {
    // The press lands in the middle of the frame pixel, as a visitor's would.
    await page.mouse.click(box.x + ((x + 0.5) * box.width) / 512, box.y + ((y + 0.5) * box.height) / 512);
    const got = await page.evaluate(() => ({
      pixel: window.orvixInspector.pixel, list: window.orvixInspector.history,
      text: document.getElementById('i-history').textContent,
    }));
    check(got.pixel[0] === x && got.pixel[1] === y, `the ${what} at (${x}, ${y}) was read as ${got.pixel}`);
    check(got.list.length === count && says.test(got.text), `the ${what}'s history: ${got.text}`);
    // The last call listed left the colour that the picture shows.
    const shown = await page.evaluate(([px, py]) =>
      [...document.getElementById('shot').getContext('2d').getImageData(px, py, 1, 1).data.slice(0, 3)], [x, y]);
    const last = count ? got.list[count - 1].color : '#000000';
    check('#' + shown.map((c) => c.toString(16).padStart(2, '0')).join('') === last, `shown ${shown}, last colour ${last}`);
  }
});

test('on a phone (390 x 844, touch) the inspector opens under the picture and a finger scrubs the calls',
     async (env) => {
  const page = await env.open({viewport: PHONE});
  await h.waitForPresents(page, 5);
  await (await button(page, 'Inspect')).tap();
  await page.waitForFunction(() => window.orvixInspector.open, {timeout: 5000});
  const boxes = await page.evaluate(() => {
    const r = (id) => document.getElementById(id).getBoundingClientRect().toJSON();
    return {canvas: r('canvas'), panel: r('inspector'), scrub: r('scrub'), width: innerWidth,
            scrollWidth: document.documentElement.scrollWidth};
  });
  check(boxes.panel.top >= boxes.canvas.bottom && boxes.scrollWidth <= boxes.width,
        `picture ${JSON.stringify(boxes.canvas)}, panel ${JSON.stringify(boxes.panel)}, ${boxes.scrollWidth} wide`);
  await page.evaluate(() => document.getElementById('scrub').scrollIntoView({block: 'center'}));
  const scrub = await (await page.$('#scrub')).boundingBox();
  const before = await page.evaluate(() => window.orvixInspector.k);
  const y = scrub.y + scrub.height / 2;
  const finger = await page.touchscreen.touchStart(scrub.x + scrub.width - 4, y);
  await finger.move(scrub.x + scrub.width * 0.25, y);
  await finger.end();
  const after = await page.evaluate(() => ({k: window.orvixInspector.k, n: window.orvixInspector.calls.length,
                                            panel: document.getElementById('i-call').textContent}));
  check(after.k < before && Math.abs(after.k - 0.25 * (after.n - 1)) < 0.1 * after.n &&
        after.panel.startsWith(`Call ${after.k} `), `call ${before}, then ${after.k} of ${after.n}`);
});

// Every frame the page shows can be linked: the page keeps the keys of every
// frame, and the link runs the same frames on the same clock.
test('the link shown for a frame reached by playing opens the same frame, call for call', async (env) => {
  const page = await env.open();
  await h.waitForPresents(page, 5);
  await page.keyboard.down('ArrowRight');
  await h.sleep(300);
  await page.keyboard.down('Space');
  await h.sleep(300);
  await page.keyboard.up('ArrowRight');
  await page.keyboard.press('ArrowUp');  // a tap, most likely
  await h.sleep(200);
  // Clicked where it is, without taking the focus (which lets go of the keys).
  await page.evaluate(() => document.getElementById('inspect').click());
  await page.waitForFunction(() => window.orvixInspector.open, {timeout: 5000});
  await page.keyboard.up('Space');
  const played = await inspector(page);
  check(/keys=right:\d+-\d+,.*space:\d+-&/.test(played.link), `the link is ${played.link}`);
  const again = await openInspector(env, played.link.replace(/^.*\//, ''));
  const linked = await inspector(again);
  check(linked.frame === played.frame && linked.k === played.k, `frame ${linked.frame} call ${linked.k}`);
  check(linked.lines.join('\n') === played.lines.join('\n'), 'the linked frame\'s record differs from the frame played');
});

test('Inspect freezes the program, Next frame runs one frame, Close resumes it', async (env) => {
  const page = await env.open();
  await h.waitForPresents(page, 10);
  await (await button(page, 'Inspect')).click();
  await page.waitForFunction(() => window.orvixInspector.open, {timeout: 5000});
  const first = await page.evaluate(() => window.orvixInspector.frame.frame);
  const held = await h.presents(page);
  check(held === first, `frame ${first} inspected after ${held} presents`);
  await h.sleep(1000);
  check(await h.presents(page) === held, `${(await h.presents(page)) - held} presents while inspected`);
  await (await button(page, 'Next frame')).click();
  await page.waitForFunction((f) => window.orvixInspector.frame.frame === f + 1, {timeout: 5000}, first);
  await h.sleep(500);
  check(await h.presents(page) === held + 1, `${(await h.presents(page)) - held} presents for one more frame`);
  await (await button(page, 'Close')).click();
  await h.waitForPresents(page, held + 15, 3000);
  check(await page.evaluate(() => document.getElementById('inspector').hidden), 'the inspector is still shown');
});

// ---- Runner ---------------------------------------------------------------

// The folder scripts/web --dist writes, served by Python's own static server.
async function published(buildDir) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'orvix-published-'));
  execFileSync(path.join(HERE, '..', '..', 'scripts', 'web'), ['--dist', dir], {stdio: ['ignore', 'ignore', 'inherit']});
  const server = spawn('python3', ['-u', '-m', 'http.server', '--bind', '127.0.0.1', '--directory', dir, '0'],
                       {stdio: ['ignore', 'pipe', 'inherit']});
  const url = await new Promise((resolve, reject) => {
    let said = '';
    server.stdout.on('data', (chunk) => {
      said += chunk;
      const port = /port (\d+)/.exec(said);
      if (port) resolve(`http://127.0.0.1:${port[1]}`);
    });
    server.once('exit', (code) => reject(new Error(`python3 -m http.server ended with ${code}`)));
  });
  return {
    dir, page: 'index.html', url,
    async close() {
      server.kill();
      fs.rmSync(dir, {recursive: true, force: true});
    },
    buildDir,
  };
}

// The build folder, with doctored copies of the page beside it.
async function built(dir) {
  const page = fs.readFileSync(path.join(dir, 'orvix.html'), 'utf8');
  const noCanvas = page.replace(/<canvas [^>]*><\/canvas>/, '');
  if (noCanvas === page) throw new Error('no <canvas> element to take out of orvix.html');
  const script = fs.readFileSync(path.join(dir, 'orvix.js'), 'utf8');
  const magic = 'base64,AGFzbQ';  // "\0asm", the start of every WebAssembly module
  if (!script.includes(magic)) throw new Error('no embedded WebAssembly in orvix.js');
  const server = await h.serve(dir, {
    '/no-canvas.html': noCanvas,
    '/gone/orvix.html': page,
    '/gone/orvix.js': null,
    '/bad/orvix.html': page,
    '/bad/orvix.js': script.replace(magic, 'base64,AAAAAA'),
  });
  return {dir, page: 'orvix.html', url: server.url, close: server.close};
}

async function main() {
  const args = process.argv.slice(2);
  const publishedMode = args[0] === '--published';
  if (publishedMode) args.shift();
  const [dir, only] = args;
  if (!dir) {
    console.error('usage: node web_test.mjs [--published] BUILD_DIR [CASE_SUBSTRING]');
    process.exit(2);
  }
  const cache = fs.readFileSync(path.join(dir, 'CMakeCache.txt'), 'utf8');
  const projectUrl = (/^ORVIX_WEB_PROJECT_URL:STRING=(.*)$/m.exec(cache) || [])[1] || '';
  const site = publishedMode ? await published(dir) : await built(dir);
  const chrome = await h.launch();
  let passed = 0;
  let failed = 0;
  try {
    for (const c of cases.filter((c) => (!only || c.name.includes(only)) && !(publishedMode && c.doctored))) {
      const pages = [];
      const env = {
        browser: chrome.browser,
        projectUrl,
        site,
        async open({path: p = site.page, file, ...options} = {}) {
          p = p.replace('PAGE', site.page);
          const [name, hash] = p.split('#');
          const url = (file ? pathToFileURL(path.resolve(site.dir, name)).href : `${site.url}/${name}`) +
                      (hash === undefined ? '' : '#' + hash);
          const opened = await h.open(chrome.browser, url, options);
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
    await site.close();
  }
  console.log(`${passed} passed, ${failed} failed`);
  process.exit(failed === 0 && passed > 0 ? 0 : 1);
}

await main();
