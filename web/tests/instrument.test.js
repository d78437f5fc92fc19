// The page as an instrument: the state inspector, the speeds, run until,
// seeking and forking, and the waveform view's zoom, pan, fit, follow,
// cursor, markers and lanes, all on Playwright's clock.
const h = require('./helpers');
const { test, expect } = h;

const FRAME = 20;  // ms between two ticks above x1
const wave = async (page) => page.$eval('[data-wave]', (pane) => ({
  first: Number(pane.dataset.firstCycle), last: Number(pane.dataset.lastCycle),
}));
const attribute = (page, selector, name) => page.getAttribute(selector, name);

test('the inspector says ended plainly and why each key does what it does', async ({ page }) => {
  const seen = await h.open(page, '#keys=' + encodeURIComponent('a e .{120}'));
  await h.settled(page);
  expect(await attribute(page, '[data-inspector]', 'data-operation')).toBe('ended');
  expect(await attribute(page, '[data-display]', 'data-operation')).toBe('ended');
  expect(await page.isVisible('[data-display] .ended-mark')).toBe(true);
  expect(await page.textContent('[data-inspect-state]')).toMatch(/^Ended: .*open it \(f\)/);
  expect(await page.textContent('[data-reason="e"]')).toBe('e: ignored: after an end only the door acts');
  expect(await page.textContent('[data-reason="f"]')).toBe('f: door opened');
  expect(await attribute(page, '[data-key="a"]', 'data-ignored')).toBe('true');
  expect(await page.textContent('[data-inspect="beeper"]')).toBe('on');
  await page.click('[data-key="f"]');
  await h.cycles(page);
  expect(await attribute(page, '[data-inspector]', 'data-operation')).toBe('idle');
  expect(await page.isVisible('[data-display] .ended-mark')).toBe(false);
  // The time while row 10 shows the temperature, the mode glossed, the queue.
  await page.click('[data-key="f"]');
  await page.click('[data-key="c"]');
  await page.click('[data-key="b"]');
  expect(await page.textContent('[data-inspect="queue"]')).toBe('f c b');
  await h.cycles(page, 4);  // a raise shows a cycle after its key
  expect(await h.display(page)).toMatchObject({ row10: '40C' });
  expect(await page.textContent('[data-inspect="time"]')).toMatch(/^00:0\d \(\d s\), row 10 shows the temperature$/);  // the time follows the temperature
  expect(await page.textContent('[data-inspect="set_temp"]')).toMatch(/^40 \u00b0C set, \d0 \u00b0C now$/);
  await page.click('[data-key="d"]');
  await h.cycles(page, 2);
  expect(await page.textContent('[data-inspect="mode"]')).toBe('1 \ub5a1 (rice cake)');
  expect(await page.textContent('[data-reason="a"]')).toBe('a: ignored: only in manual mode');
  h.expectClean(seen);
});

test('speeds run a frame\'s share of cycles, each with its key, and x1 keeps one a tick', async ({ page }) => {
  const seen = await h.open(page);
  const start = await h.cycle(page);
  await page.selectOption('[data-speed]', '10');
  await page.click('[data-key="a"]');
  await page.click('[data-key="b"]');
  await page.clock.runFor(1000);
  const ten = await h.cycle(page) - start;
  expect(ten).toBeGreaterThanOrEqual(98);
  expect(ten).toBeLessThanOrEqual(102);
  expect(await h.sessionScript(page)).toMatch(/^(\.(\{\d+\})? )?a b \.\{\d+\}$/);  // one key a cycle, in order
  await page.selectOption('[data-speed]', '100');
  let before = await h.cycle(page);
  await page.clock.runFor(200);
  expect(await h.cycle(page) - before).toBeGreaterThanOrEqual(180);
  await page.selectOption('[data-speed]', 'max');
  before = await h.cycle(page);
  await page.clock.runFor(FRAME);
  expect(await h.cycle(page) - before).toBeGreaterThan(1000);
  await page.selectOption('[data-speed]', '1');
  await page.clock.runFor(FRAME);  // the frame already set runs
  before = await h.cycle(page);
  await page.clock.runFor(1000);
  expect(await h.cycle(page) - before).toBe(10);
  // What ran is the session: the trace program replays its script to the same display.
  const shown = await h.display(page);
  const check = `{expect row10=${shown.row10}, row11="${shown.row11}", color=${shown.color === '33' ? 'yellow' : 'green'}}`;
  expect(h.trace(`${await page.evaluate(() => CookerPanel.engine.script())} ${check}`, ['--check']).trim())
    .toMatch(/1 passed/);
  h.expectClean(seen);
});

