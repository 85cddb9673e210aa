// The WebAssembly module's functions as JavaScript: compile a set of files,
// make the exports, play the song in pieces, tell when each note sounds and
// where it was written.  Used by the page's worker (importScripts), the page
// (Timeline) and the Node tests (require).  Each compile gets a new
// directory of its own in the module's memory file system; only the
// directory of the latest song that compiled is kept (its samples play).
(function (root) {
  'use strict';

  const PART_NAMES = ['FM1', 'FM2', 'FM3', 'FM4', 'FM5', 'FM6', 'PCM1', 'PCM2', 'PCM3', 'PCM4',
    'PCM5', 'PCM6', 'PCM7', 'PCM8', 'BEEP'];
  const EXPORTS = { wav: 0, vgm: 1, mid: 2 };
  const NOTE_FIELDS = 7;  // part, pitch, start, end, file (-1: no place), line, column
  const MAX_NOTES = 200000;

  class Engine {
    constructor(module) {
      this.m = module;
      this.handle = module._tallow_new();
      this.count = 0;
      this.songDir = '';    // the directory of the latest song that compiled
      this.sampleDir = '';  // the same when it holds samples (N.wav), else ''
    }

    // Calls a C function; string arguments are passed as UTF-8 copies.
    call(name, ...args) {
      const m = this.m;
      const held = [];
      const values = args.map((a) => {
        if (typeof a !== 'string') return a;
        const size = m.lengthBytesUTF8(a) + 1;
        const p = m._malloc(size);
        m.stringToUTF8(a, p, size);
        held.push(p);
        return p;
      });
      try {
        return m['_' + name](this.handle, ...values);
      } finally {
        held.forEach((p) => m._free(p));
      }
    }

    text(name, ...args) { return this.m.UTF8ToString(this.call(name, ...args)); }

    bytes(pointerFn, sizeFn) {
      const p = this.call(pointerFn);
      const n = this.call(sizeFn) >>> 0;
      return new Uint8Array(this.m.HEAPU8.buffer, p, n).slice();
    }

    // files: {name: string or Uint8Array}; the first is the main source.
    compile(files, language) {
      const names = Object.keys(files);
      if (names.length === 0) throw new Error('no source file');
      const FS = this.m.FS;
      const dir = `/song${++this.count}`;
      FS.mkdir(dir);
      for (const name of names) {
        const parts = name.split('/').filter((p) => p !== '' && p !== '.' && p !== '..');
        let path = dir;
        for (const p of parts.slice(0, -1)) {
          path += '/' + p;
          if (!FS.analyzePath(path).exists) FS.mkdir(path);
        }
        FS.writeFile(`${path}/${parts[parts.length - 1]}`, files[name]);
      }
      const status = this.call('tallow_compile', dir, names[0], language || '');
      const result = {
        status,
        messages: this.text('tallow_messages'),
        diagnostics: JSON.parse(this.text('tallow_diagnostics')),
        krb: this.bytes('tallow_krb', 'tallow_krb_size'),
        fmb: this.bytes('tallow_fmb', 'tallow_fmb_size'),
      };
      FS.chdir('/');
      if (status === 0) {
        if (this.songDir) removeTree(FS, this.songDir);
        this.songDir = dir;
        this.sampleDir = names.some((n) => /^\d+\.wav$/i.test(n)) ? dir : '';
      } else {
        removeTree(FS, dir);
      }
      return result;
    }

    summary() { return this.text('tallow_summary'); }
    dump(part, maxBytes) { return this.text('tallow_dump', part, maxBytes); }

    // kind: 'wav', 'vgm' or 'mid'.
    exportFile(kind) {
      if (this.call('tallow_export', EXPORTS[kind], this.sampleDir) !== 0) {
        throw new Error(this.text('tallow_error'));
      }
      return this.bytes('tallow_bytes', 'tallow_bytes_size');
    }

    // The notes of the latest song in time, for a Timeline: {notes, files,
    // end}; notes holds NOTE_FIELDS numbers a note, in the order they start.
    timeline(maxNotes = MAX_NOTES) {
      const n = this.call('tallow_timeline', maxNotes);
      if (n < 0) throw new Error(this.text('tallow_error'));
      const p = this.call('tallow_numbers') >>> 3;
      const numbers = this.m.HEAPF64.slice(p, p + n * NOTE_FIELDS + 1);
      return { notes: numbers.subarray(0, n * NOTE_FIELDS), end: numbers[n * NOTE_FIELDS],
        files: JSON.parse(this.text('tallow_place_files')), truncated: n === maxNotes };
    }

    // Starts the latest song; mask: bit n hears part n.
    play(rate, mask, startSeconds) {
      if (this.call('tallow_play', rate, mask, startSeconds, this.sampleDir) !== 0) {
        throw new Error(this.text('tallow_error'));
      }
    }

    // The next frames of the playing song: {left, right, levels}, empty at
    // its end; levels: each part's measured level (0: -60 dB, 1: full scale).
    render(frames) {
      const n = this.call('tallow_render', frames);
      if (n < 0) throw new Error(this.text('tallow_error'));
      const heap = this.m.HEAPF32;
      const take = (fn) => {
        if (n === 0) return new Float32Array(0);
        const p = this.call(fn) >>> 2;
        return heap.slice(p, p + n);
      };
      const at = n === 0 ? 0 : this.call('tallow_levels') >>> 2;
      const levels = n === 0 ? new Float32Array(PART_NAMES.length)
        : heap.slice(at, at + PART_NAMES.length);
      return { left: take('tallow_left'), right: take('tallow_right'), levels };
    }
  }

  // The first of 0..count - 1 for which `before` is false (count when none
  // is), where `before` holds for the indexes below some point only.
  function partition(count, before) {
    let lo = 0;
    let hi = count;
    while (lo < hi) {
      const mid = (lo + hi) >> 1;
      if (before(mid)) lo = mid + 1; else hi = mid;
    }
    return lo;
  }

  // The notes of a song in time (from Engine.timeline): which note each part
  // plays at a time and where it was written, and the notes of a stretch of
  // time for a piano roll.
  class Timeline {
    constructor({ notes, files, end }) {
      this.data = notes;
      this.files = files;
      this.end = end;
      this.count = notes.length / NOTE_FIELDS;
      this.byPart = PART_NAMES.map(() => []);
      this.longest = 0;
      this.low = 127;
      this.high = 0;
      for (let i = 0; i < this.count; ++i) {
        const n = this.note(i);
        this.byPart[n.part].push(i);
        this.longest = Math.max(this.longest, n.end - n.start);
        this.low = Math.min(this.low, n.pitch);
        this.high = Math.max(this.high, n.pitch);
      }
    }

    // {part, pitch, start, end, place: {file, line, column} or null}
    note(i) {
      const d = this.data.subarray(i * NOTE_FIELDS, (i + 1) * NOTE_FIELDS);
      const place = d[4] < 0 ? null : { file: this.files[d[4]], line: d[5], column: d[6] };
      return { part: d[0], pitch: d[1], start: d[2], end: d[3], place };
    }

    // {partName: {file, line, column}} of the notes sounding at `seconds`.
    positionsAt(seconds) {
      const out = {};
      this.byPart.forEach((list, part) => {
        const i = this.soundingIn(list, seconds);
        if (i >= 0 && this.note(i).place) out[PART_NAMES[part]] = this.note(i).place;
      });
      return out;
    }

    // The note of `list` (a part's, in start order) sounding at `seconds`, or
    // -1; of a chord, its first note.
    soundingIn(list, seconds) {
      const lo = partition(list.length, (k) => this.data[list[k] * NOTE_FIELDS + 2] <= seconds);
      let found = -1;
      // A part's notes follow one another; only a chord's start together.
      for (let k = lo - 1; k >= 0 && k >= lo - 4; --k) {
        const d = list[k] * NOTE_FIELDS;
        if (this.data[d + 3] > seconds && this.data[d + 2] <= seconds) found = list[k];
      }
      return found;
    }

    // The indexes of the notes sounding between `from` and `to` (seconds).
    between(from, to) {
      const lo = partition(this.count, (i) => this.data[i * NOTE_FIELDS + 2] < from - this.longest);
      const out = [];
      for (let i = lo; i < this.count && this.data[i * NOTE_FIELDS + 2] < to; ++i) {
        if (this.data[i * NOTE_FIELDS + 3] > from) out.push(i);
      }
      return out;
    }
  }

  function removeTree(FS, path) {
    for (const name of FS.readdir(path)) {
      if (name === '.' || name === '..') continue;
      const child = `${path}/${name}`;
      if (FS.isDir(FS.stat(child).mode)) removeTree(FS, child); else FS.unlink(child);
    }
    FS.rmdir(path);
  }

  const api = { Engine, Timeline, PART_NAMES };
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.TallowEngine = api;
})(typeof self !== 'undefined' ? self : this);
