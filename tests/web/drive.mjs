// Drives the show's page in a real browser as a person would, through puppeteer-core,
// and writes what it saw for web_test.py to judge:
//
//     node drive.mjs SETTINGS.json FILE_URL HTTP_URL OUT_DIR FRAME,FRAME,...
//
// SETTINGS.json holds puppeteer's launch settings (browsers.py makes them). OUT_DIR
// receives checks.json (every check with its result, and the sound's rate), the frames
// named on the command line as the page keeps them (frame-N.rgba, RGBA bytes, top row
// first) and the sound recorded from the page (sound.s16, interleaved 16-bit stereo).
// The exit code is 0 once everything was written, whatever the checks found; 1 when the
// browser failed.
import fs from 'node:fs';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

const [settingsFile, fileUrl, httpUrl, outDir, frameList] = process.argv.slice(2);
if (!frameList) {
  console.error('usage: node drive.mjs SETTINGS.json FILE_URL HTTP_URL OUT_DIR FRAME,FRAME,...');
  process.exit(2);
}
const settings = JSON.parse(fs.readFileSync(settingsFile, 'utf8'));
// The frames that web_test.py compares with snapshot's.
const comparedFrames = frameList.split(',').map(Number);
const kept = {};

const checks = [];
function check(name, ok, detail = '') {
  checks.push({ name, ok: Boolean(ok), detail: String(detail) });
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${name}${detail ? ` (${detail})` : ''}`);
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const state = (page) => page.evaluate(() => ({
  ...window.thousandPage, shots: undefined, recorded: undefined, frameTimes: undefined,
}));

async function waitFor(page, test, what, timeout = 30000, arg = undefined) {
  try {
    await page.waitForFunction(test, { timeout, polling: 50 }, arg);
    return true;
  } catch {
    check(what, false, 'timed out');
    return false;
  }
}

// A key held as a hand holds it, with the keyboard's auto-repeats when held long.
async function hold(page, key, ms = 300, repeats = 0) {
  await page.keyboard.down(key);
  for (let i = 0; i < repeats; ++i) {
    await sleep(ms / (repeats + 1));
    await page.keyboard.down(key);
  }
  await sleep(ms / (repeats + 1));
  await page.keyboard.up(key);
  await sleep(100);
}

// Bytes as base64, for the way out of the page.
const base64Helper = `window.toBase64 = (bytes) => {
  let text = '';
  for (let i = 0; i < bytes.length; i += 0x8000) {
    text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
  }
  return btoa(text);
};`;

async function openPage(browser, url) {
  const page = await browser.newPage();
  const requests = [];
  page.on('request', (request) => requests.push(request.url()));
  page.on('console', (message) => {
    // The GL layer tells of a call it does not handle on the console.
    if (message.text().includes('gl11:')) {
      check('the GL layer handles every call', false, message.text());
    }
  });
  page.on('pageerror', (error) => check('the page runs without errors', false, error.message));
  await page.evaluateOnNewDocument(base64Helper);
  await page.goto(url);
  await page.waitForSelector('#question[open]');
  return { page, requests };
}

// The start-up question, answered from the keyboard: Tab to No, Enter.
async function question(browser) {
  const { page, requests } = await openPage(browser, fileUrl);
  const dialog = await page.evaluate(() => ({
    caption: document.getElementById('caption').textContent,
    text: document.querySelector('#question p').textContent,
    buttons: [...document.querySelectorAll('#question button')].map((b) => b.textContent),
    focused: document.activeElement.id,
  }));
  check('the question reads "Want to see it BIG ?" under "FullScreen..."',
    dialog.caption === 'FullScreen...' && dialog.text === 'Want to see it BIG ?', JSON.stringify(dialog));
  check('its buttons are Yes and No, Yes with the focus',
    dialog.buttons.join() === 'Yes,No' && dialog.focused === 'yes', JSON.stringify(dialog));
  await page.keyboard.press('Tab');
  await page.keyboard.press('Enter');
  if (await waitFor(page, () => window.thousandPage.frames > 10, 'the show starts after No')) {
    const shown = await page.evaluate(() => {
      const canvas = document.getElementById('thousand-canvas');
      const box = canvas.getBoundingClientRect();
      return { width: canvas.width, height: canvas.height, cssWidth: box.width, cssHeight: box.height,
               fullscreen: Boolean(document.fullscreenElement), cursor: getComputedStyle(canvas).cursor,
               question: document.getElementById('question').open, title: document.title };
    });
    check('No plays in the page on a 640 x 480 canvas, a canvas pixel to a CSS pixel',
      shown.width === 640 && shown.height === 480 && shown.cssWidth === 640 && shown.cssHeight === 480 &&
      !shown.fullscreen && !shown.question, JSON.stringify(shown));
    check('the pointer is hidden over the show', shown.cursor === 'none', shown.cursor);
    check('the page is titled as the window', shown.title === 'Dolven Quarn - http://www.dolvenquarn.org',
      shown.title);
  }
  const fetched = requests.filter((url) => url !== fileUrl && !url.startsWith('data:'));
  check('the page fetches nothing', fetched.length === 0, fetched.join(' '));
  await page.close();
}

// The show on the fixed clock from disk, with its frames kept and its sound recorded,
// while the main thread is kept busy for a second and the tab is hidden for two.
async function show(browser) {
  const { page } = await openPage(browser, `${fileUrl}#fps=60&record&shots=${comparedFrames.join(',')}`);
  await page.click('#no');
  if (!await waitFor(page, () => window.thousandPage.soundLoaded && window.thousandPage.frames > 60,
                     'the show starts with its sound')) {
    return page.close();
  }
  await sleep(1500);
  await page.evaluate(() => {
    const until = performance.now() + 1000;
    while (performance.now() < until) {
      // The main thread is busy; the audio thread is not.
    }
  });
  await sleep(1000);
  const other = await browser.newPage();
  await other.bringToFront();
  await sleep(300);
  const hidden = await page.evaluate(() => document.visibilityState);
  check('another tab in front hides the show', hidden === 'hidden', hidden);
  await sleep(2000);
  await page.bringToFront();
  await other.close();
  await sleep(1500);
  await waitFor(page, (last) => window.thousandPage.frames > last, 'the frames to compare are drawn', 60000,
    comparedFrames[comparedFrames.length - 1]);
  const shots = await page.evaluate((frames) => frames.map((frame) => {
    const shot = window.thousandPage.shots[frame];
    return shot && { frame, width: shot.width, height: shot.height, rgba: window.toBase64(shot.rgba) };
  }), comparedFrames);
  kept.frames = {};
  for (const shot of shots.filter(Boolean)) {
    fs.writeFileSync(path.join(outDir, `frame-${shot.frame}.rgba`), Buffer.from(shot.rgba, 'base64'));
    kept.frames[shot.frame] = [shot.width, shot.height];
  }
  check('every frame to compare was kept', shots.every(Boolean));
  const sound = await page.evaluate(() => {
    const chunks = window.thousandPage.recorded;
    const all = new Int16Array(chunks.reduce((sum, chunk) => sum + chunk.length, 0));
    let at = 0;
    for (const chunk of chunks) {
      all.set(chunk, at);
      at += chunk.length;
    }
    return { rate: window.thousandPage.sampleRate, samples: window.toBase64(new Uint8Array(all.buffer)) };
  });
  const samples = Buffer.from(sound.samples, 'base64');
  fs.writeFileSync(path.join(outDir, 'sound.s16'), samples);
  kept.rate = sound.rate;
  check('the sound was recorded', samples.length > sound.rate * 4 * 5, `${samples.length / 4} frames`);
  await page.close();
}

