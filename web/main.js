// Starts the engine and runs the cycle: every 100 ms on an absolute schedule
// (performance.now() and the window's timers, nothing else), one queued key
// per cycle, as the terminal panel takes typed keys. The schedule follows the
// terminal pacer's rule: a tick late by a whole cycle or more runs one cycle
// and starts the rhythm again from then, so no tick runs two cycles.
// Replays run in real time from the clock, or at once in slices between
// which the page draws and takes input; a key pressed during either takes
// over. A cycle that fails is said, and the clock goes on. Above speed x1 a
// tick comes every frame of 20 ms and runs that frame's share of cycles, each
// with its key from the queue or the replay as at x1; "as fast as it goes"
// runs cycles for most of each frame. Run until runs as fast as it goes to
// the first cycle where a condition holds, once the explorer has said it can
// hold. Seeking shows a cycle of the session from its checkpoints; a key
// pressed there forks a new session from that cycle.
(function (CP) {
  'use strict';
  const $ = (selector) => document.querySelector(selector);
  const PERIOD = 100;
  const KEYS = 'abcdef';
  const SLICE = 16384;  // cycles played at once between two yields (some 20 ms)
  const FRAME = 20;     // ms between two ticks above x1
  const MAX_FRAME_CYCLES = 200000;  // "as fast as it goes": at most this many cycles a frame
  const MAX_FRAME_MS = 14;          // and for at most this long
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
    let speed = '1';
    let seeking = false;  // the panel shown is a cycle sought, not the session's last
    let until = null;     // run until: { kind } of the explorer's answer, while it runs
    const untilAnswer = $('[data-until-answer]');

    function inspect() {
      const left = engine.replayLeft();
      const replay = replaying === null ? '' : `${replaying}, ${left.toLocaleString('en')} cycles left`;
      CP.inspect(engine, queue, replay);
    }

    function drawAll(rang, quiet, force) {
      CP.draw(engine, rang, quiet);
      CP.showSession(engine, force);
      inspect();
      if (ask) ask.cycled();
      if (CP.showChecks(engine) && !held) holdAtFailure();
    }

    function setPaused(on) {
      paused = on;
      $('[data-action="pause"]').textContent = on ? 'Run' : 'Pause';
      $('[data-action="step"]').disabled = !on;
    }

    // A failed check ends the replay there (the engine has dropped the rest)
    // and pauses the panel at its cycle, so what failed stays in view.
    function holdAtFailure() {
      held = true;
      if (replaying !== null) endReplay();
      if (until !== null) stopUntil('A check failed before it held.', 'stopped');
      setPaused(true);
      CP.showSession(engine, true);
    }

    // One cycle with its key from the replay or the queue: whether it rang,
    // or null when no more cycles should run now (a check failed before it,
    // or the condition run until holds after it).
    function oneCycle() {
      let key = -1;
      if (replaying === 'real time') {
        key = engine.replayNext();
        if (key === -2) {
          endReplay();
          if (engine.checkFailed()) return null;  // judged before this cycle: no cycle past it
        }
      }
      if (replaying !== 'real time' && key < 0 && queue.length > 0) key = queue.shift();
      const rang = engine.cycle(key < 0 ? -1 : key);
      if (key >= 0) CP.showWhy(engine.why(), false);
      if (until !== null && engine.untilHolds()) {
        stopUntil(`It holds after cycle ${engine.cycles()}.`, 'held');
        return rang ? true : null;
      }
      if (until !== null && until.kind === 'K' && replaying === null && queue.length === 0) {
        stopUntil(`The keys ran out at cycle ${engine.cycles()} before it held: it never holds without one.`, 'stopped');
        return null;
      }
      if (engine.checkFailed()) return null;
      return rang;
    }

    function runCycle() {
      const rang = oneCycle();
      if (replaying === 'real time') progress.show(progress.bar.max - engine.replayLeft());
      drawAll(rang === true, false, false);
    }

    // A frame's share of cycles above x1, drawn once after them; the
    // beeper sounds once for a frame that rang.
    function runFrame() {
      const count = speed === 'max' ? MAX_FRAME_CYCLES : Number(speed) * FRAME / PERIOD;
      const began = performance.now();
      let rang = false;
      for (let i = 0; i < count; ++i) {
        const result = oneCycle();
        if (result === true) rang = true;
        if (result === null || paused) break;
        if (speed === 'max' && (i & 1023) === 1023 && performance.now() - began > MAX_FRAME_MS) break;
      }
      if (replaying === 'real time') progress.show(progress.bar.max - engine.replayLeft());
      drawAll(rang, speed !== '10', false);
    }

    function stopUntil(words, outcome) {
      setSpeed(until.speed);
      until = null;
      setPaused(true);
      untilAnswer.textContent = words;
      untilAnswer.dataset.until = outcome;
    }

    // Back from a cycle sought to the session's last.
    function leaveSeek() {
      if (!seeking) return;
      engine.seek(engine.cycles());
      seeking = false;
      drawAll(false, true, true);
    }

    function seekTo(cycle) {
      stopReplay();
      setPaused(true);
      const at = engine.seek(cycle);
      seeking = at < engine.cycles();
      CP.draw(engine, false, true);
      CP.showWhy(engine.why(), true);
      inspect();
      wave.show(at);
    }

    // A key pressed at a cycle sought: a new session of the old one's
    // script up to there, played at once, then the key; the old session
    // stays a link away.
    function fork(key) {
      const at = engine.shownCycle();
      const old = engine.script();
      const prefix = engine.scriptUntil(at);
      seeking = false;
      player.restart(new TextEncoder().encode(prefix), 'fork', true);
      queue.push(key.charCodeAt(0));
      const previous = $('[data-previous]');
      previous.textContent = `Forked at cycle ${at}: `;
      const link = CP.link(old);
      if (link.length <= 2 * 1024 * 1024) {
        const anchor = document.createElement('a');
        anchor.href = link;
        anchor.dataset.previousSession = '';
        anchor.textContent = 'the session before the fork';
        previous.append(anchor);
      } else {
        previous.append('the session before the fork is too long for a link; its .keys was not kept.');
      }
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
        if (until !== null) stopUntil('', '');
        seeking = false;
        setPaused(false);
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
      if (seeking) {
        fork(key);
        return;
      }
      stopReplay();
      queue.push(key.charCodeAt(0));
      inspect();
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
      if (until !== null) {  // a run until stopped by hand: paused where it stands
        stopUntil(`Stopped at cycle ${engine.cycles()} before it held.`, 'stopped');
        return;
      }
      leaveSeek();
      setPaused(!paused);
    });
    // At a cycle sought, a step shows the next cycle of the session.
    step.addEventListener('click', () => {
      if (seeking) seekTo(engine.shownCycle() + 1);
      else if (replaying !== 'at once') guarded(runCycle);
    });
    $('[data-speed]').addEventListener('change', (event) => setSpeed(event.target.value));
    $('[data-action="seek"]').addEventListener('click', () => {
      const cycle = Number($('[data-seek-cycle]').value);
      if (Number.isFinite(cycle) && cycle >= 0) seekTo(Math.floor(cycle));
    });
    $('[data-action="run-until"]').addEventListener('click', () => {
      const condition = $('[data-until-text]').value;
      const reply = engine.until(condition);
      const searched = `(${engine.searchStates().toLocaleString('en')} states searched)`;
      const say = (words, outcome) => {
        untilAnswer.textContent = words;
        untilAnswer.dataset.until = outcome;
      };
      if (reply === null) return say('The condition is more than the page can hold.', 'error');
      const kind = reply[0];
      if (kind === 'E') return say(`The condition: ${reply.slice(1)}`, 'error');
      if (kind === 'U') return say(`It can never hold from here: no key script leads to such a state ${searched}.`, 'never');
      if (kind === 'C' && reply === 'C0') return say('It holds now.', 'held');
      if (kind === 'K' && replaying === null && queue.length === 0) {
        return say(`It never holds without a key: the shortest script from here is ${reply.slice(1)} ${searched}.`, 'needs-keys');
      }
      leaveSeek();
      until = { kind, speed };
      setSpeed('max');
      setPaused(false);
      say(kind === 'C' ? `Running until it holds: ${reply.slice(1)} cycles from here without a key.`
                       : 'Running until it holds, with the keys queued and the replay.', 'running');
    });
    $('[data-action="stop"]').addEventListener('click', () => {
      stopReplay();
      CP.stopDownload();
    });
    CP.wireSession(engine, player, progress);
    ask = CP.wireAsk(engine, player);
    const wave = CP.wireWave(engine, (cycle) => seekTo(cycle));
    CP.wave = wave;

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
    let timer = null;
    // A new speed takes effect from the next period of its own.
    function setSpeed(value) {
      if (value === speed) return;
      speed = value;
      $('[data-speed]').value = value;
      clearTimeout(timer);
      next = performance.now() + (speed === '1' ? PERIOD : FRAME);
      timer = setTimeout(tick, next - performance.now());
    }
    function tick() {
      const now = performance.now();
      const period = speed === '1' ? PERIOD : FRAME;
      if (now - next >= period) {
        next = now + period;  // late by a period or more: the rhythm starts again from now
      } else {
        next += period;
      }
      timer = setTimeout(tick, Math.max(0, next - now));  // first: nothing the cycle does can stop the clock
      if (paused || replaying === 'at once' || seeking) return;
      guarded(speed === '1' ? runCycle : runFrame);
    }
    timer = setTimeout(tick, PERIOD);
    document.body.dataset.ready = 'true';
  }

  start();
})(window.CookerPanel = window.CookerPanel || {});
