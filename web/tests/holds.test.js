// The page past the first minute: scripts of any bytes and any length from
// files and links, long sessions and replays played at once, the schedule
// when a tick comes late, links opened in an open tab, answers the panel
// has moved away from, presses during a replay, and a reload.
const h = require('./helpers');
const { test, expect } = h;

const bytes = (text) => Buffer.from(text, 'latin1');

// Every byte as the trace program reads it: the same keys (so the same
// CSV), or the same message, from a file opened or from a link.
const SCRIPTS = [
  { name: '\\xff is a key', via: 'file', script: bytes('a\xffe .{3}') },
  { name: 'invalid UTF-8 and a comment of such bytes', via: 'file', script: bytes('a\xe0\xa4e\n# \xff\xfe\nb') },
  { name: 'NUL is refused where the trace refuses it', via: 'file', script: bytes('a\x00b') },
  { name: 'a control byte, on the second line', via: 'file', script: bytes('a\n.\x07') },
  { name: '\\xff in a link', via: 'link', fragment: 'a%FFe', script: bytes('a\xffe') },
  { name: 'NUL in a link', via: 'link', fragment: 'a%00b', script: bytes('a\x00b') },
  { name: 'a link of UTF-8 text', via: 'link', fragment: 'a%20%EB%96%A1', script: Buffer.from('a 떡') },
];

// One page opens the files in turn, each after a few cycles of its own.
async function byteForByte(page, c, seen) {
  const name = c.via === 'file' ? 'odd.keys' : 'link';
  const traced = h.traceFile(c.script, name, ['--format=csv']);
  if (c.via === 'file') {
    await page.click('[data-key="c"]');
    await h.cycles(page, 3);
    const before = await h.sessionScript(page);
    await page.setInputFiles('[data-replay-file]', { name, mimeType: 'text/plain', buffer: c.script });
    if (traced.status === 0) {
      await page.click('[data-action="replay-at-once"]');
    } else {
      expect(await h.sessionScript(page), c.name).toBe(before);  // refused: the session stays
    }
  }
  await h.settled(page);
  expect(await page.textContent('[data-message]'), c.name).toBe(traced.status === 0 ? '' : traced.stderr);
  h.expectClean(seen);
  if (traced.status !== 0) return;
  // A link's session goes on after its script: its first cycles are the script's.
  const csv = await h.download(page, 'csv');
  expect(c.via === 'file' ? csv.equals(traced.stdout) : csv.subarray(0, traced.stdout.length).equals(traced.stdout),
    c.name).toBe(true);
}

test('byte for byte as traced: files of odd bytes', async ({ page }) => {
  const seen = await h.open(page);
  for (const c of SCRIPTS.filter((script) => script.via === 'file')) await byteForByte(page, c, seen);
});

for (const c of SCRIPTS.filter((script) => script.via === 'link')) {
  test(`byte for byte as traced: ${c.name}`, async ({ page }) => {
    await byteForByte(page, c, await h.open(page, `#keys=${c.fragment}`));
  });
}

test('a 5 MB script file plays with the trace\'s keys', async ({ page }) => {
  const line = 'd . # ' + 'x'.repeat(194) + '\n';  // 200 bytes, two cycles
  const file = Buffer.from(line.repeat(25 * 1024));
  const seen = await h.open(page);
  await page.setInputFiles('[data-replay-file]', { name: 'long.keys', mimeType: 'text/plain', buffer: file });
  await page.click('[data-action="replay-at-once"]');
  // Read, played and done: on a busy machine the play may not have begun
  // when the first look finds the page idle.
  await page.waitForFunction(() => document.querySelector('[data-cycle]').textContent.split(' ')[1] === '51200');
  await h.settled(page);
  expect(await page.textContent('[data-message]')).toBe('');
  expect((await h.download(page, 'csv')).equals(h.traceFile(file, 'long.keys', ['--format=csv']).stdout)).toBe(true);
  h.expectClean(seen);
});

