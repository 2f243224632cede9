#pragma once
// Writing an encoded file in one go, failures raised as rt::Error 75 naming the file.

#include <cstddef>
#include <string>

namespace animation {

void writeFile(const std::string& path, const void* bytes, size_t size);

}  // namespace animation
