// The playground page: files and the editor, compiling in the worker 200 ms
// after typing stops, the diagnostics, the player, following the music (the
// notes playing marked in the editor, the piano roll), the panels,
// downloads, autosave and sharing by URL, and window.tallow for scripts and
// tests.
import { createEditor } from './editor.bundle.js';
import { createRoll, partColor } from './roll.js';

const COMPILE_DELAY_MS = 200;
// A request running longer ends the worker: 5 s, or ?limit=SECONDS.
const REQUEST_LIMIT_MS = 1000 * (Number(new URLSearchParams(location.search).get('limit')) || 5);
const DUMP_LIMIT = 200000;       // bytes of a part's listing shown
const PARTS = ['FM1', 'FM2', 'FM3', 'FM4', 'FM5', 'FM6', 'PCM1', 'PCM2', 'PCM3', 'PCM4',
  'PCM5', 'PCM6', 'PCM7', 'PCM8', 'BEEP'];
const STORAGE_KEY = 'tallow.playground.files';
// Base64 characters of uploaded files kept in local storage (most browsers
// give a page about five million characters); beyond, only texts are kept.
const SAVED_BINARY_LIMIT = 3000000;

const TEXTS = {
  en: {
    playground: 'playground', play: 'Play', stop: 'Stop', loop: 'Loop', example: 'Example',
    share: 'Share', language: 'Language', newFile: 'New file', upload: 'Upload',
    removeFile: 'Remove file', problems: 'Problems', parts: 'Parts', downloads: 'Downloads',
    summary: 'Summary', dump: 'Listing', part: 'Part', messages: 'Compiler output',
    mute: 'mute', solo: 'solo', compiled: 'Compiled: {n} bytes', failed: 'Does not compile',
    compiling: 'Compiling…', none: 'No problems', shared: 'Link copied to the address bar',
    stopped: 'Stopped: it ran longer than {s} s', fileName: 'Name of the new file',
    notKept: 'The uploaded files are too large to keep in this browser: upload them again next time',
    playing: 'Playing {t}', noSong: 'Nothing compiled yet',
  },
  ja: {
    playground: 'プレイグラウンド', play: '再生', stop: '停止', loop: 'ループ', example: 'サンプル',
    share: '共有', language: '言語', newFile: '新しいファイル', upload: 'アップロード',
    removeFile: 'ファイルを削除', problems: '問題', parts: 'パート', downloads: 'ダウンロード',
    summary: '概要', dump: 'リスト', part: 'パート', messages: 'コンパイラの出力',
    mute: 'ミュート', solo: 'ソロ', compiled: 'コンパイル完了: {n} バイト',
    failed: 'コンパイルできません', compiling: 'コンパイル中…', none: '問題はありません',
    shared: 'リンクをアドレスバーに入れました', stopped: '{s} 秒を超えたので止めました',
    fileName: '新しいファイルの名前',
    notKept: 'アップロードしたファイルは大きすぎてブラウザに保存できません。次回もう一度アップロードしてください', playing: '再生中 {t}', noSong: 'まだコンパイルしていません',
  },
};

const $ = (id) => document.getElementById(id);
const state = {
  files: [],            // [{name, data: string | Uint8Array}], the first is the main source
  current: 0,
  language: (navigator.language || 'en').startsWith('ja') ? 'ja' : 'en',
  result: null,         // the latest compile's reply
  timeline: null,       // the notes in time of the song that plays (TallowEngine.Timeline)
  marked: '',           // the notes marked in the editor, as a key
  playable: false,      // the worker holds a song that compiled
  muted: new Set(),
  soloed: new Set(),
};

function say(key, values = {}) {
  const text = TEXTS[state.language][key] || TEXTS.en[key] || key;
  return text.replace(/\{(\w+)\}/g, (_, k) => values[k]);
}

// ---- the worker, with a time limit on every request ----

let worker = null;
let nextId = 0;
const pending = new Map();

// Resolved once the current worker has loaded the module: the loading does
// not count against a request's time.
let workerReady = null;
let workerReadyResolve = null;

