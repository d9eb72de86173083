// SPDX-License-Identifier: GPL-3.0-or-later
/* Draws WMF and EMF files with Windows GDI, as a second reference for
 * tools/corpus/compare. A Windows program: built with x86_64-w64-mingw32-gcc
 * and run under wine64 (Debian's gcc-mingw-w64-x86-64 and wine64).
 *
 * Reads lines "INPUT<TAB>OUTPUT.ppm<TAB>WIDTH<TAB>HEIGHT" (UTF-8, Unix or
 * Windows paths) on stdin; one process serves every file, because starting
 * wine costs far more than drawing a file. Each file is played into a white
 * 32-bit DIB section of WIDTH x HEIGHT and written as a binary PPM. Prints one
 * line per file as soon as it is done: "ok<TAB>INPUT<TAB>OWN_W<TAB>OWN_H<TAB>W<TAB>H" (the
 * picture's own size as GDI sees it: an EMF's frame and a placeable WMF's box
 * in 1/100 mm, a plain WMF's window extent in its own units, 0 0 when it sets
 * none) or "fail<TAB>INPUT<TAB>why", so the caller knows which file a hang or
 * a crash belongs to; "crash<TAB>INPUT<TAB>N" when record N (from 1) crashed
 * it, before it ends. An optional fifth field lists records to leave out,
 * "N,M,...". WIDTH 0 asks for the picture's own proportions with
 * HEIGHT pixels on the longer side.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#define PLACEABLE_KEY 0x9AC6CDD7u
#define PLACEABLE_HEADER 22
#define EMF_SIGNATURE 0x464D4520u
#define META_SETWINDOWEXT 0x020C
#define MAX_FILE (256u << 20)
#define MAX_SKIPPED 64

static unsigned get16(const BYTE* p) {
    return p[0] | p[1] << 8;
}
static unsigned get32(const BYTE* p) {
    return get16(p) | (unsigned)get16(p + 2) << 16;
}
static int signed16(const BYTE* p) {
    return (short)get16(p);
}

/* "/work/x" names the file on Wine's Z: drive, which maps the Unix root. */
static WCHAR* windows_path(const char* utf8) {
    char* text = malloc(strlen(utf8) + 3);
    if (utf8[0] == '/') {
        strcpy(text, "Z:");
        strcat(text, utf8);
    } else {
        strcpy(text, utf8);
    }
    for (char* c = text; *c; ++c)
        if (*c == '/')
            *c = '\\';
    int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, NULL, 0);
    WCHAR* wide = malloc(sizeof(WCHAR) * (length > 0 ? length : 1));
    wide[0] = 0;
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, length);
    free(text);
    return wide;
}

static BYTE* read_file(const char* utf8, DWORD* size) {
    WCHAR* path = windows_path(utf8);
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    free(path);
    if (file == INVALID_HANDLE_VALUE)
        return NULL;
    BYTE* data = NULL;
    DWORD high = 0, low = GetFileSize(file, &high), got = 0;
    if (high == 0 && low < MAX_FILE && (data = malloc(low ? low : 1)) != NULL &&
        (!ReadFile(file, data, low, &got, NULL) || got != low)) {
        free(data);
        data = NULL;
    }
    CloseHandle(file);
    *size = low;
    return data;
}

static int write_ppm(const char* utf8, const DWORD* pixels, int w, int h) {
    WCHAR* path = windows_path(utf8);
    FILE* out = _wfopen(path, L"wb");
    free(path);
    if (!out)
        return 0;
    fprintf(out, "P6\n%d %d\n255\n", w, h);
    BYTE* row = malloc((size_t)w * 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            DWORD bgr = pixels[(size_t)y * w + x];
            row[x * 3] = (BYTE)(bgr >> 16);
            row[x * 3 + 1] = (BYTE)(bgr >> 8);
            row[x * 3 + 2] = (BYTE)bgr;
        }
        fwrite(row, 3, w, out);
    }
    free(row);
    return fclose(out) == 0;
}

/* The first window extent a plain WMF sets, or 0 x 0: its own size (later
 * ones are for parts drawn in other mapping modes). */
static void window_extent(const BYTE* data, DWORD size, int* w, int* h) {
    *w = *h = 0;
    if (size < 18)
        return;
    DWORD at = get16(data + 2) * 2u;
    while (at + 6 <= size) {
        DWORD words = get32(data + at);
        if (words < 3 || words > (size - at) / 2)
            break;
        if (get16(data + at + 4) == META_SETWINDOWEXT && words >= 5) {
            *h = signed16(data + at + 6);
            *w = signed16(data + at + 8);
            return;
        }
        at += words * 2;
    }
}

