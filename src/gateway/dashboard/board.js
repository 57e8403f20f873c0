// The board over the cards: the summary by state, the order (faults first), the filters, the
// panels at one dot size, and the wall view that fits every sign on the screen. Loaded before
// app.js, which calls it.
'use strict';

const kPanelUnit = 480;  // a 20-character panel's width in the preview's pixels
const kMinWallScale = 0.5;  // below this the dots blur from across a hall: pages instead
const kFileOrderKey = 'lumivex-file-order';
const kKinds = [
  ['delivered', 'delivered'], ['sending', 'sending'], ['retrying', 'retrying'],
  ['values', 'waiting for values'], ['alerts', 'alerts'],
];

const board = {
  wall: new URLSearchParams(location.search).has('wall'),
  pageSeconds: Math.max(3, Number(new URLSearchParams(location.search).get('wall')) || 10),
  page: 0,
  pages: 1,
  filter: '',  // one of kKinds, or every sign
  byName: new Intl.Collator(undefined, {numeric: true, sensitivity: 'base'}),
};

// The sign's state in the summary's words; a sign that shows nothing is in none of them.
function kindOf(card) {
  if (card.waitingFor === 'retry' || (card.lastOutcome && !card.lastOutcome.delivered &&
                                      card.waitingFor === 'nothing')) {
    return 'retrying';
  }
  if (card.waitingFor === 'values') {
    return 'values';
  }
  if (card.waitingFor === 'send' || (card.showing !== 'nothing' && !card.deliveredAt)) {
    return 'sending';
  }
  return card.showing === 'nothing' ? 'idle' : 'delivered';
}

function hasAlert(card) {
  return Boolean(card.alert);  // absent on gateways without alerts
}

function faulty(card) {
  return hasAlert(card) || kindOf(card) === 'retrying';
}

function fileOrder() {
  return localStorage.getItem(kFileOrderKey) === 'yes';
}

function ordered(entries) {
  if (fileOrder()) {
    return entries.sort((a, b) => a.index - b.index);
  }
  return entries.sort((a, b) => (faulty(b.card) - faulty(a.card)) ||
                                board.byName.compare(a.card.name, b.card.name));
}

function renderSummary() {
  const counts = {delivered: 0, sending: 0, retrying: 0, values: 0, alerts: 0, idle: 0};
  page.cards.forEach(({card}) => {
    counts[kindOf(card)] += 1;
    counts.alerts += hasAlert(card) ? 1 : 0;
  });
  $('summary').querySelectorAll('button').forEach((button) => {
    const kind = button.dataset.kind;
    button.querySelector('.count').textContent = kind ? counts[kind] : page.cards.size;
    button.setAttribute('aria-pressed', String(board.filter === kind));
  });
  const failing = counts.retrying;
  document.title = `${failing > 0 ? `${failing} failing · ` : ''}Lumivex signs · ${page.gateway}`;
}

function matches(card) {
  const words = $('search').value.trim().toLowerCase();
  const tag = $('tag-filter').value;
  const kind = board.filter;
  return card.name.toLowerCase().includes(words) && (!tag || card.tags.includes(tag)) &&
      (!kind || (kind === 'alerts' ? hasAlert(card) : kindOf(card) === kind));
}

// Counts, order, filters and, on the wall, the size of every card: after any change.
function renderBoard() {
    renderSummary();
  const all = ordered([...page.cards.values()]);
  const shown = all.filter(({card}) => matches(card));
  const list = $('cards');
  const inPlace = [...list.children];
  if (all.some(({element}, i) => inPlace[i] !== element)) {
    list.append(...all.map(({element}) => element));  // moved only when the order changed
  }
  page.cards.forEach(({element}) => {
    element.hidden = true;
  });
  shown.forEach(({element}) => {
    element.hidden = false;
  });
  $('empty').hidden = shown.length > 0 || page.cards.size === 0;
  layOut(shown);
}

// Fetches each frame of a message once into a reel (the panel's, or what the sign last took); the
// animation cycles through them. A frame's address names the message's version, so the browser
// keeps each picture and shows it again without asking the gateway.
async function loadFrames(name, reel, version, count, query) {
  if (!version || version === reel.version) {
    return;
  }
  reel.version = version;
  const urls = [];
  const images = [];
  try {
    for (let i = 1; i <= count; ++i) {
      const image = new Image();
      image.src = signUrl(name, `/preview.png?${query}frame=${i}&v=${encodeURIComponent(version)}`);
      await image.decode();
      images.push(image);
      urls.push(image.src);
      if (reel.version !== version) {
        break;  // a newer message came meanwhile
      }
    }
  } catch (error) {
    reel.version = null;  // tried again with the next event
  }
  if (reel.version !== version || urls.length !== count) {
    return;
  }
  reel.images = images;  // held, so that the pictures stay decoded
  reel.frames = urls;
  reel.frame = 0;
  showFrame(reel);
}

function showFrame(reel) {
  if (reel.frames.length > 0) {
    reel.img.src = reel.frames[reel.frame];
    reel.img.dataset.frame = reel.frame + 1;
  }
}

function makeReel(img) {
  return {img, frames: [], images: [], version: null, frame: 0};
}

// Every panel at the board's one scale: a 40-character sign twice as wide as a 20-character one.
function sizeImage(img, panel, share) {
  img.width = panel.width;
  img.height = panel.height;
  img.style.width = `calc(var(--scale) * ${panel.width * share}px)`;
}

