// Scripts that check themselves, in the page: replays and links run their
// checks as the trace program does, a failed one pauses the panel at its
// cycle, and "Expect this" puts a check into the session's script.
const h = require('./helpers');
const { test, expect } = h;

const checks = (page) => page.$$eval('[data-checks] li', (items) =>
  items.map((item) => `${item.dataset.check} ${item.textContent}`));

test('a replay runs its checks in real time and at once', async ({ page }) => {
  const seen = await h.open(page);
  const script = 'a e {expect operation=running, why=started} {wait operation=ended within 10s} {expect bell=1}';
  await page.fill('[data-replay-text]', script);
  await page.click('[data-action="replay"]');
  await h.cycles(page, 2);
  expect(await checks(page)).toEqual(['passed \u2713 expect operation=running, why=started, cycle 2']);
  await h.cycles(page, 100);
  expect(await checks(page)).toEqual([
    'passed \u2713 expect operation=running, why=started, cycle 2',
    'passed \u2713 wait operation=ended within 10s, cycle 101',
    'passed \u2713 expect bell=1, cycle 101',
  ]);
  const session = await h.sessionScript(page);
  // The wait is kept as the cycles it ran and an expect where it held; the clock went on after.
  expect(session).toBe('a e {expect operation=running, why=started} .{99} {expect operation=ended} {expect bell=1} .');
  // The session's script, checks and all, passes in the trace program too.
  expect(h.trace(session, ['--check']).trim()).toBe('1 scenario, 3 checks: 3 passed, 0 failed, 0 not run');
  await h.cycles(page, 10);  // the diagram is drawn anew within a second
  expect(await page.$$eval('[data-diagram] [data-check="passed"]', (marks) => marks.length)).toBe(3);
  h.expectClean(seen);
});

test('a link whose check fails opens paused at that check', async ({ page }) => {
  const script = 'd{2} e {expect operation=running} e .{5}';
  const seen = await h.open(page, '#keys=' + encodeURIComponent(script));
  await h.settled(page);
  expect(await checks(page)).toEqual(['failed \u2717 link:1:8: cycle 3: expected operation=running; got operation=idle']);
  expect(await page.textContent('[data-action="pause"]')).toBe('Run');
  const cycle = await h.cycle(page);
  await h.cycles(page, 5);
  expect(await h.cycle(page)).toBe(cycle);  // held at the failed check's cycle
  expect(await h.sessionScript(page)).toBe('d{2} e {expect operation=running}');
  expect(await page.$$eval('[data-diagram] [data-check="failed"]', (marks) => marks.length)).toBe(1);
  h.expectClean(seen);
});

test('"Expect this" checks what the panel shows at this cycle', async ({ page }) => {
  const seen = await h.open(page);
  await page.click('[data-key="a"]');
  await h.cycles(page, 2);
  await page.click('[data-action="expect"]');
  await page.check('[data-field="time"]');
  await page.click('[data-action="expect-insert"]');
  const before = await h.sessionScript(page);
  expect(before).toMatch(/ a \. \{expect row10=00:10, row11="00: manual", operation=idle, time=10s\}$/);
  expect(await checks(page)).toEqual([expect.stringMatching(/^passed \u2713 expect row10=00:10, row11="00: manual", operation=idle, time=10s, cycle \d+$/)]);
  expect(h.trace(before, ['--check']).trim()).toBe('1 scenario, 1 check: 1 passed, 0 failed, 0 not run');
  h.expectClean(seen);
});
