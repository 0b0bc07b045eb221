// The phone page's script (remote.html): polls the recorder's status, shows it, and sends
// what the operator taps to the JSON API; the recorder decides, the page only shows.
// Longer than our other files: the page loads one script beside its markup and style, and its
// parts (access key, status, source cards, source dialog, the studio of linked recorders)
// share the page's state and elements.
'use strict';

// Every view element follows the last status the server sent; the only thing the page
// decides on its own is the immediate highlight of a tapped card, which the next poll
// confirms or corrects.
let currentActiveSource = 1;
let isRecording = false;
let isArming = false;
let failCount = 0;
let statusData = null;
let devicesData = null;

const POLL_INTERVAL_MS = 500;
// A poll that gets no answer at all (Wi-Fi gone, computer asleep) counts as failed after
// this long, so the offline notice appears instead of the page waiting silently.
const POLL_TIMEOUT_MS = 2000;
const OFFLINE_AFTER_FAILURES = 3;

const el = (id) => document.getElementById(id);
const statusBadge = el('statusBadge');
const timecodeBox = el('timecode');
const warningBanner = el('warningBanner');
const previewBox = el('previewBox');
const previewImg = el('previewImg');
const pgmBadge = el('pgmBadge');
const fpsBadge = el('fpsBadge');
const activeLabel = el('activeLabel');
const grid = el('switcherGrid');
const recBtn = el('recBtn');
const recText = el('recText');
const nextBtn = el('nextBtn');
const markerBtn = el('markerBtn');
const lastMarkerLine = el('lastMarker');
const sourceDialog = el('sourceDialog');
const dialogTitle = el('dialogTitle');
const channelSelect = el('channelSelect');
const channelNameInput = el('channelName');
const deviceSelect = el('deviceSelect');
const resolutionSelect = el('resolutionSelect');
const framerateSelect = el('framerateSelect');
const colorRangeSelect = el('colorRangeSelect');
const disableBtn = el('disableBtn');
const micRow = el('micRow');
const micName = el('micName');
const removeMicBtn = el('removeMicBtn');
const offlineOverlay = el('offlineOverlay');
const connectOverlay = el('connectOverlay');
const connectDetail = el('connectDetail');
const studioSection = el('studioSection');
const studioRole = el('studioRole');
const studioLeader = el('studioLeader');
const studioFollowers = el('studioFollowers');
const studioSources = el('studioSources');
const studioCollect = el('studioCollect');
const collectBtn = el('collectBtn');
const collectBar = el('collectBar');
const collectText = el('collectText');

// ---- access key ----

// The key comes with the QR code's link ("/?key=..."); the page keeps it, so the phone stays
// connected after a reload or from its home screen, and sends it with every request: as a
// header where it can, in the address of the preview picture, which cannot carry headers.
const KEY_STORAGE = 'vireonAccessKey';
const CONNECT_HINT = 'Otvorite daljinsko upravljanje (📱) u programu Vireon i skenirajte QR kod kamerom telefona.';
const TOO_MANY_KEYS = 'Previše pogrešnih ključeva sa ovog uređaja. Pokušajte ponovo za minut.';
let accessKey = '';

function readStoredKey() {
  try { return localStorage.getItem(KEY_STORAGE) || ''; } catch (e) { return ''; }
}

function storeKey(key) {
  try {
    if (key)
      localStorage.setItem(KEY_STORAGE, key);
    else
      localStorage.removeItem(KEY_STORAGE);
    return true;
  } catch (e) {
    return false;
  }
}

function takeKeyFromAddress() {
  accessKey = readStoredKey();
  const params = new URLSearchParams(location.search);
  const fromLink = params.get('key');
  if (!fromLink)
    return;
  accessKey = fromLink;
  // Out of the address bar and the history once it is kept: it would show in a screenshot.
  if (storeKey(fromLink)) {
    params.delete('key');
    const rest = params.toString();
    history.replaceState(null, '', location.pathname + (rest ? '?' + rest : '') + location.hash);
  }
}

class AccessRefused extends Error {}

// Every API request goes through here. An answer that refuses the key shows the connect
// notice: 401 means the key is wrong or gone (a new one was made), so it is forgotten and the
// page asks for a scan; 429 means this phone tried too many wrong keys and must wait.
async function api(path, options = {}) {
  const headers = Object.assign({}, options.headers || {});
  if (accessKey)
    headers['X-Vireon-Key'] = accessKey;
  const response = await fetch(path, Object.assign({}, options, { headers }));
  if (response.status === 401 || response.status === 429) {
    showConnectNotice(response.status);
    throw new AccessRefused('access refused (' + response.status + ')');
  }
  return response;
}