// Yes: fullscreen at the largest whole multiple of 640 x 480; F1 out and in again; the
// first Escape leaves fullscreen and the show goes on, the next ends it; playing again.
async function fullscreen(browser) {
  const { page } = await openPage(browser, httpUrl);
  await page.click('#yes');
  if (!await waitFor(page, () => window.thousandPage.fullscreen && window.thousandPage.frames > 10,
                     'Yes plays fullscreen')) {
    return page.close();
  }
  const expected = await page.evaluate(() => Math.floor(Math.min(screen.width * devicePixelRatio / 640,
                                                                 screen.height * devicePixelRatio / 480)));
  const canvas = () => page.evaluate(() => {
    const c = document.getElementById('thousand-canvas');
    return { width: c.width, height: c.height, scale: window.thousandPage.scale,
             fullscreen: Boolean(document.fullscreenElement), state: window.thousandPage.state };
  });
  let now = await canvas();
  check('Yes draws at the largest whole multiple of 640 x 480 that fits the screen',
    now.fullscreen && now.scale === expected && now.width === 640 * expected && now.height === 480 * expected,
    `${JSON.stringify(now)}, expected scale ${expected}`);
  await hold(page, 'F1');
  await waitFor(page, () => !document.fullscreenElement, 'F1 leaves fullscreen', 5000);
  now = await canvas();
  check('F1 goes back to the page at 640 x 480', !now.fullscreen && now.width === 640 && now.state === 'playing',
    JSON.stringify(now));
  await hold(page, 'F1', 600, 3);
  await waitFor(page, () => Boolean(document.fullscreenElement), 'F1 goes fullscreen again', 5000);
  now = await canvas();
  check('F1 held down switches once', now.fullscreen && now.width === 640 * expected, JSON.stringify(now));
  await hold(page, 'Escape');
  await sleep(500);
  // Headless Chromium hands Escape to the page without leaving fullscreen, which a
  // browser with a window does itself: here the page leaves it as the browser would.
  if (settings.headless) {
    await page.evaluate(() => document.fullscreenElement && document.exitFullscreen());
    await sleep(300);
  }
  now = await canvas();
  check('the first Escape leaves fullscreen and the show goes on', !now.fullscreen && now.state === 'playing',
    JSON.stringify(now));
  await hold(page, 'Escape');
  await waitFor(page, () => window.thousandPage.state === 'ended', 'the next Escape ends the show', 5000);
  const ended = await page.evaluate(() => ({
    again: !document.getElementById('after').hidden, focused: document.activeElement.id,
    canvas: Boolean(document.getElementById('thousand-canvas')),
  }));
  check('the picture stands and the page offers to play again', ended.again && ended.canvas, JSON.stringify(ended));
  await page.click('#again');
  await waitFor(page, () => window.thousandPage.state === 'playing' && window.thousandPage.frames > 10,
    'playing again starts the show again');
  await page.close();
}

