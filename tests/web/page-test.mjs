// The web edition in headless Chromium: the page loads cleanly, its worklet
// renders a score bit for bit as the VST 2 build does, its canvas shows the
// native panel's pixels at both sizes, the mouse, a finger, the computer
// keyboard and MIDI reach the sounding instrument, the knobs are sliders for
// the keyboard and screen readers, the sound is kept and shared, a preset
// saved on the page plays the same in the render tool, and after one visit the
// page plays with no server.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';

const puppeteer = await import('puppeteer-core').then((m) => m.default, () => {
  console.error('puppeteer-core is missing: run "npm ci --prefix tests/web" (make test does)');
  process.exit(1);
});
const arg = (name) => process.argv[process.argv.indexOf(`--${name}`) + 1];
const site = arg('site');
const temp = fs.mkdtempSync(path.join(os.tmpdir(), 'hammerlyn2-web-'));
const failures = [];
const check = (ok, what) => { console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}`); if (!ok) failures.push(what); };

if (!fs.existsSync(path.join(site, 'hammerlyn2.wasm'))) {
  console.error(`${site} has no page: build it first with "make web"`);
  process.exit(1);
}
const types = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm',
  '.png': 'image/png', '.webmanifest': 'application/manifest+json' };
const server = http.createServer((req, res) => {
  const file = path.join(site, path.normalize(decodeURIComponent(new URL(req.url, 'http://x').pathname)).replace(/^(\/|\.\.)+/, '') || 'index.html');
  fs.readFile(fs.statSync(file, { throwIfNoEntry: false })?.isDirectory() ? path.join(file, 'index.html') : file, (err, data) => {
    res.writeHead(err ? 404 : 200, { 'Content-Type': types[path.extname(file)] ?? 'application/octet-stream' });
    res.end(data);
  });
});
await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
const url = `http://127.0.0.1:${server.address().port}/`;

const browser = await puppeteer.launch({
  executablePath: arg('chromium'),
  headless: true,
  args: ['--no-sandbox', `--user-data-dir=${temp}/profile`, '--disable-background-networking', '--no-first-run',
    '--autoplay-policy=no-user-gesture-required', '--disable-gpu'],
});
const errors = [];
async function open(deviceScaleFactor, withoutSimd = false, viewport = { width: 1200, height: 900 }, at = url) {
  const page = await browser.newPage();
  // A browser without WebAssembly SIMD, as far as the page can tell.
  if (withoutSimd) await page.evaluateOnNewDocument(() => { WebAssembly.validate = () => false; });
  page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
  page.on('pageerror', (e) => errors.push(e.message));
  await page.setViewport({ ...viewport, deviceScaleFactor });
  // A MIDI input of the test's own, where the browser would list the system's.
  await page.evaluateOnNewDocument(() => {
    const input = { type: 'input', state: 'connected', onmidimessage: null };
    window.testMidiInput = input;
    navigator.requestMIDIAccess = async () => ({ inputs: new Map([['test', input]]), onstatechange: null });
  });
  await page.goto(at);
  await page.waitForFunction(() => window.hammerlyn2?.ready, { timeout: 30000 });
  return page;
}
const settle = (ms = 400) => new Promise((r) => setTimeout(r, ms));
const sounding = async (p) => (await p.evaluate(() => hammerlyn2.report())) ?? {};
const base64 = (page, expression) => page.evaluate(async (e) => {
  const bytes = new Uint8Array(await eval(e));
  let s = '';
  for (let i = 0; i < bytes.length; i += 0x8000) s += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
  return btoa(s);
}, expression).then((b) => Buffer.from(b, 'base64'));

