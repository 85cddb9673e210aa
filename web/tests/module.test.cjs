// The WebAssembly module against the native programs: for every example
// song and every acceptance case the playground can compile, the same exit
// status, the same KRB bytes and the same bank files; for the example songs
// the same WAV, VGM and MIDI bytes as krb2wav, krb2vgm and krb2mid; and
// the notes playing at a time name the places they were written at.
//
// Run from the repository root after building both:
//   TALLOW_NATIVE=build TALLOW_SITE=build-wasm/site node --test web/tests/
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { execFileSync, spawnSync } = require('node:child_process');

const root = path.resolve(__dirname, '../..');
const native = path.resolve(root, process.env.TALLOW_NATIVE || 'build');
const site = path.resolve(root, process.env.TALLOW_SITE || 'build-wasm/site');
// The acceptance cases: named, or in the shared/ folder beside the clone.
const acceptance = process.env.TALLOW_ACCEPTANCE
  || [path.join(root, '../shared/acceptance'), '/work/shared/acceptance']
    .find((dir) => fs.existsSync(path.join(dir, 'run.py')));
const { Engine, Timeline } = require(path.join(site, 'engine.js'));

async function loadEngine() {
  const createTallow = require(path.join(site, 'tallow.js'));
  const wasmBinary = fs.readFileSync(path.join(site, 'tallow.wasm'));
  return new Engine(await createTallow({ wasmBinary, print() {}, printErr() {} }));
}

// Every file under `dir`, by its relative name taken byte for byte (file
// names may be CP932).
function readTree(dir, prefix = '') {
  const files = {};
  for (const name of fs.readdirSync(dir, { encoding: 'buffer' })) {
    const rel = prefix + name.toString('latin1');
    const full = Buffer.concat([Buffer.from(dir + '/'), name]);
    if (fs.statSync(full).isDirectory()) Object.assign(files, readTree(full, rel + '/'));
    else files[rel] = new Uint8Array(fs.readFileSync(full));
  }
  return files;
}

// The page's names are text: the bytes of a name read as UTF-8.
const pageName = (name) => Buffer.from(name, 'latin1').toString('utf8');

// The files as the main source's compile needs them: the main one first.
function ordered(files, main) {
  const all = { [main]: files[main], ...files };
  return Object.fromEntries(Object.entries(all).map(([name, data]) => [pageName(name), data]));
}

// Compiles with the native tallowc in a copy of `dir`: status, the KRB file
// written and every bank file written or changed.
function compileNative(dir, main) {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'tallow-web-'));
  fs.cpSync(dir, work, { recursive: true });
  const before = readTree(work);
  const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'tallow-tmp-'));
  const run = spawnSync(path.join(native, 'tallowc'), [main], {
    cwd: work, env: { PATH: process.env.PATH, LC_ALL: 'C', TMPDIR: tmp }, stdio: 'ignore',
  });
  const after = readTree(work);
  const made = Object.keys(after).filter((n) => !before[n] || !Buffer.from(before[n]).equals(after[n]));
  const krbs = made.filter((n) => /\.krb$/i.test(n));
  const banks = Object.fromEntries(made.filter((n) => /\.fmb$/i.test(n)).map((n) => [n, after[n]]));
  return { status: run.status, work, krb: krbs.length === 1 ? after[krbs[0]] : null, krbName: krbs[0],
    banks };
}

function sameBytes(actual, expected, what) {
  assert.ok(Buffer.from(actual).equals(Buffer.from(expected)),
    `${what}: ${actual.length} bytes, native ${expected.length} bytes, or they differ`);
}

function checkCompile(engine, dir, main) {
  const files = readTree(dir);
  if (!files[main]) return { status: null };  // no source: nothing for the page to compile
  const want = compileNative(dir, main);
  const got = engine.compile(ordered(files, main));
  assert.strictEqual(got.status === 0, want.status === 0, `status (native ${want.status}): ${got.messages}`);
  if (want.status !== 0) return want;
  if (want.krb) sameBytes(got.krb, want.krb, 'KRB');
  for (const name of Object.keys(want.banks)) {
    const bank = `${engine.songDir}/${pageName(name)}`;
    assert.ok(engine.m.FS.analyzePath(bank).exists, `bank ${name} written`);
    sameBytes(engine.m.FS.readFile(bank), want.banks[name], name);
  }
  return want;
}