function showConnectNotice(status) {
  if (status === 401 && accessKey) {
    accessKey = '';
    storeKey('');
  }
  connectDetail.textContent = status === 429 ? TOO_MANY_KEYS : CONNECT_HINT;
  if (connectOverlay.classList.contains('hidden')) {
    connectOverlay.classList.remove('hidden');
    previewImg.removeAttribute('src'); // the stream would be refused too
  }
}

function hideConnectNotice() {
  if (connectOverlay.classList.contains('hidden'))
    return;
  connectOverlay.classList.add('hidden');
  reconnectPreview();
}

function streamUrl(cacheBuster) {
  const parts = [];
  if (cacheBuster)
    parts.push('t=' + cacheBuster);
  if (accessKey)
    parts.push('key=' + encodeURIComponent(accessKey));
  return '/stream.mjpg' + (parts.length ? '?' + parts.join('&') : '');
}

function vibrate() {
  if (navigator.vibrate) {
    try { navigator.vibrate(35); } catch (e) { /* not allowed here */ }
  }
}

function channelsOf(data) {
  return data && Array.isArray(data.channels) ? data.channels : [];
}

function activeChannels() {
  return channelsOf(statusData).filter((c) => c && c.active === true);
}

function channelObject(id) {
  return channelsOf(statusData).find((c) => c && c.id === id) || null;
}

// ---- status ----

let pollSequence = 0;
let appliedSequence = 0;

async function pollStatus() {
  const sequence = ++pollSequence;
  const controller = new AbortController();
  const timer = setTimeout(() => controller.abort(), POLL_TIMEOUT_MS);
  let data;
  try {
    const response = await api('/api/status', { cache: 'no-store', signal: controller.signal });
    data = await response.json();
  } catch (e) {
    clearTimeout(timer);
    if (e instanceof AccessRefused)
      pollSucceeded(); // the server answered; the connect notice says what is missing
    else
      pollFailed();
    return;
  }
  clearTimeout(timer);
  pollSucceeded();
  hideConnectNotice();
  // Polls may overlap on a slow link; never let an older answer undo a newer one.
  if (sequence < appliedSequence)
    return;
  appliedSequence = sequence;
  updateStatus(data);
}

function pollFailed() {
  failCount += 1;
  if (failCount > OFFLINE_AFTER_FAILURES)
    offlineOverlay.classList.remove('hidden');
}

function pollSucceeded() {
  const wasOffline = failCount > OFFLINE_AFTER_FAILURES;
  failCount = 0;
  offlineOverlay.classList.add('hidden');
  // The stream connection went down with the server; open a new one now that it is back.
  if (wasOffline)
    reconnectPreview();
}

function updateStatus(data) {
  if (!data || typeof data !== 'object')
    return;
  statusData = data;
  renderGrid();

  if (data.activeSourceId)
    markActive(data.activeSourceId);

  isRecording = data.isRecording === true;
  isArming = data.isArming === true;
  if (isRecording) {
    recBtn.classList.add('recording');
    recText.textContent = 'STOP REC';
    setBadge('RECORDING', 'recording');
    previewBox.classList.add('recording');
  } else if (isArming) {
    recBtn.classList.remove('recording');
    recText.textContent = 'ARMING (' + (data.countdownSeconds || 3) + 's)';
    setBadge('ARMING', 'arming');
    previewBox.classList.remove('recording');
  } else {
    recBtn.classList.remove('recording');
    recText.textContent = 'START REC';
    setBadge('STANDBY', 'standby');
    previewBox.classList.remove('recording');
  }

  if (typeof data.timecode === 'string' && data.timecode.length > 0)
    timecodeBox.textContent = data.timecode;

  // A marker belongs to a running take; the recorder words the last one.
  markerBtn.disabled = !isRecording;
  const marker = typeof data.lastMarker === 'string' ? data.lastMarker : '';
  lastMarkerLine.textContent = marker;
  lastMarkerLine.classList.toggle('hidden', marker === '');

  // What the studio's window shows in its banner: why a take failed, or that the disk runs
  // out, and what went wrong with the linked recorders.
  const studio = data.studio && typeof data.studio === 'object' ? data.studio : null;
  const lines = [data.warningText, studio ? studio.problemText : ''].filter((t) => typeof t === 'string' && t !== '');
  warningBanner.textContent = lines.join('\n');
  warningBanner.classList.toggle('hidden', lines.length === 0);
  renderStudio(studio);

  // The rate the take records at, as the studio writes it ("29.97", "25").
  if (data.currentFps !== undefined && data.currentFps !== null) {
    const target = typeof data.recordingFpsText === 'string' && data.recordingFpsText !== ''
      ? data.recordingFpsText : '30';
    fpsBadge.textContent = Number(data.currentFps).toFixed(1) + ' FPS (' + target + ' TARGET)';
  }
  // The studio's verdict on the rate, coloured as its status bar colours it.
  const level = ['good', 'ok', 'low', 'none'].includes(data.fpsLevel) ? data.fpsLevel : 'good';
  fpsBadge.className = 'fps-badge ' + level;
}

