// The phone page in a phone-sized headless Chromium against the real server (remote_test_host
// with the built-in devices): the access key from the QR link, adding sources through the
// dialog, cards that follow the channels, switching, the preview picture, a page of another
// origin that tries to drive the recorder, a whole take, the offline notice, a new key; then
// the page's own logic on crafted status answers.
//
// Environment: REMOTE_TEST_HOST (the host program), CHROMIUM (the browser binary).
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { mkdtempSync, readdirSync, readFileSync, rmSync, statSync } from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import readline from 'node:readline';
import { chromium } from 'playwright-core';

const HOST_BINARY = process.env.REMOTE_TEST_HOST;
const CHROMIUM = process.env.CHROMIUM || '/usr/bin/chromium';

// ---- the host program ----

class Host {
  constructor(binary, args) {
    this.lines = [];
    this.waiters = [];
    this.process = spawn(binary, args, { stdio: ['pipe', 'pipe', 'pipe'] });
    this.log = [];
    readline.createInterface({ input: this.process.stdout }).on('line', (line) => {
      this.lines.push(line);
      this.waiters = this.waiters.filter((w) => !w(line));
    });
    readline.createInterface({ input: this.process.stderr }).on('line', (line) => {
      this.log.push(line);
      if (this.log.length > 400)
        this.log.shift();
    });
  }

  // The next line that starts with `prefix` (also one already printed and not yet taken).
  waitFor(prefix, timeoutMs = 20000) {
    const index = this.lines.findIndex((l) => l.startsWith(prefix));
    if (index >= 0)
      return Promise.resolve(this.lines.splice(index, 1)[0]);
    return new Promise((resolve, reject) => {
      const timer = setTimeout(() => reject(new Error('host did not print ' + prefix + '\n' + this.log.slice(-30).join('\n'))), timeoutMs);
      this.waiters.push((line) => {
        if (!line.startsWith(prefix))
          return false;
        clearTimeout(timer);
        this.lines.splice(this.lines.indexOf(line), 1);
        resolve(line);
        return true;
      });
    });
  }

  async command(text, answerPrefix) {
    this.process.stdin.write(text + '\n');
    return this.waitFor(answerPrefix);
  }

  async quit() {
    if (this.process.exitCode !== null)
      return;
    const exited = new Promise((resolve) => this.process.once('exit', resolve));
    this.process.stdin.end('quit\n');
    const timer = setTimeout(() => this.process.kill('SIGKILL'), 15000);
    await exited;
    clearTimeout(timer);
  }
}

function getJson(port, target) {
  return new Promise((resolve, reject) => {
    http.get({ host: '127.0.0.1', port, path: target, headers: { 'X-Vireon-Key': key } }, (response) => {
      let body = '';
      response.setEncoding('utf8');
      response.on('data', (chunk) => { body += chunk; });
      response.on('end', () => {
        try { resolve(JSON.parse(body)); } catch (e) { reject(e); }
      });
    }).on('error', reject);
  });
}

function filesUnder(folder) {
  const found = [];
  for (const entry of readdirSync(folder, { withFileTypes: true })) {
    const full = path.join(folder, entry.name);
    if (entry.isDirectory())
      found.push(...filesUnder(full));
    else
      found.push(full);
  }
  return found;
}

// Reads the channel digit the built-in test pattern burns in at the top left, from the preview
// picture as the page shows it: -1 before a picture, 0 when no digit 1-4 is recognised (for
// example on the white flash frame).
function readPreviewDigit() {
  const img = document.getElementById('previewImg');
  if (!img.complete || !img.naturalWidth)
    return -1;
  const canvas = document.createElement('canvas');
  canvas.width = img.naturalWidth;
  canvas.height = img.naturalHeight;
  const g = canvas.getContext('2d', { willReadFrequently: true });
  g.drawImage(img, 0, 0);
  // The pattern's 5 x 7 font: at 1080 lines the text box sits 40 px from the corner with
  // 20 px cells and one empty cell around the glyph.
  const scale = canvas.height / 1080;
  const glyphs = {
    1: [0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E],
    2: [0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F],
    3: [0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E],
    4: [0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02],
  };
  const rows = [];
  for (let r = 0; r < 7; ++r) {
    let bits = 0;
    for (let c = 0; c < 5; ++c) {
      const x = Math.floor((40 + 20 * (1 + c) + 10) * scale);
      const y = Math.floor((40 + 20 * (1 + r) + 10) * scale);
      const [red, green, blue] = g.getImageData(x, y, 1, 1).data;
      bits = (bits << 1) | ((red + green + blue) / 3 > 128 ? 1 : 0);
    }
    rows.push(bits);
  }
  for (const [digit, glyph] of Object.entries(glyphs)) {
    if (glyph.every((bits, i) => bits === rows[i]))
      return Number(digit);
  }
  return 0;
}

