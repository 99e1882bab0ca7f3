// The deep type in the renderer: views past FPU Extended, computed by
// perturbation around an MPFR reference orbit (engine/DeepZoom.h). Only the
// builds that have MPFR compile this (QUAXEL_DEEP); the others refuse deep
// views with a message.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/render/Render.h"

// Reads the location file of --location into the options: its centre and
// zoom, and its iterations as one pass to them unless --iter was given.
// Keys it does not use are named in one warning. False with a one-line
// reason for a file that cannot be read or holds no usable view.
bool ReadLocationInto(RenderOptions& options, std::vector<std::string>& warnings, std::string& error);

// One deep image of the options' centre and zoom, or of `view`'s ranges
// when no centre was given, with the palette `colours` and `table`, written
// to `output` unless the progress ended the run. `reason` says why the
// deep type was taken. With --reference in the options the reference orbit
// is at that point when the view contains it, copied from `shared` when
// that was computed there.
bool RenderDeep(const RenderOptions& options, const CoordinateSet& view, const ColourParams& colours,
                const uint8_t* table, const std::string& reason, const std::string& output,
                RenderProgress* progress, RenderResult& result, std::string& error,
                const DeepReference* shared = nullptr);