try {
  const page = await open(1);

  // The score through the worklet, offline, against the VST 2 build's render.
  execFileSync(arg('reference'), [temp]);
  const score = fs.readFileSync(path.join(temp, 'score.json'), 'utf8');
  const reference = fs.readFileSync(path.join(temp, 'reference.f32'));
  const scoreCheck = async (p, how) => {
    const rendered = await base64(p, `(async () => {
      const s = ${score};
      const [l, r] = await hammerlyn2.renderOffline(s.events, s.frames, s.rate);
      const both = new Float32Array(l.length * 2); both.set(l); both.set(r, l.length); return both.buffer; })()`);
    let first = 0;
    while (first < reference.length && rendered[first] === reference[first]) ++first;
    check(rendered.length === reference.length && first === reference.length,
      `the worklet (${await p.evaluate(() => hammerlyn2.moduleFile)}${how}) renders the score as the VST 2 build does (${reference.length / 8} frames; first difference at sample ${Math.floor(first / 4)})`);
  };
  for (const p of [page, await open(1, true)]) await scoreCheck(p, '');

  // The canvas against the native panel, at 1x and (devicePixelRatio 1.5) 2x.
  const values = await page.evaluate(() => hammerlyn2.copyParameters().map(String));
  for (const [scale, p] of [[1, page], [2, await open(1.5)]]) {
    const png = path.join(temp, `panel${scale}.png`);
    execFileSync(arg('panel-png'), [...(scale === 2 ? ['--scale', '2'] : []), png, ...values]);
    const differing = await p.evaluate(async (data) => {
      const image = new Image();
      image.src = `data:image/png;base64,${data}`;
      await image.decode();
      const native = new OffscreenCanvas(image.width, image.height).getContext('2d');
      native.drawImage(image, 0, 0);
      const canvas = document.getElementById('panel');
      if (canvas.width !== image.width || canvas.height !== image.height) return `size ${canvas.width}x${canvas.height}`;
      const a = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
      const b = native.getImageData(0, 0, image.width, image.height).data;
      let n = 0, where = '';
      for (let i = 0; i < a.length; ++i) if (a[i] !== b[i] && !n++) where = ` from (${(i >> 2) % canvas.width}, ${Math.floor((i >> 2) / canvas.width)})`;
      return n ? `${n}${where}` : 0;
    }, fs.readFileSync(png).toString('base64'));
    check(differing === 0, `the canvas at ${scale}x shows the native panel (${differing} bytes differ)`);
  }

  // A knob dragged with the mouse and a key of the computer keyboard reach the
  // sounding instrument.
  await page.bringToFront();
  const box = await (await page.$('#panel')).boundingBox();
  await page.mouse.move(box.x + 268, box.y + 212);
  await page.mouse.down();
  await page.mouse.move(box.x + 268, box.y + 172, { steps: 4 });
  await page.mouse.up();
  await page.mouse.move(box.x + 268, box.y + 212);
  await page.waitForFunction(() => hammerlyn2.panelReadout().startsWith('Volume'));
  const knob = await page.evaluate(async () => ({ sounding: (await hammerlyn2.report()).parameters[15],
    copy: hammerlyn2.copyParameters()[15], readout: hammerlyn2.panelReadout() }));
  check(knob.sounding === knob.copy && Math.abs(knob.copy - Number(values[15]) - 0.2) < 1e-4,
    `a dragged Volume knob reaches the instrument (${values[15]} -> ${knob.sounding}, readout "${knob.readout}")`);
  await page.keyboard.down('KeyZ');
  await new Promise((r) => setTimeout(r, 400));
  const peak = (await page.evaluate(() => hammerlyn2.report())).peak;
  await page.keyboard.up('KeyZ');
  check(peak > 0.01, `a key pressed on the computer keyboard sounds (peak ${peak.toFixed(3)})`);
  await page.click('#midi');
  const midiPeak = await page.evaluate(async () => {
    await new Promise((r) => setTimeout(r, 2000));
    await hammerlyn2.report();
    testMidiInput.onmidimessage({ data: new Uint8Array([0x90, 67, 127]) });
    await new Promise((r) => setTimeout(r, 400));
    testMidiInput.onmidimessage({ data: new Uint8Array([0x80, 67, 0]) });
    return (await hammerlyn2.report()).peak;
  });
  check(midiPeak > 0.01, `a note from a MIDI input sounds (peak ${midiPeak.toFixed(3)})`);
  await page.evaluate(() => testMidiInput.onmidimessage({ data: new Uint8Array([0xc0, 5]) }));
  await settle();
  const shown = await page.evaluate(() => document.getElementById('program').selectedOptions[0].text);
  check((await sounding(page)).program === 5 && shown.startsWith('6 '), `a MIDI program change selects program 5 and the selector follows ("${shown}")`);

  // Keyboard only: Tab reaches the knobs, 16 named sliders, the arrows turn one.
  const sliders = [];
  const walk = (n) => { if (n.role === 'slider') sliders.push(n.name); n.children?.forEach(walk); };
  walk(await page.accessibility.snapshot());
  check(sliders.length === 16 && sliders.includes('Volume'), `16 sliders with their names (${sliders.join(', ')})`);
  await page.evaluate(() => document.activeElement.blur());
  let focused = null;
  for (let i = 0; i < 30 && !focused; ++i) {
    await page.keyboard.press('Tab');
    focused = await page.evaluate(() => document.activeElement.getAttribute('role') === 'slider' && document.activeElement.dataset.index);
  }
  const before = (await sounding(page)).parameters?.[focused];
  for (const k of ['Home', 'ArrowUp', 'ArrowUp', 'ArrowRight']) await page.keyboard.press(k);
  await settle();
  const turned = await page.evaluate(() => { const e = document.activeElement;
    return { text: e.getAttribute('aria-valuetext'), ring: getComputedStyle(e).outlineStyle, name: e.getAttribute('aria-label') }; });
  const after = (await sounding(page)).parameters?.[focused];
  check(focused && Math.abs(after - 0.03) < 1e-4 && before !== after && turned.text.startsWith(turned.name) && turned.ring !== 'none',
    `Tab reaches a knob (${turned.name}, ring ${turned.ring}), the arrows turn it (${before} -> ${after}, "${turned.text}")`);
  await page.evaluate(() => hammerlyn2.context.suspend());
  await page.keyboard.press('KeyZ');
  const resumed = await page.waitForFunction(() => hammerlyn2.context.state === 'running' && /^Playing/.test(document.getElementById('status').textContent), { timeout: 5000 }).then(() => true, () => false);
  check(resumed, 'a suspended sound resumes on a key press, and the status line says so');

  // The sound kept for the next visit and shared by a link; a damaged link changes nothing.
  const kept = await page.evaluate(() => hammerlyn2.copyParameters());
  const link = await page.evaluate(() => hammerlyn2.shareLink());
  await page.evaluate(() => document.getElementById('factory').click());
  const factory = await page.evaluate(() => hammerlyn2.copyParameters());
  const linked = await open(1, false, undefined, link);
  const opened = await linked.evaluate(() => [hammerlyn2.copyParameters(), document.getElementById('program').selectedIndex]);
  const damaged = await (await open(1, false, undefined, `${url}#sound=1:5:AAAA`)).evaluate(() => [hammerlyn2.copyParameters(), document.getElementById('status').textContent]);
  check(kept.join() !== factory.join() && opened[0].join() === kept.join() && opened[1] === 5 && damaged[0].join() === kept.join()
    && damaged[1].includes('damaged'), `a shared link opens the sound exactly, and is kept for the next visit; a damaged one is refused ("${damaged[1]}")`);

  // The page's preset in the render tool: the same values back, the same sound
  // as the page plays the demo's notes with it.
  const fxp = path.join(temp, 'page.fxp');
  fs.writeFileSync(fxp, await base64(page, 'hammerlyn2.presetFile().buffer'));
  const tool = (...a) => execFileSync(arg('render'), ['--plugin', arg('plugin'), '-q', ...a]);
  tool('--preset', fxp, '--save-preset', path.join(temp, 'back.fxp'));
  check(fs.readFileSync(path.join(temp, 'back.fxp')).equals(fs.readFileSync(fxp)),
    'the render tool reads the page\'s preset and saves the same file back');
  const wav = path.join(temp, 'tool.wav');
  tool('--preset', fxp, '--bits', 'float', '--block', '128', '--tail', '0', '-o', wav);
  const data = fs.readFileSync(wav);
  let at = 12;
  while (data.toString('latin1', at, at + 4) !== 'data') at += 8 + data.readUInt32LE(at + 4);
  const toolFrames = data.readUInt32LE(at + 4) / 8;
  // The tool holds the preset in program 0 and plays the demo's notes there.
  const played = await base64(page, `(async () => {
    const chunk = hammerlyn2.presetFile().slice(60);
    const notes = hammerlyn2.demoEvents(44100, 0).events.filter((e) => e.type === 'midi');
    const [l, r] = await hammerlyn2.renderOffline([{ type: 'preset', frame: 0, bytes: chunk }, ...notes],
                                                  ${toolFrames}, 44100);
    const both = new Float32Array(l.length * 2);
    for (let i = 0; i < l.length; ++i) { both[2 * i] = l[i]; both[2 * i + 1] = r[i]; }
    return both.buffer; })()`);
  check(played.equals(data.subarray(at + 8, at + 8 + toolFrames * 8)),
    `the page plays the demo's notes with its preset as the render tool does (${toolFrames} frames)`);
  // Files that are not one program of this plug-in are refused with a reason.
  const refused = await page.evaluate(async (fxp) => {
    const good = Uint8Array.from(atob(fxp), (c) => c.charCodeAt(0));
    const changed = (at, value) => { const b = good.slice(); new DataView(b.buffer).setInt32(at, value); return b; };
    const bank = new Uint8Array(60 + 704);
    bank.set(good.subarray(0, 60));
    [[4, 60 + 704 - 8], [56, 704]].forEach(([at, v]) => new DataView(bank.buffer).setInt32(at, v));
    const said = [];
    for (const bytes of [bank, changed(24, -5), changed(24, 0x7fffffff), new Uint8Array(64 << 20)]) {
      await hammerlyn2.loadFile(new File([bytes], 'x.fxp'));
      said.push(document.getElementById('status').textContent);
    }
    return said;
  }, fs.readFileSync(fxp).toString('base64'));
  check(refused.slice(0, 3).every((t) => t.endsWith('not a Hammerlyn2 sound file.')) && refused[3].endsWith('file too large.'),
    `a bank packed as a preset, wrong parameter counts and a 64 MB file are refused (${refused.join(' | ')})`);

  // A 390 px touch phone: the page fits, a finger turns a knob, a long press
  // opens the menu (Escape closes it), the selector shows the program, and
  // nothing moves when the sound starts.
  const phone = await open(3, false, { width: 390, height: 844, isMobile: true, hasTouch: true });
  const layout = () => phone.evaluate(() => [document.documentElement.scrollWidth, document.getElementById('panel').getBoundingClientRect()].map((v) => v.toJSON?.() ?? v));
  const [width, panelBox] = await layout();
  const volume = await (await phone.$('[data-index="15"]')).boundingBox();
  await phone.touchscreen.touchStart(volume.x + volume.width / 2 + 6, volume.y + volume.height / 2 + 6);
  for (let i = 1; i <= 8; ++i) await phone.touchscreen.touchMove(volume.x + volume.width / 2 + 6, volume.y + volume.height / 2 + 6 - 5 * i);
  await phone.touchscreen.touchEnd();
  await settle();
  const touched = [(await sounding(phone)).parameters?.[15], await phone.evaluate(() => hammerlyn2.copyParameters()[15])];
  await phone.touchscreen.touchStart(panelBox.x + panelBox.width - 4, panelBox.y + 4);
  await settle(800);
  await phone.touchscreen.touchEnd();
  const menu = await phone.evaluate(() => hammerlyn2.menuShowing());
  await phone.keyboard.press('Escape');
  const [program, moved, closed] = await phone.evaluate(() => [document.getElementById('program').selectedOptions[0].text,
    document.getElementById('panel').getBoundingClientRect().top, hammerlyn2.menuShowing()]);
  check(width <= 390 && panelBox.x >= 0 && panelBox.x + panelBox.width <= 390 && moved === panelBox.y,
    `on a 390 px phone the page is ${width} px wide, the panel ${panelBox.width.toFixed(0)} px from ${panelBox.x} px, and stays at ${moved} px`);
  check(touched[0] === touched[1] && touched[0] > kept[15] + 0.05 && menu && !closed && program.startsWith('6 '),
    `a finger turns Volume (${kept[15]} -> ${touched[0]}), a long press opens the menu, Escape closes it, the selector shows "${program}"`);

  // Offline: with the server gone, the page loads from its service worker and plays the score bit for bit.
  await page.bringToFront();
  await page.evaluate(() => navigator.serviceWorker.ready);
  server.close();
  server.closeAllConnections();
  await page.reload();
  await page.waitForFunction(() => window.hammerlyn2?.ready, { timeout: 30000 });
  await scoreCheck(page, ', offline');
  await settle(200);
  check(await page.evaluate(() => document.getElementById('panel').getContext('2d').getImageData(20, 20, 1, 1).data[3] === 255), 'offline, the page draws its panel');
} finally {
  await browser.close();
  server.close();
}
check(errors.length === 0, `no console errors${errors.length ? `: ${errors.join(' | ')}` : ''}`);
if (failures.length) console.log(`files kept in ${temp}`);
else fs.rmSync(temp, { recursive: true, force: true });
process.exit(failures.length ? 1 : 0);
