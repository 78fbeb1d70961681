// Velkin Web for Flash: the commands of the Flash bar and of the Flash
// folder panel, with their tooltips, menu texts and 14-pixel images, shared
// by the content script (the bar) and the side panel.
'use strict';

globalThis.glintcatchCommands = globalThis.glintcatchCommands || (() => {
  const commands = {
    newFolder: { tip: 'New Folder', menu: 'New Folder', icon: 'M1 3h4l1 1.5h7V12H1zM9.5 6.5v4M7.5 8.5h4' },
    save: { tip: 'Save', menu: 'Save', icon: 'M2 2h8l2 2v8H2zM4 2v3h5V2M4 8h6v4H4z' },
    options: { tip: 'Options', menu: 'Options', icon: 'M7 4a3 3 0 1 0 0.01 0M7 1v2M7 11v2M1 7h2M11 7h2' },
    rename: { tip: 'Rename', menu: 'Rename', icon: 'M2 12l1-3 7-7 2 2-7 7zM8.5 3.5l2 2' },
    delete: { tip: 'Delete', menu: 'Delete', icon: 'M3 4h8M5.5 4V2.5h3V4M4 4l.7 8.5h4.6L10 4' },
    refresh: { tip: 'Refresh', menu: 'Refresh', icon: 'M11.5 6A4.5 4.5 0 1 0 10 10.5M11.5 2.5V6H8' },
    help: { tip: 'Help', menu: 'Help', icon: 'M4.5 5a2.5 2.5 0 1 1 3.5 2.3C7.3 7.7 7 8.2 7 9M7 11v1.5' },
    about: { tip: 'About', menu: 'About', icon: 'M7 1.5a5.5 5.5 0 1 0 0.01 0M7 6v5M7 3.5v1' },
  };
  // A command's image as SVG markup (the paths are fixed texts above).
  const image = (name) => `<svg viewBox="0 0 14 14" aria-hidden="true"><path d="${commands[name].icon}"/></svg>`;
  // A tool button for command name (null: a separator) that runs run(name).
  const toolButton = (name, run) => {
    const element = document.createElement(name ? 'button' : 'span');
    if (!name) {
      element.className = 'separator';
      return element;
    }
    element.title = commands[name].tip;
    element.setAttribute('aria-label', commands[name].tip);
    element.dataset.command = name;
    element.innerHTML = image(name);
    element.addEventListener('click', () => run(name));
    return element;
  };
  return { commands, image, toolButton };
})();
