// The build progress bar's figure for book_bench: appending 1 MB of compiler
// output in 256-byte chunks, as the console runner delivers it, against
// appending the same text in one piece. Needs the Qt widgets; book_bench
// builds it in only when the main program is built.
#pragma once

namespace velkin::bench {

// Prints "book_output_append ratio R goal <= 3" with the absolute times as
// comment lines; runs is the number of timed runs of each (median).
void compareBuildOutputAppends(int runs);

}  // namespace velkin::bench
