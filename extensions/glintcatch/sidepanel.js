// Velkin Web for Flash: the Flash folder panel (Chromium's side panel,
// Firefox's sidebar). It shows the Flash folder as a tree of folders and
// movies, listed and changed by the native host (folder-tree requests),
// with a toolbar and a context menu: New Folder, Save (the movies of the
// page in the active tab), Options, Rename, Delete, Refresh, Help, About.
// Selecting a movie plays it on the extension's player page. The host's
// "folder-changed" event refreshes the tree.
'use strict';

const { commands, toolButton } = glintcatchCommands;
const TOOLBAR = ['newFolder', 'save', 'options', null, 'rename', 'delete', 'refresh', null, 'help', 'about'];

const treeElement = document.getElementById('tree');
const messageElement = document.getElementById('message');
const menuElement = document.getElementById('menu');

const host = new GlintcatchHost((event) => {
  if (event.event === 'folder-changed') refreshWhenIdle();
});

const state = {
  tree: null,             // the host's tree: {name, text, kind, hasChildren, children?}
  selected: null,         // the selected item's path (names from below the root), or null
  expanded: new Set(['[]']),
  editing: null,          // the path of the item whose label is being edited
  refreshPending: false,  // a change arrived during an edit
};

const keyOf = (path) => JSON.stringify(path);

function itemAt(path) {
  let item = state.tree;
  for (const name of path || []) {
    item = item && (item.children || []).find((child) => child.name === name);
  }
  return item || null;
}

function showMessage(text) {
  messageElement.textContent = text || '';
  messageElement.hidden = !text;
}

// Sends a folder-tree request and shows the tree of the reply; the reply,
// or null when the host could not be asked (the reason is shown).
async function treeRequest(operation, path, more = {}) {
  let reply;
  try {
    reply = await host.request({ request: 'folder-tree', operation, ...(path ? { path } : {}), ...more });
  } catch (error) {
    showMessage(GLINTCATCH_SETUP_INCORRECT);
    return null;
  }
  if (!reply.ok) {
    showMessage(reply.error || 'The Flash folder cannot be shown.');
    return null;
  }
  if (reply.tree) state.tree = reply.tree;
  if (state.selected && !itemAt(state.selected)) state.selected = null;
  render();
  return reply;
}

function refreshWhenIdle() {
  if (state.editing) {
    state.refreshPending = true;
    return;
  }
  void treeRequest('list');
}

// --- The tree ---------------------------------------------------------

function render() {
  treeElement.replaceChildren();
  if (state.tree) treeElement.appendChild(itemElement(state.tree, []));
}

function itemElement(item, path) {
  const node = document.createElement('li');
  node.setAttribute('role', 'treeitem');
  node.dataset.path = keyOf(path);
  node.dataset.kind = item.kind;
  const row = document.createElement('div');
  row.className = 'row';
  if (state.selected && keyOf(state.selected) === keyOf(path)) row.classList.add('selected');
  const open = state.expanded.has(keyOf(path));
  const toggle = document.createElement('span');
  toggle.className = 'toggle';
  toggle.textContent = item.hasChildren ? (open ? '\u25BE' : '\u25B8') : '';
  toggle.addEventListener('click', (event) => {
    event.stopPropagation();
    void toggleItem(item, path);
  });
  row.appendChild(toggle);
  row.insertAdjacentHTML('beforeend', kindImage(item.kind));
  if (state.editing && keyOf(state.editing) === keyOf(path)) {
    row.appendChild(labelEditor(item, path));
  } else {
    const label = document.createElement('span');
    label.className = 'label';
    label.textContent = item.kind === 'root' ? 'Flash' : item.text;
    row.appendChild(label);
  }
  row.addEventListener('click', () => select(path));
  row.addEventListener('contextmenu', (event) => {
    event.preventDefault();
    event.stopPropagation();
    select(path, { play: false });
    openMenu(event.clientX, event.clientY, item);
  });
  node.appendChild(row);
  if (open && item.children && item.children.length) {
    const list = document.createElement('ul');
    list.setAttribute('role', 'group');
    item.children.forEach((child) => list.appendChild(itemElement(child, [...path, child.name])));
    node.appendChild(list);
  }
  return node;
}

function kindImage(kind) {
  const paths = {
    root: 'M1 3h4l1 1.5h7V12H1zM6 6.5l3 2-3 2z',
    folder: 'M1 3h4l1 1.5h7V12H1z',
    movie: 'M3 1h5l3 3v9H3zM6 6l3 2-3 2z',
  };
  return `<svg viewBox="0 0 14 14" aria-hidden="true"><path d="${paths[kind] || paths.folder}"/></svg>`;
}

async function toggleItem(item, path) {
  const key = keyOf(path);
  if (state.expanded.has(key)) {
    state.expanded.delete(key);
    render();
    return;
  }
  state.expanded.add(key);
  if (!item.children && item.kind !== 'root') await treeRequest('expand', path);
  else render();
}

// Selecting a movie plays it; selecting a folder only selects it.
function select(path, { play = true } = {}) {
  closeMenu();
  state.selected = path;
  render();
  updateToolbar();
  const item = itemAt(path);
  if (play && item && item.kind === 'movie') {
    const url = chrome.runtime.getURL(`player.html?path=${encodeURIComponent(keyOf(path))}`);
    void chrome.tabs.create({ url });
  }
}

// --- Label editing ----------------------------------------------------

