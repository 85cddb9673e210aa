// The WebAssembly module's functions as JavaScript: compile a set of files,
// make the exports, play the song in pieces.  Used by the page's worker
// (importScripts) and by the Node tests (require).  Each compile gets a new
// directory of its own in the module's memory file system; only the
// directory of the latest song that compiled is kept (its samples play).
(function (root) {
  'use strict';

  const PART_NAMES = ['FM1', 'FM2', 'FM3', 'FM4', 'FM5', 'FM6', 'PCM1', 'PCM2', 'PCM3', 'PCM4',
    'PCM5', 'PCM6', 'PCM7', 'PCM8', 'BEEP'];
  const EXPORTS = { wav: 0, vgm: 1, mid: 2 };

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

    // Starts the latest song; mask: bit n hears part n.
    play(rate, mask, startSeconds) {
      if (this.call('tallow_play', rate, mask, startSeconds, this.sampleDir) !== 0) {
        throw new Error(this.text('tallow_error'));
      }
    }

    // The next frames of the playing song: {left, right, levels}, empty at
    // its end; levels: each part's volume (0-1) while it held a note.
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

  function removeTree(FS, path) {
    for (const name of FS.readdir(path)) {
      if (name === '.' || name === '..') continue;
      const child = `${path}/${name}`;
      if (FS.isDir(FS.stat(child).mode)) removeTree(FS, child); else FS.unlink(child);
    }
    FS.rmdir(path);
  }

  const api = { Engine, PART_NAMES };
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.TallowEngine = api;
})(typeof self !== 'undefined' ? self : this);
