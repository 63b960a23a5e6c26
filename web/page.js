// The page around the show: the start-up question, the canvas and fullscreen, the sound
// on the audio thread, and the offer to play again. The show itself is the program's
// code (createThousand, app/main_web.cpp), which calls back through Module.thousand.
//
// The address's fragment takes options for tests and recordings: fps=N draws on a clock
// that moves 1 / N s a frame, shots=A,B,... keeps those frames' pixels, record keeps the
// sound that plays. What the page does, and the frames drawn with the time each took, the
// eye's position and the blending switch, are in window.thousandPage for them to read.
'use strict';

(() => {
  const options = new URLSearchParams(location.hash.slice(1));
  const stage = document.getElementById('stage');
  const question = document.getElementById('question');
  const after = document.getElementById('after');
  const failure = document.getElementById('failure');
  const layoutWidth = 640;
  const layoutHeight = 480;

  const page = {
    state: 'question',
    frames: 0,
    frameTimes: [],
    fullscreen: false,
    scale: 1,
    fps: Number(options.get('fps')) || 0,
    shotFrames: (options.get('shots') || '').split(',').filter((s) => s !== '').map(Number),
    shots: {},
    recording: options.has('record'),
    recorded: [],
    soundLoaded: false,
    timing: {},
  };
  window.thousandPage = page;

  // The page's resources, as the program's executable carries them, by number; the sound
  // library's module for the audio thread. Stored compressed.
  async function unpack(base64) {
    const packed = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
    const stream = new Blob([packed]).stream().pipeThrough(new DecompressionStream('gzip'));
    return new Uint8Array(await new Response(stream).arrayBuffer());
  }
  const unpacked = (async () => {
    const packed = JSON.parse(document.getElementById('thousand-resources').textContent);
    const resources = {};
    for (const [number, base64] of Object.entries(packed.resources)) {
      resources[number] = await unpack(base64);
    }
    return { resources, soundWasm: await unpack(packed.sound) };
  })();

  // A worklet module from a data: address, which browsers take from a file:// page too.
  const workletUrl = 'data:text/javascript;base64,' +
    btoa(document.getElementById('thousand-worklet').textContent);

  let audio = null;
  let soundNode = null;
  let recorder = null;
  let show = null;
  let canvas = null;
  let answer = false;

  // The largest whole multiple of the show's size that fits the screen, in device pixels;
  // in the page, one canvas pixel to one CSS pixel.
  function layout() {
    page.fullscreen = document.fullscreenElement === stage;
    const ratio = window.devicePixelRatio || 1;
    page.scale = page.fullscreen
      ? Math.max(1, Math.floor(Math.min(stage.clientWidth * ratio / layoutWidth,
                                        stage.clientHeight * ratio / layoutHeight)))
      : 1;
    if (!canvas) {
      return;
    }
    const width = layoutWidth * page.scale;
    const height = layoutHeight * page.scale;
    const cssRatio = page.fullscreen ? ratio : 1;
    canvas.width = width;
    canvas.height = height;
    canvas.style.width = `${width / cssRatio}px`;
    canvas.style.height = `${height / cssRatio}px`;
    if (show && page.state === 'playing') {
      show._thousandLayout(width, height, page.scale, page.fullscreen ? 1 : 0);
    }
  }
  document.addEventListener('fullscreenchange', () => {
    if (!document.fullscreenElement) {
      page.leftFullscreen = performance.now();
    }
    layout();
  });

  // The browser takes the Escape that leaves fullscreen for itself; where it also hands
  // it to the page, the show does not see it, and goes on in the page.
  window.addEventListener('keydown', (event) => {
    const justLeft = performance.now() - (page.leftFullscreen || -1e9) < 250;
    if (event.key === 'Escape' && (document.fullscreenElement || justLeft)) {
      event.stopImmediatePropagation();
    }
  }, true);

  function toggleFullscreen() {
    if (document.fullscreenElement) {
      document.exitFullscreen().catch(() => {});
    } else {
      stage.requestFullscreen().catch(() => {});
    }
  }

  async function makeSound(module, wasm) {
    try {
      if (!page.workletAdded) {
        await audio.audioWorklet.addModule(workletUrl);
        page.workletAdded = true;
      }
      const node = new AudioWorkletNode(audio, 'thousand-sound', {
        numberOfInputs: 0,
        outputChannelCount: [2],
        processorOptions: { wasm, module },
      });
      node.port.onmessage = (event) => { page.soundLoaded = event.data.loaded; };
      // One recorder for the page, which every show's sound passes through.
      if (page.recording && !recorder) {
        recorder = new AudioWorkletNode(audio, 'thousand-recorder', { outputChannelCount: [2] });
        recorder.port.onmessage = (event) => { page.recorded.push(...event.data); };
        recorder.connect(audio.destination);
      }
      node.connect(recorder || audio.destination);
      return node;
    } catch (error) {
      console.warn('The show plays without sound:', error);
      return null;
    }
  }

  function ended() {
    page.state = 'ended';
    stage.classList.remove('playing');
    after.hidden = false;
    document.getElementById('again').focus();
  }

  function failed(message) {
    page.state = 'failed';
    failure.textContent = message;
    failure.hidden = false;
  }

  // The answer is the gesture that lets the page make sound and go fullscreen: both are
  // asked for here, inside it.
  function begin(fullscreen) {
    page.timing.click = performance.now();
    answer = fullscreen;
    page.state = 'starting';
    after.hidden = true;
    // Without audio the show goes on silently.
    if (!audio) {
      try {
        audio = new AudioContext();
        page.sampleRate = audio.sampleRate;
      } catch (error) {
        console.warn('The show plays without sound:', error);
      }
    }
    audio?.resume().catch(() => {});
    if (fullscreen) {
      stage.requestFullscreen().catch(() => {});
    }
    start(fullscreen).catch((error) => failed(`The show could not start: ${error}`));
  }

  async function start(fullscreen) {
    const { resources, soundWasm } = await unpacked;
    if (soundNode) {
      soundNode.port.postMessage('end');
      soundNode.disconnect();
    }
    soundNode = await makeSound(resources[116], soundWasm);
    // A fresh canvas for every show, as the program opens a fresh window.
    if (canvas) {
      canvas.remove();
    }
    canvas = document.createElement('canvas');
    canvas.id = 'thousand-canvas';
    stage.append(canvas);
    layout();
    show = await createThousand({
      thousand: {
        canvas,
        resources,
        fps: page.fps,
        shots: page.shotFrames,
        sound: soundNode && {
          start: () => soundNode.port.postMessage('start'),
          pause: () => soundNode.port.postMessage('pause'),
        },
        shot(frame, rgba, width, height) {
          page.shots[frame] = { rgba, width, height };
        },
        drawn(frames, milliseconds, eye, blend) {
          page.frames = frames;
          // The last ten seconds' worth at most.
          page.frameTimes.push(milliseconds);
          if (page.frameTimes.length > 600) {
            page.frameTimes.shift();
          }
          page.eye = eye;
          page.blend = blend;
        },
        ended,
        failed,
        toggleFullscreen,
      },
    });
    page.state = 'playing';
    stage.classList.add('playing');
    if (!show._thousandStart(fullscreen ? 1 : 0)) {
      return;
    }
    // A fullscreen that came while the show was being made.
    layout();
    requestAnimationFrame(() => {
      if (page.timing.firstFrame === undefined) {
        page.timing.firstFrame = performance.now();
      }
    });
  }

  document.getElementById('yes').addEventListener('click', () => begin(true));
  document.getElementById('no').addEventListener('click', () => begin(false));
  document.getElementById('again').addEventListener('click', () => begin(answer));
  question.addEventListener('cancel', (event) => event.preventDefault());
  question.showModal();
})();
