#!/usr/bin/env node
// Measures the web page in headless Chromium beside the native programs, in
// the same run: the page's size, the time from opening it to its first
// panel frame, a trace of a million cycles as CSV and the search of the
// whole state space, both in the page; with --screenshot=FILE it also takes
// a picture of the page in the middle of a cook.
// Usage: node bench/measure_web.js [--screenshot=doc/page.png]   (after make web, make build)
const fs = require('fs');
const path = require('path');
const { execFileSync } = require('child_process');
const { chromium } = require(path.join(__dirname, '../web/node_modules/@playwright/test'));

const root = path.join(__dirname, '..');
const page_file = path.join(root, 'build/web/cooker-panel.html');
const native = (program) => path.join(root, 'build/release', program);

function seconds(run) {
  const began = process.hrtime.bigint();
  run();
  return Number(process.hrtime.bigint() - began) / 1e9;
}

(async () => {
  const shot = process.argv.find((a) => a.startsWith('--screenshot='));
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
    const m = await createPanelModule();
    const call = (name, type, args = [], values = []) => m.ccall(name, type, args, values);
    call('cp_load', 'string', ['string', 'string'], ['.{1000000}', 'bench']);
    call('cp_replay_all', 'number');
    let began = performance.now();
    call('cp_export', 'number', ['number'], [1]);  // the text stays in the module's memory
    const trace = (performance.now() - began) / 1000;
    call('cp_start', null);
    began = performance.now();
    call('cp_ask', 'string', ['string'], ['mode=9']);
    const search = (performance.now() - began) / 1000;
    return { trace, search, states: call('cp_search_states', 'number') };
  });
  const native_trace = seconds(() =>
    execFileSync('/bin/sh', ['-c', `echo '.{1000000}' | ${native('cooker-panel-trace')} -f csv >/dev/null`]));
  const native_search = seconds(() => execFileSync(native('cooker-panel-explore')));
  console.log(`page file: ${(fs.statSync(page_file).size / 1024).toFixed(0)} KB`);
  console.log(`opening to the first panel frame: ${first_frame.toFixed(2)} s`);
  console.log(`10^6 cycles traced as CSV: page ${inside.trace.toFixed(2)} s, native ${native_trace.toFixed(2)} s (whole process)`);
  console.log(`whole space searched (${inside.states} states): page ${inside.search.toFixed(3)} s, ` +
              `native ${native_search.toFixed(3)} s (whole process, with the properties)`);
  if (shot) {
    // A cook in the middle: a minute's cook started, twenty seconds in, on the page's own clock.
    const cook = await browser.newPage({ viewport: { width: 1000, height: 1180 } });
    await cook.clock.install({ time: 0 });
    await cook.goto('file://' + page_file + '#keys=' + encodeURIComponent('b{2} . e'));
    await cook.waitForSelector('body[data-ready]');
    await cook.clock.runFor(100 * 200);
    await cook.screenshot({ path: shot.split('=')[1] });
  }
  await browser.close();
})();
