// The bundled player's settings, read by ruffle/ruffle.js when it loads: its
// files lie in the extension's ruffle/ folder, and it never reaches out to
// polyfill pages or open the movie's links.
'use strict';

window.RufflePlayer = {
  config: {
    publicPath: 'ruffle/',
    polyfills: false,
    autoplay: 'on',
    unmuteOverlay: 'hidden',
    splashScreen: false,
    openUrlMode: 'deny',
    showSwfDownload: false,
    letterbox: 'on',
  },
};
