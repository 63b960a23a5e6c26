// The page's audio thread. thousand-sound runs the sound library's WebAssembly module
// (platform/sound_worklet_web.cpp) on the show's module and plays what it renders;
// thousand-recorder passes its input on and, for tests, hands copies to the page.
class ThousandSound extends AudioWorkletProcessor {
  constructor(options) {
    super();
    const { wasm, module } = options.processorOptions;
    // The library's only import: how it would stop the process, which here stops it.
    const imports = { wasi_snapshot_preview1: { proc_exit: (code) => { throw new Error(`exit ${code}`); } } };
    const instance = new WebAssembly.Instance(new WebAssembly.Module(wasm), imports);
    this.sound = instance.exports;
    if (this.sound._initialize) {
      this.sound._initialize();
    }
    const at = this.sound.thousandSoundModule(module.length);
    new Uint8Array(this.sound.memory.buffer, at, module.length).set(module);
    const loaded = this.sound.thousandSoundLoad(sampleRate) !== 0;
    this.port.postMessage({ loaded });
    this.ended = false;
    this.port.onmessage = (event) => {
      if (event.data === 'start') {
        this.sound.thousandSoundStart();
      } else if (event.data === 'pause') {
        this.sound.thousandSoundPause();
      } else if (event.data === 'end') {
        this.ended = true;
      }
    };
  }

  process(inputs, outputs) {
    // A show that has been replaced: the processor may go.
    if (this.ended) {
      return false;
    }
    const [left, right] = outputs[0];
    const frames = left.length;
    const at = this.sound.thousandSoundRender(frames);
    const samples = new Int16Array(this.sound.memory.buffer, at, frames * 2);
    for (let i = 0; i < frames; ++i) {
      left[i] = samples[2 * i] / 32768;
      right[i] = samples[2 * i + 1] / 32768;
    }
    return true;
  }
}

class ThousandRecorder extends AudioWorkletProcessor {
  constructor() {
    super();
    this.chunks = [];
    this.frames = 0;
  }

  process(inputs, outputs) {
    const input = inputs[0];
    const output = outputs[0];
    const frames = output[0].length;
    const chunk = new Int16Array(frames * 2);
    for (let channel = 0; channel < 2; ++channel) {
      const from = input[channel] || input[0];
      if (from) {
        output[channel].set(from);
        for (let i = 0; i < frames; ++i) {
          chunk[2 * i + channel] = Math.max(-32768, Math.min(32767, Math.round(from[i] * 32768)));
        }
      }
    }
    // A tenth of a second at a time.
    this.chunks.push(chunk);
    this.frames += frames;
    if (this.frames >= sampleRate / 10) {
      this.port.postMessage(this.chunks);
      this.chunks = [];
      this.frames = 0;
    }
    return true;
  }
}

registerProcessor('thousand-sound', ThousandSound);
registerProcessor('thousand-recorder', ThousandRecorder);
