// The page: the panel on a canvas over a copy of the instrument kept here, the
// sounding instrument in an audio worklet, and the ways to play it (computer
// keyboard, on-screen keys, Web MIDI, the demo). The page is the host: it
// hands both instruments the same knob values, programs and presets.
import { instantiate, savePreset, restorePreset, renameProgram } from './instrument.js';
import { encodeFxp, decodeFxp } from './fxp.js';

const $ = (id) => document.getElementById(id);
const status = (text) => { $('status').textContent = text; };
const missing = (text) => { const li = document.createElement('li'); li.textContent = text; $('missing').append(li); };

// The module with WebAssembly SIMD where the browser has it, else the plain one:
// the same sound, at about twice the cost per voice.
const simd = WebAssembly.validate(new Uint8Array([0, 97, 115, 109, 1, 0, 0, 0, 1, 5, 1, 96, 0, 1, 123, 3, 2, 1, 0, 10,
  10, 1, 8, 0, 65, 0, 253, 15, 253, 98, 11]));
if (!simd) missing('This browser has no WebAssembly SIMD: it plays the same sound, with more CPU for each voice.');
const moduleFile = simd ? 'hammerlyn2.wasm' : 'hammerlyn2-scalar.wasm';
const module = await WebAssembly.compileStreaming(fetch(moduleFile))
  .catch(async () => WebAssembly.compile(await (await fetch(moduleFile)).arrayBuffer()));

// --- What reaches the sounding instrument. Until the sound starts (the first
// gesture) it waits here, in order.
let node = null;
let context = null;
const waiting = [];
function send(...events) {
  if (node) node.port.postMessage(events);
  else waiting.push(...events);
}

const canvas = $('panel');
const w = await instantiate(module, {
  pageParameterChanged(index, value) { send({ type: 'parameter', index, value }); },
  pageGesture() {},
  pageProgramChosen(index) { send({ type: 'program', index }); },
  pageResize(width, height) { canvas.width = width; canvas.height = height; fitCanvas(); return 1; },
});
const { m } = w;
const copy = m.hl2_instrument_new(48000);
const panel = m.hl2_panel_new(copy, devicePixelRatio >= 1.5 ? 2 : 1);

// --- The panel. Its pixels are device pixels, as in a plug-in's window.
function fitCanvas() {
  const density = devicePixelRatio >= 1.5 ? 2 : 1;
  canvas.style.width = `${canvas.width / density}px`;
  canvas.style.height = `${canvas.height / density}px`;
}
function draw() {
  m.hl2_panel_idle(panel);
  const [x, y, width, height] = new Int32Array(w.memory(), m.hl2_panel_changed(panel), 4);
  if (width > 0) {
    const pw = m.hl2_panel_width(panel), ph = m.hl2_panel_height(panel);
    if (canvas.width !== pw || canvas.height !== ph) { canvas.width = pw; canvas.height = ph; fitCanvas(); }
    const pixels = new Uint32Array(w.memory(), m.hl2_panel_pixels(panel), pw * ph);
    const image = new ImageData(width, height);
    const out = new Uint32Array(image.data.buffer);
    for (let row = 0; row < height; ++row)
      for (let col = 0; col < width; ++col) {
        const p = pixels[(y + row) * pw + x + col];  // 0x00RRGGBB to RGBA in memory
        out[row * width + col] = 0xff000000 | ((p & 0xff) << 16) | (p & 0xff00) | ((p >> 16) & 0xff);
      }
    canvas.getContext('2d').putImageData(image, x, y);
  }
  requestAnimationFrame(draw);
}
fitCanvas();
requestAnimationFrame(draw);

function pointer(kind, e, button = e.button === 2 ? 1 : 0) {
  const r = canvas.getBoundingClientRect();
  const x = Math.floor(((e.clientX - r.left) * canvas.width) / r.width);
  const y = Math.floor(((e.clientY - r.top) * canvas.height) / r.height);
  m.hl2_panel_pointer(panel, kind, button, x, y);
}
canvas.addEventListener('pointerdown', (e) => {
  startSound();
  canvas.setPointerCapture(e.pointerId);
  pointer(1, e);
  e.preventDefault();
});
canvas.addEventListener('pointermove', (e) => pointer(0, e));
canvas.addEventListener('pointerup', (e) => pointer(2, e));
canvas.addEventListener('lostpointercapture', (e) => { if (e.buttons) pointer(4, e); });
canvas.addEventListener('contextmenu', (e) => e.preventDefault());
canvas.addEventListener('wheel', (e) => {
  if (e.deltaY) pointer(3, e, e.deltaY < 0 ? 1 : -1);
  e.preventDefault();
}, { passive: false });