test('a 2 MB link plays with the trace\'s keys', async ({ page: linked }) => {
  const piece = 'a%20.%7B3%7D%20';  // "a .{3} "
  const count = Math.floor(2e6 / piece.length);
  const seen = await h.open(linked, '#keys=' + piece.repeat(count));
  await h.settled(linked);
  expect(await linked.textContent('[data-message]')).toBe('');
  const keys = (await h.download(linked, 'keys')).toString();
  // The last run may have grown by cycles run while the page opened.
  const [, last] = keys.match(/ a \.\{(\d+)\}\n$/);
  expect(Number(last)).toBeGreaterThanOrEqual(3);
  expect(keys).toBe(Array(count - 1).fill('a .{3}').join(' ') + ` a .{${last}}\n`);
  const end = h.csvDisplay(h.traceFile(Buffer.from(keys), 'link', ['--format=csv', '--changes']).stdout.toString());
  expect(await h.display(linked)).toEqual(end.pop().display);
  h.expectClean(seen);
});

test('a cycle that throws is said, and the clock goes on', async ({ page }) => {
  const seen = await h.open(page);
  const before = await h.cycle(page);
  await page.evaluate(() => {
    const engine = window.CookerPanel.engine;
    const cycle = engine.cycle;
    engine.cycle = () => {
      engine.cycle = cycle;
      throw new RangeError('out of bounds');
    };
  });
  await h.cycles(page, 3);
  expect(await page.textContent('[data-message]')).toBe(`The cycle ${before + 1} failed: RangeError: out of bounds`);
  expect(await h.cycle(page)).toBe(before + 2);
  // A module that has stopped throws on every call, the cycle count too,
  // for three ticks: the clock goes on through them.
  await page.evaluate(() => {
    const engine = window.CookerPanel.engine;
    const saved = { cycle: engine.cycle, cycles: engine.cycles };
    let calls = 0;
    engine.cycle = (key) => {
      if (++calls <= 3) throw new Error('aborted');
      Object.assign(engine, saved);
      return saved.cycle(key);
    };
    engine.cycles = () => { throw new Error('aborted'); };
  });
  await h.cycles(page, 3);
  expect(await page.textContent('[data-message]')).toBe('The cycle failed: Error: aborted');
  await h.cycles(page, 2);
  expect(await h.cycle(page)).toBe(before + 4);
  expect(seen.errors).toEqual([]);
});

test('a late tick runs one cycle; late by a cycle or more, the rhythm starts again from it', async ({ page }) => {
  const seen = await h.open(page);
  await h.toTick(page);  // each lateness below ends on a tick, where the next one starts
  for (const late of [0, 50, 99, 100, 150, 199, 250, 5000]) {
    const before = await h.cycle(page);
    await page.clock.fastForward(100 + late);  // the next tick fires once, late
    await page.clock.runFor(0);
    expect(await h.cycle(page), `late by ${late} ms`).toBe(before + 1);
    // The next cycle: on the old grid when less than a cycle late, else a period after the late one.
    const next = late >= 100 ? 100 : 100 - late;
    if (next > 1) await page.clock.runFor(next - 1);
    expect(await h.cycle(page), `late by ${late} ms, just before the next`).toBe(before + 1);
    await page.clock.runFor(1);
    expect(await h.cycle(page), `late by ${late} ms, the next`).toBe(before + 2);
  }
  h.expectClean(seen);
});

