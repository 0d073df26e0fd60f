// libFuzzer target: what the scanner helper sends, as the library reads it. Any bytes are
// cut into messages and each is decoded as every kind of answer; the reader must stay
// within the message and within its limits whatever the lengths and counts claim.

#include "scanlib/wire/Protocol.h"

#include <cstdint>

using namespace scanlib::wire;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Framer framer;
    framer.append(reinterpret_cast<const char *>(data), size);
    QByteArray message;
    while (framer.next(message) == Framer::Next::Message) {
        Reader hello(message);
        hello.u32();
        hello.u32();
        Reader devices(message);
        devices.text();
        devices.devices();
        Reader opened(message);
        opened.text();
        opened.text();
        opened.options();
        Reader progress(message);
        progress.f64();
        Reader ended(message);
        ended.outcome();
        Reader band(message);
        band.band();
        Reader request(message);
        request.value();
        request.scan();
    }
    return 0;
}
