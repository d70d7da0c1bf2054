// The page: the panel on a canvas over a copy of the instrument kept here, the
// sounding instrument in an audio worklet, and the ways to play it (computer
// keyboard, on-screen keys, Web MIDI, the demo). The page is the host: it
// hands both instruments the same knob values, programs and presets.
import { instantiate, savePreset, restorePreset, renameProgram, saveBank, restoreBank } from './instrument.js';
import { encodeFxp } from './fxp.js';

const $ = (id) => document.getElementById(id);
const status = (text) => { $('status').textContent = text; };
const missing = (text) => { const li = document.createElement('li'); li.textContent = text; $('missing').append(li); };

// Offline after one visit: the service worker keeps every file of this build.
if ('serviceWorker' in navigator) navigator.serviceWorker.register('sw.js').catch(() => {});

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
const knobs = [];  // the sliders over the knobs: { element, widget, index, place: [x, y, width, height] }
const w = await instantiate(module, {
  pageParameterChanged(index, value) { send({ type: 'parameter', index, value }); soundChanged(); },
  pageGesture() {},
  pageProgramChosen(index) { send({ type: 'program', index }); soundChanged(); },
  pageResize(width, height) { canvas.width = width; canvas.height = height; fitCanvas(); return 1; },
});
const { m } = w;
const copy = m.hl2_instrument_new(48000);
const density = () => (devicePixelRatio >= 1.5 ? 2 : 1);
const panel = m.hl2_panel_new(copy, density());
const factoryBank = (() => {
  const fresh = m.hl2_instrument_new(48000);
  const bank = saveBank(w, fresh);
  m.hl2_instrument_delete(fresh);
  return bank;
})();

// --- The panel. Its pixels are device pixels, as in a plug-in's window; it is
// shown at its own size where the page is wide enough, else as wide as the page.
function fitCanvas() {
  $('panel-box').style.width = `${canvas.width / density()}px`;
  placeKnobs();
}
function placeKnobs() {
  for (const knob of knobs) {
    const [x, y, width, height] = knob.place = widgetPlace(knob.widget);
    Object.assign(knob.element.style, { left: `${(100 * x) / canvas.width}%`, top: `${(100 * y) / canvas.height}%`,
      width: `${(100 * width) / canvas.width}%`, height: `${(100 * height) / canvas.height}%` });
  }
}
new ResizeObserver(() => {
  canvas.classList.toggle('sharp', canvas.getBoundingClientRect().width * devicePixelRatio >= canvas.width - 0.5);
}).observe(canvas);
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

// The pointer on the panel. A drag moves in the panel's own pixels as at its
// natural size, however small the panel is drawn, so a knob turns as far for
// a finger as for a mouse. A touch near a knob takes that knob, and a long
// press on the background opens the menu.
const toCanvas = (e) => {
  const r = canvas.getBoundingClientRect();
  return [((e.clientX - r.left) * canvas.width) / r.width, ((e.clientY - r.top) * canvas.height) / r.height];
};
let press = null;  // { id, start: [clientX, clientY], at: [x, y], timer }
function pointer(kind, button, [x, y]) { m.hl2_panel_pointer(panel, kind, button, Math.floor(x), Math.floor(y)); }
function nearestKnob([x, y], radius) {
  let best = null, distance = radius;
  for (const { place: [kx, ky, kw, kh] } of knobs) {
    const d = Math.hypot(x - (kx + kw / 2), y - (ky + kh / 2));
    if (d < distance) { distance = d; best = [kx + kw / 2, ky + kh / 2]; }
  }
  return best;
}
canvas.addEventListener('pointerdown', (e) => {
  if (press) return;  // one pointer at a time
  canvas.setPointerCapture(e.pointerId);
  e.preventDefault();
  let at = toCanvas(e);
  press = { id: e.pointerId, start: [e.clientX, e.clientY], at, moved: false };
  if (e.pointerType !== 'mouse') {
    // 22 CSS pixels around a knob's middle, measured as drawn.
    const perCss = canvas.width / canvas.getBoundingClientRect().width;
    const knob = nearestKnob(at, Math.max(22 * perCss, 14 * density()));
    if (knob) press.at = at = knob;
    else press.timer = setTimeout(() => { if (!press.moved) openMenu(at); }, 550);
  }
  pointer(1, e.button === 2 ? 1 : 0, at);
});
canvas.addEventListener('pointermove', (e) => {
  if (!press) { if (e.pointerType === 'mouse') pointer(0, 0, toCanvas(e)); return; }
  if (e.pointerId !== press.id) return;
  const [dx, dy] = [e.clientX - press.start[0], e.clientY - press.start[1]];
  if (Math.hypot(dx, dy) > 8) press.moved = true;
  pointer(0, 0, [press.at[0] + dx * density(), press.at[1] + dy * density()]);
});
function endPress(e, kind) {
  if (!press || e.pointerId !== press.id) return;
  clearTimeout(press.timer);
  const [dx, dy] = [e.clientX - press.start[0], e.clientY - press.start[1]];
  pointer(kind, e.button === 2 ? 1 : 0, [press.at[0] + dx * density(), press.at[1] + dy * density()]);
  press = null;
}
canvas.addEventListener('pointerup', (e) => endPress(e, 2));
canvas.addEventListener('pointercancel', (e) => endPress(e, 4));
canvas.addEventListener('lostpointercapture', (e) => endPress(e, 4));
canvas.addEventListener('contextmenu', (e) => e.preventDefault());
canvas.addEventListener('wheel', (e) => {
  if (e.deltaY) pointer(3, e.deltaY < 0 ? 1 : -1, toCanvas(e));
  e.preventDefault();
}, { passive: false });

