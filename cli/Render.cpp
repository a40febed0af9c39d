#include "cli/Render.h"

#include <ostream>

#include "cli/Cli.h"

namespace dw::cli {

int RunRender(const RenderRequest&, std::ostream&, std::ostream& err, bool) {
    err << "driftwell-cli: rendering is not available in this build yet.\n";
    return kExitFailed;
}

}  // namespace dw::cli