// --- Sound, from the first gesture on.
let starting = null;
function startSound() {
  starting ??= window.AudioWorkletNode ? openSound() : Promise.resolve();
  return starting;
}
async function openSound() {
  context = new AudioContext({ latencyHint: 'interactive' });
  await context.audioWorklet.addModule('worklet.js');
  node = new AudioWorkletNode(context, 'hammerlyn2', {
    numberOfInputs: 0, outputChannelCount: [2], processorOptions: { module, events: waiting.splice(0) },
  });
  node.port.onmessage = ({ data }) => {
    if (data.type === 'program' && m.hl2_program(copy) !== data.index) {
      m.hl2_select_program(copy, data.index);
      m.hl2_panel_refresh(panel);
    }
  };
  node.connect(context.destination);
  status(`Playing at ${context.sampleRate} Hz.`);
}
if (!window.isSecureContext) missing('This page needs a secure context (https, or http://localhost) for its sound.');
else if (!window.AudioWorkletNode) missing('This browser has no AudioWorklet: the panel works, but there is no sound.');

// --- Notes.
const midi = (status, data1, data2 = 0, frame) => send({ type: 'midi', data: [status, data1, data2], frame });
const keys = m.hl2_keys_new();
const codeText = m.hl2_alloc(32);
let velocity = 100;  // of the on-screen keys too
function showKeys() {
  velocity = m.hl2_keys_velocity(keys);
  $('keys-state').textContent = `Keys: C${m.hl2_keys_octave(keys) / 12 - 1}, velocity ${velocity}`;
}
function noteOn(note, strength = velocity) { midi(0x90, note, strength); key(note, true); }
function noteOff(note) { midi(0x80, note, 0); key(note, false); }
function computerKey(e, down) {
  if (e.target instanceof HTMLInputElement || e.code.length > 31) return;
  if (down && (e.ctrlKey || e.metaKey || e.altKey)) return;  // the browser's shortcuts
  const bytes = new Uint8Array(w.memory(), codeText, 32);
  bytes.set([...e.code].map((c) => c.charCodeAt(0) & 0x7f).concat([0]));
  const action = m.hl2_keys_event(keys, codeText, down ? 1 : 0);
  if (action < 0) return;
  e.preventDefault();
  const [kind, note, strength] = [action & 0xff, (action >> 8) & 0xff, action >> 16];
  if (kind === 1) { startSound(); noteOn(note, strength); }
  if (kind === 2) noteOff(note);
  if (kind === 3) showKeys();
}
window.addEventListener('keydown', (e) => computerKey(e, true));
window.addEventListener('keyup', (e) => computerKey(e, false));
window.addEventListener('blur', () => {
  const notes = new Int32Array(w.memory(), m.hl2_keys_release_all(keys), 32);
  for (let i = 0; notes[i] >= 0; ++i) noteOff(notes[i]);
});
showKeys();

// The on-screen keys: three octaves from C3.
const keyDivs = new Map();
function key(note, down) { keyDivs.get(note)?.classList.toggle('down', down); }
{
  let whites = 0;
  for (let note = 48; note < 84; ++note) {
    const black = [1, 3, 6, 8, 10].includes(note % 12);
    const div = document.createElement('div');
    div.className = black ? 'black' : 'white';
    div.style.left = `${black ? whites * 28 - 9 : whites++ * 28}px`;
    div.addEventListener('pointerdown', (e) => {
      startSound();
      div.setPointerCapture(e.pointerId);
      noteOn(note);
    });
    const up = () => { if (div.classList.contains('down')) noteOff(note); };
    div.addEventListener('pointerup', up);
    div.addEventListener('lostpointercapture', up);
    keyDivs.set(note, div);
    $('keyboard').append(div);
  }
}

// Web MIDI: every input, now and later; channel messages only.
if (navigator.requestMIDIAccess) {
  navigator.requestMIDIAccess().then((access) => {
    const listen = (input) => { input.onmidimessage = (e) => receiveMidi(e.data); };
    access.inputs.forEach(listen);
    access.onstatechange = (e) => { if (e.port.type === 'input' && e.port.state === 'connected') listen(e.port); };
  }, () => missing('Web MIDI was refused: MIDI keyboards cannot play here; the computer keyboard and the keys above can.'));
} else {
  missing('This browser has no Web MIDI: MIDI keyboards cannot play here; the computer keyboard and the keys above can.');
}
function receiveMidi(data) {
  if (data.length && data[0] >= 0x80 && data[0] < 0xf0) {
    startSound();
    midi(data[0], data[1] ?? 0, data[2] ?? 0);
  }
}