// The panel's menu from the page: the button opens it at the panel's top left.
const menuShowing = () => m.hl2_panel_menu(panel, -2, 0) !== 0;
function openMenu([x, y]) {
  if (press) { clearTimeout(press.timer); m.hl2_panel_pointer(panel, 4, 0, 0, 0); press = null; }
  m.hl2_panel_menu(panel, Math.floor(x), Math.floor(y));
}
$('menu').addEventListener('click', () => openMenu([8 * density(), 8 * density()]));

// --- The knobs as sliders: Tab reaches them in rows, the arrows turn them.
function widgetPlace(widget) {
  const p = m.hl2_panel_widget(panel, widget);
  return p ? Array.from(new Int32Array(w.memory(), p, 5)) : [0, 0, 0, 0, 0];
}
{
  const list = [];
  for (let widget = 0; m.hl2_panel_widget(panel, widget); ++widget) list.push({ widget, place: widgetPlace(widget) });
  list.sort((a, b) => a.place[1] - b.place[1] || a.place[0] - b.place[0]);
  for (const { widget, place } of list) {
    const element = document.createElement('div');
    const index = place[4];
    element.tabIndex = 0;
    element.setAttribute('role', 'slider');
    element.setAttribute('aria-label', w.text(m.hl2_parameter_name(index)));
    element.setAttribute('aria-valuemin', '0');
    element.setAttribute('aria-valuemax', '100');
    element.dataset.index = index;
    knobs.push({ element, widget, index, place });
    $('knobs').append(element);
  }
}
function showKnobValues() {
  for (const { element, index } of knobs) {
    element.setAttribute('aria-valuenow', (m.hl2_parameter(copy, index) * 100).toFixed(1));
    element.setAttribute('aria-valuetext', w.text(m.hl2_parameter_text(copy, index)));
  }
}
// A knob changed from the page: the copy, the panel and the sounding instrument.
function turnKnob(index, value) {
  if (!m.hl2_set_parameter(copy, index, Math.min(1, Math.max(0, value)))) return;
  send({ type: 'parameter', index, value: m.hl2_parameter(copy, index) });
  m.hl2_panel_refresh(panel);
  soundChanged();
}
function knobKey(e, index) {
  const value = m.hl2_parameter(copy, index);
  const step = e.shiftKey ? 0.001 : 0.01;
  const to = { ArrowUp: value + step, ArrowRight: value + step, ArrowDown: value - step, ArrowLeft: value - step,
    PageUp: value + 0.1, PageDown: value - 0.1, Home: 0, End: 1 }[e.key];
  if (to === undefined) return false;
  turnKnob(index, to);
  return true;
}