test('run until goes to the first cycle where it holds, or says at once that it cannot', async ({ page }) => {
  const seen = await h.open(page);
  const answer = () => page.getAttribute('[data-until-answer]', 'data-until');
  await page.fill('[data-until-text]', 'bell=1, door=open');
  await page.click('[data-action="run-until"]');
  expect(await answer()).toBe('never');
  expect(await page.textContent('[data-until-answer]')).toMatch(/^It can never hold from here/);
  await page.fill('[data-until-text]', 'operation=running');
  await page.click('[data-action="run-until"]');
  expect(await answer()).toBe('needs-keys');
  expect(await page.textContent('[data-until-answer]')).toMatch(/shortest script from here is a e /);
  await page.fill('[data-until-text]', 'time>');
  await page.click('[data-action="run-until"]');
  expect(await answer()).toBe('error');

  await page.click('[data-key="a"]');
  await page.click('[data-key="e"]');
  await h.cycles(page, 2);
  await page.fill('[data-until-text]', 'operation=ended');
  await page.click('[data-action="run-until"]');
  expect(await answer()).toBe('running');
  await page.clock.runFor(FRAME * 2);
  expect(await answer()).toBe('held');
  const at = await h.cycle(page);
  expect(await page.textContent('[data-until-answer]')).toBe(`It holds after cycle ${at}.`);
  expect(await page.textContent('[data-action="pause"]')).toBe('Run');
  expect(await page.inputValue('[data-speed]')).toBe('1');
  // The first such cycle: ended there, running the cycle before, as traced.
  const script = await h.sessionScript(page);
  expect(h.trace(script + ' {expect operation=ended}', ['--check']).trim()).toMatch(/1 passed/);
  const csv = h.trace(script, ['--format=csv']).trim().split('\r\n');
  expect(csv[csv.length - 2]).toMatch(/,running,/);
  await h.cycles(page, 5);
  expect(await h.cycle(page)).toBe(at);  // paused where it held
  // A run until that waits on a long replay's keys, stopped by Pause.
  await page.fill('[data-replay-text]', '.{5000000} a e');
  await page.click('[data-action="replay"]');
  await page.fill('[data-until-text]', 'operation=running');
  await page.click('[data-action="run-until"]');
  expect(await answer()).toBe('running');  // never without a key, but the replay brings some
  await page.clock.runFor(FRAME);
  await page.click('[data-action="pause"]');
  expect(await answer()).toBe('stopped');
  expect(await page.inputValue('[data-speed]')).toBe('1');
  const stopped = await h.cycle(page);
  expect(stopped).toBeGreaterThan(1000);  // it ran as fast as it goes until then
  await h.cycles(page, 3);
  expect(await h.cycle(page)).toBe(stopped);
  h.expectClean(seen);
});

