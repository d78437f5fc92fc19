// The waveform view: a pane of fixed height that shows a window of the
// session's cycles, drawn by the host with the trace's own SVG writer at the
// pane's width, so its text is always at its natural 12 px. Wheel or pinch
// zooms around the pointer, dragging or the arrow keys pan, "Zoom to fit"
// shows the whole session, and "Follow" keeps the live edge in view (on at
// first, off once the window is panned away from it). A click puts the
// cursor on a cycle and reads out every field there; two markers give the
// time between them; the lanes shown are chosen. Nothing is redrawn while
// the pointer rests on the pane, so a tooltip stays, and the pane never
// changes height as the session grows.
(function (CP) {
  'use strict';
  const $ = (selector) => document.querySelector(selector);
  const PLOT_LEFT = 96;     // the writer's plot starts here
  const RIGHT_MARGIN = 24;  // and leaves this much on its right
  const LEAST_SPAN = 10;    // cycles across the pane at the closest zoom
  const FIRST_SPAN = 600;   // a minute across the pane at first
  const EVERY = 1000;       // ms between two redraws that only follow the edge

  CP.wireWave = function (engine, seek) {
    const pane = $('[data-wave]');
    const picture = $('[data-wave-svg]');
    const cursorLine = $('[data-wave-cursor]');
    const markerLines = [$('[data-wave-marker="a"]'), $('[data-wave-marker="b"]')];
    const readout = $('[data-cursor-readout]');
    const follow = $('[data-action="follow"]');
    let span = FIRST_SPAN;
    let first = 1;          // the window asked for
    let following = true;
    let drawn = { first: 1, last: FIRST_SPAN };  // the window drawn (a wide one is widened to whole blocks)
    const names = engine.lanes();  // as the writer names them, bit i for lane i
    let lanes = (1 << names.length) - 1;
    let cursor = null;
    const markers = [null, null];
    let hovering = false;
    let drawnAt = -Infinity;  // performance.now() of the last redraw
    let drawnCycles = -1;

    const plotWidth = () => Math.max(200, pane.clientWidth - PLOT_LEFT - RIGHT_MARGIN);
    const scale = () => plotWidth() / (drawn.last - drawn.first + 1);
    const xOf = (cycle) => PLOT_LEFT + (cycle - drawn.first + 1) * scale();
    // The cycle under x pixels across the picture.
    const cycleAt = (x) => Math.min(engine.cycles(), Math.max(1, drawn.first + Math.ceil((x - PLOT_LEFT) / scale()) - 1));

    function setFollow(on) {
      following = on;
      follow.setAttribute('aria-pressed', String(on));
    }

    function place(line, cycle) {
      const shown = cycle !== null && cycle >= drawn.first && cycle <= drawn.last;
      line.hidden = !shown;
      if (shown) line.style.left = `${xOf(cycle) - scale() / 2}px`;
    }

    function draw() {
      const total = engine.cycles();
      span = Math.max(LEAST_SPAN, Math.round(span));
      if (following) first = Math.max(1, total - span + 1);
      first = Math.max(1, Math.min(Math.round(first), Math.max(1, total - span + 1)));
      const svg = engine.window(first, first + span - 1, plotWidth(), lanes);
      picture.innerHTML = svg;
      drawn = { first: engine.windowFirst(), last: engine.windowLast() };
      pane.dataset.firstCycle = String(drawn.first);
      pane.dataset.lastCycle = String(drawn.last);
      drawnAt = performance.now();
      drawnCycles = total;
      place(cursorLine, cursor);
      markerLines.forEach((line, i) => place(line, markers[i]));
    }

    function readOut() {
      if (cursor === null) return;
      readout.dataset.cursorCycle = String(cursor);
      const fields = engine.fieldsAt(cursor).map(([name, value]) => `${name}=${value}`).join('  ');
      readout.querySelector('[data-cursor-fields]').textContent = `cycle ${cursor} (${(cursor / 10).toFixed(1)} s): ${fields}`;
      $('[data-seek-cycle]').value = String(cursor);
    }

    function showMarkers() {
      const words = markers.map((m, i) => `${'AB'[i]}: ${m === null ? 'not set' : `cycle ${m}`}`);
      if (markers[0] !== null && markers[1] !== null) {
        const between = Math.abs(markers[1] - markers[0]);
        words.push(`B \u2212 A: ${between} cycles (${(between / 10).toFixed(1)} s)`);
      }
      $('[data-markers]').textContent = words.join(', ');
    }

    // Zooms by factor around the cycle under x (the live edge while following).
    function zoom(factor, x) {
      const total = Math.max(engine.cycles(), LEAST_SPAN);
      const at = following ? drawn.first + span : drawn.first - 1 + (x - PLOT_LEFT) / scale();
      const share = following ? 1 : (x - PLOT_LEFT) / plotWidth();
      span = Math.min(Math.max(LEAST_SPAN, span * factor), Math.max(total, FIRST_SPAN));
      first = at - share * span;
      draw();
    }

    function pan(cycles) {
      first = drawn.first + cycles;
      setFollow(first + span - 1 < engine.cycles() ? false : following);
      draw();
    }

    pane.addEventListener('wheel', (event) => {
      event.preventDefault();
      const box = picture.getBoundingClientRect();
      if (Math.abs(event.deltaX) > Math.abs(event.deltaY) && !event.ctrlKey) {
        pan(Math.round(event.deltaX / scale()));
        return;
      }
      zoom(Math.pow(1.0015, event.deltaY * (event.ctrlKey ? 4 : 1)), event.clientX - box.left);
    }, { passive: false });

    // Dragging pans; two fingers apart or together zoom; a click without a
    // drag puts the cursor there.
    const pointers = new Map();
    let dragged = false;
    let start = null;
    pane.addEventListener('pointerdown', (event) => {
      pointers.set(event.pointerId, event.clientX);
      dragged = false;
      start = { x: event.clientX, first: drawn.first, spread: null };
      if (pointers.size === 2) {
        const [a, b] = [...pointers.values()];
        start.spread = Math.abs(a - b);
      }
      try {
        pane.setPointerCapture(event.pointerId);
      } catch (error) {
        // a pointer the browser no longer knows: the drag goes on without capture
      }
    });
    pane.addEventListener('pointermove', (event) => {
      if (!pointers.has(event.pointerId) || start === null) return;
      pointers.set(event.pointerId, event.clientX);
      if (pointers.size === 2 && start.spread) {
        const [a, b] = [...pointers.values()];
        const spread = Math.abs(a - b);
        if (spread > 0) zoom(start.spread / spread, (a + b) / 2 - picture.getBoundingClientRect().left);
        start.spread = spread;
        dragged = true;
        return;
      }
      const dx = event.clientX - start.x;
      if (!dragged && Math.abs(dx) < 4) return;
      dragged = true;
      first = start.first - dx / scale();
      setFollow(first + span - 1 < engine.cycles() ? false : following);
      draw();
    });
    const release = (event) => {
      pointers.delete(event.pointerId);
      if (pointers.size > 0) return;
      if (!dragged && start !== null) {
        cursor = cycleAt(event.clientX - picture.getBoundingClientRect().left);
        place(cursorLine, cursor);
        readOut();
      }
      start = null;
    };
    pane.addEventListener('pointerup', release);
    pane.addEventListener('pointercancel', (event) => { pointers.delete(event.pointerId); start = null; });
    pane.addEventListener('pointerenter', () => { hovering = true; });
    pane.addEventListener('pointerleave', () => { hovering = false; });
    pane.addEventListener('dblclick', () => { if (cursor !== null) seek(cursor); });
    pane.addEventListener('keydown', (event) => {
      const step = Math.max(1, Math.round(span / 8));
      const keys = {
        ArrowLeft: () => pan(-step),
        ArrowRight: () => pan(step),
        '+': () => zoom(0.5, PLOT_LEFT + plotWidth() / 2),
        '=': () => zoom(0.5, PLOT_LEFT + plotWidth() / 2),
        '-': () => zoom(2, PLOT_LEFT + plotWidth() / 2),
        Home: () => pan(1 - drawn.first),
        End: () => { setFollow(true); draw(); },
      };
      if (!keys[event.key]) return;
      event.preventDefault();
      keys[event.key]();
    });

    $('[data-action="zoom-fit"]').addEventListener('click', () => {
      span = Math.max(LEAST_SPAN, engine.cycles());
      first = 1;
      setFollow(false);
      draw();
    });
    follow.addEventListener('click', () => {
      setFollow(!following);
      draw();
    });
    ['a', 'b'].forEach((name, i) => $(`[data-action="marker-${name}"]`).addEventListener('click', () => {
      markers[i] = cursor;
      place(markerLines[i], cursor);
      showMarkers();
    }));
    const choices = $('[data-lanes]');
    names.forEach((name, i) => {
      const label = document.createElement('label');
      const box = document.createElement('input');
      box.type = 'checkbox';
      box.checked = true;
      box.dataset.lane = name;
      box.addEventListener('change', () => {
        lanes = box.checked ? lanes | (1 << i) : lanes & ~(1 << i);
        draw();
      });
      label.append(box, ` ${name}`);
      choices.append(label);
    });
    window.addEventListener('resize', () => draw());
    showMarkers();

    return {
      // After cycles ran: the window follows the edge, redrawn at most every
      // EVERY ms and not under a resting pointer, unless forced.
      update(force) {
        const total = engine.cycles();
        if (!force && (hovering || total === drawnCycles)) return;
        if (!force && performance.now() - drawnAt < EVERY) return;
        if (!force && !following && total > drawn.last) return;  // the window is elsewhere
        if (total < drawnCycles) {  // a new session
          cursor = null;
          markers.fill(null);
          showMarkers();
          span = FIRST_SPAN;
          setFollow(true);
        }
        draw();
      },
      // Puts the cursor on cycle and brings it into view.
      show(cycle) {
        cursor = cycle;
        if (cycle < drawn.first || cycle > drawn.last) {
          first = cycle - Math.round(span / 2);
          setFollow(false);
        }
        draw();
        readOut();
      },
    };
  };
})(window.CookerPanel = window.CookerPanel || {});
