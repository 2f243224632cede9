#pragma once
// One parse for several loads of the same file: while a ParseScope lives, xfile::loadShared()
// (and so LoadMeshFromX, which imports the other model formats through it too) keeps each
// document it reads and hands it out again for the same path as long as the file's size and
// modification time are unchanged; the last scope to end drops them all. Without a scope every
// load reads. A scene setup that loads its model twice opens one.

namespace xfile {

class ParseScope {
public:
    ParseScope();
    ~ParseScope();
    ParseScope(const ParseScope&) = delete;
    ParseScope& operator=(const ParseScope&) = delete;
};

}  // namespace xfile
