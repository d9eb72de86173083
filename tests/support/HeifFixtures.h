// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// HEIF pictures made from a QImage by libheif itself, for the tests and the
// benchmarks that encode their own HEIC and AVIF files.
#include <QImage>
#include <libheif/heif.h>

namespace sortello::test {

// The image's pixels as an 8-bit interleaved RGB heif_image, which the caller
// releases with heif_image_release.
heif_image* heifImageOf(const QImage& picture);

} // namespace sortello::test