// ---- set-up ----

let host;
let port;
let key;
let context;
let page;
let workDir;
const pageRequests = [];
const consoleErrors = [];

before(async () => {
  assert.ok(HOST_BINARY, 'REMOTE_TEST_HOST is not set');
  workDir = mkdtempSync(path.join(os.tmpdir(), 'vireon-remote-page-'));
  host = new Host(HOST_BINARY, ['--port', '0', '--output', path.join(workDir, 'takes')]);
  [port, key] = (await host.waitFor('READY ')).split(' ').slice(1);
  port = Number(port);

  context = await chromium.launchPersistentContext(path.join(workDir, 'profile'), {
    executablePath: CHROMIUM,
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    viewport: { width: 390, height: 844 },
    deviceScaleFactor: 2,
    isMobile: true,
    hasTouch: true,
  });
  // The digit reader lives in the page, where the preview picture is.
  await context.addInitScript(`window.readPreviewDigit = ${readPreviewDigit.toString()};`);
  page = context.pages()[0] || await context.newPage();
  page.on('request', (request) => pageRequests.push(request.url()));
  page.on('console', (message) => {
    if (message.type() === 'error')
      consoleErrors.push(message.text());
  });
  await page.goto(`http://127.0.0.1:${port}/?key=${key}`);
});

// A page of its own, served from another origin (another port of this machine): what a web
// site the operator happens to open could do to the recorder through the operator's browser.
function serveOtherOrigin(html) {
  return new Promise((resolve) => {
    const server = http.createServer((request, response) => {
      response.writeHead(200, { 'Content-Type': 'text/html; charset=utf-8' });
      response.end(html);
    });
    server.listen(0, '127.0.0.1', () => resolve(server));
  });
}

after(async () => {
  if (context)
    await context.close();
  if (host)
    await host.quit();
  if (workDir)
    rmSync(workDir, { recursive: true, force: true });
});

// ---- the page against the real server ----

test('the page, its style and its script come from the recorder, with the documented head and texts', async () => {
  assert.equal(await page.title(), 'Vireon Studio - Remote');
  assert.equal(await page.getAttribute('html', 'lang'), 'sr');
  assert.equal(await page.getAttribute('meta[name="viewport"]', 'content'),
    'width=device-width, initial-scale=1.0, maximum-scale=1.0, user-scalable=no');
  assert.equal(await page.getAttribute('meta[name="theme-color"]', 'content'), '#090d16');
  assert.equal(await page.getAttribute('meta[name="apple-mobile-web-app-status-bar-style"]', 'content'), 'black-translucent');
  const colours = await page.evaluate(() => {
    const style = getComputedStyle(document.documentElement);
    const names = ['--bg-dark', '--surface-dark', '--panel-dark', '--border', '--accent', '--accent-glow', '--rec-red',
      '--rec-glow', '--text-main', '--text-muted', '--tally-active', '--tally-preview'];
    return Object.fromEntries(names.map((n) => [n, style.getPropertyValue(n).trim()]));
  });
  assert.deepEqual(colours, {
    '--bg-dark': '#07090e', '--surface-dark': '#0f141c', '--panel-dark': '#151c27', '--border': '#222d3d',
    '--accent': '#00ff66', '--accent-glow': 'rgba(0, 255, 102, 0.25)', '--rec-red': '#ff1e27',
    '--rec-glow': 'rgba(255, 30, 39, 0.4)', '--text-main': '#f3f4f6', '--text-muted': '#94a3b8',
    '--tally-active': '#ff1e27', '--tally-preview': '#00ff66',
  });
  assert.equal((await page.textContent('.brand-title')).trim(), 'VIREON');
  assert.equal(await page.textContent('#statusBadge'), 'STANDBY');
  assert.equal(await page.textContent('#recText'), 'START REC');
  assert.match(await page.textContent('.section-header'), /Video Sources \(Tap to Switch\)/);
  assert.equal(await page.textContent('.next-main'), 'NEXT CAM');
  assert.equal(await page.textContent('.next-sub'), 'CYCLE');
  // Everything the page loaded came from its own origin: no external files.
  await page.waitForTimeout(600);
  for (const url of pageRequests)
    assert.ok(url.startsWith(`http://127.0.0.1:${port}/`), url);
});

