#include "cli/cli.h"

namespace velkin::cli {

int runCapture(Context& context, const Arguments&) { return failure(context, "capture: not built yet"); }

}  // namespace velkin::cli
