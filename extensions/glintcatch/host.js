// Velkin Web for Flash: the connection to the native host
// "com.velkinweb.glintcatch", shared by the background, the side panel and
// the player page. Requests carry an id and the reply with the same id
// settles them; messages without an id are the host's events (the Flash
// folder changed). A closed port fails every open request with the
// browser's reason, and the next request opens a new port.
'use strict';

const GLINTCATCH_HOST = 'com.velkinweb.glintcatch';
const GLINTCATCH_SETUP_INCORRECT = 'glintcatch set up incorrect!\nPlease setup glintcatch again.';

class GlintcatchHost {
  // onEvent(message) gets the host's events while the port is open.
  constructor(onEvent = () => {}) {
    this.onEvent = onEvent;
    this.port = null;
    this.pending = new Map();
    this.nextId = 1;
  }

  open() {
    if (this.port) return this.port;
    const port = chrome.runtime.connectNative(GLINTCATCH_HOST);
    port.onMessage.addListener((message) => {
      const waiter = message && message.id !== undefined ? this.pending.get(message.id) : undefined;
      if (waiter) {
        this.pending.delete(message.id);
        waiter.resolve(message);
      } else if (message && message.event) {
        this.onEvent(message);
      }
    });
    port.onDisconnect.addListener(() => {
      const error = chrome.runtime.lastError || port.error;
      const reason = (error && error.message) || 'the host closed the connection';
      if (this.port === port) this.port = null;
      for (const waiter of this.pending.values()) waiter.reject(new Error(reason));
      this.pending.clear();
    });
    this.port = port;
    return port;
  }

  // The host's reply to message; rejects when the host cannot be reached,
  // goes away before it answers, or (with timeoutMs) takes longer than that.
  request(message, timeoutMs = 0) {
    return new Promise((resolve, reject) => {
      const id = this.nextId++;
      const timer = timeoutMs > 0 ? setTimeout(() => {
        this.pending.delete(id);
        reject(new Error('the host did not answer in time'));
      }, timeoutMs) : null;
      const settle = (done) => (value) => {
        clearTimeout(timer);
        done(value);
      };
      this.pending.set(id, { resolve: settle(resolve), reject: settle(reject) });
      try {
        this.open().postMessage({ ...message, id });
      } catch (error) {
        this.pending.delete(id);
        clearTimeout(timer);
        reject(error);
      }
    });
  }

  close() {
    if (this.port) this.port.disconnect();
    this.port = null;
  }
}

// One request on a connection of its own, closed when answered: for the
// requests that run the host's dialogs, so that they never hold up the
// probes of the pages on the shared connection.
async function requestOnce(message) {
  const host = new GlintcatchHost();
  try {
    return await host.request(message);
  } finally {
    host.close();
  }
}
