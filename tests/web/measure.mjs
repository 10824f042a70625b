// Measures the page in headless chromium: load to first frame, presents a
// second, script time a frame and the renderer process's CPU while visible,
// paused and hidden, and the time from a link to the inspector open at frame
// 1763, over a few fresh loads. Usage:
// node measure.mjs BUILD_DIR [LOADS] [NETWORK], NETWORK one of puppeteer's
// emulated links, e.g. 'Fast 3G' (the default is loopback as it is).
import fs from 'node:fs';

import * as h from './harness.mjs';

const dir = process.argv[2];
const loads = Number(process.argv[3] || 5);
const network = process.argv[4];
const WINDOW_MS = 5000;
const TICK = 100;  // clock ticks a second, as /proc/PID/stat counts CPU time

// The renderer processes under the browser: pid -> CPU ticks used so far.
function rendererTicks(browserPid) {
  const ticks = new Map();
  for (const pid of fs.readdirSync('/proc').filter((d) => /^\d+$/.test(d))) {
    try {
      const cmdline = fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8');
      const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
      const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
      // After the name: state, ppid, ... utime and stime are the 12th and 13th.
      if (cmdline.includes('--type=renderer') && ancestor(Number(pid), browserPid)) {
        ticks.set(pid, Number(fields[11]) + Number(fields[12]));
      }
    } catch {
      // the process ended meanwhile
    }
  }
  return ticks;
}

function ancestor(pid, of) {
  for (let p = pid; p > 1;) {
    if (p === of) return true;
    const stat = fs.readFileSync(`/proc/${p}/stat`, 'utf8');
    p = Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]);
  }
  return false;
}

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

// The renderer's CPU over WINDOW_MS, in % of a core: the busiest renderer.
async function cpu(chrome) {
  const pid = chrome.browser.process().pid;
  const before = rendererTicks(pid);
  await h.sleep(WINDOW_MS);
  const after = rendererTicks(pid);
  let most = 0;
  for (const [p, t] of after) most = Math.max(most, t - (before.get(p) || 0));
  return (100 * most) / TICK / (WINDOW_MS / 1000);
}

const server = await h.serve(dir);
const chrome = await h.launch();
const rows = [];
try {
  for (let i = 0; i < loads; ++i) {
    const page = await h.open(chrome.browser, server.url + '/orvix.html', {network});
    await h.waitForPresents(page, 1, 60000);
    const first = await page.evaluate(() => window.orvixProbe.presents[0]);
    await h.sleep(1000);  // past the start
    const before = {metrics: await page.metrics(), presents: await h.presents(page)};
    const visible = await cpu(chrome);
    const after = {metrics: await page.metrics(), presents: await h.presents(page)};
    const frames = after.presents - before.presents;
    await page.click('#run');  // Pause
    const paused = await cpu(chrome);
    await page.click('#run');  // Resume
    const other = await chrome.browser.newPage();
    await other.bringToFront();  // the page is hidden behind it
    const hidden = await cpu(chrome);
    await other.close();
    const start = Date.now();
    const linked = await h.open(chrome.browser, server.url + '/orvix.html#frame=1763&keys=space:1-,left:1-&call=212',
                                {network});
    await linked.waitForFunction(() => window.orvixInspector && window.orvixInspector.open, {timeout: 120000});
    const link = Date.now() - start;
    await linked.close();
    rows.push({
      first,
      link,
      rate: frames / (WINDOW_MS / 1000),
      script: (after.metrics.ScriptDuration - before.metrics.ScriptDuration) * 1000 / frames,
      visible,
      paused,
      hidden,
    });
    await page.close();
  }
} finally {
  await chrome.close();
  await server.close();
}
for (const [key, label, unit] of [['first', 'load to first frame', 'ms'], ['rate', 'presents a second', ''],
                                  ['script', 'script time a frame', 'ms'],
                                  ['visible', 'renderer CPU, visible', '% of a core'],
                                  ['paused', 'renderer CPU, paused', '% of a core'],
                                  ['hidden', 'renderer CPU, hidden', '% of a core'],
                                  ['link', 'link to the inspector at frame 1763', 'ms']]) {
  const values = rows.map((r) => r[key]);
  console.log(`${label}: median ${median(values).toFixed(2)} ${unit} (${values.map((v) => v.toFixed(2)).join(', ')})`);
}
