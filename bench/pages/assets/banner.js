// Written by an external script: absent when the script file is missing.
window.addBanner = function (slot) {
  var banner = document.createElement('div');
  banner.id = 'banner';
  banner.textContent = 'Banner drawn by a SCRIPT file';
  slot.appendChild(banner);
};
