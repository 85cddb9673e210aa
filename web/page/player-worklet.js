// The audio thread's end of the player: plays the pieces the worker sends
// over its port, in order, and tells it how far it has played (so that the
// worker stays a fraction of a second ahead) and, to the page, the level and
// the position, and each part's level.  Silence while no piece is there.
const REPORT_EVERY = 8;  // render quanta (128 frames) between reports to the page

class TallowPlayer extends AudioWorkletProcessor {
  constructor() {
    super();
    this.queue = [];
    this.offset = 0;  // frames of queue[0] already played
    this.played = 0;
    this.ended = false;
    this.peak = 0;
    this.levels = null;  // the parts' levels of the piece playing
    this.quanta = 0;
    this.feed = null;
    this.port.onmessage = (e) => {
      if (e.data.feed) {
        this.feed = e.data.feed;
        this.feed.onmessage = (m) => this.take(m.data);
      }
    };
  }

  take(data) {
    if (data.reset) {
      this.queue = [];
      this.offset = 0;
      this.played = 0;
      this.ended = false;
      this.peak = 0;
    } else if (data.end) {
      this.ended = true;
    } else if (data.frames) {
      this.queue.push(data);
    }
  }

  process(_inputs, outputs) {
    const [left, right] = outputs[0];
    let at = 0;
    let peak = 0;
    while (at < left.length && this.queue.length > 0) {
      const [l, r] = this.queue[0].frames;
      this.levels = this.queue[0].levels;
      const n = Math.min(left.length - at, l.length - this.offset);
      for (let i = 0; i < n; ++i) {
        left[at + i] = l[this.offset + i];
        if (right) right[at + i] = r[this.offset + i];
        peak = Math.max(peak, Math.abs(l[this.offset + i]), Math.abs(r[this.offset + i]));
      }
      at += n;
      this.offset += n;
      if (this.offset === l.length) {
        this.queue.shift();
        this.offset = 0;
      }
    }
    this.played += at;
    this.peak = Math.max(this.peak, peak);
    const ended = this.ended && this.queue.length === 0;
    if (++this.quanta % REPORT_EVERY === 0 || ended) {
      if (this.feed) this.feed.postMessage({ played: this.played });
      this.port.postMessage({ played: this.played, peak: this.peak, levels: this.levels, ended });
      this.peak = 0;
      if (ended) this.ended = false;  // said once
    }
    return true;
  }
}

registerProcessor('tallow-player', TallowPlayer);
