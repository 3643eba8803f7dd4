// The page around the display: one board (a WebAssembly module of the chosen panel build) at a
// time, its frame buffer on the canvas, UART0 in the terminal, the pen from the mouse or a touch
// screen, the beeper through Web Audio, the EEPROM in local storage. window.zefo5 is the page's
// test hook (make test-web).
'use strict';

const builds = {}; // program name -> {factory, wasm}: each module is fetched and compiled once
let board = null;  // the running board: {mod, program, ...}

const $ = (id) => document.getElementById(id);
const screen = $('screen');
const ctx = screen.getContext('2d');
const term = $('term');
const trace = $('trace');

// ---- modules ---------------------------------------------------------------------------------------
function loadScript(src) {
  return new Promise((resolve, reject) => {
    const s = document.createElement('script');
    s.src = src;
    s.onload = resolve;
    s.onerror = () => reject(new Error('cannot load ' + src));
    document.head.appendChild(s);
  });
}

// Every build's script defines the same factory name: it is taken right after its script ran.
async function build(program) {
  if (!builds[program]) {
    builds[program] = (async () => {
      // Streaming needs the server to call the module application/wasm; without, it is read whole.
      const whole = () => fetch(program + '.wasm').then((r) => r.arrayBuffer()).then((b) => WebAssembly.compile(b));
      const wasm = WebAssembly.compileStreaming
        ? WebAssembly.compileStreaming(fetch(program + '.wasm')).catch(whole)
        : whole();
      await loadScript(program + '.js');
      const factory = window.createZefo5;
      return { factory, wasm: await wasm };
    })();
  }
  return builds[program];
}

// A fresh board: its own memory, file system and firmware data.
async function instance(program, print, printErr, more) {
  const b = await build(program);
  return b.factory({
    ...more,
    noInitialRun: true,
    print, printErr,
    instantiateWasm(imports, done) {
      WebAssembly.instantiate(b.wasm, imports).then((inst) => done(inst, b.wasm));
      return {};
    },
  });
}

async function fetchBytes(url) {
  const r = await fetch(url);
  if (!r.ok) throw new Error('cannot fetch ' + url + ': ' + r.status);
  return new Uint8Array(await r.arrayBuffer());
}

// ---- terminal and trace ------------------------------------------------------------------------------
let termText = '';
const history = []; // the board's replies, as bytes (latin-1 string), for the test hook

function showOutput(bytes) {
  let s = '';
  for (const b of bytes) {
    if (b === 13) s += '\n';
    else if (b === 10) continue;
    else if (b < 32 || b === 127) s += '\u2039' + b.toString(16).padStart(2, '0') + '\u203a';
    else s += String.fromCharCode(b);
  }
  termText = (termText + s).slice(-20000);
  term.textContent = termText;
  term.scrollTop = term.scrollHeight;
}

let traceLines = [];
function showTrace(line) {
  // The LEDs change with every command line; their lamps show them, the text would drown in them.
  if (/: (status|SD) LED [01]$/.test(line)) return;
  traceLines.push(line.replace(/^zefo5: +/, ''));
  if (traceLines.length > 300) traceLines = traceLines.slice(-200);
  trace.textContent = traceLines.join('\n');
  trace.scrollTop = trace.scrollHeight;
}

// ---- the beeper --------------------------------------------------------------------------------------
let audio = null;
let osc = null;
let gain = null;
function unlockAudio() {
  if (!audio) {
    const AC = window.AudioContext || window.webkitAudioContext;
    if (!AC) return;
    audio = new AC();
    gain = audio.createGain();
    gain.gain.value = 0;
    gain.connect(audio.destination);
    osc = audio.createOscillator();
    osc.type = 'square';
    osc.connect(gain);
    osc.start();
  }
  if (audio.state === 'suspended') audio.resume();
}
document.addEventListener('pointerdown', unlockAudio);
document.addEventListener('keydown', unlockAudio);