test('the key from the QR link is kept and leaves the address bar', async () => {
  assert.equal(page.url(), `http://127.0.0.1:${port}/`);
  assert.equal(await page.evaluate(() => localStorage.getItem('vireonAccessKey')), key);
  // Opened again without the key (from the home screen, after a reload): still connected.
  await page.goto(`http://127.0.0.1:${port}/`);
  await page.waitForFunction(() => statusData !== null);
  assert.equal(await page.isVisible('#connectOverlay'), false);
  const streams = pageRequests.filter((u) => u.includes('/stream.mjpg'));
  assert.ok(streams.length > 0 && streams.every((u) => u.includes(`key=${key}`)), streams.join(', '));
});

test('without the key the page asks for a scan and the recorder stays closed', async () => {
  // Another origin of the same server (localhost), so none of the kept key.
  const stranger = await context.newPage();
  const requests = [];
  stranger.on('response', (response) => requests.push([new URL(response.url()).pathname, response.status()]));
  await stranger.goto(`http://localhost:${port}/`);
  await stranger.waitForSelector('#connectOverlay', { state: 'visible' });
  assert.equal(await stranger.textContent('#connectOverlay h2'), 'Scan the QR code in Vireon to connect');
  assert.equal(await stranger.isVisible('#offlineOverlay'), false);
  await stranger.waitForTimeout(1200);
  const guarded = requests.filter(([p]) => p.startsWith('/api/') || p.startsWith('/stream'));
  assert.ok(guarded.some(([p]) => p === '/api/status'), JSON.stringify(requests));
  assert.ok(guarded.every(([, status]) => status === 401), JSON.stringify(guarded));
  // With the key it connects without a reload: the link from the dialog.
  await stranger.goto(`http://localhost:${port}/?key=${key}`);
  await stranger.waitForSelector('#connectOverlay', { state: 'hidden' });
  await stranger.close();
});

test('with no channel the grid holds only the wide first-source card', async () => {
  await page.waitForSelector('.add-card.wide');
  assert.equal(await page.locator('.source-card').count(), 1);
  assert.equal(await page.textContent('.add-card.wide'), '+DODAJ PRVI VIDEO SOURCE');
});

async function addSourceThroughDialog(patternName, expectedChannel, channelName) {
  await page.locator('.add-card').tap();
  await page.waitForSelector('#sourceDialog:not(.hidden)');
  await page.waitForFunction((name) => Array.from(document.querySelectorAll('#deviceSelect option')).some((o) => o.textContent === name), patternName);
  assert.equal(await page.textContent('#dialogTitle'), `DODAJ VIDEO SOURCE (KANAL ${expectedChannel})`);
  assert.equal(await page.inputValue('#channelSelect'), String(expectedChannel));
  assert.equal(await page.inputValue('#channelName'), `CAM ${expectedChannel}`);
  assert.equal(await page.isVisible('#disableBtn'), false);
  await page.selectOption('#deviceSelect', { label: patternName });
  const resolutions = await page.locator('#resolutionSelect option').allTextContents();
  assert.ok(resolutions.includes('1920x1080 (1080p FHD)'), resolutions.join(', '));
  await page.selectOption('#resolutionSelect', '1920x1080');
  const rates = await page.locator('#framerateSelect option').allTextContents();
  assert.ok(rates.some((r) => /^30\.00 fps \(.+\)$/.test(r)), rates.join(', '));
  await page.selectOption('#framerateSelect', '30.00');
  if (channelName !== undefined)
    await page.fill('#channelName', channelName);
  await page.locator('#applyBtn').tap();
  await page.waitForSelector('#sourceDialog.hidden', { state: 'attached' });
  await page.waitForSelector(`#card-${expectedChannel}`);
}

test('sources added through the dialog appear as cards', async () => {
  await addSourceThroughDialog('Test Pattern 1', 1, '  Studio A  ');
  assert.equal(await page.textContent('#card-1 .card-num'), 'CAM 1');
  assert.equal(await page.textContent('#card-1 .card-name'), 'Test Pattern 1');
  assert.equal(await page.textContent('.add-card'), '+DODAJ SOURCE');
  await addSourceThroughDialog('Test Pattern 2', 2);

  const status = await getJson(port, '/api/status');
  assert.equal(status.channels[0].active, true);
  assert.equal(status.channels[1].active, true);
  assert.equal(status.channels[1].width, 1920);
  assert.equal(status.channels[1].framerate, 30);
  assert.equal(status.activeVideoCount, 2);
});

