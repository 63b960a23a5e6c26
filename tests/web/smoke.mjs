// Proves that a browser started by browsers.py has what the page needs:
//
//     node smoke.mjs SETTINGS.json URL
//
// opens URL and prints {"webgl2": ..., "audioState": ...}: whether a canvas gives a WebGL 2
// context, and the state of an AudioContext resumed from a click, as the page's own is.
import fs from 'node:fs';
import puppeteer from 'puppeteer-core';

const [settingsFile, url, extra] = process.argv.slice(2);
if (!url || extra !== undefined) {
  console.error('usage: node smoke.mjs SETTINGS.json URL');
  process.exit(2);
}
let settings;
try {
  settings = JSON.parse(fs.readFileSync(settingsFile, 'utf8'));
} catch (error) {
  console.error(`smoke.mjs: cannot read launch settings from ${settingsFile}: ${error.message}`);
  process.exit(2);
}

let browser;
try {
  browser = await puppeteer.launch(settings);
  const page = await browser.newPage();
  await page.goto(url);
  const webgl2 = await page.evaluate(() => document.createElement('canvas').getContext('webgl2') !== null);
  // Sound starts only on a user's gesture, so the context is made and resumed from a click.
  await page.evaluate(() => {
    const button = document.createElement('button');
    button.type = 'button';
    button.id = 'smoke-sound';
    button.textContent = 'sound';
    button.style.cssText = 'position: fixed; left: 0; top: 0; width: 120px; height: 60px; z-index: 2147483647';
    button.onclick = () => {
      const context = new AudioContext();
      const waited = new Promise((resolve) => setTimeout(resolve, 5000));
      window.smokeSound = Promise.race([context.resume(), waited]).then(() => context.state);
    };
    // An open modal dialog leaves the rest of the page inert, so the button goes inside it.
    (document.querySelector('dialog:modal') ?? document.body).append(button);
  });
  await page.click('#smoke-sound');
  const audioState = await page.evaluate(() => window.smokeSound ?? 'never made: the click missed');
  console.log(JSON.stringify({ webgl2, audioState }));
} catch (error) {
  console.error(`smoke.mjs: ${error.message}`);
  process.exitCode = 1;
} finally {
  await browser?.close();
}
