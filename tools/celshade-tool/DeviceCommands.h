#pragma once
// The subcommands that draw or build through a graphics device run in a second executable
// beside celshade-tool, celshade-tool-device. celshade-tool itself then loads neither Qt nor
// OpenGL, whose libraries took longer to load than reading most model files does; it hands
// these subcommands on unchanged (see Forward.cpp).

inline constexpr const char* kDeviceProgram = "celshade-tool-device";

inline constexpr const char* kRenderUsage =
    "render MODEL... [-o FILE.png | --out-dir DIR] [--size WxH] [--yaw DEG] [--pitch DEG] "
    "[--zoom Z] [--threshold T] [--no-overlay] [--frames N]   the program's frame as a PNG";
inline constexpr const char* kEdgesUsage = "edges FILE [--threshold T] [--out PATH]   the outline edge list of a model";
