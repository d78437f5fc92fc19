// The panel's face: the two display lines as the terminal would show them, in
// the colour the panel drew them, the door, and the beeper (a short tone and
// a flashing mark for every bell, unless muted). What a listener needs to
// hear of it (a bell, a cook starting or ending) goes to a polite live
// region; the countdown does not.
(function (CP) {
  'use strict';
  const $ = (selector) => document.querySelector(selector);
  const OPERATIONS = ['idle', 'running', 'ended', 'cancel'];  // as the trace names them

  let audio = null;  // made on the first bell, after the page has been used
  let operation = 'idle';  // as last drawn

  function tone() {
    if ($('[data-mute]').checked) return;
    const Context = window.AudioContext || window.webkitAudioContext;
    if (!Context) return;
    audio = audio || new Context();
    const oscillator = audio.createOscillator();
    const gain = audio.createGain();
    oscillator.frequency.value = 880;
    gain.gain.value = 0.15;
    oscillator.connect(gain).connect(audio.destination);
    oscillator.start();
    oscillator.stop(audio.currentTime + 0.15);
  }

  let announcedAt = -Infinity;  // the cycle of the last announcement

  // Words said within a second of the last ones join them, so that a bell
  // does not cut short the end of a cook a cycle before.
  function announce(words, cycle) {
    const region = $('[data-announce]');
    const text = cycle - announcedAt <= 10 ? `${region.textContent.trim()} ${words}` : words;
    // The same words again are read again only if the region changes.
    region.textContent = region.textContent === text ? `${text}\u00a0` : text;
    announcedAt = cycle;
  }

  // What the last key did, or why it did nothing: kept until the next key
  // (a cycle of 100 ms would leave no time to read it); '' clears it.
  CP.showWhy = function (why, clear) {
    const line = $('[data-why]');
    if (why === '' && !clear) return;
    line.textContent = why;
    line.classList.toggle('ignored', why.includes(': ignored'));
  };

  // Shows the panel as the last cycle left it; rang: that cycle rang the
  // bell; quiet: many cycles were played at once, so nothing is announced.
  CP.draw = function (engine, rang, quiet) {
    const color = String(engine.color());
    for (const row of [10, 11]) {
      const line = $(`[data-row="${row}"]`);
      const text = engine.row(row);
      if (line.textContent !== text) line.textContent = text;
      line.dataset.color = color;
    }
    $('[data-display]').classList.toggle('lit', color === '33');
    const open = engine.door() === 1;
    const door = $('[data-key="f"]');
    door.dataset.door = open ? 'open' : 'closed';
    door.setAttribute('aria-pressed', String(open));
    $('[data-door-text]').textContent = open ? 'open' : 'closed';
    const all = engine.cycles();
    const shown = engine.shownCycle();
    $('[data-cycle]').textContent = shown === all ? `cycle ${all}` : `cycle ${shown} of ${all}`;
    const now = OPERATIONS[engine.operation()] || 'cancel';
    const said = [];
    if (rang && !quiet) {
      tone();
      const mark = $('[data-bell]');
      mark.classList.add('ringing');
      setTimeout(() => mark.classList.remove('ringing'), 300);
      said.push('Beep.');
    }
    if (!quiet && now !== operation && now === 'running') said.push('Cooking started.');
    if (!quiet && now !== operation && operation === 'running') {
      said.push(now === 'ended' ? 'Cooking ended.' : 'Cooking cancelled.');
    }
    operation = now;
    if (said.length > 0) announce(said.join(' '), engine.cycles());
  };
})(window.CookerPanel = window.CookerPanel || {});