// --- The program selector, following the panel's menu and MIDI program changes.
const programSelect = $('program');
function showPrograms() {
  const current = m.hl2_program(copy);
  const names = Array.from({ length: m.hl2_program_count() }, (_, i) => `${i + 1} ${w.text(m.hl2_program_name(copy, i))}`);
  if (programSelect.options.length !== names.length) programSelect.replaceChildren(...names.map(() => new Option()));
  names.forEach((name, i) => { programSelect.options[i].text = name; });
  programSelect.selectedIndex = current;
  showKnobValues();
}
programSelect.addEventListener('change', () => {
  const index = programSelect.selectedIndex;
  if (!m.hl2_select_program(copy, index)) return;
  m.hl2_panel_refresh(panel);
  send({ type: 'program', index });
  soundChanged();
});

// --- The sound kept between visits: the bank and the program in the browser's storage.
const storageKey = 'hammerlyn2.sound';
const toBase64 = (bytes) => btoa(String.fromCharCode(...bytes)).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
const fromBase64 = (text) => {
  if (!/^[A-Za-z0-9_-]*$/.test(text)) return null;
  try { return Uint8Array.from(atob(text.replace(/-/g, '+').replace(/_/g, '/')), (c) => c.charCodeAt(0)); } catch { return null; }
};
let keepTimer = 0;
function soundChanged() {
  showPrograms();
  clearTimeout(keepTimer);
  keepTimer = setTimeout(keepSound, 300);
}
function keepSound() {
  clearTimeout(keepTimer);
  try {
    localStorage.setItem(storageKey, JSON.stringify({ version: 1, program: m.hl2_program(copy), bank: toBase64(saveBank(w, copy)) }));
  } catch { /* storage refused or full: the sound lasts for this visit */ }
}
// A whole bank and a program for both instruments; false, with nothing changed, when refused.
function useBank(bank, program) {
  if (!Number.isInteger(program) || program < 0 || program >= m.hl2_program_count()) return false;
  if (!restoreBank(w, copy, bank) || !m.hl2_select_program(copy, program)) return false;
  send({ type: 'bank', bytes: bank, program });
  m.hl2_panel_refresh(panel);
  return true;
}
function restoreKept() {
  try {
    const kept = JSON.parse(localStorage.getItem(storageKey));
    const bank = kept?.version === 1 && fromBase64(kept.bank);
    return Boolean(bank && useBank(bank, kept.program));
  } catch { return false; }
}
$('factory').addEventListener('click', () => {
  useBank(factoryBank, 0);
  try { localStorage.removeItem(storageKey); } catch { /* nothing kept */ }
  showPrograms();
  status('The factory sounds are back.');
});

// --- Sharing: a link whose fragment carries the current program, as
// "1:<program>:<its 88-byte record in base64url>" (version, program, the
// record as the saved bank holds it: name, then the 16 values).
const kRecordBytes = 88;
function shareLink() {
  const program = m.hl2_program(copy);
  const record = saveBank(w, copy).subarray(program * kRecordBytes, (program + 1) * kRecordBytes);
  return `${location.href.split('#')[0]}#sound=1:${program}:${toBase64(record)}`;
}
function openSharedSound(fragment) {
  const [, program, data] = /^#sound=1:([0-7]):([A-Za-z0-9_-]+)$/.exec(fragment) ?? [];
  const record = data && fromBase64(data);
  const bank = factoryBank.slice();
  if (!record || record.length !== kRecordBytes) return false;
  bank.set(record, Number(program) * kRecordBytes);
  return useBank(bank, Number(program));
}
$('share').addEventListener('click', async () => {
  const link = shareLink();
  try {
    await navigator.clipboard.writeText(link);
    status('Link copied: it opens this sound on top of the factory programs.');
  } catch {
    prompt('Copy this link: it opens this sound on top of the factory programs.', link);
  }
});

