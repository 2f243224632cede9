#pragma once
// The render window. (Being written; this is the interface the start dialog calls.)

class Form1 {
public:
    // The one render window of the process, created on first use.
    static Form1& instance();

    // Shows the window; the first show loads it (device, scene, main loop) and never returns.
    void show();
    // Sets up the scene for the model named by Mdx8::modelFile.
    void STAR();
};
