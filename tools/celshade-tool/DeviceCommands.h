#pragma once
// The subcommands that draw or build through a graphics device run in a second executable
// beside celshade-tool, celshade-tool-device. celshade-tool itself then loads neither Qt nor
// OpenGL, whose libraries took longer to load than reading most model files does; it hands
// these subcommands on unchanged (see Forward.cpp).

#include "TimeLimit.h"

inline constexpr const char* kDeviceProgram = "celshade-tool-device";

inline constexpr const char* kRenderSynopsis =
    "render MODEL... [-o FILE | --out-dir DIR] [--size WxH] [--yaw DEG] [--pitch DEG] [--zoom Z] "
    "[--threshold T] [--no-overlay] [--frames N | --turntable [N] [--fps F] [--quality Q]] [--time-limit S]";
inline constexpr const char* kRenderHelp =
    "Draws each model as the program shows it after STAR, off-screen (no display is needed), and\n"
    "writes the frame as a PNG; with --turntable, an animation of the model turning once.\n"
    "\n"
    "  -o FILE          the output's name (one model): FILE.png, or with --turntable FILE.gif\n"
    "                   or FILE.webp, in either case (MODEL.png or MODEL.gif in the current\n"
    "                   folder without it); a file there is replaced only once the new one is\n"
    "                   complete\n"
    "  --out-dir DIR    one output per model in DIR, named after the model; with --turntable a\n"
    "                   numbered PNG sequence, MODEL-000.png, MODEL-001.png, ...\n"
    "  --size WxH       the frame in pixels, up to 16384 a side, 16383 for a WebP (574x441, the\n"
    "                   program's window)\n"
    "  --yaw DEG        the turn about the vertical axis, whole degrees, taken modulo 360 (370\n"
    "                   draws what 10 does) (0)\n"
    "  --pitch DEG      the tilt, whole degrees, modulo 360 as --yaw (0)\n"
    "  --zoom Z         the zoom, 2 to 44 in the program (11)\n"
    "  --threshold T    the crease threshold of the outline (0.5)\n"
    "  --no-overlay     no text lines over the picture\n"
    "  --frames N       draws N more frames and prints their median and minimum time\n"
    "  --turntable [N]  N frames, 1 to 360, of one whole turn about the vertical axis (36), from\n"
    "                   --yaw on; a number after it is always N: a model named like one goes\n"
    "                   after -- or as ./400\n"
    "  --fps F          frames per second of the animation, 1 to 50 (25)\n"
    "  --quality Q      a lossy WebP of quality 0 to 100 (lossless without it)\n"
    CELSHADE_TIME_LIMIT_HELP
    "  --               every word after it is a model\n"
    "\n"
    "A model that cannot be drawn is reported with its reason and the others are still drawn;\n"
    "the exit status is then 1. A model whose output an earlier one of the run took is refused.\n";

inline constexpr const char* kEdgesSynopsis = "edges MODEL [--threshold T] [--out PATH] [--time-limit S]";
inline constexpr const char* kEdgesHelp =
    "Builds the outline pass's edge list of a model as the program does and prints its counts\n"
    "and build time.\n"
    "\n"
    "  --threshold T    the crease threshold (0.5)\n"
    "  --out PATH       also writes the list: six 36-byte records per face (position, the normals\n"
    "                   of the faces on both sides), little-endian floats\n"
    CELSHADE_TIME_LIMIT_HELP
    "\n"
    "A file whose name starts with - goes after --.\n";