test('the example songs: the same KRB, bank, WAV, VGM and MIDI bytes', async () => {
  const engine = await loadEngine();
  const examples = path.join(root, 'examples');
  const songs = fs.readdirSync(examples).filter((n) => n.endsWith('.mml'));
  let played = 0;
  for (const song of songs) {
    const want = checkCompile(engine, examples, song);
    if (want.status !== 0 || !want.krb) continue;  // a file the songs include
    played += 1;
    const krbPath = path.join(want.work, pageName(want.krbName));
    for (const [kind, tool] of [['wav', 'krb2wav'], ['vgm', 'krb2vgm'], ['mid', 'krb2mid']]) {
      const out = path.join(want.work, `out.${kind}`);
      execFileSync(path.join(native, tool), [krbPath, out], { stdio: 'ignore' });
      sameBytes(engine.exportFile(kind), fs.readFileSync(out), `${song} ${kind}`);
    }
  }
  assert.ok(played > 0);
});

test('the acceptance cases: the same status, KRB and bank bytes',
  { skip: acceptance ? false : 'no acceptance cases found' }, async () => {
  const engine = await loadEngine();
  const out = fs.mkdtempSync(path.join(os.tmpdir(), 'tallow-cases-'));
  const json = execFileSync('python3', [path.join(__dirname, 'cases.py'),
    path.join(acceptance, 'run.py'), out, path.join(acceptance, 'public'),
    path.join(acceptance, 'golden')], { maxBuffer: 1 << 26 });
  const cases = JSON.parse(json);
  assert.ok(cases.length > 100, `${cases.length} cases`);
  for (const c of cases) {
    try {
      checkCompile(engine, c.dir, c.main);
    } catch (e) {
      e.message = `${c.name}: ${e.message}`;
      throw e;
    }
  }
});

test('playing in pieces gives the WAV export\'s frames, and a muted part is silent', async () => {
  const engine = await loadEngine();
  const song = '1 t150 o4 l8 cdefgab>c\n2 o3 l4 c e g c\n';
  assert.strictEqual(engine.compile({ 'song.mml': song }).status, 0);
  const wav = engine.exportFile('wav');
  const pcm = new Int16Array(wav.buffer.slice(44));
  engine.play(44100, 0x7fff, 0);
  const left = [];
  for (let piece; (piece = engine.render(4096)).left.length > 0;) left.push(...piece.left);
  assert.strictEqual(left.length, pcm.length / 2);
  assert.ok(left.every((v, i) => v === pcm[2 * i] / 32768));
  const energy = (mask) => {
    engine.play(44100, mask, 0);
    let sum = 0;
    for (let piece; (piece = engine.render(8192)).left.length > 0;) {
      for (const v of piece.left) sum += v * v;
    }
    return sum;
  };
  assert.ok(energy(0x7fff) > 0);
  assert.strictEqual(energy(0), 0);
  engine.play(44100, 0x7fff, 0);
  const first = engine.render(4410).levels;  // the first tenth of a second
  assert.ok(first[0] > 0 && first[1] > 0, `FM1 and FM2 play: ${first}`);
  assert.ok(first.slice(2).every((v) => v === 0), 'no other part plays');
});

test('positionsAt names the notes sounding then: through a loop, a macro, braces, a tie and an include', async () => {
  const engine = await loadEngine();
  const files = {
    'song.mml': '#include "common.mml"\n#define riff e8 f8\n1 t120 l4 c (d e)2 $riff\n2 l4 {g a}2 c&c\n',
    'common.mml': '; shared\n3 l4 a b\n',
  };
  assert.strictEqual(engine.compile(files).status, 0);
  const timeline = new Timeline(engine.timeline());
  const at = (line, column, file = 'song.mml') => ({ file, line, column });
  // Quarter notes last half a second at t120.
  for (const [seconds, want] of [
    [0.25, { FM1: at(3, 11), FM2: at(4, 7), FM3: at(2, 6, 'common.mml') }],
    [1.75, { FM1: at(3, 14), FM2: at(4, 9) }],  // the loops' second pass; FM3 has ended
    [2.9, { FM1: at(3, 20), FM2: at(4, 13) }],  // the macro's use; the tied note
    [9, {}],
  ]) {
    assert.deepStrictEqual(timeline.positionsAt(seconds), want, `${seconds} s`);
  }
});
