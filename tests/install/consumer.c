/* A C program built against an installed libTrelvo through pkg-config:
 *   cc $(pkg-config --cflags trelvo) consumer.c $(pkg-config --libs trelvo)
 * It calls through the front end into the implementation that the front end
 * finds, and exits non-zero unless that is the file named by its argument and
 * every result is the one the sample implementation gives. */
#include <stdio.h>
#include <string.h>

#include <trelvo/Trelvo.h>

static int failures;

static void expect(const char *call, VeltResult result, VeltResult wanted) {
    int ok = result == wanted;
    printf("%-32s 0x%08x %s\n", call, (unsigned)result, ok ? "ok" : "UNEXPECTED");
    if (!ok) {
        printf("  wanted 0x%08x: %s\n", (unsigned)wanted, VELT_GetLastErrorMessage(0));
        ++failures;
    }
}

static void expectText(const char *what, const char *text, const char *wanted) {
    int ok = text != NULL && strcmp(text, wanted) == 0;
    printf("%-32s %s %s\n", what, text != NULL ? text : "(null)", ok ? "ok" : "UNEXPECTED");
    if (!ok) ++failures;
}

int main(int argc, char **argv) {
    uint32_t major = 0, minor = 0;
    const char *service = NULL;
    if (argc != 2) {
        fprintf(stderr, "usage: %s EXPECTED-IMPLEMENTATION-PATH\n", argv[0]);
        return 2;
    }
    expect("VELT_Disconnect (nothing loaded)", VELT_Disconnect(), TRELVO_E_NOT_LOADED);
    expect("VELT_Connect", VELT_Connect(NULL), 0);
    expectText("implementation", Trelvo_GetVeltApiImplementationPath(), argv[1]);
    expect("VELT_GetAPIVersion", VELT_GetAPIVersion(&major, &minor), 0);
    if (major != 1 || minor != 0) {
        printf("  version %u.%u, wanted 1.0\n", (unsigned)major, (unsigned)minor);
        ++failures;
    }
    expect("VELT_GetService", VELT_GetService(7, (VeltArg)&service), 0);
    expectText("service", service, "sample service");
    expect("VELT_Disconnect", VELT_Disconnect(), 0);
    return failures == 0 ? 0 : 1;
}
