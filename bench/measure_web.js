#!/usr/bin/env node
// Measures the web page in headless Chromium beside the native programs, in
// the same run: the page's size, the time from opening it to its first
// panel frame, a trace of a million cycles as CSV and the search of the
// whole state space, both in the page. With --steady it also runs the page
// on the browser's real clock for 10 s after sessions of 0, 10^6 and 10^7
// cycles (each played at once through the page's own "Play at once"):
// the cycles run, how much of the time the main thread was busy (the
// DevTools protocol's task duration), the longest task (Long Tasks API)
// and the page's memory (JavaScript heap and the module's heap). With
// --page=FILE it measures another build of the page (an older one, say);
// with --screenshot=FILE it takes a picture of the page in the middle of a
// cook, light, and with --dark-screenshot=FILE in the dark scheme. With
// --instrument it times, after sessions of 10^6 and 10^7 cycles, a zoom
// step (the wheel on the waveform), a pan step (an arrow key), zoom to fit
// and a seek, each from the event to the pane or panel redrawn, at several
// places in the session; --wave-screenshot=FILE and
// --inspector-screenshot=FILE take the waveform zoomed in on the three
// bells and the inspector at an end.
// Usage: node bench/measure_web.js [--steady] [--instrument] [--page=FILE] [--screenshot=doc/page.png]
//        (after make web, make build)
const fs = require('fs');
const path = require('path');
const { execFileSync } = require('child_process');
const { chromium } = require(path.join(__dirname, '../web/node_modules/@playwright/test'));

const root = path.join(__dirname, '..');
const option = (name) => {
  const found = process.argv.find((a) => a === `--${name}` || a.startsWith(`--${name}=`));
  return found === undefined ? undefined : (found.split('=')[1] || true);
};
const page_file = path.resolve(option('page') || path.join(root, 'build/web/cooker-panel.html'));
const native = (program) => path.join(root, 'build/release', program);
const STEADY_SECONDS = 10;

function seconds(run) {
  const began = process.hrtime.bigint();
  run();
  return Number(process.hrtime.bigint() - began) / 1e9;
}

// The page's session brought to cycles through its own controls, then run
// for STEADY_SECONDS on the real clock.
async function steady(browser, cycles) {
  const page = await browser.newPage({ viewport: { width: 1000, height: 1000 } });
  await page.addInitScript(() => {
    window.longTasks = [];
    new PerformanceObserver((list) => {
      for (const entry of list.getEntries()) window.longTasks.push(entry.duration);
    }).observe({ type: 'longtask' });
  });
  await page.goto('file://' + page_file);
  await page.waitForFunction(() => document.querySelector('[data-cycle]').textContent !== 'cycle 0');
  const count = () => page.evaluate(() => Number(document.querySelector('[data-cycle]').textContent.split(' ')[1]));
  let played = 0;
  if (cycles > 0) {
    await page.fill('[data-replay-text]', `.{${cycles}}`);
    const began = Date.now();
    await page.click('[data-action="replay-at-once"]');
    await page.waitForFunction((n) => Number(document.querySelector('[data-cycle]').textContent.split(' ')[1]) >= n &&
                                      document.body.dataset.busy === undefined, cycles, { timeout: 600000 });
    played = (Date.now() - began) / 1000;
  }
  await page.waitForTimeout(1000);  // the first redraws after the replay are no steady running
  const cdp = await page.context().newCDPSession(page);
  await cdp.send('Performance.enable');
  const metric = async (name) => (await cdp.send('Performance.getMetrics')).metrics.find((m) => m.name === name).value;
  await page.evaluate(() => { window.longTasks = []; });
  const first = await count();
  const busy = await metric('TaskDuration');
  await page.waitForTimeout(STEADY_SECONDS * 1000);
  const ran = (await count()) - first;
  const busyShare = ((await metric('TaskDuration')) - busy) / STEADY_SECONDS;
  const tasks = await page.evaluate(() => window.longTasks);
  const heap = await metric('JSHeapUsedSize');
  const module = await page.evaluate(() => (window.CookerPanel.engine ? window.CookerPanel.engine.memory() : NaN));
  await page.close();
  return { cycles, played, ran, busyShare, longest: Math.max(0, ...tasks), longTasks: tasks.length,
           memory: (heap + module) / 1024 / 1024 };
}

