// A module that says which of two builds it is, for the module loader's test.
extern "C" __attribute__((visibility("default"))) int ZKQ_Marker() { return ZKQ_MARKER; }