// --- The demo: the built-in piece, its programs switched by the page as a host would.
function demoEvents(rate, start) {
  const length = m.hl2_alloc(4);
  const count = m.hl2_demo_prepare(rate, length);
  const frames = new Int32Array(w.memory(), length, 1)[0];
  m.hl2_free(length);
  const list = new Int32Array(w.memory(), m.hl2_demo_events(), count * 5);
  const events = [];
  for (let i = 0; i < count; ++i) {
    const [frame, kind, a, b, c] = list.subarray(i * 5, i * 5 + 5);
    events.push(kind ? { type: 'program', index: a, frame: start + frame, demo: true }
      : { type: 'midi', data: [a, b, c], frame: start + frame, demo: true });
  }
  return { events, frames };
}
let demoPlaying = false;
$('demo').addEventListener('click', async () => {
  await startSound();
  if (!node) return;
  if (demoPlaying) {
    send({ type: 'cancel-demo' });
    demoPlaying = false;
    $('demo').textContent = 'Play the demo';
    return;
  }
  const start = Math.round((context.currentTime + 0.2) * context.sampleRate);
  const { events, frames } = demoEvents(context.sampleRate, start);
  events.push({ type: 'demo-end', frame: start + frames, demo: true });
  send(...events);
  demoPlaying = true;
  $('demo').textContent = 'Stop the demo';
  setTimeout(() => { if (demoPlaying) { demoPlaying = false; $('demo').textContent = 'Play the demo'; } },
    (frames / context.sampleRate + 0.3) * 1000);
});
$('panic').addEventListener('click', () => send({ type: 'panic' }));

// --- Saving and loading the sound as a standard preset file.
const programName = () => w.text(m.hl2_program_name(copy, m.hl2_program(copy)));
function presetFile() {
  return encodeFxp({ pluginId: m.hl2_plugin_id(), pluginVersion: m.hl2_plugin_version(),
    count: m.hl2_parameter_count(), name: programName(), chunk: savePreset(w, copy) });
}
function loadPresetFile(bytes) {
  const { name, chunk } = decodeFxp(bytes, m.hl2_plugin_id());
  if (!restorePreset(w, copy, chunk)) throw new Error('the instrument refused its sound');
  if (name) renameProgram(w, copy, name);
  send({ type: 'preset', bytes: chunk, name });
  m.hl2_panel_refresh(panel);
}
$('save').addEventListener('click', () => {
  const a = document.createElement('a');
  a.href = URL.createObjectURL(new Blob([presetFile()], { type: 'application/octet-stream' }));
  a.download = `${programName().replace(/[^\w .-]/g, '_') || 'Hammerlyn2'}.fxp`;
  a.click();
  setTimeout(() => URL.revokeObjectURL(a.href), 1000);
});
$('load').addEventListener('change', async (e) => {
  const file = e.target.files[0];
  e.target.value = '';
  if (!file) return;
  try {
    loadPresetFile(new Uint8Array(await file.arrayBuffer()));
    status(`Loaded ${file.name}.`);
  } catch (error) {
    status(`${file.name} was not loaded: ${error.message}.`);
  }
});

// --- For the page's own tests: the same module rendered offline, and what
// the sounding instrument holds.
window.hammerlyn2 = {
  ready: true,
  moduleFile,
  panelReadout: () => w.text(m.hl2_panel_readout(panel)),
  copyParameters: () => Array.from({ length: 16 }, (_, i) => m.hl2_parameter(copy, i)),
  presetFile,
  loadPresetFile,
  demoEvents,
  async renderOffline(events, frames, rate) {
    const offline = new OfflineAudioContext(2, frames, rate);
    await offline.audioWorklet.addModule('worklet.js');
    const n = new AudioWorkletNode(offline, 'hammerlyn2', {
      numberOfInputs: 0, outputChannelCount: [2], processorOptions: { module, events },
    });
    n.connect(offline.destination);
    const buffer = await offline.startRendering();
    return [buffer.getChannelData(0), buffer.getChannelData(1)];
  },
  report: () => new Promise((resolve) => {
    if (!node) { resolve(null); return; }
    const previous = node.port.onmessage;
    node.port.onmessage = (e) => {
      if (e.data.type !== 'report') { previous(e); return; }
      node.port.onmessage = previous;
      resolve(e.data);
    };
    send({ type: 'report' });
  }),
};