// While a send fails, the panel shows what the sign last took, dimmed, with what waits beside it:
// never as on the sign what is not.
function renderDelivered(entry) {
  const {card, element} = entry;
  const was = card.deliveredPanel;
  const split = Boolean(card.panel) && kindOf(card) === 'retrying' &&
      (!was || was.version !== card.panelVersion);
  element.querySelector('.panel').classList.toggle('split', split);
  element.querySelector('.was').hidden = !split;
  element.querySelector('.was figcaption').textContent =
      was ? 'On the sign' : 'On the sign: not known';
  const img = element.querySelector('.delivered-image');
  img.hidden = !split || !was;
  if (card.panel) {
    sizeImage(element.querySelector('.panel-image'), card.panel, split ? 0.5 : 1);
  }
  if (split && was) {
    sizeImage(img, was, 0.5);
    img.alt = `The sign last took: ${was.text || 'nothing'}`;
    loadFrames(card.name, entry.reels.was, was.version, was.frames, 'of=delivered&');
  }
}

function spanOf(entry) {
  return entry.card.panel && entry.card.panel.width > kPanelUnit ? 2 : 1;
}

// Rows the grid takes for these spans in `columns` columns, placed in order as the grid does.
function rowsFor(spans, columns) {
  let rows = 1;
  let column = 0;
  for (const span of spans) {
    if (column + Math.min(span, columns) > columns) {
      rows += 1;
      column = 0;
    }
    column += Math.min(span, columns);
  }
  return rows;
}

// The best grid for these cards in a box: columns, row height and the panels' scale.
function bestGrid(entries, width, height) {
  const gap = 10;
  const spans = entries.map(spanOf);
  const tallest = Math.max(32, ...entries.map(({card}) => (card.panel ? card.panel.height : 32)));
  let best = {columns: 1, rowHeight: height, scale: 0};
  for (let columns = 1; columns <= Math.max(1, spans.length * 2); ++columns) {
    const rows = rowsFor(spans, columns);
    const columnWidth = (width - gap * (columns - 1)) / columns;
    const rowHeight = (height - gap * (rows - 1)) / rows;
    const name = Math.min(64, Math.max(18, rowHeight * 0.16));
    const status = Math.min(30, Math.max(13, rowHeight * 0.09));
    const chrome = name * 1.2 + status * 1.35 + 2 * 6 + 2 * 8 + 2 + 2 * 4;
    const scale = Math.min((columnWidth - 2 * 8 - 2 - 2 * 4) / kPanelUnit,
                           (rowHeight - chrome) / tallest);
    if (scale > best.scale) {
      best = {columns, rowHeight, scale, name, status};
    }
  }
  return best;
}

function layOut(shown) {
  const list = $('cards');
  let grid;
  if (board.wall) {
    const height = innerHeight - list.getBoundingClientRect().top - 10;
    const width = list.clientWidth;
    // As many as fit at a readable size a page; the rest on the pages that follow.
    let size = shown.length;
    grid = bestGrid(shown, width, height);
    while (size > 1 && grid.scale < kMinWallScale) {
      size -= 1;
      grid = bestGrid(shown.slice(0, size), width, height);
    }
    board.pages = Math.max(1, Math.ceil(shown.length / Math.max(1, size)));
    board.page %= board.pages;
    shown.forEach(({element}, i) => {
      element.hidden = Math.floor(i / size) !== board.page;
    });
    list.style.gridAutoRows = `${Math.floor(grid.rowHeight)}px`;
    list.style.setProperty('--name-size', `${grid.name}px`);
    list.style.setProperty('--status-size', `${grid.status}px`);
    $('page-number').textContent = board.pages > 1 ? `page ${board.page + 1} of ${board.pages}` : '';
  } else {
    // Columns of at least 20 rem, each panel at the size of a 20-character one in one.
    const width = list.clientWidth;
    const columns = Math.max(1, Math.floor((width + 16) / (320 + 16)));
    const columnWidth = (width - 16 * (columns - 1)) / columns;
    grid = {columns, scale: Math.min(1.25, (columnWidth - 2 * 17 - 2 * 6) / kPanelUnit)};
  }
  list.style.gridTemplateColumns = `repeat(${grid.columns}, minmax(0, 1fr))`;
  list.style.setProperty('--scale', Math.max(0.1, grid.scale).toFixed(4));
  page.cards.forEach((entry) => {
    entry.element.style.gridColumn = `span ${Math.min(spanOf(entry), grid.columns)}`;
  });
}

function renderGateways(gateways) {
  const items = (gateways || []).map((gateway) => {
    const item = document.createElement('li');
    item.dataset.state = gateway.online ? 'online' : 'offline';
    const since = gateway.since ? ` since ${clockText(gateway.since)}` : '';
    item.textContent = `${gateway.name} ${gateway.online ? 'online' : 'offline'}${since}`;
    return item;
  });
  $('gateways').replaceChildren(...items);
}

function startBoard() {
  document.body.classList.toggle('wall', board.wall);
  const summary = $('summary');
  summary.append(...[['', 'signs'], ...kKinds].map(([kind, words]) => {
    const button = document.createElement('button');
    button.type = 'button';
    button.dataset.kind = kind;
    const count = document.createElement('span');
    count.className = 'count';
    button.append(count, ` ${words}`);
    button.addEventListener('click', () => {
      board.filter = board.filter === kind ? '' : kind;
      renderBoard();
    });
    return button;
  }));
  $('file-order').checked = fileOrder();
  $('file-order').addEventListener('change', (event) => {
    localStorage.setItem(kFileOrderKey, event.target.checked ? 'yes' : 'no');
    renderBoard();
  });
  addEventListener('resize', renderBoard);
  if (board.wall) {
    // The wall is left alone: pages turn by themselves, a key leaves it.
    setInterval(() => {
      board.page = (board.page + 1) % board.pages;
      renderBoard();
    }, board.pageSeconds * 1000);
    addEventListener('keydown', (event) => {
      if (event.key === 'Escape') {
        location.search = '';
      }
    });
  }
}