function startWorker() {
  worker = new Worker('worker.js');
  workerReady = new Promise((resolve) => { workerReadyResolve = resolve; });
  worker.onmessage = (e) => {
    if (e.data.ready) {
      workerReadyResolve();
      return;
    }
    const p = pending.get(e.data.id);
    if (!p) return;
    pending.delete(e.data.id);
    clearTimeout(p.timer);
    if (e.data.ok) p.resolve(e.data.value); else p.reject(new Error(e.data.error));
  };
  player.connected = false;
}

function restartWorker() {
  worker.terminate();
  workerReadyResolve();  // requests waiting for it wait for the next one
  for (const p of pending.values()) clearTimeout(p.timer);
  pending.clear();
  stopPlaying();
  state.playable = false;
  startWorker();
}

async function request(op, payload = {}, transfer = []) {
  let ready;
  do {
    ready = workerReady;
    await ready;
  } while (ready !== workerReady);
  return new Promise((resolve, reject) => {
    const id = ++nextId;
    const timer = setTimeout(() => {
      restartWorker();
      reject(new Error(say('stopped', { s: REQUEST_LIMIT_MS / 1000 })));
    }, REQUEST_LIMIT_MS);
    pending.set(id, { resolve, reject, timer });
    worker.postMessage({ id, op, ...payload }, transfer);
  });
}

// ---- files, tabs, autosave, share ----

const isText = (f) => typeof f.data === 'string';
const filesObject = (files) => Object.fromEntries(files.map((f) => [f.name, f.data]));

function toBase64(bytes) {
  let binary = '';
  for (let i = 0; i < bytes.length; i += 0x8000) {
    binary += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
  }
  return btoa(binary);
}
const fromBase64 = (text) => Uint8Array.from(atob(text), (c) => c.charCodeAt(0));

// Saves the files in local storage: texts as they are, uploads in base64
// (made once a file) while they fit; returns false when uploads were left out.
function save() {
  const entry = (f) => {
    if (isText(f)) return [f.name, f.data];
    f.base64 = f.base64 || toBase64(f.data);
    return [f.name, { base64: f.base64 }];
  };
  const uploads = state.files.filter((f) => !isText(f)).map(entry);
  const texts = state.files.filter(isText).map(entry);
  const size = uploads.reduce((n, [, d]) => n + d.base64.length, 0);
  const store = (list) => {
    try { localStorage.setItem(STORAGE_KEY, JSON.stringify(list)); return true; } catch { return false; }
  };
  if (size <= SAVED_BINARY_LIMIT && store(state.files.map(entry))) return true;
  store(texts);  // storage full or off: the texts at least
  return uploads.length === 0;
}

const savedFile = ([name, data]) => ({ name, data: typeof data === 'string' ? data : fromBase64(data.base64) });

async function streamBytes(bytes, transform) {
  const stream = new Blob([bytes]).stream().pipeThrough(transform);
  return new Uint8Array(await new Response(stream).arrayBuffer());
}

async function shareLink() {
  const texts = state.files.filter(isText).map((f) => [f.name, f.data]);
  const packed = await streamBytes(new TextEncoder().encode(JSON.stringify(texts)),
    new CompressionStream('deflate-raw'));
  const code = toBase64(packed).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
  return `${location.origin}${location.pathname}#s=${code}`;
}

async function filesFromLink(hash) {
  const m = /^#s=([A-Za-z0-9_-]+)$/.exec(hash);
  if (!m) return null;
  const packed = fromBase64(m[1].replace(/-/g, '+').replace(/_/g, '/'));
  const text = new TextDecoder().decode(
    await streamBytes(packed, new DecompressionStream('deflate-raw')));
  return JSON.parse(text).map(([name, data]) => ({ name, data }));
}

function renderTabs() {
  const tabs = $('tabs');
  tabs.replaceChildren(...state.files.map((f, i) => {
    const b = document.createElement('button');
    b.role = 'tab';
    b.textContent = f.name;
    b.setAttribute('aria-selected', String(i === state.current));
    b.onclick = () => selectFile(i);
    return b;
  }));
}

