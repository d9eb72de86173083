#include "EmfDevice.h"
namespace sortello::metafile {
QImage EmfDevice::bitmap(const Record&, std::size_t, std::size_t) const { return {}; }
void EmfDevice::blit(const QImage&, const QRectF&, const QRectF&, std::uint32_t) {}
bool EmfDevice::playBitmap(std::uint32_t, const Record&) { return false; }
}
