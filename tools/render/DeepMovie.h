// Zoom movies to a target given by centre and zoom, to any depth. Every
// frame is a view of centre and zoom, computed in MPFR and handed on as
// decimal texts: the frame is then exactly the single image those texts
// make (--centre RE IM --zoom Z), which chooses its numeric type as any
// single image does. Only the builds with MPFR have them (QUAXEL_DEEP).
#pragma once

#include <cstdint>
#include <string>

#include "engine/BigFloat.h"
#include "engine/DeepView.h"
#include "tools/render/Render.h"

struct DeepMovie {
    int32_t frames = 0;
    int32_t shorterSide = 0;            // min(width, height): the zoom's side
    CoordinateSet start, target;        // the iteration values at the ends
    std::string targetRe, targetIm, targetZoom;  // as given: the last frame, and the shared reference
    BigFloat startRe, startIm, startSpacing;     // frame 0, at `working` bits
    BigFloat targetCentreRe, targetCentreIm, targetSpacing;
    mpfr_prec_t precision = 0;  // the shared reference's: that of the deepest frame
    mpfr_prec_t working = 0;    // of the interpolation
    int32_t iterEnd = 0;        // the highest limit of any frame
};

// The movie from `start` (its ranges: frame 0 is their centre at the
// spacing that shows all of them with square pixels) to the options' centre
// and zoom. False with a one-line reason for texts MPFR cannot read.
bool PlanDeepMovie(const RenderOptions& options, const CoordinateSet& start, DeepMovie& movie, std::string& error);

struct DeepMovieFrame {
    std::string re, im, zoom;  // the view, as --centre RE IM --zoom Z take it
    int32_t iterStart = 0, iterInc = 0, iterEnd = 0;
    bool deep = false;               // fine enough for the deep type
    DeepDifference difference = DeepDifference::Double;  // its number there
};

// Frame `frame`: the spacing shrinks by the same factor every frame,
// s = s0 (s1 / s0)^t with t = frame / (frames - 1), and the centre keeps
// the point that start and target share under that zoom in place,
// c = c1 + (c0 - c1) (s - s1) / (s0 - s1), as in the other zoom movies; the
// iteration values go log-linearly. The last frame is the target's texts.
DeepMovieFrame DeepMovieFrameAt(const DeepMovie& movie, int32_t frame);
