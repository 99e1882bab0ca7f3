// The deep type: perturbation around one reference orbit. The reference
// Z_m (Mandelbrot, from Z_0 = 0 at the view's centre C) is iterated in MPFR
// at the view's precision and stored as doubles; each pixel keeps only its
// difference z from it, in double:
//   z <- (2 Z_m + z) z + dc,  m <- m + 1,
// with its point C + dc. Its value is Z_m + z, escaping as the other types
// do (|Z_m + z|^2 > 4, the count the first step where that holds). Rebasing
// instead of glitch repair: whenever |Z_m + z| < |z|, or m reaches the end
// of the reference, z <- Z_m + z and m <- 0, so one reference serves every
// pixel.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/DeepBla.h"
#include "engine/DeepView.h"
#include "engine/PomeClc.h"

// Figures of one calculation, for the renderer's output and the benchmark.
struct DeepStatistics {
    int64_t referenceSteps = 0;     // length of the reference orbit computed
    double referenceSeconds = 0.0;  // time spent computing it
    int64_t steps = 0;              // difference steps of all pixels
    int64_t rebases = 0;
    int32_t passes = 0;
    bool referenceShared = false;   // copied from a DeepReference, not computed here
    // With the approximation (DeepApproximation): the steps that entries
    // took (the rest of `steps` were ordinary ones), the entries taken, and
    // the table's size and the time spent building it.
    int64_t tableSteps = 0;
    int64_t tableUses = 0;
    int64_t tableEntries = 0;
    int64_t tableBytes = 0;
    double tableSeconds = 0.0;
    bool tableMissing = false;  // asked for, but no memory: every step was an ordinary one
};

// Bilinear approximation (DeepBla.h): off, every step an ordinary one, or on
// with the tolerance that bounds each entry's radius. With it on, the
// reference is computed to the end before the first pass, so that every
// pass reads the same entries: progressive passes give the one-shot bytes.
struct DeepApproximation {
    bool on = false;
    double tolerance = kBlaDefaultTolerance;
};

// A reference orbit computed once and read by many calculations, the deep
// frames of a movie: Z_0 .. Z_end at one point, iterated exactly as a
// calculation iterates its own, and stored in each difference number asked
// for. Read-only once computed: threads may set up from it at once.
class DeepReference {
public:
    DeepReference();
    ~DeepReference();
    DeepReference(const DeepReference&) = delete;
    DeepReference& operator=(const DeepReference&) = delete;

    // The orbit of C = (re, im) at their precision (the same for both) to
    // Z_end or the first value with |Z|^2 > 4. False with a one-line reason
    // when the memory for it is not there.
    bool Compute(const BigFloat& re, const BigFloat& im, int32_t end, const std::vector<DeepDifference>& forms,
                 std::string& error);

    int32_t Steps() const;
    double Seconds() const;

private:
    friend class DeepCalculation;
    struct Orbit;
    std::unique_ptr<Orbit> orbit_;
};

// Told after each finished row (any thread order; answering false stops the
// calculation: the image is then unfinished).
struct DeepProgress {
    virtual bool AfterRow(int32_t rowsDone, int32_t rowsPerPass, int32_t pass, int32_t limit) = 0;

protected:
    ~DeepProgress() = default;
};

class DeepCalculation {
public:
    DeepCalculation();
    ~DeepCalculation();
    DeepCalculation(const DeepCalculation&) = delete;
    DeepCalculation& operator=(const DeepCalculation&) = delete;

    // A new calculation of `view` in passes with limits iterStart,
    // iterStart + iterInc, ... up to iterEnd (the other types' pass rule),
    // writing palette indices into `image` (same size as the view; null:
    // counts only) under the colour rule of `colours`. False with a
    // one-line reason when the memory for the pixels or the reference is
    // not there (nothing is kept then). With `shared` computed at the
    // view's centre and precision in the view's difference number, its
    // orbit is copied instead of computed: the same values, so the same
    // bytes (an orbit longer than the limit changes no pixel).
    bool SetUp(const DeepView& view, int32_t iterStart, int32_t iterInc, int32_t iterEnd, DibImage* image,
               const ColourParams& colours, std::string& error, const DeepReference* shared = nullptr);

    // Takes the approximation for every pass from now on (before the first;
    // off unless asked).
    void Approximate(const DeepApproximation& approximation);

    // Every pass to the end, rows shared by the engine's row threads
    // (RowThreads()); the bytes do not depend on their number. Returns the
    // number of passes computed.
    int32_t CalculateToEnd(DeepProgress* progress = nullptr);

    // Raises the end as RaiseIterEnd does for the other types: the reference
    // and every pixel's difference orbit are continued, not restarted. With
    // the approximation the pixels start again (their entries depend on the
    // end), the reference and its table go on: either way the result is a
    // calculation's to the new end. False (the end unchanged) when there is
    // no memory for the longer reference.
    bool RaiseIterEnd(int32_t newEnd);

    // The escape count of pixel (x, y), NotEscaped while it is inside.
    int32_t EscapeCountAt(int32_t x, int32_t y) const;

    // The orbit's value at the escape step, Z_m + z as the step computed it,
    // rounded to double (its modulus is above 2, so double holds it as well
    // as any number would); false while the pixel is inside. Smooth
    // colouring takes the orbit a few steps further from it.
    bool EscapeValueAt(int32_t x, int32_t y, double& re, double& im) const;

    const DeepStatistics& Statistics() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};
