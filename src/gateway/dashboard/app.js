// The live page of lumivex-gateway: one card per sign, kept up to date from /api/events.
'use strict';

const kFrameStepMs = 540;  // the sign's own animation step
const kTokenKey = 'lumivex-token';
const kRetryClosedMs = 10000;  // after the gateway refused the stream (too many pages open)
// The gateway's pass for the event stream and the pictures lasts an hour: renewed well before.
const kRenewPassMs = 20 * 60 * 1000;

const page = {
  cards: new Map(),  // sign name -> {card, element, index, reels: {now, was}}
  gateway: '',
  tokenNeeded: false,
  readNeedsToken: false,  // nothing is shown without a token
  role: null,  // the token's: 'viewer', 'operator' or 'admin'
  events: null,  // the open event stream
  canForward: false,  // another gateway's signs take writes from this one
  skewMs: 0,  // the gateway's clock minus this one
};

const $ = (id) => document.getElementById(id);

function token() {
  return sessionStorage.getItem(kTokenKey);
}

function canAct() {
  return !page.tokenNeeded || page.role === 'operator' || page.role === 'admin';
}

function pad(n) {
  return String(n).padStart(2, '0');
}

function clockText(iso) {
  const t = new Date(iso);
  return `${pad(t.getHours())}:${pad(t.getMinutes())}:${pad(t.getSeconds())}`;
}

// The failure in the operator's words, without the link the card names already.
function reasonOf(card) {
  const text = card.lastOutcome ? card.lastOutcome.text : 'not sent yet';
  const cut = text.lastIndexOf(': ');
  return cut >= 0 && text.includes(card.link) ? text.slice(cut + 2) : text;
}

// [state, text, names, after] of the status line: the light shows the state, the words say it.
function statusOf(card) {
  const now = Date.now() + page.skewMs;
  let notice = '';
  if (card.showing === 'alert' && card.alert && card.alert.until) {
    notice = ` · alert until ${clockText(card.alert.until)}`;
  } else if (card.showing === 'schedule') {
    notice = ' · by schedule';
  } else if (card.playing) {
    // "playlist 2/3 shift-a": which entry is on.
    const entry = card.playing;
    notice = ` · playlist ${entry.entry}/${entry.of}${entry.name ? ' ' + entry.name : ''}`;
  }
  if (card.stale) {
    notice += ` · ${card.stale}`;  // a polled controller stopped answering; the text stays
  }
  if (card.waitingFor === 'retry') {
    const seconds = Math.max(0, Math.ceil((Date.parse(card.nextTryAt) - now) / 1000));
    return ['failed', `retrying: ${reasonOf(card)}, next try in ${seconds}\u00a0s${notice}`];
  }
  if (card.waitingFor === 'send') {
    return ['busy', `sending…${notice}`];
  }
  if (card.waitingFor === 'values') {
    const plural = card.missing.length > 1;
    return ['waiting', `waiting for ${plural ? 'values' : 'a value'} of `, card.missing, notice];
  }
  if (card.showing === 'nothing') {
    return ['idle', 'no message yet'];
  }
  if (card.lastOutcome && !card.lastOutcome.delivered) {
    return ['failed', `failed: ${reasonOf(card)}${notice}`];
  }
  if (card.deliveredAt) {
    return ['ok', `delivered at ${clockText(card.deliveredAt)}${notice}`];
  }
  return ['busy', 'not sent yet'];
}

// "3 min", "1 h 5 min": how long an alert has been up.
function ageText(since) {
  const minutes = Math.max(0, Math.floor((Date.now() + page.skewMs - Date.parse(since)) / 60000));
  return minutes < 60 ? `${minutes}\u00a0min` : `${Math.floor(minutes / 60)}\u00a0h ${minutes % 60}\u00a0min`;
}

function alertText(alert) {
  return `P${alert.priority} ${alert.text} · ${ageText(alert.since)}`;
}

// The card's alert on, with a button to clear it where the page may change the sign.
function renderAlert(entry) {
  const {card, element} = entry;
  const line = element.querySelector('.alert');
  line.hidden = !card.alert;
  if (card.alert) {
    line.dataset.priority = card.alert.priority;
    line.querySelector('.alert-text').textContent = alertText(card.alert);
    line.querySelector('.clear-alert').hidden = !canAct() || Boolean(card.other);
  }
}

