#pragma once
// Data files lie in the executable's directory and are named with a leading backslash
// ("\doom1.x"); on this system the backslash becomes the path separator.

#include <string>
#include <string_view>

namespace Mdx8 {

// The executable's directory followed directly by name.
std::string dataPath(std::string_view name);

// The file of the chosen model (Mdx8::modelFile): a name with a leading backslash lies in the
// executable's directory (the five models); anything else is the user's own file, already a
// full path (from the command line, the file chooser or a drop).
std::string modelPath(const std::string& modelFile);

// Whether `modelFile` is a model the user chose (a full path), not one of the five.
bool chosenByUser(const std::string& modelFile);

// Whether the file at `path` is one of the five models beside the executable, which turn about
// their own origin; any other model turns about the centre of its bounding sphere.
bool isBuiltInModel(const std::string& path);

// Overrides the executable's directory (tests and tools that run from elsewhere); empty
// restores it.
void setDataDirectory(std::string directory);

}  // namespace Mdx8
