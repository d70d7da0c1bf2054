// The WebAssembly module as both the page and the audio worklet use it: one
// instance per user, each holding its own instruments.

// The page's answers to the panel (the worklet has no panel and keeps these).
const quiet = {
  pageParameterChanged() {},
  pageGesture() {},
  pageProgramChosen() {},
  pageResize() { return 1; },
};

function imports(page) {
  return {
    env: { ...quiet, ...page },
    wasi_snapshot_preview1: { proc_exit(code) { throw new Error(`Hammerlyn2 stopped (${code})`); } },
  };
}

function wrap(instance) {
  const m = instance.exports;
  m._initialize();
  const memory = () => m.memory.buffer;
  return {
    m,
    memory,
    text(pointer) {
      const bytes = new Uint8Array(memory(), pointer);
      let s = '';
      for (let i = 0; bytes[i]; ++i) s += String.fromCharCode(bytes[i]);
      return s;
    },
    // Copies bytes into the module; the caller frees the pointer.
    put(bytes) {
      const p = m.hl2_alloc(Math.max(1, bytes.length));
      new Uint8Array(memory(), p, bytes.length).set(bytes);
      return p;
    },
  };
}

// In the worklet: compiled module in, instance out, at once.
export function instantiateNow(module) {
  return wrap(new WebAssembly.Instance(module, imports({})));
}

// On the page, where large modules may not be instantiated synchronously.
export async function instantiate(module, page) {
  return wrap(await WebAssembly.instantiate(module, imports(page)));
}

// A state block the module hands out (save(instrument, sizeOut)), copied out
// of its memory.
function copyState(w, instrument, save) {
  const size = w.m.hl2_alloc(4);
  const data = save(instrument, size);
  const bytes = new Uint8Array(new Int32Array(w.memory(), size, 1)[0]);
  bytes.set(new Uint8Array(w.memory(), data, bytes.length));
  w.m.hl2_free(size);
  return bytes;
}

// The current program as a preset's state block (a copy).
export function savePreset(w, instrument) {
  return copyState(w, instrument, w.m.hl2_save_preset);
}

// The whole bank of eight named programs (a copy), and back; false when refused.
export function saveBank(w, instrument) {
  return copyState(w, instrument, w.m.hl2_save_bank);
}
export function restoreBank(w, instrument, bytes) {
  const p = w.put(bytes);
  const ok = w.m.hl2_restore_bank(instrument, p, bytes.length) !== 0;
  w.m.hl2_free(p);
  return ok;
}

// Restores a preset's block; false when the instrument refuses it.
export function restorePreset(w, instrument, bytes) {
  const p = w.put(bytes);
  const ok = w.m.hl2_restore_preset(instrument, p, bytes.length) !== 0;
  w.m.hl2_free(p);
  return ok;
}

export function renameProgram(w, instrument, name) {
  const bytes = new Uint8Array([...name].map((c) => c.charCodeAt(0) & 0xff).concat([0]));
  const p = w.put(bytes);
  w.m.hl2_rename_program(instrument, p);
  w.m.hl2_free(p);
}