// Every alert of the plant, oldest first.
function renderStrip() {
  const all = [];
  page.cards.forEach(({card}) => (card.alerts || []).forEach((alert) => all.push([card, alert])));
  all.sort((a, b) => Date.parse(a[1].since) - Date.parse(b[1].since));
  $('alert-strip').hidden = all.length === 0;
  $('alert-list').replaceChildren(...all.map(([card, alert]) => {
    const item = document.createElement('li');
    item.dataset.priority = alert.priority;
    item.textContent = `${card.name}: ${alertText(alert)}`;
    return item;
  }));
}

async function clearAlert(name) {
  const entry = page.cards.get(name);
  const key = entry && entry.card.alert ? entry.card.alert.key : null;
  if (key === null) {
    return;
  }
  const headers = token() !== null ? {Authorization: `Bearer ${token()}`} : {};
  const response = await fetch(signUrl(name, `/alerts/${encodeURIComponent(key)}`),
                               {method: 'DELETE', headers}).catch(() => null);
  say(response && response.ok ? `${name}: alert ${key} cleared.`
                              : `${name}: the alert could not be cleared.`);
}

function renderStatus(entry) {
  renderAlert(entry);
  const [state, text, names, after] = statusOf(entry.card);
  const line = entry.element.querySelector('.status');
  const words = line.querySelector('.status-text');
  line.dataset.state = state;
  words.replaceChildren(text);
  for (const [i, name] of (names || []).entries()) {
    const code = document.createElement('code');
    code.textContent = name;
    words.append(i > 0 ? ', ' : '', code);
  }
  if (after) {
    words.append(after);
  }
}

function signUrl(name, rest) {
  return `/api/signs/${encodeURIComponent(name)}${rest}`;
}

function makeCard(card) {
  const element = $('card-template').content.firstElementChild.cloneNode(true);
  element.dataset.sign = card.name;
  element.querySelector('.set-text').addEventListener('click', () => openMessage(card.name, false));
  element.querySelector('.notify').addEventListener('click', () => openMessage(card.name, true));
  element.querySelector('.clear-alert').addEventListener('click', () => clearAlert(card.name));
  const reels = {now: makeReel(element.querySelector('.panel-image')),
                 was: makeReel(element.querySelector('.delivered-image'))};
  return {card, element, index: page.cards.size, reels};
}

function renderCard(entry) {
  const {card, element} = entry;
  element.querySelector('.name').textContent = card.name;
  const other = Boolean(card.other);  // a sign of another gateway on the broker
  element.querySelector('.link').textContent =
      `${card.link} · ${card.address}${other ? ` · gateway ${card.gateway}` : ''}`;
  // Its panel where there is one to draw (an older gateway's state names none); the words
  // alone otherwise.
  element.querySelector('.panel').hidden = !card.panel;
  element.querySelector('.notify').hidden = other;
  element.querySelector('.set-text').hidden = other && !page.canForward;
  const words = element.querySelector('.words');
  words.hidden = Boolean(card.panel);
  words.textContent = card.text || 'No message';
  const tags = card.tags.map((tag) => {
    const item = document.createElement('li');
    item.textContent = tag;
    return item;
  });
  element.querySelector('.tags').replaceChildren(...tags);
  const img = element.querySelector('.panel-image');
  element.dataset.kind = kindOf(card);
  element.classList.toggle('alerting', hasAlert(card));
  renderDelivered(entry);
  const what = kindOf(card) === 'retrying' ? 'Waiting to be sent' : 'The sign shows';
  img.alt = card.text ? `${what}: ${card.text}` : 'The sign shows nothing';
  if (!card.panel) {
    entry.reels.now = makeReel(img);
    img.removeAttribute('src');
  }
  element.querySelector('.actions').hidden = !canAct();
  renderStatus(entry);
  loadFrames(card.name, entry.reels.now, card.panelVersion, card.frames, '');
}

function dropCard(name) {
  const entry = page.cards.get(name);
  if (entry) {
    entry.element.remove();
    page.cards.delete(name);
  }
}

function takeCard(card) {
  if (card.gone) {
    dropCard(card.name);
    renderStrip();
    return;
  }
  let entry = page.cards.get(card.name);
  if (!entry) {
    entry = makeCard(card);
    page.cards.set(card.name, entry);
    $('cards').append(entry.element);
  }
  entry.card = card;
  renderCard(entry);
  renderStrip();
}

