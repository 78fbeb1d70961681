// Velkin Web capture: the options page. QuickSave lives in Velkin Web's
// settings store (the command line and the host read it there), so the page
// reads and writes it through the native host.
'use strict';

const HOST_NAME = 'com.velkinweb.marrowind';
const SET_UP_INCORRECT = 'marrowind set up incorrect!\nPlease setup marrowind again.';

const checkbox = document.getElementById('quickSave');
const status = document.getElementById('status');

function showStatus(text, isError) {
  status.textContent = text;
  status.className = isError ? 'error' : '';
}

// One request to the host; resolves with its reply, rejects with the
// browser's reason when the host cannot be reached.
function askHost(message) {
  return new Promise((resolve, reject) => {
    chrome.runtime.sendNativeMessage(HOST_NAME, message, (reply) => {
      const error = chrome.runtime.lastError;
      if (error || !reply) reject(new Error((error && error.message) || 'no reply'));
      else resolve(reply);
    });
  });
}

async function exchange(message) {
  try {
    const reply = await askHost(message);
    if (!reply.ok) throw new Error(reply.error || 'refused');
    checkbox.checked = reply.quickSave === true;
    checkbox.disabled = false;
    showStatus(checkbox.checked ? 'Pages are saved at once.' : 'The capture dialog asks where to save.', false);
  } catch (error) {
    console.warn('marrowind: options:', error.message);
    checkbox.disabled = true;
    showStatus(SET_UP_INCORRECT, true);
  }
}

checkbox.addEventListener('change', () => {
  checkbox.disabled = true;
  exchange({ request: 'options', quickSave: checkbox.checked });
});
exchange({ request: 'options' });
