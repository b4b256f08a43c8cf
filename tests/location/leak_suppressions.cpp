// Under LeakSanitizer, allocations that the system's font configuration
// library keeps for the life of the process are not this program's leaks.
// The sanitizer asks for this list by name; other builds never call it.

extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libfreetype.so\n";
}