function setBadge(text, look) {
  statusBadge.textContent = text;
  statusBadge.className = 'status-badge ' + look;
}

function markActive(id) {
  currentActiveSource = id;
  document.querySelectorAll('.source-card[data-id]').forEach((card) => {
    card.classList.toggle('program', card.id === 'card-' + id);
  });
  pgmBadge.textContent = 'PROGRAM (PGM ' + id + ')';
  activeLabel.textContent = 'CAM ' + id + ' ACTIVE';
}

// ---- switcher grid ----

let renderedGridKey = null;

// A source's card in the grid: a local channel's or a studio machine's camera alike.
function sourceCardElement(id) {
  const card = document.createElement('div');
  card.className = 'source-card';
  card.id = 'card-' + id;
  card.dataset.id = String(id);
  return card;
}

function renderGrid() {
  const active = activeChannels();
  // Rebuild only when the cards change: replacing a card under a finger would swallow the tap.
  const key = JSON.stringify(active.map((c) => [c.id, c.name, c.sourceState, c.sourceFormat, c.audioInput, c.audioState]));
  if (key === renderedGridKey) {
    showTroubles(active);
    return;
  }
  renderedGridKey = key;

  grid.textContent = '';
  for (const channel of active) {
    const card = sourceCardElement(channel.id);

    const top = document.createElement('div');
    top.className = 'card-top';
    const dot = document.createElement('span');
    dot.className = 'tally-dot';
    const number = document.createElement('span');
    number.className = 'card-num';
    number.textContent = 'CAM ' + channel.id;
    top.append(dot, number);
    // A camera that is gone, coming back or not there yet says so on its card.
    const stateTexts = { lost: 'LOST', reconnecting: 'RECONNECTING', waiting: 'WAITING' };
    if (stateTexts[channel.sourceState]) {
      const badge = document.createElement('span');
      badge.className = 'state-badge ' + channel.sourceState;
      badge.textContent = stateTexts[channel.sourceState];
      top.append(badge);
    }

    const name = document.createElement('div');
    name.className = 'card-name';
    name.textContent = channel.name ? String(channel.name) : 'Camera ' + channel.id;
    // "waiting for USB Camera": the saved camera the channel starts with once it is plugged in.
    if (channel.sourceState === 'waiting' && channel.sourceFormat)
      name.textContent = 'waiting for ' + String(channel.sourceFormat);

    // The microphone the channel hears; a lost one says so, and one not plugged in yet.
    const micPrefix = { live: '🎙 ', lost: 'MIC LOST: ', waiting: 'MIC WAITING: ' }[channel.audioState];
    const mic = document.createElement('div');
    mic.className = 'card-mic' + (channel.audioState === 'lost' || channel.audioState === 'waiting' ? ' lost' : '');
    mic.textContent = micPrefix ? micPrefix + String(channel.audioInput) : '';

    const gear = document.createElement('button');
    gear.className = 'gear-btn';
    gear.type = 'button';
    gear.textContent = '⚙';
    gear.addEventListener('click', (event) => {
      event.stopPropagation();
      openSourceDialog(channel.id);
    });

    // What the studio's tile says is wrong (slow, frames dropped or repeated); filled in place.
    const trouble = document.createElement('div');
    trouble.className = 'card-trouble';

    card.append(gear, top, name, trouble);
    if (micPrefix)
      card.append(mic);
    card.addEventListener('click', () => switchSource(channel.id));
    grid.append(card);
  }

  if (active.length < 4) {
    const add = document.createElement('div');
    add.className = 'source-card add-card' + (active.length === 0 ? ' wide' : '');
    const plus = document.createElement('span');
    plus.className = 'plus';
    plus.textContent = '+';
    const label = document.createElement('span');
    label.textContent = active.length === 0 ? 'DODAJ PRVI VIDEO SOURCE' : 'DODAJ SOURCE';
    add.append(plus, label);
    add.addEventListener('click', () => openSourceDialog(null));
    grid.append(add);
  }
  markActive(currentActiveSource);
  showTroubles(active);
}

