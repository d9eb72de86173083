# SPDX-License-Identifier: GPL-3.0-or-later
"""Windows GDI, as Wine implements it, as a second reference for WMF and EMF
in tools/corpus/compare.

LibreOffice leaves out or simplifies some records Windows draws (small text,
gradient fills, pattern brushes, hatches, user pen styles, raster operations),
so a file is judged against both. gdi_reference.c plays each file into a
white bitmap of the LibreOffice reference's pixel size; it is built on demand
with x86_64-w64-mingw32-gcc (Debian: gcc-mingw-w64-x86-64) into
CORPUS/reference-gdi/ and run under wine64 (Debian: wine64, fonts-wine for
Wine's own Symbol, Wingdings and Tahoma) in a prefix of its own,
CORPUS/wineprefix, with no display. The pictures are kept as
CORPUS/reference-gdi/<sha256>.png beside a note <sha256>.txt:
"ok<TAB>own width<TAB>own height<TAB>pixel width<TAB>pixel height" or
"fail<TAB>why" (the own size: an EMF's frame or a placeable WMF's box in
1/100 mm, a plain WMF's window extent, 0 0 when it has none).

Fonts: Wine matches a missing face to its default sans, so Times New Roman
and Courier New would come out in Liberation Sans; the prefix maps the three
core faces to their metric twins, as fontconfig (and so LibreOffice) does.
Wine's own Symbol font has outlines for few characters (formulas came out as
boxes), so the prefix gets a Symbol made from URW's Standard Symbols PS
(fonts-urw-base35) with the symbol character map Windows fonts have; this
needs python3-fonttools, without which Symbol text stays boxes.
"""
import concurrent.futures
import os
import queue
import shutil
import struct
import subprocess
import threading
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.join(HERE, "gdi_reference.c")
COMPILER = "x86_64-w64-mingw32-gcc"
WINE = shutil.which("wine64") or "/usr/lib/wine/wine64"
WINESERVER = shutil.which("wineserver") or "/usr/lib/wine/wineserver"
FIRST_TIMEOUT = 120  # seconds for wine to start and draw a first file
MAX_SKIPPED = 64     # records left out of a file before it counts as crashing GDI
WINE_FONTS = "/usr/share/wine/fonts"
# Faces documents name most, to the fonts fontconfig gives LibreOffice for them.
REPLACEMENTS = {"Arial": "Liberation Sans", "Helvetica": "Liberation Sans",
                "Times New Roman": "Liberation Serif", "Times": "Liberation Serif",
                "Courier New": "Liberation Mono", "Courier": "Liberation Mono"}
SYMBOL_SOURCE = "/usr/share/fonts/opentype/urw-base35/StandardSymbolsPS.otf"
PREFIX_VERSION = "2 " + repr(sorted(REPLACEMENTS.items()))


def folder(corpus):
    return os.path.join(corpus, "reference-gdi")


def paths(corpus, digest):
    base = os.path.join(folder(corpus), digest)
    return base + ".png", base + ".txt"


def read(corpus, digest):
    """(status, own size (w, h) or None, pixel size or None, why), or None
    when not drawn yet."""
    meta = paths(corpus, digest)[1]
    if not os.path.exists(meta):
        return None
    fields = open(meta, encoding="utf-8").read().split("\t")
    if fields[0] != "ok":
        return ("fail", None, None, fields[1] if len(fields) > 1 else "")
    own = (abs(int(fields[1])), abs(int(fields[2])))
    return ("ok", own if own[0] and own[1] else None, (int(fields[3]), int(fields[4])), "")


def write(corpus, digest, fields):
    meta = paths(corpus, digest)[1]
    with open(meta + ".part", "w", encoding="utf-8") as f:
        f.write("\t".join(str(x) for x in fields))
    os.replace(meta + ".part", meta)


def missing_tools():
    """Why the GDI reference cannot be drawn here, or None."""
    for tool, package in ((COMPILER, "gcc-mingw-w64-x86-64"), (WINE, "wine64")):
        if not shutil.which(tool):
            return "%s is missing: apt-get install %s" % (tool, package)
    return None