function tone(on, hz, volumeDuty, external) {
  $('tone').textContent = on ? `tone ${hz} Hz, volume ${volumeDuty}/102${external ? ', external' : ''}` : 'tone off';
  $('tone').className = on ? 'on' : 'off';
  if (!audio) return;
  const t = audio.currentTime;
  if (on && hz > 0) {
    osc.frequency.setValueAtTime(Math.min(hz, 20000), t);
    gain.gain.setValueAtTime(0.25 * Math.min(volumeDuty, 102) / 102, t);
  } else {
    gain.gain.setValueAtTime(0, t);
  }
}

// ---- the EEPROM in local storage ---------------------------------------------------------------------
const EEPROM = '/eeprom.bin';
function eepromKey(program) { return 'zefo5-eeprom-' + program; }
function eepromLoad(mod, program) {
  const saved = localStorage.getItem(eepromKey(program));
  if (!saved) return;
  const bin = atob(saved);
  const bytes = new Uint8Array(bin.length);
  for (let i = 0; i < bin.length; i++) bytes[i] = bin.charCodeAt(i);
  mod.FS.writeFile(EEPROM, bytes);
}
function eepromSave(b) {
  let bytes;
  try { bytes = b.mod.FS.readFile(EEPROM); } catch (e) { return; }
  let bin = '';
  for (let i = 0; i < bytes.length; i += 4096) bin += String.fromCharCode.apply(null, bytes.subarray(i, i + 4096));
  const text = btoa(bin);
  if (text !== b.eepromSaved) {
    localStorage.setItem(eepromKey(b.program), text);
    b.eepromSaved = text;
  }
}

// ---- the running board -------------------------------------------------------------------------------
// card: bytes of a card image or null; flash: bytes of a resource image for the data flash or null.
async function start(program, card, flash, withDemo) {
  await stop();
  $('status').textContent = 'starting ' + program + '…';
  termText = '';
  term.textContent = '';
  traceLines = [];
  history.length = 0;
  const b = { program, running: true, eepromSaved: null };
  const mod = await instance(program, (t) => showTrace(t), (t) => {
    showTrace(t);
    if (t.includes('firmware fault')) ended(b, t);
  }, { onExit: (code) => ended(b, 'the board stopped (exit status ' + code + ')') });
  b.mod = mod;
  mod.onTone = tone;
  const args = ['--page', '--eeprom', EEPROM];
  eepromLoad(mod, program);
  if (card) {
    mod.FS.writeFile('/card.img', card);
    args.push('--sd', '/card.img');
  }
  if (flash) {
    mod.FS.writeFile('/flash.bin', flash);
    args.push('--flash', '/flash.bin');
  }
  if (withDemo) {
    mod.FS.writeFile('/demo.events', await fetchBytes('demo.events'));
    args.push('--events', '/demo.events');
  }
  board = b;
  b.saver = setInterval(() => eepromSave(b), 1000);
  $('build').value = program;
  // The board runs until stopped; it gives the page its turn whenever it waits for the wall clock.
  b.done = new Promise((resolve) => { b.finish = resolve; });
  setTimeout(() => {
    try { mod.callMain(args); } catch (e) { showTrace('board stopped: ' + e); }
    watchEnd(b);
  }, 0);
  requestAnimationFrame(() => frame(b));
  $('status').textContent = program;
}

// A fault ends the board before it can say so itself.
function ended(b, why) {
  if (board === b) $('status').textContent = b.program + ': ' + why.replace(/^zefo5: /, '');
  b.running = false;
  if (b.finish) b.finish();
}

function watchEnd(b) {
  if (!b.running) return;
  if (b.mod._web_finished()) {
    b.running = false;
    b.finish();
  } else {
    setTimeout(() => watchEnd(b), 20);
  }
}

async function stop() {
  const b = board;
  if (!b) return;
  board = null;
  clearInterval(b.saver);
  eepromSave(b);
  if (!b.running) return;
  b.mod._web_stop();
  await b.done;
}