test('cards follow the channels changed elsewhere', async () => {
  await host.command('camera 3 3', 'OK');
  await page.waitForSelector('#card-3');
  assert.equal(await page.textContent('#card-3 .card-name'), 'Test Pattern 3');
  await host.command('camera 4 4', 'OK');
  await page.waitForSelector('#card-4');
  assert.equal(await page.locator('.add-card').count(), 0, 'four channels leave no add card');
  await host.command('remove 4', 'OK');
  await host.command('remove 3', 'OK');
  await page.waitForSelector('#card-3', { state: 'detached' });
  await page.waitForSelector('#card-4', { state: 'detached' });
  assert.equal(await page.locator('.add-card').count(), 1);
});

test('the gear opens the channel settings without switching', async () => {
  const before = (await getJson(port, '/api/status')).activeSourceId;
  await page.locator('#card-2 .gear-btn').tap();
  await page.waitForSelector('#sourceDialog:not(.hidden)');
  await page.waitForFunction(() => document.getElementById('dialogTitle').textContent === 'PODEŠAVANJE ZA KANAL 2');
  assert.equal(await page.isVisible('#disableBtn'), true);
  assert.equal(await page.inputValue('#channelName'), 'Test Pattern 2');
  await page.locator('#cancelBtn').tap();
  await page.waitForSelector('#sourceDialog.hidden', { state: 'attached' });
  assert.equal((await getJson(port, '/api/status')).activeSourceId, before);
});

test('a tap switches the source and the preview shows it', async () => {
  await page.locator('#card-2').tap();
  await page.waitForFunction(() => document.getElementById('card-2').classList.contains('program'));
  assert.equal(await page.textContent('#pgmBadge'), 'PROGRAM (PGM 2)');
  assert.equal(await page.textContent('#activeLabel'), 'CAM 2 ACTIVE');
  assert.equal((await getJson(port, '/api/status')).activeSourceId, 2);
  await page.waitForFunction(() => window.readPreviewDigit() === 2, null, { timeout: 10000 });

  // NEXT CAM with channels 1 and 2 active and 2 on programme goes to 1.
  await page.locator('#nextBtn').tap();
  await page.waitForFunction(() => document.getElementById('card-1').classList.contains('program'));
  assert.equal((await getJson(port, '/api/status')).activeSourceId, 1);
  await page.waitForFunction(() => window.readPreviewDigit() === 1, null, { timeout: 10000 });
  assert.ok((await page.textContent('#fpsBadge')).endsWith(' TARGET)'));
});

test('a page from another origin changes nothing, even knowing the key', async () => {
  const before = await getJson(port, '/api/status');
  const target = before.activeSourceId === 1 ? 2 : 1;
  const base = `http://127.0.0.1:${port}`;
  const attacker = await serveOtherOrigin(`<!DOCTYPE html><html><body>
    <img id="switchImg" src="${base}/api/switch?id=${target}&key=${key}">
    <img id="recordImg" src="${base}/api/record?key=${key}">
    <img id="streamImg" src="${base}/stream.mjpg?key=${key}">
    <iframe name="sink"></iframe>
    <form id="form" method="POST" action="${base}/api/record?key=${key}" target="sink"></form>
    <script>
      window.outcomes = {};
      document.getElementById('form').submit();
      fetch('${base}/api/switch?id=${target}&key=${key}', { method: 'POST', mode: 'no-cors' })
        .then(() => { outcomes.noCors = 'sent'; }, () => { outcomes.noCors = 'failed'; });
      fetch('${base}/api/record', { method: 'POST', headers: { 'X-Vireon-Key': '${key}' } })
        .then((r) => { outcomes.cors = r.status; }, () => { outcomes.cors = 'failed'; });
      fetch('${base}/api/status?key=${key}')
        .then((r) => r.text()).then((t) => { outcomes.read = t; }, () => { outcomes.read = 'failed'; });
    </script></body></html>`);
  const other = await context.newPage();
  try {
    await other.goto(`http://127.0.0.1:${attacker.address().port}/`);
    await other.waitForFunction(() => outcomes.noCors && outcomes.cors && outcomes.read, null, { timeout: 10000 });
    await other.waitForTimeout(1000);
    const outcomes = await other.evaluate(() => window.outcomes);
    assert.equal(outcomes.cors, 'failed', 'a cross-origin request with the key header is refused');
    assert.equal(outcomes.read, 'failed', 'the status is not readable from another origin');
    assert.equal(await other.evaluate(() => document.getElementById('streamImg').naturalWidth), 0, 'no preview for another origin');
  } finally {
    await other.close();
    attacker.close();
  }
  const after = await getJson(port, '/api/status');
  assert.equal(after.activeSourceId, before.activeSourceId);
  assert.equal(after.isRecording, false);
  assert.equal(await page.textContent('#recText'), 'START REC');
  // The phone page itself still drives the recorder.
  await page.locator(`#card-${target}`).tap();
  await page.waitForFunction((id) => document.getElementById('card-' + id).classList.contains('program'), target);
  assert.equal((await getJson(port, '/api/status')).activeSourceId, target);
});