// --- Sound, from the first gesture on; any later gesture brings it back when
// the browser suspended it (a hidden tab, a call).
let starting = null;
const soundPossible = window.isSecureContext && window.AudioWorkletNode;
function startSound() {
  if (!soundPossible) return Promise.resolve();
  starting ??= openSound().catch((error) => { status(`The sound could not start: ${error.message}`); });
  if (context && context.state !== 'running' && context.state !== 'closed') context.resume().catch(() => {});
  return starting;
}
function showSoundState() {
  const state = context?.state;
  if (state === 'running') status(`Playing at ${context.sampleRate} Hz.`);
  else if (state === 'closed') status('The sound has stopped: reload the page to start it again.');
  else if (state) status('The sound is paused: click, tap or press a key to resume it.');
}
async function openSound() {
  context = new AudioContext({ latencyHint: 'interactive' });
  context.onstatechange = showSoundState;
  await context.audioWorklet.addModule('worklet.js');
  node = new AudioWorkletNode(context, 'hammerlyn2', {
    numberOfInputs: 0, outputChannelCount: [2], processorOptions: { module, events: waiting.splice(0) },
  });
  node.port.onmessage = ({ data }) => {
    if (data.type === 'program' && m.hl2_program(copy) !== data.index) {
      m.hl2_select_program(copy, data.index);
      m.hl2_panel_refresh(panel);
      soundChanged();
    }
  };
  node.connect(context.destination);
  showSoundState();
}
for (const type of ['pointerdown', 'keydown']) window.addEventListener(type, () => startSound(), true);
document.addEventListener('visibilitychange', () => { if (!document.hidden && context) showSoundState(); });
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
// Controls that need the keys themselves: the note keys leave them alone.
const needsKeys = (t) => t instanceof HTMLSelectElement || t instanceof HTMLTextAreaElement || t.isContentEditable
  || (t instanceof HTMLInputElement && !['file', 'button', 'checkbox'].includes(t.type));
