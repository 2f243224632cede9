// From tokens to data objects: one parse function per data object this program uses, chosen
// by the object's type name; every other object (templates, headers, skin weights, animation,
// declared data, effect instances ...) is skipped to its closing brace. Counts are checked
// against the values left in the file before anything is sized by them.

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <string>

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
    }
    return "a token";
}

struct ObjectHeader {
    std::string_view type;
    std::string name;
    uint32_t pos;
};

class Parser {
public:
    Parser(std::span<const Token> tokens, std::string_view fileName, const Header& header)
        : tokens_(tokens), fileName_(fileName), header_(header) {
        document_.fileName = std::string(fileName);
        document_.header = header;
    }

    Document run();

private:
    // Token access.
    [[noreturn]] void fail(uint32_t pos, const std::string& reason) const {
        raiseFormatError(fileName_, header_, SourcePos{pos}, reason);
    }
    bool atEnd() const { return at_ >= tokens_.size(); }
    uint32_t lastPos() const { return tokens_.empty() ? 1 : tokens_.back().pos; }
    const Token& next(const char* expected);
    const Token& expect(Tok kind, const char* expected);
    size_t valuesLeft() const { return tokens_.size() - at_; }

    // Values.
    uint32_t readUInt(const char* what);
    uint32_t readCount(const char* what, size_t valuesPerItem);
    float readFloat(const char* what);
    Vec3 readVec3(const char* what) { return {readFloat(what), readFloat(what), readFloat(what)}; }
    ColorRGB readRGB(const char* what) { return {readFloat(what), readFloat(what), readFloat(what)}; }
    ColorRGBA readRGBA(const char* what) {
        return {readFloat(what), readFloat(what), readFloat(what), readFloat(what)};
    }
    std::string readString(const char* what);
    Polygons readPolygons(const char* what);

    // Structure.
    ObjectHeader readObjectHeader();
    std::string readReference();
    void skipBraces(uint32_t openPos, std::string_view what);
    void skipTemplate();
    template <class OnObject, class OnReference>
    void readChildren(const ObjectHeader& parent, OnObject onObject, OnReference onReference);
    // Reads past the children of an object whose children this program does not use.
    void skipChildren(const ObjectHeader& parent);
    void skipObjectBody(const ObjectHeader& object) { skipBraces(object.pos, object.type); }

    // Data objects.
    void parseTopLevelObject(const ObjectHeader& object);
    void parseFrame(const ObjectHeader& object, int32_t parent, int depth);
    Matrix4 parseFrameTransformMatrix(const ObjectHeader& object);
    void parseMesh(const ObjectHeader& object, int32_t frame);
    MeshNormals parseMeshNormals(const ObjectHeader& object);
    std::vector<Vec2> parseMeshTextureCoords(const ObjectHeader& object);
    std::vector<VertexColor> parseMeshVertexColors(const ObjectHeader& object);
    MaterialList parseMeshMaterialList(const ObjectHeader& object);
    Material parseMaterial(const ObjectHeader& object);
    std::string parseTextureFilename(const ObjectHeader& object);

    std::span<const Token> tokens_;
    std::string_view fileName_;
    const Header& header_;
    size_t at_ = 0;
    Document document_;
};

const Token& Parser::next(const char* expected) {
    if (atEnd()) fail(lastPos(), std::string("the file ends where ") + expected + " was expected");
    return tokens_[at_++];
}

const Token& Parser::expect(Tok kind, const char* expected) {
    const Token& token = next(expected);
    if (token.kind != kind) fail(token.pos, std::string("expected ") + expected + ", found " + describe(token.kind));
    return token;
}

uint32_t Parser::readUInt(const char* what) {
    const Token& token = next(what);
    if (token.kind != Tok::Integer)
        fail(token.pos, std::string("expected an integer for ") + what + ", found " + describe(token.kind));
    if (token.integer < 0 || token.integer > std::numeric_limits<uint32_t>::max())
        fail(token.pos, std::string(what) + " " + std::to_string(token.integer) + " is out of range");
    return static_cast<uint32_t>(token.integer);
}

