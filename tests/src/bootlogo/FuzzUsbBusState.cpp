// Fuzz target of the USB detector's reading of a bus-state line.

#include "ISDBtDevDetectHandler.h"

#include <QString>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static ISDBtDevDetectHandler* detector = new ISDBtDevDetectHandler(nullptr);
    detector->parsingDwcOtgBus(QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<int>(size)));
    return 0;
}
