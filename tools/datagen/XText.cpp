// Text encoding: every member ends in ';', array elements are separated by ','.
#include <cstdio>

#include "XWriter.h"

namespace datagen {
namespace {

class TextOut {
public:
    void line(int indent, const std::string& text) {
        out_.append(static_cast<size_t>(indent), ' ');
        out_ += text;
        out_ += '\n';
    }
    std::string take() { return std::move(out_); }

private:
    std::string out_;
};

std::string num(float v) {
    char text[48];
    std::snprintf(text, sizeof text, "%.6f", static_cast<double>(v));
    return text;
}

std::string num(uint32_t v) { return std::to_string(v); }

// Element i of n: elements are separated by ',' and the array member closes with ';'.
const char* sep(size_t i, size_t n) { return i + 1 < n ? "," : ";"; }

std::string triple(const Float3& v) { return num(v.x) + ";" + num(v.y) + ";" + num(v.z) + ";"; }

void faceList(TextOut& out, int indent, const Model& m) {
    out.line(indent, num(static_cast<uint32_t>(m.faces.size())) + ";");
    for (size_t i = 0; i < m.faces.size(); ++i) {
        const auto& c = m.faces[i].corners;
        out.line(indent, "3;" + num(c[0]) + "," + num(c[1]) + "," + num(c[2]) + ";" + sep(i, m.faces.size()));
    }
}

void normals(TextOut& out, const Model& m) {
    out.line(2, "MeshNormals {");
    out.line(3, num(static_cast<uint32_t>(m.vertices.size())) + ";");
    for (size_t i = 0; i < m.vertices.size(); ++i)
        out.line(3, triple(m.vertices[i].normal) + sep(i, m.vertices.size()));
    faceList(out, 3, m);
    out.line(2, "}");
}

void textureCoords(TextOut& out, const Model& m) {
    out.line(2, "MeshTextureCoords {");
    out.line(3, num(static_cast<uint32_t>(m.vertices.size())) + ";");
    for (size_t i = 0; i < m.vertices.size(); ++i)
        out.line(3, num(m.vertices[i].u) + ";" + num(m.vertices[i].v) + ";" + sep(i, m.vertices.size()));
    out.line(2, "}");
}

void material(TextOut& out, const Material& mat) {
    const auto& c = mat.faceColor;
    const auto& s = mat.specularColor;
    const auto& e = mat.emissiveColor;
    out.line(3, "Material {");
    out.line(4, num(c[0]) + ";" + num(c[1]) + ";" + num(c[2]) + ";" + num(c[3]) + ";;");
    out.line(4, num(mat.power) + ";");
    out.line(4, num(s[0]) + ";" + num(s[1]) + ";" + num(s[2]) + ";;");
    out.line(4, num(e[0]) + ";" + num(e[1]) + ";" + num(e[2]) + ";;");
    out.line(3, "}");
}

void materialList(TextOut& out, const Model& m) {
    out.line(2, "MeshMaterialList {");
    out.line(3, num(static_cast<uint32_t>(m.materials.size())) + ";");
    out.line(3, num(static_cast<uint32_t>(m.faces.size())) + ";");
    for (size_t i = 0; i < m.faces.size(); ++i) out.line(3, num(m.faces[i].material) + sep(i, m.faces.size()));
    for (const Material& mat : m.materials) material(out, mat);
    out.line(2, "}");
}

void mesh(TextOut& out, const Model& m) {
    out.line(1, "Mesh " + m.name + "_mesh {");
    out.line(2, num(static_cast<uint32_t>(m.vertices.size())) + ";");
    for (size_t i = 0; i < m.vertices.size(); ++i)
        out.line(2, triple(m.vertices[i].position) + sep(i, m.vertices.size()));
    faceList(out, 2, m);
    normals(out, m);
    textureCoords(out, m);
    materialList(out, m);
    out.line(1, "}");
}

}  // namespace

std::string xTextBody(const Model& m) {
    TextOut out;
    out.line(0, "");
    out.line(0, "Frame " + m.name + " {");
    out.line(1, "FrameTransformMatrix {");
    std::string matrix;
    for (int i = 0; i < 16; ++i) matrix += num(i % 5 == 0 ? 1.0f : 0.0f) + (i < 15 ? "," : ";;");
    out.line(2, matrix);
    out.line(1, "}");
    mesh(out, m);
    out.line(0, "}");
    return out.take();
}

}  // namespace datagen
