// Ask: a condition in the explorer's language, answered with the shortest key
// script from the panel as it is now; the answer can be played on the panel.
(function (CP) {
  'use strict';
  const $ = (selector) => document.querySelector(selector);

  CP.wireAsk = function (engine, player) {
    const answer = $('[data-ask-answer]');
    const play = $('[data-action="play-answer"]');
    let script = null;
    const ask = () => {
      const reply = engine.ask($('[data-ask-text]').value);
      const searched = `(${engine.searchStates().toLocaleString('en')} states searched in ` +
                       `${engine.searchSeconds().toFixed(3)} s)`;
      script = null;
      if (reply[0] === 'S') {
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
    play.addEventListener('click', () => { if (script) player.play(script, 'answer'); });
  };
})(window.CookerPanel = window.CookerPanel || {});
