#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "driver/pdf/curvefit.h"
#include "swf/fprimitives.h"

class FFillStyle;

// Office suites write a radial or ellipsoid gradient as a run of filled
// polygons, each an ellipse a little inside the one before it and a step
// of colour on from it: a hundred of them, hundreds of points each, where
// one radial gradient fill says the same. A run is gathered here and given
// back as that fill, or as its steps when it is too short or its colours
// need more stops than a shape holds.

// An upright ellipse: its centre and its radii.
struct StepEllipse {
    double cx = 0, cy = 0, rx = 0, ry = 0;
};

// The ellipse a polygon of many corners lies on (within `tolerance`, in
// its units); none for any other polygon.
std::optional<StepEllipse> EllipseOfCorners(const std::vector<OutlinePoint>& corners, double tolerance);

class SteppedGradient {
public:
    // A step: a polygon, or the ring an even-odd fill of two makes (each
    // step drawn round the next one in, as some suites write them).
    struct Step {
        Outline outline;  // as the page gives it
        bool evenOdd = false;
        FColor color{0, 0, 0, 255};
        std::vector<OutlinePoint> outer;
        std::vector<OutlinePoint> inner;  // empty for a polygon
        Bounds bounds;                    // the outer polygon's
    };
    // The fill a run is drawn as: the outermost step's area filled radially.
    struct Fill {
        Outline region;
        bool evenOdd = false;
        std::unique_ptr<FFillStyle> style;
    };

    // The outline as a step (its outline left empty), if it may be one.
    static std::optional<Step> StepOf(const Outline& outline, bool evenOdd, FColor color);
    bool Empty() const { return steps.empty(); }
    size_t Size() const { return steps.size(); }
    // The corners of the steps gathered (they are not yet drawn, so not yet
    // counted against the page's edges).
    size_t GatheredCorners() const { return corners; }
    // Whether a step would carry the run on: within the last one (the
    // last's hole, for a ring), its colour a small step from the last's.
    bool Continues(const Step& step) const;
    void Add(Step step)
    {
        corners += step.outer.size() + step.inner.size();
        steps.push_back(std::move(step));
    }
    // The run as one fill; none when it is not worth one, its steps are not
    // ellipses about one centre (each cut to the outermost step's area, as
    // a gradient is to its shape) within `tolerance`, or its colours do not
    // fit the stops a shape holds within `colorTolerance` levels.
    std::optional<Fill> AsGradient(double tolerance, double colorTolerance) const;
    // The steps, the run emptied.
    std::vector<Step> Take();

private:
    std::vector<Step> steps;
    size_t corners = 0;
};
