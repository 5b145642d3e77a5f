// The X11 and font libraries keep caches for the life of the process that LeakSanitizer
// reports as leaks; only their own frames are suppressed, never the program's.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n"
           "leak:libX11.so\n"
           "leak:libXft.so\n"
           "leak:libfreetype.so\n";
}
