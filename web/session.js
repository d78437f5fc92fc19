// The session as data: its key script (shown, copied, downloaded, shared as
// a link), the trace's CSV, VCD and timing diagram of it, made by the
// library in the page, and replaying a script pasted, opened or linked.
(function (CP) {
  'use strict';
  const $ = (selector) => document.querySelector(selector);
  const FORMATS = { csv: 1, vcd: 2, svg: 3 };
  const TYPES = { keys: 'text/plain', csv: 'text/csv', vcd: 'text/plain', svg: 'image/svg+xml' };
  const NAME = 'cooker-panel-session';

  function notice(text) { $('[data-notice]').textContent = text; }

  function download(engine, kind) {
    const text = kind === 'keys' ? engine.script() + '\n' : engine.trace(FORMATS[kind]);
    const link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob([text], { type: TYPES[kind] }));
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

  // The script from a fragment #keys=..., or null.
  CP.linkedScript = function () {
    const hash = location.hash;
    if (!hash.startsWith('#keys=')) return null;
    try {
      return decodeURIComponent(hash.slice('#keys='.length));
    } catch (error) {
      return hash.slice('#keys='.length);  // not percent-encoded: the text as it is
    }
  };

  // Kept current every cycle; the diagram once a second (every 10 cycles).
  CP.showSession = function (engine, force) {
    $('[data-session-script]').textContent = engine.script();
    if (force || engine.cycles() % 10 === 0) $('[data-diagram]').innerHTML = engine.trace(FORMATS.svg);
  };

  CP.wireSession = function (engine, player) {
    const on = (action, handler) => $(`[data-action="${action}"]`).addEventListener('click', handler);
    on('copy-script', () => copy(engine.script(), 'The script'));
    on('copy-link', () => copy(CP.link(engine.script()), 'The link'));
    for (const kind of ['keys', 'csv', 'vcd', 'svg']) on(`download-${kind}`, () => download(engine, kind));
    on('new-session', () => player.restart(null));
    on('replay', () => player.restart($('[data-replay-text]').value, 'script', false));
    on('replay-at-once', () => player.restart($('[data-replay-text]').value, 'script', true));
    $('[data-replay-file]').addEventListener('change', async (event) => {
      const file = event.target.files[0];
      if (!file) return;
      const text = await file.text();
      $('[data-replay-text]').value = text;
      player.restart(text, file.name, false);
    });
  };
})(window.CookerPanel = window.CookerPanel || {});