test('the record button runs a whole take', async () => {
  await page.locator('#recBtn').tap();
  await page.waitForFunction(() => document.getElementById('recText').textContent === 'STOP REC');
  assert.equal(await page.textContent('#statusBadge'), 'RECORDING');
  assert.ok(await page.evaluate(() => document.getElementById('previewBox').classList.contains('recording')));
  assert.ok(await page.evaluate(() => document.getElementById('recBtn').classList.contains('recording')));
  assert.equal((await getJson(port, '/api/status')).isRecording, true);
  await page.waitForFunction(() => /^\d\d:\d\d:\d\d/.test(document.getElementById('timecode').textContent)
    && document.getElementById('timecode').textContent !== '00:00:00');

  await page.waitForTimeout(2000);
  await page.locator('#card-2').tap();
  // A marker during the take: the phone shows it as the recorder words it.
  assert.equal(await page.isDisabled('#markerBtn'), false);
  await page.locator('#markerBtn').tap();
  await page.waitForFunction(() => /^Marker 1 at 00:00:0\d\.\d\d\d$/.test(document.getElementById('lastMarker').textContent));
  await page.waitForTimeout(1500);
  await page.locator('#recBtn').tap();
  await page.waitForFunction(() => document.getElementById('recText').textContent === 'START REC');
  assert.equal(await page.textContent('#statusBadge'), 'STANDBY');
  assert.equal((await getJson(port, '/api/status')).isRecording, false);
  assert.equal(await page.isDisabled('#markerBtn'), true);

  const folder = (await host.waitFor('TAKE ', 60000)).slice(5);
  const files = filesUnder(folder);
  const videos = files.filter((f) => f.endsWith('.mp4'));
  assert.deepEqual(videos.map((f) => path.basename(f)).sort(), ['Camera_01.mp4', 'Camera_02.mp4']);
  for (const video of videos)
    assert.ok(statSync(video).size > 20000, video);
  const master = files.find((f) => path.basename(f) === 'Master_Audio_Output.wav');
  assert.ok(master && statSync(master).size > 48000 * 4 * 3, 'master WAV of about 3.5 s');
  // The programme cut and the all-angles timeline.
  const timelines = files.filter((f) => f.endsWith('.xml')).sort();
  assert.equal(timelines.length, 2);
  assert.ok(timelines[1].endsWith('_AllAngles.xml'), timelines[1]);
  const xml = readFileSync(timelines[0], 'utf8');
  assert.match(xml, /<xmeml version="4">/);
  assert.match(xml, /<name>Marker 1<\/name>/);
  assert.equal(files.filter((f) => f.endsWith('.fcpxml') || f.endsWith('.otio')).length, 4);
  assert.match(xml, /Camera_01\.mp4/);
  assert.match(xml, /Camera_02\.mp4/);
  assert.match(xml, /Master_Audio_Output\.wav/);
  assert.match(xml.trimEnd(), /<\/xmeml>$/);
});

test('switching a channel off in the dialog removes its card', async () => {
  await page.locator('#card-2 .gear-btn').tap();
  await page.waitForFunction(() => document.getElementById('dialogTitle').textContent === 'PODEŠAVANJE ZA KANAL 2');
  await page.locator('#disableBtn').tap();
  await page.waitForSelector('#card-2', { state: 'detached' });
  assert.equal((await getJson(port, '/api/status')).channels[1].active, false);
});

test('the offline notice appears after four failed polls and goes on the next success', async () => {
  await page.locator('#card-1').tap();
  await page.waitForFunction(() => window.readPreviewDigit() === 1, null, { timeout: 10000 });
  await host.command('stop', 'STOPPED');
  // Changed while the page cannot see it; the reconnected preview must show it live.
  await host.command('camera 3 3', 'OK');
  await page.waitForFunction(() => failCount === 3, null, { timeout: 10000 });
  assert.equal(await page.isVisible('#offlineOverlay'), false, 'still hidden after three failures');
  await page.waitForFunction(() => failCount >= 4, null, { timeout: 10000 });
  assert.equal(await page.isVisible('#offlineOverlay'), true);
  assert.equal(await page.textContent('#offlineOverlay h2'), 'Povezivanje sa Vireon...');
  assert.equal(await page.textContent('#offlineOverlay p'), 'Proverite da li je telefon na istoj Wi-Fi mreži kao i računar.');

  await host.command('start', 'READY');
  await page.waitForSelector('#offlineOverlay', { state: 'hidden', timeout: 5000 });
  assert.equal(await page.evaluate(() => failCount), 0);
  // The preview opened a new stream and shows pictures again.
  await page.waitForFunction(() => document.getElementById('previewImg').src.includes('/stream.mjpg?t='), null, { timeout: 5000 });
  await page.waitForSelector('#card-3');
  await page.locator('#card-3').tap();
  await page.waitForFunction(() => window.readPreviewDigit() === 3, null, { timeout: 10000 });
});