function computerKey(e, down) {
  if (down && e.key === 'Escape' && menuShowing()) { m.hl2_panel_menu(panel, -1, 0); e.preventDefault(); return; }
  const knob = e.target?.dataset?.index;
  if (down && knob !== undefined && knobKey(e, Number(knob))) { e.preventDefault(); return; }
  if (needsKeys(e.target) || e.code.length > 31) return;
  if (down && (e.ctrlKey || e.metaKey || e.altKey)) return;  // the browser's shortcuts
  const bytes = new Uint8Array(w.memory(), codeText, 32);
  bytes.set([...e.code].map((c) => c.charCodeAt(0) & 0x7f).concat([0]));
  const action = m.hl2_keys_event(keys, codeText, down ? 1 : 0);
  if (action < 0) return;
  e.preventDefault();
  const [kind, note, strength] = [action & 0xff, (action >> 8) & 0xff, action >> 16];
  if (kind === 1) noteOn(note, strength);
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

// The on-screen keys: three octaves from C3. Each finger plays the key it is
// on, and a finger sliding across them plays each key it enters.
const keyDivs = new Map();
function key(note, down) { keyDivs.get(note)?.classList.toggle('down', down); }
{
  let whites = 0;
  for (let note = 48; note < 84; ++note) {
    const black = [1, 3, 6, 8, 10].includes(note % 12);
    const div = document.createElement('div');
    div.className = black ? 'black' : 'white';
    div.style.left = `calc(100% / 21 * ${black ? whites - 0.32 : whites++})`;
    div.dataset.note = note;
    keyDivs.set(note, div);
    $('keyboard').append(div);
  }
  const fingers = new Map();  // pointer id -> the note it holds
  const follow = (e) => {
    if (!fingers.has(e.pointerId)) return;
    const note = Number(document.elementFromPoint(e.clientX, e.clientY)?.closest('#keyboard > div')?.dataset.note ?? -1);
    const held = fingers.get(e.pointerId);
    if (note === held) return;
    if (held >= 0 && ![...fingers].some(([id, n]) => id !== e.pointerId && n === held)) noteOff(held);
    fingers.set(e.pointerId, note);
    if (note >= 0) noteOn(note);
  };
  const lift = (e) => {
    const held = fingers.get(e.pointerId);
    fingers.delete(e.pointerId);
    if (held >= 0 && ![...fingers.values()].includes(held)) noteOff(held);
  };
  const board = $('keyboard');
  board.addEventListener('pointerdown', (e) => {
    board.setPointerCapture(e.pointerId);
    e.preventDefault();
    fingers.set(e.pointerId, -1);
    follow(e);
  });
  board.addEventListener('pointermove', follow);
  for (const type of ['pointerup', 'pointercancel', 'lostpointercapture']) board.addEventListener(type, lift);
}

// Web MIDI, when the player asks for it: every input, now and later; channel
// messages only.
$('midi').addEventListener('click', async () => {
  if (!navigator.requestMIDIAccess) {
    status(window.isSecureContext ? 'This browser has no Web MIDI: the computer keyboard and the keys above play.'
      : 'Web MIDI needs a secure page (https, or http://localhost).');
    return;
  }
  try {
    const access = await navigator.requestMIDIAccess();
    const listen = (input) => { input.onmidimessage = (e) => receiveMidi(e.data); };
    access.inputs.forEach(listen);
    access.onstatechange = (e) => { if (e.port.type === 'input' && e.port.state === 'connected') listen(e.port); };
    $('midi').disabled = true;
    $('midi').textContent = `MIDI keyboards: ${access.inputs.size} connected`;
  } catch (error) {
    status(`Web MIDI was refused (${error.message || error.name}): the computer keyboard and the keys above play.`);
  }
});
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

// --- Saving and loading the sound as a standard preset file. Whether a file
// is one is the render tool's own rule, compiled into the module.
const programName = () => w.text(m.hl2_program_name(copy, m.hl2_program(copy)));
const kLargestPresetFile = 1 << 20;  // far above any preset, far below the module's memory
function presetFile() {
  return encodeFxp({ pluginId: m.hl2_plugin_id(), pluginVersion: m.hl2_plugin_version(),
    count: m.hl2_parameter_count(), name: programName(), chunk: savePreset(w, copy) });
}
function loadPresetFile(bytes) {
  const p = w.put(bytes);
  const ours = m.hl2_is_preset_file(p, bytes.length);
  m.hl2_free(p);
  if (!ours) throw new Error('not a Hammerlyn2 sound file');
  const chunk = bytes.slice(60);
  let name = '';
  for (let i = 28; i < 56 && bytes[i]; ++i) name += String.fromCharCode(bytes[i]);
  if (!restorePreset(w, copy, chunk)) throw new Error('not a Hammerlyn2 sound file');
  if (name) renameProgram(w, copy, name);
  send({ type: 'preset', bytes: chunk, name });
  m.hl2_panel_refresh(panel);
  soundChanged();
}
$('save').addEventListener('click', () => {
  const a = document.createElement('a');
  a.href = URL.createObjectURL(new Blob([presetFile()], { type: 'application/octet-stream' }));
  a.download = `${programName().replace(/[^\w .-]/g, '_') || 'Hammerlyn2'}.fxp`;
  a.click();
  setTimeout(() => URL.revokeObjectURL(a.href), 1000);
});
async function loadFile(file) {
  try {
    if (file.size > kLargestPresetFile) throw new Error('file too large');
    loadPresetFile(new Uint8Array(await file.arrayBuffer()));
    status(`Loaded ${file.name}.`);
  } catch (error) {
    status(`${file.name} was not loaded: ${error.message}.`);
  }
}
$('load').addEventListener('change', (e) => {
  const file = e.target.files[0];
  e.target.value = '';
  if (file) loadFile(file);
});

// --- The sound the page opens with: a shared link's, else the one kept from
// the last visit, else the factory programs.
if (location.hash.startsWith('#sound=')) {
  const shared = openSharedSound(location.hash);
  history.replaceState(null, '', location.href.split('#')[0]);
  if (shared) {
    keepSound();
    status(`Opened the shared sound "${programName()}". Click the panel or press a key to play it.`);
  } else {
    restoreKept();
    status('The link\'s sound is damaged and was not loaded: nothing has changed.');
  }
} else {
  restoreKept();
}
fitCanvas();
showPrograms();
requestAnimationFrame(draw);

// --- For the page's own tests: the same module rendered offline, and what
// the sounding instrument holds.
window.hammerlyn2 = {
  ready: true,
  moduleFile,
  get context() { return context; },
  panelReadout: () => w.text(m.hl2_panel_readout(panel)),
  copyParameters: () => Array.from({ length: 16 }, (_, i) => m.hl2_parameter(copy, i)),
  menuShowing,
  presetFile,
  loadFile,
  shareLink,
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
