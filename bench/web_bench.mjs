// The web page's benchmarks, in headless Chromium on this machine's CPU (SwiftShader):
// the time from the answer's click to the first frame drawn, and the time a main-phase
// frame takes to draw, its GL work finished, against snapshot's on the host (OSMesa's
// llvmpipe), for the same frames.
//
//     node bench/web_bench.mjs PAGE.html SNAPSHOT
import { execFileSync } from 'node:child_process';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';

const [pageFile, snapshot] = process.argv.slice(2);
if (!snapshot) {
  console.error('usage: node bench/web_bench.mjs PAGE.html SNAPSHOT');
  process.exit(2);
}
// puppeteer-core as the web tests install it.
const require = createRequire(new URL('../tests/web/package.json', import.meta.url));
const { default: puppeteer } = await import(pathToFileURL(require.resolve('puppeteer-core')));
const url = pathToFileURL(path.resolve(pageFile)).href;

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

const browser = await puppeteer.launch({
  executablePath: '/usr/bin/chromium',
  headless: true,
  // Frames as fast as the GPU process draws them, not at the display's rate.
  args: ['--no-sandbox', '--enable-unsafe-swiftshader', '--disable-background-networking',
         '--disable-component-update', '--disable-sync', '--no-first-run', '--disable-gpu-vsync',
         '--disable-frame-rate-limit'],
});
try {
  const starts = [];
  for (let run = 0; run < 5; ++run) {
    const page = await browser.newPage();
    await page.goto(url);
    await page.waitForSelector('#question[open]');
    // The page unpacks its resources once it has loaded; a person takes longer to answer.
    await new Promise((resolve) => setTimeout(resolve, 500));
    await page.click('#no');
    await page.waitForFunction(() => window.thousandPage.timing.firstFrame !== undefined, { polling: 10 });
    starts.push(await page.evaluate(() => window.thousandPage.timing.firstFrame - window.thousandPage.timing.click));
    await page.close();
  }
  console.log(`click to first frame: ${median(starts).toFixed(0)} ms (median of 5; ` +
              `${starts.map((ms) => ms.toFixed(0)).join(', ')})`);

  // 300 main-phase frames on the fixed clock: frames 267 to 566.
  const page = await browser.newPage();
  await page.goto(`${url}#fps=60`);
  await page.waitForSelector('#question[open]');
  await page.click('#no');
  await page.waitForFunction(() => window.thousandPage.frames >= 266, { polling: 5, timeout: 120000 });
  const first = await page.evaluate(() => [window.thousandPage.frames, performance.now()]);
  await page.waitForFunction(() => window.thousandPage.frames >= 566, { polling: 5, timeout: 120000 });
  const last = await page.evaluate(() => [window.thousandPage.frames, performance.now()]);
  const wall = (last[1] - first[1]) / (last[0] - first[0]);
  const times = await page.evaluate(() => window.thousandPage.frameTimes.slice(-300));
  const main = times.reduce((sum, ms) => sum + ms, 0) / times.length;
  console.log(`page, main-phase frame: ${wall.toFixed(2)} ms from one to the next, of which the show's ` +
              `code and its GL calls on the main thread ${main.toFixed(2)} ms`);
} finally {
  await browser.close();
}

// snapshot draws the same frames: the whole run to frame 566, less the run to frame 266.
function snapshotSeconds(frames) {
  const began = process.hrtime.bigint();
  execFileSync(snapshot, [String(frames / 60), path.join(os.tmpdir(), 'web_bench.png')]);
  return Number(process.hrtime.bigint() - began) / 1e9;
}
const host = (snapshotSeconds(566) - snapshotSeconds(266)) / 300 * 1000;
console.log(`snapshot on the host, main-phase frame: ${host.toFixed(2)} ms`);