let lastLevel = -1;
function draw(b) {
  const m = b.mod;
  const w = m._web_width();
  const h = m._web_height();
  if (screen.width !== w || screen.height !== h) {
    screen.width = w;
    screen.height = h;
    fit();
  }
  const ptr = m._web_frame();
  const img = new ImageData(new Uint8ClampedArray(m.HEAPU8.buffer, ptr, w * h * 4).slice(), w, h);
  ctx.putImageData(img, 0, 0);
  const level = m._web_visible_level();
  if (level !== lastLevel) {
    screen.style.filter = level >= 255 ? '' : `brightness(${level / 255})`;
    $('backlight').textContent = level ? `backlight ${level}/255` : 'screen dark';
    lastLevel = level;
  }
  $('led').className = m._web_status_led() ? 'on' : 'off';
  $('sdled').className = m._web_sd_led() ? 'on' : 'off';
}

function frame(b) {
  if (board !== b || !b.running) return;
  const m = b.mod;
  const n = m._web_take_output();
  if (n) {
    const bytes = m.HEAPU8.slice(m._web_output(), m._web_output() + n);
    for (const x of bytes) history.push(String.fromCharCode(x));
    showOutput(bytes);
  }
  draw(b);
  // Shown: the panel lit and the display's first reply in the terminal (ms since the page opened).
  if (!window.zefo5.loadedMs && m._web_visible_level() > 0 && history.length) {
    window.zefo5.loadedMs = performance.now();
  }
  requestAnimationFrame(() => frame(b));
}

// The canvas at the panel's size, or a whole multiple of it when the window has room.
function fit() {
  const room = $('panel').clientWidth;
  const scale = Math.max(1, Math.floor(Math.min(room / screen.width, (window.innerHeight - 80) / screen.height)));
  screen.style.width = screen.width * scale + 'px';
  screen.style.height = screen.height * scale + 'px';
}
window.addEventListener('resize', fit);

// ---- input -------------------------------------------------------------------------------------------
function send(text) {
  if (!board) return;
  const m = board.mod;
  const bytes = new Uint8Array(text.length);
  for (let i = 0; i < text.length; i++) bytes[i] = text.charCodeAt(i) & 255;
  const p = m._malloc(bytes.length);
  m.HEAPU8.set(bytes, p);
  m._web_send(p, bytes.length);
  m._free(p);
}

$('send').addEventListener('submit', (e) => {
  e.preventDefault();
  send($('line').value + '\r');
  $('line').value = '';
});

let penDown = false;
function penAt(e) {
  const r = screen.getBoundingClientRect();
  const x = Math.floor((e.clientX - r.left) * screen.width / r.width);
  const y = Math.floor((e.clientY - r.top) * screen.height / r.height);
  return [Math.min(Math.max(x, 0), screen.width - 1), Math.min(Math.max(y, 0), screen.height - 1)];
}
screen.addEventListener('pointerdown', (e) => {
  if (!board || e.button !== 0) return;
  screen.setPointerCapture(e.pointerId);
  penDown = true;
  board.mod._web_touch(...penAt(e));
  e.preventDefault();
});
screen.addEventListener('pointermove', (e) => {
  if (penDown && board) board.mod._web_touch(...penAt(e));
});
function penUp() {
  if (penDown && board) board.mod._web_release();
  penDown = false;
}
screen.addEventListener('pointerup', penUp);
screen.addEventListener('pointercancel', penUp);

$('build').addEventListener('change', () => startDemo($('build').value));
$('demo').addEventListener('click', () => startDemo($('build').value));

// A resource image starts with its magic 0xFEEB (or 0xFEEC) and goes into the data flash; anything
// else is taken as a card image.
async function startWith(file) {
  const bytes = new Uint8Array(await file.arrayBuffer());
  const resource = bytes.length >= 8 && (bytes[0] === 0xEB || bytes[0] === 0xEC) && bytes[1] === 0xFE;
  if (!resource && (bytes.length === 0 || bytes.length % 512)) {
    $('status').textContent = file.name + ': not a card image (size a multiple of 512) nor a resource image';
    return;
  }
  await start($('build').value, resource ? null : bytes, resource ? bytes : null, false);
  $('status').textContent = $('build').value + ' with ' + file.name;
}
$('file').addEventListener('change', (e) => { if (e.target.files[0]) startWith(e.target.files[0]); });
document.addEventListener('dragover', (e) => { e.preventDefault(); document.body.classList.add('drop'); });
document.addEventListener('dragleave', () => document.body.classList.remove('drop'));
document.addEventListener('drop', (e) => {
  e.preventDefault();
  document.body.classList.remove('drop');
  if (e.dataTransfer.files[0]) startWith(e.dataTransfer.files[0]);
});

