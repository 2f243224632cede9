// From tokens to data objects in one pass over the bytes: one parse function per data object
// this program uses, chosen by the object's type name; every other object (templates,
// headers, skin weights, animation, declared data, effect instances ...) is skipped to its
// closing brace. The parser is written once for both encodings, over their lexers.
//
// Reading stops at the first fault, which is the one reported, with its line or byte. Counts
// are checked against what is left before anything is sized by them: a count that announces
// more values than the remaining bytes can hold fails at the count.

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "runtime/Error.h"
#include "xfile/Lexer.h"

namespace xfile::detail {

namespace {

constexpr int kMaxFrameDepth = 128;

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

const char* describe(Tok kind) {
    switch (kind) {
    case Tok::Name: return "a name";
    case Tok::String: return "a string";
    case Tok::Integer: return "an integer";
    case Tok::Float: return "a number";
    case Tok::Guid: return "a GUID";
    case Tok::OBrace: return "'{'";
    case Tok::CBrace: return "'}'";
    case Tok::Template: return "'template'";
    case Tok::Other: return "template syntax";
    case Tok::End: return "the end of the file";
    }
    return "a token";
}

struct ObjectHeader {
    std::string_view type;
    std::string_view name;
    uint32_t pos;
};

template <class Lexer>
class Parser {
public:
    Parser(Lexer lexer, std::string_view fileName, const Header& header)
        : lexer_(lexer), fileName_(fileName), header_(header) {
        document_.fileName = std::string(fileName);
        document_.header = header;
    }

    Document run();

private:
    [[noreturn]] void fail(uint32_t pos, const std::string& reason) {
        raiseFormatError(fileName_, header_, SourcePos{pos}, reason);
    }

    // Token access.
    Tok peekKind() const { return lexer_.peek().kind; }
    uint32_t peekPos() const { return peekKind() == Tok::End ? lexer_.lastPos() : lexer_.peek().pos; }
    Token next(const char* expected);
    Token expect(Tok kind, const char* expected);

    // Values.
    uint32_t readUInt(const char* what);
    uint32_t readCount(const char* what, uint64_t tokensPerItem);
    float readFloat(const char* what);
    template <class T>
    void readFloats(std::vector<T>& out, size_t count, const char* what, const char* whatOfSecond = nullptr);
    Vec3 readVec3(const char* what) { return {readFloat(what), readFloat(what), readFloat(what)}; }
    ColorRGB readRGB(const char* what) { return {readFloat(what), readFloat(what), readFloat(what)}; }
    ColorRGBA readRGBA(const char* what) { return {readFloat(what), readFloat(what), readFloat(what), readFloat(what)}; }
    std::string readString(const char* what) { return std::string(expect(Tok::String, what).text); }
    Polygons readPolygons(const char* what);
    void readPolygon(Polygons& polygons);
    bool takePolygon(Polygons& polygons);

    // Structure.
    ObjectHeader readObjectHeader();
    std::string_view readReference();
    void skipBraces(uint32_t openPos, std::string_view what);
    void skipTemplate();
    template <class OnObject, class OnReference>
    void readChildren(const ObjectHeader& parent, OnObject onObject, OnReference onReference);
    template <class OnObject>
    void readChildren(const ObjectHeader& parent, OnObject onObject) {
        readChildren(parent, onObject, [](std::string_view, uint32_t) {});
    }
    // Reads past the children of an object whose children this program does not use.
    void skipChildren(const ObjectHeader& parent) {
        readChildren(parent, [&](const ObjectHeader& child) { skipObjectBody(child); });
    }
    void skipObjectBody(const ObjectHeader& object) { skipBraces(object.pos, object.type); }

    // Data objects.
    void parseTopLevelObject(const ObjectHeader& object);
    void parseFrame(const ObjectHeader& object, int32_t parent, int depth);
    int32_t addFrame(std::string_view name, const Matrix4& transform, int32_t parent);
    Matrix4 parseFrameTransformMatrix(const ObjectHeader& object);
    void parseMesh(const ObjectHeader& object, int32_t frame);
    void parseMeshChild(Mesh& mesh, const ObjectHeader& child);
    std::vector<Vec3> readVectors(const char* countName, const char* what);
    MeshNormals parseMeshNormals(const ObjectHeader& object);
    std::vector<Vec2> parseMeshTextureCoords(const ObjectHeader& object);
    std::vector<VertexColor> parseMeshVertexColors(const ObjectHeader& object);
    MaterialList parseMeshMaterialList(const ObjectHeader& object);
    Material parseMaterial(const ObjectHeader& object);
    std::string parseTextureFilename(const ObjectHeader& object);

