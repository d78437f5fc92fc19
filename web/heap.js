// The one boundary between the page and the module: bytes go in through
// buffers of the module's heap (_malloc, HEAPU8) with their length, never as
// strings on the stack, so a script of any length and any byte arrives as it
// was read; texts come out by pointer and length. The rest of the page calls
// the engine this makes and nothing of the module itself.
(function (CP) {
  'use strict';
  const encoder = new TextEncoder();
  const decoder = new TextDecoder();

  CP.connect = function (m) {
    const call = (name) => m[`_${name}`];
    const size = () => m._cp_size();
    const text = (pointer) => decoder.decode(m.HEAPU8.subarray(pointer, pointer + size()));
    // NAME\tVALUE lines as [name, value] pairs.
    const lines = (all) => all.split('\n').filter((line) => line !== '').map((line) => line.split('\t'));
    const bytes = (pointer) => m.HEAPU8.slice(pointer, pointer + size());  // a copy: the heap may move

    // Runs use(pointers) with each array copied into the heap; null when the
    // heap cannot hold them (the page then says so).
    function withBytes(arrays, use) {
      const pointers = [];
      try {
        for (const array of arrays) {
          const pointer = m._malloc(Math.max(1, array.length));
          if (pointer === 0) return null;
          pointers.push(pointer);
          m.HEAPU8.set(array, pointer);
        }
        return use(pointers);
      } finally {
        pointers.forEach((pointer) => m._free(pointer));
      }
    }

    return {
      module: m,
      start: () => call('cp_start')(),
      cycle: (key) => call('cp_cycle')(key) === 1,
      row: (row) => text(call('cp_row')(row)),
      color: () => call('cp_color')(),
      why: () => text(call('cp_why')()),
      door: () => call('cp_door')(),
      operation: () => call('cp_operation')(),
      cycles: () => call('cp_cycles')(),
      script: () => text(call('cp_script')()),
      runs: () => call('cp_runs')(),
      scriptPart: (first, count) => text(call('cp_script_part')(first, count)),
      diagram: () => text(call('cp_diagram')()),
      exportBegin: (format) => call('cp_export_begin')(format),
      exportNext: (cycles) => bytes(call('cp_export_next')(cycles)),
      exportLeft: () => call('cp_export_left')(),
      exportStop: () => call('cp_export_stop')(),
      // The script's bytes checked whole: '' when they read, else the
      // message; null when the heap cannot take them.
      load: (script, name) => {
        const named = encoder.encode(name);
        return withBytes([script, named], ([s, n]) => text(call('cp_load')(s, script.length, n, named.length)));
      },
      // fresh: a new session; restoring: one that takes a kept session back.
      play: (fresh, restoring) => call('cp_play')(restoring ? 2 : fresh ? 1 : 0),
      replayNext: () => call('cp_replay_next')(),
      replayRun: (cycles) => call('cp_replay_run')(cycles),
      replayLeft: () => call('cp_replay_left')(),
      replayStop: () => call('cp_replay_stop')(),
      ask: (condition) => withBytes([encoder.encode(condition + '\0')], ([c]) => text(call('cp_ask')(c))),
      answerCurrent: () => call('cp_answer_current')() === 1,
      checks: () => call('cp_checks')(),
      checkPassed: (i) => call('cp_check_passed')(i) === 1,
      checkText: (i) => text(call('cp_check_text')(i)),
      checkFailed: () => call('cp_check_failed')() === 1,
      fields: () => lines(text(call('cp_fields')())),
      expect: (condition) => {
        const bytes = encoder.encode(condition);
        return withBytes([bytes], ([c]) => text(call('cp_expect')(c, bytes.length)));
      },
      // Seeking: the panel shown is the one after cycle until the next
      // cycle runs; the session itself stays as it was.
      seek: (cycle) => call('cp_seek')(cycle),
      shownCycle: () => call('cp_shown_cycle')(),
      scriptUntil: (cycle) => text(call('cp_script_until')(cycle)),
      // The panel shown: a line each [name, value] or, for a field with a row
      // of its own in the inspector, [name, value, label]; then a to f with
      // what each key would do.
      inspect: () => lines(text(call('cp_inspect')())),
      fieldsAt: (cycle) => lines(text(call('cp_fields_at')(cycle))),
      until: (condition) => withBytes([encoder.encode(condition + '\0')], ([c]) => text(call('cp_until')(c))),
      untilHolds: () => call('cp_until_holds')() === 1,
      // The diagram of cycles first..last, width pixels wide, the lanes of the mask.
      window: (first, last, width, lanes) => text(call('cp_window')(first, last, width, lanes)),
      windowFirst: () => call('cp_window_first')(),
      lanes: () => text(call('cp_lanes')()).split('\n').filter((name) => name !== ''),
      windowLast: () => call('cp_window_last')(),
      searchSeconds: () => call('cp_search_seconds')(),
      searchStates: () => call('cp_search_states')(),
      memory: () => m.HEAPU8.length,
    };
  };
})(window.CookerPanel = window.CookerPanel || {});
