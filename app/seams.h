// Seams: the parts of a window that talk to the user or the desktop (file
// dialogs, questions, programs run), held as functions so tests can answer
// them. A window's setSeams takes each one given, else keeps the one it has,
// else makes its default.
#pragma once

#include <utility>

namespace velkin::app {

template <typename Seam, typename MakeDefault>
void takeSeam(Seam& mine, Seam& given, MakeDefault makeDefault) {
  if (given) {
    mine = std::move(given);
  } else if (!mine) {
    mine = makeDefault();
  }
}

}  // namespace velkin::app