function labelEditor(item, path) {
  const input = document.createElement('input');
  input.value = item.text;
  input.setAttribute('aria-label', 'Name');
  let finished = false;
  const finish = (commit) => {
    if (finished) return;
    finished = true;
    void endEdit(item, path, commit ? input.value : '');
  };
  input.addEventListener('keydown', (event) => {
    if (event.key === 'Enter') finish(true);
    if (event.key === 'Escape') finish(false);
  });
  input.addEventListener('blur', () => finish(true));
  setTimeout(() => {
    input.focus();
    input.select();
  });
  return input;
}

function startEdit(path) {
  if (!path || path.length === 0) return;
  state.editing = path;
  render();
}

// The edited name goes to the host, which renames on disk or says why not;
// a refused name shows the host's message and the edit opens again.
async function endEdit(item, path, text) {
  state.editing = null;
  if (text === '' || text === item.text) {
    render();
    finishPendingRefresh();
    return;
  }
  const reply = await treeRequest('rename', path, { name: text });
  if (reply && !reply.done) {
    showMessage(reply.message || 'The item could not be renamed.');
    startEdit(path);
    return;
  }
  if (reply) {
    showMessage('');
    if (reply.item) select(reply.item, { play: false });
  }
  finishPendingRefresh();
}

function finishPendingRefresh() {
  if (!state.refreshPending) return;
  state.refreshPending = false;
  void treeRequest('list');
}

// --- Commands ---------------------------------------------------------

// What the selected item allows: no item disables New Folder, Rename and
// Delete; the root disables Rename and Delete; a movie disables New Folder.
function enabledFor(item) {
  return {
    newFolder: !!item && item.kind !== 'movie',
    rename: !!item && item.kind !== 'root',
    delete: !!item && item.kind !== 'root',
  };
}

// The folder New Folder works in: the selected folder, or a movie's folder.
function folderOfSelection() {
  const item = itemAt(state.selected);
  if (!item) return null;
  return item.kind === 'movie' ? state.selected.slice(0, -1) : state.selected;
}

async function runDialog(dialog) {
  try {
    return await requestOnce({ request: 'dialog', dialog });
  } catch (error) {
    showMessage(GLINTCATCH_SETUP_INCORRECT);
    return null;
  }
}

const run = {
  async newFolder() {
    const folder = folderOfSelection();
    if (!folder) return;
    state.expanded.add(keyOf(folder));
    const reply = await treeRequest('new-folder', folder);
    if (reply && reply.item) {
      state.selected = reply.item;
      startEdit(reply.item);
    } else if (reply && reply.message) {
      showMessage(reply.message);
    }
  },
  async save() {
    const reply = await chrome.runtime.sendMessage({ request: 'save-active-page' }).catch((error) => ({
      ok: false, error: error && error.message,
    }));
    if (reply && reply.ok && reply.saved) void treeRequest('list');
  },
  async options() {
    const reply = await runDialog('options');
    if (reply && reply.ok && reply.accepted) void treeRequest('refresh');
  },
  rename() {
    if (enabledFor(itemAt(state.selected)).rename) startEdit(state.selected);
  },
  async delete() {
    if (!enabledFor(itemAt(state.selected)).delete) return;
    const reply = await treeRequest('delete', state.selected);
    if (reply && !reply.done) showMessage(reply.message || 'The item could not be deleted.');
  },
  refresh() {
    return treeRequest('refresh');
  },
  help() {
    return runDialog('help');
  },
  about() {
    return runDialog('about');
  },
};

function runCommand(name) {
  closeMenu();
  showMessage('');
  void run[name]();
}

function updateToolbar() {
  const enabled = enabledFor(itemAt(state.selected));
  for (const button of document.querySelectorAll('#toolbar button')) {
    const name = button.dataset.command;
    button.disabled = name in enabled && !enabled[name];
  }
}

// --- Context menu -----------------------------------------------------

function openMenu(x, y, item) {
  const enabled = enabledFor(item);
  menuElement.replaceChildren();
  for (const name of TOOLBAR) {
    if (!name) {
      menuElement.appendChild(document.createElement('hr'));
      continue;
    }
    const entry = document.createElement('button');
    entry.setAttribute('role', 'menuitem');
    entry.dataset.command = name;
    entry.textContent = commands[name].menu;
    entry.disabled = name in enabled && !enabled[name];
    entry.addEventListener('click', () => runCommand(name));
    menuElement.appendChild(entry);
  }
  menuElement.hidden = false;
  const width = menuElement.offsetWidth;
  const height = menuElement.offsetHeight;
  menuElement.style.left = `${Math.max(0, Math.min(x, innerWidth - width))}px`;
  menuElement.style.top = `${Math.max(0, Math.min(y, innerHeight - height))}px`;
}

function closeMenu() {
  menuElement.hidden = true;
}

treeElement.addEventListener('contextmenu', (event) => {
  event.preventDefault();
  state.selected = null;
  render();
  updateToolbar();
  openMenu(event.clientX, event.clientY, null);
});
document.addEventListener('click', (event) => {
  if (!menuElement.contains(event.target)) closeMenu();
});
document.addEventListener('keydown', (event) => {
  if (event.key === 'Escape') closeMenu();
  if (event.key === 'F2' && !state.editing) run.rename();
  if (event.key === 'Delete' && !state.editing) void run.delete();
});

const toolbar = document.getElementById('toolbar');
for (const name of TOOLBAR) toolbar.appendChild(toolButton(name, runCommand));
updateToolbar();
void treeRequest('list');
