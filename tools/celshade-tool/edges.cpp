// celshade-tool edges FILE [--threshold T] [--out PATH]: the outline pass's edge list for a
// model, loaded by the frame recipe's own steps.

#include <bit>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "Command.h"
#include "DeviceCommands.h"
#include "TimeLimit.h"
#include "d3dsupport/Mdx8.h"
#include "edges/Module1.h"
#include "scene/FrameRecipe.h"
#include "runtime/Error.h"

namespace {

struct Options {
    std::string file;
    float threshold = 0.5f;
    std::optional<std::string> out;
};

// Why the command line is wrong, or nothing when it is right. After "--" every word is a file.
std::optional<std::string> parseOptions(const std::vector<std::string>& args, Options& o) {
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--" && !optionsEnded) {
            optionsEnded = true;
        } else if (optionsEnded || a.rfind("-", 0) != 0) {
            if (!o.file.empty()) return "one file at a time";
            o.file = a;
        } else if (a == "--threshold" || a == "--out" || a == kTimeLimitOption) {
            if (!hasValue) return a + " needs a value";
            const std::string& v = args[++i];
            if (a == "--out") {
                o.out = v;
                continue;
            }
            if (a == kTimeLimitOption) {
                const std::optional<std::chrono::milliseconds> limit = parseTimeLimit(v);
                if (!limit) return a + " takes 0 to 86400 seconds, not " + v;
                setImportTimeLimit(*limit);
                continue;
            }
            char* end = nullptr;
            o.threshold = std::strtof(v.c_str(), &end);
            if (end == v.c_str() || *end != '\0' || !std::isfinite(o.threshold)) return "bad value for --threshold: " + v;
        } else {
            return "unknown option " + a;
        }
    }
    if (o.file.empty()) return "no file given";
    return std::nullopt;
}

bool carriesNeighbourNormal(const edgeVertex& v) {
    return !(v.normalB.x == -v.normalA.x && v.normalB.y == -v.normalA.y && v.normalB.z == -v.normalA.z);
}

void writeRecords(const std::string& path, const Module1::EdgeList& lines) {
    static_assert(std::endian::native == std::endian::little, "records are written as little-endian bytes");
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(lines.data()), std::streamsize(lines.size() * sizeof(edgeVertex)));
    out.close();  // writes what is still buffered, which can fail too
    if (!out) rt::raiseRuntime(rt::errc::PathFileAccess, path);
}

int run(const std::vector<std::string>& args) {
    Options o;
    if (const std::optional<std::string> wrong = parseOptions(args, o)) return usageError("edges", *wrong);
    // The mesh and attribute table exactly as scene setup makes them (no device is needed).
    recipe::loadModel(o.file);
    const std::vector<D3DXATTRIBUTERANGE>& ranges = Mdx8::sceneMesh.attribRanges;
    const std::shared_ptr<D3DXMesh> mesh = Mdx8::sceneMesh.mesh;

    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();
    const Module1::EdgeList lines = Module1::buildEdges(*mesh, ranges, o.threshold, [] {});
    const double cpuMs = 1000.0 * double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;

    // Success is reported only once the records are written.
    if (o.out) writeRecords(*o.out, lines);
    size_t withNeighbour = 0;
    for (size_t i = 0; i < lines.size(); i += 2) withNeighbour += carriesNeighbourNormal(lines[i]) ? 1 : 0;
    std::printf("%s: %u faces in %zu ranges, %zu entries (%zu lines), %zu lines carry a neighbour normal "
                "(threshold %g), built in %.3f ms (%.3f ms CPU)\n",
                o.file.c_str(), mesh->GetNumFaces(), ranges.size(), lines.size(), lines.size() / 2,
                withNeighbour, o.threshold, elapsed.count(), cpuMs);
    return 0;
}

const Command kCommand{"edges", kEdgesSynopsis, kEdgesHelp, &run};

}  // namespace
