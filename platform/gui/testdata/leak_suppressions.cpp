// Linked into the GUI test program: leak reports from libraries outside this project (the
// font configuration library keeps a cache for the whole process) are not findings.
extern "C" [[gnu::visibility("default")]] const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