    Lexer lexer_;
    std::string_view fileName_;
    const Header& header_;
    Document document_;
};

template <class Lexer>
Token Parser<Lexer>::next(const char* expected) {
    if (peekKind() == Tok::End) fail(lexer_.lastPos(), std::string("the file ends where ") + expected + " was expected");
    Token token = lexer_.peek();
    lexer_.advance();
    return token;
}

template <class Lexer>
Token Parser<Lexer>::expect(Tok kind, const char* expected) {
    const Token token = next(expected);
    if (token.kind != kind) fail(token.pos, std::string("expected ") + expected + ", found " + describe(token.kind));
    return token;
}

template <class Lexer>
uint32_t Parser<Lexer>::readUInt(const char* what) {
    const Token& token = lexer_.peek();
    if (token.kind == Tok::End) fail(lexer_.lastPos(), std::string("the file ends where ") + what + " was expected");
    if (token.kind != Tok::Integer || token.integer < 0 || token.integer > std::numeric_limits<uint32_t>::max()) {
        const Token bad = next(what);
        if (bad.kind != Tok::Integer)
            fail(bad.pos, std::string("expected an integer for ") + what + ", found " + describe(bad.kind));
        fail(bad.pos, std::string(what) + " " + std::to_string(bad.integer) + " is out of range");
    }
    const auto value = static_cast<uint32_t>(token.integer);
    lexer_.advance();
    return value;
}

// A count is plausible only if the tokens it announces can still be in the file: one that
// cannot fit in the bytes left fails here, before anything is sized by it.
template <class Lexer>
uint32_t Parser<Lexer>::readCount(const char* what, uint64_t tokensPerItem) {
    const uint32_t pos = peekPos();
    const uint32_t value = readUInt(what);
    const uint64_t atMost = lexer_.tokenBound();
    if (value * tokensPerItem > atMost)
        fail(pos, std::string(what) + " " + std::to_string(value) + " is more than the file holds (at most " +
                      std::to_string(atMost) + " values left)");
    return value;
}

template <class Lexer>
float Parser<Lexer>::readFloat(const char* what) {
    const Token& token = lexer_.peek();
    if (token.kind != Tok::Float && token.kind != Tok::Integer) {
        if (token.kind == Tok::End) fail(lexer_.lastPos(), std::string("the file ends where ") + what + " was expected");
        fail(token.pos, std::string("expected a number for ") + what + ", found " + describe(token.kind));
    }
    const double value = token.number;
    if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max())
        fail(token.pos, std::string(what) + " is not a finite 32-bit number");
    lexer_.advance();
    return static_cast<float>(value);
}

// `count` items of floats only (Vec2, Vec3) appended to `out`; errors name the value `what`,
// or `whatOfSecond` for the second of two (u and v). Runs of plain values come
// straight from the lexer where it can hand them out; the rest, and any value that needs an
// error, one by one.
template <class Lexer>
template <class T>
void Parser<Lexer>::readFloats(std::vector<T>& out, size_t count, const char* what, const char* whatOfSecond) {
    constexpr size_t kFloats = sizeof(T) / sizeof(float);
    const size_t start = out.size();
    out.resize(start + count);
    auto* bytes = reinterpret_cast<std::byte*>(out.data() + start);
    for (size_t at = 0, total = count * kFloats; at < total;) {
        const size_t taken = lexer_.takeFloats(bytes + 4 * at, total - at);
        if (taken > 0) {
            at += taken;
        } else {
            const float value = readFloat(whatOfSecond != nullptr && at % 2 == 1 ? whatOfSecond : what);
            std::memcpy(bytes + 4 * at++, &value, 4);
        }
    }
}

// A polygon whose corner count and corners all lie in the integer list being read cannot
// fail: it is taken from the list in one step.
template <class Lexer>
bool Parser<Lexer>::takePolygon(Polygons& polygons) {
    const size_t ahead = lexer_.intsAhead();
    if (ahead < 2) return false;
    const uint32_t corners = lexer_.intAhead(0);
    if (corners >= ahead) return false;
    polygons.where.push_back(SourcePos{lexer_.peek().pos});
    polygons.sizes.push_back(corners);
    for (uint32_t k = 1; k <= corners; ++k) polygons.indices.push_back(lexer_.intAhead(k));
    lexer_.skipAhead(1 + size_t{corners});
    return true;
}

template <class Lexer>
void Parser<Lexer>::readPolygon(Polygons& polygons) {
    polygons.where.push_back(SourcePos{peekPos()});
    const uint32_t corners = readCount("corner count", 1);
    polygons.sizes.push_back(corners);
    for (uint32_t k = 0; k < corners; ++k) polygons.indices.push_back(readUInt("corner index"));
}

template <class Lexer>
Polygons Parser<Lexer>::readPolygons(const char* what) {
    Polygons polygons;
    const uint32_t count = readCount(what, 1);
    polygons.sizes.reserve(count);
    polygons.where.reserve(count);
    // Triangles are the common case: a polygon takes at least four tokens, three of them corners.
    polygons.indices.reserve(std::min<uint64_t>(uint64_t{count} * 3, lexer_.tokenBound() * 3 / 4));
    for (uint32_t i = 0; i < count; ++i)
        if (!takePolygon(polygons)) readPolygon(polygons);
    return polygons;
}

// Type [name] [<GUID>] '{' [<GUID>]
template <class Lexer>
ObjectHeader Parser<Lexer>::readObjectHeader() {
    const Token type = expect(Tok::Name, "an object type");
    ObjectHeader object{type.text, {}, type.pos};
    Token token = next("'{'");
    if (token.kind == Tok::Name || token.kind == Tok::Integer || token.kind == Tok::Float) {
        object.name = token.text;
        token = next("'{'");
    }
    if (token.kind == Tok::Guid) token = next("'{'");
    if (token.kind != Tok::OBrace)
        fail(token.pos, "expected '{' after '" + std::string(object.type) + "', found " + describe(token.kind));
    if (peekKind() == Tok::Guid) lexer_.advance();
    return object;
}

// '{' name [<GUID>] '}' or '{' <GUID> '}'
template <class Lexer>
std::string_view Parser<Lexer>::readReference() {
    const Token open = expect(Tok::OBrace, "'{'");
    const Token first = next("a reference");
    std::string_view name;
    if (first.kind == Tok::Name) {
        name = first.text;
        if (peekKind() == Tok::Guid) lexer_.advance();
    } else if (first.kind != Tok::Guid) {
        fail(open.pos, std::string("expected a reference, found ") + describe(first.kind));
    }
    expect(Tok::CBrace, "'}' closing the reference");
    return name;
}

template <class Lexer>
void Parser<Lexer>::skipBraces(uint32_t openPos, std::string_view what) {
    for (size_t depth = 1; depth > 0; lexer_.advance()) {
        const Tok kind = peekKind();
        if (kind == Tok::End) fail(openPos, "'" + std::string(what) + "' opened here is never closed");
        if (kind == Tok::OBrace) ++depth;
        if (kind == Tok::CBrace) --depth;
    }
}

template <class Lexer>
void Parser<Lexer>::skipTemplate() {
    const Token keyword = expect(Tok::Template, "'template'");
    const Token name = expect(Tok::Name, "a template name");
    expect(Tok::OBrace, "'{' after the template name");
    skipBraces(keyword.pos, "template " + std::string(name.text));
}

template <class Lexer>
template <class OnObject, class OnReference>
void Parser<Lexer>::readChildren(const ObjectHeader& parent, OnObject onObject, OnReference onReference) {
    for (;;) {
        const Token& token = lexer_.peek();
        switch (token.kind) {
        case Tok::End: fail(parent.pos, "'" + std::string(parent.type) + "' opened here is never closed");
        case Tok::CBrace: lexer_.advance(); return;
        case Tok::OBrace: {
            const uint32_t pos = token.pos;
            onReference(readReference(), pos);
            break;
        }
        case Tok::Name: onObject(readObjectHeader()); break;
        case Tok::Template: skipTemplate(); break;
        default:
            fail(token.pos, std::string("unexpected ") + describe(token.kind) + " in '" + std::string(parent.type) +
                                "' (more values than it declares?)");
        }
    }
}

template <class Lexer>
void Parser<Lexer>::parseTopLevelObject(const ObjectHeader& object) {
    if (sameName(object.type, "Mesh"))
        parseMesh(object, -1);
    else if (sameName(object.type, "Frame"))
        parseFrame(object, -1, 1);
    else if (sameName(object.type, "Material"))
        parseMaterial(object);
    else
        skipObjectBody(object);
}

template <class Lexer>
Document Parser<Lexer>::run() {
    for (;;) {
        const Token& token = lexer_.peek();
        if (token.kind == Tok::End) return std::move(document_);
        if (token.kind == Tok::Template)
            skipTemplate();
        else if (token.kind == Tok::Name)
            parseTopLevelObject(readObjectHeader());
        else if (token.kind == Tok::OBrace)
            readReference();  // an instance of an object by name: nothing to build here
        else
            fail(token.pos, std::string("expected a data object or template, found ") + describe(token.kind));
    }
}

template <class Lexer>
int32_t Parser<Lexer>::addFrame(std::string_view name, const Matrix4& transform, int32_t parent) {
    document_.frames.push_back(Frame{std::string(name), transform, parent});
    return static_cast<int32_t>(document_.frames.size() - 1);
}

// See Frame in XFile.h for how transforms, meshes and child frames of one frame combine.
template <class Lexer>
void Parser<Lexer>::parseFrame(const ObjectHeader& object, int32_t parent, int depth) {
    if (depth > kMaxFrameDepth) fail(object.pos, "frames nested deeper than " + std::to_string(kMaxFrameDepth));
    int32_t node = addFrame(object.name, identityMatrix(), parent);
    bool hasTransform = false, hasContents = false;
    readChildren(object, [&](const ObjectHeader& child) {
        if (sameName(child.type, "FrameTransformMatrix")) {
            const Matrix4 m = parseFrameTransformMatrix(child);
            Frame& frame = document_.frames[static_cast<size_t>(node)];
            if (hasContents)
                node = addFrame(object.name, m, node);
            else
                frame.transform = hasTransform ? multiply(m, frame.transform) : m;
            hasTransform = true;
            hasContents = false;
        } else if (sameName(child.type, "Frame")) {
            parseFrame(child, node, depth + 1);
            hasContents = true;
        } else if (sameName(child.type, "Mesh")) {
            parseMesh(child, node);
            hasContents = true;
        } else if (sameName(child.type, "Material")) {
            parseMaterial(child);
        } else {
            skipObjectBody(child);
        }
    });
}

template <class Lexer>
Matrix4 Parser<Lexer>::parseFrameTransformMatrix(const ObjectHeader& object) {
    Matrix4 m;
    for (float& element : m) element = readFloat("a matrix element");
    skipChildren(object);
    return m;
}

template <class Lexer>
std::vector<Vec3> Parser<Lexer>::readVectors(const char* countName, const char* what) {
    const uint32_t count = readCount(countName, 3);
    std::vector<Vec3> vectors;
    readFloats(vectors, count, what);
    return vectors;
}

template <class Lexer>
void Parser<Lexer>::parseMesh(const ObjectHeader& object, int32_t frame) {
    Mesh mesh;
    mesh.name = std::string(object.name);
    mesh.pos = SourcePos{object.pos};
    mesh.frame = frame;
    mesh.positions = readVectors("vertex count", "a vertex coordinate");
    mesh.faces = readPolygons("face count");
    readChildren(object, [&](const ObjectHeader& child) { parseMeshChild(mesh, child); });
    document_.meshes.push_back(std::move(mesh));
}

template <class Lexer>
void Parser<Lexer>::parseMeshChild(Mesh& mesh, const ObjectHeader& child) {
    auto once = [&](bool present) {
        if (present) fail(child.pos, "a second '" + std::string(child.type) + "' in one mesh");
    };
    if (sameName(child.type, "MeshNormals")) {
        once(mesh.normals.has_value());
        mesh.normals = parseMeshNormals(child);
    } else if (sameName(child.type, "MeshTextureCoords")) {
        once(mesh.texCoords.has_value());
        mesh.texCoordsPos = SourcePos{child.pos};
        mesh.texCoords = parseMeshTextureCoords(child);
    } else if (sameName(child.type, "MeshVertexColors")) {
        once(mesh.vertexColors.has_value());
        mesh.vertexColorsPos = SourcePos{child.pos};
        mesh.vertexColors = parseMeshVertexColors(child);
    } else if (sameName(child.type, "MeshMaterialList")) {
        once(mesh.materialList.has_value());
        mesh.materialList = parseMeshMaterialList(child);
    } else if (sameName(child.type, "Material")) {
        parseMaterial(child);
    } else {
        skipObjectBody(child);
    }
}

template <class Lexer>
MeshNormals Parser<Lexer>::parseMeshNormals(const ObjectHeader& object) {
    MeshNormals normals;
    normals.pos = SourcePos{object.pos};
    normals.normals = readVectors("normal count", "a normal coordinate");
    normals.faces = readPolygons("normal face count");
    skipChildren(object);
    return normals;
}

template <class Lexer>
std::vector<Vec2> Parser<Lexer>::parseMeshTextureCoords(const ObjectHeader& object) {
    const uint32_t count = readCount("texture coordinate count", 2);
    std::vector<Vec2> coords;
    readFloats(coords, count, "u", "v");
    skipChildren(object);
    return coords;
}

template <class Lexer>
std::vector<VertexColor> Parser<Lexer>::parseMeshVertexColors(const ObjectHeader& object) {
    const uint32_t count = readCount("vertex colour count", 5);
    std::vector<VertexColor> colors;
    colors.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t index = readUInt("a vertex colour's vertex index");
        colors.push_back({index, readRGBA("a colour component")});
    }
    skipChildren(object);
    return colors;
}