function selectFile(i) {
  state.current = i;
  const f = state.files[i];
  editor.setText(isText(f) ? f.data : `; ${f.name}: ${f.data.length} bytes`);
  renderTabs();
  showDiagnostics();
  state.marked = '';
  if (player.playing) follow(player.position());
}

function setFiles(files) {
  state.files = files;
  state.current = 0;
  $('status').textContent = say('compiling');
  selectFile(0);
  compileSoon(0);
}

// ---- compiling and the panels ----

let compileTimer = null;
function compileSoon(delay = COMPILE_DELAY_MS) {
  clearTimeout(compileTimer);
  compileTimer = setTimeout(compileNow, delay);
}

async function compileNow() {
  $('status').textContent = say('compiling');
  try {
    const r = await request('compile', { files: filesObject(state.files), language: state.language });
    state.result = r;
    state.playable = state.playable || r.status === 0;
    if (r.status === 0) setTimeline(r.timeline);
    $('messages').textContent = r.messages;
    $('status').textContent = r.status === 0 ? say('compiled', { n: r.krb.length }) : say('failed');
    if (r.status === 0) {
      $('summary').textContent = r.summary;
      showDump();
    }
  } catch (e) {
    state.result = { status: 1, diagnostics: [], messages: e.message };
    $('status').textContent = e.message;
  }
  showDiagnostics();
}

function showDiagnostics() {
  const list = state.result ? state.result.diagnostics : [];
  const name = state.files[state.current] && state.files[state.current].name;
  editor.setDiagnostics(list.filter((d) => d.file === name && d.line > 0)
    .map((d) => ({ ...d, message: d.text })));
  const items = list.map((d) => {
    const li = document.createElement('li');
    const b = document.createElement('button');
    b.className = d.severity;
    b.textContent = d.line > 0 ? `${d.file}:${d.line}:${d.column}: ${d.text}` : `${d.file}: ${d.text}`;
    b.onclick = () => {
      const i = state.files.findIndex((f) => f.name === d.file);
      if (i >= 0 && i !== state.current) selectFile(i);
      editor.jumpTo(d.line, d.column);
    };
    li.append(b);
    return li;
  });
  if (items.length === 0) {
    const li = document.createElement('li');
    li.textContent = say('none');
    items.push(li);
  }
  $('diagnostics').replaceChildren(...items);
}

async function showDump() {
  $('dump').textContent = await request('dump', { part: Number($('dump-part').value), maxBytes: DUMP_LIMIT });
}

function renderParts() {
  const rows = PARTS.map((name, i) => {
    const tr = document.createElement('tr');
    const box = (set, label) => {
      const input = document.createElement('input');
      input.type = 'checkbox';
      input.checked = set.has(i);
      input.setAttribute('aria-label', `${name} ${say(label)}`);
      input.onchange = () => {
        if (input.checked) set.add(i); else set.delete(i);
        if (player.playing) playFrom(player.position());
      };
      const l = document.createElement('label');
      l.append(input, ` ${say(label)}`);
      const td = document.createElement('td');
      td.append(l);
      return td;
    };
    const td = document.createElement('td');
    td.textContent = name;
    const meter = document.createElement('td');
    meter.className = 'part-meter';
    meter.innerHTML = '<div class="meter"><div></div></div>';
    tr.append(td, box(state.muted, 'mute'), box(state.soloed, 'solo'), meter);
    return tr;
  });
  $('parts').replaceChildren(...rows);
}

function partMask() {
  let mask = 0;
  PARTS.forEach((_, i) => {
    const heard = state.soloed.size > 0 ? state.soloed.has(i) : !state.muted.has(i);
    if (heard) mask |= 1 << i;
  });
  return mask;
}

// ---- following the music ----

function setTimeline(data) {
  state.timeline = data ? new TallowEngine.Timeline(data) : null;
  roll.setTimeline(state.timeline);
}

