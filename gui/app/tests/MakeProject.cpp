// dw_make_project <out.dwv> [source file]: writes a default project that names
// the given music source, for the start-up test of the real program.
#include "core/model/ProjectFile.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: dw_make_project <out.dwv> [source file]\n");
        return 2;
    }
    dw::CProject project;
    if (argc > 2) project.properties.sourcePath = argv[2];
    dw::RecordingProgress sink;
    if (!dw::StoreProject(project, argv[1], sink)) {
        for (const auto& m : sink.messages) std::fprintf(stderr, "%s\n", m.text.c_str());
        return 1;
    }
    return 0;
}
