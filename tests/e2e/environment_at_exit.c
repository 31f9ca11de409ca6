// Preloaded into the viewer: as it ends, writes the launch variables left in its environment, which
// whatever it started would have inherited, into the file that TAVIK_ENVIRONMENT_AT_EXIT names.
#include <stdio.h>
#include <stdlib.h>

static const char* Value(const char* name) {
    const char* value = getenv(name);
    return value != NULL ? value : "(unset)";
}

__attribute__((destructor)) static void WriteEnvironment(void) {
    const char* path = getenv("TAVIK_ENVIRONMENT_AT_EXIT");
    FILE* out = path != NULL ? fopen(path, "w") : NULL;
    if (out != NULL) {
        fprintf(out, "DESKTOP_STARTUP_ID=%s XDG_ACTIVATION_TOKEN=%s", Value("DESKTOP_STARTUP_ID"),
                Value("XDG_ACTIVATION_TOKEN"));
        fclose(out);
    }
}