// A count is plausible only if the values it announces can still be in the file.
uint32_t Parser::readCount(const char* what, size_t valuesPerItem) {
    uint32_t pos = atEnd() ? lastPos() : tokens_[at_].pos;
    uint32_t count = readUInt(what);
    if (count > valuesLeft() / valuesPerItem)
        fail(pos, std::string(what) + " " + std::to_string(count) + " is more than the file holds (" +
                      std::to_string(valuesLeft()) + " values left)");
    return count;
}

float Parser::readFloat(const char* what) {
    const Token& token = next(what);
    if (token.kind != Tok::Float && token.kind != Tok::Integer)
        fail(token.pos, std::string("expected a number for ") + what + ", found " + describe(token.kind));
    if (!std::isfinite(token.number) || std::fabs(token.number) > std::numeric_limits<float>::max())
        fail(token.pos, std::string(what) + " is not a finite 32-bit number");
    return static_cast<float>(token.number);
}

std::string Parser::readString(const char* what) {
    return std::string(expect(Tok::String, what).text);
}

Polygons Parser::readPolygons(const char* what) {
    Polygons polygons;
    uint32_t count = readCount(what, 1);
    polygons.sizes.reserve(count);
    polygons.where.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        polygons.where.push_back(SourcePos{atEnd() ? lastPos() : tokens_[at_].pos});
        uint32_t corners = readCount("corner count", 1);
        polygons.sizes.push_back(corners);
        for (uint32_t k = 0; k < corners; ++k) polygons.indices.push_back(readUInt("corner index"));
    }
    return polygons;
}

// Type [name] [<GUID>] '{' [<GUID>]
ObjectHeader Parser::readObjectHeader() {
    const Token& type = expect(Tok::Name, "an object type");
    ObjectHeader object{type.text, {}, type.pos};
    const Token& second = next("'{'");
    const Token* token = &second;
    if (token->kind == Tok::Name || token->kind == Tok::Integer || token->kind == Tok::Float) {
        object.name = std::string(token->text);
        token = &next("'{'");
    }
    if (token->kind == Tok::Guid) token = &next("'{'");
    if (token->kind != Tok::OBrace)
        fail(token->pos, "expected '{' after '" + std::string(object.type) + "', found " + describe(token->kind));
    if (!atEnd() && tokens_[at_].kind == Tok::Guid) ++at_;
    return object;
}

// '{' name [<GUID>] '}' or '{' <GUID> '}'
std::string Parser::readReference() {
    const Token& open = expect(Tok::OBrace, "'{'");
    const Token& first = next("a reference");
    std::string name;
    if (first.kind == Tok::Name) {
        name = std::string(first.text);
        if (!atEnd() && tokens_[at_].kind == Tok::Guid) ++at_;
    } else if (first.kind != Tok::Guid) {
        fail(open.pos, std::string("expected a reference, found ") + describe(first.kind));
    }
    expect(Tok::CBrace, "'}' closing the reference");
    return name;
}

void Parser::skipBraces(uint32_t openPos, std::string_view what) {
    for (size_t depth = 1; depth > 0;) {
        if (atEnd()) fail(openPos, "'" + std::string(what) + "' opened here is never closed");
        Tok kind = tokens_[at_++].kind;
        if (kind == Tok::OBrace) ++depth;
        if (kind == Tok::CBrace) --depth;
    }
}

void Parser::skipTemplate() {
    const Token& keyword = expect(Tok::Template, "'template'");
    const Token& name = expect(Tok::Name, "a template name");
    expect(Tok::OBrace, "'{' after the template name");
    skipBraces(keyword.pos, "template " + std::string(name.text));
}

void Parser::skipChildren(const ObjectHeader& parent) {
    readChildren(parent, [&](const ObjectHeader& child) { skipObjectBody(child); },
                 [](const std::string&, uint32_t) {});
}