// The trouble text changes with every reading; it is set on the cards as they are, so a card
// is never rebuilt under a finger for it.
function showTroubles(active) {
  for (const channel of active) {
    const trouble = document.querySelector('#card-' + channel.id + ' .card-trouble');
    if (!trouble)
      continue;
    const missing = channel.sourceState === 'lost' || channel.sourceState === 'reconnecting';
    trouble.textContent = !missing && typeof channel.trouble === 'string' ? channel.trouble : '';
  }
}

// ---- the studio of linked recorders ----

let renderedStudioKey = null;

function textElement(tag, className, text) {
  const element = document.createElement(tag);
  element.className = className;
  element.textContent = text;
  return element;
}

// What the recorder says of its studio: the followers with their link and clock offset, the
// leader it follows, the followers' cameras to switch to, and collecting their files.
function renderStudio(studio) {
  studioSection.classList.toggle('hidden', !studio);
  document.body.classList.toggle('with-studio', !!studio);
  if (!studio)
    return;
  const leading = studio.role === 'leader';
  studioRole.textContent = leading ? 'LEADER' : 'FOLLOWER';
  studioLeader.textContent = studio.leaderText || '';
  studioLeader.classList.toggle('hidden', !studio.leaderText);

  const followers = Array.isArray(studio.followers) ? studio.followers : [];
  const sources = Array.isArray(studio.sources) ? studio.sources : [];
  // Rebuild only when something shown changed: a card replaced under a finger swallows the tap.
  const key = JSON.stringify([followers, sources]);
  if (key !== renderedStudioKey) {
    renderedStudioKey = key;
    studioFollowers.textContent = '';
    for (const follower of followers) {
      const row = document.createElement('div');
      row.className = 'studio-follower';
      row.append(textElement('span', 'name', follower.name + ' ' + (follower.cameras || '')),
                 textElement('span', 'state ' + (follower.state || ''), follower.stateText || ''),
                 textElement('span', 'offset ' + (follower.offsetLevel || ''), follower.offsetText || ''));
      studioFollowers.append(row);
    }
    studioSources.textContent = '';
    for (const source of sources) {
      const card = sourceCardElement(source.id);
      const top = document.createElement('div');
      top.className = 'card-top';
      top.append(textElement('span', 'tally-dot', ''), textElement('span', 'card-num', 'CAM ' + source.id));
      card.append(top, textElement('div', 'card-name', String(source.name)));
      card.addEventListener('click', () => switchSource(source.id));
      studioSources.append(card);
    }
    markActive(currentActiveSource);
  }

  studioCollect.classList.toggle('hidden', !leading);
  collectBtn.disabled = studio.canCollect !== true;
  collectBar.style.width = (studio.isCollecting ? Math.round(100 * (Number(studio.collectProgress) || 0)) : 0) + '%';
  collectText.textContent = studio.collectText || '';
}

collectBtn.addEventListener('click', () => {
  vibrate();
  api('/api/studio/collect', { method: 'POST' })
    .then((response) => response.json())
    .then(updateStatus)
    .catch(() => {});
});

// ---- switching and recording ----

function switchSource(id) {
  vibrate();
  markActive(id);
  api('/api/switch?id=' + id, { method: 'POST' })
    .then((response) => response.json())
    .then((data) => {
      if (data && data.activeSourceId)
        markActive(data.activeSourceId);
    })
    .catch((error) => console.error('Switch error:', error));
}

function nextCamera() {
  let ids = activeChannels().map((c) => c.id);
  if (ids.length === 0)
    ids = [1, 2, 3, 4];
  const index = ids.indexOf(currentActiveSource);
  const next = index < 0 ? ids[0] : ids[(index + 1) % ids.length];
  switchSource(next);
}

