// A shared library that loads but lacks the tool's export: what --library
// meets when pointed at the wrong file.

extern "C" __attribute__((visibility("default"))) int TarnwickDecoy() { return 0; }
