// The session as data: its key script (shown, copied, downloaded, shared as
// a link, kept for a reload), the trace's CSV, VCD and timing diagram of it,
// made by the library in the page, and the bytes of a linked script. Nothing
// here costs more per cycle as the session grows: the script shown is its
// tail, the diagram is kept up by the host, and a download is made in
// pieces between the cycles.
(function (CP) {
  'use strict';
  const $ = (selector) => document.querySelector(selector);
  const FORMATS = { csv: 1, vcd: 2, svg: 3 };
  const TYPES = { keys: 'text/plain', csv: 'text/csv', vcd: 'text/plain', svg: 'image/svg+xml' };
  const NAME = 'cooker-panel-session';
  const SHOWN_RUNS = 400;               // the script shown: its last runs
  const PIECE_CYCLES = 20000;           // traced between two yields of a download
  const PIECE_RUNS = 50000;             // of the .keys
  const MOST_BYTES = 256 * 1024 * 1024;  // a download the page makes at most
  const CSV_ROW = 56;                   // bytes of the shortest CSV row
  const STORED = 'cooker-panel-session';
  const MOST_LINK = 2 * 1024 * 1024;    // characters of an address Chromium opens

  function notice(text) { $('[data-notice]').textContent = text; }

  // Lets the page draw and take input before going on.
  CP.yield = () => new Promise((resolve) => {
    const channel = new MessageChannel();
    channel.port1.onmessage = () => resolve();
    channel.port2.postMessage(null);
  });

  let exporting = null;  // the download being made: { stop }

  async function download(engine, kind, progress) {
    if (exporting) return;
    const parts = [];
    let stopped = false;
    exporting = { stop: () => { stopped = true; } };
    try {
      if (kind === 'keys') {
        const runs = engine.runs();
        for (let first = 0; first < runs && !stopped; first += PIECE_RUNS) {
          parts.push(engine.scriptPart(first, PIECE_RUNS));
          if (first + PIECE_RUNS < runs) await CP.yield();
        }
        parts.push('\n');
      } else {
        const cycles = engine.cycles();
        if (kind === 'csv' && cycles * CSV_ROW > MOST_BYTES) {
          tooLarge(engine, kind, progress);
          return;
        }
        let bytes = 0;
        engine.exportBegin(FORMATS[kind]);
        progress.begin(`Writing the ${kind.toUpperCase()}`, cycles);
        for (;;) {
          const part = engine.exportNext(PIECE_CYCLES);
          if (stopped) {
            engine.exportStop();
            return;
          }
          parts.push(part);
          bytes += part.length;
          if (bytes > MOST_BYTES) {
            engine.exportStop();
            tooLarge(engine, kind, progress);
            return;
          }
          if (engine.exportLeft() === 0) break;  // the last piece is in
          progress.show(cycles - engine.exportLeft());
          await CP.yield();
        }
      }
      if (stopped) return;
      save(parts, kind);
    } catch (error) {
      notice(`The ${kind.toUpperCase()} could not be made: ${error}`);
    } finally {
      exporting = null;
      progress.end();
    }
  }

  // Says so, and offers the .keys, from which the trace program writes it.
  function tooLarge(engine, kind, progress) {
    notice(`The ${kind.toUpperCase()} of this session would pass 256 MB, more than the page makes: ` +
           `cooker-panel-trace --format=${kind} ${NAME}.keys writes it from the session's script. `);
    const offer = document.createElement('button');
    offer.type = 'button';
    offer.dataset.offer = 'keys';
    offer.textContent = 'Download .keys';
    offer.addEventListener('click', () => download(engine, 'keys', progress));
    $('[data-notice]').append(offer);
  }

  function save(parts, kind) {
    const link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob(parts, { type: TYPES[kind] }));
    link.download = `${NAME}.${kind}`;
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 1000);
  }

  async function copy(text, what) {
    try {
      await navigator.clipboard.writeText(text);
      notice(`${what} copied.`);
    } catch (error) {
      notice(`${what} could not be copied here: ${text}`);
    }
  }

  // The page's address with the session in its fragment.
  CP.link = function (script) {
    return location.href.split('#')[0] + '#keys=' + encodeURIComponent(script);
  };

  // The script of a fragment #keys=... as bytes: each %HH one byte, any
  // other character its UTF-8. { bytes }, { error } for a malformed escape,
  // or null when the fragment holds no script.
  CP.linkedBytes = function (hash) {
    if (!hash.startsWith('#keys=')) return null;
    const text = hash.slice('#keys='.length);
    const out = new Uint8Array(text.length * 3);  // a character is at most three bytes per UTF-16 unit
    const encoder = new TextEncoder();
    let length = 0;
    for (let i = 0; i < text.length; ++i) {
      const code = text.charCodeAt(i);
      if (code !== 0x25 && code < 0x80) {  // not '%', ASCII: itself
        out[length++] = code;
        continue;
      }
      if (code !== 0x25) {
        const character = String.fromCodePoint(text.codePointAt(i));
        length += encoder.encodeInto(character, out.subarray(length)).written;
        i += character.length - 1;
        continue;
      }
      const hex = text.slice(i + 1, i + 3);
      if (!/^[0-9A-Fa-f]{2}$/.test(hex)) {
        return { error: `link: character ${i + 1} of the fragment: '%' must be followed by two hex digits` };
      }
      out[length++] = parseInt(hex, 16);
      i += 2;
    }
    return { bytes: out.slice(0, length) };
  };

  // The session kept in the tab for a reload, with the fragment it was
  // opened under, and taken back only under the same fragment: a link
  // opened in a tab that kept another session starts its own.
  CP.store = function (engine) {
    try {
      sessionStorage.setItem(STORED, JSON.stringify({ hash: location.hash, script: engine.script() }));
    } catch (error) {
      sessionStorage.removeItem(STORED);  // too long to keep: a reload starts afresh
    }
  };
  CP.stored = function () {
    try {
      const kept = JSON.parse(sessionStorage.getItem(STORED));
      return kept !== null && kept.hash === location.hash && kept.script !== '' ? kept.script : null;
    } catch (error) {
      return null;
    }
  };

  // Kept current every cycle: the script's last runs, and the waveform's
  // window, which redraws when it has moved.
  CP.showSession = function (engine, force) {
    const runs = engine.runs();
    const shown = runs <= SHOWN_RUNS ? engine.scriptPart(0, runs)
                                     : '\u2026' + engine.scriptPart(runs - SHOWN_RUNS, SHOWN_RUNS);
    $('[data-session-script]').textContent = shown;
    if (CP.wave) CP.wave.update(force);
  };

  // The checks judged so far, each shown once: passed or failed, with the
  // trace program's words; true when the last one shown failed.
  let checksShown = 0;
  CP.clearChecks = function () {
    $('[data-checks]').textContent = '';
    checksShown = 0;
  };
  CP.showChecks = function (engine) {
    const list = $('[data-checks]');
    const count = engine.checks();
    if (count < checksShown) {
      list.textContent = '';
      checksShown = 0;
    }
    for (; checksShown < count; checksShown += 1) {
      const item = document.createElement('li');
      const passed = engine.checkPassed(checksShown);
      item.dataset.check = passed ? 'passed' : 'failed';
      item.textContent = passed ? engine.checkText(checksShown) : `\u2717 ${engine.checkText(checksShown)}`;
      list.append(item);
    }
    return engine.checkFailed();
  };

  // "Expect this": the fields of this cycle offered to tick, and the check of
  // those ticked put into the session's script here.
  function wireExpect(engine) {
    const form = $('[data-expect-form]');
    const toggle = $('[data-action="expect"]');
    const quoted = (value) => (/[\s,'"]/.test(value) || value === '' ? `"${value}"` : value);
    toggle.addEventListener('click', () => {
      const open = form.hidden;
      form.hidden = !open;
      toggle.setAttribute('aria-expanded', String(open));
      if (!open) return;
      const fields = $('[data-expect-fields]');
      fields.textContent = '';
      for (const [name, value, ticked] of engine.fields()) {
        const label = document.createElement('label');
        const box = document.createElement('input');
        box.type = 'checkbox';
        box.dataset.field = name;
        box.value = `${name}=${quoted(value)}`;
        box.checked = ticked === '1';
        label.append(box, ` ${name}=${value}`);
        fields.append(label);
      }
    });
    $('[data-action="expect-insert"]').addEventListener('click', () => {
      const ticked = [...form.querySelectorAll('input[data-field]:checked')].map((box) => box.value);
      if (ticked.length === 0) {
        notice('Tick at least one field to check.');
        return;
      }
      const error = engine.expect(ticked.join(', '));
      notice(error === '' ? 'The check is in the session\'s script.' : `The check does not read: ${error}`);
      form.hidden = true;
      toggle.setAttribute('aria-expanded', 'false');
      CP.showChecks(engine);
      CP.showSession(engine, true);
    });
  }

  CP.wireSession = function (engine, player, progress) {
    wireExpect(engine);
    const on = (action, handler) => $(`[data-action="${action}"]`).addEventListener('click', handler);
    on('copy-script', () => copy(engine.script(), 'The script'));
    on('copy-link', () => {
      const link = CP.link(engine.script());
      if (link.length > MOST_LINK) {
        notice(`The link would be ${link.length.toLocaleString('en')} characters, more than browsers take: ` +
               'share the .keys instead.');
      } else {
        copy(link, 'The link');
      }
    });
    for (const kind of ['keys', 'csv', 'vcd', 'svg']) on(`download-${kind}`, () => download(engine, kind, progress));
    on('new-session', () => player.restart(null));
    CP.stopDownload = () => { if (exporting) exporting.stop(); };
  };
})(window.CookerPanel = window.CookerPanel || {});