function positionsAt(seconds) {
  return state.timeline ? state.timeline.positionsAt(seconds) : {};
}

// Marks the note each part plays at `seconds` in the editor's file and
// moves the roll there.
function follow(seconds) {
  roll.show(seconds, player.playing);
  const name = state.files[state.current] && state.files[state.current].name;
  const marks = player.playing ? Object.entries(positionsAt(seconds))
    .filter(([, p]) => p.file === name)
    .map(([part, p]) => ({ ...p, part, color: partColor(PARTS.indexOf(part), true) })) : [];
  const key = JSON.stringify(marks);
  if (key === state.marked) return;
  state.marked = key;
  editor.setPlaying(marks);
}

// ---- the player ----

const player = {
  context: null, node: null, connected: false, playing: false, start: 0, played: 0,
  position() { return this.start + this.played / this.context.sampleRate; },
};

async function ensureAudio() {
  if (!player.context) {
    player.context = new AudioContext();
    await player.context.audioWorklet.addModule('player-worklet.js');
    player.node = new AudioWorkletNode(player.context, 'tallow-player', { outputChannelCount: [2] });
    player.node.connect(player.context.destination);
    player.node.port.onmessage = (e) => onPlayed(e.data);
  }
  if (!player.connected) {
    const channel = new MessageChannel();
    player.node.port.postMessage({ feed: channel.port1 }, [channel.port1]);
    await request('connect', { port: channel.port2 }, [channel.port2]);
    player.connected = true;
  }
  await player.context.resume();
}

function onPlayed({ played, peak, levels, ended }) {
  if (!player.playing) return;
  player.played = played;
  $('level').style.width = `${Math.min(100, peak * 100)}%`;
  showLevels(levels);
  follow(player.position());
  $('status').textContent = say('playing', { t: player.position().toFixed(1) });
  if (ended) {
    if ($('loop').checked) playFrom(0); else stopPlaying();
  }
}

async function playFrom(seconds) {
  if (!state.playable) {
    $('status').textContent = say('noSong');
    return;
  }
  await ensureAudio();
  player.start = seconds;
  player.played = 0;
  player.playing = true;
  await request('play', { rate: player.context.sampleRate, mask: partMask(), start: seconds });
}

function showLevels(levels) {
  document.querySelectorAll('#parts .part-meter .meter div').forEach((bar, i) => {
    bar.style.width = `${levels ? Math.round(levels[i] * 100) : 0}%`;
  });
}

function stopPlaying() {
  if (!player.playing) return;
  player.playing = false;
  $('level').style.width = '0';
  showLevels(null);
  follow(player.position());
  if (worker) worker.postMessage({ id: 0, op: 'stop' });
  if (player.context) player.context.suspend();
}

// ---- downloads ----

