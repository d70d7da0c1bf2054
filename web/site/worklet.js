// The sounding instrument, in the audio worklet. The page sends what a host
// sends a plug-in: MIDI messages at frames, knob values and programs between
// blocks, and preset blocks. An event for a frame inside a render quantum is
// played at that frame, as a plug-in plays a host's events inside its block;
// a MIDI program change (programs 0 to 7) too, as the standalone app plays it:
// the block is rendered up to its frame, then on with the new program.
import { instantiateNow, restorePreset, renameProgram, restoreBank } from './instrument.js';

const isProgramChange = (e) => e.type === 'midi' && (e.data[0] & 0xf0) === 0xc0 && (e.data[1] ?? 0) < 8;

class Hammerlyn2Processor extends AudioWorkletProcessor {
  constructor(options) {
    super();
    const { module, events = [] } = options.processorOptions;
    this.w = instantiateNow(module);
    this.instrument = this.w.m.hl2_instrument_new(sampleRate);
    this.left = this.w.m.hl2_output(this.instrument, 0);
    this.right = this.w.m.hl2_output(this.instrument, 1);
    // Pending events, in time order; an event without a frame plays at once.
    this.pending = [];
    this.peak = 0;  // the loudest sample since the page last asked
    this.schedule(events);
    this.port.onmessage = (e) => this.schedule(e.data);
  }

  schedule(events) {
    for (const e of events) {
      if (e.type === 'cancel-demo') {
        this.pending = this.pending.filter((p) => !p.demo);
        this.w.m.hl2_all_notes_off(this.instrument);
        continue;
      }
      if (e.type === 'report') {
        const { m } = this.w;
        const parameters = Array.from({ length: 16 }, (_, i) => m.hl2_parameter(this.instrument, i));
        this.port.postMessage({ type: 'report', parameters, program: m.hl2_program(this.instrument), peak: this.peak });
        this.peak = 0;
        continue;
      }
      e.frame = e.frame === undefined || e.frame < currentFrame ? currentFrame : e.frame;
      // Stable: an event goes after every pending one at the same frame.
      let i = this.pending.length;
      while (i > 0 && this.pending[i - 1].frame > e.frame) --i;
      this.pending.splice(i, 0, e);
    }
  }

  apply(e, offset) {
    const { m } = this.w;
    switch (e.type) {
      case 'midi':
        if (isProgramChange(e)) {
          if (m.hl2_request_program(this.instrument, e.data[1])) this.port.postMessage({ type: 'program', index: e.data[1] });
        } else m.hl2_midi(this.instrument, offset, e.data[0], e.data[1] ?? 0, e.data[2] ?? 0);
        break;
      case 'parameter': m.hl2_set_parameter(this.instrument, e.index, e.value); break;
      case 'program':
        if (m.hl2_select_program(this.instrument, e.index)) this.port.postMessage({ type: 'program', index: e.index });
        break;
      case 'preset':
        if (restorePreset(this.w, this.instrument, e.bytes) && e.name) renameProgram(this.w, this.instrument, e.name);
        break;
      case 'bank':
        if (restoreBank(this.w, this.instrument, e.bytes)) m.hl2_select_program(this.instrument, e.program);
        break;
      case 'panic': m.hl2_all_notes_off(this.instrument); break;
      default: break;
    }
  }

  process(inputs, outputs) {
    const out = outputs[0];
    const frames = out[0].length;
    const end = currentFrame + frames;
    // Knobs, programs and presets change between blocks, as in a host; MIDI
    // messages play at their frames, in the piece of the block they fall in.
    let done = 0;
    while (this.pending.length && this.pending[0].frame < end) {
      const e = this.pending.shift();
      const at = e.frame - currentFrame;
      if (at > done && isProgramChange(e)) {
        this.render(out, done, at);
        done = at;
      }
      this.apply(e, at - done);
    }
    this.render(out, done, frames);
    return true;
  }

  // Frames from..to of the block into the output.
  render(out, from, to) {
    const frames = to - from;
    this.w.m.hl2_render(this.instrument, frames);
    const memory = this.w.memory();
    out[0].set(new Float32Array(memory, this.left, frames), from);
    if (out[1]) out[1].set(new Float32Array(memory, this.right, frames), from);
    for (let i = from; i < to; ++i) this.peak = Math.max(this.peak, Math.abs(out[0][i]));
  }
}

registerProcessor('hammerlyn2', Hammerlyn2Processor);