function toggleRecording() {
  vibrate();
  api('/api/record', { method: 'POST' })
    .then((response) => response.json())
    .then((data) => updateStatus(data))
    .catch((error) => console.error('Record toggle error:', error));
}

function dropMarker() {
  vibrate();
  api('/api/marker', { method: 'POST' })
    .then(() => pollStatus())
    .catch((error) => console.error('Marker error:', error));
}

// ---- source dialog ----

let dialogRequest = 0;
// The chosen camera's format lists, as the studio builds them (/api/source_formats):
// {resolutions: [{label, width, height, frameRates: [{label, fps, formatName}]}], colorRanges,
// positions} — the same lists as the source dialog of the window.
let formatChoices = { resolutions: [], colorRanges: [] };

function addOption(select, value, text) {
  const option = document.createElement('option');
  option.value = value;
  option.textContent = text;
  select.append(option);
  return option;
}

function videoDevices() {
  return devicesData && Array.isArray(devicesData.videoDevices) ? devicesData.videoDevices : [];
}

function selectIfPresent(select, value) {
  if (value && Array.from(select.options).some((o) => o.value === value))
    select.value = value;
}

async function openSourceDialog(channelId) {
  const request = ++dialogRequest;

  // The channel: the given one, else the first that has no active camera, else 1.
  let channel = channelId;
  if (!channel) {
    channel = 1;
    for (let id = 1; id <= 4; ++id) {
      const c = channelObject(id);
      if (!c || !c.active) {
        channel = id;
        break;
      }
    }
  }
  channelSelect.value = String(channel);
  const current = channelObject(channel);
  const isActive = !!(current && current.active);
  if (isActive) {
    dialogTitle.textContent = 'PODEŠAVANJE ZA KANAL ' + channel;
    disableBtn.classList.remove('hidden');
    channelNameInput.value = current.name ? String(current.name) : 'CAM ' + channel;
  } else {
    dialogTitle.textContent = 'DODAJ VIDEO SOURCE (KANAL ' + channel + ')';
    disableBtn.classList.add('hidden');
    channelNameInput.value = 'CAM ' + channel;
  }
  const micState = current ? current.audioState : 'none';
  micRow.classList.toggle('hidden', micState === 'none');
  micName.textContent = current && current.audioInput ? String(current.audioInput) : '';
  deviceSelect.textContent = '';
  addOption(deviceSelect, '', 'Učitavanje uređaja...');
  resolutionSelect.textContent = '';
  framerateSelect.textContent = '';
  sourceDialog.classList.remove('hidden');

  try {
    const response = await api('/api/devices', { cache: 'no-store' });
    devicesData = await response.json();
  } catch (error) {
    console.error('Failed to fetch devices info:', error);
  }
  // A newer opening (another channel chosen meanwhile) or a close owns the dialog now.
  if (request !== dialogRequest)
    return;

  fillDevices();
  // A channel that already has a camera opens on its current settings.
  if (isActive && current.deviceLink)
    selectIfPresent(deviceSelect, current.deviceLink);
  await loadFormatChoices(request);
}

// The lists of the chosen camera; a channel's own camera opens on where it runs.
async function loadFormatChoices(request = dialogRequest) {
  const channel = parseInt(channelSelect.value, 10);
  try {
    const response = await api('/api/source_formats?deviceLink=' + encodeURIComponent(deviceSelect.value)
                               + '&channelId=' + channel, { cache: 'no-store' });
    formatChoices = await response.json();
  } catch (error) {
    console.error('Failed to fetch the format lists:', error);
    formatChoices = { resolutions: [], colorRanges: [] };
  }
  if (request !== dialogRequest)
    return;
  fillResolutions();
  const positions = formatChoices.positions;
  if (positions) {
    resolutionSelect.selectedIndex = positions.resolution;
    fillFramerates();
    framerateSelect.selectedIndex = positions.frameRate;
    colorRangeSelect.selectedIndex = positions.colorRange;
  }
}

function closeSourceDialog() {
  ++dialogRequest;
  sourceDialog.classList.add('hidden');
}

function fillDevices() {
  deviceSelect.textContent = '';
  const devices = videoDevices();
  if (devices.length === 0) {
    addOption(deviceSelect, '', 'Nema detektovanih kamera');
  } else {
    for (const device of devices)
      addOption(deviceSelect, String(device.link), String(device.name));
  }
}