test('a bad replay leaves the session; a new session while paused is shown running', async ({ page }) => {
  const seen = await h.open(page);
  for (const key of ['c', 'a']) {
    await page.click(`[data-key="${key}"]`);
    await h.cycles(page);
  }
  const kept = { script: await h.sessionScript(page), display: await h.display(page), cycle: await h.cycle(page) };
  for (const bad of ['a {3}', 'a \x01', '.{0}']) {
    await page.fill('[data-replay-text]', bad);
    for (const action of ['replay', 'replay-at-once']) {
      await page.click(`[data-action="${action}"]`);
      expect(await page.textContent('[data-message]')).toMatch(/^script:1:\d+: /);
      expect({ script: await h.sessionScript(page), display: await h.display(page), cycle: await h.cycle(page) })
        .toEqual(kept);
    }
  }
  // Sizes the page will not hold, refused before the bytes are read or played.
  const refused = [
    { name: 'big.keys', bytes: 64 * 1024 * 1024 + 1, message: /^big\.keys: 67,108,865 bytes, more than the page reads/ },
    { name: 'runs.keys', runs: 4000001, message: /^runs\.keys: more than 4000000 runs of one key/ },
  ];
  for (const file of refused) {
    await page.evaluate((f) => {
      const bytes = f.runs ? new TextEncoder().encode('a b '.repeat(Math.ceil(f.runs / 2))) : new Uint8Array(f.bytes);
      const chosen = new DataTransfer();
      chosen.items.add(new File([bytes], f.name));
      const input = document.querySelector('[data-replay-file]');
      input.files = chosen.files;
      input.dispatchEvent(new Event('change'));
    }, { name: file.name, bytes: file.bytes, runs: file.runs });
    await page.waitForFunction((name) => document.querySelector('[data-message]').textContent.startsWith(name),
                               file.name);
    expect(await page.textContent('[data-message]')).toMatch(file.message);
    expect({ script: await h.sessionScript(page), display: await h.display(page), cycle: await h.cycle(page) })
      .toEqual(kept);
  }
  await page.click('[data-action="pause"]');
  await page.click('[data-action="new-session"]');
  await h.cycles(page);
  expect(await h.display(page)).toEqual({ row10: '00:00', row11: '00: manual', color: '32' });
  expect(await page.textContent('[data-message]')).toBe('');
  h.expectClean(seen);
});

test('a second link in the open tab starts its session; a malformed one says where', async ({ page }) => {
  const seen = await h.open(page, '#keys=c%20a');
  expect(await h.sessionScript(page)).toMatch(/^c a( \.(\{\d+\})?)?$/);  // cycles may run while the page opens
  await page.evaluate(() => { location.hash = '#keys=d%20.%7B4%7D'; });
  await page.waitForFunction(() => document.querySelector('[data-session-script]').textContent === 'd .{4}');
  expect(await page.isDisabled('[data-action="replay-from-start"]')).toBe(false);
  await page.evaluate(() => { location.hash = '#keys=a%E0%A4%A'; });
  await page.waitForFunction(() => document.querySelector('[data-message]').textContent !== '');
  expect(await page.textContent('[data-message]'))
    .toBe("link: character 8 of the fragment: '%' must be followed by two hex digits");
  expect(await h.sessionScript(page)).toBe('d .{4}');
  h.expectClean(seen);
});

test('a link opens at its end with the whole diagram, and replays from the start on request', async ({ page }) => {
  const seen = await h.open(page, '#keys=' + encodeURIComponent('a e .{200}'));
  expect(await h.cycle(page)).toBeGreaterThanOrEqual(202);  // and cycles may run while the page opens
  const [, drawn] = (await page.textContent('[data-diagram] svg')).match(/cooker-panel-session\.keys, (\d+) cycles/);
  expect(Number(drawn)).toBeGreaterThanOrEqual(202);
  await page.click('[data-action="replay-from-start"]');
  expect(await h.cycle(page)).toBe(0);
  await h.cycles(page, 2);
  expect(await h.sessionScript(page)).toBe('a e');
  expect(await page.isVisible('[data-progress]')).toBe(true);
  h.expectClean(seen);
});

