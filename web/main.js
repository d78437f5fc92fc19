// Starts the engine and runs the cycle: every 100 ms on an absolute schedule
// (performance.now() and the window's timers, nothing else), one queued key
// per cycle, as the terminal panel takes typed keys. After the page stalled
// or its tab was hidden, the panel goes on from then without a burst.
(function (CP) {
  'use strict';
  const $ = (selector) => document.querySelector(selector);
  const PERIOD = 100;
  const KEYS = 'abcdef';

  async function start() {
    const m = await createPanelModule();
    const engine = {
      start: m.cwrap('cp_start', null, []),
      cycle: m.cwrap('cp_cycle', 'number', ['number']),
      row: m.cwrap('cp_row', 'string', ['number']),
      color: m.cwrap('cp_color', 'number', []),
      why: m.cwrap('cp_why', 'string', []),
      door: m.cwrap('cp_door', 'number', []),
      cycles: m.cwrap('cp_cycles', 'number', []),
      script: m.cwrap('cp_script', 'string', []),
      trace: m.cwrap('cp_export', 'string', ['number']),
      load: m.cwrap('cp_load', 'string', ['string', 'string']),
      replayNext: m.cwrap('cp_replay_next', 'number', []),
      replayAll: m.cwrap('cp_replay_all', 'number', []),
      ask: m.cwrap('cp_ask', 'string', ['string']),
      searchSeconds: m.cwrap('cp_search_seconds', 'number', []),
      searchStates: m.cwrap('cp_search_states', 'number', []),
    };
    const queue = [];     // keys pressed, one taken per cycle
    let replaying = false;  // a loaded script supplies the keys
    let paused = false;

    function runCycle() {
      let key = -1;
      if (replaying) {
        key = engine.replayNext();
        if (key === -2) replaying = false;
      }
      if (!replaying && key < 0 && queue.length > 0) key = queue.shift();
      const rang = engine.cycle(key < 0 ? -1 : key) === 1;
      CP.draw(engine, rang);
      CP.showWhy(engine.why(), false);
      CP.showSession(engine, false);
    }

    const player = {
      // A new session, playing script (in real time, or at once) if given.
      restart(script, name, atOnce) {
        engine.start();
        CP.showWhy('', true);
        queue.length = 0;
        replaying = false;
        $('[data-message]').textContent = '';
        if (script !== null) {
          const error = engine.load(script, name);
          if (error !== '') {
            $('[data-message]').textContent = error;
          } else if (atOnce) {
            engine.replayAll();
          } else {
            replaying = true;
          }
        }
        CP.draw(engine, false);
        CP.showSession(engine, true);
      },
      // Plays script from the panel as it is now.
      play(script, name) {
        const error = engine.load(script, name);
        $('[data-message]').textContent = error;
        replaying = error === '';
      },
    };

    const press = (key) => queue.push(key.charCodeAt(0));
    document.querySelectorAll('[data-key]').forEach((button) =>
      button.addEventListener('click', () => press(button.dataset.key)));
    document.addEventListener('keydown', (event) => {
      const typing = event.target.matches && event.target.matches('textarea, input[type="text"]');
      if (typing || event.ctrlKey || event.metaKey || event.altKey || !KEYS.includes(event.key)) return;
      event.preventDefault();
      press(event.key);
    });
    const pause = $('[data-action="pause"]');
    const step = $('[data-action="step"]');
    pause.addEventListener('click', () => {
      paused = !paused;
      pause.textContent = paused ? 'Run' : 'Pause';
      step.disabled = !paused;
    });
    step.addEventListener('click', runCycle);
    CP.wireSession(engine, player);
    CP.wireAsk(engine, player);

    const linked = CP.linkedScript();
    player.restart(linked, 'link', false);

    let next = performance.now() + PERIOD;
    function tick() {
      if (!paused) runCycle();
      next += PERIOD;
      const now = performance.now();
      if (now > next + PERIOD) next = now + PERIOD;  // late by more than a cycle: the rhythm starts again
      setTimeout(tick, Math.max(0, next - now));
    }
    setTimeout(tick, PERIOD);
    document.body.dataset.ready = 'true';
  }

  start();
})(window.CookerPanel = window.CookerPanel || {});
