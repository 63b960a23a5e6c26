// The sound library as the page's audio thread runs it (its WebAssembly module, as
// web/sound_worklet.js drives it: 128 frames a call) against modrender on the host:
// the same samples, bit for bit, at 44,100 and 48,000 frames a second, looping past the
// song's end, and for the comparison's modules of every format (written by
// make_test_modules), which the host mixes with its vector paths where the processor
// has them; and a module it cannot load stays silent.
//
//     node sound_library_test.mjs SOUND.wasm MODRENDER SOUNDTRACK.mod MAKE_TEST_MODULES WORK_DIR
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';

const [wasmFile, modrender, soundtrack, makeModules, work] = process.argv.slice(2);
if (!work) {
  console.error('usage: node sound_library_test.mjs SOUND.wasm MODRENDER SOUNDTRACK.mod MAKE_TEST_MODULES WORK_DIR');
  process.exit(2);
}
fs.mkdirSync(work, { recursive: true });
const wasm = new WebAssembly.Module(fs.readFileSync(wasmFile));
let failed = false;

// What the worklet plays in `seconds`, from a fresh instance of the module.
function play(module, rate, seconds) {
  const imports = { wasi_snapshot_preview1: { proc_exit: (code) => { throw new Error(`exit ${code}`); } } };
  const sound = new WebAssembly.Instance(wasm, imports).exports;
  sound._initialize?.();
  const at = sound.thousandSoundModule(module.length);
  new Uint8Array(sound.memory.buffer, at, module.length).set(module);
  const loaded = sound.thousandSoundLoad(rate) !== 0;
  sound.thousandSoundStart();
  const frames = Math.ceil(rate * seconds / 128) * 128;
  const samples = new Int16Array(frames * 2);
  for (let done = 0; done < frames; done += 128) {
    samples.set(new Int16Array(sound.memory.buffer, sound.thousandSoundRender(128), 256), done * 2);
  }
  return { loaded, samples };
}

// Plays the module file here and in modrender, and says how many samples differ.
function compare(file, rate, seconds) {
  const { loaded, samples } = play(fs.readFileSync(file), rate, seconds);
  const reference = path.join(work, `modrender-${rate}.wav`);
  execFileSync(modrender, ['--rate', String(rate), '--seconds', String(samples.length / 2 / rate), file,
                           reference], { stdio: 'ignore' });
  const wav = fs.readFileSync(reference);
  const expected = new Int16Array(wav.buffer, wav.byteOffset + 44, (wav.length - 44) / 2);
  let differing = expected.length === samples.length ? 0 : Infinity;
  for (let i = 0; i < samples.length && i < expected.length; ++i) {
    differing += samples[i] !== expected[i] ? 1 : 0;
  }
  const ok = loaded && differing === 0;
  failed ||= !ok;
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${path.basename(file)}, ${seconds} s at ${rate} Hz: ` +
              `${differing} of ${expected.length} samples differ`);
}

// Past the end of the song's first pass (86.25 s) and into its loop.
compare(soundtrack, 44100, 90);
compare(soundtrack, 48000, 3);
const written = execFileSync(makeModules, [work], { encoding: 'utf8' }).trim().split('\n');
for (const file of written) {
  compare(file, 44100, 6);
}

const module = fs.readFileSync(soundtrack);

const broken = play(module.subarray(0, 1000), 48000, 0.1);
const silent = broken.samples.every((value) => value === 0);
failed ||= broken.loaded || !silent;
console.log(`${!broken.loaded && silent ? 'ok  ' : 'FAIL'} a damaged module is refused and nothing plays`);
process.exit(failed ? 1 : 0);
