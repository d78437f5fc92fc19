// What the page's tests share: opening the page from disk on Playwright's
// clock, one cycle at a time, reading the display's hooks, and the trace
// program that says what each cycle must show.
const fs = require('fs');
const os = require('os');
const path = require('path');
const { execFileSync, spawnSync } = require('child_process');
const { test: base, expect } = require('@playwright/test');

// One tab for all the tests of a worker: a new context and its renderer
// cost more than most tests. Each test gets it back as a new tab would be:
// the default size and scheme, no other pages, no storage and no listeners.
// Its pages count the beeper's tones in tones, through a stand-in for Web
// Audio.
const test = base.extend({
  tab: [async ({ browser }, use) => {
    const context = await browser.newContext();
    await context.addInitScript(() => {
      window.tones = 0;
      window.AudioContext = class {
        constructor() { this.currentTime = 0; this.destination = {}; }
        createGain() { return { gain: {}, connect: (next) => next }; }
        createOscillator() {
          return { frequency: {}, connect: (next) => next, start: () => { window.tones += 1; }, stop() {} };
        }
      };
    });
    await use(await context.newPage());
    await context.close();
  }, { scope: 'worker' }],
  page: async ({ tab }, use) => {
    await use(tab);
    for (const other of tab.context().pages()) if (other !== tab) await other.close();
    await tab.removeAllListeners();
    // The page keeps its session as it is left: it keeps none from here.
    if (tab.url().startsWith('file:')) {
      await tab.evaluate(() => {
        sessionStorage.clear();
        Storage.prototype.setItem = () => {};
      });
    }
    await tab.goto('about:blank');
    await tab.setViewportSize({ width: 1280, height: 720 });
    await tab.emulateMedia({ colorScheme: 'light' });
  },
});

const PAGE = path.resolve(__dirname, '..', process.env.COOKER_PANEL_PAGE || '../build/web/cooker-panel.html');
const TRACE = process.env.COOKER_PANEL_TRACE || path.resolve(__dirname, '../../build/dev/cooker-panel-trace');
const PERIOD = 100;

// Opens the page (with fragment), paused on Playwright's clock; requests and
// errors collect what the page fetched and what its console complained of.
async function open(page, fragment = '') {
  const seen = { requests: [], errors: [] };
  page.on('request', (request) => seen.requests.push(request.url()));
  page.on('console', (message) => { if (message.type() === 'error') seen.errors.push(message.text()); });
  page.on('pageerror', (error) => seen.errors.push(String(error)));
  await page.clock.install({ time: 0 });
  await page.goto('file://' + PAGE + fragment);
  await page.waitForSelector('body[data-ready]');
  // From here on, time moves only when a test says so; a page slow to open
  // (a long link on a busy machine) may have passed 10 s already.
  await page.clock.pauseAt(Math.max(10000, await page.evaluate(() => Date.now()) + 1));
  await page.bringToFront();
  return seen;
}

async function cycles(page, count = 1) { await page.clock.runFor(PERIOD * count); }

// What the display shows: both rows and the colour the panel drew.
async function display(page) {
  return page.evaluate(() => {
    const row = (n) => document.querySelector(`[data-row="${n}"]`);
    return { row10: row(10).textContent, row11: row(11).textContent, color: row(10).dataset.color };
  });
}

async function sessionScript(page) { return page.textContent('[data-session-script]'); }

function trace(script, args, cwd) { return execFileSync(TRACE, args, { input: script, cwd }).toString(); }

// The display after every cycle of script, as the trace program reports it.
function tracedDisplay(script) { return csvDisplay(trace(script, ['--format=csv'])); }

// The same read from the trace's CSV.
function csvDisplay(csv) {
  const lines = csv.trim().split('\r\n').slice(1);
  return lines.map((line) => {
    // cycle,key,row10,row11,color,...: key may be quoted, the rows never hold commas
    const fields = line.match(/^(\d+),("(?:[^"]|"")*"|[^,]*),([^,]*),([^,]*),(\d+),/);
    return { key: fields[2], display: { row10: fields[3], row11: fields[4], color: fields[5] } };
  });
}

// The keys of a script in the notation, one per cycle ('.' none): "a e .{3}".
function keysOf(script) {
  const keys = [];
  for (const token of script.trim().split(/\s+/)) {
    const m = token.match(/^(.)(?:\{(\d+)\})?$/);
    for (let i = 0; i < Number(m[2] || 1); ++i) keys.push(m[1]);
  }
  return keys;
}

// The trace program run on bytes saved as a file of that name: its output
// and its message, as text or bytes.
function traceFile(bytes, name, args) {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'panel-trace-'));
  try {
    fs.writeFileSync(path.join(folder, name), bytes);
    const run = spawnSync(TRACE, [...args, name], { cwd: folder, maxBuffer: 1 << 28 });
    return { stdout: run.stdout, stderr: run.stderr.toString().trimEnd(), status: run.status };
  } finally {
    fs.rmSync(folder, { recursive: true });
  }
}

// What a download button gives, as bytes.
async function download(page, kind, button = `[data-action="download-${kind}"]`) {
  const [file] = await Promise.all([page.waitForEvent('download'), page.click(button)]);
  return fs.readFileSync(await file.path());
}

// Waits until a replay played at once (or a download) is done.
async function settled(page, timeout = 60000) {
  await page.waitForFunction(() => document.body.dataset.busy === undefined, null, { timeout });
}

async function cycle(page) { return Number((await page.textContent('[data-cycle]')).split(' ')[1]); }

// Runs the clock a millisecond at a time up to the next cycle.
async function toTick(page) {
  const before = await cycle(page);
  for (let ms = 0; ms <= PERIOD; ++ms) {
    await page.clock.runFor(1);
    if (await cycle(page) !== before) return;
  }
  throw new Error('no cycle in a period');
}

function expectClean(seen) {
  expect(seen.errors).toEqual([]);
  expect(seen.requests.filter((url) => !url.startsWith('file:') && !url.startsWith('data:'))).toEqual([]);
}

module.exports = {
  test, expect, open, cycles, display, sessionScript, trace, tracedDisplay, csvDisplay, keysOf, expectClean, traceFile,
  download, settled, cycle, toTick, PAGE,
};
