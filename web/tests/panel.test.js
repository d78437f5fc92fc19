// The page in Chromium, driven by its controls and the keyboard on
// Playwright's clock: every cycle shows what the trace program reports for
// the session's own script, the session's downloads are the trace program's,
// and a replay, a shared link and an answer of the explorer end where the
// trace program says.
const fs = require('fs');
const os = require('os');
const path = require('path');
const h = require('./helpers');
const { test, expect } = h;

const SEQUENCES = [
  { name: 'a manual cook to its end, three bells', script: 'a e .{122}', by: 'click', tones: 3 },
  { name: 'an automatic mode, its start waiting for the preset', script: 'd e e .{12}', by: 'key', tones: 0 },
  { name: 'the temperature form', script: 'c a a . e .{5}', by: 'click', tones: 0 },
  { name: 'the door open and closed, refused while running', script: 'f . a f . a e . f .', by: 'key', tones: 0 },
  { name: 'a cancel in an automatic mode', script: 'd d . e . . e . a .', by: 'click', tones: 0 },
];

test('cycle by cycle as traced, each sequence a new session', async ({ page }) => {
  const seen = await h.open(page);
  for (const sequence of SEQUENCES) {
    await page.click('[data-action="new-session"]');
    const tones = await page.evaluate(() => window.tones);
    const shown = [];
    for (const key of h.keysOf(sequence.script)) {
      if (key !== '.' && sequence.by === 'click') await page.click(`[data-key="${key}"]`);
      if (key !== '.' && sequence.by === 'key') await page.keyboard.press(key);
      await h.cycles(page);
      shown.push(await h.display(page));
    }
    const traced = h.tracedDisplay(await h.sessionScript(page));
    const ours = traced.slice(traced.length - shown.length);
    expect(ours.map((cycle) => cycle.key || '.'), sequence.name).toEqual(h.keysOf(sequence.script));
    expect(shown, sequence.name).toEqual(ours.map((cycle) => cycle.display));
    expect(await page.evaluate(() => window.tones) - tones, sequence.name).toBe(sequence.tones);
  }
  h.expectClean(seen);
});

test('the session script and every download are the trace program\'s', async ({ page }) => {
  const seen = await h.open(page);
  for (const key of h.keysOf('a e .{12} c d')) {
    if (key !== '.') await page.click(`[data-key="${key}"]`);
    await h.cycles(page);
  }
  const script = await h.sessionScript(page);
  expect(script).toMatch(/a e \.\{12\} c d$/);
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'panel-downloads-'));
  const saved = {};
  for (const kind of ['keys', 'csv', 'vcd', 'svg']) {
    const [download] = await Promise.all([page.waitForEvent('download'), page.click(`[data-action="download-${kind}"]`)]);
    expect(download.suggestedFilename()).toBe(`cooker-panel-session.${kind}`);
    saved[kind] = fs.readFileSync(await download.path()).toString();
  }
  expect(saved.keys).toBe(script + '\n');
  fs.writeFileSync(path.join(folder, 'cooker-panel-session.keys'), saved.keys);
  for (const kind of ['csv', 'vcd', 'svg']) {
    expect(saved[kind]).toBe(h.trace('', [`--format=${kind}`, 'cooker-panel-session.keys'], folder));
  }
  fs.rmSync(folder, { recursive: true });
  h.expectClean(seen);
});

