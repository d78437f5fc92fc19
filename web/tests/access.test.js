// The page for every reader and screen: no serious accessibility fault in
// either colour scheme, what a listener hears of a cook, a dark theme, a
// phone's width without overflow, and the width of a wide screen for the
// diagram.
const AxeBuilder = require('@axe-core/playwright').default;
const h = require('./helpers');
const { test, expect } = h;

// One page, looked at in each scheme and width: axe reads the page as it is
// drawn now, so a fresh page for each look would only add its opening. Each
// scheme is looked at once, at one of the widths; the page's background
// follows it.
test('no serious or critical accessibility fault, light at 1280 and dark at 360 px wide, each on its own background', async ({ page }) => {
  const seen = await h.open(page, '#keys=' + encodeURIComponent('a e .{20}'));
  await page.fill('[data-ask-text]', 'mode=1');
  await page.click('[data-action="ask"]');
  await page.clock.resume();  // axe waits on timers of its own
  const lightness = () => page.evaluate(() => getComputedStyle(document.body).backgroundColor
    .match(/\d+/g).slice(0, 3).reduce((sum, v) => sum + Number(v), 0) / 3);
  for (const { scheme, width, light } of [{ scheme: 'light', width: 1280, light: true },
                                          { scheme: 'dark', width: 360, light: false }]) {
    await page.emulateMedia({ colorScheme: scheme });
    await page.setViewportSize({ width, height: 900 });
    const level = await lightness();
    expect(level > 200, scheme).toBe(light);
    expect(level < 60, scheme).toBe(!light);
    const { violations } = await new AxeBuilder({ page }).analyze();
    const serious = violations.filter((v) => v.impact === 'serious' || v.impact === 'critical')
      .map((v) => `${v.id}: ${v.nodes.map((n) => n.target.join(' ')).join(', ')}`);
    expect(serious, `${scheme}, ${width} px`).toEqual([]);
  }
  h.expectClean(seen);
});

test('a listener hears the bells and a cook start and end, not its countdown', async ({ page }) => {
  const seen = await h.open(page);
  const heard = async () => (await page.textContent('[data-announce]')).trim();
  expect(await page.getAttribute('[data-display]', 'role')).toBe('region');
  expect(await page.getAttribute('[data-announce]', 'aria-live')).toBe('polite');
  await page.click('[data-key="a"]');
  await page.click('[data-key="e"]');
  await h.cycles(page, 3);
  expect(await heard()).toBe('Cooking started.');
  await h.cycles(page, 50);  // counting down: nothing new
  expect(await heard()).toBe('Cooking started.');
  await h.cycles(page, 60);
  expect(await heard()).toMatch(/Cooking ended\./);
  expect(await heard()).toMatch(/Beep\./);
  await page.click('[data-key="f"]');
  await h.cycles(page);
  expect(await page.getAttribute('[data-key="f"]', 'aria-pressed')).toBe('true');
  for (const key of 'abcdef') expect(await page.getAttribute(`[data-key="${key}"]`, 'aria-keyshortcuts')).toBe(key);
  h.expectClean(seen);
});

test('at 360 px nothing overflows; a wide screen gives the diagram the width', async ({ page }) => {
  await page.setViewportSize({ width: 360, height: 800 });
  const seen = await h.open(page, '#keys=' + encodeURIComponent('d{2} . e .{40}'));
  const overflow = await page.evaluate(() => {
    const inside = (inner, outer) => {
      const a = inner.getBoundingClientRect();
      const b = outer.getBoundingClientRect();
      return a.left >= b.left - 0.5 && a.right <= b.right + 0.5;
    };
    const out = [];
    const width = document.documentElement.scrollWidth;
    if (width > window.innerWidth) out.push(`page ${width}`);
    for (const element of document.querySelectorAll('section > *, .controls > *, .buttons > *, [data-display]')) {
      const shown = element.offsetParent !== null;
      if (shown && !inside(element, element.closest('section'))) out.push(element.outerHTML.slice(0, 60));
    }
    return out;
  });
  expect(overflow).toEqual([]);
  // The waveform is drawn at the phone's width, not scaled down: its text stays 12 px.
  const drawn = await page.$eval('[data-wave] svg', (svg) => svg.getBoundingClientRect().width / Number(svg.getAttribute('width')));
  expect(drawn).toBeCloseTo(1, 2);
  await page.setViewportSize({ width: 1800, height: 1000 });
  const share = await page.evaluate(() => document.querySelector('[data-diagram]').getBoundingClientRect().width /
                                          window.innerWidth);
  expect(share).toBeGreaterThan(0.6);
  h.expectClean(seen);
});