/* A file read by GDI, with its own size (see the top of this file). */
struct picture {
    HENHMETAFILE emf;
    HMETAFILE wmf;
    int placeable, left, top, right, bottom;
    int own_w, own_h;
};

static const char* load(const BYTE* data, DWORD size, struct picture* p) {
    memset(p, 0, sizeof *p);
    if (size >= 88 && get32(data) == EMR_HEADER && get32(data + 40) == EMF_SIGNATURE) {
        p->emf = SetEnhMetaFileBits(size, data);
        if (!p->emf)
            return "GDI does not read it as an EMF";
        ENHMETAHEADER header;
        GetEnhMetaFileHeader(p->emf, sizeof header, &header);
        p->own_w = header.rclFrame.right - header.rclFrame.left;
        p->own_h = header.rclFrame.bottom - header.rclFrame.top;
        return NULL;
    }
    p->placeable = size >= PLACEABLE_HEADER && get32(data) == PLACEABLE_KEY;
    const BYTE* records = p->placeable ? data + PLACEABLE_HEADER : data;
    DWORD length = p->placeable ? size - PLACEABLE_HEADER : size;
    // The header's own size, as an application reading the file passes it:
    // GDI refuses an odd length, and files often carry padding after the end.
    if (length >= 18 && get32(records + 6) >= 9 && get32(records + 6) <= length / 2)
        length = get32(records + 6) * 2;
    p->wmf = SetMetaFileBitsEx(length, records);
    if (!p->wmf)
        return "GDI does not read it as a WMF";
    if (p->placeable) {
        p->left = signed16(data + 6);
        p->top = signed16(data + 8);
        p->right = signed16(data + 10);
        p->bottom = signed16(data + 12);
        int inch = get16(data + 14) ? get16(data + 14) : 1440;
        p->own_w = MulDiv(abs(p->right - p->left), 2540, inch);
        p->own_h = MulDiv(abs(p->bottom - p->top), 2540, inch);
    } else {
        window_extent(records, length, &p->own_w, &p->own_h);
    }
    return NULL;
}

/* Records are played one by one, as PlayEnhMetaFile and PlayMetaFile do,
 * so that one that crashes Wine (it follows some damaged records into a page
 * fault) can be named and left out on the next try. */
static struct {
    const char* input;
    int record;
    int skip[MAX_SKIPPED], skipped;
} playing;

static int skipped(int record) {
    for (int i = 0; i < playing.skipped; ++i)
        if (playing.skip[i] == record)
            return 1;
    return 0;
}

/* Wine's 64-bit build reads an extended pen record with its own pointer-
 * sized layout, so ExtCreatePen gets shifted fields, fails, and every such
 * pen is drawn as the default black hairline; the record has the 32-bit
 * layout (EXTLOGPEN32), read here. Pens with a bitmap brush are left to Wine. */
static int create_pen(HANDLETABLE* table, const ENHMETARECORD* record, int objects) {
    const BYTE* r = (const BYTE*)record;
    if (record->nSize < 52)
        return 0;
    DWORD slot = get32(r + 8), count = get32(r + 48);
    LOGBRUSH brush = {get32(r + 36), get32(r + 40), get32(r + 44)};
    if (slot == 0 || slot >= (DWORD)objects || count > (record->nSize - 52) / 4 ||
        (brush.lbStyle != BS_SOLID && brush.lbStyle != BS_NULL && brush.lbStyle != BS_HATCHED))
        return 0;
    table->objectHandle[slot] = ExtCreatePen(get32(r + 28), get32(r + 32), &brush, count,
                                             count ? (const DWORD*)(r + 52) : NULL);
    return 1;
}

static int CALLBACK emf_record(HDC dc, HANDLETABLE* table, const ENHMETARECORD* record, int objects,
                               LPARAM data) {
    (void)data;
    if (skipped(++playing.record))
        return 1;
    if (record->iType != EMR_EXTCREATEPEN || !create_pen(table, record, objects))
        PlayEnhMetaFileRecord(dc, table, record, objects); // false for a bad record; go on
    return 1;
}