test('a replay and an answer end where the trace program says', async ({ page }) => {
  const seen = await h.open(page);
  const last = async () => h.tracedDisplay(await h.sessionScript(page)).pop().display;
  // In real time: a new session plays the script, one cycle a step.
  await page.fill('[data-replay-text]', 'd{2} . e .{5}');
  await page.click('[data-action="replay"]');
  await h.cycles(page, 9);
  expect(await h.sessionScript(page)).toBe('d{2} . e .{5}');
  expect(await h.display(page)).toEqual(await last());
  // At once: the end state without waiting.
  await page.fill('[data-replay-text]', 'a e .{127} f .');
  await page.click('[data-action="replay-at-once"]');
  expect(await h.sessionScript(page)).toBe('a e .{127} f .');
  expect(await h.display(page)).toEqual(await last());
  // A bad script is refused where the trace program refuses it, and the session stays.
  await page.fill('[data-replay-text]', 'a {3}');
  await page.click('[data-action="replay"]');
  expect(await page.textContent('[data-message]')).toBe("script:1:3: '{' must follow a key or '.'");
  expect(await h.sessionScript(page)).toBe('a e .{127} f .');
  // Ask: the shortest way from here (the door open), played on the panel, reaches the condition.
  await page.fill('[data-ask-text]', 'operation=running,mode=5');
  await page.click('[data-action="ask"]');
  const answer = await page.getAttribute('[data-ask-answer]', 'data-answer');
  expect(answer).toBe('f d{5} . e');
  await page.click('[data-action="play-answer"]');
  await h.cycles(page, h.keysOf(answer).length + 1);
  const csv = h.trace(await h.sessionScript(page), ['--format=csv']).trim().split('\r\n');
  expect(csv.pop()).toMatch(/,running,closed,5,/);
  await page.fill('[data-ask-text]', 'bell=1,door=open');
  await page.click('[data-action="ask"]');
  expect(await page.textContent('[data-ask-answer]')).toMatch(/^Unreachable/);
  await page.fill('[data-ask-text]', 'time>cur_temp');
  await page.click('[data-action="ask"]');
  expect(await page.textContent('[data-ask-answer]')).toContain("column 6: 'time' and 'cur_temp' are fields of different kinds");
  // What the display shows now, and a mode by name: it holds now.
  await page.fill('[data-ask-text]', "row11='05: 피자',mode=pizza,operation==running");
  await page.click('[data-action="ask"]');
  expect(await page.textContent('[data-ask-answer]')).toMatch(/^It holds now: no key needed/);
  h.expectClean(seen);
});

test('a shared link replays its session; a bad one says where it is wrong, and the panel starts', async ({ page }) => {
  let seen = await h.open(page);
  await page.click('[data-action="copy-link"]').catch(() => {});  // where the clipboard is refused too
  const link = await page.evaluate(() => window.CookerPanel.link('c a . e .{3}'));
  expect(link).toMatch(/#keys=c%20a%20\.%20e%20\.%7B3%7D$/);
  h.expectClean(seen);
  const shared = await page.context().newPage();
  seen = await h.open(shared, link.slice(link.indexOf('#')));
  await h.cycles(shared, 7);
  const script = await h.sessionScript(shared);
  expect(script.startsWith('c a . e .{')).toBe(true);
  expect(await h.display(shared)).toEqual(h.tracedDisplay(script).pop().display);
  h.expectClean(seen);
  seen = await h.open(await page.context().newPage(), '#keys=' + encodeURIComponent('a\n  {3}'));
  const bad = page.context().pages().pop();
  expect(await bad.textContent('[data-message]')).toBe("link:2:3: '{' must follow a key or '.'");
  await h.cycles(bad, 2);
  expect(await h.sessionScript(bad)).toMatch(/^\.\{\d+\}$/);
  expect(await h.display(bad)).toEqual({ row10: '00:00', row11: '00: manual', color: '32' });
  h.expectClean(seen);
});

test('quick clicks queue, a stall brings no burst, and pause and step hold the cycle', async ({ page }) => {
  const seen = await h.open(page);
  const cycle = async () => Number((await page.textContent('[data-cycle]')).split(' ')[1]);
  const before = await cycle();
  for (const key of ['a', 'a', 'e']) await page.click(`[data-key="${key}"]`);  // all within one cycle
  await h.cycles(page, 3);
  expect(await h.sessionScript(page)).toMatch(/ a\{2\} e$/);
  expect(await page.textContent('[data-why]')).toBe('e: started');
  await page.clock.fastForward(5000);  // the page stalled for 5 s: one late cycle, no burst
  expect(await cycle()).toBe(before + 4);
  await h.cycles(page, 3);
  expect(await cycle()).toBe(before + 7);
  await page.click('[data-key="b"]');  // cooking: said, and kept while no key follows
  await h.cycles(page, 3);
  expect(await page.textContent('[data-why]')).toBe('b: ignored: cooking');
  await page.click('[data-action="pause"]');
  await h.cycles(page, 5);
  expect(await cycle()).toBe(before + 10);
  await page.click('[data-action="step"]');
  expect(await cycle()).toBe(before + 11);
  await page.click('[data-action="pause"]');
  await h.cycles(page, 2);
  expect(await cycle()).toBe(before + 13);
  h.expectClean(seen);
});