test('an answer is for the state it was found from', async ({ page }) => {
  const seen = await h.open(page);
  await page.fill('[data-ask-text]', 'operation=running');
  await page.click('[data-action="ask"]');
  expect(await page.getAttribute('[data-ask-answer]', 'data-answer')).toBe('a e');
  await h.cycles(page, 5);  // idle: still the same state, the answer holds
  expect(await page.isEnabled('[data-action="play-answer"]')).toBe(true);
  await page.click('[data-key="b"]');
  await h.cycles(page);
  expect(await page.isDisabled('[data-action="play-answer"]')).toBe(true);
  expect(await page.textContent('[data-ask-note]')).toMatch(/moved on/);
  await page.click('[data-action="ask"]');  // asked again from here
  expect(await page.getAttribute('[data-ask-answer]', 'data-answer')).toBe('e');
  await page.click('[data-action="new-session"]');
  expect(await page.textContent('[data-ask-answer]')).toBe('');
  expect(await page.isDisabled('[data-action="play-answer"]')).toBe(true);
  h.expectClean(seen);
});

test('a press during a replay takes over, in real time and at once', async ({ page }) => {
  const seen = await h.open(page);
  await page.fill('[data-replay-text]', 'a .{3000}');
  await page.click('[data-action="replay"]');
  await h.cycles(page, 5);
  await page.click('[data-key="c"]');
  await h.cycles(page, 2);
  expect(await h.sessionScript(page)).toBe('a .{4} c .');
  expect(await page.isHidden('[data-progress]')).toBe(true);

  await page.fill('[data-replay-text]', '.{20000000}');
  await page.click('[data-action="replay-at-once"]');
  expect(await page.evaluate(() => document.body.dataset.busy)).toBe('Playing at once');
  await page.keyboard.press('d');
  await h.settled(page);
  await h.cycles(page);
  const [, played] = (await h.sessionScript(page)).match(/^\.\{(\d+)\} d$/);
  expect(Number(played)).toBeLessThan(20000000);
  h.expectClean(seen);
});

test('play at once shows its progress and stops on Stop; downloads past 256 MB are refused', async ({ page }) => {
  const seen = await h.open(page);
  await page.fill('[data-replay-text]', '.{5000000}');
  await page.click('[data-action="replay-at-once"]');
  await page.waitForFunction(() => Number(document.querySelector('[data-progress]').value) > 0);
  await page.click('[data-action="stop"]');
  await h.settled(page);
  const stopped = await h.cycle(page);
  expect(stopped).toBeLessThan(5000000);
  expect(await h.sessionScript(page)).toBe(`.{${stopped}}`);
  await page.click('[data-action="replay-at-once"]');
  await h.settled(page);
  await page.click('[data-action="download-csv"]');
  expect(await page.textContent('[data-notice]')).toMatch(/^The CSV of this session would pass 256 MB/);
  expect((await h.download(page, 'keys', '[data-offer="keys"]')).toString()).toBe('.{5000000}\n');
  // The session still runs at full pace: twenty cycles with the diagram kept up take no time of note.
  const began = Date.now();
  await h.cycles(page, 20);
  expect(Date.now() - began).toBeLessThan(3000);  // re-tracing the whole session for each redraw took seconds
  h.expectClean(seen);
});

test('a reload takes the session back; another link in the same tab starts its own', async ({ page }) => {
  const seen = await h.open(page);
  for (const key of ['d', 'd', 'e']) {
    await page.click(`[data-key="${key}"]`);
    await h.cycles(page);
  }
  const script = await h.sessionScript(page);
  await page.reload();
  await page.waitForSelector('body[data-ready]');
  await h.settled(page);
  expect(await h.sessionScript(page)).toBe(script);
  h.expectClean(seen);
  // A tab that kept a session opened under no link, opened with one (as a
  // tab opened from the page starts with a copy of its storage).
  const other = await page.context().newPage();
  await other.addInitScript((kept) => sessionStorage.setItem('cooker-panel-session', kept),
                            JSON.stringify({ hash: '', script: script }));
  const seen2 = await h.open(other, '#keys=c');
  expect(await h.sessionScript(other)).toMatch(/^c( \.(\{\d+\})?)?$/);
  h.expectClean(seen2);
});