// The page after a session of cycles played at once: the time from an event
// on the waveform or the seek button to its redraw (the handlers redraw
// before they return), at ten places across the session.
async function instrument(browser, cycles) {
  const page = await browser.newPage({ viewport: { width: 1280, height: 2200 } });
  await page.goto('file://' + page_file + '#keys=' + encodeURIComponent(`.{${cycles}}`));
  await page.waitForSelector('body[data-ready]');
  await page.waitForFunction(() => document.body.dataset.busy === undefined, null, { timeout: 600000 });
  await page.click('[data-action="pause"]');
  const times = await page.evaluate((total) => {
    const pane = document.querySelector('[data-wave]');
    const box = pane.getBoundingClientRect();
    const time = (run) => {
      const began = performance.now();
      run();
      return performance.now() - began;
    };
    const out = { zoom: [], pan: [], fit: [], seek: [] };
    const wheel = (deltaY) => pane.dispatchEvent(new WheelEvent('wheel', {
      deltaY, clientX: box.left + box.width / 2, clientY: box.top + 50, bubbles: true, cancelable: true,
    }));
    const key = (name) => pane.dispatchEvent(new KeyboardEvent('keydown', { key: name, bubbles: true }));
    // At each place: a seek there, then zoom steps from the whole session in
    // to ten cycles across, pans at the closest zoom (a window traced again
    // from its checkpoint), and back out to fit.
    for (let i = 1; i <= 10; ++i) {
      const cycle = Math.floor((total * i) / 11);
      out.fit.push(time(() => document.querySelector('[data-action="zoom-fit"]').click()));
      document.querySelector('[data-seek-cycle]').value = String(cycle);
      out.seek.push(time(() => document.querySelector('[data-action="seek"]').click()));
      for (let step = 0; step < 40; ++step) out.zoom.push(time(() => wheel(-300)));
      for (let step = 0; step < 4; ++step) out.pan.push(time(() => key(step % 2 ? 'ArrowRight' : 'ArrowLeft')));
      for (let step = 0; step < 8; ++step) out.zoom.push(time(() => wheel(300)));
      for (let step = 0; step < 4; ++step) out.pan.push(time(() => key(step % 2 ? 'ArrowRight' : 'ArrowLeft')));
    }
    return out;
  }, cycles);
  await page.close();
  const summary = (list) => {
    const sorted = [...list].sort((a, b) => a - b);
    return { median: sorted[Math.floor(sorted.length / 2)], worst: sorted[sorted.length - 1] };
  };
  return Object.fromEntries(Object.entries(times).map(([name, list]) => [name, summary(list)]));
}