function baseName() {
  const main = state.files[0].name.replace(/^.*\//, '');
  return main.includes('.') ? main.slice(0, main.lastIndexOf('.')) : main;
}

async function download(kind) {
  const r = state.result;
  if (!r || r.status !== 0) return;
  const bytes = kind === 'krb' ? r.krb : kind === 'fmb' ? r.fmb : await request('exportFile', { kind });
  const name = kind === 'krb' || kind === 'fmb' ? `${baseName().toUpperCase()}.${kind.toUpperCase()}`
    : `${baseName()}.${kind}`;
  const a = document.createElement('a');
  a.href = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
  a.download = name;
  a.click();
  setTimeout(() => URL.revokeObjectURL(a.href), 1000);
}

// ---- set-up ----

function applyLanguage() {
  document.documentElement.lang = state.language;
  $('language').value = state.language;
  document.querySelectorAll('[data-text]').forEach((el) => { el.textContent = say(el.dataset.text); });
  renderParts();
}

// The example songs: {name: text} of every file in examples/.
async function fetchExamples() {
  const names = await (await fetch('examples/index.json')).json();
  const texts = await Promise.all(names.map(async (n) => (await fetch(`examples/${n}`)).text()));
  return Object.fromEntries(names.map((n, i) => [n, texts[i]]));
}

const includesOf = (text) => [...text.matchAll(/^#include\s+"([^"]+)"/gm)].map((m) => m[1]);

// A song and the files it includes.
function loadExample(name, examples) {
  const names = [name, ...includesOf(examples[name]).filter((n) => examples[n] !== undefined)];
  setFiles(names.map((n) => ({ name: n, data: examples[n] })));
}

const roll = createRoll($('roll'), (seconds) => playFrom(seconds));

const editor = createEditor($('editor'), '', (text) => {
  const f = state.files[state.current];
  if (!f || !isText(f) || f.data === text) return;
  f.data = text;
  save();
  compileSoon();
});

async function start() {
  startWorker();
  applyLanguage();
  $('dump-part').replaceChildren(...PARTS.map((p, i) => new Option(p, String(i))));
  $('dump-part').onchange = showDump;
  $('language').onchange = () => { state.language = $('language').value; applyLanguage(); compileSoon(0); };
  $('play').onclick = () => playFrom(0);
  $('stop').onclick = stopPlaying;
  document.addEventListener('keydown', (e) => {
    if (e.key === 'Enter' && (e.ctrlKey || e.metaKey)) { e.preventDefault(); playFrom(0); }
    if (e.key === 'Escape') stopPlaying();
  });
  $('share').onclick = async () => {
    const link = await shareLink();
    history.replaceState(null, '', link);
    try { await navigator.clipboard.writeText(link); } catch { /* no clipboard access */ }
    $('status').textContent = say('shared');
  };
  $('new-file').onclick = () => {
    const name = prompt(say('fileName'), 'include.mml');
    if (!name || state.files.some((f) => f.name === name)) return;
    state.files.push({ name, data: '' });
    selectFile(state.files.length - 1);
    save();
  };
  $('remove-file').onclick = () => {
    if (state.current === 0) return;
    state.files.splice(state.current, 1);
    selectFile(0);
    save();
    compileSoon(0);
  };
  $('upload').onchange = async () => {
    for (const file of $('upload').files) {
      const bytes = new Uint8Array(await file.arrayBuffer());
      const data = /\.(mml|txt)$/i.test(file.name) ? new TextDecoder().decode(bytes) : bytes;
      const i = state.files.findIndex((f) => f.name === file.name);
      if (i >= 0) state.files[i] = { name: file.name, data }; else state.files.push({ name: file.name, data });
    }
    renderTabs();
    $('notice').textContent = save() ? '' : say('notKept');
    compileSoon(0);
  };
  $('downloads').onclick = (e) => { if (e.target.dataset.kind) download(e.target.dataset.kind); };

  const examples = await fetchExamples();
  const included = new Set(Object.values(examples).flatMap(includesOf));
  const songs = Object.keys(examples).filter((n) => !included.has(n));
  $('examples').replaceChildren(new Option('—', ''), ...songs.map((n) => new Option(n, n)));
  $('examples').onchange = () => { if ($('examples').value) loadExample($('examples').value, examples); };

  const linked = await filesFromLink(location.hash).catch(() => null);
  const saved = JSON.parse(localStorage.getItem(STORAGE_KEY) || 'null');
  if (linked) setFiles(linked);
  else if (saved && saved.length) setFiles(saved.map(savedFile));
  else loadExample(songs.includes('song.mml') ? 'song.mml' : songs[0], examples);
}

// The automation interface (docs/playground.md).
window.tallow = {
  async compile(files) {
    const r = await request('compile', { files, language: state.language });
    state.playable = state.playable || r.status === 0;
    if (r.status === 0) setTimeline(r.timeline);
    return { status: r.status, messages: r.messages, diagnostics: r.diagnostics, krb: r.krb, fmb: r.fmb };
  },
  render(seconds, rate = 44100) {
    return request('render', { seconds, rate, mask: partMask() });
  },
  positionsAt,
  ready: start(),
};