function takeSnapshot(data) {
  page.tokenNeeded = data.tokenNeeded;
  page.canForward = Boolean(data.canForward);
  page.gateway = data.gateway;
  $('gateway-name').textContent = data.gateway;
  const names = new Set(data.signs.map((card) => card.name));
  [...page.cards.keys()].filter((name) => !names.has(name)).forEach(dropCard);
  data.signs.forEach(takeCard);
  // The file's order, whatever came first, for the order that keeps it.
  data.signs.forEach((card, i) => {
    page.cards.get(card.name).index = i;
  });
  renderGateways(data.gateways);
  renderAccess();
  renderTagChoices();
  renderBoard();
}

function renderTagChoices() {
  const select = $('tag-filter');
  const chosen = select.value;
  const tags = new Set();
  page.cards.forEach(({card}) => card.tags.forEach((tag) => tags.add(tag)));
  const sorted = [...tags].sort();
  const known = [...select.options].slice(1).map((option) => option.value);
  if (sorted.join('\n') === known.join('\n')) {
    return;  // left alone, so that a list the user has open stays open
  }
  select.replaceChildren(new Option('All tags', ''), ...sorted.map((tag) => new Option(tag, tag)));
  select.value = tags.has(chosen) ? chosen : '';
}

function renderAccess() {
  const needed = page.tokenNeeded || page.readNeedsToken;
  const has = token() !== null;
  $('access-text').textContent = !needed ? 'No token needed to change a sign.'
      : canAct() ? 'Token entered: signs can be changed.'
      : page.role === 'viewer' ? 'Read-only: the token entered is a viewer\'s.'
      : page.readNeedsToken ? 'This gateway shows its signs to a token only: enter one.'
      : 'Read-only: changing a sign needs the token.';
  $('token-button').hidden = !needed || has;
  $('forget-token').hidden = !needed || !has;
  page.cards.forEach(({element}) => {
    element.querySelector('.actions').hidden = !canAct();
  });
}

function setConnection(state, text) {
  const line = $('connection');
  line.dataset.state = state;
  line.textContent = text;
}

// Asks the gateway what the token may do; with a valid one it gives the page a pass (a cookie it
// cannot read) that the event stream and the pictures carry, since they cannot carry the token.
// Whether the page may try to read.
async function openSession() {
  const headers = token() !== null ? {Authorization: `Bearer ${token()}`} : {};
  let response;
  try {
    response = await fetch('/api/session', {headers});
  } catch (error) {
    return true;  // the stream says that the gateway is away, and tries again
  }
  if (response.status === 401 && token() !== null) {
    sessionStorage.removeItem(kTokenKey);
    say('Refused: the gateway did not accept the token (401). ' +
        'The page is read-only until a valid token is entered.');
    return openSession();
  }
  if (response.status === 401) {  // no token, and reads need one
    page.readNeedsToken = true;
    page.tokenNeeded = true;
    page.role = null;
  } else if (response.ok) {
    const answer = await response.json();
    page.role = answer.role;
    page.tokenNeeded = answer.tokenNeeded;
    page.readNeedsToken = answer.readNeedsToken;
  }
  renderAccess();
  return response.status !== 401;
}

// The session first, then the stream, unless one is open already.
async function resume() {
  if (await openSession() && (!page.events || page.events.readyState === EventSource.CLOSED)) {
    connect();
  } else if (page.readNeedsToken && page.role === null) {
    setConnection('lost', 'The signs are shown to a token only.');
  }
}

function connect() {
  const events = new EventSource('/api/events');
  page.events = events;
  events.addEventListener('open', () => setConnection('live', 'Live'));
  events.addEventListener('signs', (event) => {
    const data = JSON.parse(event.data);
    page.skewMs = data.serverTime - Date.now();
    takeSnapshot(data);
  });
  events.addEventListener('sign', (event) => {
    const data = JSON.parse(event.data);
    page.skewMs = data.serverTime - Date.now();
    takeCard(data.sign);
    renderTagChoices();
    renderBoard();
  });
  events.addEventListener('gateways', (event) => renderGateways(JSON.parse(event.data).gateways));
  events.addEventListener('error', () => {
    if (events.readyState === EventSource.CLOSED) {
      setConnection('lost', 'The gateway turned the page away; trying again shortly…');
      setTimeout(resume, kRetryClosedMs);  // the pass may have ended with the gateway
    } else {
      setConnection('lost', 'Connection to the gateway lost; reconnecting…');
    }
  });
}