def environment(corpus):
    env = dict(os.environ, WINEPREFIX=os.path.join(corpus, "wineprefix"), WINEDEBUG="-all",
               # No prompts to install Mono or Gecko, and no debugger on a crash.
               WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d")
    env.pop("DISPLAY", None)  # GDI draws into memory; no window is opened
    return env


def program(corpus):
    """gdi_reference.exe, built again when its source is newer."""
    exe = os.path.join(folder(corpus), "gdi_reference.exe")
    if not os.path.exists(exe) or os.path.getmtime(exe) < os.path.getmtime(SOURCE):
        subprocess.run([COMPILER, "-O2", "-Wall", "-Wextra", "-o", exe + ".part.exe", SOURCE, "-lgdi32"],
                       check=True)
        os.replace(exe + ".part.exe", exe)
    return exe


def prepare_prefix(corpus, run):
    """Creates the Wine prefix once and sets its fonts; run(command, timeout, env)."""
    env = environment(corpus)
    prefix = env["WINEPREFIX"]
    stamp = os.path.join(prefix, "sortello-prepared")
    if os.path.exists(stamp) and open(stamp).read() == PREFIX_VERSION:
        return
    print("compare: preparing the Wine prefix %s" % prefix, flush=True)
    run([WINE, "wineboot", "--init"], 600, env)
    # Debian's Wine does not look in its own font folder; the Windows one it reads.
    fonts = os.path.join(prefix, "drive_c", "windows", "Fonts")
    symbol = make_symbol_font(os.path.join(fonts, "sortello-symbol.otf"))
    if os.path.isdir(WINE_FONTS):
        for name in os.listdir(WINE_FONTS):
            if name.endswith(".ttf") and not (symbol and name == "symbol.ttf"):
                shutil.copy(os.path.join(WINE_FONTS, name), fonts)
    if symbol and os.path.exists(os.path.join(fonts, "symbol.ttf")):
        os.remove(os.path.join(fonts, "symbol.ttf"))
    reg = os.path.join(prefix, "sortello-fonts.reg")
    with open(reg, "w", encoding="utf-8") as f:
        f.write("REGEDIT4\n\n[-HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\n\n"
                "[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\n")
        f.writelines('"%s"="%s"\n' % item for item in sorted(REPLACEMENTS.items()))
    run([WINE, "regedit", "/S", "Z:" + reg.replace("/", "\\")], 300, env)
    with open(stamp, "w") as f:
        f.write(PREFIX_VERSION)


def make_symbol_font(target):
    """Writes a "Symbol" font with the Windows symbol character map (codes
    0xF020-0xF0FF) from Standard Symbols PS, whose own map already is in the
    Symbol encoding. False when fontTools or the font is missing."""
    try:
        from fontTools.ttLib import TTFont
        from fontTools.ttLib.tables._c_m_a_p import cmap_format_4
    except ImportError:
        return False
    if not os.path.exists(SYMBOL_SOURCE):
        return False
    font = TTFont(SYMBOL_SOURCE)
    table = cmap_format_4(4)
    table.platformID, table.platEncID, table.language = 3, 0, 0
    table.cmap = {0xF000 + code: glyph for code, glyph in font["cmap"].getcmap(3, 1).cmap.items() if code < 256}
    font["cmap"].tables = [table]
    for record in font["name"].names:
        if record.nameID in (1, 4, 6, 16):  # family, full and PostScript names
            record.string = "Symbol"
    font["OS/2"].ulCodePageRange1 = 1 << 31  # the symbol character set
    font.save(target)
    return True


def ppm_to_png(ppm, png):
    with open(ppm, "rb") as f:
        data = f.read()
    magic, width, height, depth, pixels = data.split(maxsplit=4)
    w, h = int(width), int(height)
    if magic != b"P6" or depth != b"255" or len(pixels) != w * h * 3:
        raise ValueError("bad PPM")
    rows = b"".join(b"\0" + pixels[y * w * 3:(y + 1) * w * 3] for y in range(h))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    with open(png + ".part", "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(rows, 6)) + chunk(b"IEND", b""))
    os.replace(png + ".part", png)
    os.remove(ppm)


def feed(pipe, text):
    try:
        pipe.write(text)
        pipe.close()
    except (BrokenPipeError, ValueError):
        pass  # the program ended early; the reader sees that


def worker(corpus, exe, items, timeout, kill_group):
    """Draws items [(path, digest, pixel size or None)] through one wine
    process; starts it again past a file that hangs or crashes it, and marks
    that file failed."""
    env = environment(corpus)
    pending = list(items)
    failed_starts = 0
    skips = {}  # path: the records that crashed wine, left out on the next try
    while pending:
        process = subprocess.Popen([WINE, exe], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   stderr=subprocess.DEVNULL, text=True, errors="replace", env=env,
                                   start_new_session=True)
        lines = queue.Queue()
        threading.Thread(target=lambda: [lines.put(l) for l in process.stdout] + [lines.put(None)],
                         daemon=True).start()
        by_path = {path: digest for path, digest, _ in pending}
        # Without the LibreOffice size: the picture's own proportions, 800 pixels.
        work = "".join("%s\t%s\t%d\t%d\t%s\n" % ((p, paths(corpus, d)[0][:-4] + ".ppm") + (px or (0, 800))
                                                   + (",".join(map(str, skips.get(p, []))),))
                       for p, d, px in pending)
        threading.Thread(target=feed, args=(process.stdin, work), daemon=True).start()
        wait, answered = FIRST_TIMEOUT, False
        while pending:
            try:
                line = lines.get(timeout=wait)
            except queue.Empty:
                line = "timeout"
            if line is None and not answered:
                failed_starts += 1
                if failed_starts >= 3:
                    raise SystemExit("compare: wine does not start gdi_reference.exe")
            if line is None or line == "timeout":
                path, digest, _ = pending.pop(0)
                write(corpus, digest, ["fail", "GDI " + ("hangs" if line else "crashes")])
                kill_group(process)
                break
            wait, answered, failed_starts = timeout, True, 0
            fields = line.rstrip("\n").split("\t")
            if len(fields) < 3 or fields[1] not in by_path:
                continue
            if fields[0] == "crash":
                skips.setdefault(fields[1], []).append(int(fields[2]))
                if len(skips[fields[1]]) >= MAX_SKIPPED:
                    write(corpus, by_path[fields[1]], ["fail", "GDI crashes on %d records" % MAX_SKIPPED])
                    pending = [item for item in pending if item[0] != fields[1]]
                kill_group(process)
                break
            digest = by_path[fields[1]]
            png = paths(corpus, digest)[0]
            if fields[0] == "ok":
                try:
                    ppm_to_png(png[:-4] + ".ppm", png)
                except (OSError, ValueError) as error:
                    fields = ["fail", fields[1], "picture not written: %s" % error]
            skipped = skips.get(fields[1])
            write(corpus, digest, [fields[0]] + fields[2:]
                  + (["records left out (they crash Wine): %s" % ",".join(map(str, skipped))] if skipped else []))
            pending = [item for item in pending if item[0] != fields[1]]
        process.wait()
        kill_group(process)


def draw_references(corpus, items, workers, timeout, run, kill_group):
    """Draws the GDI reference of items [(path, digest, pixel size or None)]
    not drawn yet."""
    os.makedirs(folder(corpus), exist_ok=True)
    exe = program(corpus)
    prepare_prefix(corpus, run)
    # Drawn again when the program or the prefix changed since.
    changed = max(os.path.getmtime(exe), os.path.getmtime(os.path.join(environment(corpus)["WINEPREFIX"],
                                                                         "sortello-prepared")))
    todo = [item for item in items if read(corpus, item[1]) is None
            or os.path.getmtime(paths(corpus, item[1])[1]) < changed]
    if not todo:
        return
    print("compare: drawing %d references through Windows GDI (Wine)" % len(todo), flush=True)
    # One server for the whole run, started here in a session of its own: a
    # worker stopped past a hanging file must not take it down with it, and
    # restarting it costs seconds.
    run([WINESERVER, "--wait"], 60, environment(corpus))  # the one preparing the prefix
    server = subprocess.Popen([WINESERVER, "--persistent", "--foreground"], env=environment(corpus),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        with concurrent.futures.ThreadPoolExecutor(workers) as pool:
            jobs = [pool.submit(worker, corpus, exe, todo[i::workers], timeout, kill_group)
                    for i in range(workers) if todo[i::workers]]
            for job in jobs:
                job.result()
    finally:
        run([WINESERVER, "--kill"], 60, environment(corpus))
        server.wait()
