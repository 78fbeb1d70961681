// The browser extensions and their native messaging hosts: the names the
// browsers know them by. The extension's id follows from the public key
// pinned in its manifest (extensions/marrowind/manifest.json; the Flash
// extension's key is in extensions/glintcatch/KEY.txt), so a host manifest
// can name it before the extension is ever loaded.
#pragma once

namespace velkin::platform {

struct BrowserExtension {
  const char* hostName;     // the native messaging host's name
  const char* hostProgram;  // the host's executable file name
  const char* chromiumId;   // the extension id in Chromium and Chrome
  const char* geckoId;      // the add-on id in Firefox
  const char* description;
};

inline constexpr BrowserExtension kMarrowindExtension{
    "com.velkinweb.marrowind", "marrowind-host", "ccoohepbkfgcoppcfnaipiglhpmngokm", "marrowind@velkinweb.example",
    "Velkin Web browser capture"};

inline constexpr BrowserExtension kGlintcatchExtension{
    "com.velkinweb.glintcatch", "glintcatch-host", "afphagoinfljpokfgecbobkclominpol", "glintcatch@velkinweb.example",
    "Velkin Web Flash capture"};

}  // namespace velkin::platform
