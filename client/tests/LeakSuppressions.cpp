// Fontconfig keeps its pattern caches for the life of the process and frees them at no point
// Qt reaches; LeakSanitizer would report them at the end of every test that draws text.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