// The dialogs ---------------------------------------------------------------------------------

function say(text) {
  $('notice').textContent = text;
}

function closeOnCancel(dialog) {
  dialog.querySelector('.cancel').addEventListener('click', () => dialog.close());
}

function askToken() {
  $('token-input').value = '';
  $('token-error').textContent = '';
  $('token-dialog').showModal();
}

// Taken only once the gateway accepts it, so that a wrong one is said before any change.
async function checkToken(value) {
  const error = $('token-error');
  error.textContent = 'Checking…';
  let response;
  try {
    response = await fetch('/api/session', {headers: {Authorization: `Bearer ${value}`}});
  } catch (failure) {
    error.textContent = 'The gateway could not be reached to check the token.';
    return;
  }
  if (!response.ok) {
    error.textContent = response.status === 401
        ? 'The gateway refused this token (401).'
        : `The gateway did not take the token (${response.status}).`;
    return;
  }
  sessionStorage.setItem(kTokenKey, value);
  $('token-input').value = '';
  $('token-dialog').close();
  say('');
  resume();
}

let messageTarget = null;  // {name, notify}

function openMessage(name, notify) {
  messageTarget = {name, notify};
  $('message-title').textContent = notify ? `Notify on ${name}` : `Set text of ${name}`;
  $('message-submit').textContent = notify ? 'Show notice' : 'Set text';
  $('seconds-row').hidden = !notify;
  $('message-seconds').disabled = !notify;
  $('message-error').textContent = '';
  $('message-form').reset();
  $('message-dialog').showModal();
}

async function sendMessage() {
  const {name, notify} = messageTarget;
  const message = {
    lines: [[{
      text: $('message-text').value,
      color: $('message-color').value,
      blink: $('message-blink').checked,
    }]],
  };
  const body = notify ? {message, seconds: Number($('message-seconds').value)} : message;
  const headers = {'Content-Type': 'application/json'};
  if (token() !== null) {
    headers.Authorization = `Bearer ${token()}`;
  }
  let response;
  try {
    response = await fetch(signUrl(name, notify ? '/notify' : '/message'),
                           {method: notify ? 'POST' : 'PUT', headers, body: JSON.stringify(body)});
  } catch (error) {
    $('message-error').textContent = 'The gateway could not be reached.';
    return;
  }
  if (response.status === 401) {
    sessionStorage.removeItem(kTokenKey);
    $('message-dialog').close();
    page.role = null;
    renderAccess();
    say(`${name}: refused, the gateway did not accept the token (401). ` +
        'The page is read-only until a valid token is entered.');
    return;
  }
  if (!response.ok) {
    const answer = await response.json().catch(() => ({}));
    $('message-error').textContent = answer.error || `The gateway answered ${response.status}.`;
    return;
  }
  $('message-dialog').close();
  say(notify ? `${name}: notice sent.` : `${name}: new text set.`);
}

function start() {
  closeOnCancel($('token-dialog'));
  closeOnCancel($('message-dialog'));
  $('token-button').addEventListener('click', askToken);
  $('forget-token').addEventListener('click', () => {
    sessionStorage.removeItem(kTokenKey);
    page.role = null;
    renderAccess();
    say('Token forgotten: the page is read-only.');
  });
  $('token-form').addEventListener('submit', (event) => {
    event.preventDefault();
    checkToken($('token-input').value);
  });
  $('message-form').addEventListener('submit', (event) => {
    event.preventDefault();
    sendMessage();
  });
  $('filters').addEventListener('submit', (event) => event.preventDefault());
  $('search').addEventListener('input', renderBoard);
  $('tag-filter').addEventListener('change', renderBoard);
  setInterval(() => {
    page.cards.forEach((entry) => {
      Object.values(entry.reels).filter((reel) => reel.frames.length > 1).forEach((reel) => {
        reel.frame = (reel.frame + 1) % reel.frames.length;
        showFrame(reel);
      });
    });
  }, kFrameStepMs);
  // Countdowns of retries.
  setInterval(() => {
    page.cards.forEach(renderStatus);
    renderStrip();
  }, 1000);
  setInterval(() => {
    if (page.role !== null) {
      openSession();
    }
  }, kRenewPassMs);
  startBoard();
  renderAccess();
  resume();
}

start();
