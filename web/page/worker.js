// The page's worker: holds the WebAssembly module, compiles, makes the
// exports and renders the song for the player, so that the page never waits
// on them.  The page ends and restarts it when a request runs too long.
//
// Requests: {id, op, ...}; replies: {id, ok, value} or {id, ok: false,
// error}.  Sound goes to the player over the port the page hands over with
// op 'connect': {frames: [left, right]} pieces, then {end: true}.
'use strict';
importScripts('tallow.js', 'engine.js');

const AHEAD_SECONDS = 0.4;  // the sound kept ready beyond what the player has played
const PIECE_FRAMES = 2048;

let engine = null;
const ready = createTallow({ print() {}, printErr() {} }).then((m) => {
  engine = new TallowEngine.Engine(m);
  self.postMessage({ ready: true });
});

const player = { port: null, rate: 0, sent: 0, played: 0, playing: false, ended: false };

function feed() {
  while (player.playing && !player.ended && player.sent - player.played < AHEAD_SECONDS * player.rate) {
    const piece = engine.render(PIECE_FRAMES);
    if (piece.left.length === 0) {
      player.ended = true;
      player.port.postMessage({ end: true });
      break;
    }
    player.sent += piece.left.length;
    const levels = piece.levels.map((v, i) => ((player.mask >> i) & 1 ? v : 0));
    player.port.postMessage({ frames: [piece.left, piece.right], levels },
      [piece.left.buffer, piece.right.buffer]);
  }
}

function startPlaying({ rate, mask, start }) {
  engine.play(rate, mask, start);
  Object.assign(player, { rate, mask, sent: 0, played: 0, playing: true, ended: false });
  player.port.postMessage({ reset: true });
  feed();
}

// The song from the start for `seconds`, as two Float32Arrays.  The pieces
// are joined at the end, so that memory grows with what was rendered: a
// render stopped by the page's time limit has not taken room for all it was
// asked.
function renderAll({ seconds, rate, mask }) {
  engine.play(rate, mask, 0);
  const total = Math.round(seconds * rate);
  const pieces = [];
  let at = 0;
  while (at < total) {
    const piece = engine.render(Math.min(total - at, 1 << 15));
    if (piece.left.length === 0) break;
    pieces.push(piece);
    at += piece.left.length;
  }
  const left = new Float32Array(at);
  const right = new Float32Array(at);
  at = 0;
  for (const piece of pieces) {
    left.set(piece.left, at);
    right.set(piece.right, at);
    at += piece.left.length;
  }
  return { left, right };
}

const operations = {
  compile: ({ files, language }) => {
    const r = engine.compile(files, language);
    if (r.status !== 0) return { ...r, summary: '', timeline: null };
    let timeline = null;
    try { timeline = engine.timeline(); } catch { /* a song the model cannot play: no timeline */ }
    return { ...r, summary: engine.summary(), timeline };
  },
  dump: ({ part, maxBytes }) => engine.dump(part, maxBytes),
  exportFile: ({ kind }) => engine.exportFile(kind),
  play: (request) => startPlaying(request),
  stop: () => { player.playing = false; },
  render: (request) => renderAll(request),
  connect: ({ port }) => {
    player.port = port;
    port.onmessage = (e) => {
      if (e.data.played !== undefined) {
        player.played = e.data.played;
        feed();
      }
    };
  },
};

self.onmessage = async (e) => {
  const { id, op } = e.data;
  await ready;
  try {
    const value = operations[op](e.data);
    self.postMessage({ id, ok: true, value });
  } catch (error) {
    self.postMessage({ id, ok: false, error: String(error && error.message || error) });
  }
};
