// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/MetafileFixtures.h"

#include <QDataStream>
#include <QFile>
#include <QStringEncoder>
#include <QXmlStreamReader>
#include <cstdlib>
#include <uemf.h>
#include <uemf_utf.h>
#include <upmf.h>
#include <uwmf.h>

namespace sortello::test {

namespace {

// A reference device of 3.7795 pixels per millimetre: exactly 96 dpi.
constexpr int DevicePixels = 960;
constexpr int DeviceMillimetres = 254;

U_COLORREF colorOf(const QColor& color) {
    return colorref_set(color.red(), color.green(), color.blue());
}

bool append(EMFTRACK* emf, char* record) {
    return record && emf_append(reinterpret_cast<U_ENHMETARECORD*>(record), emf, U_REC_FREE) == 0;
}

bool append(WMFTRACK* wmf, char* record) {
    return record && wmf_append(reinterpret_cast<U_METARECORD*>(record), wmf, U_REC_FREE) == 0;
}

// Text in the code page of a font's character set.
QByteArray codePageText(const QString& text, quint8 charset) {
    const char* name = charset == 204   ? "windows-1251"
                       : charset == 161 ? "windows-1253"
                       : charset == 238 ? "windows-1250"
                       : charset == 128 ? "Shift_JIS"
                                        : "windows-1252";
    QStringEncoder encode(name);
    return encode.isValid() ? QByteArray(encode(text)) : text.toLatin1();
}

// libuemf always writes the placeable header; it is the first 22 bytes.
bool dropPlaceableHeader(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    const QByteArray rest = file.readAll().mid(22);
    return file.resize(0) && file.write(rest) == rest.size();
}

// An EMF comment holding an EMF+ header, a FillRects record of one rectangle
// in a solid colour, and the end of the EMF+ records.
char* emfPlusRectangle(const QRect& r, const QColor& color) {
    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.setFloatingPointPrecision(QDataStream::SinglePrecision);
    out << quint32(U_EMR_COMMENT_EMFPLUSRECORD);
    // Header: version, a video display as reference device, 96 dpi.
    out << quint16(U_PMR_HEADER | U_PMR_RECFLAG) << quint16(0) << quint32(28) << quint32(16)
        << quint32(0xDBC01002) << quint32(1) << quint32(96) << quint32(96);
    // FillRects with a colour in place of a brush object, in floating point.
    out << quint16(U_PMR_FILLRECTS | U_PMR_RECFLAG) << quint16(0x8000) << quint32(36) << quint32(24)
        << quint32(color.rgba()) << quint32(1) << float(r.x()) << float(r.y()) << float(r.width())
        << float(r.height());
    out << quint16(U_PMR_ENDOFFILE | U_PMR_RECFLAG) << quint16(0) << quint32(12) << quint32(0);
    return U_EMRCOMMENT_set(U_CBDATA(data.size()), data.constData());
}

} // namespace

bool writeEmf(const QString& path, const MetafileSample& sample) {
    EMFTRACK* emf = nullptr;
    EMFHANDLES* handles = nullptr;
    if (emf_start(QFile::encodeName(path).constData(), 4096, 4096, &emf) != 0)
        return false;
    emf_htable_create(16, 16, &handles);

    // The frame is in hundredths of a millimetre, 2540 to the inch.
    const U_RECTL frame =
        rectl_set(pointl_set(0, 0), pointl_set(qRound(sample.size.width() * 2540 / 96.0),
                                               qRound(sample.size.height() * 2540 / 96.0)));
    const QRect& r = sample.shape;
    const U_RECTL bounds =
        rectl_set(pointl_set(r.left(), r.top()), pointl_set(r.right(), r.bottom()));
    const int k = sample.unitsPerPixel;
    const U_RECTL box =
        rectl_set(pointl_set(r.left() * k, r.top() * k),
                  pointl_set((r.left() + r.width()) * k, (r.top() + r.height()) * k));
    const U_POINTL center =
        pointl_set((r.left() + r.width() / 2) * k, (r.top() + r.height() / 2) * k);
    uint32_t brush = 0;
    bool ok = append(emf, U_EMRHEADER_set(bounds, frame, nullptr, 0, nullptr,
                                          sizel_set(DevicePixels, DevicePixels),
                                          sizel_set(DeviceMillimetres, DeviceMillimetres), 0));
    ok = ok &&
         append(emf, createbrushindirect_set(
                         &brush, handles,
                         logbrush_set(sample.brush == EmfBrush::Hollow ? U_BS_NULL : U_BS_SOLID,
                                      colorOf(sample.color), U_HS_SOLIDCLR)));
    if (sample.brush != EmfBrush::Unselected)
        ok = ok && append(emf, selectobject_set(brush, handles));
    if (k != 1) {
        ok = ok && append(emf, U_EMRSETMAPMODE_set(U_MM_ANISOTROPIC));
        ok = ok && append(emf, U_EMRSETWINDOWEXTEX_set(
                                   sizel_set(sample.size.width() * k, sample.size.height() * k)));
        ok = ok && append(emf, U_EMRSETVIEWPORTEXTEX_set(
                                   sizel_set(sample.size.width(), sample.size.height())));
    }
    if (sample.penWidth > 0) {
        uint32_t pen = 0;
        ok = ok && append(emf, createpen_set(&pen, handles,
                                             logpen_set(U_PS_SOLID, point_set(sample.penWidth, 0),
                                                        colorref_set(0, 0, 0))));
        ok = ok && append(emf, selectobject_set(pen, handles));
    } else {
        ok = ok && append(emf, selectobject_set(U_NULL_PEN, handles));
    }
    switch (sample.kind) {
    case MetafileShape::Rectangle:
        ok = ok && append(emf, U_EMRRECTANGLE_set(box));
        break;
    case MetafileShape::Ellipse:
        ok = ok && append(emf, U_EMRELLIPSE_set(box));
        break;
    case MetafileShape::QuarterPie:
        ok = ok && append(emf, U_EMRPIE_set(box, pointl_set(box.right, center.y),
                                            pointl_set(center.x, box.top)));
        break;
    case MetafileShape::Region: {
        const int middle = box.top + r.height() / 2;
        U_RECTL halves[2] = {
            rectl_set(pointl_set(box.left, box.top), pointl_set(box.right, middle)),
            rectl_set(pointl_set(box.left, middle), pointl_set(box.right, box.bottom))};
        PU_RGNDATA region = rgndata_set(rgndataheader_set(2, box), halves);
        ok = ok && region && append(emf, U_EMRFILLRGN_set(box, brush, region));
        std::free(region);
        break;
    }
    case MetafileShape::EmfPlusRectangle:
        ok = ok && append(emf, emfPlusRectangle(r, sample.color));
        break;
    case MetafileShape::Bitmap:
        ok = false;
        break;
    }
    if (!sample.text.isEmpty()) {
        uint32_t font = 0;
        uint16_t* face = U_Utf8ToUtf16le("Arial", 0, nullptr);
        U_LOGFONT logFont =
            logfont_set(-12, 0, 0, 0, U_FW_NORMAL, 0, 0, 0, sample.charset, U_OUT_DEFAULT_PRECIS,
                        U_CLIP_DEFAULT_PRECIS, U_DEFAULT_QUALITY, U_DEFAULT_PITCH, face);
        std::free(face);
        ok = ok && append(emf, extcreatefontindirectw_set(
                                   &font, handles, reinterpret_cast<char*>(&logFont), nullptr));
        ok = ok && append(emf, selectobject_set(font, handles));
        size_t length = 0;
        uint16_t* text = U_Utf8ToUtf16le(sample.text.toUtf8().constData(), 0, &length);
        uint32_t* advances = dx_set(-12, U_FW_NORMAL, length);
        for (size_t i = 0; advances && sample.advance > 0 && i < length; ++i)
            advances[i] = uint32_t(sample.advance);
        const U_RECTL noBounds{0, 0, -1, -1};
        const uint32_t options = sample.glyphIndices ? U_ETO_GLYPH_INDEX : U_ETO_NONE;
        // Text that goes on from the current position names no point of its
        // own; it is written twice, the second run after the first.
        const bool fromPosition = sample.textAtCurrentPosition;
        if (fromPosition) {
            ok = ok && append(emf, U_EMRSETTEXTALIGN_set(U_TA_UPDATECP));
            ok = ok && append(emf, U_EMRMOVETOEX_set(pointl_set(2, 12)));
        }
        // libuemf moves the offsets of a run into its record: one run a record.
        for (int i = 0; i < (fromPosition ? 2 : 1); ++i) {
            char* run = emrtext_set(fromPosition ? pointl_set(0, 0) : pointl_set(2, 12), length, 2,
                                    text, options, noBounds, advances);
            ok = ok && append(emf, U_EMREXTTEXTOUTW_set(noBounds, U_GM_COMPATIBLE, 1, 1,
                                                        reinterpret_cast<PU_EMRTEXT>(run)));
            std::free(run);
        }
        std::free(advances);
        std::free(text);
    }
    ok = ok && append(emf, U_EMREOF_set(0, nullptr, emf));
    ok = ok && emf_finish(emf, handles) == 0;
    emf_free(&emf);
    emf_htable_free(&handles);
    return ok;
}

bool writeWmf(const QString& path, const MetafileSample& sample) {
    WMFTRACK* wmf = nullptr;
    WMFHANDLES* handles = nullptr;
    if (wmf_start(QFile::encodeName(path).constData(), 4096, 4096, &wmf) != 0)
        return false;
    wmf_htable_create(16, 16, &handles);

    // Coordinates are 16-bit: fine units for small pictures, pixels for
    // large ones.
    const int unitsPerInch =
        sample.placeable && qMax(sample.size.width(), sample.size.height()) * 15 <= 32767 ? 1440
                                                                                          : 96;
    const int scale = unitsPerInch / 96;
    const auto point = [&](int x, int y) { return point16_set(x * scale, y * scale); };
    U_PAIRF* inches = U_PAIRF_set(sample.size.width() / 96.0f, sample.size.height() / 96.0f);
    char* header = U_WMRHEADER_set(inches, unitsPerInch);
    std::free(inches);
    bool ok = header && wmf_header_append(reinterpret_cast<U_METARECORD*>(header), wmf, 1) == 0;
    if (sample.mapping == WmfMapping::Window) {
        ok = ok && append(wmf, U_WMRSETWINDOWORG_set(point16_set(0, 0)));
        ok = ok &&
             append(wmf, U_WMRSETWINDOWEXT_set(point(sample.size.width(), sample.size.height())));
        ok = ok && append(wmf, U_WMRSETMAPMODE_set(U_MM_ANISOTROPIC));
    }
    ok = ok && append(wmf, U_WMRSETBKMODE_set(U_TRANSPARENT));

    uint32_t brush = 0;
    uint32_t pen = 0;
    ok = ok && append(wmf, wcreatebrushindirect_set(
                               &brush, handles,
                               U_WLOGBRUSH_set(U_BS_SOLID, colorOf(sample.color), U_HS_SOLIDCLR)));
    ok = ok && append(wmf, wselectobject_set(brush, handles));
    ok = ok && append(wmf, wcreatepenindirect_set(&pen, handles,
                                                  U_PEN_set(U_PS_NULL, 0, colorref_set(0, 0, 0))));
    ok = ok && append(wmf, wselectobject_set(pen, handles));
    const QRect& r = sample.shape;
    const U_RECT16 box =
        U_RECT16_set(point(r.left(), r.top()), point(r.left() + r.width(), r.top() + r.height()));
    const int centerX = r.left() + r.width() / 2;
    const int centerY = r.top() + r.height() / 2;
    switch (sample.kind) {
    case MetafileShape::Rectangle:
        ok = ok && append(wmf, U_WMRRECTANGLE_set(box));
        break;
    case MetafileShape::Ellipse:
        ok = ok && append(wmf, U_WMRELLIPSE_set(box));
        break;
    case MetafileShape::QuarterPie:
        ok = ok && append(wmf, U_WMRPIE_set(point(r.left() + r.width(), centerY),
                                            point(centerX, r.top()), box));
        break;
    case MetafileShape::Bitmap: {
        // Two rows of two blue-green-red pixels, each row padded to 8 bytes.
        const char bgr[3] = {char(sample.color.blue()), char(sample.color.green()),
                             char(sample.color.red())};
        QByteArray pixels;
        for (int row = 0; row < 2; ++row)
            pixels += QByteArray(bgr, 3) + QByteArray(bgr, 3) + QByteArray(2, '\0');
        PU_BITMAPINFO info =
            bitmapinfo_set(bitmapinfoheader_set(2, 2, 1, 24, U_BI_RGB, 0, 0, 0, 0, 0), nullptr);
        ok = ok && info &&
             append(wmf, U_WMRSTRETCHDIB_set(point(r.left(), r.top()), point(r.width(), r.height()),
                                             point(0, 0), point(2, 2), U_DIB_RGB_COLORS, U_SRCCOPY,
                                             info, uint32_t(pixels.size()), pixels.constData()));
        free(info);
        break;
    }
    case MetafileShape::Region:
    case MetafileShape::EmfPlusRectangle:
        ok = false;
        break;
    }
    if (!sample.text.isEmpty()) {
        uint32_t font = 0;
        char face[] = "Arial";
        U_FONT* logFont = U_FONT_set(int16_t(-12 * scale), 0, 0, 0, U_FW_NORMAL, 0, 0, 0,
                                     sample.charset, U_OUT_DEFAULT_PRECIS, U_CLIP_DEFAULT_PRECIS,
                                     U_DEFAULT_QUALITY, U_DEFAULT_PITCH, face);
        ok = ok && logFont && append(wmf, wcreatefontindirect_set(&font, handles, logFont));
        std::free(logFont);
        ok = ok && append(wmf, wselectobject_set(font, handles));
        QByteArray text = codePageText(sample.text, sample.charset);
        ok = ok && append(wmf, U_WMRTEXTOUT_set(point(2, 12), text.data()));
    }
    ok = ok && append(wmf, U_WMREOF_set());
    ok = ok && wmf_finish(wmf) == 0;
    wmf_free(&wmf);
    wmf_htable_free(&handles);
    return ok && (sample.placeable || dropPlaceableHeader(path));
}

QString textOf(const QByteArray& svg) {
    QString text;
    QXmlStreamReader reader(svg);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == u"text")
            text += reader.readElementText(QXmlStreamReader::IncludeChildElements);
    }
    return text;
}

} // namespace sortello::test
