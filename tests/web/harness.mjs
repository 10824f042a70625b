// What the browser tests and the measurements share: the built page served on
// loopback, Debian's chromium driven headless through puppeteer-core, and a
// probe in the page that sees every present.
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';

import puppeteer, {PredefinedNetworkConditions} from 'puppeteer-core';

export const SIZE = 512;
export const TITLE = 'ORVIX SW RENDERING';

const TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.wasm': 'application/wasm',
};

// Serves the files of `dir` named in TYPES, plus `extra`: path -> text, or
// null for a file that is missing. Resolves to {url, close}; the port is
// whatever the system gives.
export function serve(dir, extra = {}) {
  const server = http.createServer((request, response) => {
    const name = new URL(request.url, 'http://localhost').pathname;
    let body = extra[name];
    const file = path.join(dir, path.basename(name));
    if (body === undefined && TYPES[path.extname(name)] && fs.existsSync(file)) {
      body = fs.readFileSync(file);
    }
    if (body === undefined || body === null) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, {'Content-Type': TYPES[path.extname(name)], 'Cache-Control': 'no-store'});
    response.end(body);
  });
  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(0, '127.0.0.1', () => {
      resolve({
        url: `http://127.0.0.1:${server.address().port}`,
        close: () => new Promise((done) => server.close(done)),
      });
    });
  });
}

// Debian's chromium, headless, in a new empty profile. Without the
// background-networking flags it reaches for the network, which is closed here.
export async function launch() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'orvix-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: process.env.ORVIX_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    userDataDir: profile,
    args: [
      '--no-sandbox',  // as root
      '--disable-gpu',
      '--disable-quic',
      '--no-first-run',
      '--disable-background-networking',
      '--disable-component-update',
      '--disable-sync',
    ],
  });
  return {
    browser,
    async close() {
      await browser.close();
      fs.rmSync(profile, {recursive: true, force: true});
    },
  };
}

// Runs in the page before its own scripts: records the time of every
// putImageData on the program's canvas and, at the first, its pixels right
// after it.
function probe() {
  const presents = [];
  let first = null;
  const put = CanvasRenderingContext2D.prototype.putImageData;
  CanvasRenderingContext2D.prototype.putImageData = function (...args) {
    put.apply(this, args);
    if (this.canvas.id !== 'canvas') return;  // the inspector's pictures are not presents
    presents.push(performance.now());
    if (!first) first = this.getImageData(0, 0, this.canvas.width, this.canvas.height);
  };
  // Bytes as base64: a compact way out of the page.
  function base64(bytes) {
    let text = '';
    for (let i = 0; i < bytes.length; i += 0x8000) {
      text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    }
    return btoa(text);
  }
  window.orvixProbe = {presents, first: () => first, base64};
}

// A new page with the probe, opened at `url`. `before` runs in the page
// ahead of everything else too; `viewport` may bring a pixel ratio and touch
// (puppeteer's setViewport); `media` lists emulated media features;
// `network` names one of puppeteer's emulated links ('Fast 3G'). Console
// errors, page errors and failed requests are collected in `page.problems`.
export async function open(browser, url, {before, viewport, media, network} = {}) {
  const page = await browser.newPage();
  page.problems = [];
  page.on('console', (m) => m.type() === 'error' && page.problems.push('console: ' + m.text()));
  page.on('pageerror', (e) => page.problems.push('page error: ' + e.message));
  page.on('requestfailed', (r) => page.problems.push('request failed: ' + r.url()));
  page.on('response', (r) => r.status() >= 400 && page.problems.push(`HTTP ${r.status()}: ${r.url()}`));
  await page.setViewport(viewport || {width: 1024, height: 900});
  if (media) await page.emulateMediaFeatures(media);
  if (network) await page.emulateNetworkConditions(PredefinedNetworkConditions[network]);
  await page.evaluateOnNewDocument(probe);
  if (before) await page.evaluateOnNewDocument(before);
  await page.goto(url, {waitUntil: 'load'});
  return page;
}

export function presents(page) {
  return page.evaluate(() => window.orvixProbe.presents.length);
}

// Resolves when the page has presented `n` frames in all.
export async function waitForPresents(page, n, timeout = 10000) {
  await page.waitForFunction((k) => window.orvixProbe.presents.length >= k, {timeout}, n);
}

// RGBA bytes, SIZE x SIZE, of the canvas now, or of the first present.
export async function pixels(page, which = 'now') {
  const base64 = await page.evaluate((w) => {
    const image = w === 'first' ? window.orvixProbe.first()
        : document.getElementById('canvas').getContext('2d').getImageData(0, 0, 512, 512);
    return window.orvixProbe.base64(image.data);
  }, which);
  return Buffer.from(base64, 'base64');
}

// RGBA bytes of a PNG file as the browser decodes it, without colour management.
export async function decodePng(page, file) {
  const base64 = await page.evaluate(async (png) => {
    const blob = await (await fetch('data:image/png;base64,' + png)).blob();
    const bitmap = await createImageBitmap(blob, {colorSpaceConversion: 'none', premultiplyAlpha: 'none'});
    const canvas = new OffscreenCanvas(bitmap.width, bitmap.height);
    const context = canvas.getContext('2d');
    context.drawImage(bitmap, 0, 0);
    return window.orvixProbe.base64(context.getImageData(0, 0, bitmap.width, bitmap.height).data);
  }, fs.readFileSync(file).toString('base64'));
  return Buffer.from(base64, 'base64');
}

export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