test('a new key sends the phone back to the QR code', async () => {
  key = (await host.command('newkey', 'KEY ')).split(' ')[1];
  await page.waitForSelector('#connectOverlay', { state: 'visible', timeout: 5000 });
  assert.equal(await page.textContent('#connectOverlay h2'), 'Scan the QR code in Vireon to connect');
  assert.equal(await page.evaluate(() => localStorage.getItem('vireonAccessKey')), null, 'the old key is forgotten');
  assert.equal(await page.isVisible('#offlineOverlay'), false);
  // Scanning the new code: connected again, preview included.
  await page.goto(`http://127.0.0.1:${port}/?key=${key}`);
  await page.waitForFunction(() => statusData !== null);
  assert.equal(await page.isVisible('#connectOverlay'), false);
  await page.waitForFunction(() => window.readPreviewDigit() > 0, null, { timeout: 10000 });
});

// ---- the page's own logic on crafted answers ----

function status(overrides) {
  const channels = [1, 2, 3, 4].map((id) => ({
    active: false, audioInput: 'None', audioState: 'none', colorRange: 'Default', deviceLink: '', framerate: 30,
    height: 1080, id, name: '', sourceFormat: '', sourceState: 'off', trouble: '', width: 1920,
  }));
  const base = {
    activeSourceId: 1, activeVideoCount: 0, channels, countdownSeconds: 3, currentFps: 30, isArming: false,
    isRecording: false, masterVolume: 1, selectedGlobalFps: 30, sessionName: 'S', timecode: '00:00:00:00',
  };
  const result = { ...base, ...overrides };
  for (const id of overrides.activeIds || [])
    result.channels[id - 1].active = true;
  for (const [id, name] of Object.entries(overrides.names || {}))
    result.channels[Number(id) - 1].name = name;
  for (const [id, state] of Object.entries(overrides.states || {}))
    result.channels[Number(id) - 1].sourceState = state;
  for (const [id, trouble] of Object.entries(overrides.troubles || {}))
    result.channels[Number(id) - 1].trouble = trouble;
  for (const [id, [input, state]] of Object.entries(overrides.audio || {}))
    Object.assign(result.channels[Number(id) - 1], { audioInput: input, audioState: state });
  return result;
}

let statusHandler = null;

// The new answer is in place before the old one goes (the latest route wins), so no poll in
// between reaches the recorder itself.
async function serveStatus(body) {
  const previous = statusHandler;
  statusHandler = (route) => route.fulfill({
    status: 200,
    contentType: 'application/json; charset=utf-8',
    body: typeof body === 'string' ? body : JSON.stringify(body),
  });
  await page.route('**/api/status*', statusHandler);
  if (previous)
    await page.unroute('**/api/status*', previous).catch(() => {});
}

async function nextCamTarget() {
  const switched = new Promise((resolve) => {
    page.route('**/api/switch*', async (route) => {
      resolve(new URL(route.request().url()).searchParams.get('id'));
      await route.fulfill({ status: 200, contentType: 'application/json', body: '{}' });
    });
  });
  await page.locator('#nextBtn').tap();
  const id = await switched;
  await page.unroute('**/api/switch*');
  return Number(id);
}

