// The five models exported by `assimp export` to other formats and drawn by celshade-tool
// render must give the picture of the same model in .x: at most 1% of the pixels may differ
// by more than 8 levels in a channel (what differs below that comes from the bounding sphere,
// centred on the average vertex, which moves when identical vertices are joined).
//
// PLY and STL carry no materials: they are compared with the model drawn in the one material
// a file without any gets. STL carries no vertex normals either, only its facets' normals:
// the importer smooths the mesh itself, so its shading may differ in up to 2% of the pixels;
// its outline and coverage, which only positions and faces decide, still in 1% at most. As STL
// keeps every facet's corners apart, its vertex average, hence its bounding sphere and
// its size on screen, differ too: it is drawn at the scale of the .x picture.
//
// 3DS is left out: Assimp 5.2 writes the scene into it without turning it from y-up to the
// format's z-up, and reads it turning it back, so its round trip turns the model on its back.

#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <filesystem>
#include <string>
#include <vector>

namespace {

const QString kTool = QStringLiteral(CELSHADE_RUNTIME_DIR "/celshade-tool");
const std::string kRoundTrip = CELSHADE_ROUNDTRIP_DIR;
const char* const kModels[] = {"doom1", "doom2", "doom3", "doom4", "doom5"};
constexpr float kInitialZoom = 11.0f;

std::string run(const std::vector<std::string>& args) {
    QStringList list;
    for (const std::string& a : args) list << QString::fromStdString(a);
    QProcess p;
    p.start(kTool, list);
    const bool finished = p.waitForFinished(300000);
    const std::string err = p.readAllStandardError().toStdString();
    EXPECT_TRUE(finished && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0) << err;
    return p.readAllStandardOutput().toStdString();
}

double boundingRadius(const std::string& model) {
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("radius ([0-9.e+-]+)")).match(QString::fromStdString(run({"info", model})));
    return m.hasMatch() ? m.captured(1).toDouble() : 0;
}

enum class Kind { Background, Outline, Model };

Kind kindOf(QRgb p) {
    if (p == qRgb(0x4C, 0x4C, 0xFF)) return Kind::Background;
    return qRed(p) <= 8 && qGreen(p) <= 8 && qBlue(p) <= 8 ? Kind::Outline : Kind::Model;
}

struct Difference {
    double colour = 1;  // share of pixels more than 8 levels apart in a channel
    double kind = 1;    // share of pixels that are background, outline or model in one picture only
};

Difference compare(const std::string& a, const std::string& b) {
    const QImage x(QString::fromStdString(a)), y(QString::fromStdString(b));
    if (x.isNull() || x.size() != y.size()) {
        ADD_FAILURE() << a << " and " << b << " cannot be compared";
        return {};
    }
    int64_t colour = 0, kind = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
            colour += std::abs(qRed(p) - qRed(q)) > 8 || std::abs(qGreen(p) - qGreen(q)) > 8 || std::abs(qBlue(p) - qBlue(q)) > 8;
            kind += kindOf(p) != kindOf(q);
        }
    const double pixels = double(x.width()) * x.height();
    return {colour / pixels, kind / pixels};
}

struct Format {
    const char* folder;
    const char* extension;
    bool oneMaterial;      // compared with the model in one material
    bool drawnAtXScale;    // drawn at the .x picture's scale
    double colourTolerance;
};

TEST(RoundTrip, EveryExportedModelDrawsAsItsXPicture) {
    QTemporaryDir dir;
    const std::string out = dir.path().toStdString();
    std::vector<std::string> x{"render", "--out-dir", out + "/x"}, one{"render", "--out-dir", out + "/one-material"};
    for (const char* m : kModels) {
        x.push_back(CELSHADE_SOURCE_DIR "/data/" + std::string(m) + ".x");
        one.push_back(kRoundTrip + "/one-material/" + m + ".x");
    }
    run(x);
    run(one);

    const Format formats[] = {{"glb", "glb", false, false, 0.01}, {"obj", "obj", false, false, 0.01},
                              {"dae", "dae", false, false, 0.01}, {"fbx", "fbx", false, false, 0.01},
                              {"ply", "ply", true, false, 0.01},  {"stl", "stl", true, true, 0.02},
                              {"stlb", "stl", true, true, 0.02}};
    for (const Format& f : formats) {
        const std::string pictures = out + "/" + f.folder;
        std::filesystem::create_directories(pictures);
        std::vector<std::string> all{"render", "--out-dir", pictures};
        for (const char* m : kModels) {
            const std::string model = kRoundTrip + "/" + f.folder + "/" + m + "." + f.extension;
            if (!f.drawnAtXScale) {
                all.push_back(model);
                continue;
            }
            const double zoom = kInitialZoom * boundingRadius(model) / boundingRadius(kRoundTrip + "/one-material/" + m + ".x");
            run({"render", model, "--zoom", std::to_string(zoom), "-o", pictures + "/" + m + ".png"});
        }
        if (all.size() > 3) run(all);
        for (const char* m : kModels) {
            const std::string reference = out + (f.oneMaterial ? "/one-material/" : "/x/") + m + ".png";
            const Difference d = compare(reference, pictures + "/" + m + ".png");
            EXPECT_LE(d.colour, f.colourTolerance) << f.folder << " " << m;
            EXPECT_LE(d.kind, 0.01) << f.folder << " " << m;
        }
    }
}

// info says what a file was read as, and counts what the .x file has.
TEST(RoundTrip, InfoNamesTheFormatItRead) {
    const std::pair<const char*, const char*> formats[] = {
        {"glb/doom5.glb", "glTF2 Importer"},  {"obj/doom5.obj", "Wavefront Object Importer"},
        {"dae/doom5.dae", "Collada Importer"}, {"fbx/doom5.fbx", "Autodesk FBX Importer"},
        {"3ds/doom5.3ds", "Discreet 3DS Importer"}, {"stlb/doom5.stl", "Stereolithography (STL) Importer"}};
    for (const auto& [file, format] : formats) {
        const std::string info = run({"info", kRoundTrip + "/" + file});
        EXPECT_NE(info.find(std::string("format: ") + format + " (imported)"), std::string::npos) << info;
        EXPECT_NE(info.find("faces: 564"), std::string::npos) << info;
    }
}

}  // namespace