template <class OnObject, class OnReference>
void Parser::readChildren(const ObjectHeader& parent, OnObject onObject, OnReference onReference) {
    for (;;) {
        if (atEnd()) fail(parent.pos, "'" + std::string(parent.type) + "' opened here is never closed");
        const Token& token = tokens_[at_];
        if (token.kind == Tok::CBrace) {
            ++at_;
            return;
        }
        if (token.kind == Tok::OBrace) {
            uint32_t pos = token.pos;
            onReference(readReference(), pos);
        } else if (token.kind == Tok::Name) {
            onObject(readObjectHeader());
        } else if (token.kind == Tok::Template) {
            skipTemplate();
        } else {
            fail(token.pos, std::string("unexpected ") + describe(token.kind) + " in '" + std::string(parent.type) +
                                "' (more values than it declares?)");
        }
    }
}

void Parser::parseTopLevelObject(const ObjectHeader& object) {
    if (sameName(object.type, "Mesh")) {
        parseMesh(object, -1);
    } else if (sameName(object.type, "Frame")) {
        parseFrame(object, -1, 1);
    } else if (sameName(object.type, "Material")) {
        parseMaterial(object);
    } else {
        skipObjectBody(object);
    }
}

Document Parser::run() {
    while (!atEnd()) {
        const Token& token = tokens_[at_];
        if (token.kind == Tok::Template) {
            skipTemplate();
        } else if (token.kind == Tok::Name) {
            parseTopLevelObject(readObjectHeader());
        } else if (token.kind == Tok::OBrace) {
            readReference();  // an instance of an object by name: nothing to build here
        } else {
            fail(token.pos, std::string("expected a data object or template, found ") + describe(token.kind));
        }
    }
    return std::move(document_);
}

void Parser::parseFrame(const ObjectHeader& object, int32_t parent, int depth) {
    if (depth > kMaxFrameDepth)
        fail(object.pos, "frames nested deeper than " + std::to_string(kMaxFrameDepth));
    const auto index = static_cast<int32_t>(document_.frames.size());
    document_.frames.push_back(Frame{object.name, identityMatrix(), parent});
    bool haveMatrix = false;
    readChildren(
        object,
        [&](const ObjectHeader& child) {
            if (sameName(child.type, "FrameTransformMatrix")) {
                if (haveMatrix) fail(child.pos, "a second FrameTransformMatrix in one frame");
                document_.frames[static_cast<size_t>(index)].transform = parseFrameTransformMatrix(child);
                haveMatrix = true;
            } else if (sameName(child.type, "Frame")) {
                parseFrame(child, index, depth + 1);
            } else if (sameName(child.type, "Mesh")) {
                parseMesh(child, index);
            } else {
                skipObjectBody(child);
            }
        },
        [](const std::string&, uint32_t) {});
}

Matrix4 Parser::parseFrameTransformMatrix(const ObjectHeader& object) {
    Matrix4 m;
    for (float& element : m) element = readFloat("a matrix element");
    skipChildren(object);
    return m;
}

void Parser::parseMesh(const ObjectHeader& object, int32_t frame) {
    Mesh mesh;
    mesh.name = object.name;
    mesh.pos = SourcePos{object.pos};
    mesh.frame = frame;
    uint32_t vertexCount = readCount("vertex count", 3);
    mesh.positions.reserve(vertexCount);
    for (uint32_t i = 0; i < vertexCount; ++i) mesh.positions.push_back(readVec3("a vertex coordinate"));
    mesh.faces = readPolygons("face count");
    auto once = [&](bool present, const ObjectHeader& child) {
        if (present) fail(child.pos, "a second '" + std::string(child.type) + "' in one mesh");
    };
    readChildren(
        object,
        [&](const ObjectHeader& child) {
            if (sameName(child.type, "MeshNormals")) {
                once(mesh.normals.has_value(), child);
                mesh.normals = parseMeshNormals(child);
            } else if (sameName(child.type, "MeshTextureCoords")) {
                once(mesh.texCoords.has_value(), child);
                mesh.texCoordsPos = SourcePos{child.pos};
                mesh.texCoords = parseMeshTextureCoords(child);
            } else if (sameName(child.type, "MeshVertexColors")) {
                once(mesh.vertexColors.has_value(), child);
                mesh.vertexColorsPos = SourcePos{child.pos};
                mesh.vertexColors = parseMeshVertexColors(child);
            } else if (sameName(child.type, "MeshMaterialList")) {
                once(mesh.materialList.has_value(), child);
                mesh.materialList = parseMeshMaterialList(child);
            } else {
                skipObjectBody(child);
            }
        },
        [](const std::string&, uint32_t) {});
    document_.meshes.push_back(std::move(mesh));
}

