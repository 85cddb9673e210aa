// The piano roll: every part's notes as bars over time (pitch upwards, one
// colour a part), the playhead, and a cursor that says where playing starts.
// While the song plays the view follows the playhead; a click, or Enter on
// the focused roll, plays from that place; the arrow keys move the cursor.
export const PX_PER_SECOND = 80;
const LEAD = 0.25;          // of the view shown before the playhead
const STEP_SECONDS = 1;     // an arrow key's move (with Shift: five times more)

// The colour of a part: hues spread round the circle.
export function partColor(part, light = false) {
  const hue = (part * 137) % 360;
  return light ? `hsl(${hue} 85% 78% / 0.75)` : `hsl(${hue} 70% 45%)`;
}

export function createRoll(canvas, onSeek) {
  const roll = { timeline: null, at: 0, cursor: 0, start: 0, playing: false };

  function span() { return canvas.clientWidth / PX_PER_SECOND; }

  function draw() {
    const ratio = window.devicePixelRatio || 1;
    const width = canvas.clientWidth;
    const height = canvas.clientHeight;
    if (canvas.width !== Math.round(width * ratio)) canvas.width = Math.round(width * ratio);
    if (canvas.height !== Math.round(height * ratio)) canvas.height = Math.round(height * ratio);
    const g = canvas.getContext('2d');
    g.setTransform(ratio, 0, 0, ratio, 0, 0);
    g.clearRect(0, 0, width, height);
    const t = roll.timeline;
    canvas.dataset.start = String(roll.start);
    canvas.dataset.scale = String(PX_PER_SECOND);
    if (!t || t.count === 0) return;
    const x = (seconds) => (seconds - roll.start) * PX_PER_SECOND;
    const rows = t.high - t.low + 3;
    const row = height / rows;
    g.fillStyle = '#eaeef2';  // a line a second
    for (let s = Math.ceil(roll.start); s < roll.start + span(); ++s) g.fillRect(x(s), 0, 1, height);
    for (const i of t.between(roll.start, roll.start + span())) {
      const n = t.note(i);
      const sounding = roll.playing && n.start <= roll.at && roll.at < n.end;
      g.fillStyle = partColor(n.part, !sounding);
      const left = x(n.start);
      g.fillRect(left, (t.high + 1 - n.pitch) * row, Math.max(1, x(n.end) - left - 1), Math.max(2, row));
    }
    g.fillStyle = '#57606a';
    g.fillRect(x(roll.cursor), 0, 1, height);
    if (roll.playing) {
      g.fillStyle = '#cf222e';
      g.fillRect(x(roll.at) - 1, 0, 2, height);
    }
  }

  function setCursor(seconds) {
    const end = roll.timeline ? roll.timeline.end : 0;
    roll.cursor = Math.max(0, Math.min(end, seconds));
    if (roll.cursor < roll.start || roll.cursor > roll.start + span()) {
      roll.start = Math.max(0, roll.cursor - LEAD * span());
    }
    canvas.setAttribute('aria-valuenow', roll.cursor.toFixed(1));
    canvas.setAttribute('aria-valuetext', `${roll.cursor.toFixed(1)} s`);
    draw();
  }

  canvas.addEventListener('click', (e) => {
    const seconds = roll.start + (e.clientX - canvas.getBoundingClientRect().left) / PX_PER_SECOND;
    setCursor(seconds);
    onSeek(roll.cursor);
  });
  canvas.addEventListener('keydown', (e) => {
    const step = e.shiftKey ? 5 * STEP_SECONDS : STEP_SECONDS;
    const moves = { ArrowLeft: -step, ArrowRight: step, ArrowDown: -step, ArrowUp: step };
    if (e.key in moves) setCursor(roll.cursor + moves[e.key]);
    else if (e.key === 'Home') setCursor(0);
    else if (e.key === 'End') setCursor(roll.timeline ? roll.timeline.end : 0);
    else if (e.key === 'Enter' || e.key === ' ') onSeek(roll.cursor);
    else return;
    e.preventDefault();
  });
  new ResizeObserver(draw).observe(canvas);

  return {
    setTimeline(timeline) {
      roll.timeline = timeline;
      canvas.setAttribute('aria-valuemax', timeline ? timeline.end.toFixed(1) : '0');
      setCursor(roll.cursor);
    },
    // The song at `seconds`; the view follows it while playing.
    show(seconds, playing) {
      roll.at = seconds;
      roll.playing = playing;
      if (playing) roll.start = Math.max(0, seconds - LEAD * span());
      draw();
    },
  };
}