// ---- screenshot --------------------------------------------------------------------------------------
function screenshot() {
  if (board) draw(board);
  const url = screen.toDataURL('image/png');
  window.zefo5.lastScreenshot = url;
  return url;
}
$('shot').addEventListener('click', () => {
  const a = document.createElement('a');
  a.href = screenshot();
  a.download = 'zefo5-' + new Date().toISOString().replace(/[:.]/g, '-') + '.png';
  a.click();
});

// The demo card travels compressed (8 MiB of mostly empty blocks); a server that already undid the
// compression hands over the image itself.
async function fetchCard(url) {
  const bytes = await fetchBytes(url);
  if (bytes[0] !== 0x1f || bytes[1] !== 0x8b) return bytes;
  const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('gzip'));
  return new Uint8Array(await new Response(stream).arrayBuffer());
}

let demoCard = null;
async function startDemo(program) {
  // The card and the module come over the network side by side.
  if (!demoCard) demoCard = fetchCard('demo.img.gz');
  const [card] = await Promise.all([demoCard, build(program)]);
  await start(program, card, null, true);
}

// ---- the test hook -----------------------------------------------------------------------------------
// runTranscript: one run of the PC simulator's command line on the virtual clock, in a board of its
// own: input bytes as standard input (a latin-1 string), files fetched into the module's file
// system first ({path in the module: URL}). Resolves to {status, output (latin-1 string), errors,
// file}: file is the base64 of the module's file readBack after the run, when one is named.
async function runTranscript(program, args, input, events, files, readBack) {
  const errors = [];
  let at = 0;
  const out = [];
  const mod = await instance(program, () => {}, (t) => errors.push(t), {
    stdin: () => (at < input.length ? input.charCodeAt(at++) & 255 : null),
    stdout: (b) => out.push(b & 255),
  });
  for (const [path, url] of Object.entries(files || {})) {
    mod.FS.mkdirTree(path.slice(0, path.lastIndexOf('/')) || '/');
    mod.FS.writeFile(path, await fetchBytes(url));
  }
  const argv = ['--clock', 'virtual', '--max-ms', '60000', '--display', 'none'];
  if (events) {
    mod.FS.writeFile('/events', events);
    argv.push('--events', '/events');
  }
  argv.push(...args);
  let status;
  try { status = mod.callMain(argv); } catch (e) { status = 'exception ' + e; }
  let s = '';
  for (let i = 0; i < out.length; i += 4096) s += String.fromCharCode.apply(null, out.slice(i, i + 4096));
  let file = null;
  if (readBack) {
    const bytes = mod.FS.readFile(readBack);
    let bin = '';
    for (let i = 0; i < bytes.length; i += 4096) bin += String.fromCharCode.apply(null, bytes.subarray(i, i + 4096));
    file = btoa(bin);
  }
  return { status, output: s, errors: errors.join('\n'), file };
}

window.zefo5 = {
  start, startDemo, send, screenshot, runTranscript,
  audio: () => ({ state: audio ? audio.state : 'none', playing: !!gain && gain.gain.value > 0 }),
  saveEeprom: () => { if (board) eepromSave(board); return !!board; },
  output: () => history.join(''),
  nowMs: () => (board ? board.mod._web_now_ms() : 0),
  loadedMs: 0,
  program: () => (board ? board.program : ''),
  lastScreenshot: null,
};

const params = new URLSearchParams(location.search);
const first = params.get('build') || 'zefo5';
fit();
if (params.get('start') !== 'none') startDemo(first).catch((e) => { $('status').textContent = String(e); });
