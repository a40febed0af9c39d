// Feeds arbitrary bytes to the project loader. Beyond "no crash, leak or
// undefined behaviour" it checks the loader's promises: a failed load leaves
// the project exactly as it was, a successful one leaves every invariant
// holding, and what was loaded stores and loads back to the same bytes.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "core/model/ProjectFile.h"

namespace {

class CountingSink final : public dw::IMessageSink {
public:
    void ShowMessage(int, std::string_view, dw::MessageIcon) override { ++count; }
    int count = 0;
};

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_load_project: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    dw::CProject project;
    const auto before = dw::StoreProjectToBytes(project);
    CountingSink sink;
    const bool loaded = dw::LoadProjectFromBytes(project, std::span(data, size), sink);
    if (!loaded) {
        if (sink.count != 1) Fail("a refused file must give exactly one message");
        if (dw::StoreProjectToBytes(project) != before) Fail("a refused file changed the project");
        return 0;
    }
    if (sink.count != 0) Fail("a loaded file gave a message");
    if (const auto problem = dw::CheckInvariants(project); !problem.empty()) Fail(problem.c_str());
    const auto stored = dw::StoreProjectToBytes(project);
    dw::CProject again;
    if (!dw::LoadProjectFromBytes(again, stored, sink)) Fail("a stored project does not load");
    if (dw::StoreProjectToBytes(again) != stored) Fail("a stored project does not load back the same");
    return 0;
}
