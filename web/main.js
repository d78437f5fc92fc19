// Starts the engine and runs the cycle: every 100 ms on an absolute schedule
// (performance.now() and the window's timers, nothing else), one queued key
// per cycle, as the terminal panel takes typed keys. The schedule follows the
// terminal pacer's rule: a tick late by a whole cycle or more runs one cycle
// and starts the rhythm again from then, so no tick runs two cycles.
// Replays run in real time from the clock, or at once in slices between
// which the page draws and takes input; a key pressed during either takes
// over. A cycle that fails is said, and the clock goes on.
(function (CP) {
  'use strict';
  const $ = (selector) => document.querySelector(selector);
  const PERIOD = 100;
  const KEYS = 'abcdef';
  const SLICE = 16384;  // cycles played at once between two yields (some 20 ms)
  const MOST_SCRIPT = 64 * 1024 * 1024;  // bytes of a script the page reads

  async function start() {
    const engine = CP.connect(await createPanelModule());
    CP.engine = engine;  // for outside checks and measurements
    const message = $('[data-message]');
    const queue = [];       // keys pressed, one taken per cycle
    let replaying = null;   // 'real time' or 'at once' while a script supplies the keys
    let paused = false;
    let source = null;      // the last script played: { bytes, name }, for "Replay from the start"
    let generation = 0;     // counts the replays started, so an old slice loop knows to end

    const progress = {
      bar: $('[data-progress]'),
      label: $('[data-progress-label]'),
      begin(what, total) {
        this.label.textContent = what;
        this.bar.max = Math.max(1, total);
        this.bar.value = 0;
        this.bar.closest('[data-busy]').hidden = false;
        document.body.dataset.busy = what;
      },
      show(done) { this.bar.value = done; },
      end() {
        this.bar.closest('[data-busy]').hidden = true;
        delete document.body.dataset.busy;
      },
    };

    let ask = null;
    let held = false;  // a failed check has paused the panel at its cycle
    function drawAll(rang, quiet, force) {
      CP.draw(engine, rang, quiet);
      CP.showSession(engine, force);
      if (ask) ask.cycled();
      if (CP.showChecks(engine) && !held) holdAtFailure();
    }

    // A failed check ends the replay there (the engine has dropped the rest)
    // and pauses the panel at its cycle, so what failed stays in view.
    function holdAtFailure() {
      held = true;
      if (replaying !== null) endReplay();
      paused = true;
      $('[data-action="pause"]').textContent = 'Run';
      $('[data-action="step"]').disabled = false;
      CP.showSession(engine, true);
    }

    function runCycle() {
      let key = -1;
      if (replaying === 'real time') {
        key = engine.replayNext();
        if (key === -2) {
          endReplay();
          if (engine.checkFailed()) {  // judged before this cycle: no cycle past it
            drawAll(false, true, true);
            return;
          }
        } else {
          progress.show(progress.bar.max - engine.replayLeft());
        }
      }
      if (replaying !== 'real time' && key < 0 && queue.length > 0) key = queue.shift();
      const rang = engine.cycle(key < 0 ? -1 : key);
      drawAll(rang, false, false);
      CP.showWhy(engine.why(), false);
    }

    function endReplay() {
      replaying = null;
      generation += 1;
      progress.end();
      $('[data-action="stop"]').disabled = true;
    }

    // The rest of the replay dropped: the session keeps what was played.
    function stopReplay() {
      if (replaying === null) return;
      engine.replayStop();
      endReplay();
      drawAll(false, true, true);
    }

    // Plays what the engine was given, in slices, drawing between them.
    function playAtOnce() {
      replaying = 'at once';
      const mine = ++generation;
      const total = engine.replayLeft();
      progress.begin('Playing at once', total);
      $('[data-action="stop"]').disabled = false;
      const slice = async () => {
        try {
          for (;;) {
            if (mine !== generation) return;
            engine.replayRun(SLICE);
            if (engine.replayLeft() === 0) break;
            progress.show(total - engine.replayLeft());
            CP.draw(engine, false, true);
            await CP.yield();
          }
        } catch (error) {
          refuse(`The replay failed at cycle ${engine.cycles()}: ${error}`);
        }
        if (mine !== generation) return;
        endReplay();
        drawAll(false, true, true);
      };
      slice();
    }

    function refuse(text) {
      message.textContent = text;
    }

    // The bytes checked whole, then played; a script that does not read
    // leaves the session as it was.
    function load(bytes, name) {
      if (bytes.length > MOST_SCRIPT) {
        refuse(`${name}: ${bytes.length.toLocaleString('en')} bytes, more than the page reads ` +
               `(${MOST_SCRIPT / 1024 / 1024} MB); cooker-panel-trace reads it`);
        return false;
      }
      let error = null;
      try {
        error = engine.load(bytes, name);
      } catch (failure) {
        refuse(`${name}: the page has no room for it (${failure})`);
        return false;
      }
      if (error === null) {
        refuse(`${name}: the page has no room for it`);
        return false;
      }
      refuse(error);
      return error === '';
    }

    const player = {
      // A new session, playing the script's bytes (in real time, or at
      // once) if given.
      restart(bytes, name, atOnce, restoring = false) {
        if (bytes !== null && !load(bytes, name)) return;
        if (bytes === null) message.textContent = '';
        CP.stopDownload();
        stopReplay();
        queue.length = 0;
        paused = false;
        pause.textContent = 'Pause';
        step.disabled = true;
        if (ask) ask.clear();
        CP.showWhy('', true);
        CP.clearChecks();
        held = false;
        source = bytes === null ? null : { bytes, name };
        $('[data-action="replay-from-start"]').disabled = source === null;
        if (bytes === null) {
          engine.start();
        } else {
          engine.play(true, restoring);
          if (atOnce) {
            playAtOnce();
          } else {
            replaying = 'real time';
            progress.begin('Playing in real time', engine.replayLeft());
            $('[data-action="stop"]').disabled = false;
          }
        }
        drawAll(false, true, true);
      },
      // Plays the script's bytes from the panel as it is now.
      play(bytes, name) {
        if (!load(bytes, name)) return;
        stopReplay();
        engine.play(false);
        replaying = 'real time';
        progress.begin(`Playing the ${name}`, engine.replayLeft());
        $('[data-action="stop"]').disabled = false;
      },
    };

    // A key pressed during a replay takes over: the replay ends where it is,
    // and the key acts in the next cycle.
    const press = (key) => {
      stopReplay();
      queue.push(key.charCodeAt(0));
    };
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
    step.addEventListener('click', () => { if (replaying !== 'at once') guarded(runCycle); });
    $('[data-action="stop"]').addEventListener('click', () => {
      stopReplay();
      CP.stopDownload();
    });
    CP.wireSession(engine, player, progress);
    ask = CP.wireAsk(engine, player);

    // Replay: the text typed, or the file opened (as bytes) until the text
    // is typed in again.
    let file = null;
    const text = $('[data-replay-text]');
    text.addEventListener('input', () => { file = null; });
    const chosen = () => (file !== null ? file : { bytes: new TextEncoder().encode(text.value), name: 'script' });
    $('[data-action="replay"]').addEventListener('click', () => {
      const { bytes, name } = chosen();
      player.restart(bytes, name, false);
    });
    $('[data-action="replay-at-once"]').addEventListener('click', () => {
      const { bytes, name } = chosen();
      player.restart(bytes, name, true);
    });
    $('[data-action="replay-from-start"]').addEventListener('click', () => {
      if (source !== null) player.restart(source.bytes, source.name, false);
    });
    $('[data-replay-file]').addEventListener('change', async (event) => {
      const picked = event.target.files[0];
      if (!picked) return;
      if (picked.size > MOST_SCRIPT) {
        refuse(`${picked.name}: ${picked.size.toLocaleString('en')} bytes, more than the page reads ` +
               `(${MOST_SCRIPT / 1024 / 1024} MB); cooker-panel-trace reads it`);
        return;
      }
      file = { bytes: new Uint8Array(await picked.arrayBuffer()), name: picked.name };
      text.value = '';
      text.placeholder = `${picked.name} (${picked.size.toLocaleString('en')} bytes)`;
      player.restart(file.bytes, file.name, false);
    });

    // A link opens at its session's end, played at once.
    function openLink() {
      const linked = CP.linkedBytes(location.hash);
      if (linked === null) return false;
      if (linked.error) {
        refuse(linked.error);
        return false;
      }
      player.restart(linked.bytes, 'link', true);
      return true;
    }
    window.addEventListener('hashchange', openLink);
    window.addEventListener('pagehide', () => CP.store(engine));
    document.addEventListener('visibilitychange', () => { if (document.hidden) CP.store(engine); });

    // A reload takes the session back; else a link starts its own.
    const kept = CP.stored();
    engine.start();
    if (kept !== null) {
      player.restart(new TextEncoder().encode(kept), 'session', true, true);
    } else if (!openLink()) {
      drawAll(false, true, true);
    }

    // A cycle that throws is said and the clock goes on (a module that has
    // stopped cannot even say its cycle).
    function guarded(run) {
      try {
        run();
      } catch (error) {
        let cycle = '';
        try {
          cycle = ` ${engine.cycles() + 1}`;
        } catch (stopped) {
          cycle = '';
        }
        refuse(`The cycle${cycle} failed: ${error}`);
      }
    }

    let next = performance.now() + PERIOD;
    function tick() {
      const now = performance.now();
      if (now - next >= PERIOD) {
        next = now + PERIOD;  // late by a cycle or more: the rhythm starts again from now
      } else {
        next += PERIOD;
      }
      setTimeout(tick, Math.max(0, next - now));  // first: nothing the cycle does can stop the clock
      if (!paused && replaying !== 'at once') guarded(runCycle);
    }
    setTimeout(tick, PERIOD);
    document.body.dataset.ready = 'true';
  }

  start();
})(window.CookerPanel = window.CookerPanel || {});