static int CALLBACK wmf_record(HDC dc, HANDLETABLE* table, METARECORD* record, int objects,
                               LPARAM data) {
    (void)data;
    if (!skipped(++playing.record))
        PlayMetaFileRecord(dc, table, record, objects);
    return 1;
}

static LONG WINAPI crashed(EXCEPTION_POINTERS* exception) {
    (void)exception;
    printf("crash\t%s\t%d\n", playing.input, playing.record);
    fflush(stdout);
    ExitProcess(3);
}

/* An EMF's frame goes onto the whole rectangle, as when a document places
 * the picture. A WMF is played the way office programs place one: the
 * placeable box (or, in a plain file, the window its own SetWindowOrg and
 * SetWindowExt records set while playing) mapped onto the rectangle through
 * MM_ANISOTROPIC. */
static void play(HDC dc, const struct picture* p, int w, int h) {
    RECT rect = {0, 0, w, h};
    playing.record = 0;
    if (p->emf) {
        EnumEnhMetaFile(dc, p->emf, emf_record, NULL, &rect);
        return;
    }
    SetMapMode(dc, MM_ANISOTROPIC);
    if (p->placeable) {
        SetWindowOrgEx(dc, p->left, p->top, NULL);
        SetWindowExtEx(dc, p->right - p->left, p->bottom - p->top, NULL);
    } else {
        SetWindowExtEx(dc, w, h, NULL); // without records of its own: a unit per pixel
    }
    SetViewportOrgEx(dc, 0, 0, NULL);
    SetViewportExtEx(dc, w, h, NULL);
    EnumMetaFile(dc, p->wmf, wmf_record, 0);
}

static void draw(const char* input, const char* output, int w, int h) {
    DWORD size = 0;
    BYTE* data = read_file(input, &size);
    if (!data) {
        printf("fail\t%s\tcannot be read\n", input);
        return;
    }
    struct picture p;
    const char* why = load(data, size, &p);
    free(data);
    if (!why && w == 0) {
        int longest = h, ow = abs(p.own_w), oh = abs(p.own_h);
        if (ow == 0 || oh == 0)
            why = "no size of its own";
        else if (ow >= oh)
            w = longest, h = max(1, MulDiv(oh, longest, ow));
        else
            w = max(1, MulDiv(ow, longest, oh)), h = longest;
    }
    BITMAPINFO info = {0};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h; // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = NULL;
    HDC dc = why ? NULL : CreateCompatibleDC(NULL);
    HBITMAP bitmap = dc ? CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, NULL, 0) : NULL;
    if (why) {
        printf("fail\t%s\t%s\n", input, why);
    } else if (!bitmap) {
        printf("fail\t%s\tno %d x %d bitmap\n", input, w, h);
    } else {
        HGDIOBJ old = SelectObject(dc, bitmap);
        memset(bits, 0xFF, (size_t)w * h * 4);
        play(dc, &p, w, h);
        GdiFlush();
        if (!write_ppm(output, bits, w, h))
            printf("fail\t%s\tcannot write %s\n", input, output);
        else
            printf("ok\t%s\t%d\t%d\t%d\t%d\n", input, p.own_w, p.own_h, w, h);
        SelectObject(dc, old);
    }
    if (bitmap)
        DeleteObject(bitmap);
    if (dc)
        DeleteDC(dc);
    if (p.emf)
        DeleteEnhMetaFile(p.emf);
    if (p.wmf)
        DeleteMetaFile(p.wmf);
}

int main(void) {
    static char line[8192];
    // A crash in GDI must end this process, not open a debugger dialog.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(crashed);
    while (fgets(line, sizeof line, stdin)) {
        line[strcspn(line, "\r\n")] = 0;
        char* output = strchr(line, '\t');
        char* width = output ? strchr(output + 1, '\t') : NULL;
        char* height = width ? strchr(width + 1, '\t') : NULL;
        if (!height)
            continue;
        *output++ = *width++ = *height++ = 0;
        int w = atoi(width), h = atoi(height);
        playing.input = line;
        playing.skipped = 0;
        for (char* next = strchr(height, '\t'); next && playing.skipped < MAX_SKIPPED;
             next = strchr(next, ','))
            playing.skip[playing.skipped++] = atoi(++next);
        if (w < 0 || h <= 0 || w > 20000 || h > 20000)
            printf("fail\t%s\tbad size\n", line);
        else
            draw(line, output, w, h);
        fflush(stdout);
    }
    return 0;
}