test('seek shows any cycle from the checkpoints; a key there forks a new session', async ({ page }) => {
  const script = 'a{3} e .{2400} f d{2} f e .{900}';
  const seen = await h.open(page, '#keys=' + encodeURIComponent(script));
  await h.settled(page);
  await page.click('[data-action="pause"]');
  const all = await h.cycle(page);
  const traced = h.tracedDisplay(script);
  for (const cycle of [1, 150, 999, 1000, 1001, 2405, 2411, 3000]) {
    await page.fill('[data-seek-cycle]', String(cycle));
    await page.click('[data-action="seek"]');
    expect(await page.textContent('[data-cycle]')).toBe(`cycle ${cycle} of ${all}`);
    expect(await h.display(page)).toEqual(traced[cycle - 1].display);
    expect(Number(await attribute(page, '[data-cursor-readout]', 'data-cursor-cycle'))).toBe(cycle);
  }
  await page.fill('[data-seek-cycle]', '200');
  await page.click('[data-action="seek"]');
  expect(await attribute(page, '[data-inspector]', 'data-operation')).toBe('running');
  const shown = traced[199].display.row10;  // mm:ss while running
  expect(await page.textContent('[data-inspect="time"]')).toBe(`${shown} (${Number(shown.slice(3))} s)`);
  await page.click('[data-action="step"]');  // the next cycle of the session
  expect(await page.textContent('[data-cycle]')).toBe(`cycle 201 of ${all}`);
  await page.click('[data-key="e"]');  // a key here: a new session from cycle 201, with the key
  await h.settled(page);
  await h.cycles(page);
  expect(await h.sessionScript(page)).toMatch(/^a\{3\} e \.\{197\} e( \.(\{\d+\})?)?$/);
  expect(await attribute(page, '[data-inspector]', 'data-operation')).toBe('idle');  // cancelled
  const previous = await attribute(page, '[data-previous-session]', 'href');
  expect(decodeURIComponent(previous.split('#keys=')[1])).toMatch(/^a\{3\} e \.\{2400\} f d\{2\} f e \.\{9\d\d\}/);
  h.expectClean(seen);
});