template <class Lexer>
MaterialList Parser<Lexer>::parseMeshMaterialList(const ObjectHeader& object) {
    MaterialList list;
    list.pos = SourcePos{object.pos};
    list.materialCount = readUInt("material count");
    const uint32_t faceCount = readCount("material face count", 1);
    list.faceMaterials.reserve(faceCount);
    for (uint32_t i = 0; i < faceCount; ++i) list.faceMaterials.push_back(readUInt("a face's material index"));
    readChildren(
        object,
        [&](const ObjectHeader& child) {
            if (sameName(child.type, "Material"))
                list.entries.push_back(MaterialSlot{parseMaterial(child), {}, SourcePos{child.pos}, 0});
            else
                skipObjectBody(child);
        },
        [&](std::string_view name, uint32_t pos) {
            const auto declared = static_cast<uint32_t>(document_.namedMaterials.size());
            list.entries.push_back(MaterialSlot{std::nullopt, std::string(name), SourcePos{pos}, declared});
        });
    return list;
}

template <class Lexer>
Material Parser<Lexer>::parseMaterial(const ObjectHeader& object) {
    Material material;
    material.name = std::string(object.name);
    material.pos = SourcePos{object.pos};
    material.faceColor = readRGBA("a face colour component");
    material.power = readFloat("the specular power");
    material.specular = readRGB("a specular colour component");
    material.emissive = readRGB("an emissive colour component");
    readChildren(object, [&](const ObjectHeader& child) {
        // Some exporters write "TextureFileName"; names compare without case.
        if (sameName(child.type, "TextureFilename"))
            material.textureFilename = parseTextureFilename(child);
        else
            skipObjectBody(child);
    });
    if (!material.name.empty()) document_.namedMaterials.push_back(material);
    return material;
}

template <class Lexer>
std::string Parser<Lexer>::parseTextureFilename(const ObjectHeader& object) {
    std::string name = readString("a texture file name");
    skipChildren(object);
    return name;
}

}  // namespace

Document parseBody(std::span<const std::byte> body, std::string_view fileName, const Header& header) {
    if (header.encoding == Encoding::Text)
        return Parser<TextLexer>(TextLexer(body, fileName, header), fileName, header).run();
    return Parser<BinaryLexer>(BinaryLexer(body, fileName, header), fileName, header).run();
}

}  // namespace xfile::detail
