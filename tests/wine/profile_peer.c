/* SPDX-License-Identifier: GPL-3.0-or-later */
/* The profile routines' side of the settings-file comparison: a Windows
 * console program, run under Wine, that plays an operation script against
 * GetPrivateProfileStringA and WritePrivateProfileStringA. settings_driver.cpp
 * plays the same script against SettingsFile; tests/wine/run compares both.
 *
 * Script lines (arguments in hex, "-" for a null pointer):
 *   F path            the file the following lines work on
 *   R section key dflt  read a value        -> "= <hex>"
 *   L section         list the section's keys -> "= <hex of each name>..."
 *   W section key value  write (a null key and value remove the section)
 *                                            -> "ok" or "fail"
 * Every line gets exactly one answer line. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static char* unhex(const char* text) {
    size_t n, i;
    char* out;
    if (strcmp(text, "-") == 0)
        return NULL;
    if (strcmp(text, ".") == 0)
        text = "";
    n = strlen(text) / 2;
    out = malloc(n + 1);
    for (i = 0; i < n; ++i) {
        unsigned v = 0;
        sscanf(text + 2 * i, "%2x", &v);
        out[i] = (char)v;
    }
    out[n] = 0;
    return out;
}

static void puthex(const char* bytes, size_t n) {
    size_t i;
    for (i = 0; i < n; ++i)
        printf("%02x", (unsigned char)bytes[i]);
    if (n == 0)
        printf(".");
}

int main(int argc, char** argv) {
    static char line[1 << 20];
    static char buffer[1 << 16];
    char path[4096] = "";
    FILE* script;
    if (argc < 2 || !(script = fopen(argv[1], "rb")))
        return 2;
    while (fgets(line, sizeof line, script)) {
        char* args[4] = {0};
        int count = 0;
        char* word = strtok(line, " \r\n");
        while (word && count < 4) {
            args[count++] = word;
            word = strtok(NULL, " \r\n");
        }
        if (count == 0)
            continue;
        if (args[0][0] == 'F') {
            char* p = unhex(args[1]);
            snprintf(path, sizeof path, "%s", p);
            free(p);
            printf("ok\n");
        } else if (args[0][0] == 'R' && count == 4) {
            char *s = unhex(args[1]), *k = unhex(args[2]), *d = unhex(args[3]);
            DWORD got = GetPrivateProfileStringA(s, k, d, buffer, 2048, path);
            printf("= ");
            puthex(buffer, got);
            printf("\n");
            free(s), free(k), free(d);
        } else if (args[0][0] == 'L' && count == 2) {
            char* s = unhex(args[1]);
            DWORD got = GetPrivateProfileStringA(s, NULL, "", buffer, 16384, path);
            DWORD at = 0;
            printf("=");
            while (at < got && buffer[at]) {
                size_t n = strlen(buffer + at);
                printf(" ");
                puthex(buffer + at, n);
                at += (DWORD)n + 1;
            }
            printf("\n");
            free(s);
        } else if (args[0][0] == 'W' && count == 4) {
            char *s = unhex(args[1]), *k = unhex(args[2]), *v = unhex(args[3]);
            printf(WritePrivateProfileStringA(s, k, v, path) ? "ok\n" : "fail\n");
            free(s), free(k), free(v);
        } else {
            printf("?\n");
        }
        fflush(stdout);
    }
    return 0;
}