// Yes where the browser refuses fullscreen: the show plays in the page.
async function refused(browser) {
  const page = await browser.newPage();
  await page.evaluateOnNewDocument(() => {
    Element.prototype.requestFullscreen = () => Promise.reject(new TypeError('refused'));
  });
  await page.goto(fileUrl);
  await page.waitForSelector('#question[open]');
  await page.click('#yes');
  if (await waitFor(page, () => window.thousandPage.frames > 10, 'Yes starts the show where fullscreen is refused')) {
    const shown = await page.evaluate(() => ({ fullscreen: Boolean(document.fullscreenElement),
                                               width: document.getElementById('thousand-canvas').width }));
    check('a refused fullscreen plays in the page', !shown.fullscreen && shown.width === 640, JSON.stringify(shown));
  }
  await page.close();
}

// The show's keys on the fixed clock, read back through the eye and the blending switch.
async function keys(browser) {
  const { page } = await openPage(browser, `${httpUrl}#fps=60&record`);
  await page.click('#no');
  if (!await waitFor(page, () => window.thousandPage.frames > 300, 'the main phase starts')) {
    return page.close();
  }
  // After the show's own listener: whether it kept the key from the browser.
  await page.evaluate(() => {
    window.prevented = {};
    window.addEventListener('keydown', (event) => {
      window.prevented[event.key] = event.defaultPrevented;
      // Keeps F5 from reloading the page under test.
      if (event.key === 'F5') {
        event.preventDefault();
      }
    });
  });
  const eye = async () => (await state(page)).eye;
  const moves = [
    ['PageUp', 2, -1], ['PageDown', 2, +1], ['ArrowUp', 2, -1], ['ArrowDown', 2, +1],
    ['ArrowLeft', 0, -1], ['ArrowRight', 0, +1],
  ];
  for (const [key, axis, sign] of moves) {
    const before = await eye();
    await hold(page, key);
    const after = await eye();
    const moved = after[axis] - before[axis];
    check(`${key} moves the eye along ${'xyz'[axis]}`, Math.sign(moved) === sign && Math.abs(moved) > 0.5,
      `${before} -> ${after}`);
  }
  const blend = (await state(page)).blend;
  await hold(page, 'b', 600, 3);
  check('B held down switches blending once', (await state(page)).blend === !blend);

  // A tap shorter than a frame still acts once.
  const frames = (await state(page)).frames;
  const before = await eye();
  await page.evaluate(() => {
    for (const type of ['keydown', 'keyup']) {
      const event = new KeyboardEvent(type, { key: 'ArrowDown', code: 'ArrowDown', cancelable: true });
      Object.defineProperty(event, 'keyCode', { get: () => 40 });
      window.dispatchEvent(event);
    }
  });
  await sleep(200);
  const tapped = await eye();
  check('a tap between two frames walks once', Math.abs(tapped[2] - before[2] - 0.5) < 1e-4 &&
    (await state(page)).frames > frames, `${before} -> ${tapped}`);

  // A key let go of elsewhere: the page loses the focus while Right is down.
  await page.keyboard.down('ArrowRight');
  await sleep(200);
  await page.evaluate(() => window.dispatchEvent(new Event('blur')));
  const atBlur = await eye();
  await sleep(300);
  const later = await eye();
  await page.keyboard.up('ArrowRight');
  check('losing the focus lets go of every key', atBlur[0] === later[0], `${atBlur} -> ${later}`);

  await hold(page, 'F1');
  await hold(page, 'F1');
  await page.keyboard.press('F5');
  const prevented = await page.evaluate(() => window.prevented);
  check('the show\'s keys do not scroll the page or open the help',
    ['PageUp', 'PageDown', 'ArrowUp', 'ArrowDown', 'ArrowLeft', 'ArrowRight', 'b', 'F1'].every((key) => prevented[key]),
    JSON.stringify(prevented));
  check('the browser\'s own keys keep working', prevented.F5 === false, JSON.stringify(prevented));

  await hold(page, 'Escape');
  await waitFor(page, () => window.thousandPage.state === 'ended', 'Escape ends the show in the page', 5000);
  await sleep(500);
  // The last tenth of a second recorded, a while after the end.
  const quiet = await page.evaluate(() => window.thousandPage.recorded.slice(-4).every(
    (chunk) => chunk.every((sample) => sample === 0)));
  check('the music stops with the show', quiet);
  await page.keyboard.press('Enter');
  await waitFor(page, () => window.thousandPage.state === 'playing', 'Enter on "Play again" plays again', 5000);
  await page.close();
}

const browser = await puppeteer.launch({ ...settings, protocolTimeout: 120000 });
let failed = false;
try {
  for (const scenario of [question, show, fullscreen, refused, keys]) {
    console.log(`-- ${scenario.name}`);
    try {
      await scenario(browser);
    } catch (error) {
      check(`${scenario.name} runs to its end`, false, error.stack);
    }
  }
} catch (error) {
  console.error(error);
  failed = true;
} finally {
  await browser.close();
}
fs.writeFileSync(path.join(outDir, 'checks.json'), JSON.stringify({ checks, ...kept }, null, 1));
process.exit(failed ? 1 : 0);
