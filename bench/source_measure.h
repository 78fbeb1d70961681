// Shared by source_bench and startup_bench: opening a large page in the HTML
// source view (CKestrovaView, real widgets) against putting the same text
// into a plain, uncoloured text edit, on Qt's offscreen platform. Needs a
// QApplication.
//
// Each run times the opening, from the call that puts the text in to the
// text painted, and watches the user-interface thread meanwhile: the longest
// gap between two ticks of a 1 ms timer, that is the longest time the window
// would not answer. The source view's run goes on until its whole text is
// coloured.
#pragma once

#include <QString>
#include <functional>
#include <vector>

#include "platform/registry.h"

class CKestrovaView;
class QPlainTextEdit;

namespace velkin::bench {

// A generated page of about 5 MB of markup: lines of tags, quoted attribute
// values, comments, text and a few long lines of script.
QString generatedSourcePage();

struct PlainRun {
  double shownMs = 0;  // from the call to the text painted
  double stallMs = 0;  // the longest stall from the call until settled
};
// Opens text in a plain text edit through open (which puts it in).
PlainRun plainEditRun(const std::function<void(QPlainTextEdit&)>& open);

struct SourceRun {
  double shownMs = 0;        // from the call to the text painted
  double openStallMs = 0;    // the longest stall from the call to the whole text coloured
  double colourStallMs = 0;  // the longest stall once the text is shown
  double colourSeconds = 0;  // from the call to the whole text coloured
};
// Opens text in a source view through open.
SourceRun sourceViewRun(platform::Registry& registry, const std::function<void(CKestrovaView&)>& open);

double median(std::vector<double> values);

}  // namespace velkin::bench
