#pragma once
// Small projects and synthetic sources for the engine tests.

#include <cstdint>
#include <vector>

#include "core/model/Project.h"

namespace dw::test {

// A deterministic stereo source of `frames` frames: a few partials with a
// slow swell and a little noise, peak below 1. Does not touch the process
// random generator.
void SetSyntheticSource(CProject& project, std::uint32_t frames);

// Sets every cell of graph `graph` to `value`.
void SetGraph(CProject& project, int graph, float value);

// A short project that renders quickly: 10 s at 11025 Hz, the default four
// sections and matrix, 20 s of synthetic source.
void MakeSmallProject(CProject& project);

// MakeSmallProject with 2 s grains at 50 a second (Granulation and
// Smoothness 0): a third of the work, for the tables that render a lot.
void MakeLightProject(CProject& project);

// Bytes of a frame buffer, for exact comparisons.
std::vector<std::uint8_t> Bytes(const void* data, std::size_t frames);

}  // namespace dw::test