test('the waveform zooms, pans, fits, follows, reads out, marks and chooses lanes', async ({ page }) => {
  await page.setViewportSize({ width: 1280, height: 2200 });  // all of the page in view: no scrolling moves the pane
  const script = 'a e .{120} f d{3} f e .{1300}';
  const seen = await h.open(page, '#keys=' + encodeURIComponent(script));
  await h.settled(page);
  await page.click('[data-action="pause"]');
  const all = await h.cycle(page);
  const pane = await page.$('[data-wave]');
  const box = await pane.boundingBox();
  expect(await wave(page)).toEqual({ first: all - 599, last: all });  // following the edge, a minute wide
  // Text at its natural size: the picture is as wide as it says, its text 12 px.
  const drawn = await page.$eval('[data-wave] svg', (svg) => ({
    width: svg.getBoundingClientRect().width, said: Number(svg.getAttribute('width')),
    font: getComputedStyle(svg.querySelector('g[id^="lane-"] text')).fontSize,
  }));
  expect(Math.abs(drawn.width - drawn.said)).toBeLessThan(1);
  expect(drawn.font).toBe('12px');

  await page.click('[data-action="zoom-fit"]');
  expect(await wave(page)).toEqual({ first: 1, last: all });
  expect(await attribute(page, '[data-action="follow"]', 'aria-pressed')).toBe('false');
  // Wheel zoom around the pointer: the cycle under it stays under it.
  const x = box.x + 96 + (box.width - 120) * 0.25;
  await page.mouse.move(x, box.y + 100);
  await page.mouse.wheel(0, -600);
  const zoomed = await wave(page);
  expect(zoomed.last - zoomed.first).toBeLessThan(all / 2);
  const under = Math.round(all * 0.25);
  const share = (under - zoomed.first) / (zoomed.last - zoomed.first + 1);
  expect(Math.abs(share - 0.25)).toBeLessThan(0.03);
  // Drag and keys pan.
  await page.mouse.down();
  await page.mouse.move(x - 200, box.y + 100, { steps: 4 });
  await page.mouse.up();
  const dragged = await wave(page);
  expect(dragged.first).toBeGreaterThan(zoomed.first);
  expect(dragged.last - dragged.first).toBe(zoomed.last - zoomed.first);
  await pane.focus();
  await page.keyboard.press('ArrowLeft');
  expect((await wave(page)).first).toBeLessThan(dragged.first);
  await page.keyboard.press('+');
  const nearer = await wave(page);
  expect(nearer.last - nearer.first).toBeLessThan(dragged.last - dragged.first);
  // A pinch: two fingers drawn apart zoom in around their middle.
  await page.$eval('[data-wave]', (element) => {
    const at = element.getBoundingClientRect();
    const touch = (type, id, x) => element.dispatchEvent(new PointerEvent(type, {
      pointerId: id, pointerType: 'touch', clientX: at.left + x, clientY: at.top + 60, bubbles: true,
    }));
    touch('pointerdown', 11, 500);
    touch('pointerdown', 12, 600);
    touch('pointermove', 12, 700);
    touch('pointerup', 12, 700);
    touch('pointerup', 11, 500);
  });
  const closer = await wave(page);
  expect(closer.last - closer.first).toBeLessThan((nearer.last - nearer.first) * 0.6);

  // The cursor reads out every field at its cycle, as traced.
  await page.mouse.click(box.x + 96 + (box.width - 120) / 2, box.y + 60);
  const cursor = Number(await attribute(page, '[data-cursor-readout]', 'data-cursor-cycle'));
  expect(cursor).toBeGreaterThanOrEqual(closer.first);
  expect(cursor).toBeLessThanOrEqual(closer.last);
  const traced = h.tracedDisplay(script);
  const readout = await page.textContent('[data-cursor-fields]');
  expect(readout).toContain(`cycle ${cursor} `);
  expect(readout).toContain(`row10=${traced[cursor - 1].display.row10} `);
  // Two markers and the time between them.
  await page.click('[data-action="marker-a"]');
  await page.mouse.click(box.x + 96 + (box.width - 120) * 0.75, box.y + 60);
  const second = Number(await attribute(page, '[data-cursor-readout]', 'data-cursor-cycle'));
  await page.click('[data-action="marker-b"]');
  const between = second - cursor;
  expect(await page.textContent('[data-markers]'))
    .toBe(`A: cycle ${cursor}, B: cycle ${second}, B \u2212 A: ${between} cycles (${(between / 10).toFixed(1)} s)`);
  expect(await page.isVisible('[data-wave-marker="a"]')).toBe(true);

  // A double-click seeks to the cycle under the cursor.
  await page.mouse.dblclick(box.x + 96 + (box.width - 120) * 0.5, box.y + 60);
  const sought = Number(await attribute(page, '[data-cursor-readout]', 'data-cursor-cycle'));
  expect(await page.textContent('[data-cycle]')).toBe(`cycle ${sought} of ${all}`);
  expect(await h.display(page)).toEqual(traced[sought - 1].display);
  await page.click('[data-action="pause"]');  // Run: back to the session's end
  await page.click('[data-action="pause"]');
  expect(await page.textContent('[data-cycle]')).toBe(`cycle ${all}`);

  // Lanes.
  await page.click('.lanes summary');
  await page.uncheck('[data-lane="row10"]');
  expect(await page.$('[data-wave] #lane-row10')).toBeNull();
  expect(await page.$('[data-wave] #lane-row11')).not.toBeNull();

  // Follow: back to the live edge, and it keeps up; the pane keeps its height.
  await page.click('[data-action="follow"]');
  await page.click('[data-action="pause"]');
  expect(await page.textContent('[data-action="pause"]')).toBe('Pause');
  const height = (await pane.boundingBox()).height;
  await h.cycles(page, 30);
  const followed = await wave(page);
  expect(followed.last).toBeGreaterThan(closer.last);
  expect(await h.cycle(page) - followed.last).toBeLessThanOrEqual(10);  // redrawn once a second
  expect((await pane.boundingBox()).height).toBe(height);
  // A tooltip survives: under a resting pointer the picture is not replaced.
  await page.mouse.move(box.x + 300, box.y + 80);
  await page.$eval('[data-wave] svg', (svg) => { svg.dataset.kept = 'yes'; });
  await h.cycles(page, 30);
  expect(await page.$('[data-wave] svg[data-kept]')).not.toBeNull();
  await page.mouse.move(box.x + 300, box.y + box.height + 200);
  await h.cycles(page, 5);
  expect(await page.$('[data-wave] svg[data-kept]')).toBeNull();
  h.expectClean(seen);
});

test('the page stays one file of at most 600 KB', () => {
  expect(require('fs').statSync(h.PAGE).size).toBeLessThanOrEqual(600 * 1024);
});
