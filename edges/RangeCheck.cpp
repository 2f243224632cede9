// The attribute table comes from a different mesh object than the one being read (the
// progressive load), so it is checked against this mesh's face count before any face is
// touched. It is copied because a handler running in a yield may replace the scene's table.

#include <string>

#include "EdgeStages.h"
#include "runtime/Error.h"

namespace Module1::detail {

namespace {

std::string describe(size_t entry, const D3DXATTRIBUTERANGE& r) {
    return "attribute range " + std::to_string(entry) + " (faces " + std::to_string(r.FaceStart) + " + " +
           std::to_string(r.FaceCount) + ")";
}

}  // namespace

std::vector<D3DXATTRIBUTERANGE> checkedRanges(std::span<const D3DXATTRIBUTERANGE> ranges, uint32_t faceCount) {
    uint64_t total = 0;
    for (size_t i = 0; i < ranges.size(); ++i) {
        const D3DXATTRIBUTERANGE& r = ranges[i];
        if (uint64_t{r.FaceStart} + r.FaceCount > faceCount)
            rt::raiseRuntime(rt::errc::SubscriptOutOfRange,
                             "buildEdges: " + describe(i, r) + " passes the mesh's " + std::to_string(faceCount) +
                                 " faces");
        total += r.FaceCount;
        // Overlapping ranges are harmless as long as the six entries per face still fit.
        if (total > faceCount)
            rt::raiseRuntime(rt::errc::SubscriptOutOfRange,
                             "buildEdges: the ranges up to " + describe(i, r) + " hold " + std::to_string(total) +
                                 " faces, more than the mesh's " + std::to_string(faceCount));
    }
    return {ranges.begin(), ranges.end()};
}

}  // namespace Module1::detail
