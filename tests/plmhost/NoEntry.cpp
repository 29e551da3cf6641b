// A shared library that is not a model plug-in: it exports no Main.
extern "C" __attribute__((visibility("default"))) int NotMain() { return 0; }
