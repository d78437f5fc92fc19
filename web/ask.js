// Ask: a condition in the explorer's language, answered with the shortest key
// script from the panel as it is now; the answer can be played on the panel
// while the panel is still in the state it was found from. Once the panel
// has moved on, the answer is kept for reading but can no longer be played;
// a new session clears it.
(function (CP) {
  'use strict';
  const $ = (selector) => document.querySelector(selector);

  CP.wireAsk = function (engine, player) {
    const answer = $('[data-ask-answer]');
    const note = $('[data-ask-note]');
    const play = $('[data-action="play-answer"]');
    let script = null;  // the answer, while it can be played
    const ask = () => {
      const reply = engine.ask($('[data-ask-text]').value);
      const searched = `(${engine.searchStates().toLocaleString('en')} states searched in ` +
                       `${engine.searchSeconds().toFixed(3)} s)`;
      script = null;
      note.textContent = '';
      if (reply === null) {
        answer.textContent = 'The condition is more than the page can hold.';
      } else if (reply[0] === 'S') {
        script = reply.slice(1);
        answer.textContent = script === '' ? `It holds now: no key needed. ${searched}`
                                           : `Shortest script from here: ${script} ${searched}`;
      } else if (reply[0] === 'U') {
        answer.textContent = `Unreachable: no key script leads from here to such a state. ${searched}`;
      } else {
        answer.textContent = `The condition: ${reply.slice(1)}`;
      }
      answer.dataset.answer = script === null ? '' : script;
      play.disabled = script === null || script === '';
    };
    $('[data-action="ask"]').addEventListener('click', ask);
    $('[data-ask-text]').addEventListener('keydown', (event) => { if (event.key === 'Enter') ask(); });
    play.addEventListener('click', () => {
      if (script) player.play(new TextEncoder().encode(script), 'answer');
      script = null;  // played: from here on the panel is elsewhere
      play.disabled = true;
    });

    return {
      // After a cycle: an answer for a state the panel has left can no
      // longer be played.
      cycled() {
        if (script === null || engine.answerCurrent()) return;
        script = null;
        play.disabled = true;
        note.textContent = 'The panel has moved on since this answer: ask again for the way from here.';
      },
      clear() {
        script = null;
        play.disabled = true;
        answer.textContent = '';
        answer.dataset.answer = '';
        note.textContent = '';
      },
    };
  };
})(window.CookerPanel = window.CookerPanel || {});