(async () => {
  const browser = await chromium.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync'],
  });
  const page = await browser.newPage({ viewport: { width: 1000, height: 1000 } });
  const opened = Date.now();
  await page.goto('file://' + page_file);
  await page.waitForFunction(() => document.querySelector('[data-cycle]').textContent !== 'cycle 0');
  const first_frame = (Date.now() - opened) / 1000;
  const inside = await page.evaluate(async () => {
    const engine = window.CookerPanel.connect(await createPanelModule());
    engine.load(new TextEncoder().encode('.{1000000}'), 'bench');
    engine.play(true);
    engine.replayRun(1e6);
    let began = performance.now();
    engine.exportBegin(1);
    let bytes = 0;
    do bytes += engine.exportNext(1e6).length; while (engine.exportLeft() > 0);
    const trace = (performance.now() - began) / 1000;
    engine.start();
    began = performance.now();
    engine.ask('mode=9');
    const search = (performance.now() - began) / 1000;
    return { trace, bytes, search, states: engine.searchStates() };
  }).catch(() => null);  // a page from before the engine was reachable
  console.log(`page file: ${(fs.statSync(page_file).size / 1024).toFixed(0)} KB`);
  console.log(`opening to the first panel frame: ${first_frame.toFixed(2)} s`);
  if (inside) {
    const native_trace = seconds(() =>
      execFileSync('/bin/sh', ['-c', `echo '.{1000000}' | ${native('cooker-panel-trace')} -f csv >/dev/null`]));
    const native_search = seconds(() => execFileSync(native('cooker-panel-explore')));
    console.log(`10^6 cycles traced as CSV (${inside.bytes} bytes): page ${inside.trace.toFixed(2)} s, ` +
                `native ${native_trace.toFixed(2)} s (whole process)`);
    console.log(`whole space searched (${inside.states} states): page ${inside.search.toFixed(3)} s, ` +
                `native ${native_search.toFixed(3)} s (whole process, with the properties)`);
  }
  if (option('steady')) {
    for (const cycles of [0, 1e6, 1e7]) {
      const r = await steady(browser, cycles);
      console.log(`session of ${cycles} cycles${cycles ? ` (played at once in ${r.played.toFixed(1)} s)` : ''}: ` +
                  `${r.ran} cycles in ${STEADY_SECONDS} s, main thread busy ${(100 * r.busyShare).toFixed(1)} %, ` +
                  `${r.longTasks} tasks over 50 ms (longest ${r.longest.toFixed(0)} ms), ` +
                  `memory ${Number.isNaN(r.memory) ? 'unknown' : `${r.memory.toFixed(1)} MB`}`);
    }
  }
  if (option('instrument')) {
    for (const cycles of [1e6, 1e7]) {
      const r = await instrument(browser, cycles);
      const say = (name) => `${name} median ${r[name].median.toFixed(1)} ms, worst ${r[name].worst.toFixed(1)} ms`;
      console.log(`session of ${cycles} cycles: ${['zoom', 'pan', 'fit', 'seek'].map(say).join('; ')}`);
    }
  }
  for (const [flag, part] of [['wave-screenshot', '[data-wave]'], ['inspector-screenshot', '.face']]) {
    const shot = option(flag);
    if (!shot) continue;
    const view = await browser.newPage({ viewport: { width: 1100, height: 2000 } });
    await view.clock.install({ time: 0 });
    await view.goto('file://' + page_file + '#keys=' + encodeURIComponent('a e .{125}'));
    await view.waitForSelector('body[data-ready]');
    await view.waitForFunction(() => document.body.dataset.busy === undefined);
    await view.click('[data-action="pause"]');
    if (part === '[data-wave]') {
      // The three bells at cycles 101, 111 and 121: three seconds around them.
      await view.click('[data-action="zoom-fit"]');
      await view.focus('[data-wave]');
      for (let i = 0; i < 2; ++i) await view.keyboard.press('+');
      await view.fill('[data-seek-cycle]', '111');
      await view.click('[data-action="seek"]');
      await view.mouse.move(0, 0);
    }
    await (await view.$(part)).screenshot({ path: shot });
    await view.close();
  }
  // A cook in the middle: a minute's cook started, twenty seconds in, on the page's own clock.
  for (const [flag, scheme] of [['screenshot', 'light'], ['dark-screenshot', 'dark']]) {
    const shot = option(flag);
    if (!shot) continue;
    const cook = await browser.newPage({ viewport: { width: 1000, height: 1300 }, colorScheme: scheme });
    await cook.clock.install({ time: 0 });
    await cook.goto('file://' + page_file + '#keys=' + encodeURIComponent('b{2} . e'));
    await cook.waitForSelector('body[data-ready]');
    await cook.clock.runFor(100 * 200);
    await cook.screenshot({ path: shot });
    await cook.close();
  }
  await browser.close();
})();
