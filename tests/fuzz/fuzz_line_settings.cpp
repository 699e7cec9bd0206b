// The line settings text ("300,n,8,1"): what is taken reads back in its own short form, which is
// taken again alike.
#include "fuzz.h"
#include "line_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    LineSettings line, again;
    if (LineSettings::parse(std::string(data, data + size), &line))
        PROPERTY(LineSettings::parse(line.text, &again) && again.text == line.text &&
                 line.text.size() == std::to_string(line.baud).size() + 6 &&
                 again.baud == line.baud && again.speed == line.speed &&
                 again.parity == line.parity && again.dataBits == line.dataBits &&
                 again.twoStopBits == line.twoStopBits);
    return 0;
}
