# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws WMF and EMF files with LibreOffice, for tools/corpus/compare.

usage: python3 lo_reference.py PROFILE_DIR LONGEST   (file lines on stdin)

Each stdin line is "INPUT<TAB>OUTPUT.png". One headless soffice serves every
file: starting it takes seconds, drawing a file a fraction of one. A file is
loaded as a graphic and placed as a shape filling a hidden Draw page of its
proportions; exporting the page draws the vectors at the size asked (LONGEST
pixels on the longer side, in the graphic's own proportions).

Why the page and not the shape: a shape's export measures the shape with its
bounds grown by about one screen pixel and draws into one pixel less, so a
picture a few centimetres wide came out about a screen pixel (25 pixels at
800) too small and shifted up and left. A page's export scales the page's size
in 96-dpi screen pixels, rounded to whole ones, to the pixels asked; so the
page is made about a metre wide (PAGE_SIDE), where that rounding moves an edge
by a tenth of an output pixel at most. Measured on rectangles filling known
parts of an EMF and a WMF 32 x 9 screen pixels large: edges within 0.7 pixels
of their place at 800 (the shape's export: up to 23 off).

Prints one line per file as soon as it is
done, "ok<TAB>INPUT<TAB>WIDTH_MM100<TAB>HEIGHT_MM100<TAB>W<TAB>H<TAB>EXPORT" or
"fail<TAB>INPUT<TAB>why", so that the caller knows which file a hang or a crash
belongs to; EXPORT names this way of drawing, so that a picture drawn another
way before is known as such. Needs the python3-uno package (run with Debian's
/usr/bin/python3).
"""
import os
import subprocess
import sys
import time

import uno
from com.sun.star.awt import Point, Size
from com.sun.star.beans import PropertyValue

# The page's longer side in 1/100 mm: 40 inches, 3840 screen pixels at 96 dpi.
PAGE_SIDE = 101600
EXPORT = "page"


def prop(name, value):
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p


def connect(profile):
    pipe = "sortello_ref_%d" % os.getpid()
    office = subprocess.Popen(
        ["soffice", "-env:UserInstallation=" + uno.systemPathToFileUrl(profile), "--headless",
         "--invisible", "--norestore", "--nologo", "--accept=pipe,name=%s;urp;" % pipe],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
    for _ in range(240):
        try:
            return office, resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
        except Exception:  # soffice not listening yet
            time.sleep(0.25)
    raise SystemExit("lo_reference: soffice did not start")


def main():
    profile, longest = os.path.abspath(sys.argv[1]), int(sys.argv[2])
    office, ctx = connect(profile)
    try:
        smgr = ctx.ServiceManager
        provider = smgr.createInstanceWithContext("com.sun.star.graphic.GraphicProvider", ctx)
        desktop = smgr.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)
        doc = desktop.loadComponentFromURL("private:factory/sdraw", "_blank", 0, (prop("Hidden", True),))
        page = doc.DrawPages.getByIndex(0)
        exporter = smgr.createInstanceWithContext("com.sun.star.drawing.GraphicExportFilter", ctx)
        for line in sys.stdin:
            source, target = line.rstrip("\n").split("\t")
            try:
                graphic = provider.queryGraphic((prop("URL", uno.systemPathToFileUrl(source)),))
                if graphic is None:
                    raise ValueError("not read")
                mm = graphic.Size100thMM
                px = graphic.SizePixel
                w, h = (mm.Width, mm.Height) if mm.Width > 0 and mm.Height > 0 else (px.Width, px.Height)
                if w <= 0 or h <= 0:
                    raise ValueError("no size")
                scale = longest / max(w, h)
                width, height = max(1, round(w * scale)), max(1, round(h * scale))
                grow = PAGE_SIDE / max(w, h)
                page_w, page_h = max(1, round(w * grow)), max(1, round(h * grow))
                page.Width, page.Height = page_w, page_h
                page.BorderLeft = page.BorderRight = page.BorderTop = page.BorderBottom = 0
                # The whole page is drawn: a shape left from a file that failed would show.
                while page.Count:
                    page.remove(page.getByIndex(0))
                shape = doc.createInstance("com.sun.star.drawing.GraphicObjectShape")
                page.add(shape)
                shape.Graphic = graphic
                shape.Size = Size(page_w, page_h)
                shape.Position = Point(0, 0)
                exporter.setSourceDocument(page)
                data = uno.Any("[]com.sun.star.beans.PropertyValue",
                               (prop("PixelWidth", width), prop("PixelHeight", height)))
                exporter.filter((prop("URL", uno.systemPathToFileUrl(target)), prop("MediaType", "image/png"),
                                 prop("FilterData", data)))
                page.remove(shape)
                if not os.path.exists(target):
                    raise ValueError("nothing written")
                print("ok\t%s\t%d\t%d\t%d\t%d\t%s" % (source, w, h, width, height, EXPORT), flush=True)
            except Exception as error:  # the reference refuses this file
                print("fail\t%s\t%s" % (source, str(error).replace("\n", " ")[:200] or type(error).__name__),
                      flush=True)
        doc.close(True)
        desktop.terminate()
    finally:
        office.terminate()
        try:
            office.wait(10)
        except subprocess.TimeoutExpired:
            office.kill()


if __name__ == "__main__":
    main()