function fillResolutions() {
  resolutionSelect.textContent = '';
  for (const entry of formatChoices.resolutions || [])
    addOption(resolutionSelect, entry.width + 'x' + entry.height, String(entry.label));
  colorRangeSelect.textContent = '';
  for (const entry of formatChoices.colorRanges || [])
    addOption(colorRangeSelect, String(entry.value), String(entry.label));
  fillFramerates();
}

function selectedResolution() {
  return (formatChoices.resolutions || [])[resolutionSelect.selectedIndex] || null;
}

function fillFramerates() {
  framerateSelect.textContent = '';
  const resolution = selectedResolution();
  for (const entry of resolution ? resolution.frameRates : [])
    addOption(framerateSelect, Number(entry.fps).toFixed(2), String(entry.label));
}

function applySource() {
  vibrate();
  const channelId = parseInt(channelSelect.value, 10);
  const resolution = selectedResolution() || { width: 1920, height: 1080, frameRates: [] };
  const rate = resolution.frameRates[framerateSelect.selectedIndex] || { fps: 30, formatName: '' };
  const chosen = deviceSelect.selectedOptions[0];
  const payload = {
    channelId: channelId,
    deviceLink: deviceSelect.value,
    deviceName: chosen ? chosen.text : '',
    width: resolution.width,
    height: resolution.height,
    framerate: rate.fps,
    colorRange: colorRangeSelect.value || 'Default',
    channelName: channelNameInput.value.trim() || 'CAM ' + channelId,
    formatName: rate.formatName,
  };
  api('/api/add_source', {
    method: 'POST',
    headers: { 'Content-Type': 'application/json' },
    body: JSON.stringify(payload),
  })
    .catch((error) => console.error('Add source error:', error))
    .finally(() => {
      closeSourceDialog();
      pollStatus();
    });
}

function disableSource() {
  vibrate();
  const channelId = parseInt(channelSelect.value, 10);
  api('/api/remove_source?channelId=' + channelId, { method: 'POST' })
    .catch((error) => console.error('Disable source error:', error))
    .finally(() => {
      closeSourceDialog();
      pollStatus();
    });
}

function removeMicrophone() {
  vibrate();
  const channelId = parseInt(channelSelect.value, 10);
  api('/api/remove_audio?channelId=' + channelId, { method: 'POST' })
    .catch((error) => console.error('Remove microphone error:', error))
    .finally(() => {
      closeSourceDialog();
      pollStatus();
    });
}

// ---- preview ----

let previewRetry = null;

function reconnectPreview() {
  if (previewRetry !== null) {
    clearTimeout(previewRetry);
    previewRetry = null;
  }
  if (!connectOverlay.classList.contains('hidden'))
    return; // refused without a key; the next accepted poll reconnects
  previewImg.src = streamUrl(Date.now());
}

previewImg.addEventListener('error', () => {
  if (previewRetry !== null || !connectOverlay.classList.contains('hidden'))
    return;
  previewRetry = setTimeout(() => {
    previewRetry = null;
    reconnectPreview();
  }, 1000);
});

// ---- wiring ----

recBtn.addEventListener('click', toggleRecording);
nextBtn.addEventListener('click', nextCamera);
markerBtn.addEventListener('click', dropMarker);
el('dialogClose').addEventListener('click', closeSourceDialog);
el('cancelBtn').addEventListener('click', closeSourceDialog);
el('applyBtn').addEventListener('click', applySource);
disableBtn.addEventListener('click', disableSource);
removeMicBtn.addEventListener('click', removeMicrophone);
channelSelect.addEventListener('change', () => openSourceDialog(parseInt(channelSelect.value, 10)));
deviceSelect.addEventListener('change', () => loadFormatChoices());
resolutionSelect.addEventListener('change', fillFramerates);

takeKeyFromAddress();
pollStatus();
setInterval(pollStatus, POLL_INTERVAL_MS);
// The stream never ends, so it is opened once the page has loaded: a stream without pictures
// yet would otherwise keep the page "loading" for good.
function openPreview() {
  if (connectOverlay.classList.contains('hidden'))
    previewImg.src = streamUrl();
}
if (document.readyState === 'complete')
  openPreview();
else
  window.addEventListener('load', openPreview);
