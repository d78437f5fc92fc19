// The state inspector beside the display: what the panel is doing in words
// (idle, running, or ended, which the display alone cannot tell from idle),
// the door, the mode with an English gloss, the time even while row 10 shows
// a temperature, both temperatures, backlight, beeper, the keys waiting and
// the replay's progress, and what each key would do in the next cycle or why
// it would do nothing. The key buttons carry the same reason.
(function (CP) {
  'use strict';
  const $ = (selector) => document.querySelector(selector);
  const GLOSS = ['manual', 'rice cake', 'porridge', 'cooked rice', 'soup / stew', 'pizza'];
  const STATES = {
    idle: 'Idle: ready to set and start',
    running: 'Running: counting down; e cancels',
    ended: 'Ended: the cook is over and the bells have rung. Only the door acts: open it (f) to set again',
  };
  const KEYS = 'abcdef';
  let made = false;  // the fields' rows
  const found = new Map();  // the inspector's elements, looked up once
  const element = (selector) => {
    if (!found.has(selector)) found.set(selector, $(selector));
    return found.get(selector);
  };

  const clock = (seconds) => {
    const s = Number(seconds);
    return `${String(Math.floor(s / 60)).padStart(2, '0')}:${String(s % 60).padStart(2, '0')}`;
  };
  // How a field reads in its row where the module's words are not enough.
  const SHOWN = {
    mode: (f) => {
      const gloss = GLOSS[Number(f.mode)] || '';
      return gloss === f.mode_name ? `${f.mode} ${gloss}` : `${f.mode} ${f.mode_name} (${gloss})`;
    },
    time: (f) => `${clock(f.time)} (${f.time} s)${f.setting === 'temp' && f.mode === '0' ? ', row 10 shows the temperature' : ''}`,
    set_temp: (f) => `${f.set_temp} \u00b0C set, ${f.cur_temp} \u00b0C now`,
  };

  // The rows of the fields the module labels, made once before the rows of
  // the keys waiting and the replay.
  function makeRows(lines) {
    const list = $('[data-inspect-rows]');
    const before = list.firstElementChild;
    for (const [name, , label] of lines) {
      if (label === undefined) continue;
      const term = document.createElement('dt');
      term.textContent = label;
      const value = document.createElement('dd');
      value.dataset.inspect = name;
      list.insertBefore(term, before);
      list.insertBefore(value, before);
    }
  }

  // Shows the panel the engine shows now; queue: the keys waiting; replay:
  // words on the replay's progress ('' when none plays).
  CP.inspect = function (engine, queue, replay) {
    const lines = engine.inspect();
    const f = Object.fromEntries(lines);
    if (!made) {
      makeRows(lines);
      made = true;
    }
    const box = $('[data-inspector]');
    // Text is written only when it changed: most cycles change little here.
    const show = (shown, text) => {
      if (shown.textContent !== text) shown.textContent = text;
    };
    const set = (name, value) => show(element(`[data-inspect="${name}"]`), value);
    if (box.dataset.operation !== f.operation) {
      box.dataset.operation = f.operation;
      element('[data-display]').dataset.operation = f.operation;
    }
    show(element('[data-inspect-state]'), STATES[f.operation] || f.operation);
    for (const [name, value, label] of lines) {
      if (label !== undefined) set(name, SHOWN[name] ? SHOWN[name](f) : value);
    }
    set('queue', queue.length === 0 ? 'none' : queue.map((code) => String.fromCharCode(code)).join(' '));
    set('replay', replay === '' ? 'none' : replay);
    for (const key of KEYS) {
      const reason = f[key];
      const ignored = reason.startsWith('ignored');
      const item = element(`[data-reason="${key}"]`);
      const words = `${key}: ${reason}`;
      show(item, words);
      item.classList.toggle('ignored', ignored);
      const button = element(`[data-key="${key}"]`);
      if (button.title !== words) {
        button.dataset.ignored = String(ignored);
        button.title = words;
      }
    }
  };
})(window.CookerPanel = window.CookerPanel || {});
