// celshade-tool info FILE...: what the program would load from each model file.


#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "Command.h"
#include "TimeLimit.h"
#include "d3dx8/D3DX8.h"
#include "d3dx8/MeshLoader.h"
#include "d3dx8/ModelFile.h"
#include "import/ImportProcess.h"
#include "runtime/Error.h"
#include "runtime/Heap.h"
#include "xfile/Buffer.h"
#include "xfile/XFile.h"

namespace {

// A file's description, printed only once the whole file has been read: a file that cannot be
// read puts nothing on stdout, only its error on stderr.
class Description {
public:
    __attribute__((format(printf, 2, 3))) void add(const char* format, ...) {
        va_list args, again;
        va_start(args, format);
        va_copy(again, args);
        const int length = std::vsnprintf(nullptr, 0, format, args);
        va_end(args);
        if (length > 0) {
            const size_t at = text_.size();
            text_.resize(at + size_t(length) + 1);
            std::vsnprintf(text_.data() + at, size_t(length) + 1, format, again);
            text_.resize(at + size_t(length));
        }
        va_end(again);
    }
    void print() const { std::fwrite(text_.data(), 1, text_.size(), stdout); }

private:
    std::string text_;
};

const char* encodingName(const xfile::Header& header) {
    if (header.encoding == xfile::Encoding::Text) return header.compressed ? "text, MSZIP-compressed" : "text";
    return header.compressed ? "binary, MSZIP-compressed" : "binary";
}

void describeMaterials(Description& out, const d3dx8::MeshFromX& loaded) {
    out.add("  materials: %zu\n", loaded.materials.size());
    for (size_t i = 0; i < loaded.materials.size(); ++i) {
        const D3DCOLORVALUE& d = loaded.materials[i].Diffuse;
        out.add("    %zu: diffuse %.3f %.3f %.3f %.3f%s%s\n", i, d.r, d.g, d.b, d.a,
                    loaded.textureFilenames[i].empty() ? "" : "  texture ",
                    loaded.textureFilenames[i].c_str());
    }
}

void describeAttributeTable(Description& out, const D3DXMesh& mesh) {
    uint32_t count = 0;
    mesh.GetAttributeTable(nullptr, &count);
    std::vector<D3DXATTRIBUTERANGE> table(count);
    mesh.GetAttributeTable(table.data(), &count);
    out.add("  attribute table: %u ranges\n", count);
    for (const D3DXATTRIBUTERANGE& r : table)
        out.add("    id %u: faces %u+%u, vertices %u+%u\n", r.AttribId, r.FaceStart, r.FaceCount, r.VertexStart,
                    r.VertexCount);
}

// The file's data objects; the file itself is let go once they are read. A file of another
// format is imported, and says which format it was read as.
xfile::Document readDocument(Description& out, const std::string& path) {
    if (!d3dx8::readAsX(path)) {
        modelimport::ImportedMesh imported = modelimport::importModel(path);
        out.add("%s\n  format: %s (imported)\n", path.c_str(), imported.format.c_str());
        return d3dx8::documentFromImport(std::move(imported), path);
    }
    const xfile::MappedFile file(path);
    const xfile::Header header = xfile::readHeader(file.bytes(), path);
    out.add("%s\n  encoding: %s, %u-bit floats, version %u.%u\n", path.c_str(), encodingName(header),
                header.floatBits, header.majorVersion, header.minorVersion);
    return xfile::parse(file.bytes(), path);
}

// 16-bit indices where they reach, as the program loads its models; 32-bit beyond.
void describe(Description& out, const std::string& path) {
    rt::prepareHeapForFile(path);
    const d3dx8::MeshFromX loaded =
        d3dx8::buildMeshFromX(readDocument(out, path), D3DXMESH_SYSTEMMEM, nullptr, d3dx8::IndexSize::AsNeeded);
    const D3DXMesh& mesh = *loaded.mesh;
    out.add("  vertices: %u, faces: %u%s\n", mesh.GetNumVertices(), mesh.GetNumFaces(),
                mesh.GetNumVertices() > 65535 ? " (needs 32-bit indices)" : "");
    describeMaterials(out, loaded);
    describeAttributeTable(out, mesh);
    D3DVECTOR centre;
    float radius;
    D3DX8().ComputeBoundingSphereFromMesh(mesh, centre, radius);
    out.add("  bounding sphere: centre %g %g %g, radius %g\n", centre.x, centre.y, centre.z, radius);
}

// The files to describe, or why the command line is wrong. After "--" every word is a file.
std::optional<std::string> parseOptions(const std::vector<std::string>& args, std::vector<std::string>& files) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--") {
            files.insert(files.end(), args.begin() + std::ptrdiff_t(i) + 1, args.end());
            break;
        }
        if (a == kTimeLimitOption) {
            if (i + 1 == args.size()) return a + " needs a value";
            const std::optional<std::chrono::milliseconds> limit = parseTimeLimit(args[++i]);
            if (!limit) return a + " takes 0 to 86400 seconds, not " + args[i];
            setImportTimeLimit(*limit);
        } else if (a.rfind("-", 0) == 0) {
            return "unknown option " + a;
        } else {
            files.push_back(a);
        }
    }
    if (files.empty()) return "no file given";
    return std::nullopt;
}

int run(const std::vector<std::string>& args) {
    std::vector<std::string> files;
    if (const std::optional<std::string> wrong = parseOptions(args, files)) return usageError("info", *wrong);
    int status = 0;
    for (const std::string& path : files) {
        try {
            Description description;
            describe(description, path);
            description.print();
        } catch (const rt::Error& e) {
            std::fprintf(stderr, "%s: error %d: %s\n", path.c_str(), e.number(), e.text().c_str());
            status = 1;
        }
    }
    return status;
}

const Command kCommand{"info", "info [--time-limit S] [--] MODEL...",
                       "Reads each model file as the program would load it and prints its format, encoding, vertex\n"
                       "and face counts, materials, attribute table and bounding sphere. A file that cannot be read prints\n"
                       "only its error, and the exit status is then 1. A file whose name starts with - goes after --.\n"
                       "\n" CELSHADE_TIME_LIMIT_HELP,
                       &run};

}  // namespace