MeshNormals Parser::parseMeshNormals(const ObjectHeader& object) {
    MeshNormals normals;
    normals.pos = SourcePos{object.pos};
    uint32_t count = readCount("normal count", 3);
    normals.normals.reserve(count);
    for (uint32_t i = 0; i < count; ++i) normals.normals.push_back(readVec3("a normal coordinate"));
    normals.faces = readPolygons("normal face count");
    skipChildren(object);
    return normals;
}

std::vector<Vec2> Parser::parseMeshTextureCoords(const ObjectHeader& object) {
    uint32_t count = readCount("texture coordinate count", 2);
    std::vector<Vec2> coords;
    coords.reserve(count);
    for (uint32_t i = 0; i < count; ++i) coords.push_back({readFloat("u"), readFloat("v")});
    skipChildren(object);
    return coords;
}

std::vector<VertexColor> Parser::parseMeshVertexColors(const ObjectHeader& object) {
    uint32_t count = readCount("vertex colour count", 5);
    std::vector<VertexColor> colors;
    colors.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t index = readUInt("a vertex colour's vertex index");
        colors.push_back({index, readRGBA("a colour component")});
    }
    skipChildren(object);
    return colors;
}

MaterialList Parser::parseMeshMaterialList(const ObjectHeader& object) {
    MaterialList list;
    list.pos = SourcePos{object.pos};
    list.materialCount = readUInt("material count");
    uint32_t faceCount = readCount("material face count", 1);
    list.faceMaterials.reserve(faceCount);
    for (uint32_t i = 0; i < faceCount; ++i) list.faceMaterials.push_back(readUInt("a face's material index"));
    readChildren(
        object,
        [&](const ObjectHeader& child) {
            if (sameName(child.type, "Material"))
                list.slots.push_back(MaterialSlot{parseMaterial(child), {}, SourcePos{child.pos}});
            else
                skipObjectBody(child);
        },
        [&](const std::string& name, uint32_t pos) {
            list.slots.push_back(MaterialSlot{std::nullopt, name, SourcePos{pos}});
        });
    return list;
}

Material Parser::parseMaterial(const ObjectHeader& object) {
    Material material;
    material.name = object.name;
    material.pos = SourcePos{object.pos};
    material.faceColor = readRGBA("a face colour component");
    material.power = readFloat("the specular power");
    material.specular = readRGB("a specular colour component");
    material.emissive = readRGB("an emissive colour component");
    readChildren(
        object,
        [&](const ObjectHeader& child) {
            // Some exporters write "TextureFileName"; names compare without case.
            if (sameName(child.type, "TextureFilename"))
                material.textureFilename = parseTextureFilename(child);
            else
                skipObjectBody(child);
        },
        [](const std::string&, uint32_t) {});
    if (!material.name.empty()) document_.namedMaterials.push_back(material);
    return material;
}

std::string Parser::parseTextureFilename(const ObjectHeader& object) {
    std::string name = readString("a texture file name");
    skipChildren(object);
    return name;
}

}  // namespace

Document parseTokens(std::span<const Token> tokens, std::string_view fileName, const Header& header) {
    return Parser(tokens, fileName, header).run();
}

}  // namespace xfile::detail
