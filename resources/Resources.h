#pragma once

// Registers the compiled-in resources (":/etc/time.ini", ...). The resource
// object sits in a static library, where the linker would drop it unless
// something refers to it; calling this from main() and from every test that
// opens a ":/" path keeps it. Safe to call more than once.
void initVodezResources();
