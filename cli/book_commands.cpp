#include "cli/cli.h"

namespace velkin::cli {

int runBuildChm(Context& context, const Arguments&) { return failure(context, "build-chm: not built yet"); }
int runBuildHtml(Context& context, const Arguments&) { return failure(context, "build-html: not built yet"); }

}  // namespace velkin::cli
