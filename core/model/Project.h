#pragma once
// The one document the application works on. The main window owns exactly one
// for the whole run and changes it in place: New and Open rewrite its content,
// they never replace the object, because every panel holds a pointer to it.

#include <cstdint>
#include <memory>
#include <string>

#include "core/model/Matrix.h"
#include "core/model/Properties.h"
#include "core/model/Sections.h"

namespace dw {

class CProject {
public:
    CProject() = default;
    CProject(const CProject&) = delete;
    CProject& operator=(const CProject&) = delete;

    // A new project: default sections, default matrix, default properties.
    // The graph set, musicOutdated and the decoded source are not touched.
    void SetDefaults();

    CProperties properties;
    CMatrix matrix;
    CGraphSet graphs;
    CSections sections;
    // Nonzero while the created music does not match the project. Only zero
    // against nonzero is ever tested; some editors write 2 so that a 1 stays.
    std::uint32_t musicOutdated = 1;
};

// A copy of `project` to create music from on another thread: its settings,
// sections, matrix and graphs, its up-to-date mark and a copy of its decoded
// source, so that the project can be edited (or its source replaced)
// meanwhile. Null when the memory for the source cannot be had.
std::unique_ptr<CProject> CopyForCreation(const CProject& project);

// Checks every invariant of the properties, sections and matrix (ranges,
// sample rate of the quality, section order and bounds, column count equal to
// section count, values in [0, 1], no NaN). Returns an empty string when all
// hold, otherwise a short English description of the first broken one (for
// tests and diagnostics, not for the user).
std::string CheckInvariants(const CProject& project);

}  // namespace dw
