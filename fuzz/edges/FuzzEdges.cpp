// The edge list builder against the plain scan of tests/edges on meshes made from the input:
// positions from a pool of awkward values (-0, NaN, infinities, repeats) or raw floats, faces
// over them, an attribute table, a threshold and threshold changes at chosen yields. A valid
// case must give the scan's lines byte for byte and the same progress at every yield; an
// invalid one (an index naming no vertex, ranges past the faces or holding too many, a layout
// other than 32-byte vertices) must raise the error the builder promises.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <set>
#include <vector>

#include "EdgeTestMeshes.h"
#include "edges/Module1.h"
#include "runtime/Error.h"

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

float value(FuzzedDataProvider& in) {
    static constexpr float kPool[] = {0.0f, -0.0f, 1.0f, -1.0f, 0.5f, 2.0f, 3.0f, 0.70710677f, kNaN, kInf, -kInf, 1e-45f};
    const uint8_t pick = in.ConsumeIntegral<uint8_t>();
    if (pick < 200) return kPool[pick % std::size(kPool)];
    return in.ConsumeFloatingPoint<float>();
}

struct Case {
    std::vector<D3DVECTOR> positions;
    std::vector<uint16_t> corners;
    std::vector<D3DXATTRIBUTERANGE> ranges;
    float threshold = 0.5f;
    std::vector<std::pair<uint32_t, float>> changes;  // (yield number, new threshold)
    uint32_t options = D3DXMESH_MANAGED, fvf = 274;
    std::set<int32_t> faults;  // error numbers the builder may raise for this case
};

Case makeCase(FuzzedDataProvider& in) {
    Case c;
    const uint32_t vertices = in.ConsumeIntegralInRange<uint32_t>(1, 24);
    for (uint32_t v = 0; v < vertices; ++v) {
        if (v > 0 && in.ConsumeIntegralInRange<uint8_t>(0, 3) == 0)
            c.positions.push_back(c.positions[in.ConsumeIntegralInRange<uint32_t>(0, v - 1)]);  // a split vertex
        else
            c.positions.push_back({value(in), value(in), value(in)});
    }
    const uint32_t faces = in.ConsumeIntegralInRange<uint32_t>(0, 64);
    for (uint32_t i = 0; i < 3 * faces; ++i) {
        // Mostly reuse an earlier corner, so that faces share edges either way round.
        const bool reuse = i > 0 && in.ConsumeBool();
        uint16_t corner = reuse ? c.corners[in.ConsumeIntegralInRange<size_t>(0, i - 1)]
                                : in.ConsumeIntegralInRange<uint16_t>(0, uint16_t(vertices));
        if (corner == vertices) {
            if (in.ConsumeIntegralInRange<uint8_t>(0, 15) == 0) c.faults.insert(rt::errc::SubscriptOutOfRange);
            else corner = 0;
        }
        c.corners.push_back(corner);
    }
    uint64_t total = 0;
    for (uint32_t r = 0, n = in.ConsumeIntegralInRange<uint32_t>(0, 4); r < n; ++r) {
        const uint32_t start = in.ConsumeIntegralInRange<uint32_t>(0, faces + 1);
        const uint32_t count = in.ConsumeIntegralInRange<uint32_t>(0, faces + 1);
        c.ranges.push_back(edgetest::range(start, count));
        total += count;
        if (uint64_t{start} + count > faces || total > faces) c.faults.insert(rt::errc::SubscriptOutOfRange);
    }
    c.threshold = value(in);
    for (uint32_t i = 0, n = in.ConsumeIntegralInRange<uint32_t>(0, 3); i < n; ++i)
        c.changes.push_back({in.ConsumeIntegralInRange<uint32_t>(1, faces + 1), value(in)});
    switch (in.ConsumeIntegralInRange<uint8_t>(0, 31)) {
    case 0: c.options |= D3DXMESH_32BIT; break;  // read as well as 16-bit indices
    case 1: c.fvf = 0x102, c.faults.insert(rt::errc::InvalidCall); break;  // position and one texture pair
    default: break;
    }
    return c;
}

// The lines of a build and the progress each yield saw, the case's threshold changes applied
// at the yields.
template <typename Lines, typename Build>
std::vector<int32_t> run(const Case& c, const int32_t& progress, Lines& lines, Build build) {
    float threshold = c.threshold;
    std::vector<int32_t> seen;
    lines = build(threshold, [&] {
        seen.push_back(progress);
        for (const auto& [yield, value] : c.changes)
            if (yield == seen.size()) threshold = value;
    });
    seen.push_back(progress);
    return seen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const Case c = makeCase(in);
    const auto mesh = edgetest::makeMesh(c.positions, c.corners, c.options, c.fvf);
    Module1::EdgeList built;
    std::vector<int32_t> builtProgress;
    try {
        builtProgress = run(c, Module1::edgeProgress, built, [&](const float& t, const Module1::YieldFn& yield) {
            return Module1::buildEdges(*mesh, c.ranges, t, yield);
        });
    } catch (const rt::Error& e) {
        if (c.faults.count(e.number()) == 0) __builtin_trap();  // an error for a valid case, or the wrong one
        return 0;
    }
    if (!c.faults.empty()) __builtin_trap();  // a faulty case built without complaint

    int32_t scanProgress = 0;
    std::vector<edgeVertex> scanned;
    const std::vector<int32_t> expectedProgress =
        run(c, scanProgress, scanned, [&](const float& t, const std::function<void()>& yield) {
            return edgetest::scanEdges(*mesh, c.ranges, t, yield, scanProgress);
        });
    if (!edgetest::sameBytes(built, scanned) || builtProgress != expectedProgress) __builtin_trap();
    return 0;
}