test('page logic on crafted status answers', async (t) => {
  await t.test('arming with no countdown shows three seconds', async () => {
    await serveStatus(status({ isArming: true, countdownSeconds: 0 }));
    await page.waitForFunction(() => document.getElementById('recText').textContent === 'ARMING (3s)');
    assert.equal(await page.textContent('#statusBadge'), 'ARMING');
  });
  await t.test('FPS badge', async () => {
    // The rate the take records at, as the studio writes it: 29.97 is not rounded to 30.
    await serveStatus(status({ currentFps: 29.84, recordingFps: 29.97002997, recordingFpsText: '29.97' }));
    await page.waitForFunction(() => document.getElementById('fpsBadge').textContent === '29.8 FPS (29.97 TARGET)');
    await serveStatus(status({ currentFps: 12, recordingFpsText: '', fpsLevel: 'low' }));
    await page.waitForFunction(() => document.getElementById('fpsBadge').textContent === '12.0 FPS (30 TARGET)');
    // Coloured by the studio's verdict, not by a rule of the page's own.
    assert.equal(await page.getAttribute('#fpsBadge', 'class'), 'fps-badge low');
    await serveStatus(status({ currentFps: 29, fpsLevel: 'good' }));
    await page.waitForFunction(() => document.getElementById('fpsBadge').className === 'fps-badge good');
  });
  await t.test('a camera in trouble says so on its card, updated in place', async () => {
    await serveStatus(status({ activeIds: [2], troubles: { 2: '24.3 fps · 3 repeated' } }));
    await page.waitForFunction(() => document.querySelector('#card-2 .card-trouble')
                               && document.querySelector('#card-2 .card-trouble').textContent === '24.3 fps · 3 repeated');
    const card = await page.$('#card-2');
    await serveStatus(status({ activeIds: [2], troubles: { 2: '' } }));
    await page.waitForFunction(() => document.querySelector('#card-2 .card-trouble').textContent === '');
    assert.ok(await card.evaluate((node) => node.isConnected), 'the card was not rebuilt');
    assert.equal(await page.isVisible('#card-2 .card-trouble'), false);
  });
  await t.test('NEXT CAM from 3 with channels 1 and 3 goes to 1', async () => {
    await serveStatus(status({ activeSourceId: 3, activeIds: [1, 3] }));
    await page.waitForFunction(() => document.getElementById('card-3') && document.getElementById('card-3').classList.contains('program'));
    assert.equal(await nextCamTarget(), 1);
  });
  await t.test('NEXT CAM with no active channel cycles through 1-4', async () => {
    await serveStatus(status({ activeSourceId: 4, activeIds: [] }));
    await page.waitForSelector('.add-card.wide');
    await page.waitForFunction(() => currentActiveSource === 4);
    assert.equal(await nextCamTarget(), 1);
  });
  await t.test('four active channels leave no add card; names are text, not markup', async () => {
    await serveStatus(status({ activeIds: [1, 2, 3, 4], names: { 2: '<img src=x onerror="window.__pwned=1">' } }));
    await page.waitForSelector('#card-4');
    assert.equal(await page.locator('.add-card').count(), 0);
    assert.equal(await page.textContent('#card-2 .card-name'), '<img src=x onerror="window.__pwned=1">');
    assert.equal(await page.locator('#card-2 img').count(), 0);
    assert.equal(await page.evaluate(() => window.__pwned), undefined);
    assert.equal(await page.textContent('#card-1 .card-name'), 'Camera 1');
  });
  await t.test('a lost camera is marked on its card until it is back', async () => {
    await serveStatus(status({ activeIds: [1, 2], states: { 1: 'live', 2: 'lost' } }));
    await page.waitForSelector('#card-2 .state-badge');
    assert.equal(await page.textContent('#card-2 .state-badge'), 'LOST');
    assert.equal(await page.locator('#card-1 .state-badge').count(), 0);
    await serveStatus(status({ activeIds: [1, 2], states: { 1: 'live', 2: 'reconnecting' } }));
    await page.waitForFunction(() => document.querySelector('#card-2 .state-badge')?.textContent === 'RECONNECTING');
    await serveStatus(status({ activeIds: [1, 2], states: { 1: 'live', 2: 'live' } }));
    await page.waitForSelector('#card-2 .state-badge', { state: 'detached' });
    // A restored channel waiting for its saved camera names it.
    const waiting = status({ activeIds: [1, 2], states: { 1: 'live', 2: 'waiting' } });
    waiting.channels[1].sourceFormat = 'USB Camera';
    await serveStatus(waiting);
    await page.waitForFunction(() => document.querySelector('#card-2 .state-badge')?.textContent === 'WAITING');
    assert.equal(await page.textContent('#card-2 .card-name'), 'waiting for USB Camera');
  });
  await t.test('a studio leader shows its followers, their cameras and collecting', async () => {
    const studio = {
      role: 'leader', leaderText: '', problemText: 'C is lost: it records on by itself',
      followers: [
        { name: 'B', address: '192.168.1.21:8080', state: 'linked', stateText: 'linked', offsetText: 'B: +0.4 ms, PTP', offsetLevel: 'good', cameras: '5–8' },
        { name: 'C', address: '192.168.1.22:8080', state: 'lost', stateText: 'lost', offsetText: 'C: +50.0 ms, NTP', offsetLevel: 'error', cameras: '9–12' },
      ],
      sources: [{ id: 5, name: 'B Test Pattern 1', machine: 'B' }, { id: 6, name: 'B <b>2</b>', machine: 'B' }],
      canCollect: false, isCollecting: true, collectProgress: 0.25, collectText: 'Collecting files: 1.0 of 4.0 GB',
    };
    await serveStatus(status({ activeIds: [1], activeSourceId: 6, studio }));
    await page.waitForSelector('#studioSection:not(.hidden)');
    assert.equal(await page.textContent('#studioRole'), 'LEADER');
    assert.equal(await page.locator('#studioFollowers .studio-follower').count(), 2);
    assert.equal(await page.getAttribute('#studioFollowers .studio-follower:nth-child(2) .offset', 'class'), 'offset error');
    assert.equal(await page.textContent('#card-6 .card-name'), 'B <b>2</b>', 'names are text');
    await page.waitForFunction(() => document.getElementById('card-6').classList.contains('program'));
    assert.ok((await page.textContent('#warningBanner')).includes('C is lost'));
    assert.equal(await page.isDisabled('#collectBtn'), true);
    assert.equal(await page.evaluate(() => document.getElementById('collectBar').style.width), '25%');
    // A follower's camera is switched to like the leader's own.
    const switched = new Promise((resolve) => {
      page.route('**/api/switch*', async (route) => {
        resolve(new URL(route.request().url()).searchParams.get('id'));
        await route.fulfill({ status: 200, contentType: 'application/json', body: '{}' });
      });
    });
    await page.locator('#card-5').tap();
    assert.equal(await switched, '5');
    await page.unroute('**/api/switch*');
    await serveStatus(status({ activeIds: [1] }));
    await page.waitForSelector('#studioSection', { state: 'hidden' });
  });
  await t.test('a card names its microphone and says when it is lost; the dialog takes it off', async () => {
    await serveStatus(status({ activeIds: [1, 2, 3, 4], audio: { 1: ['Interface \u2014 In 1', 'live'], 2: ['Interface \u2014 In 2', 'lost'], 4: ['Interface \u2014 In 4', 'waiting'] } }));
    await page.waitForSelector('#card-2 .card-mic.lost');
    assert.equal(await page.textContent('#card-1 .card-mic'), '🎙 Interface \u2014 In 1');
    assert.equal(await page.textContent('#card-2 .card-mic'), 'MIC LOST: Interface \u2014 In 2');
    assert.equal(await page.textContent('#card-4 .card-mic'), 'MIC WAITING: Interface \u2014 In 4'); // not plugged in yet
    assert.equal(await page.locator('#card-3 .card-mic').count(), 0); // no microphone, no line

    await page.route('**/api/devices*', (route) => route.fulfill({
      status: 200, contentType: 'application/json', body: '{"audioDevices":[],"videoDevices":[]}',
    }));
    const removed = new Promise((resolve) => {
      page.route('**/api/remove_audio*', async (route) => {
        resolve([route.request().method(), new URL(route.request().url()).searchParams.get('channelId')]);
        await route.fulfill({ status: 200, contentType: 'application/json', body: '{"status":"ok"}' });
      });
    });
    await page.locator('#card-1 .gear-btn').tap();
    await page.waitForSelector('#micRow:not(.hidden)');
    assert.equal(await page.textContent('#micName'), 'Interface \u2014 In 1');
    await page.locator('#removeMicBtn').tap();
    assert.deepEqual(await removed, ['POST', '1']);
    await page.unroute('**/api/remove_audio*');
    await page.waitForSelector('#sourceDialog.hidden', { state: 'attached' });
    await page.locator('#card-3 .gear-btn').tap();
    await page.waitForSelector('#sourceDialog:not(.hidden)');
    assert.equal(await page.isVisible('#micRow'), false);
    await page.locator('#cancelBtn').tap();
    await page.unroute('**/api/devices*');
  });
  await t.test('an answer that is not JSON counts as a failed poll', async () => {
    await serveStatus('<html>captive portal</html>');
    await page.waitForSelector('#offlineOverlay', { state: 'visible', timeout: 10000 });
    await serveStatus(status({}));
    await page.waitForSelector('#offlineOverlay', { state: 'hidden', timeout: 5000 });
  });
  await page.unroute('**/api/status*');
  statusHandler = null;
});

test('no request of the page failed unexpectedly', () => {
  // The only console errors allowed are the browser's own notes about the requests that failed
  // while the server was stopped.
  const unexpected = consoleErrors.filter((e) => !/Failed to load resource|ERR_CONNECTION_REFUSED|net::/.test(e));
  assert.deepEqual(unexpected, []);
});
